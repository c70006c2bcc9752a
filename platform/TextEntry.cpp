#include "platform/TextEntry.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>

namespace velomar {

namespace {

bool passesAlways(QChar c) {
    const char16_t u = c.unicode();
    return u == 8 || u == 37 || u == 39 || (u >= u'0' && u <= u'9');
}

class TypingFilter : public QObject {
  public:
    TypingFilter(QWidget* widget, CharacterRule passes) : QObject(widget), passes_(passes) {
        widget->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        return event->type() == QEvent::KeyPress &&
               RefusesTyping(static_cast<QKeyEvent*>(event), passes_);
    }

  private:
    CharacterRule passes_;
};

class PasteFilter : public QObject {
  public:
    PasteFilter(QLineEdit* edit, CharacterRule passes)
        : QObject(edit), edit_(edit), passes_(passes) {
        edit->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != edit_ || edit_->isReadOnly() || forwarding_) return false;
        switch (event->type()) {
            case QEvent::KeyPress:
                if (!static_cast<QKeyEvent*>(event)->matches(QKeySequence::Paste)) return false;
                paste(QClipboard::Clipboard);
                return true;
            case QEvent::ContextMenu:
                contextMenu(static_cast<QContextMenuEvent*>(event)->globalPos());
                return true;
            case QEvent::MouseButtonRelease:
                // Where the system has a selection, the middle button pastes it.
                if (static_cast<QMouseEvent*>(event)->button() != Qt::MiddleButton ||
                    !QGuiApplication::clipboard()->supportsSelection())
                    return false;
                edit_->deselect();
                paste(QClipboard::Selection);
                return true;
            case QEvent::Drop:
                return drop(static_cast<QDropEvent*>(event));
            default:
                return false;
        }
    }

  private:
    void paste(QClipboard::Mode mode) {
        edit_->insert(KeptCharacters(QGuiApplication::clipboard()->text(mode), passes_));
    }

    // The edit's own menu, with its Paste brought here.
    void contextMenu(const QPoint& at) {
        QMenu* menu = edit_->createStandardContextMenu();
        for (QAction* action : menu->actions()) {
            if (disconnect(action, SIGNAL(triggered()), edit_, SLOT(paste())) ||
                disconnect(action, &QAction::triggered, edit_, &QLineEdit::paste)) {
                connect(action, &QAction::triggered, this,
                        [this] { paste(QClipboard::Clipboard); });
            }
        }
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(at);
    }

    // A drop is handed on to the edit with the text it may take.
    bool drop(QDropEvent* event) {
        const QMimeData* data = event->mimeData();
        if (!data || !data->hasText()) return false;
        const QString kept = KeptCharacters(data->text(), passes_);
        if (kept == data->text()) return false;
        QMimeData filtered;
        filtered.setText(kept);
        QDropEvent copy(event->position(), event->possibleActions(), &filtered, event->buttons(),
                        event->modifiers());
        copy.setDropAction(event->dropAction());
        forwarding_ = true;
        QCoreApplication::sendEvent(edit_, &copy);
        forwarding_ = false;
        event->setDropAction(copy.dropAction());
        event->setAccepted(copy.isAccepted());
        return true;
    }

    QLineEdit* edit_;
    CharacterRule passes_;
    bool forwarding_ = false;
};

}  // namespace

bool AddressCharacterPasses(QChar c) {
    return c == u'.' || passesAlways(c);
}

bool PortCharacterPasses(QChar c) {
    return passesAlways(c);
}

QString KeptCharacters(const QString& text, CharacterRule passes) {
    QString kept;
    kept.reserve(text.size());
    for (QChar c : text) {
        if (passes(c)) kept.append(c);
    }
    return kept;
}

bool RefusesTyping(const QKeyEvent* event, const std::function<bool(QChar)>& passes) {
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    for (QChar c : event->text()) {
        if (c.unicode() < 0x20 && c.unicode() != 8) continue;
        if (!passes(c)) return true;
    }
    return false;
}

void FilterTyping(QWidget* widget, CharacterRule passes) {
    new TypingFilter(widget, passes);
}

void FilterPastes(QLineEdit* edit, CharacterRule passes) {
    new PasteFilter(edit, passes);
}

}  // namespace velomar
