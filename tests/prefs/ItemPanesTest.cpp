#include "foundation/FormatList.h"
#include "foundation/FoundationKeys.h"
#include "foundation/PreferenceDomain.h"
#include "foundation/TalvorDateSettings.h"
#include "foundation/TalvorTimeSettings.h"
#include "platform/Clock.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/Paths.h"
#include "platform/SharedInstance.h"
#include "platform/UserDefaults.h"
#include "prefs/FormatItemTables.h"
#include "prefs/FormatPaneParts.h"
#include "services/AppleInterfaceStyle.h"
#include "services/SystemEventNames.h"
#include "support/FakeClock.h"
#include "support/FakeFontResolver.h"
#include "support/LightAppearance.h"
#include "support/QtPrinters.h"
#include "support/ScopedPreferences.h"
#include "support/TestEnvironment.h"
#include "widgets/FontTextField.h"
#include "widgets/TalvorCustomDatePanel.h"
#include "world/TalvorMenuBarFlags.h"
#include "world/WorldKeys.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QFontDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTest>

#include <unicode/locid.h>

#include <gtest/gtest.h>

namespace talvor {
namespace {

Date at(const char* iso) {
    return Date::fromQDateTime(QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate));
}

// Both item panes over an in-memory domain, a clock that stands at a fixed moment (03:05:07
// on Friday 15 May 2026, UTC), English dates and a delegate that records its calls.
class ItemPanes : public ::testing::Test {
  protected:
    ItemPanes() : defaults(domain.store()) {
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale::setDefault(icu::Locale("en_US"), status);
        platform::UserDefaults::setStandard(&defaults);
        platform::Clock::setShared(&clock);
        appearance = test::installLightAppearance();
        TalvorMenuBarFlags = 0;
        watch = platform::DistributedNotificationCenter::defaultCenter().addObserver(
            QString(), QVariant(), [this](const platform::Notification& n) { posted << n.name; });
    }
    ~ItemPanes() override {
        AppearanceService::setShared(nullptr);
        platform::Clock::setShared(nullptr);
        platform::UserDefaults::setStandard(nullptr);
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale::setDefault(previousLocale, status);
    }

    PaneDelegate delegate() {
        PaneDelegate d;
        d.updateMenuBarItems = [this] { calls << QStringLiteral("updateMenuBarItems"); };
        d.openURL = [this](const QUrl&) { calls << QStringLiteral("openURL"); };
        return d;
    }
    std::unique_ptr<FormatItemPane> make(const FormatItemTable& table) {
        auto pane = std::make_unique<FormatItemPane>(table, QStringLiteral("Nib"), delegate());
        pane->view();
        takePosted();
        return pane;
    }
    template <class W>
    static W* child(PreferencePane& pane, const char* name) {
        W* w = pane.view()->findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QStringList takePosted() {
        platform::DistributedNotificationCenter::defaultCenter().flush();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        return std::exchange(posted, {});
    }
    platform::MemoryPreferenceStore& store() { return domain.store(); }
    // What a drag from source field `name` of `pane` drops on its custom field.
    static void dropFrom(PreferencePane& pane, const char* name) {
        auto* source = child<FormatTokenSourceLabel>(pane, name);
        auto* field = child<FormatTokenField>(pane, "customFormatField");
        std::unique_ptr<QMimeData> mime(source->makeMimeData());
        // As a drag does: it enters the field, and then drops.
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, mime.get(), Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(field, &enter);
        ASSERT_TRUE(enter.isAccepted()) << name;
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(field, &drop);
        EXPECT_TRUE(drop.isAccepted()) << name;
    }
    static void type(PreferencePane& pane, const QString& text) {
        auto* field = child<FormatTokenField>(pane, "customFormatField");
        QTest::keyClicks(field->typingField(), text);
    }

    icu::Locale previousLocale = icu::Locale::getDefault();
    test::XdgSandbox sandbox;
    QTemporaryDir systemDir;
    test::ScopedEnvVar system{"TALVOR_SYSTEM_DATA_DIR", systemDir.path()};
    test::ScopedEnvVar noBus{"DBUS_SESSION_BUS_ADDRESS", QString()};
    test::ScopedMemoryDomain domain{appTalvor4Prefs};
    platform::UserDefaults defaults;
    test::FakeFontResolver fonts{{}, QStringLiteral("Title Sans")};
    test::ScopedFontResolver scopedFonts{fonts};
    test::FakeClock clock{at("2026-05-15T03:05:07Z"), QTimeZone::utc()};
    std::unique_ptr<AppearanceService> appearance;
    TalvorTimeSettings timeSettings;
    TalvorDateSettings dateSettings;
    SharedInstance<TalvorTimeSettings>::Override useTime{timeSettings};
    SharedInstance<TalvorDateSettings>::Override useDate{dateSettings};
    platform::Observation watch;
    QStringList posted;
    QStringList calls;
};

using prefsTimeItemPane = ItemPanes;
using prefsDateItemPane = ItemPanes;

TEST_F(prefsTimeItemPane, FlagBoxesSetTheirBitOfTheWordAndTheirSetting) {
    struct Case {
        const char* box;
        int tag;
        std::function<bool()> setting;
        QString key;  // where the setting is kept, empty when only in memory
    };
    const Case cases[] = {
        {"analogClock", 6, [this] { return timeSettings.showAnalogClockInMenu; },
         keys::TalvorTimeICONPref},
        {"flashSeparator", 2, [this] { return timeSettings.flashSeparator; },
         keys::TalvorTimeFlashSepPref},
        {"showTime", 0, [this] { return timeSettings.showTimeInMenu; }, QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.box);
        TalvorMenuBarFlags = 0;
        auto pane = make(timeItemTable());
        auto* box = child<QAbstractButton>(*pane, c.box);
        ASSERT_FALSE(box->isChecked());
        box->click();
        EXPECT_EQ(store().integerValue(keys::MenuBarOptBits), qint64{1} << c.tag);
        EXPECT_TRUE(c.setting());
        if (!c.key.isEmpty()) {
            EXPECT_EQ(store().integerValue(c.key), 1);
        }
        EXPECT_TRUE(takePosted().contains(keys::TalvorMenuBarDatePrefsChangeNotification));
        box->click();
        EXPECT_EQ(store().integerValue(keys::MenuBarOptBits), 0);
        EXPECT_FALSE(c.setting());
    }
    // Another tag changes the word alone; the locations window's bit is kept.
    TalvorMenuBarFlags = kMenuBarGMTOffsets;
    auto pane = make(timeItemTable());
    const bool analog = timeSettings.showAnalogClockInMenu;
    const bool flash = timeSettings.flashSeparator;
    TimeItem::showTime(5, true);
    EXPECT_EQ(store().integerValue(keys::MenuBarOptBits), 0x220);
    EXPECT_EQ(timeSettings.showAnalogClockInMenu, analog);
    EXPECT_EQ(timeSettings.flashSeparator, flash);
}

TEST_F(prefsTimeItemPane, EnableShowsOrHidesTheItem) {
    auto pane = make(timeItemTable());
    auto* enable = child<QAbstractButton>(*pane, "enableMenuExtra");
    EXPECT_TRUE(enable->isChecked()) << "shown by default";
    enable->click();
    EXPECT_FALSE(timeSettings.enableTimeMenu);
    EXPECT_FALSE(timeSettings.showTimeInMenu);
    EXPECT_EQ(store().integerValue(keys::TalvorShowTimeMenuPref), 0);
    EXPECT_EQ(calls, QStringList{QStringLiteral("updateMenuBarItems")});
}

TEST_F(prefsTimeItemPane, AFontAbove32PointsIsStoredAt32) {
    auto pane = make(timeItemTable());
    QFontDialog* panel = pane->setFont();
    ASSERT_NE(panel, nullptr);
    child<FontTextField>(*pane, "fontText")->pickFont(QFont(QStringLiteral("Title Sans"), 48));
    EXPECT_EQ(pane->currentFont().pointSizeF(), 32.0);
    EXPECT_EQ(timeSettings.timeFont.pointSizeF(), 32.0);
    EXPECT_EQ(panel->currentFont().pointSizeF(), 32.0) << "the panel shows what was kept";
    EXPECT_TRUE(store()
                    .stringValue(keys::TimeFont + QStringLiteral("Traits"))
                    .value_or(QString())
                    .startsWith(QStringLiteral("Size: 32.000")));
    pane->changeFont(QFont(QStringLiteral("Title Sans"), 20));
    EXPECT_EQ(timeSettings.timeFont.pointSizeF(), 20.0) << "a smaller font is kept as it is";
    panel->close();
}

TEST_F(prefsTimeItemPane, ResetRestoresTheDefaultsAndAnnouncesOnce) {
    auto pane = make(timeItemTable());
    timeSettings.timeFormat = QStringLiteral("HH:mm");
    timeSettings.flashSeparator = true;
    timeSettings.locationTimeFormat = QStringLiteral("HH");
    timeSettings.writePrefs();
    takePosted();
    child<QAbstractButton>(*pane, "resetToDefaults")->click();
    const QStringList heard = takePosted();
    EXPECT_EQ(heard.count(keys::TalvorMenuBarPrefsChangeNotification), 1);
    EXPECT_GE(heard.count(keys::TalvorMenuBarDatePrefsChangeNotification), 1);
    EXPECT_EQ(calls, QStringList{QStringLiteral("updateMenuBarItems")});
    EXPECT_EQ(timeSettings.timeFormat, QStringLiteral("hh:mm:ss a"));
    EXPECT_EQ(store().stringValue(keys::CustomTime), QStringLiteral("hh:mm:ss a"));
    EXPECT_EQ(timeSettings.locationTimeFormat, QStringLiteral("hh:mm a"));
    EXPECT_FALSE(child<QAbstractButton>(*pane, "flashSeparator")->isChecked());
    EXPECT_EQ(child<QComboBox>(*pane, "format")->currentData().toString(),
              QStringLiteral("hh:mm:ss a"));
}

TEST_F(prefsTimeItemPane, TokensAndTypedTextComposeTheFormat) {
    auto pane = make(timeItemTable());
    auto* preview = child<QLabel>(*pane, "customPreview");
    auto* add = child<QPushButton>(*pane, "addToMenu");
    EXPECT_FALSE(add->isEnabled());
    dropFrom(*pane, "hour");  // shows "3"
    type(*pane, QStringLiteral(":"));
    dropFrom(*pane, "minute");  // shows "5"
    EXPECT_EQ(pane->composedPattern(), QStringLiteral("h:m"));
    EXPECT_EQ(preview->text(), QStringLiteral("3:5"));
    EXPECT_TRUE(add->isEnabled());

    // The hour's menu: "01-12" gives the two-digit hour, and the token shows it.
    FormatTokenField* field = pane->tokenField();
    QMenu* menu = field->menuForObject(0);
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->actions().size(), 8);
    EXPECT_EQ(menu->actions().at(1)->text(), QStringLiteral("01-12"));
    menu->actions().at(1)->trigger();
    QCoreApplication::processEvents();
    EXPECT_EQ(pane->composedPattern(), QStringLiteral("hh:m"));
    EXPECT_EQ(preview->text(), QStringLiteral("03:5"));
    EXPECT_EQ(std::get<TokenString>(field->objects().at(0)).name, QStringLiteral("03"));

    // Typed letters act as pattern letters: "a" puts in the am/pm marker.
    type(*pane, QStringLiteral(" a"));
    EXPECT_EQ(preview->text(), QStringLiteral("03:5 AM"));
    // The am/pm token has no menu.
    field->clear();
    dropFrom(*pane, "ampm");
    EXPECT_EQ(field->menuForObject(0), nullptr);
    EXPECT_FALSE(field->chooseAlternative(0, 0));
}

TEST_F(prefsTimeItemPane, TokensKeepTheirSourcesPatternWhenSamplesLookAlike) {
    clock.set(at("2026-05-15T03:03:07Z"));  // the hour and the minute both show "3"
    auto pane = make(timeItemTable());
    FormatTokenField* field = pane->tokenField();
    dropFrom(*pane, "minute");
    type(*pane, QStringLiteral(":"));
    dropFrom(*pane, "hour");
    EXPECT_EQ(pane->composedPattern(), QStringLiteral("m:h"));
    // Text with no source of its own is matched in the sources' order; other text stays text.
    field->clear();
    QMimeData plain;
    plain.setText(QStringLiteral("3"));
    ASSERT_TRUE(field->dropMimeData(plain));
    plain.setText(QStringLiteral("3:"));
    ASSERT_TRUE(field->dropMimeData(plain));
    ASSERT_EQ(field->objects().size(), 2);
    EXPECT_EQ(std::get<TokenString>(field->objects().at(0)).pattern, QStringLiteral("h"));
    EXPECT_EQ(std::get<QString>(field->objects().at(1)), QStringLiteral("3:"));
}

TEST_F(prefsTimeItemPane, TheFormatPopUpShowsTheListAndSelectsTheFormat) {
    auto pane = make(timeItemTable());
    auto* format = child<QComboBox>(*pane, "format");
    const QStringList list = FormatList::builtIn(FormatList::Kind::Time);
    ASSERT_EQ(format->count(), list.size());
    const auto* model = qobject_cast<QStandardItemModel*>(format->model());
    for (int i = 0; i < list.size(); ++i) {
        EXPECT_EQ(model->item(i)->isEnabled(), !FormatList::isSeparator(list.at(i))) << i;
    }
    EXPECT_EQ(format->itemText(4), QStringLiteral("03:05")) << "rendered at the clock's time";
    EXPECT_EQ(format->currentData().toString(), QStringLiteral("hh:mm:ss a"));

    format->setCurrentIndex(4);
    emit format->activated(4);
    EXPECT_EQ(timeSettings.timeFormat, QStringLiteral("HH:mm"));
    EXPECT_EQ(store().stringValue(keys::CustomTime), QStringLiteral("HH:mm"));

    // A format that is in no entry shows as the last item.
    timeSettings.timeFormat = QStringLiteral("H");
    timeSettings.writePrefs();
    auto reopened = make(timeItemTable());
    EXPECT_EQ(child<QComboBox>(*reopened, "format")->currentIndex(), list.size() - 1);
}

TEST_F(prefsTimeItemPane, AddingAndDeletingChangeTheUsersListAndTheFormat) {
    auto pane = make(timeItemTable());
    auto* format = child<QComboBox>(*pane, "format");
    const int before = format->count();
    dropFrom(*pane, "hour");
    type(*pane, QStringLiteral("h"));
    child<QPushButton>(*pane, "addToMenu")->click();
    EXPECT_EQ(format->count(), before + 1);
    EXPECT_EQ(format->currentIndex(), before);
    EXPECT_EQ(timeSettings.timeFormat, QStringLiteral("hh"));
    EXPECT_EQ(FormatList::load(FormatList::Kind::Time).entries().last(), QStringLiteral("hh"));

    // Deleting asks first; "No" keeps everything.
    std::vector<bool> answers = {false, true};
    pane->formatPopUp()->confirmDelete = [&](QWidget*, std::function<void(bool)> answer) {
        const bool yes = answers.front();
        answers.erase(answers.begin());
        answer(yes);
    };
    pane->deleteSelectedFormat();
    EXPECT_EQ(format->count(), before + 1);
    pane->deleteSelectedFormat();
    EXPECT_EQ(format->count(), before);
    EXPECT_EQ(format->currentIndex(), before - 1) << "the new last entry";
    EXPECT_EQ(timeSettings.timeFormat, FormatList::builtIn(FormatList::Kind::Time).last());

    // Deleting the entry before a separator moves on to the next format, never the separator.
    const int separator = static_cast<int>(
        FormatList::builtIn(FormatList::Kind::Time).indexOf(QStringLiteral("-----")));
    format->setCurrentIndex(separator - 1);
    pane->formatPopUp()->confirmDelete = [](QWidget*, std::function<void(bool)> answer) {
        answer(true);
    };
    pane->deleteSelectedFormat();
    EXPECT_FALSE(FormatList::isSeparator(timeSettings.timeFormat))
        << timeSettings.timeFormat.toStdString();
    EXPECT_FALSE(FormatList::isSeparator(format->currentData().toString()));
}

TEST_F(prefsTimeItemPane, AFailedWriteKeepsTheListAndTheFormat) {
    auto pane = make(timeItemTable());
    auto* format = child<QComboBox>(*pane, "format");
    const int before = format->count();
    const QString formatBefore = timeSettings.timeFormat;
    // A file where the data folder should be: nothing can be written below it.
    QDir(platform::Paths::dataDir()).removeRecursively();
    QDir().mkpath(QFileInfo(platform::Paths::dataDir()).absolutePath());
    QFile blocker(platform::Paths::dataDir());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    test::LogCapture log;
    dropFrom(*pane, "hour");
    ASSERT_TRUE(child<QPushButton>(*pane, "addToMenu")->isEnabled());
    child<QPushButton>(*pane, "addToMenu")->click();
    EXPECT_EQ(format->count(), before);
    EXPECT_EQ(timeSettings.timeFormat, formatBefore);
    EXPECT_TRUE(log.contains(QStringLiteral("TimeFormats.plist")));
}

TEST_F(prefsTimeItemPane, OnlyTheWellOfTheCurrentAppearanceIsEnabled) {
    for (const bool dark : {false, true}) {
        SCOPED_TRACE(dark);
        if (dark) {
            defaults.setObject(QStringLiteral("Dark"), keys::AppleInterfaceStyle);
        }
        auto pane = make(timeItemTable());
        EXPECT_EQ(child<QPushButton>(*pane, "timeColor")->isEnabled(), !dark);
        EXPECT_EQ(child<QPushButton>(*pane, "timeColorDMode")->isEnabled(), dark);
        pane->changeColor(QColor(Qt::red), dark);
        EXPECT_EQ(dark ? timeSettings.timeColorDMode : timeSettings.timeColor, QColor(Qt::red));
    }
}

TEST_F(prefsTimeItemPane, TheCustomSheetSetsTheFormatOnlyOnOk) {
    auto pane = make(timeItemTable());
    TalvorCustomDatePanel& panel = TalvorCustomDatePanel::sharedPanel();
    auto* format = child<QComboBox>(*pane, "format");
    child<QPushButton>(*pane, "chooseCustomDate")->click();
    panel.mTextField->setText(QStringLiteral("H 'h' mm"));
    panel.cancel();
    EXPECT_EQ(timeSettings.timeFormat, QStringLiteral("hh:mm:ss a"));

    child<QPushButton>(*pane, "chooseCustomDate")->click();
    panel.mTextField->setText(QStringLiteral("H 'h' mm"));
    panel.ok();
    EXPECT_EQ(timeSettings.timeFormat, QStringLiteral("H 'h' mm"));
    EXPECT_EQ(store().stringValue(keys::CustomTime), QStringLiteral("H 'h' mm"));
    EXPECT_EQ(format->currentIndex(), format->count() - 1) << "not in the list: the last item";
}

// The sheet edits what the pop-up shows: for a format not in the list, the last item.
TEST_F(prefsTimeItemPane, TheCustomSheetStartsFromTheSelectedItem) {
    struct Case {
        const char* stored;
        bool inList;
    };
    for (const Case& c : {Case{"HH:mm", true}, Case{"H 'h' mm", false}}) {
        SCOPED_TRACE(c.stored);
        timeSettings.timeFormat = QString::fromLatin1(c.stored);
        timeSettings.writePrefs();
        auto pane = make(timeItemTable());
        auto* format = child<QComboBox>(*pane, "format");
        const QStringList& entries = pane->formatPopUp()->list().entries();
        ASSERT_EQ(entries.contains(timeSettings.timeFormat), c.inList);
        const QString shown = entries.at(format->currentIndex());
        child<QPushButton>(*pane, "chooseCustomDate")->click();
        TalvorCustomDatePanel& panel = TalvorCustomDatePanel::sharedPanel();
        EXPECT_EQ(panel.mTextField->text(), shown);
        panel.cancel();
    }
}

// The separator field sets what the time item shows between its numbers (the item's own
// drawing of it is tested with the tick), stores it and announces it; empty is the colon.
TEST_F(prefsTimeItemPane, TheSeparatorFieldSetsTheItemsSeparator) {
    auto pane = make(timeItemTable());
    auto* separator = child<QLineEdit>(*pane, "separator");
    EXPECT_TRUE(separator->text().isEmpty());
    EXPECT_EQ(separator->placeholderText(), QStringLiteral(":"));
    QTest::keyClicks(separator, QStringLiteral("."));
    EXPECT_EQ(timeSettings.timeSeparator, QStringLiteral("."));
    EXPECT_EQ(store().stringValue(keys::TimeSeparator), QStringLiteral("."));
    EXPECT_TRUE(takePosted().contains(keys::TalvorMenuBarDatePrefsChangeNotification));

    auto again = make(timeItemTable());
    EXPECT_EQ(child<QLineEdit>(*again, "separator")->text(), QStringLiteral("."))
        << "the field shows the stored separator";
    separator->selectAll();
    QTest::keyClick(separator, Qt::Key_Backspace);
    EXPECT_EQ(timeSettings.timeSeparator, QStringLiteral(":"));
    pane->resetToDefaults();
    EXPECT_EQ(timeSettings.timeSeparator, QStringLiteral(":"));
}

TEST_F(prefsTimeItemPane, AnAppearanceChangeSwitchesTheWells) {
    auto pane = make(timeItemTable());
    auto* light = child<QPushButton>(*pane, "timeColor");
    auto* dark = child<QPushButton>(*pane, "timeColorDMode");
    ASSERT_TRUE(light->isEnabled());
    defaults.setObject(QStringLiteral("Dark"), keys::AppleInterfaceStyle);
    platform::DistributedNotificationCenter::defaultCenter().post(
        AppleInterfaceThemeChangedNotification);
    takePosted();
    EXPECT_FALSE(light->isEnabled());
    EXPECT_TRUE(dark->isEnabled());
}

TEST_F(prefsDateItemPane, TokensAndTextComposeIntoPiecesWithAPreview) {
    auto pane = make(dateItemTable());
    auto* preview = child<QLabel>(*pane, "customPreview");
    auto* add = child<QPushButton>(*pane, "addToMenu");
    dropFrom(*pane, "dayOfWeek");
    type(*pane, QStringLiteral(", "));
    dropFrom(*pane, "year");
    EXPECT_EQ(pane->composedPattern(), QStringLiteral("EEEE$*&, $*&yyyy$*&"));
    EXPECT_EQ(preview->text(), QStringLiteral("Friday, 2026"));
    EXPECT_TRUE(add->isEnabled());

    FormatTokenField* field = pane->tokenField();
    field->setObjects({QStringLiteral("MMM")});
    EXPECT_EQ(preview->text(), QStringLiteral("May")) << "typed text equal to a pattern renders";
    // A token that names no pattern adds nothing, and nothing cannot be added.
    field->setObjects({TokenString{QStringLiteral("?"), 0, 1, QString()}});
    EXPECT_EQ(pane->composedPattern(), QString());
    EXPECT_FALSE(add->isEnabled());

    field->setObjects({std::get<TokenString>(
        field->representedObjectForEditingString(QStringLiteral("May"), 2))});
    child<QPushButton>(*pane, "addToMenu")->click();
    EXPECT_EQ(dateSettings.dateFormat, QStringLiteral("MMMM$*&"));
    EXPECT_EQ(store().stringValue(keys::CustomDate), QStringLiteral("MMMM$*&"));
    EXPECT_EQ(child<QComboBox>(*pane, "format")->currentText(), QStringLiteral("May"));
}

TEST_F(prefsDateItemPane, ResetEmptiesTheComposerAndRestoresTheDefaults) {
    auto pane = make(dateItemTable());
    dateSettings.dateFormat = QStringLiteral("yyyy");
    dateSettings.hasDropShadow = true;
    dateSettings.writePrefs();
    dropFrom(*pane, "month");
    ASSERT_FALSE(child<QLabel>(*pane, "customPreview")->text().isEmpty());
    child<QAbstractButton>(*pane, "resetToDefaults")->click();
    EXPECT_TRUE(pane->tokenField()->objects().isEmpty());
    EXPECT_TRUE(child<QLabel>(*pane, "customPreview")->text().isEmpty());
    EXPECT_FALSE(child<QPushButton>(*pane, "addToMenu")->isEnabled());
    EXPECT_EQ(pane->composedPattern(), QString());
    EXPECT_EQ(dateSettings.dateFormat, QStringLiteral("EEE dd MMM"));
    EXPECT_FALSE(child<QAbstractButton>(*pane, "dateDropShadow")->isChecked());
    EXPECT_EQ(calls, QStringList{QStringLiteral("updateMenuBarItems")});
}

TEST_F(prefsDateItemPane, BoxesStoreTheirSettings) {
    struct Case {
        const char* box;
        bool TalvorDateSettings::*setting;
        QString key;
        bool remakesItems;
    };
    const Case cases[] = {
        {"showMoon", &TalvorDateSettings::showMoon, keys::TalvorCalMoonPref, true},
        {"southernHemisphere", &TalvorDateSettings::isSouthernHemisphere,
         keys::TalvorCalMoonHemPref, false},
        {"moonToolTip", &TalvorDateSettings::showMoonToolTip, keys::TalvorCalMoonToolTipPref,
         false},
        {"showDate", &TalvorDateSettings::showDateInMenu, keys::TalvorCalDateInMenuPref, false},
        {"enableMenuExtra", &TalvorDateSettings::showDateMenu, keys::TalvorShowDateMenuPref, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.box);
        auto pane = make(dateItemTable());
        calls.clear();
        const bool before = dateSettings.*c.setting;
        child<QAbstractButton>(*pane, c.box)->click();
        EXPECT_EQ(dateSettings.*c.setting, !before);
        EXPECT_EQ(store().integerValue(c.key), before ? 0 : 1);
        EXPECT_TRUE(takePosted().contains(keys::TalvorMenuBarDatePrefsChangeNotification));
        EXPECT_EQ(calls, c.remakesItems ? QStringList{QStringLiteral("updateMenuBarItems")}
                                        : QStringList());
    }
}

TEST_F(prefsDateItemPane, CompositeEntriesOfTheListRenderInThePopUp) {
    auto pane = make(dateItemTable());
    auto* format = child<QComboBox>(*pane, "format");
    const int composite = format->findData(QStringLiteral("EEEE$*&, $*&d$*&"));
    ASSERT_GE(composite, 0);
    EXPECT_EQ(format->itemText(composite), QStringLiteral("Friday, 15"));
    EXPECT_EQ(format->currentData().toString(), QStringLiteral("EEE dd MMM"));
}

}  // namespace
}  // namespace talvor
