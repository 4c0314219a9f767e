// The console program end to end: arguments, streams, exit codes, log file, bad input.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <utility>

#include "pdf_writer.h"
#include "test_support.h"

namespace {

const int exit_failure = 255; // exit(-1) as the shell sees it

std::string usage_start()
{
    return "TARNVIK v2.3\nUsage: TARNVIK.EXE OPTIONS\n";
}

std::string five_page_pdf()
{
    pdf_writer w;
    for (int i = 1; i <= 5; ++i)
        w.add_page("BT /Helvetica 12 Tf 72 700 Td (Page " + std::to_string(i) + ") Tj ET");
    return w.build();
}

// The stop signals with their default action in the program, whatever the test inherited
// (a background job starts with the interrupt ignored).
void default_stop_signals()
{
    sigset_t set;
    sigemptyset(&set);
    for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
        std::signal(sig, SIG_DFL);
        sigaddset(&set, sig);
    }
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

// Reads what waits in a non-blocking pipe.
void drain(int fd)
{
    char buffer[4096];
    while (fd >= 0 && read(fd, buffer, sizeof buffer) > 0) {
    }
}

// Sends the signal once the run's log shows it inside the page loop past the first page
// and before the last: the program is held stopped while its log is read, so the run
// cannot end between the look and the signal. False when the program ended first. What
// the program writes into the pipe fd (when given) is read away meanwhile.
bool signal_mid_run(tarnvik_process& program, const std::string& log_path, int last_page, int sig, int fd)
{
    const std::string last = "Converting page " + std::to_string(last_page) + " of ";
    while (program.running()) {
        drain(fd);
        kill(program.pid(), SIGSTOP);
        const std::string log = read_file(log_path);
        const bool mid_run = log.find("Converting page 2 of ") != std::string::npos && log.find(last) == std::string::npos;
        if (mid_run)
            kill(program.pid(), sig);
        kill(program.pid(), SIGCONT);
        if (mid_run)
            return true;
        usleep(1000);
    }
    return false;
}

// Waits until the condition holds, polling every millisecond; false after the time ran out.
bool wait_until(const std::function<bool()>& condition, int timeout_ms)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        usleep(1000);
    }
    return true;
}

// A document of many one-line pages: a run takes long enough to be signalled mid-way.
std::string long_pdf(int pages)
{
    pdf_writer w;
    for (int i = 1; i <= pages; ++i)
        w.add_page("BT /Helvetica 12 Tf 72 700 Td (Page " + std::to_string(i) + ") Tj ET");
    return w.build();
}

class Console : public ::testing::Test {
protected:
    void SetUp() override
    {
        src = dir.file("doc.pdf");
        write_file(src, five_page_pdf());
    }
    run_result run(const std::vector<std::string>& args) { return run_tarnvik(args, dir.path()); }
    std::string log_of(const std::vector<std::string>& args)
    {
        std::vector<std::string> all(args);
        all.push_back("--logfile=" + dir.file("run.log"));
        const run_result r = run(all);
        EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
        return read_file(dir.file("run.log"));
    }
    scratch_dir dir;
    std::string src;
};

} // namespace

TEST_F(Console, UsageForWrongCountsUnknownArgumentsAndHelp)
{
    run_result r = run({});
    EXPECT_EQ(r.exit_code, exit_failure);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind(usage_start(), 0), 0u) << r.err;
    EXPECT_NE(r.err.find("   --tag_table=...  "), std::string::npos);
    EXPECT_EQ(r.err.substr(r.err.size() - 6), "=)\n\n\n\n") << "two empty lines, then fatal_error's own line end";

    // Twelve arguments: usage, and the bad tag among them is not even looked at.
    std::vector<std::string> twelve(11, "--src=" + src);
    twelve.push_back("--tag_row=a-b");
    r = run(twelve);
    EXPECT_EQ(r.exit_code, exit_failure);
    EXPECT_EQ(r.err.rfind(usage_start(), 0), 0u);
    EXPECT_EQ(r.out, "");

    for (const char* unknown : {"--bogus", "--SRC=a.pdf", "--dest", "doc.pdf"}) {
        r = run({"--src=" + src, unknown});
        EXPECT_EQ(r.exit_code, exit_failure) << unknown;
        EXPECT_EQ(r.err.rfind(usage_start(), 0), 0u) << unknown;
    }
    r = run({"--helpme"});
    EXPECT_EQ(r.exit_code, exit_failure);
    EXPECT_EQ(r.err.rfind(usage_start(), 0), 0u);

    // Options apply in order: the bad tag is reported before --help is reached.
    r = run({"--tag_row=a-b", "--help"});
    EXPECT_EQ(r.exit_code, exit_failure);
    EXPECT_EQ(r.out, "Error:\nXML tag is not valid. You can use only alphanumeric symbols  (A-Z, a-z, 0-9) and "
                     "underscore (_) to compose XML tags.\n");
    EXPECT_EQ(r.err, "");
}

TEST_F(Console, SourceChecks)
{
    run_result r = run({"--dest=x.xml"});
    EXPECT_EQ(r.exit_code, exit_failure);
    EXPECT_EQ(r.err, "You should specify source file\n");

    const std::string missing_message = "Source file does not exist.\nPlease verify the correct file name was given.\n";
    r = run({"--src=" + dir.file("missing.pdf")});
    EXPECT_EQ(r.exit_code, exit_failure);
    EXPECT_EQ(r.err, missing_message);
    r = run({"--src=" + dir.path()});
    EXPECT_EQ(r.err, missing_message) << "a folder is no source";
    ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
    r = run({"--src=" + dir.file("fifo")});
    EXPECT_EQ(r.err, missing_message) << "a FIFO is no source and must not hang";
}

TEST_F(Console, UnreadableAndLockedDocumentsTouchNoDestination)
{
    write_file(dir.file("notes.pdf"), "plain text, not a PDF\n");
    run_result r = run({"--src=" + dir.file("notes.pdf")});
    EXPECT_EQ(r.exit_code, exit_failure);
    EXPECT_EQ(r.out, "Error:\nThe program cannot read PDF document. It might be corrupted or does not comply with "
                     "Adobe PDF format.\n");
    EXPECT_EQ(r.err, "");
    EXPECT_FALSE(file_exists(dir.file("notes.xml")));

    const std::string cmd = "qpdf --encrypt secret owner 256 -- '" + src + "' '" + dir.file("locked.pdf") + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    write_file(dir.file("keep.xml"), "precious");
    for (const std::string pswd : {"", "wrong"}) {
        std::vector<std::string> args = {"--src=" + dir.file("locked.pdf"), "--dest=" + dir.file("keep.xml")};
        if (!pswd.empty())
            args.push_back("--pswd=" + pswd);
        r = run(args);
        EXPECT_EQ(r.exit_code, exit_failure);
        EXPECT_EQ(r.out, "Error:\nIncorrect password\n");
        EXPECT_EQ(read_file(dir.file("keep.xml")), "precious");
    }
    // The password is checked before the destination.
    r = run({"--src=" + dir.file("locked.pdf"), "--dest=" + dir.file("none/x.xml")});
    EXPECT_EQ(r.out, "Error:\nIncorrect password\n");
    for (const std::string pswd : {"secret", "owner"}) {
        r = run({"--src=" + dir.file("locked.pdf"), "--pswd=" + pswd, "--dest=" + dir.file("open.xml")});
        EXPECT_EQ(r.exit_code, 0) << pswd << r.out << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "");
    }
}

TEST_F(Console, DestinationChecks)
{
    run_result r = run({"--src=" + src, "--dest=" + dir.path()});
    EXPECT_EQ(r.exit_code, exit_failure);
    EXPECT_EQ(r.out, "Error:\nDestination name should specify a file, not folder.\n");
    r = run({"--src=" + src, "--dest=" + dir.file("none/out.xml")});
    EXPECT_EQ(r.out, "Error:\nDestination path does not exist. Please verify the correct path was given.\n");
    write_file(dir.file("ro.xml"), "keep");
    ASSERT_EQ(chmod(dir.file("ro.xml").c_str(), 0444), 0);
    r = run({"--src=" + src, "--dest=" + dir.file("ro.xml")});
    EXPECT_EQ(r.out, "Error:\nDestination name specifies an existing read-only file.\n");
    EXPECT_EQ(read_file(dir.file("ro.xml")), "keep");
}

TEST_F(Console, DestinationNamingTheSourceIsRefusedAndTouchesNothing)
{
    const std::string pdf = read_file(src);
    ASSERT_EQ(symlink("doc.pdf", dir.file("link.pdf").c_str()), 0);
    ASSERT_EQ(link(src.c_str(), dir.file("hard.pdf").c_str()), 0);
    // A source named like its derived destination.
    write_file(dir.file("report.xml"), pdf);
    const std::string up = "../" + dir.path().substr(dir.path().rfind('/') + 1) + "/doc.pdf";
    const std::vector<std::vector<std::string>> forms = {
        {"--src=doc.pdf", "--dest=doc.pdf"},  {"--src=doc.pdf", "--dest=./doc.pdf"},
        {"--src=doc.pdf", "--dest=" + src},   {"--src=" + src, "--dest=" + up},
        {"--src=doc.pdf", "--dest=link.pdf"}, {"--src=link.pdf", "--dest=doc.pdf"},
        {"--src=doc.pdf", "--dest=hard.pdf"}, {"--src=report.xml"}};
    for (std::vector<std::string> args : forms) {
        args.push_back("--logfile=" + dir.file("run.log"));
        const run_result r = run(args);
        const std::string form = args[0] + " " + args[1];
        EXPECT_EQ(r.exit_code, exit_failure) << form;
        EXPECT_EQ(r.out, "Error:\nDestination file is the same as the source file.\n") << form;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(read_file(src), pdf) << form;
        EXPECT_EQ(read_file(dir.file("report.xml")), pdf);
        const std::string log = read_file(dir.file("run.log"));
        EXPECT_NE(log.find("Error:\nDestination file is the same"), std::string::npos) << form;
        EXPECT_EQ(log.find("Conversion started"), std::string::npos) << form;
    }
    // Another name in the same folder still converts.
    EXPECT_EQ(run({"--src=link.pdf", "--dest=other.xml"}).exit_code, 0);
    EXPECT_EQ(xmllint_errors(dir.file("other.xml")), "");
}

TEST_F(Console, FailedWritesAreErrorsAndEndTheRun)
{
    const std::string pdf = read_file(src);
    run_result r = run({"--src=" + src, "--dest=/dev/full", "--logfile=" + dir.file("full.log")});
    EXPECT_EQ(r.exit_code, exit_failure);
    EXPECT_EQ(r.out, "Error:\nCouldn't write output file '/dev/full': No space left on device\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(read_file(dir.file("full.log")).find("Converting page"), std::string::npos)
        << "the opening lines already fail";

    // Standard output closed: the report reaches the log only; no page after the first is read.
    r = run_tarnvik({"--src=" + src, "--dest=-", "--logfile=" + dir.file("closed.log")}, dir.path(), true);
    EXPECT_EQ(r.exit_code, exit_failure);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    const std::string log = read_file(dir.file("closed.log"));
    EXPECT_NE(log.find("Converting page 1 of 5\r\nError:\nCouldn't write output file '-': Bad file descriptor\r\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("Converting page 2"), std::string::npos);
    EXPECT_EQ(read_file(src), pdf);
}

TEST_F(Console, AFailedWriteLeavesNoDestinationFile)
{
    pdf_writer w;
    for (int i = 1; i <= 40; ++i)
        w.add_page("BT /Helvetica 12 Tf 72 700 Td (A line of text on page " + std::to_string(i) + ") Tj ET");
    ASSERT_TRUE(w.save(dir.file("long.pdf")));
    const std::string dest = dir.file("long.xml");
    // Files may not grow past 1000 bytes: a write of the document fails part-way, whether
    // the limit's signal was ignored from the start or not, also with standard output closed
    // from the start (the destination then gets its descriptor).
    for (const int run : {0, 1, 2}) {
        tarnvik_process program({"--src=" + dir.file("long.pdf"), "--dest=" + dest}, dir.path(), [run] {
            std::signal(SIGXFSZ, run == 0 ? SIG_IGN : SIG_DFL);
            const rlimit limit{1000, 1000};
            setrlimit(RLIMIT_FSIZE, &limit);
            if (run == 2)
                close(1);
        });
        const run_result r = program.wait();
        EXPECT_EQ(r.exit_code, exit_failure) << run;
        if (run != 2) {
            EXPECT_EQ(r.out, "Error:\nCouldn't write output file '" + dest + "': File too large\n");
        }
        EXPECT_FALSE(file_exists(dest)) << "the cut document is removed, run " << run;
    }
}

TEST_F(Console, SignalsStopTheRunAndLeaveNoUnfinishedDestination)
{
    const int pages = 2000;
    pdf_writer w;
    for (int i = 1; i <= pages; ++i)
        w.add_page("BT /Helvetica 12 Tf 72 700 Td (Page " + std::to_string(i) + ") Tj ET");
    ASSERT_TRUE(w.save(dir.file("long.pdf")));
    const std::string pdf = read_file(dir.file("long.pdf"));
    // A special file as the destination: a FIFO, read by the test.
    ASSERT_EQ(mkfifo(dir.file("fifo.xml").c_str(), 0600), 0);

    struct signalled_run {
        int sig;
        std::string dest;
        int closed; // a standard stream closed from the start: the run's files may get its number
    };
    const signalled_run runs[] = {{SIGINT, dir.file("long.xml"), -1},
                                  {SIGTERM, dir.file("long.xml"), -1},
                                  {SIGHUP, dir.file("long.xml"), -1},
                                  {SIGTERM, dir.file("long.xml"), 1},
                                  {SIGTERM, dir.file("long.xml"), 2},
                                  {SIGTERM, dir.file("fifo.xml"), -1},
                                  {SIGINT, "-", -1},
                                  {SIGINT, "/dev/stdout", -1},
                                  {SIGTERM, "/proc/self/fd/1", -1},
                                  {SIGTERM, "/dev/stderr", -1}};
    for (const signalled_run& run : runs) {
        const std::string what =
            "signal " + std::to_string(run.sig) + " into " + run.dest + ", closed " + std::to_string(run.closed);
        const std::string log = dir.file("run.log");
        write_file(log, "");
        const int reader = run.dest == dir.file("fifo.xml") ? open(run.dest.c_str(), O_RDONLY | O_NONBLOCK) : -1;
        tarnvik_process program({"--src=" + dir.file("long.pdf"), "--dest=" + run.dest, "--logfile=" + log},
                                dir.path(), [&run] {
                                    default_stop_signals();
                                    if (run.closed >= 0)
                                        close(run.closed);
                                });
        const bool signalled = signal_mid_run(program, log, pages, run.sig, reader);
        while (program.running()) {
            drain(reader);
            usleep(1000);
        }
        const run_result r = program.wait();
        if (reader >= 0)
            close(reader);
        ASSERT_TRUE(signalled) << what << ": the run ended first";
        EXPECT_EQ(r.exit_code, 1000 + run.sig) << what << ": ends by the signal";
        if (run.dest != "/dev/stderr") {
            EXPECT_EQ(r.err, "") << what;
        }
        EXPECT_NE(read_file(log).find("Conversion ended on "), std::string::npos) << what << ": stops, not killed";
        if (run.dest == "-") {
            // Whole pages only: the page cut by the signal is not written.
            EXPECT_GT(count_of(r.out, "<page"), 0u) << what;
            EXPECT_EQ(count_of(r.out, "<page"), count_of(r.out, "</page>")) << what;
            EXPECT_EQ(r.out.substr(r.out.size() - 8), "</page>\n") << what;
        } else if (run.dest == "/dev/stdout" || run.dest == "/proc/self/fd/1") {
            // Standard output by another name (a file here): kept, with its whole pages.
            EXPECT_EQ(r.out.rfind("<?xml", 0), 0u) << what;
            EXPECT_GT(count_of(r.out, "<page>"), 0u) << what;
            EXPECT_EQ(count_of(r.out, "<page>"), count_of(r.out, "</page>")) << what;
        } else if (run.dest == "/dev/stderr") {
            // Standard error by another name (a file here): kept as well.
            EXPECT_EQ(r.err.rfind("<?xml", 0), 0u) << what;
            EXPECT_GT(count_of(r.err, "<page>"), 0u) << what;
        } else {
            EXPECT_EQ(r.out, "") << what;
            EXPECT_FALSE(file_exists(dir.file("long.xml"))) << what;
        }
    }
    EXPECT_FALSE(file_exists(dir.file("long.xml")));
    struct stat st {};
    ASSERT_EQ(stat(dir.file("fifo.xml").c_str(), &st), 0) << "a special file is never removed";
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(read_file(dir.file("long.pdf")), pdf);
}

TEST_F(Console, SignalsIntoABlockedWriteOrOpenEndTheRunQuietly)
{
    write_file(dir.file("long.pdf"), long_pdf(2000));
    // Standard output is a pipe nobody reads: the run blocks in a write once it is full.
    int pipe_fds[2];
    ASSERT_EQ(pipe(pipe_fds), 0);
    tarnvik_process piped({"--src=" + dir.file("long.pdf"), "--dest=-"}, dir.path(), [&] {
        default_stop_signals();
        dup2(pipe_fds[1], 1);
        close(pipe_fds[0]);
        close(pipe_fds[1]);
    });
    close(pipe_fds[1]);
    const int capacity = fcntl(pipe_fds[0], F_GETPIPE_SZ);
    const auto queued = [&] {
        int n = 0;
        return ioctl(pipe_fds[0], FIONREAD, &n) == 0 ? n : -1;
    };
    // Full: no room for one more stdio buffer, and nothing more arrives.
    int last = -1;
    ASSERT_TRUE(wait_until(
        [&] {
            const int now = queued();
            const bool full = now > capacity - 8192 && now == last;
            last = now;
            usleep(20000);
            return full;
        },
        60000))
        << "the pipe did not fill";
    ASSERT_TRUE(piped.running());
    kill(piped.pid(), SIGINT);
    const run_result r = piped.wait();
    std::string out;
    char buffer[4096];
    for (ssize_t n; (n = read(pipe_fds[0], buffer, sizeof buffer)) > 0;)
        out.append(buffer, static_cast<size_t>(n));
    close(pipe_fds[0]);
    EXPECT_EQ(r.exit_code, 1000 + SIGINT) << r.out;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(out.find("Error"), std::string::npos) << "nothing is appended to the stream";

    // A FIFO nobody opens for reading: the run waits in the open of its destination.
    ASSERT_EQ(mkfifo(dir.file("fifo.xml").c_str(), 0600), 0);
    tarnvik_process opening({"--src=" + src, "--dest=" + dir.file("fifo.xml")}, dir.path(), default_stop_signals);
    // The open waits for a reader; the wait shows as the process sleeping in the kernel.
    ASSERT_TRUE(wait_until(
        [&] {
            const std::string stat = read_file("/proc/" + std::to_string(opening.pid()) + "/stat");
            const size_t paren = stat.rfind(')');
            return paren != std::string::npos && stat.compare(paren + 2, 1, "S") == 0 &&
                   read_file("/proc/" + std::to_string(opening.pid()) + "/wchan").find("partner") !=
                       std::string::npos;
        },
        60000));
    kill(opening.pid(), SIGTERM);
    const run_result o = opening.wait();
    EXPECT_EQ(o.exit_code, 1000 + SIGTERM) << o.out;
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "");
}

TEST_F(Console, TwoQuickSignalsLeaveNoDestination)
{
    write_file(dir.file("long.pdf"), long_pdf(2000));
    const std::string dest = dir.file("long.xml");
    // Two signals sent while the program is held stopped: Linux delivers the lower number
    // first, so the second arrives while the first is handled, and the process ends by it.
    const std::pair<int, int> pairs[] = {{SIGINT, SIGTERM}, {SIGHUP, SIGINT}};
    for (const auto& [first, second] : pairs) {
        const std::string log = dir.file("run.log");
        write_file(log, "");
        tarnvik_process program({"--src=" + dir.file("long.pdf"), "--dest=" + dest, "--logfile=" + log}, dir.path(),
                                default_stop_signals);
        ASSERT_TRUE(wait_until([&] { return read_file(log).find("Converting page 2 of ") != std::string::npos; },
                               60000));
        kill(program.pid(), SIGSTOP);
        int status = 0;
        ASSERT_EQ(waitpid(program.pid(), &status, WUNTRACED), program.pid());
        ASSERT_TRUE(WIFSTOPPED(status)) << "the run ended first";
        const bool mid_run = read_file(log).find("Converting page 2000 of ") == std::string::npos;
        kill(program.pid(), second);
        kill(program.pid(), first);
        kill(program.pid(), SIGCONT);
        const run_result r = program.wait();
        ASSERT_TRUE(mid_run) << "the run ended first";
        EXPECT_EQ(r.exit_code, 1000 + second) << "ended by the second signal";
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(file_exists(dest)) << "signals " << first << ", " << second;
        EXPECT_EQ(read_file(log).find("Conversion ended"), std::string::npos) << "the run did not end on its own";
    }
}

TEST_F(Console, ARunOutOfMemoryFailsAndLeavesNoDestination)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers reserve more address space than the limit allows";
#endif
    // Page 2 shows 120,000 words on top of each other: far more than 64 MB of address
    // space hold, while a page of one line converts in less than half of that.
    pdf_writer w;
    w.add_page("BT /Helvetica 12 Tf 72 700 Td (First) Tj ET");
    std::string heavy = "BT /Helvetica 10 Tf\n";
    for (int i = 0; i < 120000; ++i)
        heavy += "1 0 0 1 " + std::to_string(100 + i % 300) + " " + std::to_string(100 + i / 300 % 500) +
                 " Tm (w" + std::to_string(i) + ") Tj\n";
    w.add_page(heavy + "ET");
    w.add_page("BT /Helvetica 12 Tf 72 700 Td (Last) Tj ET");
    ASSERT_TRUE(w.save(dir.file("heavy.pdf")));
    const std::string dest = dir.file("heavy.xml");
    const std::string log = dir.file("heavy.log");
    tarnvik_process program({"--src=" + dir.file("heavy.pdf"), "--dest=" + dest, "--logfile=" + log}, dir.path(),
                            [] {
                                const rlimit limit{64 << 20, 64 << 20};
                                setrlimit(RLIMIT_AS, &limit);
                            });
    const run_result r = program.wait();
    EXPECT_NE(read_file(log).find("Converting page 2 of 3"), std::string::npos) << "the first page converts";
    // A standard exception is a reported failure; the PDF core's own end is an abort.
    EXPECT_TRUE(r.exit_code == exit_failure || r.exit_code == 1000 + SIGABRT) << r.exit_code << r.err;
    if (r.exit_code == exit_failure) {
        EXPECT_EQ(r.err, "std::bad_alloc\n");
    }
    EXPECT_FALSE(file_exists(dest));
}

TEST_F(Console, LogFileHoldsOnlyLevelThreeLines)
{
    const std::string log = log_of({"--src=" + src, "--pages=3,1,3"});
    EXPECT_EQ(log.find("parse_cmd_line"), std::string::npos);
    EXPECT_NE(log.find("Conversion started on "), std::string::npos);
    EXPECT_NE(log.find("src=[" + src + "]\ndest=[" + dir.file("doc.xml") + "]\r\n"), std::string::npos) << log;
    const size_t p1 = log.find("Converting page 1 of 3\r\n");
    const size_t p2 = log.find("Converting page 2 of 3\r\n");
    const size_t p3 = log.find("Converting page 3 of 3\r\n");
    EXPECT_TRUE(p1 != std::string::npos && p1 < p2 && p2 < p3 && p3 != std::string::npos) << log;
    EXPECT_NE(log.find("Conversion ended on "), std::string::npos);

    const std::string skipped = log_of({"--src=" + src, "--pages=2,9"});
    EXPECT_NE(skipped.find("Converting page 1 of 2\r\nPage is out of range 9 > 5\r\n"), std::string::npos)
        << skipped;
}

TEST_F(Console, LogFileOptionChecksAndSwitching)
{
    write_file(dir.file("ro.log"), "");
    ASSERT_EQ(chmod(dir.file("ro.log").c_str(), 0444), 0);
    run_result r = run({"--src=" + src, "--logfile=" + dir.file("ro.log")});
    EXPECT_EQ(r.exit_code, exit_failure);
    EXPECT_EQ(r.out, "Error:\nLogfile name specifies an existing read-only file.\n");
    r = run({"--src=" + src, "--logfile=" + dir.file("none/a.log")});
    EXPECT_EQ(r.out, "Error:\nLogfile path does not exist. Please verify the correct path was given.\n");

    // The first file is emptied once; the second is appended to.
    write_file(dir.file("a.log"), "old a\r\n");
    write_file(dir.file("b.log"), "old b\r\n");
    r = run({"--logfile=" + dir.file("a.log"), "--pages=1", "--logfile=" + dir.file("b.log"), "--src=" + src});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(read_file(dir.file("a.log")), "");
    EXPECT_EQ(read_file(dir.file("b.log")).rfind("old b\r\n", 0), 0u);
    EXPECT_NE(read_file(dir.file("b.log")).find("Converting page 1 of 1"), std::string::npos);

    // Failures after the switch are logged.
    r = run({"--logfile=" + dir.file("c.log"), "--pages=0", "--src=" + src});
    EXPECT_EQ(r.out, "Error:\nInvalid page range\n");
    EXPECT_NE(read_file(dir.file("c.log")).find("Error:\nInvalid page range\r\n"), std::string::npos);

    // Without the option no log file is made.
    r = run({"--src=" + src});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_FALSE(file_exists(dir.file("tarnvik.log")));
}

TEST_F(Console, LogFileNamingTheSourceOrTheDestinationIsRefusedAndTouchesNothing)
{
    const std::string pdf = read_file(src);
    ASSERT_EQ(symlink("doc.pdf", dir.file("link.pdf").c_str()), 0);
    ASSERT_EQ(link(src.c_str(), dir.file("hard.pdf").c_str()), 0);
    const std::vector<std::vector<std::string>> as_source = {
        {"--logfile=doc.pdf", "--src=doc.pdf"},           {"--src=doc.pdf", "--logfile=doc.pdf"},
        {"--src=" + src, "--logfile=./doc.pdf"},          {"--logfile=link.pdf", "--src=doc.pdf"},
        {"--src=doc.pdf", "--logfile=hard.pdf"},          {"--logfile=doc.pdf", "--src=link.pdf", "--pages=1"},
        {"--logfile=" + dir.file("a.log"), "--logfile=doc.pdf", "--src=doc.pdf"}};
    for (const std::vector<std::string>& args : as_source) {
        const run_result r = run(args);
        EXPECT_EQ(r.exit_code, exit_failure) << args[0] << " " << args[1];
        EXPECT_EQ(r.out, "Error:\nLogfile is the same as the source file.\n") << args[0] << " " << args[1];
        EXPECT_EQ(read_file(src), pdf) << args[0] << " " << args[1];
        EXPECT_FALSE(file_exists(dir.file("doc.xml")));
        EXPECT_FALSE(file_exists(dir.file("a.log"))) << "no log is emptied before the check";
    }
    // As the destination, given or derived, existing or not: nothing is created or changed.
    // B/link leads to A/sub, so B/link/.. is A, and the dangling A/sub/up leads to A/up.xml.
    ASSERT_EQ(symlink("out.xml", dir.file("out.log").c_str()), 0);
    ASSERT_EQ(std::system(("mkdir -p '" + dir.file("A/sub") + "' '" + dir.file("B") + "'").c_str()), 0);
    ASSERT_EQ(symlink("../A/sub", dir.file("B/link").c_str()), 0);
    ASSERT_EQ(symlink("../up.xml", dir.file("A/sub/up").c_str()), 0);
    const std::vector<std::vector<std::string>> as_destination = {
        {"--logfile=doc.xml", "--src=doc.pdf"},
        {"--src=doc.pdf", "--dest=out.xml", "--logfile=" + dir.file("out.xml")},
        {"--logfile=./out.xml", "--dest=" + dir.file("out.xml"), "--src=doc.pdf"},
        {"--src=doc.pdf", "--dest=out.xml", "--logfile=out.log"},
        {"--src=doc.pdf", "--dest=A/out.xml", "--logfile=B/link/../out.xml"},
        {"--src=doc.pdf", "--logfile=B/link/up", "--dest=A/up.xml"}};
    for (const std::vector<std::string>& args : as_destination) {
        const run_result r = run(args);
        const std::string form = args[0] + " " + args[1] + " " + args.back();
        EXPECT_EQ(r.exit_code, exit_failure) << form;
        EXPECT_EQ(r.out, "Error:\nLogfile is the same as the destination file.\n") << form;
        EXPECT_FALSE(file_exists(dir.file("doc.xml")));
        EXPECT_FALSE(file_exists(dir.file("out.xml")));
        EXPECT_FALSE(file_exists(dir.file("A/out.xml")));
        EXPECT_FALSE(file_exists(dir.file("A/up.xml")));
    }
    write_file(dir.file("out.xml"), "keep");
    EXPECT_EQ(run({"--src=doc.pdf", "--dest=out.xml", "--logfile=out.xml"}).exit_code, exit_failure);
    EXPECT_EQ(read_file(dir.file("out.xml")), "keep");
    // Standard output is no file: a log of that name is just a log.
    const run_result r = run({"--src=doc.pdf", "--dest=-", "--logfile=-"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_NE(read_file(dir.file("-")).find("Converting page 5 of 5"), std::string::npos);
}

TEST_F(Console, LogFileThatIsStandardOutputIsRefusedWithTheDestinationMinus)
{
    const std::string refused = "Error:\nLogfile is the same as the destination file.\n";
    const std::string redirect = dir.file("redirect.xml");
    for (const std::string& log : {std::string("/dev/stdout"), std::string("/proc/self/fd/1"), redirect}) {
        // Standard output redirected to a file: what it holds is the report alone.
        write_file(redirect, "");
        tarnvik_process to_file({"--src=doc.pdf", "--dest=-", "--logfile=" + log}, dir.path(), [&] {
            const int fd = open(redirect.c_str(), O_WRONLY);
            dup2(fd, 1);
            close(fd);
        });
        EXPECT_EQ(to_file.wait().exit_code, exit_failure) << log;
        EXPECT_EQ(read_file(redirect), refused) << log;
        if (log == redirect)
            continue;
        // Standard output a pipe.
        int pipe_fds[2];
        ASSERT_EQ(pipe(pipe_fds), 0);
        tarnvik_process to_pipe({"--src=doc.pdf", "--dest=-", "--logfile=" + log}, dir.path(), [&] {
            dup2(pipe_fds[1], 1);
            close(pipe_fds[0]);
            close(pipe_fds[1]);
        });
        close(pipe_fds[1]);
        std::string out;
        char buffer[4096];
        for (ssize_t n; (n = read(pipe_fds[0], buffer, sizeof buffer)) > 0;)
            out.append(buffer, static_cast<size_t>(n));
        close(pipe_fds[0]);
        EXPECT_EQ(to_pipe.wait().exit_code, exit_failure) << log;
        EXPECT_EQ(out, refused) << log;
    }
}

TEST_F(Console, PageListsAndRepeatedOptions)
{
    run_result r = run({"--src=" + src, "--pages=1-2000000000"});
    EXPECT_EQ(r.exit_code, exit_failure);
    EXPECT_EQ(r.out, "Error:\nInvalid page range: a page list may name at most 1000000 pages.\n");

    r = run({"--src=" + src, "--pages=5-3"});
    EXPECT_EQ(r.out, "Error:\nInvalid page range\n");

    // The last --pages= wins; the last --src= wins.
    const std::string log = log_of({"--src=" + dir.file("missing.pdf"), "--pages=1-3", "--pages=5", "--src=" + src});
    EXPECT_NE(log.find("Converting page 1 of 1\r\n"), std::string::npos);
    EXPECT_EQ(log.find("of 3"), std::string::npos);
}

TEST_F(Console, DestinationDerivedFromTheSource)
{
    const std::string log = log_of({"--src=doc.pdf"});
    EXPECT_NE(log.find("dest=[" + dir.file("doc.xml") + "]"), std::string::npos) << log;

    write_file(dir.file("plain"), five_page_pdf());
    const std::string log2 = log_of({"--src=plain"});
    EXPECT_NE(log2.find("dest=[" + dir.file("plain.xml") + "]"), std::string::npos) << log2;
}

TEST_F(Console, OddArgumentBytesAreHandled)
{
    run_result r = run({std::string("--src=\xff\xfe\x01", 9)});
    EXPECT_EQ(r.exit_code, exit_failure);
    EXPECT_EQ(r.err, "Source file does not exist.\nPlease verify the correct file name was given.\n");
    r = run({"--src=" + src, std::string("--tag_par=\xc3\xa9")});
    EXPECT_EQ(r.exit_code, exit_failure);
    EXPECT_EQ(r.out.rfind("Error:\nXML tag is not valid.", 0), 0u);
    r = run({"--src=" + src, "--pages=" + std::string(100000, '9')});
    EXPECT_EQ(r.exit_code, 0) << "one page far past the document is skipped";
}
