#include "PDFR/raster_fonts.h"

#include <PDFDoc.h>
#include <Page.h>

raster_font_scope::raster_font_scope(PDFDoc* doc, int page)
{
    Page* p = doc->getPage(page);
    if (p == nullptr)
        return;
    Object* res = p->getResourceDictObject();
    if (res == nullptr || !res->isDict())
        return;
    Object fonts = res->getDict()->lookup("Font");
    if (!fonts.isDict())
        return;
    XRef* xref = doc->getXRef();
    Dict* type3_fonts = new Dict(xref);
    Dict* all_fonts = fonts.getDict();
    for (int i = 0; i < all_fonts->getLength(); ++i) {
        const Object font = all_fonts->getVal(i);
        if (font.isDict() && font.dictLookup("Subtype").isName("Type3"))
            type3_fonts->add(all_fonts->getKey(i), all_fonts->getValNF(i).copy());
    }
    Dict* stripped = res->getDict()->copy(xref);
    stripped->remove("Font");
    stripped->add("Font", Object(type3_fonts));
    saved = res->copy();
    *res = Object(stripped);
    resources = res;
}

raster_font_scope::~raster_font_scope()
{
    if (resources != nullptr)
        *resources = std::move(saved);
}
