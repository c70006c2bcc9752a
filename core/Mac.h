#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace velomar {

// The 6 bytes of a MAC typed as 00-1A-2B-3C-4D-5E, 00:1a:2b:3c:4d:5e or 001A2B3C4D5E;
// nullopt for anything else (a missing digit must not silently address another device).
std::optional<QByteArray> ParseMac(const QString& text);

}  // namespace velomar
