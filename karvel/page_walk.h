// One interpretation of a page for both passes. The core walks the page's content once at
// the text pass's resolution and this device hands every operation on: to the raster
// device, which keeps its own 150-dpi view of the page and captures the ruling lines, and
// to the XML device, which collects the text. Each receives what it would have received
// from a walk of its own:
// - tiling-pattern cells are drawn for the text side only;
// - the annotations are drawn once for each side, as that side shows them (see set_sides).
// Type 3 glyph procedures run for the raster side only. Type 3 text cannot go through the
// walk unchanged: the text side takes it without its glyph procedures, and whether it is
// hidden is known only to the interpreter. A page that shows Type 3 text to the text side
// is therefore walked once for each side on its own: at once when its resources name a
// Type 3 font, else from the first Type 3 string on (the walk up to there is given up).
#pragma once

#include <Object.h>
#include <OutputDev.h>

#include <map>

class raster_dev;
class Dict;
class GooString;
class Page;
class PDFDoc;

class page_walk_dev : public OutputDev {
public:
    page_walk_dev(raster_dev* raster, OutputDev* text);
    ~page_walk_dev() override;
    page_walk_dev(const page_walk_dev&) = delete;
    page_walk_dev& operator=(const page_walk_dev&) = delete;

    // Interprets the page (1-based) once at 72 dpi, crop box, as the text pass prints it:
    // the page's content for both devices, then each annotation for each device as that
    // device shows it (printed for the text, on screen for the rules); a page with Type 3
    // text is displayed for each device on its own instead, as each pass of its own
    // displays it. The abort callback is asked between operations.
    void walk(PDFDoc* doc, int page, bool (*abort_check)(void*), void* abort_data);

    // Which side the operations go to: both for the page's content; one side at a time
    // while that side's annotations are drawn.
    enum class sides { both, text, raster };
    void set_sides(sides s) { sides_ = s; }

    bool upsideDown() override { return true; }
    bool useDrawChar() override { return true; }
    bool interpretType3Chars() override { return true; }
    bool needNonText() override { return true; }
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
    void beginString(GfxState* state, const GooString* s) override;
    void endString(GfxState* state) override;
    void drawChar(GfxState* state, double x, double y, double dx, double dy, double originX, double originY,
                  CharCode code, int nBytes, const Unicode* u, int uLen) override;
    bool beginType3Char(GfxState* state, double x, double y, double dx, double dy, CharCode code,
                        const Unicode* u, int uLen) override;

private:
    bool raster_on() const { return !two_walks_ && sides_ != sides::text && pattern_depth_ == 0; }
    bool text_on() const { return !two_walks_ && sides_ != sides::raster; }
    // Gives the page up for two walks: nothing more goes to either side.
    void give_up() { two_walks_ = true; }
    // The content, then each annotation for each side; stops where the page is given up.
    void walk_once(Page* p);
    static bool abort_walk(void* self);
    // Whether the resources name a Type 3 font; the answer for a font object is kept for
    // the document.
    bool names_type3_font(Dict* resources);

    raster_dev* raster_;
    OutputDev* text_;
    sides sides_ = sides::both;
    int pattern_depth_ = 0;  // tiling-pattern cells being drawn
    bool two_walks_ = false; // the page is given up for two walks
    bool (*abort_check_)(void*) = nullptr;
    void* abort_data_ = nullptr;
    PDFDoc* doc_ = nullptr;            // the document walked last
    std::map<Ref, bool> type3_fonts_; // its font objects: whether each is a Type 3 font
};
