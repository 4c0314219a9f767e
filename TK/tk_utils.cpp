#include "TK/tk_utils.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <utility>

#include "TK/tk_fname.h"
#include "TK/tk_log.h"
#include "platform/plat_output_file.h"
#include "platform/plat_paths.h"

std::string tk_trim_left(const std::string& text)
{
    const size_t first = text.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : text.substr(first);
}

std::string tk_trim_right(const std::string& text)
{
    const size_t last = text.find_last_not_of(' ');
    if (last == std::string::npos) {
        if (!text.empty())
            tk_log(1, "Special processing for all-spaces-string");
        return std::string();
    }
    return text.substr(0, last + 1);
}

std::string tk_trim(const std::string& text)
{
    return tk_trim_left(tk_trim_right(text));
}

std::vector<std::string> tk_split(const std::string& text, char separator)
{
    std::vector<std::string> pieces;
    if (text.empty())
        return pieces;
    size_t start = 0;
    for (;;) {
        const size_t pos = text.find(separator, start);
        if (pos == std::string::npos) {
            pieces.push_back(text.substr(start));
            return pieces;
        }
        pieces.push_back(text.substr(start, pos - start));
        start = pos + 1;
    }
}

bool tk_is_file_exist(const std::string& path, int mode)
{
    tk_log(1, "tk_is_file_exist(%s)", path.c_str());
    // Non-blocking, so that a FIFO or device named here cannot hang the program.
    const int fd = open(path.c_str(), (mode == 1 ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        struct stat st {};
        // A file without any write permission bit is read-only even for root, who could
        // still open it for writing.
        const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                             (mode != 1 || (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0);
        close(fd);
        if (regular)
            return true;
    }
    tk_log(1, "File not exists!");
    return false;
}

bool tk_is_path_exist(const std::string& path)
{
    tk_log(1, "tk_is_path_exist(%s)", path.c_str());
    tk_dir_changer changer(path);
    return changer.entered;
}

std::string tk_get_module_path()
{
    std::string path;
    if (!plat_module_path(path))
        throw tk_mail_assertion("tk_utils.cpp", 203);
    return path;
}

std::string tk_get_module_dir()
{
    return tk_file_name(tk_get_module_path()).get_folder();
}

std::string tk_get_user_home_path()
{
    tk_log(1, "tk_get_user_home_path");
    std::string path;
    if (!plat_documents_dir(path)) {
        tk_log(2, "CreateFile error: %08X", static_cast<unsigned>(errno));
        return std::string();
    }
    tk_log(2, "Gor user's home: %s", path.c_str());
    return path;
}

std::string tk_get_appdata_path()
{
    std::string path;
    if (!plat_data_home(path)) {
        tk_log(2, "SHGetSpecialFolderLocation error: %08X", static_cast<unsigned>(errno));
        return std::string();
    }
    tk_log(2, "Gor appdata path: %s", path.c_str());
    return path;
}

tk_dir_changer::tk_dir_changer(const std::string& path)
{
    const std::string target = path.empty() ? tk_get_module_dir() : path;
    if (!plat_current_dir(saved_dir)) {
        entered = false;
        return;
    }
    entered = chdir(target.c_str()) == 0;
}

tk_dir_changer::~tk_dir_changer()
{
    if (entered && chdir(saved_dir.c_str()) != 0)
        tk_log(2, "tk_dir_changer: cannot return to %s", saved_dir.c_str());
}

std::string common_make_dest(const std::string& old_name, const std::string& src_name,
                             const std::string& ext, bool keep)
{
    tk_log(1, "common_make_dest(%s,%s,%s,%d)", old_name.c_str(), src_name.c_str(), ext.c_str(), keep);
    if (keep)
        return src_name;
    const tk_file_name src(src_name);
    const tk_file_name old(old_name);
    // On POSIX every non-empty name is fully qualified once made absolute.
    if (!old_name.empty()) {
        tk_log(1, "old_name - is a full qualified file name");
        tk_file_name result = old;
        result.name = src.name;
        result.set_ext(ext);
        return result.get_full_name();
    }
    tk_file_name result(tk_get_user_home_path());
    result.name = src.name;
    result.set_ext(ext);
    return result.get_full_name();
}

void common_check_dest(const std::string& dest)
{
    tk_log(1, "common_check_dest(%s)", dest.c_str());
    if (tk_is_path_exist(dest))
        throw tk_exception("Destination name should specify a file, not folder.", 1);
    if (tk_is_file_exist(dest, 0) && !tk_is_file_exist(dest, 1))
        throw tk_exception("Destination name specifies an existing read-only file.", 1);
    if (!tk_is_path_exist(tk_file_name(dest).get_folder()))
        throw tk_exception("Destination path does not exist.\nPlease verify the correct path was given.", 1);
}

namespace {

// The components of a path in order, without empty ones and ".".
std::vector<std::string> path_components(const std::string& path)
{
    std::vector<std::string> parts;
    for (std::string& part : tk_split(path, '/'))
        if (!part.empty() && part != ".")
            parts.push_back(std::move(part));
    return parts;
}

} // namespace

std::string file_written_by(const std::string& path)
{
    if (path.empty())
        return std::string();
    std::string folder = "/";
    if (path[0] != '/' && !plat_current_dir(folder))
        return std::string();
    // The components still to walk, the next one last.
    std::vector<std::string> pending = path_components(path);
    std::reverse(pending.begin(), pending.end());
    bool on_disk = true; // every component walked so far exists
    int links = 0;
    while (!pending.empty()) {
        const std::string part = std::move(pending.back());
        pending.pop_back();
        if (part == "..") {
            // The folder walked so far holds no links, so its parent is the one by name.
            folder.erase(std::max<size_t>(folder.rfind('/'), 1));
            continue;
        }
        const std::string next = (folder == "/" ? folder : folder + "/") + part;
        struct stat st {};
        const bool found = on_disk && lstat(next.c_str(), &st) == 0;
        if (found && S_ISLNK(st.st_mode)) {
            // The link's text is walked in its place, from the folder that holds the link.
            char text[PATH_MAX];
            const ssize_t n = readlink(next.c_str(), text, sizeof text);
            if (n <= 0 || static_cast<size_t>(n) >= sizeof text || ++links > 40)
                return std::string(); // no file: a loop, or a link that cannot be read
            if (text[0] == '/')
                folder = "/";
            const std::vector<std::string> target = path_components(std::string(text, static_cast<size_t>(n)));
            pending.insert(pending.end(), target.rbegin(), target.rend());
            continue;
        }
        // Past a missing folder nothing can be opened; the rest is taken by name, as it
        // would resolve once the folders were there.
        if (!found || (!S_ISDIR(st.st_mode) && !pending.empty()))
            on_disk = false;
        folder = next;
    }
    return folder;
}

namespace {

// Where writing a path reaches: the deepest existing folder on the way and the rest of the
// path below it (the file's name when its folder exists).
struct written_place {
    dev_t device = 0;
    ino_t inode = 0;
    std::string rest;
};

// False when no file can be reached.
bool place_written_by(const std::string& path, written_place& place)
{
    std::string folder = file_written_by(path);
    if (folder.empty())
        return false;
    std::string rest;
    for (;;) {
        const size_t slash = folder.rfind('/');
        rest = rest.empty() ? folder.substr(slash + 1) : folder.substr(slash + 1) + "/" + rest;
        folder.erase(std::max<size_t>(slash, 1));
        struct stat st {};
        if (stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            place = written_place{st.st_dev, st.st_ino, rest};
            return true;
        }
        if (folder == "/")
            return false;
    }
}

} // namespace

bool tk_is_same_file(const std::string& path1, const std::string& path2)
{
    if (path1.empty() || path2.empty())
        return false;
    struct stat st1 {};
    struct stat st2 {};
    if (stat(path1.c_str(), &st1) == 0 && stat(path2.c_str(), &st2) == 0)
        return st1.st_dev == st2.st_dev && st1.st_ino == st2.st_ino;
    // A folder may have several paths (two mounts of it): compared by the folder itself.
    written_place place1;
    written_place place2;
    return place_written_by(path1, place1) && place_written_by(path2, place2) && place1.device == place2.device &&
           place1.inode == place2.inode && place1.rest == place2.rest;
}

bool tk_is_standard_output(const std::string& path)
{
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0 && plat_is_standard_output(st);
}

bool tk_is_removable_output(const std::string& path)
{
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0 && plat_is_removable(st);
}

void common_check_dest_not_source(const std::string& dest, const std::string& src)
{
    tk_log(1, "common_check_dest_not_source(%s,%s)", dest.c_str(), src.c_str());
    if (tk_is_same_file(dest, src))
        throw tk_exception("Destination file is the same as the source file.", 1);
}
