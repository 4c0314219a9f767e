#include "karvel/text_page.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include <GfxFont.h>
#include <GfxState.h>

#include "PDFR/pdf_ulin.h"
#include "TK/tk_log.h"
#include "karvel/text_block.h"
#include "karvel/text_flow.h"
#include "karvel/text_font_info.h"
#include "karvel/text_pool.h"
#include "karvel/text_word.h"

namespace kvl {

TextPage::TextPage(bool contentOrder)
    : pageWidth(0), pageHeight(0), currentWord(nullptr), streamPos(0), currentFont(nullptr), currentFontSize(0),
      nestDepth(0), tinyGlyphCount(0), previousOverlapped(false), flows(nullptr), blocks(nullptr), nBlocks(0),
      primaryRot(-1), primaryLR(true), coalesced(false)
{
    (void)contentOrder; // words always go to the pools
    for (TextPool*& pool : pools)
        pool = new TextPool();
}

TextPage::~TextPage()
{
    clear();
    for (TextPool*& pool : pools) {
        delete pool;
        pool = nullptr;
    }
}

void TextPage::clear()
{
    delete currentWord;
    currentWord = nullptr;
    underlineQueries.clear();

    for (TextPool*& pool : pools) {
        delete pool;
        pool = nullptr;
    }
    while (flows != nullptr) {
        TextFlow* next = flows->next;
        delete flows;
        flows = next;
    }
    for (int i = 0; i < nBlocks; ++i)
        delete blocks[i];
    gfree(blocks);
    blocks = nullptr;
    nBlocks = 0;

    for (TextFontInfo* font : fonts)
        delete font;
    fonts.clear();
    fontIndex.clear();
}

void TextPage::startPage()
{
    clear();
    streamPos = 0;
    currentFont = nullptr;
    currentFontSize = 0;
    nestDepth = 0;
    tinyGlyphCount = 0;
    previousOverlapped = false;
    for (TextPool*& pool : pools)
        pool = new TextPool();
    primaryRot = -1;
    primaryLR = true;
    coalesced = false;
}

void TextPage::setPageSize(double width, double height)
{
    pageWidth = width;
    pageHeight = height;
}

void TextPage::updateFont(GfxState* state)
{
    // A live font has at most one record, so the record found by its address (when it
    // still stands for it) is the first that matches.
    const GfxFont* key = state->getFont().get();
    auto indexed = fontIndex.find(key);
    if (indexed != fontIndex.end() && indexed->second->matches(state)) {
        currentFont = indexed->second;
    } else {
        currentFont = new TextFontInfo(state);
        fonts.push_back(currentFont);
        fontIndex[key] = currentFont;
    }

    currentFontSize = state->getTransformedFontSize();

    GfxFont* gfxFont = state->getFont().get();
    if (gfxFont != nullptr && gfxFont->getType() == fontType3) {
        Gfx8BitFont* font8 = static_cast<Gfx8BitFont*>(gfxFont);
        char** encoding = font8->getEncoding();
        int mCode = -1, letterCode = -1, anyCode = -1;
        for (int code = 0; code < 256; ++code) {
            const char* name = encoding[code];
            if (name == nullptr)
                continue;
            if (strcmp(name, "m") == 0)
                mCode = code;
            if (letterCode < 0 && name[0] != '\0' && name[1] == '\0' &&
                ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z')))
                letterCode = code;
            if (anyCode < 0 && font8->getWidth(static_cast<unsigned char>(code)) > 0)
                anyCode = code;
        }
        double w;
        if (mCode >= 0 && (w = font8->getWidth(static_cast<unsigned char>(mCode))) > 0)
            currentFontSize *= w / 0.6;
        else if (letterCode >= 0 && (w = font8->getWidth(static_cast<unsigned char>(letterCode))) > 0)
            currentFontSize *= w / 0.5;
        else if (anyCode >= 0 && (w = font8->getWidth(static_cast<unsigned char>(anyCode))) > 0)
            currentFontSize *= w / 0.5;
        const double* fm = gfxFont->getFontMatrix();
        if (fm[0] != 0)
            currentFontSize *= std::fabs(fm[3] / fm[0]);
    }
}

void TextPage::beginWord(GfxState* state, double x, double y)
{
    tk_log(1, "TextPage::beginWord");
    if (currentWord != nullptr) {
        ++nestDepth;
        return;
    }

    double m0, m1, m2, m3;
    state->getFontTransMat(&m0, &m1, &m2, &m3);
    GfxFont* gfxFont = state->getFont().get();
    if (gfxFont != nullptr && gfxFont->getType() == fontType3) {
        const double* f = gfxFont->getFontMatrix();
        double n0 = f[0] * m0 + f[1] * m2;
        double n1 = f[0] * m1 + f[1] * m3;
        double n2 = f[2] * m0 + f[3] * m2;
        double n3 = f[2] * m1 + f[3] * m3;
        m0 = n0;
        m1 = n1;
        m2 = n2;
        m3 = n3;
    }
    int rot;
    if (std::fabs(m0 * m3) > std::fabs(m1 * m2))
        rot = m3 < 0 ? 0 : 2;
    else
        rot = m2 > 0 ? 1 : 3;

    currentWord = new TextWord(state, rot, x, y, streamPos, currentFont, currentFontSize);
}

void TextPage::endWord()
{
    if (nestDepth > 0) {
        --nestDepth;
        return;
    }
    if (currentWord != nullptr) {
        addWord(currentWord);
        currentWord = nullptr;
    }
}

void TextPage::findUnderlines()
{
    // Without rules left on the page no character can lie on one.
    if (tk_singleton<pdf_uline_processor>::exists() &&
        !(tk_singleton<pdf_uline_processor>::instance().lines.empty() &&
          tk_singleton<pdf_uline_processor>::instance().underlines.empty())) {
        pdf_uline_processor& lines = tk_singleton<pdf_uline_processor>::instance();
        // Only characters within reach of a rule need asking (rules only leave the list
        // while it is asked); when traces are written, every character is asked.
        const bool ask_all = tk_log_wants(1);
        const std::vector<double> middles = lines.line_middles();
        for (const UnderlineQuery& q : underlineQueries) {
            if (!ask_all && !lines.near_underline(middles, q.yBase))
                continue;
            TextWord* w = q.word;
            if (lines.process_as_underline(q.xMin, q.xMax, q.yBase, w->colorR, w->colorG, w->colorB))
                w->isUnderlined = true;
        }
    }
    underlineQueries.clear();
}

void TextPage::addWord(TextWord* word)
{
    if (word->len == 0) {
        delete word;
        return;
    }
    pools[word->rot]->addWord(word);
}

void TextPage::addChar(GfxState* state, double x, double y, double dx, double dy, CharCode c, int nBytes,
                       const Unicode* u, int uLen)
{
    // Character and word spacing are not part of the glyph.
    double spacing = state->getCharSpace();
    if (c == 0x20)
        spacing += state->getWordSpace();
    double dx2, dy2;
    state->textTransformDelta(spacing * state->getHorizScaling(), 0, &dx2, &dy2);
    dx -= dx2;
    dy -= dy2;

    double w1, h1, x1, y1;
    state->transformDelta(dx, dy, &w1, &h1);
    state->transform(x, y, &x1, &y1);

    // Non-finite positions (from degenerate matrices) are dropped as off-page glyphs.
    if (!std::isfinite(x1) || !std::isfinite(y1) || !std::isfinite(w1) || !std::isfinite(h1) ||
        x1 + w1 < 0 || x1 > pageWidth || y1 + h1 < 0 || y1 > pageHeight || w1 > pageWidth || h1 > pageHeight) {
        streamPos += nBytes;
        return;
    }

    if (std::fabs(w1) < 3 && std::fabs(h1) < 3) {
        if (tinyGlyphCount <= maxTinyGlyphs)
            ++tinyGlyphCount;
        if (tinyGlyphCount > maxTinyGlyphs) {
            streamPos += nBytes;
            return;
        }
    }

    if (uLen == 1 && u[0] == 0x20) {
        if (currentWord != nullptr)
            ++currentWord->streamLen;
        streamPos += nBytes;
        endWord();
        return;
    }

    if (currentWord != nullptr && currentWord->len > 0) {
        TextWord* word = currentWord;
        double fs = word->fontSize;
        double e = word->edge[word->len - 1];
        double b, gap, delta;
        switch (word->rot) {
        case 0: b = y1; gap = x1 - word->xMax; delta = x1 - e; break;
        case 1: b = x1; gap = y1 - word->yMax; delta = y1 - e; break;
        case 2: b = y1; gap = word->xMin - x1; delta = e - x1; break;
        default: b = x1; gap = word->yMin - y1; delta = e - y1; break;
        }
        if (std::fabs(delta) < 0.1 * fs && std::fabs(b - word->base) < 0.2 * fs) {
            endWord();
            previousOverlapped = true;
        } else {
            if (previousOverlapped || gap < -0.2 * fs || gap > 0.1 * fs || std::fabs(b - word->base) > 0.5 ||
                currentFontSize != fs)
                endWord();
            previousOverlapped = false;
        }
    } else {
        previousOverlapped = false;
    }

    if (uLen > 0) {
        if (currentWord == nullptr)
            beginWord(state, x, y);
        int rot = currentWord->rot;
        if ((rot == 0 && w1 < 0) || (rot == 1 && h1 < 0) || (rot == 2 && w1 > 0) || (rot == 3 && h1 > 0)) {
            endWord();
            beginWord(state, x + dx, y + dy);
            x1 += w1;
            y1 += h1;
            w1 = -w1;
            h1 = -h1;
        }
        w1 /= uLen;
        h1 /= uLen;
        if (currentWord->len == 0 && isBulletChar(static_cast<Unicode>(c)) && isBulletChar(u[0]))
            currentWord->isBullet = true;
        for (int i = 0; i < uLen; ++i) {
            const double cx = x1 + i * w1, cy = y1 + i * h1;
            const int stored = currentWord->len;
            currentWord->addChar(state, cx, cy, w1, h1, u[i]);
            if (currentWord->len > stored)
                underlineQueries.push_back({currentWord, std::min(cx, currentWord->xMin), cx + w1, cy});
        }
    }

    if (currentWord != nullptr)
        currentWord->streamLen += nBytes;
    streamPos += nBytes;
}

} // namespace kvl
