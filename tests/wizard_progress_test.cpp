// The progress page and the finish page: a conversion on the worker thread, its
// progress, a failed run, cancelling the wizard during a run, and Finish.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include "wizard_test_support.h"

namespace {

class WizardRun : public ::testing::Test {
protected:
    // Goes through the file and settings pages with the given document and page list.
    void start_run(int pages, const std::string& page_list = std::string(),
                   const std::string& destination = std::string())
    {
        src = rig.scratch.file("doc.pdf");
        dest = destination.empty() ? rig.scratch.file("doc.xml") : destination;
        ASSERT_TRUE(write_test_pdf(src, pages));
        rig.to_file_page();
        rig.files->control_as<QLineEdit>(1003)->setText(QString::fromStdString(src));
        rig.files->control_as<QLineEdit>(1004)->setText(QString::fromStdString(dest));
        rig.click(QWizard::NextButton);
        ASSERT_EQ(rig.current(), 107);
        if (!page_list.empty()) {
            rig.settings->control_as<QAbstractButton>(1330)->click();
            rig.settings->control_as<QLineEdit>(1003)->setText(QString::fromStdString(page_list));
        }
        if (before_progress)
            before_progress();
        rig.click(QWizard::NextButton);
        ASSERT_EQ(rig.current(), 105);
    }
    bool reaches_finish_page() { return wait_for([&] { return rig.current() == 106; }, 60000); }
    bool worker_ended() { return wait_for([&] { return !rig.progress->is_alive(); }, 60000); }

    wizard_rig rig;
    std::string src;
    std::string dest;
    std::function<void()> before_progress;
};

bool hidden(QAbstractButton* b)
{
    return b->isHidden();
}

} // namespace

TEST(WizardPercent, WholePercentOfThePagesFinished)
{
    scratch_dir dir;
    setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
    karvel_convertor conv;
    EXPECT_EQ(conv.get_percent(), 0.0);
    conv.page_count = 3;
    conv.page_index = 1;
    EXPECT_EQ(conv.get_percent(), 33.0);
    conv.page_index = 2;
    EXPECT_EQ(conv.get_percent(), 66.0);
    conv.page_index = 3;
    EXPECT_EQ(conv.get_percent(), 100.0);
    // The product is taken in 32 bits and wraps.
    conv.page_count = 50000000;
    conv.page_index = 45000000;
    EXPECT_EQ(conv.get_percent(), static_cast<double>((45000000u * 100u) / 50000000u));
    EXPECT_LT(conv.get_percent(), 90.0);
}

TEST_F(WizardRun, ConversionReachesTheFinishPage)
{
    start_run(3);
    // All wizard buttons are off while the run goes on; only Cancel is left.
    pump_events(20);
    EXPECT_FALSE(rig.shell->button(QWizard::BackButton)->isEnabled());
    EXPECT_FALSE(rig.shell->button(QWizard::NextButton)->isEnabled());
    EXPECT_TRUE(hidden(rig.shell->button(QWizard::FinishButton)));
    EXPECT_TRUE(rig.shell->button(QWizard::CancelButton)->isEnabled());
    EXPECT_EQ(rig.progress->title().toStdString(), "Step 3 of 3");
    EXPECT_EQ(rig.progress->subTitle().toStdString(), "Document converting is in progress");

    ASSERT_TRUE(reaches_finish_page());
    EXPECT_EQ(rig.progress->bar->value(), 100);
    EXPECT_EQ(rig.progress->status->text().toStdString(), "Processing page 3 of 3");
    EXPECT_FALSE(rig.shell->timer_on);
    ASSERT_TRUE(worker_ended());
    EXPECT_TRUE(rig.convertor->finished);
    EXPECT_TRUE(rig.boxes.boxes.empty());
    ASSERT_TRUE(file_exists(dest));
    EXPECT_EQ(xmllint_errors(dest), "");

    // The finish page: Finish only, no Back, Help off.
    pump_events(20);
    EXPECT_FALSE(rig.shell->button(QWizard::BackButton)->isEnabled());
    EXPECT_TRUE(hidden(rig.shell->button(QWizard::NextButton)));
    EXPECT_FALSE(hidden(rig.shell->button(QWizard::FinishButton)));
    EXPECT_FALSE(rig.shell->button(QWizard::HelpButton)->isEnabled());
    EXPECT_EQ(rig.finish->control_as<QCheckBox>(1225)->isChecked(), rig.convertor->open_on_exit);
    ASSERT_NE(rig.finish->title_font, nullptr);
    EXPECT_EQ(rig.finish->control(1313)->font(), *rig.finish->title_font);
}

TEST_F(WizardRun, PagesBeyondTheDocumentStillCountAsFinished)
{
    start_run(2, "7,8");
    ASSERT_TRUE(reaches_finish_page());
    EXPECT_EQ(rig.progress->status->text().toStdString(), "Processing page 2 of 2");
    ASSERT_TRUE(worker_ended());
    EXPECT_EQ(xmllint_errors(dest), "");
}

TEST_F(WizardRun, FinishWithTheBoxCheckedOpensTheResult)
{
    start_run(1);
    ASSERT_TRUE(reaches_finish_page());
    auto* box = rig.finish->control_as<QCheckBox>(1225);
    if (!box->isChecked())
        box->click();
    ASSERT_TRUE(box->isChecked());
    rig.click(QWizard::FinishButton);
    EXPECT_FALSE(rig.shell->isVisible());
    EXPECT_EQ(rig.shell->result(), QDialog::Accepted);
    EXPECT_TRUE(rig.convertor->open_on_exit);
    ASSERT_EQ(rig.urls.urls.size(), 1u);
    EXPECT_EQ(rig.urls.urls[0].toLocalFile().toStdString(), dest);
    EXPECT_TRUE(rig.boxes.boxes.empty()); // Finish asks nothing
}

TEST_F(WizardRun, FinishWithTheBoxUncheckedOpensNothing)
{
    start_run(1);
    ASSERT_TRUE(reaches_finish_page());
    auto* box = rig.finish->control_as<QCheckBox>(1225);
    if (box->isChecked())
        box->click();
    ASSERT_FALSE(box->isChecked());
    rig.click(QWizard::FinishButton);
    EXPECT_FALSE(rig.shell->isVisible());
    EXPECT_FALSE(rig.convertor->open_on_exit);
    EXPECT_TRUE(rig.urls.urls.empty());
}

TEST_F(WizardRun, AFailedRunLeavesOnlyCancel)
{
    // The document turns unreadable after the file page has probed it.
    before_progress = [this] { write_file(src, "no longer a PDF document\n"); };
    start_run(2);
    ASSERT_TRUE(wait_for([&] { return !rig.boxes.boxes.empty(); }, 30000));
    ASSERT_TRUE(worker_ended());
    EXPECT_TRUE(rig.boxes.boxes[0].on_gui_thread);
    EXPECT_EQ(rig.boxes.boxes[0].caption, "Karvel 2.3 Error");
    pump_events(500);
    EXPECT_EQ(rig.current(), 105);
    EXPECT_FALSE(rig.shell->button(QWizard::BackButton)->isEnabled());
    EXPECT_FALSE(rig.shell->button(QWizard::NextButton)->isEnabled());
    EXPECT_TRUE(hidden(rig.shell->button(QWizard::FinishButton)));
    EXPECT_TRUE(rig.shell->button(QWizard::CancelButton)->isEnabled());
    EXPECT_TRUE(rig.shell->timer_on);
    EXPECT_EQ(rig.progress->status->text().toStdString(), "Processing page 0 of 0");
    EXPECT_EQ(rig.progress->bar->value(), 0);
    EXPECT_FALSE(file_exists(dest));

    const size_t before = rig.boxes.boxes.size();
    rig.boxes.answers = {QMessageBox::No};
    rig.click(QWizard::CancelButton);
    ASSERT_EQ(rig.boxes.boxes.size(), before + 1);
    EXPECT_EQ(rig.boxes.boxes.back().text, "Are you sure you want to exit the wizard?");
    EXPECT_TRUE(rig.shell->isVisible());
    rig.boxes.answers = {QMessageBox::Yes};
    rig.click(QWizard::CancelButton);
    EXPECT_FALSE(rig.shell->isVisible());
}

TEST_F(WizardRun, AFailedWriteEndsTheRunWithAnErrorAndNoFinishPage)
{
    start_run(3, std::string(), "/dev/full");
    ASSERT_TRUE(wait_for([&] { return !rig.boxes.boxes.empty(); }, 30000));
    ASSERT_TRUE(worker_ended());
    ASSERT_EQ(rig.boxes.boxes.size(), 1u);
    EXPECT_EQ(rig.boxes.boxes[0].text, "Couldn't write output file '/dev/full': No space left on device");
    EXPECT_EQ(rig.boxes.boxes[0].caption, "Karvel 2.3 Error");
    pump_events(500);
    EXPECT_EQ(rig.current(), 105);
    EXPECT_LT(rig.convertor->page_index, rig.convertor->page_count);
    EXPECT_TRUE(rig.shell->button(QWizard::CancelButton)->isEnabled());
}

TEST_F(WizardRun, CancelDuringARunStopsTheWorkerAndRemovesTheUnfinishedDocument)
{
    start_run(400);
    ASSERT_TRUE(wait_for([&] { return rig.convertor->page_index >= 2; }, 60000));
    rig.boxes.answers = {QMessageBox::Yes};
    rig.click(QWizard::CancelButton);
    EXPECT_FALSE(rig.shell->isVisible());
    EXPECT_EQ(rig.shell->result(), QDialog::Rejected) << "the wizard's exit code 0";
    rig.progress->end_worker();
    EXPECT_FALSE(rig.progress->is_alive());
    EXPECT_LT(rig.convertor->page_index, rig.convertor->page_count);
    EXPECT_TRUE(rig.convertor->finished) << "the run ended through its normal path";
    EXPECT_FALSE(file_exists(dest));
    EXPECT_EQ(rig.boxes.boxes.size(), 1u) << "the question only: a cancelled run is no error";
    EXPECT_FALSE(rig.shell->timer_on);
}

TEST_F(WizardRun, AStopSignalDuringARunEndsItAsAConfirmedCancel)
{
    struct sigaction before {};
    ASSERT_EQ(sigaction(SIGTERM, nullptr, &before), 0);
    start_run(5000);
    ASSERT_TRUE(wait_for([&] { return rig.convertor->page_index >= 2; }, 60000));
    ASSERT_EQ(kill(getpid(), SIGTERM), 0);
    ASSERT_TRUE(wait_for([&] { return !rig.shell->isVisible(); }, 60000));
    EXPECT_EQ(rig.shell->result(), QDialog::Rejected);
    EXPECT_EQ(rig.progress->stopped_by_signal(), SIGTERM) << "the program then ends by it";
    EXPECT_FALSE(rig.progress->is_alive());
    EXPECT_LT(rig.convertor->page_index, rig.convertor->page_count);
    EXPECT_TRUE(rig.convertor->finished) << "the run ended through its normal path";
    EXPECT_FALSE(file_exists(dest));
    EXPECT_TRUE(rig.boxes.boxes.empty()) << "no question and no error";
    // Outside a run the signal has its former action again.
    struct sigaction after {};
    ASSERT_EQ(sigaction(SIGTERM, nullptr, &after), 0);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
}

TEST_F(WizardRun, AFileSizeLimitIsAFailedWrite)
{
    // The limit's signal has its default action (ending the process) outside the run.
    struct sigaction before {};
    ASSERT_EQ(sigaction(SIGXFSZ, nullptr, &before), 0);
    signal(SIGXFSZ, SIG_DFL);
    rlimit old_limit {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
    struct limit_guard {
        rlimit old;
        struct sigaction action;
        ~limit_guard()
        {
            setrlimit(RLIMIT_FSIZE, &old);
            sigaction(SIGXFSZ, &action, nullptr);
        }
    } guard{old_limit, before};
    before_progress = [&] {
        const rlimit limit{1000, old_limit.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
    };
    start_run(200);
    ASSERT_TRUE(wait_for([&] { return !rig.boxes.boxes.empty(); }, 30000));
    ASSERT_TRUE(worker_ended());
    setrlimit(RLIMIT_FSIZE, &old_limit);
    EXPECT_EQ(rig.boxes.boxes[0].text, "Couldn't write output file '" + dest + "': File too large");
    EXPECT_FALSE(file_exists(dest)) << "the cut document is removed";
    // After the run the signal has its former action again.
    EXPECT_TRUE(wait_for(
        [] {
            struct sigaction now {};
            return sigaction(SIGXFSZ, nullptr, &now) == 0 && now.sa_handler == SIG_DFL;
        },
        5000));
}

TEST_F(WizardRun, HelpOnTheProgressPageOpensTheDefaultTopic)
{
    {
        const help_file_guard help(true);
        start_run(1);
        rig.click(QWizard::HelpButton);
        ASSERT_FALSE(rig.urls.urls.empty());
        EXPECT_FALSE(rig.urls.urls[0].hasFragment());
        EXPECT_EQ(rig.urls.urls[0].toLocalFile().toStdString(), help.path);
    }
    ASSERT_TRUE(reaches_finish_page());
}
