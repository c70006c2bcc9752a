// Run by itself under LeakSanitizer in the sanitizer build (see tests/CMakeLists.txt):
// whatever a search allocates must be given back, however often it runs.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "app/UnitDetect.h"
#include "net/UdpSocket.h"
#include "support/Isolation.h"
#include "support/RecordingPlatform.h"
#include "support/ReplyBuilder.h"

using namespace velomar;

TEST(Leaks, RepeatedSearchGivesEverythingBack) {
    VELOMAR_REQUIRE_ISOLATION();
    RecordingPlatform rec;
    ScopedPlatform scoped(&rec);
    TFormDetect form(DetectNetwork{{"127.0.0.1"}, 2057});
    UdpSocket device;
    device.bind("127.0.0.2", 0);
    for (int search = 0; search < 100; ++search) {
        form.FlatButton2Click();
        ASSERT_TRUE(form.udpServer().isOpen());
        for (int d = 1; d <= 3; ++d) {
            device.sendTo(test::ReplyBuilder(d).name("leak check"), "127.0.0.1", 2057);
        }
        QCoreApplication::processEvents();
        for (int tick = 0; tick < 10; ++tick) form.TimerFINDTimer();
        ASSERT_FALSE(form.udpServer().isOpen());
        EXPECT_LE(form.DeviceCount(), 3);
    }
    EXPECT_TRUE(rec.boxes().isEmpty());
}
