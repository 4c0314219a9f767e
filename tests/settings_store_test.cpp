// The convertor's stored settings: the eleven values, their order, defaults and failures.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "karvel/kvl_conv.h"
#include "platform/plat_registry.h"
#include "test_support.h"

namespace {

class SettingsStore : public ::testing::Test {
protected:
    std::string reg_file() const { return dir.file("Zantorix/Karvel.reg"); }

    void write_settings(const std::string& body)
    {
        mkdir(dir.file("Zantorix").c_str(), 0700);
        write_file(reg_file(), "Windows Registry Editor Version 5.00\n\n"
                               "[HKEY_CURRENT_USER\\Software\\Zantorix\\Karvel]\n" +
                                   body);
    }

    scratch_dir dir;
    scoped_env config_home{"XDG_CONFIG_HOME", dir.path()};
};

const char* const all_values = "\"dest\"=\"/out/a.xml\"\n"
                               "\"open on exit\"=dword:00000000\n"
                               "\"pages\"=\"2,4-6\"\n"
                               "\"password\"=\"secret\"\n"
                               "\"src\"=\"/in/a.pdf\"\n"
                               "\"tag_cell\"=\"c\"\n"
                               "\"tag_column\"=\"col\"\n"
                               "\"tag_line\"=\"ln\"\n"
                               "\"tag_page\"=\"pg\"\n"
                               "\"tag_par\"=\"p\"\n"
                               "\"tag_row\"=\"r\"\n";

} // namespace

TEST_F(SettingsStore, FirstStartCreatesTheKeyAndKeepsEveryDefault)
{
    karvel_convertor conv;
    conv.open_on_exit = false;
    EXPECT_FALSE(conv.serialize(false));
    EXPECT_TRUE(conv.open_on_exit) << "a missing flag leaves the box checked";
    EXPECT_EQ("", conv.src);
    EXPECT_EQ("", conv.dest);
    EXPECT_EQ("", conv.password);
    EXPECT_EQ("", conv.pages_text);
    EXPECT_EQ("cell", conv.tags.cell);
    EXPECT_EQ("column", conv.tags.column);
    EXPECT_EQ("line", conv.tags.line);
    EXPECT_EQ("page", conv.tags.page);
    EXPECT_EQ("par", conv.tags.par);
    EXPECT_EQ("row", conv.tags.row);
    EXPECT_NE(std::string::npos, read_file(reg_file()).find("[HKEY_CURRENT_USER\\Software\\Zantorix\\Karvel]"));
    EXPECT_FALSE(conv.settings_key.is_open()) << "the key is closed after the exchange";
}

TEST_F(SettingsStore, SavingWritesTheElevenValuesInOrder)
{
    karvel_convertor conv;
    conv.dest = "/out/a.xml";
    conv.open_on_exit = false;
    conv.pages_text = "2,4-6";
    conv.password = "secret";
    conv.src = "/in/a.pdf";
    conv.tags.cell = "c";
    conv.tags.column = "col";
    conv.tags.line = "ln";
    conv.tags.page = "pg";
    conv.tags.par = "p";
    conv.tags.row = "r";
    conv.tags.table = "tbl";
    conv.log_file = "/tmp/x.log";
    EXPECT_TRUE(conv.serialize(true));
    EXPECT_EQ(std::string("Windows Registry Editor Version 5.00\n\n"
                          "[HKEY_CURRENT_USER\\Software\\Zantorix\\Karvel]\n") +
                  all_values + "\n",
              read_file(reg_file()))
        << "the table name and the log file are not stored; the password is plain text";
    struct stat st {};
    ASSERT_EQ(0, stat(reg_file().c_str(), &st));
    EXPECT_EQ(0600u, st.st_mode & 0777);
}

TEST_F(SettingsStore, LoadingTakesValuesAsStored)
{
    write_settings(std::string(all_values) + "\"tag_table\"=\"ignored\"\n");
    karvel_convertor conv;
    EXPECT_TRUE(conv.serialize(false));
    EXPECT_EQ("/out/a.xml", conv.dest);
    EXPECT_FALSE(conv.open_on_exit);
    EXPECT_EQ("2,4-6", conv.pages_text);
    EXPECT_TRUE(conv.page_list.empty()) << "the page-list text is not parsed on loading";
    EXPECT_EQ("secret", conv.password);
    EXPECT_EQ("/in/a.pdf", conv.src);
    EXPECT_EQ("c", conv.tags.cell);
    EXPECT_EQ("col", conv.tags.column);
    EXPECT_EQ("ln", conv.tags.line);
    EXPECT_EQ("pg", conv.tags.page);
    EXPECT_EQ("p", conv.tags.par);
    EXPECT_EQ("r", conv.tags.row);
    EXPECT_EQ("table", conv.tags.table);
}

TEST_F(SettingsStore, EmptyAndInvalidNamesLoadAsTheyStand)
{
    write_settings("\"tag_cell\"=\"\"\n\"tag_row\"=\"not valid!\"\n\"tag_par\"=\"9p\"\n"
                   "\"open on exit\"=dword:00000005\n");
    karvel_convertor conv;
    conv.open_on_exit = false;
    EXPECT_FALSE(conv.serialize(false)) << "most values are missing";
    EXPECT_EQ("", conv.tags.cell) << "an empty text is stored and read, not replaced by the default";
    EXPECT_EQ("not valid!", conv.tags.row) << "loaded without the tag set's validation";
    EXPECT_EQ("9p", conv.tags.par);
    EXPECT_EQ("column", conv.tags.column);
    EXPECT_TRUE(conv.open_on_exit);
}

TEST_F(SettingsStore, RoundTripThroughTheFile)
{
    {
        karvel_convertor conv;
        conv.src = "/in/\"odd\" name\\x.pdf";
        conv.dest = "/out/\xc3\xa9t\xc3\xa9.xml";
        conv.password = "p\xe9ss\nword"; // not UTF-8, with a line break
        conv.pages_text = "1,3,5-10";
        conv.open_on_exit = false;
        conv.tags.par = "";
        EXPECT_TRUE(conv.serialize(true));
    }
    karvel_convertor conv;
    EXPECT_TRUE(conv.serialize(false));
    EXPECT_EQ("/in/\"odd\" name\\x.pdf", conv.src);
    EXPECT_EQ("/out/\xc3\xa9t\xc3\xa9.xml", conv.dest);
    EXPECT_EQ("p\xe9ss\nword", conv.password);
    EXPECT_EQ("1,3,5-10", conv.pages_text);
    EXPECT_FALSE(conv.open_on_exit);
    EXPECT_EQ("", conv.tags.par);
    EXPECT_EQ("line", conv.tags.line);
}

TEST_F(SettingsStore, ADamagedFileGivesWhatCanBeReadAndLosesNothing)
{
    write_settings("\"src\"=\"/in/a.pdf\"\n"
                   "\"dest\"=\"/out/broken.xml\n" // no closing quote
                   "\"open on exit\"=dword:xyz\n"
                   "\"tag_line\"=hex(1):6c,6\n");
    karvel_convertor conv;
    conv.dest = "kept";
    EXPECT_FALSE(conv.serialize(false));
    EXPECT_EQ("/in/a.pdf", conv.src);
    EXPECT_EQ("kept", conv.dest);
    EXPECT_TRUE(conv.open_on_exit);
    EXPECT_EQ("line", conv.tags.line);

    conv.dest = "/out/new.xml";
    EXPECT_TRUE(conv.serialize(true));
    const std::string text = read_file(reg_file());
    EXPECT_NE(std::string::npos, text.find("\"dest\"=\"/out/broken.xml\n")) << text;
    EXPECT_NE(std::string::npos, text.find("\"dest\"=\"/out/new.xml\"\n")) << text;
    conv.dest.clear();
    EXPECT_TRUE(conv.serialize(false));
    EXPECT_EQ("/out/new.xml", conv.dest);
}

TEST_F(SettingsStore, AForeignFileIsKeptAsideAtTheNextSave)
{
    mkdir(dir.file("Zantorix").c_str(), 0700);
    const std::string foreign = "\x7f" "ELF binary junk\n\"src\"=\"x\"\n";
    write_file(reg_file(), foreign);
    karvel_convertor conv;
    EXPECT_FALSE(conv.serialize(false));
    EXPECT_EQ("", conv.src);
    EXPECT_EQ(foreign, read_file(reg_file())) << "loading never rewrites the file";
    conv.src = "/in/b.pdf";
    EXPECT_TRUE(conv.serialize(true));
    EXPECT_EQ(foreign, read_file(reg_file() + ".damaged"));
    conv.src.clear();
    EXPECT_TRUE(conv.serialize(false));
    EXPECT_EQ("/in/b.pdf", conv.src);
}

TEST_F(SettingsStore, AKeyThatCannotBeOpenedChangesNothing)
{
    write_file(dir.file("Zantorix"), "a file where the folder belongs");
    karvel_convertor conv;
    conv.open_on_exit = false;
    conv.src = "/in/a.pdf";
    EXPECT_FALSE(conv.serialize(false));
    EXPECT_FALSE(conv.open_on_exit) << "nothing is read when the key cannot be opened";
    EXPECT_EQ("/in/a.pdf", conv.src);
    EXPECT_FALSE(conv.serialize(true));
    EXPECT_EQ("a file where the folder belongs", read_file(dir.file("Zantorix")));
}

TEST_F(SettingsStore, TheConsoleBuildNeitherLoadsNorSaves)
{
    write_settings(all_values);
    const std::string before = read_file(reg_file());
    {
        karvel_convertor conv;
        EXPECT_EQ("", conv.src);
        EXPECT_EQ("cell", conv.tags.cell);
        EXPECT_FALSE(conv.settings_key.is_open());
        EXPECT_EQ("Software\\Zantorix\\Karvel", conv.settings_key.path);
        conv.src = "/changed.pdf";
    }
    EXPECT_EQ(before, read_file(reg_file()));
}
