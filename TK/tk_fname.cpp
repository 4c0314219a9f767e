#include "TK/tk_fname.h"

#include "TK/tk_log.h"
#include "TK/tk_utils.h"
#include "platform/plat_paths.h"

tk_file_name::tk_file_name(const std::string& path)
{
    tk_log(1, "tk_file_name::ctor(%s)", path.c_str());
    initialize(path.c_str());
}

void tk_file_name::initialize(const char* path)
{
    tk_log(1, "tk_file_name::initialize");
    if (path == nullptr)
        throw tk_mail_assertion("tk_fname.cpp", 32);
    const std::string input(path);
    std::string full;
    if (input.empty())
        full = tk_get_module_path();
    else if (!plat_absolute_path(input, full))
        throw tk_mail_assertion("tk_fname.cpp", 40);

    const size_t slash = full.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string("/") : full.substr(0, slash + 1);
    const std::string file = slash == std::string::npos ? full : full.substr(slash + 1);
    const size_t dot = file.rfind('.');
    const std::string base = dot == std::string::npos ? file : file.substr(0, dot);
    const std::string extension = dot == std::string::npos ? std::string() : file.substr(dot);
    tk_log(1, "drive=%s, path=%s, name=%s, ext=%s", "", folder.c_str(), base.c_str(), extension.c_str());

    drive.clear();
    dir = folder;
    ext = extension;
    name = input.empty() ? std::string() : base;
}

std::string tk_file_name::get_full_name() const
{
    std::string full = drive + dir + name;
    if (!ext.empty()) {
        if (ext[0] != '.')
            full += '.';
        full += ext;
    }
    return full;
}

void tk_file_name::set_ext(const std::string& text)
{
    ext = (!text.empty() && text[0] != '.') ? "." + text : text;
}

std::string tk_file_name::get_folder() const
{
    return drive + dir;
}
