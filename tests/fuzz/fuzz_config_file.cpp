// The configuration file codec on arbitrary files: it accepts exactly the files that hold
// the network frame and the frames of every port it counts, gives those frames as the file's
// first bytes, and never reads past a file's end. The dialog and the emulator read files
// through this codec, then hand each frame to its record's decoder.
#include "FuzzSupport.h"
#include "protocol/ConfigFile.h"
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
    return 0;
}
