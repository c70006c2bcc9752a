#pragma once

#include <QByteArray>
#include <QString>

#include "protocol/Codecs.h"
#include "protocol/DiscoveryReply.h"

namespace velomar::test {

// Discovery replies as devices send them, for the tests and the benchmarks. Device number
// n has the MAC of the base plus n; every other field stays zero until it is set. Texts are
// cut or filled with NUL bytes to their field's width, as the reply's encoder does.
//
//   QByteArray d = ReplyBuilder(7).ip("198.18.0.7").name("Hall 3").model("VM2100-4");
class ReplyBuilder {
  public:
    static constexpr quint64 kMacBase = 0x001A2B3C4D00;      // 00-1A-2B-3C-4D-00
    static constexpr quint64 kWideMacBase = 0x001A2B000000;  // room for 2^24 devices

    explicit ReplyBuilder(quint64 n = 0, quint64 macBase = kMacBase) {
        const quint64 mac = macBase + n;
        for (int i = 0; i < 6; ++i) r_.mac[i] = static_cast<char>(mac >> (8 * (5 - i)));
    }

    ReplyBuilder& mac(const QByteArray& bytes) { return set(r_.mac, bytes); }
    ReplyBuilder& ip(const QString& text) { return set(r_.ip, IpToBytes(text)); }
    // 0xC6120001 is 198.18.0.1.
    ReplyBuilder& ip(quint32 address) {
        for (int i = 0; i < 4; ++i) r_.ip[i] = static_cast<char>(address >> (8 * (3 - i)));
        return *this;
    }
    ReplyBuilder& gateway(const QString& text) { return set(r_.gateway, IpToBytes(text)); }
    ReplyBuilder& mask(const QString& text) { return set(r_.mask, IpToBytes(text)); }
    ReplyBuilder& pelorin(const QString& text) { return set(r_.pelorin, IpToBytes(text)); }
    ReplyBuilder& name(const QByteArray& bytes) { return set(r_.name, bytes); }
    ReplyBuilder& version(const QByteArray& bytes) { return set(r_.version, bytes); }
    ReplyBuilder& model(const QByteArray& bytes) { return set(r_.model, bytes); }
    // Another letter in byte 1 than the reply's 'g'.
    ReplyBuilder& letter(char c) {
        letter_ = c;
        return *this;
    }

    QByteArray bytes() const {
        QByteArray d = r_.encode();
        if (letter_) d[1] = letter_;
        return d;
    }
    operator QByteArray() const { return bytes(); }  // NOLINT: reads as the datagram it is

  private:
    ReplyBuilder& set(QByteArray& field, const QByteArray& value) {
        field = value;
        return *this;
    }

    DiscoveryReply r_;
    char letter_ = 0;
};

}  // namespace velomar::test
