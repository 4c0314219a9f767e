#include "karvel/page_walk.h"

#include <Annot.h>
#include <Gfx.h>
#include <GfxFont.h>
#include <GfxState.h>
#include <Page.h>
#include <PDFDoc.h>

#include "PDFR/pdf_ulin.h"
#include "PDFR/raster_dev.h"

page_walk_dev::page_walk_dev(raster_dev* raster, OutputDev* text) : raster_(raster), text_(text) {}

page_walk_dev::~page_walk_dev() = default;

void page_walk_dev::walk(PDFDoc* doc, int page, bool (*abort_check)(void*), void* abort_data)
{
    Page* p = doc->getPage(page);
    if (p == nullptr)
        return;
    abort_check_ = abort_check;
    abort_data_ = abort_data;
    raster_->glyph_procedures().set_abort_check(abort_check, abort_data);
    if (doc != doc_) {
        type3_fonts_.clear();
        doc_ = doc;
    }
    // A page whose resources name a Type 3 font is walked twice at once.
    two_walks_ = names_type3_font(p->getResourceDict());
    if (!two_walks_) {
        walk_once(p);
        if (!two_walks_)
            return;
        // What the given-up walk captured is dropped.
        if (tk_singleton<pdf_uline_processor>::exists())
            tk_singleton<pdf_uline_processor>::instance().flush();
    }
    doc->displayPage(raster_, page, raster_->dpi(), raster_->dpi(), 0, false, true, false, abort_check, abort_data);
    // The core asks the abort callback only every few operations: a stopped page's text
    // walk could still run a long string first.
    if (abort_check != nullptr && abort_check(abort_data))
        return;
    doc->displayPage(text_, page, 72, 72, 0, false, true, true, abort_check, abort_data);
}

void page_walk_dev::walk_once(Page* p)
{
    std::unique_ptr<Gfx> gfx(p->createGfx(this, 72, 72, 0, false, true, -1, -1, -1, -1, true, &abort_walk, this));
    p->display(gfx.get());
    for (Annot* annot : p->getAnnots()->getAnnots()) {
        if (two_walks_)
            break;
        set_sides(sides::text);
        annot->draw(gfx.get(), true);
        set_sides(sides::raster);
        annot->draw(gfx.get(), false);
    }
    set_sides(sides::both);
}

bool page_walk_dev::names_type3_font(Dict* resources)
{
    if (resources == nullptr)
        return false;
    const Object fonts = resources->lookup("Font");
    if (!fonts.isDict())
        return false;
    const auto is_type3 = [](const Object& font) {
        return font.isDict() && font.dictLookup("Subtype").isName("Type3");
    };
    for (int i = 0; i < fonts.dictGetLength(); ++i) {
        const Object& entry = fonts.dictGetValNF(i);
        if (!entry.isRef()) {
            if (is_type3(entry))
                return true;
            continue;
        }
        auto found = type3_fonts_.find(entry.getRef());
        if (found == type3_fonts_.end())
            found = type3_fonts_.emplace(entry.getRef(), is_type3(entry.fetch(fonts.getDict()->getXRef()))).first;
        if (found->second)
            return true;
    }
    return false;
}

bool page_walk_dev::abort_walk(void* self)
{
    const auto* walk = static_cast<page_walk_dev*>(self);
    return walk->two_walks_ || (walk->abort_check_ != nullptr && walk->abort_check_(walk->abort_data_));
}

// ---- the page and the graphics state ----------------------------------------------------

void page_walk_dev::startPage(int pageNum, GfxState* state, XRef* xref)
{
    pattern_depth_ = 0;
    if (sides_ != sides::text)
        raster_->startPage(pageNum, state, xref);
    if (sides_ != sides::raster)
        text_->startPage(pageNum, state, xref);
}

void page_walk_dev::saveState(GfxState* state)
{
    if (raster_on())
        raster_->saveState(state);
}

void page_walk_dev::restoreState(GfxState* state)
{
    if (raster_on())
        raster_->restoreState(state);
}

void page_walk_dev::updateCTM(GfxState* state, double m11, double m12, double m21, double m22, double m31,
                              double m32)
{
    if (raster_on())
        raster_->updateCTM(state, m11, m12, m21, m22, m31, m32);
}

void page_walk_dev::updatePatternOpacity(GfxState*)
{
    ++pattern_depth_;
}

void page_walk_dev::clearPatternOpacity(GfxState*)
{
    if (pattern_depth_ > 0)
        --pattern_depth_;
}

// ---- paths ------------------------------------------------------------------------------

void page_walk_dev::stroke(GfxState* state)
{
    if (raster_on())
        raster_->stroke(state);
}

void page_walk_dev::fill(GfxState* state)
{
    if (raster_on())
        raster_->fill(state);
}

void page_walk_dev::eoFill(GfxState* state)
{
    if (raster_on())
        raster_->eoFill(state);
}

void page_walk_dev::clip(GfxState* state)
{
    if (raster_on())
        raster_->clip(state);
}

void page_walk_dev::eoClip(GfxState* state)
{
    if (raster_on())
        raster_->eoClip(state);
}

void page_walk_dev::clipToStrokePath(GfxState* state)
{
    if (raster_on())
        raster_->clipToStrokePath(state);
}

void page_walk_dev::beginTransparencyGroup(GfxState* state, const double* bbox, GfxColorSpace* blendingColorSpace,
                                           bool isolated, bool knockout, bool forSoftMask)
{
    if (raster_on())
        raster_->beginTransparencyGroup(state, bbox, blendingColorSpace, isolated, knockout, forSoftMask);
}

void page_walk_dev::endTransparencyGroup(GfxState* state)
{
    if (raster_on())
        raster_->endTransparencyGroup(state);
}

void page_walk_dev::drawImageMask(GfxState* state, Object* ref, Stream* str, int width, int height, bool invert,
                                  bool interpolate, bool inlineImg)
{
    raster_->drawImageMask(state, ref, str, width, height, invert, interpolate, inlineImg);
}

void page_walk_dev::drawImage(GfxState* state, Object* ref, Stream* str, int width, int height,
                              GfxImageColorMap* colorMap, bool interpolate, const int* maskColors, bool inlineImg)
{
    raster_->drawImage(state, ref, str, width, height, colorMap, interpolate, maskColors, inlineImg);
}

void page_walk_dev::drawMaskedImage(GfxState* state, Object* ref, Stream* str, int width, int height,
                                    GfxImageColorMap* colorMap, bool interpolate, Stream* maskStr, int maskWidth,
                                    int maskHeight, bool maskInvert, bool maskInterpolate)
{
    raster_->drawMaskedImage(state, ref, str, width, height, colorMap, interpolate, maskStr, maskWidth, maskHeight,
                             maskInvert, maskInterpolate);
}

void page_walk_dev::drawSoftMaskedImage(GfxState* state, Object* ref, Stream* str, int width, int height,
                                        GfxImageColorMap* colorMap, bool interpolate, Stream* maskStr,
                                        int maskWidth, int maskHeight, GfxImageColorMap* maskColorMap,
                                        bool maskInterpolate)
{
    raster_->drawSoftMaskedImage(state, ref, str, width, height, colorMap, interpolate, maskStr, maskWidth,
                                 maskHeight, maskColorMap, maskInterpolate);
}

// ---- text -------------------------------------------------------------------------------

void page_walk_dev::updateFont(GfxState* state)
{
    if (text_on())
        text_->updateFont(state);
}

void page_walk_dev::beginStringOp(GfxState* state)
{
    const std::shared_ptr<GfxFont>& font = state->getFont();
    if (text_on() && font && font->getType() == fontType3)
        give_up();
}

void page_walk_dev::beginString(GfxState* state, const GooString* s)
{
    if (text_on())
        text_->beginString(state, s);
}

void page_walk_dev::endString(GfxState* state)
{
    if (text_on())
        text_->endString(state);
}

void page_walk_dev::drawChar(GfxState* state, double x, double y, double dx, double dy, double originX,
                             double originY, CharCode code, int nBytes, const Unicode* u, int uLen)
{
    if (text_on())
        text_->drawChar(state, x, y, dx, dy, originX, originY, code, nBytes, u, uLen);
}

bool page_walk_dev::beginType3Char(GfxState* state, double x, double y, double dx, double dy, CharCode code,
                                   const Unicode* u, int uLen)
{
    if (text_on())
        give_up(); // a Type 3 string reached the text side after all
    if (!raster_on())
        return true; // no side needs the glyph procedure
    return raster_->beginType3Char(state, x, y, dx, dy, code, u, uLen);
}
