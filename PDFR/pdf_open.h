// Opening a document through the PDF core with the system's failure messages.
#pragma once

#include <memory>
#include <string>

class PDFDoc;
class GooString;

extern const char* const pdf_cannot_read_message;
extern const char* const pdf_bad_password_message;

// Opens the document. A file that cannot be opened throws nothing: the document comes
// back not ok. An unreadable document, an unknown security handler and a rejected
// password throw a level-1 tk_exception; no half-open document reaches the caller.
// Null passwords mean none is given. A document that is to be read through (a conversion)
// is read into memory at once when it is not too large; a check that it opens reads only
// what the core asks for.
std::unique_ptr<PDFDoc> pdf_open_document(const std::string& file, const GooString* owner_password,
                                          const GooString* user_password, bool read_through = false);
