// Bounds of a stretch of a block's lines kept apart by base line and font size: one cell
// for the lines of a band of base lines and a step of sizes. A line being placed that
// starts after every line of the stretch comes after a line whose base line is not past
// its own, and after one whose base line is past its own only when the two are level;
// the bounds of one cell can show that for all its lines even where the stretch mixes
// sizes and base lines, which the bounds of the whole stretch cannot.
#pragma once

#include <cstddef>
#include <vector>

namespace kvl {

class TextLine;

// Whether the vertical order's size ratio (the smaller size over the larger) of a line of
// the given size with each line of sizes in [sizeMin, sizeMax] is above r (at least r when
// orEqual); the quotients round monotonically, so the extreme sizes bound every line's.
bool sizes_within(double sizeMin, double sizeMax, double size, double r, bool orEqual = false);

class LevelCells {
public:
    // The line being placed: its base line, extent across (in order) and average font size.
    struct probe {
        double base, yMin, yMax, size;
    };

    // Takes the line in, of the given (coalesced) size; width is the band of base lines
    // one cell holds. Beyond maxCells cells the cells prove nothing.
    void take(const TextLine* line, double size, double width);
    void take(const LevelCells& other);

    // True when, for every line l of the cells, l's base line is not past the line's or the
    // vertical order of the line and l is 0. The lines must be of rotation 0 or 2 and every
    // value of theirs and the line's a finite number, the sizes not negative.
    bool levelOrAbove(const probe& line) const;

    static constexpr size_t maxCells = 48;

private:
    struct cell {
        double band, step; // the cell's keys: floor(base / width), floor(log(size) * 8.5)
        double sizeMin, sizeMax, baseMax;
        double loMax, hiMin; // the latest top and the earliest bottom of the extents
        // Per line, lo + t * length (plus a margin that covers rounding) and hi - t * length
        // (less the margin), for t = 0.7 and 0.9: the largest and the least of them.
        double low7, high7, low9, high9;
        void take(const cell& o);
    };
    bool level(const cell& c, const probe& line) const;
    void add(const cell& c);

    std::vector<cell> cells_;
    bool full_ = false;
};

} // namespace kvl
