#include "PDFR/pdf_overlap.h"

#include <algorithm>

namespace {

double overlap_relative(double a, double b, double c, double d, bool to_longer)
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

} // namespace

double overlapRatio(double a, double b, double c, double d)
{
    return overlap_relative(a, b, c, d, false);
}

double overlapRatioToLonger(double a, double b, double c, double d)
{
    return overlap_relative(a, b, c, d, true);
}
