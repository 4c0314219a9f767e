// The first page: the wizard's welcome and a link to the maker's home page.
#pragma once

#include "GUI2/g_wiz_pg.h"

class QLabel;

// The maker's home page that the welcome page links to.
extern const char* const maker_home_page;

class welcome_page : public wizard_page<103, wizb_next, psp_hideheader | psp_hashelp> {
public:
    welcome_page();
    bool page_init() override;

    QLabel* link;
    bool link_attached = false;
};
