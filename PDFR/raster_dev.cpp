#include "PDFR/raster_dev.h"

#include <GfxFont.h>
#include <GfxState.h>
#include <Page.h>
#include <splash/Splash.h>
#include <splash/SplashBitmap.h>
#include <splash/SplashPath.h>
#include <splash/SplashState.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>

#include "PDFR/pdf_ulin.h"
#include "TK/tk_log.h"

namespace {

// Dash pieces looked at per stroke; a dash pattern far finer than a pixel must not make
// one stroke cost without bound.
constexpr long max_dash_pieces = 100000;
// Curve splits: as fine as the rasteriser's flattening goes.
constexpr int max_curve_depth = 10;
// Flattened segments of one wide stroke whose outline is worked out whole: about 100 MB
// of outline. Beyond it a stroke whose outline surely captures nothing (some of it lies
// outside the clip, or the box it surely covers is not inside the clip or is thick both
// ways) is decided without it; any other is outlined a chunk at a time, a dashed one by
// the pieces that bound its dashing, as beyond the cap on dash pieces.
constexpr size_t outline_budget = 250000;
// Segments outlined at a time beyond it.
constexpr size_t chunk_segments = 4096;

int floor_int(double v)
{
    const double f = std::floor(v);
    if (!(f > -2147483000.0))
        return -2147483000;
    if (!(f < 2147483000.0))
        return 2147483000;
    return static_cast<int>(f);
}

void transform(const double* m, double x, double y, double* tx, double* ty)
{
    *tx = m[0] * x + m[2] * y + m[4];
    *ty = m[1] * x + m[3] * y + m[5];
}

// Flattens one cubic curve in user space; the test of flatness is made in px.
void flatten_curve(const double* m, double x0, double y0, double x1, double y1, double x2, double y2, double x3,
                   double y3, int depth, std::vector<double>& xs, std::vector<double>& ys)
{
    double dx0, dy0, dx1, dy1, dx2, dy2, dx3, dy3;
    transform(m, x0, y0, &dx0, &dy0);
    transform(m, x1, y1, &dx1, &dy1);
    transform(m, x2, y2, &dx2, &dy2);
    transform(m, x3, y3, &dx3, &dy3);
    // distance of the control points from the chord's thirds, squared; half a pixel is flat
    const double ax = dx1 - (2 * dx0 + dx3) / 3, ay = dy1 - (2 * dy0 + dy3) / 3;
    const double bx = dx2 - (dx0 + 2 * dx3) / 3, by = dy2 - (dy0 + 2 * dy3) / 3;
    const double d = std::max(ax * ax + ay * ay, bx * bx + by * by);
    if (depth >= max_curve_depth || !(d > 0.25)) {
        xs.push_back(x3);
        ys.push_back(y3);
        return;
    }
    const double x01 = (x0 + x1) / 2, y01 = (y0 + y1) / 2;
    const double x12 = (x1 + x2) / 2, y12 = (y1 + y2) / 2;
    const double x23 = (x2 + x3) / 2, y23 = (y2 + y3) / 2;
    const double xa = (x01 + x12) / 2, ya = (y01 + y12) / 2;
    const double xb = (x12 + x23) / 2, yb = (y12 + y23) / 2;
    const double xm = (xa + xb) / 2, ym = (ya + yb) / 2;
    flatten_curve(m, x0, y0, x01, y01, xa, ya, xm, ym, depth + 1, xs, ys);
    flatten_curve(m, xm, ym, xb, yb, x23, y23, x3, y3, depth + 1, xs, ys);
}

// The state's dash pattern with negative lengths taken as 0, and the pattern's period.
struct dash_pattern {
    std::vector<double> lengths;
    double phase = 0;
    double period = 0;
};

dash_pattern line_dash(GfxState* state)
{
    dash_pattern d;
    const std::vector<double>& lengths = state->getLineDash(&d.phase);
    d.lengths.reserve(lengths.size());
    for (double v : lengths) {
        d.lengths.push_back(v > 0 ? v : 0);
        d.period += d.lengths.back();
    }
    return d;
}

// Whether the stroker dashes every path into nothing by the pattern: its lengths (negative
// ones taken as 0) add up to nothing. The phase, the width and the path do not count then.
bool dashes_to_nothing(const dash_pattern& d)
{
    return !d.lengths.empty() && !(d.period > 0);
}

struct seg {
    double x0, y0, x1, y1;
};

// A path of exactly four segments that bounds an axis-aligned rectangle, in the
// order a rectangle is drawn; the result is two opposite corners.
bool is_rectangle(const std::vector<seg>& s, double* x0, double* y0, double* x1, double* y1)
{
    if (s.size() != 4)
        return false;
    const bool vert_first = s[0].x0 == s[0].x1 && s[0].x0 == s[1].x0 && s[0].x0 == s[3].x1 && s[2].x0 == s[2].x1 &&
                            s[2].x0 == s[1].x1 && s[2].x0 == s[3].x0 && s[1].y0 == s[1].y1 &&
                            s[1].y0 == s[0].y1 && s[1].y0 == s[2].y0 && s[3].y0 == s[3].y1 &&
                            s[3].y0 == s[0].y0 && s[3].y0 == s[2].y1;
    const bool horiz_first = s[0].y0 == s[0].y1 && s[0].y0 == s[1].y0 && s[0].y0 == s[3].y1 &&
                             s[2].y0 == s[2].y1 && s[2].y0 == s[1].y1 && s[2].y0 == s[3].y0 &&
                             s[1].x0 == s[1].x1 && s[1].x0 == s[0].x1 && s[1].x0 == s[2].x0 &&
                             s[3].x0 == s[3].x1 && s[3].x0 == s[0].x0 && s[3].x0 == s[2].x1;
    if (!vert_first && !horiz_first)
        return false;
    *x0 = s[0].x0;
    *y0 = s[0].y0;
    *x1 = s[2].x0;
    *y1 = s[2].y0;
    return true;
}

} // namespace

raster_dev::raster_dev(double dpi)
    : dpi_(dpi), outline_budget_(outline_budget), chunk_segments_(chunk_segments)
{
    SplashColor paper;
    paper[0] = paper[1] = paper[2] = 255;
    bitmap_ = std::make_unique<SplashBitmap>(1, 1, 1, splashModeRGB8, false, true);
    splash_ = std::make_unique<Splash>(bitmap_.get(), true);
    splash_->clear(paper);
}

raster_dev::~raster_dev() = default;

void raster_dev::startDoc(PDFDoc*)
{
    small_glyphs_.clear();
    procedures_.clear();
}

void raster_dev::startPage(int, GfxState* state, XRef*)
{
    // The page as the interpreter sets it up at this device's resolution: the same box
    // and rotation, so the same device matrix and page size.
    PDFRectangle box;
    int rotate = 0;
    if (state != nullptr) {
        box = PDFRectangle(state->getX1(), state->getY1(), state->getX2(), state->getY2());
        rotate = state->getRotate();
    }
    space_ = std::make_unique<GfxState>(dpi_, dpi_, &box, rotate, true);
    page_w_ = space_->getPageWidth();
    page_h_ = space_->getPageHeight();
    // The bitmap of the page is the page box rounded to whole pixels.
    int w = 1, h = 1;
    if (state != nullptr) {
        const double pw = page_w_ + 0.5, ph = page_h_ + 0.5;
        w = pw >= 1 && pw < 2147483000.0 ? static_cast<int>(pw) : 1;
        h = ph >= 1 && ph < 2147483000.0 ? static_cast<int>(ph) : 1;
    }
    clip_ = clip_box();
    clip_.xMax = w - 0.001;
    clip_.yMax = h - 0.001;
    saved_.clear();
    glyph_runs_.clear();
    groups_.clear();
    soft_masks_ = 0;
}

const double* raster_dev::device_matrix() const
{
    static const double none[6] = {1, 0, 0, 1, 0, 0};
    return space_ ? space_->getCTM() : none;
}

void raster_dev::saveState(GfxState*)
{
    saved_state s;
    s.clip = clip_;
    std::copy(device_matrix(), device_matrix() + 6, s.ctm);
    saved_.push_back(s);
}

void raster_dev::restoreState(GfxState*)
{
    if (!saved_.empty()) {
        const saved_state& s = saved_.back();
        clip_ = s.clip;
        if (space_)
            space_->setCTM(s.ctm[0], s.ctm[1], s.ctm[2], s.ctm[3], s.ctm[4], s.ctm[5]);
        saved_.pop_back();
        end_glyph_runs();
    }
}

void raster_dev::updateCTM(GfxState*, double m11, double m12, double m21, double m22, double m31, double m32)
{
    if (space_)
        space_->concatCTM(m11, m12, m21, m22, m31, m32);
}

bool raster_dev::beginType3Char(GfxState* state, double x, double y, double, double, CharCode code, const Unicode*,
                                int)
{
    // The glyph procedure runs in glyph space: the font matrix, the font size and the
    // horizontal scaling on the text matrix, at the glyph's origin (x, y in user space).
    const std::shared_ptr<GfxFont>& font = state->getFont();
    if (!space_ || !font)
        return false;
    const double* o = space_->getCTM();
    const double* t = state->getTextMat();
    const double* f = font->getFontMatrix();
    const double n0 = t[0] * o[0] + t[1] * o[2], n1 = t[0] * o[1] + t[1] * o[3];
    const double n2 = t[2] * o[0] + t[3] * o[2], n3 = t[2] * o[1] + t[3] * o[3];
    const double g0 = f[0] * n0 + f[1] * n2, g1 = f[0] * n1 + f[1] * n3;
    const double g2 = f[2] * n0 + f[3] * n2, g3 = f[2] * n1 + f[3] * n3;
    const double size = state->getFontSize(), scaling = state->getHorizScaling();
    double tx, ty;
    transform(o, x, y, &tx, &ty);
    space_->setCTM(g0 * size * scaling, g1 * size * scaling, g2 * size, g3 * size, tx, ty);

    if (!procedures_.may_paint(font.get(), code))
        return true;

    const Ref id = *font->getID();
    const bool keyed = id != Ref::INVALID() && tk_singleton<pdf_uline_processor>::exists() &&
                       tk_singleton<pdf_uline_processor>::instance().mode != 0;
    if (!keyed)
        return false;
    glyph_key key;
    key.font_num = id.num;
    key.font_gen = id.gen;
    key.code = code;
    std::copy(space_->getCTM(), space_->getCTM() + 4, key.matrix);
    // what text inside the procedure may take over from the glyph's own text
    std::copy(t, t + 4, key.text_matrix);
    key.font_size = size;
    key.scaling = scaling;
    key.line_width = state->getLineWidth();
    key.miter_limit = state->getMiterLimit();
    key.line_cap = state->getLineCap();
    key.line_join = state->getLineJoin();
    key.dash = state->getLineDash(&key.dash_phase);
    if (small_glyphs_.count(key) != 0)
        return true; // it would paint nothing that can be captured
    glyph_runs_.push_back({std::move(key), saved_.size()});
    return false;
}

bool raster_dev::glyph_key::operator<(const glyph_key& o) const
{
    return std::tie(font_num, font_gen, code, matrix[0], matrix[1], matrix[2], matrix[3], text_matrix[0],
                    text_matrix[1], text_matrix[2], text_matrix[3], font_size, scaling, line_width, miter_limit,
                    line_cap, line_join, dash, dash_phase) <
           std::tie(o.font_num, o.font_gen, o.code, o.matrix[0], o.matrix[1], o.matrix[2], o.matrix[3],
                    o.text_matrix[0], o.text_matrix[1], o.text_matrix[2], o.text_matrix[3], o.font_size, o.scaling,
                    o.line_width, o.miter_limit, o.line_cap, o.line_join, o.dash, o.dash_phase);
}

void raster_dev::note_glyph_paint(double extent, bool hairline)
{
    for (glyph_run& run : glyph_runs_) {
        run.painted = true;
        // A hairline is captured at any length; a box only from 11 px on.
        if (hairline || !(extent < small_glyph_extent))
            run.capturable = true;
    }
}

void raster_dev::end_glyph_runs()
{
    while (!glyph_runs_.empty() && saved_.size() < glyph_runs_.back().depth) {
        glyph_run& run = glyph_runs_.back();
        if (run.painted && !run.capturable) {
            if (small_glyphs_.size() >= max_small_glyphs)
                small_glyphs_.clear();
            small_glyphs_.insert(std::move(run.key));
        }
        glyph_runs_.pop_back();
    }
}

void raster_dev::drawImageMask(GfxState* state, Object* ref, Stream* str, int width, int height, bool invert,
                               bool interpolate, bool inlineImg)
{
    note_glyph_paint(0, false);
    OutputDev::drawImageMask(state, ref, str, width, height, invert, interpolate, inlineImg);
}

void raster_dev::drawImage(GfxState* state, Object* ref, Stream* str, int width, int height,
                           GfxImageColorMap* colorMap, bool interpolate, const int* maskColors, bool inlineImg)
{
    note_glyph_paint(0, false);
    OutputDev::drawImage(state, ref, str, width, height, colorMap, interpolate, maskColors, inlineImg);
}

void raster_dev::drawMaskedImage(GfxState* state, Object* ref, Stream* str, int width, int height,
                                 GfxImageColorMap* colorMap, bool interpolate, Stream* maskStr, int maskWidth,
                                 int maskHeight, bool maskInvert, bool maskInterpolate)
{
    note_glyph_paint(0, false);
    OutputDev::drawMaskedImage(state, ref, str, width, height, colorMap, interpolate, maskStr, maskWidth,
                               maskHeight, maskInvert, maskInterpolate);
}

void raster_dev::drawSoftMaskedImage(GfxState* state, Object* ref, Stream* str, int width, int height,
                                     GfxImageColorMap* colorMap, bool interpolate, Stream* maskStr, int maskWidth,
                                     int maskHeight, GfxImageColorMap* maskColorMap, bool maskInterpolate)
{
    note_glyph_paint(0, false);
    OutputDev::drawSoftMaskedImage(state, ref, str, width, height, colorMap, interpolate, maskStr, maskWidth,
                                   maskHeight, maskColorMap, maskInterpolate);
}

void raster_dev::beginTransparencyGroup(GfxState*, const double*, GfxColorSpace*, bool, bool, bool forSoftMask)
{
    groups_.push_back(forSoftMask);
    if (forSoftMask)
        ++soft_masks_;
}

void raster_dev::endTransparencyGroup(GfxState*)
{
    if (groups_.empty())
        return;
    if (groups_.back())
        --soft_masks_;
    groups_.pop_back();
}

bool raster_dev::capture_allowed() const
{
    return soft_masks_ == 0 && tk_singleton<pdf_uline_processor>::exists();
}

// ---- clip ---------------------------------------------------------------------------

SplashClipResult raster_dev::test_rect(const clip_box& c, int xMin, int yMin, int xMax, int yMax)
{
    // The box covers [xMin, xMax + 1) x [yMin, yMax + 1).
    if (static_cast<double>(xMax) + 1 <= c.xMin || static_cast<double>(xMin) >= c.xMax ||
        static_cast<double>(yMax) + 1 <= c.yMin || static_cast<double>(yMin) >= c.yMax)
        return splashClipAllOutside;
    if (static_cast<double>(xMin) >= c.xMin && static_cast<double>(xMax) + 1 <= c.xMax &&
        static_cast<double>(yMin) >= c.yMin && static_cast<double>(yMax) + 1 <= c.yMax && !c.paths)
        return splashClipAllInside;
    return splashClipPartial;
}

SplashClipResult raster_dev::test_span(const clip_box& c, int xMin, int xMax, int y)
{
    return test_rect(c, xMin, y, xMax, y);
}

void raster_dev::clip_to(const dev_path& p)
{
    std::vector<seg> segs;
    for (size_t s = 0; s + 1 < p.starts.size(); ++s) {
        const size_t a = p.starts[s], b = p.starts[s + 1];
        for (size_t i = a + 1; i < b; ++i)
            segs.push_back({p.xs[i - 1], p.ys[i - 1], p.xs[i], p.ys[i]});
        if (b > a + 1 && (p.xs[b - 1] != p.xs[a] || p.ys[b - 1] != p.ys[a]))
            segs.push_back({p.xs[b - 1], p.ys[b - 1], p.xs[a], p.ys[a]});
        if (segs.size() > 4)
            break; // not a rectangle; the count is all that matters now
    }
    double x0, y0, x1, y1;
    if (segs.empty()) {
        clip_.xMax = clip_.xMin - 1;
        clip_.yMax = clip_.yMin - 1;
    } else if (is_rectangle(segs, &x0, &y0, &x1, &y1)) {
        const double lx = std::min(x0, x1), hx = std::max(x0, x1);
        const double ly = std::min(y0, y1), hy = std::max(y0, y1);
        if (x0 == x1) {
            clip_.xMin = std::max(clip_.xMin, lx);
            clip_.xMax = std::min(clip_.xMax, hx);
        } else {
            if (lx > clip_.xMin)
                clip_.xMin = lx;
            if (hx < clip_.xMax)
                clip_.xMax = hx;
        }
        if (y0 == y1) {
            clip_.yMin = std::max(clip_.yMin, ly);
            clip_.yMax = std::min(clip_.yMax, hy);
        } else {
            if (ly > clip_.yMin)
                clip_.yMin = ly;
            if (hy < clip_.yMax)
                clip_.yMax = hy;
        }
    } else {
        clip_.paths = true;
    }
}

void raster_dev::clip(GfxState* state)
{
    dev_path p;
    flatten(state->getPath(), p, true);
    clip_to(p);
}

void raster_dev::eoClip(GfxState* state)
{
    clip(state);
}

// The outline of a wide stroke of the current path (dash pattern applied), in px.
bool raster_dev::stroke_outline(GfxState* state, dev_path& out, bool* bounded)
{
    if (bounded != nullptr)
        *bounded = false;
    sync_splash(state);
    // The dash pieces of one stroke are capped: a dashed path longer than the cap's worth
    // of its pattern is not dashed by the stroker.
    const dash_pattern dash = line_dash(state);
    double max_length = std::numeric_limits<double>::infinity();
    if (!dash.lengths.empty() && dash.period > 0)
        max_length = static_cast<double>(max_dash_pieces) / static_cast<double>(dash.lengths.size()) * dash.period;
    const GfxPath* gpath = state->getPath();
    const double width = state->getLineWidth();
    std::unique_ptr<SplashPath> path = make_splash_path(gpath, max_length);
    std::unique_ptr<SplashPath> outline;
    if (path && pruning_ && dashes_to_nothing(dash)) {
        outline = std::make_unique<SplashPath>(); // what the stroker gives, without flattening the path
    } else if (path) {
        outline.reset(splash_->makeStrokePath(path.get(), width));
    } else {
        // Beyond the cap the flattened path gives the pieces that bound its dashing on
        // each segment; they are stroked undashed.
        path = make_splash_path(gpath, std::numeric_limits<double>::infinity());
        if (!path)
            return false; // positions that are not numbers
        SplashPath flat;
        if (!flatten_for_dashing(*path, splash_->getMatrix(), splash_->getFlatness(), flat, stop_request()))
            return false; // a stopped page is not written
        SplashPath bounds;
        if (!bounds_for(state).add_bounds(flat, bounds, stop_request()))
            return false;
        splash_->setLineDash(std::vector<double>(), 0);
        outline.reset(splash_->makeStrokePath(&bounds, width, false));
        if (bounded != nullptr)
            *bounded = true;
    }
    if (outline)
        splash_to_device(*outline, out);
    return true;
}

void raster_dev::clipToStrokePath(GfxState* state)
{
    // By a pattern without length no part holds outline: the survey would tell nothing.
    if (!(pruning_ && dashes_to_nothing(line_dash(state))) && clip_by_survey(state))
        return;
    // Beyond the cap the bounding pieces stand for many: a clip to them that is not empty
    // is not a rectangle.
    dev_path p;
    bool bounded = false;
    if (stroke_outline(state, p, &bounded) && (!bounded || p.xs.empty()))
        clip_to(p);
    else
        clip_.paths = true; // a clip of countless dashes: nothing inside it is captured
}

// ---- paths --------------------------------------------------------------------------

void raster_dev::flatten(const GfxPath* path, dev_path& out, bool device) const
{
    const double* m = device_matrix();
    size_t points = 0;
    for (int s = 0; s < path->getNumSubpaths(); ++s)
        points += static_cast<size_t>(std::max(0, path->getSubpath(s)->getNumPoints()));
    out.xs.reserve(out.xs.size() + points);
    out.ys.reserve(out.ys.size() + points);
    for (int s = 0; s < path->getNumSubpaths(); ++s) {
        const GfxSubpath* sub = path->getSubpath(s);
        const int n = sub->getNumPoints();
        if (n <= 0)
            continue;
        out.starts.push_back(out.xs.size());
        out.xs.push_back(sub->getX(0));
        out.ys.push_back(sub->getY(0));
        int i = 1;
        while (i < n) {
            if (sub->getCurve(i) && i + 2 < n) {
                flatten_curve(m, sub->getX(i - 1), sub->getY(i - 1), sub->getX(i), sub->getY(i), sub->getX(i + 1),
                              sub->getY(i + 1), sub->getX(i + 2), sub->getY(i + 2), 0, out.xs, out.ys);
                i += 3;
            } else {
                out.xs.push_back(sub->getX(i));
                out.ys.push_back(sub->getY(i));
                ++i;
            }
        }
    }
    out.starts.push_back(out.xs.size());
    if (device)
        for (size_t i = 0; i < out.xs.size(); ++i)
            transform(m, out.xs[i], out.ys[i], &out.xs[i], &out.ys[i]);
}

std::unique_ptr<SplashPath> raster_dev::make_splash_path(const GfxPath* path, double max_length)
{
    auto sp = std::make_unique<SplashPath>();
    double length = 0; // along the segments (a curve by its control polygon)
    for (int s = 0; s < path->getNumSubpaths(); ++s) {
        const GfxSubpath* sub = path->getSubpath(s);
        const int n = sub->getNumPoints();
        if (n <= 0)
            continue;
        sp->moveTo(sub->getX(0), sub->getY(0));
        int i = 1;
        while (i < n) {
            const bool curve = sub->getCurve(i) && i + 2 < n;
            const int end = curve ? i + 2 : i;
            for (int k = i; k <= end; ++k)
                length += std::hypot(sub->getX(k) - sub->getX(k - 1), sub->getY(k) - sub->getY(k - 1));
            if (!(length <= max_length))
                return nullptr;
            if (curve)
                sp->curveTo(sub->getX(i), sub->getY(i), sub->getX(i + 1), sub->getY(i + 1), sub->getX(i + 2),
                            sub->getY(i + 2));
            else
                sp->lineTo(sub->getX(i), sub->getY(i));
            i = end + 1;
        }
        if (sub->isClosed())
            sp->close();
    }
    return sp;
}

raster_dev::path_extent raster_dev::extent_of(GfxState* state) const
{
    const GfxPath* path = state->getPath();
    const double* m = device_matrix();
    path_extent e;
    for (int s = 0; s < path->getNumSubpaths(); ++s) {
        const GfxSubpath* sub = path->getSubpath(s);
        for (int i = 0; i < sub->getNumPoints(); ++i) {
            double x, y;
            transform(m, sub->getX(i), sub->getY(i), &x, &y);
            e.box.add(x, y, x, y);
            e.segments += sub->getCurve(i) ? 1u << max_curve_depth : 1;
        }
    }
    e.reach = stroke_reach(state);
    e.finite = !e.box.empty() && std::isfinite(e.box.x0) && std::isfinite(e.box.y0) && std::isfinite(e.box.x1) &&
               std::isfinite(e.box.y1) && std::isfinite(e.reach);
    return e;
}

bool raster_dev::stroke_outside_clip(const path_extent& e) const
{
    const px_box& b = e.box;
    return e.finite && test_rect(clip_, floor_int(b.x0 - e.reach), floor_int(b.y0 - e.reach),
                                 floor_int(b.x1 + e.reach), floor_int(b.y1 + e.reach)) == splashClipAllOutside;
}

double raster_dev::stroke_reach(GfxState* state) const
{
    // A join reaches at most the miter limit, a square cap the square root of two, times
    // half the width; the matrix stretches no length by more than its Frobenius norm.
    const double* m = device_matrix();
    const double norm = std::sqrt(m[0] * m[0] + m[1] * m[1] + m[2] * m[2] + m[3] * m[3]);
    return std::fabs(state->getLineWidth()) / 2 * std::max({1.0, state->getMiterLimit(), std::sqrt(2.0)}) * norm + 1;
}

const dash_bounds& raster_dev::bounds_for(GfxState* state)
{
    const dash_pattern dash = line_dash(state);
    const bool round = state->getLineCap() == splashLineCapRound;
    if (!dash_bounds_ || !dash_bounds_->made_for(dash.lengths, dash.phase, round))
        dash_bounds_ = std::make_unique<dash_bounds>(dash.lengths, dash.phase, round);
    return *dash_bounds_;
}

const tk_stop_check& raster_dev::stop_request() const
{
    return procedures_.stop_check();
}

bool raster_dev::survey(GfxState* state, bool pruning, stroke_survey& out)
{
    std::unique_ptr<SplashPath> path = make_splash_path(state->getPath(), std::numeric_limits<double>::infinity());
    if (!path)
        return false; // positions that are not numbers
    struct clip_test {
        const raster_dev* dev;
        double reach;
    } test{this, stroke_reach(state)};
    stroke_survey::setup s;
    s.matrix = device_matrix();
    s.flatness = splash_->getFlatness();
    s.reach = test.reach;
    s.dash = line_dash(state).lengths.empty() ? nullptr : &bounds_for(state);
    s.budget = outline_budget_;
    s.outside_data = &test;
    if (pruning)
        s.outside = [](const void* data, double x0, double y0, double x1, double y1) {
            const auto* t = static_cast<const clip_test*>(data);
            return test_rect(t->dev->clip_, floor_int(x0 - t->reach), floor_int(y0 - t->reach),
                             floor_int(x1 + t->reach), floor_int(y1 + t->reach)) == splashClipAllOutside;
        };
    else
        s.outside = [](const void*, double, double, double, double) { return false; };
    s.stop = stop_request();
    out = survey_stroke(*path, s);
    return true;
}

bool raster_dev::survey_needed(const path_extent& e) const
{
    // Not when no part can lie outside the clip (the box of all control points, grown by
    // the reach, lies inside its rectangle) and the flattening cannot exceed the budget.
    if (e.segments > outline_budget_ || !e.finite)
        return true;
    clip_box rect = clip_;
    rect.paths = false;
    const px_box& b = e.box;
    return test_rect(rect, floor_int(b.x0 - e.reach), floor_int(b.y0 - e.reach), floor_int(b.x1 + e.reach),
                     floor_int(b.y1 + e.reach)) != splashClipAllInside;
}

bool raster_dev::stroke_by_survey(GfxState* state, const path_extent& path)
{
    if (!pruning_ || !survey_needed(path))
        return false;
    // A survey; false when it is of no use (positions that are not numbers). One that a stop
    // ended decides the stroke: a stopped page is not written.
    const auto walk = [&](bool pruning, stroke_survey& r) {
        if (!survey(state, pruning, r))
            return false;
        if (r.stopped)
            op_clip_res_ = splashClipPartial;
        return true;
    };
    stroke_survey s;
    if (!walk(true, s) || (!s.stopped && !s.finite))
        return false;
    if (s.stopped)
        return true;
    const px_box sure = s.sure_box();
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    const SplashClipResult sure_res = sure.empty() ? splashClipAllOutside
                                                   : fill_clip(sure.x0, sure.y0, sure.x1, sure.y1, &x0, &y0, &x1, &y1);
    // A stroke of more segments than the budget that surely captures nothing is taken as
    // one of countless dash pieces is: partial, and large in a glyph.
    const auto countless = [&]() {
        if (!glyph_runs_.empty())
            note_glyph_paint(std::numeric_limits<double>::infinity(), false);
        op_clip_res_ = splashClipPartial;
        return true;
    };
    if (s.over_budget) {
        // The outline's box holds the sure box: when that is not inside the clip, or is
        // thick both ways, or some of the outline lies outside the clip, the outline
        // captures nothing.
        const bool no_capture = s.outside || !capture_allowed() ||
                                (!sure.empty() && (sure_res != splashClipAllInside ||
                                                   (tk_singleton<pdf_uline_processor>::instance().mode == 0
                                                        ? y1 - y0 > 4
                                                        : x1 - x0 > 4 && y1 - y0 > 4)));
        if (!no_capture) {
            // It may be a rule: it is outlined a chunk at a time.
            px_box box;
            bool stopped = false;
            if (!outline_box_in_chunks(state, box, stopped)) {
                if (!stopped)
                    return false; // positions beyond numbers, or beyond counting: as whole
                op_clip_res_ = splashClipPartial; // a stopped page is not written
                return true;
            }
            GfxRGB rgb;
            state->getStrokeRGB(&rgb);
            fill_box(box, colToByte(rgb.r), colToByte(rgb.g), colToByte(rgb.b));
            return true;
        }
        return countless();
    }
    if (!s.outside)
        return false;
    // Some of the outline lies outside the clip, so none of it is captured. Its box holds
    // the sure box and lies within the reach box: where these decide the clip result and
    // how large a glyph's paint is, the outline is not needed.
    SplashClipResult res;
    if (!sure.empty() && sure_res != splashClipAllOutside)
        res = splashClipPartial;
    else if (fill_clip(s.reach_box.x0, s.reach_box.y0, s.reach_box.x1, s.reach_box.y1, &x0, &y0, &x1, &y1) ==
             splashClipAllOutside)
        res = splashClipAllOutside;
    else
        res = splashClipPartial; // not known yet
    const double extent = sure.empty() ? 0 : std::max(sure.x1 - sure.x0, sure.y1 - sure.y0);
    const bool known = (res == splashClipAllOutside || (!sure.empty() && sure_res != splashClipAllOutside)) &&
                       (glyph_runs_.empty() || extent >= small_glyph_extent);
    if (!known) {
        // The outline is worked out whole, unless that is beyond the budget.
        stroke_survey whole;
        if (!walk(false, whole) || !(whole.stopped || whole.over_budget))
            return false;
        return whole.stopped || countless();
    }
    if (!glyph_runs_.empty())
        note_glyph_paint(extent, false);
    op_clip_res_ = res;
    return true;
}

bool raster_dev::outline_box_in_chunks(GfxState* state, px_box& box, bool& stopped)
{
    // Each subpath is outlined on its own (the outline of a path is that of its subpaths
    // one after the other). One of more segments than a chunk is outlined a chunk at a
    // time, each with butt caps and one segment of the chunk before it, so every segment
    // and every join between two of them is outlined with its neighbours; a closed one
    // also joins its last segment to its first. The caps of an open one are those of its
    // first segment stroked there and back from its start, and of its last from its end:
    // the turn halfway joins a segment to itself, which adds nothing beyond the segment's
    // outline but a round join's circle, and the subpath has that circle there too.
    class chunker : public flatten_visitor {
    public:
        chunker(raster_dev& dev, GfxState* state, px_box& box) : dev_(dev), box_(box)
        {
            width_ = state->getLineWidth();
            cap_ = state->getLineCap();
        }
        void move_to(double x, double y) override
        {
            end_subpath();
            chunk_ = std::make_unique<SplashPath>();
            chunk_->moveTo(x, y);
            segments_ = 0;
            split_ = closed_ = false;
            px_ = start_[0] = x;
            py_ = start_[1] = y;
        }
        void line_to(double x, double y) override
        {
            if (segments_ == 0) {
                first_[0] = x;
                first_[1] = y;
            }
            chunk_->lineTo(x, y);
            ++segments_;
            last_[0] = px_;
            last_[1] = py_;
            if (segments_ >= dev_.chunk_segments_ && (x != px_ || y != py_)) {
                outline(*chunk_, splashLineCapButt);
                chunk_ = std::make_unique<SplashPath>();
                chunk_->moveTo(px_, py_);
                chunk_->lineTo(x, y);
                segments_ = 1;
                split_ = true;
            }
            px_ = x;
            py_ = y;
        }
        void close() override
        {
            closed_ = true;
            if (!split_)
                chunk_->close();
        }
        bool stop() override
        {
            if (++polls_ % 4096 == 0 && dev_.stop_request().requested())
                stopped = true;
            return stopped;
        }
        void end_subpath()
        {
            if (!chunk_)
                return;
            if (!split_) {
                outline(*chunk_, cap_); // as the stroker outlines it whole
                chunk_.reset();
                return;
            }
            outline(*chunk_, splashLineCapButt);
            chunk_.reset();
            SplashPath ends;
            if (closed_) {
                ends.moveTo(last_[0], last_[1]);
                ends.lineTo(px_, py_);
                ends.lineTo(first_[0], first_[1]);
                outline(ends, splashLineCapButt);
            } else if (cap_ != splashLineCapButt) {
                ends.moveTo(start_[0], start_[1]);
                ends.lineTo(first_[0], first_[1]);
                ends.lineTo(start_[0], start_[1]);
                ends.moveTo(px_, py_);
                ends.lineTo(last_[0], last_[1]);
                ends.lineTo(px_, py_);
                outline(ends, cap_);
            }
        }
        bool stopped = false;
        bool finite = true; // every position of the outline is a number

    private:
        void outline(SplashPath& path, int cap)
        {
            dev_.splash_->setLineCap(cap);
            std::unique_ptr<SplashPath> o(dev_.splash_->makeStrokePath(&path, width_, false));
            dev_.splash_->setLineCap(cap_);
            if (!o)
                return;
            dev_path p;
            dev_.splash_to_device(*o, p);
            for (size_t i = 0; i < p.xs.size(); ++i)
                finite = finite && std::isfinite(p.xs[i]) && std::isfinite(p.ys[i]);
            add_box(p, box_);
        }
        raster_dev& dev_;
        px_box& box_;
        double width_;
        int cap_;
        std::unique_ptr<SplashPath> chunk_;
        size_t segments_ = 0;
        bool split_ = false, closed_ = false;
        double px_ = 0, py_ = 0; // the last point
        double start_[2] = {0, 0}, first_[2] = {0, 0}, last_[2] = {0, 0};
        size_t polls_ = 0;
    };
    // A dashed stroke hands the chunks the pieces that bound its dashing on each segment,
    // as beyond the cap on dash pieces.
    class dasher : public flatten_visitor {
    public:
        dasher(const dash_bounds& bounds, chunker& out) : bounds_(bounds), out_(out) {}
        void move_to(double x, double y) override
        {
            at_ = bounds_.subpath_start();
            x_ = x;
            y_ = y;
        }
        void line_to(double x, double y) override
        {
            counted = counted && bounds_.add_segment(at_, x_, y_, x, y, out_);
            x_ = x;
            y_ = y;
        }
        void close() override {}
        bool stop() override { return !counted || out_.stop(); }
        bool counted = true; // the positions are counted exactly

    private:
        const dash_bounds& bounds_;
        chunker& out_;
        dash_bounds::cursor at_{};
        double x_ = 0, y_ = 0;
    };
    std::unique_ptr<SplashPath> path = make_splash_path(state->getPath(), std::numeric_limits<double>::infinity());
    stopped = false;
    if (!path)
        return false;
    const bool dashed = !line_dash(state).lengths.empty();
    const dash_bounds* bounds = dashed ? &bounds_for(state) : nullptr;
    if (bounds != nullptr && !bounds->placed())
        return false;
    sync_splash(state);
    splash_->setLineDash(std::vector<double>(), 0);
    chunker c(*this, state, box);
    bool counted = true;
    if (bounds == nullptr) {
        flatten_path(*path, splash_->getMatrix(), splash_->getFlatness(), c);
    } else if (!bounds->none()) {
        dasher d(*bounds, c);
        flatten_path(*path, splash_->getMatrix(), splash_->getFlatness(), d);
        counted = d.counted;
    }
    if (!c.stopped && counted)
        c.end_subpath();
    stopped = c.stopped;
    return !c.stopped && counted && c.finite;
}

bool raster_dev::clip_by_survey(GfxState* state)
{
    if (!pruning_ || !survey_needed(extent_of(state)))
        return false;
    stroke_survey s;
    if (!survey(state, true, s))
        return false;
    if (s.stopped) {
        clip_.paths = true; // a stopped page is not written
        return true;
    }
    // Two parts that surely hold outline each give it a polygon of its own: the clip is
    // neither empty nor a rectangle.
    if (!s.finite || !(s.outside || s.over_budget) || s.pieces < 2)
        return false;
    clip_.paths = true;
    return true;
}

void raster_dev::splash_to_device(SplashPath& sp, dev_path& out) const
{
    const int n = sp.getLength();
    out.xs.reserve(out.xs.size() + static_cast<size_t>(n));
    out.ys.reserve(out.ys.size() + static_cast<size_t>(n));
    int i = 0;
    while (i < n) {
        double x, y;
        unsigned char f;
        sp.getPoint(i, &x, &y, &f);
        if ((f & splashPathFirst) || out.starts.empty()) {
            out.starts.push_back(out.xs.size());
            out.xs.push_back(x);
            out.ys.push_back(y);
            ++i;
            continue;
        }
        if ((f & splashPathCurve) && i + 2 < n) {
            double x1, y1, x2, y2, x3, y3;
            unsigned char f2;
            sp.getPoint(i + 1, &x2, &y2, &f2);
            sp.getPoint(i + 2, &x3, &y3, &f2);
            x1 = x;
            y1 = y;
            flatten_curve(device_matrix(), out.xs.back(), out.ys.back(), x1, y1, x2, y2, x3, y3, 0, out.xs, out.ys);
            i += 3;
            continue;
        }
        out.xs.push_back(x);
        out.ys.push_back(y);
        ++i;
    }
    out.starts.push_back(out.xs.size());
    for (size_t k = 0; k < out.xs.size(); ++k)
        transform(device_matrix(), out.xs[k], out.ys[k], &out.xs[k], &out.ys[k]);
}

void raster_dev::sync_splash(GfxState* state)
{
    const double* m = device_matrix();
    double mat[6];
    std::copy(m, m + 6, mat);
    splash_->setMatrix(mat);
    splash_->setLineWidth(state->getLineWidth());
    splash_->setLineCap(state->getLineCap());
    splash_->setLineJoin(state->getLineJoin());
    splash_->setMiterLimit(state->getMiterLimit());
    dash_pattern d = line_dash(state);
    splash_->setLineDash(std::move(d.lengths), d.phase);
}

// ---- painting operations ------------------------------------------------------------

void raster_dev::fill(GfxState* state)
{
    tk_log(1, "SplashOutputDev::fill");
    if (state->getFillColorSpace()->isNonMarking())
        return;
    pdf_uline_processor& proc = tk_singleton<pdf_uline_processor>::instance();
    proc.single_subpath = 0;
    if (state->getPath()->getNumSubpaths() == 1)
        proc.single_subpath = 1;
    fill_path(state);
}

void raster_dev::eoFill(GfxState* state)
{
    if (state->getFillColorSpace()->isNonMarking())
        return;
    fill_path(state);
}

void raster_dev::fill_path(GfxState* state)
{
    dev_path p;
    flatten(state->getPath(), p, true);
    GfxRGB rgb;
    state->getFillRGB(&rgb);
    fill_hook(p, colToByte(rgb.r), colToByte(rgb.g), colToByte(rgb.b));
}

SplashClipResult raster_dev::fill_clip(double xMin, double yMin, double xMax, double yMax, int* xMinI, int* yMinI,
                                       int* xMaxI, int* yMaxI) const
{
    // A path whose whole-pixel box lies outside the clip is passed over at once.
    if (test_rect(clip_, floor_int(xMin), floor_int(yMin), floor_int(xMax), floor_int(yMax)) ==
        splashClipAllOutside)
        return splashClipAllOutside;
    // The anti-aliased scan converter works on a 4 x 4 grid per pixel, on the clip's
    // whole-pixel rows only (a path cut off there is partial); its box in pixels is
    // the grid box divided by 4, truncated towards zero.
    const long clip_top = 4L * floor_int(clip_.yMin);
    const long clip_bottom = 4L * (static_cast<long>(floor_int(std::ceil(clip_.yMax))) - 1) + 3;
    long aa_yMin = floor_int(yMin * 4), aa_yMax = floor_int(yMax * 4);
    bool cut = false;
    if (aa_yMin < clip_top) {
        aa_yMin = clip_top;
        cut = true;
    }
    if (aa_yMax > clip_bottom) {
        aa_yMax = clip_bottom;
        cut = true;
    }
    *xMinI = floor_int(xMin * 4) / 4;
    *xMaxI = floor_int(xMax * 4) / 4;
    *yMinI = static_cast<int>(aa_yMin / 4);
    *yMaxI = static_cast<int>(aa_yMax / 4);
    SplashClipResult res = test_rect(clip_, *xMinI, *yMinI, *xMaxI, *yMaxI);
    if (res != splashClipAllOutside && cut)
        res = splashClipPartial;
    return res;
}

void raster_dev::add_box(const dev_path& p, px_box& box)
{
    // The box of the path's segments; a subpath of one point has none.
    for (size_t s = 0; s + 1 < p.starts.size(); ++s) {
        const size_t a = p.starts[s], e = p.starts[s + 1];
        if (e < a + 2)
            continue;
        for (size_t i = a; i < e; ++i)
            box.add(p.xs[i], p.ys[i], p.xs[i], p.ys[i]);
    }
}

void raster_dev::fill_hook(const dev_path& p, unsigned char r, unsigned char g, unsigned char b)
{
    px_box box;
    add_box(p, box);
    fill_box(box, r, g, b);
}

void raster_dev::fill_box(const px_box& box, unsigned char r, unsigned char g, unsigned char b)
{
    const double xMin = box.x0, yMin = box.y0, xMax = box.x1, yMax = box.y1;
    if (box.empty() || !std::isfinite(xMin) || !std::isfinite(xMax) || !std::isfinite(yMin) || !std::isfinite(yMax)) {
        op_clip_res_ = splashClipAllOutside;
        return; // an empty path fills nothing
    }
    if (!glyph_runs_.empty())
        note_glyph_paint(std::max(xMax - xMin, yMax - yMin), false);
    int xMinI = 0, yMinI = 0, xMaxI = 0, yMaxI = 0;
    const SplashClipResult res = fill_clip(xMin, yMin, xMax, yMax, &xMinI, &yMinI, &xMaxI, &yMaxI);
    op_clip_res_ = res;
    if (res != splashClipAllInside || !capture_allowed())
        return;
    pdf_uline_processor& proc = tk_singleton<pdf_uline_processor>::instance();
    const long w = static_cast<long>(xMaxI) - xMinI, h = static_cast<long>(yMaxI) - yMinI;
    bool take;
    if (proc.mode == 0)
        take = proc.single_subpath != 0 && h <= 4;
    else
        take = (w <= 4 && h >= 11) || (h <= 4 && w >= 11);
    if (!take)
        return;
    proc.set_line(xMinI, xMaxI, yMinI, yMaxI, std::make_unique<pdf_uline_processor::line_paint>(r, g, b));
    proc.single_subpath = 0;
}

void raster_dev::stroke(GfxState* state)
{
    tk_log(1, "SplashOutputDev::stroke");
    if (state->getStrokeColorSpace()->isNonMarking())
        return;
    pdf_uline_processor& proc = tk_singleton<pdf_uline_processor>::instance();
    proc.single_subpath = 0;
    const GfxPath* path = state->getPath();
    if (path->getNumSubpaths() == 1 && path->getSubpath(0)->getNumPoints() == 2)
        proc.single_subpath = 1;
    if (path->getNumSubpaths() == 0) {
        op_clip_res_ = splashClipAllOutside;
        return;
    }
    if (state->getLineWidth() == 0)
        stroke_narrow(state);
    else
        stroke_wide(state);
}

void raster_dev::stroke_wide(GfxState* state)
{
    const path_extent extent = extent_of(state);
    if (stroke_outside_clip(extent)) {
        op_clip_res_ = splashClipAllOutside;
        return; // nothing of it can be captured: its outline is not worked out
    }
    // By a pattern without length no part holds outline: the survey would only take a
    // stroke beyond the budget that cannot be captured as one of countless dash pieces.
    const bool nothing = pruning_ && dashes_to_nothing(line_dash(state));
    if (!(nothing && capture_allowed()) && stroke_by_survey(state, extent))
        return;
    dev_path p;
    if (!stroke_outline(state, p)) {
        op_clip_res_ = splashClipPartial;
        return; // dashed into more pieces than a rule has
    }
    GfxRGB rgb;
    state->getStrokeRGB(&rgb);
    fill_hook(p, colToByte(rgb.r), colToByte(rgb.g), colToByte(rgb.b));
}

void raster_dev::stroke_narrow(GfxState* state)
{
    const dash_pattern pattern = line_dash(state);
    const std::vector<double>& dash = pattern.lengths;
    const double phase = pattern.phase, total = pattern.period;
    const bool dashed = !dash.empty();
    if (dashes_to_nothing(pattern)) {
        op_clip_res_ = splashClipAllOutside;
        return; // a dash pattern of zero length strokes nothing; the path is not flattened
    }

    const double* ctm = device_matrix();
    dev_path p;
    flatten(state->getPath(), p, false); // user space: dashes are measured there

    GfxRGB rgb;
    state->getStrokeRGB(&rgb);
    const unsigned char r = colToByte(rgb.r), g = colToByte(rgb.g), b = colToByte(rgb.b);

    long counts[3] = {0, 0, 0};
    long pieces = 0;

    // One segment in user space: floored in px, clip-tested and maybe captured.
    const auto segment = [&](double ux0, double uy0, double ux1, double uy1) {
        double fx0, fy0, fx1, fy1;
        transform(ctm, ux0, uy0, &fx0, &fy0);
        transform(ctm, ux1, uy1, &fx1, &fy1);
        if (fy0 > fy1) {
            std::swap(fx0, fx1);
            std::swap(fy0, fy1);
        }
        if (!glyph_runs_.empty())
            note_glyph_paint(0, true);
        int x0 = floor_int(fx0), y0 = floor_int(fy0), x1 = floor_int(fx1), y1 = floor_int(fy1);
        SplashClipResult res;
        const bool can_capture = capture_allowed();
        if (y0 == y1) {
            if (x0 > x1)
                std::swap(x0, x1);
            res = test_span(clip_, x0, x1, y0);
            if (res != splashClipAllOutside && can_capture) {
                pdf_uline_processor& proc = tk_singleton<pdf_uline_processor>::instance();
                if (proc.single_subpath) {
                    proc.set_line(x0, x1, y0, y1, std::make_unique<pdf_uline_processor::line_paint>(r, g, b));
                    proc.single_subpath = 0;
                }
            }
        } else if (std::fabs((fx1 - fx0) / (fy1 - fy0)) > 1) {
            res = test_rect(clip_, std::min(x0, x1), y0, std::max(x0, x1), y1);
        } else {
            res = test_rect(clip_, std::min(x0, x1), y0, std::max(x0, x1), y1);
            if (res != splashClipAllOutside && can_capture) {
                pdf_uline_processor& proc = tk_singleton<pdf_uline_processor>::instance();
                if (proc.single_subpath && proc.mode != 0 && std::abs(static_cast<long>(x1) - x0) <= 4 &&
                    std::abs(static_cast<long>(y1) - y0) >= 11) {
                    proc.set_line(std::min(x0, x1), std::max(x0, x1), y0, y1,
                                  std::make_unique<pdf_uline_processor::line_paint>(r, g, b));
                    proc.single_subpath = 0;
                }
            }
        }
        ++counts[res];
    };

    for (size_t s = 0; s + 1 < p.starts.size() && pieces < max_dash_pieces; ++s) {
        const size_t a = p.starts[s], e = p.starts[s + 1];
        if (!dashed) {
            for (size_t i = a + 1; i < e; ++i)
                segment(p.xs[i - 1], p.ys[i - 1], p.xs[i], p.ys[i]);
            continue;
        }
        // The dash state starts afresh on each subpath. Without a phase the first entry
        // is on even when it is empty (a dot at the start).
        double ph = phase - std::floor(phase / total) * total;
        size_t idx = 0;
        bool on = true;
        if (ph > 0) {
            while (idx < dash.size() && ph >= dash[idx]) {
                ph -= dash[idx];
                on = !on;
                ++idx;
            }
            if (idx == dash.size())
                break; // a phase that rounds to the whole pattern strokes nothing
        }
        double left = dash[idx] - ph; // of the current dash entry
        for (size_t i = a + 1; i < e && pieces < max_dash_pieces; ++i) {
            double x0 = p.xs[i - 1], y0 = p.ys[i - 1];
            const double x1 = p.xs[i], y1 = p.ys[i];
            double len = std::hypot(x1 - x0, y1 - y0);
            if (!std::isfinite(len))
                break;
            while (len > 0 && pieces < max_dash_pieces) {
                if (left >= len) {
                    if (on) {
                        segment(x0, y0, x1, y1);
                        ++pieces;
                    }
                    left -= len;
                    break;
                }
                const double t = left / len;
                const double xm = x0 + (x1 - x0) * t, ym = y0 + (y1 - y0) * t;
                if (on) {
                    segment(x0, y0, xm, ym);
                    ++pieces;
                }
                x0 = xm;
                y0 = ym;
                len -= left;
                on = !on;
                idx = (idx + 1) % dash.size();
                left = dash[idx];
                ++pieces; // zero-length entries count too, so the loop always ends
            }
        }
    }

    if (counts[splashClipPartial] || (counts[splashClipAllInside] && counts[splashClipAllOutside]))
        op_clip_res_ = splashClipPartial;
    else if (counts[splashClipAllInside])
        op_clip_res_ = splashClipAllInside;
    else
        op_clip_res_ = splashClipAllOutside;
}
