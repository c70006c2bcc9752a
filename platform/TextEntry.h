#pragma once

#include <QString>
#include <functional>

class QKeyEvent;
class QLineEdit;
class QWidget;

namespace velomar {

// The characters an address or port field takes, typed or pasted: backspace, the digits,
// '%' and '\'' (and '.' in an address). The field discards every other character.
bool AddressCharacterPasses(QChar c);
bool PortCharacterPasses(QChar c);
using CharacterRule = bool (*)(QChar);

// The text with only its characters that pass.
QString KeptCharacters(const QString& text, CharacterRule passes);

// The key filter of the address and port fields and of the device table's cells: whether
// a key press types a character that `passes` refuses, so that the field discards it. Keys
// that type nothing (arrows, Delete, Home), control keys other than backspace (Enter, Tab,
// Escape) and shortcuts with Ctrl, Alt or Meta are not typing and pass untouched.
bool RefusesTyping(const QKeyEvent* event, const std::function<bool(QChar)>& passes);
// Installs that filter on the widget: a refused key press never reaches it.
void FilterTyping(QWidget* widget, CharacterRule passes);

// A paste into the edit (shortcut, context menu, middle button, drag and drop) inserts only
// the characters that pass, filtered before the edit cuts the text to its length, so a
// pasted "25x5.255.255.0" still gives the whole address. Typing is the caller's key filter's.
void FilterPastes(QLineEdit* edit, CharacterRule passes);

}  // namespace velomar
