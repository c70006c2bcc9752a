#include "platform/Platform.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <QUrl>

#include "protocol/Errors.h"

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace velomar {

namespace {

class RealPlatform : public Platform {
  public:
    void showMessage(QWidget* parent, const QString& text) override { box(parent, false, text); }
    void showError(QWidget* parent, const QString& text) override {
        box(parent, true, WithFullStop(text));
    }

    QString openFileName(QWidget* parent, const FileDialogRequest& r) override {
        return run(parent, r, false);
    }
    QString saveFileName(QWidget* parent, const FileDialogRequest& r) override {
        return run(parent, r, true);
    }

    void startProgram(const QString& program, const QStringList& arguments, bool hidden) override {
        QProcess process;
        process.setProgram(program);
        process.setArguments(arguments);
        if (hidden) {
            // A hidden tool has nobody to talk to: its output goes nowhere.
            process.setStandardOutputFile(QProcess::nullDevice());
            process.setStandardErrorFile(QProcess::nullDevice());
#ifdef Q_OS_WIN
            process.setCreateProcessArgumentsModifier(
                [](QProcess::CreateProcessArguments* args) { args->flags |= CREATE_NO_WINDOW; });
#endif
        }
        process.startDetached();
    }

    void openUrl(const QString& url) override {
        QDesktopServices::openUrl(QUrl(url));
    }

    void sleepMs(int milliseconds) override {
        QThread::msleep(static_cast<unsigned long>(milliseconds));
    }

  private:
    static void box(QWidget* parent, bool error, const QString& text) {
        MakeMessageBox(parent, error, text)->exec();
    }

    static QString run(QWidget* parent, const FileDialogRequest& r, bool save) {
        const auto dialog = MakeFileDialog(parent, r, save);
        if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return {};
        return dialog->selectedFiles().first();
    }
};

// The patterns of a filter's caption, as the file dialog would take them, with "*.*" made
// every file: the dialog is Qt's own on every system, and its "*.*" asks for a dot.
QStringList FilterPatterns(const QString& filter) {
    const qsizetype open = filter.lastIndexOf(u'(');
    const QString list = open >= 0 && filter.endsWith(u')')
                             ? filter.mid(open + 1, filter.size() - open - 2)
                             : filter;
    QStringList patterns = list.split(u' ', Qt::SkipEmptyParts);
    for (QString& p : patterns) {
        if (p == QStringLiteral("*.*")) p = QStringLiteral("*");
    }
    return patterns;
}

RealPlatform& realPlatform() {
    static RealPlatform p;
    return p;
}

Platform* current = nullptr;

}  // namespace

std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* parent, bool error, const QString& text) {
    auto box =
        std::make_unique<QMessageBox>(error ? QMessageBox::Critical : QMessageBox::Information,
                                      kAppTitle, text, QMessageBox::Ok, parent);
    // The box's own name is its caption; readers take the message from its label.
    box->setAccessibleName(kAppTitle);
    box->setAccessibleDescription(text);
    return box;
}

std::unique_ptr<QFileDialog> MakeFileDialog(QWidget* parent, const FileDialogRequest& r,
                                            bool save) {
    auto dialog = std::make_unique<QFileDialog>(parent, r.title);
    dialog->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog->setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setNameFilters(r.filters);
    if (!r.filters.isEmpty()) dialog->selectNameFilter(r.filters.first());
    // "All files (*.*)" keeps its caption but lists every file, an image without a dot in its
    // name too; also when the user picks it again.
    if (auto* files = dialog->findChild<QFileSystemModel*>()) {
        auto match = [files](const QString& filter) {
            files->setNameFilters(FilterPatterns(filter));
        };
        match(dialog->selectedNameFilter());
        QObject::connect(dialog.get(), &QFileDialog::filterSelected, files, match);
    }
    if (!r.defaultSuffix.isEmpty()) dialog->setDefaultSuffix(r.defaultSuffix);
    // Replacing an existing file is what the user asked for; no second question.
    dialog->setOption(QFileDialog::DontConfirmOverwrite, true);
    if (!r.defaultName.isEmpty()) dialog->selectFile(r.defaultName);
    return dialog;
}

QString Platform::findProgram(const QString& name) {
    QString path = QStandardPaths::findExecutable(name);
    if (path.isEmpty()) {
        // arp lives in the admin folders, which an ordinary user's PATH may lack.
        path = QStandardPaths::findExecutable(name,
                                              {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"),
                                               QStringLiteral("/usr/local/sbin")});
    }
    return path;
}

Platform& platform() {
    if (current) return *current;
    return realPlatform();
}

void setPlatform(Platform* p) {
    current = p;
}

QString WithFullStop(const QString& text) {
    if (text.endsWith(u'.')) return text;
    return text + u'.';
}

bool RunGuarded(QWidget* parent, const std::function<void()>& action) {
    try {
        action();
        return true;
    } catch (const Error& e) {
        platform().showError(parent, e.text());
    } catch (const std::exception& e) {
        platform().showError(parent, QString::fromLocal8Bit(e.what()));
    }
    return false;
}

}  // namespace velomar
