// Memory with many devices: the table of a large site stays small and whole.
#include <gtest/gtest.h>

#include <QFile>
#include <QLabel>

#include "app/UnitDetect.h"
#include "support/FindWidget.h"
#include "support/ReplyBuilder.h"

using namespace velomar;
using velomar::test::Find;

namespace {

// Resident memory of this process in bytes (Linux).
qint64 residentBytes() {
    QFile statm("/proc/self/statm");
    if (!statm.open(QIODevice::ReadOnly)) return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * 4096 : -1;
}

}  // namespace

TEST(Memory, TenThousandDevicesStayWithinAFewKilobytesEach) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer's shadow memory makes resident size meaningless here";
#endif
    TFormDetect form(DetectNetwork{{}, 2057});
    const qint64 before = residentBytes();
    if (before < 0) GTEST_SKIP() << "no /proc/self/statm here";
    for (int i = 0; i < 10000; ++i) {
        const QByteArray r = test::ReplyBuilder(i, test::ReplyBuilder::kWideMacBase)
                                 .ip(0xC6120000 + i)
                                 .name("Production hall 4, line 12 ✓")
                                 .version("2.10.17")
                                 .model("VM2100-16-PLUS-XXXX");
        form.UDPServerUDPRead(r, "198.18.0.2", 2057);
        // The same device again, as through a second interface.
        form.UDPServerUDPRead(r, "198.18.1.2", 2057);
        if (i % 1000 == 999) form.TakeReceivedDevices();
    }
    form.TakeReceivedDevices();
    const qint64 grown = residentBytes() - before;
    ASSERT_EQ(form.DeviceCount(), 10000);
    EXPECT_EQ(form.devices().rowCount(), 10000);
    EXPECT_EQ(Find<QLabel>(form, "lblcount")->text(), "Current : 10000");
    std::cout << "[ memory ] 10000 rows: " << grown / 1024 << " KiB resident growth, "
              << grown / 10000 << " bytes per row\n";
    EXPECT_LT(grown, 10000LL * 4096) << "more than 4 KiB per row";
    form.ClearDevices();
    EXPECT_EQ(form.devices().rowCount(), 0);
}
