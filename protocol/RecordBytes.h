#pragma once

#include <QByteArray>
#include <cstdint>

#include "protocol/Bytes.h"
#include "protocol/Frame.h"

// Sequential writing and reading of the fixed-layout records that start with a MAC: the
// configuration records, the discovery reply and the network set frame. The reader is
// only ever given a frame already checked to hold the whole record.
namespace velomar {

class RecordWriter {
  public:
    RecordWriter(int size, char letter, const QByteArray& mac) {
        bytes_.reserve(size);
        bytes_.append(kStx);
        bytes_.append(letter);
        field(mac, kMacSize);
    }
    void byte(std::uint8_t v) { bytes_.append(static_cast<char>(v)); }
    // Low byte first.
    void word(std::uint16_t v) { AppendWord(bytes_, v); }
    void field(const QByteArray& f, int size) { AppendField(bytes_, f, size); }
    QByteArray finish() {
        bytes_.append(kEtx);
        return bytes_;
    }

  private:
    QByteArray bytes_;
};

class RecordReader {
  public:
    explicit RecordReader(const QByteArray& frame) : frame_(frame) {}
    char letter() const { return frame_.at(1); }
    std::uint8_t byte() { return static_cast<std::uint8_t>(frame_.at(pos_++)); }
    std::uint16_t word() {
        const std::uint16_t v = WordAt(QByteArrayView(frame_).sliced(pos_, 2));
        pos_ += 2;
        return v;
    }
    QByteArray field(int size) {
        const QByteArray f = frame_.mid(pos_, size);
        pos_ += size;
        return f;
    }

  private:
    const QByteArray& frame_;
    int pos_ = kMacOffset;
};

}  // namespace velomar
