#pragma once

#include <QDialog>

namespace velomar {

// The configuration dialog of one device. Created hidden at start-up and kept for the
// whole run.
class TConfigForm : public QDialog {
    Q_OBJECT
public:
    explicit TConfigForm(QWidget* parent = nullptr);
};

}  // namespace velomar
