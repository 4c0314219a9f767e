#include "GUI2/g_wiz_pg.h"

#include <QAbstractButton>
#include <QMetaObject>
#include <QWidget>

#include <cmath>

#include "GUI2/g_wiz_sh.h"
#include "TK/tk_except.h"
#include "TK/tk_log.h"

wizard_page_base::wizard_page_base(int id, int button_mask, int page_flags)
    : dialog_id(id), buttons(button_mask), flags(page_flags)
{
    setObjectName(QString::number(id));
}

wizard_page_base::~wizard_page_base()
{
    tk_log(2, "wizard_page::dtor");
    if (host != nullptr)
        host->remove_page(this);
}

bool wizard_page_base::OnSetActive()
{
    tk_log(1, "wizard_page::OnSetActive");
    post_wizard_buttons(buttons);
    tk_singleton<wizard_shell>::instance().show_title();
    return page_init();
}

void wizard_page_base::post_wizard_buttons(int mask)
{
    wizard_shell& shell = tk_singleton<wizard_shell>::instance();
    QMetaObject::invokeMethod(
        &shell, [&shell, mask] { shell.set_wizard_buttons(mask); }, Qt::QueuedConnection);
}

bool wizard_page_base::on_cancel()
{
    tk_log(2, "wizard_page::on_cancel");
    tk_singleton<wizard_shell>::instance(); // the question needs the shell
    return wizard_shell::question("Are you sure you want to exit the wizard?", mb_defbutton2);
}

void wizard_page_base::set_header(const QString& header_title, const QString& header_subtitle)
{
    flags |= psp_useheadertitle | psp_useheadersubtitle;
    setTitle(header_title);
    setSubTitle(header_subtitle);
}

QWidget* wizard_page_base::control(int id) const
{
    return findChild<QWidget*>(QString::number(id));
}

void wizard_page_base::enable_ctrl(int id, bool enable)
{
    tk_log(1, "wizard_page::enable_ctrl(%d=%d)", id, enable ? 1 : 0);
    QWidget* widget = control(id);
    if (widget == nullptr)
        return;
    widget->setEnabled(enable);
    if (enable)
        widget->setFocus(Qt::OtherFocusReason);
}

bool wizard_page_base::invert_chbox(int id)
{
    tk_log(1, "wizard_page::invert_chbox(%d)", id);
    auto* box = control_as<QAbstractButton>(id);
    if (box == nullptr || !box->isCheckable())
        throw tk_mail_assertion("..\\GUI2/g_wiz_pg", 123);
    const bool now_checked = !box->isChecked();
    box->setChecked(now_checked);
    return now_checked;
}

void wizard_page_base::set_title_font(int id)
{
    if (!title_font) {
        const int dpi = logicalDpiY();
        title_font = std::make_unique<QFont>(QStringLiteral("Segoe UI"));
        title_font->setPixelSize(static_cast<int>(std::lround(13.0 * dpi / 72.0)));
        title_font->setWeight(QFont::Normal);
        title_font->setStyleHint(QFont::SansSerif);
    }
    if (QWidget* widget = control(id))
        widget->setFont(*title_font);
}
