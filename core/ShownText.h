#pragma once

#include <QString>

namespace velomar {

// Texts from a device or a file are written by whoever answers on the LAN. Before one is
// shown (a terminal, a table cell, a message) its control characters (C0, DEL, C1), the
// line and paragraph separators and the bidirectional embeddings, overrides and isolates
// become visible escapes: "\x1b", "\x85", "\u202e". A name cannot then retitle a
// terminal, clear the screen or reorder what stands around it. Every other character,
// umlauts and CJK included, is left as it is; text without such characters comes back
// unchanged (and shares its data).
QString ShownText(const QString& text);

// Whether a character is one that ShownText escapes.
bool IsEscapedWhenShown(char16_t c);

// Text meant for a JSON document: the characters above that JSON does not escape itself
// (DEL, C1, the separators and the bidirectional controls) written as \u escapes. They
// can stand only inside JSON strings, so the document still decodes to the exact text.
QByteArray TerminalSafeJson(const QByteArray& json);

}  // namespace velomar
