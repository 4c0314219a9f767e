#include "kvl_shel/conv_options_page.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "GUI2/g_wiz_sh.h"
#include "TK/tk_log.h"
#include "karvel/kvl_conv.h"

namespace {

// Edits 1004 to 1009 with their labels.
const char* const tag_labels[6] = {"&Cell:", "C&olumn:", "&Line:", "Pa&ge:", "Paragrap&h:", "&Row:"};

} // namespace

settings_page::settings_page()
{
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("On this page you can specify the conversion settings.")));

    auto* range_group = new QGroupBox(QStringLiteral(" Page range to convert: "));
    auto* range_layout = new QGridLayout(range_group);
    all_radio = new QRadioButton(QStringLiteral("&All"));
    all_radio->setObjectName(QStringLiteral("1329"));
    pages_radio = new QRadioButton(QStringLiteral("&Pages:"));
    pages_radio->setObjectName(QStringLiteral("1330"));
    pages_edit = new QLineEdit();
    pages_edit->setObjectName(QStringLiteral("1003"));
    range_layout->addWidget(all_radio, 0, 0);
    range_layout->addWidget(pages_radio, 1, 0);
    range_layout->addWidget(pages_edit, 1, 1);
    range_layout->addWidget(
        new QLabel(QStringLiteral("Enter page numbers and/or pages ranges separated by commas.")), 2, 1);
    range_layout->addWidget(new QLabel(QStringLiteral("For example: 1,3,5-10")), 3, 1);
    layout->addWidget(range_group);

    auto* tags_group = new QGroupBox(QStringLiteral(" Customize XML tags (keep blank to skip): "));
    auto* tags_layout = new QGridLayout(tags_group);
    for (int i = 0; i < 6; ++i) {
        auto* label = new QLabel(QString::fromUtf8(tag_labels[i]));
        tag_edits[i] = new QLineEdit();
        tag_edits[i]->setObjectName(QString::number(1004 + i));
        label->setBuddy(tag_edits[i]);
        tags_layout->addWidget(label, i / 3, (i % 3) * 2);
        tags_layout->addWidget(tag_edits[i], i / 3, (i % 3) * 2 + 1);
    }
    layout->addWidget(tags_group);
    layout->addStretch(1);

    setTabOrder(all_radio, pages_radio);
    setTabOrder(pages_radio, pages_edit);
    setTabOrder(pages_edit, tag_edits[0]);
    for (int i = 0; i < 5; ++i)
        setTabOrder(tag_edits[i], tag_edits[i + 1]);

    connect(all_radio, &QRadioButton::clicked, this, [this] { on_radio(1329); });
    connect(pages_radio, &QRadioButton::clicked, this, [this] { on_radio(1330); });
}

bool settings_page::page_init()
{
    tk_log(1, "settings_page::page_init");
    karvel_convertor& conv = tk_singleton<karvel_convertor>::instance();
    const std::string text = conv.pages_text;
    if (text.empty())
        all_radio->setChecked(true);
    else
        pages_radio->setChecked(true);
    enable_ctrl(1003, !text.empty());
    if (!text.empty())
        pages_edit->setText(QString::fromStdString(text));
    const xml_tags& tags = conv.tags;
    const std::string* names[6] = {&tags.cell, &tags.column, &tags.line, &tags.page, &tags.par, &tags.row};
    for (int i = 0; i < 6; ++i)
        tag_edits[i]->setText(QString::fromStdString(*names[i]));
    return true;
}

int settings_page::on_radio(int id)
{
    tk_log(1, "settings_page::on_radio(%d)", id);
    enable_ctrl(1003, id == 1330);
    return 0;
}

int settings_page::on_next()
{
    try {
        karvel_convertor& conv = tk_singleton<karvel_convertor>::instance();
        if (all_radio->isChecked())
            conv.set_page_range(std::string());
        else if (pages_radio->isChecked())
            conv.set_page_range(pages_edit->text().toStdString());
        xml_tags& tags = conv.tags;
        tags.set_cell(tag_edits[0]->text().toStdString());
        tags.set_column(tag_edits[1]->text().toStdString());
        tags.set_line(tag_edits[2]->text().toStdString());
        tags.set_page(tag_edits[3]->text().toStdString());
        tags.set_par(tag_edits[4]->text().toStdString());
        tags.set_row(tag_edits[5]->text().toStdString());
    } catch (const tk_exception& e) {
        wizard_shell::error(e.what());
        return -1;
    }
    return 0;
}

void settings_page::on_help()
{
    wizard_shell::display_help(1016);
}
