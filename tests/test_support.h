// Shared helpers of the test suites: scratch folders, files, and running tarnvik.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "pdf_writer.h"

// A fresh scratch folder, removed with its contents when the object goes away.
class scratch_dir {
public:
    scratch_dir();
    ~scratch_dir();
    scratch_dir(const scratch_dir&) = delete;
    scratch_dir& operator=(const scratch_dir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& data);
bool file_exists(const std::string& path);

struct run_result {
    int exit_code = -1000; // the shell's view: 255 for exit(-1)
    std::string out;
    std::string err;
};

// Runs the built tarnvik with the arguments, in the given folder (empty: the current one);
// with stdout_closed the program starts with its standard output closed.
run_result run_tarnvik(const std::vector<std::string>& args, const std::string& cwd = std::string(),
                       bool stdout_closed = false);

// The built tarnvik running beside the test; its standard streams go to files. A process
// not waited for is killed when the object goes away.
class tarnvik_process {
public:
    // in_child runs in the new process just before the program starts.
    explicit tarnvik_process(const std::vector<std::string>& args, const std::string& cwd = std::string(),
                             const std::function<void()>& in_child = nullptr);
    ~tarnvik_process();
    tarnvik_process(const tarnvik_process&) = delete;
    tarnvik_process& operator=(const tarnvik_process&) = delete;

    int pid() const { return pid_; }
    // Whether the program still runs (an ended one is reaped here).
    bool running();
    // Waits until the program ends.
    run_result wait();

private:
    scratch_dir io_;
    int pid_ = -1;
    bool ended_ = false;
    int status_ = 0;
};

// Runs xmllint --noout on the file; empty when it is well-formed, else xmllint's complaint.
std::string xmllint_errors(const std::string& path);

// Sets an environment variable for its lifetime and puts the old state back after.
class scoped_env {
public:
    scoped_env(const char* name, const std::string& value);
    ~scoped_env();
    scoped_env(const scoped_env&) = delete;
    scoped_env& operator=(const scoped_env&) = delete;

private:
    std::string name_;
    bool had_old_ = false;
    std::string old_value_;
};

// Saves the document in the folder, converts it with tarnvik and returns the XML; the
// run must exit with 0 and the XML must be well-formed.
std::string convert_to_xml(const scratch_dir& dir, const pdf_writer& w,
                           const std::vector<std::string>& extra_args = {});

// How often what stands in the text.
size_t count_of(const std::string& text, const std::string& what);

// Path of a corpus document, or empty when the corpus is not beside the checkout.
std::string corpus_file(const std::string& name);
