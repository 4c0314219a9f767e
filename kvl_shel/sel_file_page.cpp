#include "kvl_shel/sel_file_page.h"

#include <QEvent>
#include <QFocusEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <goo/GooString.h>
#include <PDFDoc.h>

#include <unistd.h>

#include "GUI2/g_check.h"
#include "GUI2/g_f_dlg.h"
#include "GUI2/g_wiz_sh.h"
#include "PDFR/pdf_open.h"
#include "TK/tk_log.h"
#include "TK/tk_utils.h"
#include "karvel/kvl_conv.h"

namespace {

karvel_convertor& convertor()
{
    return tk_singleton<karvel_convertor>::instance();
}

} // namespace

sel_file_page::sel_file_page()
{
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Enter source and destination file names. Click 'Browse' to find files")));
    layout->addWidget(new QLabel(QStringLiteral("through directory tree.")));
    layout->addSpacing(8);

    auto* grid = new QGridLayout();
    auto* src_label = new QLabel(QStringLiteral("&PDF document name:"));
    src_edit = new QLineEdit();
    src_edit->setObjectName(QStringLiteral("1003"));
    auto* src_browse = new QPushButton(QStringLiteral("Browse..."));
    src_browse->setObjectName(QStringLiteral("1107"));
    src_label->setBuddy(src_edit);
    password_box = new manual_check_box(QStringLiteral("&Use password:"));
    password_box->setObjectName(QStringLiteral("1222"));
    password_edit = new QLineEdit();
    password_edit->setObjectName(QStringLiteral("1005"));
    password_edit->setEchoMode(QLineEdit::Password);
    auto* dest_label = new QLabel(QStringLiteral("&XML document name:"));
    dest_edit = new QLineEdit();
    dest_edit->setObjectName(QStringLiteral("1004"));
    auto* dest_browse = new QPushButton(QStringLiteral("Browse..."));
    dest_browse->setObjectName(QStringLiteral("1104"));
    dest_label->setBuddy(dest_edit);

    grid->addWidget(src_label, 0, 0, 1, 2);
    grid->addWidget(src_edit, 1, 0);
    grid->addWidget(src_browse, 1, 1);
    grid->addWidget(password_box, 2, 0, 1, 2);
    grid->addWidget(password_edit, 3, 0);
    grid->addWidget(dest_label, 4, 0, 1, 2);
    grid->addWidget(dest_edit, 5, 0);
    grid->addWidget(dest_browse, 5, 1);
    layout->addLayout(grid);
    layout->addStretch(1);

    setTabOrder(src_edit, src_browse);
    setTabOrder(src_browse, password_box);
    setTabOrder(password_box, password_edit);
    setTabOrder(password_edit, dest_edit);
    setTabOrder(dest_edit, dest_browse);

    src_edit->installEventFilter(this);
    connect(dest_browse, &QPushButton::clicked, this, [this] { browse_dest(); });
    connect(src_browse, &QPushButton::clicked, this, [this] { browse_src(); });
    connect(password_box, &QAbstractButton::clicked, this, [this] { on_checkbox(); });
}

bool sel_file_page::eventFilter(QObject* watched, QEvent* event)
{
    // Leaving the source edit with a new name proposes a destination; a name the
    // destination was already proposed for or loaded with leaves it as it stands. The
    // edit's own context menu takes the focus only for a moment: the user is still in the edit.
    if (watched == src_edit && event->type() == QEvent::FocusOut &&
        static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason) {
        const std::string text = src_edit->text().toStdString();
        if (!text.empty() && text != proposed_for)
            begin_edit_dest(text.c_str());
    }
    return wizard_page_base::eventFilter(watched, event);
}

bool sel_file_page::page_init()
{
    karvel_convertor& conv = convertor();
    src_edit->setText(QString::fromStdString(conv.src));
    proposed_for = src_edit->text().toStdString();
    dest_edit->setText(QString::fromStdString(conv.dest));
    const bool has_password = !conv.password.empty();
    password_box->setChecked(has_password);
    enable_ctrl(1005, has_password);
    password_edit->setText(QString::fromStdString(conv.password));
    return true;
}

int sel_file_page::on_checkbox()
{
    tk_log(1, "sel_file_page::on_checkbox(%d)", 1222);
    const bool checked = invert_chbox(1222);
    enable_ctrl(1005, checked);
    return 0;
}

void sel_file_page::save_data()
{
    const std::string src = src_edit->text().toStdString();
    const std::string dest = dest_edit->text().toStdString();
    const std::string password = password_box->isChecked() ? password_edit->text().toStdString() : std::string();
    karvel_convertor& conv = convertor();
    conv.src = src;
    conv.dest = dest;
    conv.password = password;
}

int sel_file_page::on_back()
{
    save_data();
    return 0;
}

void sel_file_page::on_help()
{
    wizard_shell::display_help(1013);
}

int sel_file_page::begin_edit_dest(const char* src_name)
{
    if (src_name == nullptr)
        throw tk_mail_assertion("kvl_shel", 188);
    tk_log(1, "sel_file_page::begin_edit_dest(%s)", src_name);
    const std::string old_name = dest_edit->text().toStdString();
    const std::string proposal = common_make_dest(old_name, src_name, "xml", false);
    dest_edit->setText(QString::fromStdString(proposal));
    proposed_for = src_name;
    return 0;
}

int sel_file_page::browse_src()
{
    const file_dialog_texts texts{{{"PDF Files (.pdf)", "*.pdf"}, {"All Files (*.*)", "*"}},
                                  "Select PDF document to convert"};
    open_file_dialog dialog(this, texts, src_edit->text().toStdString());
    if (dialog.run()) {
        const std::string chosen = dialog.get_file_name();
        src_edit->setText(QString::fromStdString(chosen));
        begin_edit_dest(chosen.c_str());
    }
    return 0;
}

int sel_file_page::browse_dest()
{
    const file_dialog_texts texts{{{"XML Documents (.xml)", "*.xml"}, {"All Files (*.*)", "*"}},
                                  "Select the destination file"};
    save_file_dialog dialog(this, texts, dest_edit->text().toStdString(), "xml");
    if (dialog.run())
        dest_edit->setText(QString::fromStdString(dialog.get_file_name()));
    return 0;
}

int sel_file_page::on_next()
{
    tk_log(1, "sel_file_page::on_next");
    save_data();
    karvel_convertor& conv = convertor();
    if (conv.src.empty()) {
        wizard_shell::message("You should enter source file name");
        return -1;
    }
    if (conv.dest.empty()) {
        wizard_shell::message("You should enter destination file name");
        return -1;
    }
    if (!tk_is_file_exist(conv.src, 0)) {
        wizard_shell::error("Source file does not exist.\r\nPlease verify the correct file name was given.");
        return -1;
    }
    try {
        {
            // Open probe: password and format failures surface here.
            const GooString owner(conv.password);
            const GooString user(conv.password);
            const std::unique_ptr<PDFDoc> doc = pdf_open_document(conv.src, &owner, &user);
        }
        common_check_dest(std::string(conv.dest));
        common_check_dest_not_source(conv.dest, conv.src);
        if (tk_is_file_exist(conv.dest, 0)) {
            if (!wizard_shell::question("Destination file already exists. Overwrite?", mb_defbutton2))
                return -1;
            // Removed by the rule an unfinished run's destination is removed by: standard
            // output or standard error by another name is written over instead.
            if (tk_is_removable_output(conv.dest) && unlink(conv.dest.c_str()) != 0)
                throw tk_exception_ex();
        }
    } catch (const tk_exception& e) {
        wizard_shell::error(e.what());
        return -1;
    }
    return 0;
}
