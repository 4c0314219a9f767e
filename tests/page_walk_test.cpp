// One walk of a page for both passes: the raster side captures what the raster device
// captures in a pass of its own at 150 dpi, the text side collects what the text pass
// collects on its own, on pages where the two would walk differently (Type 3 glyphs,
// forms, annotations, tiling patterns, hidden content, rotation).
#include <gtest/gtest.h>

#include <GfxState.h>
#include <PDFDoc.h>
#include <goo/GooString.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "PDFR/pdf_ulin.h"
#include "PDFR/raster_dev.h"
#include "karvel/page_walk.h"
#include "karvel/text_page.h"
#include "karvel/text_word.h"
#include "pdf_writer.h"
#include "test_support.h"
#include "text_pdf_driver.h"

namespace {

std::string num(double v)
{
    char b[32];
    std::snprintf(b, sizeof b, "%.4f", v);
    return b;
}

// A Type 3 font whose glyphs paint rules: 'a' a bar, 'b' a hairline after a cm, 'c' a
// form holding a bar, the space nothing.
int rule_font(pdf_writer& w)
{
    const int bar = w.add_stream("", "600 0 0 0 600 1000 d1 0 0 600 12 re f");
    const int hair = w.add_stream("", "500 0 d0 1 0 0 1 20 30 cm 0 w 0 0 m 480 0 l S 0 0 m 0 700 l S");
    const int form = w.add_stream("/Type /XObject /Subtype /Form /BBox [0 0 1000 1000] /Matrix [1 0 0 1 5 5]",
                                  "0 0 700 9 re f");
    const int inner = w.add_stream("", "700 0 d0 /Fm Do");
    const int space = w.add_stream("", "250 0 d0");
    std::string widths = "250";
    for (int code = 33; code < 97; ++code)
        widths += " 0";
    widths += " 600 500 700";
    return w.add_object("<< /Type /Font /Subtype /Type3 /FontBBox [0 0 1000 1000] /FontMatrix [0.001 0.0002 "
                        "-0.0001 0.001 0.02 0] /CharProcs << /a " + std::to_string(bar) + " 0 R /b " +
                        std::to_string(hair) + " 0 R /c " + std::to_string(inner) + " 0 R /space " +
                        std::to_string(space) + " 0 R >> /Resources << /XObject << /Fm " + std::to_string(form) +
                        " 0 R >> >> /Encoding << /Type /Encoding /Differences [32 /space 97 /a /b /c] >> "
                        "/FirstChar 32 /LastChar 99 /Widths [" + widths + "] >>");
}

// Type 3 text under many text states, shown with Tj, TJ, ' and ", some of it hidden.
std::string type3_text()
{
    std::string c;
    const char* matrices[] = {"1 0 0 1 72 700", "0.9 0.3 -0.3 0.9 100.3 500.7", "2 0 0 1.5 300 300",
                              "0 1 -1 0 500 100"};
    int k = 0;
    for (const char* m : matrices) {
        c += "BT /T3 " + num(9 + 7 * k) + " Tf " + num(80 + 10 * k) + " Tz " + num(0.3 * k) + " Tc " +
             num(1.5 * k) + " Tw " + num(k - 1.5) + " Ts " + m + " Tm (abc cab) Tj [(ab) -120.5 (c a)] TJ 14 TL "
             "(ba c) ' 2 0.5 (cc) \" ET\n";
        ++k;
    }
    c += "/OC /hide BDC BT /T3 12 Tf 1 0 0 1 72 150 Tm (aaa) Tj [(ab) 50 (c)] TJ (bb) ' ET EMC\n";
    c += "BT /T3 12 Tf 3 Tr 1 0 0 1 72 120 Tm (ab) Tj 0 Tr ET\n";
    return c;
}

// Forms, a rotated text, unbalanced saves and wide, dashed and hairline rules.
std::string forms_and_rules()
{
    std::string c = "q 0.8 0 0 0.8 20 30 cm /Fa Do Q q 1 0 0 1 0 -300 cm /Fa Do\n";
    c += "0 0 1 RG 3 w [12 4] 0 d 50 300 m 550 300 l S [] 0 d 0.5 w 60 260 m 60 100 l S\n";
    c += "0 w 70.3 250.7 m 400.1 250.7 l S 1 0 0 rg 70 240 330 1.2 re f\n";
    c += "q 2 0 0 2 0 0 cm BT /Helvetica 8 Tf 40 60 Td (in a scaled space) Tj ET\n"; // left open
    return c;
}

// A page with every kind: Type 3 rules and text, forms, tiling cells with text and rules,
// annotations shown only on screen, only in print, or in both.
pdf_writer walk_document()
{
    pdf_writer w;
    const int font = rule_font(w);
    const int hide = w.add_object("<< /Type /OCG /Name (Hidden) >>");
    w.catalog_entries = "/OCProperties << /OCGs [" + std::to_string(hide) + " 0 R] /D << /OFF [" +
                        std::to_string(hide) + " 0 R] >> >>";
    const int inner = w.add_stream("/Type /XObject /Subtype /Form /BBox [0 0 600 800] /Matrix [0.5 0 0 0.5 10 400]",
                                   "0.2 0.4 0.6 rg 10 10 500 2 re f 0 w 10 30 m 10 300 l S "
                                   "BT /F1 10 Tf 20 40 Td (inner form) Tj ET");
    const int outer = w.add_stream("/Type /XObject /Subtype /Form /BBox [0 0 600 800] /Resources << /XObject << "
                                   "/In " + std::to_string(inner) + " 0 R >> /Font << /F1 << /Type /Font /Subtype "
                                   "/Type1 /BaseFont /Helvetica >> >> >>",
                                   "/In Do 0 w 100 700 m 500 700 l S BT /F1 9 Tf 100 710 Td (outer form) Tj ET");
    const int cell = w.add_stream("/PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 120 40] /XStep 120 "
                                  "/YStep 40 /Resources << /Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont "
                                  "/Helvetica >> >> >>",
                                  "0 0 0 rg 0 0 110 1 re f BT /F1 7 Tf 4 20 Td (tile) Tj ET");
    const std::string annot_ap = "/Type /XObject /Subtype /Form /BBox [0 0 200 30]";
    const int ap = w.add_stream(annot_ap, "0 w 0 2 m 200 2 l S 0 0 1 rg 0 20 200 1.5 re f "
                                          "BT /Helvetica 9 Tf 5 8 Td (annotation) Tj ET");
    std::string annots;
    const int flags[] = {4, 0, 4 | 32, 2};
    int y = 600;
    for (int f : flags) {
        annots += std::to_string(w.add_object("<< /Type /Annot /Subtype /FreeText /Rect [300 " + std::to_string(y) +
                                              " 500 " + std::to_string(y + 30) + "] /F " + std::to_string(f) +
                                              " /DA (/Helvetica 9 Tf) /AP << /N " + std::to_string(ap) +
                                              " 0 R >> >>")) +
                  " 0 R ";
        y -= 60;
    }

    int p = w.add_page(type3_text());
    w.page_at(p).extra_fonts["T3"] = font;
    w.page_at(p).extra_resources = "/Properties << /hide " + std::to_string(hide) + " 0 R >>";
    p = w.add_page(forms_and_rules());
    w.page_at(p).xobjects["Fa"] = outer;
    p = w.add_page("q 60 60 480 200 re W n /Pattern cs /P1 scn 60 60 480 200 re f Q\n" +
                   text_at(72, 500, "after the tiles"));
    w.page_at(p).extra_resources = "/Pattern << /P1 " + std::to_string(cell) + " 0 R >>";
    p = w.add_page(text_at(72, 700, "annotated page") + "0 w 72 690 m 300 690 l S\n");
    w.page_at(p).extra_page_entries = "/Annots [" + annots + "]";
    // rotated, with a crop box away from the origin
    p = w.add_page(type3_text() + forms_and_rules(), 600, 800);
    w.page_at(p).extra_fonts["T3"] = font;
    w.page_at(p).xobjects["Fa"] = outer;
    w.page_at(p).extra_resources = "/Properties << /hide " + std::to_string(hide) + " 0 R >>";
    w.page_at(p).extra_page_entries = "/Rotate 90 /CropBox [31.5 40.25 560 777]";
    return w;
}

// The raster device on its own at 150 dpi: its device matrix must be the core's.
class own_pass_raster : public raster_dev {
public:
    void fill(GfxState* state) override
    {
        check(state);
        raster_dev::fill(state);
    }
    void eoFill(GfxState* state) override
    {
        check(state);
        raster_dev::eoFill(state);
    }
    void stroke(GfxState* state) override
    {
        check(state);
        raster_dev::stroke(state);
    }
    int ops = 0;
    int matrix_differs = 0;

private:
    void check(GfxState* state)
    {
        ++ops;
        if (std::memcmp(state->getCTM(), device_matrix(), 6 * sizeof(double)) != 0)
            ++matrix_differs;
    }
};

// A text side that forwards to a page text model, as the XML device does.
std::vector<std::string> captured(const pdf_uline_processor& proc)
{
    std::vector<std::string> out;
    for (size_t i = 0; i < proc.lines.size(); ++i) {
        const auto& l = proc.lines[i];
        const auto& c = *proc.line_paints[i];
        out.push_back(num(l.xMin) + " " + num(l.xMax) + " " + num(l.yMin) + " " + num(l.yMax) + " " +
                      std::to_string(c.red) + " " + std::to_string(c.green) + " " + std::to_string(c.blue));
    }
    return out;
}

std::vector<std::string> words(const kvl::TextPage& page)
{
    std::vector<std::string> out;
    for (const kvl::TextPool* pool : page.pools)
        for (int idx = pool->firstIndex; idx <= pool->lastIndex; ++idx)
            for (const kvl::TextWord* w = pool->getPool(idx); w != nullptr; w = w->next)
                out.push_back(glyph_driver::text_of(w->text, w->len) + " " + num(w->xMin) + " " + num(w->xMax) +
                              " " + num(w->yMin) + " " + num(w->yMax) + " " + num(w->fontSize) + " " +
                              std::to_string(w->streamPos) + " " + std::to_string(w->streamLen));
    return out;
}

} // namespace

TEST(PageWalk, RulesAreThoseTheOwnPassAt150Captures)
{
    ensure_global_params();
    scratch_dir dir;
    ASSERT_TRUE(walk_document().save(dir.file("walk.pdf")));
    PDFDoc doc(std::make_unique<GooString>(dir.file("walk.pdf")));
    ASSERT_TRUE(doc.isOk());
    pdf_uline_processor proc(1);
    kvl::TextPage text(false);
    text_forwarding_dev text_dev(&text);
    size_t total = 0;
    for (int page = 1; page <= doc.getNumPages(); ++page) {
        own_pass_raster own;
        doc.displayPage(&own, page, 150, 150, 0, false, true, false);
        EXPECT_EQ(own.matrix_differs, 0) << "page " << page << " of " << own.ops << " operations";
        const std::vector<std::string> alone = captured(proc);
        proc.flush();

        raster_dev raster;
        page_walk_dev walk(&raster, &text_dev);
        walk.walk(&doc, page, nullptr, nullptr);
        EXPECT_EQ(captured(proc), alone) << "page " << page;
        // only the tiling page captures nothing: its cells are skipped
        EXPECT_EQ(alone.empty(), page == 3) << "page " << page;
        total += alone.size();
        proc.flush();
    }
    EXPECT_GT(total, 20u);
}

TEST(PageWalk, TextIsWhatTheTextPassAloneCollects)
{
    ensure_global_params();
    scratch_dir dir;
    ASSERT_TRUE(walk_document().save(dir.file("walk.pdf")));
    PDFDoc doc(std::make_unique<GooString>(dir.file("walk.pdf")));
    ASSERT_TRUE(doc.isOk());
    pdf_width_getter getter;
    pdf_uline_processor proc(1);
    size_t total = 0;
    for (int page = 1; page <= doc.getNumPages(); ++page) {
        kvl::TextPage alone_page(false);
        text_forwarding_dev alone(&alone_page);
        doc.displayPage(&alone, page, 72, 72, 0, false, true, true);

        kvl::TextPage walked_page(false);
        text_forwarding_dev walked(&walked_page);
        raster_dev raster;
        page_walk_dev walk(&raster, &walked);
        walk.walk(&doc, page, nullptr, nullptr);
        proc.flush();
        EXPECT_EQ(words(walked_page), words(alone_page)) << "page " << page;
        total += words(alone_page).size();
    }
    EXPECT_GT(total, 80u);
}

namespace {

// Type 3 text the walk cannot take unchanged: glyphs whose procedures show text ('a' to
// 'c'), bars ('d', 'f') and a glyph that paints nothing ('e'); shown with Tj and ", in
// hidden optional content, last on a page before more of it, and in an annotation and a
// form on pages that name no Type 3 font themselves.
pdf_writer type3_text_document()
{
    pdf_writer w;
    std::string procs;
    const char* glyphs[] = {"a", "b", "c", "d", "e", "f"};
    for (const char* g : glyphs) {
        std::string content = "1000 0 0 0 750 750 d1 0 0 750 750 re f";
        if (*g <= 'c')
            content = std::string("1000 0 d0 BT /F1 1000 Tf 0 0 Td (") + g + ") Tj ET";
        else if (*g == 'e')
            content = "1000 0 d0";
        procs += std::string("/") + g + " " + std::to_string(w.add_stream("", content)) + " 0 R ";
    }
    const int font = w.add_object("<< /Type /Font /Subtype /Type3 /FontBBox [0 0 1000 1000] /FontMatrix [0.001 0 0 "
                                  "0.001 0 0] /CharProcs << " + procs + ">> /Resources << /Font << /F1 << /Type "
                                  "/Font /Subtype /Type1 /BaseFont /Helvetica >> >> >> /Encoding << /Type /Encoding "
                                  "/Differences [97 /a /b /c /d /e /f] >> /FirstChar 97 /LastChar 102 /Widths [1000 "
                                  "1000 1000 1000 1000 1000] >>");
    const int hide = w.add_object("<< /Type /OCG /Name (Hidden) >>");
    w.catalog_entries = "/OCProperties << /OCGs [" + std::to_string(hide) + " 0 R] /D << /OFF [" +
                        std::to_string(hide) + " 0 R] >> >>";
    const int ap = w.add_stream("/Type /XObject /Subtype /Form /BBox [0 0 200 50] /Resources << /Font << /T3 " +
                                    std::to_string(font) + " 0 R >> >>",
                                "BT /T3 12 Tf 5 20 Td (dd) Tj 0 0 (fd) \" ET");
    const int annot = w.add_object("<< /Type /Annot /Subtype /FreeText /Rect [72 500 272 550] /F 4 /DA (/Helvetica "
                                   "10 Tf) /AP << /N " + std::to_string(ap) + " 0 R >> >>");

    const int form = w.add_stream("/Type /XObject /Subtype /Form /BBox [0 0 600 800] /Resources << /Font << /T3 " +
                                      std::to_string(font) + " 0 R >> >>",
                                  "BT /T3 12 Tf 72 300 Td (cab) Tj 0 0 (ee) \" ET");

    const std::string pages[] = {
        // text inside glyphs, then a later string of bars; the page ends inside Type 3 text
        "BT /T3 12 Tf 72 700 Td (abc cba) Tj ET " + text_at(72, 650, "plain") +
            "BT /T3 12 Tf 300 600 Td (dd) Tj ET BT /T3 12 Tf 72 400 Td (ab) Tj ET",
        text_at(72, 650, "page two") + "BT /T3 12 Tf 300 300 Td (dd) Tj ET",
        // " strings of glyphs that paint nothing, and of bars too small to be captured
        "BT /T3 12 Tf 72 700 Td 0 0 (eee) \" (d) Tj ET BT /T3 3 Tf 72 500 Td (dfdf) Tj 0 0 (dffd) \" ET " +
            text_at(72, 400, "after"),
        "/OC /hide BDC BT /T3 12 Tf 72 700 Td (bcb) Tj ET EMC " + text_at(72, 650, "visible"),
    };
    for (const std::string& content : pages) {
        const int p = w.add_page(content);
        w.page_at(p).extra_fonts["T3"] = font;
        w.page_at(p).extra_resources = "/Properties << /hide " + std::to_string(hide) + " 0 R >>";
    }
    // Type 3 text on pages whose own resources name no Type 3 font
    w.page_at(w.add_page(text_at(72, 700, "annotated"))).extra_page_entries =
        "/Annots [" + std::to_string(annot) + " 0 R]";
    w.page_at(w.add_page(text_at(72, 700, "a form") + "/Fx Do " + text_at(72, 100, "below"))).xobjects["Fx"] = form;
    return w;
}

} // namespace

TEST(PageWalk, Type3TextComesOutAsTheTwoPassesHaveIt)
{
    ensure_global_params();
    scratch_dir dir;
    ASSERT_TRUE(type3_text_document().save(dir.file("type3.pdf")));
    PDFDoc doc(std::make_unique<GooString>(dir.file("type3.pdf")));
    ASSERT_TRUE(doc.isOk());
    pdf_width_getter getter;
    pdf_uline_processor proc(1);
    // one walk for the whole document, as in a conversion
    kvl::TextPage walked_page(false);
    text_forwarding_dev walked(&walked_page);
    raster_dev raster;
    page_walk_dev walk(&raster, &walked);
    size_t total = 0;
    for (int page = 1; page <= doc.getNumPages(); ++page) {
        raster_dev own;
        doc.displayPage(&own, page, 150, 150, 0, false, true, false);
        const std::vector<std::string> rules = captured(proc);
        proc.flush();
        kvl::TextPage alone_page(false);
        text_forwarding_dev alone(&alone_page);
        doc.displayPage(&alone, page, 72, 72, 0, false, true, true);

        walk.walk(&doc, page, nullptr, nullptr);
        EXPECT_EQ(words(walked_page), words(alone_page)) << "page " << page;
        EXPECT_EQ(captured(proc), rules) << "page " << page;
        proc.flush();
        total += words(alone_page).size();
    }
    EXPECT_GE(total, 12u);
}

TEST(PageWalk, AStopReachesTheGlyphProcedures)
{
    // Asked to stop from the start, the walk runs no glyph procedure: the bar is not drawn ...
    ensure_global_params();
    pdf_writer w;
    const int bar = w.add_stream("", "0 0 d0 0 0 300 2 re f");
    const int p = w.add_page("BT /T3 1 Tf 72 700 Td (a) Tj ET\n");
    w.page_at(p).extra_fonts["T3"] = w.add_type3_font({bar});
    scratch_dir dir;
    ASSERT_TRUE(w.save(dir.file("stop.pdf")));
    PDFDoc doc(std::make_unique<GooString>(dir.file("stop.pdf")));
    ASSERT_TRUE(doc.isOk());
    pdf_uline_processor proc(1);
    kvl::TextPage text(false);
    text_forwarding_dev text_dev(&text);
    raster_dev raster;
    page_walk_dev walk(&raster, &text_dev);
    walk.walk(&doc, 1, nullptr, nullptr);
    EXPECT_EQ(proc.lines.size(), 1u);
    proc.flush();
    // ... and its text side interprets nothing either (the core would look at the stop
    // only after a few operations).
    kvl::TextPage stopped_text(false);
    text_forwarding_dev stopped_dev(&stopped_text);
    page_walk_dev stopped_walk(&raster, &stopped_dev);
    stopped_walk.walk(&doc, 1, [](void*) { return true; }, nullptr);
    EXPECT_TRUE(proc.lines.empty());
    EXPECT_TRUE(words(stopped_text).empty());
}
