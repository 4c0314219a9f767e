// The wizard saves its settings when it ends by Finish or by a confirmed Cancel.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QLineEdit>

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
