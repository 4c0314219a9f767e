#include "GUI2/g_f_dlg.h"

#include <QFileDialog>
#include <QStringList>

#include "TK/tk_except.h"
#include "TK/tk_fname.h"
#include "TK/tk_utils.h"

std::function<int(QFileDialog&)> file_dialog::answerer;

file_dialog::file_dialog(QWidget* owner_window, const file_dialog_texts& dialog_texts,
                         const std::string& initial_path)
    : owner(owner_window), texts(dialog_texts)
{
    const tk_file_name initial(initial_path);
    file_name = initial.name;
    initial_dir = initial.drive + initial.dir;
}

bool file_dialog::run_dialog(bool save)
{
    // The current folder is the initial folder while the dialog is open.
    const tk_dir_changer changer(initial_dir);
    QFileDialog dialog(owner, QString::fromStdString(texts.title), QString::fromStdString(initial_dir));
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    // The list shows each description alone; the pattern only selects the files.
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    QStringList filters;
    for (const auto& [description, pattern] : texts.filters)
        filters << QString::fromStdString(description + " (" + pattern + ")");
    dialog.setNameFilters(filters);
    if (!filters.isEmpty())
        dialog.selectNameFilter(filters.front());
    dialog.selectFile(QString::fromStdString(file_name));

    const int result = answerer ? answerer(dialog) : dialog.exec();
    if (result != QDialog::Accepted)
        return false;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.front().isEmpty())
        return false;
    file_name = chosen.front().toStdString();
    return true;
}

open_file_dialog::open_file_dialog(QWidget* owner_window, const file_dialog_texts& dialog_texts,
                                   const std::string& initial_path)
    : file_dialog(owner_window, dialog_texts, initial_path)
{
}

bool open_file_dialog::run()
{
    return run_dialog(false);
}

save_file_dialog::save_file_dialog(QWidget* owner_window, const file_dialog_texts& dialog_texts,
                                   const std::string& initial_path, const char* ext)
    : file_dialog(owner_window, dialog_texts, initial_path)
{
    if (ext == nullptr)
        throw tk_mail_assertion("g_f_dlg", 95);
    default_ext = ext;
    if (default_ext.empty() || default_ext[0] != '.')
        default_ext = "." + default_ext;
}

bool save_file_dialog::run()
{
    if (!run_dialog(true))
        return false;
    // Appended only when the extension occurs nowhere in the name (case-sensitive).
    if (file_name.find(default_ext) == std::string::npos)
        file_name += default_ext;
    return true;
}
