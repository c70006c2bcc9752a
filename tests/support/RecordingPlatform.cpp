#include "support/RecordingPlatform.h"

namespace velomar {

void RecordingPlatform::showMessage(QWidget*, const QString& text) {
    Event e{Event::Message, text, {}, false, 0, {}};
    events << e;
    if (onBox) onBox(e);
}

void RecordingPlatform::showError(QWidget*, const QString& text) {
    Event e{Event::Error, WithFullStop(text), {}, false, 0, {}};
    events << e;
    if (onBox) onBox(e);
}

QString RecordingPlatform::openFileName(QWidget*, const FileDialogRequest& request) {
    events << Event{Event::OpenFile, {}, {}, false, 0, request};
    return fileAnswers.isEmpty() ? QString() : fileAnswers.dequeue();
}

QString RecordingPlatform::saveFileName(QWidget*, const FileDialogRequest& request) {
    events << Event{Event::SaveFile, {}, {}, false, 0, request};
    return fileAnswers.isEmpty() ? QString() : fileAnswers.dequeue();
}

void RecordingPlatform::startProgram(const QString& program, const QStringList& arguments,
                                     bool hidden) {
    events << Event{Event::Program, program, arguments, hidden, 0, {}};
}

void RecordingPlatform::openUrl(const QString& url) {
    events << Event{Event::Url, url, {}, false, 0, {}};
}

void RecordingPlatform::sleepMs(int milliseconds) {
    events << Event{Event::Sleep, {}, {}, false, milliseconds, {}};
}

QString RecordingPlatform::findProgram(const QString& name) {
    return installedPrograms.contains(name) ? name : QString();
}

QStringList RecordingPlatform::boxes() const {
    QStringList out;
    for (const Event& e : events) {
        if (e.kind == Event::Message || e.kind == Event::Error) out << e.text;
    }
    return out;
}

}  // namespace velomar
