#include "tarnvik/cmd_line.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "TK/tk_cmdli.h"
#include "TK/tk_except.h"
#include "TK/tk_fname.h"
#include "TK/tk_log.h"
#include "TK/tk_utils.h"
#include "karvel/kvl_conv.h"

std::string option_src;
std::string option_dest;
std::string option_pswd;

const char* const usage_text =
    "TARNVIK v%d.%d\n"
    "Usage: TARNVIK.EXE OPTIONS\n"
    "\n"
    "   --dest=...       path to the destination XML file\n"
    "   --help           display this help message and exit\n"
    "   --logfile=...    path to the file where execution trace will be written\n"
    "   --pages=...      page numbers and/or pages ranges separated by commas.\n"
    "                    For example: 1,3,5-10\n"
    "   --pswd=...       password for the source PDF document (if any)\n"
    "   --src=...        path to the source PDF document\n"
    "   --tag_cell=...   tag for table's cells (default value is 'cell')\n"
    "   --tag_column=... tag for table's column (default value is 'column')\n"
    "   --tag_line=...   tag for text line (default value is 'line')\n"
    "   --tag_par=...    tag for paragraph (default value is 'par')\n"
    "   --tag_page=...   tag for page (default value is 'page')\n"
    "   --tag_row=...    tag for table's row (default value is 'row')\n"
    "   --tag_table=...  tag for table (default value is 'table')\n"
    "\n"
    "NOTES:\n"
    "  1) Command line parameters that contain spaces should be enclosed in\n"
    "     quotes (for example --dest=\"c:\\my documents\\my report.xml\")\n"
    "  2) It is necessary to specify XML tags only if it differs from default\n"
    "  3) You can avoid any tag specifying it as blank (for example --tag_row=)\n"
    "\n"
    "\n";

std::string usage_message()
{
    char buf[2048];
    std::snprintf(buf, sizeof buf, usage_text, program_version_major, program_version_minor);
    return buf;
}

void fatal_error(const std::string& text)
{
    tk_log(3, "%s", text.c_str());
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
    std::exit(-1);
}

std::string destination_for(const std::string& src, const std::string& dest)
{
    if (!dest.empty())
        return dest;
    tk_file_name name(src);
    name.set_ext(".xml");
    return name.get_full_name();
}

void check_log_files(int argc, const char* const* argv)
{
    // The options as parse_cmd_line will leave them: the last of each counts; every log
    // file named is emptied or appended to.
    const std::string src_prefix = "--src=";
    const std::string dest_prefix = "--dest=";
    const std::string log_prefix = "--logfile=";
    std::string src;
    std::string dest;
    std::vector<std::string> logs;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind(src_prefix, 0) == 0)
            src = arg.substr(src_prefix.size());
        else if (arg.rfind(dest_prefix, 0) == 0)
            dest = arg.substr(dest_prefix.size());
        else if (arg.rfind(log_prefix, 0) == 0 && arg.size() > log_prefix.size())
            logs.push_back(arg.substr(log_prefix.size()));
    }
    if (src.empty())
        return;
    dest = destination_for(src, dest);
    for (const std::string& log : logs) {
        if (tk_is_same_file(log, src))
            throw tk_exception("Logfile is the same as the source file.", 1);
        // "-" is the standard output stream, not a file of that name: the log must not be
        // that stream by another name (/dev/stdout, the file it is redirected to).
        if (dest == "-" ? tk_is_standard_output(log) : tk_is_same_file(log, dest))
            throw tk_exception("Logfile is the same as the destination file.", 1);
    }
}

bool parse_cmd_line(int argc, const char* const* argv)
{
    tk_log(1, "parse_cmd_line");
    static const cmd_line_option table[] = {
        {0, "--dest="},       {1, "--help"},        {2, "--logfile="},    {4, "--pages="},
        {5, "--pswd="},       {6, "--src="},        {7, "--tag_cell="},   {8, "--tag_column="},
        {9, "--tag_line="},   {10, "--tag_par="},   {11, "--tag_page="},  {12, "--tag_row="},
        {13, "--tag_table="}, {0, ""},
    };
    ansi_cmd_line cmd(argc, argv, table);
    karvel_convertor& conv = tk_singleton<karvel_convertor>::instance();
    while (cmd.has_more()) {
        const std::string value = cmd.value();
        switch (cmd.id()) {
        case 0: option_dest = value; break;
        case 1: fatal_error(usage_message());
        case 2:
            tk_log(1, "parse_cmd_line - got logfile %s", value.c_str());
            conv.set_logfile(value);
            break;
        case 4: conv.set_page_range(value); break;
        case 5: option_pswd = value; break;
        case 6: option_src = value; break;
        case 7: tk_singleton<xml_tags>::instance().set_cell(value); break;
        case 8: tk_singleton<xml_tags>::instance().set_column(value); break;
        case 9: tk_singleton<xml_tags>::instance().set_line(value); break;
        case 10: tk_singleton<xml_tags>::instance().set_par(value); break;
        case 11: tk_singleton<xml_tags>::instance().set_page(value); break;
        case 12: tk_singleton<xml_tags>::instance().set_row(value); break;
        case 13: tk_singleton<xml_tags>::instance().set_table(value); break;
        default: break;
        }
        cmd.next();
    }
    return cmd.unrecognised_count() == 0;
}
