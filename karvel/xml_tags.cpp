#include "karvel/xml_tags.h"

#include "TK/tk_log.h"

xml_tags::xml_tags()
    : cell("cell"), column("column"), line("line"), par("par"), page("page"), row("row"), table("table")
{
    tk_log(2, "xml_tags::ctor");
}

bool xml_tags::is_valid_tag(const std::string& name)
{
    // An XML element name cannot begin with a digit: the document would not parse.
    if (!name.empty() && name[0] >= '0' && name[0] <= '9')
        return false;
    for (const char c : name) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
        if (!ok)
            return false;
    }
    return true;
}

std::string xml_tags::make_tag(const char* prefix, const std::string& name)
{
    if (prefix == nullptr)
        throw tk_mail_assertion("xml_tags.cpp", 56);
    if (*prefix == '\0')
        throw tk_mail_assertion("xml_tags.cpp", 57);
    if (name.empty())
        return std::string();
    return prefix + name + ">";
}

void xml_tags::set(std::string& member, const std::string& name)
{
    if (!is_valid_tag(name))
        throw tk_exception("XML tag is not valid. You can use only alphanumeric symbols \n"
                           "(A-Z, a-z, 0-9) and underscore (_) to compose XML tags.",
                           1);
    member = name;
}
