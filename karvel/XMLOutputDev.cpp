#include "karvel/XMLOutputDev.h"

#include <GfxState.h>
#include <goo/GooString.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "PDFR/pdf_ulin.h"
#include "TK/tk_except.h"
#include "TK/tk_log.h"
#include "karvel/kvl_conv.h"
#include "karvel/text_page.h"

namespace {

// The file text by which internal errors of the device are reported.
const char* const xml_output_dev_file = "..\\karvel/XMLOutputDev.cpp";

// The document's fixed lines; false when a write failed (errno tells why).
bool write_opening_lines(FILE* f)
{
    return std::fprintf(f, "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n") >= 0 &&
           std::fprintf(f, "<%s>\n", "document") >= 0 && std::fprintf(f, "<%s>\n", "pages") >= 0;
}

bool write_closing_lines(FILE* f)
{
    return std::fprintf(f, "</%s>\n", "pages") >= 0 && std::fprintf(f, "</%s>", "document") >= 0;
}

// Removes the unfinished file by the one rule for destinations; a file that should have
// gone and stays is logged.
void remove_opened_file(const plat_output_file& file)
{
    plat_clear_unfinished_output();
    if (file.removable && !plat_remove_output(file))
        tk_log(3, "Couldn't remove output file '%s'", file.name);
}

} // namespace

XMLOutputDev::XMLOutputDev(const char* fileName, int physicalLayout, int contentOrder, int append)
{
    tk_log(2, "XMLOutputDev::ctor(%d, %d, %d)", physicalLayout, contentOrder, append);
    if (fileName == nullptr)
        throw tk_mail_assertion(xml_output_dev_file, 7110);
    ok = true;
    pageCount = 0;
    closeAtEnd = false;
    appending = append != 0;
    outputName = fileName;
    if (std::strcmp(fileName, "-") == 0) {
        // POSIX streams make no newline translation: stdout is binary already.
        outputFile = stdout;
    } else {
        outputFile = std::fopen(fileName, append ? "ab" : "wb");
        if (outputFile == nullptr) {
            tk_log(3, "Couldn't open output file '%s'", fileName);
            ok = false;
            return;
        }
        opened = plat_identify_output(fileno(outputFile), outputName);
        // A file opened for appending is never removed.
        if (!appending)
            plat_set_unfinished_output(opened);
        if (!write_opening_lines(outputFile))
            noteWriteError();
        closeAtEnd = true;
    }
    try {
        textPage = new kvl::TextPage(contentOrder != 0);
    } catch (...) {
        // The destructor does not run for a half-built device.
        discardDocument();
        throw;
    }
}

XMLOutputDev::~XMLOutputDev()
{
    tk_log(2, "XMLOutputDev::dtor");
    // A document that was not closed is unfinished (the run failed or was stopped).
    discardDocument();
    outputFile = nullptr;
    delete textPage;
    textPage = nullptr;
}

void XMLOutputDev::startPage(int pageNum, GfxState* state, XRef*)
{
    tk_log(2, "XMLOutputDev::startPage(%d)", pageNum);
    // A device whose file could not be opened has no page model and takes no page.
    if (textPage == nullptr)
        return;
    textPage->startPage();
    if (state != nullptr)
        textPage->setPageSize(std::min(state->getPageWidth(), xml_max_page_extent),
                              std::min(state->getPageHeight(), xml_max_page_extent));
    else
        textPage->setPageSize(0, 0);
}

void XMLOutputDev::updateFont(GfxState* state)
{
    tk_log(1, "XMLOutputDev::updateFont");
    if (textPage != nullptr)
        textPage->updateFont(state);
}

void XMLOutputDev::beginString(GfxState* state, const GooString* s)
{
    tk_log(1, "XMLOutputDev::beginString(%s)", s != nullptr ? s->c_str() : "");
    if (textPage != nullptr)
        textPage->beginWord(state, state->getCurX(), state->getCurY());
}

void XMLOutputDev::endString(GfxState*)
{
    tk_log(1, "XMLOutputDev::endString");
    if (textPage != nullptr)
        textPage->endWord();
}

void XMLOutputDev::drawChar(GfxState* state, double x, double y, double dx, double dy, double, double,
                            CharCode code, int nBytes, const Unicode* u, int uLen)
{
    if (textPage != nullptr)
        textPage->addChar(state, x, y, dx, dy, code, nBytes, u, uLen);
}

void XMLOutputDev::rtfEndPage()
{
    tk_log(2, "XMLOutputDev::rtfEndPage");
    // The page's rules are all in now (they arrive with its text, in one walk): the
    // tables are built before anything asks for an underline or a cell.
    if (tk_singleton<pdf_uline_processor>::exists()) {
        pdf_uline_processor& lines = tk_singleton<pdf_uline_processor>::instance();
        if (lines.mode != 0 && tk_singleton<karvel_convertor>::instance().use_ruling_lines)
            lines.tableBuilding();
    }
    if (textPage != nullptr) {
        pageText.clear();
        stop.poll();
        textPage->findUnderlines();
        stop.poll();
        textPage->coalesce(false, false);
        textPage->dump(outputFile, pageCount);
        // The page goes whole, flushed at once (a stop after the page was handed over does
        // not keep its end in the buffer), or not at all once a stop was requested.
        stop.poll();
        if (outputFile != nullptr && writeError == 0 && !pageText.empty() &&
            (std::fwrite(pageText.data(), 1, pageText.size(), outputFile) != pageText.size() ||
             std::fflush(outputFile) != 0))
            noteWriteError();
        pageText.clear();
        ++pageCount;
    }
    tk_singleton<pdf_uline_processor>::instance().flush();
    // The page reaches the file before the next one is read.
    checkWritten();
}

void XMLOutputDev::set_stop_check(const tk_stop_check& check)
{
    stop = check;
    if (textPage != nullptr)
        textPage->stop = check;
}

void XMLOutputDev::writeLine(const std::string& text)
{
    if (outputFile == nullptr || writeError != 0)
        return;
    // The line as "%s\n" writes it (up to a zero byte), without formatting it.
    pageText.append(text.c_str());
    pageText += '\n';
}

void XMLOutputDev::noteWriteError()
{
    if (writeError == 0)
        writeError = errno != 0 ? errno : EIO;
}

void XMLOutputDev::checkWritten()
{
    // Once a stop is requested the document is abandoned: a flush into a full pipe would
    // wait for a reader that may never come.
    if (stop.requested())
        return;
    if (outputFile != nullptr && writeError == 0 && std::fflush(outputFile) != 0)
        noteWriteError();
    if (writeError == 0)
        return;
    // A signal that asks the run to stop broke a blocked write: the run ends by the signal.
    if (writeError == EINTR && stop.requested())
        return;
    errno = writeError;
    tk_exception_ex e;
    e.set_system_message("Couldn't write output file '" + outputName + "': ");
    throw e;
}

bool XMLOutputDev::closeFile()
{
    FILE* f = outputFile;
    outputFile = nullptr;
    closeAtEnd = false;
    return std::fclose(f) == 0;
}

void XMLOutputDev::closeDocument()
{
    if (closeAtEnd) {
        if (writeError == 0 && (!write_closing_lines(outputFile) || std::fflush(outputFile) != 0))
            noteWriteError();
        if (!closeFile())
            noteWriteError();
        // A document whose end did not reach the file is as unfinished as a cut one.
        if (writeError != 0 && !appending)
            remove_opened_file(opened);
        else
            plat_clear_unfinished_output();
    }
    // The standard output stream is flushed here and never closed.
    checkWritten();
}

void XMLOutputDev::discardDocument()
{
    if (!closeAtEnd)
        return;
    tk_log(2, "XMLOutputDev::discardDocument");
    // The file goes away: a failure to close it changes nothing.
    closeFile();
    if (!appending)
        remove_opened_file(opened);
}
