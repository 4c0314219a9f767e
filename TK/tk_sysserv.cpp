#include "TK/tk_sysserv.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "TK/tk_log.h"
#include "TK/tk_utils.h"
#include "platform/plat_io.h"

extern char** environ;

const char* const tk_bug_address = "bugs@zantorix.example";

namespace {

// How long a mail program may take before it is given up.
constexpr auto mail_timeout = std::chrono::seconds(30);

bool is_program(const std::string& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// sendmail on the search path, else in its usual places; empty when there is none.
std::string find_sendmail()
{
    const char* path = std::getenv("PATH");
    if (path != nullptr)
        for (const std::string& dir : tk_split(path, ':'))
            if (!dir.empty() && dir[0] == '/' && is_program(dir + "/sendmail"))
                return dir + "/sendmail";
    for (const char* known : {"/usr/sbin/sendmail", "/usr/lib/sendmail"})
        if (is_program(known))
            return known;
    return std::string();
}

// A header value on one line.
std::string one_line(const std::string& text)
{
    std::string out = text;
    for (char& c : out)
        if (c == '\r' || c == '\n')
            c = ' ';
    return out;
}

// Runs the mail program with the mail as its standard input; its exit status, or -1.
int run_mailer(const std::string& program, const std::string& mail)
{
    char name[] = "/tmp/karvel-bug-XXXXXX";
    const int fd = mkostemp(name, O_CLOEXEC);
    if (fd < 0)
        return -1;
    unlink(name);
    if (!plat_write_all(fd, mail) || lseek(fd, 0, SEEK_SET) != 0) {
        close(fd);
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fd, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv{const_cast<char*>(program.c_str()), const_cast<char*>("-t"),
                            const_cast<char*>("-oi"), nullptr};
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fd);
    if (spawned != 0)
        return -1;
    const auto deadline = std::chrono::steady_clock::now() + mail_timeout;
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (done < 0 && errno != EINTR)
            return -1;
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

} // namespace

std::string tk_bug_report_date(const std::tm& t)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%d/%d/%d %d:%d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,
                  t.tm_min);
    return buf;
}

void tk_send_bug(const std::string& app_name, const std::string& message)
{
    tk_log(2, "tk_send_bug(%s|%s)", app_name.c_str(), message.c_str());
    std::string date;
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    if (now != static_cast<std::time_t>(-1) && localtime_r(&now, &local) != nullptr)
        date = tk_bug_report_date(local);

    std::string mail = "To: " + std::string(tk_bug_address) + "\n";
    mail += "Subject: " + one_line("Bug report on " + app_name) + "\n";
    if (!date.empty())
        mail += "X-Report-Date: " + date + "\n";
    mail += "MIME-Version: 1.0\nContent-Type: text/plain; charset=UTF-8\nContent-Transfer-Encoding: 8bit\n\n";
    mail += message + "\n";

    tk_dir_changer keep_folder(".");
    const std::string program = find_sendmail();
    if (program.empty()) {
        tk_log(2, "Failed to locate MAPI32.DLL");
        return;
    }
    const int result = run_mailer(program, mail);
    tk_log(2, "lpfnMAPISendMail returns %d", result);
}

unsigned tk_parse_version(const char* text)
{
    if (text == nullptr)
        return 0;
    unsigned major = 0, minor = 0;
    int used = 0;
    if (std::sscanf(text, "%u.%u%n", &major, &minor, &used) != 2 || used == 0)
        return 0;
    return ((major & 0xFFFF) << 16) | (minor & 0xFFFF);
}
