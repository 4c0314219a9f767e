// The page layout pass: groups, cells, blocks, direction, block columns, flows.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <random>
#include <set>
#include <string>

#include <goo/gmem.h>
#include <gtest/gtest.h>

#include "PDFR/pdf_ulin.h"
#include "text_glyph_driver.h"

using kvl::TextBlock;
using kvl::TextFlow;
using kvl::TextLine;
using kvl::TextWord;

namespace {

std::vector<const TextWord*> line_words(const glyph_driver& d)
{
    std::vector<const TextWord*> out;
    for (const TextLine* l : d.line_ptrs())
        for (const TextWord* w = l->words; w != nullptr; w = w->next)
            out.push_back(w);
    return out;
}

// Two columns of a ruleless table under a header: names at x 100, values at x 132.
void draw_two_columns(glyph_driver& d)
{
    d.string(100, 188, "Item and Value", 5); // the header spans both columns
    const char* names[] = {"Name", "Size", "Kind", "Date"};
    const char* values[] = {"12", "7", "99", "1"};
    for (int i = 0; i < 4; ++i) {
        d.string(100, 200 + 12.0 * i, names[i], 6);
        d.string(132, 200 + 12.0 * i, values[i], 6);
    }
}

} // namespace

TEST(TextLayout, WithoutRulingProcessorNoGroupsAreMade)
{
    glyph_driver d(10);
    draw_two_columns(d);
    d.page.coalesce(false, false);
    EXPECT_EQ(d.lines(), std::vector<std::string>({"Item and Value", "Name 12", "Size 7", "Kind 99", "Date 1"}));
    for (const TextWord* w : line_words(d))
        EXPECT_EQ(w->groupId, 0);
}

TEST(TextLayout, StackedWordsAtOneLeftEdgeFormAGroupAndKeepTheirOwnLines)
{
    pdf_uline_processor processor(1);
    glyph_driver d(10);
    draw_two_columns(d);
    d.page.coalesce(false, false);
    auto lines = d.lines();
    EXPECT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines.at(0), "Item and Value");
    std::set<int> name_groups, value_groups;
    for (const TextWord* w : line_words(d)) {
        EXPECT_NE(w->groupId, 0);
        if (w->base < 200)
            continue;
        (w->xMin < 120 ? name_groups : value_groups).insert(w->groupId);
    }
    EXPECT_EQ(name_groups.size(), 1u);
    EXPECT_EQ(value_groups.size(), 1u);
    EXPECT_NE(*name_groups.begin(), *value_groups.begin());
}

TEST(TextLayout, TwoStackedWordsWithBothEdgesAlignedFormAGroup)
{
    pdf_uline_processor processor(1);
    glyph_driver d(10);
    d.string(100, 200, "abc", 6);
    d.string(100, 212, "def", 6);  // same left and right edges
    d.string(300, 200, "gh", 6);
    d.string(300, 212, "ijkl", 6); // same left edge only
    d.page.coalesce(false, false);
    auto words = line_words(d);
    ASSERT_EQ(words.size(), 4u);
    for (const TextWord* w : words)
        EXPECT_EQ(w->groupId != 0, w->xMin < 200) << glyph_driver::text_of(w->text, w->len);
}

TEST(TextLayout, FarBaseLineRestartsAShortRun)
{
    pdf_uline_processor processor(1);
    glyph_driver d(10);
    const char* texts[] = {"ab", "abc", "abcd", "a", "abcde", "abcdef"};
    const double bases[] = {100, 112, 300, 312, 324, 336};
    for (int i = 0; i < 6; ++i)
        d.string(100, bases[i], texts[i], 6);
    d.page.coalesce(false, false);
    for (const TextWord* w : line_words(d)) {
        if (w->base < 200)
            EXPECT_EQ(w->groupId, 0);
        else
            EXPECT_EQ(w->groupId, 1);
    }
}

TEST(TextLayout, WordsInDifferentCellsGetTheirCodesAndLines)
{
    pdf_uline_processor processor(1);
    pdf_uline_processor::reg_item table;
    table.number = 1;
    table.xMin = 100;
    table.xMax = 250;
    table.yMin = 185;
    table.yMax = 215;
    table.cells.push_back({100, 150, 185, 215});
    table.cells.push_back({150, 250, 185, 215});
    processor.tables.push_back(table);

    glyph_driver d(10);
    d.string(110, 200, "left", 5);
    d.string(152, 200, "right", 5);
    d.string(110, 400, "out", 5);
    d.page.coalesce(false, false);
    auto lines = d.line_ptrs();
    ASSERT_EQ(lines.size(), 3u);
    std::set<int> codes;
    for (const TextLine* l : lines) {
        codes.insert(l->cellCode);
        EXPECT_EQ(l->words->cellCode, l->cellCode);
    }
    EXPECT_EQ(codes.size(), 3u);
    EXPECT_EQ(codes.count(0), 1u);
    for (int code : codes)
        if (code != 0)
            EXPECT_EQ(code / 10000, 1);
}

TEST(TextLayout, ProcessorInModeZeroLeavesCodesAlone)
{
    pdf_uline_processor processor(0);
    glyph_driver d(10);
    draw_two_columns(d);
    d.page.coalesce(false, false);
    EXPECT_EQ(d.lines().size(), 5u);
}

TEST(TextLayout, SizeDifferenceOfFivePercentKeepsLinesApart)
{
    {
        glyph_driver d(10);
        d.string(100, 200, "abc", 6);
        d.set_size(10.4);
        d.string(100, 212, "def", 6);
        d.page.coalesce(false, false);
        EXPECT_EQ(d.page.nBlocks, 1);
    }
    {
        glyph_driver d(10);
        d.string(100, 200, "abc", 6);
        d.set_size(10.5);
        d.string(100, 212, "def", 6);
        d.page.coalesce(false, false);
        EXPECT_EQ(d.page.nBlocks, 2);
    }
}

TEST(TextLayout, WordsBesideJoinUpToSixtyPercentSizeDifference)
{
    {
        glyph_driver d(10);
        d.string(100, 200, "abc", 6);
        d.set_size(15.9);
        d.string(120, 200, "DEF", 9);
        d.page.coalesce(false, false);
        EXPECT_EQ(d.page.nBlocks, 1);
    }
    {
        glyph_driver d(10);
        d.string(100, 200, "abc", 6);
        d.set_size(16.1);
        d.string(120, 200, "DEF", 9);
        d.page.coalesce(false, false);
        EXPECT_EQ(d.page.nBlocks, 2);
    }
}

TEST(TextLayout, OneToThreeOutliersJoinButFourDoNot)
{
    for (int outliers = 1; outliers <= 4; ++outliers) {
        glyph_driver d(10);
        for (int i = 0; i < 4; ++i)
            d.string(100, 200 + 12.0 * i, "abcdefgh", 5);
        for (int i = 0; i < outliers; ++i)
            d.string(90, 200 + 12.0 * i, "x", 5); // 5 left of the block
        d.page.coalesce(false, false);
        EXPECT_EQ(d.page.nBlocks, outliers < 4 ? 1 : 2) << outliers << " outliers";
    }
    for (int outliers = 1; outliers <= 4; ++outliers) {
        glyph_driver d(10);
        for (int i = 0; i < 4; ++i)
            d.string(100, 200 + 12.0 * i, "abcdefgh", 5);
        for (int i = 0; i < outliers; ++i)
            d.string(145, 200 + 12.0 * i, "x", 5); // 5 right of the block
        d.page.coalesce(false, false);
        EXPECT_EQ(d.page.nBlocks, outliers < 4 ? 1 : 2) << outliers << " outliers on the right";
    }
}

TEST(TextLayout, MostlyRightToLeftTextTurnsTheDirection)
{
    glyph_driver d(10);
    d.string(100, 200, "ab", 5);
    d.page.beginWord(&d.state, 300, 200);
    for (int i = 0; i < 3; ++i)
        d.glyph(300 + 5.0 * i, 200, 5, 0, 0x05D0 + i);
    d.page.endWord();
    d.page.coalesce(false, false);
    EXPECT_FALSE(d.page.primaryLR);
}

TEST(TextLayout, MoreLeftToRightTextKeepsTheDirection)
{
    glyph_driver e(10);
    e.string(100, 200, "abcd", 5);
    e.page.beginWord(&e.state, 300, 200);
    for (int i = 0; i < 3; ++i)
        e.glyph(300 + 5.0 * i, 200, 5, 0, 0x05D0 + i);
    e.page.endWord();
    e.page.coalesce(false, false);
    EXPECT_TRUE(e.page.primaryLR);
}

TEST(TextLayout, BlocksSideBySideAreThreeColumnsApart)
{
    glyph_driver d(10);
    d.string(100, 200, "abc", 5);
    d.string(100, 212, "abcdef", 5);
    d.string(300, 200, "xyz", 5);
    d.page.coalesce(false, false);
    ASSERT_EQ(d.page.nBlocks, 2);
    const TextBlock* left = d.page.blocks[0];
    const TextBlock* right = d.page.blocks[1];
    ASSERT_LT(left->xMin, right->xMin);
    EXPECT_EQ(left->col, 0);
    EXPECT_EQ(left->nColumns, 6);
    EXPECT_EQ(right->col, 9);
    EXPECT_EQ(right->lines->col[0], 9);
    EXPECT_EQ(right->lines->col[3], 12);
    // Free space: each block ends where the other starts.
    EXPECT_DOUBLE_EQ(left->priMax, 300);
    EXPECT_DOUBLE_EQ(right->priMin, 130);
}

TEST(TextLayout, BlocksReadTopToBottomThenLeftToRight)
{
    glyph_driver d(10);
    d.string(300, 100, "second", 5);
    d.string(100, 100, "first", 5);
    d.string(100, 400, "third", 5);
    d.page.coalesce(false, false);
    EXPECT_EQ(d.lines(), std::vector<std::string>({"first", "second", "third"}));
    EXPECT_EQ(d.page.primaryRot, 0);
}

TEST(TextLayout, LargerHeadingStartsANewFlow)
{
    glyph_driver d(10);
    d.string(100, 100, "para one", 5);
    d.string(100, 125, "para two", 5);
    d.set_size(14);
    d.string(100, 150, "Heading", 7);
    d.set_size(10);
    d.string(100, 180, "para three", 5);
    d.page.coalesce(false, false);
    ASSERT_EQ(d.page.nBlocks, 4);
    std::vector<std::vector<std::string>> flows;
    for (const TextFlow* f = d.page.flows; f != nullptr; f = f->next) {
        flows.emplace_back();
        for (const TextBlock* b = f->blocks; b != nullptr; b = b->next)
            flows.back().push_back(glyph_driver::text_of(b->lines->text, b->lines->len));
        EXPECT_EQ(f->lastBlk->next, nullptr);
    }
    EXPECT_EQ(flows, (std::vector<std::vector<std::string>>{{"para one", "para two"}, {"Heading", "para three"}}));
}

TEST(TextLayout, TwoColumnsMakeTwoFlows)
{
    glyph_driver d(10);
    for (int i = 0; i < 5; ++i) {
        d.string(50, 100 + 12.0 * i, "left column text", 5);
        d.string(320, 100 + 12.0 * i, "right column text", 5);
    }
    d.page.coalesce(false, false);
    ASSERT_EQ(d.page.nBlocks, 2);
    int flows = 0;
    for (const TextFlow* f = d.page.flows; f != nullptr; f = f->next)
        ++flows;
    EXPECT_EQ(flows, 2);
    EXPECT_LT(d.page.blocks[0]->xMin, d.page.blocks[1]->xMin);
    EXPECT_EQ(d.page.blocks[0]->nLines, 5);
}

TEST(TextLayout, VerticalTextSetsThePrimaryRotation)
{
    glyph_driver d(10, 1);
    d.string_vertical(100, 100, "vertical", 5);
    d.string_vertical(112, 100, "text", 5);
    d.set_rotation(0);
    d.string(300, 300, "ab", 5);
    d.page.coalesce(false, false);
    EXPECT_EQ(d.page.primaryRot, 1);
    EXPECT_EQ(d.page.nBlocks, 2);
}

TEST(TextLayout, EmptyPageHasNoBlocks)
{
    glyph_driver d(10);
    d.page.coalesce(false, false);
    EXPECT_EQ(d.page.nBlocks, 0);
    EXPECT_EQ(d.page.primaryRot, -1);
    EXPECT_EQ(d.page.flows, nullptr);
}

TEST(TextLayout, EveryCharacterEndsInExactlyOneLine)
{
    glyph_driver d(10);
    std::mt19937 random(7);
    std::uniform_real_distribution<double> x(0, 600), y(10, 780), size(4, 30);
    std::uniform_int_distribution<int> rot(0, 3), letter(0x4E00, 0x9F00); // no two alike: no duplicates
    int chars = 0;
    for (int i = 0; i < 4000; ++i) {
        d.set_rotation(rot(random));
        d.set_size(size(random));
        double px = x(random), py = y(random);
        d.page.beginWord(&d.state, px, py);
        int n = 1 + i % 5;
        for (int k = 0; k < n; ++k)
            d.glyph(px + 20 * k, py, 4, 0, static_cast<Unicode>(letter(random)));
        d.page.endWord();
    }
    for (int r = 0; r < 4; ++r)
        for (const TextWord* w : d.pool_words(r))
            chars += w->len;
    d.page.coalesce(false, false);
    int in_lines = 0, blocks_chars = 0;
    for (int i = 0; i < d.page.nBlocks; ++i) {
        blocks_chars += d.page.blocks[i]->charCount;
        for (const TextLine* l = d.page.blocks[i]->lines; l != nullptr; l = l->next)
            for (const TextWord* w = l->words; w != nullptr; w = w->next)
                in_lines += w->len;
    }
    EXPECT_GT(chars, 1000);
    EXPECT_EQ(in_lines, chars);
    EXPECT_GE(blocks_chars, chars);
    for (int r = 0; r < 4; ++r)
        EXPECT_TRUE(d.page.pools[r]->isEmpty());
    int flow_blocks = 0;
    for (const TextFlow* f = d.page.flows; f != nullptr; f = f->next)
        for (const TextBlock* b = f->blocks; b != nullptr; b = b->next)
            ++flow_blocks;
    EXPECT_EQ(flow_blocks, d.page.nBlocks);
}

// The faster block phases give what comparing every pair gives.

#include "karvel/text_layout.h"

namespace {

// Random blocks; with piles > 0, about half of them are copies of one of that many boxes
// (blocks piled onto one spot, as words of zero size make them).
struct random_blocks {
    random_blocks(glyph_driver& d, int n, unsigned seed, int grid, int piles = 0)
    {
        std::mt19937 random(seed);
        std::uniform_int_distribution<int> coord(0, grid), extent(0, 12), cols(0, 40), pile(0, std::max(1, 2 * piles) - 1);
        std::vector<std::unique_ptr<TextBlock>> boxes;
        for (int i = 0; i < piles + n; ++i) {
            auto b = std::make_unique<TextBlock>(&d.page, 0);
            const int k = piles > 0 && i >= piles ? pile(random) : piles;
            if (k < piles) {
                const TextBlock& box = *boxes[static_cast<size_t>(k)];
                b->xMin = box.xMin;
                b->xMax = box.xMax;
                b->yMin = box.yMin;
                b->yMax = box.yMax;
                b->nColumns = box.nColumns;
            } else {
                b->xMin = coord(random);
                b->xMax = b->xMin + extent(random);
                b->yMin = coord(random);
                b->yMax = b->yMin + extent(random) / 3;
                b->nColumns = cols(random);
            }
            if (i < piles) {
                boxes.push_back(std::move(b));
                continue;
            }
            owned.push_back(std::move(b));
            array.push_back(owned.back().get());
        }
    }
    void sort_xy(int rot)
    {
        std::stable_sort(array.begin(), array.end(),
                         [rot](const TextBlock* a, const TextBlock* b) { return kvl::cmpBlockXY(rot, a, b) < 0; });
    }
    std::vector<std::unique_ptr<TextBlock>> owned;
    std::vector<TextBlock*> array;
};

} // namespace

TEST(TextLayoutPhases, BlockColumnsMatchTheDirectComparison)
{
    glyph_driver d(10);
    for (int rot = 0; rot < 4; ++rot) {
        for (unsigned seed = 1; seed <= 20; ++seed) {
            random_blocks blocks(d, 300, seed, seed % 2 ? 40 : 600, seed % 4 < 2 ? 0 : 3);
            blocks.sort_xy(rot);
            kvl::assignBlockColumnsDirect(blocks.array.data(), 300, rot);
            std::vector<int> expected;
            for (TextBlock* b : blocks.array) {
                expected.push_back(b->col);
                b->col = -1;
            }
            kvl::assignBlockColumns(blocks.array.data(), 300, rot);
            std::vector<int> got;
            for (TextBlock* b : blocks.array)
                got.push_back(b->col);
            ASSERT_EQ(got, expected) << "rotation " << rot << " seed " << seed;
            EXPECT_GT(*std::max_element(got.begin(), got.end()), 0);
        }
    }
}

TEST(TextLayoutPhases, FreeSpaceMatchesTheDirectComparison)
{
    glyph_driver d(10);
    for (int rot = 0; rot < 4; ++rot) {
        for (unsigned seed = 1; seed <= 20; ++seed) {
            random_blocks blocks(d, 300, seed, seed % 2 ? 40 : 600, seed % 4 < 2 ? 0 : 3);
            if (seed == 7)
                blocks.array[3]->yMax = std::numeric_limits<double>::infinity(); // the direct way is taken
            kvl::narrowFreeSpaceDirect(blocks.array.data(), 300, rot);
            std::vector<std::pair<double, double>> expected;
            for (TextBlock* b : blocks.array) {
                expected.emplace_back(b->priMin, b->priMax);
                b->priMin = 0;
                b->priMax = 612;
            }
            kvl::narrowFreeSpace(blocks.array.data(), 300, rot);
            int narrowed = 0;
            for (size_t i = 0; i < blocks.array.size(); ++i) {
                ASSERT_EQ(blocks.array[i]->priMin, expected[i].first) << "rotation " << rot << " seed " << seed;
                ASSERT_EQ(blocks.array[i]->priMax, expected[i].second) << "rotation " << rot << " seed " << seed;
                narrowed += expected[i].first > 0 || expected[i].second < 612;
            }
            EXPECT_GT(narrowed, 0);
        }
    }
}

// Words piled onto one spot: the layout pass gives what it gave before it met such piles
// in near-linear time (the expected descriptions were taken from the earlier build).

namespace {

// Blocks in reading order with their rotation, box, columns, free space and lines (text
// and first column), then the flows as lists of block positions.
std::string describe_layout(const glyph_driver& d)
{
    std::string s;
    char buf[160];
    for (int i = 0; i < d.page.nBlocks; ++i) {
        const TextBlock* b = d.page.blocks[i];
        std::snprintf(buf, sizeof buf, "%d:r%d %g,%g %g,%g c%d+%d p%g,%g", i, b->rot, b->xMin, b->xMax, b->yMin,
                      b->yMax, b->col, b->nColumns, b->priMin, b->priMax);
        s += buf;
        for (const TextLine* l = b->lines; l != nullptr; l = l->next) {
            std::snprintf(buf, sizeof buf, "@%d g%d ", l->col[0], l->groupId);
            s += " [" + glyph_driver::text_of(l->text, l->len) + buf + "]";
        }
        s += "\n";
    }
    for (const TextFlow* f = d.page.flows; f != nullptr; f = f->next) {
        s += "flow";
        for (const TextBlock* b = f->blocks; b != nullptr; b = b->next)
            s += " " + std::to_string(std::find(d.page.blocks, d.page.blocks + d.page.nBlocks, b) - d.page.blocks);
        s += "\n";
    }
    return s;
}

// Glyphs of zero size (font size 0) piled onto two spots, between lines of ordinary text.
void draw_zero_size_piles(glyph_driver& d)
{
    d.string(100, 180, "above the pile", 5);
    d.set_size(0);
    const char* letters = "abcdefgh";
    for (int i = 0; i < 8; ++i) {
        d.page.beginWord(&d.state, 100, 200);
        d.glyph(100, 200, 0, 0, static_cast<Unicode>(letters[i]));
        d.page.endWord();
        d.page.beginWord(&d.state, 140, 200);
        d.glyph(140, 200, 0, 0, static_cast<Unicode>(letters[7 - i]));
        d.page.endWord();
    }
    d.set_size(10);
    d.string(100, 220, "below the pile", 5);
}

// Glyphs drawn with a zero text matrix: no size, no direction (rotation 3), one spot.
void draw_zero_matrix_pile(glyph_driver& d)
{
    d.string(100, 380, "before", 5);
    d.state.setTextMat(0, 0, 0, 0, 0, 0);
    d.page.updateFont(&d.state);
    for (int i = 0; i < 6; ++i) {
        d.page.beginWord(&d.state, 150, 400);
        d.glyph(150, 400, 0, 0, static_cast<Unicode>('p' + i));
        d.glyph(150, 400, 0, 0, static_cast<Unicode>('p' + i));
        d.page.endWord();
    }
    d.set_rotation(0);
    d.page.updateFont(&d.state);
}

// One line drawn over itself, with copies a little off (still duplicates), copies with
// other words (no duplicates), and copies on the next bucket's base line.
void draw_overprinted_lines(glyph_driver& d)
{
    for (int i = 0; i < 6; ++i)
        d.string(100, 500, "ab cd ef", 6);
    d.string(100.4, 500.3, "ab cd ef", 6);
    d.string(100, 500, "ab xy ef", 6);
    d.string(100, 500, "ab xy ef", 6);
    for (int i = 0; i < 3; ++i)
        d.string(100, 504.5, "ab cd", 6);
    d.string(100, 540, "the next line", 6);
}

// Lines of other words drawn over one another (no duplicates), two of them twice.
void draw_overprinted_other_words(glyph_driver& d)
{
    const char* lines[] = {"one two three", "four five", "six seven eight", "nine", "ten eleven", "one two three"};
    for (int k = 0; k < 2; ++k)
        for (const char* text : lines)
            d.string(100, 600, text, 5);
    d.string(100, 600.5, "twelve", 5);
}

} // namespace

TEST(TextLayout, PiledUpWordsGiveTheBlocksLinesAndFlowsTheyGaveBefore)
{
    struct pile_case {
        const char* name;
        void (*draw)(glyph_driver&);
        bool rulings;
        const char* expected;
    };
    const pile_case cases[] = {
        {"zero-size words", draw_zero_size_piles, false, "0:r0 100,165 170.5,183.5 c0+14 p0,612 [above the pile@0 g0 ]\n"
         "1:r3 100,101 200,200 c0+1 p0,612 [h@0 g0 ]\n"
         "2:r3 100,101 200,200 c0+1 p0,612 [g@0 g0 ]\n"
         "3:r3 100,101 200,200 c0+1 p0,612 [f@0 g0 ]\n"
         "4:r3 100,101 200,200 c0+1 p0,612 [e@0 g0 ]\n"
         "5:r3 100,101 200,200 c0+1 p0,612 [d@0 g0 ]\n"
         "6:r3 100,101 200,200 c0+1 p0,612 [c@0 g0 ]\n"
         "7:r3 100,101 200,200 c0+1 p0,612 [b@0 g0 ]\n"
         "8:r3 100,101 200,200 c0+1 p0,612 [a@0 g0 ]\n"
         "9:r3 140,141 200,200 c8+1 p0,612 [a@8 g0 ]\n"
         "10:r3 140,141 200,200 c8+1 p0,612 [b@8 g0 ]\n"
         "11:r3 140,141 200,200 c8+1 p0,612 [c@8 g0 ]\n"
         "12:r3 140,141 200,200 c8+1 p0,612 [d@8 g0 ]\n"
         "13:r3 140,141 200,200 c8+1 p0,612 [e@8 g0 ]\n"
         "14:r3 140,141 200,200 c8+1 p0,612 [f@8 g0 ]\n"
         "15:r3 140,141 200,200 c8+1 p0,612 [g@8 g0 ]\n"
         "16:r3 140,141 200,200 c8+1 p0,612 [h@8 g0 ]\n"
         "17:r0 100,165 210.5,223.5 c0+14 p0,612 [below the pile@0 g0 ]\n"
         "flow 0 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16\n"
         "flow 17\n"},
        {"zero-size words, column groups", draw_zero_size_piles, true, "0:r0 100,165 170.5,183.5 c0+14 p0,612 [above the pile@0 g1 ]\n"
         "1:r3 100,101 200,200 c0+1 p0,612 [h@0 g1 ]\n"
         "2:r3 100,101 200,200 c0+1 p0,612 [g@0 g1 ]\n"
         "3:r3 100,101 200,200 c0+1 p0,612 [f@0 g1 ]\n"
         "4:r3 100,101 200,200 c0+1 p0,612 [e@0 g1 ]\n"
         "5:r3 100,101 200,200 c0+1 p0,612 [d@0 g1 ]\n"
         "6:r3 100,101 200,200 c0+1 p0,612 [c@0 g1 ]\n"
         "7:r3 100,101 200,200 c0+1 p0,612 [b@0 g1 ]\n"
         "8:r3 100,101 200,200 c0+1 p0,612 [a@0 g1 ]\n"
         "9:r3 140,141 200,200 c8+1 p0,612 [a@8 g2 ]\n"
         "10:r3 140,141 200,200 c8+1 p0,612 [b@8 g2 ]\n"
         "11:r3 140,141 200,200 c8+1 p0,612 [c@8 g2 ]\n"
         "12:r3 140,141 200,200 c8+1 p0,612 [d@8 g2 ]\n"
         "13:r3 140,141 200,200 c8+1 p0,612 [e@8 g2 ]\n"
         "14:r3 140,141 200,200 c8+1 p0,612 [f@8 g2 ]\n"
         "15:r3 140,141 200,200 c8+1 p0,612 [g@8 g2 ]\n"
         "16:r3 140,141 200,200 c8+1 p0,612 [h@8 g2 ]\n"
         "17:r0 100,165 210.5,223.5 c0+14 p0,612 [below the pile@0 g1 ]\n"
         "flow 0 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16\n"
         "flow 17\n"},
        {"zero text matrix", draw_zero_matrix_pile, false, "0:r0 100,130 370.5,383.5 c5+6 p0,612 [before@5 g0 ]\n"
         "1:r3 150,151 400,400 c0+2 p0,612 [uu@0 g0 ]\n"
         "2:r3 150,151 400,400 c0+2 p0,612 [tt@0 g0 ]\n"
         "3:r3 150,151 400,400 c0+2 p0,612 [ss@0 g0 ]\n"
         "4:r3 150,151 400,400 c0+2 p0,612 [rr@0 g0 ]\n"
         "5:r3 150,151 400,400 c0+2 p0,612 [qq@0 g0 ]\n"
         "6:r3 150,151 400,400 c0+2 p0,612 [pp@0 g0 ]\n"
         "flow 0 1 2 3 4 5 6\n"},
        {"overprinted lines", draw_overprinted_lines, false, "0:r0 100,142.4 490.5,508 c0+8 p0,612 [ab xy@0 g0 ] [ab cd ef@0 g0 ] [cd@3 g0 ]\n"
         "1:r0 100,172 530.5,543.5 c0+13 p0,612 [the next line@0 g0 ]\n"
         "flow 0 1\n"},
        {"overprinted other words", draw_overprinted_other_words, false, "0:r0 100,170 590.5,604 c0+15 p0,612 [twelve@0 g0 ] [ten@0 g0 ] [nine five@0 g0 ] [six eleven@0 g0 ] [fourseven eight@0 g0 ] [one two three@0 g0 ]\n"
         "flow 0\n"},
        {"overprinted other words, column groups", draw_overprinted_other_words, true, "0:r0 100,170 590.5,604 c0+15 p0,612 [twelve@0 g1 ] [ten@0 g1 ] [nine five@0 g1 ] [six eleven@0 g1 ] [fourseven eight@0 g1 ] [one two three@0 g1 ]\n"
         "flow 0\n"},
        {"overprinted lines, column groups", draw_overprinted_lines, true, "0:r0 100,142.4 490.5,508 c0+8 p0,612 [ab xy@0 g1 ] [ab cd ef@0 g1 ] [cd@3 g1 ]\n"
         "1:r0 100,172 530.5,543.5 c0+13 p0,612 [the next line@0 g1 ]\n"
         "flow 0 1\n"},
    };
    for (const pile_case& c : cases) {
        std::unique_ptr<pdf_uline_processor> processor;
        if (c.rulings)
            processor = std::make_unique<pdf_uline_processor>(1);
        glyph_driver d(10);
        c.draw(d);
        d.page.coalesce(false, false);
        EXPECT_EQ(describe_layout(d), c.expected) << c.name;
    }
}

// Tricky blocks: lines over one another, lines that start or end exactly on an edge, and
// words of no width. The line order and text columns are pinned to what the layout gave
// before it took these blocks in near-linear time.

namespace {

// Each block's lines in order, with each line's first and last text column.
std::string describe_lines(const glyph_driver& d)
{
    std::string s;
    char buf[64];
    for (int i = 0; i < d.page.nBlocks; ++i) {
        const TextBlock* b = d.page.blocks[i];
        std::snprintf(buf, sizeof buf, "r%d c%d+%d:", b->rot, b->col, b->nColumns);
        s += buf;
        for (const TextLine* l = b->lines; l != nullptr; l = l->next) {
            std::snprintf(buf, sizeof buf, "@%d-%d", l->col[0], l->col[l->len]);
            s += " " + glyph_driver::text_of(l->text, l->len) + buf;
        }
        s += "\n";
    }
    return s;
}

// Lines that start inside, at the end of and past the lines above them.
void draw_staggered_lines(glyph_driver& d)
{
    d.string(100, 200, "abcdefgh", 6);
    d.string(130, 210, "ijklmn", 6);   // inside the first line, past the mid of its fifth glyph
    d.string(127, 220, "opq", 6);      // exactly on the mid of the first line's fifth glyph
    d.string(148, 230, "rs", 6);       // exactly at the first line's end
    d.string(166, 240, "tuvw", 6);     // exactly at the second line's end
    d.string(90, 250, "xyz", 6);       // before them all
}

// Lines piled closer than their height, at starts that come and go.
void draw_overlapping_lines(glyph_driver& d)
{
    const char* texts[] = {"alpha", "be", "gamma delta", "eps", "zeta eta", "th", "iota", "kappa lambda"};
    for (int i = 0; i < 24; ++i) {
        d.set_size(i % 3 == 0 ? 9.8 : 10);
        d.string(100 + (i * 7) % 30, 400 + 0.6 * i, texts[i % 8], 6);
    }
    d.set_size(10);
}

// Lines of equal extent, some over one another, some one line height apart.
void draw_equal_edges(glyph_driver& d)
{
    d.string(100, 500, "same", 6);
    d.string(100, 500, "sane", 6);
    d.string(100, 502, "sine", 6);
    d.string(100, 510, "sing", 6);
    d.string(100, 510, "song", 6);
    d.string(124, 520, "tail", 6);
    d.string(100, 530, "same", 6);
}

// Words of no width (glyphs without advance) among lines of ordinary words.
void draw_zero_width_words(glyph_driver& d)
{
    d.string(100, 600, "wide line", 6);
    for (int i = 0; i < 4; ++i) {
        d.page.beginWord(&d.state, 110 + 6 * i, 610);
        d.glyph(110 + 6 * i, 610, 0, 0, static_cast<Unicode>('k' + i));
        d.page.endWord();
    }
    d.page.beginWord(&d.state, 124, 620);
    d.glyph(124, 620, 0, 0, 'z');
    d.glyph(124, 620, 0, 0, 'z');
    d.page.endWord();
    d.string(124, 630, "after", 6);
    d.string(100, 640, "wide line", 6);
}

} // namespace

TEST(TextLayout, TrickyBlocksKeepTheirLineOrderAndColumns)
{
    struct tricky_case {
        const char* name;
        void (*draw)(glyph_driver&);
        const char* expected;
    };
    const tricky_case cases[] = {
        {"staggered lines", draw_staggered_lines,
         "r0 c1+12: abcdefgh@1-9 ijklmn@7-13 opq@6-9 rs@10-12\nr0 c13+4: tuvw@13-17\nr0 c0+3: xyz@0-3\n"},
        {"overlapping lines", draw_overlapping_lines,
         "r0 c0+15: alphazetalambda@0-15 eps@5-8 thgammadelta@0-12 beiota delta@1-13 thgamma delta@1-14 beeps@2-7 "
         "iotath lambda@1-14 gamma eta@2-11 iotabe lambda@2-15 kappa eta@3-12 eps@3-6 kappa eta@4-13 kappa@5-10 "
         "zeta@5-9 alpha@6-11 zeta@6-10 alpha@7-12\n"},
        {"equal edges", draw_equal_edges,
         "r0 c0+4: sine@0-4 sane@0-4 same@0-4 song@0-4 sing@0-4\nr0 c4+4: tail@4-8\nr0 c0+4: same@0-4\n"},
        {"zero-width words", draw_zero_width_words, "r0 c0+14: wide line@0-9 k l m n@2-9 z@7-8 after@9-14 wide line@0-9\n"},
    };
    for (const tricky_case& c : cases) {
        glyph_driver d(10);
        c.draw(d);
        d.page.coalesce(false, false);
        EXPECT_EQ(describe_lines(d), c.expected) << c.name;
    }

    // A dense block of words at random places, by a hash of its description (too long to
    // spell out): its lines meet each other in every way the cases above show.
    glyph_driver d(6);
    std::mt19937 random(22);
    std::uniform_real_distribution<double> x(100, 180), y(200, 260);
    for (int i = 0; i < 1500; ++i)
        d.string(x(random), y(random), "w" + std::to_string(i % 97), 3);
    d.page.coalesce(false, false);
    const std::string dense = describe_lines(d);
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char ch : dense)
        h = (h ^ ch) * 0x100000001b3ull;
    EXPECT_EQ(d.page.nBlocks, 1);
    EXPECT_EQ(d.line_ptrs().size(), 246u);
    EXPECT_EQ(h, 10185847995904310827ull);
}

// The faster placing and numbering of lines give what the direct walks give (every line
// compared with every earlier one), on dense random pages and on malformed lines.

namespace {

struct direct_lines {
    explicit direct_lines(bool on) { TextBlock::directLines = on; }
    ~direct_lines() { TextBlock::directLines = false; }
};

// A page of words at random places; kind picks sizes, rotation and malformed values.
void draw_random_page(glyph_driver& d, unsigned seed, int kind)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> x(50, 300), y(100, 100 + (kind == 1 ? 30 : 200)), size(2, 12);
    const double odd[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(), 0, 1e300};
    d.set_rotation(kind == 3 ? 2 : 0);
    for (int i = 0; i < 700; ++i) {
        if (kind == 2)
            d.set_size(size(random));
        double px = x(random), py = y(random);
        if (kind == 1)
            px = 60 + (i % 5) * 3.5; // one column whose lines start at a few places
        if (kind == 4 && i % 50 == 0)
            (i % 100 == 0 ? px : py) = odd[(i / 50) % 4];
        if (kind == 5 && i % 7 == 0) {
            d.set_size(0);
            d.string(px, py, "z", 0);
            d.set_size(6);
            continue;
        }
        d.string(px, py, "w" + std::to_string(i % 41) + (i % 3 ? "" : " x"), kind == 3 ? -3 : 3);
    }
}

// Different words piled up: at one point, along 3 points of one base line, or taking turns
// at three points on base lines up to 4 apart, some smaller.
// Words piled within a band whose lines differ in size and base line (variant % 6): sizes
// 4 to 14 on base lines within 4 (5,000 words, so that the runs of lines form several
// groups); sizes 5, 6 and 8 on base lines a point apart, some raised or lowered as
// superscripts and subscripts are; two sizes a unit of the last place apart on a staircase
// of base lines; sizes below 2 on base lines within 2; sizes 6 and 14 within 3; sizes 8 to
// 12 within 6.
void draw_mixed_pile(glyph_driver& d, unsigned variant)
{
    std::mt19937 random(variant);
    std::uniform_real_distribution<double> unit(0, 1);
    const unsigned kind = variant % 6;
    const int words = kind == 0 ? 5000 : 800;
    for (int i = 0; i < words; ++i) {
        double size = 4 + 10 * unit(random), y = 100 + 4 * unit(random);
        if (kind == 1) {
            const double sizes[] = {5, 6, 8};
            size = sizes[i % 3];
            y = 100 + static_cast<int>(3 * unit(random));
            if (unit(random) < 0.2) {
                y += (unit(random) < 0.5 ? -0.4 : 0.4) * size;
                size *= 0.6;
            }
        } else if (kind == 2) {
            size = i % 2 ? std::nextafter(6.0, 7.0) : 6.0;
            y = 100 + 0.01 * i;
        } else if (kind == 3) {
            size = 0.5 + unit(random);
            y = 100 + 2 * unit(random);
        } else if (kind == 4) {
            size = unit(random) < 0.5 ? 6 : 14;
            y = 100 + 3 * unit(random);
        } else if (kind == 5) {
            size = 8 + 4 * unit(random);
            y = 100 + 6 * unit(random);
        }
        d.set_size(size);
        d.string(60 + 3 * unit(random), y, "w" + std::to_string(i), 0.5 * size);
    }
}

void draw_piled_words(glyph_driver& d, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> along(0, 3);
    const double spots[3][2] = {{60, 100}, {160, 101}, {90, 104}};
    for (int i = 0; i < 500; ++i) {
        double x = seed % 3 == 1 ? 60 + along(random) : 60, y = 100;
        if (seed % 3 == 2) {
            x = spots[i % 3][0];
            y = spots[i % 3][1];
            d.set_size(i % 5 == 0 ? 5 : 6);
        }
        d.string(x, y, "w" + std::to_string(i), 3);
    }
}

} // namespace

TEST(TextLayoutPhases, LinesArePlacedAndNumberedAsByTheDirectWalks)
{
    for (int kind = 0; kind < 6; ++kind) {
        for (unsigned seed = 1; seed <= 4; ++seed) {
            std::string expected, got;
            {
                direct_lines direct(true);
                glyph_driver d(6);
                draw_random_page(d, seed, kind);
                d.page.coalesce(false, false);
                expected = describe_lines(d) + describe_layout(d);
            }
            {
                glyph_driver d(6);
                draw_random_page(d, seed, kind);
                d.page.coalesce(false, false);
                got = describe_lines(d) + describe_layout(d);
            }
            ASSERT_EQ(got, expected) << "kind " << kind << " seed " << seed;
            EXPECT_GT(std::count(got.begin(), got.end(), '@'), 60) << "kind " << kind << " seed " << seed;
        }
    }
    // Words piled up, lines on one base line or on base lines closer than their size, which
    // runs pass over by their starts, and piles of other groups that a line passes over;
    // piles of many sizes and base lines, which runs and groups pass over by their cells.
    for (unsigned seed = 1; seed <= 18; ++seed) {
        std::string expected, got;
        for (bool direct : {true, false}) {
            direct_lines lines(direct);
            pdf_uline_processor processor(1); // words piled at one place are grouped
            glyph_driver d(6);
            if (seed <= 6) {
                draw_piled_words(d, seed);
            } else if (seed > 12) {
                draw_mixed_pile(d, seed);
            } else if (seed <= 9) { // three piles close enough to share a block
                const double spots[3][2] = {{100, 100.75}, {116, 100}, {132, 100}};
                for (int i = 0; i < 500; ++i)
                    d.string(spots[(i + seed) % 3][0], spots[(i + seed) % 3][1], "w" + std::to_string(i), 3);
            } else { // base lines up to 4 apart, sizes 4 and 6, in random order
                std::mt19937 random(seed);
                std::uniform_real_distribution<double> x(50, 300), y(100, 104);
                for (int i = 0; i < 500; ++i) {
                    d.set_size(i % 3 == 0 ? 4 : 6);
                    d.string(x(random), y(random), "w" + std::to_string(i), 3);
                }
            }
            d.page.coalesce(false, false);
            (direct ? expected : got) = describe_lines(d) + describe_layout(d);
        }
        ASSERT_EQ(got, expected) << "piled seed " << seed;
    }
}

TEST(TextLayoutPhases, LineColumnsMatchTheDirectComparisonOnMalformedLines)
{
    // Lines made by hand, with glyph edges out of order, not numbers or infinite, lines of
    // no glyphs and of other rotations, columns that do not start at 0, in column order.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (int rot = 0; rot < 4; ++rot) {
        for (unsigned seed = 1; seed <= 30; ++seed) {
            std::vector<std::vector<int>> cols;
            for (int pass = 0; pass < 2; ++pass) {
                std::mt19937 random(seed);
                std::uniform_int_distribution<int> pos(0, 40), len(0, 6), pick(0, 39);
                std::vector<std::unique_ptr<TextLine>> owned;
                std::vector<TextLine*> array;
                for (int i = 0; i < 200; ++i) {
                    auto l = std::make_unique<TextLine>(nullptr, seed == 5 && i == 7 ? (rot + 1) % 4 : rot, 0.0);
                    const double lo = pos(random), hi = lo + pos(random) / 4.0;
                    l->xMin = lo;
                    l->xMax = hi;
                    l->yMin = lo;
                    l->yMax = hi;
                    l->len = len(random);
                    l->edge = static_cast<double*>(gmallocn(l->len + 1, sizeof(double)));
                    l->col = static_cast<int*>(gmallocn(l->len + 1, sizeof(int)));
                    for (int k = 0; k <= l->len; ++k) {
                        const int p = pick(random);
                        l->edge[k] = p == 0 ? nan : p == 1 ? inf : p == 2 ? lo + 0.5 : lo + (hi - lo) * k / std::max(1, l->len);
                        if (rot == 2 || rot == 3)
                            l->edge[k] = hi + lo - l->edge[k];
                        l->col[k] = (i % 4) + k; // columns need not start at 0
                    }
                    if (seed == 11 && i == 50 && l->len > 0)
                        l->col[0] = 9; // nor rise along the line (the direct comparison is taken)
                    if (seed == 9 && i == 100)
                        l->xMin = l->yMin = nan;
                    array.push_back(l.get());
                    owned.push_back(std::move(l));
                }
                std::qsort(array.data(), array.size(), sizeof(TextLine*), kvl::cmpLineColumn);
                if (pass == 0)
                    kvl::numberLineColumnsDirect(array.data(), 200, rot);
                else
                    kvl::numberLineColumns(array.data(), 200, rot);
                cols.emplace_back();
                for (const TextLine* l : array)
                    for (int k = 0; k <= l->len; ++k)
                        cols.back().push_back(l->col[k]);
            }
            ASSERT_EQ(cols[1], cols[0]) << "rotation " << rot << " seed " << seed;
            EXPECT_GT(*std::max_element(cols[0].begin(), cols[0].end()), 20);
        }
    }
}

// The page regions built with bands worked out a stretch of like lines at a time and the
// columns' lines kept in a multiset are those that the direct walks and sorts give.

#include "karvel/text_region.h"

namespace {

// Regions, columns and nested regions with their lines in order (by text) and the figures
// the writer reads.
void describe_region(const kvl::TextRegion& r, std::string& out)
{
    out += "region " + std::to_string(r.number) + " w" + std::to_string(r.weight) + " m" + std::to_string(r.maxLines) +
           " c" + std::to_string(r.columnCount()) + " {";
    for (const auto& c : r.columns) {
        out += " [";
        for (const TextLine* l : c->lines)
            out += glyph_driver::text_of(l->text, l->len) + "|";
        out += " o" + std::to_string(c->offsetLines);
        for (const auto& s : c->nested)
            describe_region(*s, out);
        out += "]";
    }
    out += " }\n";
}

// One column of lines closer than their height (as the dense column page), some with
// another line on the same base line and left edge, some with a base line that is no number.
void draw_dense_column(glyph_driver& d, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> odd(0, 40), start(0, 3);
    for (int i = 0; i < 600; ++i) {
        const int o = odd(random);
        double y = 100 + 0.05 * i;
        if (o == 0 && seed % 3 == 0)
            y = std::numeric_limits<double>::quiet_NaN();
        const double x = seed % 2 ? 50 : 50 + 4 * start(random);
        d.string(x, y, "line" + std::to_string(i) + " word", 3);
        if (o == 1 && seed % 3 == 1)
            d.string(x, y, "other" + std::to_string(i), 3);
    }
}

std::string regions_of(unsigned seed, int kind, bool direct)
{
    kvl::TextRegionList::directBuilding = direct;
    glyph_driver d(6);
    if (kind == 0)
        draw_dense_column(d, seed);
    else if (kind == 3)
        draw_piled_words(d, seed);
    else if (kind == 4)
        draw_mixed_pile(d, seed);
    else
        draw_random_page(d, seed, kind);
    d.page.coalesce(false, false);
    kvl::TextRegionList list;
    list.PageRegionsBuilding(d.page.blocks, d.page.nBlocks, 6);
    kvl::TextRegionList::directBuilding = false;
    std::string out;
    for (const auto& r : list.regions)
        describe_region(*r, out);
    return out;
}

} // namespace

TEST(TextLayoutPhases, RegionsBuiltQuicklyMatchTheDirectWay)
{
    for (int kind = 0; kind < 5; ++kind) {
        for (unsigned seed = 1; seed <= 6; ++seed) {
            const std::string expected = regions_of(seed, kind, true);
            EXPECT_EQ(regions_of(seed, kind, false), expected) << "kind " << kind << " seed " << seed;
            EXPECT_GT(std::count(expected.begin(), expected.end(), '|'), 100) << "kind " << kind << " seed " << seed;
        }
    }
}
