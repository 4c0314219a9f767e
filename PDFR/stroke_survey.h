// What the outline of a wide stroke surely covers and how far it can reach, worked out
// part by part on the stroker's flattening without outlining anything. A part (a segment,
// a curve or one of its halves) whose control points' box, grown by the farthest the
// outline reaches from the path, lies wholly outside the clip is passed over unflattened
// once it surely holds some of the outline: its outline is then outside the clip, so the
// whole outline is not inside it and nothing of the stroke can be captured.
// - Undashed, a part holds outline when its ends differ: the outline of a segment of some
//   length has the segment's ends in its box.
// - Dashed, a part holds outline when the pattern draws something and the part's chord
//   (its flattening is no shorter) is at least twice the longest stretch of entries that
//   draw nothing (off ones, and empty on ones unless drawn as dots; on and off swap from
//   one period to the next when the pattern's length is odd): some of a piece, or a dot,
//   lies on it.
// Parts that may reach the clip, and those outside it that hold no sure outline, are
// flattened (and counted) as the stroker flattens them.
#pragma once

#include <cstddef>
#include <limits>

#include "PDFR/dash_bounds.h"

class SplashPath;

// A box of px; empty until something is added. The first box added is taken as it is,
// later ones grow it (a position that is not a number is kept only when it comes first).
struct px_box {
    double x0 = std::numeric_limits<double>::infinity();
    double y0 = std::numeric_limits<double>::infinity();
    double x1 = -std::numeric_limits<double>::infinity();
    double y1 = -std::numeric_limits<double>::infinity();
    bool any = false;
    bool empty() const { return !any; }
    void add(double ax0, double ay0, double ax1, double ay1);
};

struct stroke_survey {
    // What is asked of the walk.
    struct setup {
        const double* matrix = nullptr; // user space to px
        double flatness = 1;            // the stroker's, px
        double reach = 0;               // px: the farthest the outline reaches from the path
        const dash_bounds* dash = nullptr; // the pattern; null: undashed
        size_t budget = 0;              // flattened segments looked at before the walk ends
        // Whether a box of px grown by reach lies wholly outside the clip.
        bool (*outside)(const void* data, double x0, double y0, double x1, double y1) = nullptr;
        const void* outside_data = nullptr;
        tk_stop_check stop; // asked now and then
    };

    bool stopped = false;     // a stop was requested
    bool over_budget = false; // more flattened segments than the budget: the walk ended there
    bool outside = false;     // some of the outline surely lies outside the clip
    bool finite = true;       // every position looked at is a number
    size_t segments = 0;      // flattened segments looked at
    size_t pieces = 0;        // parts that surely hold a piece of outline each
    // Each part that surely holds outline has some of it within a region (a point, or its
    // control points' box): x0 is the least right edge of those regions and x1 the greatest
    // left edge, so the outline's box holds [x0, x1] when x0 <= x1 (px, likewise y).
    px_box sure_edges;
    px_box reach_box; // holds the whole outline (when not over budget)

    // The box the outline's box surely holds; empty when the sure parts do not give one.
    px_box sure_box() const;
};

// Walks the stroker's flattening of path (user space) under setup.
stroke_survey survey_stroke(SplashPath& path, const stroke_survey::setup& setup);
