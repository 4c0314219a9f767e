// Shared set-up of the wizard tests: the program's objects on the heap, answerable
// boxes and dialogs, and waiting while the user-interface thread keeps running.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <QUrl>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "GUI2/g_wiz_sh.h"
#include "TK/tk_error.h"
#include "karvel/kvl_conv.h"
#include "kvl_shel/conv_options_page.h"
#include "kvl_shel/finish_page.h"
#include "kvl_shel/progress_page.h"
#include "kvl_shel/sel_file_page.h"
#include "kvl_shel/welcome_page.h"
#include "test_support.h"

// One message box as the shell prepared it.
struct shown_box {
    std::string caption;
    std::string text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool owned_by_shell = false;
    bool has_owner = false;
    int default_button = QMessageBox::NoButton;
    bool on_gui_thread = false;
};

// Records every box and answers it from a queue (Ok, or No for questions, when empty).
class box_recorder {
public:
    box_recorder();
    ~box_recorder();
    std::vector<shown_box> boxes;
    std::deque<int> answers;
};

// Records what would be handed to the desktop.
class url_recorder {
public:
    url_recorder();
    ~url_recorder();
    std::vector<QUrl> urls;
};

// Processes events for the given time.
void pump_events(int milliseconds);
// Processes events until the condition holds or the time runs out; returns the condition.
bool wait_for(const std::function<bool()>& condition, int timeout_ms);

// Holds the help file beside the test program for one test: tests of other processes
// that use it wait. With present false the file is removed for the test.
class help_file_guard {
public:
    explicit help_file_guard(bool present);
    ~help_file_guard();
    help_file_guard(const help_file_guard&) = delete;
    help_file_guard& operator=(const help_file_guard&) = delete;
    std::string path;

private:
    int lock_fd = -1;
};

// Writes a PDF of the given number of pages with a line of text on each.
bool write_test_pdf(const std::string& path, int pages);

// The wizard program's objects, as the entry builds them, around one test.
class wizard_rig {
public:
    wizard_rig();
    ~wizard_rig();

    // Shows the wizard (the welcome page becomes current).
    void show();
    void click(QWizard::WizardButton which);
    int current() const { return shell->currentId(); }
    // Goes from the welcome page to the file page.
    void to_file_page();

    scratch_dir scratch;
    std::unique_ptr<error_handler> handler;
    std::unique_ptr<karvel_convertor> convertor;
    std::unique_ptr<wizard_shell> shell;
    std::unique_ptr<welcome_page> welcome;
    std::unique_ptr<sel_file_page> files;
    std::unique_ptr<settings_page> settings;
    std::unique_ptr<progress_page> progress;
    std::unique_ptr<finish_page> finish;
    box_recorder boxes;
    url_recorder urls;
};

// The child of the lost-display test (WIZARD_TESTS_LOST_DISPLAY_CHILD names the file): runs
// a conversion on the display it was given and writes its scratch folder into the file
// once the run is under way; the display going away ends the process. Returns only when
// that did not happen.
int lost_display_child(const std::string& ready_file);
