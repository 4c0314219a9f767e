// Page regions from synthetic lines: a line across two columns ends the region, side-by-side
// lines inside one column become a nested region or are folded back into the column.
#include <gtest/gtest.h>

#include <vector>

#include "karvel/text_block.h"
#include "karvel/text_line.h"
#include "karvel/text_region.h"
#include "karvel/text_region_grid.h"

using namespace kvl;

namespace {

// Blocks of synthetic lines without words, 10 pt high, in block order.
class synthetic_page {
public:
    ~synthetic_page()
    {
        for (TextBlock* b : blocks)
            delete b;
    }
    TextLine* line(double x0, double x1, double base)
    {
        TextBlock* b = new TextBlock(nullptr, 0);
        blocks.push_back(b);
        TextLine* l = new TextLine(b, 0, base);
        l->xMin = x0;
        l->xMax = x1;
        l->yMin = base - 8;
        l->yMax = base + 2;
        l->len = 10;
        b->lines = l;
        b->nLines = 1;
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

} // namespace

TEST(RegionRules, LineAcrossTwoColumnsStartsANewRegion)
{
    synthetic_page p;
    for (int i = 0; i < 6; ++i) {
        p.line(72, 280, 100 + 14 * i);
        p.line(320, 540, 100 + 14 * i);
    }
    // Right below the columns, close enough that no gap rule applies.
    TextLine* wide = p.line(72, 540, 184);
    const TextRegionList list = p.build();
    ASSERT_EQ(list.regions.size(), 2u);
    const TextRegion& first = *list.regions[0];
    const TextRegion& second = *list.regions[1];
    EXPECT_EQ(first.columnCount(), 2);
    EXPECT_EQ(first.lineCount(), 12);
    EXPECT_EQ(second.number, 1);
    ASSERT_EQ(second.columnCount(), 1);
    ASSERT_EQ(second.columns[0]->lines.size(), 1u);
    EXPECT_EQ(second.columns[0]->lines[0], wide);
}

TEST(RegionRules, SideBySideLinesInOneColumnBecomeANestedRegion)
{
    synthetic_page p;
    for (int i = 0; i < 3; ++i)
        p.line(72, 300, 100 + 14 * i);
    std::vector<TextLine*> left;
    std::vector<TextLine*> right;
    for (int i = 3; i < 6; ++i) {
        left.push_back(p.line(72, 150, 100 + 14 * i));
        right.push_back(p.line(200, 300, 100 + 14 * i));
    }
    TextLine* after = p.line(72, 300, 184);
    const TextRegionList list = p.build();
    ASSERT_EQ(list.regions.size(), 1u);
    const TextRegion& r = *list.regions[0];
    ASSERT_EQ(r.columnCount(), 1);
    const TextColumn& c = *r.columns[0];
    ASSERT_EQ(c.lines.size(), 4u);
    EXPECT_EQ(c.lines[3], after);
    ASSERT_EQ(c.nested.size(), 1u);
    const TextRegion& n = *c.nested[0];
    EXPECT_EQ(n.number, 0);
    EXPECT_EQ(n.level, 1);
    ASSERT_EQ(n.columnCount(), 2);
    EXPECT_EQ(n.columns[0]->lines, left);
    EXPECT_EQ(n.columns[1]->lines, right);
    EXPECT_EQ(n.maxLines, 3);
    // The column reaches over the nested region's lines.
    EXPECT_DOUBLE_EQ(c.baseFirst, 100);
    EXPECT_DOUBLE_EQ(c.baseLast, 184);
    // A region with a nested region is written as columns.
    EXPECT_EQ(r.classify(10.0), 0.0);
    // The grid takes the nested region's column starts: 72 (within 10 of the column's
    // own start), 200, then 300 as the column's end (not in use).
    const TextColumnGrid grid(list);
    ASSERT_EQ(grid.count, 2);
    EXPECT_DOUBLE_EQ(grid.positions[0], 72);
    EXPECT_DOUBLE_EQ(grid.positions[1], 200);
}

TEST(RegionRules, OneRowOfSideBySideLinesIsFoldedBackIntoTheColumn)
{
    synthetic_page p;
    TextLine* a = p.line(72, 300, 100);
    TextLine* b = p.line(72, 300, 114);
    TextLine* left = p.line(72, 150, 128);
    TextLine* right = p.line(200, 300, 128);
    TextLine* after = p.line(72, 300, 142);
    const TextRegionList list = p.build();
    ASSERT_EQ(list.regions.size(), 1u);
    const TextRegion& r = *list.regions[0];
    ASSERT_EQ(r.columnCount(), 1);
    const TextColumn& c = *r.columns[0];
    // A nested region of one line per column is dissolved; the column's lines are then
    // sorted by base line and, on one base line, by left edge.
    EXPECT_TRUE(c.nested.empty());
    const std::vector<TextLine*> expected = {a, b, left, right, after};
    EXPECT_EQ(c.lines, expected);
    EXPECT_NE(r.classify(10.0), 0.0);
}
