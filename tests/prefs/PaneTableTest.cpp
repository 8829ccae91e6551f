#include "foundation/PreferenceDomain.h"
#include "prefs/PaneTable.h"
#include "support/QtPrinters.h"
#include "support/ScopedPreferences.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace talvor {

void PrintTo(const PaneCall& call, std::ostream* os) {
    *os << describe(call).toStdString();
}

namespace {

// A small pane of three rows over an in-memory domain, its host writing down what it is
// asked in order.
class PaneTableRows : public ::testing::Test {
  protected:
    PaneTableRows()
        : table("PaneTableRows",
                {{.id = QStringLiteral("showThing"),
                  .kind = PaneRow::Kind::Check,
                  .label = "Show the thing",
                  .binding = PaneBinding::preferenceKey(QStringLiteral("ThingFlag")),
                  .defaultValue = true,
                  .effects = {.store = true, .post = QStringLiteral("ThingChanged")},
                  .section = "Things"},
                 {.id = QStringLiteral("size"),
                  .kind = PaneRow::Kind::Choice,
                  .label = "Size:",
                  .binding = PaneBinding::preferenceKey(QStringLiteral("ThingSize")),
                  .defaultValue = 1,
                  .effects = {.store = true, .call = PaneCall{PaneRequest::UpdateMenu{7}}},
                  .section = "Things",
                  .choices = {"Small", "Medium", "Large"}},
                 {.id = QStringLiteral("reset"),
                  .kind = PaneRow::Kind::Button,
                  .label = "Reset",
                  .effects = {.store = true, .reload = true},
                  .action = [this] { log << QStringLiteral("action"); }}},
                {[this] { log << QStringLiteral("store"); },
                 [this](const QString& name) { log << QStringLiteral("post ") + name; },
                 [this](const PaneCall& call) { log << QStringLiteral("call ") + describe(call); },
                 [this] { log << QStringLiteral("reload"); }}) {
        auto* layout = new QVBoxLayout(&view);
        table.build(view, *layout);
    }
    QVariant stored(const char* key) { return domain.store().value(QString::fromLatin1(key)); }

    test::ScopedMemoryDomain domain{appTalvor4Prefs};
    QStringList log;
    QWidget view;
    PaneTable table;
};

using prefsPaneTableRows = PaneTableRows;

TEST_F(prefsPaneTableRows, BuildsEachControlInItsSectionAndTheFootBelow) {
    auto* box = view.findChild<QCheckBox*>(QStringLiteral("showThing"));
    auto* menu = view.findChild<QComboBox*>(QStringLiteral("size"));
    auto* reset = view.findChild<QPushButton*>(QStringLiteral("reset"));
    ASSERT_TRUE(box && menu && reset);
    EXPECT_EQ(box->text(), QStringLiteral("Show the thing"));
    EXPECT_EQ(menu->count(), 3);
    EXPECT_EQ(menu->itemText(2), QStringLiteral("Large"));
    auto* things = qobject_cast<QGroupBox*>(box->parentWidget());
    ASSERT_NE(things, nullptr);
    EXPECT_EQ(things->title(), QStringLiteral("Things"));
    EXPECT_EQ(menu->parentWidget(), things);
    EXPECT_EQ(reset->parentWidget(), &view) << "a row without a section goes to the foot";
    EXPECT_EQ(table.control(QStringLiteral("size")), menu);
    EXPECT_EQ(table.control(QStringLiteral("none")), nullptr);
}

TEST_F(prefsPaneTableRows, LoadingShowsStoredValuesOrDefaultsAndWritesNothing) {
    table.load();
    EXPECT_EQ(table.shown(QStringLiteral("showThing")), QVariant(true)) << "the row's default";
    EXPECT_EQ(table.shown(QStringLiteral("size")), QVariant(1));
    EXPECT_TRUE(domain.store().dictionaryRepresentation().isEmpty());
    EXPECT_TRUE(log.isEmpty());

    domain.store().setValue(QStringLiteral("ThingFlag"), qint64(0));
    domain.store().setValue(QStringLiteral("ThingSize"), qint64(2));
    table.load();
    EXPECT_EQ(table.shown(QStringLiteral("showThing")), QVariant(false));
    EXPECT_EQ(table.shown(QStringLiteral("size")), QVariant(2));
    EXPECT_TRUE(log.isEmpty());
}

TEST_F(prefsPaneTableRows, UsingAControlStoresThenPostsThenCalls) {
    table.load();
    const int syncs = domain.store().synchronizeCount();
    view.findChild<QCheckBox*>(QStringLiteral("showThing"))->click();
    EXPECT_EQ(stored("ThingFlag"), QVariant(qint64(0)));
    EXPECT_GT(domain.store().synchronizeCount(), syncs) << "stored at once";
    EXPECT_EQ(log, QStringList{QStringLiteral("post ThingChanged")});

    log.clear();
    auto* menu = view.findChild<QComboBox*>(QStringLiteral("size"));
    menu->setCurrentIndex(0);
    emit menu->activated(0);
    EXPECT_EQ(stored("ThingSize"), QVariant(qint64(0)));
    EXPECT_EQ(log, QStringList{QStringLiteral("call UpdateMenu(7)")});

    // A button without a binding: its action, the pane's own store step, then the reload.
    log.clear();
    view.findChild<QPushButton*>(QStringLiteral("reset"))->click();
    EXPECT_EQ(log, QStringList({"action", "store", "reload"}));
}

TEST_F(prefsPaneTableRows, ApplyingWithoutAControlOrForAnUnknownRow) {
    // Before the view is built a row still stores: public actions go through the table.
    PaneTable bare("PaneTableRows",
                   {{.id = QStringLiteral("x"),
                     .binding = PaneBinding::preferenceKey(QStringLiteral("X")),
                     .effects = {.store = true}}},
                   {});
    bare.apply(QStringLiteral("x"), true);
    EXPECT_EQ(stored("X"), QVariant(qint64(1)));
    EXPECT_EQ(bare.shown(QStringLiteral("x")), QVariant()) << "nothing shown without a control";
    bare.apply(QStringLiteral("nothing"), true);
    EXPECT_EQ(domain.store().dictionaryRepresentation().size(), 1);
}

}  // namespace
}  // namespace talvor
