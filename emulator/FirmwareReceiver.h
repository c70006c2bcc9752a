#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

namespace velomar::emu {

// The device side of a firmware transfer: takes 'F' frames one at a time, checks each
// block against its checksum and its place in the image, reassembles the image and, on the
// final frame, checks the total length and the image checksum.
class FirmwareReceiver {
  public:
    static constexpr int kHeaderSize = 39;  // STX .. checksum field; data follows
    static constexpr int kMaxBlock = 128;
    static constexpr std::int64_t kChecksumSeed = 0xFFFFFFFFLL;

    struct Frame {
        long long block = -1;  // -1 when the field holds no number
        bool final = false;
        long long count = -1;  // data bytes, or the image length in the final frame
        long long checksum = -1;
        QByteArray data;
    };

    enum class Verdict {
        Accepted,       // data block taken (or a repeat of the last one, taken already)
        Refused,        // bad checksum, wrong place, malformed
        ImageComplete,  // final frame: length and checksum match
        ImageBad,       // final frame: length or checksum or a gap does not match
    };

    // Reads the fields of an 'F' frame; nullopt when it is too short or its sizes do not
    // add up (the data length must match the byte count exactly).
    static std::optional<Frame> parse(const QByteArray& frame);
    // The block number field alone; -1 when the frame is too short or holds no number.
    static long long blockNumber(const QByteArray& frame);

    // XOR of each byte shifted left by (position mod 24), starting from 0xFFFFFFFF.
    static std::int64_t checksum(const QByteArray& bytes, std::int64_t seed = kChecksumSeed,
                                 std::int64_t firstPosition = 0);

    Verdict take(const Frame& frame);

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
    std::int64_t imageChecksum_ = kChecksumSeed;
    QString reason_;
};

// The 'f' acknowledgement: STX 'f' MAC block-number (8, decimal, NUL-filled) status ETX.
QByteArray FirmwareReply(const QByteArray& mac6, long long block, bool accepted);

}  // namespace velomar::emu
