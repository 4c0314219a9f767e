#include "PDFR/dash_bounds.h"

#include <splash/SplashMath.h>
#include <splash/SplashPath.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Splits: ten halvings at most, as the stroker's flattening.
constexpr int max_curve_depth = 10;
// Entry counts up to 2^52 are exact in a double.
constexpr double exact_count = 4503599627370496.0;

void to_device(const double* m, double x, double y, double* tx, double* ty)
{
    *tx = x * m[0] + y * m[2] + m[4];
    *ty = x * m[1] + y * m[3] + m[5];
}

double squared_distance(const double* m, double x, double y, double mx, double my)
{
    double tx, ty;
    to_device(m, x, y, &tx, &ty);
    const double dx = tx - mx, dy = ty - my;
    return dx * dx + dy * dy;
}

// One cubic curve from the current point: halved (de Casteljau) until both control
// points lie within the flatness of the chord's middle, in device space. Each part is
// offered to the visitor first; one it passes over is neither halved nor flattened.
bool flatten_curve(const double* m, double flatness2, double x0, double y0, double x1, double y1, double x2,
                   double y2, double x3, double y3, int depth, flatten_visitor& v)
{
    if (v.stop())
        return false;
    const double ux[4] = {x0, x1, x2, x3}, uy[4] = {y0, y1, y2, y3};
    const bool split = depth < max_curve_depth && [&] {
        double mx, my;
        to_device(m, (x0 + x3) * 0.5, (y0 + y3) * 0.5, &mx, &my);
        return squared_distance(m, x1, y1, mx, my) > flatness2 || squared_distance(m, x2, y2, mx, my) > flatness2;
    }();
    if (v.pass_over(ux, uy, split))
        return true;
    if (split) {
        const double ax = splashAvg(x0, x1), ay = splashAvg(y0, y1);
        const double hx = splashAvg(x1, x2), hy = splashAvg(y1, y2);
        const double dx = splashAvg(x2, x3), dy = splashAvg(y2, y3);
        const double bx = splashAvg(ax, hx), by = splashAvg(ay, hy);
        const double cx = splashAvg(hx, dx), cy = splashAvg(hy, dy);
        const double mx2 = splashAvg(bx, cx), my2 = splashAvg(by, cy);
        return flatten_curve(m, flatness2, x0, y0, ax, ay, bx, by, mx2, my2, depth + 1, v) &&
               flatten_curve(m, flatness2, mx2, my2, cx, cy, dx, dy, x3, y3, depth + 1, v);
    }
    v.line_to(x3, y3);
    return true;
}

// Parts or segments between two looks at the stop request.
constexpr size_t poll_every = 4096;

// Appends the flattening to a path.
class path_builder : public flatten_visitor {
public:
    path_builder(SplashPath& out, const tk_stop_check& stop) : out_(out), stop_(stop) {}
    void move_to(double x, double y) override { out_.moveTo(x, y); }
    void line_to(double x, double y) override { out_.lineTo(x, y); }
    void close() override { out_.close(); }
    bool stop() override { return ++polls_ % poll_every == 0 && stop_.requested(); }

private:
    SplashPath& out_;
    tk_stop_check stop_;
    size_t polls_ = 0;
};

} // namespace

bool flatten_path(SplashPath& path, const double* matrix, double flatness, flatten_visitor& v)
{
    const double flatness2 = flatness * flatness;
    const int n = path.getLength();
    int i = 0;
    while (i < n) {
        double x, y;
        unsigned char f;
        path.getPoint(i, &x, &y, &f);
        if (f & splashPathFirst) {
            v.move_to(x, y);
            ++i;
            continue;
        }
        double x0, y0;
        unsigned char g;
        path.getPoint(i - 1, &x0, &y0, &g);
        if ((f & splashPathCurve) && i + 2 < n) {
            double x2, y2, x3, y3;
            path.getPoint(i + 1, &x2, &y2, &g);
            path.getPoint(i + 2, &x3, &y3, &g);
            if (!flatten_curve(matrix, flatness2, x0, y0, x, y, x2, y2, x3, y3, 0, v))
                return false;
            i += 3;
        } else {
            if (v.stop())
                return false;
            const double ux[4] = {x0, x0, x, x}, uy[4] = {y0, y0, y, y};
            if (!v.pass_over(ux, uy, false))
                v.line_to(x, y);
            ++i;
        }
        double lx, ly;
        unsigned char lf;
        path.getPoint(i - 1, &lx, &ly, &lf);
        if (lf & splashPathClosed)
            v.close();
    }
    return true;
}

bool flatten_for_dashing(SplashPath& path, const double* matrix, double flatness, SplashPath& out, const tk_stop_check& stop)
{
    path_builder b(out, stop);
    return flatten_path(path, matrix, flatness, b);
}

int stroker_floor(double v)
{
    const double f = std::floor(v);
    if (f >= -2147483648.0 && f < 2147483648.0)
        return static_cast<int>(f);
    return std::numeric_limits<int>::min(); // what the processor's conversion gives
}

dash_bounds::dash_bounds(const std::vector<double>& lengths, double phase, bool round)
    : lengths_(lengths), phase_(phase), round_(round)
{
    const size_t n = lengths.size();
    entries_ = 2 * n;
    starts_.assign(entries_ + 1, 0);
    for (size_t k = 0; k < entries_; ++k)
        starts_[k + 1] = starts_[k] + lengths[k % n];
    const double period = n > 0 ? starts_[n] : 0;
    // The phase as the dasher places it: less the whole periods it holds, counted as an int
    // the way the stroker converts them (a count beyond an int comes out as the least int),
    // then past the entries it covers; a phase that rounds to the whole period draws nothing.
    if (!(period > 0) || !std::isfinite(starts_[entries_])) {
        valid_ = false;
        return;
    }
    double ph = phase - static_cast<double>(stroker_floor(phase / period)) * period;
    size_t idx = 0;
    if (ph > 0) {
        while (idx < n && ph >= lengths[idx]) {
            ph -= lengths[idx];
            ++idx;
        }
        if (idx == n) {
            none_ = true;
            return;
        }
    }
    // The dasher turns on and off at each entry from the first, so entry idx is on when
    // idx is even, as in two periods.
    first_ = {idx, lengths[idx] - ph};
    // On entries are drawn: pieces, and dots for the empty ones with round caps.
    for (int kind = 0; kind < 2; ++kind) {
        if (kind == 1 && !round)
            break;
        std::vector<bool> drawn(entries_);
        bool any = false;
        for (size_t k = 0; k < entries_; k += 2) {
            drawn[k] = kind == 0 ? lengths[k % n] > 0 : lengths[k % n] == 0;
            any = any || drawn[k];
        }
        if (!any)
            continue;
        // Twice round: the first round finds the drawn entries across the wrap.
        nearest& t = kinds_[kind];
        t.next.assign(entries_, 0);
        t.prev.assign(entries_, 0);
        size_t gap = 0;
        for (size_t i = 2 * entries_; i-- > 0;) {
            gap = drawn[i % entries_] ? 0 : gap + 1;
            if (i < entries_)
                t.next[i] = gap;
        }
        gap = 0;
        for (size_t i = 0; i < 2 * entries_; ++i) {
            gap = drawn[i % entries_] ? 0 : gap + 1;
            if (i >= entries_)
                t.prev[i - entries_] = gap;
        }
    }
    // The longest run of entries that draw nothing, across the wrap too.
    if (!draws())
        return;
    double run = 0;
    for (size_t i = 0; i < 2 * entries_; ++i) {
        const size_t k = i % entries_;
        const bool drawn = k % 2 == 0 && (lengths[k % n] > 0 || (round && lengths[k % n] == 0));
        run = drawn ? 0 : run + lengths[k % n];
        longest_gap_ = std::max(longest_gap_, run);
    }
}

bool dash_bounds::add_bounds(SplashPath& flat, SplashPath& out, const tk_stop_check& stop) const
{
    if (!valid_)
        return false;
    if (none_)
        return true;
    path_builder sink(out, tk_stop_check{});
    const int n = flat.getLength();
    int i = 0;
    while (i < n) {
        // The subpath i..j; the pattern starts afresh on it.
        int j = i;
        for (;;) {
            double x, y;
            unsigned char f;
            flat.getPoint(j, &x, &y, &f);
            if (j == n - 1 || (f & splashPathLast))
                break;
            ++j;
        }
        cursor at = subpath_start();
        for (int p = i; p < j; ++p) {
            if (p % static_cast<int>(poll_every) == 0 && stop.requested())
                return false;
            double x0, y0, x1, y1;
            unsigned char f;
            flat.getPoint(p, &x0, &y0, &f);
            flat.getPoint(p + 1, &x1, &y1, &f);
            if (!add_segment(at, x0, y0, x1, y1, sink))
                return false;
        }
        i = j + 1;
    }
    return true;
}

bool dash_bounds::add_segment(cursor& at, double x0, double y0, double x1, double y1, flatten_visitor& out) const
{
    const double len = splashDist(x0, y0, x1, y1);
    if (!(len > 0))
        return true; // no length: the dasher passes over it
    return std::isfinite(len) && segment(x0, y0, x1, y1, len, at.at, at.open, out);
}

bool dash_bounds::segment(double x0, double y0, double x1, double y1, double len, place& at, bool& open,
                          flatten_visitor& out) const
{
    const size_t n = lengths_.size();
    const auto point = [&](double t, double* x, double* y) {
        if (t >= len) {
            *x = x1;
            *y = y1;
        } else {
            *x = x0 + (t / len) * (x1 - x0);
            *y = y0 + (t / len) * (y1 - y0);
        }
    };
    const auto next_entry = [&]() {
        at.k = (at.k + 1) % entries_;
        at.left = lengths_[at.k % n];
        open = false;
    };
    // The entry it is in covers the segment.
    if (at.left >= len) {
        if (at.k % 2 == 0) {
            if (!open)
                out.move_to(x0, y0);
            out.line_to(x1, y1);
            open = true;
        }
        at.left -= len;
        if (at.left <= 0)
            next_entry();
        return true;
    }
    // The rest of that entry, as the dasher cuts it. A piece that runs on is not given a
    // segment without length here: where the dasher's running sums put the cut is not
    // known to the last bit, and a segment without length would turn its end cap.
    if (at.k % 2 == 0) {
        double x, y;
        point(at.left, &x, &y);
        if (!open)
            out.move_to(x0, y0);
        if (!open || x != x0 || y != y0)
            out.line_to(x, y);
    }
    open = false;
    const double cut = at.left;
    const size_t k1 = (at.k + 1) % entries_;
    const double round = starts_[entries_];
    const double u0 = starts_[k1]; // where the segment's remainder starts, on the scale of starts_
    const double u_end = u0 + (len - cut);
    const double count = static_cast<double>(entries_);

    // The last entry to start before the end, entry k_end of round q_end: it covers the end.
    double q_end = std::floor(u_end / round);
    if (!((std::fabs(q_end) + 2) * count < exact_count))
        return false;
    double r = u_end - q_end * round;
    if (r <= 0) {
        q_end -= 1;
        r += round;
    } else if (r > round) {
        q_end += 1;
        r -= round;
    }
    size_t k_end =
        static_cast<size_t>(std::lower_bound(starts_.begin(), starts_.begin() + entries_, r) - starts_.begin());
    k_end = k_end > 0 ? k_end - 1 : 0;
    if (q_end * count + k_end < k1) {
        // a remainder below the scale's resolution: the next entry with a length covers it
        q_end = 0;
        k_end = k1;
        while (lengths_[k_end % n] == 0) {
            if (++k_end == entries_) {
                k_end = 0;
                q_end += 1;
            }
        }
        r = u_end - q_end * round;
    }
    const double lin_end = q_end * count + static_cast<double>(k_end);
    const double left = starts_[k_end + 1] - r;
    // Where entry k of round q starts on the segment.
    const auto at_t = [&](double q, size_t k) { return cut + (q * round + starts_[k] - u0); };

    // Dots first: a piece that runs on must be the last subpath.
    for (int kind = 1; kind >= 0; --kind) {
        const nearest& t = kinds_[kind];
        if (t.next.empty())
            continue;
        const size_t f = k1 + t.next[k1];
        const double qf = f >= entries_ ? 1 : 0;
        const size_t kf = f % entries_;
        if (qf * count + static_cast<double>(kf) > lin_end)
            continue; // none starts on this segment
        double qg = q_end;
        size_t kg = k_end;
        if (t.prev[kg] > kg) {
            qg -= 1;
            kg = kg + entries_ - t.prev[kg];
        } else {
            kg -= t.prev[kg];
        }
        double xa, ya, xb, yb;
        point(at_t(qf, kf), &xa, &ya);
        if (kind == 1) {
            out.move_to(xa, ya);
            out.line_to(xa, ya);
            if (qg * count + kg > qf * count + kf) {
                point(at_t(qg, kg), &xb, &yb);
                out.move_to(xb, yb);
                out.line_to(xb, yb);
            }
            continue;
        }
        const bool runs_on = qg == q_end && kg == k_end && left > 0;
        if (runs_on) {
            // The piece that runs on has a join where the one before it has an end cap:
            // that one ends the others, and it starts on its own.
            double qh = qg;
            size_t kh = kg;
            if (kh == 0) {
                qh -= 1;
                kh = entries_;
            }
            --kh;
            if (t.prev[kh] > kh) {
                qh -= 1;
                kh = kh + entries_ - t.prev[kh];
            } else {
                kh -= t.prev[kh];
            }
            if (qh * count + kh >= qf * count + kf) {
                point(at_t(qh, kh + 1), &xb, &yb);
                out.move_to(xa, ya);
                out.line_to(xb, yb);
                point(at_t(qg, kg), &xa, &ya);
            }
            if (xa == x1 && ya == y1)
                continue; // it starts on the next segment, as far as the positions tell
            out.move_to(xa, ya);
            out.line_to(x1, y1);
            open = true;
            continue;
        }
        out.move_to(xa, ya);
        if (qg == q_end && kg == k_end) {
            out.line_to(x1, y1);
        } else {
            point(at_t(qg, kg + 1), &xb, &yb);
            out.line_to(xb, yb);
        }
    }
    at.k = k_end;
    at.left = left;
    if (at.left <= 0)
        next_entry();
    return true;
}
