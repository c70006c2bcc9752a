#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <optional>

#include "core/FirmwareTransfer.h"
#include "protocol/Errors.h"
#include "protocol/Firmware.h"
#include "support/FakeWaitClock.h"
#include "support/SystemTexts.h"

using namespace velomar;
using velomar::test::kNoSuchFile;
using velomar::test::NativePath;
using namespace std::chrono_literals;
using velomar::test::FakeWaitClock;

namespace {

const QByteArray kMac("\x00\x1A\x2B\x3C\x4D\x5E", 6);
const QString kWaiting = QStringLiteral("Waiting For Complete");

QByteArray Ack(std::int64_t block, int status) {
    return FirmwareReply::encode(kMac, static_cast<std::int32_t>(block),
                                 static_cast<std::uint8_t>(status));
}

// A device inside the test: it records every frame and answers through the reply slot,
// either at once (as a fast device would) or at a given time of the fake clock.
struct Rig {
    FirmwareReplySlot slot;
    FakeWaitClock clock;
    QList<QByteArray> frames;
    QList<std::int64_t> progress;
    QList<std::pair<std::chrono::milliseconds, QString>> labels;
    QList<std::pair<std::chrono::milliseconds, bool>> visibility;
    QList<std::chrono::milliseconds> pumps;
    // The answer to a frame: empty for silence. Default: accept, echoing the block number.
    std::function<std::optional<QByteArray>(const FirmwareFrame&)> answer =
        [](const FirmwareFrame& f) { return Ack(f.block, 0); };
    // Delay of the final frame's answer, on the fake clock.
    std::chrono::milliseconds finalDelay{0};
    std::optional<std::pair<std::chrono::milliseconds, QByteArray>> pending;
    // When the window is closed, on the fake clock.
    std::optional<std::chrono::milliseconds> stopAt;

    Rig() {
        clock.onAdvance = [this](std::chrono::milliseconds now) {
            if (pending && now >= pending->first) {
                slot.store(pending->second);
                pending.reset();
            }
        };
    }

    FirmwareTransferHooks hooks() {
        FirmwareTransferHooks h;
        h.send = [this](const QByteArray& frame) {
            frames << frame;
            const auto f = FirmwareFrame::decode(frame);
            ASSERT_TRUE(f) << "malformed frame";
            const auto a = answer(*f);
            if (!a) return;
            if (f->final && finalDelay > 0ms) {
                pending = std::make_pair(clock.now() + finalDelay, *a);
            } else {
                slot.store(*a);
            }
        };
        h.pumpEvents = [this] { pumps << clock.now(); };
        h.progress = [this](std::int64_t b) { progress << b; };
        h.labelText = [this](const QString& t) { labels << std::make_pair(clock.now(), t); };
        h.labelVisible = [this](bool v) { visibility << std::make_pair(clock.now(), v); };
        h.stopRequested = [this] { return stopAt && clock.now() >= *stopAt; };
        return h;
    }

    FirmwareResult run(const QByteArray& image) {
        QBuffer buffer;
        buffer.setData(image);
        buffer.open(QIODevice::ReadOnly);
        FirmwareTransfer transfer(slot, clock, hooks());
        const FirmwareResult r = transfer.run(buffer, QStringLiteral("image.bin"), kMac);
        EXPECT_FALSE(buffer.isOpen()) << "the image must be closed at every end";
        return r;
    }

    FirmwareFrame frame(int i) const { return *FirmwareFrame::decode(frames.at(i)); }
};

QByteArray Nul(int n) {
    return QByteArray(n, '\0');
}

// Gives `good` bytes, then fails like a disk that cannot be read any further.
class FailingDevice : public QIODevice {
  public:
    explicit FailingDevice(qint64 good) : good_(good) {}
    bool isSequential() const override { return true; }

  protected:
    qint64 readData(char* data, qint64 maxSize) override {
        if (good_ == 0) {
            setErrorString(QStringLiteral("Input/output error"));
            return -1;
        }
        const qint64 n = std::min(maxSize, good_);
        std::fill(data, data + n, 'x');
        good_ -= n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

  private:
    qint64 good_;
};

}  // namespace

TEST(FirmwareTransfer, EmptyImageSendsOnlyTheFinalFrame) {
    Rig rig;
    EXPECT_EQ(rig.run(QByteArray()), FirmwareResult::Succeeded);
    ASSERT_EQ(rig.frames.size(), 1);
    EXPECT_EQ(rig.frames[0], QByteArray("\x02"
                                        "F") +
                                 kMac + "0" + Nul(7) + '\x01' + "0" + Nul(9) + "4294967295" +
                                 Nul(2) + '\x03');
    EXPECT_TRUE(rig.progress.isEmpty());
}

TEST(FirmwareTransfer, ThreeLettersCarryTheSameChecksumInBothFrames) {
    Rig rig;
    EXPECT_EQ(rig.run("abc"), FirmwareResult::Succeeded);
    ASSERT_EQ(rig.frames.size(), 2);
    EXPECT_EQ(rig.frames[0], QByteArray("\x02"
                                        "F") +
                                 kMac + "0" + Nul(7) + '\x00' + "3" + Nul(9) + "4294966998" +
                                 Nul(2) + "abc" + '\x03');
    EXPECT_EQ(rig.frames[1], QByteArray("\x02"
                                        "F") +
                                 kMac + "1" + Nul(7) + '\x01' + "3" + Nul(9) + "4294966998" +
                                 Nul(2) + '\x03');
    EXPECT_EQ(rig.progress, (QList<std::int64_t>{3}));
}

TEST(FirmwareTransfer, BlockBoundaries128And129) {
    QByteArray image(129, '\0');
    for (int i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 7 + 3);

    Rig exact;
    EXPECT_EQ(exact.run(image.left(128)), FirmwareResult::Succeeded);
    ASSERT_EQ(exact.frames.size(), 2);
    EXPECT_EQ(exact.frames[0].size(), 168);
    EXPECT_EQ(exact.frame(0).block, 0);
    EXPECT_EQ(exact.frame(0).count, 128);
    EXPECT_EQ(exact.frame(0).data, image.left(128));
    EXPECT_TRUE(exact.frame(1).final);
    EXPECT_EQ(exact.frame(1).block, 1);
    EXPECT_EQ(exact.frame(1).count, 128);

    Rig over;
    EXPECT_EQ(over.run(image), FirmwareResult::Succeeded);
    ASSERT_EQ(over.frames.size(), 3);
    EXPECT_EQ(over.frame(0).count, 128);
    EXPECT_EQ(over.frame(1).block, 1);
    EXPECT_EQ(over.frame(1).count, 1);
    EXPECT_EQ(over.frames[1].size(), 41);
    // The last byte counts at position 0 of its block but at 128 (shift 8) of the image.
    const std::int64_t last = static_cast<std::uint8_t>(image[128]);
    EXPECT_EQ(over.frame(1).checksum, 4294967295LL ^ last);
    EXPECT_EQ(over.frame(2).block, 2);
    EXPECT_EQ(over.frame(2).count, 129);
    EXPECT_EQ(over.frame(2).checksum, exact.frame(1).checksum ^ (last << 8));
    EXPECT_EQ(over.progress, (QList<std::int64_t>{128, 129}));
}

TEST(FirmwareTransfer, RepliesForOtherBlocksOrWithoutNumberGoOn) {
    Rig rig;
    // Block 0: refused, but for another block; block 1: accepted; block 2: blank number and
    // a refusing status.
    rig.answer = [](const FirmwareFrame& f) -> std::optional<QByteArray> {
        if (f.final) return Ack(f.block, 0);
        if (f.block == 0) return Ack(7, 1);
        if (f.block == 1) return Ack(1, 0);
        QByteArray blank = Ack(0, 1);
        blank.replace(8, 8, Nul(8));
        return blank;
    };
    EXPECT_EQ(rig.run(QByteArray(300, 'z')), FirmwareResult::Succeeded);
    EXPECT_EQ(rig.frames.size(), 4);
    EXPECT_EQ(rig.progress, (QList<std::int64_t>{128, 256, 300}));
}

TEST(FirmwareTransfer, RefusalOfTheCurrentBlockEndsAtOnce) {
    for (const int status : {1, -1}) {  // -1: a reply too short for the status byte
        Rig rig;
        rig.answer = [status](const FirmwareFrame& f) -> std::optional<QByteArray> {
            if (f.block < 1) return Ack(f.block, 0);
            if (status >= 0) return Ack(f.block, status);
            return Ack(f.block, 0).left(16) + '\x03';
        };
        EXPECT_EQ(rig.run(QByteArray(1000, 'z')), FirmwareResult::Failed);
        EXPECT_EQ(rig.frames.size(), 2) << "no block after the refused one, no final frame";
        EXPECT_EQ(rig.progress, (QList<std::int64_t>{128}));
        EXPECT_EQ(rig.clock.now(), 0ms) << "a refusal needs no waiting";
    }
}

TEST(FirmwareTransfer, SilentDeviceFailsAfterFourSecondsWithoutResending) {
    Rig rig;
    rig.answer = [](const FirmwareFrame&) { return std::nullopt; };
    EXPECT_EQ(rig.run(QByteArray(200, 'z')), FirmwareResult::Failed);
    EXPECT_EQ(rig.frames.size(), 1);
    EXPECT_GE(rig.clock.now(), 4000ms);
    EXPECT_LT(rig.clock.now(), 4000ms + FirmwareTransfer::kEventSlice);
}

TEST(FirmwareTransfer, BlockReplyJustBeforeTheLimitIsTaken) {
    Rig rig;
    rig.answer = [&rig](const FirmwareFrame& f) -> std::optional<QByteArray> {
        if (f.final) return Ack(f.block, 0);
        rig.pending = std::make_pair(rig.clock.now() + 3990ms, Ack(f.block, 0));
        return std::nullopt;
    };
    EXPECT_EQ(rig.run(QByteArray(256, 'z')), FirmwareResult::Succeeded);
    EXPECT_EQ(rig.frames.size(), 3);
}

TEST(FirmwareTransfer, FinalAnswerAfterThirtySecondsIsSuccess) {
    Rig rig;
    rig.finalDelay = 30s;
    EXPECT_EQ(rig.run("abc"), FirmwareResult::Succeeded);
    EXPECT_GE(rig.clock.now(), 30s);
    EXPECT_LT(rig.clock.now(), 30s + FirmwareTransfer::kEventSlice);
}

TEST(FirmwareTransfer, FinalWaitGivesUpAfterFortyOneSeconds) {
    Rig late;
    late.finalDelay = 40900ms;
    EXPECT_EQ(late.run("abc"), FirmwareResult::Succeeded);

    Rig silent;
    silent.answer = [](const FirmwareFrame& f) -> std::optional<QByteArray> {
        if (f.final) return std::nullopt;
        return Ack(f.block, 0);
    };
    EXPECT_EQ(silent.run("abc"), FirmwareResult::Failed);
    EXPECT_GE(silent.clock.now(), 41s);
    EXPECT_LT(silent.clock.now(), 41s + FirmwareTransfer::kEventSlice);
}

TEST(FirmwareTransfer, FinalReplyRules) {
    struct Case {
        const char* what;
        std::function<QByteArray(std::int32_t)> reply;
        FirmwareResult expected;
    };
    const Case cases[] = {
        {"accepted", [](std::int32_t b) { return Ack(b, 0); }, FirmwareResult::Succeeded},
        {"refused", [](std::int32_t b) { return Ack(b, 1); }, FirmwareResult::Failed},
        {"other number refusing", [](std::int32_t b) { return Ack(b + 1, 1); },
         FirmwareResult::Succeeded},
        {"no number, status 0", [](std::int32_t b) { return Ack(b, 0).replace(8, 8, Nul(8)); },
         FirmwareResult::Succeeded},
        {"no number, status 1", [](std::int32_t b) { return Ack(b, 1).replace(8, 8, "        "); },
         FirmwareResult::Failed},
        {"no status byte", [](std::int32_t b) { return Ack(b, 0).left(16) + '\x03'; },
         FirmwareResult::Failed},
    };
    for (const Case& c : cases) {
        Rig rig;
        rig.answer = [&c](const FirmwareFrame& f) -> std::optional<QByteArray> {
            return f.final ? c.reply(f.block) : Ack(f.block, 0);
        };
        EXPECT_EQ(rig.run("abc"), c.expected) << c.what;
    }
}

TEST(FirmwareTransfer, LabelBlinksEverySecondOfTheFinalWait) {
    Rig rig;
    rig.finalDelay = 5500ms;
    ASSERT_EQ(rig.run("abc"), FirmwareResult::Succeeded);

    // Shown when the final frame has gone, hidden when the answer is in.
    ASSERT_EQ(rig.visibility.size(), 2);
    EXPECT_TRUE(rig.visibility[0].second);
    EXPECT_FALSE(rig.visibility[1].second);
    EXPECT_EQ(rig.labels.first().second, kWaiting);

    // What the label showed in each whole second: its text at the last update of it.
    QMap<qint64, QString> shown;
    for (const auto& [when, text] : rig.labels) shown[when / 1s] = text;
    EXPECT_EQ(shown.keys(), (QList<qint64>{0, 1, 2, 3, 4, 5}));
    for (auto it = shown.cbegin(); it != shown.cend(); ++it) {
        EXPECT_EQ(it.value(), it.key() % 2 == 0 ? kWaiting : QString()) << "second " << it.key();
    }
    // Each change lands at its whole second, not a slice later.
    for (int i = 1; i < rig.labels.size(); ++i) {
        if (rig.labels[i].second != rig.labels[i - 1].second) {
            EXPECT_EQ(rig.labels[i].first % 1000ms, 0ms);
        }
    }
}

TEST(FirmwareTransfer, WaitingKeepsDispatchingEventsWithoutSpinning) {
    Rig rig;
    rig.answer = [](const FirmwareFrame& f) -> std::optional<QByteArray> {
        if (f.final) return std::nullopt;
        return Ack(f.block, 0);
    };
    EXPECT_EQ(rig.run("abc"), FirmwareResult::Failed);
    // 41 s of waiting in sleeps of at most one slice, events dispatched between all of them.
    EXPECT_LE(rig.clock.longestWait, FirmwareTransfer::kEventSlice);
    EXPECT_LE(rig.clock.waits, 41000 / 25 + 42);
    ASSERT_FALSE(rig.pumps.isEmpty());
    for (int i = 1; i < rig.pumps.size(); ++i) {
        EXPECT_LE(rig.pumps[i] - rig.pumps[i - 1], FirmwareTransfer::kEventSlice);
    }
}

TEST(FirmwareTransfer, ClosedWindowAbandonsTheTransferAtOnce) {
    // During a block wait: no further frame, not even the final one.
    Rig blocks;
    blocks.answer = [](const FirmwareFrame&) { return std::nullopt; };
    blocks.stopAt = 1500ms;
    EXPECT_EQ(blocks.run(QByteArray(300, 'z')), FirmwareResult::Abandoned);
    EXPECT_EQ(blocks.frames.size(), 1);
    EXPECT_LT(blocks.clock.now(), 1500ms + FirmwareTransfer::kEventSlice);

    // During the final wait: the label goes, the result is not reported.
    Rig final;
    final.finalDelay = 30s;
    final.stopAt = 2s;
    EXPECT_EQ(final.run("abc"), FirmwareResult::Abandoned);
    EXPECT_EQ(final.frames.size(), 2);
    EXPECT_LT(final.clock.now(), 2s + FirmwareTransfer::kEventSlice);
    ASSERT_FALSE(final.visibility.isEmpty());
    EXPECT_FALSE(final.visibility.last().second);
}

TEST(FirmwareTransfer, ReadFailureNamesTheFileAndStopsSending) {
    FirmwareReplySlot slot;
    FakeWaitClock clock;
    QList<QByteArray> frames;
    FirmwareTransferHooks hooks;
    hooks.send = [&](const QByteArray& f) {
        frames << f;
        slot.store(Ack(FirmwareFrame::decode(f)->block, 0));
    };
    FailingDevice device(200);
    device.open(QIODevice::ReadOnly);
    FirmwareTransfer transfer(slot, clock, hooks);
    try {
        transfer.run(device, QStringLiteral("/tmp/vm2100.bin"), kMac);
        FAIL() << "a read failure must end the transfer with an error";
    } catch (const Error& e) {
        EXPECT_EQ(e.text(),
                  QStringLiteral("Cannot read the firmware file \"%1\": Input/output error")
                      .arg(NativePath("/tmp/vm2100.bin")));
    }
    EXPECT_EQ(frames.size(), 1) << "the whole first block was read before the failure";
}

TEST(FirmwareImage, UnopenableFilesAreNamedWithTheReason) {
    QTemporaryDir dir;
    const QString missing = dir.filePath("missing.bin");
    try {
        OpenFirmwareImage(missing);
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.text(), QStringLiteral("Cannot open the firmware file \"%1\": %2")
                                .arg(NativePath(missing), kNoSuchFile));
    }
    EXPECT_EQ(FirmwareFileSize(missing), -1);
    try {
        OpenFirmwareImage(dir.path());
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.text(), QStringLiteral("Cannot open the firmware file \"%1\": it is a folder")
                                .arg(NativePath(dir.path())));
    }
}

TEST(FirmwareImage, ImagesBeyondTheSigned32BitCountAreRefused) {
    QTemporaryDir dir;
    // Sparse files: no disk space is used.
    QFile largest(dir.filePath("largest.bin"));
    ASSERT_TRUE(largest.open(QIODevice::WriteOnly));
    ASSERT_TRUE(largest.resize(2147483647));
    largest.close();
    EXPECT_NE(OpenFirmwareImage(largest.fileName()), nullptr);

    QFile over(dir.filePath("over.bin"));
    ASSERT_TRUE(over.open(QIODevice::WriteOnly));
    ASSERT_TRUE(over.resize(2147483648LL));
    over.close();
    try {
        OpenFirmwareImage(over.fileName());
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.text(), QStringLiteral("The firmware file \"%1\" is too large: 2147483648 "
                                           "bytes, but at most 2147483647 bytes can be sent")
                                .arg(NativePath(over.fileName())));
    }
    EXPECT_EQ(FirmwareFileSize(over.fileName()), 2147483648LL);
}
