// The one conversion job of both programs.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "TK/tk_regk.h"
#include "TK/tk_singl.h"
#include "TK/tk_threa.h"
#include "karvel/xml_tags.h"

class PDFDoc;
class page_walk_dev;

// Page lists longer than this are refused: a range such as 1-2000000000 would otherwise
// ask for gigabytes before the first page is read.
constexpr size_t max_page_list_length = 1000000;

class karvel_convertor : public tk_converter, public tk_serializer, public tk_singleton<karvel_convertor> {
public:
    karvel_convertor();
    ~karvel_convertor() override;

    // Loads (save false) or saves the stored settings; true only when the key opened and
    // all eleven values were exchanged. The wizard build loads in the constructor and saves
    // in the destructor.
    bool serialize(bool save);

    // One whole conversion of src into dest.
    void run() override;
#ifdef KARVEL_WIZARD
    // Pages finished as a whole percentage of page_count (0 while the count is 0).
    double get_percent() const;
#endif
    // Parses a page-list text such as "1,3,5-10" into page_list.
    void set_page_range(const std::string& text);

    std::string pages_text;
    std::string password;
    bool use_ruling_lines = true;
    bool open_on_exit = true;
    int raster_dpi = 150;
    std::vector<unsigned> page_list;
    std::atomic<unsigned> page_index{0};
    std::atomic<unsigned> page_count{0};
    xml_tags tags;
    // Set when the last run ended by a standard exception (such as running out of memory).
    bool failed = false;

private:
    void convert_page(page_walk_dev* walk, PDFDoc* doc, int page);
    void convert_pages(PDFDoc* doc);
};
