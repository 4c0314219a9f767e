// Trace lines of the page writer: the page, its regions written as cells or as columns,
// and the empty cells of a ruled table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TK/tk_error.h"
#include "TK/tk_log.h"
#include "karvel/kvl_conv.h"
#include "pdf_writer.h"
#include "test_support.h"

namespace {

class PageWriterTrace : public ::testing::Test {
protected:
    // Converts a one-page document in this process with every trace level written.
    std::string trace_of(const std::string& content)
    {
        pdf_writer w;
        w.add_page(content);
        EXPECT_TRUE(w.save(dir.file("doc.pdf")));
        const std::string log_path = dir.file("trace.log");
        {
            tk_logger logger(log_path.c_str(), true, 1, false);
            karvel_convertor conv;
            error_handler handler;
            conv.src = dir.file("doc.pdf");
            conv.dest = dir.file("doc.xml");
            conv.run();
            EXPECT_TRUE(conv.finished);
        }
        EXPECT_EQ(xmllint_errors(dir.file("doc.xml")), "");
        return read_file(log_path);
    }

    // True when the lines appear in the log in this order (other lines may come between).
    static ::testing::AssertionResult in_order(const std::string& log, const std::vector<std::string>& lines)
    {
        size_t at = 0;
        for (const std::string& line : lines) {
            const size_t found = log.find(line + "\r\n", at);
            if (found == std::string::npos)
                return ::testing::AssertionFailure() << "missing after offset " << at << ": " << line;
            at = found + line.size();
        }
        return ::testing::AssertionSuccess();
    }

    scratch_dir dir;
};

} // namespace

TEST_F(PageWriterTrace, RegionWrittenAsCells)
{
    // The page number is the count of pages written before: 0 for the first.
    const std::string log = trace_of(text_at(72, 700, "Hello World") + text_at(72, 686, "Fish & Chips"));
    EXPECT_TRUE(in_order(log, {"TextPage::dump(pageNum=0)", "\"undoing\" the layout", "TextPage::dumpRegion",
                               "*** PROCESS TABLES ***", "TextPage::convertChar(0048, 'H')",
                               "GOT STRING4: Hello World", "TextPage::convertChar(0026, '&')",
                               "GOT STRING4: Fish &amp; Chips"}))
        << log;
    EXPECT_EQ(log.find("*** PROCESS COLUMNS ***"), std::string::npos);
}

TEST_F(PageWriterTrace, RegionWrittenAsColumns)
{
    std::string content;
    for (int i = 0; i < 6; ++i) {
        content += text_at(72, 700 - 14 * i, "Left words of row " + std::to_string(i));
        content += text_at(320, 700 - 14 * i, "Right words of row " + std::to_string(i));
    }
    const std::string log = trace_of(content);
    EXPECT_TRUE(in_order(log, {"TextPage::dumpRegion", "*** PROCESS COLUMNS ***", "TextPage::dumpLines(6)",
                               "GOT STRING1: Left words of row 0 ", "GOT STRING1: Left words of row 5 ",
                               "TextPage::dumpLines(6)", "GOT STRING1: Right words of row 0 "}))
        << log;
    EXPECT_EQ(log.find("*** PROCESS TABLES ***"), std::string::npos);
}

TEST_F(PageWriterTrace, EmptyCellsBeforeAndAfterTheLastWrittenOne)
{
    // A 2 x 2 ruled table: the first cell and the last cell are empty.
    std::string content = "0 0 0 rg\n";
    for (int r = 0; r <= 2; ++r)
        content += "72 " + std::to_string(600 + 20 * r) + " 300 1 re f\n";
    for (int c = 0; c <= 2; ++c)
        content += std::to_string(72 + 150 * c) + " 600 1 41 re f\n";
    content += text_at(230, 626, "Top right") + text_at(80, 606, "Low left");
    const std::string log = trace_of(content);
    EXPECT_TRUE(in_order(log, {"*** PROCESS TABLES ***", "GOT STRING2: ", "GOT STRING4: Top right",
                               "GOT STRING4: Low left", "GOT STRING7: "}))
        << log;
    const std::string xml = read_file(dir.file("doc.xml"));
    EXPECT_NE(xml.find("<par>\n<line>\n</line>\n<line>\nTop right\n</line>\n</par>\n<par>\n<line>\nLow left\n"
                       "</line>\n<line>\n</line>\n</par>\n"),
              std::string::npos)
        << xml;
}
