#include "ShellTestSupport.h"
#include "foundation/TalvorFilePaths.h"
#include "platform/EventModifiers.h"
#include "platform/Menu.h"
#include "platform/OffscreenStatusBar.h"
#include "shell/WorldClockItems.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>

namespace talvor {
namespace {

using LookUp = WorldClockItems::LookUp;

QVariantList paris(const QVariant& note = QStringLiteral("FR")) {
    return {note,
            QStringLiteral("Paris"),
            QString(),
            QStringLiteral("France"),
            QStringLiteral("Europe/Paris"),
            QStringLiteral("1"),
            QStringLiteral("CET"),
            QString(),
            QString(),
            QString(),
            true};
}

class shellWorldClocks : public ::testing::Test {
  protected:
    shellWorldClocks() {
        fixture.time->locationTimeFormat = QStringLiteral("HH:mm");
        fixture.time->showLoctionNames = true;
        fixture.time->hideCountryInMenuItems = false;
    }
    WorldClockItems& items() {
        if (!items_) {
            WorldClockItems::Actions actions;
            actions.openURL = [this](const QUrl& url) {
                opened << url.toString(QUrl::FullyEncoded);
                return true;
            };
            items_.emplace(
                *menu, *fixture.time, fixture.clock, [this] { return flags; }, actions);
        }
        return *items_;
    }
    QStringList titles() const {
        QStringList result;
        for (const auto& item : menu->itemArray()) {
            result << item->title();
        }
        return result;
    }

    test::ShellFixture fixture;  // 2025-03-04 15:40:30 UTC
    std::shared_ptr<platform::Menu> menu = platform::Menu::create();
    quint32 flags = 22745;
    QStringList opened;
    std::optional<WorldClockItems> items_;
};

// The table is read on a thread of its own; the list's first reader waits for it, and a
// list set meanwhile is not replaced by the table read before it.
TEST_F(shellWorldClocks, TheTableReadInTheBackgroundReachesTheFirstReader) {
    test::XdgSandbox sandbox;
    const QVariantList lima{QString(),
                            QStringLiteral("Lima"),
                            QString(),
                            QStringLiteral("Peru"),
                            QStringLiteral("America/Lima"),
                            QStringLiteral("-5"),
                            QString(),
                            QString(),
                            QString(),
                            QString(),
                            true};
    ASSERT_TRUE(TalvorFilePaths::TalvorSaveLocationTable(LocationTable{QVariant(paris())}));
    items().setLocationList(LocationTable{QVariant(lima)});

    items().reloadLocListNow();
    EXPECT_EQ(items().lineCount(), 2);
    EXPECT_EQ(items().LocationList(), LocationTable{QVariant(paris())});

    items().reloadLocListNow();
    items().setLocationList(LocationTable{QVariant(lima), QVariant(lima)});
    EXPECT_EQ(items().LocationList(), (LocationTable{QVariant(lima), QVariant(lima)}));
    items().updateLocationMenuItems(0);
    EXPECT_EQ(titles().size(), 3) << titles().join(QLatin1Char('|')).toStdString();
}

// Of the thousands of records a table holds, the list keeps those the menu or the floating
// clocks show, in the table's order; the file keeps them all.
TEST_F(shellWorldClocks, TheListKeepsOnlyTheRecordsInUse) {
    test::XdgSandbox sandbox;
    QVariantList hidden = paris(QStringLiteral("hidden"));
    hidden[10] = false;
    QVariantList floating = hidden;
    floating[0] = QStringLiteral("floating");
    floating.append(true);
    QVariantList shownAsText = paris(QStringLiteral("text flag"));
    shownAsText[10] = QStringLiteral("1");
    const LocationTable table{QVariant(hidden), QVariant(paris()), QVariant(floating),
                              QVariant(shownAsText), QVariant(QStringLiteral("not a record"))};
    ASSERT_TRUE(TalvorFilePaths::TalvorSaveLocationTable(table));

    items().reloadLocListNow();
    EXPECT_EQ(items().LocationList(), (LocationTable{QVariant(paris()), QVariant(floating)}));
    EXPECT_EQ(items().lineCount(), 2);
    EXPECT_EQ(TalvorFilePaths::TalvorLoadLocationFile(), std::optional(table));
}

TEST_F(shellWorldClocks, TitlesFollowTheFlagWord) {
    QVariantList noZone = paris();
    noZone[5] = QStringLiteral("-100");
    QVariantList unknownZone = paris();
    unknownZone[4] = QStringLiteral("Mars/Olympus");
    QVariantList blankNote = paris(QStringLiteral(" "));
    QVariantList short5 = paris().mid(0, 5);
    struct Case {
        const char* name;
        QVariantList record;
        quint32 flags;
        bool hideCountry;
        const char* expected;
    };
    const Case cases[] = {
        {"default word: time, city, country, note", paris(), 22745, false,
         "16:40, Paris, France, FR"},
        {"name then time", paris(), 0x80 | 0x20, false, "Paris, France, 16:40"},
        {"0x20 wins over 0x10", paris(), 0x80 | 0x20 | 0x10, false, "Paris, France, 16:40"},
        {"time shown but no order bit", paris(), 0x80, false, "Paris, France"},
        {"no time", paris(), 0x40 | 0x10, false, "Paris, France, FR"},
        {"country hidden", paris(), 0x80 | 0x10, true, "16:40, Paris"},
        {"no zone", noZone, 0x80 | 0x10, false, " NA      , Paris, France"},
        {"fewer than six fields", short5, 0x80 | 0x10, false, " NA      , Paris, France"},
        {"unknown zone", unknownZone, 0x80 | 0x10, false, " NA      , Paris, France"},
        {"a blank note is not appended", blankNote, 22745, false, "16:40, Paris, France"},
        {"a number as note", paris(33), 0x40, false, "Paris, France, 33"},
    };
    for (const Case& c : cases) {
        flags = c.flags;
        fixture.time->hideCountryInMenuItems = c.hideCountry;
        EXPECT_EQ(items().titleFor(c.record, fixture.clock.now()), QString::fromUtf8(c.expected))
            << c.name;
    }
    QVariantList noCity = paris();
    noCity[1] = QString();
    fixture.time->hideCountryInMenuItems = true;
    flags = 0;
    EXPECT_EQ(items().titleFor(noCity, fixture.clock.now()), QString());
}

TEST_F(shellWorldClocks, OnlyABooleanTrueInFieldTenShowsALine) {
    QVariantList asText = paris();
    asText[10] = QStringLiteral("1");
    QVariantList asNumber = paris();
    asNumber[10] = 1;
    QVariantList tooShort = paris().mid(0, 10);
    items().setLocationList({asText, asNumber, tooShort, QVariant(QStringLiteral("not a record"))});
    EXPECT_EQ(items().updateLocationMenuItems(0), 1);
    EXPECT_EQ(titles(), QStringList{QStringLiteral("Add Location...")});

    fixture.time->showLoctionNames = false;
    EXPECT_EQ(items().updateLocationMenuItems(0), 0);
    EXPECT_EQ(menu->numberOfItems(), 0);
}

TEST_F(shellWorldClocks, LinesKeepTheListOrderAndCarryTheirLookUps) {
    QVariantList boston = paris(QString());
    boston[1] = QStringLiteral("Boston");
    boston[2] = QStringLiteral("MA");
    boston[3] = QStringLiteral("USA");
    boston[4] = QStringLiteral("America/New_York");
    fixture.time->showOnlineInfo = true;
    menu->addItemWithTitle(QStringLiteral("above"));
    menu->addItemWithTitle(QStringLiteral("below"));
    items().setLocationList({paris(), boston});
    EXPECT_EQ(items().updateLocationMenuItems(1), 4);
    EXPECT_EQ(titles(), (QStringList{"above", "16:40, Paris, France, FR", "10:40, Boston, USA",
                                     "Add Location...", "below"}));
    EXPECT_EQ(menu->itemAtIndex(1)->representedObject().toString(), QStringLiteral("Paris,France"));
    EXPECT_EQ(menu->itemAtIndex(2)->representedObject().toString(), QStringLiteral("Boston,MA"));

    const std::shared_ptr<platform::Menu> submenu = menu->itemAtIndex(2)->submenu();
    ASSERT_NE(submenu, nullptr);
    QStringList entries;
    for (const auto& item : submenu->itemArray()) {
        entries << (item->isSeparatorItem() ? QStringLiteral("---")
                                            : item->title() + "=" + item->identifier());
    }
    EXPECT_EQ(
        entries,
        (QStringList{"Open Info In=", "---", "Sunset/Sunrise...=Boston", "Wikipedia=Boston",
                     "Weather Underground=Boston,MA", "Wolfram|Alpha=Boston", "Google=Boston,MA",
                     "Google Maps=Boston,MA", "---", "Edit Locations...=Boston,MA"}));
    // Windows that are not there yet leave their items disabled rather than dead.
    EXPECT_FALSE(submenu->isItemShownEnabled(*submenu->itemAtIndex(0)));
    EXPECT_FALSE(submenu->isItemShownEnabled(*submenu->itemAtIndex(2)));
    EXPECT_TRUE(submenu->isItemShownEnabled(*submenu->itemAtIndex(3)));

    submenu->performActionForItemAtIndex(6);
    EXPECT_EQ(opened,
              QStringList{"https://www.google.com/search?q=Boston,MA&oe=UTF-8&um=1&ie=UTF-8"});
}

TEST_F(shellWorldClocks, ModifierKeysChooseTheLookUp) {
    using namespace platform;
    struct Case {
        ModifierFlags modifiers;
        const char* expected;
    };
    const Case cases[] = {
        {0,
         "https://www.wunderground.com/cgi-bin/findweather/"
         "getForecast?query=Paris,France&wuSelect=WEATHER"},
        {ControlKeyMask | ShiftKeyMask,
         "https://www.google.com/search?q=Paris,France&oe=UTF-8&um=1&ie=UTF-8"},
        {AlternateKeyMask | ShiftKeyMask,
         "https://www.google.com/maps?q=Paris,France&oe=UTF-8&um=1&ie=UTF-8"},
        {AlternateKeyMask, "https://en.wikipedia.org/wiki/Paris"},
        {ShiftKeyMask, "https://www.wolframalpha.com/input/?i=Paris,France"},
        {CommandKeyMask,
         "https://www.wunderground.com/cgi-bin/findweather/"
         "getForecast?query=Paris,France&wuSelect=WEATHER"},
    };
    items().setLocationList({QVariant(paris())});
    items().updateLocationMenuItems(0);
    for (const Case& c : cases) {
        opened.clear();
        ScopedEventModifiers held(c.modifiers);
        items().menuSelectedTimeZone(*menu->itemAtIndex(0));
        EXPECT_EQ(opened, QStringList{QString::fromLatin1(c.expected)}) << c.modifiers;
    }
    opened.clear();
    items().menuSelectedTimeZone(*menu->itemAtIndex(1));  // "Add Location..." has no look-up
    EXPECT_TRUE(opened.isEmpty());
}

TEST_F(shellWorldClocks, LookUpsEscapeAnyScriptAsUtf8) {
    struct Case {
        const char* text;
        const char* query;
    };
    const Case cases[] = {
        {"\xC5\x81\xC3\xB3\x64\xC5\xBA", "%C5%81%C3%B3d%C5%BA"},  // Łódź
        {"\xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0",
         "%D0%9C%D0%BE%D1%81%D0%BA%D0%B2%D0%B0"},            // Москва
        {"\xE6\x9D\xB1\xE4\xBA\xAC", "%E6%9D%B1%E4%BA%AC"},  // 東京
        {"Trinidad & Tobago?+", "Trinidad%20%26%20Tobago%3F%2B"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(
            WorldClockItems::lookUpURL(LookUp::AnswerEngine, QString::fromUtf8(c.text))
                .toString(QUrl::FullyEncoded),
            QStringLiteral("https://www.wolframalpha.com/input/?i=") + QString::fromLatin1(c.query))
            << c.text;
    }
}

TEST_F(shellWorldClocks, LinesAreCurrentWhenShownAndRebuiltOnlyWhileClosed) {
    items().setLocationList({QVariant(paris())});
    items().updateLocationMenuItems(0);
    const platform::MenuItem* line = menu->itemAtIndex(0);

    // Closed: the tick leaves the lines alone; opening brings them up to date.
    fixture.clock.advance(60);
    items().refreshForTick();
    EXPECT_EQ(line->title(), QStringLiteral("16:40, Paris, France, FR"));
    menu->notifyWillOpen();
    EXPECT_EQ(line->title(), QStringLiteral("16:41, Paris, France, FR"));

    // Open: rewritten in place every tick.
    fixture.clock.advance(60);
    items().refreshForTick();
    EXPECT_EQ(menu->itemAtIndex(0), line);
    EXPECT_EQ(line->title(), QStringLiteral("16:42, Paris, France, FR"));

    QVariantList tokyo = paris(QString());
    tokyo[1] = QStringLiteral("Tokyo");
    tokyo[3] = QStringLiteral("Japan");
    tokyo[4] = QStringLiteral("Asia/Tokyo");
    items().setLocationList({paris(), tokyo});
    items().refreshForTick();
    EXPECT_EQ(menu->numberOfItems(), 2) << "no rebuild while the menu is open";

    // The rebuild waits for the chosen item's action, which runs right after the close.
    bool chosenLineAlive = false;
    menu->notifyDidClose();
    chosenLineAlive = menu->itemAtIndex(0) == line;
    QCoreApplication::processEvents();
    EXPECT_TRUE(chosenLineAlive);
    EXPECT_EQ(titles(),
              (QStringList{"16:42, Paris, France, FR", "00:42, Tokyo, Japan", "Add Location..."}));
}

// Pixels of the picture within `tolerance` of `colour` in each component.
int pixelsNear(const QImage& image, QColor colour, int tolerance = 40) {
    int count = 0;
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < rgb.height(); ++y) {
        for (int x = 0; x < rgb.width(); ++x) {
            const QColor c = rgb.pixelColor(x, y);
            count += std::abs(c.red() - colour.red()) <= tolerance &&
                     std::abs(c.green() - colour.green()) <= tolerance &&
                     std::abs(c.blue() - colour.blue()) <= tolerance;
        }
    }
    return count;
}

TEST_F(shellWorldClocks, LinesAreDrawnInTheLocationFontColourAndShadow) {
    const QColor red(230, 0, 0);
    fixture.time->locationFont = QFont(QStringLiteral("DejaVu Sans"), 20);
    fixture.time->locationColor = red;
    fixture.time->locationHasDropShadow = true;
    items().setLocationList({QVariant(paris())});
    items().updateLocationMenuItems(0);
    const platform::MenuItem* line = menu->itemAtIndex(0);
    ASSERT_EQ(line->title(), QStringLiteral("16:40, Paris, France, FR"));
    const platform::TextAttributes shown = line->attributedTitle().attributesAtIndex(0);
    EXPECT_EQ(line->attributedTitle().runs().size(), 1u);
    EXPECT_EQ(shown.font, fixture.time->locationFont);
    EXPECT_EQ(shown.foregroundColor, std::optional<QColor>(red));
    ASSERT_TRUE(shown.shadow.has_value());
    EXPECT_EQ(shown.shadow->offset, QPointF(2.0, -2.0));
    EXPECT_TRUE(menu->itemAtIndex(1)->attributedTitle().isEmpty())
        << "\"Add Location...\" is a command, not a location";

    // The ticking time keeps the style, and a changed style reaches the open menu.
    menu->notifyWillOpen();
    fixture.clock.advance(60);
    fixture.time->locationHasDropShadow = false;
    items().refreshForTick();
    EXPECT_EQ(line->title(), QStringLiteral("16:41, Paris, France, FR"));
    EXPECT_EQ(line->attributedTitle().attributesAtIndex(0).foregroundColor,
              std::optional<QColor>(red));
    EXPECT_FALSE(line->attributedTitle().attributesAtIndex(0).shadow.has_value());
    menu->notifyDidClose();

    // Drawn: the menu shows red text where a plain line would be the menu's text colour.
    const QImage styled = platform::OffscreenStatusBar::renderMenu(menu);
    EXPECT_GT(pixelsNear(styled, red), 20);
    fixture.time->locationColor = QColor(0, 0, 0);
    items().updateLocationMenuItems(0);
    EXPECT_EQ(pixelsNear(platform::OffscreenStatusBar::renderMenu(menu), red), 0);
}

}  // namespace
}  // namespace talvor
