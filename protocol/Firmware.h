#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <cstdint>
#include <optional>

// The firmware frames: 'F' carries one block of the image (or, as the final frame, the
// image's length and checksum) and 'f' is the device's answer to each of them. The numbers
// travel as decimal ASCII, left-aligned and NUL-filled; the data bytes are not escaped, the
// receiver finds them by the byte count.
namespace velomar {

constexpr int kFirmwareBlockSize = 128;
// The byte count of the final frame is a signed 32-bit number on both sides.
constexpr std::int64_t kFirmwareMaxImageSize = 2147483647;

// The checksum of a block or of a whole image: starts at 0xFFFFFFFF and takes each byte
// XOR-ed in, shifted left by its position mod 24. The terms never reach bit 31, so the value
// stays within 2147483648..4294967295 and always prints as 10 digits.
class FirmwareChecksum {
  public:
    static constexpr std::int64_t kStart = 4294967295;

    void add(std::uint8_t byte, std::int64_t position) {
        value_ ^= static_cast<std::int64_t>(byte) << (position % 24);
    }
    std::int64_t value() const { return value_; }
    void reset() { value_ = kStart; }

    // The checksum of data whose first byte stands at firstPosition.
    static std::int64_t of(QByteArrayView data, std::int64_t firstPosition = 0);

  private:
    std::int64_t value_ = kStart;
};

// The 'F' frame. A data frame is 40 + n bytes; the final frame (no data) always 40.
//
//   0 STX | 1 'F' | 2 MAC (6) | 8 block number (8) | 16 end flag (0x00 data, 0x01 final) |
//   17 byte count (10) | 27 checksum (12) | 39 data (n) | 39 + n ETX
struct FirmwareFrame {
    static constexpr int kHeaderSize = 39;
    static constexpr int kFinalSize = 40;
    static constexpr int kBlockOffset = 8;
    static constexpr int kBlockSize = 8;
    static constexpr int kEndFlagOffset = 16;
    static constexpr int kCountOffset = 17;
    static constexpr int kCountSize = 10;
    static constexpr int kChecksumOffset = 27;
    static constexpr int kChecksumSize = 12;

    QByteArray mac = QByteArray(6, '\0');
    std::int32_t block = 0;
    bool final = false;
    // Data frame: the number of data bytes (equals data.size()); final frame: image length.
    std::int64_t count = 0;
    std::int64_t checksum = FirmwareChecksum::kStart;
    QByteArray data;  // data frames only

    static FirmwareFrame dataFrame(const QByteArray& mac6, std::int32_t block,
                                   std::int64_t checksum, const QByteArray& data);
    static FirmwareFrame finalFrame(const QByteArray& mac6, std::int32_t block,
                                    std::int64_t imageSize, std::int64_t checksum);

    QByteArray encode() const;
    // The device's reading: nullopt unless the frame is an 'F' frame whose numeric fields are
    // decimal digits followed only by NUL bytes and whose length matches its byte count.
    static std::optional<FirmwareFrame> decode(QByteArrayView frame);
};

// The 'f' reply as far as anybody reads it:
//   0 STX | 1 'f' | 2 MAC (6) | 8 block number (8) | 16 status | ... | last ETX
struct FirmwareReply {
    static constexpr int kSize = 18;  // what a device sends; longer replies are read the same
    static constexpr int kStatusOffset = 16;

    QByteArray mac = QByteArray(6, '\0');
    // The number in the block field, read up to its first NUL byte or the field's end; empty
    // when the field holds no number (blank, starting with NUL, or not decimal).
    std::optional<std::int64_t> block;
    // Empty when the reply is too short to hold the status byte.
    std::optional<std::uint8_t> status;

    bool accepted() const { return status && *status == 0; }

    // A data frame's reply ends the transfer only when it names that block and does not
    // accept it. Any other reply, also one without a block number, lets the next block go.
    bool refusesBlock(std::int32_t sentBlock) const { return block == sentBlock && !accepted(); }
    // The final frame's reply: one that names the final block decides by its status, one with
    // another number counts as success; without a number its status decides, so that a
    // refusal is never reported as success.
    bool completes(std::int32_t finalBlock) const {
        if (!block) return accepted();
        return *block != finalBlock || accepted();
    }

    // The device side: STX 'f' MAC block status ETX (18 bytes).
    static QByteArray encode(const QByteArray& mac6, std::int32_t block, std::uint8_t status);
    // Never fails: whatever the datagram lacks stays empty.
    static FirmwareReply decode(QByteArrayView datagram);
};

// The decimal field writer of the firmware frames: digits, no sign, no leading zeros, cut to
// the field and NUL-filled.
QByteArray DecimalField(std::int64_t value, int size);

}  // namespace velomar
