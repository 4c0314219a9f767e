// The raster pass inside a conversion: the processor exists before the raster device,
// each page's rules arrive before the text pass builds its tables, and the page is
// forgotten after it is written.
#include <gtest/gtest.h>

#include <string>

#include "PDFR/pdf_ulin.h"
#include "TK/tk_error.h"
#include "TK/tk_log.h"
#include "karvel/kvl_conv.h"
#include "pdf_writer.h"
#include "test_support.h"

namespace {

// A ruled 3 x 3 grid with a word in every cell; rules at 100, 200, 300, 400 pt.
std::string grid_page()
{
    std::string c = "0 w\n";
    for (int v = 100; v <= 400; v += 100) {
        c += "100 " + std::to_string(792 - v) + " m 400 " + std::to_string(792 - v) + " l S\n";
        c += std::to_string(v) + " 692 m " + std::to_string(v) + " 392 l S\n";
    }
    c += "BT /Helvetica 12 Tf\n";
    for (int r = 0; r < 3; ++r)
        for (int k = 0; k < 3; ++k)
            c += "1 0 0 1 " + std::to_string(120 + 100 * k) + " " + std::to_string(640 - 100 * r) + " Tm (w" +
                 std::to_string(r) + std::to_string(k) + ") Tj\n";
    return c + "ET\n";
}

size_t count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
        ++n;
    return n;
}

class RasterRun : public ::testing::Test {
protected:
    scratch_dir dir;
    tk_logger logger{nullptr, false, 1, false};
    karvel_convertor conv;
    error_handler handler;
};

} // namespace

TEST_F(RasterRun, RulesOfEachPageBecomeItsTables)
{
    pdf_writer w;
    w.add_page(grid_page());
    w.add_page("BT /Helvetica 12 Tf 72 700 Td (No rules here) Tj ET\n");
    w.add_page(grid_page());
    ASSERT_TRUE(w.save(dir.file("doc.pdf")));
    conv.src = dir.file("doc.pdf");
    conv.dest = dir.file("doc.xml");
    conv.set_logfile(dir.file("run.log"));
    conv.run();
    EXPECT_FALSE(tk_singleton<pdf_uline_processor>::exists()); // released with the run
    EXPECT_EQ(xmllint_errors(dir.file("doc.xml")), "");

    const std::string log = read_file(dir.file("run.log"));
    const size_t ctor = log.find("pdf_uline_processor::ctor\r\n");
    const size_t first_stroke = log.find("SplashOutputDev::stroke\r\n");
    ASSERT_NE(ctor, std::string::npos);
    ASSERT_NE(first_stroke, std::string::npos);
    EXPECT_LT(ctor, first_stroke);
    // eight hairlines per grid page, at floored 150-dpi pixels: 100 pt is 208.33 px
    EXPECT_EQ(count(log, "SplashOutputDev::stroke\r\n"), 16u);
    EXPECT_EQ(count(log, "pdf_uline_processor::set_line("), 16u);
    EXPECT_NE(log.find("pdf_uline_processor::set_line(208.000000,833.000000,208.000000,208.000000)"),
              std::string::npos);
    // each page: tables built once its walk has ended, nine cells on the grid pages, then forgotten
    EXPECT_EQ(count(log, "tableBuilding\r\n"), 3u);
    EXPECT_EQ(count(log, "pdf_uline_processor::reg_item::cellsBuilding\r\n"), 2u);
    EXPECT_EQ(count(log, "Cell2_2: xMin=625.00,yMin=625.00 xMax=833.00,yMax833.00 \n\r\n"), 2u);
    EXPECT_EQ(count(log, "pdf_uline_processor::flush\r\n"), 3u);
    // the first page's tables come after its rules and its words, before any word asks
    // for an underline or its cell
    const size_t built = log.find("tableBuilding\r\n");
    EXPECT_LT(log.find("TextPage::beginWord"), built);
    EXPECT_LT(log.rfind("pdf_uline_processor::set_line(", log.find("pdf_uline_processor::flush")), built);
    EXPECT_LT(built, log.find("pdf_uline_processor::process_as_underline"));
    // the words in the cells are looked up in the page's table
    ASSERT_NE(log.find("Compare with region("), std::string::npos);
    EXPECT_LT(built, log.find("Compare with region("));
}
