#include "PDFR/pdf_ulin.h"

#include <algorithm>
#include <cmath>

#include "TK/tk_log.h"

namespace {

// Lines kept per page; a page that paints more rules than this is not a table page,
// and the grouping work grows with the square of the count.
constexpr size_t max_lines_per_page = 30000;

bool near_full(int c) { return std::abs(c - 255) <= 2; }

// Middles in pt of a captured line (px) and of an underline (pt), and the reach within
// which a base line meets them.
double line_middle(const pdf_uline_processor::line_rect& l)
{
    return (l.yMin + l.yMax) / pdf_uline_processor::px2_per_pt;
}

double underline_middle(const pdf_uline_processor::line_rect& u)
{
    return (u.yMin + u.yMax) * 0.5;
}

bool within_reach(double middle, double yBase)
{
    return std::fabs(middle - yBase) <= 2;
}

} // namespace

pdf_uline_processor::pdf_uline_processor(unsigned char mode_value) : mode(mode_value)
{
    tk_log(2, "pdf_uline_processor::ctor");
}

pdf_uline_processor::~pdf_uline_processor() = default;

void pdf_uline_processor::set_line(double xA, double xB, double yA, double yB, std::unique_ptr<line_paint> paint)
{
    tk_log(1, "pdf_uline_processor::set_line(%f,%f,%f,%f)", xA, xB, yA, yB);
    if (!paint || lines.size() >= max_lines_per_page)
        return;
    line_rect r;
    r.key = 0;
    r.xMin = std::min(xA, xB);
    r.xMax = std::max(xA, xB);
    r.yMin = std::min(yA, yB);
    r.yMax = std::max(yA, yB);
    line_paints.push_back(std::move(paint));
    lines.push_back(r);
}

void pdf_uline_processor::flush()
{
    tk_log(2, "pdf_uline_processor::flush");
    lines.clear();
    line_paints.clear();
    underlines.clear();
    tables.clear();
}

void pdf_uline_processor::remove_line(size_t i)
{
    lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
    line_paints.erase(line_paints.begin() + static_cast<std::ptrdiff_t>(i));
}

bool pdf_uline_processor::process_as_underline(double xMin, double xMax, double yBase, int r, int g, int b)
{
    tk_log(1, "pdf_uline_processor::process_as_underline");
    tk_log(1, "Text coordinates: %lg,%lg,%lg", xMin, xMax, yBase);
    const bool trace = tk_log_wants(1); // asked once: the loops below run per character

    for (const line_rect& u : underlines) {
        const double mid = underline_middle(u);
        tk_log(1, "Comparing with: %lg,%lg,%lg", u.xMin, u.xMax, mid);
        if (xMin >= u.xMin - 0.5 && xMax <= u.xMax + 0.5 && within_reach(mid, yBase)) {
            tk_log(1, "GOT UNDERLINE (%lg,%lg,%lg)", u.xMin, u.xMax, yBase);
            return true;
        }
    }

    if (lines.size() != line_paints.size())
        throw tk_mail_assertion(PDF_ULIN_FILE, 669);

    for (size_t i = 0; i < lines.size(); ++i) {
        const line_rect& l = lines[i];
        // the base line first: most lines are far from it (traced, every line is compared)
        const double mid = line_middle(l);
        if (!trace && !within_reach(mid, yBase))
            continue;
        const double x0 = l.xMin / px_per_pt;
        const double x1 = l.xMax / px_per_pt;
        tk_log(1, "Comparing with: %lg,%lg,%lg", x0, x1, mid);
        if (!(xMin >= x0 - 0.5 && xMax <= x1 + 0.5 && within_reach(mid, yBase)))
            continue;
        const line_paint& p = *line_paints[i];
        const int R = p.red, G = p.green, B = p.blue;
        const bool same = std::abs(r - R) <= 2 && std::abs(g - G) <= 2 && std::abs(b - B) <= 2;
        const bool both_full = (near_full(r) || near_full(g) || near_full(b)) &&
                               (near_full(R) || near_full(G) || near_full(B));
        if (!same && !both_full)
            continue;
        tk_log(1, "GOT UNDERLINE (%lg,%lg,%lg)", x0, x1, yBase);
        line_rect u;
        u.key = 0;
        u.xMin = x0;
        u.xMax = x1;
        u.yMin = yBase;
        u.yMax = yBase;
        underlines.push_back(u);
        remove_line(i);
        return true;
    }
    return false;
}

std::vector<double> pdf_uline_processor::line_middles() const
{
    std::vector<double> middles;
    middles.reserve(lines.size());
    for (const line_rect& l : lines)
        middles.push_back(line_middle(l));
    std::sort(middles.begin(), middles.end());
    return middles;
}

bool pdf_uline_processor::near_underline(const std::vector<double>& middles, double yBase) const
{
    for (auto m = std::lower_bound(middles.begin(), middles.end(), yBase - 3); m != middles.end() && *m <= yBase + 3;
         ++m)
        if (within_reach(*m, yBase))
            return true;
    for (const line_rect& u : underlines)
        if (within_reach(underline_middle(u), yBase))
            return true;
    return false;
}

int pdf_uline_processor::process_is_inCell(double xMin, double xMax, double yMin, double yMax)
{
    tk_log(1, "pdf_uline_processor::process_is_inCell");
    tk_log(1, "Text coordinates: %lg,%lg,%lg,%lg", xMin, xMax, yMin, yMax);
    for (const reg_item& t : tables) {
        tk_log(1, "Compare with region(%f,%f,%f,%f,%d)", t.xMin, t.xMax, t.yMin, t.yMax, t.number);
        const int c = t.is_inCell(xMin, xMax, yMin, yMax);
        // A cell index from 10000 on would read back as a cell of the next table: such a
        // box counts as outside every table.
        if (c >= 10000)
            return 0;
        if (c >= 0)
            return t.number * 10000 + c;
    }
    return 0;
}

int pdf_uline_processor::reg_item::is_inCell(double bxMin, double bxMax, double byMin, double byMax) const
{
    // "для текста" in Windows-1251
    tk_log(1, "pdf_uline_processor::reg_item::is_inCell \xE4\xEB\xFF \xF2\xE5\xEA\xF1\xF2\xE0 x=%lg..%lg,y=%lg..%lg",
           bxMin, bxMax, byMin, byMax);
    const auto inside = [&](double x0, double x1, double y0, double y1) {
        return y0 - 2.5 < byMin && byMax < y1 + 2.5 && x0 - 2.5 < bxMin && bxMax < x1 + 2.5;
    };
    if (!inside(xMin, xMax, yMin, yMax))
        return -1;
    const size_t grid_rows = rows > 1 ? static_cast<size_t>(rows - 1) : 0;
    const size_t grid_columns = columns > 1 ? static_cast<size_t>(columns - 1) : 0;
    if (grid_rows * grid_columns == cells.size() && !cells.empty()) {
        // The cells are a grid, row by row: the first that holds the box lies in the first
        // row and the first column that do.
        size_t row = 0, column = 0;
        while (row < grid_rows && !(cells[row * grid_columns].yMin - 2.5 < byMin &&
                                    byMax < cells[row * grid_columns].yMax + 2.5))
            ++row;
        while (column < grid_columns && !(cells[column].xMin - 2.5 < bxMin && bxMax < cells[column].xMax + 2.5))
            ++column;
        if (row == grid_rows || column == grid_columns)
            return -1;
        return static_cast<int>(row * grid_columns + column);
    }
    for (size_t k = 0; k < cells.size(); ++k) {
        const cell& c = cells[k];
        if (inside(c.xMin, c.xMax, c.yMin, c.yMax))
            return static_cast<int>(k);
    }
    return -1;
}

const pdf_uline_processor::reg_item* pdf_uline_processor::table_of(int cell_code) const
{
    if (cell_code <= 0)
        return nullptr;
    const size_t n = static_cast<size_t>(cell_code / 10000);
    if (n == 0 || n > tables.size())
        return nullptr;
    return &tables[n - 1];
}

const pdf_uline_processor::cell* pdf_uline_processor::cell_of(int cell_code) const
{
    const reg_item* t = table_of(cell_code);
    if (t == nullptr)
        return nullptr;
    const size_t c = static_cast<size_t>(cell_code % 10000);
    return c < t->cells.size() ? &t->cells[c] : nullptr;
}
