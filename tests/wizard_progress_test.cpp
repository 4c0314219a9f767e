// The progress page and the finish page: a conversion on the worker thread, its
// progress, a failed run, cancelling the wizard during a run, and Finish.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTimer>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "wizard_test_support.h"

namespace {

// Goes through the file and settings pages with the document and page list into the
// progress page; returns the page where the wizard ended up.
int to_progress_page(wizard_rig& rig, const std::string& src, const std::string& dest,
                     const std::string& page_list, const std::function<void()>& before_progress)
{
    rig.to_file_page();
    rig.files->control_as<QLineEdit>(1003)->setText(QString::fromStdString(src));
    rig.files->control_as<QLineEdit>(1004)->setText(QString::fromStdString(dest));
    rig.click(QWizard::NextButton);
    if (rig.current() != 107)
        return rig.current();
    if (!page_list.empty()) {
        rig.settings->control_as<QAbstractButton>(1330)->click();
        rig.settings->control_as<QLineEdit>(1003)->setText(QString::fromStdString(page_list));
    }
    if (before_progress)
        before_progress();
    rig.click(QWizard::NextButton);
    return rig.current();
}

class WizardRun : public ::testing::Test {
protected:
    void start_run(int pages, const std::string& page_list = std::string(),
                   const std::string& destination = std::string())
    {
        src = rig.scratch.file("doc.pdf");
        dest = destination.empty() ? rig.scratch.file("doc.xml") : destination;
        ASSERT_TRUE(write_test_pdf(src, pages));
        ASSERT_EQ(to_progress_page(rig, src, dest, page_list, before_progress), 105);
    }
    bool reaches_finish_page() { return wait_for([&] { return rig.current() == 106; }, 60000); }
    bool worker_ended() { return wait_for([&] { return !rig.progress->is_alive(); }, 60000); }

    // Boxes are shown for real from now on; once one is open the signal is sent. A box
    // still open long after is closed as the user would (No, OK), so a stop that fails
    // to close it fails the test instead of hanging it.
    void real_boxes_then_signal(int sig)
    {
        wizard_shell::box_answerer = nullptr;
        watcher.setInterval(20);
        QObject::connect(&watcher, &QTimer::timeout, [this, sig] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr)
                return;
            if (!signalled) {
                box_text = box->text().toStdString();
                signalled = true;
                kill(getpid(), sig);
                open_since.start();
            } else if (open_since.elapsed() > 15000) {
                closed_by_test = true;
                box->done(box->standardButtons() & QMessageBox::No ? QMessageBox::No : QMessageBox::Ok);
            }
        });
        watcher.start();
    }

    void expect_stopped_by(int sig, const std::string& text)
    {
        EXPECT_EQ(box_text, text);
        EXPECT_FALSE(closed_by_test) << "the stop closes the box";
        EXPECT_FALSE(rig.shell->isVisible());
        EXPECT_EQ(rig.shell->result(), QDialog::Rejected);
        EXPECT_TRUE(rig.progress->end_worker());
        EXPECT_FALSE(rig.progress->is_alive());
        EXPECT_EQ(rig.progress->stopped_by_signal(), sig);
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    }

    // Whether a thread of this process waits in a kernel function whose name holds that text.
    static bool worker_waits_in(const std::string& kernel_function)
    {
        std::error_code ec;
        for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", ec))
            if (read_file(task.path().string() + "/wchan").find(kernel_function) != std::string::npos)
                return true;
        return false;
    }

    static bool is_fifo(const std::string& path)
    {
        struct stat st {};
        return lstat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
    }

    QTimer watcher;
    QElapsedTimer open_since;
    bool signalled = false;
    bool closed_by_test = false;
    std::string box_text;

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
    // A signal that comes while the entry ends the worker still ends the program by it.
    ASSERT_EQ(kill(getpid(), SIGTERM), 0);
    ASSERT_TRUE(wait_for([] { return tk_stop_signals::received() != 0; }, 60000));
    EXPECT_TRUE(rig.progress->end_worker());
    EXPECT_EQ(rig.progress->stopped_by_signal(), SIGTERM);
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
    // The entry then ends the worker, and the program ends by the signal.
    EXPECT_TRUE(rig.progress->end_worker());
    EXPECT_EQ(rig.progress->stopped_by_signal(), SIGTERM);
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

// A stop signal while a box is open: the box closes with the stop's answer (the Cancel
// question as Yes, an error as OK), the worker that may wait for it ends, the wizard
// closes and the unfinished destination goes.
TEST_F(WizardRun, AStopSignalClosesTheOpenQuestionAndEndsTheRun)
{
    start_run(5000);
    ASSERT_TRUE(wait_for([&] { return rig.convertor->page_index >= 2; }, 60000));
    real_boxes_then_signal(SIGTERM);
    rig.click(QWizard::CancelButton); // returns once the question has closed
    expect_stopped_by(SIGTERM, "Are you sure you want to exit the wizard?");
    EXPECT_FALSE(file_exists(dest));
}

TEST_F(WizardRun, AStopSignalClosesTheOpenErrorBoxAndEndsTheRun)
{
    // The destination may not grow past 20,000 bytes: a write part-way fails.
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlimit before = limit;
    const auto before_signal = std::signal(SIGXFSZ, SIG_IGN);
    before_progress = [&] {
        limit.rlim_cur = 20000;
        setrlimit(RLIMIT_FSIZE, &limit);
    };
    real_boxes_then_signal(SIGINT);
    start_run(3000);
    const bool box_seen = wait_for([&] { return !rig.shell->isVisible(); }, 60000);
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, before_signal);
    ASSERT_TRUE(box_seen);
    expect_stopped_by(SIGINT, "Couldn't write output file '" + dest + "': File too large");
    EXPECT_FALSE(file_exists(dest));
}

// The worker blocked on its destination (the open of a FIFO nobody reads, a write to a
// pipe nobody empties) returns when the run is asked to stop; a FIFO is never removed.
TEST_F(WizardRun, AStopSignalEndsAWorkerBlockedInOpeningItsDestination)
{
    ASSERT_EQ(mkfifo(rig.scratch.file("fifo.xml").c_str(), 0600), 0);
    start_run(20, std::string(), rig.scratch.file("fifo.xml"));
    ASSERT_TRUE(wait_for([&] { return worker_waits_in("partner"); }, 60000));
    ASSERT_EQ(kill(getpid(), SIGTERM), 0);
    ASSERT_TRUE(wait_for([&] { return !rig.shell->isVisible(); }, 60000));
    EXPECT_TRUE(rig.progress->end_worker());
    EXPECT_EQ(rig.progress->stopped_by_signal(), SIGTERM);
    EXPECT_TRUE(is_fifo(rig.scratch.file("fifo.xml")));
}

TEST_F(WizardRun, CancelEndsAWorkerBlockedInWritingItsDestination)
{
    ASSERT_EQ(mkfifo(rig.scratch.file("fifo.xml").c_str(), 0600), 0);
    // A reader that never reads: the pipe fills and the worker waits in a write.
    const int reader = open(rig.scratch.file("fifo.xml").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    start_run(5000, std::string(), rig.scratch.file("fifo.xml"));
    ASSERT_TRUE(wait_for([&] { return worker_waits_in("pipe_write"); }, 60000));
    rig.boxes.answers = {QMessageBox::Yes};
    rig.click(QWizard::CancelButton);
    EXPECT_FALSE(rig.shell->isVisible());
    EXPECT_TRUE(rig.progress->end_worker());
    EXPECT_FALSE(rig.progress->is_alive());
    EXPECT_EQ(rig.progress->stopped_by_signal(), 0);
    EXPECT_TRUE(is_fifo(rig.scratch.file("fifo.xml")));
    close(reader);
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

int lost_display_child(const std::string& ready_file)
{
    wizard_rig rig;
    const std::string src = rig.scratch.file("doc.pdf");
    if (!write_test_pdf(src, 20000))
        return 2;
    if (to_progress_page(rig, src, rig.scratch.file("doc.xml"), std::string(), nullptr) != 105)
        return 3;
    if (!wait_for([&] { return rig.convertor->page_index >= 2; }, 60000))
        return 4;
    write_file(ready_file, rig.scratch.path());
    // The display going away ends the process in here.
    wait_for([] { return false; }, 120000);
    return 5;
}

namespace {

std::string program_on_path(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= folders.size()) {
        const size_t end = std::min(folders.find(':', start), folders.size());
        const std::string candidate = folders.substr(start, end - start) + "/" + name;
        if (end > start && access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return std::string();
}

// Waits at most the time for the process to end; its wait status, or -1 (it is then killed).
int wait_within(pid_t pid, int timeout_ms)
{
    int status = 0;
    for (int waited = 0; waited < timeout_ms; waited += 10) {
        if (waitpid(pid, &status, WNOHANG) == pid)
            return status;
        usleep(10000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
}

} // namespace

// The display going away during a run (the display plugin then calls exit(1)): the worker
// stops before the static objects go, the unfinished destination is removed, the settings
// are saved and the process ends with 1, without a crash. The wizard runs in a child of
// this test on an X server that the test starts and kills.
TEST(WizardRunLostDisplay, TheRunEndsCleanWhenTheDisplayGoesAway)
{
    const std::string xvfb = program_on_path("Xvfb");
    if (xvfb.empty())
        GTEST_SKIP() << "Xvfb is not installed";
    scratch_dir dir;
    const std::string ready = dir.file("ready");
    const std::string out = dir.file("child.out");

    // The X server picks a free display and writes its number once it takes clients.
    int display_pipe[2];
    ASSERT_EQ(pipe(display_pipe), 0);
    const std::string display_fd = std::to_string(display_pipe[1]);
    const pid_t server = fork();
    ASSERT_GE(server, 0);
    if (server == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        close(display_pipe[0]);
        execl(xvfb.c_str(), "Xvfb", "-displayfd", display_fd.c_str(), "-nolisten", "tcp", "-screen", "0",
              "800x600x24", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(display_pipe[1]);
    std::string display;
    pollfd readable{display_pipe[0], POLLIN, 0};
    char c = 0;
    while (poll(&readable, 1, 30000) == 1 && read(display_pipe[0], &c, 1) == 1 && c != '\n')
        display += c;
    close(display_pipe[0]);
    ASSERT_FALSE(display.empty()) << "Xvfb did not start";

    std::vector<std::string> env_text = {"DISPLAY=:" + display, "QT_QPA_PLATFORM=xcb",
                                         "WIZARD_TESTS_LOST_DISPLAY_CHILD=" + ready};
    for (char** e = environ; *e != nullptr; ++e)
        if (std::strncmp(*e, "DISPLAY=", 8) != 0 && std::strncmp(*e, "QT_QPA_PLATFORM=", 16) != 0)
            env_text.emplace_back(*e);
    std::vector<char*> env;
    for (std::string& e : env_text)
        env.push_back(e.data());
    env.push_back(nullptr);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int log = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(log, 1);
        dup2(log, 2);
        char* argv[] = {const_cast<char*>("wizard_tests"), nullptr};
        execve("/proc/self/exe", argv, env.data());
        _exit(127);
    }
    bool under_way = false;
    for (int waited = 0; waited < 120000 && !under_way; waited += 10) {
        under_way = !read_file(ready).empty();
        if (!under_way)
            usleep(10000);
    }
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);
    const int status = wait_within(child, 60000);
    const std::string child_dir = read_file(ready);
    const std::string output = read_file(out);
    ASSERT_TRUE(under_way) << output;
    ASSERT_NE(status, -1) << "the child did not end";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1)
        << "status " << status << " (signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0) << ")\n"
        << output;
    EXPECT_EQ(output.find("Sanitizer"), std::string::npos) << output;
    EXPECT_FALSE(file_exists(child_dir + "/doc.xml")) << "the unfinished destination is removed";
    EXPECT_NE(read_file(child_dir + "/Zantorix/Karvel.reg").find("\"src\"=\"" + child_dir + "/doc.pdf\""),
              std::string::npos)
        << "the settings are saved";
    std::error_code ec;
    std::filesystem::remove_all(child_dir, ec);
}
