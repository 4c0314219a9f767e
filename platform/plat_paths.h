// POSIX stand-ins for the Windows path services.
#pragma once

#include <string>

// The path made absolute against the current folder, with "." and ".." folded
// textually (symbolic links are kept). False when the current folder is unknown.
bool plat_absolute_path(const std::string& path, std::string& out);

// Full path of the running program; false when it cannot be read.
bool plat_module_path(std::string& out);

// The user's documents folder (xdg-user-dirs, default $HOME/Documents), no trailing slash.
bool plat_documents_dir(std::string& out);

// The user's data folder ($XDG_DATA_HOME, default $HOME/.local/share), no trailing slash.
bool plat_data_home(std::string& out);

// The user's home folder ($HOME, else the password database).
bool plat_home_dir(std::string& out);

// The current folder; false when it cannot be read.
bool plat_current_dir(std::string& out);
