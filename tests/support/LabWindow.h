#pragma once

#include <gtest/gtest.h>

#include <QStringList>
#include <optional>

#include "app/UnitDetect.h"
#include "support/FindWidget.h"
#include "support/Lab.h"
#include "support/RecordingPlatform.h"

namespace velomar::test {

// The start of a system test on the main window: a lab, tervane-emu in it, a platform that
// records (or one of the test's own) and the window, made in that order inside the
// workstation namespace and taken down in the reverse. A test without a lab is skipped.
//
//   using FirmwareSystem = LabWindowTest;
//   TEST_F(FirmwareSystem, Something) {
//       start({.emulator = {"--devices", "1"}});
//       ASSERT_TRUE(search(1));
//       EXPECT_EQ(lab->received('F').size(), 801);
//   }
class LabWindowTest : public ::testing::Test {
  protected:
    struct Setup {
        QStringList emulator{};       // tervane-emu's arguments
        const char* fleet = nullptr;  // a fleet file's text, given to it first with --fleet
        Lab::Options lab{};
        Platform* platform = nullptr;  // instead of `rec`: a member of the fixture
    };

    void SetUp() override { VELOMAR_REQUIRE_LAB(); }
    // Before the fixture's own members go: a platform of a derived fixture outlives the window.
    void TearDown() override {
        form_.reset();
        scoped_.reset();
        lab_.reset();
    }

    void start(const Setup& s) {
        lab = &lab_.emplace(s.lab);
        QStringList arguments = s.emulator;
        if (s.fleet)
            arguments = QStringList{"--fleet", lab->writeFile("fleet.json", s.fleet)} + arguments;
        lab->startEmulator(arguments);
        scoped_.emplace(s.platform ? s.platform : &rec);
        form = &form_.emplace();
    }

    // Ends a running search the way its countdown does, without waiting for real seconds.
    void runOutCountdown(TFormDetect& w) {
        for (int tick = 0; tick < 10 && Find<QFrame>(w, "PnlTime")->isVisibleTo(&w); ++tick)
            w.TimerFINDTimer();
    }
    void runOutCountdown() { runOutCountdown(*form); }
    // Searches until `count` devices are listed (false when they are not), then ends the search.
    bool search(int count) {
        form->FlatButton2Click();
        if (!lab->waitFor([&] { return form->DeviceCount() == count; })) return false;
        runOutCountdown();
        return true;
    }
    // The row that lists this MAC, -1 when none does.
    int rowOf(const QString& mac) {
        for (int r = 0; r < form->DeviceCount(); ++r) {
            if (form->devices().cellText(r, DeviceTableModel::ColMac) == mac) return r;
        }
        return -1;
    }
    QString shown(int row, int column) {
        return form->devices().data(form->devices().index(row, column), Qt::DisplayRole).toString();
    }

    RecordingPlatform rec;
    Lab* lab = nullptr;
    TFormDetect* form = nullptr;

  private:
    std::optional<Lab> lab_;
    std::optional<ScopedPlatform> scoped_;
    std::optional<TFormDetect> form_;
};

}  // namespace velomar::test
