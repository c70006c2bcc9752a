#pragma once

// Holds item models to Qt's model contract while a test runs: every change they announce
// is checked by QAbstractItemModelTester, and a breach it reports fails the running test
// instead of scrolling past as a warning.
#include <QAbstractItemModelTester>
#include <memory>
#include <vector>

namespace velomar::test {

class ModelContract {
  public:
    ModelContract();
    ~ModelContract();
    ModelContract(const ModelContract&) = delete;
    ModelContract& operator=(const ModelContract&) = delete;

    // Checks the model at once and after each of its changes, until end().
    void watch(QAbstractItemModel* model);
    // Stops checking; call it before a watched model goes.
    void end() { testers_.clear(); }

  private:
    std::vector<std::unique_ptr<QAbstractItemModelTester>> testers_;
};

}  // namespace velomar::test
