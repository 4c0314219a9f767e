// The wizard's pages: activation, validation on Next and Back, the proposed
// destination, the overwrite question, browsing, settings, welcome and finish.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFileDialog>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QtTest/QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "GUI2/g_f_dlg.h"
#include "PDFR/pdf_open.h"
#include "TK/tk_fname.h"
#include "TK/tk_utils.h"
#include "platform/plat_output_file.h"
#include "wizard_test_support.h"

namespace {

QLineEdit* edit(wizard_page_base* page, int id)
{
    auto* e = page->control_as<QLineEdit>(id);
    EXPECT_NE(e, nullptr) << "no edit " << id;
    return e;
}

void set_text(wizard_page_base* page, int id, const std::string& text)
{
    edit(page, id)->setText(QString::fromStdString(text));
}

std::string text_of(wizard_page_base* page, int id)
{
    return edit(page, id)->text().toStdString();
}

// Leaves the source edit as the user would by moving on to another control.
void leave_source_edit(sel_file_page* page)
{
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QCoreApplication::sendEvent(edit(page, 1003), &out);
}

// Fills the file page with a good source and destination in the rig's scratch folder.
void fill_files(wizard_rig& rig, const std::string& src, const std::string& dest)
{
    set_text(rig.files.get(), 1003, src);
    set_text(rig.files.get(), 1004, dest);
}

class WizardFilePage : public ::testing::Test {
protected:
    void SetUp() override
    {
        src = rig.scratch.file("doc.pdf");
        dest = rig.scratch.file("doc.xml");
        ASSERT_TRUE(write_test_pdf(src, 2));
        rig.to_file_page();
        ASSERT_EQ(rig.current(), 104);
    }
    wizard_rig rig;
    std::string src;
    std::string dest;
};

} // namespace

TEST(WizardWelcomePage, ActivationShowsOnlyNextAndTheLink)
{
    wizard_rig rig;
    rig.show();
    ASSERT_EQ(rig.current(), 103);
    EXPECT_FALSE(rig.shell->button(QWizard::BackButton)->isEnabled());
    EXPECT_TRUE(rig.shell->button(QWizard::NextButton)->isEnabled());
    EXPECT_TRUE(rig.shell->button(QWizard::FinishButton)->isHidden());
    EXPECT_TRUE(rig.shell->button(QWizard::HelpButton)->isEnabled());
    ASSERT_NE(rig.welcome->title_font, nullptr);
    EXPECT_EQ(rig.welcome->control(1337)->font(), *rig.welcome->title_font);
    EXPECT_TRUE(rig.welcome->link_attached);
    EXPECT_NE(rig.welcome->link->text().indexOf(QString::fromUtf8(maker_home_page)), -1);
    // Help does nothing here.
    rig.click(QWizard::HelpButton);
    EXPECT_TRUE(rig.urls.urls.empty());
    EXPECT_TRUE(rig.boxes.boxes.empty());
    EXPECT_FALSE(rig.welcome->pixmap(QWizard::WatermarkPixmap).isNull());
    EXPECT_FALSE(rig.files->pixmap(QWizard::BannerPixmap).isNull());
}

TEST(WizardWelcomePage, TheLinkOpensTheMakersHomePage)
{
    wizard_rig rig;
    rig.show();
    emit rig.welcome->link->linkActivated(QString::fromUtf8(maker_home_page));
    ASSERT_EQ(rig.urls.urls.size(), 1u);
    EXPECT_EQ(rig.urls.urls[0].toString().toStdString(), maker_home_page);
    // A later visit attaches nothing again.
    rig.click(QWizard::NextButton);
    rig.click(QWizard::BackButton);
    emit rig.welcome->link->linkActivated(QString::fromUtf8(maker_home_page));
    EXPECT_EQ(rig.urls.urls.size(), 2u);
}

TEST_F(WizardFilePage, F1OpensTheFilePageTopic)
{
    const help_file_guard help(true);
    QKeyEvent f1(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
    QCoreApplication::sendEvent(edit(rig.files.get(), 1003), &f1);
    ASSERT_EQ(rig.urls.urls.size(), 1u);
    EXPECT_EQ(rig.urls.urls[0].fragment().toStdString(), "1013");
}

TEST(WizardWelcomePage, CancelConfirmedOnTheFirstPageClosesTheWizard)
{
    wizard_rig rig;
    rig.show();
    rig.boxes.answers = {QMessageBox::Yes};
    rig.click(QWizard::CancelButton);
    ASSERT_EQ(rig.boxes.boxes.size(), 1u);
    EXPECT_EQ(rig.boxes.boxes[0].caption, "Karvel 2.3 Question");
    EXPECT_FALSE(rig.shell->isVisible());
}

TEST_F(WizardFilePage, ActivationFillsTheFieldsFromTheConvertor)
{
    rig.click(QWizard::BackButton);
    rig.convertor->src = "/some/where/a.pdf";
    rig.convertor->dest = "/some/where/a.xml";
    rig.convertor->password = "pw";
    rig.click(QWizard::NextButton);
    ASSERT_EQ(rig.current(), 104);
    EXPECT_EQ(text_of(rig.files.get(), 1003), "/some/where/a.pdf");
    EXPECT_EQ(text_of(rig.files.get(), 1004), "/some/where/a.xml");
    EXPECT_EQ(text_of(rig.files.get(), 1005), "pw");
    EXPECT_TRUE(rig.files->control_as<QCheckBox>(1222)->isChecked());
    EXPECT_TRUE(rig.files->control(1005)->isEnabled());
    EXPECT_EQ(rig.files->title().toStdString(), "Step 1 of 3");
    EXPECT_EQ(rig.files->subTitle().toStdString(), "Select files");
    EXPECT_TRUE(rig.shell->button(QWizard::BackButton)->isEnabled());
    EXPECT_TRUE(rig.shell->button(QWizard::NextButton)->isEnabled());
}

TEST_F(WizardFilePage, ActivationWithoutPasswordDisablesThePasswordEdit)
{
    EXPECT_FALSE(rig.files->control_as<QCheckBox>(1222)->isChecked());
    EXPECT_FALSE(rig.files->control(1005)->isEnabled());
}

TEST_F(WizardFilePage, BothNamesEmptyShowsOnlyTheSourceMessage)
{
    rig.click(QWizard::NextButton);
    EXPECT_EQ(rig.current(), 104);
    ASSERT_EQ(rig.boxes.boxes.size(), 1u);
    EXPECT_EQ(rig.boxes.boxes[0].text, "You should enter source file name");
    EXPECT_EQ(rig.boxes.boxes[0].caption, "Karvel 2.3 Message");
    EXPECT_EQ(rig.boxes.boxes[0].icon, QMessageBox::Information);
}

TEST_F(WizardFilePage, EmptyDestinationIsRefused)
{
    set_text(rig.files.get(), 1003, src);
    rig.click(QWizard::NextButton);
    EXPECT_EQ(rig.current(), 104);
    ASSERT_EQ(rig.boxes.boxes.size(), 1u);
    EXPECT_EQ(rig.boxes.boxes[0].text, "You should enter destination file name");
    EXPECT_EQ(text_of(rig.files.get(), 1003), src); // the typed data stays
}

TEST_F(WizardFilePage, MissingSourceIsAnError)
{
    fill_files(rig, rig.scratch.file("absent.pdf"), dest);
    rig.click(QWizard::NextButton);
    EXPECT_EQ(rig.current(), 104);
    ASSERT_EQ(rig.boxes.boxes.size(), 1u);
    EXPECT_EQ(rig.boxes.boxes[0].text, "Source file does not exist.\nPlease verify the correct file name was given.");
    EXPECT_EQ(rig.boxes.boxes[0].caption, "Karvel 2.3 Error");
}

TEST_F(WizardFilePage, UnreadableDocumentIsAnError)
{
    const std::string junk = rig.scratch.file("junk.pdf");
    write_file(junk, "this is not a PDF document at all\n");
    fill_files(rig, junk, dest);
    rig.click(QWizard::NextButton);
    EXPECT_EQ(rig.current(), 104);
    ASSERT_EQ(rig.boxes.boxes.size(), 1u);
    QString expected = QString::fromUtf8(pdf_cannot_read_message);
    expected.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    EXPECT_EQ(rig.boxes.boxes[0].text, expected.toStdString());
    EXPECT_FALSE(file_exists(dest));
}

TEST_F(WizardFilePage, WrongPasswordIsAnErrorAndTheBoxDecidesWhichPasswordIsUsed)
{
    const std::string locked = rig.scratch.file("locked.pdf");
    const std::string cmd = "qpdf --encrypt secret owner-pw 256 -- '" + src + "' '" + locked + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    fill_files(rig, locked, dest);
    // Box unchecked: the typed password is not used.
    set_text(rig.files.get(), 1005, "secret");
    rig.click(QWizard::NextButton);
    EXPECT_EQ(rig.current(), 104);
    ASSERT_EQ(rig.boxes.boxes.size(), 1u);
    EXPECT_EQ(rig.boxes.boxes[0].text, pdf_bad_password_message);
    EXPECT_EQ(rig.convertor->password, "");
    // Checked with the right password: accepted.
    rig.files->control_as<QCheckBox>(1222)->click();
    EXPECT_TRUE(rig.files->control_as<QCheckBox>(1222)->isChecked());
    EXPECT_TRUE(rig.files->control(1005)->isEnabled());
    rig.click(QWizard::NextButton);
    EXPECT_EQ(rig.current(), 107);
    EXPECT_EQ(rig.convertor->password, "secret");
}

TEST_F(WizardFilePage, MissingDestinationFolderIsAnError)
{
    fill_files(rig, src, rig.scratch.file("no/such/folder/out.xml"));
    rig.click(QWizard::NextButton);
    EXPECT_EQ(rig.current(), 104);
    ASSERT_EQ(rig.boxes.boxes.size(), 1u);
    EXPECT_EQ(rig.boxes.boxes[0].text, "Destination path does not exist.\nPlease verify the correct path was given.");
}

TEST_F(WizardFilePage, ReadOnlyDestinationIsRefusedBeforeAnyQuestion)
{
    write_file(dest, "old");
    ASSERT_EQ(chmod(dest.c_str(), 0444), 0);
    fill_files(rig, src, dest);
    rig.click(QWizard::NextButton);
    EXPECT_EQ(rig.current(), 104);
    ASSERT_EQ(rig.boxes.boxes.size(), 1u);
    EXPECT_EQ(rig.boxes.boxes[0].text, "Destination name specifies an existing read-only file.");
    EXPECT_TRUE(file_exists(dest));
}

TEST_F(WizardFilePage, DestinationNamingTheSourceIsRefusedBeforeAnyQuestion)
{
    const std::string pdf = read_file(src);
    ASSERT_EQ(symlink(src.c_str(), rig.scratch.file("link.pdf").c_str()), 0);
    ASSERT_EQ(link(src.c_str(), rig.scratch.file("hard.pdf").c_str()), 0);
    for (const std::string& same : {src, rig.scratch.path() + "/./doc.pdf", rig.scratch.file("link.pdf"),
                                    rig.scratch.file("hard.pdf")}) {
        fill_files(rig, src, same);
        rig.boxes.boxes.clear();
        rig.boxes.answers = {QMessageBox::Yes}; // an overwrite question would delete the source
        rig.click(QWizard::NextButton);
        EXPECT_EQ(rig.current(), 104) << same;
        ASSERT_EQ(rig.boxes.boxes.size(), 1u) << same;
        EXPECT_EQ(rig.boxes.boxes[0].text, "Destination file is the same as the source file.");
        EXPECT_EQ(rig.boxes.boxes[0].caption, "Karvel 2.3 Error");
        EXPECT_EQ(read_file(src), pdf) << same;
    }
}

TEST_F(WizardFilePage, OverwriteQuestionNoKeepsTheFileYesDeletesIt)
{
    write_file(dest, "old contents");
    fill_files(rig, src, dest);
    rig.boxes.answers = {QMessageBox::No};
    rig.click(QWizard::NextButton);
    EXPECT_EQ(rig.current(), 104);
    ASSERT_EQ(rig.boxes.boxes.size(), 1u);
    EXPECT_EQ(rig.boxes.boxes[0].text, "Destination file already exists. Overwrite?");
    EXPECT_EQ(rig.boxes.boxes[0].default_button, QMessageBox::No);
    EXPECT_EQ(rig.boxes.boxes[0].caption, "Karvel 2.3 Question");
    EXPECT_EQ(read_file(dest), "old contents");

    rig.boxes.answers = {QMessageBox::Yes};
    rig.click(QWizard::NextButton);
    EXPECT_EQ(rig.current(), 107);
    EXPECT_FALSE(file_exists(dest));
    EXPECT_EQ(rig.convertor->src, src);
    EXPECT_EQ(rig.convertor->dest, dest);
}

TEST_F(WizardFilePage, OverwritingAStandardStreamByItsNameRemovesNothing)
{
    // The wizard started with standard output or standard error redirected to a file,
    // chosen as the destination.
    const std::string redirect = rig.scratch.file("redirect.xml");
    for (const int stream : {1, 2}) {
        write_file(redirect, "old contents");
        const int saved = dup(stream);
        const int fd = open(redirect.c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        dup2(fd, stream);
        close(fd);
        plat_note_standard_streams();
        fill_files(rig, src, "/proc/self/fd/" + std::to_string(stream));
        rig.boxes.answers = {QMessageBox::Yes};
        rig.click(QWizard::NextButton);
        dup2(saved, stream);
        close(saved);
        plat_note_standard_streams();
        ASSERT_EQ(rig.boxes.boxes.size(), static_cast<size_t>(stream));
        EXPECT_EQ(rig.boxes.boxes.back().text, "Destination file already exists. Overwrite?");
        EXPECT_EQ(rig.current(), 107) << "written as it is, not removed first";
        EXPECT_EQ(read_file(redirect), "old contents") << stream;
        rig.click(QWizard::BackButton);
    }
}

TEST_F(WizardFilePage, BackStoresWithoutChecking)
{
    fill_files(rig, rig.scratch.file("absent.pdf"), "");
    rig.click(QWizard::BackButton);
    EXPECT_EQ(rig.current(), 103);
    EXPECT_TRUE(rig.boxes.boxes.empty());
    EXPECT_EQ(rig.convertor->src, rig.scratch.file("absent.pdf"));
    EXPECT_EQ(rig.convertor->dest, "");
}

TEST_F(WizardFilePage, LeavingTheSourceEditProposesADestinationForANewSourceOnly)
{
    set_text(rig.files.get(), 1004, rig.scratch.file("old-name.xml"));
    set_text(rig.files.get(), 1003, "/elsewhere/report.pdf");
    leave_source_edit(rig.files.get());
    EXPECT_EQ(text_of(rig.files.get(), 1004), rig.scratch.file("report.xml"));

    // The same source again: the destination typed since then stands.
    set_text(rig.files.get(), 1004, "/kept/as/typed.xml");
    leave_source_edit(rig.files.get());
    EXPECT_EQ(text_of(rig.files.get(), 1004), "/kept/as/typed.xml");

    // Without a destination the proposal goes to the user's documents folder.
    set_text(rig.files.get(), 1004, "");
    set_text(rig.files.get(), 1003, "/elsewhere/summary.pdf");
    leave_source_edit(rig.files.get());
    tk_file_name expected(tk_get_user_home_path());
    expected.name = "summary";
    expected.set_ext("xml");
    EXPECT_EQ(text_of(rig.files.get(), 1004), expected.get_full_name());

    // An empty source changes nothing.
    set_text(rig.files.get(), 1004, "/kept/as/typed.xml");
    set_text(rig.files.get(), 1003, "");
    leave_source_edit(rig.files.get());
    EXPECT_EQ(text_of(rig.files.get(), 1004), "/kept/as/typed.xml");
}

TEST_F(WizardFilePage, ATypedDestinationSurvivesTheFocusPassingThroughTheSourceEdit)
{
    QLineEdit* src_edit = edit(rig.files.get(), 1003);
    src_edit->setFocus(Qt::MouseFocusReason);
    ASSERT_TRUE(src_edit->hasFocus());
    src_edit->setText(QString::fromStdString(src));
    edit(rig.files.get(), 1004)->setFocus(Qt::TabFocusReason); // proposes for the new source
    const std::string typed = rig.scratch.file("custom-name.xml");
    set_text(rig.files.get(), 1004, typed);
    // A look at the source, then Next with the mouse.
    src_edit->setFocus(Qt::MouseFocusReason);
    QTest::mouseClick(rig.shell->button(QWizard::NextButton), Qt::LeftButton);
    pump_events(20);
    ASSERT_EQ(rig.current(), 107);
    EXPECT_EQ(rig.convertor->dest, typed);
    // Back shows it again, whatever the focus does on the way.
    rig.click(QWizard::BackButton);
    ASSERT_EQ(rig.current(), 104);
    src_edit->setFocus(Qt::MouseFocusReason);
    edit(rig.files.get(), 1005)->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(text_of(rig.files.get(), 1004), typed);
    EXPECT_TRUE(rig.boxes.boxes.empty());
}

TEST_F(WizardFilePage, BeginEditDestRefusesANullName)
{
    EXPECT_THROW(rig.files->begin_edit_dest(nullptr), tk_mail_assertion);
}

TEST_F(WizardFilePage, UncheckingThePasswordBoxClearsTheStoredPassword)
{
    rig.click(QWizard::BackButton);
    rig.convertor->password = "pw";
    rig.click(QWizard::NextButton);
    rig.files->control_as<QCheckBox>(1222)->click();
    EXPECT_FALSE(rig.files->control(1005)->isEnabled());
    rig.click(QWizard::BackButton);
    EXPECT_EQ(rig.convertor->password, "");
}

TEST_F(WizardFilePage, BrowseForTheSourceFillsItAndProposesTheDestination)
{
    set_text(rig.files.get(), 1003, src);
    set_text(rig.files.get(), 1004, dest);
    const std::string chosen = rig.scratch.file("picked.pdf");
    ASSERT_TRUE(write_test_pdf(chosen, 1));
    QString seen_title;
    QStringList seen_filters;
    QString seen_dir;
    QFileDialog::FileMode seen_mode = QFileDialog::AnyFile;
    file_dialog::answerer = [&](QFileDialog& d) {
        seen_title = d.windowTitle();
        seen_filters = d.nameFilters();
        seen_dir = d.directory().absolutePath();
        seen_mode = d.fileMode();
        d.selectFile(QString::fromStdString(chosen));
        return static_cast<int>(QDialog::Accepted);
    };
    rig.files->control_as<QAbstractButton>(1107)->click();
    file_dialog::answerer = nullptr;
    EXPECT_EQ(seen_title.toStdString(), "Select PDF document to convert");
    ASSERT_EQ(seen_filters.size(), 2);
    EXPECT_TRUE(seen_filters[0].startsWith(QStringLiteral("PDF Files (.pdf)")));
    EXPECT_TRUE(seen_filters[0].endsWith(QStringLiteral("(*.pdf)")));
    EXPECT_EQ(seen_dir.toStdString() + "/", tk_file_name(src).get_folder());
    EXPECT_EQ(seen_mode, QFileDialog::ExistingFile);
    EXPECT_EQ(text_of(rig.files.get(), 1003), chosen);
    EXPECT_EQ(text_of(rig.files.get(), 1004), rig.scratch.file("picked.xml"));

    // Choosing the same document again still proposes.
    set_text(rig.files.get(), 1004, rig.scratch.file("typed.xml"));
    file_dialog::answerer = [&](QFileDialog& d) {
        d.selectFile(QString::fromStdString(chosen));
        return static_cast<int>(QDialog::Accepted);
    };
    rig.files->control_as<QAbstractButton>(1107)->click();
    file_dialog::answerer = nullptr;
    EXPECT_EQ(text_of(rig.files.get(), 1004), rig.scratch.file("picked.xml"));
}

TEST_F(WizardFilePage, BrowseCancelledLeavesTheEdits)
{
    set_text(rig.files.get(), 1003, src);
    set_text(rig.files.get(), 1004, dest);
    file_dialog::answerer = [](QFileDialog&) { return static_cast<int>(QDialog::Rejected); };
    rig.files->control_as<QAbstractButton>(1107)->click();
    rig.files->control_as<QAbstractButton>(1104)->click();
    file_dialog::answerer = nullptr;
    EXPECT_EQ(text_of(rig.files.get(), 1003), src);
    EXPECT_EQ(text_of(rig.files.get(), 1004), dest);
}

TEST_F(WizardFilePage, BrowseForTheDestinationAddsTheExtensionWhereMissing)
{
    struct pick {
        std::string typed;
        std::string expected;
    };
    const pick picks[] = {{"report", "report.xml"},
                          {"report.xml", "report.xml"},
                          {"report.xml.txt", "report.xml.txt"},
                          {"REPORT.XML", "REPORT.XML.xml"}};
    for (const pick& p : picks) {
        QString seen_title;
        bool confirms_overwrite = true;
        file_dialog::answerer = [&](QFileDialog& d) {
            seen_title = d.windowTitle();
            confirms_overwrite = !d.testOption(QFileDialog::DontConfirmOverwrite);
            d.selectFile(QString::fromStdString(rig.scratch.file(p.typed)));
            return static_cast<int>(QDialog::Accepted);
        };
        rig.files->control_as<QAbstractButton>(1104)->click();
        file_dialog::answerer = nullptr;
        EXPECT_EQ(seen_title.toStdString(), "Select the destination file");
        EXPECT_FALSE(confirms_overwrite);
        EXPECT_EQ(text_of(rig.files.get(), 1004), rig.scratch.file(p.expected)) << p.typed;
    }
}

TEST(WizardFileDialog, InitialFolderAndNameComeFromThePath)
{
    const file_dialog_texts texts{{{"PDF Files (.pdf)", "*.pdf"}}, "t"};
    open_file_dialog from_path(nullptr, texts, "/tmp/some/report.final.pdf");
    EXPECT_EQ(from_path.initial_dir, "/tmp/some/");
    EXPECT_EQ(from_path.file_name, "report.final");
    open_file_dialog from_nothing(nullptr, texts, "");
    EXPECT_EQ(from_nothing.initial_dir, tk_get_module_dir());
    EXPECT_EQ(from_nothing.file_name, "");
    save_file_dialog dotted(nullptr, texts, "", ".xml");
    EXPECT_EQ(dotted.default_ext, ".xml");
    EXPECT_THROW(save_file_dialog(nullptr, texts, "", nullptr), tk_mail_assertion);
}

TEST(WizardFileDialog, TheCurrentFolderIsTheInitialOneOnlyWhileTheDialogRuns)
{
    scratch_dir dir;
    const std::string before = tk_file_name(".").get_folder();
    std::string during;
    file_dialog::answerer = [&](QFileDialog&) {
        during = tk_file_name(".").get_folder();
        return static_cast<int>(QDialog::Rejected);
    };
    open_file_dialog dialog(nullptr, {{{"All", "*"}}, "t"}, dir.file("x.pdf"));
    EXPECT_FALSE(dialog.run());
    file_dialog::answerer = nullptr;
    EXPECT_EQ(during, dir.path() + "/");
    EXPECT_EQ(tk_file_name(".").get_folder(), before);
    EXPECT_EQ(dialog.file_name, "x");
}

namespace {

class WizardSettingsPage : public ::testing::Test {
protected:
    void SetUp() override
    {
        src = rig.scratch.file("doc.pdf");
        ASSERT_TRUE(write_test_pdf(src, 3));
        rig.to_file_page();
        fill_files(rig, src, rig.scratch.file("doc.xml"));
    }
    void open_page()
    {
        rig.click(QWizard::NextButton);
        ASSERT_EQ(rig.current(), 107);
    }
    QRadioButton* radio(int id) { return rig.settings->control_as<QRadioButton>(id); }
    wizard_rig rig;
    std::string src;
};

} // namespace

TEST_F(WizardSettingsPage, StoredPageListOpensWithPagesSelected)
{
    rig.convertor->pages_text = "1,3,5-10";
    open_page();
    EXPECT_TRUE(radio(1330)->isChecked());
    EXPECT_FALSE(radio(1329)->isChecked());
    EXPECT_TRUE(rig.settings->control(1003)->isEnabled());
    EXPECT_EQ(text_of(rig.settings.get(), 1003), "1,3,5-10");
    EXPECT_EQ(rig.settings->title().toStdString(), "Step 2 of 3");
    EXPECT_EQ(rig.settings->subTitle().toStdString(), "Conversion settings");
}

TEST_F(WizardSettingsPage, EmptyPageListOpensWithAllAndTheTagsFilled)
{
    open_page();
    EXPECT_TRUE(radio(1329)->isChecked());
    EXPECT_FALSE(rig.settings->control(1003)->isEnabled());
    const xml_tags& tags = rig.convertor->tags;
    EXPECT_EQ(text_of(rig.settings.get(), 1004), tags.cell);
    EXPECT_EQ(text_of(rig.settings.get(), 1005), tags.column);
    EXPECT_EQ(text_of(rig.settings.get(), 1006), tags.line);
    EXPECT_EQ(text_of(rig.settings.get(), 1007), tags.page);
    EXPECT_EQ(text_of(rig.settings.get(), 1008), tags.par);
    EXPECT_EQ(text_of(rig.settings.get(), 1009), tags.row);
}

TEST_F(WizardSettingsPage, InvalidPageListKeepsThePageOnNextAndOnBack)
{
    open_page();
    radio(1330)->click();
    EXPECT_TRUE(rig.settings->control(1003)->isEnabled());
    set_text(rig.settings.get(), 1003, "5-3");
    set_text(rig.settings.get(), 1005, "kolumn");
    rig.click(QWizard::NextButton);
    EXPECT_EQ(rig.current(), 107);
    rig.click(QWizard::BackButton);
    EXPECT_EQ(rig.current(), 107);
    ASSERT_EQ(rig.boxes.boxes.size(), 2u);
    EXPECT_EQ(rig.boxes.boxes[0].text, "Invalid page range");
    EXPECT_EQ(rig.boxes.boxes[1].text, "Invalid page range");
    EXPECT_EQ(rig.boxes.boxes[0].caption, "Karvel 2.3 Error");
    // The rejected text is kept; no tag was taken over.
    EXPECT_EQ(rig.convertor->pages_text, "5-3");
    EXPECT_NE(rig.convertor->tags.column, "kolumn");
}

TEST_F(WizardSettingsPage, InvalidTagKeepsThePageAndTheValuesBeforeIt)
{
    open_page();
    radio(1330)->click();
    set_text(rig.settings.get(), 1003, "2, 1");
    set_text(rig.settings.get(), 1004, "");
    set_text(rig.settings.get(), 1005, "kolumn");
    set_text(rig.settings.get(), 1006, "bad tag");
    set_text(rig.settings.get(), 1009, "rij");
    rig.click(QWizard::BackButton);
    EXPECT_EQ(rig.current(), 107);
    rig.click(QWizard::NextButton);
    EXPECT_EQ(rig.current(), 107);
    ASSERT_EQ(rig.boxes.boxes.size(), 2u);
    EXPECT_EQ(rig.boxes.boxes[0].text,
              "XML tag is not valid. You can use only alphanumeric symbols \n(A-Z, a-z, 0-9) and underscore (_) "
              "to compose XML tags.");
    EXPECT_EQ(rig.boxes.boxes[1].text, rig.boxes.boxes[0].text);
    EXPECT_EQ(rig.convertor->page_list, (std::vector<unsigned>{2, 1}));
    EXPECT_EQ(rig.convertor->tags.cell, "");
    EXPECT_EQ(rig.convertor->tags.column, "kolumn");
    EXPECT_NE(rig.convertor->tags.row, "rij");
}

TEST_F(WizardSettingsPage, ValidValuesLeaveByBackAndAllEmptiesTheList)
{
    rig.convertor->pages_text = "1,3";
    const std::string table_before = rig.convertor->tags.table;
    open_page();
    radio(1329)->click();
    EXPECT_FALSE(rig.settings->control(1003)->isEnabled());
    set_text(rig.settings.get(), 1007, "blad");
    rig.click(QWizard::BackButton);
    EXPECT_EQ(rig.current(), 104);
    EXPECT_TRUE(rig.boxes.boxes.empty());
    EXPECT_EQ(rig.convertor->pages_text, "");
    EXPECT_TRUE(rig.convertor->page_list.empty());
    EXPECT_EQ(rig.convertor->tags.page, "blad");
    EXPECT_EQ(rig.convertor->tags.table, table_before);
    // The edit keeps its old text, disabled, at the next visit.
    rig.click(QWizard::NextButton);
    EXPECT_EQ(text_of(rig.settings.get(), 1003), "1,3");
    EXPECT_FALSE(rig.settings->control(1003)->isEnabled());
}

TEST_F(WizardSettingsPage, AltHReachesTheParagraphEdit)
{
    open_page();
    EXPECT_EQ(rig.shell->button(QWizard::HelpButton)->text().toStdString(), "Help");
    QWidget* par_edit = rig.settings->control(1008);
    rig.settings->control(1004)->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(rig.settings->control(1004)->hasFocus());
    // Pressed twice: a key shared with another control would move the focus on.
    for (int i = 0; i < 2; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_H, Qt::AltModifier);
        EXPECT_TRUE(par_edit->hasFocus()) << i;
    }
}

TEST_F(WizardSettingsPage, HelpOpensItsTopic)
{
    const help_file_guard help(true);
    open_page();
    rig.click(QWizard::HelpButton);
    rig.click(QWizard::BackButton);
    rig.click(QWizard::HelpButton);
    ASSERT_EQ(rig.urls.urls.size(), 2u);
    EXPECT_EQ(rig.urls.urls[0].fragment().toStdString(), "1016");
    EXPECT_EQ(rig.urls.urls[1].fragment().toStdString(), "1013");
}
