#include "tarnvik/console_main.h"

#include <goo/GooString.h>
#include <PDFDoc.h>

#include <cstdlib>
#include <memory>

#include "PDFR/pdf_open.h"
#include "TK/tk_error.h"
#include "TK/tk_fname.h"
#include "TK/tk_log.h"
#include "TK/tk_stop_signals.h"
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

// Runs the conversion; a stop signal ends it early (the run removes its unfinished
// destination), and then the process ends by that signal. False when the run failed
// with a standard exception (it reported it and removed its destination).
bool run_conversion(karvel_convertor& convertor)
{
    {
        const tk_stop_signals scope(&convertor);
        static_cast<tk_thread_functor&>(convertor).run();
    }
    if (const int sig = tk_stop_signals::received())
        tk_end_by_signal(sig);
    return !convertor.failed;
}

} // namespace

int tarnvik_main(int argc, const char* const* argv)
{
    tk_logger logger(nullptr, false, 3, false);
    karvel_convertor convertor;
    error_handler handler;
    try {
        if (argc < 2 || argc > 12)
            fatal_error(usage_message());
        check_log_files(argc, argv);
        if (!parse_cmd_line(argc, argv))
            fatal_error(usage_message());
        if (option_src.empty())
            fatal_error("You should specify source file");
        if (!tk_is_file_exist(option_src, 0x4000))
            fatal_error("Source file does not exist.\nPlease verify the correct file name was given.");
        probe_document(option_src, option_pswd);
        const std::string dest = destination_for(option_src, option_dest);
        common_check_dest(dest);
        // "-" is the standard output stream, not a file of that name.
        if (dest != "-")
            common_check_dest_not_source(dest, option_src);
        convertor.src = option_src;
        convertor.dest = dest;
        convertor.password = option_pswd;
        if (!run_conversion(convertor))
            return -1;
    } catch (const tk_exception& e) {
        handler.handle(e, false);
        return -1;
    } catch (const std::exception& e) {
        fatal_error(e.what());
    }
    return 0;
}
