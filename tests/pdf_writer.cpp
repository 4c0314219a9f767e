#include "pdf_writer.h"

#include <cstdio>
#include <fstream>
#include <sstream>

const std::vector<std::string>& pdf_writer::standard_fonts()
{
    static const std::vector<std::string> names = {
        "Helvetica",   "Helvetica-Bold",  "Helvetica-Oblique", "Helvetica-BoldOblique",
        "Times-Roman", "Times-Bold",      "Times-Italic",      "Times-BoldItalic",
        "Courier",     "Courier-Bold",    "Courier-Oblique",   "Courier-BoldOblique",
        "Symbol",      "ZapfDingbats"};
    return names;
}

int pdf_writer::add_page(const std::string& content, double width, double height)
{
    page p;
    p.content = content;
    p.width = width;
    p.height = height;
    pages_.push_back(p);
    return static_cast<int>(pages_.size()) - 1;
}

int pdf_writer::add_object(const std::string& body)
{
    objects_.push_back(body);
    return static_cast<int>(objects_.size());
}

int pdf_writer::add_type3_font(const std::vector<int>& procs, const std::string& entries)
{
    std::string char_procs, names, widths;
    for (size_t i = 0; i < procs.size(); ++i) {
        const std::string name(1, static_cast<char>('a' + i));
        char_procs += "/" + name + " " + std::to_string(procs[i]) + " 0 R ";
        names += " /" + name;
        widths += i == 0 ? "0" : " 0";
    }
    return add_object("<< /Type /Font /Subtype /Type3 /FontBBox [0 0 0 0] /FontMatrix [1 0 0 1 0 0] /CharProcs << " +
                      char_procs + ">> /Encoding << /Type /Encoding /Differences [97" + names + "] >> /FirstChar 97 "
                      "/LastChar " + std::to_string(96 + procs.size()) + " /Widths [" + widths + "] " + entries + ">>");
}

int pdf_writer::add_stream(const std::string& dict_entries, const std::string& data)
{
    return add_object("<< " + dict_entries + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data +
                      "\nendstream");
}

std::string pdf_writer::build() const
{
    // Numbering: extra objects 1..E, then the catalog, the page tree, the 14 fonts,
    // and per page its page object and content stream.
    const int extra = static_cast<int>(objects_.size());
    const int catalog = extra + 1;
    const int tree = extra + 2;
    const int first_font = extra + 3;
    const int first_page = first_font + static_cast<int>(standard_fonts().size());

    std::vector<std::string> bodies(objects_);
    bodies.push_back("<< /Type /Catalog /Pages " + std::to_string(tree) + " 0 R " +
                     (catalog_entries.empty() ? "" : catalog_entries + " ") + ">>");
    std::string kids;
    for (size_t i = 0; i < pages_.size(); ++i)
        kids += std::to_string(first_page + 2 * static_cast<int>(i)) + " 0 R ";
    bodies.push_back("<< /Type /Pages /Kids [ " + kids + "] /Count " + std::to_string(pages_.size()) + " >>");
    std::string font_dict;
    for (size_t i = 0; i < standard_fonts().size(); ++i) {
        const std::string& name = standard_fonts()[i];
        const bool symbolic = name == "Symbol" || name == "ZapfDingbats";
        bodies.push_back("<< /Type /Font /Subtype /Type1 /BaseFont /" + name +
                         (symbolic ? "" : " /Encoding /WinAnsiEncoding") + " >>");
        font_dict += "/" + name + " " + std::to_string(first_font + static_cast<int>(i)) + " 0 R ";
    }
    for (size_t i = 0; i < pages_.size(); ++i) {
        const page& p = pages_[i];
        std::ostringstream dict;
        dict << "<< /Type /Page /Parent " << tree << " 0 R /MediaBox [0 0 " << p.width << " " << p.height
             << "] /Resources << /Font << " << font_dict;
        for (const auto& f : p.extra_fonts)
            dict << "/" << f.first << " " << f.second << " 0 R ";
        dict << ">>";
        if (!p.xobjects.empty()) {
            dict << " /XObject << ";
            for (const auto& x : p.xobjects)
                dict << "/" << x.first << " " << x.second << " 0 R ";
            dict << ">>";
        }
        if (!p.extra_resources.empty())
            dict << " " << p.extra_resources;
        dict << " >> /Contents " << first_page + 2 * static_cast<int>(i) + 1 << " 0 R " << p.extra_page_entries
             << " >>";
        bodies.push_back(dict.str());
        bodies.push_back("<< /Length " + std::to_string(p.content.size()) + " >>\nstream\n" + p.content +
                         "\nendstream");
    }

    std::string out = "%PDF-1.4\n%\xe2\xe3\xcf\xd3\n";
    std::vector<size_t> offsets;
    for (size_t i = 0; i < bodies.size(); ++i) {
        offsets.push_back(out.size());
        out += std::to_string(i + 1) + " 0 obj\n" + bodies[i] + "\nendobj\n";
    }
    const size_t xref = out.size();
    out += "xref\n0 " + std::to_string(bodies.size() + 1) + "\n0000000000 65535 f \n";
    char line[32];
    for (const size_t off : offsets) {
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", off);
        out += line;
    }
    out += "trailer\n<< /Size " + std::to_string(bodies.size() + 1) + " /Root " + std::to_string(catalog) +
           " 0 R " + trailer_entries + " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return out;
}

bool pdf_writer::save(const std::string& path) const
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << build();
    return static_cast<bool>(f);
}

std::string pdf_string(const std::string& text)
{
    std::string out = "(";
    for (const char c : text) {
        if (c == '(' || c == ')' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + ")";
}

std::string text_at(double x, double y, const std::string& text, const std::string& font)
{
    return "BT " + font + " " + std::to_string(x) + " " + std::to_string(y) + " Td " + pdf_string(text) + " Tj ET\n";
}
