#include "foundation/PreferenceDomain.h"
#include "prefs/PaneTable.h"
#include "support/QtPrinters.h"
#include "support/ScopedPreferences.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
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

// A form section of a text and a number row, a box spanning the form, and rows in the
// pane's own column around a widget of the pane's, the last two buttons on one line.
class PaneTableFields : public ::testing::Test {
  protected:
    PaneTableFields()
        : table("PaneTableFields",
                {{.id = QStringLiteral("title"),
                  .kind = PaneRow::Kind::Text,
                  .label = "Title:",
                  .binding = {[this] { return title; },
                              [this](const QVariant& v) {
                                  title = v;
                                  log << QStringLiteral("write ") + v.toString();
                              }},
                  .defaultValue = QStringLiteral("Untitled"),
                  .effects = {.store = true, .post = QStringLiteral("TitleChanged")},
                  .section = "Card",
                  .place = PaneRow::Place::Form},
                 {.id = QStringLiteral("minutes"),
                  .kind = PaneRow::Kind::Number,
                  .label = "Every:",
                  .binding = PaneBinding::preferenceKey(QStringLiteral("Minutes")),
                  .defaultValue = 15,
                  .effects = {.store = true, .call = PaneCall{PaneRequest::UpdateTake5{}}},
                  .section = "Card",
                  .place = PaneRow::Place::Form,
                  .range = {5, 90},
                  .suffix = " min"},
                 {.id = QStringLiteral("loud"),
                  .kind = PaneRow::Kind::Check,
                  .label = "Loud",
                  .section = "Card",
                  .place = PaneRow::Place::Form},
                 {.id = QStringLiteral("top"),
                  .kind = PaneRow::Kind::Check,
                  .label = "On top",
                  .place = PaneRow::Place::Column},
                 {.id = QStringLiteral("under"),
                  .kind = PaneRow::Kind::Check,
                  .label = "Under it",
                  .place = PaneRow::Place::Column,
                  .indent = 1},
                 {.id = QStringLiteral("open"),
                  .kind = PaneRow::Kind::Button,
                  .label = "Open",
                  .place = PaneRow::Place::Column},
                 {.id = QStringLiteral("close"),
                  .kind = PaneRow::Kind::Button,
                  .label = "Close",
                  .place = PaneRow::Place::Column,
                  .sameLine = true}},
                {{},
                 [this](const QString& name) { log << QStringLiteral("post ") + name; },
                 [this](const PaneCall& call) { log << QStringLiteral("call ") + describe(call); },
                 {}}) {
        layout = new QVBoxLayout(&view);
        table.build(view, *layout, QStringLiteral("top"));
        own = new QLabel(QStringLiteral("the pane's own"), &view);
        layout->addWidget(own);
        table.build(view, *layout);
    }
    template <class T>
    T* find(const char* name) {
        return view.findChild<T*>(QLatin1String(name));
    }

    test::ScopedMemoryDomain domain{appTalvor4Prefs};
    QVariant title;
    QStringList log;
    QWidget view;
    QVBoxLayout* layout = nullptr;
    QLabel* own = nullptr;
    PaneTable table;
};

using prefsPaneTableFields = PaneTableFields;

TEST_F(prefsPaneTableFields, FormRowsPutTheLabelBesideTheFieldAndColumnRowsKeepTheirOrder) {
    auto* text = find<QLineEdit>("title");
    auto* number = find<QSpinBox>("minutes");
    auto* loud = find<QCheckBox>("loud");
    ASSERT_TRUE(text && number && loud);
    auto* card = qobject_cast<QGroupBox*>(text->parentWidget());
    ASSERT_NE(card, nullptr);
    auto* form = qobject_cast<QFormLayout*>(card->layout());
    ASSERT_NE(form, nullptr) << "a section of form rows is a form";
    auto* label = qobject_cast<QLabel*>(form->labelForField(text));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), QStringLiteral("Title:"));
    EXPECT_EQ(label->buddy(), text);
    EXPECT_EQ(qobject_cast<QLabel*>(form->labelForField(number))->text(), QStringLiteral("Every:"));
    EXPECT_EQ(form->labelForField(loud), nullptr) << "a box spans its line";
    EXPECT_EQ(number->minimum(), 5);
    EXPECT_EQ(number->maximum(), 90);
    EXPECT_EQ(number->suffix(), QStringLiteral(" min"));

    // The section, the first column row, the pane's widget, the indented row, the buttons.
    ASSERT_EQ(layout->count(), 5);
    EXPECT_EQ(layout->itemAt(0)->widget(), card);
    EXPECT_EQ(layout->itemAt(1)->widget(), find<QCheckBox>("top"));
    EXPECT_EQ(layout->itemAt(2)->widget(), own);
    QLayout* indented = layout->itemAt(3)->layout();
    ASSERT_NE(indented, nullptr);
    EXPECT_EQ(indented->itemAt(0)->spacerItem()->sizeHint().width(), 20);
    EXPECT_EQ(indented->itemAt(1)->widget(), find<QCheckBox>("under"));
    QLayout* buttons = layout->itemAt(4)->layout();
    ASSERT_NE(buttons, nullptr);
    ASSERT_EQ(buttons->count(), 3);
    EXPECT_EQ(buttons->itemAt(0)->widget(), find<QPushButton>("open"));
    EXPECT_EQ(buttons->itemAt(1)->widget(), find<QPushButton>("close"));
    EXPECT_NE(buttons->itemAt(2)->spacerItem(), nullptr) << "kept on the left";
}

TEST_F(prefsPaneTableFields, LoadingShowsStoredTextAndNumbersOrTheirDefaults) {
    table.load();
    EXPECT_EQ(table.shown(QStringLiteral("title")), QVariant(QStringLiteral("Untitled")));
    EXPECT_EQ(table.shown(QStringLiteral("minutes")), QVariant(15));

    title = QStringLiteral("Tea");
    domain.store().setValue(QStringLiteral("Minutes"), qint64(40));
    table.load();
    EXPECT_EQ(find<QLineEdit>("title")->text(), QStringLiteral("Tea"));
    EXPECT_EQ(find<QSpinBox>("minutes")->value(), 40);
    EXPECT_TRUE(log.isEmpty()) << "loading writes nothing";
}

TEST_F(prefsPaneTableFields, EditingStoresOnceWhenTheFieldChangedThenPostsOrCalls) {
    table.load();
    auto* text = find<QLineEdit>("title");
    emit text->editingFinished();
    EXPECT_TRUE(log.isEmpty()) << "leaving an unchanged field stores nothing";

    text->setText(QStringLiteral("Coffee"));
    text->setModified(true);  // as typing does
    emit text->editingFinished();
    emit text->editingFinished();
    EXPECT_EQ(log, QStringList({"write Coffee", "post TitleChanged"}));

    log.clear();
    find<QSpinBox>("minutes")->setValue(95);
    EXPECT_EQ(domain.store().value(QStringLiteral("Minutes")), QVariant(qint64(90)))
        << "kept within the range";
    EXPECT_EQ(log, QStringList{QStringLiteral("call UpdateTake5()")});
}

}  // namespace
}  // namespace talvor
