#include "app/UnitSearchIP.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include "platform/Platform.h"
#include "protocol/Address.h"

namespace velomar {

TFormSearchIP::TFormSearchIP(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FormSearchIP"));
    setWindowTitle(QStringLiteral("Search by IP"));
    setAccessibleName(QStringLiteral("Search by IP"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setModal(true);
    setFixedSize(429, 180);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);

    Label1 = new QLabel(QStringLiteral("IP address"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(40, 52, 90, 26);
    Label1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    FlatEdit1 = new QLineEdit(this);
    FlatEdit1->setObjectName(QStringLiteral("FlatEdit1"));
    FlatEdit1->setAccessibleName(QStringLiteral("IP address"));
    FlatEdit1->setGeometry(140, 52, 230, 26);
    FlatEdit1->installEventFilter(this);
    Label1->setBuddy(FlatEdit1);

    auto makeButton = [this](const char* name, const QString& caption, int x) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(x, 118, 100, 30);
        // Enter is the edit's (on key release); no button takes it on key press.
        b->setAutoDefault(false);
        b->setDefault(false);
        return b;
    };
    FlatSpeedButton1 = makeButton("FlatSpeedButton1", QStringLiteral("Search"), 104);
    FlatSpeedButton2 = makeButton("FlatSpeedButton2", QStringLiteral("Cancel"), 224);
    connect(FlatSpeedButton1, &QPushButton::clicked, this, &TFormSearchIP::FlatSpeedButton1Click);
    connect(FlatSpeedButton2, &QPushButton::clicked, this, &TFormSearchIP::FlatSpeedButton2Click);

    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    FlatEdit1->setFocus();
}

QString TFormSearchIP::address() const {
    return FlatEdit1->text();
}

void TFormSearchIP::FlatSpeedButton1Click() {
    const QString text = FlatEdit1->text();
    if (text.isEmpty()) return;
    if (IsValidIp(text)) {
        accept();
        return;
    }
    platform().showMessage(this, QStringLiteral("IP is not valid."));
    FlatEdit1->setFocus();
}

void TFormSearchIP::FlatSpeedButton2Click() {
    reject();
}

void TFormSearchIP::FlatEdit1KeyUp(int key) {
    if (key == Qt::Key_Return || key == Qt::Key_Enter) FlatSpeedButton1Click();
}

bool TFormSearchIP::eventFilter(QObject* object, QEvent* event) {
    if (object == FlatEdit1 && event->type() == QEvent::KeyRelease) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (!key->isAutoRepeat()) FlatEdit1KeyUp(key->key());
    }
    return QDialog::eventFilter(object, event);
}

}  // namespace velomar
