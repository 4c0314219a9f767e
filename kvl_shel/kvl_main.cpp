#include "kvl_shel/kvl_main.h"

#include <QApplication>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "GUI2/g_wiz_sh.h"
#include "TK/tk_error.h"
#include "TK/tk_log.h"
#include "TK/tk_stop_signals.h"
#include "karvel/kvl_conv.h"
#include "kvl_shel/finish_page.h"
#include "kvl_shel/progress_page.h"
#include "kvl_shel/sel_file_page.h"
#include "kvl_shel/conv_options_page.h"
#include "kvl_shel/welcome_page.h"

namespace {

constexpr int version_major = 2;
constexpr int version_minor = 3;

} // namespace

unsigned gui_library_version()
{
    unsigned major = 0;
    unsigned minor = 0;
    if (std::sscanf(qVersion(), "%u.%u", &major, &minor) != 2)
        return 0;
    return (major << 16) | (minor & 0xFFFFu);
}

std::string wizard_title()
{
    char title[64];
    std::snprintf(title, sizeof title, "Karvel %d.%d", version_major, version_minor);
    return title;
}

bool gui_library_accepted(unsigned version)
{
    return version >= 0x50050u;
}

void check_gui_library()
{
    const unsigned version = gui_library_version();
    tk_log(1, "comctl32.dll version=%X", version);
    if (!gui_library_accepted(version)) {
        wizard_shell::error("Incorrect version of comctl32.dll. Microsoft Internet Explorer 5\n"
                            "or later is required to proceed with the application.");
        std::exit(-1);
    }
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        wizard_shell::error("Failed to initialize GUI library");
        std::exit(-1);
    }
}

int karvel_main(int argc, char** argv)
{
    QApplication app(argc, argv);
    error_handler handler;
    int exit_code = 0;
    int stop_signal = 0;
    try {
        check_gui_library();
        karvel_convertor convertor;
        wizard_shell shell(wizard_title(), 501, 311, 312);

        // Destroyed in reverse order: finish, progress (its worker first), settings,
        // file selection, welcome.
        welcome_page welcome;
        sel_file_page files;
        files.set_header(QStringLiteral("Step 1 of 3"), QStringLiteral("Select files"));
        settings_page settings;
        settings.set_header(QStringLiteral("Step 2 of 3"), QStringLiteral("Conversion settings"));
        progress_page progress;
        finish_page finish;
        shell.add_page(&welcome);
        shell.add_page(&files);
        shell.add_page(&settings);
        shell.add_page(&progress);
        shell.add_page(&finish);

        exit_code = shell.exec();
        // A worker that does not stop in time is left as it is: the program ends without
        // tearing down what it may still use.
        if (!progress.end_worker())
            progress.end_process(exit_code);
        stop_signal = progress.stopped_by_signal();
    } catch (const tk_exception& e) {
        handler.handle(e, true);
    } catch (const std::exception& e) {
        wizard_shell::error(e.what());
    }
    // The settings are saved by now (the convertor is gone): a run ended by a stop signal
    // ends the program by that signal.
    if (stop_signal != 0)
        tk_end_by_signal(stop_signal);
    return exit_code;
}
