#include "foundation/FormatList.h"
#include "foundation/FoundationKeys.h"
#include "foundation/PreferenceDomain.h"
#include "foundation/TalvorMenuItemFlags.h"
#include "foundation/TalvorTimeSettings.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/SharedInstance.h"
#include "prefs/PaneFactory.h"
#include "prefs/PrefsKeys.h"
#include "prefs/TalvorMenuViewController.h"
#include "support/FakeFontResolver.h"
#include "support/QtPrinters.h"
#include "support/ScopedPreferences.h"
#include "support/TestEnvironment.h"
#include "widgets/FontTextField.h"
#include "widgets/TalvorCustomDatePanel.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace talvor {
namespace {

using Pane = TalvorMenuViewController;

class MenuItemsPane : public ::testing::Test {
  protected:
    MenuItemsPane() { TalvorMenuItemFlags = 0; }

    std::unique_ptr<Pane> makePane() {
        TalvorMenuDelegate d;
        d.UpdateMenu = [this](qint32 code) { codes.push_back(code); };
        d.locationTimeZoneSetup = [this](QWidget* window) { sheetWindows.push_back(window); };
        d.openURL = [this](const QUrl& url) { urls.push_back(url); };
        return std::make_unique<Pane>(QStringLiteral("PrefsMenu"), d);
    }
    template <class W>
    static W* child(Pane& pane, const char* name) {
        W* w = pane.view()->findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    static QAbstractButton* cell(Pane& pane, int tag) {
        return child<QButtonGroup>(pane, "menuItems")->button(tag);
    }
    platform::MemoryPreferenceStore& store() { return domain.store(); }
    std::optional<qint64> storedWord() { return store().integerValue(MenuItemOptBits); }
    // Counts the posts of `name` that reach this process while `action` runs.
    static int postsOf(const QString& name, const std::function<void()>& action) {
        int heard = 0;
        auto& center = platform::DistributedNotificationCenter::defaultCenter();
        // Posts of earlier cases are still on their way.
        center.flush();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        platform::Observation watch =
            center.addObserver(name, QVariant(), [&](const platform::Notification&) { ++heard; });
        action();
        center.flush();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        return heard;
    }

    test::XdgSandbox sandbox;
    // Off the session bus: tests running beside this one post the same names there.
    test::ScopedEnvVar noBus{"DBUS_SESSION_BUS_ADDRESS", QStringLiteral("disabled:")};
    test::ScopedMemoryDomain domain{appTalvor4Prefs};
    test::FakeFontResolver fonts{{}, QStringLiteral("Title Sans")};
    test::ScopedFontResolver scopedFonts{fonts};
    // The process-wide time settings for this test only, read from its domain: one made on
    // first use would outlive the test and carry its values into the next.
    TalvorTimeSettings timeSettings;
    SharedInstance<TalvorTimeSettings>::Override sharedTime{timeSettings};
    std::vector<qint32> codes;
    std::vector<QWidget*> sheetWindows;
    std::vector<QUrl> urls;
};

using prefsMenuItemsPane = MenuItemsPane;

TEST_F(prefsMenuItemsPane, FlagWordDefaultsAndEveryBitRoundTripsThroughItsKey) {
    EXPECT_EQ(loadTalvorMenuItemFlags(), 22745u) << "no stored word";
    EXPECT_EQ(kDefaultMenuItemFlags, 0x58D9u);
    auto pane = makePane();
    for (int tag = 0; tag < 32; ++tag) {
        SCOPED_TRACE(tag);
        TalvorMenuItemFlags = kDefaultMenuItemFlags;
        const quint32 bit = 1u << tag;
        pane->toggleMenuItems(tag, true);
        EXPECT_EQ(TalvorMenuItemFlags, kDefaultMenuItemFlags | bit);
        EXPECT_EQ(storedWord(), static_cast<qint32>(kDefaultMenuItemFlags | bit))
            << "stored as a signed 32-bit number";
        TalvorMenuItemFlags = 0;
        EXPECT_EQ(loadTalvorMenuItemFlags(), kDefaultMenuItemFlags | bit);
        pane->toggleMenuItems(tag, false);
        EXPECT_EQ(TalvorMenuItemFlags, kDefaultMenuItemFlags & ~bit);
    }
    pane->toggleMenuItems(35, true);
    EXPECT_EQ(TalvorMenuItemFlags & 0x8u, 0x8u) << "a tag counts modulo 32";
}

TEST_F(prefsMenuItemsPane, DefaultWordShowsItsCellsAndLayout) {
    auto pane = makePane();
    const std::pair<int, bool> cells[] = {{3, true},   {11, true}, {12, true},
                                          {13, false}, {14, true}, {15, false}};
    for (const auto& [tag, on] : cells) {
        EXPECT_EQ(cell(*pane, tag)->isChecked(), on) << tag;
    }
    EXPECT_EQ(child<QComboBox>(*pane, "format")->currentIndex(), 3);
    EXPECT_FALSE(storedWord().has_value()) << "loading writes nothing";
    EXPECT_TRUE(codes.empty());
}

TEST_F(prefsMenuItemsPane, CellClickSetsItsBitAndClearingRestoresTheWordExactly) {
    auto pane = makePane();
    pane->view();
    const quint32 before = TalvorMenuItemFlags;
    const int posts =
        postsOf(keys::TalvorSettingsUpdatedNotification, [&] { cell(*pane, 13)->click(); });
    EXPECT_EQ(TalvorMenuItemFlags, before | 0x2000u);
    EXPECT_EQ(storedWord(), static_cast<qint32>(before | 0x2000u));
    EXPECT_EQ(posts, 1);
    EXPECT_EQ(codes, std::vector<qint32>{Pane::WorldClocks});
    cell(*pane, 13)->click();
    EXPECT_EQ(TalvorMenuItemFlags, before);
    EXPECT_EQ(TalvorMenuItemFlags & 1u, 1u) << "bit 0 is kept";
}

TEST_F(prefsMenuItemsPane, LayoutItemReplacesBitsFourToSevenAndShowsAgainOnReopening) {
    {
        auto pane = makePane();
        QComboBox* format = child<QComboBox>(*pane, "format");
        format->setCurrentIndex(4);
        emit format->activated(4);
        EXPECT_EQ(storedWord(), 22697);
        EXPECT_EQ(codes, std::vector<qint32>{Pane::WorldClocks});
    }
    auto reopened = makePane();
    EXPECT_EQ(child<QComboBox>(*reopened, "format")->currentIndex(), 4)
        << "the pop-up shows the stored layout, not item count minus 3";
}

TEST_F(prefsMenuItemsPane, LayoutCodesMapBothWays) {
    for (std::size_t item = 0; item < Pane::kLocationOrderCodes.size(); ++item) {
        EXPECT_EQ(Pane::locationOrderItem(Pane::kLocationOrderCodes[item] | (0x58D9u & ~0xF0u)),
                  static_cast<int>(item));
    }
    EXPECT_EQ(Pane::locationOrderItem(0x30), std::nullopt);
}

// Each layout's words name what its code shows on a location line, in order: the note
// (bit 0x40) is the location's note, never a region.
TEST_F(prefsMenuItemsPane, LayoutWordsSayWhatTheLineShows) {
    auto pane = makePane();
    QComboBox* format = child<QComboBox>(*pane, "format");
    ASSERT_EQ(format->count(), static_cast<int>(Pane::kLocationOrderCodes.size()));
    for (int item = 0; item < format->count(); ++item) {
        const quint32 code = Pane::kLocationOrderCodes[static_cast<std::size_t>(item)];
        QStringList words{QStringLiteral("Name")};
        if (code & 0x80u) {
            if (code & 0x10u) {
                words.prepend(QStringLiteral("Time"));
            } else {
                words.append(QStringLiteral("Time"));
            }
        }
        if (code & 0x40u) {
            words.append(QStringLiteral("Note"));
        }
        EXPECT_EQ(format->itemText(item), words.join(QStringLiteral(", "))) << item;
    }
}

TEST_F(prefsMenuItemsPane, UnknownLayoutCodeFallsBackToTheStoredIndexWhenInRange) {
    struct Case {
        std::optional<qint32> index;
        int shown;
    };
    const Case cases[] = {{std::nullopt, 3}, {1, 1}, {5, 5}, {6, 3}, {-1, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index.value_or(-100));
        store().setValue(MenuItemOptBits, QVariant(qint64{0x30}));
        store().removeValue(QStringLiteral("LocFormatIndex"));
        if (c.index) {
            store().setValue(QStringLiteral("LocFormatIndex"), QVariant(qint64{*c.index}));
        }
        auto pane = makePane();
        EXPECT_EQ(child<QComboBox>(*pane, "format")->currentIndex(), c.shown);
    }
}

// Each box writes its setting and asks for its part of the time menu.
struct BoxCase {
    const char* name;
    bool TalvorTimeSettings::*setting;
    std::optional<qint32> code;
};
const BoxCase kBoxes[] = {
    {"dropShadowMenuItem", &TalvorTimeSettings::locationHasDropShadow, std::nullopt},
    {"hideCountryName", &TalvorTimeSettings::hideCountryInMenuItems, Pane::WorldClocks},
    {"showLocation", &TalvorTimeSettings::showLoctionNames, Pane::WorldClocks},
    {"showIP", &TalvorTimeSettings::showIP, Pane::ExternalIP},
    {"showIPV4IP", &TalvorTimeSettings::showIPV4IP, Pane::IPv4Lines},
    {"showIPV6IP", &TalvorTimeSettings::showIPV6IP, Pane::IPv6Lines},
    {"showInternalIP", &TalvorTimeSettings::showInternalIP, Pane::InternalIP},
    {"showOnlineInfo", &TalvorTimeSettings::showOnlineInfo, Pane::WorldClocks},
};

TEST_F(prefsMenuItemsPane, EachBoxWritesItsSettingAndAsksForItsMenuGroup) {
    auto pane = makePane();
    for (const BoxCase& c : kBoxes) {
        SCOPED_TRACE(c.name);
        codes.clear();
        QCheckBox* box = child<QCheckBox>(*pane, c.name);
        const bool want = !box->isChecked();
        box->click();
        EXPECT_EQ(TalvorTimeSettings::sharedInstance().*c.setting, want);
        TalvorTimeSettings reread;
        EXPECT_EQ(reread.*c.setting, want) << "written to the domain";
        EXPECT_EQ(codes, c.code ? std::vector<qint32>{*c.code} : std::vector<qint32>{});
    }
}

TEST_F(prefsMenuItemsPane, BoxActionsBeforeSetUpChangeNothing) {
    auto pane = makePane();
    TalvorTimeSettings& settings = TalvorTimeSettings::sharedInstance();
    settings.hideCountryInMenuItems = false;
    const QVariantMap stored = store().dictionaryRepresentation();
    pane->setHideCountry(true);
    pane->showIP(true);
    const int posts =
        postsOf(keys::TalvorMenuBarPrefsChangeNotification, [&] { pane->setNetworkIP(true); });
    EXPECT_FALSE(settings.hideCountryInMenuItems);
    EXPECT_TRUE(codes.empty());
    EXPECT_EQ(posts, 0);
    EXPECT_EQ(store().dictionaryRepresentation(), stored);
}

// The box announces its change, and shows it again the next time the pane opens (it used to
// forget it).
TEST_F(prefsMenuItemsPane, NetworkBoxAnnouncesAndKeepsItsState) {
    auto pane = makePane();
    EXPECT_FALSE(child<QCheckBox>(*pane, "showNetworkIP")->isChecked());
    const int posts = postsOf(keys::TalvorMenuBarPrefsChangeNotification,
                              [&] { child<QCheckBox>(*pane, "showNetworkIP")->click(); });
    EXPECT_EQ(posts, 1);
    EXPECT_TRUE(codes.empty());
    pane = makePane();
    EXPECT_TRUE(child<QCheckBox>(*pane, "showNetworkIP")->isChecked());
}

// The external IP line's page has its control beside the boxes that show the IP lines: it
// shows what is stored, and a changed address is kept and has the external line rebuilt.
TEST_F(prefsMenuItemsPane, TheIpEchoAddressIsSetBesideTheIpBoxes) {
    store().setValue(keys::IPEchoURL, QStringLiteral("ip.example.net"));
    auto pane = makePane();
    QLineEdit* field = child<QLineEdit>(*pane, "ipEchoURL");
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->text(), QStringLiteral("ip.example.net"));
    EXPECT_EQ(field->parentWidget(), child<QCheckBox>(*pane, "showIP")->parentWidget())
        << "in the Network box";

    emit field->editingFinished();
    EXPECT_TRUE(codes.empty()) << "unchanged: nothing to do";
    field->setText(QStringLiteral("  https://echo.example.org/ip  "));
    emit field->editingFinished();
    EXPECT_EQ(store().value(keys::IPEchoURL).toString(),
              QStringLiteral("https://echo.example.org/ip"));
    EXPECT_EQ(codes, std::vector<qint32>{TalvorMenuViewController::ExternalIP});
}

TEST_F(prefsMenuItemsPane, FontLargerThan72PointsIsStoredAt72) {
    auto pane = makePane();
    QFont big(QStringLiteral("Title Sans"));
    big.setPointSizeF(96);
    pane->changeFont(big);
    EXPECT_EQ(pane->LocFont().pointSizeF(), 72.0);
    EXPECT_EQ(pane->LocFont().family(), big.family());
    TalvorTimeSettings reread;
    EXPECT_EQ(reread.locationFont.pointSizeF(), 72.0);
    EXPECT_EQ(child<FontTextField>(*pane, "fontText")->text(),
              big.family() + QStringLiteral(" 72"));

    QFont small = big;
    small.setPointSizeF(9);
    pane->changeFont(small);
    EXPECT_EQ(pane->LocFont().pointSizeF(), 9.0);
    EXPECT_EQ(child<FontTextField>(*pane, "fontText")->text(),
              big.family() + QStringLiteral("  9"));
}

TEST_F(prefsMenuItemsPane, ColourIsStoredAndTintsTheFontDescription) {
    auto pane = makePane();
    const QColor teal(0, 128, 128, 200);
    pane->changeColor(teal);
    TalvorTimeSettings reread;
    EXPECT_EQ(reread.locationColor, teal);
    EXPECT_EQ(child<FontTextField>(*pane, "fontText")->palette().color(QPalette::Text), teal);
}

// The well shows the colour chosen, exactly: pure red is not painted as a pale red, now
// or when the pane opens again.
TEST_F(prefsMenuItemsPane, TheColourWellShowsTheChosenColourExactly) {
    for (const QColor& chosen :
         {QColor(0xFF, 0x00, 0x00), QColor(0x00, 0x80, 0xFF), QColor(0x20, 0x20, 0x20)}) {
        SCOPED_TRACE(chosen.name().toStdString());
        auto pane = makePane();
        pane->changeColor(chosen);
        auto reopened = makePane();
        for (auto* p : {pane.get(), reopened.get()}) {
            QPushButton* well = child<QPushButton>(*p, "menuColor");
            const QImage shown = well->grab().toImage();
            const QPoint middle(shown.width() / 2, shown.height() / 2);
            EXPECT_EQ(QColor(shown.pixel(middle)).name(), chosen.name());
        }
    }
}

TEST_F(prefsMenuItemsPane, LocationsButtonAsksForTheSheetOnThePanesWindow) {
    auto pane = makePane();
    child<QPushButton>(*pane, "locationTimeZoneSetup")->click();
    EXPECT_EQ(sheetWindows, std::vector<QWidget*>{pane->view()->window()});
}

TEST_F(prefsMenuItemsPane, CustomSheetSetsTheLocationTimeFormatOnlyOnOk) {
    auto pane = makePane();
    TalvorCustomDatePanel& panel = TalvorCustomDatePanel::sharedPanel();
    const QString before = TalvorTimeSettings::sharedInstance().locationTimeFormat;

    child<QPushButton>(*pane, "chooseCustomDate")->click();
    panel.mTextField->setText(QStringLiteral("HH:mm"));
    panel.cancel();
    EXPECT_EQ(TalvorTimeSettings::sharedInstance().locationTimeFormat, before);
    EXPECT_TRUE(codes.empty());

    child<QPushButton>(*pane, "chooseCustomDate")->click();
    panel.mTextField->setText(QStringLiteral("HH:mm"));
    panel.ok();
    TalvorTimeSettings reread;
    EXPECT_EQ(reread.locationTimeFormat, QStringLiteral("HH:mm"));
    EXPECT_EQ(codes, std::vector<qint32>{Pane::WorldClocks});
}

TEST_F(prefsMenuItemsPane, TimeFormatPopUpSetsTheLocationLinesFormat) {
    auto pane = makePane();
    auto* popup = child<QComboBox>(*pane, "timeLocFormat");
    const QStringList list = FormatList::load(FormatList::Kind::Time).entries();
    ASSERT_EQ(popup->count(), list.size());
    EXPECT_EQ(popup->currentData().toString(),
              TalvorTimeSettings::sharedInstance().locationTimeFormat);
    const int hhmm = static_cast<int>(list.indexOf(QStringLiteral("HH:mm")));
    ASSERT_GE(hhmm, 0);
    popup->setCurrentIndex(hhmm);
    emit popup->activated(hhmm);
    EXPECT_EQ(TalvorTimeSettings().locationTimeFormat, QStringLiteral("HH:mm"));
    EXPECT_EQ(codes, std::vector<qint32>{Pane::WorldClocks});
    // A separator is never the format.
    codes.clear();
    const int separator = static_cast<int>(list.indexOf(QStringLiteral("-----")));
    ASSERT_GE(separator, 0);
    emit popup->activated(separator);
    EXPECT_EQ(TalvorTimeSettings().locationTimeFormat, QStringLiteral("HH:mm"));
    EXPECT_TRUE(codes.empty());
}

TEST_F(prefsMenuItemsPane, ComposedFormatPreviewsAndIsAddedToTheList) {
    auto pane = makePane();
    auto* minute = child<FormatTokenSourceLabel>(*pane, "minute");
    FormatTokenField* field = pane->tokenField();
    auto* add = child<QPushButton>(*pane, "addToMenu");
    EXPECT_FALSE(add->isEnabled()) << "nothing composed";
    std::unique_ptr<QMimeData> drag(minute->makeMimeData());
    ASSERT_TRUE(field->dropMimeData(*drag));
    field->append(QStringLiteral(":"));
    EXPECT_EQ(pane->timeString(), QStringLiteral("m:"));
    EXPECT_TRUE(child<QLabel>(*pane, "customPreview")->text().endsWith(QLatin1Char(':')));
    EXPECT_TRUE(add->isEnabled());
    add->click();
    EXPECT_EQ(FormatList::load(FormatList::Kind::Time).entries().last(), QStringLiteral("m:"));
    EXPECT_EQ(TalvorTimeSettings().locationTimeFormat, QStringLiteral("m:"));
    EXPECT_EQ(child<QComboBox>(*pane, "timeLocFormat")->currentData().toString(),
              QStringLiteral("m:"));
    EXPECT_EQ(codes, std::vector<qint32>{Pane::WorldClocks});
    field->clear();
    EXPECT_FALSE(add->isEnabled());
}

TEST_F(prefsMenuItemsPane, ResetRestoresTheMenuItemsNotTheTimeItem) {
    auto pane = makePane();
    TalvorTimeSettings& settings = TalvorTimeSettings::sharedInstance();
    settings.timeHasDropShadow = true;
    settings.showIP = true;
    settings.writePrefsAndSync();
    child<QPushButton>(*pane, "resetToDefaults")->click();
    TalvorTimeSettings reread;
    EXPECT_FALSE(reread.showIP);
    EXPECT_TRUE(reread.timeHasDropShadow);
    EXPECT_FALSE(child<QCheckBox>(*pane, "showIP")->isChecked()) << "the pane shows the reset";
}

TEST_F(prefsMenuItemsPane, LeavingThePaneSavesWhatItsBoxesShow) {
    auto pane = makePane();
    pane->saveViewSettings();  // nothing changed: the settings stay as loaded
    child<QCheckBox>(*pane, "showInternalIP")->setChecked(true);
    child<QCheckBox>(*pane, "dropShadowMenuItem")->setChecked(true);
    pane->saveViewSettings();
    TalvorTimeSettings reread;
    EXPECT_TRUE(reread.showInternalIP);
    EXPECT_TRUE(reread.locationHasDropShadow);
}

TEST_F(prefsMenuItemsPane, FactoryHandsThePaneItsDelegate) {
    int asked = 0;
    TalvorMenuDelegate d;
    d.locationTimeZoneSetup = [&](QWidget*) { ++asked; };
    const auto made = PaneFactory::standard({}, d).make(QStringLiteral("TalvorMenuViewController"),
                                                        QStringLiteral("PrefsMenu"));
    auto* pane = dynamic_cast<Pane*>(made.get());
    ASSERT_NE(pane, nullptr);
    pane->view();
    pane->locationTimeZoneSetup();
    EXPECT_EQ(asked, 1);
}

// The live colour panel has no buttons: Escape is its way out, wherever its focus is.
TEST_F(prefsMenuItemsPane, TheColourPanelClosesWithEscape) {
    auto pane = makePane();
    QWidget* view = pane->view();
    view->show();
    pane->setColor();
    QColorDialog* panel = view->findChild<QColorDialog*>();
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(panel));
    // Keys reach the panel only once it is the active window: it asks to be, also where no
    // window manager would make it so.
    EXPECT_TRUE(QTest::qWaitForWindowActive(panel));
    const QPointer<QColorDialog> alive(panel);
    QWidget* focus = panel->focusWidget() != nullptr ? panel->focusWidget() : panel;
    QTest::keyClick(focus, Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(alive.isNull() || !alive->isVisible());
}

}  // namespace
}  // namespace talvor
