// Helpers of the error-dialog tests: answering modal dialogs by script, a stand-in mail
// program, and a wizard shell that counts as shown.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "GUI2/g_wiz_sh.h"
#include "test_support.h"

// Acts on modal dialogs as they appear, in order, matched by object name. A dialog that
// appears with no step left (or when a step waited too long) is closed and counted.
class dialog_script {
public:
    dialog_script()
    {
        timer.setInterval(5);
        QObject::connect(&timer, &QTimer::timeout, [this] { poll(); });
        timer.start();
        clock.start();
    }
    ~dialog_script() { timer.stop(); }

    void on(const std::string& name, std::function<void(QDialog*)> action) { steps.push_back({name, action}); }
    bool all_ran() const { return steps.empty() && unexpected == 0; }
    int unexpected = 0;

private:
    void poll()
    {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<QDialog*>(w);
            if (dialog == nullptr || !dialog->isVisible() || dialog->objectName().isEmpty() || seen(dialog))
                continue;
            handled.push_back(dialog);
            if (!steps.empty() && steps.front().first == dialog->objectName().toStdString()) {
                auto action = steps.front().second;
                steps.pop_front();
                action(dialog);
            } else {
                ++unexpected;
                close(dialog);
            }
            return;
        }
    }
    bool seen(QDialog* dialog)
    {
        for (const auto& p : handled)
            if (p == dialog)
                return true;
        return false;
    }
    static void close(QDialog* dialog)
    {
        // OK of the internal-error dialog, Continue of the other.
        if (auto* b = dialog->findChild<QPushButton*>(dialog->objectName() == "114" ? "1" : "2"))
            b->click();
        else
            dialog->done(0);
    }

    QTimer timer;
    QElapsedTimer clock;
    std::deque<std::pair<std::string, std::function<void(QDialog*)>>> steps;
    std::vector<QPointer<QDialog>> handled;
};

inline void pump_for(int milliseconds)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// A "sendmail" first on the search path that keeps its arguments and its input.
class fake_sendmail {
public:
    fake_sendmail()
    {
        const char* path = std::getenv("PATH");
        old_path = path ? path : "";
        write_file(dir.file("sendmail"), "#!/bin/sh\necho \"$@\" > '" + dir.file("args") + "'\ncat > '" +
                                             dir.file("mail") + "'\nexit 0\n");
        chmod(dir.file("sendmail").c_str(), 0755);
        setenv("PATH", (dir.path() + ":" + old_path).c_str(), 1);
    }
    ~fake_sendmail() { setenv("PATH", old_path.c_str(), 1); }
    std::string mail() const { return read_file(dir.file("mail")); }
    std::string arguments() const { return read_file(dir.file("args")); }
    bool sent() const { return file_exists(dir.file("mail")); }

    scratch_dir dir;
    std::string old_path;
};

// A wizard shell titled "Karvel 2.3" whose first page counts as shown.
class shown_shell {
public:
    shown_shell() : shell(std::make_unique<wizard_shell>("Karvel 2.3", 0, 0, 0)) { shell->title_shown = true; }
    std::unique_ptr<wizard_shell> shell;
};
