// Singletons, exceptions, the trace log, file names, strings and destination checks.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <random>
#include <regex>

#include "TK/tk_error.h"
#include "TK/tk_except.h"
#include "TK/tk_fname.h"
#include "TK/tk_log.h"
#include "TK/tk_utils.h"
#include "test_support.h"

namespace {

std::string assertion_text(const char* file, int line)
{
    return tk_mail_assertion::make_text(file, line);
}

template <class F>
std::string caught_message(F f)
{
    try {
        f();
    } catch (const tk_exception& e) {
        return e.what();
    }
    return "<nothing thrown>";
}

} // namespace

TEST(Singleton, SecondInstanceAndEmptySlotAreInternalErrors)
{
    EXPECT_FALSE(tk_singleton<error_handler>::exists());
    try {
        tk_singleton<error_handler>::instance();
        FAIL() << "instance() on an empty slot must throw";
    } catch (const tk_mail_assertion& e) {
        EXPECT_EQ(e.message, assertion_text("..\\TK/tk_singl.h", 59));
        EXPECT_EQ(e.level, 2);
        EXPECT_EQ(e.code, 0);
    }
    EXPECT_EQ(caught_message([] { tk_singleton<error_handler>::get_instance(); }),
              assertion_text("..\\TK/tk_singl.h", 66));
    {
        error_handler first;
        EXPECT_TRUE(tk_singleton<error_handler>::exists());
        EXPECT_EQ(&tk_singleton<error_handler>::instance(), &first);
        EXPECT_EQ(caught_message([] { error_handler second; }), assertion_text("..\\TK/tk_singl.h", 35));
        // The failed second construction left the first registered.
        EXPECT_EQ(&tk_singleton<error_handler>::instance(), &first);
    }
    EXPECT_FALSE(tk_singleton<error_handler>::exists());
}

TEST(Exceptions, TextsCodesAndLevels)
{
    const tk_exception empty("", 1);
    EXPECT_STREQ(empty.what(), "Unknown exception");
    EXPECT_EQ(empty.code, 0);
    EXPECT_EQ(empty.level, 1);

    const tk_mail_assertion a("a", 1);
    EXPECT_STREQ(a.what(), "Internal error: \ncode=615c31");
    EXPECT_EQ(a.level, 2);

    EXPECT_STREQ(tk_final_exception().what(), "Unknown exception");

    // A file-and-line text longer than the buffer is cut, not overrun.
    const std::string long_file(400, 'x');
    const std::string text = tk_mail_assertion::make_text(long_file.c_str(), 7);
    EXPECT_EQ(text.size(), std::string("Internal error: \ncode=").size() + 2 * 275);
}

TEST(Exceptions, SystemErrorCarriesErrnoText)
{
    scratch_dir dir;
    ASSERT_NE(unlink(dir.file("missing").c_str()), 0);
    const tk_exception_ex e;
    EXPECT_EQ(e.code, ENOENT);
    EXPECT_EQ(e.message, "No such file or directory");
    EXPECT_EQ(e.level, 1);
}

TEST(TraceLog, WritesNothingWithoutLogger)
{
    tk_log(3, "%s", "nothing");
    EXPECT_FALSE(tk_singleton<tk_logger>::exists());
}

TEST(TraceLog, TruncatesOnceFiltersAndEndsLinesWithCrLf)
{
    scratch_dir dir;
    const std::string path = dir.file("run.log");
    write_file(path, "old content");
    tk_logger log(path.c_str(), false, 3, false);
    tk_log(3, "disabled");
    EXPECT_EQ(read_file(path), "old content");

    log.enabled = true;
    tk_log(1, "below threshold");
    EXPECT_EQ(read_file(path), "") << "the first call empties the file whatever its level";
    tk_log(3, "b%d", 7);
    tk_log(3, "Error:\n%s", "x");
    EXPECT_EQ(read_file(path), "b7\r\nError:\nx\r\n");

    // Switching the file does not empty the new one.
    const std::string other = dir.file("other.log");
    write_file(other, "kept\r\n");
    log.set_file_name(other.c_str());
    tk_log(3, "more");
    EXPECT_EQ(read_file(other), "kept\r\nmore\r\n");

    EXPECT_EQ(caught_message([&] { log.set_file_name(nullptr); }), assertion_text("tk_log.cpp", 82));
}

TEST(TraceLog, TimePrefixAndMissingFolder)
{
    scratch_dir dir;
    const std::string path = dir.file("t.log");
    {
        tk_logger log(path.c_str(), true, 1, true);
        tk_log(2, "hello");
    }
    EXPECT_TRUE(std::regex_match(read_file(path), std::regex("[0-2][0-9]:[0-5][0-9]:[0-6][0-9] hello\r\n")))
        << read_file(path);

    const std::string lost = dir.file("no/such/folder/t.log");
    tk_logger log(lost.c_str(), true, 1, false);
    tk_log(3, "lost");
    EXPECT_FALSE(file_exists(lost));
}

TEST(TraceLog, DefaultNameIsTheProgramWithLogExtension)
{
    const std::string name = tk_logger::default_file_name();
    const std::string program = tk_get_module_path();
    ASSERT_EQ(program.find('.', program.rfind('/')), std::string::npos) << "the test program has no extension";
    EXPECT_EQ(name, program + ".log");
}

TEST(FileName, SplitsAndJoins)
{
    tk_file_name n("/docs/report.pdf");
    EXPECT_EQ(n.drive, "");
    EXPECT_EQ(n.dir, "/docs/");
    EXPECT_EQ(n.name, "report");
    EXPECT_EQ(n.ext, ".pdf");
    n.set_ext("xml");
    EXPECT_EQ(n.get_full_name(), "/docs/report.xml");
    n.set_ext(".txt");
    EXPECT_EQ(n.ext, ".txt");
    n.set_ext("");
    EXPECT_EQ(n.get_full_name(), "/docs/report");
    EXPECT_EQ(n.get_folder(), "/docs/");

    const tk_file_name folded("/a/./b/../c/file.tar.gz");
    EXPECT_EQ(folded.dir, "/a/c/");
    EXPECT_EQ(folded.name, "file.tar");
    EXPECT_EQ(folded.ext, ".gz");

    // A folder name without a trailing separator splits as the name.
    const tk_file_name folder("/home/me/Documents");
    EXPECT_EQ(folder.dir, "/home/me/");
    EXPECT_EQ(folder.name, "Documents");
    EXPECT_EQ(folder.ext, "");
}

TEST(FileName, EmptyAndRelativeNames)
{
    const tk_file_name program("");
    const tk_file_name module(tk_get_module_path());
    EXPECT_EQ(program.dir, module.dir);
    EXPECT_EQ(program.name, "");

    scratch_dir dir;
    tk_dir_changer enter(dir.path());
    ASSERT_TRUE(enter.entered);
    const tk_file_name rel("doc");
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(rel.get_full_name(), std::string(cwd) + "/doc");
}

TEST(Strings, TrimAndSplit)
{
    EXPECT_EQ(tk_trim("  a b  "), "a b");
    EXPECT_EQ(tk_trim("   "), "");
    EXPECT_EQ(tk_trim("\ta\t"), "\ta\t");
    EXPECT_EQ(tk_trim_left("  a "), "a ");
    EXPECT_EQ(tk_trim_right("  a "), "  a");

    EXPECT_TRUE(tk_split("", ',').empty());
    EXPECT_EQ(tk_split("1,3,5-10", ','), (std::vector<std::string>{"1", "3", "5-10"}));
    EXPECT_EQ(tk_split("a,,b,", ','), (std::vector<std::string>{"a", "", "b", ""}));
    EXPECT_EQ(tk_split(",", ','), (std::vector<std::string>{"", ""}));
}

TEST(FileChecks, ExistenceAndAccess)
{
    scratch_dir dir;
    const std::string file = dir.file("f.txt");
    write_file(file, "x");
    EXPECT_TRUE(tk_is_file_exist(file, 0));
    EXPECT_TRUE(tk_is_file_exist(file, 1));
    EXPECT_FALSE(tk_is_file_exist(dir.path(), 0)) << "a folder counts as absent";
    EXPECT_FALSE(tk_is_file_exist(dir.file("missing"), 0));
    ASSERT_EQ(chmod(file.c_str(), 0444), 0);
    EXPECT_TRUE(tk_is_file_exist(file, 0));
    EXPECT_FALSE(tk_is_file_exist(file, 1)) << "a read-only file cannot be opened for writing";

    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(tk_is_file_exist(fifo, 0)) << "a FIFO is no file and must not block";

    char before[4096];
    ASSERT_NE(getcwd(before, sizeof before), nullptr);
    EXPECT_TRUE(tk_is_path_exist(dir.path()));
    EXPECT_FALSE(tk_is_path_exist(file));
    EXPECT_FALSE(tk_is_path_exist(dir.file("missing")));
    char after[4096];
    ASSERT_NE(getcwd(after, sizeof after), nullptr);
    EXPECT_STREQ(before, after) << "the current folder is restored";
}

TEST(Destination, CheckRejectsFoldersReadOnlyFilesAndMissingFolders)
{
    scratch_dir dir;
    EXPECT_EQ(caught_message([&] { common_check_dest(dir.path()); }),
              "Destination name should specify a file, not folder.");
    const std::string ro = dir.file("ro.xml");
    write_file(ro, "");
    ASSERT_EQ(chmod(ro.c_str(), 0444), 0);
    EXPECT_EQ(caught_message([&] { common_check_dest(ro); }),
              "Destination name specifies an existing read-only file.");
    EXPECT_EQ(caught_message([&] { common_check_dest(dir.file("none/out.xml")); }),
              "Destination path does not exist.\nPlease verify the correct path was given.");
    EXPECT_NO_THROW(common_check_dest(dir.file("new.xml")));
    EXPECT_EQ(caught_message([] { common_check_dest(""); }), "Destination name should specify a file, not folder.");
}

TEST(Destination, NamesOfMissingFilesCompareAsNormalisedPaths)
{
    scratch_dir dir;
    EXPECT_TRUE(tk_is_same_file(dir.file("new.xml"), dir.path() + "/sub/.././new.xml"));
    EXPECT_FALSE(tk_is_same_file(dir.file("new.xml"), dir.file("other.xml")));
}

// Two mounts of one folder are two paths to it without a link: a file not there yet is the
// same by both. The mount is made in a child process's own user and mount namespaces.
TEST(Destination, MissingFilesCompareByTheFolderTheyWouldBeCreatedIn)
{
    scratch_dir dir;
    const std::string a = dir.file("A");
    const std::string b = dir.file("B");
    ASSERT_EQ(mkdir(a.c_str(), 0700), 0);
    ASSERT_EQ(mkdir(b.c_str(), 0700), 0);
    const pid_t child = fork();
    if (child == 0) {
        if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0 ||
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount(a.c_str(), b.c_str(), nullptr, MS_BIND, nullptr) != 0)
            _exit(2);
        const bool same =
            tk_is_same_file(a + "/o.xml", b + "/o.xml") && tk_is_same_file(a + "/new/o.xml", b + "/new/o.xml");
        _exit(same && !tk_is_same_file(a + "/o.xml", b + "/p.xml") ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 2)
        GTEST_SKIP() << "no user and mount namespace for the test";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "one name in one folder mounted twice";
}

// Random paths through folders and links of every kind (relative, absolute, up, dangling,
// looping, chained): the file a path names for writing is the one open(O_CREAT) reaches.
TEST(Destination, FileWrittenByAPathIsTheOneTheKernelOpens)
{
    scratch_dir dir;
    char* real = realpath(dir.path().c_str(), nullptr);
    ASSERT_NE(real, nullptr);
    const std::string top = real;
    std::free(real);
    // Deep enough that no path climbs out of the scratch folder.
    std::string root = top;
    for (int level = 0; level < 8; ++level) {
        root += "/n";
        ASSERT_EQ(mkdir(root.c_str(), 0700), 0);
    }
    for (const char* folder : {"/a", "/a/b", "/a/b/c", "/d"})
        ASSERT_EQ(mkdir((root + folder).c_str(), 0700), 0);
    const std::vector<std::string> kept = {root + "/a/f.xml", root + "/d/g.xml"};
    for (const std::string& file : kept)
        write_file(file, "");
    const std::pair<std::string, std::string> links[] = {
        {"l1", "a/b"},          {"a/up", ".."},          {"a/b/sib", "../../d"},    {"d/abs", root + "/a/b/c"},
        {"a/b/c/dang", "../new.xml"}, {"d/dang2", "../a/b/sib/x.xml"}, {"a/loop1", "loop2"}, {"a/loop2", "loop1"},
        {"d/tofile", "../a/f.xml"}, {"a/b/deep", "c/../../up/../d"}, {"d/miss", "nope/y.xml"}, {"a/b/c/chain", "dang"}};
    for (const auto& [name, text] : links)
        ASSERT_EQ(symlink(text.c_str(), (root + "/" + name).c_str()), 0) << name;
    const std::vector<std::string> parts = {".", "..", "a", "b", "c", "d", "l1", "up", "sib", "abs", "dang", "dang2",
                                            "loop1", "tofile", "deep", "miss", "chain", "new.xml", "f.xml", "g.xml"};
    std::mt19937 rng(25);
    const tk_dir_changer in_a(root + "/a"); // relative paths start in a
    ASSERT_TRUE(in_a.entered);
    int opened = 0;
    for (int i = 0; i < 4000; ++i) {
        std::string path = rng() % 2 ? root : std::string();
        for (int n = 1 + static_cast<int>(rng() % 5); n > 0; --n)
            path += (path.empty() ? "" : "/") + parts[rng() % parts.size()];
        const std::string expected = file_written_by(path);
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT, 0600);
        if (fd < 0)
            continue;
        ++opened;
        char reached[PATH_MAX] = {};
        const std::string fd_link = "/proc/self/fd/" + std::to_string(fd);
        ASSERT_GT(readlink(fd_link.c_str(), reached, sizeof reached - 1), 0);
        close(fd);
        EXPECT_EQ(expected, reached) << path;
        ASSERT_EQ(std::string(reached).rfind(top + "/", 0), 0u) << reached;
        if (std::find(kept.begin(), kept.end(), reached) == kept.end())
            unlink(reached);
    }
    EXPECT_GT(opened, 400) << "too few paths reached a file";
}

TEST(Destination, ProposalKeepsTheOldFolderOrUsesTheProfileFolder)
{
    EXPECT_EQ(common_make_dest("/out/old.xml", "/in/paper.pdf", "xml", false), "/out/paper.xml");
    EXPECT_EQ(common_make_dest("/out/old.xml", "/in/paper.pdf", "xml", true), "/in/paper.pdf");

    scratch_dir home;
    const scoped_env home_env("HOME", home.path());
    const scoped_env config_env("XDG_CONFIG_HOME", home.file("cfg"));
    // The documents folder is taken as a name and replaced: the proposal lies in the profile folder.
    EXPECT_EQ(common_make_dest("", "/in/paper.pdf", "xml", false), home.path() + "/paper.xml");
    ASSERT_EQ(mkdir(home.file("cfg").c_str(), 0700), 0);
    write_file(home.file("cfg/user-dirs.dirs"), "XDG_DOCUMENTS_DIR=\"$HOME/Docs/Mine\"\n");
    EXPECT_EQ(common_make_dest("", "/in/paper.pdf", ".xml", false), home.path() + "/Docs/paper.xml");
}
