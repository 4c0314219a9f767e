#include "karvel/text_word.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include <GfxFont.h>
#include <GfxState.h>
#include <goo/gmem.h>

#include "PDFR/pdf_width_getter.h"
#include "TK/tk_log.h"
#include "karvel/text_font_info.h"

namespace kvl {

namespace {

struct family_row {
    const char* entry;
    const char* fragments[5];
    double factor;
};

const family_row family_table[] = {
    {"{\\f11\\fswiss\\fcharset0 Arial Narrow;}", {"Narrow", "MSTT", "Cond"}, 0.11},
    {"{\\f10\\fswiss\\fcharset0 Arial;}", {"Arial", "Tahoma", "Helvetica"}, 0.145},
    {"{\\f12\\fswiss\\fcharset0 Franklin Gothic;}", {"FranklinGothic"}, 0.14},
    {"{\\f12\\fswiss\\fcharset0 Verdana;}", {"Verdana"}, 0.3},
    {"{\\f20\\froman\\fcharset0 Times New Roman;}", {"Roman", "Times", "CMR", "CMBX", "CMCSC"}, 0.14},
    {"{\\f21\\froman\\fcharset0 Garamond;}", {"Garamond"}, 0.134},
    {"{\\f22\\froman\\fcharset0 Palatino Linotype;}", {"Palatino"}, 0.15},
    {"{\\f30\\fmodern\\fcharset0 Courier New;}", {"Courier", "CMTT", "Pica", "Elite"}, 0.323},
    {"{\\f31\\fmodern\\fcharset0 Lucida Console;}", {"Console"}, 0.31},
    {"{\\f40\\ftech\\fcharset2 Symbol;}", {"Symbol", "CMSY", "Technical"}, 0.14},
    {"{\\f50\\fscript\\fcharset0 Garamond;}", {"Minion", "Script", "CMMI", "CMTI", "Cursive"}, 0.1486},
    {"{\\f60 Haettenschweiler;}", {"Haettenschweiler", "Condensed", "Impact"}, 0.1},
};
const int family_rows = sizeof(family_table) / sizeof(family_table[0]);

const char* const serif_names[] = {"Roman", "CMR", "CMCSC", "CMBX", "Garamond", "Palatino", "Bookman",
                                   "Georgia", nullptr};
const char* const sans_names[] = {"Arial", "Century Gothic", "Sans", "Swiss", "AvantGarde", "Helvetica",
                                  "FranklinGothic", "Tahoma", "Verdana", "Trebuchet", nullptr};
const char* const italic_names[] = {"CMTI", "CMMI", "Italic", "Oblique", "CMSL", nullptr};
const char* const bold_names[] = {"CMBX", "Bold", "Chicago", nullptr};

std::string row_code(int row) { return std::string(family_table[row].entry + 2, 3); }
char row_digit(int row) { return family_table[row].entry[3]; }
std::string row_face(int row)
{
    std::string entry = family_table[row].entry;
    size_t space = entry.find(' ');
    std::string face = space == std::string::npos ? std::string() : entry.substr(space + 1);
    return face.size() >= 2 ? face.substr(0, face.size() - 2) : std::string();
}

bool contains(const std::string& name, const char* fragment)
{
    return name.find(fragment) != std::string::npos;
}

bool either_contains(const std::string& a, const std::string& b, const char* fragment)
{
    return contains(a, fragment) || contains(b, fragment);
}

bool either_contains_any(const std::string& a, const std::string& b, const char* const* list)
{
    for (; *list != nullptr; ++list)
        if (either_contains(a, b, *list))
            return true;
    return false;
}

int first_row_where(bool (*test)(int))
{
    for (int row = 0; row < family_rows; ++row)
        if (test(row))
            return row;
    return 1;
}

} // namespace

bool isBulletChar(Unicode u)
{
    switch (u) {
    case 1: case 2: case 3: case 4: case 0x80: case 0x95: case 0x96: case 0xA5: case 0xB7: case 0xD8:
    case 0x2022:
        return true;
    default:
        return false;
    }
}

TextWord::TextWord(GfxState* state, int rotA, double x0A, double y0A, int streamPosA, TextFontInfo* fontA,
                   double fontSizeA)
    : rot(rotA), xMin(0), xMax(0), yMin(0), yMax(0), base(0), x0(x0A), y0(y0A), text(nullptr),
      edge(nullptr), len(0), size(0), streamPos(streamPosA), streamLen(0), font(fontA),
      fontSize(fontSizeA), spaceWidth(0), spaceMeasured(false), spaceFollows(0), next(nullptr), isSans(false),
      isSerif(false), isBold(false), isItalic(false), isDisplay(false), isBullet(false),
      isUnderlined(false), raisedBy(0), loweredBy(0), groupId(0), cellCode(0), colorR(0), colorG(0),
      colorB(0)
{
    tk_log(1, "TextWord::ctor(TextFontInfo=%08X)", static_cast<unsigned>(reinterpret_cast<uintptr_t>(font)));

    GfxColorSpace* space = state->getFillColorSpace();
    if (space != nullptr) {
        GfxRGB rgb;
        space->getRGB(state->getFillColor(), &rgb);
        colorR = rgb.r / 255;
        colorG = rgb.g / 255;
        colorB = rgb.b / 255;
    }

    double x, y;
    state->transform(x0, y0, &x, &y);
    tk_log(1, "STEP #1");

    std::shared_ptr<GfxFont> heldFont = font != nullptr ? font->getFont() : nullptr;
    GfxFont* gfxFont = heldFont.get();
    if (gfxFont != nullptr) {
        tk_log(1, "gfxFont is not NULL");
        TextFontFamily& family = font->family;
        if (!family.known) {
            matchFamily(gfxFont);
            family = {true, isSans, isSerif, isBold, isItalic, isDisplay, spaceWidth, fontCode, faceName};
        } else {
            isSans = family.isSans;
            isSerif = family.isSerif;
            isBold = family.isBold;
            isItalic = family.isItalic;
            isDisplay = family.isDisplay;
            spaceWidth = family.spaceWidth;
            fontCode = family.fontCode;
            faceName = family.faceName;
        }
    } else {
        tk_log(1, "gfxFont is NULL");
        int row = first_row_where([](int r) { return row_code(r).back() == '0'; });
        fontCode = row_code(row);
        spaceWidth = family_table[row].factor;
        faceName = row_face(row);
    }

    tk_log(1, "STEP #2");

    double ascent, descent;
    if (gfxFont != nullptr) {
        ascent = gfxFont->getAscent() * fontSize;
        descent = gfxFont->getDescent() * fontSize;
    } else {
        ascent = 0.95 * fontSize;
        descent = -0.35 * fontSize;
    }

    switch (rot) {
    case 0:
        yMin = y - ascent;
        yMax = y - descent;
        if (yMin == yMax) {
            yMin = y;
            yMax = y + 1;
        }
        base = y;
        break;
    case 1:
        xMin = x + descent;
        xMax = x + ascent;
        if (xMin == xMax) {
            xMin = x;
            xMax = x + 1;
        }
        base = x;
        break;
    case 2:
        yMin = y + descent;
        yMax = y + ascent;
        if (yMin == yMax) {
            yMin = y;
            yMax = y + 1;
        }
        base = y;
        break;
    case 3:
        xMin = x - ascent;
        xMax = x - descent;
        if (xMin == xMax) {
            xMin = x;
            xMax = x + 1;
        }
        base = x;
        break;
    }
}

double TextWord::measuredSpaceWidth()
{
    if (!spaceMeasured && !faceName.empty()) {
        pdf_width_getter& getter = tk_singleton<pdf_width_getter>::instance();
        getter.set_font(faceName, static_cast<float>(fontSize), isBold, isItalic);
        const double inches = getter.get_width(" ");
        // A zero size would make the width infinite; the table's factor stays then.
        if (fontSize > 0)
            spaceWidth = inches * 72.0 / fontSize;
    }
    spaceMeasured = true;
    return spaceWidth;
}

void TextWord::matchFamily(GfxFont* gfxFont)
{
    const std::optional<std::string>& nameOpt = gfxFont->getName();
    std::string name = nameOpt ? *nameOpt : std::string();
    const GooString* embedded = gfxFont->getEmbeddedFontName();
    std::string embName = embedded != nullptr ? embedded->toStr() : std::string();
    int flags = gfxFont->getFlags();
    isItalic = (flags & (1 << 6)) != 0;
    isBold = (flags & (1 << 18)) != 0;

    int row = -1;
    for (int r = 0; r < family_rows && row < 0; ++r) {
        for (const char* fragment : family_table[r].fragments) {
            if (fragment != nullptr && either_contains(name, embName, fragment)) {
                row = r;
                break;
            }
        }
    }
    if (row >= 0) {
        char digit = row_digit(row);
        isSans = isSans || digit == '1';
        isSerif = isSerif || digit == '2';
        isDisplay = isDisplay || digit == '6';
    } else if (either_contains_any(name, embName, serif_names)) {
        isSerif = true;
        row = first_row_where([](int r) { return row_code(r) == "f20"; });
    } else if (either_contains_any(name, embName, sans_names)) {
        isSans = true;
        row = first_row_where([](int r) { return row_code(r) == "f10"; });
    } else if (flags & fontFixedWidth) {
        row = first_row_where([](int r) { return row_digit(r) == '3'; });
    } else if (flags & fontSerif) {
        row = first_row_where([](int r) { return row_digit(r) == '2'; });
    } else {
        row = first_row_where([](int r) { return row_code(r).back() == '0'; });
    }
    fontCode = row_code(row);
    spaceWidth = family_table[row].factor;
    faceName = row_face(row);

    if (either_contains_any(name, embName, italic_names))
        isItalic = true;
    if (either_contains_any(name, embName, bold_names))
        isBold = true;
}

TextWord::~TextWord()
{
    gfree(text);
    gfree(edge);
}

void TextWord::addChar(GfxState* state, double x, double y, double dx, double dy, Unicode u)
{
    (void)state;
    tk_log(1, "TextWord::addChar(x=%lg, y=%lg, y_base=%f, c='%c', c16='%x%x') ", x, y, base,
           static_cast<char>(u), u >> 8, u & 0xff);
    if (len == size) {
        // Grows by 16 at first, then geometrically, so that a long word costs linear time.
        int grow = std::max(16, size / 2);
        if (size > 0x3ffffff0 - grow)
            return; // beyond what an int count can hold: the character is dropped
        size += grow;
        text = static_cast<Unicode*>(greallocn(text, size, sizeof(Unicode)));
        edge = static_cast<double*>(greallocn(edge, size + 1, sizeof(double)));
    }
    text[len] = u;
    switch (rot) {
    case 0:
        if (len == 0)
            xMin = x;
        edge[len] = x;
        xMax = edge[len + 1] = x + dx;
        break;
    case 1:
        if (len == 0)
            yMin = y;
        edge[len] = y;
        yMax = edge[len + 1] = y + dy;
        break;
    case 2:
        if (len == 0)
            xMax = x;
        edge[len] = x;
        xMin = edge[len + 1] = x + dx;
        break;
    case 3:
        if (len == 0)
            yMax = y;
        edge[len] = y;
        yMin = edge[len + 1] = y + dy;
        break;
    }
    ++len;
}

void TextWord::merge(TextWord* word)
{
    tk_log(1, "TextWord::merge");
    xMin = std::min(xMin, word->xMin);
    yMin = std::min(yMin, word->yMin);
    xMax = std::max(xMax, word->xMax);
    yMax = std::max(yMax, word->yMax);
    if (word->len > size - len) {
        size = len + word->len;
        text = static_cast<Unicode*>(greallocn(text, size, sizeof(Unicode)));
        edge = static_cast<double*>(greallocn(edge, size + 1, sizeof(double)));
    }
    if (word->len > 0) {
        for (int i = 0; i < word->len; ++i) {
            text[len + i] = word->text[i];
            edge[len + i] = word->edge[i];
        }
        edge[len + word->len] = word->edge[word->len];
        len += word->len;
    }
    streamLen += word->streamLen;
}

double TextWord::primaryCmp(const TextWord* word) const
{
    switch (rot) {
    case 0: return xMin - word->xMin;
    case 1: return yMin - word->yMin;
    case 2: return word->xMax - xMax;
    default: return word->yMax - yMax;
    }
}

double TextWord::primaryDelta(const TextWord* word) const
{
    switch (rot) {
    case 0: return word->xMin - xMax;
    case 1: return word->yMin - yMax;
    case 2: return xMin - word->xMax;
    default: return yMin - word->yMax;
    }
}

} // namespace kvl
