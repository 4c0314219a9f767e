#include "tarnvik/console_main.h"

#include <goo/GooString.h>
#include <PDFDoc.h>

#include <memory>

#include "PDFR/pdf_open.h"
#include "TK/tk_error.h"
#include "TK/tk_fname.h"
#include "TK/tk_log.h"
#include "TK/tk_utils.h"
#include "karvel/kvl_conv.h"
#include "tarnvik/cmd_line.h"

namespace {

// Opens the document once and drops it, so that format and password failures are
// reported before any output is written.
void probe_document(const std::string& src, const std::string& pswd)
{
    std::unique_ptr<GooString> owner;
    std::unique_ptr<GooString> user;
    if (!pswd.empty()) {
        owner = std::make_unique<GooString>(pswd);
        user = std::make_unique<GooString>(pswd);
    }
    const std::unique_ptr<PDFDoc> doc = pdf_open_document(src, owner.get(), user.get());
    if (!doc->isOk())
        // The core could not open a file that was readable a moment ago.
        fatal_error("Source file does not exist.\nPlease verify the correct file name was given.");
}

} // namespace

int tarnvik_main(int argc, const char* const* argv)
{
    tk_logger logger(nullptr, false, 3, false);
    karvel_convertor convertor;
    error_handler handler;
    try {
        if (argc < 2 || argc > 12 || !parse_cmd_line(argc, argv))
            fatal_error(usage_message());
        if (option_src.empty())
            fatal_error("You should specify source file");
        if (!tk_is_file_exist(option_src, 0x4000))
            fatal_error("Source file does not exist.\nPlease verify the correct file name was given.");
        probe_document(option_src, option_pswd);
        std::string dest = option_dest;
        if (dest.empty()) {
            tk_file_name name(option_src);
            name.set_ext(".xml");
            dest = name.get_full_name();
        }
        common_check_dest(dest);
        // "-" is the standard output stream, not a file of that name.
        if (dest != "-")
            common_check_dest_not_source(dest, option_src);
        convertor.src = option_src;
        convertor.dest = dest;
        convertor.password = option_pswd;
        static_cast<tk_thread_functor&>(convertor).run();
    } catch (const tk_exception& e) {
        handler.handle(e, false);
        return -1;
    } catch (const std::exception& e) {
        fatal_error(e.what());
    }
    return 0;
}
