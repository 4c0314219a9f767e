// A group of lines of one rotation, built from its own word pool.
#pragma once

#include <cstddef>

#include "TK/tk_threa.h"

class UnicodeMap;

namespace kvl {

class LineRuns;
class TextPage;
class TextPool;
class TextLine;
class TextWord;

class TextBlock {
public:
    TextBlock(TextPage* page, int rot);
    ~TextBlock(); // deletes its pool and lines

    TextBlock(const TextBlock&) = delete;
    TextBlock& operator=(const TextBlock&) = delete;

    // Widens the extent to the word (takes the word's box when empty).
    void updateBounds(const TextWord* word);
    // Drops duplicated words, builds and orders the lines, numbers the text columns.
    // Ends early, with the block unfinished, once the page's stop check says stop.
    void coalesce(const UnicodeMap* uMap);

    bool stopRequested() const;

    // Average font size of the first line (0 without lines).
    double fontSize() const;
    // How far the block c lies after this one across the lines.
    double secondaryDelta(const TextBlock* c) const
    {
        switch (rot) {
        case 0: return c->yMin - yMax;
        case 1: return xMin - c->xMax;
        case 2: return yMin - c->yMax;
        default: return c->xMin - xMax;
        }
    }
    // True when c comes before this block along c's rotation.
    bool isBeforeByPrimary(const TextBlock* c) const
    {
        switch (c->rot) {
        case 0: return c->xMin < xMin;
        case 1: return c->yMin < yMin;
        case 2: return c->xMax > xMax;
        default: return c->yMax > yMax;
        }
    }
    // True when c lies below this block within its free space (by the page's rotation).
    bool isBelow(const TextBlock* c, int primaryRot) const
    {
        switch (primaryRot) {
        case 0: return c->xMin >= priMin && c->xMax <= priMax && c->yMin > yMin;
        case 1: return c->yMin >= priMin && c->yMax <= priMax && c->xMax < xMax;
        case 2: return c->xMin >= priMin && c->xMax <= priMax && c->yMax < yMax;
        default: return c->yMin >= priMin && c->yMax <= priMax && c->xMin > xMin;
        }
    }

    TextPage* page;
    int rot;
    double xMin, xMax, yMin, yMax;
    double priMin, priMax;
    TextPool* pool;
    TextLine* lines;
    TextLine* curLine;
    int nLines;
    int charCount;
    int col;
    int nColumns;
    TextBlock* next;
    TextBlock* stackNext;
    // Words given to the block (through updateBounds).
    int nWords = 0;

    // From this many words on, duplicates and lines are found through arrays of the
    // block's words rather than by walking its buckets for every word.
    static constexpr int minIndexedWords = 256;
    // Lines built between two looks at the stop check, or steps of placing them.
    static constexpr int stopEvery = 1024;
    static constexpr size_t stopWork = 65536;

    // Off (tests only): the lines are built by scanning the buckets, placed and their
    // columns numbered by walking every earlier line, as the faster ways must match.
    static inline bool directLines = false;

private:
    void removeDuplicates();
    // The same, walking every later word in range for each word (used for small blocks
    // and when a word's primary position is not a finite number).
    void removeDuplicatesDirect();
    void handOnGroups();
    void buildLines(const UnicodeMap* uMap);
    // The same, walking the buckets from their heads (used for small blocks and when a
    // word's primary position is not a finite number, so that the buckets are not in an
    // order).
    void buildLinesDirect(const UnicodeMap* uMap);
    // Ends a line: files it, builds its text and counts it.
    void finishLine(TextLine* line, const UnicodeMap* uMap, LineRuns& runs);
    void insertLine(TextLine* line, LineRuns& runs);
    void numberColumns();
};

// Start and end of a line or block along the reading direction of rotation rot, both
// ascending (the order of linePrimaryOrder for lines).
template <class Box>
double primaryStart(const Box* b, int rot)
{
    switch (rot) {
    case 0: return b->xMin;
    case 1: return b->yMin;
    case 2: return -b->xMax;
    default: return -b->yMax;
    }
}

template <class Box>
double primaryEnd(const Box* b, int rot)
{
    switch (rot) {
    case 0: return b->xMax;
    case 1: return b->yMax;
    case 2: return -b->xMin;
    default: return -b->yMin;
    }
}

// Adds to each line's columns the first text column it may take: past every earlier line
// it lies wholly after, and past the glyphs of the others it starts after. The lines are
// in column order (cmpLineColumn) and of the rotation rot.
// A stop leaves the columns unnumbered.
void numberLineColumns(TextLine** lines, int n, int rot, const tk_stop_check& stop = tk_stop_check{});
// The same, comparing every pair; numberLineColumns falls back to it when the extents
// are not finite or not in order.
void numberLineColumnsDirect(TextLine** lines, int n, int rot);

// qsort comparisons over arrays of TextBlock*, by the page's primary rotation.
int cmpBlockXY(int primaryRot, const TextBlock* a, const TextBlock* b);
int cmpBlockYX(int primaryRot, const TextBlock* a, const TextBlock* b);

} // namespace kvl
