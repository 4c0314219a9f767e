// Trace lines of the text pass, from the device's calls down to the word and the width getter.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include <PDFDoc.h>

#include "TK/tk_log.h"
#include "karvel/XMLOutputDev.h"
#include "karvel/text_page.h"
#include "karvel/text_word.h"
#include "pdf_writer.h"
#include "test_support.h"
#include "text_glyph_driver.h"

TEST(TextPassTrace, OneStringFromTheDeviceToTheWord)
{
    ensure_global_params();
    scratch_dir dir;
    pdf_writer w;
    w.add_page("BT /Helvetica 12 Tf 100 700 Td (ab) Tj ET\n");
    const std::string pdf = dir.file("doc.pdf");
    ASSERT_TRUE(w.save(pdf));
    const std::string log_path = dir.file("trace.log");
    std::string font_record;
    {
        tk_logger log(log_path.c_str(), true, 1, false);
        XMLOutputDev dev(dir.file("out.xml").c_str(), 0, 0, 0);
        ASSERT_TRUE(dev.isOk());
        PDFDoc doc(std::make_unique<GooString>(pdf.c_str()));
        ASSERT_TRUE(doc.isOk());
        doc.displayPage(&dev, 1, 72, 72, 0, true, false, false);
        ASSERT_NE(dev.page()->pools[0]->lastWord, nullptr);
        char text[16];
        std::snprintf(text, sizeof text, "%08X",
                      static_cast<unsigned>(reinterpret_cast<uintptr_t>(dev.page()->pools[0]->lastWord->font)));
        font_record = text;
        // the space is measured in the matched face when it is asked for
        dev.page()->pools[0]->lastWord->measuredSpaceWidth();
    }
    const std::string log = read_file(log_path);
    // Helvetica is matched to Arial; 'a' is 0.556 em wide, so 'b' starts at 106.672. The page is
    // 792 points high, so the base line 700 lies at 92.
    const std::string expected = "XMLOutputDev::beginString(ab)\r\n"
                                 "TextPage::beginWord\r\n"
                                 "TextWord::ctor(TextFontInfo=" + font_record + ")\r\n"
                                 "STEP #1\r\n"
                                 "gfxFont is not NULL\r\n"
                                 "STEP #2\r\n"
                                 "TextWord::addChar(x=100, y=92, y_base=92.000000, c='a', c16='061') \r\n"
                                 "TextWord::addChar(x=106.672, y=92, y_base=92.000000, c='b', c16='062') \r\n"
                                 "XMLOutputDev::endString\r\n";
    EXPECT_NE(log.find(expected), std::string::npos) << log;
    EXPECT_NE(log.find("pdf_width_getter::set_font(Arial, 12.000000)\r\npdf_width_getter::get_width( )\r\n",
                       log.find(expected)),
              std::string::npos);
    EXPECT_NE(log.find("XMLOutputDev::startPage(1)\r\n"), std::string::npos);
    EXPECT_NE(log.find("XMLOutputDev::updateFont\r\n"), std::string::npos);
}
