#include "TK/tk_log.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>

#include "TK/tk_fname.h"
#include "TK/tk_utils.h"

tk_logger::tk_logger(const char* file, bool enable, int level, bool stamps)
{
    file_name = file ? std::string(file) : default_file_name();
    min_level = level;
    enabled = enable;
    timestamps = stamps;
    if (enabled)
        truncate_once();
}

std::string tk_logger::default_file_name()
{
    tk_file_name name(tk_get_module_path());
    name.set_ext(".log");
    return name.get_full_name();
}

void tk_logger::set_file_name(const char* file)
{
    if (file == nullptr)
        throw tk_mail_assertion("tk_log.cpp", 82);
    file_name = file;
}

void tk_logger::truncate_once()
{
    if (!enabled || truncated)
        return;
    if (FILE* f = std::fopen(file_name.c_str(), "wb"))
        std::fclose(f);
    truncated = true;
}

void tk_log_write(int level, const char* format, ...)
{
    if (!tk_log_wants(level))
        return;
    tk_logger& log = tk_singleton<tk_logger>::get_instance();
    FILE* f = std::fopen(log.file_name.c_str(), "ab");
    if (f == nullptr)
        return;
    if (log.timestamps) {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        std::fprintf(f, "%02d:%02d:%02d ", local.tm_hour, local.tm_min, local.tm_sec);
    }
    va_list args;
    va_start(args, format);
    std::vfprintf(f, format, args);
    va_end(args);
    if (log.add_crlf)
        std::fputs("\r\n", f);
    std::fclose(f);
}
