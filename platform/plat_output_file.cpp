#include "platform/plat_output_file.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {

// The record the handlers read. It is written only while not armed.
plat_output_file unfinished;
std::atomic<bool> unfinished_armed{false};

// A standard stream as noted at start: its file, or none.
struct stream_file {
    bool open = false;
    dev_t device = 0;
    ino_t inode = 0;
};

stream_file standard_output_file;
stream_file standard_error_file;

stream_file file_of(int fd)
{
    struct stat st {};
    if (fstat(fd, &st) != 0)
        return stream_file();
    return stream_file{true, st.st_dev, st.st_ino};
}

bool is_file(const stream_file& stream, const struct stat& st)
{
    return stream.open && stream.device == st.st_dev && stream.inode == st.st_ino;
}

bool copy_name(char (&to)[PATH_MAX], const char* from)
{
    const size_t n = std::strlen(from);
    if (n >= PATH_MAX)
        return false;
    std::memcpy(to, from, n + 1);
    return true;
}

} // namespace

void plat_note_standard_streams()
{
    standard_output_file = file_of(1);
    standard_error_file = file_of(2);
}

bool plat_is_standard_output(const struct stat& st)
{
    return is_file(standard_output_file, st);
}

bool plat_is_standard_error(const struct stat& st)
{
    return is_file(standard_error_file, st);
}

bool plat_is_removable(const struct stat& st)
{
    return S_ISREG(st.st_mode) && !plat_is_standard_output(st) && !plat_is_standard_error(st);
}

plat_output_file plat_identify_output(int fd, const std::string& name)
{
    plat_output_file file;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !plat_is_removable(st) || !copy_name(file.name, name.c_str()))
        return file;
    char* resolved = realpath(name.c_str(), nullptr);
    if (resolved == nullptr)
        return file;
    const bool copied = copy_name(file.resolved, resolved);
    std::free(resolved);
    if (!copied)
        return file;
    file.removable = true;
    file.device = st.st_dev;
    file.inode = st.st_ino;
    return file;
}

bool plat_remove_output(const plat_output_file& file)
{
    if (!file.removable)
        return false;
    struct stat by_name {};
    struct stat at_path {};
    return stat(file.name, &by_name) == 0 && by_name.st_dev == file.device && by_name.st_ino == file.inode &&
           lstat(file.resolved, &at_path) == 0 && S_ISREG(at_path.st_mode) && at_path.st_dev == file.device &&
           at_path.st_ino == file.inode && unlink(file.resolved) == 0;
}

void plat_set_unfinished_output(const plat_output_file& file)
{
    unfinished_armed = false;
    unfinished = file;
    unfinished_armed = file.removable;
}

void plat_clear_unfinished_output()
{
    unfinished_armed = false;
}

bool plat_remove_unfinished_output()
{
    if (!unfinished_armed.exchange(false))
        return false;
    return plat_remove_output(unfinished);
}
