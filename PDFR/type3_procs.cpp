#include "PDFR/type3_procs.h"

#include <Dict.h>
#include <GfxFont.h>
#include <Lexer.h>

#include <cstddef>
#include <set>
#include <string>

namespace {

// Operators that reach no painting call of the device, whatever their operands and the
// state, and leave nothing behind that outlives the procedure (the interpreter restores
// the graphics state after a glyph): the graphics state and colours (a pattern is painted
// only by a painting operator), paths built, text objects, text state and position,
// points of marked content, compatibility sections, a glyph's metrics; and the delimiters
// of array and dictionary operands. Not among them: W, W* and n, since the clip they make
// or take is the interpreter's, not the state's (a clip left pending applies at the next
// path end after the glyph, and n uses up one pending before it); BMC, BDC and EMC, since
// the marked-content stack, and with it what is hidden, is the interpreter's too.
bool paints_nothing(const char* op)
{
    static const std::set<std::string> ops = {
        "q",  "Q",  "cm", "w",  "J",  "j",  "M",  "d",  "ri", "i",  "CS", "cs", "SC", "SCN", "sc", "scn",
        "G",  "g",  "RG", "rg", "K",  "k",  "m",  "l",  "c",  "v",  "y",  "h",  "re", "BT",  "ET", "Tc",
        "Tw", "Tz", "TL", "Tf", "Tr", "Ts", "Td", "TD", "Tm", "T*", "MP", "DP", "BX", "EX",  "d0", "d1",
        "[",  "]",  "<<", ">>"};
    return ops.count(op) != 0;
}

// Tokens read between two looks at the stop request.
constexpr size_t poll_every = 4096;

} // namespace

bool type3_procedures::may_paint(GfxFont* font, CharCode code)
{
    if (stop_requested())
        return false;
    if (!skipping_ || font->getType() != fontType3)
        return true;
    auto* t3 = static_cast<Gfx8BitFont*>(font);
    // What the interpreter runs: the procedure the font's encoding names for the code; it
    // runs only a stream, and a stream is always an indirect object.
    const Object proc = t3->getCharProcNF(static_cast<int>(code));
    if (!proc.isRef())
        return false;
    const Ref id = proc.getRef();
    const auto found = known_.find(id);
    if (found != known_.end())
        return found->second;
    XRef* xref = t3->getCharProcs()->getXRef();
    Object stream = proc.fetch(xref);
    bool paints = false;
    if (stream.isStream()) {
        const verdict v = read(xref, stream);
        if (v == verdict::unknown)
            return false; // stopped
        paints = v == verdict::may_paint;
    }
    known_[id] = paints;
    return paints;
}

type3_procedures::verdict type3_procedures::read(XRef* xref, Object& stream) const
{
    // The interpreter's parser takes its tokens from the same lexer: every operator it
    // runs is a command token here (operators inside array or dictionary operands are
    // looked at too, which only errs towards running).
    Lexer lexer(xref, &stream);
    for (size_t n = 1;; ++n) {
        if (n % poll_every == 0 && stop_requested())
            return verdict::unknown;
        const Object token = lexer.getObj();
        if (token.isEOF())
            return verdict::paints_nothing;
        if (token.isError())
            return verdict::may_paint;
        if (token.isCmd() && !paints_nothing(token.getCmd()))
            return verdict::may_paint;
    }
}
