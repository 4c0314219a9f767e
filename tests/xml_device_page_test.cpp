// The XML device's page: table building from the captured lines and the page area.
#include <cstdio>
#include <memory>
#include <string>

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

// Counts the stop polls of a page and asks to stop from the given one on (0: never).
struct poll_counter {
    int calls = 0;
    int stop_at = 0;
};

bool count_poll(void* data)
{
    auto* counter = static_cast<poll_counter*>(data);
    ++counter->calls;
    return counter->stop_at != 0 && counter->calls >= counter->stop_at;
}

// One page with a table grid and words in several places, and column_lines more words
// piled into one column of as many lines, polled through the counter; returns the pages
// the device wrote. A stop throws out of here. Appending, the file is never removed.
int write_polled_page(const std::string& path, poll_counter& counter, int column_lines = 0, bool append = false)
{
    const tk_stop_check stop{&count_poll, &counter};
    pdf_uline_processor lines(1);
    add_grid(lines);
    lines.stop = stop;
    XMLOutputDev dev(path.c_str(), 0, 0, append ? 1 : 0);
    dev.set_stop_check(stop);
    PDFRectangle box(0, 0, 612, 792);
    GfxState state(72, 72, &box, 0, true);
    state.setCTM(1, 0, 0, 1, 0, 0);
    state.setTextMat(1, 0, 0, -1, 0, 0);
    state.setFont(nullptr, 10);
    dev.startPage(1, &state, nullptr);
    dev.page()->updateFont(&state);
    for (const double y : {60.0, 62.0, 150.0, 400.0, 700.0}) {
        for (const double x : {60.0, 90.0, 400.0}) {
            dev.page()->beginWord(&state, x, y);
            for (int i = 0; i < 4; ++i) {
                const Unicode u = 'a' + i;
                dev.page()->addChar(&state, x + 6 * i, y, 6, 0, u, 1, &u, 1);
            }
            dev.page()->endWord();
        }
    }
    for (int i = 0; i < column_lines; ++i) {
        const double y = 420 + 250.0 * i / column_lines;
        const std::string text = "x" + std::to_string(i);
        dev.page()->beginWord(&state, 450, y);
        for (size_t k = 0; k < text.size(); ++k) {
            const Unicode u = static_cast<unsigned char>(text[k]);
            dev.page()->addChar(&state, 450 + 6 * static_cast<double>(k), y, 6, 0, u, 1, &u, 1);
        }
        dev.page()->endWord();
    }
    dev.rtfEndPage();
    dev.closeDocument();
    return dev.pages_written();
}

} // namespace

TEST(XmlDevicePage, AStopAtAnyPollEndsThePageUnwrittenAndLeavesNoFile)
{
    scratch_dir dir;
    karvel_convertor conv; // the core's globals, and the switch of the ruling lines
    const std::string path = dir.file("out.xml");
    poll_counter whole;
    ASSERT_EQ(write_polled_page(path, whole), 1);
    EXPECT_EQ(xmllint_errors(path), "");
    EXPECT_NE(read_file(path).find("<table>"), std::string::npos) << "the grid made a table";
    // Table building, the layout (inside the building of blocks too) and the writing poll;
    // the last two asks are the flushes after the page and at the document's end, which
    // a stop skips instead.
    ASSERT_GT(whole.calls, 10);
    for (int k = 1; k <= whole.calls - 2; ++k) {
        poll_counter counter;
        counter.stop_at = k;
        EXPECT_THROW(write_polled_page(path, counter), tk_stop_exception) << "poll " << k;
        EXPECT_FALSE(file_exists(path)) << "poll " << k;
    }
}

TEST(XmlDevicePage, AStopInsideALargeBlockEndsThePageUnwrittenAndLeavesNoFile)
{
    // A block of thousands of lines is also looked at while its lines are built and their
    // columns numbered, and the regions while their lines are placed: a stop at any look
    // leaves the block or the regions unfinished, and nothing of them is written or kept.
    scratch_dir dir;
    karvel_convertor conv;
    const std::string path = dir.file("out.xml");
    poll_counter whole;
    ASSERT_EQ(write_polled_page(path, whole, 5000), 1);
    EXPECT_EQ(xmllint_errors(path), "");
    for (int k = 1; k <= whole.calls - 2; ++k) {
        poll_counter counter;
        counter.stop_at = k;
        EXPECT_THROW(write_polled_page(path, counter, 5000), tk_stop_exception) << "poll " << k;
        EXPECT_FALSE(file_exists(path)) << "poll " << k;
    }
}

TEST(XmlDevicePage, AStopLeavesNothingOfThePageInAFileThatIsKept)
{
    // A page far longer than the stream's buffer, into a file that is kept (appended to):
    // a stop at any look leaves the opening lines and nothing of the page.
    scratch_dir dir;
    karvel_convertor conv;
    poll_counter whole;
    ASSERT_EQ(write_polled_page(dir.file("whole.xml"), whole, 6000), 1);
    ASSERT_GT(read_file(dir.file("whole.xml")).size(), 2u * BUFSIZ);
    for (int k = 1; k <= whole.calls - 2; ++k) {
        const std::string path = dir.file("kept" + std::to_string(k) + ".xml");
        poll_counter counter;
        counter.stop_at = k;
        EXPECT_THROW(write_polled_page(path, counter, 6000, true), tk_stop_exception) << "poll " << k;
        EXPECT_EQ(read_file(path), "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<document>\n<pages>\n") << "poll " << k;
    }
}

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
