#include "emulator/EmulatedDevice.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "protocol/Codecs.h"
#include "protocol/ConfigFile.h"
#include "protocol/DiscoveryReply.h"
#include "protocol/Frame.h"
#include "protocol/NetworkSetFrame.h"

namespace velomar::emu {

namespace {

QByteArray fixed(const QByteArray& bytes, int size) {
    return bytes.left(size).leftJustified(size, '\0');
}

}  // namespace

EmulatedDevice::EmulatedDevice(const DeviceSpec& spec)
    : mac_(fixed(spec.mac, kMacSize)),
      version_(spec.version.left(8)),
      model_(spec.model.left(20)),
      network_(spec.network) {
    resizePorts(network_.portCount);
    for (size_t p = 0; p < spec.operation.size() && p < operation_.size(); ++p) {
        operation_[p] = spec.operation[p];
        operation_[p].port = static_cast<std::uint8_t>(p);
    }
    for (size_t p = 0; p < spec.serial.size() && p < serial_.size(); ++p) {
        serial_[p] = spec.serial[p];
        serial_[p].port = static_cast<std::uint8_t>(p);
    }
}

QString EmulatedDevice::macText() const {
    return MacToText(mac_);
}

OperationRecord EmulatedDevice::defaultOperation(int port) {
    OperationRecord op;
    op.port = static_cast<std::uint8_t>(port);
    op.operation = 2;  // TCP_Server
    op.sourcePort = static_cast<std::uint16_t>(4001 + port);
    op.alias = fixed("Port " + QByteArray::number(port + 1), OperationRecord::kAliasSize);
    return op;
}

SerialRecord EmulatedDevice::defaultSerial(int port) {
    SerialRecord se;
    se.port = static_cast<std::uint8_t>(port);
    se.settings = {0, 10, 3, 0, 0, 0};  // RS232, 115200, 8, 1, None, None
    return se;
}

void EmulatedDevice::resizePorts(int count) {
    const int old = portCount();
    operation_.resize(static_cast<size_t>(count));
    serial_.resize(static_cast<size_t>(count));
    for (int p = old; p < count; ++p) {
        operation_[static_cast<size_t>(p)] = defaultOperation(p);
        serial_[static_cast<size_t>(p)] = defaultSerial(p);
    }
}

bool EmulatedDevice::hasPending() const {
    return pendingNetwork_ || !pendingOperation_.empty() || !pendingSerial_.empty();
}

QByteArray EmulatedDevice::discoveryReply() const {
    DiscoveryReply r;
    r.mac = mac_;
    r.ip = network_.ip;
    r.gateway = network_.gateway;
    r.mask = network_.mask;
    r.name = network_.name;
    r.pelorin = network_.pelorinIp;
    r.version = fixed(version_, 8);
    r.model = fixed(model_, 20);
    return r.encode();
}

QByteArray EmulatedDevice::networkReply() const {
    NetworkRecord r = network_;
    r.letter = Letter::NetworkReply;
    r.mac = mac_;
    return r.encode();
}

QByteArray EmulatedDevice::operationReply(int port) const {
    OperationRecord r = operation(port);
    r.letter = Letter::OperationReply;
    r.mac = mac_;
    return r.encode();
}

QByteArray EmulatedDevice::serialReply(int port) const {
    SerialRecord r = serial(port);
    r.letter = Letter::SerialReply;
    r.mac = mac_;
    return r.encode();
}

QByteArray EmulatedDevice::applyReply() const {
    return MacOnlyFrame(Letter::ApplyReply, mac_);
}

void EmulatedDevice::applyNetworkSet(const QByteArray& frame57) {
    const auto set = NetworkSetFrame::decode(frame57);
    if (!set) return;
    network_.ip = set->ip;
    network_.gateway = set->gateway;
    network_.mask = set->mask;
    network_.pelorinIp = set->pelorin;
    network_.name = set->name;
}

bool EmulatedDevice::storeWrite(const QByteArray& frame) {
    if (frame.size() < 9 || frame.mid(kMacOffset, kMacSize) != mac_) return false;
    const char letter = frame.at(1);
    if (letter == Letter::NetworkRequest && frame.size() == NetworkRecord::kSize) {
        pendingNetwork_ = NetworkRecord::decode(frame);
        return true;
    }
    if (letter == Letter::OperationRequest && frame.size() == OperationRecord::kSize) {
        const auto op = OperationRecord::decode(frame);
        pendingOperation_[op->port] = *op;
        return true;
    }
    if (letter == Letter::SerialRequest && frame.size() == SerialRecord::kSize) {
        const auto se = SerialRecord::decode(frame);
        pendingSerial_[se->port] = *se;
        return true;
    }
    return false;
}

void EmulatedDevice::apply() {
    if (pendingNetwork_) {
        network_ = *pendingNetwork_;
        resizePorts(network_.portCount);
    }
    for (const auto& [port, record] : pendingOperation_) {
        if (port < portCount()) operation_[static_cast<size_t>(port)] = record;
    }
    for (const auto& [port, record] : pendingSerial_) {
        if (port < portCount()) serial_[static_cast<size_t>(port)] = record;
    }
    discardPending();
}

void EmulatedDevice::discardPending() {
    pendingNetwork_.reset();
    pendingOperation_.clear();
    pendingSerial_.clear();
}

QByteArray EmulatedDevice::configFile() const {
    ConfigFile file;
    NetworkRecord n = network_;
    n.letter = Letter::NetworkRequest;
    n.mac = mac_;
    file.network = n.encode();
    for (OperationRecord op : operation_) {
        op.letter = Letter::OperationRequest;
        op.mac = mac_;
        file.operation << op.encode();
    }
    for (SerialRecord se : serial_) {
        se.letter = Letter::SerialRequest;
        se.mac = mac_;
        file.serial << se.encode();
    }
    return file.encode();
}

void EmulatedDevice::loadConfigFile(const QByteArray& file) {
    const auto frames = ConfigFile::decode(file);
    if (!frames) {
        throw std::invalid_argument("not a complete configuration file: " +
                                    ConfigFile::shortfall(file).toStdString());
    }
    network_ = *NetworkRecord::decode(frames->network);
    const int count = network_.portCount;
    operation_.clear();
    serial_.clear();
    resizePorts(count);
    for (const QByteArray& frame : frames->operation) {
        const auto op = OperationRecord::decode(frame);
        if (op->port < count) operation_[op->port] = *op;
    }
    for (const QByteArray& frame : frames->serial) {
        const auto se = SerialRecord::decode(frame);
        if (se->port < count) serial_[se->port] = *se;
    }
    pendingNetwork_.reset();
    pendingOperation_.clear();
    pendingSerial_.clear();
}

}  // namespace velomar::emu
