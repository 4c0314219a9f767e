// The registry layer (a .reg text file per product) and tk_reg_key's exchange of settings.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>
#include <string>

#include "TK/tk_except.h"
#include "TK/tk_regk.h"
#include "platform/plat_registry.h"
#include "test_support.h"

namespace {

const char* const karvel_key = "Software\\Zantorix\\Karvel";

// Points the registry at a scratch configuration folder for one test.
class RegistryTest : public ::testing::Test {
protected:
    std::string reg_file() const { return dir.file("Zantorix/Karvel.reg"); }
    std::string reg_text() const { return read_file(reg_file()); }

    HKEY open_key(DWORD* disposition = nullptr)
    {
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, plat_reg_create_key(HKEY_CURRENT_USER, karvel_key, nullptr, 0, KEY_ALL_ACCESS,
                                                     nullptr, &key, disposition));
        return key;
    }

    LONG set_raw(HKEY key, const char* name, DWORD type, const std::string& bytes)
    {
        return plat_reg_set_value(key, name, type, reinterpret_cast<const unsigned char*>(bytes.data()),
                                  static_cast<DWORD>(bytes.size()));
    }

    // The stored bytes and type of a value, or "<missing>".
    std::string get_raw(HKEY key, const char* name, DWORD* type = nullptr)
    {
        DWORD size = 0;
        if (plat_reg_query_value(key, name, type, nullptr, &size) != ERROR_SUCCESS)
            return "<missing>";
        std::string bytes(size, '\0');
        EXPECT_EQ(ERROR_SUCCESS,
                  plat_reg_query_value(key, name, type, reinterpret_cast<unsigned char*>(&bytes[0]), &size));
        bytes.resize(size);
        return bytes;
    }

    scratch_dir dir;
    scoped_env config_home{"XDG_CONFIG_HOME", dir.path()};
};

std::string regk_assertion(int line)
{
    return tk_mail_assertion::make_text("tk_regk.cpp", line);
}

template <class F>
std::string caught(F f)
{
    try {
        f();
    } catch (const tk_exception& e) {
        return std::string(e.what()) + "|" + std::to_string(e.level);
    }
    return "<nothing thrown>";
}

} // namespace

TEST_F(RegistryTest, CreatingTheKeyMakesAPrivateRegFile)
{
    DWORD how = 0;
    HKEY key = open_key(&how);
    EXPECT_EQ(REG_CREATED_NEW_KEY, how);
    EXPECT_EQ("Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Zantorix\\Karvel]\n\n",
              reg_text());
    struct stat st {};
    ASSERT_EQ(0, stat(reg_file().c_str(), &st));
    EXPECT_EQ(0600u, st.st_mode & 0777);
    ASSERT_EQ(0, stat(dir.file("Zantorix").c_str(), &st));
    EXPECT_EQ(0700u, st.st_mode & 0777);
    EXPECT_EQ(ERROR_SUCCESS, plat_reg_close_key(key));

    HKEY again = open_key(&how);
    EXPECT_EQ(REG_OPENED_EXISTING_KEY, how);
    plat_reg_close_key(again);
}

TEST_F(RegistryTest, ValuesRoundTripThroughTheFile)
{
    HKEY key = open_key();
    ASSERT_EQ(ERROR_SUCCESS, set_raw(key, "src", REG_SZ, std::string("/home/a b/x.pdf\0", 16)));
    const unsigned char one[4] = {1, 0, 0, 0};
    ASSERT_EQ(ERROR_SUCCESS, plat_reg_set_value(key, "open on exit", REG_DWORD, one, 4));
    const std::string odd = std::string("q\"uo\\te\nline\x01\xff", 14) + '\0';
    ASSERT_EQ(ERROR_SUCCESS, set_raw(key, "odd", REG_SZ, odd));
    std::string blob;
    for (int i = 0; i < 100; ++i)
        blob += static_cast<char>(i * 7);
    ASSERT_EQ(ERROR_SUCCESS, set_raw(key, "blob", REG_BINARY, blob));
    ASSERT_EQ(ERROR_SUCCESS, set_raw(key, "multi", REG_MULTI_SZ, std::string("a\0b\0\0", 5)));
    ASSERT_EQ(ERROR_SUCCESS, set_raw(key, "empty", REG_SZ, std::string(1, '\0')));
    plat_reg_close_key(key);

    const std::string text = reg_text();
    EXPECT_NE(std::string::npos, text.find("\n\"src\"=\"/home/a b/x.pdf\"\n")) << text;
    EXPECT_NE(std::string::npos, text.find("\n\"open on exit\"=dword:00000001\n")) << text;
    EXPECT_NE(std::string::npos, text.find("\n\"empty\"=\"\"\n")) << text;
    // A text that a quoted line cannot carry is written as bytes.
    EXPECT_NE(std::string::npos, text.find("\n\"odd\"=hex(1):71,22,")) << text;
    EXPECT_NE(std::string::npos, text.find(",\\\n  ")) << "long data continues on the next line";

    HKEY key2 = open_key();
    DWORD type = 0;
    EXPECT_EQ(std::string("/home/a b/x.pdf\0", 16), get_raw(key2, "src", &type));
    EXPECT_EQ(REG_SZ, type);
    EXPECT_EQ(std::string("\x01\0\0\0", 4), get_raw(key2, "open on exit", &type));
    EXPECT_EQ(REG_DWORD, type);
    EXPECT_EQ(odd, get_raw(key2, "odd", &type));
    EXPECT_EQ(REG_SZ, type);
    EXPECT_EQ(blob, get_raw(key2, "blob", &type));
    EXPECT_EQ(REG_BINARY, type);
    EXPECT_EQ(std::string("a\0b\0\0", 5), get_raw(key2, "multi", &type));
    EXPECT_EQ(REG_MULTI_SZ, type);
    EXPECT_EQ(std::string(1, '\0'), get_raw(key2, "empty"));
    // Names are matched without regard to case, as in the registry.
    EXPECT_EQ(std::string("/home/a b/x.pdf\0", 16), get_raw(key2, "SRC"));
    EXPECT_EQ("<missing>", get_raw(key2, "nothing"));
    plat_reg_close_key(key2);
}

TEST_F(RegistryTest, QueryReportsSizesAndShortBuffers)
{
    HKEY key = open_key();
    ASSERT_EQ(ERROR_SUCCESS, set_raw(key, "pages", REG_SZ, std::string("1,3-5\0", 6)));
    DWORD size = 0, type = 0;
    EXPECT_EQ(ERROR_SUCCESS, plat_reg_query_value(key, "pages", &type, nullptr, &size));
    EXPECT_EQ(6u, size);
    unsigned char small[3] = {'x', 'x', 'x'};
    size = 3;
    EXPECT_EQ(ERROR_MORE_DATA, plat_reg_query_value(key, "pages", &type, small, &size));
    EXPECT_EQ(6u, size);
    size = 0;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, plat_reg_query_value(key, "missing", &type, nullptr, &size));
    plat_reg_close_key(key);
}

TEST_F(RegistryTest, ClosedAndForeignHandlesAndBadPathsAreRefused)
{
    HKEY key = open_key();
    ASSERT_EQ(ERROR_SUCCESS, plat_reg_close_key(key));
    DWORD size = 0;
    EXPECT_EQ(ERROR_INVALID_HANDLE, plat_reg_query_value(key, "src", nullptr, nullptr, &size));
    EXPECT_EQ(ERROR_INVALID_HANDLE, set_raw(key, "src", REG_SZ, std::string("a\0", 2)));
    EXPECT_EQ(ERROR_INVALID_HANDLE, plat_reg_close_key(key));
    EXPECT_EQ(ERROR_INVALID_HANDLE, plat_reg_query_value(nullptr, "src", nullptr, nullptr, &size));
    EXPECT_EQ(ERROR_INVALID_HANDLE, set_raw(HKEY_CURRENT_USER, "src", REG_SZ, std::string("a\0", 2)));

    HKEY other = nullptr;
    for (const char* bad : {"Software", "Software\\Zantorix", "Other\\Zantorix\\Karvel", "Software\\..\\Karvel",
                            "Software\\a/b\\Karvel", "Software\\Zantorix\\Kar]vel", "Software\\\\Karvel"})
        EXPECT_NE(ERROR_SUCCESS,
                  plat_reg_create_key(HKEY_CURRENT_USER, bad, nullptr, 0, KEY_ALL_ACCESS, nullptr, &other, nullptr))
            << bad;
    EXPECT_FALSE(file_exists(dir.file("a")));
    EXPECT_FALSE(file_exists(dir.file("Karvel.reg")));
    EXPECT_FALSE(file_exists(dir.file("Zantorix.reg")));
}

TEST_F(RegistryTest, NamesThatWouldBreakTheFileAreRefused)
{
    HKEY key = open_key();
    EXPECT_EQ(ERROR_INVALID_PARAMETER, set_raw(key, "two\nlines", REG_SZ, std::string("a\0", 2)));
    EXPECT_EQ(ERROR_INVALID_PARAMETER,
              set_raw(key, "big", REG_BINARY, std::string(plat_reg_max_value_size + 1, 'x')));
    ASSERT_EQ(ERROR_SUCCESS, set_raw(key, "we\"ird\\name", REG_SZ, std::string("v\0", 2)));
    plat_reg_close_key(key);
    HKEY again = open_key();
    EXPECT_EQ(std::string("v\0", 2), get_raw(again, "we\"ird\\name"));
    plat_reg_close_key(again);
}

TEST_F(RegistryTest, EveryWriteReplacesTheFileAtomically)
{
    HKEY key = open_key();
    ASSERT_EQ(ERROR_SUCCESS, set_raw(key, "dest", REG_SZ, std::string("old\0", 4)));
    // A second name for the file as it is now: an in-place rewrite would change it too.
    ASSERT_EQ(0, link(reg_file().c_str(), dir.file("before.reg").c_str()));
    ASSERT_EQ(ERROR_SUCCESS, set_raw(key, "dest", REG_SZ, std::string("new\0", 4)));
    EXPECT_NE(std::string::npos, read_file(dir.file("before.reg")).find("\"dest\"=\"old\""));
    EXPECT_NE(std::string::npos, reg_text().find("\"dest\"=\"new\""));
    EXPECT_EQ(std::string::npos, reg_text().find("\"dest\"=\"old\"")) << "one line per value";
    // No temporary file stays behind.
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.file("Zantorix")))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(std::vector<std::string>{"Karvel.reg"}, names);
    struct stat st {};
    ASSERT_EQ(0, stat(reg_file().c_str(), &st));
    EXPECT_EQ(0600u, st.st_mode & 0777);
    plat_reg_close_key(key);
}

TEST_F(RegistryTest, OtherKeysCommentsAndUnreadableLinesAreKept)
{
    ASSERT_EQ(0, mkdir(dir.file("Zantorix").c_str(), 0755));
    write_file(reg_file(), "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n"
                           "[HKEY_CURRENT_USER\\Software\\Zantorix\\Other]\r\n"
                           "\"keep\"=\"me\"\r\n"
                           "; a comment\r\n"
                           "\r\n"
                           "[HKEY_CURRENT_USER\\software\\zantorix\\karvel]\r\n"
                           "\"src\"=\"a.pdf\"\r\n"
                           "\"dest\"=garbage\r\n"
                           "\"pages\"=\"unterminated\r\n"
                           "\"tag_cell\"=hex(1):63,65,\\\r\n"
                           "  6c,6c,00\r\n"
                           "\"open on exit\"=dword:00000007\r\n");
    chmod(reg_file().c_str(), 0644);
    DWORD how = 0;
    HKEY key = open_key(&how);
    EXPECT_EQ(REG_OPENED_EXISTING_KEY, how) << "the section matches without regard to case";
    EXPECT_EQ(std::string("a.pdf\0", 6), get_raw(key, "src"));
    EXPECT_EQ("<missing>", get_raw(key, "dest"));
    EXPECT_EQ("<missing>", get_raw(key, "pages"));
    EXPECT_EQ(std::string("cell\0", 5), get_raw(key, "tag_cell"));
    EXPECT_EQ(std::string("\x07\0\0\0", 4), get_raw(key, "open on exit"));

    ASSERT_EQ(ERROR_SUCCESS, set_raw(key, "dest", REG_SZ, std::string("b.xml\0", 6)));
    plat_reg_close_key(key);
    const std::string text = reg_text();
    EXPECT_NE(std::string::npos, text.find("[HKEY_CURRENT_USER\\Software\\Zantorix\\Other]\n\"keep\"=\"me\"\n; a comment\n"))
        << text;
    EXPECT_NE(std::string::npos, text.find("\"dest\"=garbage\n")) << text;
    EXPECT_NE(std::string::npos, text.find("\"pages\"=\"unterminated\n")) << text;
    EXPECT_NE(std::string::npos, text.find("\"dest\"=\"b.xml\"\n")) << text;
    EXPECT_NE(std::string::npos, text.find("\"tag_cell\"=\"cell\"\n")) << text;
    struct stat st {};
    ASSERT_EQ(0, stat(reg_file().c_str(), &st));
    EXPECT_EQ(0600u, st.st_mode & 0777) << "a rewritten file is private again";

    HKEY again = open_key();
    EXPECT_EQ(std::string("b.xml\0", 6), get_raw(again, "dest"));
    EXPECT_EQ(std::string("a.pdf\0", 6), get_raw(again, "src"));
    plat_reg_close_key(again);
}

TEST_F(RegistryTest, AForeignFileReadsAsEmptyAndIsMovedAsideWhenWritten)
{
    ASSERT_EQ(0, mkdir(dir.file("Zantorix").c_str(), 0700));
    static const char raw[] = "PK\x03\x04 not a registry file\0\"src\"=\"x\"\n";
    const std::string foreign(raw, sizeof raw - 1);
    write_file(reg_file(), foreign);
    DWORD how = 0;
    HKEY key = open_key(&how);
    EXPECT_EQ(REG_CREATED_NEW_KEY, how);
    EXPECT_EQ("<missing>", get_raw(key, "src"));
    EXPECT_EQ(foreign, read_file(reg_file())) << "opening and reading leave the file alone";

    ASSERT_EQ(ERROR_SUCCESS, set_raw(key, "src", REG_SZ, std::string("new.pdf\0", 8)));
    EXPECT_EQ(foreign, read_file(reg_file() + ".damaged"));
    EXPECT_EQ(std::string("new.pdf\0", 8), get_raw(key, "src"));
    EXPECT_EQ(0u, reg_text().find("Windows Registry Editor Version 5.00\n"));
    plat_reg_close_key(key);
}

TEST_F(RegistryTest, OversizedAndHeaderlessFilesReadAsEmpty)
{
    ASSERT_EQ(0, mkdir(dir.file("Zantorix").c_str(), 0700));
    const std::string section = "[HKEY_CURRENT_USER\\Software\\Zantorix\\Karvel]\n\"src\"=\"a\"\n";
    write_file(reg_file(), section);
    HKEY key = open_key();
    EXPECT_EQ("<missing>", get_raw(key, "src"));
    write_file(reg_file(), "Windows Registry Editor Version 5.00\n" + section +
                               std::string(plat_reg_max_file_size, ';'));
    EXPECT_EQ("<missing>", get_raw(key, "src"));
    write_file(reg_file(), "Windows Registry Editor Version 5.00\n" + section);
    EXPECT_EQ(std::string("a\0", 2), get_raw(key, "src"));
    write_file(reg_file(), "REGEDIT4\n" + section + "\"d\"=dword:123456789\n\"h\"=hex:zz\n\"e\"=hex(\n");
    EXPECT_EQ(std::string("a\0", 2), get_raw(key, "src"));
    EXPECT_EQ("<missing>", get_raw(key, "d"));
    EXPECT_EQ("<missing>", get_raw(key, "h"));
    EXPECT_EQ("<missing>", get_raw(key, "e"));
    plat_reg_close_key(key);
}

TEST_F(RegistryTest, AWriteThatCannotBeDoneLeavesTheFileAsItWas)
{
    HKEY key = open_key();
    ASSERT_EQ(ERROR_SUCCESS, set_raw(key, "src", REG_SZ, std::string("a\0", 2)));
    const std::string before = reg_text();
    // The folder is swapped for a plain file: nothing can be written beneath it.
    ASSERT_EQ(0, rename(dir.file("Zantorix").c_str(), dir.file("moved").c_str()));
    write_file(dir.file("Zantorix"), "in the way");
    EXPECT_NE(ERROR_SUCCESS, set_raw(key, "src", REG_SZ, std::string("b\0", 2)));
    EXPECT_EQ(before, read_file(dir.file("moved/Karvel.reg")));
    plat_reg_close_key(key);
}

// tk_reg_key

TEST_F(RegistryTest, BoolExchangeRules)
{
    tk_reg_key key(karvel_key);
    ASSERT_EQ(ERROR_SUCCESS, key.create(HKEY_CURRENT_USER, karvel_key));
    bool flag = true;
    EXPECT_FALSE(key.exchange("open on exit", &flag, false)) << "missing value";
    EXPECT_TRUE(flag);
    flag = false;
    EXPECT_FALSE(key.exchange("open on exit", &flag, false));
    EXPECT_FALSE(flag);

    flag = true;
    EXPECT_TRUE(key.exchange("open on exit", &flag, true));
    DWORD type = 0;
    EXPECT_EQ(std::string("\x01\0\0\0", 4), get_raw(key.key, "open on exit", &type));
    EXPECT_EQ(REG_DWORD, type);
    flag = false;
    EXPECT_TRUE(key.exchange("open on exit", &flag, true));
    EXPECT_EQ(std::string("\0\0\0\0", 4), get_raw(key.key, "open on exit"));
    flag = true;
    EXPECT_TRUE(key.exchange("open on exit", &flag, false));
    EXPECT_FALSE(flag);

    ASSERT_EQ(ERROR_SUCCESS, key.set_value(static_cast<DWORD>(0x70000), "open on exit"));
    EXPECT_TRUE(key.exchange("open on exit", &flag, false)) << "any non-zero number is true";
    EXPECT_TRUE(flag);

    // A value longer than 4 bytes cannot be read as a number.
    ASSERT_EQ(ERROR_SUCCESS, key.set_value("hello", "open on exit"));
    flag = false;
    EXPECT_FALSE(key.exchange("open on exit", &flag, false));
    EXPECT_FALSE(flag);
}

TEST_F(RegistryTest, TextExchangeRules)
{
    tk_reg_key key(karvel_key);
    ASSERT_EQ(ERROR_SUCCESS, key.create(HKEY_CURRENT_USER, karvel_key));
    std::string text = "unchanged";
    EXPECT_FALSE(key.exchange("tag_cell", &text, false)) << "missing value";
    EXPECT_EQ("unchanged", text);

    std::string empty;
    EXPECT_TRUE(key.exchange("tag_cell", &empty, true));
    EXPECT_EQ(std::string(1, '\0'), get_raw(key.key, "tag_cell"));
    EXPECT_TRUE(key.exchange("tag_cell", &text, false)) << "an empty text has size 1 and is read";
    EXPECT_EQ("", text);

    ASSERT_EQ(ERROR_SUCCESS, set_raw(key.key, "zero", REG_SZ, std::string()));
    text = "unchanged";
    EXPECT_FALSE(key.exchange("zero", &text, false)) << "a value of size 0";
    EXPECT_EQ("unchanged", text);

    // Up to the first terminator, never past the stored size.
    ASSERT_EQ(ERROR_SUCCESS, set_raw(key.key, "two", REG_SZ, std::string("ab\0cd\0", 6)));
    EXPECT_TRUE(key.exchange("two", &text, false));
    EXPECT_EQ("ab", text);
    ASSERT_EQ(ERROR_SUCCESS, set_raw(key.key, "open", REG_SZ, std::string("abc", 3)));
    EXPECT_TRUE(key.exchange("open", &text, false));
    EXPECT_EQ("abc", text);

    std::string saved = "C:\\\"quoted\" \xc3\xa9";
    EXPECT_TRUE(key.exchange("src", &saved, true));
    EXPECT_EQ(saved + '\0', get_raw(key.key, "src"));
    EXPECT_TRUE(key.exchange("src", &text, false));
    EXPECT_EQ(saved, text);
}

TEST_F(RegistryTest, ClosedKeyExchangesNothing)
{
    tk_reg_key key(karvel_key);
    EXPECT_FALSE(key.is_open());
    EXPECT_EQ(karvel_key, key.path);
    bool flag = true;
    std::string text = "x";
    EXPECT_FALSE(key.exchange("open on exit", &flag, true));
    EXPECT_FALSE(key.exchange("open on exit", &flag, false));
    EXPECT_FALSE(key.exchange("src", &text, true));
    EXPECT_FALSE(key.exchange("src", &text, false));
    EXPECT_TRUE(flag);
    EXPECT_EQ("x", text);
    EXPECT_FALSE(file_exists(reg_file()));
    DWORD number = 5;
    EXPECT_NE(ERROR_SUCCESS, key.get_value(&number, "src")) << "reads without a key fail";
    EXPECT_EQ(5u, number);
    EXPECT_EQ(ERROR_SUCCESS, key.close()) << "closing nothing succeeds";
}

TEST_F(RegistryTest, AFailedCreateKeepsTheOpenKey)
{
    tk_reg_key key(karvel_key);
    DWORD how = 0;
    ASSERT_EQ(ERROR_SUCCESS, key.create(HKEY_CURRENT_USER, karvel_key, nullptr, 0, KEY_ALL_ACCESS, nullptr, &how));
    EXPECT_EQ(REG_CREATED_NEW_KEY, how);
    HKEY first = key.key;
    std::string text = "kept";
    ASSERT_TRUE(key.exchange("src", &text, true));

    EXPECT_NE(ERROR_SUCCESS, key.create(HKEY_CURRENT_USER, "Software\\Zantorix"));
    write_file(dir.file("Blocked"), "a file where a folder should be");
    EXPECT_NE(ERROR_SUCCESS, key.create(HKEY_CURRENT_USER, "Software\\Blocked\\Karvel"));
    EXPECT_EQ(first, key.key);
    text.clear();
    EXPECT_TRUE(key.exchange("src", &text, false));
    EXPECT_EQ("kept", text);

    // A successful create closes the old key and keeps the new one.
    ASSERT_EQ(ERROR_SUCCESS, key.create(HKEY_CURRENT_USER, "Software\\Zantorix\\Other"));
    EXPECT_TRUE(key.is_open());
    DWORD size = 0;
    EXPECT_EQ(ERROR_INVALID_HANDLE, plat_reg_query_value(first, "src", nullptr, nullptr, &size));
    EXPECT_FALSE(key.exchange("src", &text, false)) << "the other key has no such value";
    EXPECT_TRUE(file_exists(dir.file("Zantorix/Other.reg")));
    EXPECT_EQ(ERROR_SUCCESS, key.close());
    EXPECT_FALSE(key.is_open());
}

TEST_F(RegistryTest, ClearForgetsWithoutClosing)
{
    tk_reg_key key(karvel_key);
    ASSERT_EQ(ERROR_SUCCESS, key.create(HKEY_CURRENT_USER, karvel_key));
    HKEY handle = key.key;
    key.clear();
    EXPECT_FALSE(key.is_open());
    DWORD size = 0;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, plat_reg_query_value(handle, "src", nullptr, nullptr, &size))
        << "the handle is still open";
    EXPECT_EQ(ERROR_SUCCESS, plat_reg_close_key(handle));
}

TEST_F(RegistryTest, PreconditionsAreInternalErrors)
{
    tk_reg_key key(karvel_key);
    DWORD number = 0, size = 0;
    char buffer[4];
    EXPECT_EQ(regk_assertion(64) + "|2", caught([&] { key.create(nullptr, karvel_key); }));
    EXPECT_EQ(regk_assertion(149) + "|2", caught([&] { key.set_value(static_cast<DWORD>(1), "x"); }));
    EXPECT_EQ(regk_assertion(156) + "|2", caught([&] { key.set_value(static_cast<const char*>(nullptr), "x"); }));
    EXPECT_EQ(regk_assertion(157) + "|2", caught([&] { key.set_value("text", "x"); }));
    ASSERT_EQ(ERROR_SUCCESS, key.create(HKEY_CURRENT_USER, karvel_key));
    EXPECT_EQ(regk_assertion(98) + "|2", caught([&] { key.get_value(&number, nullptr); }));
    EXPECT_EQ(regk_assertion(115) + "|2", caught([&] { key.get_value(buffer, "x", nullptr); }));
    EXPECT_EQ(regk_assertion(116) + "|2", caught([&] { key.get_value(buffer, nullptr, &size); }));
    EXPECT_EQ(std::string("Internal error: \ncode=746b5f7265676b2e6370705c3634"), regk_assertion(64));
}

TEST_F(RegistryTest, MissingConfigurationFoldersAreMadePrivate)
{
    const std::string nested = dir.file("a/b/config");
    setenv("XDG_CONFIG_HOME", nested.c_str(), 1);
    HKEY key = open_key();
    ASSERT_NE(nullptr, key);
    EXPECT_TRUE(file_exists(nested + "/Zantorix/Karvel.reg"));
    struct stat st {};
    ASSERT_EQ(0, stat(dir.file("a/b").c_str(), &st));
    EXPECT_EQ(0700u, st.st_mode & 0777);
    plat_reg_close_key(key);
    // A relative XDG_CONFIG_HOME is ignored in favour of the home folder's .config.
    std::string file, section;
    setenv("XDG_CONFIG_HOME", "relative/dir", 1);
    ASSERT_TRUE(plat_reg_file_of(karvel_key, file, section));
    EXPECT_EQ("HKEY_CURRENT_USER\\Software\\Zantorix\\Karvel", section);
    const std::string tail = "/.config/Zantorix/Karvel.reg";
    ASSERT_GT(file.size(), tail.size());
    EXPECT_EQ(tail, file.substr(file.size() - tail.size()));
    EXPECT_EQ('/', file[0]);
}

TEST_F(RegistryTest, FilesDamagedAtRandomNeverBreakReadingOrTheNextSave)
{
    const std::string good = "Windows Registry Editor Version 5.00\n\n"
                             "[HKEY_CURRENT_USER\\Software\\Zantorix\\Karvel]\n"
                             "\"src\"=\"/in/a.pdf\"\n"
                             "\"open on exit\"=dword:00000001\n"
                             "\"tag_cell\"=hex(1):63,65,6c,6c,00\n"
                             "\"blob\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\n"
                             "  16,17,18,19\n"
                             "@=\"default\"\n\n";
    ASSERT_EQ(0, mkdir(dir.file("Zantorix").c_str(), 0700));
    unsigned seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7FFF;
    };
    for (int round = 0; round < 300; ++round) {
        std::string damaged = good;
        const int changes = 1 + static_cast<int>(next() % 6);
        for (int i = 0; i < changes; ++i) {
            const size_t at = next() % damaged.size();
            switch (next() % 4) {
            case 0:
                damaged[at] = static_cast<char>(next() & 0xFF);
                break;
            case 1:
                damaged.erase(at, 1 + next() % 8);
                break;
            case 2:
                damaged.insert(at, 1, "\"\\[]=\n,:("[next() % 10]);
                break;
            default:
                damaged.resize(at);
                break;
            }
            if (damaged.empty())
                damaged = "x";
        }
        write_file(reg_file(), damaged);
        HKEY key = open_key();
        ASSERT_NE(nullptr, key);
        for (const char* name : {"src", "open on exit", "tag_cell", "blob", ""}) {
            DWORD size = 0, type = 0;
            const LONG rc = plat_reg_query_value(key, name, &type, nullptr, &size);
            EXPECT_TRUE(rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND);
            EXPECT_LE(size, plat_reg_max_value_size);
        }
        const std::string value = "round " + std::to_string(round);
        ASSERT_EQ(ERROR_SUCCESS, set_raw(key, "dest", REG_SZ, value + '\0')) << damaged;
        EXPECT_EQ(value + '\0', get_raw(key, "dest")) << "round " << round << ":\n" << damaged;
        plat_reg_close_key(key);
        std::remove((reg_file() + ".damaged").c_str());
    }
}

TEST_F(RegistryTest, ProgramsWritingAtOnceLoseNoValue)
{
    HKEY key = open_key();
    plat_reg_close_key(key);
    const int programs = 4, values = 12;
    std::vector<pid_t> children;
    for (int p = 0; p < programs; ++p) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            HKEY own = nullptr;
            if (plat_reg_create_key(HKEY_CURRENT_USER, karvel_key, nullptr, 0, KEY_ALL_ACCESS, nullptr, &own,
                                    nullptr) != ERROR_SUCCESS)
                _exit(2);
            for (int v = 0; v < values; ++v) {
                const std::string name = "p" + std::to_string(p) + "v" + std::to_string(v);
                if (set_raw(own, name.c_str(), REG_SZ, name + '\0') != ERROR_SUCCESS)
                    _exit(3);
            }
            _exit(0);
        }
        children.push_back(pid);
    }
    for (const pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(pid, waitpid(pid, &status, 0));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    key = open_key();
    for (int p = 0; p < programs; ++p)
        for (int v = 0; v < values; ++v) {
            const std::string name = "p" + std::to_string(p) + "v" + std::to_string(v);
            EXPECT_EQ(name + '\0', get_raw(key, name.c_str())) << name;
        }
    plat_reg_close_key(key);
}
