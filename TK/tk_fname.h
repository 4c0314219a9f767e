// A path split into drive, folder, base name and extension.
#pragma once

#include <string>

class tk_file_name {
public:
    explicit tk_file_name(const std::string& path);

    void initialize(const char* path);
    std::string get_full_name() const;
    void set_ext(const std::string& text);
    std::string get_folder() const;

    std::string ext;   // with its leading dot, or empty
    std::string drive; // always empty on POSIX
    std::string name;  // base name without extension
    std::string dir;   // folder with leading and trailing '/'
};
