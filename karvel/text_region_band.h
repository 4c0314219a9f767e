// The page's horizontal lines in reading order as the region builder walks them: the band
// of a line (the lines from it on that share its text row) and the row offsets that the
// band walks raise. A long band is found in a tree whose nodes hold bounds of the lines'
// left edges, base lines and vertical extents, and passes over every node whose bounds
// prove that none of its lines ends the walk; a long walk's raises are kept as the least
// and the largest base line of the walks that reached a line. So piled lines cost about
// log n each, whether or not they are alike.
#pragma once

#include <cstddef>
#include <cstdint>
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
    size_t end(size_t i);
    // Raises the row offset of every line M of [i, end) to trunc(|M's base - line i's base|
    // + 0.45) when that is larger. Raises of a long walk are kept pending until settle.
    void raiseOffsets(size_t i, size_t end);
    // Writes the pending raises into line j's row offset (before the line is placed, which
    // reads and clears the offset).
    void settle(size_t j);
    // The same for every line.
    void settleAll();

    // Steps taken so far (lines and tree nodes looked at), for the stop polls.
    size_t work() const { return work_; }

private:
    // What a walk compares the lines with: line i's base line, left edge and vertical extent.
    struct walk {
        double base, left, yMin, yMax;
        int64_t baseKey;
        bool baseIsNaN;
        enum { noExtent, point, interval } extent;
        double lo, hi, length; // the extent in order, when an interval of numbers
    };
    // Bounds of the lines below a tree node.
    struct bounds {
        double leftMin;          // least xMin + 0.5 (a NaN counts as infinite: it stops nothing)
        int64_t closeLo, closeHi; // walk base lines (as keys) near every line's base line
        bool oddExtent;          // a line whose extent is not an interval of numbers
        bool nanExtent;          // a line whose yMin or yMax is no number
        double loMin, loMax, hiMin, hiMax, lengthMax; // of the other lines' extents in order
        double yMinMax, yMaxMin; // largest yMin and least yMax of the lines of numbers
        double baseMin, baseMax; // of the base lines that are numbers
    };

    walk walkFrom(size_t i) const;
    // Whether line j ends the walk, compared exactly as the line-by-line walk does.
    bool stops(const walk& w, size_t j) const;
    // Whether the bounds prove that no line below the node ends the walk.
    bool passes(const walk& w, const bounds& b) const;
    size_t firstStop(const walk& w, size_t node, size_t lo, size_t hi, size_t from);
    void buildTree();
    void leafBounds(size_t j, bounds& b) const;
    static void join(bounds& to, const bounds& a, const bounds& b);
    void baseRange(size_t node, size_t lo, size_t hi, size_t a, size_t b, double& least, double& most);
    void raiseLine(size_t j, double base);
    void keep(size_t a, size_t b, double base);
    void push(size_t node);
    void apply(size_t j);

    const std::vector<TextLine*>& lines_;
    const std::vector<double>& sizes_;
    size_t leaves_ = 1;
    size_t work_ = 0;
    // Built at the first long walk (leaf j at leaves_ + j).
    std::vector<bounds> tree_;
    // Least and largest base line of the long walks that reached the lines below a node
    // since they were last settled (+inf and -inf: none).
    std::vector<double> keptMin_, keptMax_;
};

} // namespace kvl
