// The destination file a run writes, and the one rule for removing it when the run does
// not finish: only a regular file the run created or truncated, other than the standard
// output or standard error the process started with, and only while its name still leads
// to that file. The XML device and the signal handlers both remove through it.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <climits>
#include <string>

struct plat_output_file {
    // A regular file that is no standard stream by another name (devices, FIFOs and the
    // standard streams are never removed).
    bool removable = false;
    dev_t device = 0;
    ino_t inode = 0;
    char name[PATH_MAX] = {};     // the name it was opened by
    char resolved[PATH_MAX] = {}; // the same name with its links resolved when it was opened
};

// Notes which files descriptors 1 and 2 are (none when closed). Called first in main,
// before the program opens any file: a file opened later may get the number of a closed
// stream, and is no standard stream for that.
void plat_note_standard_streams();
// True when the file is the one standard output (descriptor 1) was when noted.
bool plat_is_standard_output(const struct stat& st);
// True when the file is the one standard error (descriptor 2) was when noted.
bool plat_is_standard_error(const struct stat& st);
// True when a destination that is the file may be removed: a regular file other than
// standard output and standard error (devices, FIFOs and those streams are never removed).
bool plat_is_removable(const struct stat& st);

// What the descriptor, opened by the name, writes to.
plat_output_file plat_identify_output(int fd, const std::string& name);

// Removes the file when it is removable and both its name and its resolved path still lead
// to it; false when nothing was removed. Async-signal-safe.
bool plat_remove_output(const plat_output_file& file);

// The process's unfinished destination, for the signal handlers: set while a run writes
// a file it would remove on failure, cleared once the file is complete or gone.
void plat_set_unfinished_output(const plat_output_file& file);
void plat_clear_unfinished_output();
// Removes the unfinished destination, if any. Async-signal-safe.
bool plat_remove_unfinished_output();
