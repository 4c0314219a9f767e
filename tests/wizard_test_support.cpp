#include "wizard_test_support.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QThread>
#include <QWidget>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "pdf_writer.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

box_recorder::box_recorder()
{
    wizard_shell::box_answerer = [this](QMessageBox& box) {
        shown_box shown;
        shown.caption = box.windowTitle().toStdString();
        shown.text = box.text().toStdString();
        shown.icon = box.icon();
        shown.has_owner = box.parentWidget() != nullptr;
        shown.owned_by_shell = tk_singleton<wizard_shell>::exists() &&
                               box.parentWidget() == &tk_singleton<wizard_shell>::instance();
        shown.default_button = box.defaultButton() != nullptr ? box.standardButton(box.defaultButton()) : 0;
        shown.on_gui_thread = QThread::currentThread() == QCoreApplication::instance()->thread();
        boxes.push_back(shown);
        int answer = QMessageBox::Ok;
        if (!answers.empty()) {
            answer = answers.front();
            answers.pop_front();
        } else if (box.standardButtons() & QMessageBox::No) {
            answer = QMessageBox::No;
        }
        return answer;
    };
}

box_recorder::~box_recorder()
{
    wizard_shell::box_answerer = nullptr;
}

url_recorder::url_recorder()
{
    wizard_shell::url_opener = [this](const QUrl& url) { urls.push_back(url); };
}

url_recorder::~url_recorder()
{
    wizard_shell::url_opener = nullptr;
}

void pump_events(int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    } while (timer.elapsed() < milliseconds);
}

bool wait_for(const std::function<bool()>& condition, int timeout_ms)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeout_ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

help_file_guard::help_file_guard(bool present) : path(wizard_shell::help_file_name())
{
    const std::string lock = path + ".lock";
    lock_fd = open(lock.c_str(), O_RDWR | O_CREAT, 0600);
    if (lock_fd >= 0)
        flock(lock_fd, LOCK_EX);
    if (present)
        write_file(path, "<html><body><h1 id=\"1013\">Files</h1><h1 id=\"1016\">Settings</h1></body></html>\n");
    else
        unlink(path.c_str());
}

help_file_guard::~help_file_guard()
{
    unlink(path.c_str());
    if (lock_fd >= 0) {
        flock(lock_fd, LOCK_UN);
        close(lock_fd);
    }
}

bool write_test_pdf(const std::string& path, int pages)
{
    pdf_writer writer;
    for (int i = 1; i <= pages; ++i)
        writer.add_page("BT /Helvetica 12 Tf 72 700 Td (Page " + std::to_string(i) + " of the wizard test) Tj ET\n");
    return writer.save(path);
}

wizard_rig::wizard_rig()
{
    // Each test keeps its stored settings in its own folder.
    setenv("XDG_CONFIG_HOME", scratch.path().c_str(), 1);
    handler = std::make_unique<error_handler>();
    convertor = std::make_unique<karvel_convertor>();
    shell = std::make_unique<wizard_shell>("Karvel 2.3", 501, 311, 312);
    welcome = std::make_unique<welcome_page>();
    files = std::make_unique<sel_file_page>();
    files->set_header(QStringLiteral("Step 1 of 3"), QStringLiteral("Select files"));
    settings = std::make_unique<settings_page>();
    settings->set_header(QStringLiteral("Step 2 of 3"), QStringLiteral("Conversion settings"));
    progress = std::make_unique<progress_page>();
    finish = std::make_unique<finish_page>();
    shell->add_page(welcome.get());
    shell->add_page(files.get());
    shell->add_page(settings.get());
    shell->add_page(progress.get());
    shell->add_page(finish.get());
}

wizard_rig::~wizard_rig()
{
    shell->hide();
    progress->end_worker();
    finish.reset();
    progress.reset();
    settings.reset();
    files.reset();
    welcome.reset();
    shell.reset();
    convertor.reset();
    handler.reset();
}

void wizard_rig::show()
{
    shell->show();
    pump_events(30);
}

void wizard_rig::click(QWizard::WizardButton which)
{
    shell->button(which)->click();
    pump_events(20);
}

void wizard_rig::to_file_page()
{
    show();
    click(QWizard::NextButton);
}
