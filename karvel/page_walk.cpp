#include "karvel/page_walk.h"

#include <Annot.h>
#include <Gfx.h>
#include <GfxFont.h>
#include <GfxState.h>
#include <goo/GooString.h>
#include <Page.h>
#include <PDFDoc.h>

#include "PDFR/raster_dev.h"

page_walk_dev::page_walk_dev(raster_dev* raster, OutputDev* text) : raster_(raster), text_(text) {}

page_walk_dev::~page_walk_dev() = default;

void page_walk_dev::walk(PDFDoc* doc, int page, bool (*abort_check)(void*), void* abort_data)
{
    Page* p = doc->getPage(page);
    if (p == nullptr)
        return;
    std::unique_ptr<Gfx> gfx(p->createGfx(this, 72, 72, 0, false, true, -1, -1, -1, -1, true, abort_check, abort_data));
    p->display(gfx.get());
    for (Annot* annot : p->getAnnots()->getAnnots()) {
        set_sides(sides::text);
        annot->draw(gfx.get(), true);
        set_sides(sides::raster);
        annot->draw(gfx.get(), false);
    }
    set_sides(sides::both);
    gfx.reset();
    settle();
}

void page_walk_dev::set_sides(sides s)
{
    settle();
    sides_ = s;
}

void page_walk_dev::settle()
{
    if (held_.mode == held_string::waiting)
        hand_on_held(false);
}

void page_walk_dev::hand_on_held(bool hidden)
{
    held_string held;
    std::swap(held, held_);
    GfxState* current = nullptr;
    for (const held_call& c : held.calls) {
        switch (c.kind) {
        case held_call::begin:
            current = held.states[c.first].get();
            text_->beginString(current, held.texts[c.first].get());
            break;
        case held_call::glyph:
            if (!hidden && current != nullptr)
                text_->drawChar(current, c.x, c.y, c.dx, c.dy, 0, 0, c.code, 1, held.u.data() + c.first,
                                static_cast<int>(c.count));
            break;
        case held_call::end:
            if (current != nullptr)
                text_->endString(current);
            break;
        }
    }
}

void page_walk_dev::note_paint()
{
    // Hidden content paints nothing: the string is visible.
    if (held_.mode == held_string::collecting && glyph_depth_ >= 0) {
        hand_on_held(false);
        held_.mode = held_string::passing;
    }
}

// ---- the page and the graphics state ----------------------------------------------------

void page_walk_dev::startPage(int pageNum, GfxState* state, XRef* xref)
{
    settle();
    depth_ = 0;
    pattern_depth_ = 0;
    glyph_depth_ = -1;
    last_saved_ = nullptr;
    if (sides_ != sides::text)
        raster_->startPage(pageNum, state, xref);
    if (sides_ != sides::raster)
        text_->startPage(pageNum, state, xref);
}

void page_walk_dev::saveState(GfxState* state)
{
    ++depth_;
    last_saved_ = state;
    if (raster_on())
        raster_->saveState(state);
}

void page_walk_dev::restoreState(GfxState* state)
{
    if (raster_on())
        raster_->restoreState(state);
    --depth_;
    if (glyph_depth_ > depth_)
        glyph_depth_ = -1; // the glyph procedure has ended
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
    note_paint();
    if (raster_on())
        raster_->stroke(state);
}

void page_walk_dev::fill(GfxState* state)
{
    note_paint();
    if (raster_on())
        raster_->fill(state);
}

void page_walk_dev::eoFill(GfxState* state)
{
    note_paint();
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
    note_paint();
    raster_->drawImageMask(state, ref, str, width, height, invert, interpolate, inlineImg);
}

void page_walk_dev::drawImage(GfxState* state, Object* ref, Stream* str, int width, int height,
                              GfxImageColorMap* colorMap, bool interpolate, const int* maskColors, bool inlineImg)
{
    note_paint();
    raster_->drawImage(state, ref, str, width, height, colorMap, interpolate, maskColors, inlineImg);
}

void page_walk_dev::drawMaskedImage(GfxState* state, Object* ref, Stream* str, int width, int height,
                                    GfxImageColorMap* colorMap, bool interpolate, Stream* maskStr, int maskWidth,
                                    int maskHeight, bool maskInvert, bool maskInterpolate)
{
    note_paint();
    raster_->drawMaskedImage(state, ref, str, width, height, colorMap, interpolate, maskStr, maskWidth, maskHeight,
                             maskInvert, maskInterpolate);
}

void page_walk_dev::drawSoftMaskedImage(GfxState* state, Object* ref, Stream* str, int width, int height,
                                        GfxImageColorMap* colorMap, bool interpolate, Stream* maskStr,
                                        int maskWidth, int maskHeight, GfxImageColorMap* maskColorMap,
                                        bool maskInterpolate)
{
    note_paint();
    raster_->drawSoftMaskedImage(state, ref, str, width, height, colorMap, interpolate, maskStr, maskWidth,
                                 maskHeight, maskColorMap, maskInterpolate);
}

// ---- text -------------------------------------------------------------------------------

void page_walk_dev::updateFont(GfxState* state)
{
    settle();
    if (text_on())
        text_->updateFont(state);
}

void page_walk_dev::beginStringOp(GfxState* state)
{
    settle();
    const std::shared_ptr<GfxFont>& font = state->getFont();
    held_.mode = text_on() && font && font->getType() == fontType3 ? held_string::collecting : held_string::none;
}

void page_walk_dev::endStringOp(GfxState*)
{
    held_.mode = held_.mode == held_string::collecting ? held_string::waiting : held_string::none;
}

void page_walk_dev::incCharCount(int)
{
    // Follows a string operation in hidden content.
    if (held_.mode == held_string::waiting)
        hand_on_held(true);
}

void page_walk_dev::beginString(GfxState* state, const GooString* s)
{
    settle();
    if (!text_on())
        return;
    if (held_.mode != held_string::collecting) {
        text_->beginString(state, s);
        return;
    }
    held_.calls.push_back({held_call::begin, 0, 0, 0, 0, 0, held_.states.size(), 0});
    held_.states.emplace_back(state->copy(true));
    held_.texts.push_back(std::make_unique<GooString>(s != nullptr ? s->c_str() : ""));
}

void page_walk_dev::endString(GfxState* state)
{
    if (!text_on())
        return;
    if (held_.mode != held_string::collecting) {
        text_->endString(state);
        return;
    }
    held_.calls.push_back({held_call::end, 0, 0, 0, 0, 0, 0, 0});
}

void page_walk_dev::drawChar(GfxState* state, double x, double y, double dx, double dy, double originX,
                             double originY, CharCode code, int nBytes, const Unicode* u, int uLen)
{
    settle();
    if (text_on())
        text_->drawChar(state, x, y, dx, dy, originX, originY, code, nBytes, u, uLen);
}

bool page_walk_dev::beginType3Char(GfxState* state, double x, double y, double dx, double dy, CharCode code,
                                   const Unicode* u, int uLen)
{
    if (text_on()) {
        // The glyph as a character: its advance as the core works out a one-byte
        // character's (width, character and word spacing, horizontal scaling), in user space.
        auto* font = static_cast<Gfx8BitFont*>(state->getFont().get());
        double advance = font->getWidth(static_cast<unsigned char>(code)) * state->getFontSize() + state->getCharSpace();
        if (code == 0x20)
            advance += state->getWordSpace();
        advance *= state->getHorizScaling();
        double tdx, tdy;
        state->textTransformDelta(advance, 0 * state->getFontSize(), &tdx, &tdy);
        if (held_.mode == held_string::collecting && held_.calls.size() >= max_held) {
            // Bounded: a string this long that paints nothing counts as visible.
            hand_on_held(false);
            held_.mode = held_string::passing;
        }
        if (held_.mode == held_string::collecting) {
            held_.calls.push_back({held_call::glyph, x, y, tdx, tdy, code, held_.u.size(),
                                   u != nullptr && uLen > 0 ? static_cast<size_t>(uLen) : 0});
            if (u != nullptr && uLen > 0)
                held_.u.insert(held_.u.end(), u, u + uLen);
        } else if (last_saved_ != nullptr) {
            // the state of the text, saved just before the glyph's own
            text_->drawChar(last_saved_, x, y, tdx, tdy, 0, 0, code, 1, u, uLen);
        }
    }
    if (!raster_on() || raster_->beginType3Char(state, x, y, dx, dy, code, u, uLen))
        return true; // no side needs the glyph procedure
    if (glyph_depth_ < 0)
        glyph_depth_ = depth_;
    return false;
}
