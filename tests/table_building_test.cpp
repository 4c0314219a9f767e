// Table building from ruling lines: grouping, rows, columns, cells and what is left over.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "PDFR/pdf_ulin.h"
#include "TK/tk_log.h"
#include "test_support.h"

namespace {

using proc_t = pdf_uline_processor;

struct rgb {
    int r = 0, g = 0, b = 0;
};

void add(proc_t& p, double x0, double x1, double y0, double y1, rgb c = rgb())
{
    p.set_line(x0, x1, y0, y1,
               std::make_unique<proc_t::line_paint>(static_cast<unsigned char>(c.r), static_cast<unsigned char>(c.g),
                                                    static_cast<unsigned char>(c.b)));
}

void hline(proc_t& p, double y, double x0 = 100, double x1 = 700, rgb c = rgb(), double thick = 0)
{
    add(p, x0, x1, y, y + thick, c);
}

void vline(proc_t& p, double x, double y0 = 100, double y1 = 700, rgb c = rgb(), double thick = 0)
{
    add(p, x, x + thick, y0, y1, c);
}

// The 3 x 3 grid: rules at 100, 300, 500 and 700 px in both directions, interleaved.
void grid(proc_t& p, rgb inner_v = rgb(), rgb left_v = rgb(), bool left = true)
{
    hline(p, 100);
    if (left)
        vline(p, 100, 100, 700, left_v);
    hline(p, 300);
    vline(p, 300, 100, 700, inner_v);
    hline(p, 500);
    vline(p, 500);
    hline(p, 700);
    vline(p, 700);
}

const rgb red{255, 0, 0};

void expect_invariants(const proc_t& p)
{
    ASSERT_EQ(p.lines.size(), p.line_paints.size());
    for (const proc_t::line_rect& l : p.lines)
        EXPECT_EQ(l.key, 0);
    for (size_t i = 0; i < p.tables.size(); ++i) {
        const proc_t::reg_item& t = p.tables[i];
        if (t.number == 0) {
            EXPECT_TRUE(t.cells.empty());
            continue;
        }
        EXPECT_EQ(t.number, static_cast<int>(i) + 1);
        EXPECT_EQ(t.cells.size(), static_cast<size_t>((t.rows - 1) * (t.columns - 1)));
        EXPECT_GE(t.rule_width, 0.3);
    }
}

} // namespace

TEST(TableBuilding, FewerThanFourLinesChangeNothing)
{
    proc_t p(1);
    hline(p, 700);
    vline(p, 100);
    hline(p, 100);
    p.tableBuilding();
    EXPECT_TRUE(p.tables.empty());
    ASSERT_EQ(p.lines.size(), 3u);
    EXPECT_EQ(p.lines[0].yMin, 700); // not even sorted
    EXPECT_EQ(p.lines[1].xMin, 100);
    EXPECT_EQ(p.lines[2].yMin, 100);
}

TEST(TableBuilding, GridOfNineCells)
{
    proc_t p(1);
    grid(p);
    p.tableBuilding();
    ASSERT_EQ(p.tables.size(), 1u);
    const proc_t::reg_item& t = p.tables[0];
    EXPECT_EQ(t.number, 1);
    EXPECT_EQ(t.rows, 4);
    EXPECT_EQ(t.columns, 4);
    ASSERT_EQ(t.cells.size(), 9u);
    EXPECT_TRUE(p.lines.empty());
    EXPECT_TRUE(p.line_paints.empty());
    const double k = proc_t::px_per_pt;
    EXPECT_DOUBLE_EQ(t.xMin, 100 / k);
    EXPECT_DOUBLE_EQ(t.xMax, 700 / k);
    EXPECT_DOUBLE_EQ(t.yMin, 100 / k);
    EXPECT_DOUBLE_EQ(t.yMax, 700 / k);
    EXPECT_DOUBLE_EQ(t.rule_width, 0.3); // hairlines
    // row by row, left to right
    EXPECT_DOUBLE_EQ(t.cells[0].xMin, 100 / k);
    EXPECT_DOUBLE_EQ(t.cells[0].xMax, 300 / k);
    EXPECT_DOUBLE_EQ(t.cells[0].yMin, 100 / k);
    EXPECT_DOUBLE_EQ(t.cells[0].yMax, 300 / k);
    EXPECT_DOUBLE_EQ(t.cells[1].xMin, 300 / k);
    EXPECT_DOUBLE_EQ(t.cells[5].xMin, 500 / k);
    EXPECT_DOUBLE_EQ(t.cells[5].yMin, 300 / k);
    EXPECT_DOUBLE_EQ(t.cells[8].xMax, 700 / k);
    EXPECT_DOUBLE_EQ(t.cells[8].yMax, 700 / k);
    // text in the middle cell (pt)
    EXPECT_EQ(p.process_is_inCell(400 / k - 5, 400 / k + 5, 400 / k - 5, 400 / k + 5), 10004);
    expect_invariants(p);
}

TEST(TableBuilding, RuleWidthOfTheSeed)
{
    {
        proc_t p(1);
        hline(p, 100, 100, 700, rgb(), 3); // seed: 600 wide, 3 high
        vline(p, 100, 100, 703);
        hline(p, 400);
        vline(p, 400, 100, 703);
        hline(p, 700);
        vline(p, 700, 100, 703);
        p.tableBuilding();
        ASSERT_EQ(p.tables.size(), 1u);
        EXPECT_DOUBLE_EQ(p.tables[0].rule_width, 3 / proc_t::px_per_pt);
        EXPECT_EQ(p.tables[0].cells.size(), 4u);
        expect_invariants(p);
    }
    {
        proc_t p(1);
        vline(p, 100, 100, 700, rgb(), 4); // seed: 4 wide, 600 high
        hline(p, 100, 100, 704);
        vline(p, 400);
        hline(p, 400, 100, 704);
        vline(p, 700);
        hline(p, 700, 100, 704);
        p.tableBuilding();
        ASSERT_EQ(p.tables.size(), 1u);
        EXPECT_DOUBLE_EQ(p.tables[0].rule_width, 4 / proc_t::px_per_pt);
    }
}

TEST(TableBuilding, RedInnerVerticalSeedsADroppedTable)
{
    proc_t p(1);
    grid(p, red);
    p.tableBuilding();
    ASSERT_EQ(p.tables.size(), 2u);
    EXPECT_EQ(p.tables[0].number, 1);
    EXPECT_EQ(p.tables[0].columns, 3);
    EXPECT_EQ(p.tables[0].rows, 4);
    EXPECT_EQ(p.tables[0].cells.size(), 6u);
    EXPECT_EQ(p.tables[1].number, 0);
    EXPECT_TRUE(p.tables[1].cells.empty());
    EXPECT_EQ(p.tables[1].xMin, 300); // dropped: still px
    EXPECT_EQ(p.tables[1].red, 255);
    ASSERT_EQ(p.lines.size(), 1u);
    EXPECT_EQ(p.lines[0].xMin, 300);
    EXPECT_EQ(p.lines[0].key, 0);
    EXPECT_EQ(p.line_paints[0]->red, 255);
    // the red rule stays an underline candidate, for red text only
    EXPECT_FALSE(p.process_as_underline(300 / proc_t::px_per_pt, 300 / proc_t::px_per_pt,
                                        200 / proc_t::px_per_pt, 0, 0, 0));
    expect_invariants(p);
}

TEST(TableBuilding, RedLeftFrameStillGivesNineCells)
{
    proc_t p(1);
    grid(p, rgb(), red);
    p.tableBuilding();
    ASSERT_GE(p.tables.size(), 1u);
    const proc_t::reg_item& t = p.tables[0];
    EXPECT_EQ(t.number, 1);
    EXPECT_EQ(t.columns, 4);
    ASSERT_EQ(t.cells.size(), 9u);
    EXPECT_DOUBLE_EQ(t.cells[0].xMin, 100 / proc_t::px_per_pt);
    EXPECT_DOUBLE_EQ(t.cells[0].xMax, 300 / proc_t::px_per_pt);
    ASSERT_EQ(p.lines.size(), 1u);
    EXPECT_EQ(p.line_paints[0]->red, 255);
    expect_invariants(p);
}

TEST(TableBuilding, MissingLeftFrameUsesTheTableEdge)
{
    proc_t p(1);
    grid(p, rgb(), rgb(), false);
    p.tableBuilding();
    ASSERT_EQ(p.tables.size(), 1u);
    EXPECT_EQ(p.tables[0].columns, 4);
    ASSERT_EQ(p.tables[0].cells.size(), 9u);
    EXPECT_DOUBLE_EQ(p.tables[0].cells[0].xMin, 100 / proc_t::px_per_pt);
    EXPECT_TRUE(p.lines.empty());
}

TEST(TableBuilding, MissingFramesAllRound)
{
    // Inner rules only, inside a box set by longer outer rules on two sides.
    proc_t p(1);
    hline(p, 100, 100, 700);
    hline(p, 300, 100, 700);
    hline(p, 500, 100, 700);
    vline(p, 300, 100, 700);
    vline(p, 500, 100, 700);
    p.tableBuilding();
    ASSERT_EQ(p.tables.size(), 1u);
    const proc_t::reg_item& t = p.tables[0];
    // rows 100, 300, 500 and the box bottom 700 is not more than 10 below 500? it is: appended
    EXPECT_EQ(t.rows, 4);
    EXPECT_EQ(t.columns, 4); // 100 put in front, 700 appended
    EXPECT_EQ(t.cells.size(), 9u);
}

TEST(TableBuilding, TwoHorizontalRulesAreDropped)
{
    proc_t p(1);
    hline(p, 100);
    hline(p, 300);
    hline(p, 5000, 0, 10); // short: never joins
    hline(p, 6000, 0, 10);
    p.tableBuilding();
    // apart by more than the contact margin: each rule seeds a table of one row
    ASSERT_EQ(p.tables.size(), 2u);
    EXPECT_EQ(p.tables[0].number, 0);
    EXPECT_EQ(p.tables[1].number, 0);
    EXPECT_EQ(p.tables[0].rows, 1);
    EXPECT_EQ(p.tables[0].columns, 0);
    EXPECT_EQ(p.tables[0].xMin, 100); // px: never converted
    EXPECT_EQ(p.lines.size(), 4u);
    EXPECT_EQ(p.process_is_inCell(60, 70, 60, 70), 0);
    // the rules stay underline candidates
    EXPECT_TRUE(p.process_as_underline(50, 300, 100 / proc_t::px_per_pt, 0, 0, 0));
    expect_invariants(p);
}

TEST(TableBuilding, ShortVerticalIsNotAColumn)
{
    proc_t p(1);
    hline(p, 100);
    vline(p, 100);
    hline(p, 300);
    vline(p, 300, 100, 690); // stops 10 px above the bottom
    hline(p, 500);
    vline(p, 500, 100, 691); // 9 px: still a column
    hline(p, 700);
    vline(p, 700);
    p.tableBuilding();
    ASSERT_EQ(p.tables.size(), 1u);
    EXPECT_EQ(p.tables[0].columns, 3);
    EXPECT_EQ(p.tables[0].cells.size(), 6u);
    ASSERT_EQ(p.lines.size(), 1u);
    EXPECT_EQ(p.lines[0].xMin, 300);
    EXPECT_EQ(p.lines[0].yMax, 690);
}

TEST(TableBuilding, RowsCloserThanSevenPixels)
{
    proc_t p(1);
    grid(p);
    hline(p, 306); // middles 6 px apart: separate groups, the second within 7 of the first
    p.tableBuilding();
    ASSERT_EQ(p.tables.size(), 1u);
    EXPECT_EQ(p.tables[0].rows, 4);
    EXPECT_EQ(p.tables[0].cells.size(), 9u);
    ASSERT_EQ(p.lines.size(), 1u);
    EXPECT_EQ(p.lines[0].yMin, 306);
    EXPECT_EQ(p.lines[0].key, 0);
}

TEST(TableBuilding, RowsInOneBandMergeAndCount)
{
    proc_t p(1);
    grid(p);
    hline(p, 400, 100, 380); // two pieces in one band, 5 px apart: one row
    hline(p, 402, 385, 700);
    p.tableBuilding();
    ASSERT_EQ(p.tables.size(), 1u);
    EXPECT_EQ(p.tables[0].rows, 5);
    EXPECT_EQ(p.tables[0].cells.size(), 12u);
    EXPECT_TRUE(p.lines.empty());
}

TEST(TableBuilding, BrokenRowIsNotARow)
{
    proc_t p(1);
    grid(p);
    hline(p, 400, 100, 300); // a gap of 20 px
    hline(p, 400, 320, 700);
    p.tableBuilding();
    ASSERT_EQ(p.tables.size(), 1u);
    EXPECT_EQ(p.tables[0].rows, 4);
    EXPECT_EQ(p.tables[0].cells.size(), 9u);
    EXPECT_EQ(p.lines.size(), 2u);
    expect_invariants(p);
}

TEST(TableBuilding, DotsNeverSeed)
{
    proc_t p(1);
    add(p, 10, 13, 10, 13); // a dot first
    grid(p);
    p.tableBuilding();
    ASSERT_EQ(p.tables.size(), 1u);
    EXPECT_EQ(p.tables[0].cells.size(), 9u);
    ASSERT_EQ(p.lines.size(), 1u);
    EXPECT_EQ(p.lines[0].xMax, 13);
}

TEST(TableBuilding, OnlyDotsMeansNoTable)
{
    proc_t p(1);
    for (int i = 0; i < 6; ++i)
        add(p, 10 * i, 10 * i + 5, 10, 15);
    p.tableBuilding();
    EXPECT_TRUE(p.tables.empty());
    EXPECT_EQ(p.lines.size(), 6u);
}

TEST(TableBuilding, ColourToleranceIsOneStep)
{
    {
        proc_t p(1);
        grid(p, rgb{1, 1, 1});
        p.tableBuilding();
        ASSERT_EQ(p.tables.size(), 1u);
        EXPECT_EQ(p.tables[0].cells.size(), 9u);
    }
    {
        proc_t p(1);
        grid(p, rgb{0, 2, 0});
        p.tableBuilding();
        ASSERT_EQ(p.tables.size(), 2u);
        EXPECT_EQ(p.tables[0].cells.size(), 6u);
    }
}

TEST(TableBuilding, TwoSeparateGrids)
{
    proc_t p(1);
    grid(p);
    for (double y : {1000.0, 1200.0, 1400.0})
        hline(p, y, 100, 500);
    for (double x : {100.0, 300.0, 500.0})
        vline(p, x, 1000, 1400);
    p.tableBuilding();
    ASSERT_EQ(p.tables.size(), 2u);
    EXPECT_EQ(p.tables[0].number, 1);
    EXPECT_EQ(p.tables[1].number, 2);
    EXPECT_EQ(p.tables[1].cells.size(), 4u);
    const double k = proc_t::px_per_pt;
    EXPECT_EQ(p.process_is_inCell(400 / k, 450 / k, 1300 / k, 1350 / k), 20003);
    EXPECT_EQ(p.process_is_inCell(150 / k, 250 / k, 150 / k, 250 / k), 10000);
    EXPECT_TRUE(p.lines.empty());
}

TEST(TableBuilding, LineOrder)
{
    using L = proc_t::line_rect;
    const L h1{1000, 100, 700, 100, 100};
    const L h2{1000, 100, 700, 300, 300};
    const L h3{1000, 103, 700, 104, 104}; // level with h1 within 7
    const L v1{1000, 100, 100, 100, 700};
    const L v2{1000, 300, 300, 100, 700};
    const L free_v{0, 300, 300, 100, 700};
    EXPECT_TRUE(proc_t::line_less(free_v, h1)); // key first
    EXPECT_FALSE(proc_t::line_less(h1, free_v));
    EXPECT_TRUE(proc_t::line_less(h1, v1));
    EXPECT_FALSE(proc_t::line_less(v1, h1));
    EXPECT_TRUE(proc_t::line_less(h1, h2));
    EXPECT_FALSE(proc_t::line_less(h2, h1));
    EXPECT_TRUE(proc_t::line_less(v1, v2));
    EXPECT_FALSE(proc_t::line_less(v2, v1));
    EXPECT_TRUE(proc_t::line_less(h1, h3)); // both ways
    EXPECT_TRUE(proc_t::line_less(h3, h1));
    EXPECT_TRUE(proc_t::line_less(h1, h1)); // and before itself
}

TEST(TableBuilding, ManyRandomLinesStaySound)
{
    std::mt19937 rng(12345);
    std::uniform_real_distribution<double> pos(0, 1700);
    std::uniform_int_distribution<int> len(1, 400), colour(0, 3), kind(0, 2);
    proc_t p(1);
    for (int i = 0; i < 3000; ++i) {
        const double x = pos(rng), y = pos(rng);
        const rgb c{colour(rng) * 85, 0, 0};
        switch (kind(rng)) {
        case 0: add(p, x, x + len(rng), y, y + 1, c); break;
        case 1: add(p, x, x + 2, y, y + len(rng), c); break;
        default: add(p, x, x + 3, y, y + 3, c); break;
        }
    }
    p.tableBuilding();
    expect_invariants(p);
    p.flush();
    EXPECT_TRUE(p.tables.empty());
}

TEST(TableBuilding, TooManyCellsToAddressAreDropped)
{
    // 120 x 120 rules: 14161 cells, more than a cell code can name.
    proc_t p(1);
    for (int i = 0; i < 120; ++i)
        hline(p, 100 + 10 * i, 100, 1290);
    for (int i = 0; i < 120; ++i)
        vline(p, 100 + 10 * i, 100, 1290);
    p.tableBuilding();
    ASSERT_EQ(p.tables.size(), 1u);
    EXPECT_EQ(p.tables[0].number, 0);
    EXPECT_TRUE(p.tables[0].cells.empty());
    EXPECT_EQ(p.lines.size(), 240u);
    expect_invariants(p);
}

TEST(TableBuilding, TraceLines)
{
    scratch_dir dir;
    const std::string log_path = dir.file("trace.log");
    {
        tk_logger log(log_path.c_str(), true, 1, false);
        proc_t p(1);
        grid(p, red);
        p.tableBuilding();
    }
    const std::string log = read_file(log_path);
    EXPECT_NE(log.find("tableBuilding\r\n"), std::string::npos);
    EXPECT_NE(log.find("pdf_uline_processor::reg_item::cellsBuilding\r\n"), std::string::npos);
    EXPECT_NE(log.find("Cell0_0: xMin=100.00,yMin=100.00 xMax=500.00,yMax300.00 \n\r\n"), std::string::npos);
    EXPECT_NE(log.find("Cell2_1: xMin=500.00,yMin=500.00 xMax=700.00,yMax700.00 \n\r\n"), std::string::npos);
    EXPECT_EQ(log.find("Cell2_2"), std::string::npos);
    EXPECT_NE(log.find("\xEE\xF1\xF2\xE0\xEB\xEE\xF1\xFC 1(1) \xEB\xE8\xED\xE8\xE9\r\n"), std::string::npos);
}
