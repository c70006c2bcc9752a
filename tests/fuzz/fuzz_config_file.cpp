// The configuration file codec on arbitrary files: it accepts exactly the files that hold
// the network frame and the frames of every port it counts, gives those frames as the file's
// first bytes, and never reads past a file's end. The dialog, the emulator and the
// command-line tool (config import and diff, through DecodeConfigFile) read files through
// this codec, then hand each frame to its record's decoder. What the tool reads is one of
// our errors or a configuration that it writes back as a file it reads again.
#include "FuzzSupport.h"
#include "core/DeviceConfig.h"
#include "protocol/ConfigFile.h"
#include "protocol/Errors.h"
#include "protocol/NetworkRecord.h"
#include "protocol/OperationRecord.h"
#include "protocol/SerialRecord.h"

using namespace velomar;

template <typename Record>
void checkFrames(const QList<QByteArray>& frames, int count) {
    fuzz::Check(frames.size() == count);
    for (const QByteArray& f : frames) fuzz::Check(f.size() == Record::kSize);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray file = fuzz::Bytes(data, size);
    const auto frames = ConfigFile::decode(file);
    const int ports = size > ConfigFile::kPortCountOffset ? data[ConfigFile::kPortCountOffset] : 0;
    const qsizetype needed =
        NetworkRecord::kSize + ports * (OperationRecord::kSize + SerialRecord::kSize);
    const bool complete = file.size() >= NetworkRecord::kSize && file.size() >= needed;
    fuzz::Check(frames.has_value() == complete);
    fuzz::Check(ConfigFile::shortfall(file).isEmpty() == complete);
    if (!frames) return 0;
    fuzz::Check(frames->network.size() == NetworkRecord::kSize);
    checkFrames<OperationRecord>(frames->operation, ports);
    checkFrames<SerialRecord>(frames->serial, ports);
    fuzz::Check(file.startsWith(frames->encode()));
    DeviceConfig config;
    try {
        config = DecodeConfigFile(file, QStringLiteral("device.vlm"));
    } catch (const Error&) {
        return 0;  // a record for a port the file does not have
    }
    fuzz::Check(config.operations.size() == static_cast<size_t>(ports));
    const QByteArray mac = frames->network.mid(2, 6);
    const DeviceConfig again = DecodeConfigFile(EncodeConfigFile(config, mac), QString());
    fuzz::Check(again.serials.size() == static_cast<size_t>(ports));
    return 0;
}
