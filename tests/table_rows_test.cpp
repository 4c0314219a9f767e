// End-to-end conversions of ruled tables whose rows begin with empty cells: every
// table row after the first is its own paragraph, whatever its first cell holds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pdf_writer.h"
#include "test_support.h"

namespace {

// A grid of 1 pt rules, `rows` x `cols` cells of 150 x 20 pt, top left at (72, 680).
std::string grid(int rows, int cols)
{
    const int width = 150 * cols;
    const int height = 20 * rows;
    const int bottom = 680 - height;
    std::string s = "0 0 0 rg\n";
    for (int r = 0; r <= rows; ++r)
        s += "72 " + std::to_string(bottom + 20 * r) + " " + std::to_string(width) + " 1 re f\n";
    for (int c = 0; c <= cols; ++c)
        s += std::to_string(72 + 150 * c) + " " + std::to_string(bottom) + " 1 " + std::to_string(height + 1) +
             " re f\n";
    return s;
}

// Text for cell (row, col) of grid(), on the cell's base line.
std::string cell_text(int row, int col, const std::string& text)
{
    return text_at(80 + 150 * col, 680 - 20 * row - 14, text);
}

// The table is the page's only text, so the column grid holds just its own column
// edges and no empty cell spans a second grid position.
class TableRows : public ::testing::Test {
protected:
    std::string convert(const std::string& content)
    {
        pdf_writer w;
        w.add_page(content);
        return convert_to_xml(dir, w);
    }

    scratch_dir dir;
};

const std::string empty_cell = "<line>\n</line>\n";

std::string cell(const std::string& text)
{
    return "<line>\n" + text + "\n</line>\n";
}

} // namespace

TEST_F(TableRows, RowStartingWithAnEmptyCellIsItsOwnParagraph)
{
    const std::string xml = convert(grid(3, 2) + cell_text(0, 0, "Name") + cell_text(0, 1, "Value") +
                                    cell_text(1, 0, "Alpha") + cell_text(1, 1, "One") + cell_text(2, 1, "Two"));
    const std::string expected = "<par>\n" + cell("Name") + cell("Value") + "</par>\n<par>\n" + cell("Alpha") +
                                 cell("One") + "</par>\n<par>\n" + empty_cell + cell("Two") + "</par>\n";
    EXPECT_NE(xml.find(expected), std::string::npos) << xml;
}

TEST_F(TableRows, EmptyRowsInsideAndAtTheEndAreParagraphs)
{
    // Rows 1 and 3 are empty; row 2 has text in its first cell only.
    const std::string xml =
        convert(grid(4, 2) + cell_text(0, 0, "Head") + cell_text(0, 1, "Tail") + cell_text(2, 0, "Middle"));
    const std::string expected = "<par>\n" + cell("Head") + cell("Tail") + "</par>\n<par>\n" + empty_cell +
                                 empty_cell + "</par>\n<par>\n" + cell("Middle") + empty_cell + "</par>\n<par>\n" +
                                 empty_cell + empty_cell + "</par>\n";
    EXPECT_NE(xml.find(expected), std::string::npos) << xml;
}

TEST_F(TableRows, EmptyFirstRowIsFollowedByABreak)
{
    const std::string xml = convert(grid(2, 3) + cell_text(1, 0, "Low") + cell_text(1, 2, "Right"));
    const std::string expected = "<par>\n" + empty_cell + empty_cell + empty_cell + "</par>\n<par>\n" +
                                 cell("Low") + empty_cell + cell("Right") + "</par>\n";
    EXPECT_NE(xml.find(expected), std::string::npos) << xml;
}
