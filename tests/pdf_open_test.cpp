// Opening documents: damaged files, passwords and security handlers.
#include <gtest/gtest.h>

#include <GlobalParams.h>
#include <PDFDoc.h>
#include <goo/GooString.h>

#include <cstdlib>

#include "PDFR/pdf_open.h"
#include "TK/tk_log.h"
#include "karvel/kvl_conv.h"
#include "pdf_writer.h"
#include "test_support.h"

namespace {

std::string hello_pdf()
{
    pdf_writer w;
    w.add_page("BT /Helvetica 12 Tf 72 700 Td (Hello) Tj ET");
    return w.build();
}

// Encrypts the file with qpdf (AES-256) and returns the new path.
std::string encrypt(const scratch_dir& dir, const std::string& user, const std::string& owner)
{
    write_file(dir.file("plain.pdf"), hello_pdf());
    const std::string out = dir.file("locked.pdf");
    const std::string cmd = "qpdf --encrypt '" + user + "' '" + owner + "' 256 -- '" + dir.file("plain.pdf") +
                            "' '" + out + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
    return out;
}

std::string open_failure(const std::string& path, const char* pswd)
{
    const GooString pw(pswd ? pswd : "");
    try {
        const auto doc = pdf_open_document(path, pswd ? &pw : nullptr, pswd ? &pw : nullptr);
        return doc->isOk() ? "<opened>" : "<not ok>";
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.level, 1);
        EXPECT_EQ(e.code, 0);
        return e.what();
    }
}

class PdfOpen : public ::testing::Test {
protected:
    karvel_convertor conv; // owns the core's global parameters
    scratch_dir dir;
};

} // namespace

TEST_F(PdfOpen, UnreadableDocumentsGiveTheCannotReadMessage)
{
    write_file(dir.file("text.pdf"), "This is a plain text file.\nNothing else.\n");
    EXPECT_EQ(open_failure(dir.file("text.pdf"), nullptr), pdf_cannot_read_message);

    write_file(dir.file("empty.pdf"), "");
    EXPECT_EQ(open_failure(dir.file("empty.pdf"), nullptr), pdf_cannot_read_message);

    std::string garbage(5000, '\0');
    for (size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<char>((i * 7919 + 13) & 0xff);
    write_file(dir.file("garbage.pdf"), garbage);
    EXPECT_EQ(open_failure(dir.file("garbage.pdf"), nullptr), pdf_cannot_read_message);

    write_file(dir.file("header.pdf"), "%PDF-1.4\n%%EOF\n");
    EXPECT_EQ(open_failure(dir.file("header.pdf"), nullptr), pdf_cannot_read_message);
}

TEST_F(PdfOpen, TruncatedDocumentsEitherOpenOrFailCleanly)
{
    const std::string full = hello_pdf();
    for (size_t cut : {full.size() / 4, full.size() / 2, full.size() - 40}) {
        write_file(dir.file("cut.pdf"), full.substr(0, cut));
        const std::string r = open_failure(dir.file("cut.pdf"), nullptr);
        EXPECT_TRUE(r == "<opened>" || r == pdf_cannot_read_message) << cut << ": " << r;
    }
}

TEST_F(PdfOpen, MissingFileThrowsNothing)
{
    EXPECT_EQ(open_failure(dir.file("missing.pdf"), nullptr), "<not ok>");
}

TEST_F(PdfOpen, PasswordsOfTheStandardHandler)
{
    const std::string locked = encrypt(dir, "user-pw", "owner-pw");
    EXPECT_EQ(open_failure(locked, nullptr), pdf_bad_password_message);
    EXPECT_EQ(open_failure(locked, "wrong"), pdf_bad_password_message);
    EXPECT_EQ(open_failure(locked, "user-pw"), "<opened>");
    EXPECT_EQ(open_failure(locked, "owner-pw"), "<opened>");
    // A password given for an unencrypted document is ignored.
    write_file(dir.file("open.pdf"), hello_pdf());
    EXPECT_EQ(open_failure(dir.file("open.pdf"), "anything"), "<opened>");
}

TEST_F(PdfOpen, UnknownSecurityHandlerIsUnreadableNotABadPassword)
{
    pdf_writer w;
    w.add_page("BT /Helvetica 12 Tf 72 700 Td (Hello) Tj ET");
    const int enc = w.add_object("<< /Filter /FooSecurity /V 1 /R 2 /O (0123456789abcdef0123456789abcdef) "
                                 "/U (0123456789abcdef0123456789abcdef) /P -4 >>");
    w.trailer_entries = "/Encrypt " + std::to_string(enc) +
                        " 0 R /ID [<00112233445566778899aabbccddeeff> <00112233445566778899aabbccddeeff>]";
    w.save(dir.file("foo.pdf"));
    EXPECT_EQ(open_failure(dir.file("foo.pdf"), nullptr), pdf_cannot_read_message);
    EXPECT_EQ(open_failure(dir.file("foo.pdf"), "x"), pdf_cannot_read_message);
}

TEST_F(PdfOpen, TraceOfASuccessfulOpen)
{
    const std::string locked = encrypt(dir, "u", "o");
    const std::string log_path = dir.file("open.log");
    tk_logger log(log_path.c_str(), true, 1, false);
    EXPECT_EQ(open_failure(locked, "u"), "<opened>");
    const std::string trace = read_file(log_path);
    const std::string expected = "PDFDoc::ctor(name=" + locked +
                                 ",pswd=u)\r\nPDFDoc::setup\r\nPDFDoc::checkEncryption\r\n"
                                 "PDFDoc::checkEncryption - END ***\r\nPDFDoc::setup - step #1\r\n"
                                 "PDFDoc::setup - step #2\r\n";
    EXPECT_NE(trace.find(expected), std::string::npos) << trace;

    write_file(log_path, "");
    log.truncated = false;
    EXPECT_EQ(open_failure(locked, nullptr), pdf_bad_password_message);
    EXPECT_NE(read_file(log_path).find(",pswd=[NULL])"), std::string::npos) << read_file(log_path);
}
