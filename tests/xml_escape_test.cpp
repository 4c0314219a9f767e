// Escaping of single character codes for the XML document.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TK/tk_log.h"
#include "karvel/xml_escape.h"
#include "test_support.h"

using kvl::xml_escape_code;

TEST(XmlEscape, LiteralPrintableBytes)
{
    EXPECT_EQ(xml_escape_code(0x41), "A");
    EXPECT_EQ(xml_escape_code(0x20), " ");
    EXPECT_EQ(xml_escape_code(0x3D), "=");
    EXPECT_EQ(xml_escape_code(0x28), "(");
    EXPECT_EQ(xml_escape_code(0x3B), ";");
    EXPECT_EQ(xml_escape_code(0x40), "@");
    EXPECT_EQ(xml_escape_code(0x7E), "~");
}

TEST(XmlEscape, Ampersand)
{
    EXPECT_EQ(xml_escape_code(0x26), "&amp;");
}

TEST(XmlEscape, PrintableBytesWrittenAsHexReferences)
{
    EXPECT_EQ(xml_escape_code(0x21), "&#x21;");
    EXPECT_EQ(xml_escape_code(0x22), "&#x22;");
    EXPECT_EQ(xml_escape_code(0x23), "&#x23;");
    EXPECT_EQ(xml_escape_code(0x24), "&#x24;");
    EXPECT_EQ(xml_escape_code(0x25), "&#x25;");
    EXPECT_EQ(xml_escape_code(0x27), "&#x27;");
    EXPECT_EQ(xml_escape_code(0x3C), "&#x3C;");
    EXPECT_EQ(xml_escape_code(0x3E), "&#x3E;");
    EXPECT_EQ(xml_escape_code(0x3F), "&#x3F;");
    EXPECT_EQ(xml_escape_code(0x7F), "&#x7F;");
    EXPECT_EQ(xml_escape_code(0xE9), "&#xE9;");
    EXPECT_EQ(xml_escape_code(0xFF), "&#xFF;");
    EXPECT_EQ(xml_escape_code(0x80), "&#x80;");
}

TEST(XmlEscape, AllowedControlsKeepTheirHexReference)
{
    EXPECT_EQ(xml_escape_code(0x09), "&#x09;");
    EXPECT_EQ(xml_escape_code(0x0A), "&#x0A;");
    EXPECT_EQ(xml_escape_code(0x0D), "&#x0D;");
}

TEST(XmlEscape, ForbiddenControlsBecomeTheReplacementCharacter)
{
    for (unsigned c = 0; c < 0x20; ++c) {
        if (c == 0x09 || c == 0x0A || c == 0x0D)
            continue;
        EXPECT_EQ(xml_escape_code(c), "&#65533;") << c;
    }
}

TEST(XmlEscape, SixteenBitCodesAsDecimalReferences)
{
    EXPECT_EQ(xml_escape_code(0x100), "&#256;");
    EXPECT_EQ(xml_escape_code(0x20AC), "&#8364;");
    EXPECT_EQ(xml_escape_code(0x4E2D), "&#20013;");
    EXPECT_EQ(xml_escape_code(0xFFFD), "&#65533;");
    EXPECT_EQ(xml_escape_code(0xFB01), "&#64257;");
}

TEST(XmlEscape, SurrogatesAndNonCharactersReplaced)
{
    EXPECT_EQ(xml_escape_code(0xD800), "&#65533;");
    EXPECT_EQ(xml_escape_code(0xDBFF), "&#65533;");
    EXPECT_EQ(xml_escape_code(0xDFFF), "&#65533;");
    EXPECT_EQ(xml_escape_code(0xFFFE), "&#65533;");
    EXPECT_EQ(xml_escape_code(0xFFFF), "&#65533;");
    EXPECT_EQ(xml_escape_code(0xD7FF), "&#55295;");
    EXPECT_EQ(xml_escape_code(0xE000), "&#57344;");
}

TEST(XmlEscape, AstralCodesAsOneReferenceOfTheWholeCode)
{
    // Second byte zero: must not collapse to the low byte.
    EXPECT_EQ(xml_escape_code(0x10000), "&#65536;");
    EXPECT_EQ(xml_escape_code(0x10041), "&#65601;");
    EXPECT_EQ(xml_escape_code(0x1F600), "&#128512;");
    EXPECT_EQ(xml_escape_code(0x10FFFF), "&#1114111;");
    EXPECT_EQ(xml_escape_code(0x110000), "&#65533;");
    EXPECT_EQ(xml_escape_code(0xFFFFFFFFu), "&#65533;");
}

TEST(XmlEscape, ResultIsAlwaysSafeAscii)
{
    const unsigned samples[] = {0, 1, 0x1F, 0x7F, 0x80, 0xFF, 0x100, 0xD800, 0xFFFF, 0x10000, 0x10FFFF, 0x7FFFFFFF};
    for (unsigned c = 0; c < 0x400; ++c) {
        const std::string s = xml_escape_code(c);
        ASSERT_FALSE(s.empty());
        for (const char ch : s) {
            const unsigned char b = static_cast<unsigned char>(ch);
            EXPECT_TRUE(b >= 0x20 && b <= 0x7E) << c;
            EXPECT_TRUE(ch != '<' && ch != '>' && ch != '"' && ch != '\'') << c;
        }
    }
    for (const unsigned c : samples) {
        const std::string s = xml_escape_code(c);
        for (const char ch : s)
            EXPECT_TRUE(static_cast<unsigned char>(ch) <= 0x7E) << c;
    }
}

TEST(XmlEscape, AppendKeepsWhatIsThere)
{
    std::string out = "x";
    kvl::xml_append_escaped(out, 0x26);
    kvl::xml_append_escaped(out, 0x42);
    EXPECT_EQ(out, "x&amp;B");
}

TEST(XmlEscape, XmlCharClass)
{
    EXPECT_TRUE(kvl::xml_is_char(0x09));
    EXPECT_FALSE(kvl::xml_is_char(0x0B));
    EXPECT_TRUE(kvl::xml_is_char(0x20));
    EXPECT_FALSE(kvl::xml_is_char(0xDC00));
    EXPECT_TRUE(kvl::xml_is_char(0x10FFFF));
    EXPECT_FALSE(kvl::xml_is_char(0x110000));
}

TEST(XmlEscape, EveryCodeClassParsesAsXml)
{
    std::string doc = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<document>\n";
    std::vector<unsigned> codes;
    for (unsigned c = 0; c < 0x300; ++c)
        codes.push_back(c);
    for (unsigned c : {0xD7FFu, 0xD800u, 0xDBFFu, 0xDC00u, 0xDFFFu, 0xE000u, 0xFDD0u, 0xFFFDu, 0xFFFEu, 0xFFFFu,
                       0x10000u, 0x10041u, 0x1F600u, 0x10FFFFu, 0x110000u, 0x7FFFFFFFu, 0xFFFFFFFFu})
        codes.push_back(c);
    for (const unsigned c : codes)
        doc += xml_escape_code(c);
    doc += "\n</document>";
    scratch_dir dir;
    write_file(dir.file("codes.xml"), doc);
    EXPECT_EQ(xmllint_errors(dir.file("codes.xml")), "");
}

TEST(XmlEscape, SecondByteDecidesBeforeTheLowByte)
{
    // Low bytes '&', '<' and 'A' under a non-zero second byte: the whole code in decimal.
    EXPECT_EQ(xml_escape_code(0x126), "&#294;");
    EXPECT_EQ(xml_escape_code(0x13C), "&#316;");
    EXPECT_EQ(xml_escape_code(0x141), "&#321;");
    EXPECT_EQ(xml_escape_code(0xFF26), "&#65318;");
}

TEST(XmlEscape, TraceLines)
{
    scratch_dir dir;
    const std::string path = dir.file("trace.log");
    {
        tk_logger log(path.c_str(), true, 1, false);
        EXPECT_EQ(xml_escape_code(0x41), "A");
        EXPECT_EQ(xml_escape_code(0x20AC), "&#8364;");
    }
    const std::string log = read_file(path);
    EXPECT_NE(log.find("TextPage::convertChar(0041, 'A')\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("TextPage::convertChar(20AC, '\xAC')\r\nkod16='20ac' kod10='8364' left=' ' right='\xAC'\n"),
              std::string::npos)
        << log;
    // Only codes from U+0100 up get the second line.
    EXPECT_EQ(log.find("kod10='65'"), std::string::npos) << log;
}
