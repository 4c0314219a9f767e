#include "karvel/text_level_cells.h"

#include <algorithm>
#include <cmath>

#include "karvel/text_line.h"

namespace kvl {

bool sizes_within(double sizeMin, double sizeMax, double size, double r, bool orEqual)
{
    const auto above = [&](double q) { return orEqual ? q >= r : q > r; };
    return (sizeMax <= size || above(size / sizeMax)) && (sizeMin >= size || above(sizeMin / size));
}

void LevelCells::cell::take(const cell& o)
{
    sizeMin = std::min(sizeMin, o.sizeMin);
    sizeMax = std::max(sizeMax, o.sizeMax);
    baseMax = std::max(baseMax, o.baseMax);
    loMax = std::max(loMax, o.loMax);
    hiMin = std::min(hiMin, o.hiMin);
    low7 = std::max(low7, o.low7);
    high7 = std::min(high7, o.high7);
    low9 = std::max(low9, o.low9);
    high9 = std::min(high9, o.high9);
}

void LevelCells::add(const cell& c)
{
    if (full_)
        return;
    for (cell& have : cells_)
        if (have.band == c.band && have.step == c.step) {
            have.take(c);
            return;
        }
    if (cells_.size() == maxCells) {
        full_ = true;
        cells_.clear();
        cells_.shrink_to_fit();
        return;
    }
    cells_.push_back(c);
}

void LevelCells::take(const TextLine* line, double size, double width)
{
    cell c;
    c.band = std::floor(line->base / width);
    c.step = std::floor(std::log(size) * 8.5);
    c.sizeMin = c.sizeMax = size;
    c.baseMax = line->base;
    const double lo = std::min(line->yMin, line->yMax), hi = std::max(line->yMin, line->yMax);
    const double length = hi - lo;
    // Far more than the rounding of these sums and of the order's overlap ratio.
    const double margin = 1e-12 * (std::fabs(lo) + std::fabs(hi));
    c.loMax = lo;
    c.hiMin = hi;
    c.low7 = lo + 0.7 * length + margin;
    c.high7 = hi - 0.7 * length - margin;
    c.low9 = lo + 0.9 * length + margin;
    c.high9 = hi - 0.9 * length - margin;
    add(c);
}

void LevelCells::take(const LevelCells& other)
{
    if (other.full_) {
        full_ = true;
        cells_.clear();
        return;
    }
    for (const cell& c : other.cells_)
        add(c);
}

bool LevelCells::level(const cell& c, const probe& line) const
{
    if (c.baseMax <= line.base)
        return true; // no base line past the line's
    if (sizes_within(c.sizeMin, c.sizeMax, line.size, 0.7) && 0.5 * line.size > std::fabs(line.base - c.baseMax))
        return true; // taken as one line whatever the extents
    // The overlap ratio of the extents, over the shorter one, is above 0.9 (the order
    // takes the two as one line whatever their sizes), or above 0.7 with sizes within a
    // ratio of 0.6. An extent l that reaches past the line's by less than (1 - t) times
    // its own length at either end overlaps it by more than t times that length, or holds
    // it whole; so does one that the line's reaches past by less than (1 - t) times the
    // line's length at either end, or that lies in it. The line's extent must be an
    // interval in order, else a point extent counts as outside it.
    if (!(line.yMin < line.yMax))
        return false;
    const double length = line.yMax - line.yMin;
    const double margin = 1e-12 * (std::fabs(line.yMin) + std::fabs(line.yMax));
    const double top = line.yMin + margin, bottom = line.yMax - margin;
    const auto overlaps = [&](double t, double low, double high) {
        return (bottom > low && top < high) ||
               (c.loMax < line.yMin + (1 - t) * length - margin && c.hiMin > line.yMax - (1 - t) * length + margin);
    };
    if (overlaps(0.9, c.low9, c.high9))
        return true;
    return sizes_within(c.sizeMin, c.sizeMax, line.size, 0.6, true) && overlaps(0.7, c.low7, c.high7);
}

bool LevelCells::levelOrAbove(const probe& line) const
{
    if (full_ || !(line.size > 0))
        return false;
    for (const cell& c : cells_)
        if (!level(c, line))
            return false;
    return true;
}

} // namespace kvl
