// One key of the current user's registry and the exchange of single settings with it.
#pragma once

#include <string>

#include "platform/plat_registry.h"

class tk_reg_key {
public:
    explicit tk_reg_key(const char* path);
    ~tk_reg_key();
    tk_reg_key(const tk_reg_key&) = delete;
    tk_reg_key& operator=(const tk_reg_key&) = delete;

    // Forgets the open key without closing it.
    void clear() { key = nullptr; }
    // Creates or opens root\subkey; on success the new key replaces (and closes) the open
    // one, on failure the open key stays. Returns the registry's error code.
    LONG create(HKEY root, const char* subkey, char* key_class = nullptr,
                DWORD options = REG_OPTION_NON_VOLATILE, REGSAM access = KEY_ALL_ACCESS,
                SECURITY_ATTRIBUTES* security = nullptr, DWORD* disposition = nullptr);
    LONG close();
    bool is_open() const { return key != nullptr; }

    // At most 4 bytes of the value into *value.
    LONG get_value(DWORD* value, const char* name);
    // The value into buffer (*size bytes); with a null buffer only the needed size.
    LONG get_value(char* buffer, const char* name, DWORD* size);
    LONG set_value(DWORD value, const char* name);
    LONG set_value(const char* text, const char* name);

    // Saves the variable to, or loads it from, the named value; false when that failed
    // (nothing open, value missing or unreadable), in which case a load leaves it alone.
    bool exchange(const char* name, bool* value, bool save);
    bool exchange(const char* name, std::string* value, bool save);

    HKEY key = nullptr;
    std::string path;
};

// The base of a job whose settings are kept in the registry: it holds the settings key.
class tk_serializer {
public:
    explicit tk_serializer(const char* path) : settings_key(path) {}

    tk_reg_key settings_key;
};
