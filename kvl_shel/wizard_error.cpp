// The wizard build of the error handler's report: message boxes and the error dialogs.
#include "TK/tk_error.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

#include "GUI2/dlg_error.h"
#include "GUI2/g_gui_thread.h"
#include "GUI2/g_wiz_sh.h"
#include "TK/tk_log.h"

namespace {

// Messages kept in the wizard's error list per program run.
constexpr size_t error_list_limit = 20;

bool can_show_dialogs()
{
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

// Ends the process at once with -1. Nothing is torn down (so no settings are saved), and no
// static object is destroyed while another thread may still use it.
[[noreturn]] void end_process()
{
    std::fflush(nullptr);
    std::_Exit(-1);
}

} // namespace

void error_handler::handle(const tk_exception& e, bool can_continue)
{
    tk_log(2, "error_handler::handle");
    if (e.level == 2) {
        tk_log(3, "Internal error:\n%s", e.what());
        const std::string text = e.what();
        run_on_gui_thread([&text] {
            if (!can_show_dialogs()) {
                std::fprintf(stderr, "Error: %s\n", text.c_str());
                return;
            }
            dlg_error_ex dialog(text);
            dialog.do_modal();
        });
        end_process();
    }

    std::string message = make_message(e);
    tk_log(3, "Error:\n%s", message.c_str());
    for (char& c : message)
        if (c == '\n')
            c = ' ';

    if (wizard_shell::is_initialized())
        run_on_gui_thread([&message] {
            std::vector<std::string>& list = tk_singleton<wizard_shell>::instance().error_list;
            if (list.size() < error_list_limit)
                list.push_back(message);
        });

    if (e.level == 1) {
        tk_log(1, "Got 1-level error");
        if (!quiet) {
            tk_log(1, "Step 1");
            wizard_shell::error(message);
        }
        tk_log(1, "Step 2");
        for (const auto& topic : help_topics)
            if (topic.first == e.code)
                wizard_shell::display_help(topic.second);
        if (!can_continue)
            throw tk_final_exception();
        return;
    }

    tk_log(1, "Got 0-level error");
    if (quiet)
        return;
    int result = 2;
    bool dont_show_again = false;
    run_on_gui_thread([&] {
        if (!can_show_dialogs()) {
            std::fprintf(stderr, "Error: %s\n", message.c_str());
            return;
        }
        dlg_error_continue dialog(message);
        result = dialog.do_modal();
        dont_show_again = dialog.dont_show_again;
    });
    if (!can_continue && result == 1)
        throw tk_final_exception();
    quiet = dont_show_again;
}
