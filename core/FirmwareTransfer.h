#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

#include "core/FirmwareReplySlot.h"

class QFile;
class QIODevice;

namespace velomar {

// Where the firmware waits take their time from. The product uses the steady clock and
// sleeps on the reply slot; tests put in a clock whose time they move themselves.
class WaitClock {
  public:
    virtual ~WaitClock() = default;
    // Monotonic time since an arbitrary start.
    virtual std::chrono::milliseconds now() = 0;
    // Returns once the slot's flag is raised or `timeout` has passed on this clock;
    // returns the flag.
    virtual bool waitFor(const FirmwareReplySlot& slot, std::chrono::milliseconds timeout) = 0;
};

class SteadyWaitClock : public WaitClock {
  public:
    // How long a wait looks at the slot before it sleeps on it.
    static constexpr std::chrono::microseconds kLookBeforeSleep{50};
    std::chrono::milliseconds now() override;
    bool waitFor(const FirmwareReplySlot& slot, std::chrono::milliseconds timeout) override;
};
WaitClock& steadyWaitClock();

// What a transfer needs from the window it runs in. Every hook may be left empty.
struct FirmwareTransferHooks {
    // Puts one frame on the wire (opening the listening endpoint first when it is closed).
    std::function<void(const QByteArray& frame)> send;
    // Dispatches the window's pending events, so that it stays usable during the waits.
    std::function<void()> pumpEvents;
    // The number of image bytes read and answered so far.
    std::function<void(std::int64_t bytes)> progress;
    // The progress label: its text, and whether it is shown.
    std::function<void(const QString& text)> labelText;
    std::function<void(bool visible)> labelVisible;
    // True once the transfer is to stop at once: its window was closed.
    std::function<bool()> stopRequested;
};

// How long a device is given to answer a firmware frame: each block within 4 s, the final
// frame within 41 s (the devices' timing). The window and velomar-cli wait, and say they
// waited, this long.
inline constexpr std::chrono::seconds kFirmwareBlockReplyWait{4};
inline constexpr std::chrono::seconds kFirmwareFinalReplyWait{41};

// Abandoned: stopped on request (the window was closed); nothing is to be shown.
enum class FirmwareResult { Succeeded, Failed, Abandoned };

// One firmware transfer: the image is cut into 128-byte blocks, each sent in an 'F' frame
// and answered (or given up on) before the next one goes; a final frame carries the image's
// length and checksum, and the device's answer to it decides the result.
class FirmwareTransfer {
  public:
    // Longest sleep between two dispatches of window events while waiting.
    static constexpr std::chrono::milliseconds kEventSlice{25};

    FirmwareTransfer(FirmwareReplySlot& slot, WaitClock& clock, FirmwareTransferHooks hooks);

    // Sends the image, read from its current position to its end, to the device mac6 and
    // closes it. Throws Error (with the file name) when the image cannot be read; what was
    // sent before stays sent.
    FirmwareResult run(QIODevice& image, const QString& imageName, const QByteArray& mac6);

    // Waits for the reply slot's flag, giving up once `limit` has passed. While `blink` is
    // set, the label shows "Waiting For Complete" in even and nothing in odd whole seconds.
    // Returns the flag.
    bool waitForReply(std::chrono::milliseconds limit, bool blink);

  private:
    void send(const QByteArray& frame);
    void pumpEvents();
    void pumpEventsNowAndThen();
    bool stopRequested() const;

    FirmwareReplySlot& slot_;
    WaitClock& clock_;
    FirmwareTransferHooks hooks_;
    std::chrono::milliseconds lastPump_{0};
};

// Opens a firmware image for reading one byte at a time. Throws Error naming the file and
// the reason when it cannot be opened, and refuses an image whose length does not fit the
// frames' signed 32-bit byte count.
std::unique_ptr<QFile> OpenFirmwareImage(const QString& path);

// The size the progress bar counts against: the file's size, or -1 when it cannot be told.
std::int64_t FirmwareFileSize(const QString& path);

}  // namespace velomar
