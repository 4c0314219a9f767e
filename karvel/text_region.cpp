#include "karvel/text_region.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "PDFR/pdf_ulin.h"
#include "karvel/text_line.h"

namespace kvl {

double region_line_size(const TextLine* line, double fallback)
{
    const double size = line->averageFontSize();
    return size > 0 ? size : fallback;
}

namespace {

// Counts a line whose row offset is large, then clears the slot.
void count_offset(TextColumn& column, TextLine* line, bool first)
{
    const int off = line->rowOffset;
    if ((first && off >= 3 && off <= 99) || (!first && off >= 2 && off <= 99))
        ++column.offsetLines;
    line->rowOffset = 0;
}

// The table cell a line lies in, or null.
const pdf_uline_processor::cell* cell_of_line(const TextLine* line)
{
    const int code = std::abs(line->cellCode);
    if (code < 10000 || !tk_singleton<pdf_uline_processor>::exists())
        return nullptr;
    return tk_singleton<pdf_uline_processor>::instance().cell_of(code);
}

int column_order(const void* a, const void* b)
{
    const TextColumn* ca = *static_cast<TextColumn* const*>(a);
    const TextColumn* cb = *static_cast<TextColumn* const*>(b);
    double d = 0;
    switch (ca->rot) {
    case 0: d = ca->xMin - cb->xMin; break;
    case 1: d = ca->yMin - cb->yMin; break;
    case 2: d = cb->xMax - ca->xMax; break;
    default: d = cb->yMax - ca->yMax; break;
    }
    if (d >= -1.1 && d <= 1.1)
        return 0;
    return d < 0 ? -1 : 1;
}

} // namespace

bool TextColumn::base_less::operator()(const TextLine* a, const TextLine* b) const
{
    return a->base < b->base || (a->base == b->base && a->xMin < b->xMin);
}

TextColumn::TextColumn(TextLine* line, double)
    : xMin(line->xMin), xMax(line->xMax), baseFirst(line->base), baseLast(line->base), yMin(line->yMin),
      yMax(line->yMax), rot(line->rot)
{
    addLine(line);
}

TextColumn::TextColumn(double x0, double x1, double top, double bottom)
    : xMin(x0), xMax(x1), baseFirst(top), baseLast(0), yMin(top), yMax(bottom)
{
}

TextColumn::~TextColumn()
{
    if (pending != nullptr && !pendingInNested)
        delete pending;
}

void TextColumn::addLine(TextLine* line)
{
    count_offset(*this, line, lines.empty());
    xMin = std::min(xMin, line->xMin);
    xMax = std::max(xMax, line->xMax);
    yMin = std::min(yMin, line->yMin);
    yMax = std::max(yMax, line->yMax);
    baseFirst = std::min(baseFirst, line->base);
    baseLast = std::max(baseLast, line->base);
    if (const pdf_uline_processor::cell* c = cell_of_line(line)) {
        xMin = std::min(xMin, c->xMin);
        xMax = std::max(xMax, c->xMax);
        yMin = std::min(yMin, c->yMin);
        yMax = std::max(yMax, c->yMax);
    }
    if (groupId == 0)
        groupId = line->groupId;
    block = line->block;
    lines.push_back(line);
}

void TextColumn::widen(const TextRegion& region)
{
    xMin = std::min(xMin, region.xMin);
    xMax = std::max(xMax, region.xMax);
    yMin = std::min(yMin, region.yMin);
    yMax = std::max(yMax, region.yMax);
    if (!region.columns.empty()) {
        baseFirst = std::min(baseFirst, region.baseMin);
        baseLast = std::max(baseLast, region.baseMax);
    }
}

TextRegion::~TextRegion() = default;

void TextRegion::addColumn(std::unique_ptr<TextColumn> column)
{
    if (columns.empty()) {
        rot = column->rot;
        if (weight == 0 && !boxSet) {
            baseMin = column->baseFirst;
            baseMax = column->baseLast;
            yMin = column->yMin;
            yMax = column->yMax;
            xMin = column->xMin;
            xMax = column->xMax;
            maxLines = static_cast<int>(column->lines.size());
            columns.push_back(std::move(column));
            return;
        }
        baseMin = column->baseFirst;
        baseMax = column->baseLast;
    }
    widen(*column);
    columns.push_back(std::move(column));
}

void TextRegion::widen(const TextColumn& column)
{
    baseMin = std::min(baseMin, column.baseFirst);
    baseMax = std::max(baseMax, column.baseLast);
    yMin = std::min(yMin, column.yMin);
    yMax = std::max(yMax, column.yMax);
    xMin = std::min(xMin, column.xMin);
    xMax = std::max(xMax, column.xMax);
    maxLines = std::max(maxLines, static_cast<int>(column.lines.size()));
}

void TextRegion::recomputeExtents()
{
    std::vector<std::unique_ptr<TextColumn>> all;
    all.swap(columns);
    if (weight == 0 && !boxSet)
        maxLines = 0;
    for (std::unique_ptr<TextColumn>& c : all)
        addColumn(std::move(c));
}

void TextRegion::sortColumns()
{
    std::vector<TextColumn*> order;
    order.reserve(columns.size());
    for (std::unique_ptr<TextColumn>& c : columns)
        order.push_back(c.release());
    if (!order.empty())
        std::qsort(order.data(), order.size(), sizeof(TextColumn*), &column_order);
    for (size_t i = 0; i < order.size(); ++i)
        columns[i].reset(order[i]);
}

int TextRegion::lineCount() const
{
    int n = 0;
    for (const std::unique_ptr<TextColumn>& c : columns)
        n += static_cast<int>(c->lines.size());
    return n;
}

double TextRegion::classify(double pageFontSize) const
{
    bool anyOffset = false;
    bool anyNested = false;
    bool anyUpward = false;
    bool anyShort = false;
    int dropSum = 0;
    int dropMax = 0;
    int total = 0;
    for (const std::unique_ptr<TextColumn>& c : columns) {
        const int n = static_cast<int>(c->lines.size());
        if (n > 0 && c->offsetLines * 100 / n > 15)
            anyOffset = true;
        if (!c->nested.empty())
            anyNested = true;
        double prev = 0.0;
        int drops = 0;
        int longest = 0;
        for (const TextLine* line : c->lines) {
            double size = region_line_size(line, pageFontSize);
            if (size == 0)
                size = 8.0;
            if (line->base > prev + 0.6 * size)
                ++drops;
            if (line->base + 0.6 * size < prev)
                anyUpward = true;
            prev = line->base;
            longest = std::max(longest, line->len);
            ++total;
        }
        const double lastSize = n > 0 ? region_line_size(c->lines.back(), pageFontSize) : 0.0;
        if (longest < 2 && lastSize < 30.0)
            anyShort = true;
        dropSum += drops;
        dropMax = std::max(dropMax, drops);
    }
    const int ncols = columnCount();
    // Without any drop the ratio is undefined and every comparison with it fails.
    const bool haveRatio = dropMax > 0 && ncols > 0;
    const double ratio = haveRatio ? static_cast<double>(dropSum) / (ncols * static_cast<double>(dropMax)) : 0.0;

    if (weight == 0 && level < 2) {
        const bool evenColumns =
            !anyUpward && !anyShort && haveRatio && ratio > 0.3 && dropMax > 4 && ncols == 2;
        if (evenColumns || (anyOffset && ncols < 5) || anyNested)
            return 0.0;
    }
    if (weight == 0 &&
        (ncols < 3 || (haveRatio && (ratio <= 0.3 || dropMax * ratio < 3.0 || ncols * ratio <= 2.0))))
        return total;
    return total + 0.4;
}

} // namespace kvl
