// Whether running a Type 3 glyph procedure may paint, on a device that draws no text of
// its own: a procedure whose operators only set the state, build, clip or end paths and
// place text paints nothing, whatever the state it runs in; so does one that shows text
// only in fonts that paint nothing (any font but Type 3, or a Type 3 font none of whose
// procedures may paint). Worked out once per procedure of the document.
#pragma once

#include <CharTypes.h>

#include <cstddef>
#include <map>
#include <tuple>

class Dict;
class GfxFont;
class Object;
class XRef;

class type3_procedures {
public:
    void clear() { known_.clear(); }
    bool may_paint(XRef* xref, GfxFont* font, CharCode code);

private:
    // key: the procedure's object, the font's
    using key = std::tuple<int, int, int, int>;
    bool procedure(XRef* xref, const Object& proc, const Object& font, Dict* font_resources, int depth);
    bool font_shows_paint(XRef* xref, const Object& font, int depth);
    bool text_paints(XRef* xref, const char* name, Dict* proc_resources, Dict* font_resources, int depth);
    static constexpr int max_depth = 8;
    static constexpr size_t max_known = 100000;
    std::map<key, bool> known_;
};
