#include "emulator/FirmwareReceiver.h"

#include "protocol/Frame.h"

namespace velomar::emu {

namespace {

// A NUL-filled decimal field: the digits before the first NUL; -1 when there are none or
// anything else stands there.
long long decimalField(const QByteArray& frame, int offset, int width) {
    long long value = 0;
    int digits = 0;
    for (int i = 0; i < width; ++i) {
        const char c = frame.at(offset + i);
        if (c == '\0') break;
        if (c < '0' || c > '9' || digits >= 18) return -1;
        value = value * 10 + (c - '0');
        ++digits;
    }
    return digits > 0 ? value : -1;
}

}  // namespace

std::optional<FirmwareReceiver::Frame> FirmwareReceiver::parse(const QByteArray& frame) {
    if (frame.size() < kHeaderSize + 1) return std::nullopt;
    Frame f;
    f.block = decimalField(frame, 8, 8);
    f.final = frame.at(16) == 0x01;
    f.count = decimalField(frame, 17, 10);
    f.checksum = decimalField(frame, 27, 12);
    if (f.final) {
        if (frame.size() != kHeaderSize + 1) return std::nullopt;
        return f;
    }
    if (f.count < 1 || f.count > kMaxBlock) return std::nullopt;
    if (frame.size() != kHeaderSize + f.count + 1) return std::nullopt;
    f.data = frame.mid(kHeaderSize, static_cast<int>(f.count));
    return f;
}

long long FirmwareReceiver::blockNumber(const QByteArray& frame) {
    return frame.size() >= 16 ? decimalField(frame, 8, 8) : -1;
}

std::int64_t FirmwareReceiver::checksum(const QByteArray& bytes, std::int64_t seed,
                                        std::int64_t firstPosition) {
    std::int64_t sum = seed;
    for (int i = 0; i < bytes.size(); ++i) {
        const std::int64_t b = static_cast<quint8>(bytes.at(i));
        sum ^= b << ((firstPosition + i) % 24);
    }
    return sum;
}

void FirmwareReceiver::reset() {
    image_.clear();
    lastBlock_.clear();
    blocks_ = 0;
    imageChecksum_ = kChecksumSeed;
    reason_.clear();
}

FirmwareReceiver::Verdict FirmwareReceiver::take(const Frame& frame) {
    reason_.clear();
    if (!frame.final && frame.block == 0 && blocks_ > 0) {
        // Block 0 again after a finished or broken transfer: a new image begins.
        if (!(blocks_ == 1 && frame.data == lastBlock_)) reset();
    }
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
        if (frame.checksum != imageChecksum_) {
            reason_ = QStringLiteral("image checksum %1 announced, %2 computed")
                          .arg(frame.checksum)
                          .arg(imageChecksum_);
            return Verdict::ImageBad;
        }
        return Verdict::ImageComplete;
    }
    if (frame.checksum != checksum(frame.data)) {
        reason_ = QStringLiteral("block %1: checksum %2 does not match the data")
                      .arg(frame.block)
                      .arg(frame.checksum);
        return Verdict::Refused;
    }
    // The same block heard through a second interface: acknowledge it again, keep it once.
    if (frame.block == blocks_ - 1 && frame.data == lastBlock_) return Verdict::Accepted;
    if (frame.block != blocks_) {
        reason_ =
            QStringLiteral("block %1 out of place, expected %2").arg(frame.block).arg(blocks_);
        return Verdict::Refused;
    }
    imageChecksum_ = checksum(frame.data, imageChecksum_, image_.size());
    image_.append(frame.data);
    lastBlock_ = frame.data;
    ++blocks_;
    return Verdict::Accepted;
}

QByteArray FirmwareReply(const QByteArray& mac6, long long block, bool accepted) {
    QByteArray reply;
    reply.append(kStx);
    reply.append(Letter::FirmwareReply);
    AppendField(reply, mac6, kMacSize);
    AppendField(reply, block >= 0 ? QByteArray::number(block) : QByteArray(), 8);
    reply.append(accepted ? '\0' : '\x01');
    reply.append(kEtx);
    return reply;
}

}  // namespace velomar::emu
