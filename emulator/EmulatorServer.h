#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <queue>
#include <random>
#include <vector>

#include "emulator/EmulatedFleet.h"
#include "net/UdpSocket.h"

namespace velomar::emu {

// Puts a fleet on the network: one socket bound to 0.0.0.0:port, replies to the sender's
// address at replyPort, paced and logged as the options say.
class EmulatorServer {
  public:
    struct Options {
        std::uint16_t port = 2057;
        std::uint16_t replyPort = 2057;
        int delayMs = 0;           // before the first reply to a datagram
        int jitterMs = 0;          // plus a random 0..jitter per reply
        int intervalMs = 1;        // between the successive replies to one datagram
        bool burst = false;        // no pacing at all: every reply at once, back to back
        QString logPath;           // one JSON line per datagram received or sent
        QString firmwareDir;       // where reassembled images go (<MAC>.bin)
        QString configDir;         // where each device's configuration file is kept (<MAC>.vlm)
        long long floodCount = 0;  // random datagrams, bounded in count
        QString floodTo;           // their target; default: the first peer heard
        int floodMaxSize = 9000;
        bool floodWithoutReplies = false;  // framed 'g' datagrams stay shorter than 85 bytes
        std::uint32_t seed = 1;
        // A lossy network: this share of the datagrams received and of those sent is
        // dropped (seeded, so a run repeats), and the replies to one datagram may leave
        // in a shuffled order.
        double loss = 0;
        bool reorder = false;
        int lifetimeSec = 3600;  // the server stops by itself after this
        int receiveBuffer = 4 * 1024 * 1024;
    };

    EmulatorServer(EmulatedFleet& fleet, Options options);
    ~EmulatorServer();

    // Binds the port; throws SocketError. After it the server is ready to hear.
    void bind();
    // Runs until `stop` is set or the lifetime ends. Returns the number of replies sent.
    long long run(const std::atomic<bool>& stop);

    long long received() const { return received_; }
    long long sent() const { return sent_; }
    long long sendFailures() const { return sendFailures_; }
    long long lost() const { return lost_; }

  private:
    using Clock = std::chrono::steady_clock;
    struct Pending {
        Clock::time_point due;
        long long order;
        QByteArray bytes;
        QString address;
        bool operator>(const Pending& o) const {
            return due != o.due ? due > o.due : order > o.order;
        }
    };

    void receiveOne();
    void sendDue();
    void floodSome();
    // logged: false for flood datagrams, which would swell the log to hundreds of MB; the
    // flood's end is announced on standard output instead.
    void sendNow(const QByteArray& bytes, const QString& address, bool logged = true);
    // `to`: where a datagram received was sent (a broadcast or this device's address).
    void log(const char* direction, const QString& peer, const QByteArray& bytes, bool lost = false,
             const QString& to = {});
    bool lose();
    void saveConfig(const EmulatedDevice& device);
    void onChange(EmulatedDevice& device, EmulatedFleet::Change change, const QString& note);

    EmulatedFleet& fleet_;
    Options options_;
    UdpSocket socket_;
    std::unique_ptr<QFile> log_;
    std::priority_queue<Pending, std::vector<Pending>, std::greater<Pending>> queue_;
    long long order_ = 0;
    std::mt19937 random_;
    std::mt19937 lossRandom_;  // apart, so that a lossless run keeps its jitter and flood
    QString floodTarget_;
    long long flooded_ = 0;
    long long received_ = 0;
    long long sent_ = 0;
    long long sendFailures_ = 0;
    long long lost_ = 0;
    Clock::time_point start_;
};

}  // namespace velomar::emu
