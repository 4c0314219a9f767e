// The Open and Save As dialogs of the file-selection page.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

class QFileDialog;
class QWidget;

struct file_dialog_texts {
    // Pairs of a description and a pattern; the first pair is selected.
    std::vector<std::pair<std::string, std::string>> filters;
    std::string title;
};

class file_dialog {
public:
    // Opens in the folder of initial_path with its name, without the extension, filled
    // in; an empty path stands for the program's own folder with no name.
    file_dialog(QWidget* owner, const file_dialog_texts& texts, const std::string& initial_path);
    virtual ~file_dialog() = default;

    // True when the user confirmed a file; get_file_name then gives its full path.
    virtual bool run() = 0;
    std::string get_file_name() const { return file_name; }

    std::string file_name;
    std::string initial_dir;

    // Test seam: when set, it is given the prepared dialog instead of running it and
    // returns the dialog's result (QDialog::Accepted or QDialog::Rejected).
    static std::function<int(QFileDialog&)> answerer;

protected:
    bool run_dialog(bool save);

    QWidget* owner;
    file_dialog_texts texts;
};

class open_file_dialog : public file_dialog {
public:
    open_file_dialog(QWidget* owner, const file_dialog_texts& texts, const std::string& initial_path);
    bool run() override;
};

class save_file_dialog : public file_dialog {
public:
    save_file_dialog(QWidget* owner, const file_dialog_texts& texts, const std::string& initial_path,
                     const char* default_ext);
    bool run() override;

    std::string default_ext; // with its leading "."
};
