// The network set frame 'S' as built from the texts of a device table row, byte by byte.
#include <gtest/gtest.h>

#include "core/NetworkSet.h"
#include "protocol/Errors.h"

using namespace velomar;

namespace {

QByteArray hex(const char* h) {
    return QByteArray::fromHex(h);
}

}  // namespace

// The frame's bytes, checked field by field.
TEST(NetworkSetFrameFromRow, CarriesEveryFieldAtItsOffset) {
    NetworkSetTexts row;
    row.mac = "00-1A-2B-3C-4D-5E";
    row.ip = "198.18.1.20";
    row.gateway = "198.18.1.1";
    row.mask = "255.255.255.0";
    row.pelorin = "10.0.0.0";
    row.name = "Port-A";
    const QByteArray f = BuildNetworkSetFrame(row);
    ASSERT_EQ(f.size(), 57);
    EXPECT_EQ(f[0], '\x02');
    EXPECT_EQ(f[1], 'S');
    EXPECT_EQ(f.mid(2, 6), hex("001A2B3C4D5E"));
    EXPECT_EQ(f.mid(8, 4), hex("C6120114"));
    EXPECT_EQ(f.mid(12, 4), hex("C6120101"));
    EXPECT_EQ(f.mid(16, 4), hex("FFFFFF00"));
    EXPECT_EQ(f.mid(20, 4), hex("0A000000"));
    EXPECT_EQ(f.mid(24, 32), QByteArray("Port-A").leftJustified(32, '\0'));
    EXPECT_EQ(f[56], '\x03');
}

TEST(NetworkSetFrameFromRow, NamesEmptyExactAndTooLong) {
    NetworkSetTexts row;
    row.mac = "00-1a-ff-00-00-01";  // lower case is read as well
    row.ip = row.gateway = row.mask = row.pelorin = "0.0.0.0";
    EXPECT_EQ(BuildNetworkSetFrame(row).mid(2, 6), hex("001AFF000001"));
    EXPECT_EQ(BuildNetworkSetFrame(row).mid(24, 32), QByteArray(32, '\0'));
    row.name = QString(32, QChar('x'));
    EXPECT_EQ(BuildNetworkSetFrame(row).mid(24, 32), QByteArray(32, 'x'));
    // Eleven 3-byte characters are 33 bytes: the eleventh does not fit whole and is left
    // out rather than cut in two.
    row.name = QString(11, QChar(0x20AC));
    const QByteArray name = BuildNetworkSetFrame(row).mid(24, 32);
    EXPECT_EQ(name.left(30), QString(10, QChar(0x20AC)).toUtf8());
    EXPECT_EQ(name.mid(30), QByteArray(2, '\0'));
    // A name held as NUL characters travels as zero bytes.
    row.name = QString(31, QChar(0));
    EXPECT_EQ(BuildNetworkSetFrame(row).mid(24, 32), QByteArray(32, '\0'));
}

TEST(NetworkSetFrameFromRow, AddressThatIsNoIntegerListRaisesTheConversionError) {
    NetworkSetTexts row;
    row.mac = "00-1A-2B-3C-4D-5E";
    row.ip = "198.18.0 1";  // passes IsValidIp, but "0 1" is no integer
    row.gateway = row.mask = row.pelorin = "0.0.0.0";
    try {
        BuildNetworkSetFrame(row);
        FAIL() << "no error";
    } catch (const ConversionError& e) {
        EXPECT_EQ(e.text(), "'0 1' is not a valid integer value");
    }
}

// The row's MAC is the one MacToText wrote; another text is refused rather than sent to
// a device nobody chose.
TEST(NetworkSetFrameFromRow, AMacThatIsNotWholeRaisesTheHexError) {
    NetworkSetTexts row{"00-1A-2B-3C-4D", "0.0.0.0", "0.0.0.0", "0.0.0.0", "0.0.0.0", ""};
    EXPECT_THROW(BuildNetworkSetFrame(row), HexError);
    row.mac = "00-1A-2B-3C-4D-5E";
    EXPECT_EQ(BuildNetworkSetFrame(row).mid(2, 6), hex("001A2B3C4D5E"));
}
