#include "app/FirmwareUpgrade.h"

#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QScopeGuard>
#include <algorithm>
#include <climits>

#include "app/UnitDetect.h"
#include "platform/Platform.h"
#include "protocol/Codecs.h"
#include "protocol/Frame.h"

namespace velomar {

void FirmwareUpgrade::run() {
    TFormDetect& w = window_;
    if (w.DeviceCount() <= 0 || w.SelectedRow() < 0) return;
    w.FUWait->setText(QStringLiteral("Sending Firmware..."));
    w.FUWait->setVisible(true);
    w.CloseUDPServer();
    const QString path = chooseImage();
    if (path.isEmpty()) return;

    w.FlatPanel1->setEnabled(false);
    w.FlatPanel2->setEnabled(false);
    resetProgress(path);
    const std::optional<FirmwareResult> result = send(path);
    if (result && *result != FirmwareResult::Abandoned) {
        platform().showMessage(&w, *result == FirmwareResult::Succeeded
                                       ? QStringLiteral("Updating firmware was successful")
                                       : QStringLiteral("Updating firmware was failed"));
    }
    w.FlatPanel1->setEnabled(true);
    w.FlatPanel2->setEnabled(true);
}

QString FirmwareUpgrade::chooseImage() {
    return platform().openFileName(&window_,
                                   FileDialogRequest{QStringLiteral("Upgrade Firmware"),
                                                     QStringLiteral("vm2100.bin"),
                                                     QStringLiteral("bin"),
                                                     {QStringLiteral("All files (*.*)"),
                                                      QStringLiteral("Firmware File (*.bin)")}});
}

void FirmwareUpgrade::resetProgress(const QString& path) {
    // An empty range would turn the bar into a busy indicator; an empty or unknown image
    // shows 0 % instead.
    const std::int64_t size = FirmwareFileSize(path);
    const std::int64_t shownSize = std::min<std::int64_t>(size, INT_MAX);
    window_.UpdateProgress->setRange(0, shownSize > 0 ? static_cast<int>(shownSize) : 1);
    window_.UpdateProgress->setValue(0);
}

std::optional<FirmwareResult> FirmwareUpgrade::send(const QString& path) {
    TFormDetect& w = window_;
    std::optional<FirmwareResult> result;
    RunGuarded(&w, [&] {
        // A file that cannot be opened, or is too large, is reported before anything is sent.
        const std::unique_ptr<QFile> image = OpenFirmwareImage(path);
        const QByteArray mac =
            TargetMac(w.devices().cellText(w.SelectedRow(), DeviceTableModel::ColMac));
        w.FlatPanel3->show();
        // The panel goes before any message box shows, also when the transfer fails.
        const auto hidePanel = qScopeGuard([&w] { w.FlatPanel3->hide(); });
        // Closing the window during the transfer ends the program, not just the window.
        const CloseWatcher closing(&w);
        FirmwareTransfer transfer(w.firmwareReply(), w.firmwareClock(), hooks(closing));
        result = transfer.run(*image, path, mac);
    });
    return result;
}

FirmwareTransferHooks FirmwareUpgrade::hooks(const CloseWatcher& closing) {
    TFormDetect& w = window_;
    FirmwareTransferHooks hooks;
    hooks.send = [&w](const QByteArray& frame) {
        if (!w.udpServer().isOpen()) w.OpenUDPServer();
        BroadcastFrame(w.interfaceEndpoints(), frame, kDevicePort);
    };
    hooks.pumpEvents = [] { QCoreApplication::processEvents(); };
    hooks.progress = [&w](std::int64_t bytes) {
        w.UpdateProgress->setValue(static_cast<int>(bytes));
    };
    hooks.labelText = [&w](const QString& text) { w.FUWait->setText(text); };
    hooks.labelVisible = [&w](bool visible) { w.FUWait->setVisible(visible); };
    hooks.stopRequested = [&w, &closing] { return closing.closeRequested() && !w.isVisible(); };
    return hooks;
}

}  // namespace velomar
