#include "PDFR/stroke_survey.h"

#include <splash/SplashPath.h>

#include <algorithm>
#include <cmath>

namespace {

// Parts walked between two looks at the stop request.
constexpr size_t poll_every = 4096;

class survey_walk : public flatten_visitor {
public:
    survey_walk(const stroke_survey::setup& s, stroke_survey& r) : s_(s), r_(r) {}

    void move_to(double x, double y) override
    {
        cx_ = x;
        cy_ = y;
    }

    bool pass_over(const double* x, const double* y, bool split) override
    {
        double dx0 = 0, dy0 = 0, dx1 = 0, dy1 = 0;
        device_box(x, y, &dx0, &dy0, &dx1, &dy1);
        if (!r_.finite || !s_.outside(s_.outside_data, dx0, dy0, dx1, dy1))
            return false;
        bool holds;
        if (s_.dash == nullptr) {
            holds = x[0] != x[3] || y[0] != y[3];
        } else {
            // twice the longest stretch that draws nothing, and room for the rounding of the
            // stroker's sums of segment lengths at these positions
            const double chord = std::hypot(x[3] - x[0], y[3] - y[0]);
            double size = 0;
            for (int k = 0; k < 4; ++k)
                size = std::max({size, std::fabs(x[k]), std::fabs(y[k])});
            holds = s_.dash->draws() && chord >= 2 * s_.dash->longest_gap() + 1e-9 * size;
        }
        if (!holds) {
            if (split)
                return false; // its halves may hold some
            ++r_.segments; // passed over, but flattened as it is
            r_.reach_box.add(dx0 - s_.reach, dy0 - s_.reach, dx1 + s_.reach, dy1 + s_.reach);
            move_to(x[3], y[3]);
            return true;
        }
        r_.outside = true;
        ++r_.pieces;
        if (s_.dash == nullptr) {
            // its ends are in the outline's box
            for (int k : {0, 3}) {
                double px, py;
                to_device(x[k], y[k], &px, &py);
                add_sure(px, py, px, py);
            }
        } else {
            add_sure(dx0, dy0, dx1, dy1);
        }
        r_.reach_box.add(dx0 - s_.reach, dy0 - s_.reach, dx1 + s_.reach, dy1 + s_.reach);
        move_to(x[3], y[3]);
        return true;
    }

    void line_to(double x, double y) override
    {
        ++r_.segments;
        double ax, ay, bx, by;
        to_device(cx_, cy_, &ax, &ay);
        to_device(x, y, &bx, &by);
        if (!(std::isfinite(ax) && std::isfinite(ay) && std::isfinite(bx) && std::isfinite(by)))
            r_.finite = false;
        if (s_.dash == nullptr && (x != cx_ || y != cy_)) {
            ++r_.pieces;
            add_sure(ax, ay, ax, ay);
            add_sure(bx, by, bx, by);
        }
        r_.reach_box.add(std::min(ax, bx) - s_.reach, std::min(ay, by) - s_.reach, std::max(ax, bx) + s_.reach,
                         std::max(ay, by) + s_.reach);
        move_to(x, y);
    }

    void close() override {}

    bool stop() override
    {
        if (r_.segments > s_.budget) {
            r_.over_budget = true;
            return true;
        }
        if (++polls_ % poll_every == 0 && s_.stop.requested()) {
            r_.stopped = true;
            return true;
        }
        return false;
    }

private:
    void to_device(double x, double y, double* tx, double* ty) const
    {
        const double* m = s_.matrix;
        *tx = x * m[0] + y * m[2] + m[4];
        *ty = x * m[1] + y * m[3] + m[5];
    }

    void device_box(const double* x, const double* y, double* x0, double* y0, double* x1, double* y1)
    {
        for (int k = 0; k < 4; ++k) {
            double px, py;
            to_device(x[k], y[k], &px, &py);
            if (!(std::isfinite(px) && std::isfinite(py)))
                r_.finite = false;
            *x0 = k == 0 ? px : std::min(*x0, px);
            *y0 = k == 0 ? py : std::min(*y0, py);
            *x1 = k == 0 ? px : std::max(*x1, px);
            *y1 = k == 0 ? py : std::max(*y1, py);
        }
    }

    // A region that holds some point of the outline.
    void add_sure(double x0, double y0, double x1, double y1)
    {
        px_box& e = r_.sure_edges;
        e.x0 = std::min(e.x0, x1);
        e.y0 = std::min(e.y0, y1);
        e.x1 = std::max(e.x1, x0);
        e.y1 = std::max(e.y1, y0);
    }

    const stroke_survey::setup& s_;
    stroke_survey& r_;
    double cx_ = 0, cy_ = 0;
    size_t polls_ = 0;
};

} // namespace

void px_box::add(double ax0, double ay0, double ax1, double ay1)
{
    if (!any) {
        x0 = ax0;
        y0 = ay0;
        x1 = ax1;
        y1 = ay1;
        any = true;
        return;
    }
    x0 = std::min(x0, ax0);
    y0 = std::min(y0, ay0);
    x1 = std::max(x1, ax1);
    y1 = std::max(y1, ay1);
}

px_box stroke_survey::sure_box() const
{
    px_box b;
    if (pieces == 0 || !finite)
        return b;
    // the least right edge up to the greatest left edge
    if (sure_edges.x0 <= sure_edges.x1 && sure_edges.y0 <= sure_edges.y1)
        b.add(sure_edges.x0, sure_edges.y0, sure_edges.x1, sure_edges.y1);
    return b;
}

stroke_survey survey_stroke(SplashPath& path, const stroke_survey::setup& setup)
{
    stroke_survey r;
    survey_walk walk(setup, r);
    double m[6];
    std::copy(setup.matrix, setup.matrix + 6, m);
    flatten_path(path, m, setup.flatness, walk);
    return r;
}
