// The wizard's window: it hosts the pages and is the one place through which the
// wizard program talks to the user outside the pages (message boxes, help, progress timer).
#pragma once

#include <QPixmap>
#include <QWizard>

#include <functional>
#include <string>
#include <vector>

#include "TK/tk_singl.h"

class QAbstractButton;
class QMessageBox;
class QUrl;
class wizard_page_base;

// Extra flag of wizard_shell::question: the second button (No) is the default.
constexpr unsigned mb_defbutton2 = 0x100;

// Button ids of wizard_shell::enable_button.
constexpr int wizard_button_cancel = 2;
constexpr int wizard_button_help = 9;
constexpr int wizard_button_back = 0x3023;
constexpr int wizard_button_next = 0x3024;
constexpr int wizard_button_finish = 0x3025;

// The progress timer's documented id; the id that Qt hands out is mapped to it.
constexpr int progress_timer_id = 0x10000;

class wizard_shell : public QWizard, public tk_singleton<wizard_shell> {
    Q_OBJECT

public:
    wizard_shell(const std::string& title, unsigned icon_id, int watermark_id, int header_id);
    ~wizard_shell() override;

    // Class-level services: they need no shell object, work before the shell exists
    // and after it is gone, and may be called from any thread (the work is handed to
    // the user-interface thread and waited for).
    static bool is_initialized();
    static void error(const std::string& text);
    static void message(const std::string& text);
    static bool question(const std::string& text, unsigned flags);
    static void display_help();
    static void display_help(int context_id);
    // The help file: the program's own path with the extension ".html".
    static std::string help_file_name();

    // Operations on the shell object (any thread; run on the user-interface thread).
    void show_title();
    void start_timer(unsigned period_ms);
    void stop_timer();
    void enable_button(int button_id, bool enable);
    // Applies a wizard-button mask (wizb_back, wizb_next, wizb_finish).
    void set_wizard_buttons(int mask);
    // The button of an enable_button id, or null.
    QAbstractButton* button_of(int button_id) const;

    // Adds a page under its dialog id; pages are shown in the order they are added.
    void add_page(wizard_page_base* page);
    // Takes a page out of the sheet without showing another one.
    void remove_page(wizard_page_base* page);
    wizard_page_base* current_wizard_page() const;

    std::string title;
    unsigned icon_id = 0;
    bool timer_on = false;
    bool title_shown = false;
    QPixmap watermark_bitmap;
    QPixmap header_bitmap;
    // Filled by the error handler once the shell is initialised (at most 20 entries).
    std::vector<std::string> error_list;

    // Test seams. When set, box_answerer is given each fully prepared message box
    // instead of running it and returns the answer (a QMessageBox::StandardButton);
    // url_opener receives what would be handed to the desktop (result, help).
    static std::function<int(QMessageBox&)> box_answerer;
    static std::function<void(const QUrl&)> url_opener;
    // Hands a URL to the desktop (or to url_opener).
    static void open_url(const QUrl& url);

    int nextId() const override;
    bool validateCurrentPage() override;
    void setVisible(bool visible) override;
    void accept() override;
    void reject() override;

protected:
    void timerEvent(QTimerEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void load_bitmaps(int watermark_id, int header_id);
    void fit_to_pages();
    void on_page_changed(int id);
    void on_back_clicked();
    void on_help_requested();

    std::vector<int> page_order;
    int qt_timer_id = 0;
    int jump_target = -1;
    // The window's one size for all pages; set before it is first shown.
    QSize page_size;
    bool going_back = false;
};
