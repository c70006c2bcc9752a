// Importing a configuration file from anywhere: a file that does not hold a whole
// configuration is refused with one of our errors, and a refused file changes nothing.
#include <QFile>
#include <QTableView>
#include <QTemporaryDir>

#include "FuzzSupport.h"
#include "config/UnitConfigure.h"
#include "support/RecordingPlatform.h"
#include "protocol/Errors.h"

using namespace velomar;

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::Init(true);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static RecordingPlatform* recorder = [] {
        auto* r = new RecordingPlatform;
        setPlatform(r);
        return r;
    }();
    static TConfigForm* form = new TConfigForm(nullptr, ConfigNetwork{{}, 2057, 2057});
    static QTemporaryDir* dir = new QTemporaryDir;
    recorder->clear();
    const QString path = dir->filePath(QStringLiteral("fuzz.vlm"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) std::abort();
        f.write(fuzz::Bytes(data, size));
    }
    // What the dialog holds, as the file it would export (or the reason it cannot).
    auto snapshot = [] {
        try {
            return form->ConfigurationFile();
        } catch (const Error& e) {
            return QByteArray("cannot encode: ") + e.text().toUtf8();
        }
    };
    const int portsBefore = form->PortCount();
    const QByteArray fileBefore = snapshot();
    try {
        form->ImportFromFile(path, QStringLiteral("VM2100"), QStringLiteral("00-1A-2B-3C-4D-5E"),
                             QStringLiteral("1.0"));
        // An accepted file holds at least the frames of its port count.
        fuzz::Check(static_cast<qsizetype>(size) >= 81 + 57LL * form->PortCount());
    } catch (const Error&) {
        // A refused file that is too short for its port count leaves the dialog as it was;
        // one whose records do not decode stops where the decoder stopped.
        if (size < 81 || static_cast<qsizetype>(size) < 81 + 57LL * static_cast<unsigned char>(data[78])) {
            fuzz::Check(form->PortCount() == portsBefore);
            fuzz::Check(snapshot() == fileBefore);
        }
    }
    for (QTableView* grid : form->findChildren<QTableView*>()) {
        fuzz::Check(grid->model()->rowCount() == form->PortCount());
    }
    return 0;
}
