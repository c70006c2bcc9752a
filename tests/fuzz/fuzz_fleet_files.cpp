// The files the fleet commands read back, on arbitrary bytes: a report (firmware --resume
// takes it, JSON or CSV) and a backup folder's inventory and device file. A refused report
// is one of our errors; what is read has a 6-byte MAC and a result, and a backup keeps only
// files named by a MAC that decode, naming the rest as problems.
#include "FuzzSupport.h"
#include "core/FleetFiles.h"
#include "protocol/Errors.h"

using namespace velomar;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes = fuzz::Bytes(data, size);
    try {
        for (const ReportedResult& r : ReadResultReport(bytes, QStringLiteral("r.json")))
            fuzz::Check(r.mac.size() == 6 && !r.result.isEmpty());
    } catch (const Error&) {
    }
    // The first half as the inventory, the rest as one device's file.
    const qsizetype half = bytes.size() / 2;
    const Backup b = ReadBackup({{QStringLiteral("inventory.json"), bytes.left(half)},
                                 {QStringLiteral("00-1A-2B-3C-4D-5E.vlm"), bytes.mid(half)},
                                 {QStringLiteral("notes.vlm"), bytes}});
    fuzz::Check(b.devices.size() + b.problems.size() >= 1 && b.devices.size() <= 1);
    return 0;
}
