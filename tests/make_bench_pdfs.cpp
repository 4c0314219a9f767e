// Writes the path-heavy benchmark documents into a folder: ruled tables and forms of one
// to five pages, the kind of page on which drawing the rules costs as much as the text.
#include <cstdio>
#include <string>

#include "pdf_writer.h"

namespace {

std::string num(double v)
{
    char b[32];
    std::snprintf(b, sizeof b, "%.2f", v);
    return b;
}

// A table of rows x cols cells ruled with hairlines (stroked) or thin boxes (filled), a
// word or a number in every cell.
std::string ruled_table(int rows, int cols, bool boxes, int seed)
{
    const double x0 = 40, y0 = 760, w = 532.0 / cols, h = 720.0 / rows;
    std::string c = "0 0 0 RG 0 0 0 rg 0.4 w\n";
    for (int r = 0; r <= rows; ++r) {
        const double y = y0 - r * h;
        c += boxes ? num(x0) + " " + num(y - 0.3) + " " + num(w * cols) + " 0.6 re f\n"
                   : num(x0) + " " + num(y) + " m " + num(x0 + w * cols) + " " + num(y) + " l S\n";
    }
    for (int k = 0; k <= cols; ++k) {
        const double x = x0 + k * w;
        c += boxes ? num(x - 0.3) + " " + num(y0 - h * rows) + " 0.6 " + num(h * rows) + " re f\n"
                   : num(x) + " " + num(y0) + " m " + num(x) + " " + num(y0 - h * rows) + " l S\n";
    }
    c += "BT /Helvetica 7 Tf\n";
    for (int r = 0; r < rows; ++r)
        for (int k = 0; k < cols; ++k) {
            const std::string text = (k == 0) ? "Item " + std::to_string(r + 1) : std::to_string((r * 37 + k * 11 + seed) % 9973);
            c += "1 0 0 1 " + num(x0 + k * w + 2) + " " + num(y0 - (r + 1) * h + 2) + " Tm " + pdf_string(text) + " Tj\n";
        }
    return c + "ET\n";
}

// A form: labels with an answer box each (four strokes), check boxes and rules between groups.
std::string form_page(int fields)
{
    std::string c = "0 0 0 RG 0.5 w\n";
    const double h = 700.0 / fields;
    for (int i = 0; i < fields; ++i) {
        const double y = 740 - i * h;
        c += "BT /Helvetica 8 Tf 40 " + num(y + 3) + " Td (Field number " + std::to_string(i + 1) + ":) Tj ET\n";
        c += "200 " + num(y) + " m 560 " + num(y) + " l 560 " + num(y + h * 0.7) + " l 200 " + num(y + h * 0.7) +
             " l h S\n";
        for (int k = 0; k < 4; ++k)
            c += num(420 + 30 * k) + " " + num(y + 2) + " 6 6 re S\n";
        if (i % 5 == 4)
            c += "40 " + num(y - 2) + " m 560 " + num(y - 2) + " l S\n";
    }
    return c;
}

bool write(const std::string& folder, const std::string& name, const pdf_writer& w)
{
    const bool ok = w.save(folder + "/" + name);
    if (!ok)
        std::fprintf(stderr, "cannot write %s/%s\n", folder.c_str(), name.c_str());
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_bench_pdfs FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    bool ok = true;
    const int sizes[][2] = {{10, 4}, {25, 6}, {40, 8}, {60, 10}};
    for (int pages = 1; pages <= 5; pages += 2)
        for (const auto& s : sizes)
            for (bool boxes : {false, true}) {
                pdf_writer w;
                for (int p = 0; p < pages; ++p)
                    w.add_page(ruled_table(s[0], s[1], boxes, p));
                ok &= write(folder,
                            "table-" + std::to_string(s[0]) + "x" + std::to_string(s[1]) + (boxes ? "-boxes-" : "-rules-") +
                                std::to_string(pages) + "p.pdf",
                            w);
            }
    for (int fields : {20, 40, 80}) {
        pdf_writer w;
        w.add_page(form_page(fields));
        w.add_page(form_page(fields / 2));
        ok &= write(folder, "form-" + std::to_string(fields) + ".pdf", w);
    }
    return ok ? 0 : 1;
}
