// End-to-end conversions of ruled tables measured against the page's column grid: an
// empty cell spanning two grid positions, a cell whose start shares the previous
// cell's grid end, and a narrow next column joining the cell before it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pdf_writer.h"
#include "test_support.h"

namespace {

// Black 1 pt rules: horizontals at the y values from x0 to x1, verticals at the x
// values from y0 to y1.
std::string rules(const std::vector<double>& xs, const std::vector<double>& ys)
{
    std::string s = "0 0 0 rg\n";
    for (double y : ys)
        s += std::to_string(xs.front()) + " " + std::to_string(y) + " " + std::to_string(xs.back() - xs.front()) +
             " 1 re f\n";
    for (double x : xs)
        s += std::to_string(x) + " " + std::to_string(ys.front()) + " 1 " +
             std::to_string(ys.back() - ys.front() + 1) + " re f\n";
    return s;
}

// Three rows of text in columns starting at the given x values, well above the table.
std::string text_columns(const std::vector<double>& xs)
{
    std::string s;
    for (int row = 0; row < 3; ++row)
        for (size_t k = 0; k < xs.size(); ++k)
            s += text_at(xs[k], 740 - 14 * row, "Top" + std::to_string(k) + std::to_string(row));
    return s;
}

// The 3 x 2 table from x 72 to 372 and y 600 to 660 with its middle right cell empty.
std::string table_with_empty_cell()
{
    return rules({72, 222, 372}, {600, 620, 640, 660}) + text_at(80, 646, "Name") + text_at(230, 646, "Value") +
           text_at(80, 626, "Alpha") + text_at(80, 606, "Beta") + text_at(230, 606, "Two");
}

class CellGridSpan : public ::testing::Test {
protected:
    std::string convert(const std::string& content)
    {
        pdf_writer w;
        w.add_page(content);
        return convert_to_xml(dir, w);
    }

    scratch_dir dir;
};

std::string cell(const std::string& text)
{
    return "<line>\n" + text + "\n</line>\n";
}

const std::string empty_cell = "<line>\n</line>\n";

} // namespace

TEST_F(CellGridSpan, EmptyCellOverTwoGridPositionsAddsAnEmptyLine)
{
    // The text columns put a grid position at 290, inside the table's right column, so
    // the empty cell reaches over two positions.
    const std::string xml = convert(text_columns({72, 290, 450}) + table_with_empty_cell());
    const std::string expected = "<par>\n" + cell("Name") + cell("Value") + "</par>\n<par>\n" + cell("Alpha") +
                                 empty_cell + empty_cell + "</par>\n<par>\n" + cell("Beta") + cell("Two") +
                                 "</par>\n";
    EXPECT_NE(xml.find(expected), std::string::npos) << xml;
}

TEST_F(CellGridSpan, EmptyCellStartsAfterTheGridEndOfTheCellBefore)
{
    // The text column at 215 takes the place of the table's middle rule in the grid, so
    // the left cell ends on the grid position where the empty cell starts; the empty cell
    // then starts one position later and reaches only to 300 and 372: no extra line.
    const std::string xml = convert(text_columns({72, 215, 300, 450}) + table_with_empty_cell());
    const std::string expected = "<par>\n" + cell("Alpha") + empty_cell + "</par>\n<par>\n" + cell("Beta");
    EXPECT_NE(xml.find(expected), std::string::npos) << xml;
}

TEST_F(CellGridSpan, NarrowNextColumnJoinsTheCellBeforeIt)
{
    // Columns 150, 9.5, 9.5 and 131 wide. The two narrow columns leave no grid position
    // of their own, so the line of the first narrow column joins the cell before it (two
    // spaces between the texts, one after), and its own cell is written empty.
    const std::string content = rules({72, 222, 231.5, 241, 372}, {600, 620, 640}) + text_at(80, 626, "Name") +
                                text_at(224, 626, "a", "/Helvetica 8 Tf") +
                                text_at(233.5, 626, "b", "/Helvetica 8 Tf") + text_at(250, 626, "Tail") +
                                text_at(80, 606, "Low") + text_at(250, 606, "End");
    const std::string xml = convert(content);
    const std::string expected = "<par>\n" + cell("Name  a ") + empty_cell + cell("b") + cell("Tail") +
                                 "</par>\n<par>\n" + cell("Low");
    EXPECT_NE(xml.find(expected), std::string::npos) << xml;
}
