// Whether running a Type 3 glyph procedure may paint, on a device that draws no text of
// its own. A procedure is known to paint nothing only when every operator it holds is one
// that reaches no painting call of the device in any state and with any operands, and
// leaves nothing behind once the glyph's state is restored: the state, colours, paths
// built, text state and position, a glyph's metrics. Any other operator (text shown in
// any font, a path painted, clipped or ended, marked content, an XObject, a shading, an
// inline image, an ExtGState, an operator not known here) or a token the lexer rejects
// means it may paint, or change what paints after it. No font, resource or operand is
// looked at, so the answer needs none of the interpreter's checks.
// A glyph its font has no procedure for runs nothing.
// Worked out once per procedure object of the document, in one read of its operators.
#pragma once

#include <CharTypes.h>
#include <Object.h>

#include <map>

#include "TK/tk_threa.h"

class GfxFont;
class XRef;

class type3_procedures {
public:
    void clear() { known_.clear(); }
    // False where running the glyph's procedure cannot reach a painting call; also false
    // once a stop is requested (the page is not written then).
    bool may_paint(GfxFont* font, CharCode code);

    // Asked while a procedure is read and before every glyph.
    void set_abort_check(bool (*check)(void*), void* data)
    {
        stop_ = tk_stop_check{check, data};
    }

    // Whether a stop was requested.
    bool stop_requested() const { return stop_.requested(); }
    const tk_stop_check& stop_check() const { return stop_; }

    // For tests: false runs every glyph procedure (and looks for none) as if none could
    // be skipped.
    void set_skipping(bool on) { skipping_ = on; }

private:
    // Whether the procedure's operators may paint; unknown when a stop cut the read.
    enum class verdict { paints_nothing, may_paint, unknown };
    verdict read(XRef* xref, Object& stream) const;

    std::map<Ref, bool> known_; // by procedure object
    tk_stop_check stop_;
    bool skipping_ = true;
};
