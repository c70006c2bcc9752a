#pragma once

#include <QString>

class QLineEdit;

namespace velomar {

// The characters an address or port field takes, typed or pasted: backspace, the digits,
// '%' and '\'' (and '.' in an address). The field discards every other character.
bool AddressCharacterPasses(QChar c);
bool PortCharacterPasses(QChar c);
using CharacterRule = bool (*)(QChar);

// The text with only its characters that pass.
QString KeptCharacters(const QString& text, CharacterRule passes);

// A paste into the edit (shortcut, context menu, middle button, drag and drop) inserts only
// the characters that pass, filtered before the edit cuts the text to its length, so a
// pasted "25x5.255.255.0" still gives the whole address. Typing is the caller's key filter's.
void FilterPastes(QLineEdit* edit, CharacterRule passes);

}  // namespace velomar
