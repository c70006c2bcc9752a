#pragma once

#include <QList>
#include <QQueue>
#include <QStringList>

#include "platform/Platform.h"

namespace velomar {

// A platform for tests: records every request in order and answers from queues that the
// test fills. Install it with ScopedPlatform.
class RecordingPlatform : public Platform {
  public:
    struct Event {
        enum Kind { Message, Error, OpenFile, SaveFile, Program, Url, Sleep } kind;
        QString text;           // message text (errors with their full stop), program, url
        QStringList arguments;  // program arguments
        bool hidden = false;
        int milliseconds = 0;
        FileDialogRequest dialog;  // for file dialogs
    };

    void showMessage(QWidget* parent, const QString& text) override;
    void showError(QWidget* parent, const QString& text) override;
    QString openFileName(QWidget* parent, const FileDialogRequest& request) override;
    QString saveFileName(QWidget* parent, const FileDialogRequest& request) override;
    void startProgram(const QString& program, const QStringList& arguments, bool hidden) override;
    void openUrl(const QString& url) override;
    void sleepMs(int milliseconds) override;
    // Finds only the programs listed in installedPrograms (answering with the name).
    QString findProgram(const QString& name) override;
    QStringList installedPrograms;

    // Answers for the next file dialogs, in order; an empty string (or an empty queue)
    // means the user cancelled.
    QQueue<QString> fileAnswers;
    // Called when a message or error box would be shown (it is modal in the product); a
    // test can act "while the box is open" here.
    std::function<void(const Event&)> onBox;

    QList<Event> events;
    // Texts of message and error boxes, in order.
    QStringList boxes() const;
    void clear() { events.clear(); }
};

// Installs a recording platform for the lifetime of the object.
class ScopedPlatform {
  public:
    explicit ScopedPlatform(Platform* p) { setPlatform(p); }
    ~ScopedPlatform() { setPlatform(nullptr); }
    ScopedPlatform(const ScopedPlatform&) = delete;
    ScopedPlatform& operator=(const ScopedPlatform&) = delete;
};

}  // namespace velomar
