// Small POSIX file helpers.
#pragma once

#include <string>

// Writes the whole text to the descriptor, resuming after interruptions and short writes.
bool plat_write_all(int fd, const std::string& text);
