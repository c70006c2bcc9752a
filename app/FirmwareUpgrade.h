#pragma once

#include <QString>
#include <optional>

#include "app/CloseWatcher.h"
#include "core/FirmwareTransfer.h"

namespace velomar {

class TFormDetect;

// "Upgrade Firmware" in the main window: the image the user picks goes to the selected
// device while the progress panel shows how far it got; a message box tells the result.
// The toolbar and the table are disabled meanwhile; the window repaints, and closing it
// ends the transfer.
class FirmwareUpgrade {
  public:
    explicit FirmwareUpgrade(TFormDetect& window) : window_(window) {}

    // Does nothing without a selected device or when the user cancels the file dialog.
    void run();

  private:
    // The image from the file dialog; empty when cancelled.
    QString chooseImage();
    // The bar counts the image's bytes.
    void resetProgress(const QString& path);
    // Sends the image to the selected device with the progress panel shown. Empty when an
    // error stopped it (its message box has been shown already).
    std::optional<FirmwareResult> send(const QString& path);
    FirmwareTransferHooks hooks(const CloseWatcher& closing);

    TFormDetect& window_;
};

}  // namespace velomar
