#include <QAccessible>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QMessageBox>
#include <QSet>
#include <QStandardItemModel>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryFile>

#include "ConfigTestUtil.h"
#include "DetectTestUtil.h"
#include "app/UnitSearchIP.h"
#include "support/FakeWaitClock.h"
#include "support/FindWidget.h"

using namespace velomar;
using namespace velomar::test;

namespace {

// A text as a reader compares it: mnemonic marks gone (where the control has them), blanks
// simplified.
QString Plain(QString text, bool mnemonic = false) {
    if (mnemonic) {
        text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
        text.remove(u'&').replace(u'\x01', u'&');
    }
    return text.simplified();
}

// What a widget shows by itself (its children aside).
QString ShownText(const QWidget* w) {
    if (auto* l = qobject_cast<const QLabel*>(w)) return Plain(l->text(), l->buddy());
    if (auto* b = qobject_cast<const QAbstractButton*>(w)) return Plain(b->text(), true);
    if (auto* e = qobject_cast<const QLineEdit*>(w))
        return e->echoMode() == QLineEdit::Normal ? Plain(e->text()) : QString();
    if (auto* g = qobject_cast<const QGroupBox*>(w)) return Plain(g->title(), true);
    if (auto* c = qobject_cast<const QComboBox*>(w)) return Plain(c->currentText());
    return {};
}

// Finds every showing control of a window whose visible text a reader cannot get: not in
// its accessible name, value or text, or not in the accessibility tree at all. Covers
// labels, buttons, line edits, lists, group box titles, tab titles, table headers and cells.
class TextAudit {
  public:
    explicit TextAudit(QWidget* window) {
        visit(QAccessible::queryAccessibleInterface(window));
        QList<QWidget*> widgets = window->findChildren<QWidget*>();
        widgets.prepend(window);
        for (QWidget* w : widgets) {
            if (!w->isVisible()) continue;
            if (!seen_.contains(w) && !ShownText(w).isEmpty())
                faults << where(w) + " is not in the accessibility tree";
            if (auto* view = qobject_cast<QTableView*>(w)) missingCells(view);
        }
    }
    QStringList faults;

  private:
    static QString where(const QObject* o) {
        const QString kind = QString::fromLatin1(o->metaObject()->className());
        return o->objectName().isEmpty() ? kind : kind + u' ' + o->objectName();
    }
    void expose(QAccessibleInterface* i, const QString& shown, const QString& what) {
        if (shown.isEmpty()) return;
        QStringList got{i->text(QAccessible::Name), i->text(QAccessible::Value)};
        if (QAccessibleTextInterface* t = i->textInterface())
            got << t->text(0, t->characterCount());
        for (const QString& g : got) {
            if (Plain(g).contains(shown)) return;
        }
        faults << QStringLiteral("%1 shows \"%2\", a reader gets \"%3\"")
                      .arg(what, shown, got.join(u'|'));
    }
    static QString cellName(const QTableView* view, int row, int column) {
        return QStringLiteral("cell %1,%2 of %3")
            .arg(QString::number(row), QString::number(column), where(view));
    }
    // The titles a control draws for its parts (tabs, columns) must name its children.
    void exposeTitles(QAccessibleInterface* i, QAccessible::Role role, const QStringList& titles,
                      const QString& what) {
        QStringList names;
        for (int c = 0; c < i->childCount(); ++c) {
            QAccessibleInterface* child = i->child(c);
            if (child && child->role() == role) names << Plain(child->text(QAccessible::Name));
        }
        for (const QString& title : titles) {
            if (!title.isEmpty() && !names.contains(title))
                faults << QStringLiteral("%1 shows the title \"%2\" unnamed").arg(what, title);
        }
    }
    void visit(QAccessibleInterface* i) {
        if (!i || i->state().invisible) return;
        QStringList titles;
        if (auto* w = qobject_cast<QWidget*>(i->object())) {
            seen_ << w;
            expose(i, ShownText(w), where(w));
            if (auto* bar = qobject_cast<QTabBar*>(w)) {
                for (int t = 0; t < bar->count(); ++t)
                    if (bar->isTabVisible(t)) titles << Plain(bar->tabText(t), true);
                exposeTitles(i, QAccessible::PageTab, titles, where(w));
            }
            auto* view = qobject_cast<QTableView*>(w);
            if (view && view->horizontalHeader()->isVisible()) {
                for (int c = 0; c < view->model()->columnCount(); ++c)
                    if (!view->isColumnHidden(c))
                        titles << Plain(view->model()->headerData(c, Qt::Horizontal).toString());
                exposeTitles(i, QAccessible::ColumnHeader, titles, where(w));
            }
        } else if (QAccessibleTableCellInterface* cell = i->tableCellInterface()) {
            auto* view = qobject_cast<QTableView*>(cell->table()->object());
            const QModelIndex index = view->model()->index(cell->rowIndex(), cell->columnIndex());
            cells_ << QPersistentModelIndex(index);
            expose(i, Plain(index.data().toString()), cellName(view, index.row(), index.column()));
        }
        for (int c = 0; c < i->childCount(); ++c) visit(i->child(c));
    }
    void missingCells(QTableView* view) {
        const QAbstractItemModel* model = view->model();
        for (int r = 0; r < model->rowCount(); ++r) {
            for (int c = 0; c < model->columnCount(); ++c) {
                const QModelIndex index = model->index(r, c);
                if (!view->isColumnHidden(c) && !index.data().toString().isEmpty() &&
                    view->visualRect(index).intersects(view->viewport()->rect()) &&
                    !cells_.contains(QPersistentModelIndex(index)))
                    faults << cellName(view, r, c) + " is not in the accessibility tree";
            }
        }
    }

    QSet<const QWidget*> seen_;
    QSet<QPersistentModelIndex> cells_;
};

// Audits a window as it is now; the caller names the state for the failure message.
#define EXPECT_TEXTS_READABLE(window, state)                                                   \
    do {                                                                                       \
        const QStringList faults = TextAudit(window).faults;                                   \
        EXPECT_TRUE(faults.isEmpty()) << (state) << ":\n" << faults.join(u'\n').toStdString(); \
    } while (0)

TEST(TextAudit, CatchesEveryKindOfHiddenText) {
    QWidget w;
    auto* label = new QLabel(QStringLiteral("Current : 3"), &w);
    label->setAccessibleName(QStringLiteral("Device count"));
    auto* button = new QPushButton(QStringLiteral("Stop"), &w);
    button->setAccessibleName(QStringLiteral("Cancel search"));
    button->move(0, 30);
    auto* group = new QGroupBox(QStringLiteral("WAN"), &w);
    group->setAccessibleName(QStringLiteral("Main"));
    group->setGeometry(0, 60, 80, 40);
    QStandardItemModel model(1, 1);
    auto* item = new QStandardItem(QStringLiteral("198.18.1.10"));
    item->setData(QStringLiteral("address"), Qt::AccessibleTextRole);
    model.setItem(0, 0, item);
    auto* view = new QTableView(&w);
    view->setObjectName(QStringLiteral("grid"));
    view->setModel(&model);
    view->setGeometry(0, 110, 200, 100);
    auto* fine = new QLabel(QStringLiteral("plain"), &w);
    fine->setAccessibleDescription(QStringLiteral("a description adds, it hides nothing"));
    fine->move(100, 0);
    w.resize(300, 220);
    w.show();
    const QStringList faults = TextAudit(&w).faults;
    const QStringList caught{"QLabel shows \"Current : 3\"", "QPushButton shows \"Stop\"",
                             "QGroupBox shows \"WAN\"",
                             "cell 0,0 of QTableView grid shows \"198.18.1.10\""};
    ASSERT_EQ(faults.size(), caught.size()) << faults.join(u'\n').toStdString();
    for (int f = 0; f < faults.size(); ++f)
        EXPECT_TRUE(faults[f].startsWith(caught[f])) << faults[f].toStdString();
}

class MainWindowTexts : public DetectTest {};

TEST_F(MainWindowTexts, ReachAReaderInEveryState) {
    EXPECT_TEXTS_READABLE(window.get(), "empty");
    addDevices(3);
    ASSERT_EQ(Find<QLabel>(window, "lblcount")->text(), "Current : 3");
    EXPECT_TEXTS_READABLE(window.get(), "three devices listed");

    window->SetSearching(true);
    window->TimerFINDTimer();
    ASSERT_TRUE(Find<QFrame>(window, "PnlTime")->isVisible());
    EXPECT_TEXTS_READABLE(window.get(), "countdown");
    window->SetSearching(false);

    FakeWaitClock clock;
    window->setFirmwareClock(&clock);
    QTemporaryFile image;
    ASSERT_TRUE(image.open());
    image.write("abc");
    image.flush();
    rec.fileAnswers.enqueue(image.fileName());
    bool audited = false;
    clock.onAdvance = [&](std::chrono::milliseconds) {
        if (audited) return;
        audited = true;
        EXPECT_TRUE(Find<QFrame>(window, "FlatPanel3")->isVisible());
        EXPECT_TEXTS_READABLE(window.get(), "firmware transfer");
    };
    window->FlatButton7Click();
    EXPECT_TRUE(audited);

    TFormSearchIP search(window.get());
    search.show();
    QTest::keyClicks(search.FlatEdit1, "198.18.1.7");
    EXPECT_TEXTS_READABLE(&search, "Search IP");

    const auto box = MakeMessageBox(window.get(), false, QStringLiteral("There is no tervane."));
    box->show();
    EXPECT_TEXTS_READABLE(box.get(), "message box");
}

class ConfigTexts : public ConfigTest {};

TEST_F(ConfigTexts, ReachAReaderOnEveryTab) {
    openWithNetwork();
    for (int port = 0; port < 4; ++port) {
        form->ConfigUDPUDPRead(OperationReply(port));
        form->ConfigUDPUDPRead(SerialReply(port, {1, 3, 3, 0, 1, 0}));
    }
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    for (int t = 0; t < form->ConfigTab->count(); ++t) {
        form->ConfigTab->setCurrentIndex(t);
        EXPECT_TEXTS_READABLE(form.get(), form->ConfigTab->tabText(t).toStdString());
    }
}

}  // namespace
