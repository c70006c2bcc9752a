// The main window's read handler on arbitrary datagrams, several per input: the table
// only ever grows by whole entries and the count always matches its rows. What the handler
// posts for the event loop (the take timer's start) is delivered within the input, as the
// loop would: left queued, it piled up over millions of inputs and slowed every one.
#include "FuzzSupport.h"
#include "app/UnitDetect.h"

using namespace velomar;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::Init(true);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static TFormDetect* window = new TFormDetect(DetectNetwork{{}, 2057});
    window->ClearDevices();
    // An input holds several datagrams separated by the byte 0xFE.
    const QList<QByteArray> datagrams = fuzz::Bytes(data, size).split('\xFE');
    const QString sender = QStringLiteral("198.18.0.2");
    for (const QByteArray& d : datagrams) window->UDPServerUDPRead(d, sender, 2057);
    QCoreApplication::sendPostedEvents();
    window->TakeReceivedDevices();
    fuzz::Check(window->DeviceCount() == window->devices().rowCount());
    fuzz::Check(window->DeviceCount() <= datagrams.size());
    return 0;
}
