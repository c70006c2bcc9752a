#pragma once

#include <QApplication>
#include <QByteArray>
#include <cstdint>
#include <cstdlib>

#include "support/Isolation.h"

// Shared set-up of the fuzz targets: a private network namespace (nothing a target does
// can reach a real network) and, for targets that drive widgets, an offscreen application.
namespace velomar::fuzz {

inline void Init(bool widgets) {
    test::IsolateNetwork();
    if (widgets && !QCoreApplication::instance()) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "fuzz";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv);
    }
}

inline QByteArray Bytes(const std::uint8_t* data, std::size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

// A fuzz target's own invariant check: a broken invariant is a crash libFuzzer keeps.
inline void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace velomar::fuzz
