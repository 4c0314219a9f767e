// End-to-end conversions of ruled tables: cells, empty cells and a table nested in a
// column of a two-column page.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pdf_writer.h"
#include "test_support.h"

namespace {

class ConvertTable : public ::testing::Test {
protected:
    std::string convert(const pdf_writer& w, const std::vector<std::string>& extra = {})
    {
        return convert_to_xml(dir, w, extra);
    }
    static size_t count(const std::string& text, const std::string& what) { return count_of(text, what); }

    scratch_dir dir;
};

} // namespace

TEST_F(ConvertTable, RuledTableWithAnEmptyCell)
{
    pdf_writer w;
    // A 3 x 2 grid of 1 pt rules from x 72 to 372 and y 600 to 660; the middle right
    // cell is empty.
    std::string rules = "0 0 0 rg\n";
    for (int r = 0; r <= 3; ++r)
        rules += "72 " + std::to_string(600 + 20 * r) + " 300 1 re f\n";
    for (int c = 0; c <= 2; ++c)
        rules += std::to_string(72 + 150 * c) + " 600 1 61 re f\n";
    std::string text = text_at(80, 646, "Name") + text_at(230, 646, "Value") + text_at(80, 626, "Alpha") +
                       text_at(80, 606, "Beta") + text_at(230, 606, "Two");
    w.add_page(text_at(72, 720, "Heading above the table") + rules + text);
    const std::string xml = convert(w);
    EXPECT_NE(xml.find("<par>\n<line>\nName\n</line>\n<line>\nValue\n</line>\n</par>\n"
                       "<par>\n<line>\nAlpha\n</line>\n<line>\n</line>\n</par>\n"
                       "<par>\n<line>\nBeta\n</line>\n<line>\nTwo\n</line>\n</par>"),
              std::string::npos)
        << xml;
}

TEST_F(ConvertTable, RuledTableInsideTheLeftColumnIsANestedRegion)
{
    pdf_writer w;
    std::string content;
    for (int i = 0; i < 10; ++i) {
        const double y = 740 - 14 * i;
        // The left column reaches from 70 to about 265, wider than the table.
        if (i < 4 || i > 6)
            content += text_at(70, y, "Left column words of the row number " + std::to_string(i), "/Helvetica 10 Tf");
        content += text_at(340, y, "Right words of row number " + std::to_string(i), "/Helvetica 10 Tf");
    }
    // A 2 x 2 ruled table from x 80 to 240, y 650 to 690, between left rows 3 and 7.
    content += "0 0 0 rg\n";
    for (int r = 0; r <= 2; ++r)
        content += "80 " + std::to_string(650 + 20 * r) + " 160 1 re f\n";
    for (int c = 0; c <= 2; ++c)
        content += std::to_string(80 + 80 * c) + " 650 1 41 re f\n";
    content += text_at(86, 676, "Key", "/Helvetica 9 Tf") + text_at(166, 676, "Val", "/Helvetica 9 Tf") +
               text_at(86, 656, "K2", "/Helvetica 9 Tf") + text_at(166, 656, "V2", "/Helvetica 9 Tf");
    w.add_page(content);
    const std::string xml = convert(w);
    // The table's cells are written inside the column stretch of the outer table.
    const size_t table = xml.find("<table>");
    const size_t key = xml.find("<line>\nKey\n</line>\n<line>\nVal\n</line>\n</par>\n<par>\n<line>\nK2\n</line>");
    const size_t end = xml.rfind("</table>");
    ASSERT_NE(table, std::string::npos) << xml;
    ASSERT_NE(key, std::string::npos) << xml;
    EXPECT_LT(table, key);
    EXPECT_LT(key, end);
    EXPECT_LT(xml.find("Left column words of the row number 3"), key);
    EXPECT_GT(xml.find("Left column words of the row number 7"), key);
    EXPECT_GT(xml.find("Right words of row number 0"), xml.find("Left column words of the row number 9")) << xml;
    EXPECT_EQ(count(xml, "<table>"), 1u) << xml;
}
