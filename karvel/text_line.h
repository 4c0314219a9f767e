// One line of words, and the interval and sort helpers of the layout.
#pragma once

#include <CharTypes.h>

#include "PDFR/pdf_overlap.h"

class UnicodeMap;

namespace kvl {

class TextWord;
class TextBlock;

class TextLine {
public:
    TextLine(TextBlock* block, int rot, double base);
    ~TextLine(); // deletes its words

    TextLine(const TextLine&) = delete;
    TextLine& operator=(const TextLine&) = delete;

    void addWord(TextWord* word);
    // Spaces, merges of touching words, and the text, edge and column arrays.
    void coalesce(const UnicodeMap* uMap);

    // Average font size of the words, weighted by their lengths.
    double averageFontSize() const;
    // Gap from this line to a following one along the rotation.
    double primaryDelta(const TextLine* line) const;

    double xMin, xMax;
    double base;
    TextBlock* block;
    int rot;
    double yMin, yMax;
    TextWord* words;
    TextWord* lastWord;
    Unicode* text;
    double* edge;
    int* col;
    int len;
    int convertedLen;
    int hyphenated;
    TextLine* next;
    int groupId;
    int rowOffset; // the page writer reuses it as the column index
    int cellCode;
    // averageFontSize() when coalesce ended (the block's layout compares by it).
    double coalescedSize = 0;
};

using ::overlapRatio;
using ::overlapRatioToLonger;

// qsort comparisons over arrays of TextLine*; each returns -1, 0 or 1.
int cmpLinePrimary(const void* a, const void* b);
int cmpLineVertical(const void* a, const void* b);
int cmpLineReading(const void* a, const void* b);   // vertical, then primary
int cmpLineColumn(const void* a, const void* b);    // primary, then vertical
int cmpLineCell(const void* a, const void* b);      // cell key, then reading order

// The same orders on two lines.
int lineReadingOrder(const TextLine* a, const TextLine* b);
int lineVerticalOrder(const TextLine* a, const TextLine* b);
// The vertical order with the lines' average font sizes given.
int lineVerticalOrder(const TextLine* a, double sizeA, const TextLine* b, double sizeB);
int linePrimaryOrder(const TextLine* a, const TextLine* b);

} // namespace kvl
