// Generated documents through the core into the page text model.
#include <algorithm>
#include <map>

#include <gtest/gtest.h>

#include <GfxFont.h>

#include "karvel/text_font_info.h"
#include "text_pdf_driver.h"

using kvl::TextWord;

namespace {

std::string text_line(double x, double y, const std::string& font, double size, const std::string& text)
{
    return "BT /" + font + " " + std::to_string(size) + " Tf " + std::to_string(x) + " " + std::to_string(y) +
           " Td " + pdf_string(text) + " Tj ET\n";
}

const TextWord* first_word(const pdf_text_run& run, int rot = 0)
{
    auto words = run.pool_words(rot);
    return words.empty() ? nullptr : words[0];
}

} // namespace

TEST(TextPdf, SingleColumnPage)
{
    pdf_writer w;
    std::string content;
    const char* lines[] = {"The quick brown fox", "jumps over the lazy", "dog and keeps going."};
    for (int i = 0; i < 3; ++i)
        content += text_line(72, 700 - 14 * i, "Helvetica", 12, lines[i]);
    w.add_page(content);
    pdf_text_run run(w);
    ASSERT_TRUE(run.display(1));
    EXPECT_EQ(run.lines(), std::vector<std::string>(lines, lines + 3));
    EXPECT_EQ(run.page.nBlocks, 1);
    EXPECT_EQ(run.page.primaryRot, 0);
    EXPECT_TRUE(run.page.primaryLR);
    const TextWord* w0 = run.page.blocks[0]->lines->words;
    EXPECT_EQ(w0->fontCode, "f10");
    EXPECT_EQ(w0->faceName, "Arial");
    EXPECT_TRUE(w0->isSans);
    EXPECT_DOUBLE_EQ(w0->fontSize, 12);
    EXPECT_NEAR(w0->base, 792 - 700, 1e-9);
}

TEST(TextPdf, TwoColumnPageReadsColumnByColumn)
{
    pdf_writer w;
    std::string content;
    for (int i = 0; i < 6; ++i) {
        content += text_line(72, 700 - 14 * i, "Times-Roman", 11, "left column line " + std::to_string(i));
        content += text_line(320, 700 - 14 * i, "Times-Roman", 11, "right column line " + std::to_string(i));
    }
    w.add_page(content);
    pdf_text_run run(w);
    ASSERT_TRUE(run.display(1));
    std::vector<std::string> expected;
    for (int i = 0; i < 6; ++i)
        expected.push_back("left column line " + std::to_string(i));
    for (int i = 0; i < 6; ++i)
        expected.push_back("right column line " + std::to_string(i));
    EXPECT_EQ(run.lines(), expected);
    ASSERT_EQ(run.page.nBlocks, 2);
    EXPECT_GE(run.page.blocks[1]->col, run.page.blocks[0]->col + run.page.blocks[0]->nColumns + 3);
    int flows = 0;
    for (const kvl::TextFlow* f = run.page.flows; f != nullptr; f = f->next)
        ++flows;
    EXPECT_EQ(flows, 2);
    EXPECT_EQ(run.page.blocks[0]->lines->words->fontCode, "f20");
    EXPECT_TRUE(run.page.blocks[0]->lines->words->isSerif);
}

TEST(TextPdf, RotatedTextGoesToItsRotation)
{
    pdf_writer w;
    w.add_page("BT /Helvetica 12 Tf 0 1 -1 0 300 100 Tm (Rotated text) Tj ET\n"
               "BT /Helvetica 12 Tf 0 -1 1 0 400 700 Tm (Downwards) Tj ET\n");
    pdf_text_run run(w);
    ASSERT_TRUE(run.display(1, false));
    int rotated = 0;
    for (int rot = 1; rot < 4; rot += 2)
        rotated += static_cast<int>(run.pool_words(rot).size());
    EXPECT_EQ(rotated, 3);
    EXPECT_TRUE(run.pool_words(0).empty());
    run.page.coalesce(false, false);
    auto lines = run.lines();
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, std::vector<std::string>({"Downwards", "Rotated text"}));
}

TEST(TextPdf, PageBeyondTheLimitKeepsTextUpTo1583)
{
    pdf_writer w;
    w.add_page(text_line(100, 1900, "Helvetica", 12, "kept") + text_line(1700, 1900, "Helvetica", 12, "lost") +
                   text_line(100, 100, "Helvetica", 12, "below"),
               2000, 2000);
    pdf_text_run run(w);
    ASSERT_TRUE(run.display(1));
    EXPECT_DOUBLE_EQ(run.page.pageWidth, 1583);
    EXPECT_DOUBLE_EQ(run.page.pageHeight, 1583);
    EXPECT_EQ(run.lines(), std::vector<std::string>({"kept"}));
}

TEST(TextPdf, OverprintedFakeBoldIsReadOnce)
{
    pdf_writer w;
    w.add_page(text_line(100, 700, "Helvetica", 12, "Bold words") + text_line(100.3, 700, "Helvetica", 12, "Bold words") +
               text_line(100, 680, "Helvetica", 12, "plain"));
    pdf_text_run run(w);
    ASSERT_TRUE(run.display(1));
    EXPECT_EQ(run.lines(), std::vector<std::string>({"Bold words", "plain"}));
}

TEST(TextPdf, LetterSpacedHeadingKeepsItsWords)
{
    pdf_writer w;
    w.add_page("BT /Helvetica-Bold 12 Tf 3 Tc 100 700 Td (LETTER SPACED) Tj ET\n");
    pdf_text_run run(w);
    ASSERT_TRUE(run.display(1));
    EXPECT_EQ(run.lines(), std::vector<std::string>({"LETTER SPACED"}));
    const TextWord* w0 = run.page.blocks[0]->lines->words;
    EXPECT_TRUE(w0->isBold);
}

TEST(TextPdf, RightToLeftTextTurnsTheReadingDirection)
{
    pdf_writer w;
    int font = w.add_object("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding << /Type /Encoding "
                            "/BaseEncoding /WinAnsiEncoding /Differences [65 /afii57664 /afii57665 /afii57666] >> "
                            "/FirstChar 65 /LastChar 67 /Widths [600 600 600] >>");
    int page = w.add_page("BT /Hebr 12 Tf 300 700 Td -100 Tz (ABCABC) Tj ET\n"
                          "BT /Helvetica 12 Tf 100 600 Td (ab) Tj ET\n");
    w.page_at(page).extra_fonts["Hebr"] = font;
    pdf_text_run run(w);
    ASSERT_TRUE(run.display(1, false));
    // Drawn leftwards: every glyph starts a word of its own at its far end.
    auto words = run.pool_words(0);
    int hebrew = 0;
    for (const TextWord* word : words) {
        if (word->text[0] >= 0x5D0 && word->text[0] <= 0x5D2) {
            ++hebrew;
            EXPECT_EQ(word->len, 1);
            EXPECT_LT(word->xMin, word->xMax);
        }
    }
    EXPECT_EQ(hebrew, 6);
    run.page.coalesce(false, false);
    EXPECT_FALSE(run.page.primaryLR);
    // The line holds the glyphs left to right on the page: the last drawn comes first.
    const kvl::TextLine* line = nullptr;
    for (int i = 0; i < run.page.nBlocks; ++i)
        if (run.page.blocks[i]->lines->text[0] >= 0x5D0)
            line = run.page.blocks[i]->lines;
    ASSERT_NE(line, nullptr);
    ASSERT_EQ(line->len, 6);
    EXPECT_EQ(line->text[0], 0x5D2u);
    EXPECT_EQ(line->text[5], 0x5D0u);
}

namespace {

// A Type 3 font of two square glyphs; widths in glyph space (1000 units per em).
int add_type3_font(pdf_writer& w, bool with_m)
{
    int a = w.add_stream("", "250 0 0 0 200 500 d1 0 0 200 500 re f");
    int m = w.add_stream("", "600 0 0 0 500 500 d1 0 0 500 500 re f");
    std::string procs = "/a " + std::to_string(a) + " 0 R" + (with_m ? " /m " + std::to_string(m) + " 0 R" : "");
    std::string diffs = with_m ? "[97 /a 109 /m]" : "[97 /a]";
    std::string widths = "[250";
    for (int c = 98; c <= 109; ++c)
        widths += (c == 109 && with_m) ? " 600" : " 0";
    widths += "]";
    return w.add_object("<< /Type /Font /Subtype /Type3 /FontBBox [0 0 1000 1000] /FontMatrix [0.001 0 0 0.001 0 0] "
                        "/CharProcs << " + procs + " >> /Encoding << /Type /Encoding /Differences " + diffs +
                        " >> /FirstChar 97 /LastChar 109 /Widths " + widths + " /Resources << >> >>");
}

} // namespace

TEST(TextPdf, Type3FontSizeFromTheMGlyph)
{
    pdf_writer w;
    int font = add_type3_font(w, true);
    int page = w.add_page("BT /T3 12 Tf 100 700 Td (amam) Tj ET\n");
    w.page_at(page).extra_fonts["T3"] = font;
    pdf_text_run run(w);
    ASSERT_TRUE(run.display(1, false));
    const TextWord* word = first_word(run);
    ASSERT_NE(word, nullptr);
    EXPECT_NEAR(word->fontSize, 12, 1e-9); // m is 0.6 wide: 12 x 0.6 / 0.6
    EXPECT_EQ(glyph_driver::text_of(word->text, word->len), "amam");
}

TEST(TextPdf, Type3FontWithoutMTakesTheFirstLetter)
{
    pdf_writer w;
    int font = add_type3_font(w, false);
    int page = w.add_page("BT /T3 12 Tf 100 700 Td (aaa) Tj ET\n");
    w.page_at(page).extra_fonts["T3"] = font;
    pdf_text_run run(w);
    ASSERT_TRUE(run.display(1, false));
    const TextWord* word = first_word(run);
    ASSERT_NE(word, nullptr);
    EXPECT_NEAR(word->fontSize, 6, 1e-9); // a is 0.25 wide: 12 x 0.25 / 0.5
    run.page.coalesce(false, false);
    EXPECT_EQ(run.lines(), std::vector<std::string>({"aaa"}));
}

TEST(TextPdf, Type3FontWithoutLettersTakesTheFirstGlyphWithAWidth)
{
    // Glyph names that are not single letters; the font matrix is twice as tall as wide.
    pdf_writer w;
    int g = w.add_stream("", "400 0 0 0 300 500 d1 0 0 300 500 re f");
    int font = w.add_object("<< /Type /Font /Subtype /Type3 /FontBBox [0 0 1000 1000] "
                            "/FontMatrix [0.001 0 0 0.002 0 0] /CharProcs << /g1 " + std::to_string(g) +
                            " 0 R /g2 " + std::to_string(g) + " 0 R >> /Encoding << /Type /Encoding "
                            "/Differences [1 /g1 /g2] >> /FirstChar 1 /LastChar 2 /Widths [0 400] "
                            "/Resources << >> >>");
    int page = w.add_page("BT /T3 12 Tf 100 700 Td <0202> Tj ET\n");
    w.page_at(page).extra_fonts["T3"] = font;
    pdf_text_run run(w);
    ASSERT_TRUE(run.display(1, false));
    const TextWord* word = first_word(run);
    ASSERT_NE(word, nullptr);
    // g2 is 0.4 wide: 12 x 0.4 / 0.5, then x |0.002 / 0.001|.
    EXPECT_NEAR(word->fontSize, 19.2, 1e-9);
}

TEST(TextPdf, FontNamesChooseTheFamily)
{
    pdf_writer w;
    int arial_bold = w.add_object("<< /Type /Font /Subtype /TrueType /BaseFont /Arial,Bold /Encoding /WinAnsiEncoding >>");
    int narrow = w.add_object("<< /Type /Font /Subtype /TrueType /BaseFont /ArialNarrow /Encoding /WinAnsiEncoding >>");
    int descriptor = w.add_object("<< /Type /FontDescriptor /FontName /FooMono /Flags 1 /FontBBox [0 -200 600 800] "
                                  "/ItalicAngle 0 /Ascent 800 /Descent -200 /CapHeight 700 /StemV 80 >>");
    int mono = w.add_object("<< /Type /Font /Subtype /TrueType /BaseFont /FooMono /Encoding /WinAnsiEncoding "
                            "/FirstChar 32 /LastChar 126 /Widths [" +
                            [] {
                                std::string s;
                                for (int i = 32; i <= 126; ++i)
                                    s += " 600";
                                return s;
                            }() +
                            "] /FontDescriptor " + std::to_string(descriptor) + " 0 R >>");
    int page = w.add_page(text_line(100, 700, "AB", 12, "arialbold") + text_line(100, 600, "AN", 12, "narrow") +
                          text_line(100, 500, "FM", 12, "mono") + text_line(100, 400, "Times-Italic", 12, "italic"));
    w.page_at(page).extra_fonts["AB"] = arial_bold;
    w.page_at(page).extra_fonts["AN"] = narrow;
    w.page_at(page).extra_fonts["FM"] = mono;
    pdf_text_run run(w);
    ASSERT_TRUE(run.display(1, false));
    std::map<std::string, const TextWord*> by_text;
    for (const TextWord* word : run.pool_words(0))
        by_text[glyph_driver::text_of(word->text, word->len)] = word;
    ASSERT_EQ(by_text.size(), 4u);
    const TextWord* ab = by_text["arialbold"];
    EXPECT_EQ(ab->fontCode, "f10");
    EXPECT_EQ(ab->faceName, "Arial");
    EXPECT_TRUE(ab->isSans);
    EXPECT_TRUE(ab->isBold);
    const TextWord* an = by_text["narrow"];
    EXPECT_EQ(an->fontCode, "f11");
    EXPECT_EQ(an->faceName, "Arial Narrow");
    EXPECT_DOUBLE_EQ(an->fontSize, 12);
    const TextWord* fm = by_text["mono"];
    EXPECT_EQ(fm->fontCode, "f30");
    EXPECT_EQ(fm->faceName, "Courier New");
    EXPECT_FALSE(fm->isSans || fm->isSerif);
    const TextWord* it = by_text["italic"];
    EXPECT_EQ(it->fontCode, "f20");
    EXPECT_EQ(it->faceName, "Times New Roman");
    EXPECT_TRUE(it->isSerif);
    EXPECT_TRUE(it->isItalic);
    EXPECT_FALSE(it->isBold);
    // A space in Courier New is about 0.6 em; in Arial about 0.28 em (measured when asked for).
    EXPECT_GT(const_cast<TextWord*>(fm)->measuredSpaceWidth(), 0.45);
    EXPECT_LT(const_cast<TextWord*>(ab)->measuredSpaceWidth(), 0.4);
}

TEST(TextPdf, WordStreamPositionsCountContentBytes)
{
    pdf_writer w;
    w.add_page("BT /Helvetica 12 Tf 100 700 Td (ab cd) Tj ET\n");
    pdf_text_run run(w);
    ASSERT_TRUE(run.display(1, false));
    auto words = run.pool_words(0);
    ASSERT_EQ(words.size(), 2u);
    EXPECT_EQ(words[0]->streamPos, 0);
    EXPECT_EQ(words[0]->streamLen, 3);
    EXPECT_EQ(words[1]->streamPos, 3);
}

TEST(TextPdf, SecondPageStartsClean)
{
    pdf_writer w;
    w.add_page(text_line(100, 700, "Helvetica", 12, "first page"));
    w.add_page(text_line(100, 700, "Courier", 12, "second page"));
    pdf_text_run run(w);
    ASSERT_TRUE(run.display(1));
    EXPECT_EQ(run.lines(), std::vector<std::string>({"first page"}));
    ASSERT_TRUE(run.display(2, false));
    // Only the second page's font has a record (the core frees a page's fonts after it).
    int with_font = 0;
    for (const kvl::TextFontInfo* font : run.page.fonts)
        with_font += font->hasFont ? 1 : 0;
    EXPECT_EQ(with_font, 1);
    for (const TextWord* word : run.pool_words(0))
        EXPECT_EQ(word->faceName, "Courier New");
    run.page.coalesce(false, false);
    EXPECT_EQ(run.lines(), std::vector<std::string>({"second page"}));
}

TEST(TextPdf, StringStartFarFromItsGlyphsKeepsThePoolsBounded)
{
    pdf_writer w;
    // The rise brings the glyphs back onto the page; the string starts 10^12 points away.
    w.add_page("BT /Helvetica 12 Tf 1 0 0 1 100 -1000000000000 Tm 1000000000700 Ts (far) Tj ET\n"
               "BT /Helvetica 12 Tf 1 0 0 1 100 1000000000000 Tm -999999999400 Ts (away) Tj ET\n"
               "BT 0 Ts ET\n" +
               text_line(100, 500, "Helvetica", 12, "near"));
    pdf_text_run run(w);
    ASSERT_TRUE(run.display(1, false));
    const kvl::TextPool* pool = run.page.pools[0];
    int limit = static_cast<int>(kvl::TextPool::baseLimit / 4) + kvl::TextPool::growth;
    EXPECT_GE(pool->firstIndex, -limit);
    EXPECT_LE(pool->lastIndex, limit);
    // The first glyph joins the far word; the next ones break away from its base line.
    EXPECT_EQ(run.pool_words(0).size(), 5u);
    run.page.coalesce(false, false);
    auto lines = run.lines();
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, std::vector<std::string>({"a", "ar", "f", "near", "way"}));
}

TEST(TextPdf, AFormRunManyTimesKeepsNoneOfItsFontsAlive)
{
    // Each run of the form gives the core a new font object; the page's records neither keep
    // those fonts nor take a later font at a freed one's address for it.
    pdf_writer w;
    int form = w.add_stream("/Type /XObject /Subtype /Form /BBox [0 0 612 792] /Resources << /Font << /F1 << "
                            "/Type /Font /Subtype /Type1 /BaseFont /Courier >> >> >>",
                            "BT /F1 12 Tf 100 700 Td (x) Tj ET");
    std::string content;
    for (int i = 0; i < 2000; ++i)
        content += "/Fm Do\n";
    content += text_line(100, 500, "Helvetica", 12, "after");
    int page = w.add_page(content);
    w.page_at(page).xobjects["Fm"] = form;
    pdf_text_run run(w);
    ASSERT_TRUE(run.display(1, false));
    int alive = 0;
    for (const kvl::TextFontInfo* font : run.page.fonts)
        alive += font->getFont() ? 1 : 0;
    EXPECT_EQ(alive, 0); // the core has freed them all after the page
    std::map<std::string, int> faces;
    for (const TextWord* word : run.pool_words(0))
        ++faces[word->faceName];
    EXPECT_EQ(faces["Courier New"], 2000);
    EXPECT_EQ(faces["Arial"], 1);
}
