// The XML output device: opening, closing and discarding the document, failures, singleton.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <stdexcept>

#include "TK/tk_except.h"
#include "karvel/XMLOutputDev.h"
#include "test_support.h"

namespace {

const char* const opening = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<document>\n<pages>\n";
const char* const closing = "</pages>\n</document>";

} // namespace

TEST(XmlDevice, NamedFileGetsOpeningAndClosingLines)
{
    scratch_dir dir;
    const std::string path = dir.file("out.xml");
    {
        XMLOutputDev dev(path.c_str(), 0, 0, 0);
        ASSERT_TRUE(dev.isOk());
        EXPECT_NE(dev.output(), nullptr);
        EXPECT_NE(dev.page(), nullptr);
        EXPECT_EQ(dev.pages_written(), 0);
        dev.closeDocument();
    }
    EXPECT_EQ(read_file(path), std::string(opening) + closing);
    EXPECT_EQ(xmllint_errors(path), "");
}

TEST(XmlDevice, ExistingFileIsTruncatedUnlessAppending)
{
    scratch_dir dir;
    const std::string path = dir.file("out.xml");
    write_file(path, "old text");
    XMLOutputDev(path.c_str(), 0, 0, 0).closeDocument();
    EXPECT_EQ(read_file(path), std::string(opening) + closing);

    EXPECT_EQ(xmllint_errors(path), "");

    // Appending keeps what is there (a plain text file here, not an XML document).
    const std::string log = dir.file("appended.txt");
    write_file(log, "old text\n");
    XMLOutputDev(log.c_str(), 0, 0, 1).closeDocument();
    EXPECT_EQ(read_file(log), std::string("old text\n") + opening + closing);
}

TEST(XmlDevice, UnopenableDestinationIsNotOkAndWritesNothing)
{
    scratch_dir dir;
    const std::string path = dir.file("missing/out.xml");
    {
        XMLOutputDev dev(path.c_str(), 0, 0, 0);
        EXPECT_FALSE(dev.isOk());
        EXPECT_EQ(dev.output(), nullptr);
        EXPECT_EQ(dev.page(), nullptr);
        // A device that failed takes page calls without effect.
        dev.startPage(1, nullptr, nullptr);
        dev.endString(nullptr);
    }
    EXPECT_FALSE(file_exists(path));
    EXPECT_FALSE(file_exists(dir.file("missing")));
}

TEST(XmlDevice, NullFileNameIsAnInternalError)
{
    EXPECT_THROW(XMLOutputDev(nullptr, 0, 0, 0), tk_mail_assertion);
    // The failed construction left no registered device behind.
    EXPECT_FALSE(tk_singleton<XMLOutputDev>::exists());
}

TEST(XmlDevice, SecondDeviceIsRefusedBeforeOpeningAnything)
{
    scratch_dir dir;
    XMLOutputDev first(dir.file("a.xml").c_str(), 0, 0, 0);
    try {
        XMLOutputDev second(dir.file("b.xml").c_str(), 0, 0, 0);
        FAIL() << "a second device was accepted";
    } catch (const tk_mail_assertion& e) {
        EXPECT_EQ(e.message, tk_mail_assertion::make_text("..\\TK/tk_singl.h", 35));
    }
    EXPECT_FALSE(file_exists(dir.file("b.xml")));
    EXPECT_EQ(&tk_singleton<XMLOutputDev>::instance(), &first);
}

TEST(XmlDevice, UnfinishedDocumentIsRemovedOnlyWhenItIsARegularFile)
{
    scratch_dir dir;
    // A failure inside the device's scope: the device is gone, and so is the document,
    // before the handler runs.
    const std::string path = dir.file("out.xml");
    try {
        XMLOutputDev dev(path.c_str(), 0, 0, 0);
        throw std::runtime_error("page failed");
    } catch (const std::runtime_error&) {
        EXPECT_FALSE(file_exists(path));
    }
    // Discarded by name through a link: the file that was written goes.
    write_file(dir.file("target.xml"), "old");
    ASSERT_EQ(symlink("target.xml", dir.file("link.xml").c_str()), 0);
    XMLOutputDev(dir.file("link.xml").c_str(), 0, 0, 0).discardDocument();
    EXPECT_FALSE(file_exists(dir.file("target.xml")));

    // Special files and a file appended to stay; so does the standard output stream.
    ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
    const int reader = open(dir.file("fifo").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    write_file(dir.file("appended.txt"), "old text\n");
    for (const std::string& name : {std::string("/dev/null"), dir.file("fifo"), dir.file("appended.txt"), std::string("-")}) {
        XMLOutputDev dev(name.c_str(), 0, 0, name == dir.file("appended.txt"));
        ASSERT_TRUE(dev.isOk()) << name;
        dev.discardDocument();
        EXPECT_EQ(dev.output(), name == "-" ? stdout : nullptr) << name << ": closed, standard output left open";
    }
    close(reader);
    struct stat st {};
    ASSERT_EQ(stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    ASSERT_EQ(stat(dir.file("fifo").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(read_file(dir.file("appended.txt")), std::string("old text\n") + opening);
}

TEST(XmlDevice, FailedFlushOrCloseIsALevelOneError)
{
    // The opening lines wait in the stream's buffer; closing the document finds the failure.
    XMLOutputDev dev("/dev/full", 0, 0, 0);
    ASSERT_TRUE(dev.isOk());
    try {
        dev.closeDocument();
        FAIL() << "a failed close passed as success";
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.message, "Couldn't write output file '/dev/full': No space left on device");
        EXPECT_EQ(e.level, 1);
    }
    EXPECT_EQ(dev.output(), nullptr) << "the file is closed once; the device writes nothing more";
}

TEST(XmlDevice, DocumentWhoseClosingLinesFailIsRemoved)
{
    scratch_dir dir;
    const std::string path = dir.file("out.xml");
    // Files may grow to the opening lines but not by the closing ones.
    const std::string lines = opening;
    rlimit old_limit {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
    const rlimit limit{lines.size() + 5, old_limit.rlim_max};
    const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    std::string message;
    {
        XMLOutputDev dev(path.c_str(), 0, 0, 0);
        dev.checkWritten();
        try {
            dev.closeDocument();
        } catch (const tk_exception& e) {
            message = e.message;
        }
    }
    setrlimit(RLIMIT_FSIZE, &old_limit);
    std::signal(SIGXFSZ, old_handler);
    EXPECT_EQ(message, "Couldn't write output file '" + path + "': File too large");
    EXPECT_FALSE(file_exists(path));
}
