// Page regions from synthetic lines: columns, breaks, vertical text, ruled tables nested
// in a column, the column grid and the classification.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "PDFR/pdf_ulin.h"
#include "karvel/text_block.h"
#include "karvel/text_line.h"
#include "karvel/text_region.h"
#include "karvel/text_region_band.h"
#include "karvel/text_region_grid.h"

using namespace kvl;

namespace {

// Blocks of synthetic lines (no words: the region rules then use their constants).
class page_lines {
public:
    ~page_lines()
    {
        for (TextBlock* b : blocks)
            delete b;
    }
    TextBlock* block(int rot = 0)
    {
        blocks.push_back(new TextBlock(nullptr, rot));
        return blocks.back();
    }
    // A line from x0 to x1 on the base line, 10 pt high, of len codes.
    TextLine* line(TextBlock* b, double x0, double x1, double base, int len = 10, int cell = 0)
    {
        TextLine* l = new TextLine(b, b->rot, base);
        l->xMin = x0;
        l->xMax = x1;
        l->yMin = base - 8;
        l->yMax = base + 2;
        l->len = len;
        l->cellCode = cell;
        if (b->lines == nullptr) {
            b->lines = l;
        } else {
            TextLine* last = b->lines;
            while (last->next != nullptr)
                last = last->next;
            last->next = l;
        }
        ++b->nLines;
        return l;
    }
    TextRegionList build()
    {
        TextRegionList list;
        list.PageRegionsBuilding(blocks.data(), static_cast<int>(blocks.size()), 10.0);
        return list;
    }
    std::vector<TextBlock*> blocks;
};

// Table 1 of the ruling-line processor: a grid of cols x rows cells of w x h from (x0, y0).
void add_ruled_table(pdf_uline_processor& proc, double x0, double y0, double w, double h, int cols, int rows,
                     double rule)
{
    pdf_uline_processor::reg_item table;
    table.number = 1;
    table.rows = rows + 1;
    table.columns = cols + 1;
    table.xMin = x0;
    table.xMax = x0 + cols * w;
    table.yMin = y0;
    table.yMax = y0 + rows * h;
    table.rule_width = rule;
    for (int row = 0; row < rows; ++row)
        for (int col = 0; col < cols; ++col) {
            pdf_uline_processor::cell c;
            c.xMin = x0 + w * col;
            c.xMax = x0 + w * (col + 1);
            c.yMin = y0 + h * row;
            c.yMax = y0 + h * (row + 1);
            table.cells.push_back(c);
        }
    proc.tables.push_back(table);
}

std::vector<const TextRegion*> written(const TextRegionList& list)
{
    std::vector<const TextRegion*> out;
    for (const auto& r : list.regions)
        if (!r->columns.empty() && r->number != region_skip_marker)
            out.push_back(r.get());
    return out;
}

} // namespace

TEST(RegionBuild, OneBlockIsOneRegionOfOneColumn)
{
    page_lines p;
    TextBlock* b = p.block();
    TextLine* a = p.line(b, 72, 300, 100);
    TextLine* c = p.line(b, 72, 280, 114);
    const TextRegionList list = p.build();
    const auto regions = written(list);
    ASSERT_EQ(regions.size(), 1u);
    const TextRegion& r = *regions[0];
    EXPECT_EQ(r.number, 0);
    EXPECT_EQ(r.weight, 0);
    ASSERT_EQ(r.columnCount(), 1);
    ASSERT_EQ(r.columns[0]->lines.size(), 2u);
    EXPECT_EQ(r.columns[0]->lines[0], a);
    EXPECT_EQ(r.columns[0]->lines[1], c);
    EXPECT_DOUBLE_EQ(r.xMin, 72);
    EXPECT_DOUBLE_EQ(r.xMax, 300);
    EXPECT_DOUBLE_EQ(r.baseMin, 100);
    EXPECT_DOUBLE_EQ(r.baseMax, 114);
    EXPECT_EQ(r.maxLines, 2);
    // Two lines in one column: cells, one per line.
    EXPECT_EQ(r.classify(10.0), 2.0);
}

TEST(RegionBuild, AStopEndsThePlacingOfLinesEarly)
{
    // Regions of a column of 10,000 lines: whole without a stop; with one, the lines placed
    // before the builder looked at it (the rest are not placed at all).
    for (const bool stop : {false, true}) {
        page_lines p;
        TextBlock* b = p.block();
        for (int i = 0; i < 10000; ++i)
            p.line(b, 72, 300, 100 + 0.06 * i);
        TextRegionList list;
        if (stop)
            list.stop = tk_stop_check{[](void*) { return true; }, nullptr};
        list.PageRegionsBuilding(p.blocks.data(), static_cast<int>(p.blocks.size()), 10.0);
        size_t placed = 0;
        for (const TextRegion* r : written(list))
            for (const auto& c : r->columns)
                placed += c->lines.size();
        if (stop) {
            EXPECT_GT(placed, 0u);
            EXPECT_LT(placed, 10000u);
        } else {
            EXPECT_EQ(placed, 10000u);
        }
    }
}

TEST(RegionBuild, TinyLinesNeverEnterARegion)
{
    page_lines p;
    TextBlock* b = p.block();
    p.line(b, 72, 300, 100);
    TextLine* dot = p.line(b, 72, 72.2, 114, 1);
    TextLine* wide_one = p.line(b, 72, 78, 128, 1);
    const TextRegionList list = p.build();
    int seen_dot = 0;
    int seen_wide = 0;
    for (const TextRegion* r : written(list))
        for (const auto& c : r->columns)
            for (const TextLine* l : c->lines) {
                seen_dot += l == dot;
                seen_wide += l == wide_one;
            }
    EXPECT_EQ(seen_dot, 0);
    EXPECT_EQ(seen_wide, 1);
}

TEST(RegionBuild, TwoEvenColumnsClassifyAsColumns)
{
    page_lines p;
    TextBlock* left = p.block();
    TextBlock* right = p.block();
    for (int i = 0; i < 6; ++i) {
        p.line(left, 72, 280, 100 + 14 * i);
        p.line(right, 320, 540, 100 + 14 * i);
    }
    const TextRegionList list = p.build();
    const auto regions = written(list);
    ASSERT_EQ(regions.size(), 1u);
    const TextRegion& r = *regions[0];
    ASSERT_EQ(r.columnCount(), 2);
    EXPECT_DOUBLE_EQ(r.columns[0]->xMin, 72);
    EXPECT_DOUBLE_EQ(r.columns[1]->xMin, 320);
    EXPECT_EQ(r.columns[0]->lines.size(), 6u);
    EXPECT_EQ(r.columns[1]->lines.size(), 6u);
    EXPECT_EQ(r.classify(10.0), 0.0);
}

TEST(RegionBuild, ThreeColumnsClassifyAsCells)
{
    page_lines p;
    TextBlock* b = p.block();
    for (int i = 0; i < 4; ++i) {
        p.line(b, 72, 140, 100 + 14 * i);
        p.line(b, 250, 320, 100 + 14 * i);
        p.line(b, 430, 500, 100 + 14 * i);
    }
    const TextRegionList list = p.build();
    const auto regions = written(list);
    ASSERT_EQ(regions.size(), 1u);
    EXPECT_EQ(regions[0]->columnCount(), 3);
    EXPECT_DOUBLE_EQ(regions[0]->classify(10.0), 12.4);
}

TEST(RegionBuild, FarGapBelowStartsANewRegion)
{
    page_lines p;
    TextBlock* b = p.block();
    for (int i = 0; i < 3; ++i)
        p.line(b, 72, 300, 100 + 14 * i);
    TextBlock* c = p.block();
    p.line(c, 72, 300, 400);
    const TextRegionList list = p.build();
    const auto regions = written(list);
    ASSERT_EQ(regions.size(), 2u);
    EXPECT_EQ(regions[0]->number, 0);
    EXPECT_EQ(regions[1]->number, 1);
    EXPECT_EQ(regions[0]->lineCount(), 3);
    EXPECT_EQ(regions[1]->lineCount(), 1);
}

TEST(RegionBuild, VerticalTextGoesToTheSkippedRegion)
{
    page_lines p;
    TextBlock* v = p.block(1);
    TextLine* l = p.line(v, 100, 110, 105);
    l->yMin = 100;
    l->yMax = 300;
    p.line(v, 120, 130, 125);
    const TextRegionList list = p.build();
    ASSERT_EQ(list.regions.size(), 1u);
    EXPECT_EQ(list.regions[0]->number, region_skip_marker);
    EXPECT_EQ(list.regions[0]->lineCount(), 2);
    EXPECT_TRUE(written(list).empty());
    const TextColumnGrid grid(list);
    EXPECT_EQ(grid.count, 0);
}

TEST(RegionBuild, RuledTableInsideAColumnIsNested)
{
    pdf_uline_processor proc(1);
    add_ruled_table(proc, 80, 200, 90, 20, 2, 2, 0.5);

    page_lines p;
    TextBlock* left = p.block();
    TextBlock* right = p.block();
    for (int i = 0; i < 6; ++i) {
        p.line(left, 72, 280, 100 + 14 * i);
        p.line(right, 320, 540, 100 + 14 * i);
    }
    TextBlock* cells = p.block();
    TextLine* c0 = p.line(cells, 85, 120, 215, 5, 10000);
    TextLine* c1 = p.line(cells, 175, 210, 215, 5, 10001);
    TextLine* c3 = p.line(cells, 175, 210, 235, 5, 10003);
    const TextRegionList list = p.build();
    const auto regions = written(list);
    ASSERT_GE(regions.size(), 1u);
    const TextRegion& r = *regions[0];
    ASSERT_EQ(r.columnCount(), 2);
    ASSERT_EQ(r.columns[0]->nested.size(), 1u);
    EXPECT_TRUE(r.columns[1]->nested.empty());
    const TextRegion& t = *r.columns[0]->nested[0];
    EXPECT_EQ(t.weight, 10);
    EXPECT_EQ(t.number, 0);
    EXPECT_EQ(t.level, 2);
    ASSERT_EQ(t.columnCount(), 2);
    ASSERT_EQ(t.columns[0]->lines.size(), 1u);
    EXPECT_EQ(t.columns[0]->lines[0], c0);
    ASSERT_EQ(t.columns[1]->lines.size(), 2u);
    // Placed table lines are marked by a negated cell code.
    EXPECT_EQ(c1->cellCode, -10001);
    EXPECT_EQ(c3->cellCode, -10003);
    // The nested table makes the region one of columns.
    EXPECT_EQ(r.classify(10.0), 0.0);
    EXPECT_NE(t.classify(10.0), 0.0);
    // Grid: the nested table's cell boundaries (80 lies within 10 of the column's 72).
    const TextColumnGrid grid(list);
    const std::vector<double> expected = {72, 170, 260, 280, 320};
    ASSERT_EQ(grid.count, 5);
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_DOUBLE_EQ(grid.positions[i], expected[i]);
}

TEST(RegionBuild, TableOnItsOwnIsATopLevelRegion)
{
    pdf_uline_processor proc(1);
    add_ruled_table(proc, 72, 300, 150, 20, 2, 1, 1.0);
    page_lines p;
    TextBlock* b = p.block();
    p.line(b, 72, 300, 100);
    TextBlock* t = p.block();
    p.line(t, 230, 260, 315, 4, 10001);
    const TextRegionList list = p.build();
    const auto regions = written(list);
    ASSERT_EQ(regions.size(), 2u);
    EXPECT_EQ(regions[0]->weight, 0);
    EXPECT_EQ(regions[1]->weight, 20);
    EXPECT_EQ(regions[1]->number, 1);
    ASSERT_EQ(regions[1]->columnCount(), 2);
    EXPECT_TRUE(regions[1]->columns[0]->lines.empty());
    EXPECT_EQ(regions[1]->columns[1]->lines.size(), 1u);
    // A ruled table is always written as cells.
    EXPECT_NE(regions[1]->classify(10.0), 0.0);
}

namespace {

// Lines piled up (seed % 3): all at one point; along 20 points of one base line; taking
// turns at a few points on base lines up to 12 apart; with odd seeds drifting, with a line
// far right now and then. Some lines are copies of others,
// some of another height or width or with a group number; with seed % 4 == 0 some positions are
// no number or infinite, with seed % 4 == 2 some lines lie in the cells of a ruled table.
void pile_lines(page_lines& p, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> pick(0, 99);
    std::uniform_real_distribution<double> unit(0, 1);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const double rises[] = {0, 0, 0.5, 1, 3, 6, 12};
    std::vector<std::pair<double, double>> spots = {{72, 400}};
    for (unsigned k = 1; seed % 3 == 2 && k < 2 + seed % 3; ++k)
        spots.emplace_back(72 + 120 * unit(random), 400 + (k < 3 ? 3.0 * k : rises[pick(random) % 7]));
    TextBlock* blocks[] = {p.block(), p.block(), p.block()};
    for (int i = 0; i < 400; ++i) {
        auto [x, base] = spots[static_cast<size_t>(i) % spots.size()];
        if (seed % 3 == 1)
            x += std::floor(80 * unit(random)) / 4;
        if (seed % 2 == 1) {
            // The pile drifts left and down every 10 lines, so that a band reaches 3 steps
            // on; first and after every other step, a line far right of one of two groups.
            const int step = i / 10;
            x -= 0.2 * step;
            base += 0.2 * step;
            if (i % 20 == 19 || i == 0) {
                x = 300;
                base += i == 0 ? -0.1 : 0.1;
            }
        }
        const int odd = pick(random);
        const int cell = seed % 4 == 2 && odd >= 60 && odd < 70 ? 10000 + odd % 4 : 0;
        TextLine* l = p.line(blocks[odd % 3], x, x + 8 + 4 * (i % 7 == 0 ? 3 : i % 3), base, 2 + i % 5, cell);
        if (odd >= 90)
            l->groupId = 1 + odd % 3;
        if (seed % 2 == 1 && i % 20 == 19)
            l->groupId = 1 + i % 40 / 20;
        if (odd >= 70 && odd < 73)
            l->xMax += 150;
        if (odd >= 80 && odd < 85)
            l->yMin -= 3;
        if (odd >= 85 && odd < 89)
            l->yMin += 5;
        if (odd == 89)
            l->yMax += 4;
        if (odd == 79) { // never placed
            l->len = 1;
            l->xMax = l->xMin + 0.2;
        }
        if (seed % 4 == 0 && odd < 6) {
            double* slot[] = {&l->base, &l->xMin, &l->xMax, &l->yMin};
            *slot[odd % 4] = odd < 4 ? nan : (odd == 4 ? inf : -inf);
        }
    }
    // Rows 6 below a tall line, with one line of another bottom or top amid them: the band
    // of the tall line ends at that line, before a line too narrow to be placed (whose row
    // offset shows how far the band reached).
    for (int row = 0; row < 2; ++row) {
        p.line(blocks[0], 72, 90, 300 + 40 * row)->yMin -= 3;
        for (int k = 0; k < 30; ++k) {
            TextLine* l = p.line(blocks[0], 72, k == 20 ? 72.2 : 90, 306 + 40 * row, k == 20 ? 1 : 10);
            if (k == 15)
                (row == 0 ? l->yMax : l->yMin) += row == 0 ? 4 : 2;
        }
    }
}

void describe(const TextRegion& r, const std::map<const TextLine*, int>& index, std::string& out)
{
    char buf[200];
    std::snprintf(buf, sizeof buf, "region %d l%d w%d m%d %g %g %g %g %g %g {", r.number, r.level, r.weight,
                  r.maxLines, r.baseMin, r.baseMax, r.yMin, r.yMax, r.xMin, r.xMax);
    out += buf;
    for (const auto& c : r.columns) {
        std::snprintf(buf, sizeof buf, " [%g %g %g %g %g %g g%d o%d:", c->xMin, c->xMax, c->baseFirst, c->baseLast,
                      c->yMin, c->yMax, c->groupId, c->offsetLines);
        out += buf;
        for (const TextLine* l : c->lines)
            out += " " + std::to_string(index.at(l));
        for (const auto& s : c->nested)
            describe(*s, index, out);
        out += "]";
    }
    out += " }\n";
}

} // namespace

TEST(RegionBuild, PiledLinesGiveTheRegionsOfTheDirectWay)
{
    // The regions, the order of the columns' lines and the lines' row offsets and cell
    // codes as the direct walks and sorts give them.
    pdf_uline_processor proc(1);
    add_ruled_table(proc, 60, 380, 40, 20, 2, 2, 0.5);
    int raised = 0;
    for (unsigned seed = 1; seed <= 60; ++seed) {
        std::string got[2];
        for (const bool direct : {true, false}) {
            page_lines p;
            pile_lines(p, seed);
            TextRegionList::directBuilding = direct;
            const TextRegionList list = p.build();
            TextRegionList::directBuilding = false;
            std::map<const TextLine*, int> index;
            std::string& out = got[direct ? 0 : 1];
            for (const TextBlock* b : p.blocks)
                for (const TextLine* l = b->lines; l != nullptr; l = l->next) {
                    const int n = static_cast<int>(index.size());
                    index[l] = n;
                    out += std::to_string(l->rowOffset) + "," + std::to_string(l->cellCode) + " ";
                }
            for (const auto& r : list.regions)
                describe(*r, index, out);
        }
        EXPECT_EQ(got[1], got[0]) << "seed " << seed;
        // Columns that counted lines of large row offsets (the band walks raised them).
        for (size_t at = got[0].find(" o"); at != std::string::npos; at = got[0].find(" o", at + 1))
            raised += got[0][at + 2] != '0';
    }
    EXPECT_GT(raised, 0);
}

namespace {

// 700 lines piled on a row whose keys differ a little (seed % 9): base lines one unit of
// the last place apart and sizes too; a staircase of base lines; five base lines 3 apart;
// base lines within a point or four at sizes 4 to 16 with the extents of two fonts; runs
// of alike lines; positions and sizes that are no number or infinite; base lines 1.5e9
// apart, some of sizes that reach that far; extents that are points, upside down or no
// number; runs of base lines at the distance the walk allows, or one unit past. Left edges
// mostly grow, with a drop now and then that ends bands.
void pile_of_keys(std::vector<std::unique_ptr<TextLine>>& lines, std::vector<double>& sizes, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> unit(0, 1);
    const auto pick = [&](int n) { return static_cast<int>(n * unit(random)); };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const int family = static_cast<int>(seed % 9);
    double base = 400, size = 10, ascent = 0.75, descent = 0.25;
    for (int i = 0; i < 700; ++i) {
        if (family == 4 && i % 10 != 0) {
            // a copy of the line before
        } else if (family == 0) {
            base = i % 2 ? std::nextafter(400.0, 500.0) : 400.0;
            size = i % 3 ? std::nextafter(10.0, 0.0) : 10.0;
        } else if (family == 1) {
            base = 400 + 0.001 * i;
        } else if (family == 2 || family == 5) {
            base = 400 + 3 * pick(5);
        } else if (family == 6) {
            base = unit(random) < 0.15 ? 400 + 1.5e9 * pick(3) : 400 + unit(random);
            size = unit(random) < 0.15 ? 5e9 : 10;
        } else if (family == 7) {
            base = 400 + 3 * unit(random);
            size = 2;
        } else if (family == 8) {
            // Runs of 20 at the distance from 400, then 20 at 400, now and then one more
            // unit past the distance (up or down, by the seed).
            const double edge = seed % 2 ? 400 + 0.7 * size : 400 - 0.7 * size;
            base = i % 40 < 20 ? edge : 400;
            if (i % 37 == 0)
                base = std::nextafter(edge, seed % 2 ? inf : -inf);
            ascent = descent = 0.01;
        } else {
            base = 400 + unit(random) * (unit(random) < 0.2 ? 4 : 1);
            size = 4 + std::floor(12 * unit(random) * 8) / 8;
            ascent = unit(random) < 0.5 ? 0.75 : 0.95;
            descent = ascent == 0.75 ? 0.25 : 0.35;
        }
        auto l = std::make_unique<TextLine>(nullptr, 0, base);
        l->xMin = 72 + 0.01 * i - (unit(random) < 0.02 ? 5 : 0);
        l->xMax = l->xMin + 20;
        l->yMin = base - ascent * size;
        l->yMax = base + descent * size;
        double line_size = size;
        if (family == 7) { // tall extents round 400, some points at 400, upside down or no number
            const double tops[] = {395, 400, 405, nan}, bottoms[] = {405, 400, 395, 405};
            const int k = unit(random) < 0.8 ? 0 : 1 + pick(3);
            l->yMin = tops[k];
            l->yMax = bottoms[k];
        }
        if (family == 5 && unit(random) < 0.15) {
            double* slot[] = {&l->base, &l->xMin, &l->yMin, &l->yMax, &line_size};
            const double odd[] = {nan, inf, -inf, 0, -3};
            *slot[pick(5)] = odd[pick(5)];
        }
        lines.push_back(std::move(l));
        sizes.push_back(line_size);
    }
}

// The band walk and its raises as the builder's direct way does them, line by line.
size_t band_end_by_lines(const std::vector<TextLine*>& lines, const std::vector<double>& sizes, size_t i)
{
    const TextLine* li = lines[i];
    size_t j = i;
    for (; j < lines.size(); ++j) {
        const TextLine* m = lines[j];
        if ((std::fabs(m->base - li->base) > 0.7 * sizes[j] && overlapRatio(li->yMin, li->yMax, m->yMin, m->yMax) < 0.4) ||
            li->xMin > m->xMin + 0.5)
            break;
    }
    return std::max(j, i + 1);
}

} // namespace

TEST(RegionBands, BandsAndRaisesAreThoseOfTheLineByLineWalk)
{
    // The builder's order of calls: a line's offset settled and read (which clears it)
    // before it is placed, its band walked and raised; some lines read ahead, as table
    // lines are; all settled at the end.
    for (unsigned seed = 1; seed <= 27; ++seed) {
        std::vector<std::unique_ptr<TextLine>> owned;
        std::vector<double> sizes;
        pile_of_keys(owned, sizes, seed);
        std::vector<TextLine*> lines;
        for (const auto& l : owned)
            lines.push_back(l.get());
        std::vector<int> expected(lines.size(), 0);
        region_bands bands(lines, sizes);
        std::mt19937 random(seed);
        const auto read = [&](size_t j) {
            bands.settle(j);
            EXPECT_EQ(lines[j]->rowOffset, expected[j]) << "seed " << seed << " line " << j;
            lines[j]->rowOffset = expected[j] = 0;
        };
        size_t long_bands = 0;
        for (size_t i = 0; i < lines.size(); ++i) {
            read(i);
            if (random() % 50 == 0)
                read(i + random() % (lines.size() - i));
            const size_t end = band_end_by_lines(lines, sizes, i);
            ASSERT_EQ(bands.end(i), end) << "seed " << seed << " line " << i;
            long_bands += end - i > 16;
            bands.raiseOffsets(i, end);
            for (size_t j = i; j < end; ++j) {
                const double d = std::fabs(lines[j]->base - lines[i]->base) + 0.45;
                if (d >= 1.0 && d < 2147483648.0)
                    expected[j] = std::max(expected[j], static_cast<int>(d));
            }
        }
        bands.settleAll();
        for (size_t j = 0; j < lines.size(); ++j)
            EXPECT_EQ(lines[j]->rowOffset, expected[j]) << "seed " << seed << " line " << j << " at the end";
        EXPECT_GT(long_bands, 50u) << "seed " << seed;
    }
}

TEST(ColumnGrid, PositionsFromColumnStarts)
{
    page_lines p;
    TextBlock* left = p.block();
    TextBlock* right = p.block();
    for (int i = 0; i < 6; ++i) {
        p.line(left, 72, 280, 100 + 14 * i);
        p.line(right, 320, 540, 100 + 14 * i);
    }
    const TextRegionList list = p.build();
    const TextColumnGrid grid(list);
    EXPECT_DOUBLE_EQ(grid.xMinAll, 72);
    EXPECT_DOUBLE_EQ(grid.xMaxAll, 540);
    // [72, 320] then [320, 540]: positions 72, 320, 540; the last one is not in use.
    ASSERT_EQ(grid.count, 2);
    EXPECT_DOUBLE_EQ(grid.positions[0], 72);
    EXPECT_DOUBLE_EQ(grid.positions[1], 320);
    EXPECT_EQ(grid.countBelow(75), 1);
    EXPECT_EQ(grid.countBelow(400), 2);
}

TEST(ColumnGrid, CloseBoundariesMerge)
{
    TextRegionList empty;
    TextColumnGrid grid(empty);
    grid.xMinAll = 50;
    grid.addInterval(100, 200);
    ASSERT_EQ(grid.count, 3);
    EXPECT_DOUBLE_EQ(grid.positions[1], 100);
    // Within d = 10 of existing positions: dropped; far enough: inserted in order.
    grid.addInterval(105, 195);
    EXPECT_EQ(grid.count, 3);
    grid.addInterval(150, 260);
    ASSERT_EQ(grid.count, 5);
    EXPECT_DOUBLE_EQ(grid.positions[2], 150);
    EXPECT_DOUBLE_EQ(grid.positions[4], 260);
    // A reversed interval adds nothing; a zero-width one is accepted at once.
    grid.addInterval(300, 290);
    EXPECT_EQ(grid.count, 5);
    grid.addInterval(280, 280);
    EXPECT_EQ(grid.count, 6);
    // A narrow interval uses a finer step: 3 wide gives c = 3, d = 10 / 3.
    grid.addInterval(226, 229);
    EXPECT_EQ(grid.count, 7);
    for (int i = 1; i < grid.count; ++i)
        EXPECT_LT(grid.positions[static_cast<size_t>(i - 1)], grid.positions[static_cast<size_t>(i)]);
}
