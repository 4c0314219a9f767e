#include "karvel/text_line.h"

#include <algorithm>
#include <cmath>

#include <UnicodeMap.h>
#include <goo/gmem.h>

#include "karvel/text_word.h"

namespace kvl {

namespace {

int sign(double d) { return d < 0 ? -1 : (d > 0 ? 1 : 0); }

// Truncation toward zero, saturated to the int range.
int truncToInt(double d)
{
    if (!(d > -2147483647.0))
        return d != d ? 0 : -2147483647;
    if (d > 2147483647.0)
        return 2147483647;
    return static_cast<int>(d);
}

} // namespace

TextLine::TextLine(TextBlock* blockA, int rotA, double baseA)
    : xMin(0), xMax(-1), base(baseA), block(blockA), rot(rotA), yMin(0), yMax(-1), words(nullptr),
      lastWord(nullptr), text(nullptr), edge(nullptr), col(nullptr), len(0), convertedLen(0), hyphenated(0),
      next(nullptr), groupId(0), rowOffset(0), cellCode(0)
{
}

TextLine::~TextLine()
{
    while (words != nullptr) {
        TextWord* next = words->next;
        delete words;
        words = next;
    }
    gfree(text);
    gfree(edge);
    gfree(col);
}

void TextLine::addWord(TextWord* word)
{
    if (lastWord != nullptr) {
        if (words == lastWord && lastWord->len == 1 && word->len > 1)
            base = word->base;
        lastWord->next = word;
    } else {
        words = word;
        cellCode = word->cellCode;
    }
    word->next = nullptr;

    if (groupId == 0 && word->groupId != 0)
        groupId = word->groupId;

    if (xMin > xMax) {
        xMin = word->xMin;
        xMax = word->xMax;
        yMin = word->yMin;
        yMax = word->yMax;
    } else {
        xMin = std::min(xMin, word->xMin);
        xMax = std::max(xMax, word->xMax);
        if (lastWord != nullptr) {
            TextWord* L = lastWord;
            TextWord* W = word;
            double diff = std::fabs(W->base - L->base);
            if (diff > 0.7 && L->raisedBy == 0 && L->loweredBy == 0 && diff < std::min(L->fontSize, W->fontSize)) {
                if (L->yMin > W->yMin) {
                    if (L->fontSize > W->fontSize)
                        W->raisedBy = truncToInt(L->fontSize - W->fontSize + L->yMin - W->yMin);
                    else if (W->fontSize > L->fontSize)
                        L->loweredBy = truncToInt(W->fontSize - L->fontSize + L->yMin - W->yMin);
                } else if (W->yMax > L->yMax) {
                    if (L->fontSize > W->fontSize)
                        W->loweredBy = truncToInt(L->fontSize - W->fontSize + W->yMax - L->yMax);
                    else if (W->fontSize > L->fontSize)
                        L->raisedBy = truncToInt(W->fontSize - L->fontSize + W->yMax - L->yMax);
                }
            }
        }
        yMin = std::min(yMin, word->yMin);
        yMax = std::max(yMax, word->yMax);
    }

    lastWord = word;
    if (word->groupId == 0 && groupId != 0)
        word->groupId = groupId;
}

double TextLine::averageFontSize() const
{
    double sum = 0;
    int count = 0;
    for (const TextWord* w = words; w != nullptr; w = w->next) {
        if (w->fontSize > 0)
            sum += w->fontSize * w->len;
        count += w->len;
    }
    return count > 0 ? sum / count : 0.0;
}

double TextLine::primaryDelta(const TextLine* line) const
{
    switch (rot) {
    case 0: return line->xMin - xMax;
    case 1: return line->yMin - yMax;
    case 2: return xMin - line->xMax;
    default: return yMin - line->yMax;
    }
}

void TextLine::coalesce(const UnicodeMap* uMap)
{
    double space = 0;
    if (words != nullptr && words->next != nullptr) {
        TextWord* w1 = words;
        TextWord* w2 = w1->next;
        double fs = w1->fontSize;
        if (w1->len > 1 || w2->len > 1) {
            space = 0.1 * fs;
        } else {
            double minSpace = w1->primaryDelta(w2);
            for (TextWord* wa = w2; minSpace > 0 && wa->next != nullptr; wa = wa->next) {
                TextWord* wb = wa->next;
                if (wb->len > 1)
                    minSpace = 0;
                minSpace = std::min(minSpace, wa->primaryDelta(wb));
            }
            if (minSpace <= 0)
                space = 0.1 * fs;
            else
                space = std::min(1.3 * minSpace, 0.4 * fs);
        }
    }

    if (words != nullptr) {
        double firstSize = words->fontSize;
        TextWord* w0 = words;
        TextWord* w1 = w0->next;
        while (w1 != nullptr) {
            if (w0->primaryDelta(w1) >= space) {
                w0->spaceFollows = 1;
                w0 = w1;
                w1 = w1->next;
            } else if (w0->font == w1->font && std::fabs(w0->fontSize - w1->fontSize) < 0.05 * firstSize &&
                       w1->streamPos == w0->streamPos + w0->streamLen) {
                w0->merge(w1);
                w0->next = w1->next;
                if (lastWord == w1)
                    lastWord = w0;
                delete w1;
                w1 = w0->next;
            } else {
                w0 = w1;
                w1 = w1->next;
            }
        }
    }

    gfree(text);
    gfree(edge);
    gfree(col);
    len = 0;
    for (TextWord* w = words; w != nullptr; w = w->next)
        len += w->len + (w->spaceFollows ? 1 : 0);
    text = static_cast<Unicode*>(gmallocn(len > 0 ? len : 1, sizeof(Unicode)));
    edge = static_cast<double*>(gmallocn(len + 1, sizeof(double)));
    col = static_cast<int*>(gmallocn(len + 1, sizeof(int)));
    int i = 0;
    for (TextWord* w = words; w != nullptr; w = w->next) {
        for (int j = 0; j < w->len; ++j) {
            text[i] = w->text[j];
            edge[i] = w->edge[j];
            ++i;
        }
        edge[i] = w->len > 0 ? w->edge[w->len] : (i > 0 ? edge[i - 1] : 0.0);
        if (w->spaceFollows && i < len) {
            text[i] = 0x20;
            ++i;
        }
    }
    if (len == 0)
        edge[0] = 0;

    convertedLen = 0;
    for (int k = 0; k < len; ++k) {
        col[k] = convertedLen;
        if (uMap != nullptr) {
            if (uMap->isUnicode()) {
                ++convertedLen;
            } else {
                char buf[8];
                convertedLen += uMap->mapUnicode(text[k], buf, sizeof(buf));
            }
        }
    }
    col[len] = convertedLen;

    hyphenated = (len > 0 && text[len - 1] == 0x2D) ? 1 : 0;
    coalescedSize = averageFontSize();
}

int linePrimaryOrder(const TextLine* a, const TextLine* b)
{
    if (a->rot == b->rot) {
        switch (a->rot) {
        case 0: return sign(a->xMin - b->xMin);
        case 1: return sign(a->yMin - b->yMin);
        case 2: return sign(b->xMax - a->xMax);
        default: return sign(b->yMax - a->yMax);
        }
    }
    if (a->rot == 1 || a->rot == 3)
        return sign(a->yMin - b->yMin);
    return sign(a->xMin - b->xMin);
}

int lineVerticalOrder(const TextLine* a, const TextLine* b)
{
    return lineVerticalOrder(a, a->averageFontSize(), b, b->averageFontSize());
}

int lineVerticalOrder(const TextLine* a, double sA, const TextLine* b, double sB)
{
    // Two sizes of 0 give no ratio (NaN), so only the base lines decide.
    double ratio;
    if (sB >= sA)
        ratio = sB != 0 ? sA / sB : std::nan("");
    else
        ratio = sB / sA;
    double size = sA;
    if (sB > sA && b->words != nullptr && b->words->len > 1)
        size = sB;
    if (size == 0)
        size = 8.0;

    if (a->rot == 1 || a->rot == 3) {
        if (overlapRatio(b->xMin, b->xMax, a->xMin, a->xMax) > 0.5)
            return 0;
        return sign(b->base - a->base);
    }
    double v = overlapRatio(a->yMin, a->yMax, b->yMin, b->yMax);
    if (ratio >= 0.6 && v > 0.7)
        return 0;
    if (ratio < 0.6 && v > 0.9)
        return 0;
    if (ratio > 0.7 && 0.5 * size > std::fabs(a->base - b->base))
        return 0;
    return sign(a->base - b->base);
}

int lineReadingOrder(const TextLine* a, const TextLine* b)
{
    int r = lineVerticalOrder(a, b);
    return r != 0 ? r : linePrimaryOrder(a, b);
}

int cmpLinePrimary(const void* a, const void* b)
{
    return linePrimaryOrder(*static_cast<TextLine* const*>(a), *static_cast<TextLine* const*>(b));
}

int cmpLineVertical(const void* a, const void* b)
{
    return lineVerticalOrder(*static_cast<TextLine* const*>(a), *static_cast<TextLine* const*>(b));
}

int cmpLineReading(const void* a, const void* b)
{
    return lineReadingOrder(*static_cast<TextLine* const*>(a), *static_cast<TextLine* const*>(b));
}

int cmpLineColumn(const void* a, const void* b)
{
    const TextLine* la = *static_cast<TextLine* const*>(a);
    const TextLine* lb = *static_cast<TextLine* const*>(b);
    int r = linePrimaryOrder(la, lb);
    return r != 0 ? r : lineVerticalOrder(la, lb);
}

int cmpLineCell(const void* a, const void* b)
{
    const TextLine* la = *static_cast<TextLine* const*>(a);
    const TextLine* lb = *static_cast<TextLine* const*>(b);
    long ca = std::labs(static_cast<long>(la->cellCode));
    long cb = std::labs(static_cast<long>(lb->cellCode));
    long ka = ca - ca / 10000;
    long kb = cb - cb / 10000;
    if (ka != kb)
        return ka < kb ? -1 : 1;
    return lineReadingOrder(la, lb);
}

} // namespace kvl
