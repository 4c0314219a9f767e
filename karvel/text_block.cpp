#include "karvel/text_block.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include <goo/gmem.h>

#include "karvel/text_line.h"
#include "karvel/text_page.h"
#include "karvel/text_pool.h"
#include "karvel/text_word.h"

namespace kvl {

namespace {

int sign(double d) { return d < 0 ? -1 : (d > 0 ? 1 : 0); }

bool sameText(const TextWord* a, const TextWord* b)
{
    if (a->len != b->len)
        return false;
    for (int i = 0; i < a->len; ++i)
        if (a->text[i] != b->text[i])
            return false;
    return true;
}

// The primary position as one ascending value: xMin, yMin, -xMax, -yMax by rotation.
// A bucket runs by it, and the duplicate test and the line's gap test
// compare along it.
double primaryKey(const TextWord* w)
{
    switch (w->rot) {
    case 0: return w->xMin;
    case 1: return w->yMin;
    case 2: return -w->xMax;
    default: return -w->yMax;
    }
}

// The edge of a word that TextWord::primaryDelta measures a gap to, and that gap from
// the word last, computed as primaryDelta computes it.
double nearEdge(const TextWord* w)
{
    switch (w->rot) {
    case 0: return w->xMin;
    case 1: return w->yMin;
    case 2: return w->xMax;
    default: return w->yMax;
    }
}

double gapTo(const TextWord* last, double near)
{
    switch (last->rot) {
    case 0: return near - last->xMax;
    case 1: return near - last->yMax;
    case 2: return last->xMin - near;
    default: return last->yMin - near;
    }
}

// The base lines a line started by w0 takes words from, fixed while it grows, and the
// buckets that hold them.
struct LineWindow {
    double fs, minBase, maxBase;
    int firstIdx, lastIdx;

    // True when w may follow last in the line: its base is in the window, and it shares
    // last's group (either may have none) and table cell.
    bool admits(const TextWord* w, const TextWord* last) const
    {
        if (w->base < minBase || w->base > maxBase)
            return false;
        if (w->groupId != last->groupId && w->groupId != 0 && last->groupId != 0)
            return false;
        return w->cellCode == last->cellCode;
    }
};

LineWindow lineWindow(const TextPool* pool, const TextWord* w0)
{
    LineWindow win;
    win.fs = w0->fontSize;
    const double d = win.fs > 25.0 ? 0.7 * 0.7 * win.fs : 0.7 * win.fs;
    win.minBase = w0->base - d;
    win.maxBase = w0->base + d;
    win.firstIdx = pool->bucketIndex(win.minBase);
    win.lastIdx = pool->bucketIndex(win.maxBase);
    return win;
}

std::uint64_t textHash(const TextWord* w)
{
    std::uint64_t h = 0xcbf29ce484222325ull ^ static_cast<std::uint64_t>(static_cast<std::uint32_t>(w->len));
    for (int i = 0; i < w->len; ++i)
        h = (h ^ w->text[i]) * 0x100000001b3ull;
    return h;
}

// The words of a pool in scan order (bucket after bucket, each in its order) with the
// position where each bucket starts; true when every word has the rotation of the first
// and a finite primary position.
bool flatten(const TextPool* pool, std::vector<TextWord*>& words, std::vector<int>& start)
{
    words.clear();
    start.clear();
    start.reserve(static_cast<size_t>(pool->lastIndex - pool->firstIndex) + 2);
    for (int idx = pool->firstIndex; idx <= pool->lastIndex; ++idx) {
        start.push_back(static_cast<int>(words.size()));
        for (TextWord* w = pool->getPool(idx); w != nullptr; w = w->next)
            words.push_back(w);
    }
    start.push_back(static_cast<int>(words.size()));
    for (const TextWord* w : words)
        if (w->rot != words.front()->rot || !std::isfinite(primaryKey(w)))
            return false;
    return true;
}

bool isDuplicate(const TextWord* w0, const TextWord* w2, double priDelta, double secDelta)
{
    if (!sameText(w0, w2))
        return false;
    double dx = (w0->rot == 0 || w0->rot == 2) ? priDelta : secDelta;
    double dy = (w0->rot == 0 || w0->rot == 2) ? secDelta : priDelta;
    return std::fabs(w0->xMin - w2->xMin) < dx && std::fabs(w0->xMax - w2->xMax) < dx &&
           std::fabs(w0->yMin - w2->yMin) < dy && std::fabs(w0->yMax - w2->yMax) < dy;
}

} // namespace

TextBlock::TextBlock(TextPage* pageA, int rotA)
    : page(pageA), rot(rotA), xMin(0), xMax(-1), yMin(0), yMax(-1), priMin(0),
      priMax(pageA != nullptr ? pageA->pageWidth : 0), pool(new TextPool()), lines(nullptr), curLine(nullptr),
      nLines(0), charCount(0), col(0), nColumns(0), next(nullptr), stackNext(nullptr)
{
}

TextBlock::~TextBlock()
{
    delete pool;
    while (lines != nullptr) {
        TextLine* next = lines->next;
        delete lines;
        lines = next;
    }
}

void TextBlock::updateBounds(const TextWord* word)
{
    ++nWords;
    if (xMin > xMax) {
        xMin = word->xMin;
        xMax = word->xMax;
        yMin = word->yMin;
        yMax = word->yMax;
    } else {
        xMin = std::min(xMin, word->xMin);
        xMax = std::max(xMax, word->xMax);
        yMin = std::min(yMin, word->yMin);
        yMax = std::max(yMax, word->yMax);
    }
}

void TextBlock::coalesce(const UnicodeMap* uMap)
{
    removeDuplicates();
    handOnGroups();
    buildLines(uMap);
    numberColumns();
    // The pool is empty now; its buckets are released rather than kept for the page.
    delete pool;
    pool = new TextPool();
}

void TextBlock::removeDuplicates()
{
    // Each word, in scan order, drops every later duplicate of it within its range: the
    // words after it in its own bucket and the words of the buckets up to its end index.
    // A duplicate has the same text and a primary position within priDelta, so the words
    // tested are only those of the same text (by a hash) and of a near position: each
    // bucket's words sorted by text hash and primary position give them by two binary
    // searches. Which words go is what testing every later word gives.
    // A block of a few words is quicker tested word against word.
    std::vector<TextWord*> words;
    std::vector<int> start;
    if (nWords < minIndexedWords || !flatten(pool, words, start)) {
        removeDuplicatesDirect();
        return;
    }
    const int n = static_cast<int>(words.size());
    if (n < 2)
        return;
    struct entry {
        std::uint64_t hash;
        double key;
        int pos;
    };
    std::vector<entry> entries(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        entries[static_cast<size_t>(i)] = entry{textHash(words[static_cast<size_t>(i)]),
                                                primaryKey(words[static_cast<size_t>(i)]), i};
    const int nBuckets = pool->lastIndex - pool->firstIndex + 1;
    std::vector<int> filled; // buckets that hold words, by offset from firstIndex
    for (int b = 0; b < nBuckets; ++b) {
        if (start[static_cast<size_t>(b)] == start[static_cast<size_t>(b) + 1])
            continue;
        filled.push_back(b);
        std::sort(entries.begin() + start[static_cast<size_t>(b)], entries.begin() + start[static_cast<size_t>(b) + 1],
                  [](const entry& x, const entry& y) {
                      if (x.hash != y.hash)
                          return x.hash < y.hash;
                      if (x.key != y.key)
                          return x.key < y.key;
                      return x.pos < y.pos;
                  });
    }

    std::vector<char> dead(static_cast<size_t>(n), 0);
    size_t f = 0; // position in filled of the bucket of p
    for (int p = 0; p < n; ++p) {
        while (start[static_cast<size_t>(filled[f]) + 1] <= p)
            ++f;
        if (dead[static_cast<size_t>(p)])
            continue;
        const TextWord* w0 = words[static_cast<size_t>(p)];
        const int idx = pool->firstIndex + filled[f];
        const double fs = w0->fontSize;
        const double priDelta = 0.1 * fs;
        const double secDelta = 0.2 * fs;
        const int endIdx = (w0->rot == 0 || w0->rot == 3) ? pool->bucketIndex(w0->base + secDelta)
                                                           : pool->bucketIndex(w0->base - secDelta);
        if (endIdx < idx)
            continue;
        const std::uint64_t h = textHash(w0);
        const double k0 = primaryKey(w0);
        // Before the window: a position below k0 by priDelta or more; after it: above.
        auto before = [&](const entry& e) { return e.key < k0 && !(std::fabs(k0 - e.key) < priDelta); };
        auto after = [&](const entry& e) { return e.key > k0 && !(std::fabs(k0 - e.key) < priDelta); };
        for (size_t g = f; g < filled.size() && pool->firstIndex + filled[g] <= endIdx; ++g) {
            auto lo = entries.begin() + start[static_cast<size_t>(filled[g])];
            auto hi = entries.begin() + start[static_cast<size_t>(filled[g]) + 1];
            lo = std::lower_bound(lo, hi, h, [](const entry& e, std::uint64_t v) { return e.hash < v; });
            hi = std::upper_bound(lo, hi, h, [](std::uint64_t v, const entry& e) { return v < e.hash; });
            for (auto e = std::partition_point(lo, hi, before); e != hi && !after(*e); ++e) {
                if (e->pos <= p || dead[static_cast<size_t>(e->pos)])
                    continue;
                if (isDuplicate(w0, words[static_cast<size_t>(e->pos)], priDelta, secDelta))
                    dead[static_cast<size_t>(e->pos)] = 1;
            }
        }
    }

    // The buckets without the dropped words, in their order.
    for (int b = 0; b < nBuckets; ++b) {
        TextWord* head = nullptr;
        TextWord** tail = &head;
        for (int i = start[static_cast<size_t>(b)]; i < start[static_cast<size_t>(b) + 1]; ++i) {
            TextWord* w = words[static_cast<size_t>(i)];
            if (dead[static_cast<size_t>(i)]) {
                if (pool->lastWord == w)
                    pool->lastWord = nullptr;
                delete w;
                continue;
            }
            *tail = w;
            tail = &w->next;
        }
        *tail = nullptr;
        pool->setPool(pool->firstIndex + b, head);
    }
}

void TextBlock::removeDuplicatesDirect()
{
    // (the buckets outside the used ones are empty)
    for (int idx = pool->firstUsed(); idx <= pool->lastUsed(); ++idx) {
        for (TextWord* w0 = pool->getPool(idx); w0 != nullptr; w0 = w0->next) {
            double fs = w0->fontSize;
            double priDelta = 0.1 * fs;
            double secDelta = 0.2 * fs;
            int endIdx = (w0->rot == 0 || w0->rot == 3) ? pool->bucketIndex(w0->base + secDelta)
                                                         : pool->bucketIndex(w0->base - secDelta);
            bool found = true;
            while (found && endIdx >= idx) {
                found = false;
                // The words after w0 in its own bucket, then the following buckets.
                TextWord* prev = w0;
                for (TextWord* w2 = w0->next; w2 != nullptr; prev = w2, w2 = w2->next) {
                    if (isDuplicate(w0, w2, priDelta, secDelta)) {
                        pool->unlink(idx, prev, w2);
                        delete w2;
                        found = true;
                        break;
                    }
                }
                for (int j = idx + 1; !found && j <= endIdx && j <= pool->lastUsed(); ++j) {
                    prev = nullptr;
                    for (TextWord* w2 = pool->getPool(j); w2 != nullptr; prev = w2, w2 = w2->next) {
                        if (isDuplicate(w0, w2, priDelta, secDelta)) {
                            pool->unlink(j, prev, w2);
                            delete w2;
                            found = true;
                            break;
                        }
                    }
                }
            }
        }
    }
}

void TextBlock::handOnGroups()
{
    for (int idx = pool->firstUsed(); idx <= pool->lastUsed(); ++idx) {
        int prevGroup = 0;
        double prevXMax = 0;
        for (TextWord* w = pool->getPool(idx); w != nullptr; w = w->next) {
            if (prevXMax != 0 && w->fontSize / 3.0 > w->xMin - prevXMax)
                w->groupId = prevGroup;
            prevGroup = w->groupId;
            prevXMax = w->xMax;
        }
    }
}

void TextBlock::buildLines(const UnicodeMap* uMap)
{
    // The buckets as arrays, each in primary order. Along a bucket the gap from the line's
    // last word only grows, so the words that a bucket's scan passes because their gap is
    // below -0.33 x fs are the bucket's first ones up to a point found by binary search;
    // from there the scan takes the first word that may join (the others are skipped as
    // before), and words already in lines are stepped over. Words piled onto one base line
    // are thus not walked again for every word a line takes.
    std::vector<TextWord*> words;
    std::vector<int> start;
    // A block of a few words is quicker built by scanning its buckets.
    bool ordered = nWords >= minIndexedWords && flatten(pool, words, start);
    for (size_t b = 0; ordered && b + 1 < start.size(); ++b)
        for (int i = start[b] + 1; ordered && i < start[b + 1]; ++i)
            ordered = primaryKey(words[static_cast<size_t>(i) - 1]) <= primaryKey(words[static_cast<size_t>(i)]);
    if (!ordered) {
        buildLinesDirect(uMap);
        return;
    }

    curLine = nullptr;
    nLines = 0;
    charCount = 0;
    const int first = pool->firstIndex;
    const int nBuckets = pool->lastIndex - first + 1;
    const int n = static_cast<int>(words.size());
    // Each word's near edge, the value its gap from a line's last word is measured to.
    std::vector<double> near(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        near[static_cast<size_t>(i)] = nearEdge(words[static_cast<size_t>(i)]);
    std::vector<char> taken(static_cast<size_t>(n), 0);
    // live[j]: an index at or after j that may not be taken yet (path halving).
    std::vector<int> live(static_cast<size_t>(n) + 1);
    for (int j = 0; j <= n; ++j)
        live[static_cast<size_t>(j)] = j;
    auto nextLive = [&](int j) {
        while (j < n && taken[static_cast<size_t>(j)]) {
            live[static_cast<size_t>(j)] = live[static_cast<size_t>(live[static_cast<size_t>(j)])];
            j = live[static_cast<size_t>(j)];
        }
        return j;
    };
    auto take = [&](int j) {
        taken[static_cast<size_t>(j)] = 1;
        live[static_cast<size_t>(j)] = j + 1;
    };
    auto head = [&](int b) {
        const int j = nextLive(start[static_cast<size_t>(b)]);
        return j < start[static_cast<size_t>(b) + 1] ? j : -1;
    };

    // The pool hands its words over to the arrays; should anything fail on the way, the
    // words not yet in a line go back to their buckets.
    for (int idx = first; idx <= pool->lastIndex; ++idx)
        pool->setPool(idx, nullptr);
    if (pool->lastWord != nullptr)
        pool->lastWord = nullptr; // every word leaves the pool, as unlinking them one by one does
    struct give_back {
        TextPool* pool;
        const std::vector<TextWord*>& words;
        const std::vector<int>& start;
        const std::vector<char>& taken;
        bool done;
        ~give_back()
        {
            if (done)
                return;
            for (size_t b = 0; b + 1 < start.size(); ++b) {
                TextWord* headWord = nullptr;
                TextWord** tail = &headWord;
                for (int i = start[b]; i < start[b + 1]; ++i) {
                    if (taken[static_cast<size_t>(i)])
                        continue;
                    *tail = words[static_cast<size_t>(i)];
                    tail = &words[static_cast<size_t>(i)]->next;
                }
                *tail = nullptr;
                pool->setPool(pool->firstIndex + static_cast<int>(b), headWord);
            }
        }
    } guard{pool, words, start, taken, false};

    int p = 0; // offset of the first bucket that may hold a word
    while (true) {
        // The start word: among the heads of the first non-empty bucket and the three
        // after it, the first in primary order, the lower bucket on a tie.
        while (p < nBuckets && head(p) < 0)
            ++p;
        if (p >= nBuckets)
            break;
        int startPos = head(p);
        for (int b = p + 1; b <= p + 3 && b < nBuckets; ++b) {
            const int h = head(b);
            if (h >= 0 && words[static_cast<size_t>(h)]->primaryCmp(words[static_cast<size_t>(startPos)]) < 0)
                startPos = h;
        }
        take(startPos);
        TextWord* w0 = words[static_cast<size_t>(startPos)];

        TextLine* line = new TextLine(this, w0->rot, w0->base);
        line->addWord(w0);
        TextWord* last = w0;
        const LineWindow window = lineWindow(pool, w0);

        while (true) {
            int bestPos = -1;
            for (int idx = window.firstIdx; idx <= window.lastIdx; ++idx) {
                const int lo = start[static_cast<size_t>(idx - first)];
                const int hi = start[static_cast<size_t>(idx - first) + 1];
                // The first position whose gap reaches -0.33 x fs (from the positions kept
                // aside: a word already in a line may have been merged into another).
                int j = static_cast<int>(
                    std::partition_point(near.begin() + lo, near.begin() + hi,
                                         [&](double v) { return !(gapTo(last, v) >= -0.33 * window.fs); }) -
                    near.begin());
                for (j = nextLive(j); j < hi; j = nextLive(j + 1)) {
                    TextWord* w = words[static_cast<size_t>(j)];
                    if (!window.admits(w, last))
                        continue;
                    double g = last->primaryDelta(w);
                    if (g < 1.5 * window.fs && (bestPos < 0 || w->primaryCmp(words[static_cast<size_t>(bestPos)]) < 0))
                        bestPos = j;
                    break;
                }
            }
            if (bestPos < 0)
                break;
            take(bestPos);
            last = words[static_cast<size_t>(bestPos)];
            line->addWord(last);
        }

        finishLine(line, uMap);
    }
    guard.done = true;
}

void TextBlock::finishLine(TextLine* line, const UnicodeMap* uMap)
{
    insertLine(line);
    line->coalesce(uMap);
    charCount += line->len;
    ++nLines;
}

void TextBlock::buildLinesDirect(const UnicodeMap* uMap)
{
    curLine = nullptr;
    nLines = 0;
    charCount = 0;
    int p = pool->firstIndex;
    while (true) {
        TextWord* w0 = pool->takeStartWord(p);
        if (w0 == nullptr)
            break;

        TextLine* line = new TextLine(this, w0->rot, w0->base);
        line->addWord(w0);
        TextWord* last = w0;
        const LineWindow window = lineWindow(pool, w0);

        while (true) {
            TextWord* best = nullptr;
            TextWord* bestPrev = nullptr;
            int bestIdx = 0;
            for (int idx = window.firstIdx; idx <= window.lastIdx; ++idx) {
                TextWord* prev = nullptr;
                for (TextWord* w = pool->getPool(idx); w != nullptr; prev = w, w = w->next) {
                    if (!window.admits(w, last))
                        continue;
                    double g = last->primaryDelta(w);
                    if (g >= -0.33 * window.fs) {
                        if (g < 1.5 * window.fs && (best == nullptr || w->primaryCmp(best) < 0)) {
                            best = w;
                            bestPrev = prev;
                            bestIdx = idx;
                        }
                        break;
                    }
                }
            }
            if (best == nullptr)
                break;
            pool->unlink(bestIdx, bestPrev, best);
            line->addWord(best);
            last = best;
        }

        finishLine(line, uMap);
    }
}

void TextBlock::insertLine(TextLine* line)
{
    TextLine* prev = nullptr;
    TextLine* cur = lines;
    if (curLine != nullptr && lineReadingOrder(line, curLine) > 0) {
        prev = curLine;
        cur = curLine->next;
    }
    while (cur != nullptr && lineReadingOrder(line, cur) > 0) {
        prev = cur;
        cur = cur->next;
    }
    line->next = cur;
    if (prev == nullptr)
        lines = line;
    else
        prev->next = line;
    curLine = line;
}

void TextBlock::numberColumns()
{
    nColumns = 0;
    if (nLines == 0)
        return;
    TextLine** array = static_cast<TextLine**>(gmallocn(nLines, sizeof(TextLine*)));
    int n = 0;
    for (TextLine* l = lines; l != nullptr && n < nLines; l = l->next)
        array[n++] = l;
    qsort(array, n, sizeof(TextLine*), cmpLineColumn);

    for (int i = 0; i < n; ++i) {
        TextLine* l0 = array[i];
        int col1 = 0;
        for (int j = 0; j < i; ++j) {
            TextLine* l1 = array[j];
            int col2;
            if (l1->primaryDelta(l0) >= 0) {
                col2 = l1->col[l1->len] + 1;
            } else {
                int k = 0;
                for (; k < l1->len; ++k) {
                    double mid = 0.5 * (l1->edge[k] + l1->edge[k + 1]);
                    bool after;
                    switch (rot) {
                    case 0: after = l0->xMin >= mid; break;
                    case 1: after = l0->yMin >= mid; break;
                    case 2: after = l0->xMax <= mid; break;
                    default: after = l0->yMax <= mid; break;
                    }
                    if (!after)
                        break;
                }
                col2 = l1->col[k];
            }
            col1 = std::max(col1, col2);
        }
        for (int k = 0; k <= l0->len; ++k)
            l0->col[k] += col1;
        nColumns = std::max(nColumns, l0->col[l0->len]);
    }
    gfree(array);
}

double TextBlock::fontSize() const
{
    return lines != nullptr ? lines->averageFontSize() : 0.0;
}

int cmpBlockXY(int primaryRot, const TextBlock* a, const TextBlock* b)
{
    int r;
    switch (primaryRot) {
    case 0:
        r = sign(a->xMin - b->xMin);
        return r != 0 ? r : sign(a->yMin - b->yMin);
    case 1:
        r = sign(a->yMin - b->yMin);
        return r != 0 ? r : sign(b->xMax - a->xMax);
    case 2:
        r = sign(b->xMax - a->xMax);
        return r != 0 ? r : sign(b->yMin - a->yMin);
    default:
        r = sign(b->yMax - a->yMax);
        return r != 0 ? r : sign(a->xMax - b->xMax);
    }
}

int cmpBlockYX(int primaryRot, const TextBlock* a, const TextBlock* b)
{
    int r;
    switch (primaryRot) {
    case 0:
        r = sign(a->yMin - b->yMin);
        return r != 0 ? r : sign(a->xMin - b->xMin);
    case 1:
        r = sign(b->xMax - a->xMax);
        return r != 0 ? r : sign(a->yMin - b->yMin);
    case 2:
        r = sign(b->yMin - a->yMin);
        return r != 0 ? r : sign(b->xMax - a->xMax);
    default:
        r = sign(a->xMax - b->xMax);
        return r != 0 ? r : sign(b->yMax - a->yMax);
    }
}

} // namespace kvl
