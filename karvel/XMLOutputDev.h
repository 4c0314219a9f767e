// The output device of the text pass: receives the page's glyphs, builds the page text
// model and writes the XML document.
#pragma once

#include <OutputDev.h>

#include <cstdio>
#include <memory>
#include <string>

#include "PDFR/pdf_width_getter.h"
#include "TK/tk_singl.h"
#include "TK/tk_threa.h"
#include "platform/plat_output_file.h"

namespace kvl {
class TextPage;
}

// Largest page extent, in points, that keeps its text.
constexpr double xml_max_page_extent = 1583.0;

class XMLOutputDev : public tk_singleton<XMLOutputDev>, public OutputDev {
public:
    // fileName "-" writes the page elements alone to the standard output stream.
    XMLOutputDev(const char* fileName, int physicalLayout, int contentOrder, int append);
    ~XMLOutputDev() override;

    XMLOutputDev(const XMLOutputDev&) = delete;
    XMLOutputDev& operator=(const XMLOutputDev&) = delete;

    virtual bool isOk() { return ok; }
    // Builds the page's tables from its ruling lines, then lays out and writes the page
    // collected since startPage, then resets the ruling lines.
    virtual void rtfEndPage();

    bool upsideDown() override { return true; }
    bool useDrawChar() override { return true; }
    bool interpretType3Chars() override { return false; }
    void startPage(int pageNum, GfxState* state, XRef* xref) override;
    void updateFont(GfxState* state) override;
    void stroke(GfxState*) override {}
    void fill(GfxState*) override {}
    void eoFill(GfxState*) override {}
    void beginString(GfxState* state, const GooString* s) override;
    void endString(GfxState* state) override;
    void drawChar(GfxState* state, double x, double y, double dx, double dy, double originX, double originY,
                  CharCode code, int nBytes, const Unicode* u, int uLen) override;
    void processLink(AnnotLink*) override {}

    // How the layout and the writing of a page learn that the run was asked to stop: they
    // poll it and end the page with tk_stop_exception. A write interrupted by a signal
    // while a stop is requested is no write error: the document is abandoned quietly.
    void set_stop_check(const tk_stop_check& check);

    // Adds one line of the page being written, as a "%s\n" write would write it. The page
    // goes to the stream whole once it is complete (rtfEndPage), so that a run stopped in
    // the middle of a page leaves none of it. After a failed write nothing more is written;
    // checkWritten reports the failure.
    void writeLine(const std::string& text);
    // Flushes the stream; throws the level-1 write error when a write has failed.
    void checkWritten();
    // Writes the closing lines and closes the file (flushes the standard output); throws
    // the level-1 write error when a write, the flush or the close failed. A file whose
    // closing failed is discarded as below before the error is thrown.
    void closeDocument();
    // Ends a document that is not to be completed: writes nothing more, closes the file and
    // removes it when it is a regular file this device created or truncated. Special files
    // (a device, a FIFO) and a file opened for appending stay; the standard output stream
    // is left as it is. The destructor does this for a document that was not closed.
    void discardDocument();

    // The stream all XML goes to; null when the file could not be opened.
    FILE* output() const { return outputFile; }
    kvl::TextPage* page() const { return textPage; }
    int pages_written() const { return pageCount; }

private:
    FILE* outputFile = nullptr;
    bool closeAtEnd = false;
    bool appending = false;
    kvl::TextPage* textPage = nullptr;
    std::string pageText; // the lines of the page being written
    bool ok = false;
    int pageCount = 0;
    pdf_width_getter widthGetter;
    std::string outputName;
    int writeError = 0; // errno of the first failed write, 0 while all went well
    plat_output_file opened; // the file as it was opened (nothing for the standard output)
    tk_stop_check stop;

    void noteWriteError();
    // Closes the named file; false when closing failed.
    bool closeFile();
};
