#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <map>
#include <memory>

#include "lab/NetLab.h"
#include "support/Isolation.h"

// A lab for system tests: the real program code, real port 2057, a real tervane-emu,
// inside network namespaces made for the test and removed after it.
//
//   TEST(DiscoverySystem, Something) {
//       VELOMAR_REQUIRE_LAB();
//       velomar::test::Lab lab({.ifaces = 1});
//       lab.startEmulator({"--devices", "3"});
//       velomar::TFormDetect form;              // created inside the workstation namespace
//       form.FlatButton2Click();
//       ASSERT_TRUE(lab.waitFor([&] { return form.DeviceCount() == 3; }));
//       auto requests = lab.received('g');      // the emulator's log, parsed
//   }
//
// The constructor moves the calling thread into the workstation namespace (threads
// created later inherit it) and the destructor moves it back; create the windows under
// test after the lab and destroy them before it.
namespace velomar::test {

// One datagram from tervane-emu's log.
struct LogEntry {
    qint64 t = 0;         // ms since the emulator started serving
    bool in = false;      // received (true) or sent (false) by the emulator
    bool lost = false;    // dropped by --loss: not acted on (in), never sent (out)
    QString peer;         // "198.18.1.1:40312"
    QString peerAddress;  // "198.18.1.1"
    QString to;           // received: the address it was sent to ("255.255.255.255")
    char letter = 0;      // byte 1 when it is a letter, else 0
    QByteArray bytes;
};

class Lab {
  public:
    struct Options {
        int ifaces = 1;
        int devices = 1;      // device namespaces (one emulator each at most)
        bool routed = false;  // devices behind a router: deviceAddress() is on its far side
    };

    explicit Lab(Options options);
    Lab() : Lab(Options{}) {}
    ~Lab();
    Lab(const Lab&) = delete;
    Lab& operator=(const Lab&) = delete;

    // Empty when labs can be made here, else the reason (see VELOMAR_REQUIRE_LAB).
    static QString unavailableReason() { return emu::NetLab::unavailableReason(); }

    emu::NetLab& net() { return *net_; }
    QString workstationAddress(int iface = 1) const {
        return emu::NetLab::workstationAddress(iface);
    }
    // Device k's address: on interface iface's subnet, or behind the router.
    QString deviceAddress(int k = 1, int iface = 1) const;

    // Starts tervane-emu in device namespace k with `arguments`, adding --log,
    // --firmware-dir and --config-dir in the lab's folder; returns when it listens.
    // Throws std::runtime_error (with the emulator's output) when it does not start.
    void startEmulator(const QStringList& arguments, int k = 1);
    // Stops it (TERM); its log stays readable.
    void stopEmulator(int k = 1);
    QString emulatorOutput(int k = 1);

    // The emulator's log so far, parsed; filtered by direction and letter.
    QList<LogEntry> emulatorLog(int k = 1) const;
    QList<LogEntry> received(char letter = 0, int k = 1) const;
    QList<LogEntry> sent(char letter = 0, int k = 1) const;

    // Files the emulator keeps: the reassembled firmware image and the configuration
    // file of the device with this MAC ("00-1A-2B-00-00-01" or 12 hex digits).
    QString firmwareImagePath(const QString& mac, int k = 1) const;
    QString configFilePath(const QString& mac, int k = 1) const;
    // A scratch folder removed with the lab.
    QString dir() const { return tmp_.path(); }
    QString writeFile(const QString& name, const QByteArray& bytes) const;

    // Polls `condition` every few milliseconds, dispatching Qt events in between, until it
    // holds or `timeoutMs` has passed. Returns the last result.
    static bool waitFor(const std::function<bool()>& condition, int timeoutMs = 5000);

    static QString emulatorBinary();

  private:
    QString emulatorDir(int k) const;

    std::unique_ptr<emu::NetLab> net_;
    QTemporaryDir tmp_;
    std::map<int, std::unique_ptr<emu::LabProcess>> emulators_;
};

}  // namespace velomar::test

// First statement of a system test: skips, with the reason, where no lab can be made.
#define VELOMAR_REQUIRE_LAB()                                                               \
    do {                                                                                    \
        VELOMAR_REQUIRE_ISOLATION();                                                        \
        const QString why_ = ::velomar::test::Lab::unavailableReason();                     \
        if (!why_.isEmpty()) GTEST_SKIP() << "system test skipped: " << why_.toStdString(); \
    } while (0)
