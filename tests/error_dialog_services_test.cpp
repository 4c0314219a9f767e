// The services behind the error dialog's buttons and the start-up check: clipboard,
// bug-report mail, GUI library version.
#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>

#include <gtest/gtest.h>

#include <atomic>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>

#include "TK/tk_log.h"
#include "TK/tk_sysserv.h"
#include "error_dialog_support.h"
#include "test_support.h"

namespace {

std::string current_folder()
{
    char buf[4096];
    return getcwd(buf, sizeof buf) ? std::string(buf) : std::string();
}

// The search path replaced by one folder for the life of the object.
class only_path {
public:
    explicit only_path(const std::string& folder)
    {
        const char* path = std::getenv("PATH");
        old = path ? path : "";
        setenv("PATH", folder.c_str(), 1);
    }
    ~only_path() { setenv("PATH", old.c_str(), 1); }
    std::string old;
};

} // namespace

TEST(SystemServices, BugReportDateHasNoLeadingZeros)
{
    std::tm t {};
    t.tm_year = 2016 - 1900;
    t.tm_mon = 2;
    t.tm_mday = 5;
    t.tm_hour = 9;
    t.tm_min = 7;
    EXPECT_EQ("2016/3/5 9:7", tk_bug_report_date(t));
    t.tm_year = 2026 - 1900;
    t.tm_mon = 11;
    t.tm_mday = 31;
    t.tm_hour = 23;
    t.tm_min = 59;
    EXPECT_EQ("2026/12/31 23:59", tk_bug_report_date(t));
}

TEST(SystemServices, MailGoesToTheMakerWithSubjectDateAndMessage)
{
    fake_sendmail mailer;
    const std::string before = current_folder();
    tk_send_bug("Karvel 2.3", "Internal error: \ncode=615c31");
    ASSERT_TRUE(mailer.sent());
    const std::string mail = mailer.mail();
    EXPECT_EQ(0u, mail.find("To: bugs@zantorix.example\nSubject: Bug report on Karvel 2.3\n")) << mail;
    EXPECT_NE(std::string::npos, mail.find("\nX-Report-Date: ")) << mail;
    EXPECT_NE(std::string::npos, mail.find("\n\nInternal error: \ncode=615c31\n")) << mail;
    EXPECT_EQ("-t -oi\n", mailer.arguments());
    EXPECT_EQ(before, current_folder());
}

TEST(SystemServices, ANameWithLineBreaksCannotAddHeaders)
{
    fake_sendmail mailer;
    tk_send_bug("Karvel\nBcc: someone@else.example", "m");
    const std::string mail = mailer.mail();
    EXPECT_NE(std::string::npos, mail.find("Subject: Bug report on Karvel Bcc: someone@else.example\n")) << mail;
    EXPECT_EQ(std::string::npos, mail.find("\nBcc:")) << mail;
}

TEST(SystemServices, WithoutAMailProgramNothingHappensButATrace)
{
    if (access("/usr/sbin/sendmail", X_OK) == 0 || access("/usr/lib/sendmail", X_OK) == 0)
        GTEST_SKIP() << "this machine has a mail program of its own";
    scratch_dir dir;
    const std::string log_path = dir.file("trace.log");
    tk_logger log(log_path.c_str(), true, 1, false);
    only_path path(dir.path());
    const std::string before = current_folder();
    tk_send_bug("", "message");
    EXPECT_EQ(before, current_folder());
    const std::string trace = read_file(log_path);
    EXPECT_NE(std::string::npos, trace.find("tk_send_bug(|message)\r\n")) << trace;
    EXPECT_NE(std::string::npos, trace.find("Failed to locate MAPI32.DLL\r\n")) << trace;
}

TEST(SystemServices, AFailingMailProgramIsOnlyTraced)
{
    scratch_dir dir;
    write_file(dir.file("sendmail"), "#!/bin/sh\n/bin/cat > /dev/null\nexit 75\n");
    chmod(dir.file("sendmail").c_str(), 0755);
    const std::string log_path = dir.file("trace.log");
    tk_logger log(log_path.c_str(), true, 1, false);
    only_path path(dir.path());
    tk_send_bug("K", "m");
    EXPECT_NE(std::string::npos, read_file(log_path).find("lpfnMAPISendMail returns 75\r\n"));
}

TEST(SystemServices, VersionIsMajorHighMinorLow)
{
    EXPECT_EQ(0x50050u, tk_parse_version("5.80"));
    EXPECT_EQ(0x6000Au, tk_parse_version("6.10"));
    EXPECT_EQ(0x60004u, tk_parse_version("6.4.2"));
    EXPECT_EQ(0u, tk_parse_version("six"));
    EXPECT_EQ(0u, tk_parse_version("6"));
    EXPECT_EQ(0u, tk_parse_version(nullptr));
    const unsigned runtime = get_dll_version(L"comctl32.dll");
    EXPECT_EQ(tk_parse_version(qVersion()), runtime);
    EXPECT_EQ(static_cast<unsigned>(QT_VERSION_MAJOR), runtime >> 16);
}

TEST(SystemServices, ClipboardTakesTheTextFromAnyThread)
{
    tk_copy_to_clipboard1("abc");
    EXPECT_EQ("abc", QGuiApplication::clipboard()->text().toStdString());

    std::atomic<bool> done{false};
    std::thread worker([&] {
        tk_copy_to_clipboard1("from the worker");
        done = true;
    });
    QElapsedTimer clock;
    clock.start();
    while (!done && clock.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    worker.join();
    EXPECT_EQ("from the worker", QGuiApplication::clipboard()->text().toStdString());
}
