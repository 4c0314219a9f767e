// End-to-end conversions through tarnvik: the document format, element names, the
// standard-output mode and destinations that cannot be opened.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pdf_writer.h"
#include "test_support.h"

namespace {

const std::string opening = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<document>\n<pages>\n";
const std::string closing = "</pages>\n</document>";

// Text lines of a page at the given positions, one BT block per line.
class ConvertXml : public ::testing::Test {
protected:
    std::string convert(const pdf_writer& w, const std::vector<std::string>& extra = {})
    {
        return convert_to_xml(dir, w, extra);
    }
    static size_t count(const std::string& text, const std::string& what) { return count_of(text, what); }

    scratch_dir dir;
};

} // namespace

TEST_F(ConvertXml, WorkedExampleByteForByte)
{
    pdf_writer w;
    // Three one-letter words would get no spaces (a line of single letters is spaced
    // only at gaps well above its smallest gap), so the glyph A carries the space after
    // it: the words are "A &" and "B".
    const std::string cmap =
        "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
        "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
        "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
        "1 begincodespacerange\n<00> <FF>\nendcodespacerange\n"
        "1 beginbfchar\n<41> <00410020>\nendbfchar\n"
        "endcmap\nCMapName currentdict /CMapResource defineresource pop\nend\nend\n";
    const int to_unicode = w.add_stream("", cmap);
    const int font = w.add_object("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding "
                                  "/ToUnicode " + std::to_string(to_unicode) + " 0 R >>");
    const int page = w.add_page(text_at(72, 700, "Hello World") + text_at(72, 686, "A& B", "/AB 12 Tf"));
    w.page_at(page).extra_fonts["AB"] = font;
    EXPECT_EQ(convert(w), opening +
                              "<page>\n<par>\n<line>\nHello World\n</line>\n<line>\nA &amp; B\n</line>\n</par>\n"
                              "</page>\n" +
                              closing);
}

TEST_F(ConvertXml, PageWithoutTextIsTwoLines)
{
    pdf_writer w;
    w.add_page("0 0 1 rg 72 600 300 40 re f\n");
    EXPECT_EQ(convert(w), opening + "<page>\n</page>\n" + closing);
}

TEST_F(ConvertXml, DocumentOfSeveralPagesInOrder)
{
    pdf_writer w;
    w.add_page(text_at(72, 700, "First"));
    w.add_page("");
    w.add_page(text_at(72, 700, "Third"));
    const std::string xml = convert(w, {"--pages=3,1"});
    EXPECT_EQ(xml, opening + "<page>\n<par>\n<line>\nThird\n</line>\n</par>\n</page>\n" +
                       "<page>\n<par>\n<line>\nFirst\n</line>\n</par>\n</page>\n" + closing);
}

TEST_F(ConvertXml, VerticalTextIsSkipped)
{
    pdf_writer w;
    w.add_page("BT /Helvetica 12 Tf 0 1 -1 0 300 200 Tm (Written upwards along the page) Tj ET\n");
    EXPECT_EQ(convert(w), opening + "<page>\n</page>\n" + closing);
}

TEST_F(ConvertXml, VerticalTextBesideHorizontalText)
{
    pdf_writer w;
    w.add_page("BT /Helvetica 12 Tf 0 1 -1 0 500 200 Tm (Sideways words here) Tj ET\n" +
               text_at(72, 700, "Upright line"));
    const std::string xml = convert(w);
    EXPECT_NE(xml.find("Upright line"), std::string::npos);
    EXPECT_EQ(xml.find("Sideways"), std::string::npos);
}

TEST_F(ConvertXml, EachElementNameSwitchedOff)
{
    pdf_writer w;
    // A block of two lines written as cells, and a two-column stretch written as columns.
    std::string content = text_at(72, 740, "Heading line") + text_at(72, 726, "Second line");
    for (int i = 0; i < 6; ++i) {
        const double y = 600 - 14 * i;
        content += text_at(72, y, "Left column line number " + std::to_string(i), "/Helvetica 10 Tf");
        content += text_at(340, y, "Right column line number " + std::to_string(i), "/Helvetica 10 Tf");
    }
    w.add_page(content);
    const std::string full = convert(w);
    const std::vector<std::string> names = {"column", "line", "par", "page", "row", "table"};
    for (const std::string& name : names)
        ASSERT_NE(full.find("<" + name + ">"), std::string::npos) << name << "\n" << full;

    for (const std::string& name : names) {
        const std::string xml = convert(w, {"--tag_" + name + "="});
        EXPECT_EQ(xml.find("<" + name + ">"), std::string::npos) << name;
        EXPECT_EQ(xml.find("</" + name + ">"), std::string::npos) << name;
        EXPECT_EQ(xml.find("\n\n"), std::string::npos) << name;
        // Only the lines of that element are missing.
        std::string expected = full;
        for (const std::string& tag : {"<" + name + ">\n", "</" + name + ">\n"})
            for (size_t p = expected.find(tag); p != std::string::npos; p = expected.find(tag))
                expected.erase(p, tag.size());
        EXPECT_EQ(xml, expected) << name;
    }
}

TEST_F(ConvertXml, RenamedElementsAndUnusedCellName)
{
    pdf_writer w;
    w.add_page(text_at(72, 700, "Hello World"));
    const std::string xml = convert(w, {"--tag_page=pg", "--tag_line=ln", "--tag_par=p1", "--tag_cell=td"});
    EXPECT_EQ(xml, opening + "<pg>\n<p1>\n<ln>\nHello World\n</ln>\n</p1>\n</pg>\n" + closing);
}

TEST_F(ConvertXml, TwoEvenColumnsAreWrittenAsColumns)
{
    pdf_writer w;
    std::string content;
    for (int i = 0; i < 6; ++i) {
        const double y = 700 - 14 * i;
        content += text_at(72, y, "Left words of row " + std::to_string(i), "/Helvetica 10 Tf");
        content += text_at(340, y, "Right words of row " + std::to_string(i), "/Helvetica 10 Tf");
    }
    w.add_page(content);
    const std::string xml = convert(w);
    EXPECT_EQ(count(xml, "<table>"), 1u) << xml;
    EXPECT_EQ(count(xml, "<column>"), 2u) << xml.substr(0, 400);
    EXPECT_EQ(count(xml, "<row>"), 12u) << xml;
    EXPECT_EQ(count(xml, "<line>"), 0u) << xml;
    // Every row text ends with one space; the left column comes first.
    EXPECT_NE(xml.find("<row>\nLeft words of row 0 \n</row>"), std::string::npos) << xml;
    EXPECT_LT(xml.find("Left words of row 5"), xml.find("Right words of row 0"));
}

TEST_F(ConvertXml, ThreeColumnsAreWrittenAsCells)
{
    pdf_writer w;
    std::string content;
    for (int i = 0; i < 4; ++i) {
        const double y = 700 - 14 * i;
        content += text_at(72, y, "Alpha" + std::to_string(i), "/Helvetica 10 Tf");
        content += text_at(250, y, "Beta" + std::to_string(i), "/Helvetica 10 Tf");
        content += text_at(430, y, "Gamma" + std::to_string(i), "/Helvetica 10 Tf");
    }
    w.add_page(content);
    const std::string xml = convert(w);
    EXPECT_EQ(count(xml, "<table>"), 0u) << xml;
    EXPECT_EQ(count(xml, "<line>"), 12u) << xml;
    // Each table row after the first starts a new par element.
    EXPECT_EQ(count(xml, "<par>"), 4u) << xml;
    EXPECT_NE(xml.find("<line>\nAlpha1\n</line>\n<line>\nBeta1\n</line>\n<line>\nGamma1\n</line>"),
              std::string::npos)
        << xml;
}

TEST_F(ConvertXml, StandardOutputHoldsThePageElementsOnly)
{
    pdf_writer w;
    w.add_page(text_at(72, 700, "Hello World"));
    w.add_page("");
    const std::string src = dir.file("doc.pdf");
    ASSERT_TRUE(w.save(src));
    const run_result r = run_tarnvik({"--src=" + src, "--dest=-"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "<page>\n<par>\n<line>\nHello World\n</line>\n</par>\n</page>\n<page>\n</page>\n");
    EXPECT_FALSE(file_exists(dir.file("-")));
}

TEST_F(ConvertXml, DestinationThatCannotBeOpenedIsReported)
{
    pdf_writer w;
    w.add_page(text_at(72, 700, "Hello World"));
    const std::string src = dir.file("doc.pdf");
    ASSERT_TRUE(w.save(src));
    // The folder exists, so the console's destination check lets it pass; the
    // file itself cannot be created, not even by root.
    const std::string dest = "/proc/self/h3-cannot-create.xml";
    const run_result r = run_tarnvik({"--src=" + src, "--dest=" + dest});
    EXPECT_EQ(r.exit_code, 255) << r.out << r.err;
    EXPECT_NE(r.out.find("Couldn't open output file '" + dest + "'"), std::string::npos) << r.out;
}

TEST_F(ConvertXml, SpecialCharactersAreEscapedAsAscii)
{
    pdf_writer w;
    // WinAnsi: 0xE9 e-acute, 0x80 euro sign, 0x3C less-than, quotes and an apostrophe.
    w.add_page(text_at(72, 700, std::string("Caf\xE9 \x80 5 <6> \"q\" it's 100% #1 $2 !?")));
    const std::string xml = convert(w);
    EXPECT_NE(xml.find("Caf&#xE9; &#8364; 5 &#x3C;6&#x3E; &#x22;q&#x22; it&#x27;s 100&#x25; &#x23;1 &#x24;2 "
                       "&#x21;&#x3F;"),
              std::string::npos)
        << xml;
    for (const char c : xml)
        EXPECT_LE(static_cast<unsigned char>(c), 0x7E);
}

TEST_F(ConvertXml, ControlAstralAndUnmappedCodesStayWellFormed)
{
    pdf_writer w;
    // A font whose codes map to a control character, an astral character, a lone
    // surrogate, U+FFFF and nothing at all.
    const std::string cmap =
        "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
        "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
        "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
        "1 begincodespacerange\n<00> <FF>\nendcodespacerange\n"
        "7 beginbfchar\n<41> <0041>\n<42> <0001>\n<43> <D83DDE00>\n<44> <D800>\n<45> <FFFF>\n<46> <001B>\n"
        "<47> <00010041>\nendbfchar\n"
        "endcmap\nCMapName currentdict /CMapResource defineresource pop\nend\nend\n";
    const int to_unicode = w.add_stream("", cmap);
    const int font = w.add_object("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /ToUnicode " +
                                  std::to_string(to_unicode) + " 0 R >>");
    const int page = w.add_page("BT /Odd 12 Tf 72 700 Td (AABBCCDDEEFFGG) Tj ET\n"
                                "BT /Symbol 12 Tf 72 650 Td (\\001\\002\\003 abc) Tj ET\n"
                                "BT /Helvetica 12 Tf 72 600 Td (\\001\\002 tail) Tj ET\n");
    w.page_at(page).extra_fonts["Odd"] = font;
    const std::string xml = convert(w);
    EXPECT_NE(xml.find("&#128512;"), std::string::npos) << xml;
    EXPECT_NE(xml.find("AA"), std::string::npos) << xml;
    EXPECT_EQ(xml.find("&#x01;"), std::string::npos) << xml;
    EXPECT_EQ(xml.find("&#x00;"), std::string::npos) << xml;
    EXPECT_EQ(xml.find("&#55296;"), std::string::npos) << xml;
    EXPECT_EQ(xml.find("&#65535;"), std::string::npos) << xml;
    EXPECT_NE(xml.find("tail"), std::string::npos) << xml;
    for (const char c : xml)
        EXPECT_LE(static_cast<unsigned char>(c), 0x7E);
}

TEST_F(ConvertXml, LongRowIsWrittenWhole)
{
    pdf_writer w;
    std::string text;
    for (int i = 0; i < 400; ++i)
        text += "w" + std::to_string(i % 10) + " ";
    // 1,200 codes on one line in a small font on a wide page.
    w.add_page(text_at(10, 700, text, "/Courier 2 Tf"), 1500, 792);
    const std::string xml = convert(w);
    std::string expected = text;
    while (!expected.empty() && expected.back() == ' ')
        expected.pop_back();
    ASSERT_GT(expected.size(), 1024u);
    EXPECT_NE(xml.find("\n" + expected + "\n"), std::string::npos) << xml;
}

TEST_F(ConvertXml, TextBeyondTheLargestPageExtentIsDropped)
{
    pdf_writer w;
    w.add_page(text_at(72, 1900, "Near the top") + text_at(72, 1000, "Kept line") + text_at(1700, 1000, "Far right"),
               2000, 2000);
    const std::string xml = convert(w);
    EXPECT_NE(xml.find("Kept line"), std::string::npos) << xml;
    EXPECT_EQ(xml.find("Far right"), std::string::npos) << xml;
}

TEST_F(ConvertXml, RunsOnOneBaseLineJoinIntoOneRow)
{
    // A form row inside the left column: a label and its value far apart on one base line.
    pdf_writer w;
    std::string content;
    for (int i = 0; i < 6; ++i) {
        const double y = 700 - 14 * i;
        if (i == 3) {
            content += text_at(72, y, "Name:", "/Helvetica 10 Tf");
            content += text_at(150, y, "John Smith", "/Helvetica 10 Tf");
        } else {
            content += text_at(72, y, "Left words of row number " + std::to_string(i), "/Helvetica 10 Tf");
            content += text_at(340, y, "Right words of row number " + std::to_string(i), "/Helvetica 10 Tf");
        }
    }
    w.add_page(content);
    const std::string xml = convert(w);
    EXPECT_EQ(count(xml, "<column>"), 2u) << xml.substr(0, 400);
    EXPECT_NE(xml.find("<row>\nName: John Smith \n</row>"), std::string::npos) << xml;
}

TEST_F(ConvertXml, StrayDotIsNotWrittenButAWiderOneCodeLineIs)
{
    pdf_writer w;
    // A one-code line narrower than 0.3 pt (a dot in a tiny font) and a normal letter.
    w.add_page(text_at(72, 700, "First line of text") + text_at(72, 600, ".", "/Helvetica 0.5 Tf") +
               text_at(72, 500, "X"));
    const std::string xml = convert(w);
    EXPECT_NE(xml.find("\nX\n"), std::string::npos) << xml;
    EXPECT_EQ(xml.find("\n.\n"), std::string::npos) << xml;
}

TEST_F(ConvertXml, LongRowOfAColumnIsWrittenWhole)
{
    pdf_writer w;
    std::string left;
    for (int i = 0; i < 360; ++i)
        left += "il" + std::to_string(i % 10) + " ";
    left.pop_back();
    // Two even columns in a 2.5 pt font; each left row holds 1,439 narrow codes.
    std::string content;
    for (int i = 0; i < 6; ++i) {
        const double y = 700 - 4 * i;
        content += text_at(10, y, left, "/Helvetica 2.5 Tf");
        content += text_at(1250, y, "Right column text " + std::to_string(i), "/Helvetica 2.5 Tf");
    }
    w.add_page(content, 1500, 792);
    const std::string xml = convert(w);
    ASSERT_GT(left.size(), 1024u);
    EXPECT_EQ(count(xml, "<column>"), 2u) << xml.substr(0, 400);
    EXPECT_EQ(count(xml, "<row>\n" + left + " \n</row>"), 6u) << xml.substr(0, 400);
}
