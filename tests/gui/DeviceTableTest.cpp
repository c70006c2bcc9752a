#include <QAction>
#include <QClipboard>
#include <QFile>
#include <QHeaderView>
#include <QTemporaryDir>

#include "DetectTestUtil.h"
#include "support/FindWidget.h"
#include "support/Isolation.h"

using namespace velomar;
using namespace velomar::test;
using Col = DeviceTableModel::Column;

namespace {

class DeviceTable : public DetectTest {};

TEST_F(DeviceTable, ShowsTheColumnsWithTheirTitlesWidthsAndLook) {
    QTableView* grid = Find<DeviceTableView>(window, "RGrid");
    const QStringList titles = {"Model",       "MAC Address", "Version",
                                "Device Name", "IP Address",  "Subnet Mask",
                                "Gateway",     "Pelorin IP",  "Apply"};
    const int widths[] = {107, 119, 80, 150, 107, 103, 106, 98, 87};
    for (int c = 0; c < 9; ++c) {
        EXPECT_EQ(model().headerData(c, Qt::Horizontal, Qt::DisplayRole).toString(), titles[c]);
        EXPECT_EQ(grid->columnWidth(c), widths[c]) << c;
        EXPECT_FALSE(grid->isColumnHidden(c)) << c;
    }
    for (int c = 9; c < 12; ++c) EXPECT_TRUE(grid->isColumnHidden(c)) << c;
    EXPECT_EQ(grid->horizontalHeader()->height(), 21);
    EXPECT_EQ(grid->selectionBehavior(), QAbstractItemView::SelectRows);

    addDevices(3);
    EXPECT_EQ(grid->rowHeight(1), 20);
    // The selection keeps its light green and black text when the table loses the focus.
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
        EXPECT_EQ(grid->palette().color(group, QPalette::Highlight), QColor(204, 255, 204));
        EXPECT_EQ(grid->palette().color(group, QPalette::HighlightedText), QColor(Qt::black));
    }
    EXPECT_EQ(model().data(cell(0, Col::ColMac), Qt::TextAlignmentRole).toInt(),
              int(Qt::AlignCenter));
    // Values live in the items, where assistive tools read them.
    EXPECT_EQ(model().data(cell(2, Col::ColMac), Qt::AccessibleTextRole).toString(),
              "00-1A-2B-3C-4D-02");
    EXPECT_EQ(model().data(cell(2, Col::ColApply), Qt::CheckStateRole).toInt(), Qt::Unchecked);
}

// A name is anybody's text: its control and bidirectional characters show as escapes, in
// the cell, to assistive tools and in the editor, and an editor left alone keeps the bytes.
TEST_F(DeviceTable, AHostileNameShowsEscapedAndStaysAsItCame) {
    const QString hostile = QStringLiteral("\x1b]0;owned\a") + QChar(0x202E) + "exe.txt";
    window->UDPServerUDPRead(DeviceReply(0, hostile.toUtf8()), {}, 2057);
    window->TakeReceivedDevices();
    const QString escaped = R"(\x1b]0;owned\x07\u202eexe.txt)";
    EXPECT_EQ(shown(0, Col::ColName), escaped);
    EXPECT_EQ(model().data(cell(0, Col::ColName), Qt::AccessibleTextRole).toString(), escaped);
    goTo(0, Col::ColName);
    QTest::keyClick(Find<DeviceTableView>(window, "RGrid"), Qt::Key_F2);
    ASSERT_NE(editor(), nullptr);
    EXPECT_EQ(editor()->text(), escaped);
    commit();
    EXPECT_EQ(text(0, Col::ColName), hostile);
    goTo(0, Col::ColName);
    type("L");
    commit();
    EXPECT_EQ(text(0, Col::ColName), "L");
}

TEST_F(DeviceTable, OnlyNameAddressesAndApplyAreEditable) {
    addDevices(1);
    for (int c = 0; c < DeviceTableModel::ColumnCount; ++c) {
        const auto flags = model().flags(cell(0, c));
        const bool text = c >= Col::ColName && c <= Col::ColPelorin;
        EXPECT_EQ(bool(flags & Qt::ItemIsEditable), text) << c;
        EXPECT_EQ(bool(flags & Qt::ItemIsUserCheckable), c == Col::ColApply) << c;
    }
    // Typing on a read-only cell opens nothing.
    goTo(0, Col::ColModel);
    type("X");
    EXPECT_FALSE(Find<DeviceTableView>(window, "RGrid")->isEditing());
    EXPECT_EQ(shown(0, Col::ColModel), "VM-2100");
}

TEST_F(DeviceTable, KeyFilterPassesOnlyAddressCharactersInAddressColumns) {
    // The filter itself, column by column.
    for (int c = Col::ColModel; c <= Col::ColName; ++c) {
        for (QChar k : QStringLiteral("aZ-# .5%'"))
            EXPECT_TRUE(DeviceTableModel::keyPasses(c, k)) << c;
    }
    for (int c = Col::ColIp; c <= Col::ColPelorin; ++c) {
        for (QChar k : QStringLiteral("0123456789.%'\b"))
            EXPECT_TRUE(DeviceTableModel::keyPasses(c, k)) << c;
        for (QChar k : QStringLiteral("aZ-# ,&(/:"))
            EXPECT_FALSE(DeviceTableModel::keyPasses(c, k)) << c;
    }

    // And as the user meets it: letters vanish from an address, '%' gets through.
    addDevices(2);
    for (int c = Col::ColIp; c <= Col::ColPelorin; ++c) {
        goTo(1, c);
        type("1a0.b%'-9");
        commit();
        EXPECT_EQ(text(1, c), "10.%'9") << c;
    }
    goTo(0, Col::ColName);
    type("Ab-1 %");
    commit();
    EXPECT_EQ(text(0, Col::ColName), "Ab-1 %");
}

TEST_F(DeviceTable, RGridKeyPressDiscardsByTheCurrentColumn) {
    addDevices(1);
    goTo(0, Col::ColGateway);
    QChar key = 'x';
    window->RGridKeyPress(key);
    EXPECT_TRUE(key.isNull());
    key = '7';
    window->RGridKeyPress(key);
    EXPECT_EQ(key, QChar('7'));
    goTo(0, Col::ColName);
    key = 'x';
    window->RGridKeyPress(key);
    EXPECT_EQ(key, QChar('x'));
}

TEST_F(DeviceTable, PastedLettersDoNotGetIntoAnAddressCell) {
    addDevices(1);
    goTo(0, Col::ColMask);
    QTest::keyClick(Find<DeviceTableView>(window, "RGrid"), Qt::Key_F2);
    ASSERT_NE(editor(), nullptr);
    editor()->clear();
    QApplication::clipboard()->setText(QStringLiteral("25x5.2y55.abc255.0"));
    QTest::keyClick(editor(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(editor()->text(), "255.255.255.0");
    commit();
    EXPECT_EQ(text(0, Col::ColMask), "255.255.255.0");

    // The name takes whatever is pasted, cut to its 32 characters.
    goTo(0, Col::ColName);
    QTest::keyClick(Find<DeviceTableView>(window, "RGrid"), Qt::Key_F2);
    ASSERT_NE(editor(), nullptr);
    editor()->clear();
    QApplication::clipboard()->setText(QString(40, QChar('n')));
    QTest::keyClick(editor(), Qt::Key_V, Qt::ControlModifier);
    commit();
    EXPECT_EQ(text(0, Col::ColName), QString(32, QChar('n')));
}

TEST_F(DeviceTable, TypedTextIsCutToTheColumnWidth) {
    addDevices(1);
    goTo(0, Col::ColIp);
    type("12345678901234567890");
    commit();
    EXPECT_EQ(text(0, Col::ColIp), "123456789012345");
    goTo(0, Col::ColName);
    type(QString(40, QChar('k')));
    commit();
    EXPECT_EQ(text(0, Col::ColName), QString(32, QChar('k')));
}

TEST_F(DeviceTable, FirstTypedCharacterTicksApplyOfThatRowOnly) {
    addDevices(4);
    goTo(2, Col::ColName);
    type("Z");
    // At once, before the edit is committed.
    ASSERT_NE(editor(), nullptr);
    for (int r = 0; r < 4; ++r) EXPECT_EQ(model().entry(r).apply, r == 2) << r;
    commit();
    EXPECT_EQ(text(2, Col::ColName), "Z");

    // While the row is being edited, the user may untick it and it stays so.
    model().setData(cell(2, Col::ColApply), Qt::Unchecked, Qt::CheckStateRole);
    goTo(2, Col::ColIp);
    type("1");
    commit();
    EXPECT_FALSE(model().entry(2).apply);

    // Leaving the row ends that editing; changing it anew ticks it again.
    goTo(3, Col::ColName);
    goTo(2, Col::ColName);
    type("Q");
    EXPECT_TRUE(model().entry(2).apply);
    commit();
    EXPECT_FALSE(model().entry(3).apply);
}

TEST_F(DeviceTable, ClickOnApplyOfAFreshRowTogglesIt) {
    addDevices(2);
    goTo(1, Col::ColApply);
    model().setData(cell(1, Col::ColApply), Qt::Checked, Qt::CheckStateRole);
    EXPECT_TRUE(model().entry(1).apply);
    model().setData(cell(1, Col::ColApply), Qt::Unchecked, Qt::CheckStateRole);
    EXPECT_FALSE(model().entry(1).apply);
    EXPECT_FALSE(model().entry(0).apply);
}

TEST_F(DeviceTable, ApplyBoxInTheMiddleOfItsCellTogglesOnClickAndSpace) {
    addDevices(2);
    QTableView* grid = Find<DeviceTableView>(window, "RGrid");
    const QRect cellRect = grid->visualRect(cell(1, Col::ColApply));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cellRect.center());
    EXPECT_TRUE(model().entry(1).apply);
    // Beside the box the click only selects the row.
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cellRect.topLeft() + QPoint(3, 3));
    EXPECT_TRUE(model().entry(1).apply);
    EXPECT_EQ(window->SelectedRow(), 1);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cellRect.center());
    EXPECT_FALSE(model().entry(1).apply);
    goTo(0, Col::ColApply);
    QTest::keyClick(grid, Qt::Key_Space);
    EXPECT_TRUE(model().entry(0).apply);
    EXPECT_FALSE(model().entry(1).apply);
}

TEST_F(DeviceTable, LettersTypedIntoAnAddressCellChangeNothing) {
    addDevices(1);
    goTo(0, Col::ColIp);
    type("abc");
    EXPECT_FALSE(Find<DeviceTableView>(window, "RGrid")->isEditing());
    EXPECT_EQ(text(0, Col::ColIp), "198.18.1.10");
    EXPECT_FALSE(model().entry(0).apply);
}

TEST_F(DeviceTable, KeyboardMovesSkipReadOnlyCells) {
    addDevices(2);
    QTableView* grid = Find<DeviceTableView>(window, "RGrid");
    goTo(0, Col::ColName);
    QTest::keyClick(grid, Qt::Key_Left);
    EXPECT_EQ(grid->currentIndex().column(), Col::ColName);
    for (int c = Col::ColIp; c <= Col::ColApply; ++c) {
        QTest::keyClick(grid, Qt::Key_Right);
        EXPECT_EQ(grid->currentIndex().column(), c);
    }
    QTest::keyClick(grid, Qt::Key_Right);
    EXPECT_EQ(grid->currentIndex().column(), Col::ColApply);
    // Tab past the row's last editable cell leaves the table; the row stays current.
    QTest::keyClick(grid, Qt::Key_Tab);
    EXPECT_EQ(grid->currentIndex(), cell(0, Col::ColApply));
    EXPECT_FALSE(grid->hasFocus());
    // From a read-only cell an arrow lands on an editable one.
    goTo(0, Col::ColMac);
    QTest::keyClick(grid, Qt::Key_Down);
    EXPECT_EQ(grid->currentIndex(), cell(1, Col::ColName));
    EXPECT_EQ(window->SelectedRow(), 1);
    QTest::keyClick(grid, Qt::Key_Up);
    EXPECT_EQ(window->SelectedRow(), 0);
}

TEST_F(DeviceTable, DoubleClickOpensNoEditor) {
    addDevices(1);
    QTableView* grid = Find<DeviceTableView>(window, "RGrid");
    const QPoint p = grid->visualRect(cell(0, Col::ColName)).center();
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, p);
    EXPECT_FALSE(Find<DeviceTableView>(window, "RGrid")->isEditing());
    EXPECT_EQ(text(0, Col::ColName), "Port-A");
}

TEST_F(DeviceTable, TextsShowUpToTheirFirstNulAndAreCutToTheirWidth) {
    DiscoveryReply r = *DiscoveryReply::decode(DeviceReply(7, QByteArray(32, '\0')));
    r.version = "12345678";
    r.model = "ABCDEFGHIJKLMNOPQRST";
    window->UDPServerUDPRead(r.encode(), {}, 2057);
    window->TakeReceivedDevices();
    EXPECT_EQ(text(0, Col::ColName), QString(31, QChar(0)));
    EXPECT_EQ(model().data(cell(0, Col::ColName), Qt::DisplayRole).toString(), "");
    EXPECT_EQ(model().data(cell(0, Col::ColVersion), Qt::DisplayRole).toString(), "1234567");
    EXPECT_EQ(model().data(cell(0, Col::ColModel), Qt::DisplayRole).toString(), "ABCDEFGHIJKLMNOP");
    EXPECT_EQ(text(0, Col::ColKnownIp), "198.18.1.17");

    // Opening and closing the name's editor without a change keeps the stored text.
    goTo(0, Col::ColName);
    QTest::keyClick(Find<DeviceTableView>(window, "RGrid"), Qt::Key_F2);
    commit();
    EXPECT_EQ(text(0, Col::ColName), QString(31, QChar(0)));
    EXPECT_FALSE(model().entry(0).apply);
}

TEST_F(DeviceTable, ClearDevicesEmptiesTableButKeepsTheCounterLabel) {
    addDevices(6);
    EXPECT_EQ(window->DeviceCount(), 6);
    EXPECT_EQ(Find<QLabel>(window, "lblcount")->text(), "Current : 6");
    EXPECT_EQ(window->SelectedRow(), 0);
    EXPECT_EQ(Find<DeviceTableView>(window, "RGrid")->currentIndex().row(), 0);
    goTo(4, Col::ColName);
    EXPECT_EQ(window->SelectedRow(), 4);
    window->ClearDevices();
    EXPECT_EQ(window->DeviceCount(), 0);
    EXPECT_EQ(model().rowCount(), 0);
    EXPECT_EQ(window->SelectedRow(), 0);
    EXPECT_EQ(Find<QLabel>(window, "lblcount")->text(), "Current : 6");
    // The same device again is new after the emptying.
    addDevices(1, 4);
    EXPECT_EQ(window->DeviceCount(), 1);
    EXPECT_EQ(Find<QLabel>(window, "lblcount")->text(), "Current : 1");
}

TEST_F(DeviceTable, NewSearchAfterSelectingTheFifthRowResetsSelectedRow) {
    VELOMAR_REQUIRE_ISOLATION();
    addDevices(8);
    goTo(4, Col::ColIp);
    ASSERT_EQ(window->SelectedRow(), 4);
    Find<QPushButton>(window, "FlatButton2")->click();
    EXPECT_TRUE(rec.boxes().isEmpty()) << rec.boxes().join('|').toStdString();
    EXPECT_EQ(window->SelectedRow(), 0);
    EXPECT_EQ(window->DeviceCount(), 0);
    EXPECT_EQ(model().rowCount(), 0);
    Find<QPushButton>(window, "FlatButton6")->click();
}

TEST_F(DeviceTable, DuplicateRepliesGiveOneRow) {
    window->UDPServerUDPRead(DeviceReply(3), {}, 2057);
    window->UDPServerUDPRead(DeviceReply(3), {}, 2057);
    window->TakeReceivedDevices();
    window->UDPServerUDPRead(DeviceReply(3), {}, 2057);
    window->UDPServerUDPRead(DeviceReply(4), {}, 2057);
    window->TakeReceivedDevices();
    EXPECT_EQ(window->DeviceCount(), 2);
    EXPECT_EQ(Find<QLabel>(window, "lblcount")->text(), "Current : 2");
    EXPECT_EQ(text(1, Col::ColMac), "00-1A-2B-3C-4D-04");
    // A reply one byte short of its fields, or another letter, is no device.
    window->UDPServerUDPRead(DeviceReply(5).chopped(1), {}, 2057);
    QByteArray other = DeviceReply(6);
    other[1] = 'n';
    window->UDPServerUDPRead(other, {}, 2057);
    window->TakeReceivedDevices();
    EXPECT_EQ(window->DeviceCount(), 2);
}

}  // namespace

namespace {
// A window whose one local address is 127.0.0.1: its subnet is 127.0.0.0/8.
class DeviceTableProblems : public DetectTest {
  protected:
    DetectNetwork network() const override { return DetectNetwork{{"127.0.0.1"}, kTestPort}; }
    void found(const QStringList& ips) {
        window->ClearDevices();
        for (int n = 0; n < ips.size(); ++n)
            window->UDPServerUDPRead(DeviceReply(n, "Port-A", ips[n]), {}, 2057);
        window->TakeReceivedDevices();
        window->SetSearching(false);  // the search ends
    }
    QVariant ipData(int row, int role) { return model().data(cell(row, Col::ColIp), role); }
};
}  // namespace

TEST_F(DeviceTableProblems, SharedAndUnreachableAddressesAreMarkedAndSummedUnderTheTable) {
    VELOMAR_REQUIRE_ISOLATION();
    found({"127.0.0.20", "127.0.0.21", "127.0.0.20", "198.18.16.5"});
    auto* line = Find<QLabel>(window, "lblproblems");
    EXPECT_TRUE(line->isVisible());
    EXPECT_EQ(line->text(),
              "2 devices share 127.0.0.20; 1 device is outside this computer's subnets");
    EXPECT_EQ(shown(0, Col::ColIp), "127.0.0.20") << "the marker changed the address shown";
    EXPECT_FALSE(ipData(0, Qt::DecorationRole).isNull());
    EXPECT_EQ(ipData(0, Qt::ToolTipRole).toString(),
              "IP 127.0.0.20 is also held by 00-1A-2B-3C-4D-02");
    EXPECT_EQ(ipData(2, Qt::AccessibleDescriptionRole).toString(),
              "IP 127.0.0.20 is also held by 00-1A-2B-3C-4D-00");
    EXPECT_EQ(ipData(3, Qt::AccessibleDescriptionRole).toString(),
              "198.18.16.5 is outside this computer's subnets");
    EXPECT_TRUE(ipData(1, Qt::DecorationRole).isNull());
    EXPECT_TRUE(ipData(1, Qt::ToolTipRole).isNull());

    found({"127.0.0.20", "127.0.0.21"});
    EXPECT_FALSE(line->isVisible());
    EXPECT_TRUE(ipData(0, Qt::DecorationRole).isNull());
}

// A keyboard user: leaving the table by Tab keeps the row chosen, Ctrl+Tab leaves at once,
// Return opens the chosen row's dialog, F5 searches.
TEST_F(DeviceTable, TheKeyboardLeavesTheTableWithTheRowChosenAndOpensIt) {
    addDevices(3);
    auto* grid = Find<DeviceTableView>(window, "RGrid");
    goTo(0, Col::ColName);
    QTest::keyClick(grid, Qt::Key_Down);
    EXPECT_EQ(window->SelectedRow(), 1);
    int tabs = 0;
    while (grid->hasFocus() && tabs < 20) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        ++tabs;
    }
    EXPECT_EQ(tabs, 6) << "Tab goes through the row's five editable cells, then out";
    EXPECT_EQ(window->SelectedRow(), 1);
    EXPECT_EQ(grid->currentIndex().row(), 1);

    goTo(1, Col::ColIp);
    QTest::keyClick(grid, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_FALSE(grid->hasFocus());
    goTo(1, Col::ColIp);
    QTest::keyClick(grid, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_FALSE(grid->hasFocus());
    EXPECT_EQ(window->SelectedRow(), 1);

    // Return outside an edit opens the row, as a double-click does: it asks for the port
    // the open search holds, so the dialog is refused here; what matters is which row.
    goTo(2, Col::ColName);
    bool opened = false;
    QObject::connect(grid, &DeviceTableView::rowOpened, [&] { opened = true; });
    QTest::keyClick(grid, Qt::Key_Return);
    EXPECT_TRUE(opened);
    EXPECT_EQ(window->SelectedRow(), 2);
    QTest::keyClick(grid, Qt::Key_F2);
    EXPECT_TRUE(grid->isEditing()) << "F2 still edits";
    opened = false;
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_FALSE(opened) << "Return ending an edit opened the dialog";
    EXPECT_EQ(Find<QPushButton>(window, "FlatButton2")->toolTip(), "Search (F5)");
}

// Rows to copy and save: Ctrl+C copies the current row with a header, the context menu
// copies all rows or saves the list as velomar-cli search --format csv writes it.
TEST_F(DeviceTable, RowsAreCopiedAndTheListSavedAsTheCommandLineWritesIt) {
    addDevices(2);
    auto* grid = Find<DeviceTableView>(window, "RGrid");
    goTo(1, Col::ColName);
    QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier);
    const QString header =
        "Model\tMAC Address\tVersion\tDevice Name\tIP Address\tSubnet Mask\tGateway\tPelorin IP\n";
    EXPECT_EQ(QApplication::clipboard()->text(),
              header +
                  "VM-2100\t00-1A-2B-3C-4D-01\t1.2.3\tPort-A\t198.18.1.11\t255.255.255.0\t"
                  "198.18.1.1\t198.18.1.2\n");
    QStringList texts;
    for (QAction* a : grid->actions()) texts << a->text();
    EXPECT_EQ(texts,
              (QStringList{"Copy", "Copy all rows", QString("Save list as CSV") + QChar(0x2026)}));
    EXPECT_EQ(grid->contextMenuPolicy(), Qt::ActionsContextMenu);
    grid->actions()[1]->trigger();
    EXPECT_EQ(QApplication::clipboard()->text().count('\n'), 3);

    QTemporaryDir dir;
    rec.fileAnswers.enqueue(dir.filePath("list.csv"));
    grid->actions()[2]->trigger();
    EXPECT_EQ(rec.events.last().dialog.filters.first(), "All files (*.*)");
    QFile saved(dir.filePath("list.csv"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = saved.readAll().split('\n');
    ASSERT_EQ(lines.size(), 4);  // header, two rows, the last line's end
    EXPECT_EQ(lines[0],
              "model,mac,version,name,ip,mask,gateway,pelorin_ip,local_address,raw_model,"
              "raw_mac,raw_version,raw_name,raw_ip,raw_mask,raw_gateway,raw_pelorin_ip,"
              "problems");
    EXPECT_TRUE(
        lines[1].startsWith("VM-2100,00-1A-2B-3C-4D-00,1.2.3,Port-A,198.18.1.10,"
                            "255.255.255.0,198.18.1.1,198.18.1.2,,564d2d32313030"))
        << lines[1].toStdString();
}
