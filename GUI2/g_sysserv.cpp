// The system services that need the GUI library: clipboard and its version.
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QtGlobal>

#include "GUI2/g_gui_thread.h"
#include "TK/tk_log.h"
#include "TK/tk_sysserv.h"

void tk_copy_to_clipboard1(const std::string& text)
{
    tk_log(2, "tk_copy_to_clipboard1(%s)", text.c_str());
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) {
        tk_log(2, "GetLastError() returns %08X", 0u);
        return;
    }
    // The clipboard belongs to the user-interface thread.
    run_on_gui_thread([&text] {
        QClipboard* clipboard = QGuiApplication::clipboard();
        if (clipboard == nullptr) {
            tk_log(2, "GetLastError() returns %08X", 0u);
            return;
        }
        tk_log(2, "OpenClipboard succeeded");
        clipboard->setText(QString::fromStdString(text), QClipboard::Clipboard);
    });
}

unsigned get_dll_version(const wchar_t* /*dll_name*/)
{
    const unsigned version = tk_parse_version(qVersion());
    if (version == 0)
        tk_log(1, "get_dll_version failed to load DLL");
    return version;
}
