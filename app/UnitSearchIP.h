#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace velomar {

// The search-by-IP dialog: asks for one IPv4 address. It exists only while it is shown.
class TFormSearchIP : public QDialog {
    Q_OBJECT
  public:
    explicit TFormSearchIP(QWidget* parent = nullptr);

    // The address as typed (valid by IsValidIp once the dialog closed with OK).
    QString address() const;

    void FlatSpeedButton1Click();  // "Search"
    void FlatSpeedButton2Click();  // "Cancel"
    void FlatEdit1KeyUp(int key);

    QLabel* Label1 = nullptr;
    QLineEdit* FlatEdit1 = nullptr;
    QPushButton* FlatSpeedButton1 = nullptr;
    QPushButton* FlatSpeedButton2 = nullptr;

  protected:
    bool eventFilter(QObject* object, QEvent* event) override;
};

}  // namespace velomar
