#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

#include "protocol/Firmware.h"

namespace velomar::emu {

// The device side of a firmware transfer: takes 'F' frames one at a time, checks each
// block against its checksum and its place in the image, reassembles the image and, on the
// final frame, checks the block count, the total length and the image checksum.
class FirmwareReceiver {
  public:
    enum class Verdict {
        Accepted,       // data block taken (or a repeat of the last one, taken already)
        Refused,        // bad checksum or out of place
        ImageComplete,  // final frame: block count, length and checksum match
        ImageBad,       // final frame: one of them does not match
    };

    Verdict take(const FirmwareFrame& frame);

    // The image reassembled so far (the whole image after ImageComplete).
    const QByteArray& image() const { return image_; }
    int blocksTaken() const { return blocks_; }
    // Why the last frame was refused, for the emulator's report.
    const QString& lastReason() const { return reason_; }
    void reset();

  private:
    QByteArray image_;
    QByteArray lastBlock_;
    int blocks_ = 0;
    FirmwareChecksum imageChecksum_;
    QString reason_;
};

}  // namespace velomar::emu
