#include "TK/tk_regk.h"

#include <memory>
#include <new>

#include "TK/tk_except.h"
#include "TK/tk_log.h"

namespace {
const char* const regk_file = "tk_regk.cpp";
}

tk_reg_key::tk_reg_key(const char* text) : key(nullptr), path(text ? text : "") {}

tk_reg_key::~tk_reg_key()
{
    close();
}

LONG tk_reg_key::create(HKEY root, const char* subkey, char* key_class, DWORD options, REGSAM access,
                        SECURITY_ATTRIBUTES* security, DWORD* disposition)
{
    if (root == nullptr)
        throw tk_mail_assertion(regk_file, 64);
    HKEY opened = nullptr;
    DWORD how = 0;
    const LONG rc = plat_reg_create_key(root, subkey, key_class, options, access, security, &opened, &how);
    if (rc != ERROR_SUCCESS)
        return rc;
    if (disposition != nullptr)
        *disposition = how;
    close();
    key = opened;
    return ERROR_SUCCESS;
}

LONG tk_reg_key::close()
{
    if (key == nullptr)
        return ERROR_SUCCESS;
    const LONG rc = plat_reg_close_key(key);
    key = nullptr;
    return rc;
}

LONG tk_reg_key::get_value(DWORD* value, const char* name)
{
    if (name == nullptr)
        throw tk_mail_assertion(regk_file, 98);
    tk_log(2, "tk_reg_key::get_value(ulong, %s)", name);
    DWORD type = REG_NONE;
    DWORD size = sizeof(DWORD);
    unsigned char bytes[sizeof(DWORD)] = {0, 0, 0, 0};
    const LONG rc = plat_reg_query_value(key, name, &type, bytes, &size);
    tk_log(1, "type=%d, size=%d", static_cast<int>(type), static_cast<int>(size));
    if (rc == ERROR_SUCCESS && value != nullptr) {
        // The bytes read replace the low end of the number, as a 4-byte read would.
        DWORD number = *value;
        for (DWORD i = 0; i < size; ++i) {
            number &= ~(static_cast<DWORD>(0xFF) << (8 * i));
            number |= static_cast<DWORD>(bytes[i]) << (8 * i);
        }
        *value = number;
    }
    return rc;
}

LONG tk_reg_key::get_value(char* buffer, const char* name, DWORD* size)
{
    if (size == nullptr)
        throw tk_mail_assertion(regk_file, 115);
    if (name == nullptr)
        throw tk_mail_assertion(regk_file, 116);
    tk_log(2, "tk_reg_key::get_value(LPSTR, %s)", name);
    DWORD type = REG_NONE;
    const LONG rc = plat_reg_query_value(key, name, &type, reinterpret_cast<unsigned char*>(buffer), size);
    tk_log(1, "type=%d, size=%d", static_cast<int>(type), static_cast<int>(*size));
    return rc;
}

LONG tk_reg_key::set_value(DWORD value, const char* name)
{
    if (key == nullptr)
        throw tk_mail_assertion(regk_file, 149);
    unsigned char bytes[4];
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<unsigned char>((value >> (8 * i)) & 0xFF);
    return plat_reg_set_value(key, name, REG_DWORD, bytes, 4);
}

LONG tk_reg_key::set_value(const char* text, const char* name)
{
    if (text == nullptr)
        throw tk_mail_assertion(regk_file, 156);
    if (key == nullptr)
        throw tk_mail_assertion(regk_file, 157);
    const size_t length = std::char_traits<char>::length(text) + 1;
    if (length > plat_reg_max_value_size)
        return ERROR_INVALID_PARAMETER;
    return plat_reg_set_value(key, name, REG_SZ, reinterpret_cast<const unsigned char*>(text),
                              static_cast<DWORD>(length));
}

bool tk_reg_key::exchange(const char* name, bool* value, bool save)
{
    if (key == nullptr)
        return false;
    DWORD number = 0;
    if (save) {
        if (set_value(static_cast<DWORD>(*value ? 1 : 0), name) != ERROR_SUCCESS)
            return false;
        number = *value ? 1 : 0;
    } else if (get_value(&number, name) != ERROR_SUCCESS) {
        return false;
    }
    *value = number != 0;
    return true;
}

bool tk_reg_key::exchange(const char* name, std::string* value, bool save)
{
    if (key == nullptr)
        return false;
    if (save)
        return set_value(value->c_str(), name) == ERROR_SUCCESS;
    DWORD size = 0;
    if (get_value(nullptr, name, &size) != ERROR_SUCCESS || size == 0)
        return false;
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[size]);
    if (!buffer)
        return false;
    DWORD read = size;
    if (get_value(buffer.get(), name, &read) != ERROR_SUCCESS)
        return false;
    // Up to the first terminator, and never past what was read.
    size_t length = 0;
    while (length < read && buffer[length] != '\0')
        ++length;
    value->assign(buffer.get(), length);
    return true;
}
