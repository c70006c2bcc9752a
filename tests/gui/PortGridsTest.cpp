#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QTableView>

#include "ConfigTestUtil.h"

using namespace velomar;
using namespace velomar::test;

namespace {
using Op = OperationGridModel;
using Se = SerialGridModel;

// The grids with four empty rows, as after a network record of a four-port device; the
// flags lowered so that a test sees only its own changes.
class PortGridsTest : public ConfigTest {
  protected:
    void SetUp() override {
        ConfigTest::SetUp();
        form->DecodeNetworkRecord(NetworkReply());
        form->setAllChanged(false);
    }
    QByteArray mac() { return TargetMac(form->MacText()); }
    // A user's edit, as the grid's editors commit it.
    void edit(RecordGridModel& m, int row, int column, const QString& text) {
        m.setData(m.index(row, column), text, Qt::EditRole);
    }
    QStringList row(RecordGridModel& m, int r) {
        QStringList l;
        for (int c = 0; c < m.columnCount(); ++c)
            l << m.data(m.index(r, c), Qt::DisplayRole).toString();
        return l;
    }
};
}  // namespace

TEST_F(PortGridsTest, ColumnsAreTheGridsOwn) {
    QStringList op, se;
    for (int c = 0; c < this->op().columnCount(); ++c)
        op << this->op().headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    for (int c = 0; c < serial().columnCount(); ++c)
        se << serial().headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    EXPECT_EQ(op, (QStringList{"No", "Port Alias", "Operation", "Src Port", "Type", "Dest IP",
                               "Dest Port", "Alive", "Latency", "Nodelay"}));
    EXPECT_EQ(se, (QStringList{"No", "Interface", "Baudrate", "Data Bit", "Stop Bit", "Parity",
                               "Flow Control"}));
    EXPECT_FALSE(this->op().flags(this->op().index(0, Op::No)) & Qt::ItemIsEditable);
    EXPECT_TRUE(this->op().flags(this->op().index(0, Op::Nodelay)) & Qt::ItemIsUserCheckable);
    EXPECT_EQ(form->OpGrid->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(form->SerialGrid->accessibleName(), "Serial Option");
}

TEST_F(PortGridsTest, OperationWorkedExampleFillsItsRowAndTravelsBack) {
    const QByteArray reply = OperationReply(2, {}, "N/A");
    form->DecodeOperationRecord(reply);
    EXPECT_EQ(row(op(), 2), (QStringList{"3", "Line A", "RFC2217", "10000", "Modem", "192.168.0.20",
                                         "1000", "60", "0", ""}));
    EXPECT_EQ(op().data(op().index(2, Op::Nodelay), Qt::CheckStateRole), Qt::Checked);
    EXPECT_EQ(op().value(2, Op::PortAlias), QString("Line A") + QString(10, QChar(0)));
    EXPECT_TRUE(op().isEmpty(1, Op::No));
    EXPECT_FALSE(form->anyChanged());

    QByteArray expected = reply;
    expected[1] = 'O';
    EXPECT_EQ(form->EncodeOperationRecord(2), expected);
}

TEST_F(PortGridsTest, AliasBytesTravelBackUntilTheUserEditsIt) {
    form->DecodeOperationRecord(OperationReply(
        1, [](OperationRecord& o) { o.alias = QByteArray("P1\0zz\0\0\0\0\0\0\0\0\0\0\0", 16); }));
    EXPECT_EQ(form->EncodeOperationRecord(1).mid(12, 16),
              QByteArray("P1\0zz\0\0\0\0\0\0\0\0\0\0\0", 16));
    // Committing what the cell shows is no edit: the hidden bytes stay.
    edit(op(), 1, Op::PortAlias, "P1");
    EXPECT_FALSE(form->operationChanged());
    EXPECT_EQ(form->EncodeOperationRecord(1).mid(12, 16).mid(3, 2), "zz");
    edit(op(), 1, Op::PortAlias, "P2");
    EXPECT_TRUE(form->operationChanged());
    EXPECT_EQ(form->EncodeOperationRecord(1).mid(12, 16), QByteArray("P2") + QByteArray(14, '\0'));
    // A longer text keeps its first 16 characters.
    edit(op(), 1, Op::PortAlias, "ABCDEFGHIJKLMNOPQRS");
    EXPECT_EQ(op().value(1, Op::PortAlias), "ABCDEFGHIJKLMNOP");
}

TEST_F(PortGridsTest, AHostileAliasShowsEscapedAndTravelsBackAsItCame) {
    const QByteArray alias(
        "\x1b]2;x\x07\x9b"
        "1m\0\0\0\0\0\0\0",
        16);
    form->DecodeOperationRecord(OperationReply(0, [&](OperationRecord& o) { o.alias = alias; }));
    const QString escaped = R"(\x1b]2;x\x07\x9b1m)";
    EXPECT_EQ(op().data(op().index(0, Op::PortAlias), Qt::DisplayRole).toString(), escaped);
    edit(op(), 0, Op::PortAlias, escaped);  // longer than 16 characters, and no edit
    EXPECT_FALSE(form->operationChanged());
    EXPECT_EQ(form->EncodeOperationRecord(0).mid(12, 16), alias);
}

TEST_F(PortGridsTest, NodelayAnyNonZeroIsCheckedAndSentAsOne) {
    form->DecodeOperationRecord(OperationReply(0, [](OperationRecord& o) { o.nodelay = 0x05; }));
    EXPECT_TRUE(op().isChecked(0, Op::Nodelay));
    EXPECT_EQ(form->EncodeOperationRecord(0).at(39), 0x01);
    op().setData(op().index(0, Op::Nodelay), Qt::Unchecked, Qt::CheckStateRole);
    EXPECT_TRUE(form->operationChanged());
    EXPECT_EQ(form->EncodeOperationRecord(0).at(39), 0x00);
}

TEST_F(PortGridsTest, SourcePortsTravelLowByteFirst) {
    form->DecodeOperationRecord(OperationReply(0));
    edit(op(), 0, Op::SrcPort, "65535");
    EXPECT_EQ(form->EncodeOperationRecord(0).mid(10, 2), Bytes({0xFF, 0xFF}));
    edit(op(), 0, Op::SrcPort, "256");
    EXPECT_EQ(form->EncodeOperationRecord(0).mid(10, 2), Bytes({0x00, 0x01}));
}

TEST_F(PortGridsTest, PortWithoutARowIsRejectedBeforeAnythingIsPlaced) {
    EXPECT_EQ(ErrorOf([&] { form->DecodeOperationRecord(OperationReply(4)); }),
              "Cells row bounds error[4]");
    EXPECT_EQ(ErrorOf([&] {
                  form->DecodeSerialRecord(SerialReply(4, {0, 0, 0, 0, 0, 0}));
              }),
              "Cells row bounds error[4]");
    for (int r = 0; r < 4; ++r) EXPECT_TRUE(op().isEmpty(r, Op::No));
}

TEST_F(PortGridsTest, BadListCodeStopsDecodingAtItsField) {
    form->DecodeOperationRecord(OperationReply(1));
    EXPECT_EQ(ErrorOf([&] {
                  form->DecodeOperationRecord(OperationReply(1, [](OperationRecord& o) {
                      o.operation = 15;
                      o.alias = "Other";
                      o.sourcePort = 7;
                  }));
              }),
              "List index out of bounds (15)");
    EXPECT_EQ(op().value(1, Op::PortAlias), QString("Other") + QString(11, QChar(0)));
    EXPECT_EQ(op().value(1, Op::Operation), "RFC2217");
    EXPECT_EQ(op().value(1, Op::SrcPort), "10000");

    EXPECT_EQ(ErrorOf([&] {
                  form->DecodeOperationRecord(OperationReply(1, [](OperationRecord& o) {
                      o.operation = 2;
                      o.sourcePort = 7;
                      o.type = 2;
                      o.destinationPort = 9;
                  }));
              }),
              "List index out of bounds (2)");
    EXPECT_EQ(op().value(1, Op::Operation), "TCP_Server");
    EXPECT_EQ(op().value(1, Op::SrcPort), "7");
    EXPECT_EQ(op().value(1, Op::Type), "Modem");
    EXPECT_EQ(op().value(1, Op::DestPort), "1000");

    EXPECT_EQ(ErrorOf([&] {
                  form->DecodeSerialRecord(SerialReply(0, {1, 14, 3, 0, 0, 2}));
              }),
              "List index out of bounds (14)");
    EXPECT_EQ(serial().value(0, Se::Interface), "RS422");
    EXPECT_TRUE(serial().isEmpty(0, Se::Baudrate));
    EXPECT_FALSE(form->anyChanged());
}

TEST_F(PortGridsTest, EncodingRefusesWhatDoesNotConvert) {
    // A row whose record never came: its source port is empty.
    EXPECT_EQ(ErrorOf([&] { form->EncodeOperationRecord(0); }), "'' is not a valid integer value");
    form->DecodeOperationRecord(OperationReply(0));
    edit(op(), 0, Op::DestIp, "192.168.0.256");
    EXPECT_EQ(
        ErrorOf([&] { form->EncodeOperationRecord(0); }),
        "'192.168.0.256' is not a valid IP address: each of its four numbers must be 0 to 255");
    edit(op(), 0, Op::DestIp, "192.168.0");
    EXPECT_EQ(ErrorOf([&] { form->EncodeOperationRecord(0); }), "'' is not a valid integer value");
    // A list text that is in no entry is no error: it travels as 0xFF.
    edit(op(), 0, Op::DestIp, "10.0.0.1");
    op().place(0, Op::Operation, "tcp_server");
    op().place(0, Op::Type, "");
    const QByteArray frame = form->EncodeOperationRecord(0);
    EXPECT_EQ(frame.at(9), 2);
    EXPECT_EQ(static_cast<unsigned char>(frame.at(28)), 0xFF);
}

TEST_F(PortGridsTest, SerialWorkedExampleFillsItsRowAndTravelsBack) {
    const QByteArray reply = SerialReply(0, {0, 10, 3, 0, 0, 2}, "N/A");
    form->DecodeSerialRecord(reply);
    EXPECT_EQ(row(serial(), 0), (QStringList{"1", "RS232", "115200", "8", "1", "None", "RTS/CTS"}));
    QByteArray expected = reply;
    expected[1] = 'U';
    EXPECT_EQ(form->EncodeSerialRecord(0), expected);
    EXPECT_FALSE(form->serialChanged());
}

TEST_F(PortGridsTest, SerialChoicesTravelAsTheirPositions) {
    form->DecodeSerialRecord(SerialReply(1, {0, 6, 3, 0, 0, 0}));
    edit(serial(), 1, Se::Interface, "RS485E");
    edit(serial(), 1, Se::Baudrate, "921600");
    EXPECT_TRUE(form->serialChanged());
    const QByteArray frame = form->EncodeSerialRecord(1);
    EXPECT_EQ(frame.at(8), 1);
    EXPECT_EQ(frame.at(9), 3);
    EXPECT_EQ(frame.at(10), 13);
    // A row whose record never came: its port index, then six 0xFF.
    EXPECT_EQ(form->EncodeSerialRecord(3).mid(8, 7),
              Bytes({3, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST_F(PortGridsTest, ShortRecordsAreNotRead) {
    EXPECT_NE(ErrorOf([&] { form->DecodeOperationRecord(OperationReply(0).left(40)); }),
              "<no error>");
    EXPECT_NE(ErrorOf([&] {
                  form->DecodeSerialRecord(SerialReply(0, {0, 0, 0, 0, 0, 0}).left(15));
              }),
              "<no error>");
    EXPECT_TRUE(op().isEmpty(0, Op::No));
    EXPECT_TRUE(serial().isEmpty(0, Se::No));
}

TEST_F(PortGridsTest, EditorsOfTheViewCommitTheUsersChoice) {
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    form->ConfigTab->setCurrentIndex(2);
    form->DecodeSerialRecord(SerialReply(0, {0, 6, 3, 0, 0, 0}));
    QTableView* view = form->SerialGrid;
    view->setFocus();
    view->setCurrentIndex(serial().index(0, Se::Baudrate));
    QTest::keyClick(view, Qt::Key_F2);
    auto* box = qobject_cast<QComboBox*>(QApplication::focusWidget());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->count(), 14);
    EXPECT_EQ(box->currentText(), "9600");
    box->setCurrentIndex(box->findText("57600"));
    emit box->activated(box->currentIndex());
    QCoreApplication::processEvents();
    EXPECT_EQ(serial().value(0, Se::Baudrate), "57600");
    EXPECT_TRUE(form->serialChanged());

    // Number editors take 0-65535 and nothing else; an editor left empty keeps the number.
    form->ConfigTab->setCurrentIndex(1);
    form->DecodeOperationRecord(OperationReply(0));
    form->OpGrid->setFocus();
    form->OpGrid->setCurrentIndex(op().index(0, Op::Alive));
    QTest::keyClick(form->OpGrid, Qt::Key_F2);
    auto* number = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(number, nullptr);
    number->selectAll();
    QTest::keyClicks(number, "7x0000");
    EXPECT_EQ(number->text(), "7000");
    QTest::keyClick(number, '0');
    EXPECT_EQ(number->text(), "7000");
    QTest::keyClick(number, Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_EQ(op().value(0, Op::Alive), "7000");

    form->OpGrid->setCurrentIndex(op().index(0, Op::Latency));
    QTest::keyClick(form->OpGrid, Qt::Key_F2);
    number = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(number, nullptr);
    number->clear();
    QTest::keyClick(number, Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_EQ(op().value(0, Op::Latency), "0");

    // The alias editor stops at 16 characters.
    form->OpGrid->setCurrentIndex(op().index(0, Op::PortAlias));
    QTest::keyClick(form->OpGrid, Qt::Key_F2);
    auto* alias = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(alias, nullptr);
    EXPECT_EQ(alias->maxLength(), 16);
    EXPECT_EQ(alias->text(), "Line A");
}

// A keyboard user leaves a grid by Tab after the current row's cells, with that row still
// chosen, or at once by Ctrl+Tab.
TEST_F(PortGridsTest, TabLeavesTheGridAfterTheRowsCellsAndKeepsTheRow) {
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    form->ConfigTab->setCurrentIndex(2);
    form->DecodeSerialRecord(SerialReply(0, {0, 6, 3, 0, 0, 0}));
    form->DecodeSerialRecord(SerialReply(1, {0, 6, 3, 0, 0, 0}));
    QTableView* view = form->SerialGrid;
    view->setFocus();
    view->setCurrentIndex(serial().index(1, Se::Interface));
    int tabs = 0;
    while (view->hasFocus() && tabs < 20) {
        QTest::keyClick(view, Qt::Key_Tab);
        ++tabs;
    }
    EXPECT_EQ(tabs, 6) << "five more cells of the row, then out";
    EXPECT_EQ(view->currentIndex().row(), 1);
    view->setFocus();
    view->setCurrentIndex(serial().index(1, Se::Interface));
    QTest::keyClick(view, Qt::Key_Backtab);
    EXPECT_FALSE(view->hasFocus()) << "the No column is no stop";
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_FALSE(view->hasFocus());
    EXPECT_EQ(view->currentIndex().row(), 1);
}
