// The settings page: all pages or a page list, and six of the element names.
#pragma once

#include "GUI2/g_wiz_pg.h"

class QLineEdit;
class QRadioButton;

class settings_page : public wizard_page<107, wizb_back | wizb_next, psp_hashelp> {
public:
    settings_page();

    bool page_init() override;
    // Next and Back alike: hands the choices over; a rejected value keeps the page.
    int on_next() override;
    int on_back() override { return on_next(); }
    void on_help() override;

    int on_radio(int id);

private:
    QRadioButton* all_radio;
    QRadioButton* pages_radio;
    QLineEdit* pages_edit;
    QLineEdit* tag_edits[6];
};
