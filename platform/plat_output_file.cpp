#include "platform/plat_output_file.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {

// The record the handlers read. It is written only while not armed.
plat_output_file unfinished;
std::atomic<bool> unfinished_armed{false};

bool copy_name(char (&to)[PATH_MAX], const char* from)
{
    const size_t n = std::strlen(from);
    if (n >= PATH_MAX)
        return false;
    std::memcpy(to, from, n + 1);
    return true;
}

} // namespace

bool plat_is_standard_output(const struct stat& st)
{
    struct stat out {};
    return fstat(1, &out) == 0 && out.st_dev == st.st_dev && out.st_ino == st.st_ino;
}

bool plat_is_removable(const struct stat& st)
{
    return S_ISREG(st.st_mode) && !plat_is_standard_output(st);
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
