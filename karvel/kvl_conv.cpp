#include "karvel/kvl_conv.h"

#include <GlobalParams.h>
#include <goo/GooString.h>
#include <PDFDoc.h>

#include <cstdint>
#include <ctime>
#include <iostream>
#include <memory>

#include "PDFR/pdf_open.h"
#include "PDFR/pdf_ulin.h"
#include "TK/tk_error.h"
#include "TK/tk_log.h"
#include "karvel/XMLOutputDev.h"
#include "karvel/page_walk.h"
#include "PDFR/raster_dev.h"
#ifdef KARVEL_WIZARD
#include "GUI2/g_wiz_sh.h"
#endif

namespace {

// The PDF core's own diagnostics are discarded. While the core's global parameters
// exist, their quiet setting does that before a message is formatted (a damaged stream
// can report millions of errors); the discarding callback stands in only while they do
// not, since the core formats every message for a callback and prints it without one.
void discard_core_message(ErrorCategory, Goffset, const char*) {}

std::tm local_now()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

// The scope of one run: start and end lines in the log and the finished flag.
class init_conversion {
public:
    init_conversion(bool* done, int no_com_flag) : no_com(no_com_flag), done_flag(done)
    {
        tk_log(2, "init_conversion::ctor");
        const std::tm t = local_now();
        tk_log(3, "Conversion started on %02d/%02d/%04d at %02d:%02d:%02d\n", t.tm_mday, t.tm_mon + 1,
               t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec);
#ifdef KARVEL_WIZARD
        // The wizard's progress page reads the counters on every tick of this timer.
        tk_singleton<wizard_shell>::instance().start_timer(200);
#endif
    }
    ~init_conversion()
    {
        tk_log(2, "init_conversion::dtor");
        const std::tm t = local_now();
        tk_log(3, "Conversion ended on %02d/%02d/%04d at %02d:%02d:%02d\n", t.tm_mday, t.tm_mon + 1,
               t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec);
        *done_flag = true;
    }
    init_conversion(const init_conversion&) = delete;
    init_conversion& operator=(const init_conversion&) = delete;

private:
    int no_com; // there is no COM here; kept for the scope's shape
    bool* done_flag;
};

bool abort_requested(void* job)
{
    return static_cast<karvel_convertor*>(job)->stop_requested();
}

} // namespace

karvel_convertor::karvel_convertor() : tk_serializer("Software\\Zantorix\\Karvel")
{
#ifdef KARVEL_WIZARD
    serialize(false);
#endif
    setErrorCallback(&discard_core_message);
    globalParams = std::make_unique<GlobalParams>();
    // The layout code expects the Xpdf default text encoding.
    globalParams->setTextEncoding("Latin1");
    globalParams->setErrQuiet(true);
    setErrorCallback(nullptr);
}

karvel_convertor::~karvel_convertor()
{
#ifdef KARVEL_WIZARD
    serialize(true);
#endif
    setErrorCallback(&discard_core_message);
    globalParams.reset();
}

void karvel_convertor::run()
{
    if (src.empty() || dest.empty())
        throw tk_mail_assertion("kvl_conv.cpp", 138);
    init_conversion scope(&finished, 1);
    failed = false;
    try {
        tk_log(3, "src=[%s]\ndest=[%s]", src.c_str(), dest.c_str());
        const GooString owner(password);
        const GooString user(password);
        std::unique_ptr<PDFDoc> doc = pdf_open_document(src, &owner, &user, true);
        if (!doc->isOk())
            // The file vanished or became unreadable since it was checked.
            throw tk_exception("Source file does not exist.\nPlease verify the correct file name was given.", 1);
        convert_pages(doc.get());
    } catch (const tk_stop_exception&) {
        // a stop request ended the page's layout or writing: the run ends as stopped
    } catch (const tk_final_exception&) {
        // the run ends quietly
    } catch (const tk_exception& e) {
        tk_singleton<error_handler>::instance().handle(e, true);
    } catch (const std::exception& e) {
        // Out of memory above all: the run failed and its destination is gone.
        failed = true;
#ifdef KARVEL_WIZARD
        wizard_shell::error(e.what());
#else
        tk_log(3, "ERROR:\n%s", e.what());
        std::cerr << e.what() << std::endl;
#endif
    }
}

#ifdef KARVEL_WIZARD
double karvel_convertor::get_percent() const
{
    const unsigned count = page_count;
    if (count == 0)
        return 0.0;
    // Unsigned 32-bit arithmetic: the product wraps, the quotient is truncated.
    const unsigned index = page_index;
    const std::uint32_t product = static_cast<std::uint32_t>(index) * 100u;
    return static_cast<double>(product / count);
}
#endif

void karvel_convertor::convert_pages(PDFDoc* doc)
{
    const unsigned doc_pages = static_cast<unsigned>(doc->getNumPages() < 0 ? 0 : doc->getNumPages());
    page_count = page_list.empty() ? doc_pages : static_cast<unsigned>(page_list.size());

    // The ruling lines of the document, collected by the raster pass of each page.
    pdf_uline_processor rulings(1);
    const tk_stop_check stop{&abort_requested, this};
    rulings.stop = stop;

    // The raster pass paints nothing: it hands the page's rules to the processor.
    auto raster = std::make_unique<raster_dev>(raster_dpi);
    raster->startDoc(doc);

    // Opens the destination and writes the document's opening lines. A run that ends
    // before the document is closed leaves no destination: on a failure the device is
    // released (and the unfinished document removed) before the handler runs.
    auto xml = std::make_unique<XMLOutputDev>(dest.c_str(), 0, 0, 0);
    // A stop signal that broke the open (of a FIFO nobody reads yet) is no error.
    if (!xml->isOk() && stop_requested())
        return;
    if (!xml->isOk())
        throw tk_exception("Couldn't open output file '" + dest + "'", 1);
    xml->set_stop_check(stop);
    xml->checkWritten();

    // A write that fails ends the run at that page. The last position counts only once the
    // document is complete and closed, so a run whose output failed never shows as done.
    // A run asked to stop does not close the document: its last page may be cut.
    const size_t positions = page_list.empty() ? page_count.load() : page_list.size();
    const auto count_position = [&] {
        if (page_index + 1 >= positions && !stop_requested())
            xml->closeDocument();
        ++page_index;
    };

    // One walk of each page feeds both.
    page_walk_dev walk(raster.get(), xml.get());

    if (!page_list.empty()) {
        while (page_index < page_list.size() && !stop_requested()) {
            const unsigned page = page_list[page_index];
            if (page > doc_pages) {
                tk_log(3, "Page is out of range %d > %d", static_cast<int>(page), static_cast<int>(doc_pages));
            } else {
                tk_log(3, "Converting page %d of %d", static_cast<int>(page_index + 1),
                       static_cast<int>(page_list.size()));
                convert_page(&walk, doc, static_cast<int>(page));
            }
            count_position();
        }
    } else {
        while (page_index < page_count && !stop_requested()) {
            tk_log(3, "Converting page %d of %d", static_cast<int>(page_index + 1), static_cast<int>(page_count));
            convert_page(&walk, doc, static_cast<int>(page_index + 1));
            count_position();
        }
    }
    if (stop_requested())
        xml->discardDocument();
    else
        xml->closeDocument();
}

void karvel_convertor::convert_page(page_walk_dev* walk, PDFDoc* doc, int page)
{
    tk_log(1, "karvel_convertor::convert_page(%d)", page);
    // One interpretation of the page at the text pass's 72 dpi for both devices.
    walk->walk(doc, page, &abort_requested, this);
    tk_log(2, "Right after processing page #%d", page);
    // A stop may have ended the walk part-way: that page is not written.
    if (stop_requested()) {
        tk_singleton<pdf_uline_processor>::instance().flush();
        return;
    }
    tk_singleton<XMLOutputDev>::instance().rtfEndPage();
}
