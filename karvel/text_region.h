// Page regions: runs of side-by-side columns, stretches of text and ruled tables, built
// from the page's lines before the page is written.
#pragma once

#include <memory>
#include <set>
#include <vector>

#include "TK/tk_threa.h"

namespace kvl {

class TextBlock;
class TextLine;
class TextRegion;

// Region number of the region that holds the page's vertical text; it is never written.
constexpr int region_skip_marker = 100000;

// Font size of a line for the regions and the writer: the mean of its words' sizes
// weighted by their lengths, or fallback when that is 0.
double region_line_size(const TextLine* line, double fallback);

class TextColumn {
public:
    // A column holding the one line.
    TextColumn(TextLine* line, double pageFontSize);
    // An empty column of a ruled table.
    TextColumn(double xMin, double xMax, double top, double bottom);
    ~TextColumn();

    TextColumn(const TextColumn&) = delete;
    TextColumn& operator=(const TextColumn&) = delete;

    // Adds the line: widens the extent (by the line's table cell too) and counts offsets.
    void addLine(TextLine* line);
    // Widens the extent by a region inside the column (base lines only when it has columns).
    void widen(const TextRegion& region);

    double xMin, xMax;
    double baseFirst, baseLast;
    double yMin, yMax;
    int groupId = 0;
    int offsetLines = 0;
    int rot = 0;
    TextBlock* block = nullptr;
    TextRegion* pending = nullptr; // owned, unless it is also in nested (a ruled table)
    bool pendingInNested = false;
    std::vector<std::unique_ptr<TextRegion>> nested;
    std::vector<TextLine*> lines;

    // Kept by the region builder while it builds: the first linesInSet lines stand in
    // the order of the multiset, not in their own (see the builder's sortByBase).
    struct base_less {
        bool operator()(const TextLine* a, const TextLine* b) const;
    };
    std::multiset<TextLine*, base_less> linesByBase;
    size_t linesInSet = 0;
    bool linesUnordered = false;
};

class TextRegion {
public:
    TextRegion(int number, int level) : number(number), level(level) {}
    ~TextRegion();

    TextRegion(const TextRegion&) = delete;
    TextRegion& operator=(const TextRegion&) = delete;

    // Appends the column and takes in its extent.
    void addColumn(std::unique_ptr<TextColumn> column);
    // Takes in the extent of one of its columns.
    void widen(const TextColumn& column);
    // Recomputes the extents and maxLines from the columns.
    void recomputeExtents();
    // Sorts the columns along their rotation.
    void sortColumns();
    int columnCount() const { return static_cast<int>(columns.size()); }
    int lineCount() const;

    // 0: write the region as columns; otherwise its number of lines (+0.4 in one case).
    double classify(double pageFontSize) const;

    int number;
    int rot = 0;
    int level;
    std::vector<std::unique_ptr<TextColumn>> columns;
    int maxLines = 0;
    int weight = 0;
    double baseMin = 0, baseMax = 0, yMin = 0, yMax = 0, xMin = 0, xMax = 0;
    // Extents taken from a ruled table's box before any column was added.
    bool boxSet = false;
};

// The page's regions, in the order they were put into the list.
class TextRegionList {
public:
    // Fills the list from the page's block array. pageFontSize stands in for the size of
    // a line whose words have no size.
    void PageRegionsBuilding(TextBlock** blocks, int nBlocks, double pageFontSize);

    // On (tests only): the regions are built the direct way that the quicker one must
    // match: every band walked line by line for every test, the columns' lines sorted at
    // every turn.
    static inline bool directBuilding = false;

    std::vector<std::unique_ptr<TextRegion>> regions;
    // Looked at after every so many steps of work: once a stop is requested the building
    // ends early, with the regions of the lines placed so far.
    tk_stop_check stop;
};

} // namespace kvl
