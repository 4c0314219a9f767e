// The horizontal column boundaries of all regions of a page.
#pragma once

#include <vector>

namespace kvl {

class TextRegionList;

class TextColumnGrid {
public:
    explicit TextColumnGrid(const TextRegionList& list);

    // Adds the boundaries of the interval [a, b].
    void addInterval(double a, double b);
    // Number of positions p counted from the first while p < limit.
    int countBelow(double limit) const;

    std::vector<double> positions; // sorted; the first `count` are in use
    int count = 0;
    double xMinAll = 10000.0;
    double xMaxAll = 0.0;
    const TextRegionList* regions;

private:
    void place(double v, double d);
};

} // namespace kvl
