// The ruling lines of the page being converted: captured by the raster pass, turned
// into tables of cells before the text pass, asked about underlines and cells during it.
#pragma once

#include <memory>
#include <vector>

#include "TK/tk_singl.h"
#include "TK/tk_threa.h"

// Source text by which internal errors of the processor are reported.
#define PDF_ULIN_FILE "../../PDFR/pdf_ulin.cpp"

class pdf_uline_processor : public tk_singleton<pdf_uline_processor> {
public:
    // px (150 dpi raster pass) per pt (72 dpi text pass).
    static constexpr double px_per_pt = 2.08333;
    // Twice px_per_pt: the middle of a px range in pt is (yMin + yMax) / px2_per_pt.
    static constexpr double px2_per_pt = 4.16666;

    // One captured line (px) or one confirmed underline (pt).
    struct line_rect {
        int key = 0; // 0 free; n * 1000 while assigned to table n
        double xMin = 0;
        double xMax = 0;
        double yMin = 0;
        double yMax = 0;
    };

    // How a captured line would have been painted: the colour in effect at capture.
    struct line_paint {
        line_paint(unsigned char r, unsigned char g, unsigned char b) : red(r), green(g), blue(b) {}
        unsigned char red;
        unsigned char green;
        unsigned char blue;
    };

    // One table cell, pt.
    struct cell {
        double xMin = 0;
        double xMax = 0;
        double yMin = 0;
        double yMax = 0;
    };

    // One table of the page.
    struct reg_item {
        int number = 0;  // 1, 2, ... in order of discovery; 0 once dropped
        int rows = 0;    // row rule positions
        int columns = 0; // column rule positions
        unsigned char red = 0;
        unsigned char green = 0;
        unsigned char blue = 0;
        double xMin = 0; // px while building, pt once the cells are built
        double xMax = 0;
        double yMin = 0;
        double yMax = 0;
        double rule_width = 0.3; // pt
        std::vector<cell> cells; // row by row, left to right

        // Index of the first cell that holds the box (pt), or -1.
        int is_inCell(double xMin, double xMax, double yMin, double yMax) const;
        // Fills the cells from the rule positions (px) and converts the box to pt.
        void cellsBuilding(std::vector<double> rows, std::vector<double> columns);
    };

    explicit pdf_uline_processor(unsigned char mode);
    ~pdf_uline_processor() override;

    // A captured line in px; the processor takes ownership of the paint record.
    void set_line(double xA, double xB, double yA, double yB, std::unique_ptr<line_paint> paint);
    // Forgets the page: lines, paint records, underlines and tables.
    void flush();

    // True when text from xMin to xMax (pt) on base line yBase in colour r, g, b lies
    // on an underline; a first match turns the captured line into an underline.
    bool process_as_underline(double xMin, double xMax, double yBase, int r, int g, int b);
    // The middles (pt) of the captured lines, ascending: where text may lie on a line.
    std::vector<double> line_middles() const;
    // False when no line (of the given middles) and no underline lies within reach of the
    // base line: process_as_underline then finds nothing and changes nothing.
    bool near_underline(const std::vector<double>& middles, double yBase) const;
    // Cell code of a box (pt): table number * 10000 + cell index, 0 outside every table.
    int process_is_inCell(double xMin, double xMax, double yMin, double yMax);
    // Groups the captured lines into tables of cells and removes the rules of kept tables.
    void tableBuilding();

    // The order of lines for table building (not a strict ordering).
    static bool line_less(const line_rect& a, const line_rect& b);

    // The table and the cell a cell code names; null when the code names none.
    const reg_item* table_of(int cell_code) const;
    const cell* cell_of(int cell_code) const;

    unsigned char mode;               // non-zero: both orientations captured, tables built
    unsigned char single_subpath = 0; // set by the raster device for single-subpath paths
    std::vector<line_rect> lines;     // px, captured lines of the page
    std::vector<line_rect> underlines; // pt, confirmed underlines of the page
    std::vector<std::unique_ptr<line_paint>> line_paints; // entry i belongs to lines[i]
    std::vector<reg_item> tables;     // entry n - 1 is table n (or a dropped table)
    tk_stop_check stop;               // polled by the table building

private:
    // Removes line i with its paint record.
    void remove_line(size_t i);
};
