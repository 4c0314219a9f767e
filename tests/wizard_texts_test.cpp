// What the user reads and how the keyboard moves: the texts of the wizard's pages, the
// labels' mnemonics, the tab order of each page, the filter lists of the file dialogs and
// the Enter key in the error dialogs.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QFocusEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest/QTest>

#include <string>
#include <vector>

#include "GUI2/dlg_error.h"
#include "GUI2/g_f_dlg.h"
#include "error_dialog_support.h"
#include "wizard_test_support.h"

namespace {

// The plain texts of the page's labels, in the order they were created.
std::vector<std::string> label_texts(QWidget* page)
{
    std::vector<std::string> texts;
    for (QLabel* label : page->findChildren<QLabel*>())
        texts.push_back(label->text().toStdString());
    return texts;
}

bool has_text(const std::vector<std::string>& texts, const std::string& text)
{
    for (const std::string& t : texts)
        if (t == text)
            return true;
    return false;
}

// The object names of the page's controls that Tab reaches, in the order Tab reaches them,
// starting at the control of the first id.
std::vector<std::string> tab_chain(wizard_page_base* page, int first_id)
{
    std::vector<std::string> chain;
    QWidget* start = page->control(first_id);
    if (start == nullptr)
        return chain;
    QWidget* w = start;
    for (int guard = 0; guard < 200; ++guard) {
        if (page->isAncestorOf(w) && (w->focusPolicy() & Qt::TabFocus) != 0)
            chain.push_back(w->objectName().toStdString());
        w = w->nextInFocusChain();
        if (w == start)
            break;
    }
    return chain;
}

// The label whose mnemonic leads to the control of that id.
std::string buddy_label(QWidget* page, int id)
{
    for (QLabel* label : page->findChildren<QLabel*>())
        if (label->buddy() != nullptr && label->buddy()->objectName() == QString::number(id))
            return label->text().toStdString();
    return std::string();
}

// The descriptions that a file dialog lists for choosing the file type.
std::vector<std::string> listed_filters(QFileDialog& dialog)
{
    std::vector<std::string> listed;
    if (auto* combo = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo")))
        for (int i = 0; i < combo->count(); ++i)
            listed.push_back(combo->itemText(i).toStdString());
    return listed;
}

} // namespace

TEST(WizardTexts, FilePageTextsMnemonicsAndTabOrder)
{
    wizard_rig rig;
    rig.to_file_page();
    sel_file_page* page = rig.files.get();
    const std::vector<std::string> texts = label_texts(page);
    EXPECT_TRUE(has_text(texts, "Enter source and destination file names. Click 'Browse' to find files"));
    EXPECT_TRUE(has_text(texts, "through directory tree."));
    EXPECT_EQ(buddy_label(page, 1003), "&PDF document name:");
    EXPECT_EQ(buddy_label(page, 1004), "&XML document name:");
    EXPECT_EQ(page->control_as<QAbstractButton>(1107)->text().toStdString(), "Browse...");
    EXPECT_EQ(page->control_as<QAbstractButton>(1104)->text().toStdString(), "Browse...");
    EXPECT_EQ(page->control_as<QAbstractButton>(1222)->text().toStdString(), "&Use password:");
    EXPECT_EQ(page->control_as<QLineEdit>(1005)->echoMode(), QLineEdit::Password);
    EXPECT_EQ(page->title().toStdString(), "Step 1 of 3");
    EXPECT_EQ(page->subTitle().toStdString(), "Select files");

    const std::vector<std::string> expected{"1003", "1107", "1222", "1005", "1004", "1104"};
    std::vector<std::string> chain = tab_chain(page, 1003);
    ASSERT_GE(chain.size(), expected.size());
    chain.resize(expected.size());
    EXPECT_EQ(chain, expected);
}

TEST(WizardTexts, SettingsPageTextsMnemonicsAndTabOrder)
{
    wizard_rig rig;
    rig.to_file_page();
    settings_page* page = rig.settings.get();
    const std::vector<std::string> texts = label_texts(page);
    EXPECT_TRUE(has_text(texts, "On this page you can specify the conversion settings."));
    EXPECT_TRUE(has_text(texts, "Enter page numbers and/or pages ranges separated by commas."));
    EXPECT_TRUE(has_text(texts, "For example: 1,3,5-10"));
    std::vector<std::string> groups;
    for (QGroupBox* g : page->findChildren<QGroupBox*>())
        groups.push_back(g->title().toStdString());
    EXPECT_EQ(groups, (std::vector<std::string>{" Page range to convert: ",
                                                " Customize XML tags (keep blank to skip): "}));
    EXPECT_EQ(page->control_as<QAbstractButton>(1329)->text().toStdString(), "&All");
    EXPECT_EQ(page->control_as<QAbstractButton>(1330)->text().toStdString(), "&Pages:");
    const char* const tag_labels[] = {"&Cell:", "C&olumn:", "&Line:", "Pa&ge:", "Paragrap&h:", "&Row:"};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(buddy_label(page, 1004 + i), tag_labels[i]) << 1004 + i;
    EXPECT_EQ(page->title().toStdString(), "Step 2 of 3");
    EXPECT_EQ(page->subTitle().toStdString(), "Conversion settings");

    const std::vector<std::string> expected{"1329", "1330", "1003", "1004", "1005",
                                            "1006", "1007", "1008", "1009"};
    std::vector<std::string> chain = tab_chain(page, 1329);
    ASSERT_GE(chain.size(), expected.size());
    chain.resize(expected.size());
    EXPECT_EQ(chain, expected);
}

TEST(WizardTexts, WelcomeProgressAndFinishPageTexts)
{
    wizard_rig rig;
    const std::vector<std::string> welcome = label_texts(rig.welcome.get());
    EXPECT_EQ(rig.welcome->control_as<QLabel>(1337)->text().toStdString(), "Welcome to Karvel\nConversion Wizard\n");
    EXPECT_TRUE(has_text(welcome, "This wizard helps you to convert Adobe PDF documents"));
    EXPECT_TRUE(has_text(welcome, "into XML format. Click 'Next' to continue."));
    EXPECT_EQ(rig.welcome->control_as<QLabel>(1320)->text().toStdString(), "Zantorix");

    const std::vector<std::string> progress = label_texts(rig.progress.get());
    EXPECT_TRUE(has_text(progress, "Document converting is in progress. Please wait until the wizard completes"));
    EXPECT_TRUE(has_text(progress, "converting your PDF document into XML format."));
    EXPECT_EQ(rig.progress->control_as<QLabel>(1323)->text().toStdString(), "");
    EXPECT_TRUE((rig.progress->control_as<QLabel>(1323)->alignment() & Qt::AlignHCenter) != 0);
    EXPECT_EQ(rig.progress->title().toStdString(), "Step 3 of 3");
    EXPECT_EQ(rig.progress->subTitle().toStdString(), "Document converting is in progress");

    const std::vector<std::string> finish = label_texts(rig.finish.get());
    EXPECT_EQ(rig.finish->control_as<QLabel>(1313)->text().toStdString(), "Conversion is Completed");
    for (const char* line : {"Wizard has converted your PDF document into", "XML format successfully.",
                             "Click 'Finish' to exit the wizard.",
                             "Select the checkbox below to open the resulting file",
                             "with default XML viewer installed on your system."})
        EXPECT_TRUE(has_text(finish, line)) << line;
    EXPECT_EQ(rig.finish->control_as<QAbstractButton>(1225)->text().toStdString(), "&Open on exit");
}

TEST(WizardTexts, FileDialogsListTheDescriptionsAsGiven)
{
    wizard_rig rig;
    rig.to_file_page();
    std::vector<std::string> open_list, save_list;
    file_dialog::answerer = [&](QFileDialog& d) {
        (d.acceptMode() == QFileDialog::AcceptOpen ? open_list : save_list) = listed_filters(d);
        return static_cast<int>(QDialog::Rejected);
    };
    rig.files->control_as<QAbstractButton>(1107)->click();
    rig.files->control_as<QAbstractButton>(1104)->click();
    file_dialog::answerer = nullptr;
    EXPECT_EQ(open_list, (std::vector<std::string>{"PDF Files (.pdf)", "All Files (*.*)"}));
    EXPECT_EQ(save_list, (std::vector<std::string>{"XML Documents (.xml)", "All Files (*.*)"}));
}

TEST(WizardTexts, EnterInTheInternalErrorDialogPressesTheFocusedButton)
{
    fake_sendmail mailer;
    {
        dialog_script script;
        script.on("114", [](QDialog* d) {
            auto* ok = d->findChild<QPushButton*>(QStringLiteral("1"));
            ok->setFocus(Qt::TabFocusReason);
            QTest::keyClick(ok, Qt::Key_Return);
        });
        dlg_error_ex dialog("m");
        EXPECT_EQ(1, dialog.do_modal()) << "Enter on OK is OK";
        EXPECT_TRUE(script.all_ran());
    }
    EXPECT_FALSE(mailer.sent()) << "no mail without Send bug";
    {
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
        dialog_script script;
        script.on("114", [](QDialog* d) {
            auto* copy = d->findChild<QPushButton*>(QStringLiteral("1108"));
            copy->setFocus(Qt::TabFocusReason);
            QTest::keyClick(copy, Qt::Key_Return);
        });
        dlg_error_ex dialog("to the clipboard");
        EXPECT_EQ(1108, dialog.do_modal());
        EXPECT_TRUE(script.all_ran());
        EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "to the clipboard");
    }
    EXPECT_FALSE(mailer.sent());
}

TEST(WizardTexts, EnterInTheContinueDialogPressesTheFocusedButtonElseContinue)
{
    {
        dialog_script script;
        script.on("115", [](QDialog* d) {
            auto* abort = d->findChild<QPushButton*>(QStringLiteral("1"));
            abort->setFocus(Qt::TabFocusReason);
            QTest::keyClick(abort, Qt::Key_Return);
        });
        dlg_error_continue dialog("m");
        EXPECT_EQ(1, dialog.do_modal()) << "Enter on Abort is Abort";
        EXPECT_TRUE(script.all_ran());
    }
    {
        dialog_script script;
        script.on("115", [](QDialog* d) {
            auto* abort = d->findChild<QPushButton*>(QStringLiteral("1"));
            abort->setFocus(Qt::TabFocusReason);
            auto* box = d->findChild<QCheckBox*>(QStringLiteral("1222"));
            box->setFocus(Qt::TabFocusReason);
            QTest::keyClick(box, Qt::Key_Return);
        });
        dlg_error_continue dialog("m");
        EXPECT_EQ(2, dialog.do_modal()) << "Enter on the check box is Continue, the default";
        EXPECT_TRUE(script.all_ran());
        EXPECT_FALSE(dialog.dont_show_again);
    }
}

TEST(WizardTexts, TheSourceEditsContextMenuDoesNotCountAsLeavingIt)
{
    wizard_rig rig;
    rig.to_file_page();
    QLineEdit* src = rig.files->control_as<QLineEdit>(1003);
    QLineEdit* dest = rig.files->control_as<QLineEdit>(1004);
    dest->setText(QStringLiteral("/kept/as/typed.xml"));
    src->setText(QStringLiteral("/elsewhere/rep"));
    QFocusEvent to_menu(QEvent::FocusOut, Qt::PopupFocusReason);
    QCoreApplication::sendEvent(src, &to_menu);
    EXPECT_EQ(dest->text().toStdString(), "/kept/as/typed.xml");
    QFocusEvent away(QEvent::FocusOut, Qt::TabFocusReason);
    QCoreApplication::sendEvent(src, &away);
    EXPECT_EQ(dest->text().toStdString(), "/kept/as/rep.xml");
}

TEST(WizardTexts, ErrorDialogsTabOrder)
{
    std::vector<std::string> ex_chain, continue_chain;
    const auto chain_from = [](QDialog* d, const char* first) {
        std::vector<std::string> chain;
        QWidget* start = d->findChild<QWidget*>(QString::fromLatin1(first));
        QWidget* w = start;
        for (int guard = 0; w != nullptr && guard < 50; ++guard) {
            if ((w->focusPolicy() & Qt::TabFocus) != 0 && d->isAncestorOf(w))
                chain.push_back(w->objectName().toStdString());
            w = w->nextInFocusChain();
            if (w == start)
                break;
        }
        return chain;
    };
    dialog_script script;
    script.on("114", [&](QDialog* d) {
        ex_chain = chain_from(d, "1112");
        d->findChild<QPushButton*>(QStringLiteral("1"))->click();
    });
    script.on("115", [&](QDialog* d) {
        continue_chain = chain_from(d, "2");
        d->findChild<QPushButton*>(QStringLiteral("2"))->click();
    });
    dlg_error_ex ex("m");
    EXPECT_EQ(1, ex.do_modal());
    dlg_error_continue cont("m");
    EXPECT_EQ(2, cont.do_modal());
    EXPECT_TRUE(script.all_ran());
    EXPECT_EQ(ex_chain, (std::vector<std::string>{"1112", "1", "1108"}));
    EXPECT_EQ(continue_chain, (std::vector<std::string>{"2", "1", "1222"}));
}
