#include "core/FirmwareTransfer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <thread>

#include "protocol/Errors.h"
#include "protocol/Firmware.h"

namespace velomar {

using namespace std::chrono_literals;

namespace {

const QString kWaitingText = QStringLiteral("Waiting For Complete");

QString Shown(const QString& path) {
    return QDir::toNativeSeparators(path);
}

// Hands out the image one byte at a time from a buffer of its own, so that the file is
// read in large pieces but never held whole.
class ImageReader {
  public:
    ImageReader(QIODevice& image, const QString& name) : image_(image), name_(name) {}

    bool atEnd() {
        if (pos_ < len_) return false;
        fill();
        return len_ == 0;
    }
    std::uint8_t next() { return static_cast<std::uint8_t>(buffer_[pos_++]); }

  private:
    void fill() {
        pos_ = 0;
        len_ = 0;
        const qint64 n = image_.read(buffer_, sizeof buffer_);
        if (n < 0) {
            throw Error(QStringLiteral("Cannot read the firmware file \"%1\": %2")
                            .arg(Shown(name_), image_.errorString()));
        }
        len_ = static_cast<int>(n);
    }

    QIODevice& image_;
    const QString& name_;
    char buffer_[64 * 1024]{};
    int pos_ = 0;
    int len_ = 0;
};

QString TooLarge(const QString& path, std::int64_t size) {
    return QStringLiteral(
               "The firmware file \"%1\" is too large: %2 bytes, but at most %3 bytes can be sent")
        .arg(Shown(path))
        .arg(size)
        .arg(kFirmwareMaxImageSize);
}

}  // namespace

std::chrono::milliseconds SteadyWaitClock::now() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
}

bool SteadyWaitClock::waitFor(const FirmwareReplySlot& slot, std::chrono::milliseconds timeout) {
    // A device on the local network answers within tens of microseconds, often sooner than a
    // sleeping thread is woken again; look for a moment before going to sleep on the slot.
    const auto lookUntil = std::chrono::steady_clock::now() + kLookBeforeSleep;
    do {
        if (slot.flag()) return true;
        std::this_thread::yield();
    } while (std::chrono::steady_clock::now() < lookUntil);
    return slot.waitFor(timeout);
}

WaitClock& steadyWaitClock() {
    static SteadyWaitClock clock;
    return clock;
}

FirmwareTransfer::FirmwareTransfer(FirmwareReplySlot& slot, WaitClock& clock,
                                   FirmwareTransferHooks hooks)
    : slot_(slot), clock_(clock), hooks_(std::move(hooks)) {}

void FirmwareTransfer::send(const QByteArray& frame) {
    if (hooks_.send) hooks_.send(frame);
}

void FirmwareTransfer::pumpEvents() {
    lastPump_ = clock_.now();
    if (hooks_.pumpEvents) hooks_.pumpEvents();
}

bool FirmwareTransfer::stopRequested() const {
    return hooks_.stopRequested && hooks_.stopRequested();
}

void FirmwareTransfer::pumpEventsNowAndThen() {
    // Often enough for the window to repaint and take the user's clicks, also when a quick
    // device answers every frame before a wait would sleep.
    if (clock_.now() - lastPump_ >= kEventSlice) pumpEvents();
}

FirmwareResult FirmwareTransfer::run(QIODevice& image, const QString& imageName,
                                     const QByteArray& mac6) {
    auto reader = std::make_unique<ImageReader>(image, imageName);
    std::int32_t block = 0;
    std::int64_t bytesRead = 0;
    QByteArray data;
    data.reserve(kFirmwareBlockSize);
    FirmwareChecksum blockSum;
    FirmwareChecksum imageSum;
    lastPump_ = clock_.now();

    while (!reader->atEnd()) {
        if (bytesRead == kFirmwareMaxImageSize) {
            // Only a file that grew after it was opened gets here.
            image.close();
            throw Error(TooLarge(imageName, bytesRead + 1));
        }
        const std::uint8_t b = reader->next();
        blockSum.add(b, data.size());
        imageSum.add(b, bytesRead);
        data.append(static_cast<char>(b));
        ++bytesRead;
        if (data.size() < kFirmwareBlockSize && !reader->atEnd()) continue;

        const QByteArray frame =
            FirmwareFrame::dataFrame(mac6, block, blockSum.value(), data).encode();
        data.clear();
        blockSum.reset();
        slot_.clear();
        send(frame);
        waitForReply(kFirmwareBlockReplyWait, false);
        if (stopRequested()) {
            image.close();
            return FirmwareResult::Abandoned;
        }
        const QByteArray reply = slot_.text();
        if (reply.isEmpty()) {
            image.close();
            return FirmwareResult::Failed;
        }
        slot_.clear();
        if (FirmwareReply::decode(reply).refusesBlock(block)) {
            image.close();
            return FirmwareResult::Failed;
        }
        ++block;
        if (hooks_.progress) hooks_.progress(bytesRead);
        pumpEventsNowAndThen();
        if (stopRequested()) {
            image.close();
            return FirmwareResult::Abandoned;
        }
    }
    image.close();

    const QByteArray frame =
        FirmwareFrame::finalFrame(mac6, block, bytesRead, imageSum.value()).encode();
    slot_.clear();
    send(frame);
    if (hooks_.labelText) hooks_.labelText(kWaitingText);
    if (hooks_.labelVisible) hooks_.labelVisible(true);
    waitForReply(kFirmwareFinalReplyWait, true);
    if (hooks_.labelVisible) hooks_.labelVisible(false);
    if (stopRequested()) return FirmwareResult::Abandoned;
    const QByteArray reply = slot_.text();
    if (reply.isEmpty()) return FirmwareResult::Failed;
    slot_.clear();
    return FirmwareReply::decode(reply).completes(block) ? FirmwareResult::Succeeded
                                                         : FirmwareResult::Failed;
}

bool FirmwareTransfer::waitForReply(std::chrono::milliseconds limit, bool blink) {
    const std::chrono::milliseconds start = clock_.now();
    if (slot_.flag()) return true;
    for (;;) {
        // Events are dispatched once a slice has passed since the last time, not on every
        // pass: a device that answers within a slice costs no event dispatch at all.
        pumpEventsNowAndThen();
        if (stopRequested()) return false;
        const std::chrono::milliseconds now = clock_.now();
        const std::chrono::milliseconds elapsed = now - start;
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(elapsed);
        if (blink && hooks_.labelText) {
            hooks_.labelText(seconds.count() % 2 == 0 ? kWaitingText : QString());
        }
        if (elapsed >= limit) return slot_.flag();
        // Sleep until the slot is written, but wake at the limit, for the next whole second
        // (the blink counts them) and when the window's events are due again.
        const std::chrono::milliseconds toNextSecond = seconds + 1s - elapsed;
        const std::chrono::milliseconds toNextPump = lastPump_ + kEventSlice - now;
        const auto sleep = std::max(1ms, std::min({limit - elapsed, toNextSecond, toNextPump}));
        if (clock_.waitFor(slot_, sleep)) return true;
    }
}

std::unique_ptr<QFile> OpenFirmwareImage(const QString& path) {
    auto file = std::make_unique<QFile>(path);
    // Our own reader buffers; QFile's buffer would only copy every byte twice.
    if (QFileInfo(path).isDir() || !file->open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        const QString reason =
            QFileInfo(path).isDir() ? QStringLiteral("it is a folder") : file->errorString();
        throw Error(
            QStringLiteral("Cannot open the firmware file \"%1\": %2").arg(Shown(path), reason));
    }
    if (file->size() > kFirmwareMaxImageSize) throw Error(TooLarge(path, file->size()));
    return file;
}

std::int64_t FirmwareFileSize(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists() || info.isDir()) return -1;
    return info.size();
}

}  // namespace velomar
