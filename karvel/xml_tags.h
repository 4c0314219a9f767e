// The seven element names the user may change or switch off.
#pragma once

#include <string>

#include "TK/tk_singl.h"

class xml_tags : public tk_singleton<xml_tags> {
public:
    xml_tags();
    ~xml_tags() override = default;

    static bool is_valid_tag(const std::string& name);
    // prefix + name + ">", or empty for an empty name.
    static std::string make_tag(const char* prefix, const std::string& name);

    void set_cell(const std::string& name) { set(cell, name); }
    void set_column(const std::string& name) { set(column, name); }
    void set_line(const std::string& name) { set(line, name); }
    void set_par(const std::string& name) { set(par, name); }
    void set_page(const std::string& name) { set(page, name); }
    void set_row(const std::string& name) { set(row, name); }
#ifndef KARVEL_WIZARD
    // The wizard never changes the table name.
    void set_table(const std::string& name) { set(table, name); }
#endif

    std::string column_open() const { return make_tag("<", column); }
    std::string column_close() const { return make_tag("</", column); }
    std::string line_open() const { return make_tag("<", line); }
    std::string line_close() const { return make_tag("</", line); }
    std::string page_open() const { return make_tag("<", page); }
    std::string page_close() const { return make_tag("</", page); }
    std::string par_open() const { return make_tag("<", par); }
    std::string par_close() const { return make_tag("</", par); }
    std::string row_open() const { return make_tag("<", row); }
    std::string row_close() const { return make_tag("</", row); }
    std::string table_open() const { return make_tag("<", table); }
    std::string table_close() const { return make_tag("</", table); }

    std::string cell;
    std::string column;
    std::string line;
    std::string par;
    std::string page;
    std::string row;
    std::string table;

private:
    static void set(std::string& member, const std::string& name);
};
