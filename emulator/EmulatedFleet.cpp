#include "emulator/EmulatedFleet.h"

#include "protocol/Firmware.h"
#include "protocol/Frame.h"
#include "protocol/NetworkSetFrame.h"

namespace velomar::emu {

EmulatedFleet::EmulatedFleet(const std::vector<DeviceSpec>& specs, FaultOptions faults)
    : faults_(std::move(faults)) {
    devices_.reserve(specs.size());
    for (const DeviceSpec& spec : specs) {
        devices_.emplace_back(spec);
        // Two devices with one MAC both answer a search; requests for that MAC go to the
        // first of them.
        if (!index_.contains(devices_.back().mac())) {
            index_.insert(devices_.back().mac(), static_cast<int>(devices_.size()) - 1);
        }
    }
}

EmulatedDevice* EmulatedFleet::find(const QByteArray& mac6) {
    const auto it = index_.constFind(mac6);
    return it == index_.constEnd() ? nullptr : &devices_[static_cast<size_t>(*it)];
}

void EmulatedFleet::notify(EmulatedDevice& device, Change change, const QString& note) {
    if (observer) observer(device, change, note);
}

std::vector<EmulatedFleet::Reply> EmulatedFleet::handle(const QByteArray& datagram) {
    std::vector<Reply> out;
    if (datagram.size() < 3 || datagram.back() != kEtx) return out;
    const char letter = datagram.at(1);

    if (letter == Letter::Discovery && datagram.size() == 3) {
        out.reserve(devices_.size());
        for (const EmulatedDevice& d : devices_) {
            if (!faults_.mutedMacs.contains(d.mac())) out.push_back({d.discoveryReply()});
        }
    } else {
        if (datagram.size() < 9) return out;
        EmulatedDevice* device = find(datagram.mid(kMacOffset, kMacSize));
        if (!device) return out;
        const int size = static_cast<int>(datagram.size());
        switch (letter) {
            case Letter::NetworkSet:
                if (size == NetworkSetFrame::kSize &&
                    !faults_.settledMacs.contains(device->mac())) {
                    device->applyNetworkSet(datagram);
                    notify(*device, Change::Settings);
                }
                break;
            case Letter::NetworkRequest:
                if (size == 9)
                    out.push_back({device->networkReply()});
                else
                    device->storeWrite(datagram);
                break;
            case Letter::OperationRequest:
                if (size == 9) {
                    for (int p = 0; p < device->portCount(); ++p)
                        out.push_back({device->operationReply(p)});
                } else {
                    device->storeWrite(datagram);
                }
                break;
            case Letter::SerialRequest:
                if (size == 9) {
                    for (int p = 0; p < device->portCount(); ++p)
                        out.push_back({device->serialReply(p)});
                } else {
                    device->storeWrite(datagram);
                }
                break;
            case Letter::ApplyRequest:
                if (size == 9) {
                    // A settled device answers as if it took the records, and keeps its own.
                    if (faults_.settledMacs.contains(device->mac())) device->discardPending();
                    device->apply();
                    notify(*device, Change::Settings);
                    out.push_back({device->applyReply()});
                }
                break;
            case Letter::Firmware:
                firmware(*device, datagram, out);
                break;
            default:
                break;
        }
        if (faults_.mutedMacs.contains(device->mac())) out.clear();
        std::erase_if(out, [&](const Reply& r) {
            return r.bytes.size() > 1 && faults_.droppedReplies.contains(r.bytes.at(1));
        });
        if (faults_.replyMac) {
            for (Reply& r : out) r.bytes.replace(kMacOffset, kMacSize, *faults_.replyMac);
        }
    }

    if (faults_.noAnswer) out.clear();
    if (faults_.duplicate) {
        std::vector<Reply> twice;
        twice.reserve(out.size() * 2);
        for (const Reply& r : out) {
            twice.push_back(r);
            twice.push_back(r);
        }
        out.swap(twice);
    }
    return out;
}

void EmulatedFleet::firmware(EmulatedDevice& device, const QByteArray& datagram,
                             std::vector<Reply>& out) {
    const auto frame = FirmwareFrame::decode(datagram);
    if (!frame) {
        // Unreadable fields or sizes that do not add up: refused, echoing the block number
        // when there is one.
        const auto block = FirmwareReply::decode(datagram).block;
        const std::int32_t echo =
            block && *block >= 0 && *block <= 99999999 ? static_cast<std::int32_t>(*block) : 0;
        out.push_back({FirmwareReply::encode(device.mac(), echo, 1)});
        return;
    }
    const long long silentFrom = faults_.silentFromBlock;
    if (silentFrom >= 0 && (frame->final || frame->block >= silentFrom)) return;
    if (!frame->final && frame->block == faults_.refuseBlock) {
        out.push_back({FirmwareReply::encode(device.mac(), frame->block, 1)});
        return;
    }
    switch (device.firmware().take(*frame)) {
        case FirmwareReceiver::Verdict::Accepted:
            out.push_back({FirmwareReply::encode(device.mac(), frame->block, 0)});
            break;
        case FirmwareReceiver::Verdict::Refused:
            out.push_back({FirmwareReply::encode(device.mac(), frame->block, 1)});
            break;
        case FirmwareReceiver::Verdict::ImageComplete:
            notify(device, Change::FirmwareImage);
            out.push_back(
                {FirmwareReply::encode(device.mac(), frame->block, 0), faults_.finalDelayMs});
            break;
        case FirmwareReceiver::Verdict::ImageBad:
            notify(device, Change::FirmwareImageBad, device.firmware().lastReason());
            out.push_back(
                {FirmwareReply::encode(device.mac(), frame->block, 1), faults_.finalDelayMs});
            break;
    }
}

}  // namespace velomar::emu
