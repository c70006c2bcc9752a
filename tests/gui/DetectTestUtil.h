#pragma once

// Helpers shared by the main-window tests: discovery replies to feed the read handler, a
// window on a test port with a recording platform, and typing into the focused widget.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "app/UnitDetect.h"
#include "net/UdpSocket.h"
#include "support/FindWidget.h"
#include "support/ModelContract.h"
#include "support/RecordingPlatform.h"
#include "support/ReplyBuilder.h"

namespace velomar::test {

// A discovery reply for device number n: MAC 00-1A-2B-3C-4D-nn, IP 198.18.1.(10+n).
inline QByteArray DeviceReply(int n, const QByteArray& name = "Port-A", const QString& ip = {}) {
    return ReplyBuilder(n)
        .ip(ip.isEmpty() ? QStringLiteral("198.18.1.%1").arg(10 + n % 200) : ip)
        .gateway("198.18.1.1")
        .mask("255.255.255.0")
        .pelorin("198.18.1.2")
        .name(name)
        .version("1.2.3")
        .model("VM-2100");
}

// Stands where the devices are: bound to 0.0.0.0:2057 inside the test's own namespace, it
// hears what the window broadcasts through its loopback interface endpoints.
class DeviceSide {
  public:
    struct Datagram {
        QByteArray bytes;
        QString from;
    };
    DeviceSide() { socket.bind(QStringLiteral("0.0.0.0"), 2057); }
    // Every datagram that arrives until none follows for a short while.
    QList<Datagram> drain() {
        QList<Datagram> got;
        while (socket.waitReadable(got.isEmpty() ? 1000 : 200) == UdpSocket::WaitResult::Readable) {
            Datagram d;
            std::uint16_t port = 0;
            bool truncated = false;
            d.bytes = socket.receive(8192, &d.from, &port, &truncated);
            got << d;
        }
        return got;
    }
    UdpSocket socket;
};

// A main window without interface endpoints (nothing is broadcast) on a test port.
class DetectTest : public ::testing::Test {
  protected:
    static constexpr std::uint16_t kTestPort = 42057;

    void SetUp() override {
        window = std::make_unique<TFormDetect>(network());
        contract.watch(&window->devices());
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    void TearDown() override {
        contract.end();
        window.reset();
    }
    virtual DetectNetwork network() const { return DetectNetwork{{}, kTestPort}; }

    // Rows arrive through the read handler, as from the listener thread.
    void addDevices(int count, int first = 0) {
        for (int n = first; n < first + count; ++n)
            window->UDPServerUDPRead(DeviceReply(n), {}, 2057);
        window->TakeReceivedDevices();
    }
    DeviceTableModel& model() { return window->devices(); }
    QModelIndex cell(int row, int column) { return model().index(row, column); }
    QString text(int row, int column) { return model().cellText(row, column); }
    QString shown(int row, int column) {
        return model().data(cell(row, column), Qt::DisplayRole).toString();
    }

    // Puts the cursor on a cell, as a click would, and gives the table the focus.
    void goTo(int row, int column) {
        Find<DeviceTableView>(window, "RGrid")->setFocus();
        Find<DeviceTableView>(window, "RGrid")->setCurrentIndex(cell(row, column));
    }
    // Types each character into whatever has the focus: the table first, then the editor
    // that the first key opened.
    void type(const QString& chars) {
        for (QChar c : chars) {
            QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget()
                                                          : Find<DeviceTableView>(window, "RGrid");
            QTest::keyClick(target, c.toLatin1());
        }
    }
    QLineEdit* editor() { return qobject_cast<QLineEdit*>(QApplication::focusWidget()); }
    // Enter in the editor; the delegate commits on the next turn of the event loop.
    void commit() {
        if (QLineEdit* e = editor()) QTest::keyClick(e, Qt::Key_Return);
        QCoreApplication::processEvents();
    }

    RecordingPlatform rec;
    ScopedPlatform scoped{&rec};
    ModelContract contract;
    std::unique_ptr<TFormDetect> window;
};

}  // namespace velomar::test
