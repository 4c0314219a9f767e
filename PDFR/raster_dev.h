// The raster pass of a page: an output device at 150 dpi that paints nothing and hands
// the thin rules a page paints to the ruling-line processor. It takes the capture
// decisions of the rasteriser's fill and hairline code, with a clip test equal to the
// rasteriser's: a clip rectangle plus a flag for clip paths that are not rectangles.
// It keeps its own device matrix at its resolution, so that the interpreter may walk the
// page at another resolution (the text pass's) and hand each operation to it as well.
#pragma once

#include <OutputDev.h>
#include <splash/SplashClip.h>

#include <memory>
#include <set>
#include <vector>

#include "PDFR/dash_bounds.h"
#include "PDFR/stroke_survey.h"
#include "PDFR/type3_procs.h"

class PDFDoc;
class Splash;
class SplashBitmap;
class SplashPath;

class raster_dev : public OutputDev {
public:
    // The clip region in px: [xMin, xMax) x [yMin, yMax), plus clip paths.
    struct clip_box {
        double xMin = 0;
        double yMin = 0;
        double xMax = 0;
        double yMax = 0;
        bool paths = false; // a clip path that is not a rectangle is in effect
    };

    explicit raster_dev(double dpi = 150);
    double dpi() const { return dpi_; }
    ~raster_dev() override;
    raster_dev(const raster_dev&) = delete;
    raster_dev& operator=(const raster_dev&) = delete;

    void startDoc(PDFDoc* doc);
    // Which glyph procedures are not run for they cannot paint; its stop request.
    type3_procedures& glyph_procedures() { return procedures_; }

    bool upsideDown() override { return true; }
    bool useDrawChar() override { return true; }
    bool interpretType3Chars() override { return true; }
    bool needNonText() override { return true; }

    void startPage(int pageNum, GfxState* state, XRef* xref) override;
    void saveState(GfxState* state) override;
    void restoreState(GfxState* state) override;
    void updateCTM(GfxState* state, double m11, double m12, double m21, double m22, double m31,
                   double m32) override;

    void stroke(GfxState* state) override;
    void fill(GfxState* state) override;
    void eoFill(GfxState* state) override;

    void clip(GfxState* state) override;
    void eoClip(GfxState* state) override;
    void clipToStrokePath(GfxState* state) override;

    // Tiling-pattern cells and shadings capture nothing and paint nothing.
    bool useTilingPatternFill() override { return true; }
    bool tilingPatternFill(GfxState*, Gfx*, Catalog*, GfxTilingPattern*, const double*, int, int, int, int, double,
                           double) override
    {
        return true;
    }
    bool useShadedFills(int) override { return true; }
    bool functionShadedFill(GfxState*, GfxFunctionShading*) override { return true; }
    bool axialShadedFill(GfxState*, GfxAxialShading*, double, double) override { return true; }
    bool radialShadedFill(GfxState*, GfxRadialShading*, double, double) override { return true; }
    bool gouraudTriangleShadedFill(GfxState*, GfxGouraudTriangleShading*) override { return true; }
    bool patchMeshShadedFill(GfxState*, GfxPatchMeshShading*) override { return true; }

    // Text is never painted; Type 3 glyph procedures run through the path operations.
    void drawChar(GfxState*, double, double, double, double, double, double, CharCode, int, const Unicode*,
                  int) override
    {
    }
    // A glyph whose procedure cannot paint (type3_procedures), or, run before under the
    // same conditions, painted only what cannot be captured is not run: the result is true
    // then.
    bool beginType3Char(GfxState* state, double x, double y, double dx, double dy, CharCode code,
                        const Unicode* u, int uLen) override;
    void endType3Char(GfxState*) override {}
    void type3D0(GfxState*, double, double) override {}
    void type3D1(GfxState*, double, double, double, double, double, double) override {}

    // Images capture nothing; their data is read here.
    void drawImageMask(GfxState* state, Object* ref, Stream* str, int width, int height, bool invert,
                       bool interpolate, bool inlineImg) override;
    void drawImage(GfxState* state, Object* ref, Stream* str, int width, int height, GfxImageColorMap* colorMap,
                   bool interpolate, const int* maskColors, bool inlineImg) override;
    void drawMaskedImage(GfxState* state, Object* ref, Stream* str, int width, int height,
                         GfxImageColorMap* colorMap, bool interpolate, Stream* maskStr, int maskWidth,
                         int maskHeight, bool maskInvert, bool maskInterpolate) override;
    void drawSoftMaskedImage(GfxState* state, Object* ref, Stream* str, int width, int height,
                             GfxImageColorMap* colorMap, bool interpolate, Stream* maskStr, int maskWidth,
                             int maskHeight, GfxImageColorMap* maskColorMap, bool maskInterpolate) override;

    // What a soft mask draws captures nothing.
    void beginTransparencyGroup(GfxState* state, const double* bbox, GfxColorSpace* blendingColorSpace,
                                bool isolated, bool knockout, bool forSoftMask) override;
    void endTransparencyGroup(GfxState* state) override;

    // The clip test of an integer pixel box / a span, as the rasteriser's clip gives it.
    static SplashClipResult test_rect(const clip_box& c, int xMin, int yMin, int xMax, int yMax);
    static SplashClipResult test_span(const clip_box& c, int xMin, int xMax, int y);

    const clip_box& current_clip() const { return clip_; }
    // The device matrix (user space to px) and the page box in px.
    const double* device_matrix() const;
    double page_width() const { return page_w_; }
    double page_height() const { return page_h_; }
    // The clip result of the last fill or stroke, as the rasteriser counts it.
    SplashClipResult last_clip_result() const { return op_clip_res_; }

    // For tests: false works out the outline of every wide stroke whole, as if no part of
    // one could be passed over, and has the stroker dash it by a pattern without length too.
    void set_pruning(bool on) { pruning_ = on; }
    // Flattened segments of one wide stroke looked at before it is decided without its
    // outline, and outlined at a time beyond that (tests lower them).
    void set_outline_budget(size_t segments, size_t chunk)
    {
        outline_budget_ = segments;
        chunk_segments_ = chunk;
    }

private:
    // A path in px: subpaths of points, curves flattened.
    struct dev_path {
        std::vector<double> xs;
        std::vector<double> ys;
        std::vector<size_t> starts; // first point of each subpath; one past the last at the end
    };

    // Fills are non-zero or even-odd alike here: only the box of the path counts.
    void fill_path(GfxState* state);
    void fill_hook(const dev_path& p, unsigned char r, unsigned char g, unsigned char b);
    // Grows box by the points of the subpaths of p that have segments.
    static void add_box(const dev_path& p, px_box& box);
    // The fill of a path whose subpaths with segments have the box (empty: none).
    void fill_box(const px_box& box, unsigned char r, unsigned char g, unsigned char b);
    // The whole-pixel box and the clip result of a fill whose path has the box (px), as the
    // anti-aliased scan converter finds them; the larger the box, the less it is inside.
    SplashClipResult fill_clip(double xMin, double yMin, double xMax, double yMax, int* xMinI, int* yMinI,
                               int* xMaxI, int* yMaxI) const;
    void stroke_narrow(GfxState* state);
    void stroke_wide(GfxState* state);
    void clip_to(const dev_path& p);
    bool capture_allowed() const;

    // The path flattened in user space, then (device) every point through the matrix.
    void flatten(const GfxPath* path, dev_path& out, bool device) const;
    // The path for the stroker; null when it is longer than max_length (user space) along
    // its segments (a curve by its control polygon).
    static std::unique_ptr<SplashPath> make_splash_path(const GfxPath* path, double max_length);
    // The box (px) of a wide stroke's path, curves' control points included, the farthest
    // its outline reaches from it, and the most segments its flattening can have.
    struct path_extent {
        px_box box;
        double reach = 0;
        size_t segments = 0;
        bool finite = false; // some point, and every position and the reach are numbers
    };
    path_extent extent_of(GfxState* state) const;
    // Whether the outline of a wide stroke surely lies outside the clip: the path's box
    // grown by the farthest a join or a cap reaches.
    bool stroke_outside_clip(const path_extent& extent) const;
    // The farthest (px) the outline of a wide stroke reaches from its path, with a pixel
    // to spare.
    double stroke_reach(GfxState* state) const;
    // The stop request, for long work to poll.
    const tk_stop_check& stop_request() const;
    // The pattern's bounding pieces for the state's dash pattern.
    const dash_bounds& bounds_for(GfxState* state);
    // The survey of a wide stroke's flattening against the clip (pruning: parts outside it
    // that surely hold outline are passed over); false when its positions are not numbers.
    bool survey(GfxState* state, bool pruning, stroke_survey& out);
    // Whether the survey can tell anything the outline would not: some part may lie
    // outside the clip, or the flattening may exceed the budget.
    bool survey_needed(const path_extent& extent) const;
    // A wide stroke decided from its survey where that gives what its outline would give;
    // false: its outline is to be worked out.
    bool stroke_by_survey(GfxState* state, const path_extent& path);
    bool clip_by_survey(GfxState* state);
    // Grows box by the outline of a wide stroke (a dashed one by the pieces that bound its
    // dashing), worked out a few segments at a time; false when a stop cut it short
    // (stopped), or a position is not a finite number or beyond counting exactly.
    bool outline_box_in_chunks(GfxState* state, px_box& box, bool& stopped);
    void sync_splash(GfxState* state);
    void splash_to_device(SplashPath& sp, dev_path& out) const;
    // The outline of a wide stroke (dash pattern applied), in px. Beyond the cap on dash
    // pieces, the path is outlined by the pieces that bound its dashing on each segment
    // (bounded is then set); false, and no outline, when those cannot be placed.
    bool stroke_outline(GfxState* state, dev_path& out, bool* bounded = nullptr);

    // A Type 3 glyph under the conditions that decide what its procedure paints, in px:
    // the font, the code, the glyph matrix without its position, the text state that text
    // inside the procedure takes over, and the inherited line style. (Glyphs inside the
    // procedure paint into the record of every glyph they run in.)
    struct glyph_key {
        int font_num, font_gen;
        CharCode code;
        double matrix[4];
        double text_matrix[4];
        double font_size, scaling;
        double line_width, miter_limit;
        int line_cap, line_join;
        std::vector<double> dash;
        double dash_phase;
        bool operator<(const glyph_key& o) const;
    };
    // What a running glyph procedure painted.
    struct glyph_run {
        glyph_key key;
        size_t depth;            // the saved states when it began; it ends below them
        bool painted = false;    // anything at all, images too
        bool capturable = false; // a hairline, or a box that is large enough somewhere
    };
    // Paints of a running glyph procedure: a box whose larger side is extent px.
    void note_glyph_paint(double extent, bool hairline);
    void end_glyph_runs();
    // Boxes smaller than this (px) are not captured wherever a glyph puts them.
    static constexpr double small_glyph_extent = 8;
    static constexpr size_t max_small_glyphs = 100000;

    // What saveState keeps and restoreState brings back.
    struct saved_state {
        clip_box clip;
        double ctm[6];
    };

    double dpi_;
    // The page at this device's resolution: its matrix is the device matrix, changed with
    // the same arithmetic as the interpreter's state.
    std::unique_ptr<GfxState> space_;
    double page_w_ = 0;
    double page_h_ = 0;
    clip_box clip_;
    std::vector<saved_state> saved_;
    std::vector<glyph_run> glyph_runs_;
    // Glyphs that painted, and painted nothing that can be captured.
    std::set<glyph_key> small_glyphs_;
    type3_procedures procedures_; // glyph procedures that cannot paint are not run
    std::vector<bool> groups_; // open transparency groups: true for a soft mask's
    int soft_masks_ = 0;
    SplashClipResult op_clip_res_ = splashClipAllOutside;

    bool pruning_ = true;
    size_t outline_budget_;
    size_t chunk_segments_;

    // The bounding dash pieces for the last pattern that needed them.
    std::unique_ptr<dash_bounds> dash_bounds_;

    std::unique_ptr<SplashBitmap> bitmap_; // 1 x 1: the stroker needs a rasteriser
    std::unique_ptr<Splash> splash_;
};
