#include <gtest/gtest.h>

#include <QApplication>

#include "Isolation.h"

int main(int argc, char** argv) {
    // Before any thread or socket exists: the whole test process lives in a network
    // namespace of its own.
    velomar::test::IsolateNetwork();
    // Widgets run on the offscreen platform unless the caller chose another.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
