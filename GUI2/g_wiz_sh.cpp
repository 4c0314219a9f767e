#include "GUI2/g_wiz_sh.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QTimerEvent>
#include <QUrl>

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "GUI2/g_gui_thread.h"
#include "GUI2/g_res.h"
#include "GUI2/g_wiz_pg.h"
#include "TK/tk_fname.h"
#include "TK/tk_log.h"
#include "TK/tk_utils.h"

std::function<int(QMessageBox&)> wizard_shell::box_answerer;
std::function<void(const QUrl&)> wizard_shell::url_opener;

namespace {

const char* const help_missing_text = "Help file does not exist. Reinstall the program.";

// The window manager draws a box's caption in a bold face beside an icon and three
// buttons: a short box is widened so that the whole caption shows.
void widen_for_caption(QMessageBox& box)
{
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (grid == nullptr)
        return;
    QFont font = QFontDatabase::systemFont(QFontDatabase::TitleFont);
    font.setBold(true);
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(box.windowTitle()) + 6 * metrics.height();
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum), 0, 0, 1,
                  grid->columnCount());
}

// Shows one of the shell's three boxes on the user-interface thread and returns the
// button pressed. Caption and owner depend on whether the wizard has been shown. While a
// run is being stopped the box is not shown, or closes, with stop_answer.
int show_box(QMessageBox::Icon icon, const char* word, const std::string& text,
             QMessageBox::StandardButtons buttons, QMessageBox::StandardButton default_button,
             QMessageBox::StandardButton stop_answer)
{
    int answer = stop_answer;
    run_on_gui_thread([&] {
        const bool owned = wizard_shell::is_initialized();
        QWidget* owner = owned ? &tk_singleton<wizard_shell>::instance() : nullptr;
        const std::string caption = owned ? tk_singleton<wizard_shell>::instance().title + " " + word : word;
        if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
            // No widgets can be shown without the application object.
            std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
            answer = default_button;
            return;
        }
        QString shown = QString::fromStdString(text);
        shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        QMessageBox box(icon, QString::fromStdString(caption), shown, buttons, owner);
        box.setDefaultButton(default_button);
        widen_for_caption(box);
        answer = wizard_shell::box_answerer ? wizard_shell::box_answerer(box) : run_modal(box, stop_answer);
    });
    return answer;
}

} // namespace

wizard_shell::wizard_shell(const std::string& window_title, unsigned icon, int watermark_id, int header_id)
    : QWizard(nullptr), title(window_title), icon_id(icon)
{
    tk_log(1, "wizard_shell::ctor(%s)", title.c_str());
    setWizardStyle(QWizard::ModernStyle);
    setOption(QWizard::HaveHelpButton, true);
    // A plain "Help", as on the property sheet: Alt+H stays with the pages, F1 is the help key.
    setButtonText(QWizard::HelpButton, QStringLiteral("Help"));
    load_bitmaps(watermark_id, header_id);

    // Back asks the page first, so the page can keep the user where it is.
    QAbstractButton* back = button(QWizard::BackButton);
    disconnect(back, nullptr, this, nullptr);
    connect(back, &QAbstractButton::clicked, this, [this] { on_back_clicked(); });
    // Every other wizard button is created now, so that Qt never reconnects Back later.
    button(QWizard::NextButton);
    button(QWizard::FinishButton);
    button(QWizard::CancelButton);
    button(QWizard::HelpButton);
    connect(this, &QWizard::helpRequested, this, [this] { on_help_requested(); });
    connect(this, &QWizard::currentIdChanged, this, [this](int id) { on_page_changed(id); });
}

wizard_shell::~wizard_shell()
{
    tk_log(1, "wizard_shell::dtor");
    title_shown = false;
    if (timer_on) {
        killTimer(qt_timer_id);
        timer_on = false;
    }
    error_list.clear();
    title.clear();
    // The pages belong to their owners; take them out before QWizard deletes its children.
    while (!page_order.empty()) {
        auto* p = dynamic_cast<wizard_page_base*>(page(page_order.back()));
        if (p == nullptr) {
            page_order.pop_back();
            continue;
        }
        remove_page(p);
    }
}

void wizard_shell::remove_page(wizard_page_base* p)
{
    const QSignalBlocker block(this);
    p->host = nullptr;
    if (page(p->dialog_id) == p)
        removePage(p->dialog_id);
    p->setParent(nullptr);
    page_order.erase(std::remove(page_order.begin(), page_order.end(), p->dialog_id), page_order.end());
}

void wizard_shell::load_bitmaps(int watermark_id, int header_id)
{
    if (watermark_id != 0)
        watermark_bitmap = resource_bitmap(watermark_id);
    if (header_id != 0)
        header_bitmap = resource_bitmap(header_id);
}

void wizard_shell::add_page(wizard_page_base* page_object)
{
    if ((page_object->flags & psp_hideheader) != 0) {
        page_object->setPixmap(QWizard::WatermarkPixmap, watermark_bitmap);
    } else {
        page_object->setPixmap(QWizard::BannerPixmap, header_bitmap);
    }
    setPage(page_object->dialog_id, page_object);
    page_object->host = this;
    page_order.push_back(page_object->dialog_id);
    if (page_order.size() == 1)
        setStartId(page_object->dialog_id);
}

wizard_page_base* wizard_shell::current_wizard_page() const
{
    return dynamic_cast<wizard_page_base*>(currentPage());
}

int wizard_shell::nextId() const
{
    if (jump_target != -1)
        return jump_target;
    const auto it = std::find(page_order.begin(), page_order.end(), currentId());
    if (it == page_order.end() || it + 1 == page_order.end())
        return -1;
    return *(it + 1);
}

void wizard_shell::setVisible(bool visible)
{
    if (visible && !page_size.isValid() && !page_order.empty())
        fit_to_pages();
    QWizard::setVisible(visible);
}

// The window keeps one size for all its pages: the largest that any page needs. Each page
// is laid out in turn without being activated, then the first page is started as usual.
void wizard_shell::fit_to_pages()
{
    ensurePolished();
    {
        const QSignalBlocker quiet(this);
        QSize largest(0, 0);
        for (int id : page_order) {
            setStartId(id);
            restart();
            largest = largest.expandedTo(minimumSize()).expandedTo(sizeHint());
        }
        setStartId(page_order.front());
        page_size = largest;
    }
    setFixedSize(page_size);
    restart();
}

bool wizard_shell::is_initialized()
{
    tk_log(1, "wizard_shell::is_initialized");
    if (!tk_singleton<wizard_shell>::exists()) {
        tk_log(1, "Before return false");
        return false;
    }
    tk_log(1, "Singleton has been initialized");
    return tk_singleton<wizard_shell>::instance().title_shown;
}

void wizard_shell::error(const std::string& text)
{
    tk_log(1, "wizard_shell::error(%s)", text.c_str());
    show_box(QMessageBox::Critical, "Error", text, QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Ok);
    tk_log(3, "%s", text.c_str());
}

void wizard_shell::message(const std::string& text)
{
    tk_log(1, "wizard_shell::message(%s)", text.c_str());
    show_box(QMessageBox::Information, "Message", text, QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Ok);
    tk_log(3, "%s", text.c_str());
}

bool wizard_shell::question(const std::string& text, unsigned extra_flags)
{
    const QMessageBox::StandardButton default_button =
        (extra_flags & mb_defbutton2) != 0 ? QMessageBox::No : QMessageBox::Yes;
    // A stop during a run is a confirmed Cancel: the question open then is answered Yes.
    return show_box(QMessageBox::Question, "Question", text, QMessageBox::Yes | QMessageBox::No, default_button,
                    QMessageBox::Yes) == QMessageBox::Yes;
}

std::string wizard_shell::help_file_name()
{
    tk_file_name name(tk_get_module_path());
    name.set_ext(".html");
    return name.get_full_name();
}

void wizard_shell::open_url(const QUrl& url)
{
    run_on_gui_thread([&url] {
        if (url_opener)
            url_opener(url);
        else
            QDesktopServices::openUrl(url);
    });
}

void wizard_shell::display_help()
{
    tk_log(1, "wizard_shell::display_help");
    const std::string file = help_file_name();
    if (!tk_is_file_exist(file, 0)) {
        error(help_missing_text);
        return;
    }
    open_url(QUrl::fromLocalFile(QString::fromStdString(file)));
}

void wizard_shell::display_help(int context_id)
{
    tk_log(1, "wizard_shell::display_help(%d)", context_id);
    const std::string file = help_file_name();
    if (!tk_is_file_exist(file, 0)) {
        error(help_missing_text);
        return;
    }
    QUrl url = QUrl::fromLocalFile(QString::fromStdString(file));
    url.setFragment(QString::number(context_id));
    open_url(url);
}

void wizard_shell::show_title()
{
    run_on_gui_thread([this] {
        if (title_shown)
            return;
        setWindowTitle(QString::fromStdString(title));
        if (icon_id != 0)
            setWindowIcon(resource_icon(icon_id));
        // Centred on the screen's work area, and kept inside it.
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect area = screen->availableGeometry();
            const QSize size = frameGeometry().size().isValid() ? frameGeometry().size() : sizeHint();
            int x = area.x() + (area.width() - size.width()) / 2;
            int y = area.y() + (area.height() - size.height()) / 2;
            x = std::max(area.left(), std::min(x, area.right() - size.width()));
            y = std::max(area.top(), std::min(y, area.bottom() - size.height()));
            move(x, y);
        }
        title_shown = true;
    });
}

void wizard_shell::start_timer(unsigned period_ms)
{
    run_on_gui_thread([this, period_ms] {
        if (timer_on)
            throw tk_mail_assertion("g_wiz_sh", 249);
        qt_timer_id = startTimer(static_cast<int>(period_ms));
        if (qt_timer_id == 0)
            throw tk_mail_assertion("g_wiz_sh", 257);
        timer_on = true;
    });
}

void wizard_shell::stop_timer()
{
    run_on_gui_thread([this] {
        if (!timer_on)
            return;
        killTimer(qt_timer_id);
        qt_timer_id = 0;
        timer_on = false;
    });
}

QAbstractButton* wizard_shell::button_of(int button_id) const
{
    switch (button_id) {
    case wizard_button_cancel:
        return button(QWizard::CancelButton);
    case wizard_button_help:
        return button(QWizard::HelpButton);
    case wizard_button_back:
        return button(QWizard::BackButton);
    case wizard_button_next:
        return button(QWizard::NextButton);
    case wizard_button_finish:
        return button(QWizard::FinishButton);
    default:
        return nullptr;
    }
}

void wizard_shell::enable_button(int button_id, bool enable)
{
    run_on_gui_thread([this, button_id, enable] {
        QAbstractButton* b = button_of(button_id);
        tk_log(2, "wizard_shell::enable_button(%08X)", static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(b)));
        if (b != nullptr)
            b->setEnabled(enable);
    });
}

void wizard_shell::set_wizard_buttons(int mask)
{
    QAbstractButton* back = button(QWizard::BackButton);
    QAbstractButton* next = button(QWizard::NextButton);
    QAbstractButton* finish = button(QWizard::FinishButton);
    back->setEnabled((mask & wizb_back) != 0);
    if ((mask & wizb_finish) != 0) {
        next->setVisible(false);
        finish->setVisible(true);
        finish->setEnabled(true);
        if (auto* push = qobject_cast<QPushButton*>(finish))
            push->setDefault(true);
    } else {
        finish->setVisible(false);
        next->setVisible(true);
        next->setEnabled((mask & wizb_next) != 0);
        auto* push = qobject_cast<QPushButton*>(next);
        if (push != nullptr && next->isEnabled())
            push->setDefault(true);
    }
}

void wizard_shell::on_page_changed(int id)
{
    jump_target = -1;
    if (id < 0)
        return;
    const bool backwards = going_back;
    going_back = false;
    wizard_page_base* p = current_wizard_page();
    if (p == nullptr)
        return;
    // The wizard fits its layout to each page it shows; the window keeps its one size.
    if (page_size.isValid())
        setFixedSize(page_size);
    button(QWizard::HelpButton)->setEnabled((p->flags & psp_hashelp) != 0);
    if (!p->OnSetActive()) {
        // The page does not want to be shown: go on in the direction of travel.
        if (backwards) {
            going_back = true;
            QWizard::back();
        } else {
            QWizard::next();
        }
    }
}

bool wizard_shell::validateCurrentPage()
{
    wizard_page_base* p = current_wizard_page();
    if (p == nullptr)
        return true;
    const int result = p->on_next();
    if (result == -1)
        return false;
    if (!p->on_kill_active())
        return false;
    // Another value than 0 is the dialog id of the page to show instead of the next one.
    jump_target = (result != 0 && page(result) != nullptr) ? result : -1;
    return true;
}

void wizard_shell::on_back_clicked()
{
    wizard_page_base* p = current_wizard_page();
    if (p == nullptr)
        return;
    const int result = p->on_back();
    if (result == -1 || !p->on_kill_active())
        return;
    const QList<int> history = visitedIds();
    if (result != 0 && !history.contains(result))
        return;
    going_back = true;
    QWizard::back();
    while (result != 0 && currentId() != result && visitedIds().size() > 1)
        QWizard::back();
}

void wizard_shell::on_help_requested()
{
    if (wizard_page_base* p = current_wizard_page())
        p->on_help();
}

void wizard_shell::accept()
{
    wizard_page_base* p = current_wizard_page();
    if (p != nullptr && !p->on_finish())
        return;
    QDialog::done(QDialog::Accepted);
}

void wizard_shell::reject()
{
    wizard_page_base* p = current_wizard_page();
    if (p != nullptr && !p->on_cancel())
        return;
    QWizard::reject();
}

void wizard_shell::timerEvent(QTimerEvent* event)
{
    // Every timer tick of the window ends here; only the progress timer reaches the page.
    if (timer_on && event->timerId() == qt_timer_id) {
        if (wizard_page_base* p = current_wizard_page())
            p->on_timer(progress_timer_id);
    }
}

void wizard_shell::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F1) {
        on_help_requested();
        return;
    }
    QWizard::keyPressEvent(event);
}
