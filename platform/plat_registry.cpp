#include "platform/plat_registry.h"
#include "platform/plat_io.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <set>
#include <vector>

#include "platform/plat_paths.h"

struct plat_reg_key {
    std::string file;    // empty for the predefined root
    std::string section; // "HKEY_CURRENT_USER\Software\..."
};

namespace {

plat_reg_key current_user_root;

// Open handles, so that a stale or foreign handle is refused instead of followed.
std::mutex registry_mutex;
std::set<const plat_reg_key*> live_keys;

const char* const header_line = "Windows Registry Editor Version 5.00";
const char* const old_header_line = "REGEDIT4";

struct reg_value {
    std::string name; // empty: the key's default value, written as @
    DWORD type = REG_NONE;
    std::string data;
};

// One line (or continued lines) of a section: a value understood, or text kept as it was.
struct reg_entry {
    bool is_value = false;
    reg_value value;
    std::string raw;
};

struct reg_section {
    std::string header; // the whole "[...]" line as read or made
    std::string path;   // the text between the brackets
    std::vector<reg_entry> entries;
};

struct reg_document {
    bool exists = false;  // a file is there
    bool foreign = false; // it is there but is not a registry file we can read
    std::vector<std::string> preamble;
    std::vector<reg_section> sections;
};

bool same_text(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z')
            x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string trim_right(const std::string& s)
{
    size_t end = s.size();
    while (end > 0 && (s[end - 1] == ' ' || s[end - 1] == '\t' || s[end - 1] == '\r'))
        --end;
    return s.substr(0, end);
}

size_t skip_blanks(const std::string& s, size_t pos)
{
    while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t'))
        ++pos;
    return pos;
}

// A quoted text starting at pos (on the opening quote) with \\ and \" escapes.
bool parse_quoted(const std::string& s, size_t& pos, std::string& out)
{
    if (pos >= s.size() || s[pos] != '"')
        return false;
    out.clear();
    for (size_t i = pos + 1; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '"') {
            pos = i + 1;
            return true;
        }
        if (c == '\\') {
            if (i + 1 >= s.size() || (s[i + 1] != '\\' && s[i + 1] != '"'))
                return false;
            out += s[++i];
        } else {
            out += c;
        }
    }
    return false;
}

// "hex:" or "hex(N):" bytes, continued lines already joined (their "\" and line break removed).
bool parse_hex_bytes(const std::string& s, size_t pos, std::string& out)
{
    out.clear();
    pos = skip_blanks(s, pos);
    if (pos >= s.size())
        return true;
    for (;;) {
        pos = skip_blanks(s, pos);
        if (pos + 1 >= s.size())
            return false;
        const int hi = hex_digit(s[pos]);
        const int lo = hex_digit(s[pos + 1]);
        if (hi < 0 || lo < 0)
            return false;
        if (out.size() >= plat_reg_max_value_size)
            return false;
        out += static_cast<char>(hi * 16 + lo);
        pos = skip_blanks(s, pos + 2);
        if (pos >= s.size())
            return true;
        if (s[pos] != ',')
            return false;
        ++pos;
    }
}

// One value line: "name"=data or @=data. False when the line is not understood.
bool parse_value_line(const std::string& line, reg_value& value)
{
    size_t pos = 0;
    if (line.empty())
        return false;
    if (line[0] == '@') {
        value.name.clear();
        pos = 1;
    } else if (!parse_quoted(line, pos, value.name) || value.name.empty()) {
        return false;
    }
    pos = skip_blanks(line, pos);
    if (pos >= line.size() || line[pos] != '=')
        return false;
    pos = skip_blanks(line, pos + 1);
    const std::string rest = line.substr(pos);
    if (!rest.empty() && rest[0] == '"') {
        size_t p = 0;
        std::string text;
        if (!parse_quoted(rest, p, text) || skip_blanks(rest, p) != rest.size())
            return false;
        if (text.size() >= plat_reg_max_value_size)
            return false;
        value.type = REG_SZ;
        value.data = text + '\0';
        return true;
    }
    if (rest.compare(0, 6, "dword:") == 0) {
        const std::string digits = trim_right(rest.substr(6));
        if (digits.empty() || digits.size() > 8)
            return false;
        DWORD number = 0;
        for (const char c : digits) {
            const int d = hex_digit(c);
            if (d < 0)
                return false;
            number = number * 16 + static_cast<DWORD>(d);
        }
        value.type = REG_DWORD;
        value.data.assign(4, '\0');
        for (int i = 0; i < 4; ++i)
            value.data[i] = static_cast<char>((number >> (8 * i)) & 0xFF);
        return true;
    }
    if (rest.compare(0, 4, "hex:") == 0) {
        value.type = REG_BINARY;
        return parse_hex_bytes(rest, 4, value.data);
    }
    if (rest.compare(0, 4, "hex(") == 0) {
        const size_t close = rest.find("):", 4);
        if (close == std::string::npos || close == 4 || close > 12)
            return false;
        DWORD type = 0;
        for (size_t i = 4; i < close; ++i) {
            const int d = hex_digit(rest[i]);
            if (d < 0)
                return false;
            type = type * 16 + static_cast<DWORD>(d);
        }
        value.type = type;
        return parse_hex_bytes(rest, close + 2, value.data);
    }
    return false;
}

// Splits the file text into logical lines: line breaks of either style, and a line ending
// in a backslash joined with the next (the continuation of hex data).
std::vector<std::pair<std::string, std::string>> logical_lines(const std::string& text)
{
    // Each entry: the joined text (continuations removed) and the raw text as read.
    std::vector<std::pair<std::string, std::string>> lines;
    std::string joined, raw;
    bool continuing = false;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        start = end + 1;
        const std::string trimmed = trim_right(line);
        if (continuing) {
            raw += '\n' + line;
            joined += trimmed.substr(skip_blanks(trimmed, 0));
        } else {
            raw = line;
            joined = trimmed;
        }
        if (!joined.empty() && joined.back() == '\\' && start < text.size()) {
            joined.pop_back();
            continuing = true;
            continue;
        }
        continuing = false;
        lines.emplace_back(joined, raw);
    }
    if (continuing)
        lines.emplace_back(joined, raw);
    return lines;
}

reg_document parse_document(const std::string& text)
{
    reg_document doc;
    doc.exists = true;
    if (text.find('\0') != std::string::npos) {
        doc.foreign = true;
        return doc;
    }
    std::string body = text;
    if (body.compare(0, 3, "\xEF\xBB\xBF") == 0)
        body.erase(0, 3);
    const auto lines = logical_lines(body);
    size_t i = 0;
    while (i < lines.size() && lines[i].first.empty())
        ++i;
    if (i >= lines.size() || (lines[i].first != header_line && lines[i].first != old_header_line)) {
        doc.foreign = true;
        return doc;
    }
    for (++i; i < lines.size(); ++i) {
        const std::string& line = lines[i].first;
        if (line.empty())
            continue;
        if (line[0] == '[' && line.back() == ']') {
            reg_section section;
            section.header = line;
            section.path = line.substr(1, line.size() - 2);
            doc.sections.push_back(section);
            continue;
        }
        reg_entry entry;
        entry.is_value = parse_value_line(line, entry.value);
        if (!entry.is_value)
            entry.raw = lines[i].second;
        if (doc.sections.empty())
            doc.preamble.push_back(lines[i].second);
        else
            doc.sections.back().entries.push_back(entry);
    }
    return doc;
}

bool valid_utf8_text(const std::string& s)
{
    size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x20 || c == 0x7F)
            return false;
        int more = 0;
        unsigned cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            more = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            more = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            more = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + more >= s.size())
            return false;
        for (int k = 1; k <= more; ++k) {
            const unsigned char d = static_cast<unsigned char>(s[i + k]);
            if ((d & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        static const unsigned min_cp[] = {0, 0x80, 0x800, 0x10000};
        if (cp < min_cp[more] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += static_cast<size_t>(more) + 1;
    }
    return true;
}

std::string quote(const std::string& s)
{
    std::string out = "\"";
    for (const char c : s) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    return out + '"';
}

std::string format_value(const reg_value& v)
{
    std::string line = v.name.empty() ? std::string("@") : quote(v.name);
    line += '=';
    if (v.type == REG_SZ && !v.data.empty() && v.data.back() == '\0' &&
        valid_utf8_text(v.data.substr(0, v.data.size() - 1)))
        return line + quote(v.data.substr(0, v.data.size() - 1));
    if (v.type == REG_DWORD && v.data.size() == 4) {
        DWORD number = 0;
        for (int i = 3; i >= 0; --i)
            number = (number << 8) | static_cast<unsigned char>(v.data[i]);
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x", number);
        return line + buf;
    }
    if (v.type == REG_BINARY) {
        line += "hex:";
    } else {
        char buf[24];
        std::snprintf(buf, sizeof buf, "hex(%x):", v.type);
        line += buf;
    }
    static const char digits[] = "0123456789abcdef";
    for (size_t i = 0; i < v.data.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(v.data[i]);
        line += digits[c >> 4];
        line += digits[c & 15];
        if (i + 1 < v.data.size()) {
            line += ',';
            if ((i + 1) % 24 == 0)
                line += "\\\n  ";
        }
    }
    return line;
}

std::string format_document(const reg_document& doc)
{
    std::string out = std::string(header_line) + "\n\n";
    for (const std::string& line : doc.preamble)
        out += line + "\n";
    if (!doc.preamble.empty())
        out += "\n";
    for (const reg_section& section : doc.sections) {
        out += section.header + "\n";
        for (const reg_entry& entry : section.entries)
            out += (entry.is_value ? format_value(entry.value) : entry.raw) + "\n";
        out += "\n";
    }
    return out;
}

LONG error_of(int err)
{
    switch (err) {
    case EACCES:
    case EPERM:
    case EROFS:
        return ERROR_ACCESS_DENIED;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    default:
        return ERROR_CANTWRITE;
    }
}

// Reads the file; a missing file gives an empty document, anything unreadable a foreign one.
reg_document load_document(const std::string& file)
{
    reg_document doc;
    const int fd = open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        // A missing file, or a missing folder on its path, is no file; anything else that
        // cannot be opened is there but unreadable.
        struct stat st {};
        if ((errno != ENOENT && errno != ENOTDIR) || lstat(file.c_str(), &st) == 0) {
            doc.exists = true;
            doc.foreign = true;
        }
        return doc;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0 ||
        static_cast<unsigned long long>(st.st_size) > plat_reg_max_file_size) {
        close(fd);
        doc.exists = true;
        doc.foreign = true;
        return doc;
    }
    std::string text;
    char buf[8192];
    for (;;) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 || text.size() + static_cast<size_t>(n) > plat_reg_max_file_size) {
            close(fd);
            doc.exists = true;
            doc.foreign = true;
            return doc;
        }
        if (n == 0)
            break;
        text.append(buf, static_cast<size_t>(n));
    }
    close(fd);
    return parse_document(text);
}

// Makes the folder and any missing folder above it, each private to the user.
bool make_folder(const std::string& path)
{
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return true;
        errno = ENOTDIR;
        return false;
    }
    const size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0 && !make_folder(path.substr(0, slash)))
        return false;
    if (mkdir(path.c_str(), 0700) == 0)
        return true;
    return errno == EEXIST && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Replaces the file with the document: a temporary file beside it, written, flushed to disk
// and renamed over it. A foreign file that is replaced is kept as "<file>.damaged".
LONG save_document(const std::string& file_path, const reg_document& doc)
{
    std::string file = file_path;
    struct stat lst {};
    if (lstat(file.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
        // A linked settings file is written where the link points.
        char resolved[PATH_MAX];
        if (realpath(file.c_str(), resolved) != nullptr)
            file = resolved;
    }
    const size_t slash = file.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string(".") : file.substr(0, slash + 1);
    std::string tmpl = dir + ".reg-XXXXXX";
    const int fd = mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd < 0)
        return error_of(errno);
    const std::string text = format_document(doc);
    bool ok = fchmod(fd, 0600) == 0 && plat_write_all(fd, text) && fsync(fd) == 0;
    const int write_err = errno;
    if (close(fd) != 0)
        ok = false;
    if (!ok) {
        unlink(tmpl.c_str());
        return error_of(write_err);
    }
    if (doc.exists && doc.foreign) {
        const std::string aside = file + ".damaged";
        if (link(file.c_str(), aside.c_str()) != 0 && errno == EEXIST) {
            unlink(aside.c_str());
            if (link(file.c_str(), aside.c_str()) != 0 && errno != ENOENT) {
                unlink(tmpl.c_str());
                return ERROR_CANTWRITE;
            }
        }
    }
    if (rename(tmpl.c_str(), file.c_str()) != 0) {
        const int err = errno;
        unlink(tmpl.c_str());
        return error_of(err);
    }
    const int dfd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        fsync(dfd);
        close(dfd);
    }
    return ERROR_SUCCESS;
}

reg_section* find_section(reg_document& doc, const std::string& path)
{
    for (reg_section& section : doc.sections)
        if (same_text(section.path, path))
            return &section;
    return nullptr;
}

const reg_value* find_value(reg_section& section, const std::string& name)
{
    const reg_value* found = nullptr;
    for (const reg_entry& entry : section.entries)
        if (entry.is_value && same_text(entry.value.name, name))
            found = &entry.value; // the last one wins, as on import
    return found;
}

bool config_home(std::string& out)
{
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        out = xdg;
        return true;
    }
    std::string home;
    if (!plat_home_dir(home) || home.empty())
        return false;
    out = home + "/.config";
    return true;
}

bool valid_key_part(const std::string& part)
{
    if (part.empty() || part == "." || part == ".." || part.size() > 255)
        return false;
    for (const char c : part) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || c == '/' || c == '[' || c == ']')
            return false;
    }
    return true;
}

// Holds the product folder's advisory lock, so that the read, change and replace of the
// file by one program is not interleaved with another's. Without the folder there is no lock.
class folder_lock {
public:
    explicit folder_lock(const std::string& file)
    {
        fd = open(file.substr(0, file.rfind('/')).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0)
            while (flock(fd, LOCK_EX) != 0 && errno == EINTR) {
            }
    }
    ~folder_lock()
    {
        if (fd >= 0)
            close(fd); // releases the lock
    }
    folder_lock(const folder_lock&) = delete;
    folder_lock& operator=(const folder_lock&) = delete;

private:
    int fd = -1;
};

bool is_live(HKEY key)
{
    return key != nullptr && key != HKEY_CURRENT_USER && live_keys.count(key) != 0;
}

} // namespace

const HKEY HKEY_CURRENT_USER = &current_user_root;

bool plat_reg_file_of(const std::string& subkey, std::string& file, std::string& section)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t pos = subkey.find('\\', start);
        parts.push_back(subkey.substr(start, pos == std::string::npos ? std::string::npos : pos - start));
        if (pos == std::string::npos)
            break;
        start = pos + 1;
    }
    if (parts.size() < 3 || !same_text(parts[0], "Software"))
        return false;
    section = "HKEY_CURRENT_USER";
    for (const std::string& part : parts) {
        if (!valid_key_part(part))
            return false;
        section += '\\' + part;
    }
    std::string home;
    if (!config_home(home))
        return false;
    file = home + "/" + parts[1] + "/" + parts[2] + ".reg";
    return true;
}

LONG plat_reg_create_key(HKEY root, const char* subkey, char* /*key_class*/, DWORD /*options*/,
                         REGSAM /*access*/, SECURITY_ATTRIBUTES* /*security*/, HKEY* result, DWORD* disposition)
{
    if (result == nullptr || subkey == nullptr)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(registry_mutex);
    if (root != HKEY_CURRENT_USER)
        return ERROR_INVALID_HANDLE;
    std::string file, section;
    if (!plat_reg_file_of(subkey, file, section))
        return ERROR_ACCESS_DENIED;

    if (!make_folder(file.substr(0, file.rfind('/'))))
        return error_of(errno);
    folder_lock locked(file);
    reg_document doc = load_document(file);
    DWORD how = REG_OPENED_EXISTING_KEY;
    if (doc.foreign) {
        // Left as it is until a value is written.
        how = REG_CREATED_NEW_KEY;
    } else if (find_section(doc, section) == nullptr) {
        how = REG_CREATED_NEW_KEY;
        reg_section fresh;
        fresh.path = section;
        fresh.header = "[" + section + "]";
        doc.sections.push_back(fresh);
        const LONG rc = save_document(file, doc);
        if (rc != ERROR_SUCCESS)
            return rc;
    }
    auto* key = new (std::nothrow) plat_reg_key{file, section};
    if (key == nullptr)
        return ERROR_NOT_ENOUGH_MEMORY;
    live_keys.insert(key);
    *result = key;
    if (disposition != nullptr)
        *disposition = how;
    return ERROR_SUCCESS;
}

LONG plat_reg_close_key(HKEY key)
{
    std::lock_guard<std::mutex> lock(registry_mutex);
    if (key == HKEY_CURRENT_USER)
        return ERROR_SUCCESS;
    if (!is_live(key))
        return ERROR_INVALID_HANDLE;
    live_keys.erase(key);
    delete key;
    return ERROR_SUCCESS;
}

LONG plat_reg_query_value(HKEY key, const char* name, DWORD* type, unsigned char* data, DWORD* size)
{
    std::lock_guard<std::mutex> lock(registry_mutex);
    if (!is_live(key))
        return ERROR_INVALID_HANDLE;
    if (data != nullptr && size == nullptr)
        return ERROR_INVALID_PARAMETER;
    reg_document doc = load_document(key->file);
    if (doc.foreign)
        return ERROR_FILE_NOT_FOUND;
    reg_section* section = find_section(doc, key->section);
    const reg_value* value = section == nullptr ? nullptr : find_value(*section, name ? name : "");
    if (value == nullptr)
        return ERROR_FILE_NOT_FOUND;
    if (type != nullptr)
        *type = value->type;
    const DWORD stored = static_cast<DWORD>(value->data.size());
    if (data == nullptr) {
        if (size != nullptr)
            *size = stored;
        return ERROR_SUCCESS;
    }
    if (*size < stored) {
        *size = stored;
        return ERROR_MORE_DATA;
    }
    if (stored > 0)
        std::memcpy(data, value->data.data(), stored);
    *size = stored;
    return ERROR_SUCCESS;
}

LONG plat_reg_set_value(HKEY key, const char* name, DWORD type, const unsigned char* data, DWORD size)
{
    std::lock_guard<std::mutex> lock(registry_mutex);
    if (!is_live(key))
        return ERROR_INVALID_HANDLE;
    const std::string value_name = name ? name : "";
    if ((data == nullptr && size != 0) || size > plat_reg_max_value_size || value_name.size() > 16383)
        return ERROR_INVALID_PARAMETER;
    for (const char c : value_name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return ERROR_INVALID_PARAMETER; // would break the line it is written on

    if (!make_folder(key->file.substr(0, key->file.rfind('/'))))
        return error_of(errno);
    folder_lock locked(key->file);
    reg_document doc = load_document(key->file);
    reg_document fresh;
    if (doc.foreign) {
        fresh.exists = true;
        fresh.foreign = true; // the old file is moved aside by the save
    } else {
        fresh = doc;
    }
    reg_section* section = find_section(fresh, key->section);
    if (section == nullptr) {
        reg_section added;
        added.path = key->section;
        added.header = "[" + key->section + "]";
        fresh.sections.push_back(added);
        section = &fresh.sections.back();
    }
    reg_value value;
    value.name = value_name;
    value.type = type;
    if (size > 0)
        value.data.assign(reinterpret_cast<const char*>(data), size);

    bool placed = false;
    auto& entries = section->entries;
    for (size_t i = 0; i < entries.size();) {
        if (entries[i].is_value && same_text(entries[i].value.name, value_name)) {
            if (placed) {
                entries.erase(entries.begin() + static_cast<long>(i));
                continue;
            }
            entries[i].value = value;
            placed = true;
        }
        ++i;
    }
    if (!placed) {
        reg_entry entry;
        entry.is_value = true;
        entry.value = value;
        entries.push_back(entry);
    }
    return save_document(key->file, fresh);
}
