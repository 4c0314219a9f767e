#include "TK/tk_except.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "TK/tk_log.h"

tk_exception::tk_exception(const std::string& text, int lvl)
    : message(text.empty() ? std::string("Unknown exception") : text), code(0), level(lvl)
{
}

tk_exception_ex::tk_exception_ex() : tk_exception("Unknown exception", 1)
{
    set_system_message(std::string());
}

void tk_exception_ex::set_system_message(const std::string& text)
{
    const int err = errno; // read before anything else can change it
    code = err;
    char buf[512];
    buf[0] = '\0';
    // GNU strerror_r returns the text, which may not live in buf.
    const char* sys = strerror_r(err, buf, sizeof buf);
    if (sys == nullptr || *sys == '\0')
        return;
    message = text + sys;
    tk_log(2, "GetLastError: %s", sys);
}

tk_mail_assertion::tk_mail_assertion(const char* file, int line)
    : tk_exception(make_text(file, line), 2)
{
    tk_log(2, "tk_mail_assertion::ctor(%s)", file ? file : "");
}

std::string tk_mail_assertion::make_text(const char* file, int line)
{
    // The file-and-line text is cut to 275 characters, as the original buffer held.
    char buf[276];
    std::snprintf(buf, sizeof buf, "%s\\%d", file ? file : "", line);
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (const char* p = buf; *p; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return "Internal error: \ncode=" + hex;
}

tk_final_exception::tk_final_exception()
{
    tk_log(2, "tk_final_exception::ctor");
}
