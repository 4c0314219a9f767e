// The XML output device: opening and closing the document, failures to open, singleton.
#include <gtest/gtest.h>

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
    }
    EXPECT_EQ(read_file(path), std::string(opening) + closing);
    EXPECT_EQ(xmllint_errors(path), "");
}

TEST(XmlDevice, ExistingFileIsTruncatedUnlessAppending)
{
    scratch_dir dir;
    const std::string path = dir.file("out.xml");
    write_file(path, "old text");
    { XMLOutputDev dev(path.c_str(), 0, 0, 0); }
    EXPECT_EQ(read_file(path), std::string(opening) + closing);

    EXPECT_EQ(xmllint_errors(path), "");

    // Appending keeps what is there (a plain text file here, not an XML document).
    const std::string log = dir.file("appended.txt");
    write_file(log, "old text\n");
    { XMLOutputDev dev(log.c_str(), 0, 0, 1); }
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

TEST(XmlDevice, FailureInsideTheScopeStillClosesTheDocument)
{
    scratch_dir dir;
    const std::string path = dir.file("out.xml");
    try {
        XMLOutputDev dev(path.c_str(), 0, 0, 0);
        throw std::runtime_error("page failed");
    } catch (const std::runtime_error&) {
        // The device is gone before the handler runs: the closing lines are there.
        EXPECT_EQ(read_file(path), std::string(opening) + closing);
        EXPECT_EQ(xmllint_errors(path), "");
    }
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
