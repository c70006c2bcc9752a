#include "app/CloseWatcher.h"

#include <QEvent>

namespace velomar {

CloseWatcher::CloseWatcher(QObject* window) : window_(window) {
    window_->installEventFilter(this);
}

CloseWatcher::~CloseWatcher() {
    window_->removeEventFilter(this);
}

bool CloseWatcher::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window_ && event->type() == QEvent::Close) closeRequested_ = true;
    return false;
}

}  // namespace velomar
