// One run of glyphs between two word breaks.
#pragma once

#include <string>

#include <CharTypes.h>

class GfxFont;
class GfxState;

namespace kvl {

class TextFontInfo;

class TextWord {
public:
    TextWord(GfxState* state, int rot, double x0, double y0, int streamPos, TextFontInfo* font,
             double fontSize);
    ~TextWord();

    TextWord(const TextWord&) = delete;
    TextWord& operator=(const TextWord&) = delete;

    // Appends one character whose near edge is at device point (x, y) with advance (dx, dy).
    void addChar(GfxState* state, double x, double y, double dx, double dy, Unicode u);
    // Appends every character of the other word and takes in its box.
    void merge(TextWord* word);

    // Pool order: negative when this word comes first along its rotation.
    double primaryCmp(const TextWord* word) const;
    // Gap from this word to a following one along the rotation.
    double primaryDelta(const TextWord* word) const;
    // Width of a space in the word's face, in units of the font size, measured with the
    // platform's font metrics when it is first asked for (the layout and the writer do not
    // ask, so a conversion never sets the platform's fonts up).
    double measuredSpaceWidth();

    int rot;
    double xMin, xMax, yMin, yMax;
    double base;
    double x0, y0;
    Unicode* text;
    double* edge;
    int len;
    int size;
    int streamPos;
    int streamLen;
    TextFontInfo* font;
    double fontSize;
    // The family table's factor until the space is measured (measuredSpaceWidth).
    double spaceWidth;
    bool spaceMeasured;
    int spaceFollows;
    TextWord* next;
    bool isSans, isSerif, isBold, isItalic, isDisplay, isBullet, isUnderlined;
    int raisedBy, loweredBy;
    std::string fontCode;
    std::string faceName;
    int groupId;
    int cellCode;
    int colorR, colorG, colorB;

private:
    void matchFamily(GfxFont* gfxFont);
};

// The characters that mark a list bullet when a word starts with one.
bool isBulletChar(Unicode u);

} // namespace kvl
