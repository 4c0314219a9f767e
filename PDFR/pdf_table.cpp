// Table building: ruling lines grouped into tables, rows, columns and cells.
#include <cmath>
#include <vector>

#include "PDFR/pdf_overlap.h"
#include "PDFR/pdf_ulin.h"
#include "TK/tk_log.h"

namespace {

using line_rect = pdf_uline_processor::line_rect;
using reg_item = pdf_uline_processor::reg_item;

// Cell codes hold the cell index in their last four digits.
constexpr size_t max_cells_per_table = 9999;

bool is_horizontal(const line_rect& l) { return l.yMax - l.yMin < 7; }
bool is_vertical(const line_rect& l) { return l.xMax - l.xMin < 7; }

void seed_table(reg_item& t, int number, const line_rect& seed, const pdf_uline_processor::line_paint& paint)
{
    t = reg_item();
    t.number = number;
    t.red = paint.red;
    t.green = paint.green;
    t.blue = paint.blue;
    t.xMin = seed.xMin;
    t.xMax = seed.xMax;
    t.yMin = seed.yMin;
    t.yMax = seed.yMax;
    const double w = seed.xMax - seed.xMin >= 7 ? seed.yMax - seed.yMin : seed.xMax - seed.xMin;
    t.rule_width = w / pdf_uline_processor::px_per_pt;
    if (t.rule_width < 0.3)
        t.rule_width = 0.3;
}

bool same_colour(const reg_item& t, const pdf_uline_processor::line_paint& p)
{
    return std::abs(int(p.red) - int(t.red)) < 2 && std::abs(int(p.green) - int(t.green)) < 2 &&
           std::abs(int(p.blue) - int(t.blue)) < 2;
}

// Top-down merge sort of an index list; ends for any test, ordered or not.
void merge_sort(std::vector<size_t>& idx, std::vector<size_t>& tmp, size_t lo, size_t hi,
                const std::vector<line_rect>& lines)
{
    if (hi - lo < 2)
        return;
    const size_t mid = lo + (hi - lo) / 2;
    merge_sort(idx, tmp, lo, mid, lines);
    merge_sort(idx, tmp, mid, hi, lines);
    size_t i = lo, j = mid, k = lo;
    while (i < mid && j < hi) {
        if (pdf_uline_processor::line_less(lines[idx[i]], lines[idx[j]]))
            tmp[k++] = idx[i++];
        else
            tmp[k++] = idx[j++];
    }
    while (i < mid)
        tmp[k++] = idx[i++];
    while (j < hi)
        tmp[k++] = idx[j++];
    for (size_t m = lo; m < hi; ++m)
        idx[m] = tmp[m];
}

} // namespace

bool pdf_uline_processor::line_less(const line_rect& a, const line_rect& b)
{
    if (a.key < b.key)
        return true;
    if (a.key > b.key)
        return false;
    if (is_horizontal(a)) {
        if (!is_horizontal(b))
            return true;
        if (b.yMin > a.yMax + 7)
            return true;
        if (a.yMin > b.yMax + 7)
            return false;
        return b.xMin > a.xMin || std::fabs(a.xMin - b.xMin) < 7;
    }
    if (is_horizontal(b))
        return false;
    if (b.xMin > a.xMax + 7)
        return true;
    if (a.xMin > b.xMax + 7)
        return false;
    return a.yMin < b.yMin || std::fabs(a.yMin - b.yMin) < 7;
}

void pdf_uline_processor::reg_item::cellsBuilding(std::vector<double> row_pos, std::vector<double> col_pos)
{
    tk_log(1, "pdf_uline_processor::reg_item::cellsBuilding");
    for (size_t i = 0; i + 1 < row_pos.size(); ++i) {
        for (size_t j = 0; j + 1 < col_pos.size(); ++j) {
            cell c;
            c.xMin = col_pos[j] / px_per_pt;
            c.xMax = col_pos[j + 1] / px_per_pt;
            c.yMin = row_pos[i] / px_per_pt;
            c.yMax = row_pos[i + 1] / px_per_pt;
            cells.push_back(c);
            tk_log(1, "Cell%d_%d: xMin=%.2f,yMin=%.2f xMax=%.2f,yMax%.2f \n", static_cast<int>(i),
                   static_cast<int>(j), col_pos[j], row_pos[i], col_pos[j + 1], row_pos[i + 1]);
        }
    }
    xMin /= px_per_pt;
    xMax /= px_per_pt;
    yMin /= px_per_pt;
    yMax /= px_per_pt;
}

void pdf_uline_processor::tableBuilding()
{
    tk_log(2, "tableBuilding");
    if (lines.size() < 4)
        return;
    if (lines.size() != line_paints.size())
        throw tk_mail_assertion(PDF_ULIN_FILE, 669);

    // Grouping into tables by contact and colour.
    size_t seed = lines.size();
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].xMax - lines[i].xMin >= 7 || lines[i].yMax - lines[i].yMin >= 7) {
            seed = i;
            break;
        }
    }
    if (seed == lines.size())
        return;

    reg_item t;
    int number = 1;
    seed_table(t, number, lines[seed], *line_paints[seed]);
    lines[seed].key = number * 1000;
    for (;;) {
        stop.poll();
        const int key = t.number * 1000;
        bool joined = false;
        size_t rejected = lines.size();
        for (size_t i = 0; i < lines.size(); ++i) {
            line_rect& l = lines[i];
            if (l.key != 0 || (l.xMax - l.xMin < 15 && l.yMax - l.yMin < 15))
                continue;
            if (overlapRatio(t.yMin - 4, t.yMax + 4, l.yMin, l.yMax) > 0 &&
                overlapRatio(t.xMin - 4, t.xMax + 4, l.xMin, l.xMax) > 0 && same_colour(t, *line_paints[i])) {
                l.key = key;
                t.xMin = std::fmin(t.xMin, l.xMin);
                t.xMax = std::fmax(t.xMax, l.xMax);
                t.yMin = std::fmin(t.yMin, l.yMin);
                t.yMax = std::fmax(t.yMax, l.yMax);
                joined = true;
            } else {
                rejected = i;
            }
        }
        if (joined)
            continue;
        tables.push_back(t);
        if (rejected == lines.size())
            break;
        ++number;
        seed_table(t, number, lines[rejected], *line_paints[rejected]);
        lines[rejected].key = number * 1000;
    }

    // Sort, moving each paint record with its line.
    std::vector<size_t> idx(lines.size()), tmp(lines.size());
    for (size_t i = 0; i < idx.size(); ++i)
        idx[i] = i;
    merge_sort(idx, tmp, 0, idx.size(), lines);
    {
        std::vector<line_rect> sorted_lines;
        std::vector<std::unique_ptr<line_paint>> sorted_paints;
        sorted_lines.reserve(lines.size());
        sorted_paints.reserve(lines.size());
        for (size_t i : idx) {
            sorted_lines.push_back(lines[i]);
            sorted_paints.push_back(std::move(line_paints[i]));
        }
        lines.swap(sorted_lines);
        line_paints.swap(sorted_paints);
    }

    // Rows and columns, table by table.
    std::vector<double> row_pos, col_pos;
    size_t p = 0;
    while (p < lines.size()) {
        const int K = lines[p].key;
        if (K < 1000) {
            ++p;
            continue;
        }
        stop.poll();
        const size_t run_begin = p;
        size_t run_end = p;
        while (run_end < lines.size() && lines[run_end].key == K)
            ++run_end;
        reg_item& T = tables[static_cast<size_t>(K / 1000 - 1)];

        double prev = 0;
        while (p < run_end && is_horizontal(lines[p])) {
            const line_rect f = lines[p];
            const double start = f.xMin;
            double end = f.xMax;
            bool broken = false;
            size_t q = p + 1;
            while (q < run_end && is_horizontal(lines[q]) &&
                   std::fabs((lines[q].yMin + lines[q].yMax) - (f.yMin + f.yMax)) < 7) {
                const line_rect& m = lines[q];
                if (std::fabs(m.xMin - end) <= 7 || overlapRatio(m.xMin, m.xMax, start, end) >= 0)
                    end = std::fmax(end, m.xMax);
                else
                    broken = true;
                ++q;
            }
            const double mid = (f.yMin + f.yMax) * 0.5;
            if (end - start > 0.8 * (T.xMax - T.xMin) && !broken && (prev == 0 || std::fabs(mid - prev) > 7)) {
                row_pos.push_back(mid);
                prev = mid;
            } else {
                for (size_t m = p; m < q; ++m)
                    lines[m].key = 0;
            }
            p = q;
        }

        prev = 0;
        while (p < run_end && is_vertical(lines[p])) {
            const line_rect f = lines[p];
            const double start = f.yMin;
            double end = f.yMax;
            bool broken = false;
            size_t q = p + 1;
            while (q < run_end && is_vertical(lines[q]) &&
                   std::fabs((lines[q].xMin + lines[q].xMax) - (f.xMin + f.xMax)) < 7) {
                const line_rect& m = lines[q];
                if (std::fabs(m.yMin - end) <= 7 || overlapRatio(m.yMin, m.yMax, start, end) >= 0)
                    end = std::fmax(end, m.yMax);
                else
                    broken = true;
                ++q;
            }
            const double mid = (f.xMin + f.xMax) * 0.5;
            if (std::fabs(T.yMax - end) < 10 && !broken && end - start > 0.5 * (T.yMax - T.yMin) &&
                (prev == 0 || std::fabs(mid - prev) > 7)) {
                col_pos.push_back(mid);
                prev = mid;
            } else {
                for (size_t m = p; m < q; ++m)
                    lines[m].key = 0;
            }
            p = q;
        }
        p = run_end; // the run is all horizontals then verticals; nothing else is left in it

        if (!col_pos.empty() && T.xMin + 10 < col_pos.front())
            col_pos.insert(col_pos.begin(), T.xMin);
        if (!col_pos.empty() && col_pos.back() + 10 < T.xMax)
            col_pos.push_back(T.xMax);
        if (!row_pos.empty() && T.yMin + 10 < row_pos.front())
            row_pos.insert(row_pos.begin(), T.yMin);
        if (!row_pos.empty() && row_pos.back() + 10 < T.yMax)
            row_pos.push_back(T.yMax);
        T.rows = static_cast<int>(row_pos.size());
        T.columns = static_cast<int>(col_pos.size());

        const bool addressable = row_pos.size() < 2 || col_pos.size() < 2 ||
                                 (row_pos.size() - 1) * (col_pos.size() - 1) <= max_cells_per_table;
        if (row_pos.size() >= 3 && col_pos.size() >= 3 && addressable) {
            T.cellsBuilding(row_pos, col_pos);
        } else {
            for (size_t m = run_begin; m < run_end; ++m)
                lines[m].key = 0;
            T.number = 0;
        }
        row_pos.clear();
        col_pos.clear();
    }

    // The rules of kept tables leave the page's lines.
    size_t out = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].key != 0)
            continue;
        if (out != i) {
            lines[out] = lines[i];
            line_paints[out] = std::move(line_paints[i]);
        }
        ++out;
    }
    lines.resize(out);
    line_paints.resize(out);

    // "осталось %d(%d) линий" in Windows-1251
    tk_log(1, "\xEE\xF1\xF2\xE0\xEB\xEE\xF1\xFC %d(%d) \xEB\xE8\xED\xE8\xE9", static_cast<int>(lines.size()),
           static_cast<int>(line_paints.size()));
}
