#pragma once

#include <QStringList>

namespace velomar {

// The host's usable IPv4 addresses as dotted texts, in the order the system lists its
// interfaces: every address of an interface that is up, loopback excluded.
QStringList LocalIPv4Addresses();

}  // namespace velomar
