// Page-list texts and the element-name set.
#include <gtest/gtest.h>

#include "karvel/kvl_conv.h"

namespace {

std::vector<unsigned> pages(karvel_convertor& conv, const std::string& text)
{
    conv.set_page_range(text);
    return conv.page_list;
}

std::string failure(karvel_convertor& conv, const std::string& text)
{
    try {
        conv.set_page_range(text);
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.level, 1);
        return e.what();
    }
    return "<accepted>";
}

using list = std::vector<unsigned>;

} // namespace

TEST(PageList, AcceptedTexts)
{
    karvel_convertor conv;
    EXPECT_EQ(pages(conv, ""), list{});
    EXPECT_EQ(pages(conv, "1,3,5-10"), (list{1, 3, 5, 6, 7, 8, 9, 10}));
    EXPECT_EQ(pages(conv, " 7 , 9"), (list{7, 9}));
    EXPECT_EQ(pages(conv, " 5 - 8 "), (list{5, 6, 7, 8}));
    EXPECT_EQ(pages(conv, "3,1,3"), (list{3, 1, 3}));
    EXPECT_EQ(pages(conv, "1-3,2"), (list{1, 2, 3, 2}));
    EXPECT_EQ(pages(conv, "2x"), (list{2}));
    EXPECT_EQ(pages(conv, "+4"), (list{4}));
    EXPECT_EQ(conv.pages_text, "+4");
    // A number too large for an int saturates instead of overflowing.
    EXPECT_EQ(pages(conv, "99999999999999999999"), (list{2147483647u}));
}

TEST(PageList, RejectedTexts)
{
    karvel_convertor conv;
    for (const char* bad : {"5-5", "10-5", "0", "0-3", "x", "1,,2", "1,", ",1", "-3", "3-", "1-2-3", "   "})
        EXPECT_EQ(failure(conv, bad), "Invalid page range") << bad;

    // Items before the bad one stay; the text is kept whole.
    EXPECT_EQ(failure(conv, "4,2-3,x,5"), "Invalid page range");
    EXPECT_EQ(conv.page_list, (list{4, 2, 3}));
    EXPECT_EQ(conv.pages_text, "4,2-3,x,5");
}

TEST(PageList, HugeRangesAreRefusedBeforeAllocation)
{
    karvel_convertor conv;
    const std::string message = failure(conv, "1-2000000000");
    EXPECT_EQ(message, "Invalid page range: a page list may name at most 1000000 pages.");
    EXPECT_TRUE(conv.page_list.empty());
    EXPECT_EQ(pages(conv, "1-1000000").size(), 1000000u);
    EXPECT_NE(failure(conv, "1-999999,5,6"), "<accepted>");
    EXPECT_EQ(conv.page_list.size(), 1000000u);
}

TEST(PageList, SecondCallReplacesTheList)
{
    karvel_convertor conv;
    pages(conv, "1-3");
    EXPECT_EQ(pages(conv, "5"), (list{5}));
}

TEST(XmlTags, DefaultsValidationAndTags)
{
    karvel_convertor conv; // owns the tag set
    xml_tags& tags = tk_singleton<xml_tags>::instance();
    EXPECT_EQ(&tags, &conv.tags);
    EXPECT_EQ(tags.page_open(), "<page>");
    EXPECT_EQ(tags.page_close(), "</page>");
    EXPECT_EQ(tags.table_open(), "<table>");
    EXPECT_EQ(tags.cell, "cell");

    for (const char* bad : {"a-b", "a b", "a.b", "é", "9_P", "0"}) {
        try {
            tags.set_par(bad);
            ADD_FAILURE() << bad << " accepted";
        } catch (const tk_exception& e) {
            EXPECT_STREQ(e.what(), "XML tag is not valid. You can use only alphanumeric symbols \n(A-Z, a-z, 0-9) "
                                   "and underscore (_) to compose XML tags.");
        }
        EXPECT_EQ(tags.par, "par");
    }
    tags.set_par("P_9");
    EXPECT_EQ(tags.par_open(), "<P_9>");
    tags.set_row("");
    EXPECT_EQ(tags.row_open(), "");
    EXPECT_EQ(tags.row_close(), "");
    tags.set_line("_9P");
    EXPECT_EQ(tags.line_close(), "</_9P>");
    EXPECT_TRUE(xml_tags::is_valid_tag(""));
    EXPECT_FALSE(xml_tags::is_valid_tag("7"));

    EXPECT_THROW(xml_tags::make_tag(nullptr, "x"), tk_mail_assertion);
    try {
        xml_tags::make_tag("", "x");
        FAIL();
    } catch (const tk_mail_assertion& e) {
        EXPECT_EQ(e.message, tk_mail_assertion::make_text("xml_tags.cpp", 57));
    }
}
