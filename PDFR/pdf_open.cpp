#include "PDFR/pdf_open.h"

#include <ErrorCodes.h>
#include <goo/GooString.h>
#include <Object.h>
#include <PDFDoc.h>
#include <XRef.h>

#include <optional>

#include "TK/tk_except.h"
#include "TK/tk_log.h"

const char* const pdf_cannot_read_message =
    "The program cannot read PDF document. It might be corrupted or\ndoes not comply with Adobe PDF format.";
const char* const pdf_bad_password_message = "Incorrect password";

namespace {

// True when the trailer's encryption dictionary names the standard security handler.
bool uses_standard_security(PDFDoc& doc)
{
    XRef* xref = doc.getXRef();
    if (xref == nullptr)
        return false;
    Object* trailer = xref->getTrailerDict();
    if (trailer == nullptr || !trailer->isDict())
        return false;
    Object encrypt = trailer->dictLookup("Encrypt");
    if (!encrypt.isDict())
        return false;
    Object filter = encrypt.dictLookup("Filter");
    return filter.isName("Standard");
}

std::optional<GooString> optional_copy(const GooString* s)
{
    if (s == nullptr)
        return std::nullopt;
    return GooString(s);
}

} // namespace

std::unique_ptr<PDFDoc> pdf_open_document(const std::string& file, const GooString* owner_password,
                                          const GooString* user_password)
{
    tk_log(1, "PDFDoc::ctor(name=%s,pswd=%s)", file.c_str(),
           owner_password ? owner_password->c_str() : "[NULL]");
    auto doc = std::make_unique<PDFDoc>(std::make_unique<GooString>(file), optional_copy(owner_password),
                                        optional_copy(user_password));
    if (doc->isOk()) {
        tk_log(1, "PDFDoc::setup");
        tk_log(1, "PDFDoc::checkEncryption");
        tk_log(1, "PDFDoc::checkEncryption - END ***");
        tk_log(1, "PDFDoc::setup - step #1");
        tk_log(1, "PDFDoc::setup - step #2");
        return doc;
    }
    const int code = doc->getErrorCode();
    if (code == errOpenFile)
        return doc;
    tk_log(1, "PDFDoc::setup");
    if (code == errEncrypted) {
        tk_log(1, "PDFDoc::checkEncryption");
        // The core reports a rejected password and an unknown handler alike.
        if (uses_standard_security(*doc))
            throw tk_exception(pdf_bad_password_message, 1);
        throw tk_exception(pdf_cannot_read_message, 1);
    }
    if (code == errBadCatalog) {
        tk_log(1, "PDFDoc::checkEncryption");
        tk_log(1, "PDFDoc::checkEncryption - END ***");
        tk_log(1, "PDFDoc::setup - step #1");
    }
    throw tk_exception(pdf_cannot_read_message, 1);
}
