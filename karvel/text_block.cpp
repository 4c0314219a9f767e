#include "karvel/text_block.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

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
    for (int idx = pool->firstIndex; idx <= pool->lastIndex; ++idx) {
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
                for (int j = idx + 1; !found && j <= endIdx; ++j) {
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
    for (int idx = pool->firstIndex; idx <= pool->lastIndex; ++idx) {
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

        double fs = w0->fontSize;
        double d = fs > 25.0 ? 0.7 * 0.7 * fs : 0.7 * fs;
        double minBase = w0->base - d;
        double maxBase = w0->base + d;
        int firstIdx = pool->bucketIndex(minBase);
        int lastIdx = pool->bucketIndex(maxBase);

        while (true) {
            TextWord* best = nullptr;
            TextWord* bestPrev = nullptr;
            int bestIdx = 0;
            for (int idx = firstIdx; idx <= lastIdx; ++idx) {
                TextWord* prev = nullptr;
                for (TextWord* w = pool->getPool(idx); w != nullptr; prev = w, w = w->next) {
                    if (w->base < minBase || w->base > maxBase)
                        continue;
                    if (w->groupId != last->groupId && w->groupId != 0 && last->groupId != 0)
                        continue;
                    if (w->cellCode != last->cellCode)
                        continue;
                    double g = last->primaryDelta(w);
                    if (g >= -0.33 * fs) {
                        if (g < 1.5 * fs && (best == nullptr || w->primaryCmp(best) < 0)) {
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

        insertLine(line);
        line->coalesce(uMap);
        charCount += line->len;
        ++nLines;
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
