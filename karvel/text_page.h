// The page text model: glyphs become words in four pools; the layout pass builds
// blocks, lines and flows from them.
#pragma once

#include <cstdio>
#include <unordered_map>
#include <vector>

#include <CharTypes.h>

#include "TK/tk_threa.h"

class GfxFont;
class GfxState;
class UnicodeMap;

namespace kvl {

class TextWord;
class TextPool;
class TextFontInfo;
class TextBlock;
class TextFlow;

class TextPage {
public:
    explicit TextPage(bool contentOrder);
    ~TextPage();

    TextPage(const TextPage&) = delete;
    TextPage& operator=(const TextPage&) = delete;

    // Collection, driven by the XML device.
    void startPage();
    void setPageSize(double width, double height);
    void updateFont(GfxState* state);
    void beginWord(GfxState* state, double x, double y);
    void addChar(GfxState* state, double x, double y, double dx, double dy, CharCode c, int nBytes,
                 const Unicode* u, int uLen);
    void endWord();
    // Asks the ruling lines, in the order the characters came, whether each character
    // lies on an underline (the page's rules are only complete once its walk has ended).
    void findUnderlines();

    // The layout pass (blocks, lines, reading order, flows). Runs once per page.
    void coalesce(bool physicalLayout, bool collectRules);

    // Writes the page (defined with the page regions and writer).
    void dump(FILE* f, int page_number);

    double pageWidth, pageHeight;
    TextWord* currentWord;
    int streamPos;
    TextFontInfo* currentFont;
    double currentFontSize;
    int nestDepth;
    int tinyGlyphCount;
    bool previousOverlapped;
    TextPool* pools[4];

    // Layout results.
    TextFlow* flows;
    TextBlock** blocks; // owns the blocks, in reading order
    int nBlocks;
    int primaryRot;
    bool primaryLR;

    std::vector<TextFontInfo*> fonts;

    // A character's question for the ruling lines, kept until its page's rules are in.
    struct UnderlineQuery {
        TextWord* word;
        double xMin, xMax, yBase;
    };
    std::vector<UnderlineQuery> underlineQueries;

    // Polled by the layout and the writing of the page: a stop ends them with
    // tk_stop_exception.
    tk_stop_check stop;

    // Tiny glyphs beyond this count are dropped.
    static constexpr int maxTinyGlyphs = 50000;

private:
    void addWord(TextWord* word);
    void clear();
    void assignCellsAndGroups();
    void buildBlocks(const UnicodeMap* uMap);
    void findDirection();
    void numberBlockColumns();
    void orderBlocks();
    void buildFlows();

    bool coalesced;
    // The record of each font address, for a lookup in constant time: a page that runs a
    // form many times meets a new font object, and so a new record, each time.
    std::unordered_map<const GfxFont*, TextFontInfo*> fontIndex;
};

} // namespace kvl
