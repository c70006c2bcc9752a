// velomar-demo: drives the real main window and configuration dialog the way a user would
// (search, pick a device, open its dialog, look at every tab), prints what the windows show
// as text and saves a picture of each. Started by scripts/demo --headless inside the lab's
// workstation namespace, next to a tervane-emu fleet; it refuses to run anywhere else.
#include <QAbstractItemModel>
#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QHash>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTableView>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <functional>

#include "app/UnitDetect.h"
#include "config/NetworkTab.h"
#include "config/UnitConfigure.h"
#include "lab/NetworkGuard.h"
#include "support/FindWidget.h"
#include "support/RecordingPlatform.h"

using namespace velomar;
using velomar::test::Find;

namespace {

void print(const QString& text) {
    std::fputs(text.toUtf8().constData(), stdout);
    std::fflush(stdout);
}

// Lets the windows work (replies arrive, timers fire, paint) until `done` or the deadline.
bool runUntil(const std::function<bool()>& done, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

void settle(int ms) {
    runUntil([] { return false; }, ms);
}

// A model as a text table: the visible columns of `view`, headers first, cells as shown
// (a check-state cell as [x] or [ ]).
QString modelText(const QTableView& view) {
    const QAbstractItemModel* model = view.model();
    QList<int> columns;
    for (int c = 0; c < model->columnCount(); ++c) {
        if (!view.isColumnHidden(c)) columns << c;
    }
    QList<QStringList> rows;
    QStringList header;
    for (int c : columns)
        header << model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    rows << header;
    for (int r = 0; r < model->rowCount(); ++r) {
        QStringList cells;
        for (int c : columns) {
            const QModelIndex index = model->index(r, c);
            const QVariant check = model->data(index, Qt::CheckStateRole);
            QString text = model->data(index, Qt::DisplayRole).toString();
            if (check.isValid()) {
                text = (check.toInt() == Qt::Checked ? QStringLiteral("[x] ")
                                                     : QStringLiteral("[ ] ")) +
                       text;
            }
            // A name may hold anything; keep one row on one line.
            text.replace(QLatin1Char('\n'), QLatin1Char(' '))
                .replace(QLatin1Char('\r'), QLatin1Char(' '));
            cells << text.trimmed();
        }
        rows << cells;
    }
    QList<int> widths(columns.size(), 0);
    for (const QStringList& row : rows) {
        for (int i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], int(row[i].size()));
    }
    QString out;
    for (const QStringList& row : rows) {
        QString line;
        for (int i = 0; i < row.size(); ++i) {
            line += row[i].leftJustified(widths[i] + 2);
        }
        out += line.trimmed() + QLatin1Char('\n');
    }
    return out;
}

// A window picture in at most 256 colours: a window has few colours besides the greys of
// its text's edges, so the most frequent ones keep it sharp at a third of the file size.
QImage fewColours(const QImage& picture) {
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    QHash<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) ++counts[line[x]];
    }
    QList<QPair<int, QRgb>> byCount;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        byCount.append({it.value(), it.key()});
    std::sort(byCount.begin(), byCount.end(),
              [](const auto& a, const auto& b) { return a.first > b.first; });
    QList<QRgb> palette;
    for (int i = 0; i < byCount.size() && i < 256; ++i) palette.append(byCount[i].second);
    return image.convertToFormat(QImage::Format_Indexed8, palette, Qt::ThresholdDither);
}

bool savePicture(QWidget& widget, const QDir& dir, const QString& file) {
    const QString path = dir.filePath(file);
    const bool ok = fewColours(widget.grab().toImage()).save(path, "PNG");
    print(ok ? QStringLiteral("saved %1\n").arg(path)
             : QStringLiteral("velomar-demo: could not save %1\n").arg(path));
    return ok;
}

}  // namespace

int main(int argc, char* argv[]) {
    // The same check as the emulator's: only lab addresses in this network namespace, so a
    // search from here can never reach a real network.
    const QString refusal = emu::LabNetworkRefusal();
    if (!refusal.isEmpty()) {
        std::fprintf(stderr, "velomar-demo: %s\n", qPrintable(refusal));
        return 3;
    }

    QApplication app(argc, argv);
    // As the program itself does: message box caption, not a display name.
    QApplication::setApplicationName(QStringLiteral("Velomar v1.1"));

    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Searches the lab network with the real main window, prints the device table, opens "
        "the configuration dialog of one device and saves a PNG picture of the main window "
        "and of each dialog tab. Runs only in a network namespace with lab addresses "
        "(198.18.0.0/15); scripts/demo --headless starts it."));
    p.addHelpOption();
    const QCommandLineOption outOpt("out", "Folder for the pictures (made if missing).", "dir",
                                    QStringLiteral("."));
    const QCommandLineOption expectOpt(
        "expect", "Devices expected; the search ends early once all have answered.", "n", "0");
    const QCommandLineOption configureOpt(
        "configure", "MAC of the device whose dialog to open (default: the first row).", "mac");
    p.addOption(outOpt);
    p.addOption(expectOpt);
    p.addOption(configureOpt);
    p.process(app);

    const QDir out(p.value(outOpt));
    if (!QDir().mkpath(out.path())) {
        std::fprintf(stderr, "velomar-demo: cannot make %s\n", qPrintable(out.path()));
        return 2;
    }
    const int expected = p.value(expectOpt).toInt();

    // Message boxes are printed instead of waiting for a click nobody makes.
    RecordingPlatform boxes;
    boxes.onBox = [](const RecordingPlatform::Event& e) {
        print(QStringLiteral("message box: %1\n").arg(e.text));
    };
    ScopedPlatform scoped(&boxes);

    TFormDetect window;
    TConfigForm config(&window);
    window.setConfigForm(&config);
    config.hide();
    window.show();
    settle(300);

    int failures = 0;

    // Search, as the "Search" button does; it lasts its 10 s unless every expected device
    // has answered, when the rest of the countdown is ticked through at once.
    print(QStringLiteral("== Search\n"));
    QElapsedTimer searchTime;
    searchTime.start();
    window.FlatButton2Click();
    runUntil(
        [&] {
            return !Find<QTimer>(window, "TimerFIND")->isActive() ||
                   (expected > 0 && window.DeviceCount() >= expected);
        },
        11000);
    settle(300);  // a late answer would still be taken in now
    for (int tick = 0; tick < 10 && Find<QTimer>(window, "TimerFIND")->isActive(); ++tick)
        window.TimerFINDTimer();
    settle(200);
    print(QStringLiteral("%1 devices found in %2 ms\n\n")
              .arg(window.DeviceCount())
              .arg(searchTime.elapsed()));
    print(modelText(*Find<DeviceTableView>(window, "RGrid")));
    print(QStringLiteral("\n"));
    if (expected > 0 && window.DeviceCount() != expected) {
        print(QStringLiteral("velomar-demo: expected %1 devices, found %2\n")
                  .arg(expected)
                  .arg(window.DeviceCount()));
        ++failures;
    }
    if (!savePicture(window, out, QStringLiteral("main-window.png"))) ++failures;

    if (window.DeviceCount() == 0) return 1;

    // Pick the device's row and open its dialog as a double-click does (without modality,
    // so this driver keeps going).
    int row = 0;
    if (p.isSet(configureOpt)) {
        row = -1;
        for (int r = 0; r < window.devices().count(); ++r) {
            if (window.devices()
                    .cellText(r, DeviceTableModel::ColMac)
                    .compare(p.value(configureOpt), Qt::CaseInsensitive) == 0) {
                row = r;
            }
        }
        if (row < 0) {
            print(QStringLiteral("velomar-demo: %1 is not in the table\n")
                      .arg(p.value(configureOpt)));
            return 1;
        }
    }
    Find<DeviceTableView>(window, "RGrid")
        ->setCurrentIndex(window.devices().index(row, DeviceTableModel::ColName));
    Find<DeviceTableView>(window, "RGrid")->selectRow(row);
    settle(200);
    window.RGridDblClick();
    const bool answered = runUntil(
        [&] {
            return config.isVisible() && config.tabPanel1->isEnabled() &&
                   config.tabPanel2->isEnabled() && config.tabPanel3->isEnabled();
        },
        5000);
    settle(400);  // one 'o' and one 'u' per port follow the first ones
    print(
        QStringLiteral("== Configure %1 (%2, firmware %3): %4 serial ports\n")
            .arg(config.MACLabel->text(), config.ProductLabel->text(), config.VersionLabel->text())
            .arg(config.PortCount()));
    if (!answered) {
        print(QStringLiteral("velomar-demo: the device did not answer every record request\n"));
        ++failures;
    }
    const NetworkTab& net = config.networkTab();
    print(QStringLiteral("Network: name \"%1\", %2, IP %3, mask %4, gateway %5, DNS %6\n")
              .arg(net.DeviceNameText->text(), net.NetworkTypeCombo->currentText(),
                   net.IPAddressText->text(), net.SubnetMaskText->text(), net.GatewayText->text(),
                   net.DNSText->text()));
    if (net.LANPortPanel && !net.LANPortPanel->isHidden()) {
        print(QStringLiteral("LAN port: bridge %1, IP %2, mask %3\n")
                  .arg(net.BridgeCombo->currentText(), net.IPAddressText2->text(),
                       net.SubnetMaskText2->text()));
    }

    print(QStringLiteral("\n"));
    const char* files[] = {"config-network.png", "config-operation-mode.png",
                           "config-serial-option.png"};
    for (int tab = 0; tab < config.ConfigTab->count(); ++tab) {
        config.ConfigTab->setCurrentIndex(tab);
        settle(250);
        if (tab == 1)
            print(QStringLiteral("== Operation Mode\n") + modelText(*config.OpGrid) + "\n");
        if (tab == 2)
            print(QStringLiteral("== Serial Option\n") + modelText(*config.SerialGrid) + "\n");
        if (tab < 3 && !savePicture(config, out, QString::fromLatin1(files[tab]))) ++failures;
    }

    config.FlatButton2Click();  // "Cancel"
    settle(100);
    window.close();
    print(failures == 0 ? QStringLiteral("velomar-demo: done\n")
                        : QStringLiteral("velomar-demo: %1 problem(s)\n").arg(failures));
    return failures == 0 ? 0 : 1;
}
