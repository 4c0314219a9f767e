// Drives the page text model with synthetic glyphs, in device points (y down), and
// reads back what the layout pass built.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <GfxState.h>
#include <GlobalParams.h>
#include <Page.h>

#include "PDFR/pdf_width_getter.h"
#include "karvel/text_block.h"
#include "karvel/text_flow.h"
#include "karvel/text_line.h"
#include "karvel/text_page.h"
#include "karvel/text_pool.h"
#include "karvel/text_word.h"

// The core's globals with the Latin1 text encoding, made once for the test process.
inline void ensure_global_params()
{
    if (!globalParams) {
        globalParams = std::make_unique<GlobalParams>();
        globalParams->setTextEncoding("Latin1");
    }
}

class glyph_driver {
public:
    explicit glyph_driver(double font_size = 10, int rot = 0)
        : box(0, 0, 612, 792), state(72, 72, &box, 0, true), page(false)
    {
        ensure_global_params();
        state.setCTM(1, 0, 0, 1, 0, 0); // user space is device space
        set_rotation(rot);
        state.setFont(nullptr, font_size);
        page.startPage();
        page.setPageSize(612, 792);
        page.updateFont(&state);
    }

    // Text matrices whose font transformation gives each rotation.
    void set_rotation(int rot)
    {
        switch (rot) {
        case 0: state.setTextMat(1, 0, 0, -1, 0, 0); break;
        case 1: state.setTextMat(0, 1, 1, 0, 0, 0); break;
        case 2: state.setTextMat(-1, 0, 0, 1, 0, 0); break;
        default: state.setTextMat(0, -1, -1, 0, 0, 0); break;
        }
    }

    void set_size(double font_size)
    {
        state.setFont(nullptr, font_size);
        page.updateFont(&state);
    }

    void glyph(double x, double y, double dx, double dy, Unicode u, int nBytes = 1)
    {
        page.addChar(&state, x, y, dx, dy, u, nBytes, &u, 1);
    }

    // One string of glyphs of equal advance along x (rotation 0 style), as the core
    // would draw it between beginString and endString.
    void string(double x, double y, const std::string& text, double advance)
    {
        page.beginWord(&state, x, y);
        for (unsigned char ch : text) {
            double step = ch == ' ' ? advance / 2 : advance; // spaces are narrow
            glyph(x, y, step, 0, ch);
            x += step;
        }
        page.endWord();
    }

    // The same along y (rotations 1 and 3 advance with dy).
    void string_vertical(double x, double y, const std::string& text, double advance)
    {
        page.beginWord(&state, x, y);
        for (unsigned char ch : text) {
            glyph(x, y, 0, advance, ch);
            y += advance;
        }
        page.endWord();
    }

    // Words of every pool, in bucket order.
    std::vector<const kvl::TextWord*> pool_words(int rot = 0) const
    {
        std::vector<const kvl::TextWord*> out;
        const kvl::TextPool* pool = page.pools[rot];
        for (int idx = pool->firstIndex; idx <= pool->lastIndex; ++idx)
            for (const kvl::TextWord* w = pool->getPool(idx); w != nullptr; w = w->next)
                out.push_back(w);
        return out;
    }

    std::vector<std::string> pool_texts(int rot = 0) const
    {
        std::vector<std::string> out;
        for (const kvl::TextWord* w : pool_words(rot))
            out.push_back(text_of(w->text, w->len));
        return out;
    }

    // Lines of the blocks in reading order, after the layout pass.
    std::vector<std::string> lines() const
    {
        std::vector<std::string> out;
        for (int i = 0; i < page.nBlocks; ++i)
            for (const kvl::TextLine* l = page.blocks[i]->lines; l != nullptr; l = l->next)
                out.push_back(text_of(l->text, l->len));
        return out;
    }

    std::vector<const kvl::TextLine*> line_ptrs() const
    {
        std::vector<const kvl::TextLine*> out;
        for (int i = 0; i < page.nBlocks; ++i)
            for (const kvl::TextLine* l = page.blocks[i]->lines; l != nullptr; l = l->next)
                out.push_back(l);
        return out;
    }

    static std::string text_of(const Unicode* text, int len)
    {
        std::string s;
        for (int i = 0; i < len; ++i)
            s += text[i] < 0x80 ? static_cast<char>(text[i]) : '?';
        return s;
    }

    pdf_width_getter getter;
    PDFRectangle box;
    GfxState state;
    kvl::TextPage page;
};
