#include <cmath>

#include <gtest/gtest.h>

#include "PDFR/pdf_width_getter.h"
#include "TK/tk_except.h"
#include "TK/tk_log.h"
#include "test_support.h"

TEST(WidthGetter, PixelHeightTruncatesAtScreenResolution)
{
    EXPECT_EQ(pdf_width_getter::pixel_height(12.0f), 16);
    EXPECT_EQ(pdf_width_getter::pixel_height(10.5f), 14);
    EXPECT_EQ(pdf_width_getter::pixel_height(7.9f), 10);
    EXPECT_EQ(pdf_width_getter::pixel_height(0.5f), 0);
}

TEST(WidthGetter, EmptyTextIsZero)
{
    pdf_width_getter getter;
    getter.set_font("Arial", 12.0f, false, false);
    EXPECT_EQ(getter.get_width(""), 0.0);
}

TEST(WidthGetter, WidthsAreWholePixelsAndAdd)
{
    pdf_width_getter getter;
    getter.set_font("Arial", 12.0f, false, false);
    double a = getter.get_width("a");
    double w = getter.get_width("W");
    double aw = getter.get_width("aW");
    EXPECT_GT(a, 0.0);
    EXPECT_DOUBLE_EQ(aw, a + w);
    double pixels = aw * pdf_width_getter::dpi;
    EXPECT_DOUBLE_EQ(pixels, std::round(pixels));
    // The cached answer is the same.
    EXPECT_DOUBLE_EQ(getter.get_width("aW"), aw);
}

TEST(WidthGetter, FaceDecidesWidths)
{
    pdf_width_getter getter;
    getter.set_font("Courier New", 24.0f, false, false);
    EXPECT_DOUBLE_EQ(getter.get_width("i"), getter.get_width("M"));
    getter.set_font("Arial", 24.0f, false, false);
    EXPECT_LT(getter.get_width("i"), getter.get_width("M"));
}

TEST(WidthGetter, SizeScalesWidth)
{
    pdf_width_getter getter;
    getter.set_font("Times New Roman", 10.0f, false, false);
    double small = getter.get_width("MMMMMMMMMM");
    getter.set_font("Times New Roman", 40.0f, false, false);
    double large = getter.get_width("MMMMMMMMMM");
    EXPECT_GT(large, 3.5 * small);
    EXPECT_LT(large, 4.5 * small);
}

TEST(WidthGetter, BoldIsWiderThanRegular)
{
    pdf_width_getter getter;
    getter.set_font("Arial", 20.0f, false, false);
    double regular = getter.get_width("mmmmmmmmmm");
    getter.set_font("Arial", 20.0f, true, false);
    double bold = getter.get_width("mmmmmmmmmm");
    EXPECT_GT(bold, regular);
}

TEST(WidthGetter, UnknownFaceIsReplacedSilently)
{
    pdf_width_getter getter;
    getter.set_font("No Such Face Anywhere", 12.0f, false, false);
    EXPECT_GT(getter.get_width("abc"), 0.0);
    // Before any font the default face answers too.
    pdf_width_getter::instance().set_font(std::string(300, 'x'), 12.0f, false, false);
    EXPECT_GT(getter.get_width(" "), 0.0);
}

TEST(WidthGetter, DefaultFontBeforeFirstSetFont)
{
    pdf_width_getter getter;
    EXPECT_GT(getter.get_width("abc"), 0.0);
}

TEST(WidthGetter, SecondInstanceIsAnInternalError)
{
    pdf_width_getter getter;
    EXPECT_THROW(pdf_width_getter second, tk_mail_assertion);
    EXPECT_TRUE(pdf_width_getter::exists());
}

TEST(WidthGetter, ManySizesStayBounded)
{
    pdf_width_getter getter;
    double first = 0;
    for (int i = 0; i < 10000; ++i) {
        getter.set_font("Arial", 10.0f + static_cast<float>(i) * 0.001f, false, false);
        double w = getter.get_width("M");
        if (i == 0)
            first = w;
        EXPECT_GT(w, 0.0);
    }
    getter.set_font("Arial", 10.0f, false, false);
    EXPECT_DOUBLE_EQ(getter.get_width("M"), first);
}

TEST(WidthGetter, TraceLinesNameOnlyTheCallsMade)
{
    scratch_dir dir;
    const std::string path = dir.file("trace.log");
    {
        tk_logger log(path.c_str(), true, 1, false);
        pdf_width_getter getter;
        getter.get_width("ab"); // the default font is taken without a set_font line
        getter.set_font("Arial", 10.5f, true, false);
        getter.get_width(" ");
    }
    EXPECT_EQ(read_file(path), "pdf_width_getter::ctor\r\n"
                               "pdf_width_getter::get_width(ab)\r\n"
                               "pdf_width_getter::set_font(Arial, 10.500000)\r\n"
                               "pdf_width_getter::get_width( )\r\n"
                               "pdf_width_getter::dtor\r\n");
}
