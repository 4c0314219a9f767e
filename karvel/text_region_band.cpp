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

// Stretches this short are walked line by line.
constexpr size_t shortStretch = 8;

} // namespace

region_bands::region_bands(const std::vector<TextLine*>& lines, const std::vector<double>& sizes)
    : lines_(lines), sizes_(sizes), likeEnd_(lines.size())
{
    const size_t n = lines.size();
    for (size_t j = n; j-- > 0;) {
        const TextLine* a = lines[j];
        const TextLine* b = j + 1 < n ? lines[j + 1] : nullptr;
        const bool like = b != nullptr && same_bits(a->base, b->base) && same_bits(a->yMin, b->yMin) &&
                          same_bits(a->yMax, b->yMax) && same_bits(sizes[j], sizes[j + 1]);
        likeEnd_[j] = like ? likeEnd_[j + 1] : j + 1;
    }
    while (leaves_ < n)
        leaves_ *= 2;
    leftMin_.assign(2 * leaves_, std::numeric_limits<double>::infinity());
    raise_.assign(2 * leaves_, 0);
    for (size_t j = 0; j < n; ++j) {
        const double left = lines[j]->xMin + 0.5;
        if (!std::isnan(left))
            leftMin_[leaves_ + j] = left;
    }
    for (size_t node = leaves_; node-- > 1;)
        leftMin_[node] = std::min(leftMin_[2 * node], leftMin_[2 * node + 1]);
}

size_t region_bands::end(size_t i) const
{
    const TextLine* li = lines_[i];
    const size_t n = lines_.size();
    size_t j = i;
    while (j < n) {
        // All lines of the stretch from j lie apart from line i's row, or none do.
        const TextLine* m = lines_[j];
        if (std::fabs(m->base - li->base) > 0.7 * sizes_[j] &&
            overlapRatio(li->yMin, li->yMax, m->yMin, m->yMax) < 0.4)
            break;
        const size_t stretchEnd = likeEnd_[j];
        j = firstLeftOf(j, stretchEnd, li->xMin);
        if (j < stretchEnd)
            break;
    }
    return std::max(j, i + 1);
}

size_t region_bands::firstLeftOf(size_t a, size_t b, double x) const
{
    if (b - a <= shortStretch) {
        for (size_t j = a; j < b; ++j)
            if (x > lines_[j]->xMin + 0.5)
                return j;
        return b;
    }
    if (std::isnan(x))
        return b;
    const size_t j = firstLeftOf(1, 0, leaves_, a, b, x);
    return std::min(j, b);
}

size_t region_bands::firstLeftOf(size_t node, size_t lo, size_t hi, size_t a, size_t b, double x) const
{
    if (hi <= a || b <= lo || !(x > leftMin_[node]))
        return b;
    if (hi - lo == 1)
        return lo;
    const size_t mid = lo + (hi - lo) / 2;
    const size_t j = firstLeftOf(2 * node, lo, mid, a, b, x);
    return j < b ? j : firstLeftOf(2 * node + 1, mid, hi, a, b, x);
}

void region_bands::raiseOffsets(size_t i, size_t end)
{
    const double base = lines_[i]->base;
    for (size_t j = i; j < end;) {
        const size_t stretchEnd = std::min(likeEnd_[j], end);
        // A distance below 1 gives 0, which raises nothing (offsets are never negative); one
        // that is no number or too large for an int gives no offset either.
        const double d = std::fabs(lines_[j]->base - base) + 0.45;
        if (d >= 1.0 && d < 2147483648.0)
            raise(j, stretchEnd, static_cast<int>(d));
        j = stretchEnd;
    }
}

void region_bands::raise(size_t a, size_t b, int value)
{
    for (size_t lo = a + leaves_, hi = b + leaves_; lo < hi; lo /= 2, hi /= 2) {
        if (lo & 1) {
            raise_[lo] = std::max(raise_[lo], value);
            ++lo;
        }
        if (hi & 1) {
            --hi;
            raise_[hi] = std::max(raise_[hi], value);
        }
    }
}

void region_bands::push(size_t node)
{
    const int value = raise_[node];
    if (value == 0)
        return;
    raise_[2 * node] = std::max(raise_[2 * node], value);
    raise_[2 * node + 1] = std::max(raise_[2 * node + 1], value);
    raise_[node] = 0;
}

void region_bands::settle(size_t j)
{
    const size_t leaf = leaves_ + j;
    size_t depth = 0;
    while ((leaves_ >> depth) > 1)
        ++depth;
    for (; depth > 0; --depth)
        push(leaf >> depth);
    TextLine* line = lines_[j];
    line->rowOffset = std::max(line->rowOffset, raise_[leaf]);
    raise_[leaf] = 0;
}

void region_bands::settleAll()
{
    for (size_t node = 1; node < leaves_; ++node)
        push(node);
    for (size_t j = 0; j < lines_.size(); ++j) {
        TextLine* line = lines_[j];
        line->rowOffset = std::max(line->rowOffset, raise_[leaves_ + j]);
        raise_[leaves_ + j] = 0;
    }
}

} // namespace kvl
