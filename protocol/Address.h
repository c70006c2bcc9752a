#pragma once

#include <QString>

namespace velomar {

// True when the text is four dot-separated decimal numbers from 0 to 255. Blanks and
// control characters around the text and around a dot are skipped; one inside a number
// ends that part; a dot at the very end adds an empty part.
bool IsValidIp(const QString& text);

}  // namespace velomar
