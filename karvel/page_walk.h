// One interpretation of a page for both passes. The core walks the page's content once at
// the text pass's resolution and this device hands every operation on: to the raster
// device, which keeps its own 150-dpi view of the page and captures the ruling lines, and
// to the XML device, which collects the text. Each receives what it would have received
// from a walk of its own:
// - Type 3 glyph procedures run for the raster side only; the text side gets each Type 3
//   glyph as a character (its advance worked out as the core works out a character's);
// - tiling-pattern cells are drawn for the text side only;
// - a Type 3 string in hidden optional content reaches the text side without its glyphs.
//   The core runs the glyph procedures of hidden text too (it only drops what they paint)
//   and tells of a hidden string, by a character count, only after it. So the text side's
//   calls of a Type 3 string are held back until a glyph paints (the string is visible)
//   or the string ends: then a character count that follows means hidden. (The core counts
//   the characters of a visible string shown with the " operator instead, so a visible "
//   string of glyphs that paint nothing, such as spaces alone, is taken for hidden; and a
//   string that holds more than max_held calls without painting is taken for visible.)
// The annotations are drawn once for each side, as that side shows them (see set_sides).
#pragma once

#include <OutputDev.h>

#include <memory>
#include <vector>

class raster_dev;
class GooString;
class PDFDoc;

class page_walk_dev : public OutputDev {
public:
    page_walk_dev(raster_dev* raster, OutputDev* text);
    ~page_walk_dev() override;
    page_walk_dev(const page_walk_dev&) = delete;
    page_walk_dev& operator=(const page_walk_dev&) = delete;

    // Interprets the page (1-based) once at 72 dpi, crop box, as the text pass prints it:
    // the page's content for both devices, then each annotation for each device as that
    // device shows it (printed for the text, on screen for the rules). The abort callback
    // is asked between operations.
    void walk(PDFDoc* doc, int page, bool (*abort_check)(void*), void* abort_data);

    // Which side the operations go to: both for the page's content; one side at a time
    // while that side's annotations are drawn.
    enum class sides { both, text, raster };
    void set_sides(sides s);
    // Hands on what is held back for the text side.
    void settle();

    bool upsideDown() override { return true; }
    bool useDrawChar() override { return true; }
    bool interpretType3Chars() override { return true; }
    bool needNonText() override { return true; }
    bool needCharCount() override { return true; }
    // The core draws the cells (their text is the text side's); the raster side skips them.
    bool useTilingPatternFill() override { return false; }
    void updatePatternOpacity(GfxState* state) override;
    void clearPatternOpacity(GfxState* state) override;
    // Shadings capture nothing and carry no text.
    bool useShadedFills(int) override { return true; }
    bool functionShadedFill(GfxState*, GfxFunctionShading*) override { return true; }
    bool axialShadedFill(GfxState*, GfxAxialShading*, double, double) override { return true; }
    bool radialShadedFill(GfxState*, GfxRadialShading*, double, double) override { return true; }
    bool gouraudTriangleShadedFill(GfxState*, GfxGouraudTriangleShading*) override { return true; }
    bool patchMeshShadedFill(GfxState*, GfxPatchMeshShading*) override { return true; }
    // Images capture nothing; the raster device reads their data (once), muted or not.
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
    void beginTransparencyGroup(GfxState* state, const double* bbox, GfxColorSpace* blendingColorSpace,
                                bool isolated, bool knockout, bool forSoftMask) override;
    void endTransparencyGroup(GfxState* state) override;

    void updateFont(GfxState* state) override;
    void beginStringOp(GfxState* state) override;
    void endStringOp(GfxState* state) override;
    void beginString(GfxState* state, const GooString* s) override;
    void endString(GfxState* state) override;
    void drawChar(GfxState* state, double x, double y, double dx, double dy, double originX, double originY,
                  CharCode code, int nBytes, const Unicode* u, int uLen) override;
    void incCharCount(int nChars) override;
    bool beginType3Char(GfxState* state, double x, double y, double dx, double dy, CharCode code,
                        const Unicode* u, int uLen) override;

private:
    bool raster_on() const { return sides_ != sides::text && pattern_depth_ == 0; }
    bool text_on() const { return sides_ != sides::raster && glyph_depth_ < 0; }

    // One text-side call of a held-back Type 3 string.
    struct held_call {
        enum kind_t { begin, glyph, end } kind;
        double x, y, dx, dy; // glyph
        CharCode code;       // glyph
        size_t first, count; // glyph: its Unicode values in held_string::u; begin: its state
    };
    // The text-side calls of a Type 3 string operation while they wait for the answer.
    struct held_string {
        enum mode_t {
            none,       // no Type 3 string is held: calls go straight through
            collecting, // inside a Type 3 string operation, nothing painted yet
            passing,    // a glyph painted: the string is visible, calls go straight through
            waiting     // the operation ended without a paint; the next call tells
        } mode = none;
        std::vector<std::unique_ptr<GfxState>> states; // the state at each string's start
        std::vector<std::unique_ptr<GooString>> texts;
        std::vector<held_call> calls;
        std::vector<Unicode> u;
    };
    static constexpr size_t max_held = 100000;
    // Hands the held calls to the text side, the glyphs only when the string is visible.
    void hand_on_held(bool hidden);
    // A glyph procedure painted.
    void note_paint();

    raster_dev* raster_;
    OutputDev* text_;
    sides sides_ = sides::both;
    int depth_ = 0;          // saved states of the walk
    int pattern_depth_ = 0;  // tiling-pattern cells being drawn
    int glyph_depth_ = -1;   // the depth inside which a Type 3 glyph procedure runs
    GfxState* last_saved_ = nullptr;
    held_string held_;
};
