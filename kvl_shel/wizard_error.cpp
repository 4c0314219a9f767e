// Temporary stand-in until H5 replaces this file with the wizard's error handler.
#include "TK/tk_error.h"

#include "GUI2/g_wiz_sh.h"

void error_handler::handle(const tk_exception& e, bool)
{
    wizard_shell::error(e.what());
}
