// A small PDF writer for the test documents: pages with exact content streams, the
// standard 14 fonts, and room for extra objects (Type 3 fonts, forms, annotations).
#pragma once

#include <map>
#include <string>
#include <vector>

class pdf_writer {
public:
    struct page {
        std::string content;                        // the page's content stream, as written
        double width = 612;
        double height = 792;
        std::map<std::string, int> extra_fonts;     // resource name -> object number
        std::map<std::string, int> xobjects;        // resource name -> object number
        std::string extra_page_entries;             // appended to the page dictionary
        std::string extra_resources;                // appended to the page's resource dictionary
    };

    // The standard 14 fonts are on every page under their own names, such as
    // "/Helvetica 12 Tf" or "/Times-BoldItalic 9 Tf" (WinAnsi encoding for the text fonts).
    static const std::vector<std::string>& standard_fonts();

    // Adds a page and returns its index.
    int add_page(const std::string& content, double width = 612, double height = 792);
    page& page_at(int index) { return pages_[static_cast<size_t>(index)]; }

    // Reserves an object whose dictionary or stream is written as given; returns its number.
    int add_object(const std::string& body);
    // A stream object: dictionary entries (without << >> and /Length) and the data.
    int add_stream(const std::string& dict_entries, const std::string& data);
    // A Type 3 font whose glyphs 'a', 'b', ... (codes 97 on) are the given procedure
    // objects, with the unit font matrix, no widths and the given extra dictionary
    // entries (such as "/Resources << ... >>"); returns its number.
    int add_type3_font(const std::vector<int>& procs, const std::string& entries = "");

    // Extra entries of the trailer dictionary, such as "/Encrypt 1 0 R /ID [...]".
    std::string trailer_entries;
    // Extra entries of the catalog, such as "/OCProperties << ... >>".
    std::string catalog_entries;

    std::string build() const;
    // Writes the document; false when the file cannot be written.
    bool save(const std::string& path) const;

private:
    std::vector<page> pages_;
    std::vector<std::string> objects_; // extra objects, numbered from 1 in build order
};

// Escapes a text for a PDF literal string.
std::string pdf_string(const std::string& text);

// A content-stream text object showing the text at (x, y).
std::string text_at(double x, double y, const std::string& text, const std::string& font = "/Helvetica 12 Tf");
