// The base of every wizard page: activation, the notification slots and the control
// operations that the pages share.
#pragma once

#include <QFont>
#include <QString>
#include <QWizardPage>

#include <memory>

// Wizard-button masks posted at every activation.
constexpr int wizb_back = 1;
constexpr int wizb_next = 2;
constexpr int wizb_finish = 4;

// Page flags.
constexpr int psp_usecallback = 0x80;
constexpr int psp_hashelp = 0x20;
constexpr int psp_hideheader = 0x800;
constexpr int psp_useheadertitle = 0x1000;
constexpr int psp_useheadersubtitle = 0x2000;

class wizard_page_base : public QWizardPage {
public:
    wizard_page_base(int dialog_id, int buttons, int flags);
    ~wizard_page_base() override;

    // The activation step: posts the button mask, lets the shell show its title,
    // then page_init.
    bool OnSetActive();

    // The slots the concrete pages override.
    virtual bool page_init() { return true; }
    virtual bool on_kill_active() { return true; }
    virtual bool on_finish() { return true; }
    virtual void on_help() {}
    // 0: the next (previous) page; -1: stay; other: the dialog id of the page to show.
    virtual int on_next() { return 0; }
    virtual int on_back() { return 0; }
    // Asks the user whether to leave the wizard.
    virtual bool on_cancel();
    // The shell's progress timer, forwarded to the current page.
    virtual void on_timer(int timer_id) {}

    // Header texts of the pages that show the wizard header.
    void set_header(const QString& header_title, const QString& header_subtitle);

    void enable_ctrl(int id, bool enable);
    bool invert_chbox(int id);
    void set_title_font(int id);

    // The control of that id (its object name), or null.
    QWidget* control(int id) const;
    template <class T>
    T* control_as(int id) const
    {
        return findChild<T*>(QString::number(id));
    }

    // Queues a wizard-button mask for the sheet, behind the ones already queued.
    void post_wizard_buttons(int mask);

    const int dialog_id;
    const int buttons;
    int flags;
    std::unique_ptr<QFont> title_font;
    // The shell that shows this page; the page leaves it when destroyed first.
    class wizard_shell* host = nullptr;
};

template <int DialogId, int Buttons, int Flags>
class wizard_page : public wizard_page_base {
public:
    wizard_page() : wizard_page_base(DialogId, Buttons, Flags | psp_usecallback) {}
};
