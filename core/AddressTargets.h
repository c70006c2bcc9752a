#pragma once

#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace velomar {

// The most addresses one search may ask: a /16 and a little more.
constexpr std::size_t kMaxTargets = 65536;

// What `search --ip` was given: addresses and CIDR ranges, comma-separated
// ("198.18.4.0/24,198.18.5.7"), as the host addresses to ask one by one.
struct AddressTargets {
    std::vector<std::uint32_t> hosts;  // host byte order, in the order given, no repeats
    QString error;                     // empty when the whole text was read

    QStringList texts() const;
};

// A range's network and broadcast addresses are skipped (a /31 or /32 has neither); an
// address given alone is taken as it is, so a broadcast address still may be asked. More
// than `limit` addresses in all is an error, as is anything that is not an address.
AddressTargets ParseAddressTargets(const QString& text, std::size_t limit = kMaxTargets);

}  // namespace velomar
