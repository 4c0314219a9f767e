// Block orders and relations for every rotation, flows and their free space, duplicate
// search ranges, merges across font sizes and output columns per text encoding.
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <UnicodeMap.h>

#include "PDFR/pdf_ulin.h"
#include "text_glyph_driver.h"

using kvl::TextBlock;
using kvl::TextFlow;
using kvl::TextLine;
using kvl::TextWord;

namespace {

void set_box(TextBlock& b, double xMin, double xMax, double yMin, double yMax)
{
    b.xMin = xMin;
    b.xMax = xMax;
    b.yMin = yMin;
    b.yMax = yMax;
}

enum field { X_MIN, X_MAX, Y_MIN, Y_MAX };

double& at(TextBlock& b, field f)
{
    switch (f) {
    case X_MIN: return b.xMin;
    case X_MAX: return b.xMax;
    case Y_MIN: return b.yMin;
    default: return b.yMax;
    }
}

// One block order for one rotation: the deciding field and its direction (+1 ascending),
// then the field that breaks an exact tie.
struct order_rule {
    int rot;
    field key;
    int dir;
    field tie;
    int tieDir;
};

// Checks an order against its rule: a larger key alone decides, an equal key leaves
// the decision to the tie field, and an equal box compares equal.
void check_order(int (*cmp)(int, const TextBlock*, const TextBlock*), const order_rule& r, const char* name)
{
    glyph_driver d(10);
    TextBlock a(&d.page, r.rot), b(&d.page, r.rot);
    set_box(a, 100, 200, 100, 200);
    set_box(b, 100, 200, 100, 200);
    EXPECT_EQ(cmp(r.rot, &a, &b), 0) << name << " rotation " << r.rot;

    at(a, r.key) += 1;
    at(b, r.tie) += 5; // the tie field must not matter while the keys differ
    EXPECT_EQ(cmp(r.rot, &a, &b), r.dir) << name << " rotation " << r.rot;
    EXPECT_EQ(cmp(r.rot, &b, &a), -r.dir) << name << " rotation " << r.rot;

    at(b, r.key) += 1; // keys equal now: the tie field decides
    at(b, r.tie) -= 5;
    at(a, r.tie) += 1;
    EXPECT_EQ(cmp(r.rot, &a, &b), r.tieDir) << name << " rotation " << r.rot << " tie";
    EXPECT_EQ(cmp(r.rot, &b, &a), -r.tieDir) << name << " rotation " << r.rot << " tie";

    at(b, r.key) += 1e-9; // the slightest difference is not a tie
    EXPECT_EQ(cmp(r.rot, &a, &b), -r.dir) << name << " rotation " << r.rot << " near tie";
}

} // namespace

TEST(BlockOrder, XYOrderForEachRotation)
{
    const order_rule rules[] = {
        {0, X_MIN, 1, Y_MIN, 1},
        {1, Y_MIN, 1, X_MAX, -1},
        {2, X_MAX, -1, Y_MIN, -1},
        {3, Y_MAX, -1, X_MAX, 1},
    };
    for (const order_rule& r : rules)
        check_order(kvl::cmpBlockXY, r, "xy");
}

TEST(BlockOrder, YXOrderForEachRotation)
{
    const order_rule rules[] = {
        {0, Y_MIN, 1, X_MIN, 1},
        {1, X_MAX, -1, Y_MIN, 1},
        {2, Y_MIN, -1, X_MAX, -1},
        {3, X_MAX, 1, Y_MAX, -1},
    };
    for (const order_rule& r : rules)
        check_order(kvl::cmpBlockYX, r, "yx");
}

TEST(BlockRelations, SecondaryGapFollowsTheBlocksRotation)
{
    glyph_driver d(10);
    const double expected[4] = {
        330 - 120, // C.yMin - B.yMax
        100 - 410, // B.xMin - C.xMax
        110 - 340, // B.yMin - C.yMax
        400 - 200, // C.xMin - B.xMax
    };
    for (int rot = 0; rot < 4; ++rot) {
        TextBlock b(&d.page, rot), c(&d.page, 0);
        set_box(b, 100, 200, 110, 120);
        set_box(c, 400, 410, 330, 340);
        EXPECT_DOUBLE_EQ(b.secondaryDelta(&c), expected[rot]) << "rotation " << rot;
    }
}

TEST(BlockRelations, BeforeByPrimaryUsesTheOtherBlocksRotation)
{
    glyph_driver d(10);
    for (int rot = 0; rot < 4; ++rot) {
        TextBlock b(&d.page, (rot + 1) % 4), c(&d.page, rot);
        set_box(b, 100, 200, 100, 200);
        set_box(c, 100, 200, 100, 200);
        EXPECT_FALSE(b.isBeforeByPrimary(&c)) << "equal boxes, rotation " << rot;
        // Move c one point along the field its rotation reads.
        switch (rot) {
        case 0: c.xMin -= 1; break;   // further left
        case 1: c.yMin -= 1; break;   // further up
        case 2: c.xMax += 1; break;   // further right
        default: c.yMax += 1; break;  // further down
        }
        EXPECT_TRUE(b.isBeforeByPrimary(&c)) << "rotation " << rot;
        EXPECT_FALSE(c.isBeforeByPrimary(&b)) << "rotation " << rot;
    }
}

TEST(BlockRelations, BelowNeedsTheFreeSpaceAndAStrictStep)
{
    glyph_driver d(10);
    TextBlock t(&d.page, 0), c(&d.page, 0);
    set_box(t, 100, 200, 100, 110);
    t.priMin = 50;
    t.priMax = 250;

    set_box(c, 50, 250, 101, 111); // exactly the free space, lower by one
    EXPECT_TRUE(t.isBelow(&c, 0));
    c.yMin = 100; // same top: not below
    EXPECT_FALSE(t.isBelow(&c, 0));
    set_box(c, 49.9, 200, 120, 130);
    EXPECT_FALSE(t.isBelow(&c, 0));
    set_box(c, 100, 250.1, 120, 130);
    EXPECT_FALSE(t.isBelow(&c, 0));

    // Rotation 1 reads down the page and stacks lines to the left.
    set_box(t, 300, 310, 100, 200);
    set_box(c, 280, 309, 50, 250);
    EXPECT_TRUE(t.isBelow(&c, 1));
    c.xMax = 310;
    EXPECT_FALSE(t.isBelow(&c, 1));
    // Rotation 2 reads leftwards and stacks lines upwards.
    set_box(c, 50, 250, 80, 109);
    EXPECT_TRUE(t.isBelow(&c, 2));
    c.yMax = 200;
    EXPECT_FALSE(t.isBelow(&c, 2));
    // Rotation 3 reads up the page and stacks lines to the right.
    set_box(c, 301, 320, 50, 250);
    EXPECT_TRUE(t.isBelow(&c, 3));
    c.xMin = 300;
    EXPECT_FALSE(t.isBelow(&c, 3));
}

namespace {

std::vector<std::vector<std::string>> flow_texts(const glyph_driver& d)
{
    std::vector<std::vector<std::string>> out;
    for (const TextFlow* f = d.page.flows; f != nullptr; f = f->next) {
        out.emplace_back();
        for (const TextBlock* b = f->blocks; b != nullptr; b = b->next)
            out.back().push_back(glyph_driver::text_of(b->lines->text, b->lines->len));
    }
    return out;
}

} // namespace

// A narrow head block A (its free space ends at D beside it), B below it with room to
// spare, and C below B: C must fit the free space of the flow's first block, not B's.
TEST(TextFlows, ABlockJoinsOnlyWithinTheFreeSpaceOfTheFlowsFirstBlock)
{
    for (int wide = 0; wide < 2; ++wide) {
        glyph_driver d(10);
        d.string(100, 100, std::string(20, 'a'), 5);             // A: x 100 to 200
        d.string(250, 100, std::string(10, 'd'), 5);             // D: x 250 to 300
        d.string(100, 122, std::string(20, 'b'), 5);             // B: x 100 to 200
        d.string(100, 144, std::string(wide ? 32 : 28, 'c'), 5); // C: to 260 or 240
        d.page.coalesce(false, false);
        ASSERT_EQ(d.page.nBlocks, 4);
        const std::string a(20, 'a'), b(20, 'b'), c(wide ? 32 : 28, 'c'), dd(10, 'd');
        int heads = 0;
        for (int i = 0; i < 4; ++i) {
            const TextLine* l = d.page.blocks[i]->lines;
            if (glyph_driver::text_of(l->text, l->len) == a) {
                EXPECT_DOUBLE_EQ(d.page.blocks[i]->priMax, 250);
                ++heads;
            }
        }
        EXPECT_EQ(heads, 1);
        if (wide)
            EXPECT_EQ(flow_texts(d), (std::vector<std::vector<std::string>>{{a, b}, {dd}, {c}}));
        else
            EXPECT_EQ(flow_texts(d), (std::vector<std::vector<std::string>>{{a, b, c}, {dd}}));
    }
}

// A row whose right block starts a little higher: the flow still starts at the left one.
TEST(TextFlows, AFlowStartsAtTheFirstBlockOfItsRow)
{
    glyph_driver d(10);
    d.string(300, 100, "right", 5);
    d.string(100, 102, "left", 5);
    d.page.coalesce(false, false);
    ASSERT_EQ(d.page.nBlocks, 2);
    EXPECT_EQ(glyph_driver::text_of(d.page.blocks[0]->lines->text, d.page.blocks[0]->lines->len), "right");
    EXPECT_EQ(flow_texts(d), (std::vector<std::vector<std::string>>{{"left"}, {"right"}}));
}

namespace {

// A word of the given rotation whose box and base are set directly.
TextWord* boxed_word(glyph_driver& d, int rot, double xMin, double xMax, double yMin, double yMax, double base,
                     const char* text, int streamPos, double size = 10)
{
    TextWord* w = new TextWord(&d.state, rot, xMin, base, streamPos, nullptr, size);
    for (const char* p = text; *p != '\0'; ++p)
        w->addChar(&d.state, xMin, base, 1, 1, static_cast<unsigned char>(*p));
    w->xMin = xMin;
    w->xMax = xMax;
    w->yMin = yMin;
    w->yMax = yMax;
    w->base = base;
    return w;
}

int words_in_lines(const TextBlock& b)
{
    int n = 0;
    for (const TextLine* l = b.lines; l != nullptr; l = l->next)
        for (const TextWord* w = l->words; w != nullptr; w = w->next)
            ++n;
    return n;
}

} // namespace

// The duplicate search reaches towards larger base lines only for rotations 0 and 3; for
// 1 and 2 it ends at the bucket of the base line minus a fifth of the size, so a word
// whose base sits at the start of its bucket (multiples of 4) finds no duplicate at all.
TEST(TextBlock, DuplicateSearchRangeDependsOnTheRotation)
{
    for (int rot = 0; rot < 4; ++rot) {
        for (double base : {8.0, 10.0}) {
            glyph_driver d(10);
            TextBlock block(&d.page, rot);
            for (int k = 0; k < 2; ++k) {
                TextWord* w = boxed_word(d, rot, 100, 110, base - 8, base + 2, base, "ab", 10 * k);
                block.pool->addWord(w);
                block.updateBounds(w);
            }
            block.coalesce(nullptr);
            bool kept = words_in_lines(block) == 2;
            bool expected_kept = (rot == 1 || rot == 2) && base == 8.0;
            EXPECT_EQ(kept, expected_kept) << "rotation " << rot << " base " << base;
        }
    }
}

// Touching words of one stream run merge only while their sizes differ by less than
// 5 % of the line's first word.
TEST(TextLine, MergeNeedsSizesWithinFivePercent)
{
    for (double second : {10.4, 10.5}) {
        glyph_driver d(10);
        TextBlock block(&d.page, 0);
        TextWord* w1 = boxed_word(d, 0, 100, 110, 192, 202, 200, "ab", 0, 10);
        w1->streamLen = 2;
        TextWord* w2 = boxed_word(d, 0, 110, 120, 192, 202, 200, "cd", 2, second);
        for (TextWord* w : {w1, w2}) {
            block.pool->addWord(w);
            block.updateBounds(w);
        }
        block.coalesce(nullptr);
        ASSERT_EQ(block.nLines, 1);
        EXPECT_EQ(words_in_lines(block), second < 10.45 ? 1 : 2) << "size " << second;
        EXPECT_EQ(block.lines->len, 4);
        EXPECT_FALSE(block.lines->words->spaceFollows);
    }
}

// Output columns count characters as the text encoding writes them: one per code for
// a Unicode encoding, the bytes written (none for an unmapped code) otherwise.
TEST(TextLine, ColumnsCountTheEncodedCharacters)
{
    glyph_driver d(10);
    const Unicode codes[] = {'a', 0x4E00, 'b'};
    auto make_line = [&](TextLine& line) {
        TextWord* w = new TextWord(&d.state, 0, 100, 200, 0, nullptr, 10);
        for (int i = 0; i < 3; ++i)
            w->addChar(&d.state, 100 + 5.0 * i, 200, 5, 0, codes[i]);
        line.addWord(w);
    };

    const UnicodeMap* latin1 = globalParams->getUnicodeMap("Latin1");
    const UnicodeMap* utf8 = globalParams->getUnicodeMap("UTF-8");
    ASSERT_NE(latin1, nullptr);
    ASSERT_NE(utf8, nullptr);
    ASSERT_TRUE(utf8->isUnicode());

    TextLine a(nullptr, 0, 200);
    make_line(a);
    a.coalesce(latin1);
    EXPECT_EQ(std::vector<int>(a.col, a.col + 4), (std::vector<int>{0, 1, 1, 2}));
    EXPECT_EQ(a.convertedLen, 2);

    TextLine b(nullptr, 0, 200);
    make_line(b);
    b.coalesce(utf8);
    EXPECT_EQ(std::vector<int>(b.col, b.col + 4), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(b.convertedLen, 3);

    TextLine c(nullptr, 0, 200);
    make_line(c);
    c.coalesce(nullptr);
    EXPECT_EQ(std::vector<int>(c.col, c.col + 4), (std::vector<int>{0, 0, 0, 0}));
    EXPECT_EQ(c.convertedLen, 0);
}

// Vertical lines (rotations 1 and 3) are one row when their x extents overlap by more
// than half; otherwise the line further right comes first.
TEST(LineOrder, VerticalLinesCompareByTheirXExtents)
{
    glyph_driver d(10);
    for (int rot : {1, 3}) {
        auto line_at = [&](double xMin, double xMax) {
            auto* line = new TextLine(nullptr, rot, 0);
            line->addWord(boxed_word(d, rot, xMin, xMax, 100, 200, xMax - 2, "abc", 0));
            line->base = xMax - 2;
            return line;
        };
        TextLine* a = line_at(100, 110);
        TextLine* b = line_at(104, 114); // overlap 6 of 10
        TextLine* c = line_at(106, 116); // overlap 4 of 10
        EXPECT_EQ(kvl::lineVerticalOrder(a, b), 0) << "rotation " << rot;
        EXPECT_EQ(kvl::lineVerticalOrder(a, c), 1) << "rotation " << rot;
        EXPECT_EQ(kvl::lineVerticalOrder(c, a), -1) << "rotation " << rot;
        delete a;
        delete b;
        delete c;
    }
}

// A font size beyond every bound gives infinite word boxes: the pass still places every
// character in one line and keeps the block columns in range.
TEST(TextLayout, InfiniteExtentsStayInRange)
{
    glyph_driver d(10);
    d.string(100, 100, "abc", 5);
    d.string(100, 112, "defgh", 5);
    d.set_size(1e308);
    d.string(300, 100, "xy", 5);
    d.string(300, 300, "z", 5);
    d.set_size(10);
    d.string(400, 300, "tail", 5);
    d.page.coalesce(false, false);
    int chars = 0, infinite = 0;
    for (int i = 0; i < d.page.nBlocks; ++i) {
        const TextBlock* b = d.page.blocks[i];
        infinite += !std::isfinite(b->yMin) || !std::isfinite(b->yMax);
        EXPECT_GE(b->col, 0);
        EXPECT_LT(b->col, 1000);
        for (const TextLine* l = b->lines; l != nullptr; l = l->next)
            for (const TextWord* w = l->words; w != nullptr; w = w->next)
                chars += w->len;
    }
    EXPECT_GT(infinite, 0);
    EXPECT_EQ(chars, 15);
}

// A run that restarts keeps the right edge of the word it began with: after the restart
// a word ending where that first word ended still makes the run a group.
TEST(TextLayout, RestartedRunKeepsTheFirstRightEdge)
{
    pdf_uline_processor processor(1);
    glyph_driver d(10);
    d.string(100, 100, "abcdef", 5);   // x 100 to 130
    d.string(100, 200, "abcdefgh", 5); // to 140, far below: the run restarts here
    d.string(100, 212, "abcdef", 5);   // to 130 again
    d.string(300, 400, "xy", 5);
    d.page.coalesce(false, false);
    std::vector<int> groups;
    for (double base : {100.0, 200.0, 212.0, 400.0})
        for (const TextLine* l : d.line_ptrs())
            if (l->base == base)
                groups.push_back(l->words->groupId);
    ASSERT_EQ(groups.size(), 4u);
    EXPECT_EQ(groups[0], 0);
    EXPECT_NE(groups[1], 0);
    EXPECT_EQ(groups[2], groups[1]);
    EXPECT_EQ(groups[3], 0);
}
