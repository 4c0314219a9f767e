// Writes the bundled sample document (samples/sample.pdf): a heading, two paragraphs,
// an underlined word and a ruled 3 x 3 table.
#include <cstdio>

#include "pdf_writer.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_sample_pdf OUT.pdf\n");
        return 2;
    }
    std::string c;
    c += "BT /Helvetica-Bold 18 Tf 72 720 Td (Quarterly report) Tj ET\n";
    c += "BT /Times-Roman 11 Tf 72 690 Td 14 TL "
         "(This sample shows how tarnvik groups the text of a page into words,) Tj T* "
         "(lines and paragraphs, and how ruled tables become rows and cells.) Tj ET\n";
    c += "BT /Times-Roman 11 Tf 72 650 Td (The figures below are ) Tj /Times-Bold 11 Tf (final) Tj "
         "/Times-Roman 11 Tf (.) Tj ET\n";
    c += "0 0 0 RG 0.6 w 171 647.5 m 192 647.5 l S\n"; // underline of "final"
    // A 3 x 3 table ruled with thin lines.
    c += "0.5 w\n";
    for (int r = 0; r <= 3; ++r)
        c += "72 " + std::to_string(600 - 20 * r) + " m 372 " + std::to_string(600 - 20 * r) + " l S\n";
    for (int col = 0; col <= 3; ++col)
        c += std::to_string(72 + 100 * col) + " 600 m " + std::to_string(72 + 100 * col) + " 540 l S\n";
    const char* cells[3][3] = {{"Region", "Units", "Revenue"}, {"North", "1200", "36000"}, {"South", "950", "28500"}};
    for (int r = 0; r < 3; ++r)
        for (int col = 0; col < 3; ++col)
            c += "BT /Helvetica 10 Tf " + std::to_string(78 + 100 * col) + " " + std::to_string(586 - 20 * r) +
                 " Td " + pdf_string(cells[r][col]) + " Tj ET\n";
    pdf_writer w;
    w.add_page(c);
    return w.save(argv[1]) ? 0 : 1;
}
