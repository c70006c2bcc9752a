#include "emulator/FirmwareReceiver.h"

namespace velomar::emu {

void FirmwareReceiver::reset() {
    image_.clear();
    lastBlock_.clear();
    blocks_ = 0;
    imageChecksum_.reset();
    reason_.clear();
}

FirmwareReceiver::Verdict FirmwareReceiver::take(const FirmwareFrame& frame) {
    reason_.clear();
    if (frame.final) {
        if (frame.block != blocks_) {
            reason_ = QStringLiteral("final frame names block %1, %2 blocks taken")
                          .arg(frame.block)
                          .arg(blocks_);
            return Verdict::ImageBad;
        }
        if (frame.count != image_.size()) {
            reason_ = QStringLiteral("length %1 announced, %2 received")
                          .arg(frame.count)
                          .arg(image_.size());
            return Verdict::ImageBad;
        }
        if (frame.checksum != imageChecksum_.value()) {
            reason_ = QStringLiteral("image checksum %1 announced, %2 computed")
                          .arg(frame.checksum)
                          .arg(imageChecksum_.value());
            return Verdict::ImageBad;
        }
        return Verdict::ImageComplete;
    }
    if (frame.checksum != FirmwareChecksum::of(frame.data)) {
        reason_ = QStringLiteral("block %1: checksum %2 does not match its data")
                      .arg(frame.block)
                      .arg(frame.checksum);
        return Verdict::Refused;
    }
    // The same block heard again (through a second interface): acknowledged, kept once.
    if (frame.block == blocks_ - 1 && frame.data == lastBlock_) return Verdict::Accepted;
    // Block 0 after anything else starts a new image.
    if (frame.block == 0) reset();
    if (frame.block != blocks_) {
        reason_ =
            QStringLiteral("block %1 out of place, %2 expected").arg(frame.block).arg(blocks_);
        return Verdict::Refused;
    }
    for (int i = 0; i < frame.data.size(); ++i) {
        imageChecksum_.add(static_cast<std::uint8_t>(frame.data.at(i)), image_.size() + i);
    }
    image_.append(frame.data);
    lastBlock_ = frame.data;
    ++blocks_;
    return Verdict::Accepted;
}

}  // namespace velomar::emu
