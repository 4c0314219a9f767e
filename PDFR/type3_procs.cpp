#include "PDFR/type3_procs.h"

#include <GfxFont.h>
#include <Lexer.h>
#include <Object.h>
#include <Stream.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

// Operators that paint nothing in any state: the state, paths built, clipped or ended
// without painting, text state and position, marked content, a Type 3 glyph's metrics,
// and the tokens of operands.
bool paints_nothing(const char* op)
{
    static const std::set<std::string> ops = {
        "q",  "Q",  "cm", "w",  "J",   "j",   "M",  "d",  "ri", "i",  "CS", "cs", "SC", "SCN", "sc",
        "scn", "G", "g",  "RG", "rg",  "K",   "k",  "m",  "l",  "c",  "v",  "y",  "h",  "re",  "n",
        "W",  "W*", "BT", "ET", "Tc",  "Tw",  "Tz", "TL", "Tf", "Tr", "Ts", "Td", "TD", "Tm",  "T*",
        "BMC", "BDC", "EMC", "MP", "DP", "BX", "EX", "d0", "d1", "[",  "]",  "<<", ">>"};
    return ops.count(op) != 0;
}

bool shows_text(const char* op)
{
    return std::strcmp(op, "Tj") == 0 || std::strcmp(op, "TJ") == 0 || std::strcmp(op, "'") == 0 ||
           std::strcmp(op, "\"") == 0;
}

Dict* font_dict_of(Dict* resources)
{
    if (resources == nullptr)
        return nullptr;
    const Object& fonts = resources->lookupNF("Font");
    return fonts.isDict() ? fonts.getDict() : nullptr;
}

} // namespace

bool type3_procedures::may_paint(XRef* xref, GfxFont* font, CharCode code)
{
    if (xref == nullptr || font->getType() != fontType3)
        return true;
    auto* t3 = static_cast<Gfx8BitFont*>(font);
    const Object proc = t3->getCharProcNF(static_cast<int>(code));
    const Ref id = *font->getID();
    return procedure(xref, proc, Object(id), t3->getResources(), 0);
}

bool type3_procedures::procedure(XRef* xref, const Object& proc, const Object& font, Dict* font_resources, int depth)
{
    if (!proc.isRef() || !font.isRef() || depth > max_depth)
        return true;
    const key k(proc.getRefNum(), proc.getRefGen(), font.getRefNum(), font.getRefGen());
    const auto found = known_.find(k);
    if (found != known_.end())
        return found->second;
    if (known_.size() >= max_known)
        known_.clear();
    known_[k] = true; // while it is worked out: a procedure that shows itself may paint

    Object stream = proc.fetch(xref);
    bool result = true;
    if (stream.isStream()) {
        const Object resources = stream.streamGetDict()->lookup("Resources");
        Dict* own = resources.isDict() ? resources.getDict() : nullptr;
        Lexer lexer(xref, &stream);
        // Whether the text font in effect may paint, by saved state; the font the glyph
        // inherits is not known here.
        std::vector<bool> font_paints{true};
        std::string last_name;
        for (;;) {
            const Object token = lexer.getObj();
            if (token.isEOF()) {
                result = false;
                break;
            }
            if (token.isError())
                break;
            if (token.isName()) {
                last_name = token.getName();
                continue;
            }
            if (!token.isCmd())
                continue;
            const char* op = token.getCmd();
            if (shows_text(op)) {
                if (font_paints.back())
                    break;
                continue;
            }
            if (!paints_nothing(op))
                break;
            if (std::strcmp(op, "q") == 0) {
                font_paints.push_back(font_paints.back());
            } else if (std::strcmp(op, "Q") == 0) {
                if (font_paints.size() == 1)
                    break; // restores a state from outside the procedure
                font_paints.pop_back();
            } else if (std::strcmp(op, "Tf") == 0) {
                font_paints.back() = text_paints(xref, last_name.c_str(), own, font_resources, depth);
            }
        }
    }
    // (the entry may have gone with a full cache while this one was worked out)
    known_[k] = result;
    return result;
}

bool type3_procedures::text_paints(XRef* xref, const char* name, Dict* proc_resources, Dict* font_resources,
                                   int depth)
{
    // The name must be the font's resource; where the procedure has resources of its own
    // that name it too, both fonts must paint nothing.
    Dict* fonts = font_dict_of(font_resources);
    if (fonts == nullptr || fonts->lookupNF(name).isNull() || font_shows_paint(xref, fonts->lookupNF(name), depth))
        return true;
    Dict* own = font_dict_of(proc_resources);
    return own != nullptr && !own->lookupNF(name).isNull() && font_shows_paint(xref, own->lookupNF(name), depth);
}

bool type3_procedures::font_shows_paint(XRef* xref, const Object& font, int depth)
{
    const Object dict = font.fetch(xref);
    if (!dict.isDict())
        return true;
    const Object subtype = dict.dictLookup("Subtype");
    if (!subtype.isName("Type3"))
        return !subtype.isName(); // no Type 3 font: its text paints nothing here
    if (!font.isRef())
        return true;
    const Object procs = dict.dictLookup("CharProcs");
    const Object resources = dict.dictLookup("Resources");
    if (!procs.isDict())
        return true;
    for (int i = 0; i < procs.dictGetLength(); ++i)
        if (procedure(xref, procs.dictGetValNF(i), font, resources.isDict() ? resources.getDict() : nullptr,
                      depth + 1))
            return true;
    return false;
}
