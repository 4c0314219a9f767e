// The last page: confirms the conversion and can open the result on exit.
#pragma once

#include "GUI2/g_wiz_pg.h"

class manual_check_box;

class finish_page : public wizard_page<106, wizb_finish, psp_hideheader> {
public:
    finish_page();
    bool page_init() override;
    bool on_finish() override;

    manual_check_box* open_box;
};
