#include "karvel/text_region_grid.h"

#include <algorithm>
#include <cmath>

#include "karvel/text_region.h"

namespace kvl {

namespace {

bool is_gridded(const TextRegion& r)
{
    return r.number != region_skip_marker && !r.columns.empty();
}

} // namespace

TextColumnGrid::TextColumnGrid(const TextRegionList& list) : regions(&list)
{
    size_t capacity = 5;
    for (const std::unique_ptr<TextRegion>& r : list.regions) {
        if (!is_gridded(*r))
            continue;
        xMinAll = std::min(xMinAll, r->xMin);
        xMaxAll = std::max(xMaxAll, r->xMax);
        for (const std::unique_ptr<TextColumn>& c : r->columns) {
            int widest = 1;
            for (const std::unique_ptr<TextRegion>& n : c->nested)
                widest = std::max(widest, n->columnCount());
            capacity += 2 * static_cast<size_t>(widest);
        }
    }
    positions.reserve(capacity);

    for (const std::unique_ptr<TextRegion>& r : list.regions) {
        if (!is_gridded(*r))
            continue;
        const size_t n = r->columns.size();
        for (size_t k = 0; k < n; ++k) {
            const TextColumn& c = *r->columns[k];
            if (c.nested.empty()) {
                addInterval(c.xMin, k + 1 < n ? r->columns[k + 1]->xMin : c.xMax);
                continue;
            }
            for (const std::unique_ptr<TextRegion>& nr : c.nested) {
                if (nr->columns.empty())
                    continue;
                const double first = nr->columns.front()->xMin;
                if (first - c.xMin > 10.0)
                    addInterval(c.xMin, first);
                const size_t m = nr->columns.size();
                for (size_t j = 0; j < m; ++j) {
                    const TextColumn& nc = *nr->columns[j];
                    addInterval(nc.xMin, j + 1 < m ? nr->columns[j + 1]->xMin : nc.xMax);
                }
                const double last = nr->columns.back()->xMax;
                if (c.xMax - last > 10.0)
                    addInterval(last, c.xMax);
            }
        }
    }
    if (count != 0)
        --count;
}

void TextColumnGrid::addInterval(double a, double b)
{
    if (!(a <= b))
        return;
    // c: the smallest integer from 1 with b - a >= 9 / c; an interval of no width takes
    // the finest step.
    const double width = b - a;
    double c = 1.0;
    if (width < 9.0) {
        c = width > 0 ? std::ceil(9.0 / width) : 10000.0;
        if (c > 10000.0)
            c = 10000.0;
        while (c < 10000.0 && width < 9.0 / c)
            c += 1.0;
    }
    const double d = 10.0 / c;
    if (count == 0) {
        positions.clear();
        positions.push_back(xMinAll);
        if (a - xMinAll > 10.0)
            positions.push_back(a);
        positions.push_back(b);
        count = static_cast<int>(positions.size());
        return;
    }
    place(a, d);
    place(b, d);
}

void TextColumnGrid::place(double v, double d)
{
    int j = 0;
    while (j < count && positions[static_cast<size_t>(j)] <= v)
        ++j;
    if (j == count) {
        const double last = positions[static_cast<size_t>(count - 1)];
        if (v > last + d) {
            positions.resize(static_cast<size_t>(count));
            positions.push_back(v);
            ++count;
        } else if (v > last) {
            positions[static_cast<size_t>(count - 1)] = v;
        }
        return;
    }
    const bool afterPrevious = j == 0 || v > positions[static_cast<size_t>(j - 1)] + d;
    if (afterPrevious && positions[static_cast<size_t>(j)] > v + d) {
        positions.resize(static_cast<size_t>(count));
        positions.insert(positions.begin() + j, v);
        ++count;
    }
}

int TextColumnGrid::countBelow(double limit) const
{
    int n = 0;
    while (n < count && positions[static_cast<size_t>(n)] < limit)
        ++n;
    return n;
}

} // namespace kvl
