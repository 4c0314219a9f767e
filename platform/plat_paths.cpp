#include "platform/plat_paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <vector>

bool plat_current_dir(std::string& out)
{
    std::vector<char> buf(4096);
    for (;;) {
        if (getcwd(buf.data(), buf.size()) != nullptr) {
            out = buf.data();
            return true;
        }
        if (errno != ERANGE || buf.size() > (1u << 20))
            return false;
        buf.resize(buf.size() * 2);
    }
}

bool plat_absolute_path(const std::string& path, std::string& out)
{
    std::string full;
    if (!path.empty() && path[0] == '/') {
        full = path;
    } else {
        if (!plat_current_dir(full))
            return false;
        full += '/';
        full += path;
    }
    // Fold "." and ".." and repeated separators; keep a trailing separator.
    std::vector<std::string> parts;
    std::string piece;
    for (size_t i = 0; i <= full.size(); ++i) {
        if (i == full.size() || full[i] == '/') {
            if (piece == "..") {
                if (!parts.empty())
                    parts.pop_back();
            } else if (!piece.empty() && piece != ".") {
                parts.push_back(piece);
            }
            piece.clear();
        } else {
            piece += full[i];
        }
    }
    const bool trailing = full.size() > 1 && (full.back() == '/' ||
                                             (full.size() >= 2 && full.compare(full.size() - 2, 2, "/.") == 0) ||
                                             (full.size() >= 3 && full.compare(full.size() - 3, 3, "/..") == 0));
    out.clear();
    for (const std::string& p : parts)
        out += "/" + p;
    if (out.empty() || trailing)
        out += '/';
    return true;
}

bool plat_module_path(std::string& out)
{
    std::vector<char> buf(4096);
    const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0)
        return false;
    out.assign(buf.data(), static_cast<size_t>(n));
    return true;
}

bool plat_home_dir(std::string& out)
{
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0') {
        out = home;
        return true;
    }
    if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr && *pw->pw_dir) {
        out = pw->pw_dir;
        return true;
    }
    return false;
}

static std::string strip_trailing_slashes(std::string p)
{
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    return p;
}

bool plat_documents_dir(std::string& out)
{
    std::string home;
    if (!plat_home_dir(home))
        return false;
    std::string config;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg == '/')
        config = xdg;
    else
        config = home + "/.config";
    // user-dirs.dirs holds lines such as XDG_DOCUMENTS_DIR="$HOME/Documents".
    std::ifstream in(config + "/user-dirs.dirs");
    std::string line;
    const std::string key = "XDG_DOCUMENTS_DIR=\"";
    while (std::getline(in, line)) {
        if (line.compare(0, key.size(), key) != 0)
            continue;
        std::string value = line.substr(key.size());
        const size_t end = value.rfind('"');
        if (end == std::string::npos)
            break;
        value.resize(end);
        if (value.compare(0, 5, "$HOME") == 0)
            value = home + value.substr(5);
        if (!value.empty() && value[0] == '/') {
            out = strip_trailing_slashes(value);
            return true;
        }
        break;
    }
    out = strip_trailing_slashes(home) + "/Documents";
    return true;
}

bool plat_data_home(std::string& out)
{
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg == '/') {
        out = strip_trailing_slashes(xdg);
        return true;
    }
    std::string home;
    if (!plat_home_dir(home))
        return false;
    out = strip_trailing_slashes(home) + "/.local/share";
    return true;
}
