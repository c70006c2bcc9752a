#include "ModelContract.h"

#include <gtest/gtest.h>

#include <atomic>

namespace velomar::test {

namespace {

// Read by whichever thread logs; the handler may already run while it is being set.
std::atomic<QtMessageHandler> previousHandler{nullptr};
int contractsAlive = 0;  // fixtures may nest; the handler goes in once

void failOnBreach(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtWarningMsg && context.category &&
        qstrcmp(context.category, "qt.modeltest") == 0) {
        ADD_FAILURE() << "item model contract broken: " << message.toStdString();
        return;
    }
    if (const QtMessageHandler previous = previousHandler.load()) previous(type, context, message);
}

}  // namespace

ModelContract::ModelContract() {
    if (contractsAlive++ == 0) previousHandler = qInstallMessageHandler(failOnBreach);
}

ModelContract::~ModelContract() {
    end();
    if (--contractsAlive == 0) qInstallMessageHandler(previousHandler);
}

void ModelContract::watch(QAbstractItemModel* model) {
    testers_.push_back(std::make_unique<QAbstractItemModelTester>(
        model, QAbstractItemModelTester::FailureReportingMode::Warning));
}

}  // namespace velomar::test
