#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QTemporaryDir>
#include <QTest>

#include "platform/Platform.h"

using namespace velomar;

namespace {

// The names the dialog lists in its folder, once it lists `expected` or has had its time.
QStringList Listed(QFileDialog& dialog, const QStringList& expected) {
    auto* files = dialog.findChild<QFileSystemModel*>();
    const QModelIndex folder = files->index(dialog.directory().absolutePath());
    auto names = [&] {
        QStringList n;
        for (int r = 0; r < files->rowCount(folder); ++r)
            n << files->index(r, 0, folder).data().toString();
        n.sort();
        return n;
    };
    (void)QTest::qWaitFor([&] { return names() == expected; }, 5000);
    return names();
}

}  // namespace

TEST(FileDialog, AllFilesListsAnImageWithoutADotUnderItsOwnCaption) {
    QTemporaryDir dir;
    for (const char* name : {"image", "vm2100.bin"}) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    const auto dialog = MakeFileDialog(
        nullptr,
        FileDialogRequest{
            "Upgrade Firmware", "vm2100.bin", "bin", {"All files (*.*)", "Firmware File (*.bin)"}},
        false);
    dialog->setDirectory(dir.path());
    auto* types = dialog->findChild<QComboBox*>("fileTypeCombo");
    ASSERT_NE(types, nullptr);
    EXPECT_EQ(types->currentText(), "All files (*.*)");
    const QStringList all{"image", "vm2100.bin"};
    EXPECT_EQ(Listed(*dialog, all), all);

    // The user picks the firmware filter, then all files again.
    QTest::keyClick(types, Qt::Key_Down);
    EXPECT_EQ(Listed(*dialog, {"vm2100.bin"}), QStringList{"vm2100.bin"});
    QTest::keyClick(types, Qt::Key_Up);
    EXPECT_EQ(types->currentText(), "All files (*.*)");
    EXPECT_EQ(Listed(*dialog, all), all);
}
