// Building the page regions from the page's lines.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <unordered_map>

#include "PDFR/pdf_ulin.h"
#include "TK/tk_log.h"
#include "karvel/text_block.h"
#include "karvel/text_line.h"
#include "karvel/text_region.h"
#include "karvel/text_region_band.h"

namespace kvl {

namespace {

using region_ptr = std::unique_ptr<TextRegion>;

int line_base_order(const void* a, const void* b)
{
    const TextLine* la = *static_cast<TextLine* const*>(a);
    const TextLine* lb = *static_cast<TextLine* const*>(b);
    if (la->base != lb->base)
        return la->base < lb->base ? -1 : 1;
    if (la->xMin != lb->xMin)
        return la->xMin < lb->xMin ? -1 : 1;
    return 0;
}

// A column's lines are sorted by line_base_order after each attach: the lines already
// sorted, then those added since. qsort sorts them with a merge sort, which keeps alike
// lines (the same base line and left edge) in the order they stand (glibc falls back to an
// unstable quicksort only when the buffer, as large as the array, is more than a quarter
// of the memory or cannot be allocated). While every base line and left edge is a number,
// the lines are kept in a multiset in that order instead (TextColumn::linesByBase): each
// new line goes after the alike lines already there, as in the merge. They are put in the
// column in that order once, when they are read. From the first base line or left edge
// that is no number on (the comparison is then no order), the column is put in order and
// sorted after each attach, as it would have been.

// Writes the multiset's order into the column's lines.
void putInOrder(TextColumn& column)
{
    if (column.linesInSet == 0)
        return;
    std::copy(column.linesByBase.begin(), column.linesByBase.end(), column.lines.begin());
    column.linesByBase.clear();
    column.linesInSet = 0;
}

void sortByBase(TextColumn& column)
{
    std::vector<TextLine*>& lines = column.lines;
    if (!TextRegionList::directBuilding && !column.linesUnordered) {
        size_t i = column.linesInSet;
        while (i < lines.size() && !std::isnan(lines[i]->base) && !std::isnan(lines[i]->xMin))
            ++i;
        if (i == lines.size()) {
            for (size_t j = column.linesInSet; j < i; ++j)
                column.linesByBase.insert(lines[j]);
            column.linesInSet = i;
            return;
        }
        column.linesUnordered = true;
    }
    putInOrder(column);
    std::qsort(lines.data(), lines.size(), sizeof(TextLine*), &line_base_order);
}

// The same for every column of the region and of the regions inside them.
void putInOrder(TextRegion& region)
{
    for (std::unique_ptr<TextColumn>& c : region.columns) {
        putInOrder(*c);
        for (std::unique_ptr<TextRegion>& s : c->nested)
            putInOrder(*s);
        if (c->pending != nullptr && !c->pendingInNested)
            putInOrder(*c->pending);
    }
}

bool is_tiny(const TextLine* line)
{
    return line->len == 1 && std::fabs(line->xMin - line->xMax) < 0.3;
}

// The builder of one page's regions.
// Steps of work (lines and tree nodes looked at) between two looks at the stop check.
constexpr size_t stopEvery = 65536;

// Thrown by a look at the stop check that says stop; the building then ends with the
// regions of the lines placed so far.
struct building_stopped {};

class region_builder {
public:
    region_builder(TextRegionList& list, double pageFontSize) : list_(list), fontSize_(pageFontSize) {}

    void run(TextBlock** blocks, int nBlocks);

private:
    // The size of line j (region_line_size), or noWords for a line without words. The
    // lines' average font sizes are worked out once: the band scans below meet the lines of
    // one row once for each line of it, which for words piled onto one base line are many.
    double size_or(size_t j, double noWords) const
    {
        if (lines_[j]->words == nullptr)
            return noWords;
        return averageSizes_[j] > 0 ? averageSizes_[j] : fontSize_;
    }
    // End (exclusive) of the band of line i. The tests of one line ask for its band several
    // times; the lines' extents and sizes do not change while the regions are built, so
    // the band of the line asked for last is kept.
    size_t bandEnd(size_t i);
    size_t bandEndDirect(size_t i) const;
    bool testA(size_t i, const TextRegion& r);
    bool testADirect(size_t i, const TextRegion& r);
    int testB(size_t i, const TextRegion& r, int onlyColumn = -1);
    int testBDirect(size_t i, const TextRegion& r, int onlyColumn);
    // Whether a line of [a, b) overlaps two or more of r's columns (ratio above 0.01).
    bool spreadsOver(size_t a, size_t b, const TextRegion& r);
    // Whether two lines of [a, b) overlap the column (ratio at least 0.01); the first two
    // go into hits.
    bool firstTwoIn(size_t a, size_t b, const TextColumn& c, size_t hits[2]);
    bool columnEnd(size_t i, const TextRegion& r);
    bool belongs(const TextLine* line, const TextRegion& r, int k) const;
    int findColumn(const TextLine* line, const TextRegion& r) const;

    void putRegion(region_ptr r);
    void finishRegion(TextRegion& r) const;
    void closePending(TextColumn& column, bool flag) const;
    void attach(TextColumn& column, region_ptr s, bool flag) const;
    void addTable(size_t i, region_ptr& current);
    void addOrdinary(size_t i, region_ptr& current);
    region_ptr openRegion() { return region_ptr(new TextRegion(nextNumber_++, 0)); }
    // Counts steps of work and looks at the stop check once enough were taken since the
    // last look (the band walks count theirs themselves).
    void spend(size_t steps)
    {
        work_ += steps;
        if (work_ + bands_->work() < nextLook_)
            return;
        nextLook_ = work_ + bands_->work() + stopEvery;
        if (list_.stop.requested())
            throw building_stopped();
    }

    TextRegionList& list_;
    double fontSize_;
    std::vector<TextLine*> lines_;
    std::vector<double> averageSizes_; // TextLine::averageFontSize of each of lines_
    std::vector<double> bandSizes_;    // size_or(j, 7.0) of each of lines_
    std::unique_ptr<region_bands> bands_;
    size_t bandOf_ = static_cast<size_t>(-1), bandEnd_ = 0;
    int nextNumber_ = 0;
    size_t work_ = 0, nextLook_ = stopEvery;

    // What a band walk found nothing of, for columns whose extents have not changed since.
    // Whether a line overlaps a column depends on the two extents only, and what holds for
    // a stretch of lines holds for a part of it, so the bands of the next lines, which
    // mostly lie in the stretch, are not walked again. Keyed by the region or column looked
    // at; an entry holds the extents it is true for, so that an entry of a region or column
    // freed since is merely of no use.
    struct spread_seen { // no line of [from, to) overlaps two of the columns
        std::vector<double> extents;
        size_t from = 0, to = 0;
    };
    struct column_seen { // fewer than two lines of [from, to) overlap the column
        double xMin = 0, xMax = 0;
        size_t from = 0, to = 0;
    };
    std::unordered_map<const TextRegion*, spread_seen> spreadSeen_;
    std::unordered_map<const TextColumn*, column_seen> columnSeen_;
};

// Bands at most this long are walked without the records above.
constexpr size_t shortBand = 16;
// Records kept before they are all dropped (they are only a shortcut).
constexpr size_t seenLimit = 256;

bool spreads(const TextLine* m, const TextRegion& r)
{
    int hits = 0;
    for (const std::unique_ptr<TextColumn>& c : r.columns)
        if (overlapRatio(m->xMin, m->xMax, c->xMin, c->xMax) > 0.01 && ++hits == 2)
            return true;
    return false;
}

bool meets(const TextLine* m, const TextColumn& c)
{
    return !(overlapRatio(m->xMin, m->xMax, c.xMin, c.xMax) < 0.01);
}

// testB's verdict from the first two lines of a band that overlap one column.
int group_verdict(const TextLine* first, const TextLine* second)
{
    return (second->groupId != 0 && first->groupId != 0 && second->groupId != first->groupId) ? 2 : 1;
}

size_t region_builder::bandEnd(size_t i)
{
    if (i == bandOf_)
        return bandEnd_;
    bandOf_ = i;
    bandEnd_ = TextRegionList::directBuilding ? bandEndDirect(i) : bands_->end(i);
    spend(0);
    return bandEnd_;
}

size_t region_builder::bandEndDirect(size_t i) const
{
    const TextLine* li = lines_[i];
    size_t j = i;
    for (; j < lines_.size(); ++j) {
        const TextLine* m = lines_[j];
        const bool apart = std::fabs(m->base - li->base) > 0.7 * size_or(j, 7.0) &&
                           overlapRatio(li->yMin, li->yMax, m->yMin, m->yMax) < 0.4;
        if (apart || li->xMin > m->xMin + 0.5)
            break;
    }
    return std::max(j, i + 1);
}

bool region_builder::testA(size_t i, const TextRegion& r)
{
    if (TextRegionList::directBuilding)
        return testADirect(i, r);
    const size_t end = bandEnd(i);
    bands_->raiseOffsets(i, end);
    spend(0);
    return r.columnCount() >= 2 && spreadsOver(i, end, r);
}

bool region_builder::spreadsOver(size_t a, size_t b, const TextRegion& r)
{
    if (b - a <= shortBand)
        return std::any_of(lines_.begin() + a, lines_.begin() + b, [&](const TextLine* m) { return spreads(m, r); });
    if (spreadSeen_.size() > seenLimit)
        spreadSeen_.clear();
    spread_seen& seen = spreadSeen_[&r];
    bool known = seen.extents.size() == 2 * r.columns.size() && seen.from <= a && b <= seen.to;
    for (size_t k = 0; known && k < r.columns.size(); ++k)
        known = same_bits(seen.extents[2 * k], r.columns[k]->xMin) &&
                same_bits(seen.extents[2 * k + 1], r.columns[k]->xMax);
    if (known)
        return false;
    for (size_t j = a; j < b; ++j) {
        spend(r.columns.size());
        if (spreads(lines_[j], r))
            return true;
    }
    seen.extents.clear();
    for (const std::unique_ptr<TextColumn>& c : r.columns) {
        seen.extents.push_back(c->xMin);
        seen.extents.push_back(c->xMax);
    }
    seen.from = a;
    seen.to = b;
    return false;
}

bool region_builder::testADirect(size_t i, const TextRegion& r)
{
    TextLine* l = lines_[i];
    bool found = false;
    const size_t end = bandEnd(i);
    for (size_t j = i; j < end; ++j) {
        TextLine* m = lines_[j];
        const int off = static_cast<int>(std::fabs(m->base - l->base) + 0.45);
        m->rowOffset = std::max(m->rowOffset, off);
        int hits = 0;
        for (const std::unique_ptr<TextColumn>& c : r.columns)
            if (overlapRatio(m->xMin, m->xMax, c->xMin, c->xMax) > 0.01)
                ++hits;
        if (hits >= 2)
            found = true;
    }
    return found;
}

int region_builder::testB(size_t i, const TextRegion& r, int onlyColumn)
{
    if (TextRegionList::directBuilding)
        return testBDirect(i, r, onlyColumn);
    const size_t end = bandEnd(i);
    for (int k = 0; k < r.columnCount(); ++k) {
        if (onlyColumn >= 0 && k != onlyColumn)
            continue;
        size_t hits[2];
        if (firstTwoIn(i, end, *r.columns[static_cast<size_t>(k)], hits))
            return group_verdict(lines_[hits[0]], lines_[hits[1]]);
    }
    return 0;
}

bool region_builder::firstTwoIn(size_t a, size_t b, const TextColumn& c, size_t hits[2])
{
    column_seen* seen = nullptr;
    if (b - a > shortBand) {
        if (columnSeen_.size() > seenLimit)
            columnSeen_.clear();
        seen = &columnSeen_[&c];
        if (same_bits(seen->xMin, c.xMin) && same_bits(seen->xMax, c.xMax) && seen->from <= a && b <= seen->to)
            return false;
    }
    int n = 0;
    for (size_t j = a; j < b; ++j) {
        spend(1);
        if (meets(lines_[j], c)) {
            hits[n++] = j;
            if (n == 2)
                return true;
        }
    }
    if (seen != nullptr)
        *seen = column_seen{c.xMin, c.xMax, a, b};
    return false;
}

int region_builder::testBDirect(size_t i, const TextRegion& r, int onlyColumn)
{
    const size_t end = bandEnd(i);
    for (int k = 0; k < r.columnCount(); ++k) {
        if (onlyColumn >= 0 && k != onlyColumn)
            continue;
        const TextColumn& c = *r.columns[static_cast<size_t>(k)];
        int hits = 0;
        int firstGroup = 0;
        for (size_t j = i; j < end; ++j) {
            const TextLine* m = lines_[j];
            if (overlapRatio(m->xMin, m->xMax, c.xMin, c.xMax) < 0.01)
                continue;
            if (++hits == 2)
                return (m->groupId != 0 && firstGroup != 0 && m->groupId != firstGroup) ? 2 : 1;
            if (firstGroup == 0)
                firstGroup = m->groupId;
        }
    }
    return 0;
}

bool region_builder::columnEnd(size_t i, const TextRegion& r)
{
    const TextLine* l = lines_[i];
    const double s = size_or(i, 0.0);
    const double p = i > 0 ? size_or(i - 1, 0.0) : s;
    if (overlapRatio(l->yMin, l->yMax, r.yMin, r.yMax) > 0.45)
        return false;
    if (i > 0 && std::fabs(lines_[i - 1]->base - l->base) < (l->words ? 0.4 * s : 4.0))
        return false;
    int count = 0;
    for (size_t j = i; j < lines_.size(); ++j) {
        const TextLine* m = lines_[j];
        const double ms = size_or(j, 7.0);
        if (std::fabs(m->base - l->base) > 0.95 * ms || overlapRatio(m->yMin, m->yMax, l->yMin, l->yMax) < 0.05)
            break;
        ++count;
        spend(1);
        if (r.columnCount() <= 2) {
            // Then only whether the row holds three lines matters.
            if (count == 3 && !TextRegionList::directBuilding)
                break;
            continue;
        }
        for (int k = 0; k < r.columnCount(); ++k) {
            const TextColumn& c = *r.columns[static_cast<size_t>(k)];
            spend(1);
            if (k > 0 && (std::fabs(m->xMin - c.xMin) <= 0.1 || std::fabs(m->xMax - c.xMax) <= 0.1) &&
                m->yMin - r.yMax < 8 * ms)
                return false;
            if (m->xMin >= c.xMin - 0.1 && m->xMax <= c.xMax + 0.1) {
                spend(c.lines.size());
                for (const TextLine* cl : c.lines)
                    if (std::fabs(cl->xMin - m->xMin) <= 0.1 || std::fabs(cl->xMax - m->xMax) <= 0.1)
                        return false;
            }
        }
    }
    const int ncols = r.columnCount();
    if (r.maxLines >= 6 && ncols >= 4 && count > 0 &&
        (static_cast<double>(count) / ncols < 0.5 || static_cast<double>(ncols) / count < 0.5))
        return true;
    if (s > 0 && (p / s < 0.5 || p / s > 2.0))
        return true;
    if (r.maxLines >= 3 && l->yMax - 0.1 > r.yMax && overlapRatio(r.xMin, r.xMax, l->xMin, l->xMax) < 0)
        return true;
    if (l->yMin - r.yMax > (l->words ? 4 * s : 7.0))
        return true;
    return count >= 3 && testB(i, r) != 0;
}

bool region_builder::belongs(const TextLine* l, const TextRegion& r, int k) const
{
    const TextColumn& c = *r.columns[static_cast<size_t>(k)];
    const double h = overlapRatio(l->xMin, l->xMax, c.xMin, c.xMax);
    if (h > 0.45)
        return true;
    if (c.groupId != 0 && c.groupId != l->groupId && c.pending == nullptr)
        return false;
    const double v = overlapRatio(l->yMin, l->yMax, r.yMin, r.yMax);
    if (h > 0.01 && v > 0.98)
        return true;
    if (overlapRatioToLonger(l->xMin, l->xMax, c.xMin, c.xMax) > -0.03 && v > 0.98 && r.maxLines == 1 &&
        k == r.columnCount() - 1)
        return true;
    return h > 0.25 && v > 0.25;
}

int region_builder::findColumn(const TextLine* line, const TextRegion& r) const
{
    for (int k = 0; k < r.columnCount(); ++k)
        if (belongs(line, r, k))
            return k;
    return -1;
}

void region_builder::putRegion(region_ptr r)
{
    list_.regions.push_back(std::move(r));
}

void region_builder::finishRegion(TextRegion& r) const
{
    r.sortColumns();
    r.recomputeExtents();
    const bool flag = r.columnCount() > 3;
    for (std::unique_ptr<TextColumn>& c : r.columns)
        closePending(*c, flag);
}

void region_builder::closePending(TextColumn& column, bool flag) const
{
    TextRegion* s = column.pending;
    if (s == nullptr)
        return;
    column.pending = nullptr;
    if (column.pendingInNested) {
        column.pendingInNested = false;
        return;
    }
    region_ptr owned(s);
    if (owned->columns.empty())
        return;
    owned->sortColumns();
    owned->recomputeExtents();
    attach(column, std::move(owned), flag);
}

void region_builder::attach(TextColumn& column, region_ptr s, bool flag) const
{
    s->number = static_cast<int>(column.nested.size());
    if (flag || (s->weight == 0 && (s->maxLines < 2 || s->columnCount() < 2))) {
        for (std::unique_ptr<TextColumn>& c : s->columns) {
            putInOrder(*c);
            for (TextLine* line : c->lines)
                column.addLine(line);
        }
        if (!column.lines.empty())
            sortByBase(column);
        return;
    }
    column.widen(*s);
    column.nested.push_back(std::move(s));
}

void region_builder::addTable(size_t i, region_ptr& current)
{
    TextLine* l = lines_[i];
    const int t = l->cellCode / 10000;
    pdf_uline_processor& proc = tk_singleton<pdf_uline_processor>::instance();
    const pdf_uline_processor::reg_item* table = proc.table_of(l->cellCode);
    if (table == nullptr) {
        // A code that names no table: the line is ordinary text.
        l->cellCode = 0;
        addOrdinary(i, current);
        return;
    }
    region_ptr tr(new TextRegion(0, 0));
    tr->weight = static_cast<int>(20.0 * table->rule_width);
    tr->xMin = table->xMin;
    tr->xMax = table->xMax;
    tr->yMin = table->yMin;
    tr->yMax = table->yMax;
    tr->boxSet = true;
    const int ncols = std::max(1, table->columns - 1);
    for (int k = 0; k < ncols; ++k) {
        double x0 = table->xMin;
        double x1 = table->xMax;
        if (static_cast<size_t>(k) < table->cells.size()) {
            x0 = table->cells[static_cast<size_t>(k)].xMin;
            x1 = table->cells[static_cast<size_t>(k)].xMax;
        }
        tr->addColumn(std::unique_ptr<TextColumn>(new TextColumn(x0, x1, table->yMin, table->yMax)));
    }

    TextColumn* holder = nullptr;
    if (current && !current->columns.empty()) {
        for (std::unique_ptr<TextColumn>& c : current->columns)
            if (c->xMin <= tr->xMin && tr->xMax <= c->xMax) {
                holder = c.get();
                break;
            }
    }
    TextRegion* table_region = tr.get();
    if (holder != nullptr) {
        closePending(*holder, current->columnCount() > 3);
        tr->level = current->columnCount();
        tr->number = static_cast<int>(holder->nested.size());
        // A ruled table is always kept as a nested region of its column.
        holder->widen(*tr);
        holder->nested.push_back(std::move(tr));
        holder->pending = table_region;
        holder->pendingInNested = true;
        current->widen(*holder);
    } else {
        if (current)
            finishRegion(*current);
        if (current)
            putRegion(std::move(current));
        table_region->number = nextNumber_++;
    }

    spend(lines_.size() - i);
    for (size_t j = i; j < lines_.size(); ++j) {
        TextLine* m = lines_[j];
        if (m->cellCode < 10000 || m->cellCode / 10000 != t)
            continue;
        const int cellIndex = m->cellCode % 10000;
        TextColumn& c = *table_region->columns[static_cast<size_t>(cellIndex % ncols)];
        bands_->settle(j);
        c.addLine(m);
        m->cellCode = -m->cellCode;
        table_region->widen(c);
    }

    if (holder == nullptr) {
        putRegion(std::move(tr));
        current = openRegion();
        return;
    }
    TextColumn* pendingHolder = nullptr;
    for (std::unique_ptr<TextColumn>& c : current->columns)
        if (c->pending == table_region)
            pendingHolder = c.get();
    if (pendingHolder == nullptr) {
        tk_log(3, "Error in PageRegionsBuilding");
        std::fputs("error in PageRegionsBuilding\n", stdout);
        return;
    }
    pendingHolder->widen(*table_region);
    current->widen(*pendingHolder);
    pendingHolder->pending = nullptr;
    pendingHolder->pendingInNested = false;
}

void region_builder::addOrdinary(size_t i, region_ptr& current)
{
    TextLine* l = lines_[i];
    if (!current)
        current = openRegion();
    const bool a = testA(i, *current);
    const int b = testB(i, *current);
    if (!current->columns.empty() && (a || b == 2 || columnEnd(i, *current))) {
        finishRegion(*current);
        putRegion(std::move(current));
        current = openRegion();
    }
    TextRegion& r = *current;
    int k = findColumn(l, r);
    if (k >= 0 && r.columns[static_cast<size_t>(k)]->pending != nullptr) {
        TextColumn& col = *r.columns[static_cast<size_t>(k)];
        TextRegion& s = *col.pending;
        bool close = s.columns.empty() || testA(i, s) || testB(i, s) != 0;
        if (!close) {
            const double d = std::fabs(s.yMax - l->base);
            bool overlaps = false;
            for (const std::unique_ptr<TextColumn>& c : s.columns)
                if (overlapRatio(l->xMin, l->xMax, c->xMin, c->xMax) > 0.01)
                    overlaps = true;
            close = (d > 10.0 && !overlaps) || d > 40.0;
        }
        if (!close) {
            const int ks = findColumn(l, s);
            if (ks >= 0) {
                s.columns[static_cast<size_t>(ks)]->addLine(l);
                s.widen(*s.columns[static_cast<size_t>(ks)]);
            } else {
                s.addColumn(std::unique_ptr<TextColumn>(new TextColumn(l, fontSize_)));
            }
            col.widen(s);
            r.widen(col);
            return;
        }
        closePending(col, r.columnCount() > 3);
    }
    if (k >= 0) {
        TextColumn& col = *r.columns[static_cast<size_t>(k)];
        if (testB(i, r, k) != 0) {
            col.pending = new TextRegion(0, r.columnCount());
            col.pendingInNested = false;
            col.pending->addColumn(std::unique_ptr<TextColumn>(new TextColumn(l, fontSize_)));
            col.widen(*col.pending);
        } else {
            col.addLine(l);
        }
        r.widen(col);
        return;
    }
    std::unique_ptr<TextColumn> c(new TextColumn(l, fontSize_));
    if (!r.columns.empty()) {
        bool side = false;
        for (const std::unique_ptr<TextColumn>& rc : r.columns)
            if (overlapRatio(rc->xMin, rc->xMax, c->xMin, c->xMax) >= 0.01)
                side = true;
        if (side && overlapRatio(r.yMin, r.yMax, c->yMin, c->yMax) < 0.01) {
            finishRegion(*current);
            putRegion(std::move(current));
            current = openRegion();
        }
    }
    current->addColumn(std::move(c));
}

void region_builder::run(TextBlock** blocks, int nBlocks)
{
    TextRegion* vertical = nullptr;
    for (int b = 0; b < nBlocks; ++b) {
        TextBlock* block = blocks[b];
        if (block == nullptr)
            continue;
        if (block->rot == 1 || block->rot == 3) {
            if (block->lines == nullptr)
                continue;
            std::unique_ptr<TextColumn> c(new TextColumn(block->lines, fontSize_));
            for (TextLine* line = block->lines->next; line != nullptr; line = line->next)
                c->addLine(line);
            if (vertical == nullptr) {
                list_.regions.push_back(region_ptr(new TextRegion(region_skip_marker, 0)));
                vertical = list_.regions.back().get();
            }
            vertical->addColumn(std::move(c));
            continue;
        }
        for (TextLine* line = block->lines; line != nullptr; line = line->next)
            lines_.push_back(line);
    }
    if (lines_.empty())
        return;
    std::qsort(lines_.data(), lines_.size(), sizeof(TextLine*), &cmpLineReading);
    averageSizes_.reserve(lines_.size());
    for (const TextLine* line : lines_)
        averageSizes_.push_back(line->averageFontSize());
    bandSizes_.reserve(lines_.size());
    for (size_t j = 0; j < lines_.size(); ++j)
        bandSizes_.push_back(size_or(j, 7.0));
    bands_.reset(new region_bands(lines_, bandSizes_));

    region_ptr current;
    if (lines_[0]->cellCode < 10000)
        current = openRegion();
    try {
        for (size_t i = 0; i < lines_.size(); ++i) {
            spend(1);
            TextLine* l = lines_[i];
            if (is_tiny(l) || l->cellCode < 0)
                continue;
            bands_->settle(i);
            if (l->cellCode >= 10000)
                addTable(i, current);
            else
                addOrdinary(i, current);
        }
    } catch (const building_stopped&) {
        // Seen in the tests of a line or while a table's lines were placed: the regions
        // built so far are whole.
    }
    if (current && !current->columns.empty()) {
        finishRegion(*current);
        putRegion(std::move(current));
    }
    bands_->settleAll();
}

} // namespace

void TextRegionList::PageRegionsBuilding(TextBlock** blocks, int nBlocks, double pageFontSize)
{
    region_builder(*this, pageFontSize).run(blocks, nBlocks);
    for (std::unique_ptr<TextRegion>& r : regions)
        putInOrder(*r);
}

} // namespace kvl
