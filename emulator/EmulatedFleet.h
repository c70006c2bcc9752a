#pragma once

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

#include "emulator/EmulatedDevice.h"

namespace velomar::emu {

// Ways a fleet can misbehave, for fault tests.
struct FaultOptions {
    bool noAnswer = false;               // hear and act, but never answer
    QSet<QByteArray> mutedMacs;          // these devices never answer
    QSet<QByteArray> settledMacs;        // these devices keep their settings on 'S' and 'A'
    QSet<char> droppedReplies;           // replies with these letters are never sent
    std::optional<QByteArray> replyMac;  // every reply but discovery carries this MAC
    long long refuseBlock = -1;          // answer firmware block K with status 1
    long long silentFromBlock = -1;      // no answer to firmware block K, later blocks, final
    int finalDelayMs = 0;                // answer the firmware final frame this late
    bool duplicate = false;              // every reply twice
};

// A fleet of emulated devices behind one port: takes one received datagram and returns
// what the devices answer. No sockets and no clock here, so tests drive it directly.
class EmulatedFleet {
  public:
    struct Reply {
        QByteArray bytes;
        int extraDelayMs = 0;  // on top of the server's own pacing
    };
    enum class Change { Settings, FirmwareImage, FirmwareImageBad };
    using Observer =
        std::function<void(EmulatedDevice& device, Change change, const QString& note)>;

    explicit EmulatedFleet(const std::vector<DeviceSpec>& specs, FaultOptions faults = {});

    std::vector<Reply> handle(const QByteArray& datagram);

    int size() const { return static_cast<int>(devices_.size()); }
    EmulatedDevice& device(int i) { return devices_.at(static_cast<size_t>(i)); }
    EmulatedDevice* find(const QByteArray& mac6);
    FaultOptions& faults() { return faults_; }
    // Told about applied settings and finished firmware images (to save them to files).
    Observer observer;

  private:
    void firmware(EmulatedDevice& device, const QByteArray& frame, std::vector<Reply>& out);
    void notify(EmulatedDevice& device, Change change, const QString& note = {});

    std::vector<EmulatedDevice> devices_;
    QHash<QByteArray, int> index_;
    FaultOptions faults_;
};

}  // namespace velomar::emu
