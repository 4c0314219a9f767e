// The wizard shell and the page framework: boxes, timer, help, button masks,
// activation, navigation and the hand-off from a worker thread.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QFile>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include <atomic>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "GUI2/dlg_error.h"
#include "GUI2/g_check.h"
#include "GUI2/g_gui_thread.h"
#include "GUI2/g_wiz_pg.h"
#include "GUI2/g_wiz_sh.h"
#include "TK/tk_except.h"
#include "TK/tk_utils.h"
#include "kvl_shel/kvl_main.h"
#include "wizard_test_support.h"

namespace {

// A page whose slots count their calls and answer as told.
class probe_page : public wizard_page<201, wizb_back | wizb_next, psp_hashelp> {
public:
    probe_page()
    {
        auto* layout = new QVBoxLayout(this);
        for (int id : {11, 12}) {
            auto* label = new QLabel(QStringLiteral("label"));
            label->setObjectName(QString::number(id));
            layout->addWidget(label);
        }
        auto* box = new manual_check_box(QStringLiteral("box"));
        box->setObjectName(QStringLiteral("13"));
        layout->addWidget(box);
    }
    bool page_init() override
    {
        ++inits;
        return init_result;
    }
    int on_next() override { return next_result; }
    int on_back() override { return back_result; }
    void on_help() override { ++helps; }
    void on_timer(int id) override
    {
        ++ticks;
        last_tick_id = id;
    }
    int inits = 0;
    bool init_result = true;
    int next_result = 0;
    int back_result = 0;
    int helps = 0;
    int ticks = 0;
    int last_tick_id = 0;
};

template <int Id, int Buttons, int Flags>
class plain_page : public wizard_page<Id, Buttons, Flags> {
public:
    bool page_init() override
    {
        ++inits;
        return true;
    }
    int inits = 0;
};

// A shell over four test pages: 200, 201 (probe), 202, 203.
struct framework_rig {
    framework_rig()
    {
        handler = std::make_unique<error_handler>();
        shell = std::make_unique<wizard_shell>("Karvel 2.3", 501, 311, 312);
        first = std::make_unique<plain_page<200, wizb_next, psp_hideheader | psp_hashelp>>();
        probe = std::make_unique<probe_page>();
        third = std::make_unique<plain_page<202, wizb_back | wizb_next, 0>>();
        last = std::make_unique<plain_page<203, wizb_finish, psp_hideheader>>();
        shell->add_page(first.get());
        shell->add_page(probe.get());
        shell->add_page(third.get());
        shell->add_page(last.get());
    }
    ~framework_rig()
    {
        last.reset();
        third.reset();
        probe.reset();
        first.reset();
        shell.reset();
        handler.reset();
    }
    void show()
    {
        shell->show();
        pump_events(30);
    }
    void click(QWizard::WizardButton which)
    {
        shell->button(which)->click();
        pump_events(20);
    }
    box_recorder boxes;
    std::unique_ptr<error_handler> handler;
    std::unique_ptr<wizard_shell> shell;
    std::unique_ptr<plain_page<200, wizb_next, psp_hideheader | psp_hashelp>> first;
    std::unique_ptr<probe_page> probe;
    std::unique_ptr<plain_page<202, wizb_back | wizb_next, 0>> third;
    std::unique_ptr<plain_page<203, wizb_finish, psp_hideheader>> last;
};

bool shown(QAbstractButton* b)
{
    return !b->isHidden();
}

} // namespace

TEST(WizardShell, BoxesBeforeTheWizardIsShownAreUnownedWithPlainCaptions)
{
    box_recorder rec;
    wizard_shell::error("first\nsecond");
    wizard_shell::message("note");
    EXPECT_FALSE(wizard_shell::question("sure?", mb_defbutton2));
    ASSERT_EQ(rec.boxes.size(), 3u);
    EXPECT_EQ(rec.boxes[0].caption, "Error");
    EXPECT_EQ(rec.boxes[0].text, "first\nsecond");
    EXPECT_EQ(rec.boxes[0].icon, QMessageBox::Critical);
    EXPECT_FALSE(rec.boxes[0].has_owner);
    EXPECT_EQ(rec.boxes[1].caption, "Message");
    EXPECT_EQ(rec.boxes[1].icon, QMessageBox::Information);
    EXPECT_EQ(rec.boxes[2].caption, "Question");
    EXPECT_EQ(rec.boxes[2].icon, QMessageBox::Question);
    EXPECT_EQ(rec.boxes[2].default_button, QMessageBox::No);
    EXPECT_FALSE(wizard_shell::is_initialized());
}

TEST(WizardShell, BoxesAfterTheFirstPageAreOwnedAndCarryTheTitle)
{
    framework_rig rig;
    EXPECT_FALSE(wizard_shell::is_initialized());
    wizard_shell::error("early");
    rig.show();
    EXPECT_TRUE(wizard_shell::is_initialized());
    EXPECT_EQ(rig.shell->windowTitle().toStdString(), "Karvel 2.3");
    EXPECT_FALSE(rig.shell->windowIcon().isNull());
    wizard_shell::error("late");
    rig.boxes.answers = {QMessageBox::Yes};
    EXPECT_TRUE(wizard_shell::question("go?", 0));
    ASSERT_EQ(rig.boxes.boxes.size(), 3u);
    EXPECT_EQ(rig.boxes.boxes[0].caption, "Error");
    EXPECT_FALSE(rig.boxes.boxes[0].has_owner);
    EXPECT_EQ(rig.boxes.boxes[1].caption, "Karvel 2.3 Error");
    EXPECT_TRUE(rig.boxes.boxes[1].owned_by_shell);
    EXPECT_EQ(rig.boxes.boxes[2].caption, "Karvel 2.3 Question");
    EXPECT_EQ(rig.boxes.boxes[2].default_button, QMessageBox::Yes);
}

TEST(WizardShell, CarriageReturnsAreNotShownInBoxes)
{
    box_recorder rec;
    wizard_shell::error("Source file does not exist.\r\nPlease verify");
    ASSERT_EQ(rec.boxes.size(), 1u);
    EXPECT_EQ(rec.boxes[0].text, "Source file does not exist.\nPlease verify");
}

TEST(WizardShell, ASecondShellIsAnInternalError)
{
    framework_rig rig;
    try {
        wizard_shell second("again", 0, 0, 0);
        FAIL() << "a second shell was accepted";
    } catch (const tk_mail_assertion& e) {
        EXPECT_EQ(e.message, tk_mail_assertion::make_text("..\\TK/tk_singl.h", 35));
    }
    EXPECT_EQ(&tk_singleton<wizard_shell>::instance(), rig.shell.get());
}

TEST(WizardShell, TimerStartsOnceAndReachesOnlyTheCurrentPage)
{
    framework_rig rig;
    rig.show();
    rig.click(QWizard::NextButton);
    ASSERT_EQ(rig.shell->currentId(), 201);
    rig.shell->start_timer(20);
    EXPECT_TRUE(rig.shell->timer_on);
    EXPECT_THROW(rig.shell->start_timer(20), tk_mail_assertion);
    ASSERT_TRUE(wait_for([&] { return rig.probe->ticks >= 2; }, 3000));
    EXPECT_EQ(rig.probe->last_tick_id, progress_timer_id);
    rig.shell->stop_timer();
    EXPECT_FALSE(rig.shell->timer_on);
    const int ticks = rig.probe->ticks;
    rig.shell->stop_timer(); // not running: nothing
    // A timer of another id on the window is swallowed.
    const int other = rig.shell->startTimer(10);
    pump_events(120);
    rig.shell->killTimer(other);
    EXPECT_EQ(rig.probe->ticks, ticks);
}

TEST(WizardShell, ButtonMasksFollowEachPage)
{
    framework_rig rig;
    rig.show();
    QAbstractButton* back = rig.shell->button(QWizard::BackButton);
    QAbstractButton* next = rig.shell->button(QWizard::NextButton);
    QAbstractButton* finish = rig.shell->button(QWizard::FinishButton);
    QAbstractButton* help = rig.shell->button(QWizard::HelpButton);
    EXPECT_FALSE(back->isEnabled());
    EXPECT_TRUE(shown(next) && next->isEnabled());
    EXPECT_FALSE(shown(finish));
    EXPECT_TRUE(shown(help) && help->isEnabled());
    rig.click(QWizard::NextButton);
    EXPECT_TRUE(back->isEnabled());
    EXPECT_TRUE(next->isEnabled());
    rig.click(QWizard::NextButton);
    ASSERT_EQ(rig.shell->currentId(), 202);
    EXPECT_FALSE(help->isEnabled()); // the page has no help
    rig.click(QWizard::NextButton);
    ASSERT_EQ(rig.shell->currentId(), 203);
    EXPECT_FALSE(back->isEnabled());
    EXPECT_FALSE(shown(next));
    EXPECT_TRUE(shown(finish) && finish->isEnabled());
}

TEST(WizardShell, OneSizeForAllPagesStartingCentred)
{
    framework_rig rig;
    rig.show();
    const QSize size = rig.shell->size();
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    // Placed before the window manager adds its frame: centred but for the frame's size.
    const QPoint off = rig.shell->frameGeometry().center() - area.center();
    EXPECT_LE(std::abs(off.x()), 8);
    EXPECT_LE(std::abs(off.y()), 8);
    for (int id : {201, 202, 201, 202, 203}) {
        rig.click(id > rig.shell->currentId() ? QWizard::NextButton : QWizard::BackButton);
        ASSERT_EQ(rig.shell->currentId(), id);
        EXPECT_EQ(rig.shell->size(), size) << id;
        EXPECT_EQ(rig.shell->minimumSize(), size) << id;
        EXPECT_EQ(rig.shell->maximumSize(), size) << id;
    }
}

TEST(WizardShell, NextAndBackResultsKeepOrMoveThePage)
{
    framework_rig rig;
    rig.show();
    rig.click(QWizard::NextButton);
    ASSERT_EQ(rig.shell->currentId(), 201);
    rig.probe->next_result = -1;
    rig.click(QWizard::NextButton);
    EXPECT_EQ(rig.shell->currentId(), 201);
    rig.probe->back_result = -1;
    rig.click(QWizard::BackButton);
    EXPECT_EQ(rig.shell->currentId(), 201);
    rig.probe->back_result = 0;
    rig.click(QWizard::BackButton);
    EXPECT_EQ(rig.shell->currentId(), 200);
    rig.click(QWizard::NextButton);
    rig.probe->next_result = 203; // a jump past the next page
    rig.click(QWizard::NextButton);
    EXPECT_EQ(rig.shell->currentId(), 203);
}

TEST(WizardShell, APageThatRefusesActivationIsSkippedInTheDirectionOfTravel)
{
    framework_rig rig;
    rig.show();
    rig.probe->init_result = false;
    rig.click(QWizard::NextButton);
    EXPECT_EQ(rig.shell->currentId(), 202);
    EXPECT_EQ(rig.probe->inits, 1);
    rig.click(QWizard::BackButton);
    EXPECT_EQ(rig.shell->currentId(), 200);
    EXPECT_EQ(rig.probe->inits, 2);
    EXPECT_EQ(rig.first->inits, 2);
}

TEST(WizardShell, ActivationRunsAtEveryVisit)
{
    framework_rig rig;
    rig.show();
    rig.click(QWizard::NextButton);
    rig.click(QWizard::NextButton);
    rig.click(QWizard::BackButton);
    EXPECT_EQ(rig.probe->inits, 2);
    EXPECT_EQ(rig.third->inits, 1);
}

TEST(WizardShell, CancelAsksFirstWithNoAsDefault)
{
    framework_rig rig;
    rig.show();
    rig.click(QWizard::NextButton);
    rig.boxes.answers = {QMessageBox::No};
    rig.click(QWizard::CancelButton);
    ASSERT_EQ(rig.boxes.boxes.size(), 1u);
    EXPECT_EQ(rig.boxes.boxes[0].text, "Are you sure you want to exit the wizard?");
    EXPECT_EQ(rig.boxes.boxes[0].default_button, QMessageBox::No);
    EXPECT_TRUE(rig.shell->isVisible());
    EXPECT_EQ(rig.shell->currentId(), 201);
    rig.boxes.answers = {QMessageBox::Yes};
    rig.click(QWizard::CancelButton);
    EXPECT_FALSE(rig.shell->isVisible());
    EXPECT_EQ(rig.shell->result(), QDialog::Rejected);
}

TEST(WizardShell, HelpButtonAndF1ReachThePage)
{
    framework_rig rig;
    rig.show();
    rig.click(QWizard::NextButton);
    rig.click(QWizard::HelpButton);
    EXPECT_EQ(rig.probe->helps, 1);
    QKeyEvent f1(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
    QCoreApplication::sendEvent(rig.shell.get(), &f1);
    EXPECT_EQ(rig.probe->helps, 2);
}

TEST(WizardShell, HelpOpensTheFileBesideTheProgramOrSaysItIsMissing)
{
    box_recorder boxes;
    url_recorder urls;
    const std::string help = wizard_shell::help_file_name();
    EXPECT_EQ(help, tk_get_module_path() + ".html");
    {
        const help_file_guard missing(false);
        wizard_shell::display_help(1013);
    }
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "Help file does not exist. Reinstall the program.");
    EXPECT_TRUE(urls.urls.empty());
    {
        const help_file_guard present(true);
        wizard_shell::display_help(1016);
        wizard_shell::display_help();
    }
    ASSERT_EQ(urls.urls.size(), 2u);
    EXPECT_EQ(urls.urls[0].toLocalFile().toStdString(), help);
    EXPECT_EQ(urls.urls[0].fragment().toStdString(), "1016");
    EXPECT_FALSE(urls.urls[1].hasFragment());
    EXPECT_EQ(boxes.boxes.size(), 1u);
}

TEST(WizardPage, InvertCheckBoxTogglesAndReportsTheNewState)
{
    framework_rig rig;
    auto* box = rig.probe->control_as<QCheckBox>(13);
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(rig.probe->invert_chbox(13));
    EXPECT_TRUE(box->isChecked());
    EXPECT_FALSE(rig.probe->invert_chbox(13));
    EXPECT_FALSE(box->isChecked());
    // A click alone does not toggle it: the page does.
    box->click();
    EXPECT_FALSE(box->isChecked());
    EXPECT_THROW(rig.probe->invert_chbox(11), tk_mail_assertion);
}

TEST(WizardPage, TitleFontIsMadeOncePerPage)
{
    framework_rig rig;
    rig.probe->set_title_font(11);
    const QFont* font = rig.probe->title_font.get();
    ASSERT_NE(font, nullptr);
    rig.probe->set_title_font(12);
    EXPECT_EQ(rig.probe->title_font.get(), font);
    EXPECT_EQ(rig.probe->control(11)->font(), *font);
    EXPECT_EQ(rig.probe->control(12)->font(), *font);
    EXPECT_EQ(font->pixelSize(), qRound(13.0 * rig.probe->logicalDpiY() / 72.0));
    EXPECT_EQ(rig.first->title_font, nullptr);
}

TEST(WizardPage, EnableCtrlEnablesAndDisables)
{
    framework_rig rig;
    rig.probe->enable_ctrl(13, false);
    EXPECT_FALSE(rig.probe->control(13)->isEnabled());
    rig.probe->enable_ctrl(13, true);
    EXPECT_TRUE(rig.probe->control(13)->isEnabled());
}

TEST(WizardPage, APageDestroyedFirstLeavesTheShell)
{
    framework_rig rig;
    rig.show();
    rig.third.reset();
    rig.click(QWizard::NextButton);
    rig.click(QWizard::NextButton);
    EXPECT_EQ(rig.shell->currentId(), 203);
}

TEST(WizardThreads, WorkFromAWorkerRunsOnTheUserInterfaceThread)
{
    box_recorder rec;
    std::atomic<bool> done{false};
    std::atomic<bool> rethrown{false};
    std::thread worker([&] {
        wizard_shell::error("from the worker");
        try {
            run_on_gui_thread([] { throw std::runtime_error("inside"); });
        } catch (const std::runtime_error&) {
            rethrown = true;
        }
        done = true;
    });
    ASSERT_TRUE(wait_for([&] { return done.load(); }, 5000));
    worker.join();
    ASSERT_EQ(rec.boxes.size(), 1u);
    EXPECT_EQ(rec.boxes[0].text, "from the worker");
    EXPECT_TRUE(rec.boxes[0].on_gui_thread);
    EXPECT_TRUE(rethrown);
}

// Once a run is being stopped, the worker's questions and error reports return at once
// with the stop's answer, whether handed over before or after, and the boxes and error
// dialogs open on the user-interface thread close with it.
TEST(WizardThreads, AStoppedRunsHandOversAndBoxesReturnAtOnce)
{
    box_recorder rec;
    bool answer = false;
    // The user-interface thread does not serve the worker until the stop comes.
    std::thread worker([&] { answer = wizard_shell::question("from the worker", mb_defbutton2); });
    std::this_thread::yield();
    stop_gui_handovers();
    worker.join();
    EXPECT_TRUE(answer) << "the Cancel question's stop answer";
    std::thread reporter([] { wizard_shell::error("after the stop"); });
    reporter.join();
    pump_events(20);
    EXPECT_TRUE(rec.boxes.empty());

    // Open on the user-interface thread when the stop comes: closed with the stop answer.
    wizard_shell::box_answerer = nullptr;
    resume_gui_handovers();
    QMessageBox box(QMessageBox::Question, QStringLiteral("Question"), QStringLiteral("Leave?"),
                    QMessageBox::Yes | QMessageBox::No);
    QTimer::singleShot(0, [] { stop_gui_handovers(); });
    EXPECT_EQ(run_modal(box, QMessageBox::Yes), QMessageBox::Yes);
    resume_gui_handovers();
    dlg_error_continue report("disk full");
    QTimer::singleShot(0, [] { stop_gui_handovers(); });
    EXPECT_EQ(report.do_modal(), 2) << "Continue";
    dlg_error_ex fatal("internal");
    EXPECT_EQ(fatal.do_modal(), 1) << "OK, not shown while stopped";
    resume_gui_handovers();

    // Served again once resumed.
    box_recorder again;
    std::atomic<bool> done{false};
    std::thread asker([&] {
        answer = wizard_shell::question("from the worker", mb_defbutton2);
        done = true;
    });
    ASSERT_TRUE(wait_for([&] { return done.load(); }, 5000));
    asker.join();
    EXPECT_FALSE(answer);
    EXPECT_EQ(again.boxes.size(), 1u);
}

TEST(WizardEntry, TitleCarriesTheVersion)
{
    EXPECT_EQ(wizard_title(), "Karvel 2.3");
}

TEST(WizardShell, TitleIsShownOnceOnly)
{
    framework_rig rig;
    rig.show();
    rig.shell->setWindowTitle(QStringLiteral("changed"));
    rig.shell->move(rig.shell->pos() + QPoint(13, 7));
    const QPoint moved = rig.shell->pos();
    rig.click(QWizard::NextButton);
    rig.click(QWizard::BackButton);
    EXPECT_EQ(rig.shell->windowTitle().toStdString(), "changed");
    EXPECT_EQ(rig.shell->pos(), moved);
}

TEST(WizardEntry, GuiLibraryVersionCheck)
{
    EXPECT_FALSE(gui_library_accepted(0x5004F));
    EXPECT_TRUE(gui_library_accepted(0x50050));
    EXPECT_TRUE(gui_library_accepted(0x60004));
    EXPECT_FALSE(gui_library_accepted(0));
    const unsigned version = gui_library_version();
    EXPECT_EQ(version >> 16, static_cast<unsigned>(QT_VERSION_MAJOR));
    EXPECT_EQ(version & 0xFFFF, static_cast<unsigned>(QT_VERSION_MINOR));
}
