// The wizard's error handler: levels, quiet state, error list, help, and the end of the
// program after an internal error.
#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

#include <gtest/gtest.h>

#include <atomic>

#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "GUI2/g_wiz_sh.h"
#include "TK/tk_error.h"
#include "TK/tk_except.h"
#include "TK/tk_utils.h"
#include "error_dialog_support.h"
#include "karvel/kvl_conv.h"
#include "test_support.h"

namespace {

// Records the shell's boxes (answered with OK) and what help would open.
class box_log {
public:
    box_log()
    {
        wizard_shell::box_answerer = [this](QMessageBox& box) {
            captions.push_back(box.windowTitle().toStdString());
            texts.push_back(box.text().toStdString());
            return static_cast<int>(QMessageBox::Ok);
        };
        wizard_shell::url_opener = [this](const QUrl& url) { urls.push_back(url.toString().toStdString()); };
    }
    ~box_log()
    {
        wizard_shell::box_answerer = nullptr;
        wizard_shell::url_opener = nullptr;
    }
    std::vector<std::string> captions, texts, urls;
};

tk_exception error_of_level(const std::string& text, int level, int code = 0)
{
    tk_exception e(text, level);
    e.code = code;
    return e;
}

// The help file beside the test program, made for one test when it is missing.
class help_file {
public:
    help_file() : path(wizard_shell::help_file_name())
    {
        if (!file_exists(path)) {
            write_file(path, "<html></html>\n");
            made = true;
        }
    }
    ~help_file()
    {
        if (made)
            std::remove(path.c_str());
    }
    std::string path;
    bool made = false;
};

} // namespace

TEST(ErrorHandler, LevelOneShowsTheBoxWithLineFeedsAsSpaces)
{
    box_log log;
    error_handler handler;
    handler.handle(error_of_level("first\nsecond", 1), true);
    ASSERT_EQ(1u, log.texts.size());
    EXPECT_EQ("first second", log.texts[0]);
    EXPECT_EQ("Error", log.captions[0]);
    EXPECT_FALSE(handler.quiet);
}

TEST(ErrorHandler, LevelOneMayEndTheRunWhenItCannotContinue)
{
    box_log log;
    error_handler handler;
    EXPECT_THROW(handler.handle(error_of_level("stop", 1), false), tk_final_exception);
    EXPECT_EQ(1u, log.texts.size()) << "the box comes first";
}

TEST(ErrorHandler, PrefixAndMessageTableShapeTheText)
{
    box_log log;
    error_handler handler;
    handler.prefix = "Karvel";
    handler.handle(error_of_level("plain", 1, 7), true);
    handler.converter.messages[7] = "from\ntable";
    handler.handle(error_of_level("plain", 1, 7), true);
    ASSERT_EQ(2u, log.texts.size());
    EXPECT_EQ("Karvel: plain", log.texts[0]);
    EXPECT_EQ("Karvel: from table", log.texts[1]);
}

TEST(ErrorHandler, QuietLevelOneShowsNoBoxButStillOpensHelp)
{
    box_log log;
    help_file help;
    error_handler handler;
    handler.help_topics[42] = 1013;
    handler.help_topics[43] = 1016;
    handler.quiet = true;
    handler.handle(error_of_level("hidden", 1, 42), true);
    EXPECT_TRUE(log.texts.empty());
    ASSERT_EQ(1u, log.urls.size());
    EXPECT_NE(std::string::npos, log.urls[0].find("#1013")) << log.urls[0];
}

TEST(ErrorHandler, LevelZeroContinueWithTheBoxTickedSilencesLaterErrors)
{
    box_log log;
    error_handler handler;
    dialog_script script;
    std::string shown;
    script.on("115", [&](QDialog* d) {
        shown = d->findChild<QLabel*>("1320")->text().toStdString();
        d->findChild<QCheckBox*>("1222")->click();
        d->findChild<QPushButton*>("2")->click();
    });
    handler.handle(error_of_level("may\ncontinue", 0), false);
    EXPECT_EQ("may continue", shown);
    EXPECT_TRUE(handler.quiet);
    // Nothing is shown from here on, for level 0 and level 1 alike.
    handler.handle(error_of_level("zero", 0), false);
    handler.handle(error_of_level("five", 5), false);
    handler.handle(error_of_level("one", 1), true);
    pump_for(30);
    EXPECT_TRUE(script.all_ran()) << "no further dialog appeared";
    EXPECT_TRUE(log.texts.empty());
}

TEST(ErrorHandler, LevelZeroAbortWhileTheRunMayContinueThrowsNothing)
{
    error_handler handler;
    dialog_script script;
    script.on("115", [](QDialog* d) {
        d->findChild<QCheckBox*>("1222")->click();
        d->findChild<QPushButton*>("1")->click();
    });
    EXPECT_NO_THROW(handler.handle(error_of_level("abort me", 0), true));
    EXPECT_TRUE(script.all_ran());
    EXPECT_TRUE(handler.quiet) << "the check box is read after Abort too";
}

TEST(ErrorHandler, LevelZeroAbortWhenTheRunCannotContinueEndsItAtOnce)
{
    error_handler handler;
    dialog_script script;
    script.on("115", [](QDialog* d) {
        d->findChild<QCheckBox*>("1222")->click();
        d->findChild<QPushButton*>("1")->click();
    });
    EXPECT_THROW(handler.handle(error_of_level("abort me", 0), false), tk_final_exception);
    EXPECT_TRUE(script.all_ran());
    EXPECT_FALSE(handler.quiet) << "the check box is not read";

    script.on("115", [](QDialog* d) { d->findChild<QPushButton*>("2")->click(); });
    EXPECT_NO_THROW(handler.handle(error_of_level("continue", 3), false));
    EXPECT_TRUE(script.all_ran());
}

TEST(ErrorHandler, ErrorListKeepsTheFirstTwentyOnceTheWizardIsShown)
{
    box_log log;
    error_handler handler;
    shown_shell shown;
    for (int i = 1; i <= 21; ++i)
        handler.handle(error_of_level("error " + std::to_string(i) + "\nline", 1), true);
    const auto& list = shown.shell->error_list;
    ASSERT_EQ(20u, list.size());
    EXPECT_EQ("error 1 line", list.front());
    EXPECT_EQ("error 20 line", list.back());
    EXPECT_EQ(21u, log.texts.size()) << "every error is still reported";
    EXPECT_EQ("Karvel 2.3 Error", log.captions.back());
}

TEST(ErrorHandler, ErrorsBeforeTheFirstPageAreNotListed)
{
    box_log log;
    error_handler handler;
    auto shell = std::make_unique<wizard_shell>("Karvel 2.3", 0, 0, 0);
    handler.handle(error_of_level("early", 1), true);
    EXPECT_TRUE(shell->error_list.empty());
    EXPECT_EQ(1u, log.texts.size());
    EXPECT_EQ("Error", log.captions[0]);
}

TEST(ErrorHandler, ReportsFromAWorkerAreShownOnTheUserInterfaceThread)
{
    error_handler handler;
    dialog_script script;
    bool on_gui = false;
    script.on("115", [&](QDialog* d) {
        on_gui = QThread::currentThread() == QCoreApplication::instance()->thread();
        d->findChild<QPushButton*>("2")->click();
    });
    std::atomic<bool> done{false};
    std::thread worker([&] {
        handler.handle(error_of_level("from the worker", 0), true);
        done = true;
    });
    const bool finished = [&] {
        QElapsedTimer clock;
        clock.start();
        while (!done && clock.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        return done.load();
    }();
    worker.join();
    EXPECT_TRUE(finished);
    EXPECT_TRUE(script.all_ran());
    EXPECT_TRUE(on_gui);
}

// Level 2 ends the process with -1 after the dialog closes: run in a child process.

namespace {

// Child: reports an internal error, clicks the dialog's OK; exits 3 when the dialog
// showed something else than expected.
void report_internal_error(bool from_worker)
{
    error_handler handler;
    dialog_script script;
    script.on("114", [](QDialog* d) {
        if (d->findChild<QLabel*>("1320")->text() != QStringLiteral("Internal error: \ncode=615c31"))
            std::_Exit(3);
        d->findChild<QPushButton*>("1")->click();
    });
    const tk_mail_assertion e("a", 1);
    if (!from_worker) {
        handler.handle(e, true);
    } else {
        std::thread worker([&] { handler.handle(e, true); });
        for (;;)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    std::_Exit(4); // handle returned
}

} // namespace

TEST(ErrorHandlerDeathTest, InternalErrorEndsTheProgramWithMinusOneAfterTheDialog)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(report_internal_error(false), ::testing::ExitedWithCode(255), "");
    EXPECT_EXIT(report_internal_error(true), ::testing::ExitedWithCode(255), "");
}

namespace {

// Child: the wizard build's convertor loads the settings; a changed source then meets an
// internal error, which ends the program before the convertor could save it.
void internal_error_with_settings(const std::string& folder)
{
    setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    error_handler handler;
    karvel_convertor convertor;
    if (convertor.src != "/stored.pdf")
        std::_Exit(5);
    convertor.src = "/changed.pdf";
    dialog_script script;
    script.on("114", [](QDialog* d) { d->findChild<QPushButton*>("1")->click(); });
    handler.handle(tk_mail_assertion("kvl_conv.cpp", 138), true);
    std::_Exit(4);
}

} // namespace

TEST(ErrorHandlerDeathTest, AnInternalErrorSavesNoSettings)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    scratch_dir dir;
    {
        const scoped_env config_home("XDG_CONFIG_HOME", dir.path());
        karvel_convertor convertor; // the wizard build loads here ...
        convertor.src = "/stored.pdf";
    } // ... and saves here
    const std::string before = read_file(dir.file("Zantorix/Karvel.reg"));
    ASSERT_NE(std::string::npos, before.find("\"src\"=\"/stored.pdf\""));
    EXPECT_EXIT(internal_error_with_settings(dir.path()), ::testing::ExitedWithCode(255), "");
    EXPECT_EQ(before, read_file(dir.file("Zantorix/Karvel.reg")));
}
