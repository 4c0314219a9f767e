// The trace log: one plain-text line per message, written through tk_log.
#pragma once

#include <string>

#include "TK/tk_singl.h"

// printf-style trace; writes only while a logger exists, is enabled and the level
// reaches its threshold. Never reports a failure.
void tk_log(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));
// Whether tk_log at this level writes (with the same side effects): inner loops ask once
// and skip the formatting of their traces when nothing is written.
bool tk_log_wants(int level);

class tk_logger : public tk_singleton<tk_logger> {
public:
    // A null file name selects the default name (the program's path with ".log").
    tk_logger(const char* file, bool enabled, int min_level, bool timestamps);
    ~tk_logger() override = default;

    static std::string default_file_name();
    void set_file_name(const char* file);
    void truncate_once();

    // Every member has its value before the constructor body runs: working out the
    // default name traces, and that trace reaches this logger already.
    std::string file_name;
    int min_level = 3;
    bool add_crlf = true;
    bool enabled = false;
    bool truncated = false;
    bool timestamps = false;
};
