// Runs a generated PDF through the core into the page text model, forwarding the
// text-pass calls as the XML device does.
#pragma once

#include <algorithm>
#include <memory>
#include <string>

#include <OutputDev.h>
#include <PDFDoc.h>

#include "pdf_writer.h"
#include "test_support.h"
#include "text_glyph_driver.h"

class text_forwarding_dev : public OutputDev {
public:
    explicit text_forwarding_dev(kvl::TextPage* page) : page_(page) {}

    bool upsideDown() override { return true; }
    bool useDrawChar() override { return true; }
    bool interpretType3Chars() override { return false; }

    void startPage(int pageNum, GfxState* state, XRef* xref) override
    {
        page_->startPage();
        if (state != nullptr)
            page_->setPageSize(std::min(state->getPageWidth(), 1583.0), std::min(state->getPageHeight(), 1583.0));
        else
            page_->setPageSize(0, 0);
    }
    void updateFont(GfxState* state) override { page_->updateFont(state); }
    void beginString(GfxState* state, const GooString* s) override
    {
        page_->beginWord(state, state->getCurX(), state->getCurY());
    }
    void endString(GfxState* state) override { page_->endWord(); }
    void drawChar(GfxState* state, double x, double y, double dx, double dy, double originX, double originY,
                  CharCode code, int nBytes, const Unicode* u, int uLen) override
    {
        page_->addChar(state, x, y, dx, dy, code, nBytes, u, uLen);
    }

private:
    kvl::TextPage* page_;
};

// One document displayed page by page into a text model.
class pdf_text_run {
public:
    explicit pdf_text_run(const pdf_writer& writer) : page(false)
    {
        ensure_global_params();
        path = dir.file("doc.pdf");
        writer.save(path);
        doc = std::make_unique<PDFDoc>(std::make_unique<GooString>(path.c_str()));
    }

    // Displays the page (1-based) at 72 dpi; with layout, also runs the layout pass.
    bool display(int page_number, bool layout = true)
    {
        if (!doc->isOk())
            return false;
        text_forwarding_dev dev(&page);
        doc->displayPage(&dev, page_number, 72, 72, 0, true, false, false);
        if (layout)
            page.coalesce(false, false);
        return true;
    }

    std::vector<std::string> lines() const
    {
        std::vector<std::string> out;
        for (int i = 0; i < page.nBlocks; ++i)
            for (const kvl::TextLine* l = page.blocks[i]->lines; l != nullptr; l = l->next)
                out.push_back(glyph_driver::text_of(l->text, l->len));
        return out;
    }

    std::vector<const kvl::TextWord*> pool_words(int rot) const
    {
        std::vector<const kvl::TextWord*> out;
        const kvl::TextPool* pool = page.pools[rot];
        for (int idx = pool->firstIndex; idx <= pool->lastIndex; ++idx)
            for (const kvl::TextWord* w = pool->getPool(idx); w != nullptr; w = w->next)
                out.push_back(w);
        return out;
    }

    pdf_width_getter getter;
    scratch_dir dir;
    std::string path;
    std::unique_ptr<PDFDoc> doc;
    kvl::TextPage page;
};
