// The raster pass sees only the page's Type 3 fonts, and the page gets its fonts back.
#include <gtest/gtest.h>

#include <Object.h>
#include <GlobalParams.h>
#include <PDFDoc.h>
#include <Page.h>
#include <goo/GooString.h>

#include "PDFR/pdf_ulin.h"
#include "PDFR/raster_dev.h"
#include "PDFR/raster_fonts.h"
#include "pdf_writer.h"
#include "test_support.h"

namespace {

// The font names of page 1's resources.
std::vector<std::string> page_fonts(PDFDoc& doc)
{
    std::vector<std::string> names;
    const Object fonts = doc.getPage(1)->getResourceDict()->lookup("Font");
    for (int i = 0; fonts.isDict() && i < fonts.getDict()->getLength(); ++i)
        names.push_back(fonts.getDict()->getKey(i));
    return names;
}

} // namespace

TEST(RasterFonts, OnlyType3FontsDuringThePassAndAllAfterIt)
{
    if (!globalParams)
        globalParams = std::make_unique<GlobalParams>();
    pdf_writer w;
    // Glyph "a" of the Type 3 font is a 1000 x 10 bar: a rule drawn by a font.
    const int bar = w.add_stream("", "1000 0 0 0 1000 10 d1 0 0 1000 10 re f");
    const int font = w.add_object("<< /Type /Font /Subtype /Type3 /FontBBox [0 0 1000 10] /FontMatrix [0.001 0 0 "
                                  "0.001 0 0] /CharProcs << /bar " +
                                  std::to_string(bar) +
                                  " 0 R >> /Encoding << /Type /Encoding /Differences [97 /bar] >> /FirstChar 97 "
                                  "/LastChar 97 /Widths [1000] /Resources << >> >>");
    const int p = w.add_page("BT /Helvetica 12 Tf 72 700 Td (Words) Tj ET\n"
                             "BT /T3 200 Tf 72 500 Td (a) Tj ET\n");
    w.page_at(p).extra_fonts["T3"] = font;
    scratch_dir dir;
    ASSERT_TRUE(w.save(dir.file("t3.pdf")));
    PDFDoc doc(std::make_unique<GooString>(dir.file("t3.pdf")));
    ASSERT_TRUE(doc.isOk());
    const size_t all = page_fonts(doc).size();
    ASSERT_EQ(all, pdf_writer::standard_fonts().size() + 1);

    pdf_uline_processor proc(1);
    raster_dev dev;
    dev.startDoc(&doc);
    {
        const raster_font_scope scope(&doc, 1);
        EXPECT_EQ(page_fonts(doc), std::vector<std::string>{"T3"});
        doc.displayPage(&dev, 1, 150, 150, 0, false, true, false);
    }
    // The bar glyph, 200 pt long and 2 pt high at 150 dpi, is still captured.
    ASSERT_EQ(proc.lines.size(), 1u);
    EXPECT_EQ(proc.lines[0].xMax - proc.lines[0].xMin, 416);
    EXPECT_EQ(page_fonts(doc).size(), all);

    // A page without fonts and a page number out of range are left alone.
    const raster_font_scope none(&doc, 7);
    EXPECT_EQ(page_fonts(doc).size(), all);
}
