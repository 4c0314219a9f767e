// Word collection: word breaks, duplicates, pools and their buckets, limits.
#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <random>

#include <gtest/gtest.h>

#include "PDFR/pdf_ulin.h"
#include "TK/tk_except.h"
#include "karvel/text_font_info.h"
#include "text_glyph_driver.h"

using kvl::TextPool;
using kvl::TextWord;

TEST(TextPage, GlyphsOfOneStringMakeOneWord)
{
    glyph_driver d(10);
    d.string(100, 200, "Hello", 6);
    ASSERT_EQ(d.pool_texts(), std::vector<std::string>({"Hello"}));
    const TextWord* w = d.pool_words()[0];
    EXPECT_EQ(w->rot, 0);
    EXPECT_DOUBLE_EQ(w->xMin, 100);
    EXPECT_DOUBLE_EQ(w->xMax, 130);
    EXPECT_DOUBLE_EQ(w->yMin, 200 - 9.5);
    EXPECT_DOUBLE_EQ(w->yMax, 200 + 3.5);
    EXPECT_DOUBLE_EQ(w->base, 200);
    EXPECT_EQ(w->len, 5);
    EXPECT_DOUBLE_EQ(w->edge[0], 100);
    EXPECT_DOUBLE_EQ(w->edge[5], 130);
    EXPECT_EQ(w->fontCode, "f10");
    EXPECT_EQ(w->faceName, "Arial");
    EXPECT_EQ(w->streamPos, 0);
    EXPECT_EQ(w->streamLen, 5);
    EXPECT_DOUBLE_EQ(w->spaceWidth, 0.145); // the family table's, until measured
    const double measured = const_cast<TextWord*>(w)->measuredSpaceWidth();
    d.getter.set_font("Arial", 10.0f, false, false);
    EXPECT_DOUBLE_EQ(measured, d.getter.get_width(" ") * 72.0 / 10.0);
}

TEST(TextPage, SpaceEndsTheWordAndCountsInItsStream)
{
    glyph_driver d(10);
    d.string(100, 200, "ab cd", 6);
    ASSERT_EQ(d.pool_texts(), std::vector<std::string>({"ab", "cd"}));
    const TextWord* ab = d.pool_words()[0];
    const TextWord* cd = d.pool_words()[1];
    EXPECT_EQ(ab->streamLen, 3);
    EXPECT_EQ(cd->streamPos, 3);
    EXPECT_EQ(d.page.streamPos, 5);
}

TEST(TextPage, GapOfOneTenthKeepsTheWord)
{
    glyph_driver d(10);
    d.page.beginWord(&d.state, 100, 200);
    d.glyph(100, 200, 5, 0, 'a');
    d.glyph(106, 200, 5, 0, 'b');    // gap exactly 1.0 = 0.1 x size
    d.glyph(112.01, 200, 5, 0, 'c'); // gap 1.01
    d.page.endWord();
    EXPECT_EQ(d.pool_texts(), std::vector<std::string>({"ab", "c"}));
}

TEST(TextPage, BackwardOverlapBeyondTwoTenthsBreaks)
{
    glyph_driver d(10);
    d.page.beginWord(&d.state, 100, 200);
    d.glyph(100, 200, 5, 0, 'a');
    d.glyph(103.1, 200, 5, 0, 'b'); // gap -1.9: kept
    d.glyph(105.5, 200, 5, 0, 'c'); // gap -2.6: breaks
    d.page.endWord();
    EXPECT_EQ(d.pool_texts(), std::vector<std::string>({"ab", "c"}));
}

TEST(TextPage, BaseShiftOfSixTenthsOfAPointBreaksAtAnySize)
{
    glyph_driver d(100);
    d.page.beginWord(&d.state, 100, 300);
    d.glyph(100, 300, 50, 0, 'a');
    d.glyph(150, 300.4, 50, 0, 'b'); // 0.4: kept
    d.glyph(200, 301.0, 50, 0, 'c'); // 0.6 from the base: breaks
    d.page.endWord();
    EXPECT_EQ(d.pool_texts(), std::vector<std::string>({"ab", "c"}));
}

TEST(TextPage, FontSizeChangeBreaksTouchingGlyphs)
{
    glyph_driver d(10);
    d.page.beginWord(&d.state, 100, 200);
    d.glyph(100, 200, 5, 0, 'a');
    d.set_size(12);
    d.glyph(105, 200, 5, 0, 'b');
    d.page.endWord();
    auto words = d.pool_words();
    ASSERT_EQ(words.size(), 2u);
    EXPECT_DOUBLE_EQ(words[0]->fontSize, 10);
    EXPECT_DOUBLE_EQ(words[1]->fontSize, 12);
}

TEST(TextPage, OverprintedGlyphStartsItsOwnWordAndSoDoesTheNext)
{
    glyph_driver d(10);
    d.page.beginWord(&d.state, 100, 200);
    d.glyph(100, 200, 5, 0, 'a');
    d.glyph(105, 200, 5, 0, 'b');
    d.glyph(105.2, 200, 5, 0, 'b'); // drawn again on the same spot
    d.glyph(110, 200, 5, 0, 'c');
    d.page.endWord();
    EXPECT_EQ(d.pool_texts(), std::vector<std::string>({"ab", "b", "c"}));
    EXPECT_FALSE(d.page.previousOverlapped);
}

TEST(TextPage, NegativeAdvanceStartsAWordAtTheFarEnd)
{
    glyph_driver d(10);
    d.page.beginWord(&d.state, 200, 200);
    d.glyph(200, 200, -5, 0, 'z');
    d.page.endWord();
    auto words = d.pool_words();
    ASSERT_EQ(words.size(), 1u);
    EXPECT_DOUBLE_EQ(words[0]->xMin, 195);
    EXPECT_DOUBLE_EQ(words[0]->xMax, 200);
    EXPECT_DOUBLE_EQ(words[0]->edge[0], 195);
    EXPECT_DOUBLE_EQ(words[0]->edge[1], 200);
    EXPECT_DOUBLE_EQ(words[0]->x0, 195); // begun at x + dx
}

TEST(TextPage, GlyphWithTwoCodesAddsTwoHalfCharacters)
{
    glyph_driver d(10);
    Unicode u[2] = {'f', 'i'};
    d.page.beginWord(&d.state, 100, 200);
    d.page.addChar(&d.state, 100, 200, 6, 0, 0xFB01, 1, u, 2);
    d.page.endWord();
    auto words = d.pool_words();
    ASSERT_EQ(words.size(), 1u);
    ASSERT_EQ(words[0]->len, 2);
    EXPECT_DOUBLE_EQ(words[0]->edge[1], 103);
    EXPECT_DOUBLE_EQ(words[0]->edge[2], 106);
}

TEST(TextPage, GlyphWithoutCodesAddsNothingButBreaks)
{
    glyph_driver d(10);
    d.page.beginWord(&d.state, 100, 200);
    d.glyph(100, 200, 5, 0, 'a');
    d.page.addChar(&d.state, 120, 200, 5, 0, 7, 1, nullptr, 0); // far away: ends the word
    d.glyph(125, 200, 5, 0, 'b');
    d.page.endWord();
    EXPECT_EQ(d.pool_texts(), std::vector<std::string>({"a", "b"}));
    EXPECT_EQ(d.page.streamPos, 3);
}

TEST(TextPage, NestedStringDoesNotStartAWord)
{
    glyph_driver d(10);
    d.page.beginWord(&d.state, 100, 200);
    d.glyph(100, 200, 5, 0, 'a');
    d.page.beginWord(&d.state, 105, 200);
    EXPECT_EQ(d.page.nestDepth, 1);
    d.glyph(105, 200, 5, 0, 'b');
    d.page.endWord();
    EXPECT_EQ(d.page.nestDepth, 0);
    EXPECT_NE(d.page.currentWord, nullptr);
    d.glyph(110, 200, 5, 0, 'c');
    d.page.endWord();
    EXPECT_EQ(d.page.currentWord, nullptr);
    EXPECT_EQ(d.pool_texts(), std::vector<std::string>({"abc"}));
}

TEST(TextPage, GlyphsOutsideThePageAreDroppedButCounted)
{
    glyph_driver d(10);
    d.page.beginWord(&d.state, 100, 200);
    d.glyph(700, 200, 5, 0, 'x', 2);  // right of the page
    d.glyph(100, -50, 5, 0, 'y', 3);  // above it
    d.glyph(100, 200, 650, 0, 'z', 1); // wider than the page
    d.page.endWord();
    EXPECT_TRUE(d.pool_words().empty());
    EXPECT_EQ(d.page.streamPos, 6);
}

TEST(TextPage, NonFiniteGlyphsAreDropped)
{
    glyph_driver d(10);
    double nan = std::numeric_limits<double>::quiet_NaN();
    d.page.beginWord(&d.state, 100, 200);
    d.glyph(nan, 200, 5, 0, 'x');
    d.glyph(100, 200, std::numeric_limits<double>::infinity(), 0, 'y');
    d.page.endWord();
    EXPECT_TRUE(d.pool_words().empty());
}

TEST(TextPage, TinyGlyphsAreCappedPerPage)
{
    glyph_driver d(2);
    int total = 0;
    for (int i = 0; i < 60000; ++i) {
        double x = 10 + (i % 500) * 1.0;
        double y = 10 + (i / 500) * 6.0;
        d.glyph(x, y, 1.0, 0, 'a');
    }
    d.page.endWord();
    for (int rot = 0; rot < 4; ++rot)
        for (const TextWord* w : d.pool_words(rot))
            total += w->len;
    EXPECT_EQ(total, kvl::TextPage::maxTinyGlyphs);
    EXPECT_EQ(d.page.tinyGlyphCount, kvl::TextPage::maxTinyGlyphs + 1);
    EXPECT_EQ(d.page.streamPos, 60000);
}

TEST(TextPage, BulletIsMarkedOnlyAtTheStart)
{
    glyph_driver d(10);
    d.string(100, 200, "\xB7", 5);
    d.string(100, 300, "a\xB7", 5);
    auto words = d.pool_words();
    ASSERT_EQ(words.size(), 2u);
    EXPECT_TRUE(words[0]->isBullet);
    EXPECT_FALSE(words[1]->isBullet);
}

TEST(TextPage, RotationsGoToTheirPools)
{
    for (int rot = 0; rot < 4; ++rot) {
        glyph_driver d(10, rot);
        switch (rot) {
        case 0: d.string(100, 200, "abc", 5); break;
        case 1: d.string_vertical(100, 200, "abc", 5); break;
        case 2: d.string(300, 200, "abc", -5); break;
        default: d.string_vertical(100, 400, "abc", -5); break;
        }
        for (int r = 0; r < 4; ++r)
            EXPECT_EQ(d.pool_texts(r).size(), r == rot ? 1u : 0u) << "rotation " << rot << " pool " << r;
        const TextWord* w = d.pool_words(rot).at(0);
        EXPECT_EQ(w->len, 3);
        switch (rot) {
        case 0: EXPECT_DOUBLE_EQ(w->xMax, 115); break;
        case 1: EXPECT_DOUBLE_EQ(w->yMax, 215); EXPECT_DOUBLE_EQ(w->base, 100); break;
        case 2: EXPECT_DOUBLE_EQ(w->xMin, 285); break;
        default: EXPECT_DOUBLE_EQ(w->yMin, 385); break;
        }
    }
}

TEST(TextPage, StartPageClearsEverything)
{
    glyph_driver d(10);
    d.string(100, 200, "abc", 5);
    d.page.beginWord(&d.state, 100, 300);
    d.glyph(100, 300, 5, 0, 'x');
    d.page.coalesce(false, false);
    EXPECT_EQ(d.page.nBlocks, 1);
    d.page.startPage();
    EXPECT_EQ(d.page.currentWord, nullptr);
    EXPECT_EQ(d.page.nBlocks, 0);
    EXPECT_EQ(d.page.blocks, nullptr);
    EXPECT_EQ(d.page.flows, nullptr);
    EXPECT_EQ(d.page.primaryRot, -1);
    EXPECT_TRUE(d.page.fonts.empty());
    EXPECT_EQ(d.page.streamPos, 0);
    for (int r = 0; r < 4; ++r)
        EXPECT_TRUE(d.page.pools[r]->isEmpty());
}

TEST(TextPage, FontRecordsAreSharedPerFont)
{
    glyph_driver d(10);
    d.page.updateFont(&d.state);
    d.page.updateFont(&d.state);
    EXPECT_EQ(d.page.fonts.size(), 1u);
    EXPECT_EQ(d.page.currentFont, d.page.fonts[0]);
}

TEST(TextPage, LayoutRunsOncePerPage)
{
    glyph_driver d(10);
    d.string(100, 200, "abc", 5);
    d.page.coalesce(false, false);
    kvl::TextBlock** blocks = d.page.blocks;
    d.page.coalesce(false, false);
    EXPECT_EQ(d.page.blocks, blocks);
    EXPECT_EQ(d.page.nBlocks, 1);
}

// Pools.

namespace {

TextWord* make_word(glyph_driver& d, double x, double base, Unicode ch = 'w')
{
    TextWord* w = new TextWord(&d.state, 0, x, base, 0, nullptr, 10);
    w->addChar(&d.state, x, base, 5, 0, ch);
    return w;
}

} // namespace

TEST(TextPool, BaseIndexTruncatesTowardZero)
{
    EXPECT_EQ(TextPool::baseIndex(-1), 0);
    EXPECT_EQ(TextPool::baseIndex(3), 0);
    EXPECT_EQ(TextPool::baseIndex(4), 1);
    EXPECT_EQ(TextPool::baseIndex(-4.5), -1);
}

TEST(TextPool, FirstWordMakesBucketsAroundIt)
{
    glyph_driver d;
    TextPool pool;
    EXPECT_GT(pool.firstIndex, pool.lastIndex);
    pool.addWord(make_word(d, 10, -1));
    EXPECT_EQ(pool.firstIndex, -128);
    EXPECT_EQ(pool.lastIndex, 128);
    EXPECT_NE(pool.getPool(0), nullptr);
    EXPECT_EQ(pool.lastWordIndex, 0);
}

TEST(TextPool, BucketsGrowBothWaysAndKeepTheirWords)
{
    glyph_driver d;
    TextPool pool;
    pool.addWord(make_word(d, 10, 100, 'a'));
    pool.addWord(make_word(d, 10, 1200, 'b'));
    EXPECT_EQ(pool.lastIndex, 300 + 128);
    pool.addWord(make_word(d, 10, -1000, 'c'));
    EXPECT_EQ(pool.firstIndex, -250 - 128);
    EXPECT_EQ(pool.getPool(25)->text[0], 'a');
    EXPECT_EQ(pool.getPool(300)->text[0], 'b');
    EXPECT_EQ(pool.getPool(-250)->text[0], 'c');
    EXPECT_EQ(pool.bucketIndex(1e6), pool.lastIndex);
    EXPECT_EQ(pool.bucketIndex(-1e6), pool.firstIndex);
}

TEST(TextPool, FarAwayBaseLinesStayWithinBoundedBuckets)
{
    glyph_driver d;
    TextPool pool;
    pool.addWord(make_word(d, 10, 1e12));
    pool.addWord(make_word(d, 10, -1e12));
    pool.addWord(make_word(d, 10, std::numeric_limits<double>::quiet_NaN()));
    int limit = static_cast<int>(TextPool::baseLimit / 4) + TextPool::growth;
    EXPECT_GE(pool.firstIndex, -limit);
    EXPECT_LE(pool.lastIndex, limit);
    EXPECT_FALSE(pool.isEmpty());
}

TEST(TextPool, BucketsKeepPrimaryOrderAndTiesGoFirst)
{
    glyph_driver d;
    TextPool pool;
    pool.addWord(make_word(d, 50, 100, 'b'));
    pool.addWord(make_word(d, 10, 101, 'a'));
    pool.addWord(make_word(d, 90, 102, 'd'));
    pool.addWord(make_word(d, 70, 100, 'c'));
    pool.addWord(make_word(d, 70, 100, 'C')); // ties with 'c': goes before it
    std::string order;
    for (TextWord* w = pool.getPool(25); w != nullptr; w = w->next)
        order += static_cast<char>(w->text[0]);
    EXPECT_EQ(order, "abCcd");
}

TEST(TextPool, RemoveWordUnlinksAndForgetsTheHint)
{
    glyph_driver d;
    TextPool pool;
    TextWord* a = make_word(d, 10, 100, 'a');
    TextWord* b = make_word(d, 50, 100, 'b');
    pool.addWord(a);
    pool.addWord(b);
    EXPECT_TRUE(pool.removeWord(b));
    EXPECT_EQ(pool.lastWord, nullptr);
    EXPECT_FALSE(pool.removeWord(b));
    delete b;
    pool.addWord(make_word(d, 30, 100, 'c'));
    EXPECT_EQ(pool.getPool(25)->next->text[0], 'c');
}

namespace {

// The pool filing a word the plain way: at once, from the hint (the word filed before, in
// the same bucket, when the new word sorts after it) or else from the bucket's head,
// before the first word it does not sort after.
struct reference_pool {
    std::map<int, std::vector<TextWord*>> buckets;
    TextWord* hint = nullptr;
    int hintIndex = -1;

    void add(TextWord* w)
    {
        const int idx = TextPool::baseIndex(w->base);
        std::vector<TextWord*>& b = buckets[idx];
        size_t pos = 0;
        if (hint != nullptr && idx == hintIndex && w->primaryCmp(hint) > 0)
            pos = static_cast<size_t>(std::find(b.begin(), b.end(), hint) - b.begin()) + 1;
        while (pos < b.size() && w->primaryCmp(b[pos]) > 0)
            ++pos;
        b.insert(b.begin() + static_cast<long>(pos), w);
        hint = w;
        hintIndex = idx;
    }
    void remove(TextWord* w)
    {
        std::vector<TextWord*>& b = buckets[TextPool::baseIndex(w->base)];
        b.erase(std::find(b.begin(), b.end(), w));
        if (hint == w)
            hint = nullptr;
    }
};

std::vector<TextWord*> bucket_of(const TextPool& pool, int idx)
{
    std::vector<TextWord*> out;
    if (idx >= pool.firstIndex && idx <= pool.lastIndex)
        for (TextWord* w = pool.getPool(idx); w != nullptr; w = w->next)
            out.push_back(w);
    return out;
}

// Files words piled onto few base lines and few positions (many ties) into a pool and the
// reference, reading the pool and taking words out between the filings.
void pile_against_reference(unsigned seed, bool some_without_position)
{
    glyph_driver d;
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> x(0, 3), base(0, 2), op(0, 9), letter('a', 'z');
    const double xs[] = {10, 10.5, 30, 30.25};
    const double bases[] = {101, 103, 105}; // buckets 25, 25 and 26
    TextPool pool;
    reference_pool reference;
    std::vector<TextWord*> filed;
    for (int step = 0; step < 400; ++step) {
        const int what = op(random);
        if (what < 7 || filed.empty()) {
            double px = xs[x(random)];
            if (some_without_position && step % 37 == 5)
                px = std::numeric_limits<double>::quiet_NaN();
            TextWord* w = make_word(d, px, bases[base(random)], static_cast<Unicode>(letter(random)));
            pool.addWord(w);
            reference.add(w);
            filed.push_back(w);
        } else if (what < 9) {
            for (int idx = 25; idx <= 26; ++idx)
                ASSERT_EQ(bucket_of(pool, idx), reference.buckets[idx]) << "seed " << seed << " step " << step;
        } else {
            std::uniform_int_distribution<size_t> pick(0, filed.size() - 1);
            const size_t k = pick(random);
            TextWord* w = filed[k];
            ASSERT_TRUE(pool.removeWord(w));
            reference.remove(w);
            filed.erase(filed.begin() + static_cast<long>(k));
            delete w;
        }
        EXPECT_EQ(pool.lastWord, reference.hint);
    }
    for (int idx = 25; idx <= 26; ++idx)
        EXPECT_EQ(bucket_of(pool, idx), reference.buckets[idx]) << "seed " << seed;
}

} // namespace

TEST(TextPool, PiledUpWordsStandAsFilingThemOneByOneWouldPutThem)
{
    for (unsigned seed = 1; seed <= 30; ++seed)
        pile_against_reference(seed, false);
}

TEST(TextPool, WordsWithoutAPositionAreFiledOneByOne)
{
    for (unsigned seed = 1; seed <= 10; ++seed)
        pile_against_reference(seed, true);
}

TEST(TextPool, StartWordOfPiledUpWordsIsTheFirstOfTheFirstBuckets)
{
    // Heads of buckets 25 to 28 and beyond: the first non-empty bucket is 25; among the
    // heads of 25 to 28 the first in primary order wins, the lower bucket on a tie.
    glyph_driver d;
    TextPool pool;
    for (int i = 0; i < 50; ++i) {
        pool.addWord(make_word(d, 40, 101, 'a')); // bucket 25
        pool.addWord(make_word(d, 20, 109, 'b')); // bucket 27
        pool.addWord(make_word(d, 20, 113, 'c')); // bucket 28
        pool.addWord(make_word(d, 10, 117, 'd')); // bucket 29: too far
    }
    std::string order;
    int p = pool.firstIndex;
    while (TextWord* w = pool.takeStartWord(p)) {
        order += static_cast<char>(w->text[0]);
        delete w;
    }
    EXPECT_EQ(order, std::string(50, 'b') + std::string(50, 'c') + std::string(50, 'a') + std::string(50, 'd'));
}

// Words.

TEST(TextWord, SeventeenthCharacterGrowsTheArrays)
{
    glyph_driver d;
    TextWord w(&d.state, 0, 0, 100, 0, nullptr, 10);
    for (int i = 0; i < 16; ++i)
        w.addChar(&d.state, i * 5.0, 100, 5, 0, 'a');
    EXPECT_EQ(w.size, 16);
    w.addChar(&d.state, 80, 100, 5, 0, 'b');
    EXPECT_EQ(w.size, 32);
    EXPECT_EQ(w.len, 17);
    EXPECT_EQ(w.text[16], static_cast<Unicode>('b'));
    EXPECT_DOUBLE_EQ(w.edge[17], 85);
}

TEST(TextWord, LongWordsGrowInLinearTime)
{
    glyph_driver d;
    TextWord w(&d.state, 0, 0, 100, 0, nullptr, 10);
    for (int i = 0; i < 200000; ++i)
        w.addChar(&d.state, i * 0.001, 100, 0.001, 0, 'a');
    EXPECT_EQ(w.len, 200000);
    EXPECT_GE(w.size, w.len);
    EXPECT_LT(w.size, 2 * w.len);
}

TEST(TextWord, WithoutFontUsesArialAndDefaultMetrics)
{
    glyph_driver d;
    TextWord w(&d.state, 0, 10, 100, 0, nullptr, 20);
    EXPECT_EQ(w.fontCode, "f10");
    EXPECT_EQ(w.faceName, "Arial");
    EXPECT_FALSE(w.isSans || w.isSerif || w.isBold || w.isItalic);
    EXPECT_DOUBLE_EQ(w.yMin, 100 - 19);
    EXPECT_DOUBLE_EQ(w.yMax, 100 + 7);
}

TEST(TextWord, ZeroHeightBoxBecomesOnePoint)
{
    glyph_driver d;
    TextWord w(&d.state, 0, 10, 100, 0, nullptr, 0);
    EXPECT_DOUBLE_EQ(w.yMin, 100);
    EXPECT_DOUBLE_EQ(w.yMax, 101);
    TextWord v(&d.state, 1, 100, 10, 0, nullptr, 0);
    EXPECT_DOUBLE_EQ(v.xMin, 100);
    EXPECT_DOUBLE_EQ(v.xMax, 101);
}

TEST(TextWord, FillColourComponentsRunTo257)
{
    glyph_driver d;
    TextWord black(&d.state, 0, 10, 100, 0, nullptr, 10);
    EXPECT_EQ(black.colorR, 0);
    GfxColor white;
    white.c[0] = dblToCol(1.0);
    d.state.setFillColor(&white);
    TextWord w(&d.state, 0, 10, 100, 0, nullptr, 10);
    EXPECT_EQ(w.colorR, 257);
    EXPECT_EQ(w.colorG, 257);
    EXPECT_EQ(w.colorB, 257);
}

TEST(TextWord, MeasuringTheSpaceNeedsTheWidthGetter)
{
    PDFRectangle box(0, 0, 612, 792);
    GfxState state(72, 72, &box, 0, true);
    TextWord w(&state, 0, 0, 0, 0, nullptr, 10);
    EXPECT_THROW(w.measuredSpaceWidth(), tk_mail_assertion);
}

TEST(TextWord, MergeAppendsCharactersAndWidensTheBox)
{
    glyph_driver d;
    TextWord a(&d.state, 0, 10, 100, 0, nullptr, 10);
    a.addChar(&d.state, 10, 100, 5, 0, 'a');
    a.streamLen = 1;
    TextWord* b = new TextWord(&d.state, 0, 15, 100, 1, nullptr, 12);
    b->addChar(&d.state, 15, 100, 5, 0, 'b');
    b->addChar(&d.state, 20, 100, 5, 0, 'c');
    b->streamLen = 2;
    a.merge(b);
    EXPECT_EQ(a.len, 3);
    EXPECT_EQ(a.streamLen, 3);
    EXPECT_DOUBLE_EQ(a.xMax, 25);
    EXPECT_DOUBLE_EQ(a.yMin, b->yMin);
    EXPECT_DOUBLE_EQ(a.edge[3], 25);
    EXPECT_EQ(a.text[2], static_cast<Unicode>('c'));
    EXPECT_DOUBLE_EQ(a.fontSize, 10);
    delete b;
}

TEST(TextWord, PrimaryDeltaFollowsTheRotation)
{
    glyph_driver d;
    TextWord a(&d.state, 2, 0, 0, 0, nullptr, 10), b(&d.state, 2, 0, 0, 0, nullptr, 10);
    a.xMin = 100;
    a.xMax = 120;
    b.xMin = 60;
    b.xMax = 90;
    EXPECT_DOUBLE_EQ(a.primaryDelta(&b), 10);
    EXPECT_LT(a.primaryCmp(&b), 0); // right to left: a comes first
}

TEST(TextPage, WordOnACapturedUnderlineIsUnderlined)
{
    pdf_uline_processor processor(1);
    pdf_uline_processor::line_rect underline;
    underline.xMin = 100;
    underline.xMax = 200;
    underline.yMin = underline.yMax = 201;
    processor.underlines.push_back(underline);
    glyph_driver d(10);
    d.string(110, 200, "under", 5);
    d.string(110, 300, "plain", 5);
    d.string(199, 200, "beyond", 5); // starts at the rule's end
    d.string(170, 200, "abcdefg", 5); // on the rule, then past its end: stays underlined
    for (const TextWord* w : d.pool_words())
        EXPECT_FALSE(w->isUnderlined); // asked only once the page's rules are all in
    d.page.findUnderlines();
    std::map<std::string, bool> underlined;
    for (const TextWord* w : d.pool_words())
        underlined[glyph_driver::text_of(w->text, w->len)] = w->isUnderlined;
    EXPECT_EQ(underlined, (std::map<std::string, bool>{{"under", true}, {"plain", false}, {"beyond", false}, {"abcdefg", true}}));
}
