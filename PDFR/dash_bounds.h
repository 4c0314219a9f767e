// The dash pieces of a stroke that bound its outline, worked out from the pattern instead
// of piece by piece, for strokes dashed into more pieces than are looked at one by one.
//
// The stroker flattens a path, then dashes each subpath: the pattern starts afresh on each
// subpath and runs on across its segments (the closing segment of a closed one too); a
// piece that runs over a vertex is one subpath with a join there. On one segment every
// piece lies on the same line and is stroked alike, and so is every dot (an empty entry
// drawn with round caps), so the box of their outlines is the box of the outlines of the
// first and the last. Per segment this gives: the rest of the entry the segment starts in,
// cut as the dasher cuts it (on a subpath's first segment that is exactly the dasher's
// first piece, however thin); one piece from the start of the first piece that starts on
// the segment to the end of the last that ends on it; the piece that runs on into the
// next segment, on its own (it has a join where the others have caps); and the first and
// the last dot. Stroked undashed, that path has the box of the dashed outline. Where the
// phase runs on from segment to segment it is placed in one step, not by the dasher's
// running sums, so an entry boundary within their rounding of a vertex may fall on the
// other side of it.
#pragma once

#include <cstddef>
#include <vector>

#include "TK/tk_threa.h"

class SplashPath;

// The stroker's floor to an int: out of range (or not a number) it gives the least int.
int stroker_floor(double v);

// The path with its curves flattened as the stroker flattens them before it dashes: each
// curve halved until its control points lie within flatness of the chord's middle in
// device space (matrix), at most ten times. False when a stop ended it.
bool flatten_for_dashing(SplashPath& path, const double* matrix, double flatness, SplashPath& out,
                         const tk_stop_check& stop = tk_stop_check{});

// What a walk of that flattening meets, in user space.
class flatten_visitor {
public:
    virtual ~flatten_visitor() = default;
    virtual void move_to(double x, double y) = 0;
    // A part before it is flattened, by its four control points: a curve or one of its
    // halves (split: it is halved next), or a segment (its start twice, then its end
    // twice); true passes over it.
    virtual bool pass_over(const double* /*x*/, const double* /*y*/, bool /*split*/) { return false; }
    // A segment of the flattening from the last point.
    virtual void line_to(double x, double y) = 0;
    virtual void close() = 0;
    // Asked before each part: true ends the walk.
    virtual bool stop() { return false; }
};
// Walks the flattening of path; false when the visitor stopped it.
bool flatten_path(SplashPath& path, const double* matrix, double flatness, flatten_visitor& v);

class dash_bounds {
public:
    // lengths: none negative; round: round caps (empty entries are drawn as dots).
    dash_bounds(const std::vector<double>& lengths, double phase, bool round);
    bool made_for(const std::vector<double>& lengths, double phase, bool round) const
    {
        return lengths == lengths_ && phase == phase_ && round == round_;
    }
    // Whether the pattern draws anything: it has a length, the phase does not round to the
    // whole of it, and an on entry has a length or is drawn as a dot.
    bool draws() const { return valid_ && !none_ && !(kinds_[0].next.empty() && kinds_[1].next.empty()); }
    // The longest stretch of entries that draw nothing: a longer stretch of the path holds
    // some of a piece or a dot.
    double longest_gap() const { return longest_gap_; }
    // Appends to out the pieces of the flattened path that bound its dashing, to be
    // stroked undashed; false when the pattern has no length or the positions are beyond
    // what is counted exactly (the stroke is then not captured), or a stop ended it.
    bool add_bounds(SplashPath& flat, SplashPath& out, const tk_stop_check& stop = tk_stop_check{}) const;

    // Where the dasher is: entry k of two periods (on when k is even) and how much of it is left.
    struct place {
        size_t k;
        double left;
    };
    // Where the dasher is on a subpath, and whether a piece runs on into the next segment.
    struct cursor {
        place at;
        bool open;
    };
    // Whether the pattern can be placed (it has a length); nothing is drawn when it rounds
    // to the whole period.
    bool placed() const { return valid_; }
    bool none() const { return none_; }
    // Where each subpath starts.
    cursor subpath_start() const { return {first_, false}; }
    // Hands the pieces that bound the dashing of one segment of a flattened subpath to out
    // (move_to and line_to; a piece that runs on is continued by the next segment's);
    // false when the positions are beyond what is counted exactly.
    bool add_segment(cursor& at, double x0, double y0, double x1, double y1, flatten_visitor& out) const;

private:
    bool segment(double x0, double y0, double x1, double y1, double len, place& at, bool& open,
                 flatten_visitor& out) const;
    // Entries from each to the nearest drawn one at or after it, and at or before it;
    // empty when none is drawn.
    struct nearest {
        std::vector<size_t> next;
        std::vector<size_t> prev;
    };

    std::vector<double> lengths_; // the pattern it was made for
    double phase_ = 0;
    bool round_ = false;
    size_t entries_ = 0;         // two periods' worth
    std::vector<double> starts_; // of those entries, and their end
    nearest kinds_[2];           // pieces, dots
    place first_{0, 0};          // where each subpath starts
    bool valid_ = true;          // the pattern has a length
    bool none_ = false;          // the phase rounds to the whole period: nothing is drawn
    double longest_gap_ = 0;
};
