// The exceptions that carry every reported failure.
#pragma once

#include <exception>
#include <string>

class tk_exception : public std::exception {
public:
    tk_exception(const std::string& text, int level);
    ~tk_exception() override = default;
    const char* what() const noexcept override { return message.c_str(); }

    std::string message;
    int code = 0;
    int level = 1; // 2 internal error, 1 error, 0 error the user may continue from
};

// A level-1 error described by the calling thread's last error (errno).
class tk_exception_ex : public tk_exception {
public:
    tk_exception_ex();
    void set_system_message(const std::string& text);
};

// An internal error: a broken precondition, identified by source file text and line.
class tk_mail_assertion : public tk_exception {
public:
    tk_mail_assertion(const char* file, int line);
    static std::string make_text(const char* file, int line);
};

// Ends the current run without a further message.
class tk_final_exception : public std::exception {
public:
    tk_final_exception();
    const char* what() const noexcept override { return "Unknown exception"; }
};
