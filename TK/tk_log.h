// The trace log: one plain-text line per message, written through tk_log.
#pragma once

#include <string>

#include "TK/tk_singl.h"


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

// Whether a trace at this level is written: a logger exists, is enabled and the level
// reaches its threshold. The logger's file is truncated on this first use.
inline bool tk_log_wants(int level)
{
    if (!tk_singleton<tk_logger>::exists())
        return false;
    tk_logger& log = tk_singleton<tk_logger>::get_instance();
    if (!log.enabled)
        return false;
    if (!log.truncated)
        log.truncate_once();
    return level >= log.min_level;
}

// Writes one trace line; tk_log calls it when the level is wanted.
void tk_log_write(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));

// tk_log(level, format, ...): the printf-style trace. It writes only while a logger exists,
// is enabled and the level reaches its threshold, and never reports a failure; the
// arguments are not even formatted when nothing is written.
#define tk_log(level, ...) (tk_log_wants(level) ? tk_log_write((level), __VA_ARGS__) : (void)0)
