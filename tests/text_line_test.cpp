// Lines: gathering, spaces, merges, shifts, columns, orders and overlaps.
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "karvel/text_level_cells.h"
#include "text_glyph_driver.h"

using kvl::TextLine;
using kvl::TextWord;

TEST(TextLine, WordsOfALineGetASpaceWhereTheGapIsWide)
{
    glyph_driver d(10);
    d.string(100, 200, "Hello", 6);
    d.string(133, 200, "world", 6);
    d.page.coalesce(false, false);
    EXPECT_EQ(d.lines(), std::vector<std::string>({"Hello world"}));
    const TextLine* line = d.line_ptrs().at(0);
    EXPECT_EQ(line->len, 11);
    EXPECT_DOUBLE_EQ(line->edge[5], 130); // the space takes the word's end edge
    EXPECT_DOUBLE_EQ(line->edge[6], 133);
    EXPECT_DOUBLE_EQ(line->edge[11], 163);
    EXPECT_EQ(line->col[11], 11);
    EXPECT_EQ(line->convertedLen, 11);
    EXPECT_TRUE(line->words->spaceFollows);
}

TEST(TextLine, TouchingWordsOfOneStreamRunMerge)
{
    glyph_driver d(10);
    d.string(100, 200, "ab", 5);
    d.string(110, 200, "cd", 5);
    d.page.coalesce(false, false);
    ASSERT_EQ(d.lines(), std::vector<std::string>({"abcd"}));
    const TextLine* line = d.line_ptrs().at(0);
    ASSERT_NE(line->words, nullptr);
    EXPECT_EQ(line->words->next, nullptr);
    EXPECT_EQ(line->words->len, 4);
    EXPECT_EQ(line->words->streamLen, 4);
    EXPECT_EQ(line->lastWord, line->words);
}

TEST(TextLine, TouchingWordsWithAStreamGapStayApart)
{
    glyph_driver d(10);
    d.string(100, 200, "ab", 5);
    d.glyph(900, 200, 5, 0, 'x'); // off the page, but its byte counts
    d.string(110, 200, "cd", 5);
    d.page.coalesce(false, false);
    ASSERT_EQ(d.lines(), std::vector<std::string>({"abcd"}));
    const TextLine* line = d.line_ptrs().at(0);
    ASSERT_NE(line->words->next, nullptr);
    EXPECT_FALSE(line->words->spaceFollows);
}

namespace {

// A block of one-letter words of size 10 on the given base lines and left edges.
struct block_of_words {
    explicit block_of_words(glyph_driver& d) : d(d), block(&d.page, 0) {}
    TextWord* add(double x, double base, double width = 5, double size = 10)
    {
        TextWord* w = new TextWord(&d.state, 0, x, base, 0, nullptr, size);
        w->addChar(&d.state, x, base, width, 0, 'a');
        w->streamPos = next_stream;
        next_stream += 5; // never contiguous: no merges
        block.pool->addWord(w);
        block.updateBounds(w);
        return w;
    }
    glyph_driver& d;
    kvl::TextBlock block;
    int next_stream = 0;
};

} // namespace

TEST(TextLine, OverlapUpToOneThirdJoinsAndWideGapsSplit)
{
    glyph_driver d(10);
    block_of_words b(d);
    b.add(100, 200, 10);
    b.add(106.8, 200, 10); // starts 3.2 before the end of the first
    b.add(100, 300, 10);
    b.add(124, 300, 10);   // 14 after: still the line
    b.add(100, 400, 10);
    b.add(125, 400, 10);   // 15 after: a line of its own
    b.add(100, 500, 10);
    b.add(106.6, 500, 10); // 3.4 back: not a candidate, a line of its own
    b.block.coalesce(nullptr);
    EXPECT_EQ(b.block.nLines, 6);
    int spaced = 0;
    for (const TextLine* l = b.block.lines; l != nullptr; l = l->next)
        if (l->words->next != nullptr)
            spaced += l->words->spaceFollows ? 10 : 1;
    EXPECT_EQ(spaced, 11); // one joined without a space, one with
}

TEST(TextLine, LargeFontsGatherCloserToTheBaseLine)
{
    {
        glyph_driver d(20);
        d.string(100, 200, "ab", 10);
        d.string(122, 212, "cd", 10); // 12 = 0.6 x size below
        d.page.coalesce(false, false);
        EXPECT_EQ(d.lines().size(), 1u);
    }
    {
        glyph_driver d(30);
        d.string(100, 200, "ab", 15);
        d.string(133, 218, "cd", 15); // 18 = 0.6 x size below
        d.page.coalesce(false, false);
        EXPECT_EQ(d.lines().size(), 2u);
    }
}

TEST(TextLine, LetterSpacedHeadingGetsSpacesOnlyAtWideGaps)
{
    glyph_driver d(10);
    double x = 100;
    for (char c : std::string("HEAD")) {
        d.glyph(x, 200, 6, 0, c);
        x += 8;
    }
    x += 4;
    for (char c : std::string("ING")) {
        d.glyph(x, 200, 6, 0, c);
        x += 8;
    }
    d.page.endWord();
    d.page.coalesce(false, false);
    EXPECT_EQ(d.lines(), std::vector<std::string>({"HEAD ING"}));
}

TEST(TextLine, LetterSpacingThresholdIsCappedAtFourTenths)
{
    glyph_driver d(10);
    double x = 100;
    for (char c : std::string("HEAD")) {
        d.glyph(x, 200, 6, 0, c);
        x += 11; // gaps of 5: 1.3 x 5 would exceed 0.4 x size
    }
    d.page.endWord();
    d.page.coalesce(false, false);
    EXPECT_EQ(d.lines(), std::vector<std::string>({"H E A D"}));
}

TEST(TextLine, SingleLeadingCharacterDoesNotSetTheBaseLine)
{
    glyph_driver d(10);
    d.string(100, 200, "\xB7", 5);
    d.string(108, 200.4, "Item", 5);
    d.page.coalesce(false, false);
    auto lines = d.line_ptrs();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_DOUBLE_EQ(lines[0]->base, 200.4);
    EXPECT_TRUE(lines[0]->words->isBullet);
}

TEST(TextLine, TrailingHyphenIsFlagged)
{
    glyph_driver d(10);
    d.string(100, 200, "exam-", 5);
    d.string(100, 212, "ple", 5);
    d.page.coalesce(false, false);
    auto lines = d.line_ptrs();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0]->hyphenated, 1);
    EXPECT_EQ(lines[1]->hyphenated, 0);
}

TEST(TextLine, SuperscriptIsRaisedAndSubscriptLowered)
{
    glyph_driver d(10);
    d.string(100, 200, "x", 6);
    d.set_size(6);
    d.string(106, 195, "2", 4);
    d.set_size(10);
    d.string(100, 260, "H", 6);
    d.set_size(6);
    d.string(106, 263, "2", 4);
    d.page.coalesce(false, false);
    auto lines = d.line_ptrs();
    ASSERT_EQ(lines.size(), 2u);
    const TextWord* sup = lines[0]->words->next;
    ASSERT_NE(sup, nullptr);
    EXPECT_EQ(sup->raisedBy, 5);   // 10 - 6 + 190.5 - 189.3
    EXPECT_EQ(sup->loweredBy, 0);
    const TextWord* sub = lines[1]->words->next;
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(sub->loweredBy, 5);  // 10 - 6 + 265.1 - 263.5
    EXPECT_EQ(sub->raisedBy, 0);
}

TEST(TextLine, TextColumnsFollowTheLineAbove)
{
    glyph_driver d(10);
    d.string(100, 200, "abc", 5);
    d.string(120, 200, "def", 5);
    d.string(120, 212, "gh", 5);
    d.page.coalesce(false, false);
    auto lines = d.line_ptrs();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(d.lines()[0], "abc def");
    EXPECT_EQ(lines[1]->col[0], 4);
    EXPECT_EQ(lines[1]->col[2], 6);
    EXPECT_EQ(d.page.blocks[0]->nColumns, 7);
}

TEST(TextLine, LineWhollyAfterAnotherStartsPastIt)
{
    glyph_driver d(10);
    d.string(100, 200, "abcd", 5);
    d.string(100, 212, "efghijkl", 5);
    d.string(120, 224, "xy", 5);
    d.page.coalesce(false, false);
    ASSERT_EQ(d.lines(), std::vector<std::string>({"abcd", "efghijkl", "xy"}));
    auto lines = d.line_ptrs();
    EXPECT_EQ(lines[2]->col[0], lines[0]->col[lines[0]->len] + 1);
    EXPECT_EQ(lines[2]->col[0], 5);
}

TEST(TextBlock, DuplicatedWordIsDropped)
{
    glyph_driver d(10);
    d.string(100, 200, "bold", 5);
    d.string(100.5, 200.3, "bold", 5);
    d.string(100, 230, "bold", 5); // same text on another line: kept
    d.page.coalesce(false, false);
    EXPECT_EQ(d.lines(), std::vector<std::string>({"bold", "bold"}));
}

TEST(TextBlock, DifferentCellsAndGroupsNeverShareALine)
{
    glyph_driver d(10);
    block_of_words b(d);
    b.add(100, 200)->cellCode = 10001;
    b.add(109, 200)->cellCode = 10002;
    TextWord* g3 = b.add(118, 200);
    g3->cellCode = 10002;
    g3->groupId = 3;
    TextWord* g4 = b.add(127, 200);
    g4->cellCode = 10002;
    g4->groupId = 4;
    TextWord* g4b = b.add(136, 200);
    g4b->cellCode = 10002;
    g4b->groupId = 4;
    b.block.coalesce(nullptr);
    ASSERT_EQ(b.block.nLines, 3);
    EXPECT_EQ(b.block.charCount, 7);
    std::vector<std::pair<int, int>> seen; // cell, group of each line, by left edge
    for (const TextLine* l = b.block.lines; l != nullptr; l = l->next)
        seen.emplace_back(l->cellCode, l->groupId);
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{10001, 0}, {10002, 3}, {10002, 4}}));
}

TEST(TextBlock, EmptyPoolGivesNoLines)
{
    glyph_driver d(10);
    kvl::TextBlock block(&d.page, 0);
    block.coalesce(nullptr);
    EXPECT_EQ(block.nLines, 0);
    EXPECT_EQ(block.nColumns, 0);
    EXPECT_EQ(block.lines, nullptr);
}

TEST(TextBlock, GroupsAreHandedToTouchingNeighbours)
{
    glyph_driver d(10);
    block_of_words b(d);
    b.add(100, 200)->groupId = 7;
    TextWord* near = b.add(107, 200); // 2 after: within size / 3
    near->groupId = 5;
    TextWord* far = b.add(120, 200);  // 8 after: not
    far->groupId = 9;
    b.block.coalesce(nullptr);
    EXPECT_EQ(near->groupId, 7);
    EXPECT_EQ(far->groupId, 9);
    EXPECT_EQ(b.block.nLines, 2);
}

// Orders and overlaps.

TEST(Overlap, RatioToTheShorterAndTheLonger)
{
    EXPECT_DOUBLE_EQ(kvl::overlapRatio(0, 10, 5, 20), 0.5);
    EXPECT_DOUBLE_EQ(kvl::overlapRatio(10, 0, 20, 5), 0.5);
    EXPECT_DOUBLE_EQ(kvl::overlapRatio(0, 10, 20, 30), -1.0);
    EXPECT_DOUBLE_EQ(kvl::overlapRatio(5, 5, 0, 10), 1.0);
    EXPECT_DOUBLE_EQ(kvl::overlapRatio(0, 10, 5, 5), 1.0);
    EXPECT_DOUBLE_EQ(kvl::overlapRatio(5, 5, 6, 10), 0.0);
    EXPECT_DOUBLE_EQ(kvl::overlapRatio(5, 5, 10, 0), 0.0); // argument order, not sorted
    EXPECT_DOUBLE_EQ(kvl::overlapRatioToLonger(0, 10, 5, 25), 0.25);
}

namespace {

// A line with one word of the given box and size.
struct made_line {
    made_line(glyph_driver& d, double xMin, double xMax, double base, double size, int len = 3)
        : line(nullptr, 0, base)
    {
        TextWord* w = new TextWord(&d.state, 0, xMin, base, 0, nullptr, size);
        double step = (xMax - xMin) / len;
        for (int i = 0; i < len; ++i)
            w->addChar(&d.state, xMin + i * step, base, step, 0, 'a');
        line.addWord(w);
    }
    TextLine line;
};

} // namespace

TEST(LineOrder, OneRowSortsLeftToRight)
{
    glyph_driver d(10);
    made_line left(d, 100, 150, 200, 10), right(d, 200, 250, 201, 10);
    EXPECT_EQ(kvl::lineVerticalOrder(&right.line, &left.line), 0);
    EXPECT_EQ(kvl::lineReadingOrder(&right.line, &left.line), 1);
    EXPECT_EQ(kvl::lineReadingOrder(&left.line, &right.line), -1);
    made_line below(d, 50, 100, 215, 10);
    EXPECT_EQ(kvl::lineReadingOrder(&below.line, &right.line), 1);
    EXPECT_EQ(kvl::linePrimaryOrder(&below.line, &right.line), -1);
}

TEST(LineOrder, QsortPutsLinesInReadingOrder)
{
    glyph_driver d(10);
    made_line a(d, 100, 150, 200, 10), b(d, 200, 250, 200, 10), c(d, 100, 150, 220, 10), e(d, 300, 350, 240, 10);
    TextLine* lines[4] = {&e.line, &b.line, &c.line, &a.line};
    qsort(lines, 4, sizeof(TextLine*), kvl::cmpLineReading);
    EXPECT_EQ(lines[0], &a.line);
    EXPECT_EQ(lines[1], &b.line);
    EXPECT_EQ(lines[2], &c.line);
    EXPECT_EQ(lines[3], &e.line);
}

TEST(LineOrder, CellOrderIsTableThenCell)
{
    glyph_driver d(10);
    made_line a(d, 100, 150, 300, 10), b(d, 100, 150, 200, 10), c(d, 100, 150, 100, 10);
    a.line.cellCode = 10001;
    b.line.cellCode = -10002; // negated by the regions: the magnitude counts
    c.line.cellCode = 20001;
    TextLine* lines[3] = {&c.line, &b.line, &a.line};
    qsort(lines, 3, sizeof(TextLine*), kvl::cmpLineCell);
    EXPECT_EQ(lines[0], &a.line);
    EXPECT_EQ(lines[1], &b.line);
    EXPECT_EQ(lines[2], &c.line);
}

TEST(LineOrder, DifferentSizesNeedMoreOverlap)
{
    glyph_driver d(10);
    made_line big(d, 100, 200, 200, 20), small(d, 210, 240, 198, 8);
    // sizes 20 and 8: ratio 0.4, so the 90 % rule applies and small fits inside big
    EXPECT_EQ(kvl::lineVerticalOrder(&big.line, &small.line), 0);
    made_line low(d, 210, 240, 210, 8);
    EXPECT_NE(kvl::lineVerticalOrder(&big.line, &low.line), 0);
}

TEST(LineOrder, CellsShowOnlyLinesLevelWithTheLineOrNotPastIt)
{
    // One to three lines near the edges of the order's rules (sizes near the ratios 0.6 and
    // 0.7, base lines near half the size apart, extents overlapping near 0.7 and 0.9, some
    // points or upside down) and a line to be placed: whenever the cells say every line is
    // level with it or not past it, the order says so of each.
    std::mt19937 random(7);
    std::uniform_real_distribution<double> unit(0, 1);
    const auto near = [&](double x) { return x * (0.97 + 0.06 * unit(random)); };
    int shown = 0;
    for (int round = 0; round < 40000; ++round) {
        const double size = 4 + 8 * unit(random);
        TextLine line(nullptr, 0, 400);
        line.yMin = 400 - near(0.75) * size;
        line.yMax = 400 + near(0.25) * size;
        if (unit(random) < 0.05)
            line.yMin = line.yMax;
        kvl::LevelCells cells;
        std::vector<std::unique_ptr<TextLine>> lines;
        std::vector<double> sizes;
        bool past = false;
        for (int n = 1 + static_cast<int>(3 * unit(random)); n > 0; --n) {
            const double ratios[] = {0.6, 0.7, 1, 1 / 0.7, 1 / 0.6, 0.3, 3};
            const double s = size * near(ratios[static_cast<int>(7 * unit(random))]);
            const double base = 400 + (unit(random) - 0.3) * size * near(unit(random) < 0.5 ? 0.5 : 1.2);
            auto l = std::make_unique<TextLine>(nullptr, 0, base);
            l->yMin = base - near(0.75) * s;
            l->yMax = base + near(0.25) * s;
            if (unit(random) < 0.05)
                std::swap(l->yMin, l->yMax);
            else if (unit(random) < 0.05)
                l->yMax = l->yMin;
            cells.take(l.get(), s, 0.5);
            past = past || base > 400;
            lines.push_back(std::move(l));
            sizes.push_back(s);
        }
        if (!cells.levelOrAbove({400, line.yMin, line.yMax, size}))
            continue;
        shown += past;
        for (size_t k = 0; k < lines.size(); ++k)
            EXPECT_TRUE(lines[k]->base <= 400 || kvl::lineVerticalOrder(&line, size, lines[k].get(), sizes[k]) == 0)
                << "round " << round << " line " << k;
    }
    EXPECT_GT(shown, 1000);
}
