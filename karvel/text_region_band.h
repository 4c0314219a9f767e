// The page's horizontal lines in reading order as the region builder walks them: the band
// of a line (the lines from it on that share its text row) and the row offsets that the
// band walks raise, both worked out a stretch of like lines at a time, so that many lines
// on one base line or at one spot cost about log n each instead of n.
#pragma once

#include <cstddef>
#include <vector>

namespace kvl {

class TextLine;

// Whether the two are the same bit for bit (a NaN is the same as itself).
bool same_bits(double a, double b);

class region_bands {
public:
    // lines in reading order; sizes[j]: the font size of line j, 7.0 for a line without words.
    region_bands(const std::vector<TextLine*>& lines, const std::vector<double>& sizes);

    // End (exclusive) of the band of line i: the walk from i stops at the first line M
    // that lies apart from line i's row or whose left edge lies 0.5 left of line i's.
    size_t end(size_t i) const;
    // Raises the row offset of every line M of [i, end) to trunc(|M's base - line i's base|
    // + 0.45) when that is larger. The raise is kept pending until settle.
    void raiseOffsets(size_t i, size_t end);
    // Writes the pending raises into line j's row offset (before the line is placed, which
    // reads and clears the offset).
    void settle(size_t j);
    // The same for every line.
    void settleAll();

private:
    // The first j of [a, b) with x > xMin of line j + 0.5, or b.
    size_t firstLeftOf(size_t a, size_t b, double x) const;
    size_t firstLeftOf(size_t node, size_t lo, size_t hi, size_t a, size_t b, double x) const;
    void raise(size_t a, size_t b, int value);
    void push(size_t node);

    const std::vector<TextLine*>& lines_;
    const std::vector<double>& sizes_;
    // End of the stretch of lines from j on with the same base line, vertical extent and
    // size as line j: the apart test of a band gives the same for all of them.
    std::vector<size_t> likeEnd_;
    size_t leaves_ = 1;
    // Trees over the lines (leaf j at leaves_ + j): the smallest xMin + 0.5 below a node
    // (a NaN counts as infinite: it stops no walk), and the raise pending for all lines
    // below a node.
    std::vector<double> leftMin_;
    std::vector<int> raise_;
};

} // namespace kvl
