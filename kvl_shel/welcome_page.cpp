#include "kvl_shel/welcome_page.h"

#include <QLabel>
#include <QUrl>
#include <QVBoxLayout>

#include "GUI2/g_wiz_sh.h"

const char* const maker_home_page = "http://www.zantorix.com/";

welcome_page::welcome_page()
{
    auto* layout = new QVBoxLayout(this);
    auto* title_label = new QLabel(QStringLiteral("Welcome to Karvel\nConversion Wizard\n"));
    title_label->setObjectName(QStringLiteral("1337"));
    layout->addWidget(title_label);
    layout->addWidget(new QLabel(QStringLiteral("This wizard helps you to convert Adobe PDF documents")));
    layout->addWidget(new QLabel(QStringLiteral("into XML format. Click 'Next' to continue.")));
    layout->addStretch(1);
    link = new QLabel(QStringLiteral("Zantorix"));
    link->setObjectName(QStringLiteral("1320"));
    layout->addWidget(link);
}

bool welcome_page::page_init()
{
    set_title_font(1337);
    if (!link_attached) {
        // The maker's name becomes a hyperlink at the first activation.
        link_attached = true;
        link->setText(QStringLiteral("<a href=\"%1\">Zantorix</a>").arg(QString::fromUtf8(maker_home_page)));
        link->setTextFormat(Qt::RichText);
        link->setTextInteractionFlags(Qt::TextBrowserInteraction);
        link->setOpenExternalLinks(false);
        connect(link, &QLabel::linkActivated, this,
                [](const QString& target) { wizard_shell::open_url(QUrl(target)); });
    }
    return true;
}
