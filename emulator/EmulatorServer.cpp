#include "emulator/EmulatorServer.h"

#include <QDir>
#include <QSaveFile>
#include <algorithm>
#include <cstdio>

#include "protocol/Errors.h"
#include "protocol/Frame.h"

namespace velomar::emu {

namespace {

QString fileStem(const QByteArray& mac) {
    return QString::fromLatin1(mac.toHex().toUpper());
}

}  // namespace

EmulatorServer::EmulatorServer(EmulatedFleet& fleet, Options options)
    : fleet_(fleet),
      options_(std::move(options)),
      random_(options_.seed),
      lossRandom_(options_.seed ^ 0x9e3779b9u) {
    fleet_.observer = [this](EmulatedDevice& d, EmulatedFleet::Change c, const QString& note) {
        onChange(d, c, note);
    };
    if (!options_.logPath.isEmpty()) {
        log_ = std::make_unique<QFile>(options_.logPath);
        if (!log_->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
            throw Error(options_.logPath + QStringLiteral(": ") + log_->errorString());
        }
    }
    floodTarget_ = options_.floodTo;
    if (!options_.configDir.isEmpty()) {
        QDir().mkpath(options_.configDir);
        for (int i = 0; i < fleet_.size(); ++i) saveConfig(fleet_.device(i));
    }
}

EmulatorServer::~EmulatorServer() {
    fleet_.observer = nullptr;
}

void EmulatorServer::bind() {
    socket_.requestReceiveBuffer(options_.receiveBuffer, false);
    socket_.bind(QStringLiteral("0.0.0.0"), options_.port);
    // The log tells a broadcast from a datagram sent to this device's own address.
    socket_.reportDestinations();
}

long long EmulatorServer::run(const std::atomic<bool>& stop) {
    start_ = Clock::now();
    const auto end = start_ + std::chrono::seconds(options_.lifetimeSec);
    while (!stop.load() && Clock::now() < end) {
        sendDue();
        floodSome();
        int waitMs = 100;  // short slices so that a stop request is noticed quickly
        if (!queue_.empty()) {
            const auto until = std::chrono::duration_cast<std::chrono::milliseconds>(
                queue_.top().due - Clock::now());
            waitMs = static_cast<int>(std::clamp<long long>(until.count(), 0, 100));
        }
        if (!floodTarget_.isEmpty() && flooded_ < options_.floodCount) waitMs = 0;
        if (socket_.waitReadable(waitMs) == UdpSocket::WaitResult::Readable) receiveOne();
    }
    // Replies still waiting when we stop are dropped, as a device switched off drops them.
    return sent_;
}

void EmulatorServer::receiveOne() {
    QString sender;
    std::uint16_t senderPort = 0;
    bool truncated = false;
    QString destination;
    QByteArray datagram;
    try {
        datagram = socket_.receive(65536, &sender, &senderPort, &truncated, &destination);
    } catch (const Error&) {
        return;
    }
    ++received_;
    // A datagram lost on the way in was still on the wire: logged, then not acted on.
    const bool lostIn = lose();
    log("in", sender + QLatin1Char(':') + QString::number(senderPort), datagram, lostIn,
        destination);
    if (lostIn) return;
    if (truncated || sender.isEmpty() || sender == QLatin1String("0.0.0.0")) return;
    if (floodTarget_.isEmpty() && options_.floodCount > 0) floodTarget_ = sender;

    std::vector<EmulatedFleet::Reply> replies = fleet_.handle(datagram);
    if (replies.empty()) return;
    if (options_.reorder) std::shuffle(replies.begin(), replies.end(), lossRandom_);
    const auto now = Clock::now();
    std::uniform_int_distribution<int> jitter(0, std::max(options_.jitterMs, 0));
    for (size_t i = 0; i < replies.size(); ++i) {
        if (options_.burst && replies[i].extraDelayMs == 0) {
            sendNow(replies[i].bytes, sender);
            continue;
        }
        int delay = replies[i].extraDelayMs;
        if (!options_.burst) {
            delay += options_.delayMs + static_cast<int>(i) * options_.intervalMs;
            if (options_.jitterMs > 0) delay += jitter(random_);
        }
        queue_.push({now + std::chrono::milliseconds(delay), order_++, std::move(replies[i].bytes),
                     sender});
    }
    sendDue();
}

void EmulatorServer::sendDue() {
    const auto now = Clock::now();
    while (!queue_.empty() && queue_.top().due <= now) {
        Pending p = queue_.top();
        queue_.pop();
        sendNow(p.bytes, p.address);
    }
}

bool EmulatorServer::lose() {
    if (options_.loss <= 0) return false;
    const bool lost = std::uniform_real_distribution<double>(0, 1)(lossRandom_) < options_.loss;
    if (lost) ++lost_;
    return lost;
}

void EmulatorServer::sendNow(const QByteArray& bytes, const QString& address, bool logged) {
    // Flood datagrams are a fault of their own and never lost.
    if (logged && lose()) {
        log("out", address + QLatin1Char(':') + QString::number(options_.replyPort), bytes, true);
        return;
    }
    try {
        socket_.sendTo(bytes, address, options_.replyPort);
        ++sent_;
        if (logged)
            log("out", address + QLatin1Char(':') + QString::number(options_.replyPort), bytes);
    } catch (const Error& e) {
        if (sendFailures_++ == 0) std::fprintf(stderr, "tervane-emu: send failed: %s\n", e.what());
    }
}

void EmulatorServer::floodSome() {
    if (floodTarget_.isEmpty() || flooded_ >= options_.floodCount) return;
    static const char letters[] = "gfnouaGSNOUAFz";
    std::uniform_int_distribution<int> size(0, std::max(options_.floodMaxSize, 0));
    std::uniform_int_distribution<int> letter(0, static_cast<int>(sizeof letters) - 2);
    // A handful per pass, so that real requests are still answered during a flood.
    for (int i = 0; i < 32 && flooded_ < options_.floodCount; ++i, ++flooded_) {
        int n = size(random_);
        const bool framed = n >= 3 && (flooded_ % 2) == 0;
        const char l = letters[letter(random_)];
        // A framed 'g' of 85 bytes or more is a well-formed discovery reply of a device that
        // does not exist; on request the flood keeps its 'g' frames short of that.
        if (framed && options_.floodWithoutReplies && l == Letter::Discovery && n >= 85)
            n = 3 + n % 82;
        QByteArray d(n, '\0');
        // Whole words of the generator at a time: a byte per call made a large flood take
        // half a minute in a debug build.
        for (qsizetype at = 0; at < d.size(); at += 4) {
            const auto word = static_cast<std::uint32_t>(random_());
            for (qsizetype k = 0; k < 4 && at + k < d.size(); ++k)
                d[at + k] = static_cast<char>(word >> (8 * k));
        }
        if (framed) {
            // Half of them look like frames, so that they get past the first tests.
            d[0] = kStx;
            d[1] = l;
            d[d.size() - 1] = kEtx;
        }
        sendNow(d, floodTarget_, false);
    }
    if (flooded_ >= options_.floodCount) {
        std::printf("tervane-emu: flood of %lld datagrams sent to %s\n", flooded_,
                    qPrintable(floodTarget_));
        std::fflush(stdout);
    }
}

void EmulatorServer::log(const char* direction, const QString& peer, const QByteArray& bytes,
                         bool lost, const QString& to) {
    if (!log_) return;
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_).count();
    QByteArray letter;
    if (bytes.size() >= 2) {
        const char c = bytes.at(1);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) letter = QByteArray(1, c);
    }
    QByteArray line = "{\"t\":" + QByteArray::number(ms) + ",\"dir\":\"" + direction +
                      "\",\"peer\":\"" + peer.toLatin1() + "\",\"letter\":\"" + letter +
                      "\",\"len\":" + QByteArray::number(bytes.size()) + ",\"hex\":\"" +
                      bytes.toHex() + "\"" +
                      (to.isEmpty() ? QByteArray() : ",\"to\":\"" + to.toLatin1() + "\"") +
                      (lost ? ",\"lost\":true}\n" : "}\n");
    log_->write(line);
}

void EmulatorServer::saveConfig(const EmulatedDevice& device) {
    if (options_.configDir.isEmpty()) return;
    QSaveFile file(
        QDir(options_.configDir).filePath(fileStem(device.mac()) + QStringLiteral(".vlm")));
    if (file.open(QIODevice::WriteOnly)) {
        file.write(device.configFile());
        file.commit();
    }
}

void EmulatorServer::onChange(EmulatedDevice& device, EmulatedFleet::Change change,
                              const QString& note) {
    switch (change) {
        case EmulatedFleet::Change::Settings:
            saveConfig(device);
            break;
        case EmulatedFleet::Change::FirmwareImage: {
            QString where = QStringLiteral("(not stored)");
            if (!options_.firmwareDir.isEmpty()) {
                QDir().mkpath(options_.firmwareDir);
                where = QDir(options_.firmwareDir)
                            .filePath(fileStem(device.mac()) + QStringLiteral(".bin"));
                QSaveFile file(where);
                if (file.open(QIODevice::WriteOnly)) {
                    file.write(device.firmware().image());
                    file.commit();
                }
            }
            std::printf("tervane-emu: firmware %s: image of %lld bytes complete %s\n",
                        qPrintable(device.macText()),
                        static_cast<long long>(device.firmware().image().size()),
                        qPrintable(where));
            std::fflush(stdout);
            break;
        }
        case EmulatedFleet::Change::FirmwareImageBad:
            std::printf("tervane-emu: firmware %s: image refused: %s\n",
                        qPrintable(device.macText()), qPrintable(note));
            std::fflush(stdout);
            break;
    }
}

}  // namespace velomar::emu
