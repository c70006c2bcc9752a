#pragma once

#include <QByteArray>
#include <QString>
#include <initializer_list>

#include "protocol/Errors.h"

namespace velomar::test {

// Bytes written as numbers: Bytes({0x02, 'N', 0x03}).
inline QByteArray Bytes(std::initializer_list<int> v) {
    QByteArray b;
    for (int x : v) b.append(static_cast<char>(x));
    return b;
}

// The text of the Error that f throws, or "<no error>".
template <typename F>
QString ErrorOf(F f) {
    try {
        f();
    } catch (const Error& e) {
        return e.text();
    }
    return QStringLiteral("<no error>");
}

}  // namespace velomar::test
