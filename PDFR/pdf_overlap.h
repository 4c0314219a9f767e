// The interval overlap measures shared by the layout, the page regions, the writer and
// table building (inline: the layout's sorts call them in their comparisons).
#pragma once

#include <algorithm>

namespace pdf_overlap_detail {

inline double overlap_relative(double a, double b, double c, double d, bool to_longer)
{
    if ((a == b && c <= a && a <= d) || (c == d && a <= c && c <= b))
        return 1.0;
    if (a == b || c == d)
        return 0.0;
    const double lo1 = std::min(a, b), hi1 = std::max(a, b);
    const double lo2 = std::min(c, d), hi2 = std::max(c, d);
    const double overlap = std::min(hi1, hi2) - std::max(lo1, lo2);
    return overlap / (to_longer ? std::max(hi1 - lo1, hi2 - lo2) : std::min(hi1 - lo1, hi2 - lo2));
}

} // namespace pdf_overlap_detail

// Signed overlap of [a, b] and [c, d] relative to the shorter interval: 1 when one
// interval is a single point inside the other, 0 when either is a single point otherwise.
inline double overlapRatio(double a, double b, double c, double d)
{
    return pdf_overlap_detail::overlap_relative(a, b, c, d, false);
}

// The same relative to the longer interval.
inline double overlapRatioToLonger(double a, double b, double c, double d)
{
    return pdf_overlap_detail::overlap_relative(a, b, c, d, true);
}
