#include "protocol/ValueLists.h"

#include "protocol/Errors.h"

namespace velomar {

std::uint8_t ListPosition(const QStringList& list, const QString& text) {
    for (int i = 0; i < list.size() && i < kNoChoice; ++i) {
        if (list[i].compare(text, Qt::CaseInsensitive) == 0) return static_cast<std::uint8_t>(i);
    }
    return kNoChoice;
}

const QString& ListEntry(const QStringList& list, int position) {
    if (position < 0 || position >= list.size()) {
        throw Error(QStringLiteral("List index out of bounds (%1)").arg(position));
    }
    return list[position];
}

}  // namespace velomar
