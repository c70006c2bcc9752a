#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <optional>

// Every MAC text is read here, in one of two forms:
// - MacForm::Typed, what a person types or a file holds: twelve hex digits, or six pairs
//   joined by '-' or ':' used throughout. Anything else is refused, since a digit missed
//   or misplaced would address another device. velomar-cli's --mac and set tables, the
//   emulator's fleet file and options, and the 'S' frame of a device table row (whose MAC
//   MacToText wrote; another text raises "No Hex-Number") read this form.
// - MacForm::Shown, what this program showed itself: the pairs at positions 0, 3, … 15,
//   a pair that is missing or not hexadecimal reading 0. The configuration dialog's label
//   (which says "N/A" before a device is chosen) and the firmware target's row read this.
namespace velomar {

enum class MacForm { Typed, Shown };

// The 6 bytes of a MAC text; nullopt when a Typed text is not one of its forms (a Shown
// text always reads).
std::optional<QByteArray> ReadMac(QStringView text, MacForm form);

// A typed MAC with blanks around it allowed (the command line's arguments and cells).
std::optional<QByteArray> ParseMac(const QString& text);

// MAC text: six upper-case hex pairs joined by "-".
QString MacToText(const QByteArray& mac6);
// ReadMac(macText, MacForm::Shown).
QByteArray TargetMac(const QString& macText);

}  // namespace velomar
