// The two error dialogs: controls, buttons, end values, captions and the check box.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "GUI2/dlg_error.h"
#include "GUI2/g_wiz_sh.h"
#include "error_dialog_support.h"
#include "test_support.h"

TEST(ErrorDialog, InternalErrorDialogShowsTheMessageOnTwoLines)
{
    dialog_script script;
    std::string caption, label, default_name, focus_name;
    script.on("114", [&](QDialog* d) {
        caption = d->windowTitle().toStdString();
        label = d->findChild<QLabel*>("1320")->text().toStdString();
        for (QPushButton* b : d->findChildren<QPushButton*>())
            if (b->isDefault())
                default_name = b->objectName().toStdString();
        focus_name = d->focusWidget() ? d->focusWidget()->objectName().toStdString() : "";
        EXPECT_EQ("Send bug", d->findChild<QPushButton*>("1112")->text().toStdString());
        EXPECT_EQ("OK", d->findChild<QPushButton*>("1")->text().toStdString());
        EXPECT_EQ("Copy to clipboard", d->findChild<QPushButton*>("1108")->text().toStdString());
        EXPECT_NE(nullptr, d->findChild<QLabel*>("-1"));
        d->findChild<QPushButton*>("1")->click();
    });
    dlg_error_ex dialog("Internal error: \ncode=615c31");
    EXPECT_EQ(1, dialog.do_modal());
    EXPECT_TRUE(script.all_ran());
    EXPECT_EQ("Error", caption) << "no wizard shown yet";
    EXPECT_EQ("Internal error: \ncode=615c31", label);
    EXPECT_EQ("1112", default_name);
    EXPECT_EQ("1112", focus_name);
}

TEST(ErrorDialog, InternalErrorDialogIgnoresEscapeAndTheCloseBox)
{
    dialog_script script;
    bool open_after_escape = false, open_after_close = false;
    script.on("114", [&](QDialog* d) {
        QTest::keyClick(d, Qt::Key_Escape);
        open_after_escape = d->isVisible();
        d->close();
        open_after_close = d->isVisible();
        d->findChild<QPushButton*>("1")->click();
    });
    dlg_error_ex dialog("x");
    EXPECT_EQ(1, dialog.do_modal());
    EXPECT_TRUE(script.all_ran());
    EXPECT_TRUE(open_after_escape);
    EXPECT_TRUE(open_after_close);
}

TEST(ErrorDialog, EnterPressesSendBugWhichMailsTheReportAndCloses)
{
    fake_sendmail mailer;
    dialog_script script;
    script.on("114", [&](QDialog* d) { QTest::keyClick(d, Qt::Key_Return); });
    dlg_error_ex dialog("Internal error: \ncode=6162");
    EXPECT_EQ(1112, dialog.do_modal());
    EXPECT_TRUE(script.all_ran());
    const std::string mail = mailer.mail();
    EXPECT_NE(std::string::npos, mail.find("Subject: Bug report on \n")) << "empty name before the wizard is shown";
    EXPECT_NE(std::string::npos, mail.find("\n\nInternal error: \ncode=6162\n")) << mail;
    EXPECT_NE(std::string::npos, mail.find("To: bugs@zantorix.example\n")) << mail;
    EXPECT_EQ("-t -oi\n", mailer.arguments());
}

TEST(ErrorDialog, CopyToClipboardCopiesTheMessageAndCloses)
{
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    dialog_script script;
    script.on("114", [&](QDialog* d) { d->findChild<QPushButton*>("1108")->click(); });
    dlg_error_ex dialog("copied text");
    EXPECT_EQ(1108, dialog.do_modal());
    EXPECT_TRUE(script.all_ran());
    EXPECT_EQ("copied text", QGuiApplication::clipboard()->text().toStdString());
}

TEST(ErrorDialog, CaptionsAndApplicationNameAfterTheWizardIsShown)
{
    fake_sendmail mailer;
    shown_shell shell;
    dialog_script script;
    std::string caption_ex, caption_continue;
    script.on("114", [&](QDialog* d) {
        caption_ex = d->windowTitle().toStdString();
        d->findChild<QPushButton*>("1112")->click();
    });
    script.on("115", [&](QDialog* d) {
        caption_continue = d->windowTitle().toStdString();
        d->findChild<QPushButton*>("2")->click();
    });
    dlg_error_ex ex("boom");
    EXPECT_EQ(1112, ex.do_modal());
    dlg_error_continue cont("again");
    EXPECT_EQ(2, cont.do_modal());
    EXPECT_TRUE(script.all_ran());
    EXPECT_EQ("Karvel 2.3 Error", caption_ex);
    EXPECT_EQ("Karvel 2.3 Error", caption_continue);
    EXPECT_NE(std::string::npos, mailer.mail().find("Subject: Bug report on Karvel 2.3\n"));
}

TEST(ErrorDialog, ContinueDialogControlsAndDefaults)
{
    dialog_script script;
    script.on("115", [&](QDialog* d) {
        EXPECT_EQ("Error", d->windowTitle().toStdString());
        EXPECT_EQ("a message", d->findChild<QLabel*>("1320")->text().toStdString());
        auto* cont = d->findChild<QPushButton*>("2");
        auto* abort = d->findChild<QPushButton*>("1");
        auto* box = d->findChild<QCheckBox*>("1222");
        ASSERT_NE(nullptr, cont);
        ASSERT_NE(nullptr, abort);
        ASSERT_NE(nullptr, box);
        EXPECT_EQ("Continue", cont->text().toStdString());
        EXPECT_EQ("Abort", abort->text().toStdString());
        EXPECT_EQ("&Do not show this dialog box again", box->text().toStdString());
        EXPECT_TRUE(cont->isDefault());
        EXPECT_EQ(cont, d->focusWidget());
        EXPECT_FALSE(box->isChecked());
        QTest::keyClick(d, Qt::Key_Return);
    });
    dlg_error_continue dialog("a message");
    EXPECT_FALSE(dialog.dont_show_again);
    EXPECT_EQ(2, dialog.do_modal()) << "Enter chooses Continue";
    EXPECT_TRUE(script.all_ran());
}

TEST(ErrorDialog, ContinueDialogEscapeAndCloseBoxChooseContinueAbortGivesOne)
{
    {
        dialog_script script;
        script.on("115", [](QDialog* d) { QTest::keyClick(d, Qt::Key_Escape); });
        dlg_error_continue dialog("m");
        EXPECT_EQ(2, dialog.do_modal());
        EXPECT_TRUE(script.all_ran());
    }
    {
        dialog_script script;
        script.on("115", [](QDialog* d) { d->close(); });
        dlg_error_continue dialog("m");
        EXPECT_EQ(2, dialog.do_modal());
        EXPECT_TRUE(script.all_ran());
    }
    {
        dialog_script script;
        script.on("115", [](QDialog* d) { d->findChild<QPushButton*>("1")->click(); });
        dlg_error_continue dialog("m");
        EXPECT_EQ(1, dialog.do_modal());
        EXPECT_TRUE(script.all_ran());
    }
}

TEST(ErrorDialog, CheckBoxClickedTwiceIsUncheckedAndTheDialogStaysOpen)
{
    dialog_script script;
    bool open_after_clicks = false, checked_between = false;
    script.on("115", [&](QDialog* d) {
        auto* box = d->findChild<QCheckBox*>("1222");
        box->click();
        checked_between = box->isChecked();
        box->click();
        open_after_clicks = d->isVisible();
        d->findChild<QPushButton*>("2")->click();
    });
    dlg_error_continue dialog("m");
    EXPECT_EQ(2, dialog.do_modal());
    EXPECT_TRUE(script.all_ran());
    EXPECT_TRUE(checked_between);
    EXPECT_TRUE(open_after_clicks);
    EXPECT_FALSE(dialog.dont_show_again);

    script.on("115", [](QDialog* d) {
        d->findChild<QCheckBox*>("1222")->click();
        d->findChild<QPushButton*>("1")->click();
    });
    dlg_error_continue ticked("m");
    EXPECT_EQ(1, ticked.do_modal());
    EXPECT_TRUE(script.all_ran());
    EXPECT_TRUE(ticked.dont_show_again);
}

TEST(ErrorDialog, OwnedByTheActiveWindowAndPlacedInsideTheScreen)
{
    QWidget owner;
    owner.setGeometry(100, 100, 400, 300);
    owner.show();
    owner.activateWindow();
    QApplication::setActiveWindow(&owner);
    pump_for(20);
    dialog_script script;
    QWidget* parent = nullptr;
    QRect placed;
    script.on("115", [&](QDialog* d) {
        parent = d->parentWidget();
        placed = d->frameGeometry();
        d->findChild<QPushButton*>("2")->click();
    });
    dlg_error_continue dialog("m");
    dialog.do_modal();
    EXPECT_TRUE(script.all_ran());
    EXPECT_EQ(&owner, parent);
    const QRect area = owner.screen()->availableGeometry();
    EXPECT_TRUE(area.contains(placed.topLeft())) << placed.x() << "," << placed.y();
    EXPECT_NEAR(owner.frameGeometry().center().x(), placed.center().x(), 2);
}

TEST(ErrorDialog, ALongMessageMakesTheDialogTallerAndIsNotCutOff)
{
    std::string long_text;
    for (int i = 0; i < 40; ++i)
        long_text += "Destination path does not exist. ";
    dialog_script script;
    int label_height = 0, needed = 0, button_top = 0, label_bottom = 0;
    script.on("115", [&](QDialog* d) {
        auto* label = d->findChild<QLabel*>("1320");
        label_height = label->height();
        needed = label->heightForWidth(label->width());
        label_bottom = label->geometry().bottom();
        button_top = d->findChild<QPushButton*>("2")->geometry().top();
        d->findChild<QPushButton*>("2")->click();
    });
    dlg_error_continue dialog(long_text);
    dialog.do_modal();
    EXPECT_TRUE(script.all_ran());
    EXPECT_GE(label_height, needed);
    EXPECT_GT(button_top, label_bottom) << "the buttons move below the text";
}

TEST(ErrorDialog, MessageIsShownAsPlainText)
{
    dialog_script script;
    Qt::TextFormat format = Qt::RichText;
    script.on("114", [&](QDialog* d) {
        format = d->findChild<QLabel*>("1320")->textFormat();
        d->findChild<QPushButton*>("1")->click();
    });
    dlg_error_ex dialog("<b>not bold</b>");
    dialog.do_modal();
    EXPECT_TRUE(script.all_ran());
    EXPECT_EQ(Qt::PlainText, format);
}
