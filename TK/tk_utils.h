// Strings, file tests, program and user folders, destination checks.
#pragma once

#include <string>
#include <vector>

std::string tk_trim_left(const std::string& text);
std::string tk_trim_right(const std::string& text);
std::string tk_trim(const std::string& text);
std::vector<std::string> tk_split(const std::string& text, char separator);

// True when the path names a file that can be opened now for reading (mode other than 1)
// or for reading and writing (mode 1). Folders and other non-regular files count as absent.
bool tk_is_file_exist(const std::string& path, int mode);
// True when the folder can be entered.
bool tk_is_path_exist(const std::string& path);

std::string tk_get_module_path();
std::string tk_get_module_dir();
std::string tk_get_user_home_path();
std::string tk_get_appdata_path();

// Changes the current folder for its lifetime (empty path: the program's folder).
class tk_dir_changer {
public:
    explicit tk_dir_changer(const std::string& path);
    ~tk_dir_changer();
    tk_dir_changer(const tk_dir_changer&) = delete;
    tk_dir_changer& operator=(const tk_dir_changer&) = delete;

    bool entered = false;
    std::string saved_dir;
};

std::string common_make_dest(const std::string& old_name, const std::string& src_name,
                             const std::string& ext, bool keep);
// Throws a level-1 tk_exception when the destination cannot be written.
void common_check_dest(const std::string& dest);
// The absolute path, free of links, of the file that opening the path for writing reaches,
// walked as the kernel walks it: component by component, a ".." after a link taken from
// the link's target, a dangling final link followed to where it would create its file,
// a relative link text taken from the link's real folder. Past a missing folder the rest
// is taken by name. Empty when no file can be reached (a link loop).
std::string file_written_by(const std::string& path);
// True when both names reach the same file: the same device and inode when both exist,
// else the same name in the same folder (device and inode) that writing would reach
// (file_written_by).
bool tk_is_same_file(const std::string& path1, const std::string& path2);
// True when the path reaches the file the process's standard output was when the program
// started (plat_is_standard_output).
bool tk_is_standard_output(const std::string& path);
// True when the path reaches a destination that may be removed (plat_is_removable).
bool tk_is_removable_output(const std::string& path);
// Throws a level-1 tk_exception when the destination names the source file.
void common_check_dest_not_source(const std::string& dest, const std::string& src);
