#include "TK/tk_error.h"

#include "TK/tk_log.h"

tk_error_converter::tk_error_converter()
{
    tk_log(2, "tk_error_converter::empty ctor");
}

std::string tk_error_converter::convert(int code) const
{
    tk_log(2, "tk_error_converter::convert(%d)", code);
    const auto it = messages.find(static_cast<unsigned>(code));
    if (it != messages.end()) {
        tk_log(1, "Error message has been found: %s", it->second.c_str());
        return it->second;
    }
    tk_log(1, "Error message not found!");
    return std::string();
}

error_handler::error_handler()
{
    tk_log(2, "error_handler::empty ctor");
}

std::string error_handler::make_message(const tk_exception& e) const
{
    std::string message = prefix.empty() ? std::string() : prefix + ": ";
    const std::string table_text = converter.convert(e.code);
    message += table_text.empty() ? std::string(e.what()) : table_text;
    return message;
}
