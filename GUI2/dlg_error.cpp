#include "GUI2/dlg_error.h"

#include <QApplication>
#include <QCheckBox>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include <algorithm>

#include "GUI2/g_gui_thread.h"
#include "GUI2/g_wiz_sh.h"
#include "TK/tk_log.h"
#include "TK/tk_sysserv.h"

namespace {

const int message_id = 1320;

QString id_name(int id)
{
    return QString::number(id);
}

QPushButton* make_button(QWidget* parent, int id, const char* text)
{
    auto* button = new QPushButton(QString::fromLatin1(text), parent);
    button->setObjectName(id_name(id));
    // A focused button is the one that Enter presses; elsewhere Enter presses the default.
    button->setAutoDefault(true);
    return button;
}

// The system's error icon as a static picture.
QLabel* make_icon(QWidget* parent)
{
    auto* icon = new QLabel(parent);
    icon->setObjectName(id_name(-1));
    const int size = parent->style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, parent);
    icon->setPixmap(parent->style()->standardIcon(QStyle::SP_MessageBoxCritical, nullptr, parent).pixmap(size, size));
    icon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return icon;
}

// Moves the top-left corner so that a box of that size lies inside the area.
QPoint keep_inside(QPoint top_left, const QSize& size, const QRect& area)
{
    const int x = std::max(area.left(), std::min(top_left.x(), area.right() + 1 - size.width()));
    const int y = std::max(area.top(), std::min(top_left.y(), area.bottom() + 1 - size.height()));
    return QPoint(x, y);
}

} // namespace

dlg_error_base::dlg_error_base(const std::string& text, int resource_id, int width, int height)
    : QDialog(nullptr), message(text), width_dlu(width), height_dlu(height)
{
    setObjectName(id_name(resource_id));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    message_label = new QLabel(this);
    message_label->setObjectName(id_name(message_id));
    message_label->setTextFormat(Qt::PlainText);
    message_label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    message_label->setWordWrap(true);
}

QRect dlg_error_base::dlu_rect(int x, int y, int width, int height) const
{
    // Dialog units: a quarter of the average character width, an eighth of the font height.
    const QFontMetrics metrics(font());
    const int base_x = std::max(1, metrics.horizontalAdvance(
                                       QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
                                       52);
    const int base_y = std::max(1, metrics.height());
    return QRect(x * base_x / 4, y * base_y / 8, width * base_x / 4, height * base_y / 8);
}

void dlg_error_base::init_common()
{
    const bool shown = wizard_shell::is_initialized();
    const std::string caption = shown ? tk_singleton<wizard_shell>::instance().title + " Error" : "Error";
    setWindowTitle(QString::fromStdString(caption));
    QString text = QString::fromStdString(message);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    message_label->setText(text);
}

int dlg_error_base::do_modal(QWidget* owner)
{
    if (owner == nullptr)
        owner = QApplication::activeWindow();
    if (owner != nullptr && owner != this) {
        setParent(owner, windowFlags());
        setWindowModality(Qt::WindowModal);
    } else {
        setWindowModality(Qt::ApplicationModal);
    }
    init_common();
    on_init();

    // A message longer than its static's height makes the dialog taller, so none of it is cut off.
    const QRect label = message_label->geometry();
    const int needed = message_label->heightForWidth(label.width());
    QRect area = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->availableGeometry()
                                                  : QRect(0, 0, 1024, 768);
    if (owner != nullptr && owner->screen() != nullptr)
        area = owner->screen()->availableGeometry();
    const QSize base = dlu_rect(0, 0, width_dlu, height_dlu).size();
    extra_height = std::clamp(needed - label.height(), 0, std::max(0, area.height() * 3 / 4 - base.height()));
    if (extra_height > 0) {
        message_label->resize(label.width(), label.height() + extra_height);
        for (QWidget* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
            if (child != message_label && child->y() >= label.bottom())
                child->move(child->x(), child->y() + extra_height);
    }
    const QSize size(base.width(), base.height() + extra_height);
    setFixedSize(size);

    // Centred over a visible, not minimised owner, else on the screen; always inside the work area.
    QPoint top_left;
    if (owner != nullptr && owner->isVisible() && !owner->isMinimized()) {
        const QRect frame = owner->frameGeometry();
        top_left = frame.center() - QPoint(size.width() / 2, size.height() / 2);
    } else {
        top_left = area.center() - QPoint(size.width() / 2, size.height() / 2);
    }
    move(keep_inside(top_left, size, area));
    raise();
    activateWindow();
    return run_modal(*this, stop_answer);
}

dlg_error_ex::dlg_error_ex(const std::string& text) : dlg_error_base(text, resource_id, 264, 58)
{
    tk_log(1, "dlg_error_ex::ctor");
}

void dlg_error_ex::on_init()
{
    tk_log(1, "dlg_error_ex::on_init");
    message_label->setGeometry(dlu_rect(41, 10, 192, 19));
    send_bug_button = make_button(this, 1112, "Send bug");
    send_bug_button->setGeometry(dlu_rect(42, 37, 50, 14));
    ok_button = make_button(this, 1, "OK");
    ok_button->setGeometry(dlu_rect(102, 37, 50, 14));
    copy_button = make_button(this, 1108, "Copy to clipboard");
    copy_button->setGeometry(dlu_rect(162, 37, 70, 14));
    make_icon(this)->setGeometry(dlu_rect(7, 7, 21, 21));
    setTabOrder(send_bug_button, ok_button);
    setTabOrder(ok_button, copy_button);
    send_bug_button->setDefault(true);
    send_bug_button->setFocus();

    connect(ok_button, &QPushButton::clicked, this, [this] { done(1); });
    connect(copy_button, &QPushButton::clicked, this, [this] { on_copy(); });
    connect(send_bug_button, &QPushButton::clicked, this, [this] { on_send_bug(); });
}

void dlg_error_ex::on_copy()
{
    tk_copy_to_clipboard1(message);
    done(1108);
}

void dlg_error_ex::on_send_bug()
{
    const std::string app_name =
        wizard_shell::is_initialized() ? tk_singleton<wizard_shell>::instance().title : std::string();
    tk_send_bug(app_name, message);
    done(1112);
}

dlg_error_continue::dlg_error_continue(const std::string& text) : dlg_error_base(text, resource_id, 264, 76)
{
    tk_log(1, "dlg_error_continue::ctor");
    stop_answer = 2; // Continue, as Escape answers
}

void dlg_error_continue::on_init()
{
    tk_log(1, "dlg_error_continue::on_init");
    message_label->setGeometry(dlu_rect(42, 10, 192, 24));
    continue_button = make_button(this, 2, "Continue");
    continue_button->setGeometry(dlu_rect(42, 54, 50, 14));
    abort_button = make_button(this, 1, "Abort");
    abort_button->setGeometry(dlu_rect(102, 54, 50, 14));
    dont_show_box = new QCheckBox(QStringLiteral("&Do not show this dialog box again"), this);
    dont_show_box->setObjectName(id_name(1222));
    dont_show_box->setGeometry(dlu_rect(42, 40, 160, 8).adjusted(0, -2, 0, 2));
    make_icon(this)->setGeometry(dlu_rect(8, 14, 21, 21));
    setTabOrder(continue_button, abort_button);
    setTabOrder(abort_button, dont_show_box);
    continue_button->setDefault(true);
    continue_button->setFocus();

    connect(continue_button, &QPushButton::clicked, this, [this] { done(2); });
    connect(abort_button, &QPushButton::clicked, this, [this] { done(1); });
    connect(dont_show_box, &QCheckBox::clicked, this, [this] { on_checkbox(); });
}

void dlg_error_continue::on_checkbox()
{
    // The click has already toggled the box; its new state is what the user chose.
    dont_show_again = dont_show_box->checkState() == Qt::Checked;
}
