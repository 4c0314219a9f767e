// Writing one page of the XML document: the page element, its regions as columns or
// as table cells, and the rows of each column.
#include <GlobalParams.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "PDFR/pdf_ulin.h"
#include "TK/tk_log.h"
#include "karvel/XMLOutputDev.h"
#include "karvel/text_block.h"
#include "karvel/text_line.h"
#include "karvel/text_page.h"
#include "karvel/text_region.h"
#include "karvel/text_region_grid.h"
#include "karvel/xml_escape.h"
#include "karvel/xml_tags.h"

namespace kvl {

namespace {

// One tag or text line to the device's stream; empty texts are never written.
void write_line(const std::string& s)
{
    if (!s.empty())
        tk_singleton<XMLOutputDev>::instance().writeLine(s);
}

void append_codes(std::string& out, const TextLine* line)
{
    for (int i = 0; i < line->len; ++i)
        xml_append_escaped(out, line->text[i]);
}

bool is_tiny(const TextLine* line)
{
    return line->len == 1 && std::fabs(line->xMin - line->xMax) < 0.3;
}

// The three writing operations of one page.
class page_writer {
public:
    explicit page_writer(double pageFontSize) : fontSize_(pageFontSize) {}

    int dumpRegion(FILE* f, TextRegion& region, const TextColumnGrid& grid, int rowBase);
    int dumpLines(FILE* f, const TextColumnGrid& grid, int rowBase, double left, double right,
                  TextLine** lines, int count);

private:
    double size(const TextLine* line) const { return region_line_size(line, fontSize_); }
    int dumpColumns(FILE* f, TextRegion& region, const TextColumnGrid& grid, int rowBase);
    int dumpCells(FILE* f, TextRegion& region, const TextColumnGrid& grid, int rowBase);
    int gridStart(const TextColumnGrid& grid, double xMin) const
    {
        return std::max(0, grid.countBelow(xMin + 3.0) - 1);
    }
    int gridEnd(const TextColumnGrid& grid, double xMax) const
    {
        return std::max(0, grid.countBelow(xMax - 1.0) - 1);
    }

    double fontSize_;
};

int page_writer::dumpLines(FILE*, const TextColumnGrid&, int, double, double, TextLine** lines, int count)
{
    tk_log(2, "TextPage::dumpLines(%d)", count);
    if (count == 0)
        return 0;
    xml_tags& tags = tk_singleton<xml_tags>::instance();
    write_line(tags.column_open());
    int rows = 0;
    int i = 0;
    while (i < count) {
        const TextLine* l = lines[i];
        if (is_tiny(l) || l->words == nullptr) {
            ++i;
            continue;
        }
        std::string text;
        int j = i;
        for (; j < count; ++j) {
            const TextLine* c = lines[j];
            const double h = overlapRatio(c->xMin, c->xMax, l->xMin, l->xMax);
            const double v = overlapRatio(c->yMin, c->yMax, l->yMin, l->yMax);
            const double dBase = std::fabs(c->base - l->base);
            const bool joins = (h < 0.3 && c->xMin > l->xMin && (dBase < 0.6 * size(c) || v > 0.6)) ||
                               dBase < 0.1 || v > 0.9;
            if (!joins)
                break;
            // Rows are written whole, however many codes they hold.
            append_codes(text, c);
            text += ' ';
        }
        tk_log(2, "GOT STRING1: %s", text.c_str());
        write_line(tags.row_open());
        write_line(text);
        write_line(tags.row_close());
        ++rows;
        i = j;
    }
    write_line(tags.column_close());
    return rows;
}

int page_writer::dumpColumns(FILE* f, TextRegion& region, const TextColumnGrid& grid, int rowBase)
{
    tk_log(2, "*** PROCESS COLUMNS ***");
    xml_tags& tags = tk_singleton<xml_tags>::instance();
    write_line(tags.table_open());
    int rows = 0;
    for (const std::unique_ptr<TextColumn>& column : region.columns) {
        TextColumn& c = *column;
        const size_t nLines = c.lines.size();
        const size_t nNested = c.nested.size();
        size_t li = 0;
        size_t ni = 0;
        double limit = (region.level == 0 && nNested > 0) ? c.nested[0]->yMin : c.yMax;
        while (li < nLines || ni < nNested) {
            bool progressed = false;
            size_t end = li;
            while (end < nLines && c.lines[end]->base <= limit)
                ++end;
            if (end > li) {
                std::vector<TextLine*> stretch(c.lines.begin() + static_cast<long>(li),
                                               c.lines.begin() + static_cast<long>(end));
                std::qsort(stretch.data(), stretch.size(), sizeof(TextLine*), &cmpLineReading);
                rows += dumpLines(f, grid, rowBase + rows, c.xMin, c.xMax, stretch.data(),
                                  static_cast<int>(stretch.size()));
                li = end;
                progressed = true;
            }
            if (ni < nNested && c.yMax > limit - 0.1) {
                rows += dumpRegion(f, *c.nested[ni], grid, rowBase + rows);
                ++ni;
                limit = ni < nNested ? c.nested[ni]->yMin : c.yMax;
                progressed = true;
            }
            if (!progressed) {
                // Lines below the column's recorded bottom: write what is left rather
                // than lose it.
                if (ni < nNested) {
                    rows += dumpRegion(f, *c.nested[ni], grid, rowBase + rows);
                    ++ni;
                    limit = ni < nNested ? c.nested[ni]->yMin : c.yMax;
                } else {
                    limit = INFINITY;
                }
            }
        }
    }
    write_line(tags.table_close());
    return rows;
}

int page_writer::dumpCells(FILE*, TextRegion& region, const TextColumnGrid& grid, int rowBase)
{
    xml_tags& tags = tk_singleton<xml_tags>::instance();
    std::vector<TextLine*> lines;
    lines.reserve(static_cast<size_t>(region.lineCount()));
    for (size_t k = 0; k < region.columns.size(); ++k)
        for (TextLine* line : region.columns[k]->lines) {
            line->rowOffset = static_cast<int>(k); // the column index from here on
            lines.push_back(line);
        }
    const int columns = std::max(1, region.columnCount());
    const bool ruled = region.weight != 0;
    if (!lines.empty()) {
        if (ruled) {
            std::qsort(lines.data(), lines.size(), sizeof(TextLine*), &cmpLineCell);
        } else {
            std::qsort(lines.data(), lines.size(), sizeof(TextLine*), &cmpLineReading);
            const int base = (region.number + 1) * 10000;
            int index = 0;
            int previousCol = 0;
            for (size_t i = 0; i < lines.size(); ++i) {
                TextLine* l = lines[i];
                const int d = l->rowOffset - previousCol;
                if (d < 0)
                    index += d + columns;
                else if (d > 0)
                    index += d;
                else if (i > 0 && std::fabs(lines[i - 1]->yMax - l->yMax) > 0.5 * size(l))
                    index += columns;
                l->cellCode = base + index;
                previousCol = l->rowOffset;
            }
        }
    }
    tk_log(2, "*** PROCESS TABLES ***");
    if (lines.empty())
        return 0;

    const int t = std::abs(lines[0]->cellCode) / 10000;
    const pdf_uline_processor* proc =
        ruled && tk_singleton<pdf_uline_processor>::exists() ? &tk_singleton<pdf_uline_processor>::instance() : nullptr;
    const pdf_uline_processor::reg_item* table = proc != nullptr ? proc->table_of(t * 10000) : nullptr;
    const int cellCount = table != nullptr ? static_cast<int>(table->cells.size()) : 0;
    auto cellIndex = [t](const TextLine* l) { return std::abs(l->cellCode) - t * 10000; };
    auto cellBox = [&](int index, double& x0, double& x1) {
        const pdf_uline_processor::cell* c = proc != nullptr ? proc->cell_of(t * 10000 + index) : nullptr;
        if (c != nullptr) {
            x0 = c->xMin;
            x1 = c->xMax;
        } else {
            x0 = region.xMin;
            x1 = region.xMax;
        }
    };

    int highestRow = 0;
    int previousEnd = -1;
    int previousCell = -1;
    bool written = false; // a cell with text was written
    bool anyCell = false; // any cell was written, empty or not
    int cellsWritten = 0;

    // Every table row after the first starts a new paragraph, also when its first
    // cell is empty.
    auto rowBreak = [&](int col) {
        if (col == 0 && anyCell && columns > 1) {
            write_line(tags.par_close());
            write_line(tags.par_open());
        }
        anyCell = true;
    };

    auto emptyCell = [&](int b, bool trailing) {
        if (b % columns == 0)
            previousEnd = -1;
        double x0 = 0;
        double x1 = 0;
        cellBox(b, x0, x1);
        int s = gridStart(grid, x0);
        const int e = gridEnd(grid, x1);
        if (written && previousEnd >= 0 && previousEnd >= s && e > s)
            ++s;
        tk_log(2, trailing ? "GOT STRING7: %s" : "GOT STRING2: %s", "");
        rowBreak(b % columns);
        write_line(tags.line_open());
        write_line(tags.line_close());
        for (int p = s + 1; p <= e; ++p) {
            tk_log(2, trailing ? "GOT STRING8: %s" : "GOT STRING3: %s", "");
            write_line(tags.line_open());
            write_line(tags.line_close());
        }
    };

    size_t i = 0;
    while (i < lines.size()) {
        const int ci = cellIndex(lines[i]);
        size_t j = i + 1;
        while (j < lines.size() && cellIndex(lines[j]) == ci)
            ++j;
        if (ruled && table != nullptr)
            for (int b = previousCell + 1; b < ci && b < cellCount; ++b)
                emptyCell(b, false);
        const int row = ci / columns;
        const int col = ci % columns;
        if (row > highestRow) {
            highestRow = row;
            previousEnd = -1;
        }
        double x0 = 0;
        double x1 = 0;
        if (ruled) {
            cellBox(ci, x0, x1);
        } else {
            const size_t k = static_cast<size_t>(std::min(std::max(lines[i]->rowOffset, 0), columns - 1));
            x0 = region.columns[k]->xMin;
            x1 = region.columns[k]->xMax;
        }
        int s = gridStart(grid, x0);
        int e = gridEnd(grid, x1);
        if (written && previousEnd >= 0 && previousEnd >= s && e > s)
            ++s;
        if (j < lines.size() && lines[j]->rowOffset > col) {
            const size_t k = static_cast<size_t>(std::min(lines[j]->rowOffset, columns - 1));
            const double c0 = region.columns[k]->xMin;
            const double c1 = region.columns[k]->xMax;
            const int s2 = gridStart(grid, c0);
            if (e >= s2) {
                if (c1 - c0 < 10.0) {
                    ++j;
                } else if (e > s && static_cast<size_t>(e + 1) < grid.positions.size() &&
                           overlapRatio(grid.positions[static_cast<size_t>(e)],
                                        grid.positions[static_cast<size_t>(e + 1)], x0, x1) < 0.55) {
                    --e;
                }
            }
        }
        previousEnd = e;

        std::string text;
        append_codes(text, lines[i]);
        if (j - i >= 2) {
            text += ' ';
            for (size_t m = i + 1; m < j; ++m) {
                text += ' ';
                append_codes(text, lines[m]);
                text += ' ';
            }
        }
        rowBreak(col);
        write_line(tags.line_open());
        tk_log(2, j - i == 1 ? "GOT STRING4: %s" : "GOT STRING5: %s", text.c_str());
        write_line(text);
        write_line(tags.line_close());
        written = true;
        ++cellsWritten;
        previousCell = std::max(previousCell, ci);
        i = j;
    }
    if (ruled && table != nullptr)
        for (int b = previousCell + 1; b < cellCount; ++b)
            emptyCell(b, true);
    return cellsWritten;
}

int page_writer::dumpRegion(FILE* f, TextRegion& region, const TextColumnGrid& grid, int rowBase)
{
    tk_log(2, "TextPage::dumpRegion");
    xml_tags& tags = tk_singleton<xml_tags>::instance();
    write_line(tags.par_open());
    const double kind = region.classify(fontSize_);
    const int rows = kind == 0 ? dumpColumns(f, region, grid, rowBase) : dumpCells(f, region, grid, rowBase);
    write_line(tags.par_close());
    return rows;
}

// Unlinks and frees the lines without words; estimates missing base lines.
void clean_layout(TextBlock** blocks, int nBlocks)
{
    for (int b = 0; b < nBlocks; ++b) {
        TextBlock* block = blocks[b];
        if (block == nullptr)
            continue;
        TextLine** link = &block->lines;
        while (*link != nullptr) {
            TextLine* line = *link;
            if (line->base < 0)
                line->base = 0.72 * line->yMax + 0.28 * line->yMin;
            if (line->words == nullptr) {
                *link = line->next;
                if (block->curLine == line)
                    block->curLine = nullptr;
                --block->nLines;
                delete line;
                continue;
            }
            link = &line->next;
        }
    }
}

} // namespace

void TextPage::dump(FILE* f, int page_number)
{
    tk_log(2, "TextPage::dump(pageNum=%d)", page_number);
    if (!globalParams || globalParams->getTextEncoding() == nullptr)
        return;
    xml_tags& tags = tk_singleton<xml_tags>::instance();
    write_line(tags.page_open());
    clean_layout(blocks, nBlocks);
    tk_log(1, "\"undoing\" the layout");
    stop.poll();
    TextRegionList regions;
    regions.stop = stop;
    regions.PageRegionsBuilding(blocks, nBlocks, currentFontSize);
    stop.poll();
    const TextColumnGrid grid(regions);
    page_writer writer(currentFontSize);
    int rows = 0;
    for (const std::unique_ptr<TextRegion>& region : regions.regions) {
        stop.poll();
        if (!region->columns.empty() && region->number != region_skip_marker)
            rows += writer.dumpRegion(f, *region, grid, rows);
    }
    write_line(tags.page_close());
}

} // namespace kvl
