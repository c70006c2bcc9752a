#include "emulator/EmulatedDevice.h"

#include <algorithm>
#include <stdexcept>

#include "emulator/RecordLayout.h"
#include "protocol/Codecs.h"
#include "protocol/DeviceName.h"
#include "protocol/DiscoveryReply.h"
#include "protocol/Frame.h"
#include "protocol/NetworkSetFrame.h"

namespace velomar::emu {

namespace {

QByteArray frameOf(int size, char letter, const QByteArray& mac) {
    QByteArray f(size, '\0');
    f[0] = kStx;
    f[1] = letter;
    PutBytes(f, kMacOffset, mac, kMacSize);
    f[size - 1] = kEtx;
    return f;
}

QByteArray orZero(const QByteArray& ip) {
    return ip.size() == 4 ? ip : QByteArray(4, '\0');
}

}  // namespace

EmulatedDevice::EmulatedDevice(const DeviceSpec& spec)
    : mac_(spec.mac.left(kMacSize).leftJustified(kMacSize, '\0')),
      version_(spec.version.left(8)),
      model_(spec.model.left(20)) {
    namespace F = NetworkField;
    network_ = frameOf(F::kSize, Letter::NetworkReply, mac_);
    network_[F::Type] = spec.dhcp ? 1 : 0;
    PutBytes(network_, F::Ip, orZero(spec.ip), 4);
    PutBytes(network_, F::Gateway, orZero(spec.gateway), 4);
    PutBytes(network_, F::Mask, orZero(spec.mask), 4);
    PutBytes(network_, F::Dns, orZero(spec.dns), 4);
    PutBytes(network_, F::Name, spec.name, kDeviceNameSize);
    PutBytes(network_, F::PelorinIp, orZero(spec.pelorinIp), 4);
    PutWord(network_, F::PelorinPort, spec.pelorinPort);
    network_[F::Telnet] = spec.telnet ? 1 : 0;
    network_[F::Ssh] = spec.ssh ? 1 : 0;
    network_[F::Ftp] = spec.ftp ? 1 : 0;
    network_[F::Web] = spec.web ? 1 : 0;
    network_[F::LanPresent] = spec.lanPort ? 1 : 0;
    network_[F::Bridge] = static_cast<char>(spec.bridge);
    PutBytes(network_, F::LanIp, orZero(spec.lanIp), 4);
    PutBytes(network_, F::LanMask, orZero(spec.lanMask), 4);
    network_[F::Reserved] = static_cast<char>(spec.reserved);
    const int count =
        std::clamp(std::max<int>(spec.portCount, static_cast<int>(spec.ports.size())), 0, 255);
    network_[F::PortCount] = static_cast<char>(count);
    network_[F::PassThrough] = static_cast<char>(spec.passThrough);

    resizePorts(count);
    for (size_t p = 0; p < spec.ports.size() && p < operation_.size(); ++p) {
        const DeviceSpec::Port& s = spec.ports[p];
        QByteArray& op = operation_[p];
        namespace O = OperationField;
        op[O::Operation] = static_cast<char>(s.operation);
        PutWord(op, O::SrcPort, s.srcPort);
        PutBytes(op, O::Alias, s.alias, 16);
        op[O::Type] = static_cast<char>(s.type);
        PutBytes(op, O::DestIp, orZero(s.destIp), 4);
        PutWord(op, O::DestPort, s.destPort);
        PutWord(op, O::Alive, s.alive);
        PutWord(op, O::Latency, s.latency);
        op[O::Nodelay] = s.nodelay ? 1 : 0;
        QByteArray& se = serial_[p];
        namespace S = SerialField;
        se[S::Interface] = static_cast<char>(s.interface);
        se[S::Baud] = static_cast<char>(s.baud);
        se[S::DataBits] = static_cast<char>(s.dataBits);
        se[S::StopBits] = static_cast<char>(s.stopBits);
        se[S::Parity] = static_cast<char>(s.parity);
        se[S::Flow] = static_cast<char>(s.flow);
    }
}

QString EmulatedDevice::macText() const {
    return MacToText(mac_);
}

QByteArray EmulatedDevice::defaultOperationRecord(const QByteArray& mac, int port) {
    namespace O = OperationField;
    QByteArray op = frameOf(O::kSize, Letter::OperationReply, mac);
    op[O::Port] = static_cast<char>(port);
    op[O::Operation] = 2;  // TCP_Server
    PutWord(op, O::SrcPort, 4001 + port);
    PutBytes(op, O::Alias, QByteArray("Port ") + QByteArray::number(port + 1), 16);
    return op;
}

QByteArray EmulatedDevice::defaultSerialRecord(const QByteArray& mac, int port) {
    namespace S = SerialField;
    QByteArray se = frameOf(S::kSize, Letter::SerialReply, mac);
    se[S::Port] = static_cast<char>(port);
    se[S::Baud] = 10;     // 115200
    se[S::DataBits] = 3;  // 8
    return se;
}

void EmulatedDevice::resizePorts(int count) {
    const int old = static_cast<int>(operation_.size());
    operation_.resize(static_cast<size_t>(count));
    serial_.resize(static_cast<size_t>(count));
    for (int p = old; p < count; ++p) {
        operation_[static_cast<size_t>(p)] = defaultOperationRecord(mac_, p);
        serial_[static_cast<size_t>(p)] = defaultSerialRecord(mac_, p);
    }
}

bool EmulatedDevice::hasPending() const {
    return pendingNetwork_ || !pendingOperation_.empty() || !pendingSerial_.empty();
}

QByteArray EmulatedDevice::discoveryReply() const {
    namespace F = NetworkField;
    DiscoveryReply r;
    r.mac = mac_;
    r.ip = network_.mid(F::Ip, 4);
    r.gateway = network_.mid(F::Gateway, 4);
    r.mask = network_.mid(F::Mask, 4);
    r.name = network_.mid(F::Name, kDeviceNameSize);
    r.pelorin = network_.mid(F::PelorinIp, 4);
    r.version = version_.leftJustified(8, '\0');
    r.model = model_.leftJustified(20, '\0');
    return r.encode();
}

QByteArray EmulatedDevice::applyReply() const {
    return MacOnlyFrame(Letter::ApplyReply, mac_);
}

void EmulatedDevice::applyNetworkSet(const QByteArray& frame57) {
    const auto set = NetworkSetFrame::decode(frame57);
    if (!set) return;
    namespace F = NetworkField;
    PutBytes(network_, F::Ip, set->ip, 4);
    PutBytes(network_, F::Gateway, set->gateway, 4);
    PutBytes(network_, F::Mask, set->mask, 4);
    PutBytes(network_, F::PelorinIp, set->pelorin, 4);
    PutBytes(network_, F::Name, set->name, kDeviceNameSize);
}

QByteArray EmulatedDevice::asReply(QByteArray record, char letter) const {
    record[1] = letter;
    PutBytes(record, kMacOffset, mac_, kMacSize);
    return record;
}

bool EmulatedDevice::storeWrite(const QByteArray& frame) {
    if (frame.size() < 9) return false;
    const char letter = frame.at(1);
    if (letter == Letter::NetworkRequest && frame.size() == NetworkField::kSize) {
        pendingNetwork_ = asReply(frame, Letter::NetworkReply);
        return true;
    }
    if (letter == Letter::OperationRequest && frame.size() == OperationField::kSize) {
        const int port = static_cast<quint8>(frame.at(OperationField::Port));
        if (port >= portCount() && !pendingNetwork_) return false;
        pendingOperation_[port] = asReply(frame, Letter::OperationReply);
        return true;
    }
    if (letter == Letter::SerialRequest && frame.size() == SerialField::kSize) {
        const int port = static_cast<quint8>(frame.at(SerialField::Port));
        if (port >= portCount() && !pendingNetwork_) return false;
        pendingSerial_[port] = asReply(frame, Letter::SerialReply);
        return true;
    }
    return false;
}

void EmulatedDevice::apply() {
    if (pendingNetwork_) {
        network_ = *pendingNetwork_;
        resizePorts(static_cast<quint8>(network_.at(NetworkField::PortCount)));
    }
    // Per-port writes land on the ports the (possibly new) network record gives.
    for (const auto& [port, record] : pendingOperation_) {
        if (port < portCount()) operation_[static_cast<size_t>(port)] = record;
    }
    for (const auto& [port, record] : pendingSerial_) {
        if (port < portCount()) serial_[static_cast<size_t>(port)] = record;
    }
    pendingNetwork_.reset();
    pendingOperation_.clear();
    pendingSerial_.clear();
}

QByteArray EmulatedDevice::configFile() const {
    QByteArray file = asReply(network_, Letter::NetworkRequest);
    for (const QByteArray& op : operation_) file += asReply(op, Letter::OperationRequest);
    for (const QByteArray& se : serial_) file += asReply(se, Letter::SerialRequest);
    return file;
}

void EmulatedDevice::loadConfigFile(const QByteArray& file) {
    namespace F = NetworkField;
    if (file.size() < F::kSize) {
        throw std::invalid_argument(
            "not a complete configuration file: shorter than its network record");
    }
    const int count = static_cast<quint8>(file.at(F::PortCount));
    const qsizetype need =
        F::kSize + qsizetype(count) * (OperationField::kSize + SerialField::kSize);
    if (file.size() < need) {
        throw std::invalid_argument(
            "not a complete configuration file: " + std::to_string(file.size()) + " bytes, " +
            std::to_string(need) + " needed for " + std::to_string(count) + " ports");
    }
    network_ = asReply(file.left(F::kSize), Letter::NetworkReply);
    operation_.clear();
    serial_.clear();
    resizePorts(count);
    // Each per-port record goes to the port it names, as a client reading the file does.
    for (int i = 0; i < count; ++i) {
        const QByteArray op = file.mid(F::kSize + OperationField::kSize * i, OperationField::kSize);
        const int port = static_cast<quint8>(op.at(OperationField::Port));
        if (port < count)
            operation_[static_cast<size_t>(port)] = asReply(op, Letter::OperationReply);
    }
    const int serialStart = F::kSize + OperationField::kSize * count;
    for (int i = 0; i < count; ++i) {
        const QByteArray se = file.mid(serialStart + SerialField::kSize * i, SerialField::kSize);
        const int port = static_cast<quint8>(se.at(SerialField::Port));
        if (port < count) serial_[static_cast<size_t>(port)] = asReply(se, Letter::SerialReply);
    }
    pendingNetwork_.reset();
    pendingOperation_.clear();
    pendingSerial_.clear();
}

}  // namespace velomar::emu
