// The raster pass paints no text, yet the core would parse every font of the page
// (embedded font programs included) before the first operator runs, which costs as much
// as the rest of the pass. While this scope lives, the page's resources name only its
// Type 3 fonts, whose glyph procedures the pass still runs for their rules.
#pragma once

#include <Object.h>

class PDFDoc;

class raster_font_scope {
public:
    raster_font_scope(PDFDoc* doc, int page);
    ~raster_font_scope();
    raster_font_scope(const raster_font_scope&) = delete;
    raster_font_scope& operator=(const raster_font_scope&) = delete;

private:
    Object* resources = nullptr; // the page's resource entry, restored at the end
    Object saved;
};
