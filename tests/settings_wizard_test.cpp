// The wizard saves its settings when it ends by Finish or by a confirmed Cancel.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QLineEdit>

#include <sys/stat.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "wizard_test_support.h"

namespace {

class SettingsWizard : public ::testing::Test {
protected:
    void SetUp() override
    {
        rig = std::make_unique<wizard_rig>();
        // The settings are saved where this test can read them after the wizard is gone.
        setenv("XDG_CONFIG_HOME", kept.path().c_str(), 1);
        src = kept.file("doc.pdf");
        dest = kept.file("doc.xml");
        ASSERT_TRUE(write_test_pdf(src, 2));
    }
    void TearDown() override { rig.reset(); }

    // File names typed on the file page, then Next to the settings page.
    void through_file_page()
    {
        rig->to_file_page();
        rig->files->control_as<QLineEdit>(1003)->setText(QString::fromStdString(src));
        rig->files->control_as<QLineEdit>(1004)->setText(QString::fromStdString(dest));
        rig->click(QWizard::NextButton);
        ASSERT_EQ(rig->current(), 107);
    }
    // Settings stored by an earlier run, loaded as the convertor loads them at start.
    void load_stored(const std::string& values)
    {
        mkdir(kept.file("Zantorix").c_str(), 0700);
        write_file(kept.file("Zantorix/Karvel.reg"), "Windows Registry Editor Version 5.00\n\n"
                                                     "[HKEY_CURRENT_USER\\Software\\Zantorix\\Karvel]\n" +
                                                         values);
        rig->convertor->serialize(false);
    }
    // The program's end: the objects go in the entry's order; the convertor saves.
    std::string saved_after_teardown()
    {
        rig.reset();
        return read_file(kept.file("Zantorix/Karvel.reg"));
    }
    static bool has(const std::string& text, const std::string& line)
    {
        return text.find("\n" + line + "\n") != std::string::npos;
    }

    scratch_dir kept;
    std::unique_ptr<wizard_rig> rig;
    std::string src, dest;
};

} // namespace

TEST_F(SettingsWizard, FinishSavesWhatThePagesHandedOver)
{
    through_file_page();
    rig->settings->control_as<QAbstractButton>(1330)->click();
    rig->settings->control_as<QLineEdit>(1003)->setText(QStringLiteral("2,1"));
    rig->click(QWizard::NextButton);
    ASSERT_TRUE(wait_for([&] { return rig->current() == 106; }, 60000));
    auto* open_box = rig->finish->control_as<QCheckBox>(1225);
    if (open_box->isChecked())
        open_box->click();
    rig->click(QWizard::FinishButton);
    EXPECT_FALSE(rig->shell->isVisible());

    const std::string text = saved_after_teardown();
    EXPECT_TRUE(has(text, "\"src\"=\"" + src + "\"")) << text;
    EXPECT_TRUE(has(text, "\"dest\"=\"" + dest + "\"")) << text;
    EXPECT_TRUE(has(text, "\"pages\"=\"2,1\"")) << text;
    EXPECT_TRUE(has(text, "\"open on exit\"=dword:00000000")) << text;
    EXPECT_TRUE(has(text, "\"tag_page\"=\"page\"")) << text;
}

TEST_F(SettingsWizard, ConfirmedCancelSavesButNotWhatTheOpenPageHolds)
{
    through_file_page();
    // Typed on the settings page but never handed over by leaving it.
    rig->settings->control_as<QAbstractButton>(1330)->click();
    rig->settings->control_as<QLineEdit>(1003)->setText(QStringLiteral("9"));
    rig->boxes.answers = {QMessageBox::Yes};
    rig->click(QWizard::CancelButton);
    ASSERT_FALSE(rig->boxes.boxes.empty());
    EXPECT_EQ("Are you sure you want to exit the wizard?", rig->boxes.boxes.back().text);
    EXPECT_FALSE(rig->shell->isVisible());

    const std::string text = saved_after_teardown();
    EXPECT_TRUE(has(text, "\"src\"=\"" + src + "\"")) << text;
    EXPECT_TRUE(has(text, "\"dest\"=\"" + dest + "\"")) << text;
    EXPECT_TRUE(has(text, "\"pages\"=\"\"")) << text;
    EXPECT_TRUE(has(text, "\"open on exit\"=dword:00000001")) << text;
}

TEST_F(SettingsWizard, CancelOnTheFirstPageSavesTheLoadedSettingsUnchanged)
{
    rig->show();
    rig->boxes.answers = {QMessageBox::Yes};
    rig->click(QWizard::CancelButton);
    EXPECT_FALSE(rig->shell->isVisible());
    const std::string text = saved_after_teardown();
    EXPECT_TRUE(has(text, "\"src\"=\"\"")) << text;
    EXPECT_TRUE(has(text, "\"tag_cell\"=\"cell\"")) << text;
    EXPECT_TRUE(has(text, "\"open on exit\"=dword:00000001")) << text;
}

TEST_F(SettingsWizard, StoredFileNamesAndPasswordAreShownAndUsedAsStored)
{
    const std::string locked = kept.file("enc.pdf");
    const std::string cmd = "qpdf --encrypt secret owner-pw 256 -- '" + src + "' '" + locked + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    const std::string custom = kept.file("custom-name.xml");
    load_stored("\"dest\"=\"" + custom + "\"\n\"password\"=\"secret\"\n\"src\"=\"" + locked + "\"\n");
    rig->to_file_page();
    // The page starts in the password edit: the source edit has been left.
    EXPECT_TRUE(rig->files->control(1005)->hasFocus());
    EXPECT_EQ(rig->files->control_as<QLineEdit>(1004)->text().toStdString(), custom);
    rig->click(QWizard::NextButton);
    ASSERT_EQ(rig->current(), 107);
    rig->click(QWizard::NextButton);
    ASSERT_TRUE(wait_for([&] { return rig->current() == 106; }, 60000));
    EXPECT_TRUE(rig->boxes.boxes.empty());
    ASSERT_TRUE(file_exists(custom));
    EXPECT_EQ(xmllint_errors(custom), "");
    EXPECT_FALSE(file_exists(kept.file("enc.xml")));
}

TEST_F(SettingsWizard, AStoredBadTagIsShownAndRefusedOnNext)
{
    load_stored("\"tag_row\"=\"bad tag\"\n");
    through_file_page();
    EXPECT_EQ(rig->settings->control_as<QLineEdit>(1009)->text().toStdString(), "bad tag");
    rig->click(QWizard::NextButton);
    EXPECT_EQ(rig->current(), 107);
    ASSERT_EQ(rig->boxes.boxes.size(), 1u);
    EXPECT_EQ(rig->boxes.boxes[0].text,
              "XML tag is not valid. You can use only alphanumeric symbols \n(A-Z, a-z, 0-9) and underscore (_) "
              "to compose XML tags.");
    EXPECT_EQ(rig->convertor->tags.row, "bad tag") << "kept as stored until the user mends it";
}
