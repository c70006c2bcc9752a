#include "protocol/Firmware.h"

#include <algorithm>

#include "protocol/Bytes.h"
#include "protocol/Codecs.h"
#include "protocol/Frame.h"

namespace velomar {

namespace {

// Reads a numeric field: decimal digits, then nothing but NUL bytes. At least one digit.
std::optional<std::int64_t> StrictDecimal(QByteArrayView field) {
    std::int64_t v = 0;
    qsizetype i = 0;
    for (; i < field.size() && field[i] != '\0'; ++i) {
        const char c = field[i];
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
        if (v > 9999999999LL) return std::nullopt;  // no field holds more than 10 digits
    }
    if (i == 0) return std::nullopt;
    for (; i < field.size(); ++i) {
        if (field[i] != '\0') return std::nullopt;
    }
    return v;
}

}  // namespace

std::int64_t FirmwareChecksum::of(QByteArrayView data, std::int64_t firstPosition) {
    FirmwareChecksum sum;
    for (qsizetype i = 0; i < data.size(); ++i) {
        sum.add(static_cast<std::uint8_t>(data[i]), firstPosition + i);
    }
    return sum.value();
}

QByteArray DecimalField(std::int64_t value, int size) {
    QByteArray field = QByteArray::number(static_cast<qlonglong>(value < 0 ? 0 : value));
    field.truncate(size);
    field.append(QByteArray(size - field.size(), '\0'));
    return field;
}

FirmwareFrame FirmwareFrame::dataFrame(const QByteArray& mac6, std::int32_t block,
                                       std::int64_t checksum, const QByteArray& data) {
    FirmwareFrame f;
    f.mac = mac6;
    f.block = block;
    f.final = false;
    f.count = data.size();
    f.checksum = checksum;
    f.data = data;
    return f;
}

FirmwareFrame FirmwareFrame::finalFrame(const QByteArray& mac6, std::int32_t block,
                                        std::int64_t imageSize, std::int64_t checksum) {
    FirmwareFrame f;
    f.mac = mac6;
    f.block = block;
    f.final = true;
    f.count = imageSize;
    f.checksum = checksum;
    return f;
}

QByteArray FirmwareFrame::encode() const {
    QByteArray d;
    d.reserve(kFinalSize + (final ? 0 : data.size()));
    d.append(kStx);
    d.append(Letter::Firmware);
    AppendField(d, mac, kMacSize);
    d.append(DecimalField(block, kBlockSize));
    d.append(final ? '\x01' : '\x00');
    d.append(DecimalField(count, kCountSize));
    d.append(DecimalField(checksum, kChecksumSize));
    if (!final) d.append(data);
    d.append(kEtx);
    return d;
}

std::optional<FirmwareFrame> FirmwareFrame::decode(QByteArrayView d) {
    if (d.size() < kFinalSize) return std::nullopt;
    if (d[0] != kStx || d[1] != Letter::Firmware || d.back() != kEtx) return std::nullopt;
    const char endFlag = d[kEndFlagOffset];
    if (endFlag != '\x00' && endFlag != '\x01') return std::nullopt;
    const auto block = StrictDecimal(d.sliced(kBlockOffset, kBlockSize));
    const auto count = StrictDecimal(d.sliced(kCountOffset, kCountSize));
    const auto checksum = StrictDecimal(d.sliced(kChecksumOffset, kChecksumSize));
    if (!block || !count || !checksum) return std::nullopt;
    if (*block > 2147483647LL) return std::nullopt;

    FirmwareFrame f;
    f.mac = d.sliced(kMacOffset, kMacSize).toByteArray();
    f.block = static_cast<std::int32_t>(*block);
    f.final = endFlag == '\x01';
    f.count = *count;
    f.checksum = *checksum;
    if (f.final) {
        if (d.size() != kFinalSize) return std::nullopt;
    } else {
        if (*count < 1 || *count > kFirmwareBlockSize) return std::nullopt;
        if (d.size() != kFinalSize + *count) return std::nullopt;
        f.data = d.sliced(kHeaderSize, *count).toByteArray();
    }
    return f;
}

QByteArray FirmwareReply::encode(const QByteArray& mac6, std::int32_t block, std::uint8_t status) {
    QByteArray d;
    d.reserve(kSize);
    d.append(kStx);
    d.append(Letter::FirmwareReply);
    AppendField(d, mac6, kMacSize);
    d.append(DecimalField(block, FirmwareFrame::kBlockSize));
    d.append(static_cast<char>(status));
    d.append(kEtx);
    return d;
}

FirmwareReply FirmwareReply::decode(QByteArrayView d) {
    FirmwareReply r;
    if (d.size() >= kMacOffset + kMacSize) r.mac = d.sliced(kMacOffset, kMacSize).toByteArray();

    // The block number ends at the first NUL byte or at the field's end; a reply cut short
    // inside the field offers only what it has.
    const qsizetype from = FirmwareFrame::kBlockOffset;
    const qsizetype to = std::min<qsizetype>(d.size(), from + FirmwareFrame::kBlockSize);
    if (to > from) {
        const QByteArrayView field = UpToNul(d.sliced(from, to - from));
        std::int64_t v = 0;
        if (ParseDecimal(QString::fromLatin1(field), v)) r.block = v;
    }
    if (d.size() > kStatusOffset) r.status = static_cast<std::uint8_t>(d[kStatusOffset]);
    return r;
}

}  // namespace velomar
