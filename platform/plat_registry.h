// The current user's registry, kept as a text file in the .reg export format.
//
// A key path "Software\<vendor>\<product>[\...]" under HKEY_CURRENT_USER lives in the file
// $XDG_CONFIG_HOME/<vendor>/<product>.reg (default $HOME/.config), one [section] per key.
// Every call reads the file afresh and every write replaces it atomically (temporary file,
// fsync, rename), mode 0600, under an advisory lock on the product folder. Sections, values
// and lines that are not understood are kept as they are; a file that is not a registry
// file at all reads as empty and is moved aside to "<file>.damaged" when first written.
#pragma once

#include <cstdint>
#include <string>

using DWORD = std::uint32_t;
using LONG = std::int32_t;
using REGSAM = std::uint32_t;

struct SECURITY_ATTRIBUTES;
struct plat_reg_key;
using HKEY = plat_reg_key*;

// The one predefined root of this platform.
extern const HKEY HKEY_CURRENT_USER;

// Error codes, as the registry calls return them.
constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_ACCESS_DENIED = 5;
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_MORE_DATA = 234;
constexpr LONG ERROR_CANTOPEN = 1011;
constexpr LONG ERROR_CANTREAD = 1012;
constexpr LONG ERROR_CANTWRITE = 1013;

// Value types.
constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_QWORD = 11;

constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;
constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Values larger than this are refused, files larger than the limit below read as foreign.
constexpr DWORD plat_reg_max_value_size = 64 * 1024;
constexpr size_t plat_reg_max_file_size = 1024 * 1024;

// Creates or opens root\subkey. On success *result is a new handle, to be closed with
// plat_reg_close_key. The class, options, access and security are accepted and not used.
LONG plat_reg_create_key(HKEY root, const char* subkey, char* key_class, DWORD options, REGSAM access,
                         SECURITY_ATTRIBUTES* security, HKEY* result, DWORD* disposition);

LONG plat_reg_close_key(HKEY key);

// Reads a value. With data null only *size (the stored size) and *type are set. A buffer
// smaller than the value gives ERROR_MORE_DATA with the needed size in *size.
LONG plat_reg_query_value(HKEY key, const char* name, DWORD* type, unsigned char* data, DWORD* size);

// Writes a value of the given type from size bytes of data.
LONG plat_reg_set_value(HKEY key, const char* name, DWORD type, const unsigned char* data, DWORD size);

// The file that holds root\subkey; false when the subkey has no place in a file.
bool plat_reg_file_of(const std::string& subkey, std::string& file, std::string& section);
