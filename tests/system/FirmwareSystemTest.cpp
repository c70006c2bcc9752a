// Firmware upgrade end to end: the real main window, real port 2057, tervane-emu in the lab.
#include <gtest/gtest.h>

#include <QFile>
#include <QProgressBar>
#include <QRandomGenerator>

#include "app/UnitDetect.h"
#include "protocol/Firmware.h"
#include "support/FindWidget.h"
#include "support/LabWindow.h"

using namespace velomar;
using velomar::test::Find;
using velomar::test::Lab;
using FirmwareSystem = velomar::test::LabWindowTest;

namespace {

const QString kMacText = QStringLiteral("00-1A-2B-00-00-01");  // the emulator's first device

QByteArray RandomImage(int size, quint32 seed) {
    QByteArray image(size, '\0');
    QRandomGenerator(seed).fillRange(reinterpret_cast<quint32*>(image.data()), size / 4);
    return image;
}

QList<FirmwareFrame> FramesReceived(const Lab& lab) {
    QList<FirmwareFrame> frames;
    for (const auto& entry : lab.received('F')) {
        const auto f = FirmwareFrame::decode(entry.bytes);
        EXPECT_TRUE(f) << "malformed frame on the wire";
        if (f) frames << *f;
    }
    return frames;
}

}  // namespace

TEST_F(FirmwareSystem, ImageReachesTheDeviceIntact) {
    start({.emulator = {"--devices", "1"}});
    ASSERT_TRUE(search(1));
    ASSERT_EQ(form->devices().cellText(0, DeviceTableModel::ColMac), kMacText);

    const QByteArray image = RandomImage(100 * 1024, 4100);
    rec.fileAnswers.enqueue(lab->writeFile("vm2100.bin", image));
    form->FlatButton7Click();

    EXPECT_EQ(rec.boxes(), QStringList{"Updating firmware was successful"});
    QFile stored(lab->firmwareImagePath(kMacText));
    ASSERT_TRUE(lab->waitFor([&] { return stored.exists(); }, 2000))
        << stored.fileName().toStdString();
    ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
    EXPECT_TRUE(stored.readAll() == image) << "the stored image differs from the file sent";

    const QList<FirmwareFrame> frames = FramesReceived(*lab);
    ASSERT_EQ(frames.size(), 801);
    EXPECT_EQ(frames.last().block, 800);
    EXPECT_TRUE(frames.last().final);
    EXPECT_EQ(frames.last().count, 100 * 1024);
    EXPECT_EQ(Find<QProgressBar>(form, "UpdateProgress")->value(), 100 * 1024);
    EXPECT_EQ(Find<QProgressBar>(form, "UpdateProgress")->text(), "100%");
    EXPECT_TRUE(Find<QWidget>(form, "FlatPanel1")->isEnabled());
    EXPECT_TRUE(form->udpServer().isOpen());
}

TEST_F(FirmwareSystem, RefusedBlockEndsTheTransferWithoutLaterBlocks) {
    start({.emulator = {"--devices", "1", "--refuse-block", "2"}});
    ASSERT_TRUE(search(1));
    ASSERT_EQ(form->devices().cellText(0, DeviceTableModel::ColMac), kMacText);

    rec.fileAnswers.enqueue(lab->writeFile("vm2100.bin", RandomImage(1024, 7)));
    form->FlatButton7Click();

    EXPECT_EQ(rec.boxes(), QStringList{"Updating firmware was failed"});
    // Give a stray later frame the time to show up in the emulator's log.
    lab->waitFor([] { return false; }, 300);
    const QList<FirmwareFrame> frames = FramesReceived(*lab);
    ASSERT_EQ(frames.size(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(frames[i].block, i);
        EXPECT_FALSE(frames[i].final);
    }
    EXPECT_EQ(Find<QProgressBar>(form, "UpdateProgress")->value(), 256);
    EXPECT_FALSE(QFile::exists(lab->firmwareImagePath(kMacText)));
    EXPECT_TRUE(Find<QWidget>(form, "FlatPanel1")->isEnabled());
    EXPECT_TRUE(Find<QWidget>(form, "FlatPanel2")->isEnabled());
}
