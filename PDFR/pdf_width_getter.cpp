#include "PDFR/pdf_width_getter.h"

#include <cmath>
#include <map>
#include <tuple>
#include <unordered_map>

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include "TK/tk_log.h"

// One face at one pixel height, with the widths measured in it.
struct pdf_width_getter::font_entry {
    FT_Face face = nullptr; // shared with other sizes; owned by impl::faces
    int pixels = 0;
    std::unordered_map<std::string, double> widths;
};

struct pdf_width_getter::impl {
    FT_Library library = nullptr;
    // (file, index) -> face
    std::map<std::pair<std::string, int>, FT_Face> faces;
    // (face name, bold, italic) -> matched face (may be null when nothing matches)
    std::map<std::tuple<std::string, bool, bool>, FT_Face> matches;
    // (face name, pixel height, bold, italic) -> measurements
    std::map<std::tuple<std::string, int, bool, bool>, font_entry> entries;

    FT_Face match(const std::string& face, bool bold, bool italic);
};

FT_Face pdf_width_getter::impl::match(const std::string& face, bool bold, bool italic)
{
    auto key = std::make_tuple(face, bold, italic);
    auto found = matches.find(key);
    if (found != matches.end())
        return found->second;

    FT_Face result = nullptr;
    FcPattern* pattern = FcPatternCreate();
    if (pattern != nullptr) {
        if (!face.empty())
            FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(face.c_str()));
        FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
        FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
        FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult fc_result = FcResultNoMatch;
        FcPattern* matched = FcFontMatch(nullptr, pattern, &fc_result);
        if (matched != nullptr) {
            FcChar8* file = nullptr;
            int index = 0;
            if (FcPatternGetString(matched, FC_FILE, 0, &file) == FcResultMatch && file != nullptr) {
                FcPatternGetInteger(matched, FC_INDEX, 0, &index);
                auto face_key = std::make_pair(std::string(reinterpret_cast<char*>(file)), index);
                auto loaded = faces.find(face_key);
                if (loaded != faces.end()) {
                    result = loaded->second;
                } else if (library != nullptr || FT_Init_FreeType(&library) == 0) {
                    FT_Face ft_face = nullptr;
                    if (FT_New_Face(library, face_key.first.c_str(), index, &ft_face) == 0)
                        result = ft_face;
                    faces[face_key] = result;
                }
            }
            FcPatternDestroy(matched);
        }
        FcPatternDestroy(pattern);
    }
    matches[key] = result;
    return result;
}

pdf_width_getter::pdf_width_getter() : impl_(new impl)
{
    tk_log(2, "pdf_width_getter::ctor");
    // The font engine starts with the first face that is loaded.
}

pdf_width_getter::~pdf_width_getter()
{
    tk_log(2, "pdf_width_getter::dtor");
    for (auto& face : impl_->faces)
        if (face.second != nullptr)
            FT_Done_Face(face.second);
    if (impl_->library != nullptr)
        FT_Done_FreeType(impl_->library);
}

int pdf_width_getter::pixel_height(float size)
{
    double pixels = static_cast<double>(dpi) * size / 72.0;
    if (!(pixels > -1e6 && pixels < 1e6)) // NaN or absurd sizes
        return 0;
    return static_cast<int>(std::trunc(pixels));
}

void pdf_width_getter::set_font(const std::string& face, float size, bool bold, bool italic)
{
    tk_log(1, "pdf_width_getter::set_font(%s, %f)", face.c_str(), static_cast<double>(size));
    select(face, size, bold, italic);
}

void pdf_width_getter::select(const std::string& face, float size, bool bold, bool italic)
{
    std::string name = face.substr(0, max_face_length);
    // The measurement depends on the size only through the pixel height.
    int pixels = pixel_height(size);
    if (pixels < 0)
        pixels = -pixels;
    auto key = std::make_tuple(name, pixels, bold, italic);
    auto found = impl_->entries.find(key);
    if (found == impl_->entries.end()) {
        // Sizes come from the document, so the cache is bounded.
        if (impl_->entries.size() >= max_cached_fonts)
            impl_->entries.clear();
        if (impl_->matches.size() >= max_cached_fonts)
            impl_->matches.clear();
        font_entry entry;
        entry.face = impl_->match(name, bold, italic);
        entry.pixels = pixels;
        found = impl_->entries.emplace(key, std::move(entry)).first;
    }
    current_ = &found->second;
}

double pdf_width_getter::get_width(const std::string& text)
{
    tk_log(1, "pdf_width_getter::get_width(%s)", text.c_str());
    if (text.empty())
        return 0.0;
    if (current_ == nullptr) {
        // Before any font is chosen the platform's default face at 16 pixels is used.
        select(std::string(), 12.0f, false, false);
    }
    font_entry* entry = current_;
    auto cached = entry->widths.find(text);
    if (cached != entry->widths.end())
        return cached->second;

    long pixels = 0;
    FT_Face face = entry->face;
    if (face != nullptr && entry->pixels > 0 && FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(entry->pixels)) == 0) {
        for (unsigned char byte : text) {
            FT_UInt glyph = FT_Get_Char_Index(face, byte);
            if (FT_Load_Glyph(face, glyph, FT_LOAD_DEFAULT) != 0)
                continue;
            // Hinted advances are whole pixels, as the platform's text extents are.
            pixels += (face->glyph->advance.x + 32) >> 6;
        }
    }
    double inches = static_cast<double>(pixels) / dpi;
    if (text.size() <= max_cached_text && entry->widths.size() < max_cached_texts)
        entry->widths.emplace(text, inches);
    return inches;
}
