// The wizard's two error dialogs: one after which the program ends (with copy and
// bug-report buttons) and one that lets the user continue or abort.
#pragma once

#include <QDialog>

#include <string>

class QCheckBox;
class QLabel;
class QPushButton;

// Shared part: the message, the caption, the placement and the modal run.
class dlg_error_base : public QDialog {
    Q_OBJECT

public:
    ~dlg_error_base() override = default;

    // Runs the dialog modally over the owner (none: the active window of the user-interface
    // thread) and returns the value it ended with. Call on the user-interface thread. A run
    // being stopped closes it (or does not show it) with stop_answer.
    int do_modal(QWidget* owner = nullptr);

    std::string message;

protected:
    dlg_error_base(const std::string& text, int resource_id, int width_dlu, int height_dlu);
    // Caption, message text, placement over the owner and to the top.
    void init_common();
    // A rectangle given in dialog units, in pixels.
    QRect dlu_rect(int x, int y, int width, int height) const;
    virtual void on_init() = 0;

    QLabel* message_label = nullptr;
    int extra_height = 0; // pixels added below the message when its text needs them
    int stop_answer = 1;  // OK, Abort: the dialog's answer when a stop closes it

private:
    int width_dlu;
    int height_dlu;
};

// Dialog 114: an error after which the program ends.
class dlg_error_ex : public dlg_error_base {
    Q_OBJECT

public:
    static constexpr int resource_id = 114;
    explicit dlg_error_ex(const std::string& text);

    // Escape and the close box do nothing here.
    void reject() override {}

protected:
    void on_init() override;

private:
    void on_send_bug();
    void on_copy();

    QPushButton* send_bug_button = nullptr;
    QPushButton* ok_button = nullptr;
    QPushButton* copy_button = nullptr;
};

// Dialog 115: an error after which the user may continue.
class dlg_error_continue : public dlg_error_base {
    Q_OBJECT

public:
    static constexpr int resource_id = 115;
    explicit dlg_error_continue(const std::string& text);

    // Escape and the close box choose Continue.
    void reject() override { done(2); }

    bool dont_show_again = false;

protected:
    void on_init() override;

private:
    void on_checkbox();

    QPushButton* continue_button = nullptr;
    QPushButton* abort_button = nullptr;
    QCheckBox* dont_show_box = nullptr;
};
