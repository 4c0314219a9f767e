#include "kvl_shel/finish_page.h"

#include <QLabel>
#include <QUrl>
#include <QVBoxLayout>

#include "GUI2/g_check.h"
#include "GUI2/g_wiz_sh.h"
#include "TK/tk_fname.h"
#include "TK/tk_log.h"
#include "karvel/kvl_conv.h"

finish_page::finish_page()
{
    auto* layout = new QVBoxLayout(this);
    auto* title_label = new QLabel(QStringLiteral("Conversion is Completed"));
    title_label->setObjectName(QStringLiteral("1313"));
    layout->addWidget(title_label);
    layout->addSpacing(12);
    layout->addWidget(new QLabel(QStringLiteral("Wizard has converted your PDF document into")));
    layout->addWidget(new QLabel(QStringLiteral("XML format successfully.")));
    layout->addSpacing(12);
    layout->addWidget(new QLabel(QStringLiteral("Click 'Finish' to exit the wizard.")));
    layout->addStretch(1);
    layout->addWidget(new QLabel(QStringLiteral("Select the checkbox below to open the resulting file")));
    layout->addWidget(new QLabel(QStringLiteral("with default XML viewer installed on your system.")));
    open_box = new manual_check_box(QStringLiteral("&Open on exit"));
    open_box->setObjectName(QStringLiteral("1225"));
    layout->addWidget(open_box);
    connect(open_box, &QAbstractButton::clicked, this, [this] { invert_chbox(1225); });
}

bool finish_page::page_init()
{
    open_box->setChecked(tk_singleton<karvel_convertor>::instance().open_on_exit);
    set_title_font(1313);
    tk_singleton<wizard_shell>::instance().enable_button(wizard_button_help, false);
    return true;
}

bool finish_page::on_finish()
{
    tk_log(2, "finish_page::on_finish");
    karvel_convertor& conv = tk_singleton<karvel_convertor>::instance();
    const bool checked = open_box->isChecked();
    conv.open_on_exit = checked;
    if (!checked)
        return true;
    tk_log(2, "Right before opening '%s'", conv.dest.c_str());
    // Written where the destination names it: there is no per-user shadow copy of
    // protected folders here, so the result is opened at its own absolute path.
    const std::string path = tk_file_name(conv.dest).get_full_name();
    tk_log(2, "SAFE PATH=%s", path.c_str());
    wizard_shell::open_url(QUrl::fromLocalFile(QString::fromStdString(path)));
    return true;
}
