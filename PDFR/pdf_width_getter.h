// Width of a text set in a named platform font, at the screen resolution of 96 dpi.
#pragma once

#include <memory>
#include <string>

#include "TK/tk_singl.h"

class pdf_width_getter : public tk_singleton<pdf_width_getter> {
public:
    pdf_width_getter();
    ~pdf_width_getter() override;

    // Makes the font current for later measurements; an unknown face is replaced by
    // the platform's choice, silently.
    void set_font(const std::string& face, float size, bool bold, bool italic);
    // Advance width of the text (bytes taken as Latin-1) in the current font, in inches.
    double get_width(const std::string& text);

    // Pixel height asked for a point size: trunc(96 x size / 72).
    static int pixel_height(float size);

    static constexpr int dpi = 96;
    // Face names are cut to this many bytes, as the platform's font description holds.
    static constexpr size_t max_face_length = 31;
    // Bounds of the measurement cache.
    static constexpr size_t max_cached_fonts = 4096;
    static constexpr size_t max_cached_text = 16;
    static constexpr size_t max_cached_texts = 64;

private:
    struct font_entry;
    struct impl;
    // set_font without its trace line.
    void select(const std::string& face, float size, bool bold, bool italic);
    std::unique_ptr<impl> impl_;
    font_entry* current_ = nullptr;
};
