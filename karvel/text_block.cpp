#include "karvel/text_block.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <queue>
#include <utility>
#include <vector>

#include <goo/gmem.h>

#include "karvel/text_level_cells.h"
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
    return primaryStart(w, w->rot);
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
        if (!sameGroups(w, last))
            return false;
        return w->cellCode == last->cellCode;
    }
    static bool sameGroups(const TextWord* w, const TextWord* last)
    {
        return w->groupId == last->groupId || w->groupId == 0 || last->groupId == 0;
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

// The block's lines in list order while they are built, cut into runs of a few dozen lines
// that each know the bounds of their lines, with a tree of the runs' bounds over them: a
// new line steps over whole runs, or whole stretches of runs, when it surely comes after
// every line of them, and is compared line by line only in the others. Runs are also
// grouped a few dozen at a time; a group and a run keep their lines' cells as well
// (LevelCells), which show that a new line comes after every line of a stretch that
// mixes sizes and base lines.
class LineRuns {
public:
    // Bounds of lines: base lines, extents across (their lower and upper ends), average
    // font sizes (of coalesced lines), rotation and start along the reading direction.
    struct Bounds {
        double baseMin = HUGE_VAL, baseMax = -HUGE_VAL;
        double xLoMin = HUGE_VAL, xHiMax = -HUGE_VAL, yHiMax = -HUGE_VAL;
        double sizeMin = HUGE_VAL, sizeMax = 0;
        double startMax = -HUGE_VAL; // the latest primaryStart
        int rot = -1;                // the lines' rotation while they share one, else -2
        bool finite = true; // every line's values are finite numbers, its size not negative

        // The line's extents; its size is taken once the line is coalesced (takeSize).
        void take(const TextLine* l)
        {
            baseMin = std::min(baseMin, l->base);
            baseMax = std::max(baseMax, l->base);
            xLoMin = std::min(xLoMin, std::min(l->xMin, l->xMax));
            xHiMax = std::max(xHiMax, std::max(l->xMin, l->xMax));
            yHiMax = std::max(yHiMax, std::max(l->yMin, l->yMax));
            startMax = std::max(startMax, primaryStart(l, l->rot));
            takeRot(l->rot);
            finite = finite && std::isfinite(l->base) && std::isfinite(l->xMin) && std::isfinite(l->xMax) &&
                     std::isfinite(l->yMin) && std::isfinite(l->yMax);
        }
        void takeSize(double size)
        {
            sizeMin = std::min(sizeMin, size);
            sizeMax = std::max(sizeMax, size);
            finite = finite && std::isfinite(size) && size >= 0;
        }
        void takeRot(int r)
        {
            if (r != -1)
                rot = rot == -1 || rot == r ? r : -2;
        }
        void take(const Bounds& o)
        {
            baseMin = std::min(baseMin, o.baseMin);
            baseMax = std::max(baseMax, o.baseMax);
            xLoMin = std::min(xLoMin, o.xLoMin);
            xHiMax = std::max(xHiMax, o.xHiMax);
            yHiMax = std::max(yHiMax, o.yHiMax);
            sizeMin = std::min(sizeMin, o.sizeMin);
            sizeMax = std::max(sizeMax, o.sizeMax);
            startMax = std::max(startMax, o.startMax);
            takeRot(o.rot);
            finite = finite && o.finite;
        }
    };

    struct Run {
        std::vector<TextLine*> lines;
        Bounds bounds;
        LevelCells cells;
    };

    // Runs from firstRun up to the next group's first run.
    struct Group {
        size_t firstRun = 0;
        Bounds bounds;
        LevelCells cells;
    };

    // A line to be placed, with its average font size.
    struct NewLine {
        NewLine(const TextLine* l, double size)
            : rot(l->rot), base(l->base), xLo(std::min(l->xMin, l->xMax)), xHi(std::max(l->xMin, l->xMax)),
              yLo(std::min(l->yMin, l->yMax)), yMin(l->yMin), yMax(l->yMax), start(primaryStart(l, l->rot)), size(size),
              finite(std::isfinite(size) && size >= 0 && std::isfinite(l->base) && std::isfinite(l->xMin) &&
                     std::isfinite(l->xMax) && std::isfinite(l->yMin) && std::isfinite(l->yMax))
        {
        }
        // True when lineReadingOrder(line, l) > 0 for every line l within the bounds: l
        // lies wholly before the line across it, by base and extent, so that the vertical
        // order is 1; or l starts before the line and the vertical order is 0 or 1.
        bool surelyAfter(const Bounds& b) const
        {
            if (!finite || !b.finite)
                return false;
            if (b.rot == rot && start > b.startMax && (surelyNotAbove(b) || surelyLevel(b)))
                return true;
            if (rot == 1 || rot == 3) // no overlap across, and every base after the line's
                return (b.xHiMax < xLo || b.xLoMin > xHi) && b.baseMin - base > 0;
            // No overlap across, and the base lines farther apart than half of any size the
            // order may take (either line's, or 8).
            const double d = base - b.baseMax;
            return b.yHiMax < yLo && d > 0 && d >= 0.5 * std::max(std::max(size, b.sizeMax), 8.0);
        }
        // True when the vertical order of the line and any line l within the bounds is not
        // -1: it is either 0 or the sign of the base lines' difference, which the line's base
        // line, at or past every line's, keeps from being negative.
        bool surelyNotAbove(const Bounds& b) const
        {
            return rot == 1 || rot == 3 ? base <= b.baseMin : base >= b.baseMax;
        }
        // True, for a line that starts after every line within the bounds, when the vertical
        // order of the line and any line l within the bounds is not -1: the same base line
        // (rotations 1 and 3); or, where l's base line is past the line's, 0 because their
        // sizes lie within a ratio of 0.7 and their base lines closer than half the line's
        // size, which the order takes as one line whatever the extents (the quotients and
        // differences round monotonically, so the bounds' extremes bound every line's).
        bool surelyLevel(const Bounds& b) const
        {
            if (rot == 1 || rot == 3)
                return b.baseMin == base && b.baseMax == base;
            return size > 0 && b.sizeMin > 0 && b.sizeMin <= b.sizeMax &&
                   sizes_within(b.sizeMin, b.sizeMax, size, 0.7) && 0.5 * size > std::fabs(base - b.baseMax);
        }
        // True when the line comes after every line of a stretch of the given bounds and cells:
        // it starts after each, and each is level with it or has its base line not past the
        // line's.
        bool afterByCells(const Bounds& b, const LevelCells& cells) const
        {
            return finite && b.finite && (rot == 0 || rot == 2) && b.rot == rot && start > b.startMax &&
                   cells.levelOrAbove(LevelCells::probe{base, yMin, yMax, size});
        }
        int rot;
        double base, xLo, xHi, yLo, yMin, yMax, start, size;
        bool finite;
    };

    // The first run from the run from on that the line does not surely come after, or the
    // number of runs.
    size_t firstToWalk(size_t from, const NewLine& line) const
    {
        if (from >= runs.size())
            return runs.size();
        // Up from the leaf, take in the whole subtrees to the right of the path; descend
        // into the first one the line does not surely come after.
        size_t node = leaves + from;
        if (!line.surelyAfter(tree[node]))
            return from;
        while (true) {
            // Climb while node is a right child or its right sibling is passed.
            while (node > 1 && (node % 2 == 1 || line.surelyAfter(tree[node + 1]))) {
                if (node % 2 == 0)
                    ++node; // the sibling is passed: carry on from it
                node /= 2;
            }
            if (node <= 1)
                return runs.size();
            node = node + 1; // a right sibling the line does not surely come after
            while (node < leaves)
                node = line.surelyAfter(tree[2 * node]) ? 2 * node + 1 : 2 * node;
            return std::min(node - leaves, runs.size());
        }
    }

    // Sets the tree's leaf of run r and the nodes above it.
    void refresh(size_t r)
    {
        size_t node = leaves + r;
        tree[node] = runs[r].bounds;
        for (node /= 2; node >= 1; node /= 2) {
            tree[node] = tree[2 * node];
            tree[node].take(tree[2 * node + 1]);
        }
    }

    // Builds the tree anew (after a run was split).
    void rebuild()
    {
        leaves = 1;
        while (leaves < runs.size())
            leaves *= 2;
        tree.assign(2 * leaves, Bounds());
        for (size_t r = 0; r < runs.size(); ++r)
            tree[leaves + r] = runs[r].bounds;
        for (size_t node = leaves - 1; node >= 1; --node) {
            tree[node] = tree[2 * node];
            tree[node].take(tree[2 * node + 1]);
        }
    }

    // Cuts the list from head into runs (when the block has reached fewLines lines);
    // last is the line inserted last.
    void adopt(TextLine* head, const TextLine* last)
    {
        // A cell holds base lines an eighth of the least size apart.
        double least = HUGE_VAL;
        for (const TextLine* l = head; l != nullptr; l = l->next)
            if (l->coalescedSize > 0)
                least = std::min(least, l->coalescedSize);
        if (std::isfinite(least))
            cellWidth = least / 8;
        for (TextLine* l = head; l != nullptr; l = l->next) {
            if (runs.empty() || runs.back().lines.size() >= longestRun / 2)
                runs.emplace_back();
            runs.back().lines.push_back(l);
            runs.back().bounds.take(l);
            runs.back().bounds.takeSize(l->coalescedSize);
            runs.back().cells.take(l, l->coalescedSize, cellWidth);
            if (l == last) {
                lastRun = runs.size() - 1;
                lastPos = runs.back().lines.size() - 1;
            }
        }
        rebuild();
        groups.clear();
        for (size_t r = 0; r < runs.size(); ++r) {
            if (groups.empty() || r - groups.back().firstRun >= groupRuns)
                groups.emplace_back().firstRun = r;
            groups.back().bounds.take(runs[r].bounds);
            groups.back().cells.take(runs[r].cells);
        }
    }

    // The group of run r, and the run after the group's last.
    size_t groupOf(size_t r) const
    {
        auto after = std::upper_bound(groups.begin(), groups.end(), r,
                                      [](size_t run, const Group& g) { return run < g.firstRun; });
        return static_cast<size_t>(after - groups.begin()) - 1;
    }
    size_t groupEnd(size_t g) const { return g + 1 < groups.size() ? groups[g + 1].firstRun : runs.size(); }

    // The line's extents, once placed in run r.
    void placed(size_t r, const TextLine* l)
    {
        runs[r].bounds.take(l);
        if (!groups.empty())
            groups[groupOf(r)].bounds.take(l);
    }
    // The line's size and cells, once the line in run r is coalesced.
    void sized(size_t r, const TextLine* l)
    {
        runs[r].bounds.takeSize(l->coalescedSize);
        runs[r].cells.take(l, l->coalescedSize, cellWidth);
        refresh(r);
        if (groups.empty())
            return;
        Group& g = groups[groupOf(r)];
        g.bounds.takeSize(l->coalescedSize);
        g.cells.take(l, l->coalescedSize, cellWidth);
    }
    // After run r was split in two (the second half inserted after it): the groups after
    // r's start a run later; a group grown too long is cut in two.
    void splitRun(size_t r)
    {
        if (groups.empty())
            return;
        const size_t g = groupOf(r);
        for (size_t k = g + 1; k < groups.size(); ++k)
            ++groups[k].firstRun;
        const size_t first = groups[g].firstRun, end = groupEnd(g);
        if (end - first <= 2 * groupRuns)
            return;
        Group low, high;
        low.firstRun = first;
        high.firstRun = first + (end - first) / 2;
        for (size_t k = first; k < end; ++k) {
            Group& to = k < high.firstRun ? low : high;
            to.bounds.take(runs[k].bounds);
            to.cells.take(runs[k].cells);
        }
        groups[g] = std::move(low);
        groups.insert(groups.begin() + static_cast<std::ptrdiff_t>(g) + 1, std::move(high));
    }

    // Runs split in halves beyond this many lines.
    static constexpr size_t longestRun = 64;
    // A block of fewer lines is placed and numbered by the direct walks, which are quicker there.
    static constexpr int fewLines = 32;

    // Runs in a group, a group being cut in two beyond twice this many.
    static constexpr size_t groupRuns = 32;

    std::vector<Run> runs;
    std::vector<Group> groups;
    double cellWidth = 1.0;
    std::vector<Bounds> tree; // node 1 is the root, node n has children 2n and 2n + 1
    size_t leaves = 1;
    // Where the line inserted last is.
    size_t lastRun = 0, lastPos = 0;
    // Lines compared and bounds looked at while placing lines, for the stop polls.
    size_t work = 0;
};

TextBlock::TextBlock(TextPage* pageA, int rotA)
    : page(pageA), rot(rotA), xMin(0), xMax(-1), yMin(0), yMax(-1), priMin(0),
      priMax(pageA != nullptr ? pageA->pageWidth : 0), pool(new TextPool()), lines(nullptr), curLine(nullptr),
      nLines(0), charCount(0), col(0), nColumns(0), next(nullptr), stackNext(nullptr)
{
}

bool TextBlock::stopRequested() const
{
    return page != nullptr && page->stop.requested();
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
    // A stop leaves the block unfinished (its words in its pool or its lines); the page's
    // layout ends at its next look at the stop and deletes it.
    removeDuplicates();
    handOnGroups();
    if (stopRequested())
        return;
    buildLines(uMap);
    if (stopRequested())
        return;
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
    bool ordered = !directLines && nWords >= minIndexedWords && flatten(pool, words, start);
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
    // groupEnd[j]: the first position after j, in j's bucket or at its end, whose word is
    // of another group. A word of a group that a line's last word may not join is passed
    // over with all of its group's words that follow it (a word not yet in a line keeps
    // its group).
    std::vector<int> groupEnd(static_cast<size_t>(n));
    for (size_t b = 0; b + 1 < start.size(); ++b)
        for (int i = start[b + 1] - 1; i >= start[b]; --i)
            groupEnd[static_cast<size_t>(i)] =
                i + 1 < start[b + 1] && words[static_cast<size_t>(i) + 1]->groupId == words[static_cast<size_t>(i)]->groupId
                    ? groupEnd[static_cast<size_t>(i) + 1]
                    : i + 1;
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

    LineRuns runs;
    int p = 0; // offset of the first bucket that may hold a word
    size_t lookedAt = 0; // runs.work at the last look at the stop check
    while (true) {
        // Placing a line may take many steps: the stop is looked at by lines built and by
        // the work of placing them.
        if (nLines % stopEvery == stopEvery - 1 || runs.work - lookedAt >= stopWork) {
            lookedAt = runs.work;
            if (stopRequested())
                return; // the words not in a line go back to the pool
        }
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
                    if (!window.admits(w, last)) {
                        if (!window.sameGroups(w, last))
                            j = groupEnd[static_cast<size_t>(j)] - 1;
                        continue;
                    }
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

        finishLine(line, uMap, runs);
    }
    guard.done = true;
}

void TextBlock::finishLine(TextLine* line, const UnicodeMap* uMap, LineRuns& runs)
{
    insertLine(line, runs);
    line->coalesce(uMap);
    if (!runs.runs.empty())
        runs.sized(runs.lastRun, line);
    charCount += line->len;
    ++nLines;
}

void TextBlock::buildLinesDirect(const UnicodeMap* uMap)
{
    curLine = nullptr;
    nLines = 0;
    charCount = 0;
    LineRuns runs;
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

        finishLine(line, uMap, runs);
    }
}

namespace {

// True when column order puts a before b: the order of cmpLineColumn, with the average
// font sizes the lines kept from their coalesce.
int cmpLineColumnKept(const void* pa, const void* pb)
{
    const TextLine* a = *static_cast<TextLine* const*>(pa);
    const TextLine* b = *static_cast<TextLine* const*>(pb);
    int r = linePrimaryOrder(a, b);
    return r != 0 ? r : lineVerticalOrder(a, a->coalescedSize, b, b->coalescedSize);
}

// True when the line l0 lies at or past the glyph middle mid, along the rotation.
bool pastMiddle(const TextLine* l0, double mid, int rot)
{
    switch (rot) {
    case 0: return l0->xMin >= mid;
    case 1: return l0->yMin >= mid;
    case 2: return l0->xMax <= mid;
    default: return l0->yMax <= mid;
    }
}

// A line lies wholly after l1 (l1->primaryDelta >= 0) once its primaryStart reaches
// l1's primaryEnd, and past a glyph middle of l1 once it reaches the middle's key.
double middleKey(double mid, int rot) { return rot == 0 || rot == 1 ? mid : -mid; }

double glyphMiddle(const TextLine* l, int k) { return 0.5 * (l->edge[k] + l->edge[k + 1]); }

} // namespace

void numberLineColumnsDirect(TextLine** array, int n, int rot)
{
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
                for (; k < l1->len; ++k)
                    if (!pastMiddle(l0, glyphMiddle(l1, k), rot))
                        break;
                col2 = l1->col[k];
            }
            col1 = std::max(col1, col2);
        }
        for (int k = 0; k <= l0->len; ++k)
            l0->col[k] += col1;
    }
}

void numberLineColumns(TextLine** array, int n, int rot, const tk_stop_check& stop)
{
    // What an earlier line l1 gives a later line l0 only grows with l0's start: l1's
    // column past its end once l0 lies wholly after it, before that l1's column at its
    // first glyph whose middle l0 does not start past (the glyphs passed stay passed).
    // With the lines in order of their starts, each line's share is thus moved on only
    // when the start reaches its next threshold (kept in a queue), and the largest share
    // so far is the one every earlier line gives now.
    // (The lines' columns must not fall along them, as coalesce makes them.)
    bool ordered = true;
    for (int i = 0; ordered && i < n; ++i) {
        const TextLine* l = array[i];
        ordered = l->rot == rot && std::isfinite(l->xMin) && std::isfinite(l->xMax) && std::isfinite(l->yMin) &&
                  std::isfinite(l->yMax) && (i == 0 || primaryStart(array[i - 1], rot) <= primaryStart(l, rot));
        for (int k = 0; ordered && k < l->len; ++k)
            ordered = l->col[k] <= l->col[k + 1];
    }
    if (!ordered) {
        numberLineColumnsDirect(array, n, rot);
        return;
    }
    struct share {
        int k = 0;          // the first glyph not passed
        bool past = false;  // wholly passed
    };
    std::vector<share> shares(static_cast<size_t>(n));
    using event = std::pair<double, int>; // (threshold of the start, line)
    std::priority_queue<event, std::vector<event>, std::greater<event>> queue;
    auto schedule = [&](int j) {
        const TextLine* l1 = array[j];
        double t = primaryEnd(l1, rot);
        const int k = shares[static_cast<size_t>(j)].k;
        if (k < l1->len) {
            const double m = middleKey(glyphMiddle(l1, k), rot);
            if (m < t) // a middle that is not a number is never passed
                t = m;
        }
        queue.emplace(t, j);
    };
    int most = 0;
    for (int i = 0; i < n; ++i) {
        if (i % TextBlock::stopEvery == TextBlock::stopEvery - 1 && stop.requested())
            return; // the columns are left unnumbered
        TextLine* l0 = array[i];
        const double start = primaryStart(l0, rot);
        while (!queue.empty() && queue.top().first <= start) {
            const int j = queue.top().second;
            queue.pop();
            TextLine* l1 = array[j];
            share& sh = shares[static_cast<size_t>(j)];
            if (l1->primaryDelta(l0) >= 0) {
                sh.past = true;
                most = std::max(most, l1->col[l1->len] + 1);
                continue;
            }
            while (sh.k < l1->len && pastMiddle(l0, glyphMiddle(l1, sh.k), rot))
                ++sh.k;
            most = std::max(most, l1->col[sh.k]);
            schedule(j);
        }
        for (int k = 0; k <= l0->len; ++k)
            l0->col[k] += most;
        most = std::max(most, l0->col[0]); // the least the line gives any later one
        schedule(i);
    }
}

void TextBlock::insertLine(TextLine* line, LineRuns& list)
{
    // The line goes before the first line it does not come after (lineReadingOrder),
    // looked for from the head, or after the line inserted last when it comes after that.
    const double size = line->averageFontSize();
    auto comesAfter = [&](const TextLine* cur) {
        ++list.work;
        int r = lineVerticalOrder(line, size, cur, cur->coalescedSize);
        return (r != 0 ? r : linePrimaryOrder(line, cur)) > 0;
    };
    TextLine* const last = curLine;
    curLine = line;
    if (directLines || (list.runs.empty() && nLines < LineRuns::fewLines)) {
        auto after = [&](const TextLine* cur) { return directLines ? lineReadingOrder(line, cur) > 0 : comesAfter(cur); };
        TextLine* prev = nullptr;
        TextLine* cur = lines;
        if (last != nullptr && after(last)) {
            prev = last;
            cur = last->next;
        }
        while (cur != nullptr && after(cur)) {
            prev = cur;
            cur = cur->next;
        }
        line->next = cur;
        if (prev == nullptr)
            lines = line;
        else
            prev->next = line;
        return;
    }
    if (list.runs.empty())
        list.adopt(lines, last);
    const bool fromLast = last != nullptr && comesAfter(last);
    std::vector<LineRuns::Run>& runs = list.runs;
    const LineRuns::NewLine probe(line, size);
    size_t r = 0, i = 0;
    if (fromLast) {
        r = list.lastRun;
        i = list.lastPos + 1;
    }
    size_t triedGroup = runs.size(); // the group whose cells were looked at last
    while (r < runs.size()) {
        ++list.work;
        if (i < runs[r].lines.size() && probe.surelyAfter(runs[r].bounds)) {
            r = list.firstToWalk(r + 1, probe);
            i = 0;
            continue;
        }
        if (i < runs[r].lines.size()) {
            const size_t g = list.groupOf(r);
            if (g != triedGroup) {
                triedGroup = g;
                if (probe.afterByCells(list.groups[g].bounds, list.groups[g].cells)) {
                    r = list.firstToWalk(list.groupEnd(g), probe);
                    i = 0;
                    continue;
                }
            }
            if (probe.afterByCells(runs[r].bounds, runs[r].cells)) {
                r = list.firstToWalk(r + 1, probe);
                i = 0;
                continue;
            }
        }
        const std::vector<TextLine*>& run = runs[r].lines;
        while (i < run.size() && comesAfter(run[i]))
            ++i;
        if (i < run.size())
            break;
        r = list.firstToWalk(r + 1, probe);
        i = 0;
    }
    bool grown = false;
    if (runs.empty()) {
        runs.emplace_back();
        list.groups.assign(1, LineRuns::Group());
        grown = true;
        r = 0;
        i = 0;
    } else if (r == runs.size()) {
        r = runs.size() - 1;
        i = runs[r].lines.size();
    }
    LineRuns::Run& run = runs[r];
    TextLine* prev = i > 0 ? run.lines[i - 1] : (r > 0 ? runs[r - 1].lines.back() : nullptr);
    TextLine* cur = i < run.lines.size() ? run.lines[i] : (r + 1 < runs.size() ? runs[r + 1].lines.front() : nullptr);
    line->next = cur;
    if (prev == nullptr)
        lines = line;
    else
        prev->next = line;
    run.lines.insert(run.lines.begin() + static_cast<std::ptrdiff_t>(i), line);
    list.placed(r, line);
    list.lastRun = r;
    list.lastPos = i;

    if (run.lines.size() > LineRuns::longestRun) {
        const size_t half = run.lines.size() / 2;
        LineRuns::Run low, high;
        low.lines.assign(run.lines.begin(), run.lines.begin() + static_cast<std::ptrdiff_t>(half));
        high.lines.assign(run.lines.begin() + static_cast<std::ptrdiff_t>(half), run.lines.end());
        // The line being placed takes its size once coalesced (finishLine).
        for (LineRuns::Run* part : {&low, &high})
            for (const TextLine* l : part->lines) {
                part->bounds.take(l);
                if (l != line) {
                    part->bounds.takeSize(l->coalescedSize);
                    part->cells.take(l, l->coalescedSize, list.cellWidth);
                }
            }
        runs[r] = std::move(low);
        runs.insert(runs.begin() + static_cast<std::ptrdiff_t>(r) + 1, std::move(high));
        list.splitRun(r);
        if (i >= half) {
            list.lastRun = r + 1;
            list.lastPos = i - half;
        }
        grown = true;
    }
    if (grown)
        list.rebuild();
    else
        list.refresh(r);
}

void TextBlock::numberColumns()
{
    nColumns = 0;
    if (nLines == 0)
        return;
    std::vector<TextLine*> array;
    array.reserve(static_cast<size_t>(nLines));
    for (TextLine* l = lines; l != nullptr && static_cast<int>(array.size()) < nLines; l = l->next)
        array.push_back(l);
    const int n = static_cast<int>(array.size());
    if (directLines) {
        qsort(array.data(), static_cast<size_t>(n), sizeof(TextLine*), cmpLineColumn);
        numberLineColumnsDirect(array.data(), n, rot);
    } else {
        qsort(array.data(), static_cast<size_t>(n), sizeof(TextLine*), cmpLineColumnKept);
        if (n < LineRuns::fewLines)
            numberLineColumnsDirect(array.data(), n, rot);
        else
            numberLineColumns(array.data(), n, rot, page != nullptr ? page->stop : tk_stop_check{});
        if (stopRequested())
            return;
    }
    for (const TextLine* l : array)
        nColumns = std::max(nColumns, l->col[l->len]);
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
