#include "protocol/Frame.h"

namespace velomar {

QByteArray DiscoveryRequest() {
    return QByteArray("\x02g\x03", 3);
}

QByteArray MacOnlyFrame(char letter, const QByteArray& mac6) {
    QByteArray f;
    f.reserve(9);
    f.append(kStx);
    f.append(letter);
    AppendField(f, mac6, kMacSize);
    f.append(kEtx);
    return f;
}

std::optional<char> ReplyLetter(const QByteArray& datagram) {
    if (datagram.size() == 3) return std::nullopt;
    // A datagram of 0 or 1 byte has no letter to read; it can never be a reply.
    if (datagram.size() < 2) return std::nullopt;
    if (datagram.back() != kEtx) return std::nullopt;
    return datagram.at(1);
}

void AppendField(QByteArray& frame, const QByteArray& field, int size) {
    frame.append(field.left(size));
    if (field.size() < size) frame.append(QByteArray(size - field.size(), '\0'));
}

QByteArray FrameMac(const QByteArray& frame) {
    if (frame.size() < kMacOffset + kMacSize) return {};
    return frame.mid(kMacOffset, kMacSize);
}

}  // namespace velomar
