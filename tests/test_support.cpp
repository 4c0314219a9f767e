#include "test_support.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <gtest/gtest.h>

scratch_dir::scratch_dir()
{
    std::string tmpl = (std::filesystem::temp_directory_path() / "tarnvik-test-XXXXXX").string();
    if (mkdtemp(tmpl.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

scratch_dir::~scratch_dir()
{
    std::error_code ec;
    // TEST_PDF_KEEP_DIR names a folder that keeps a copy of every PDF a test made (the
    // output identity check converts them with two builds).
    if (const char* keep = std::getenv("TEST_PDF_KEEP_DIR")) {
        static int kept = 0;
        for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
            if (it->is_regular_file() && it->path().extension() == ".pdf")
                std::filesystem::copy_file(it->path(),
                                           std::string(keep) + "/" + std::to_string(getpid()) + "-" +
                                               std::to_string(++kept) + "-" + it->path().filename().string(),
                                           ec);
        ec.clear();
    }
    // Give back write permission to anything a test made read-only, then remove.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

std::string read_file(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

void write_file(const std::string& path, const std::string& data)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << data;
}

bool file_exists(const std::string& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

tarnvik_process::tarnvik_process(const std::vector<std::string>& args, const std::string& cwd,
                                 const std::function<void()>& in_child)
{
    const std::string out_path = io_.file("out");
    const std::string err_path = io_.file("err");
    pid_ = fork();
    if (pid_ == 0) {
        if (!cwd.empty() && chdir(cwd.c_str()) != 0)
            _exit(120);
        const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(out, 1);
        dup2(err, 2);
        if (in_child)
            in_child();
        std::vector<char*> argv;
        std::string program = TARNVIK_BINARY;
        argv.push_back(program.data());
        std::vector<std::string> copy(args);
        for (std::string& a : copy)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(121);
    }
    if (pid_ < 0)
        throw std::runtime_error("fork failed");
}

tarnvik_process::~tarnvik_process()
{
    if (!ended_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status_, 0);
    }
}

bool tarnvik_process::running()
{
    if (!ended_ && waitpid(pid_, &status_, WNOHANG) == pid_)
        ended_ = true;
    return !ended_;
}

run_result tarnvik_process::wait()
{
    if (!ended_) {
        waitpid(pid_, &status_, 0);
        ended_ = true;
    }
    run_result r;
    r.exit_code = WIFEXITED(status_) ? WEXITSTATUS(status_) : 1000 + WTERMSIG(status_);
    r.out = read_file(io_.file("out"));
    r.err = read_file(io_.file("err"));
    return r;
}

run_result run_tarnvik(const std::vector<std::string>& args, const std::string& cwd, bool stdout_closed)
{
    tarnvik_process program(args, cwd, [stdout_closed] {
        if (stdout_closed)
            close(1);
    });
    return program.wait();
}

std::string xmllint_errors(const std::string& path)
{
    scratch_dir io;
    const std::string cmd = "xmllint --noout '" + path + "' > '" + io.file("lint") + "' 2>&1";
    const int rc = std::system(cmd.c_str());
    if (rc == 0)
        return std::string();
    const std::string text = read_file(io.file("lint"));
    return text.empty() ? "xmllint failed" : text;
}

std::string corpus_file(const std::string& name)
{
    const std::string path = std::string(TEST_CORPUS_DIR) + "/" + name;
    return file_exists(path) ? path : std::string();
}

scoped_env::scoped_env(const char* name, const std::string& value) : name_(name)
{
    if (const char* old = std::getenv(name)) {
        had_old_ = true;
        old_value_ = old;
    }
    setenv(name, value.c_str(), 1);
}

scoped_env::~scoped_env()
{
    if (had_old_)
        setenv(name_.c_str(), old_value_.c_str(), 1);
    else
        unsetenv(name_.c_str());
}

std::string convert_to_xml(const scratch_dir& dir, const pdf_writer& w, const std::vector<std::string>& extra_args)
{
    const std::string src = dir.file("doc.pdf");
    const std::string dest = dir.file("doc.xml");
    EXPECT_TRUE(w.save(src));
    std::vector<std::string> args = {"--src=" + src, "--dest=" + dest};
    args.insert(args.end(), extra_args.begin(), extra_args.end());
    const run_result r = run_tarnvik(args);
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(xmllint_errors(dest), "");
    return read_file(dest);
}

size_t count_of(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1))
        ++n;
    return n;
}
