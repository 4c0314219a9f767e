#include "PDFR/pdf_open.h"

#include <ErrorCodes.h>
#include <goo/GooString.h>
#include <Object.h>
#include <PDFDoc.h>
#include <Stream.h>
#include <XRef.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <vector>

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

// Documents up to this size are read into memory at once: the core then reads its
// streams from there instead of asking the system for every few hundred bytes.
constexpr off_t max_document_in_memory = 256L << 20;

// The bytes of the document, as a stream the document owns.
class document_bytes {
protected:
    explicit document_bytes(std::vector<char>&& data) : bytes(std::move(data)) {}
    std::vector<char> bytes;
};

class owned_mem_stream : private document_bytes, public MemStream {
public:
    explicit owned_mem_stream(std::vector<char>&& data)
        : document_bytes(std::move(data)), MemStream(bytes.data(), 0, static_cast<Goffset>(bytes.size()), Object(objNull))
    {
    }
};

// The whole file, or nothing when it cannot be read at once (missing, unreadable, not a
// regular file, too large, changing while it is read).
std::optional<std::vector<char>> read_document(const std::string& file)
{
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    std::optional<std::vector<char>> result;
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 && st.st_size <= max_document_in_memory) {
        std::vector<char> data(static_cast<size_t>(st.st_size));
        size_t got = 0;
        while (got < data.size()) {
            const ssize_t n = read(fd, data.data() + got, data.size() - got);
            if (n <= 0)
                break;
            got += static_cast<size_t>(n);
        }
        if (got == data.size())
            result = std::move(data);
    }
    close(fd);
    return result;
}

std::optional<GooString> optional_copy(const GooString* s)
{
    if (s == nullptr)
        return std::nullopt;
    return GooString(s);
}

} // namespace

std::unique_ptr<PDFDoc> pdf_open_document(const std::string& file, const GooString* owner_password,
                                          const GooString* user_password, bool read_through)
{
    tk_log(1, "PDFDoc::ctor(name=%s,pswd=%s)", file.c_str(),
           owner_password ? owner_password->c_str() : "[NULL]");
    std::unique_ptr<PDFDoc> doc;
    std::optional<std::vector<char>> bytes;
    if (read_through)
        bytes = read_document(file);
    if (bytes)
        doc = std::make_unique<PDFDoc>(new owned_mem_stream(std::move(*bytes)), optional_copy(owner_password),
                                       optional_copy(user_password));
    else
        // The core opens the file itself and reports what stands in the way.
        doc = std::make_unique<PDFDoc>(std::make_unique<GooString>(file), optional_copy(owner_password),
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
