#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class QFileDialog;
class QMessageBox;
class QWidget;

namespace velomar {

// The application title, caption of every message box.
inline const QString kAppTitle = QStringLiteral("Velomar v1.1");

// A file dialog's request: title, the default file name, the default suffix (save only)
// and the filters in their order; the first filter is selected when the dialog opens.
struct FileDialogRequest {
    QString title;
    QString defaultName;
    QString defaultSuffix;
    QStringList filters;
};

// What the operating system does for us. The program talks to it only through this
// interface so that tests can record and answer every request.
class Platform {
  public:
    virtual ~Platform() = default;

    // A modal message box with an OK button and the caption kAppTitle.
    virtual void showMessage(QWidget* parent, const QString& text) = 0;
    // Same box for an error; the text gets a full stop when it lacks one.
    virtual void showError(QWidget* parent, const QString& text) = 0;
    // File dialogs return the chosen path, or an empty string when cancelled.
    virtual QString openFileName(QWidget* parent, const FileDialogRequest& request) = 0;
    virtual QString saveFileName(QWidget* parent, const FileDialogRequest& request) = 0;
    // Starts a program with an argument list (never through a shell), without waiting.
    // hidden: no window for it where the system can tell. Failures are ignored.
    virtual void startProgram(const QString& program, const QStringList& arguments,
                              bool hidden) = 0;
    // Opens a URL in the desktop's browser.
    virtual void openUrl(const QString& url) = 0;
    // Pauses the calling thread.
    virtual void sleepMs(int milliseconds) = 0;
    // The path of an installed program (searched on PATH and the system's admin folders),
    // or an empty string.
    virtual QString findProgram(const QString& name);
};

// The message box and the file dialog the real platform runs, built apart from running them
// so that tests can look at them.
std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* parent, bool error, const QString& text);
std::unique_ptr<QFileDialog> MakeFileDialog(QWidget* parent, const FileDialogRequest& request,
                                            bool save);

// The platform in use: the real one unless a test installed another.
Platform& platform();
// Installs p (not owned) as the platform in use; nullptr restores the real one.
void setPlatform(Platform* p);

// The text as the error box shows it: a full stop is appended when it has none.
QString WithFullStop(const QString& text);

// Runs one user action; an error it raises ends it and is shown in the error box.
// Returns false when the action ended with an error.
bool RunGuarded(QWidget* parent, const std::function<void()>& action);

}  // namespace velomar
