// The configuration dialog's reply dispatch on arbitrary datagrams: the three record
// decoders, the apply reply and everything in between. Half of the datagrams carry the
// target MAC so that they get past the address test.
#include <QTableView>

#include "FuzzSupport.h"
#include "config/UnitConfigure.h"
#include "protocol/Codecs.h"
#include "support/RecordingPlatform.h"

using namespace velomar;

namespace {
const QString kMacText = QStringLiteral("00-1A-2B-3C-4D-5E");
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::Init(true);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static RecordingPlatform* recorder = [] {
        auto* r = new RecordingPlatform;
        setPlatform(r);
        return r;
    }();
    static TConfigForm* form = [] {
        auto* f = new TConfigForm(nullptr, ConfigNetwork{{}, 2057, 2057});
        f->OpenForDevice(QStringLiteral("VM2100"), kMacText, QStringLiteral("1.0"));
        return f;
    }();
    recorder->clear();
    const QByteArray mac = TargetMac(kMacText);
    const QList<QByteArray> datagrams = fuzz::Bytes(data, size).split('\xFE');
    for (int i = 0; i < datagrams.size(); ++i) {
        QByteArray d = datagrams[i];
        if (i % 2 == 0 && d.size() >= 8) d.replace(2, 6, mac);
        form->ConfigUDPUDPRead(d);
    }
    // Nothing the dialog posted for the event loop stays queued for the next input.
    QCoreApplication::sendPostedEvents();
    // The grids always hold one row per serial port of the last network record.
    const auto grids = form->findChildren<QTableView*>();
    for (QTableView* grid : grids) fuzz::Check(grid->model()->rowCount() == form->PortCount());
    return 0;
}
