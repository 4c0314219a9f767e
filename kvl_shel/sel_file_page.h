// The file-selection page: source PDF, optional password, destination XML.
#pragma once

#include <string>

#include "GUI2/g_wiz_pg.h"

class QLineEdit;
class manual_check_box;

class sel_file_page : public wizard_page<104, wizb_back | wizb_next, psp_hashelp> {
public:
    sel_file_page();

    bool page_init() override;
    int on_next() override;
    int on_back() override;
    void on_help() override;

    void save_data();
    int begin_edit_dest(const char* src_name);
    int on_checkbox();
    int browse_src();
    int browse_dest();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* src_edit;
    manual_check_box* password_box;
    QLineEdit* password_edit;
    QLineEdit* dest_edit;
    // The source that the destination edit was last proposed for or loaded with.
    std::string proposed_for;
};
