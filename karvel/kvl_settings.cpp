// The wizard's stored settings: eleven values under the convertor's registry key.
#include "karvel/kvl_conv.h"

#include "TK/tk_log.h"

bool karvel_convertor::serialize(bool save)
{
    tk_log(1, "serialize( %d )", save ? 1 : 0);
    if (settings_key.create(HKEY_CURRENT_USER, settings_key.path.c_str(), nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, nullptr) != ERROR_SUCCESS)
        return false;
    if (!save)
        open_on_exit = true; // a missing value leaves it on
    // Every value is tried, also after one has failed. Element names come in as stored,
    // unvalidated: the settings page checks every name before a conversion can use it.
    bool ok = true;
    ok &= settings_key.exchange("dest", &dest, save);
    ok &= settings_key.exchange("open on exit", &open_on_exit, save);
    ok &= settings_key.exchange("pages", &pages_text, save);
    ok &= settings_key.exchange("password", &password, save);
    ok &= settings_key.exchange("src", &src, save);
    ok &= settings_key.exchange("tag_cell", &tags.cell, save);
    ok &= settings_key.exchange("tag_column", &tags.column, save);
    ok &= settings_key.exchange("tag_line", &tags.line, save);
    ok &= settings_key.exchange("tag_page", &tags.page, save);
    ok &= settings_key.exchange("tag_par", &tags.par, save);
    ok &= settings_key.exchange("tag_row", &tags.row, save);
    settings_key.close();
    return ok;
}
