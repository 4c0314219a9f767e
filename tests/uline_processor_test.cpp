// The ruling-line processor: its life, captured lines, underlines and cell lookup.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "PDFR/pdf_ulin.h"
#include "TK/tk_log.h"
#include "test_support.h"

namespace {

using proc_t = pdf_uline_processor;

std::unique_ptr<proc_t::line_paint> paint(int r, int g, int b)
{
    return std::make_unique<proc_t::line_paint>(static_cast<unsigned char>(r), static_cast<unsigned char>(g),
                                                 static_cast<unsigned char>(b));
}

// A kept table of 2 x 2 cells from rules at px positions, built by hand.
proc_t::reg_item grid_table(int number, double x0, double x1, double x2, double y0, double y1, double y2)
{
    proc_t::reg_item t;
    t.number = number;
    t.xMin = x0;
    t.xMax = x2;
    t.yMin = y0;
    t.yMax = y2;
    t.cellsBuilding({y0, y1, y2}, {x0, x1, x2});
    t.rows = 3;
    t.columns = 3;
    return t;
}

} // namespace

TEST(UlineProcessor, RegistersOneInstanceAndStartsEmpty)
{
    EXPECT_FALSE(tk_singleton<proc_t>::exists());
    {
        proc_t p(1);
        EXPECT_TRUE(tk_singleton<proc_t>::exists());
        EXPECT_EQ(&tk_singleton<proc_t>::instance(), &p);
        EXPECT_EQ(p.mode, 1);
        EXPECT_EQ(p.single_subpath, 0);
        EXPECT_TRUE(p.lines.empty());
        EXPECT_TRUE(p.underlines.empty());
        EXPECT_TRUE(p.tables.empty());
        EXPECT_THROW(proc_t second(0), tk_mail_assertion);
        EXPECT_EQ(&tk_singleton<proc_t>::instance(), &p);
    }
    EXPECT_FALSE(tk_singleton<proc_t>::exists());
    EXPECT_THROW(tk_singleton<proc_t>::instance(), tk_mail_assertion);
}

TEST(UlineProcessor, SetLineOrdersTheEnds)
{
    proc_t p(1);
    p.set_line(10, 4, 7, 7, paint(1, 2, 3));
    ASSERT_EQ(p.lines.size(), 1u);
    ASSERT_EQ(p.line_paints.size(), 1u);
    EXPECT_EQ(p.lines[0].key, 0);
    EXPECT_EQ(p.lines[0].xMin, 4);
    EXPECT_EQ(p.lines[0].xMax, 10);
    EXPECT_EQ(p.lines[0].yMin, 7);
    EXPECT_EQ(p.lines[0].yMax, 7);
    EXPECT_EQ(p.line_paints[0]->red, 1);
    EXPECT_EQ(p.line_paints[0]->green, 2);
    EXPECT_EQ(p.line_paints[0]->blue, 3);
    p.set_line(5, 6, 30, 20, paint(0, 0, 0));
    EXPECT_EQ(p.lines[1].yMin, 20);
    EXPECT_EQ(p.lines[1].yMax, 30);
}

TEST(UlineProcessor, LinesPerPageAreBounded)
{
    proc_t p(1);
    for (int i = 0; i < 40000; ++i)
        p.set_line(0, 100, i, i, paint(0, 0, 0));
    EXPECT_LT(p.lines.size(), 40000u);
    EXPECT_GE(p.lines.size(), 10000u);
    EXPECT_EQ(p.lines.size(), p.line_paints.size());
}

TEST(UlineProcessor, FlushForgetsThePage)
{
    proc_t p(1);
    p.flush(); // empty: nothing to do
    p.set_line(200, 300, 1460, 1460, paint(0, 0, 0));
    p.tables.push_back(grid_table(1, 0, 100, 200, 0, 100, 200));
    ASSERT_TRUE(p.process_as_underline(100, 140, 700, 0, 0, 0));
    p.set_line(200, 300, 10, 10, paint(0, 0, 0));
    p.single_subpath = 1;
    p.flush();
    EXPECT_TRUE(p.lines.empty());
    EXPECT_TRUE(p.line_paints.empty());
    EXPECT_TRUE(p.underlines.empty());
    EXPECT_TRUE(p.tables.empty());
    EXPECT_EQ(p.single_subpath, 1);
    EXPECT_EQ(p.mode, 1);
    EXPECT_FALSE(p.process_as_underline(100, 140, 700, 0, 0, 0));
    EXPECT_EQ(p.process_is_inCell(10, 20, 10, 20), 0);
}

TEST(UlineProcessor, RuleAt300PxIs144Pt)
{
    EXPECT_NEAR(300 / proc_t::px_per_pt, 144.0002, 0.00005);
}

TEST(Underline, BlackTextOnBlackRule)
{
    proc_t p(1);
    p.set_line(200, 300, 1460, 1460, paint(0, 0, 0));
    EXPECT_TRUE(p.process_as_underline(100, 140, 700, 0, 0, 0));
    EXPECT_TRUE(p.lines.empty());
    EXPECT_TRUE(p.line_paints.empty());
    ASSERT_EQ(p.underlines.size(), 1u);
    const proc_t::line_rect& u = p.underlines[0];
    EXPECT_EQ(u.key, 0);
    EXPECT_NEAR(u.xMin, 96.0002, 0.0001);
    EXPECT_NEAR(u.xMax, 144.0002, 0.0001);
    EXPECT_EQ(u.yMin, 700);
    EXPECT_EQ(u.yMax, 700);
}

TEST(Underline, FullChannelsCountAsTheSameColour)
{
    proc_t p(1);
    p.set_line(200, 300, 1460, 1460, paint(0, 0, 255));
    EXPECT_TRUE(p.process_as_underline(100, 140, 700, 255, 0, 0));
    EXPECT_EQ(p.underlines.size(), 1u);
}

TEST(Underline, DifferentColoursDoNotMatch)
{
    proc_t p(1);
    p.set_line(200, 300, 1460, 1460, paint(0, 0, 200));
    EXPECT_FALSE(p.process_as_underline(100, 140, 700, 200, 0, 0));
    EXPECT_FALSE(p.process_as_underline(100, 140, 700, 0, 0, 197));
    EXPECT_TRUE(p.process_as_underline(100, 140, 700, 2, 2, 198)); // within 2 on every channel
}

TEST(Underline, ColourComesWithItsOwnLine)
{
    // Two rules at the same place in different colours: the text matches the one of its colour.
    proc_t p(1);
    p.set_line(200, 300, 1460, 1460, paint(0, 0, 200));
    p.set_line(200, 300, 1460, 1461, paint(200, 0, 0));
    EXPECT_TRUE(p.process_as_underline(100, 140, 700, 200, 0, 0));
    ASSERT_EQ(p.lines.size(), 1u);
    EXPECT_EQ(p.line_paints[0]->blue, 200);
    EXPECT_EQ(p.lines[0].yMax, 1460);
}

TEST(Underline, HorizontalExtentIsChecked)
{
    proc_t p(1);
    p.set_line(200, 300, 1460, 1460, paint(0, 0, 0));
    EXPECT_FALSE(p.process_as_underline(95.49, 140, 700, 0, 0, 0));  // starts too far left
    EXPECT_FALSE(p.process_as_underline(100, 144.51, 700, 0, 0, 0)); // ends too far right
    EXPECT_FALSE(p.process_as_underline(100, 140, 703, 0, 0, 0));    // 2.2 pt off the rule
    EXPECT_EQ(p.lines.size(), 1u);
    EXPECT_TRUE(p.process_as_underline(95.51, 144.49, 702.7, 0, 0, 0));
}

TEST(Underline, NanNeverMatches)
{
    proc_t p(1);
    p.set_line(200, 300, 1460, 1460, paint(0, 0, 0));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(p.process_as_underline(nan, 140, 700, 0, 0, 0));
    EXPECT_FALSE(p.process_as_underline(100, 140, nan, 0, 0, 0));
    EXPECT_EQ(p.lines.size(), 1u);
}

TEST(Underline, SecondWordMatchesByPositionAlone)
{
    proc_t p(1);
    p.set_line(200, 300, 1460, 1460, paint(0, 0, 0));
    ASSERT_TRUE(p.process_as_underline(100, 120, 700, 0, 0, 0));
    // other colour, same base line within 2 pt, under the rule
    EXPECT_TRUE(p.process_as_underline(122, 140, 701.5, 90, 90, 90));
    EXPECT_EQ(p.underlines.size(), 1u);
    EXPECT_FALSE(p.process_as_underline(122, 140, 702.5, 0, 0, 0));
}

TEST(Underline, FirstMatchingLineIsTaken)
{
    proc_t p(1);
    p.set_line(0, 1000, 500, 500, paint(0, 0, 0));
    p.set_line(200, 300, 1460, 1460, paint(0, 0, 0));
    p.set_line(190, 310, 1461, 1461, paint(0, 0, 0));
    EXPECT_TRUE(p.process_as_underline(100, 140, 700, 0, 0, 0));
    ASSERT_EQ(p.lines.size(), 2u);
    EXPECT_EQ(p.lines[0].yMin, 500);
    EXPECT_EQ(p.lines[1].xMin, 190);
}

TEST(Underline, MismatchedPaintListIsAnInternalError)
{
    proc_t p(1);
    p.set_line(200, 300, 1460, 1460, paint(0, 0, 0));
    p.line_paints.pop_back();
    try {
        p.process_as_underline(100, 140, 700, 0, 0, 0);
        FAIL() << "no assertion";
    } catch (const tk_mail_assertion& e) {
        EXPECT_EQ(e.message, tk_mail_assertion("../../PDFR/pdf_ulin.cpp", 669).message);
        EXPECT_EQ(e.level, 2);
    }
}

TEST(CellLookup, CodesNameTableAndCell)
{
    proc_t p(1);
    p.tables.push_back(grid_table(1, 0, 100, 200, 0, 100, 200));
    p.tables.push_back(grid_table(2, 400, 500, 600, 400, 500, 600));
    // cells of table 1 in pt: columns at 0, 48, 96; rows at 0, 48, 96
    EXPECT_EQ(p.process_is_inCell(10, 20, 10, 20), 10000);
    EXPECT_EQ(p.process_is_inCell(60, 80, 10, 20), 10001);
    EXPECT_EQ(p.process_is_inCell(10, 20, 60, 80), 10002);
    EXPECT_EQ(p.process_is_inCell(60, 80, 60, 80), 10003);
    EXPECT_EQ(p.process_is_inCell(250, 260, 250, 260), 20003);
    EXPECT_EQ(p.process_is_inCell(120, 130, 10, 20), 0);
    EXPECT_EQ(p.process_is_inCell(30, 70, 10, 20), 0); // across a column rule

    const int code = p.process_is_inCell(250, 260, 250, 260);
    const proc_t::reg_item* t = p.table_of(code);
    const proc_t::cell* c = p.cell_of(code);
    ASSERT_NE(t, nullptr);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(t, &p.tables[1]);
    EXPECT_EQ(c, &p.tables[1].cells[3]);
    EXPECT_EQ(p.table_of(0), nullptr);
    EXPECT_EQ(p.table_of(30000), nullptr);
    EXPECT_EQ(p.cell_of(10004), nullptr);
    EXPECT_EQ(p.cell_of(-10000), nullptr);
}

TEST(CellLookup, BoundaryPlusMarginIsOutside)
{
    proc_t p(1);
    p.tables.push_back(grid_table(1, 0, 100, 200, 0, 100, 200));
    const double c1 = 100 / proc_t::px_per_pt; // inner rule in pt
    // cell 0 spans x 0..c1: widened by 2.5 the right limit is c1 + 2.5, strict
    EXPECT_EQ(p.process_is_inCell(1, c1 + 2.5, 1, 10), 0);
    EXPECT_EQ(p.process_is_inCell(1, c1 + 2.49, 1, 10), 10000);
    const proc_t::reg_item& t = p.tables[0];
    EXPECT_EQ(t.is_inCell(1, c1 + 2.5, 1, 10), -1);
    EXPECT_EQ(t.is_inCell(1, c1 + 2.49, 1, 10), 0);
    EXPECT_EQ(t.is_inCell(-2.5, 10, 1, 10), -1);
    EXPECT_EQ(t.is_inCell(-2.49, 10, 1, 10), 0);
    EXPECT_EQ(t.is_inCell(1, 10, 1, t.yMax + 2.5), -1);
}

TEST(CellLookup, LowerNumberedTableAnswersFirst)
{
    proc_t p(1);
    p.tables.push_back(grid_table(1, 0, 100, 200, 0, 100, 200));
    p.tables.push_back(grid_table(2, 0, 100, 200, 0, 100, 200));
    EXPECT_EQ(p.process_is_inCell(10, 20, 10, 20), 10000);
}

TEST(CellLookup, DroppedTableNeverAnswers)
{
    proc_t p(1);
    proc_t::reg_item dropped;
    dropped.number = 0;
    dropped.xMin = 0;
    dropped.xMax = 1000;
    dropped.yMin = 0;
    dropped.yMax = 1000;
    p.tables.push_back(dropped);
    EXPECT_EQ(p.process_is_inCell(10, 20, 10, 20), 0);
}

TEST(CellLookup, TraceLines)
{
    scratch_dir dir;
    const std::string log_path = dir.file("trace.log");
    {
        tk_logger log(log_path.c_str(), true, 1, false);
        proc_t p(1);
        EXPECT_EQ(p.process_is_inCell(1, 2, 3, 4), 0);
        p.tables.push_back(grid_table(1, 0, 100, 200, 0, 100, 200));
        EXPECT_EQ(p.process_is_inCell(10, 20, 10, 20), 10000);
        p.set_line(10, 4, 7, 7.5, paint(0, 0, 0));
    }
    const std::string log = read_file(log_path);
    EXPECT_NE(log.find("pdf_uline_processor::ctor\r\n"), std::string::npos);
    EXPECT_NE(log.find("pdf_uline_processor::process_is_inCell\r\nText coordinates: 1,2,3,4\r\n"
                       "pdf_uline_processor::reg_item::cellsBuilding\r\n"),
              std::string::npos);
    EXPECT_NE(log.find("Compare with region(0.000000,96.000154,0.000000,96.000154,1)\r\n"), std::string::npos);
    EXPECT_NE(log.find("pdf_uline_processor::reg_item::is_inCell \xE4\xEB\xFF \xF2\xE5\xEA\xF1\xF2\xE0 "
                       "x=10..20,y=10..20\r\n"),
              std::string::npos);
    EXPECT_NE(log.find("pdf_uline_processor::set_line(10.000000,4.000000,7.000000,7.500000)\r\n"),
              std::string::npos);
}

TEST(CellLookup, CellIndexBeyondTheCodeRangeIsOutside)
{
    // One row of 10001 cells, 10 pt wide each; a second table that the code of cell
    // 10000 would otherwise name.
    proc_t p(1);
    proc_t::reg_item wide;
    wide.number = 1;
    wide.xMin = 0;
    wide.xMax = 100010;
    wide.yMin = 0;
    wide.yMax = 20;
    for (int k = 0; k <= 10000; ++k) {
        proc_t::cell c;
        c.xMin = 10.0 * k;
        c.xMax = 10.0 * (k + 1);
        c.yMin = 0;
        c.yMax = 20;
        wide.cells.push_back(c);
    }
    p.tables.push_back(wide);
    p.tables.push_back(grid_table(2, 0, 100, 200, 0, 100, 200));
    EXPECT_EQ(p.process_is_inCell(99993, 99997, 5, 15), 19999);
    const int code = p.process_is_inCell(100003, 100007, 5, 15);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(p.table_of(code), nullptr);
}
