#include "karvel/text_region_band.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "karvel/text_line.h"

namespace kvl {

bool same_bits(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();

// Walks are taken line by line for this many lines before the tree is asked.
constexpr size_t shortWalk = 16;
// Lines under one leaf of the tree.
constexpr size_t bucket = 8;
// A walk whose band holds base lines this far from its own raises line by line: further
// apart, a raise could be too large for an int, which raises nothing, so the largest
// distance no longer gives the largest raise.
constexpr double farApart = 1073741824.0; // 2^30

// Doubles other than NaN as integers in the same order (-0 and 0 alike).
int64_t order_key(double x)
{
    uint64_t bits = 0;
    std::memcpy(&bits, &x, sizeof x);
    const int64_t magnitude = static_cast<int64_t>(bits & 0x7fffffffffffffffULL);
    return (bits >> 63) != 0 ? -magnitude : magnitude;
}

double from_key(int64_t key)
{
    const uint64_t bits = key < 0 ? (static_cast<uint64_t>(-key) | 0x8000000000000000ULL) : static_cast<uint64_t>(key);
    double x = 0;
    std::memcpy(&x, &bits, sizeof x);
    return x;
}

const int64_t keyMin = order_key(-inf);
const int64_t keyMax = order_key(inf);

// The least key of [lo, hi] from which on `test` holds (it must hold at hi and, once it
// holds, hold for every larger key).
template <class Test>
int64_t first_holding(int64_t lo, int64_t hi, Test test)
{
    while (lo < hi) {
        const int64_t mid = lo + static_cast<int64_t>((static_cast<uint64_t>(hi) - static_cast<uint64_t>(lo)) / 2);
        if (test(from_key(mid)))
            hi = mid;
        else
            lo = mid + 1;
    }
    return lo;
}

} // namespace

region_bands::region_bands(const std::vector<TextLine*>& lines, const std::vector<double>& sizes)
    : lines_(lines), sizes_(sizes)
{
    const size_t buckets = (lines.size() + bucket - 1) / bucket;
    while (leaves_ < buckets)
        leaves_ *= 2;
}

region_bands::walk region_bands::walkFrom(size_t i) const
{
    const TextLine* l = lines_[i];
    walk w{};
    w.base = l->base;
    w.left = l->xMin;
    w.yMin = l->yMin;
    w.yMax = l->yMax;
    w.baseIsNaN = std::isnan(w.base);
    w.baseKey = w.baseIsNaN ? 0 : order_key(w.base);
    if (w.yMin == w.yMax) {
        w.extent = walk::point;
    } else if (std::isfinite(w.yMin) && std::isfinite(w.yMax)) {
        w.extent = walk::interval;
        w.lo = std::min(w.yMin, w.yMax);
        w.hi = std::max(w.yMin, w.yMax);
        w.length = w.hi - w.lo;
    } else {
        w.extent = walk::noExtent;
    }
    return w;
}

bool region_bands::stops(const walk& w, size_t j) const
{
    const TextLine* m = lines_[j];
    const bool apart = std::fabs(m->base - w.base) > 0.7 * sizes_[j] &&
                       overlapRatio(w.yMin, w.yMax, m->yMin, m->yMax) < 0.4;
    return apart || w.left > m->xMin + 0.5;
}

// Every comparison below is one that the bounds can only make fail: a node passed over
// holds no line that ends the walk, and a node whose bounds are not conclusive is looked
// into down to its lines, which are compared exactly.
bool region_bands::passes(const walk& w, const bounds& b) const
{
    if (w.left > b.leftMin)
        return false;
    if (w.baseIsNaN || (b.closeLo <= w.baseKey && w.baseKey <= b.closeHi))
        return true; // no line's base line is far from the walk's
    switch (w.extent) {
    case walk::point: // a line overlaps the walk's row when its extent holds the point
        return !b.nanExtent && b.yMinMax <= w.yMin && w.yMin <= b.yMaxMin;
    case walk::interval: {
        if (b.oddExtent)
            return false;
        if (w.lo <= b.loMin && b.hiMax <= w.hi)
            return true; // every line's extent lies in the walk's: overlap ratio 1
        // The least overlap any line can have, over the longest extent it can be measured by.
        const double overlap = std::min(w.hi, b.hiMin) - std::max(w.lo, b.loMax);
        return overlap >= 0 && overlap / std::min(w.length, b.lengthMax) >= 0.4;
    }
    default:
        return false;
    }
}

size_t region_bands::end(size_t i)
{
    const size_t n = lines_.size();
    const walk w = walkFrom(i);
    const size_t quick = std::min(n, i + shortWalk);
    for (size_t j = i; j < quick; ++j) {
        ++work_;
        if (stops(w, j))
            return std::max(j, i + 1);
    }
    if (quick == n)
        return n;
    if (tree_.empty())
        buildTree();
    return firstStop(w, 1, 0, leaves_ * bucket, quick);
}

size_t region_bands::firstStop(const walk& w, size_t node, size_t lo, size_t hi, size_t from)
{
    const size_t n = lines_.size();
    if (hi <= from || lo >= n)
        return n;
    ++work_;
    if (passes(w, tree_[node]))
        return n;
    if (hi - lo == bucket) {
        for (size_t j = std::max(lo, from); j < std::min(hi, n); ++j) {
            ++work_;
            if (stops(w, j))
                return j;
        }
        return n;
    }
    const size_t mid = lo + (hi - lo) / 2;
    const size_t j = firstStop(w, 2 * node, lo, mid, from);
    return j < n ? j : firstStop(w, 2 * node + 1, mid, hi, from);
}

void region_bands::leafBounds(size_t j, bounds& b) const
{
    const TextLine* m = lines_[j];
    bounds one{};
    const double left = m->xMin + 0.5;
    one.leftMin = std::isnan(left) ? inf : left;

    // The walk base lines w for which !(|base - w| > t): all of them when the comparison
    // cannot hold, only the base line itself for an infinite one (inf - inf is no number),
    // else those for which -t <= base - w <= t, which, as base - w only falls as w grows,
    // run from the first w with base - w <= t to the last with base - w >= -t.
    const double base = m->base, t = 0.7 * sizes_[j];
    if (std::isnan(base) || std::isnan(t) || t == inf) {
        one.closeLo = keyMin;
        one.closeHi = keyMax;
    } else if (std::isinf(base)) {
        one.closeLo = one.closeHi = order_key(base);
    } else {
        one.closeLo = first_holding(keyMin, keyMax, [&](double w) { return base - w <= t; });
        one.closeHi = first_holding(keyMin, keyMax, [&](double w) { return !(base - w >= -t); }) - 1;
    }

    const double a = m->yMin, c = m->yMax;
    one.nanExtent = std::isnan(a) || std::isnan(c);
    one.yMinMax = one.nanExtent ? -inf : a;
    one.yMaxMin = one.nanExtent ? inf : c;
    one.oddExtent = !(std::isfinite(a) && std::isfinite(c)) || a == c;
    if (one.oddExtent) {
        one.loMin = one.hiMin = inf;
        one.loMax = one.hiMax = one.lengthMax = -inf;
    } else {
        one.loMin = one.loMax = std::min(a, c);
        one.hiMin = one.hiMax = std::max(a, c);
        one.lengthMax = one.hiMax - one.loMin;
    }
    one.baseMin = std::isfinite(base) ? base : inf;
    one.baseMax = std::isfinite(base) ? base : -inf;
    join(b, b, one);
}

void region_bands::join(bounds& to, const bounds& a, const bounds& b)
{
    to.leftMin = std::min(a.leftMin, b.leftMin);
    to.closeLo = std::max(a.closeLo, b.closeLo);
    to.closeHi = std::min(a.closeHi, b.closeHi);
    to.oddExtent = a.oddExtent || b.oddExtent;
    to.nanExtent = a.nanExtent || b.nanExtent;
    to.loMin = std::min(a.loMin, b.loMin);
    to.loMax = std::max(a.loMax, b.loMax);
    to.hiMin = std::min(a.hiMin, b.hiMin);
    to.hiMax = std::max(a.hiMax, b.hiMax);
    to.lengthMax = std::max(a.lengthMax, b.lengthMax);
    to.yMinMax = std::max(a.yMinMax, b.yMinMax);
    to.yMaxMin = std::min(a.yMaxMin, b.yMaxMin);
    to.baseMin = std::min(a.baseMin, b.baseMin);
    to.baseMax = std::max(a.baseMax, b.baseMax);
}

void region_bands::buildTree()
{
    // Bounds of no line: they pass every walk and widen nothing they are joined with.
    bounds none{};
    none.leftMin = inf;
    none.closeLo = keyMin;
    none.closeHi = keyMax;
    none.loMin = none.hiMin = none.yMaxMin = none.baseMin = inf;
    none.loMax = none.hiMax = none.lengthMax = none.yMinMax = none.baseMax = -inf;
    tree_.assign(2 * leaves_, none);
    for (size_t j = 0; j < lines_.size(); ++j)
        leafBounds(j, tree_[leaves_ + j / bucket]);
    for (size_t node = leaves_; node-- > 1;)
        join(tree_[node], tree_[2 * node], tree_[2 * node + 1]);
    work_ += lines_.size();
}

void region_bands::baseRange(size_t node, size_t lo, size_t hi, size_t a, size_t b, double& least, double& most)
{
    if (hi <= a || b <= lo || lo >= lines_.size())
        return;
    ++work_;
    if (a <= lo && hi <= b) {
        least = std::min(least, tree_[node].baseMin);
        most = std::max(most, tree_[node].baseMax);
        return;
    }
    if (hi - lo == bucket) {
        for (size_t j = std::max(lo, a); j < std::min(hi, b); ++j) {
            const double base = lines_[j]->base;
            if (std::isfinite(base)) {
                least = std::min(least, base);
                most = std::max(most, base);
            }
        }
        return;
    }
    const size_t mid = lo + (hi - lo) / 2;
    baseRange(2 * node, lo, mid, a, b, least, most);
    baseRange(2 * node + 1, mid, hi, a, b, least, most);
}

void region_bands::raiseLine(size_t j, double base)
{
    // A distance below 1 gives 0, which raises nothing (offsets are never negative); one
    // that is no number or too large for an int gives no offset either.
    TextLine* line = lines_[j];
    const double d = std::fabs(line->base - base) + 0.45;
    if (d >= 1.0 && d < 2147483648.0)
        line->rowOffset = std::max(line->rowOffset, static_cast<int>(d));
}

void region_bands::raiseOffsets(size_t i, size_t end)
{
    const double base = lines_[i]->base;
    if (!std::isfinite(base))
        return; // every distance is infinite or no number
    bool direct = end - i <= shortWalk || tree_.empty();
    if (!direct) {
        double least = inf, most = -inf;
        baseRange(1, 0, leaves_ * bucket, i, end, least, most);
        direct = !(most - base < farApart && base - least < farApart);
    }
    if (direct) {
        for (size_t j = i; j < end; ++j)
            raiseLine(j, base);
        work_ += end - i;
        return;
    }
    // Every base line of the band lies within 2^30 of the walk's, so each raise grows with
    // the distance: the least and the largest walk base line give a line its largest.
    if (keptMin_.empty()) {
        size_t leaves = 1;
        while (leaves < lines_.size())
            leaves *= 2;
        keptMin_.assign(2 * leaves, inf);
        keptMax_.assign(2 * leaves, -inf);
    }
    keep(i, end, base);
}

void region_bands::keep(size_t a, size_t b, double base)
{
    const size_t leaves = keptMin_.size() / 2;
    for (size_t lo = a + leaves, hi = b + leaves; lo < hi; lo /= 2, hi /= 2) {
        ++work_;
        if (lo & 1) {
            keptMin_[lo] = std::min(keptMin_[lo], base);
            keptMax_[lo] = std::max(keptMax_[lo], base);
            ++lo;
        }
        if (hi & 1) {
            --hi;
            keptMin_[hi] = std::min(keptMin_[hi], base);
            keptMax_[hi] = std::max(keptMax_[hi], base);
        }
    }
}

void region_bands::push(size_t node)
{
    for (const size_t child : {2 * node, 2 * node + 1}) {
        keptMin_[child] = std::min(keptMin_[child], keptMin_[node]);
        keptMax_[child] = std::max(keptMax_[child], keptMax_[node]);
    }
    keptMin_[node] = inf;
    keptMax_[node] = -inf;
}

void region_bands::apply(size_t j)
{
    const size_t leaf = keptMin_.size() / 2 + j;
    if (keptMin_[leaf] != inf)
        raiseLine(j, keptMin_[leaf]);
    if (keptMax_[leaf] != -inf)
        raiseLine(j, keptMax_[leaf]);
    keptMin_[leaf] = inf;
    keptMax_[leaf] = -inf;
}

void region_bands::settle(size_t j)
{
    if (keptMin_.empty())
        return;
    const size_t leaf = keptMin_.size() / 2 + j;
    size_t depth = 0;
    while ((leaf >> depth) > 1)
        ++depth;
    for (; depth > 0; --depth)
        push(leaf >> depth);
    apply(j);
}

void region_bands::settleAll()
{
    if (keptMin_.empty())
        return;
    const size_t leaves = keptMin_.size() / 2;
    for (size_t node = 1; node < leaves; ++node)
        push(node);
    for (size_t j = 0; j < lines_.size(); ++j)
        apply(j);
}

} // namespace kvl
