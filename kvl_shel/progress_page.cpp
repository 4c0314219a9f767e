#include "kvl_shel/progress_page.h"

#include <QCoreApplication>
#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include <chrono>
#include <cstdio>
#include <thread>

#include "GUI2/g_wiz_sh.h"
#include "karvel/kvl_conv.h"

progress_page::progress_page() : tk_thread(false)
{
    set_header(QStringLiteral("Step 3 of 3"), QStringLiteral("Document converting is in progress"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(
        QStringLiteral("Document converting is in progress. Please wait until the wizard completes")));
    layout->addWidget(new QLabel(QStringLiteral("converting your PDF document into XML format.")));
    layout->addStretch(1);
    status = new QLabel();
    status->setObjectName(QStringLiteral("1323"));
    status->setAlignment(Qt::AlignCenter);
    layout->addWidget(status);
    bar = new QProgressBar();
    bar->setObjectName(QStringLiteral("1321"));
    bar->setRange(0, 100);
    bar->setTextVisible(false);
    bar->setValue(0);
    layout->addWidget(bar);
    layout->addStretch(1);
}

progress_page::~progress_page()
{
    end_worker();
}

tk_thread_functor* progress_page::create_functor()
{
    return &tk_singleton<karvel_convertor>::instance();
}

bool progress_page::page_init()
{
    post_wizard_buttons(0);
    bar->setValue(0);
    // In place before the worker starts: its first write past the file-size limit already
    // fails as a write instead of ending the program.
    stop_scope.reset();
    stop_scope = std::make_unique<tk_stop_signals>(create_functor());
    start();
    if (!is_alive())
        stop_scope.reset();
    return true;
}

void progress_page::on_timer(int)
{
    if (ending)
        return;
    // A stop signal during the run: the worker was asked to stop by the handler; the wizard
    // ends as a confirmed Cancel ends it, and the program then ends by the signal.
    if (stop_scope != nullptr && tk_stop_signals::received() != 0) {
        stop_signal = tk_stop_signals::received();
        end_worker();
        static_cast<QDialog&>(tk_singleton<wizard_shell>::instance()).done(QDialog::Rejected);
        return;
    }
    // Outside a run the signals end the program as they always do.
    if (!is_alive())
        stop_scope.reset();
    karvel_convertor& conv = tk_singleton<karvel_convertor>::instance();
    const double percent = conv.get_percent();
    // The finish page says the document is converted: move on once the run has also
    // ended, so that the document's closing lines are written (and any failure in
    // writing them has been reported) before it is shown.
    if (percent >= 100.0 && !is_alive()) {
        wizard_shell& shell = tk_singleton<wizard_shell>::instance();
        shell.stop_timer();
        shell.setCurrentId(106);
    }
    bar->setValue(static_cast<int>(percent));
    char text[256];
    std::snprintf(text, sizeof text, "Processing page %ld of %ld", static_cast<long>(conv.page_index.load()),
                  static_cast<long>(conv.page_count.load()));
    status->setText(QString::fromUtf8(text));
}

void progress_page::on_help()
{
    wizard_shell::display_help();
}

void progress_page::end_worker()
{
    ending = true;
    if (functor != nullptr && is_alive()) {
        functor->request_stop();
        while (is_alive()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    if (!is_alive())
        cleanup();
    stop_scope.reset();
    if (tk_singleton<wizard_shell>::exists())
        tk_singleton<wizard_shell>::instance().stop_timer();
}
