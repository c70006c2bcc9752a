#pragma once

#include <QObject>

namespace velomar {

// Notes that a window was asked to close while a transfer runs in it, so that the program
// can end instead of sending on, unseen, for up to a minute.
class CloseWatcher : public QObject {
  public:
    explicit CloseWatcher(QObject* window);
    ~CloseWatcher() override;
    bool closeRequested() const { return closeRequested_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QObject* window_;
    bool closeRequested_ = false;
};

}  // namespace velomar
