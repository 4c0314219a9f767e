// The XML device's page: table building from the captured lines and the page area.
#include <memory>

#include <gtest/gtest.h>

#include <GfxState.h>
#include <Page.h>

#include "PDFR/pdf_ulin.h"
#include "TK/tk_except.h"
#include "TK/tk_log.h"
#include "karvel/XMLOutputDev.h"
#include "karvel/kvl_conv.h"
#include "karvel/text_page.h"
#include "test_support.h"

namespace {

// A 3 x 3 grid of hairline rules, in px of the raster pass.
void add_grid(pdf_uline_processor& lines)
{
    for (double at : {100.0, 300.0, 500.0, 700.0}) {
        lines.set_line(100, 700, at, at, std::make_unique<pdf_uline_processor::line_paint>(0, 0, 0));
        lines.set_line(at, at, 100, 700, std::make_unique<pdf_uline_processor::line_paint>(0, 0, 0));
    }
}

// One page on a device after a grid was captured in the given mode; the trace of the page.
std::string page_trace(unsigned char mode, bool use_ruling_lines)
{
    scratch_dir dir;
    const std::string log_path = dir.file("trace.log");
    tk_logger log(log_path.c_str(), true, 1, false);
    karvel_convertor conv;
    conv.use_ruling_lines = use_ruling_lines;
    pdf_uline_processor lines(mode);
    add_grid(lines);
    XMLOutputDev dev(dir.file("out.xml").c_str(), 0, 0, 0);
    PDFRectangle box(0, 0, 612, 792);
    GfxState state(72, 72, &box, 0, true);
    dev.startPage(1, &state, nullptr);
    dev.rtfEndPage();
    return read_file(log_path);
}

} // namespace

TEST(XmlDevicePage, TablesAreBuiltAtThePageEndWhenRulingLinesAreUsed)
{
    // the rules of a page are all in only once its walk has ended
    const std::string built = page_trace(1, true);
    const size_t end = built.find("XMLOutputDev::rtfEndPage\r\ntableBuilding\r\n");
    ASSERT_NE(end, std::string::npos) << built;
    EXPECT_NE(built.find("pdf_uline_processor::reg_item::cellsBuilding", end), std::string::npos);
    EXPECT_LT(built.find("pdf_uline_processor::reg_item::cellsBuilding", end), built.find("pdf_uline_processor::flush"));
    for (const std::string& trace : {page_trace(1, false), page_trace(0, true)}) {
        EXPECT_EQ(trace.find("tableBuilding"), std::string::npos) << trace;
        EXPECT_EQ(trace.find("cellsBuilding"), std::string::npos) << trace;
    }
}

TEST(XmlDevicePage, ProcessorInModeOneNeedsTheJob)
{
    scratch_dir dir;
    pdf_uline_processor lines(1);
    XMLOutputDev dev(dir.file("out.xml").c_str(), 0, 0, 0);
    PDFRectangle box(0, 0, 612, 792);
    GfxState state(72, 72, &box, 0, true);
    dev.startPage(1, &state, nullptr);
    try {
        dev.rtfEndPage();
        FAIL() << "no assertion";
    } catch (const tk_mail_assertion& e) {
        EXPECT_EQ(e.message, tk_mail_assertion::make_text(TK_SINGL_FILE, 59));
    }
}

TEST(XmlDevicePage, PageAreaIsCappedAt1583Points)
{
    scratch_dir dir;
    XMLOutputDev dev(dir.file("out.xml").c_str(), 0, 0, 0);
    {
        PDFRectangle box(0, 0, 2000, 1583.5);
        GfxState state(72, 72, &box, 0, true);
        dev.startPage(1, &state, nullptr);
        EXPECT_DOUBLE_EQ(dev.page()->pageWidth, 1583);
        EXPECT_DOUBLE_EQ(dev.page()->pageHeight, 1583);
    }
    {
        PDFRectangle box(0, 0, 612, 792);
        GfxState state(72, 72, &box, 90, true);
        dev.startPage(2, &state, nullptr);
        EXPECT_DOUBLE_EQ(dev.page()->pageWidth, 792); // rotated: width and height swap
        EXPECT_DOUBLE_EQ(dev.page()->pageHeight, 612);
    }
    dev.startPage(3, nullptr, nullptr);
    EXPECT_DOUBLE_EQ(dev.page()->pageWidth, 0);
    EXPECT_DOUBLE_EQ(dev.page()->pageHeight, 0);
}
