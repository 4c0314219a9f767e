// The page layout pass: cell codes and column groups, blocks, reading direction,
// block columns, reading order and flows.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <GlobalParams.h>
#include <UnicodeMap.h>
#include "karvel/text_direction.h"
#include <goo/gmem.h>

#include "PDFR/pdf_ulin.h"
#include "karvel/text_block.h"
#include "karvel/text_flow.h"
#include "karvel/text_layout.h"
#include "karvel/text_line.h"
#include "karvel/text_page.h"
#include "karvel/text_pool.h"
#include "karvel/text_word.h"

namespace kvl {

namespace {

int cmpWordPosition(const void* pa, const void* pb)
{
    const TextWord* a = *static_cast<TextWord* const*>(pa);
    const TextWord* b = *static_cast<TextWord* const*>(pb);
    double d = a->xMin - b->xMin;
    if (std::fabs(d) < 0.1)
        d = a->yMin - b->yMin;
    return d < 0 ? -1 : (d > 0 ? 1 : 0);
}

int cmpBlocksXY(const void* pa, const void* pb)
{
    const TextBlock* a = *static_cast<TextBlock* const*>(pa);
    const TextBlock* b = *static_cast<TextBlock* const*>(pb);
    return cmpBlockXY(a->page->primaryRot, a, b);
}

int cmpBlocksYX(const void* pa, const void* pb)
{
    const TextBlock* a = *static_cast<TextBlock* const*>(pa);
    const TextBlock* b = *static_cast<TextBlock* const*>(pb);
    return cmpBlockYX(a->page->primaryRot, a, b);
}

bool overlapsAcross(const TextWord* w, const TextBlock* b, int rot, double widen)
{
    if (rot == 0 || rot == 2)
        return w->xMin < b->xMax + widen && w->xMax > b->xMin - widen;
    return w->yMin < b->yMax + widen && w->yMax > b->yMin - widen;
}

// True when neither this word nor any after it in its bucket overlaps the block across
// (widened) on the side the bucket's primary order runs to: a bucket runs by xMin (yMin)
// ascending for rotations 0 (1) and by xMax (yMax) descending for 2 (3), so the first
// test of the overlap only gets harder along it, and a scan that takes no word meanwhile
// can stop there. The same holds for the outlier that lies just after the block for
// rotations 0 and 1, and just before it for 2 and 3, with colSpace2 as the widening.
bool pastAcross(const TextWord* w, const TextBlock* b, int rot, double widen)
{
    switch (rot) {
    case 0: return !(w->xMin < b->xMax + widen);
    case 1: return !(w->yMin < b->yMax + widen);
    case 2: return !(w->xMax > b->xMin - widen);
    default: return !(w->yMax > b->yMin - widen);
    }
}

bool similarSize(const TextWord* w, double fs, double k)
{
    return std::fabs(w->fontSize - fs) < k * fs;
}

// Just before the block along the rotation (gap under colSpace2).
bool justBefore(const TextWord* w, const TextBlock* b, int rot, double colSpace2)
{
    if (rot == 0 || rot == 2)
        return w->xMax <= b->xMin && w->xMax > b->xMin - colSpace2;
    return w->yMax <= b->yMin && w->yMax > b->yMin - colSpace2;
}

bool justAfter(const TextWord* w, const TextBlock* b, int rot, double colSpace2)
{
    if (rot == 0 || rot == 2)
        return w->xMin >= b->xMax && w->xMin < b->xMax + colSpace2;
    return w->yMin >= b->yMax && w->yMin < b->yMax + colSpace2;
}

} // namespace

void TextPage::coalesce(bool physicalLayout, bool collectRules)
{
    (void)physicalLayout;
    (void)collectRules;
    if (coalesced)
        return;
    coalesced = true;

    const UnicodeMap* uMap = globalParams ? globalParams->getTextEncoding() : nullptr;
    nBlocks = 0;
    primaryRot = -1;

    if (tk_singleton<pdf_uline_processor>::exists() && tk_singleton<pdf_uline_processor>::instance().mode != 0)
        assignCellsAndGroups();
    stop.poll();
    buildBlocks(uMap);
    stop.poll();
    findDirection();
    numberBlockColumns();
    stop.poll();
    orderBlocks();
    stop.poll();
    buildFlows();
    // The encoding map belongs to the core's cache; nothing to release.
}

void TextPage::assignCellsAndGroups()
{
    pdf_uline_processor& processor = tk_singleton<pdf_uline_processor>::instance();
    std::vector<TextWord*> words;
    for (int rot = 0; rot < 4; ++rot) {
        TextPool* pool = pools[rot];
        words.clear();
        for (int idx = pool->firstUsed(); idx <= pool->lastUsed(); ++idx) {
            for (TextWord* w = pool->getPool(idx); w != nullptr; w = w->next) {
                w->cellCode = processor.process_is_inCell(w->xMin, w->xMax, w->yMin, w->yMax);
                words.push_back(w);
            }
        }
        size_t n = words.size();
        if (n < 4)
            continue;
        qsort(words.data(), n, sizeof(TextWord*), cmpWordPosition);

        int g = 1;
        size_t i = 0;
        while (i < n) {
            double x0 = words[i]->xMin;
            double x1 = words[i]->xMax;
            double R = words[i]->fontSize > 0 ? words[i]->fontSize : 0;
            double prevBase = words[i]->base;
            size_t m = 1;
            int flag = 0;
            while (i + m < n) {
                TextWord* w = words[i + m];
                if (std::fabs(w->xMin - x0) >= 0.1)
                    break;
                flag = std::fabs(w->xMax - x1) < 0.1 ? 1 : 0;
                if (std::fabs(w->base - prevBase) > 4 * R && flag == 0 && m < 4) {
                    i = i + m;
                    m = 1;
                } else {
                    ++m;
                }
                prevBase = w->base;
            }
            if (m > 3 || flag) {
                for (size_t k = i; k < i + m; ++k)
                    words[k]->groupId = g;
                ++g;
            }
            i += m;
        }
    }
}

void TextPage::buildBlocks(const UnicodeMap* uMap)
{
    TextBlock* lastBlock = nullptr;
    TextBlock* firstBlock = nullptr;
    int rotChars[4] = {0, 0, 0, 0};
    // A stop ends the pass: the blocks built so far are not in the page's list yet.
    const auto poll_stop = [&](TextBlock* unlinked) {
        if (!stop.requested())
            return;
        delete unlinked;
        while (firstBlock != nullptr) {
            TextBlock* next = firstBlock->next;
            delete firstBlock;
            firstBlock = next;
        }
        nBlocks = 0;
        throw tk_stop_exception();
    };

    for (int rot = 0; rot < 4; ++rot) {
        TextPool* pool = pools[rot];
        int p = pool->firstIndex;
        while (true) {
            poll_stop(nullptr);
            TextWord* w0 = pool->takeStartWord(p);
            if (w0 == nullptr)
                break;

            TextBlock* blk = new TextBlock(this, rot);
            blk->pool->addWord(w0);
            blk->updateBounds(w0);

            double fs = w0->fontSize;
            double minBase = w0->base, maxBase = w0->base;
            double colSpace1 = 0.3 * fs;
            double colSpace2 = 1.0 * fs;
            double lineSpace = 1.5 * fs;
            double intraLineSpace = 0.7 * fs;

            auto take = [&](int idx, TextWord* prev, TextWord* w) {
                pool->unlink(idx, prev, w);
                blk->pool->addWord(w);
                blk->updateBounds(w);
            };

            // Every word taken below must be of similar size, |size - fs| < k x fs with
            // k > 0: no word is when fs is not a positive finite number (words of zero
            // size), so the block is its start word alone.
            bool found = fs > 0 && fs < HUGE_VAL;
            while (found) {
                poll_stop(blk);
                found = false;

                // Above.
                {
                    double newMin = minBase;
                    for (int idx = pool->bucketIndex(minBase); idx >= pool->bucketIndex(minBase - lineSpace); --idx) {
                        TextWord* prev = nullptr;
                        TextWord* w = pool->getPool(idx);
                        while (w != nullptr && !pastAcross(w, blk, rot, 0)) {
                            TextWord* nxt = w->next;
                            if (w->base < minBase && w->base >= minBase - lineSpace &&
                                overlapsAcross(w, blk, rot, 0) && similarSize(w, fs, 0.05)) {
                                take(idx, prev, w);
                                newMin = w->base;
                                found = true;
                            } else {
                                prev = w;
                            }
                            w = nxt;
                        }
                    }
                    minBase = newMin;
                }

                // Below.
                {
                    double newMax = maxBase;
                    for (int idx = pool->bucketIndex(maxBase); idx <= pool->bucketIndex(maxBase + lineSpace); ++idx) {
                        TextWord* prev = nullptr;
                        TextWord* w = pool->getPool(idx);
                        while (w != nullptr && !pastAcross(w, blk, rot, 0)) {
                            TextWord* nxt = w->next;
                            if (w->base > maxBase && w->base <= maxBase + lineSpace &&
                                overlapsAcross(w, blk, rot, 0) && similarSize(w, fs, 0.05)) {
                                take(idx, prev, w);
                                newMax = w->base;
                                found = true;
                            } else {
                                prev = w;
                            }
                            w = nxt;
                        }
                    }
                    maxBase = newMax;
                }

                // Beside.
                for (int idx = pool->bucketIndex(minBase - intraLineSpace);
                     idx <= pool->bucketIndex(maxBase + intraLineSpace); ++idx) {
                    TextWord* prev = nullptr;
                    TextWord* w = pool->getPool(idx);
                    while (w != nullptr && !pastAcross(w, blk, rot, colSpace1)) {
                        TextWord* nxt = w->next;
                        if (w->base >= minBase - intraLineSpace && w->base <= maxBase + intraLineSpace &&
                            overlapsAcross(w, blk, rot, colSpace1) && similarSize(w, fs, 0.6)) {
                            take(idx, prev, w);
                            found = true;
                        } else {
                            prev = w;
                        }
                        w = nxt;
                    }
                }

                if (found)
                    continue;

                // Outliers on either side: taken only when one to three buckets hold one.
                for (int side = 0; side < 2; ++side) {
                    // The side whose outliers lie ahead in the buckets' primary order.
                    const bool ahead = (side == 1) == (rot == 0 || rot == 1);
                    auto candidate = [&](const TextWord* w) {
                        return w->base >= minBase - intraLineSpace && w->base <= maxBase + intraLineSpace &&
                               (side == 0 ? justBefore(w, blk, rot, colSpace2) : justAfter(w, blk, rot, colSpace2)) &&
                               similarSize(w, fs, 0.2);
                    };
                    int count = 0;
                    for (int idx = pool->bucketIndex(minBase - intraLineSpace);
                         idx <= pool->bucketIndex(maxBase + intraLineSpace); ++idx) {
                        for (TextWord* w = pool->getPool(idx); w != nullptr; w = w->next) {
                            if (ahead && pastAcross(w, blk, rot, colSpace2))
                                break;
                            if (candidate(w)) {
                                ++count;
                                break;
                            }
                        }
                    }
                    if (count < 1 || count > 3)
                        continue;
                    for (int idx = pool->bucketIndex(minBase - intraLineSpace);
                         idx <= pool->bucketIndex(maxBase + intraLineSpace); ++idx) {
                        TextWord* prev = nullptr;
                        for (TextWord* w = pool->getPool(idx); w != nullptr; prev = w, w = w->next) {
                            if (ahead && pastAcross(w, blk, rot, colSpace2))
                                break;
                            if (candidate(w)) {
                                take(idx, prev, w);
                                if (w->base < minBase)
                                    minBase = w->base;
                                else if (w->base > maxBase)
                                    maxBase = w->base;
                                found = true;
                                break;
                            }
                        }
                    }
                }
            }

            blk->coalesce(uMap);

            if (lastBlock == nullptr)
                firstBlock = blk;
            else
                lastBlock->next = blk;
            lastBlock = blk;
            rotChars[rot] += blk->charCount;
            if (primaryRot < 0 || rotChars[rot] > rotChars[primaryRot])
                primaryRot = rot;
            ++nBlocks;
        }
    }

    blocks = nBlocks > 0 ? static_cast<TextBlock**>(gmallocn(nBlocks, sizeof(TextBlock*))) : nullptr;
    int i = 0;
    for (TextBlock* blk = firstBlock; blk != nullptr && i < nBlocks; blk = blk->next)
        blocks[i++] = blk;
}

void TextPage::findDirection()
{
    long lrCount = 0;
    for (int i = 0; i < nBlocks; ++i)
        for (TextLine* line = blocks[i]->lines; line != nullptr; line = line->next)
            for (TextWord* w = line->words; w != nullptr; w = w->next)
                for (int k = 0; k < w->len; ++k) {
                    if (unicodeTypeL(w->text[k]))
                        ++lrCount;
                    else if (unicodeTypeR(w->text[k]))
                        --lrCount;
                }
    primaryLR = lrCount >= 0;
}

namespace {

// Block columns stay within this bound: extents of hostile pages can be inverted, nearly
// empty or infinite, and their column arithmetic must not overflow.
constexpr double columnLimit = 1 << 30;

int clampColumn(double col)
{
    return static_cast<int>(std::max(-columnLimit, std::min(columnLimit, col)));
}

// col + (int)offset, truncated towards zero; a NaN offset counts as 0.
int columnWithin(int col, double offset)
{
    if (offset != offset)
        return col;
    return clampColumn(col + std::trunc(std::max(-columnLimit, std::min(columnLimit, offset))));
}

// The first column wholly past the block b1.
int columnPast(const TextBlock* b1)
{
    return clampColumn(static_cast<double>(b1->col) + b1->nColumns + 3);
}

// Column of b0 as seen from the earlier block b1.
int columnAfter(const TextBlock* b0, const TextBlock* b1, int primaryRot)
{
    switch (primaryRot) {
    case 0:
        if (b0->xMin > b1->xMax)
            return columnPast(b1);
        if (b1->xMax == b1->xMin)
            return b1->col;
        return columnWithin(b1->col, (b0->xMin - b1->xMin) / (b1->xMax - b1->xMin) * b1->nColumns);
    case 1:
        if (b0->yMin > b1->yMax)
            return columnPast(b1);
        if (b1->yMax == b1->yMin)
            return b1->col;
        return columnWithin(b1->col, (b0->yMin - b1->yMin) / (b1->yMax - b1->yMin) * b1->nColumns);
    case 2:
        if (b1->xMin > b0->xMax)
            return columnPast(b1);
        if (b1->xMax == b1->xMin)
            return b1->col;
        return columnWithin(b1->col, (b0->xMax - b1->xMax) / (b1->xMin - b1->xMax) * b1->nColumns);
    default:
        if (b1->yMin > b0->yMax)
            return columnPast(b1);
        if (b1->yMax == b1->yMin)
            return b1->col;
        return columnWithin(b1->col, (b0->yMax - b1->yMax) / (b1->yMin - b1->yMax) * b1->nColumns);
    }
}

bool finiteExtents(TextBlock** blocks, int n)
{
    for (int i = 0; i < n; ++i)
        if (!std::isfinite(blocks[i]->xMin) || !std::isfinite(blocks[i]->xMax) || !std::isfinite(blocks[i]->yMin) ||
            !std::isfinite(blocks[i]->yMax))
            return false;
    return true;
}

// Across the reading direction: y for rotations 0 and 2, x for 1 and 3.
double acrossMin(const TextBlock* b, int rot) { return (rot == 0 || rot == 2) ? b->yMin : b->xMin; }
double acrossMax(const TextBlock* b, int rot) { return (rot == 0 || rot == 2) ? b->yMax : b->xMax; }

void narrowBy(TextBlock* b0, const TextBlock* b1, int primaryRot)
{
    if (primaryRot == 0 || primaryRot == 2) {
        if (b1->yMin < b0->yMax && b1->yMax > b0->yMin) {
            if (b1->xMin < b0->xMin)
                b0->priMin = std::max(b0->priMin, std::min(b1->xMax, b0->xMin));
            if (b1->xMax > b0->xMax)
                b0->priMax = std::min(b0->priMax, std::max(b1->xMin, b0->xMax));
        }
    } else {
        if (b1->xMin < b0->xMax && b1->xMax > b0->xMin) {
            if (b1->yMin < b0->yMin)
                b0->priMin = std::max(b0->priMin, std::min(b1->yMax, b0->yMin));
            if (b1->yMax > b0->yMax)
                b0->priMax = std::min(b0->priMax, std::max(b1->yMin, b0->yMax));
        }
    }
}

thread_local int sortRot = 0;

std::uint64_t bitsOf(double d)
{
    std::uint64_t u;
    std::memcpy(&u, &d, sizeof u);
    return u;
}

std::uint64_t mix(std::uint64_t h, std::uint64_t v)
{
    return (h ^ v) * 0x100000001b3ull + (h >> 29);
}

// Blocks piled onto one spot (words of zero size, a zero text matrix) are many copies of
// one box. A block phase treats such copies once: what one copy does to the others or
// gets from them, every copy does and gets alike. Copies are told by the bits of their
// values, so that they behave alike in every comparison and every sum.
struct BlockKey {
    std::uint64_t v[6];
    int i0, i1;
    bool operator==(const BlockKey& o) const
    {
        return std::memcmp(v, o.v, sizeof v) == 0 && i0 == o.i0 && i1 == o.i1;
    }
};

struct BlockKeyHash {
    size_t operator()(const BlockKey& k) const
    {
        std::uint64_t h = 0xcbf29ce484222325ull;
        for (std::uint64_t x : k.v)
            h = mix(h, x);
        h = mix(h, static_cast<std::uint64_t>(static_cast<std::uint32_t>(k.i0)));
        h = mix(h, static_cast<std::uint64_t>(static_cast<std::uint32_t>(k.i1)));
        return static_cast<size_t>(h);
    }
};

// What a block counts with in the column phase as an earlier block: its extent along the
// reading direction, its first column and its number of columns.
BlockKey columnKey(const TextBlock* b, int primaryRot)
{
    const bool alongX = primaryRot == 0 || primaryRot == 2;
    return BlockKey{{bitsOf(alongX ? b->xMin : b->yMin), bitsOf(alongX ? b->xMax : b->yMax), 0, 0, 0, 0},
                    b->col, b->nColumns};
}

// What the free-space phase reads and writes of a block: its box and its free space.
BlockKey spaceKey(const TextBlock* b)
{
    return BlockKey{{bitsOf(b->xMin), bitsOf(b->xMax), bitsOf(b->yMin), bitsOf(b->yMax), bitsOf(b->priMin),
                     bitsOf(b->priMax)},
                    0, 0};
}

int cmpAcrossMin(const void* pa, const void* pb)
{
    double a = acrossMin(*static_cast<TextBlock* const*>(pa), sortRot);
    double b = acrossMin(*static_cast<TextBlock* const*>(pb), sortRot);
    return a < b ? -1 : (a > b ? 1 : 0);
}

} // namespace

void assignBlockColumnsDirect(TextBlock** blocks, int n, int primaryRot)
{
    for (int i = 0; i < n; ++i) {
        int col1 = 0;
        for (int j = 0; j < i; ++j)
            col1 = std::max(col1, columnAfter(blocks[i], blocks[j], primaryRot));
        blocks[i]->col = col1;
    }
}

void assignBlockColumns(TextBlock** blocks, int n, int primaryRot)
{
    if (!finiteExtents(blocks, n)) {
        assignBlockColumnsDirect(blocks, n, primaryRot);
        return;
    }
    // In xy order the starts ascend, so a block that lies wholly before one block lies
    // wholly before every later one: it then counts only through its running maximum.
    // Of earlier blocks with the same extent, column and number of columns (copies piled
    // onto one spot) one is kept: the others give the same column to every block.
    std::vector<int> pending;
    std::unordered_set<BlockKey, BlockKeyHash> pendingKeys;
    int passed = 0; // largest col + nColumns + 3 of the blocks wholly before
    for (int i = 0; i < n; ++i) {
        TextBlock* b0 = blocks[i];
        double start = primaryStart(b0, primaryRot);
        int col1 = passed;
        for (size_t k = 0; k < pending.size();) {
            TextBlock* b1 = blocks[pending[k]];
            if (start > primaryEnd(b1, primaryRot)) {
                passed = std::max(passed, columnPast(b1));
                col1 = std::max(col1, columnPast(b1));
                pendingKeys.erase(columnKey(b1, primaryRot));
                pending[k] = pending.back();
                pending.pop_back();
            } else {
                col1 = std::max(col1, columnAfter(b0, b1, primaryRot));
                ++k;
            }
        }
        b0->col = col1;
        if (pendingKeys.insert(columnKey(b0, primaryRot)).second)
            pending.push_back(i);
    }
}

void narrowFreeSpaceDirect(TextBlock** blocks, int n, int primaryRot)
{
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            if (j != i)
                narrowBy(blocks[i], blocks[j], primaryRot);
}

void narrowFreeSpace(TextBlock** blocks, int n, int primaryRot)
{
    if (!finiteExtents(blocks, n)) {
        narrowFreeSpaceDirect(blocks, n, primaryRot);
        return;
    }
    // Copies of one block (same box and free space) do not narrow each other, and every
    // other block narrows them alike and is narrowed by them alike: one copy stands for
    // all, and the others take its result.
    std::vector<TextBlock*> distinct;
    std::vector<std::pair<TextBlock*, TextBlock*>> copies; // (copy, the block it copies)
    {
        std::unordered_map<BlockKey, TextBlock*, BlockKeyHash> first;
        first.reserve(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) {
            auto seen = first.emplace(spaceKey(blocks[i]), blocks[i]);
            if (seen.second)
                distinct.push_back(blocks[i]);
            else
                copies.emplace_back(blocks[i], seen.first->second);
        }
    }
    // Only blocks that overlap across the reading direction narrow each other. A sweep
    // over the blocks by their low edge across keeps the blocks still open there and
    // meets every overlapping pair once.
    std::vector<TextBlock*> byAcross(distinct);
    n = static_cast<int>(byAcross.size());
    sortRot = primaryRot;
    qsort(byAcross.data(), n, sizeof(TextBlock*), cmpAcrossMin);
    std::vector<TextBlock*> open;
    for (TextBlock* b : byAcross) {
        double low = acrossMin(b, primaryRot);
        for (size_t k = 0; k < open.size();) {
            TextBlock* a = open[k];
            if (acrossMax(a, primaryRot) <= low) {
                open[k] = open.back();
                open.pop_back();
                continue;
            }
            narrowBy(a, b, primaryRot);
            narrowBy(b, a, primaryRot);
            ++k;
        }
        open.push_back(b);
    }
    for (const std::pair<TextBlock*, TextBlock*>& c : copies) {
        c.first->priMin = c.second->priMin;
        c.first->priMax = c.second->priMax;
    }
}

void TextPage::numberBlockColumns()
{
    if (nBlocks == 0)
        return;
    qsort(blocks, nBlocks, sizeof(TextBlock*), cmpBlocksXY);
    assignBlockColumns(blocks, nBlocks, primaryRot);
    for (int i = 0; i < nBlocks; ++i)
        for (TextLine* line = blocks[i]->lines; line != nullptr; line = line->next)
            for (int k = 0; k <= line->len; ++k)
                line->col[k] += blocks[i]->col;
}

void TextPage::orderBlocks()
{
    if (nBlocks == 0)
        return;
    qsort(blocks, nBlocks, sizeof(TextBlock*), cmpBlocksYX);
    narrowFreeSpace(blocks, nBlocks, primaryRot);
}

void TextPage::buildFlows()
{
    if (nBlocks == 0)
        return;
    std::vector<TextBlock*> left_blocks(blocks, blocks + nBlocks);
    // live[j]: an index at or after j whose entry may still be set; taken entries are
    // skipped through it (with path halving), so scans do not walk taken blocks.
    std::vector<int> live(nBlocks + 1);
    for (int j = 0; j <= nBlocks; ++j)
        live[j] = j;
    auto nextLive = [&](int j) {
        while (j < nBlocks && left_blocks[j] == nullptr) {
            live[j] = live[live[j]];
            j = live[j];
        }
        return j;
    };
    auto take = [&](int j) {
        left_blocks[j] = nullptr;
        live[j] = j + 1;
    };
    // runEnd[j]: the end of the run of copies (same rotation and box, bit for bit) that
    // holds j. The scans below test a block only by its rotation and box, against the
    // block they keep (the start or the best so far): after one copy has been met, the
    // next copy cannot change what is kept (it is not before that copy, and it is before
    // the kept block only if the first copy was), so a scan tests whether it stops at the
    // next copy and otherwise steps over the rest of the run at once.
    std::vector<int> runEnd(nBlocks);
    auto sameBox = [](const TextBlock* a, const TextBlock* b) {
        return a->rot == b->rot && bitsOf(a->xMin) == bitsOf(b->xMin) && bitsOf(a->xMax) == bitsOf(b->xMax) &&
               bitsOf(a->yMin) == bitsOf(b->yMin) && bitsOf(a->yMax) == bitsOf(b->yMax);
    };
    for (int j = nBlocks - 1; j >= 0; --j)
        runEnd[j] = (j + 1 < nBlocks && sameBox(blocks[j], blocks[j + 1])) ? runEnd[j + 1] : j + 1;
    // With the page read top to bottom the blocks run by yMin (orderBlocks): a search for
    // blocks below a block of that rotation can start after those that do not lie lower,
    // which neither qualify nor end the search.
    std::vector<double> yMins;
    bool byYMin = primaryRot == 0;
    for (int j = 0; byYMin && j < nBlocks; ++j) {
        byYMin = std::isfinite(blocks[j]->yMin) && (j == 0 || blocks[j - 1]->yMin <= blocks[j]->yMin);
        yMins.push_back(blocks[j]->yMin);
    }

    int first = 0;
    int left = nBlocks;
    TextFlow* lastFlow = nullptr;
    while (left > 0) {
        first = nextLive(first);
        int i = first;
        TextBlock* b = left_blocks[i];
        for (int j = nextLive(i + 1); j < nBlocks;) {
            TextBlock* c = left_blocks[j];
            if (b->secondaryDelta(c) > 0)
                break;
            if (b->isBeforeByPrimary(c)) {
                b = c;
                i = j;
            }
            int k = nextLive(j + 1);
            if (k < runEnd[j]) {
                if (b->secondaryDelta(left_blocks[k]) > 0)
                    break;
                k = nextLive(runEnd[j]);
            }
            j = k;
        }
        take(i);
        --left;
        b->next = nullptr;
        TextFlow* flow = new TextFlow(this, b);
        if (lastFlow == nullptr)
            flows = flow;
        else
            lastFlow->next = flow;
        lastFlow = flow;

        b->stackNext = nullptr;
        TextBlock* top = b;
        while (top != nullptr) {
            double firstSize = (top->lines != nullptr && top->lines->words != nullptr) ? top->lines->words->fontSize : 0;
            double space = 2.5 * firstSize;
            TextBlock* best = nullptr;
            int bestIdx = -1;
            auto stopsAt = [&](const TextBlock* c) {
                return top->secondaryDelta(c) > space || (best != nullptr && best->secondaryDelta(c) > 0);
            };
            int from = first;
            if (byYMin && top->rot == 0 && space >= 0 && top->yMin <= top->yMax)
                from = std::max(first, static_cast<int>(std::upper_bound(yMins.begin(), yMins.end(), top->yMin) -
                                                        yMins.begin()));
            for (int j = nextLive(from); j < nBlocks;) {
                TextBlock* c = left_blocks[j];
                if (stopsAt(c))
                    break;
                if (top->isBelow(c, primaryRot) && (best == nullptr || best->isBeforeByPrimary(c))) {
                    best = c;
                    bestIdx = j;
                }
                int k = nextLive(j + 1);
                if (k < runEnd[j]) {
                    if (stopsAt(left_blocks[k]))
                        break;
                    k = nextLive(runEnd[j]);
                }
                j = k;
            }
            bool fits = false;
            if (best != nullptr && best->fontSize() <= flow->lastBlk->fontSize()) {
                if (primaryRot == 0 || primaryRot == 2)
                    fits = best->xMin >= flow->priMin && best->xMax <= flow->priMax;
                else
                    fits = best->yMin >= flow->priMin && best->yMax <= flow->priMax;
            }
            if (fits) {
                take(bestIdx);
                --left;
                best->next = nullptr;
                flow->addBlock(best);
                best->stackNext = top;
                top = best;
            } else {
                top = top->stackNext;
            }
        }
    }
}

} // namespace kvl
