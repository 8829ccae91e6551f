#include "ShellTestSupport.h"

#include "platform/OffscreenStatusBar.h"
#include "shell/MenuBarDrawing.h"

#include <gtest/gtest.h>

namespace talvor {
namespace {

using platform::StatusItem;

class shellStatusItems : public ::testing::Test, protected test::ShellFixture {
  protected:
    StatusItemsController controller{delegate, *time, *date, bar, defaults, clock};

    bool barHolds(const std::shared_ptr<StatusItem>& item) const {
        for (const auto& i : bar.statusItems()) {
            if (i == item) {
                return true;
            }
        }
        return false;
    }
    std::optional<QColor> timeTitleColor() const {
        return controller.TalvorTime()->attributedTitle().attributesAtIndex(0).foregroundColor;
    }
};

TEST_F(shellStatusItems, CreatingTheItemsOrdersTheDelegateCalls) {
    controller.updateMenuBarItems();
    EXPECT_EQ(delegate.calls,
              (QStringList{"lastDay -1", "setupASMMenu", "moonUpdate", "updateTimeDate"}));
    ASSERT_EQ(bar.statusItems().size(), 2u);
    EXPECT_EQ(bar.statusItems()[0], controller.TalvorDate());
    EXPECT_EQ(bar.statusItems()[1], controller.TalvorTime());
    EXPECT_EQ(controller.TalvorDate()->view(), controller.customDateStatusItem());
    EXPECT_TRUE(controller.TalvorDate()->highlightMode());
    const StatusItem& timeItem = *controller.TalvorTime();
    EXPECT_EQ(timeItem.title(), "Time");
    EXPECT_EQ(timeItem.menu(), delegate.menu);
    EXPECT_TRUE(timeItem.highlightMode());
    EXPECT_EQ(timeItem.alignment(), Qt::AlignRight);
    // Without the moon the time button sits 4 points further right.
    EXPECT_DOUBLE_EQ(timeItem.buttonFrame().x(), 4.0);
}

TEST_F(shellStatusItems, EachSettingAddsOrRemovesItsItemAtOnce) {
    controller.updateMenuBarItems();
    const std::shared_ptr<StatusItem> firstTime = controller.TalvorTime();
    const std::shared_ptr<StatusItem> firstDate = controller.TalvorDate();
    controller.updateTimeItem(QStringLiteral("03:40:30 PM"));

    time->enableTimeMenu = false;
    controller.updateMenuBarItems();
    EXPECT_EQ(controller.TalvorTime(), nullptr);
    EXPECT_FALSE(barHolds(firstTime));
    EXPECT_TRUE(barHolds(controller.TalvorDate()));

    time->enableTimeMenu = true;
    controller.updateMenuBarItems();
    ASSERT_NE(controller.TalvorTime(), nullptr);
    EXPECT_NE(controller.TalvorTime(), firstTime);
    EXPECT_EQ(controller.TalvorTime()->title(), "Time");
    EXPECT_TRUE(barHolds(controller.TalvorTime()));

    date->showDateMenu = false;
    controller.updateMenuBarItems();
    EXPECT_EQ(controller.TalvorDate(), nullptr);
    EXPECT_FALSE(barHolds(firstDate));
    EXPECT_EQ(bar.statusItems().size(), 1u);
}

TEST_F(shellStatusItems, AttributesFollowTheAppearanceColour) {
    time->timeColor = QColor(Qt::black);
    time->timeColorDMode = QColor(200, 200, 0);
    time->timeHasDropShadow = true;
    date->dateColor = QColor(Qt::black);
    date->dateColorDMode = QColor(Qt::white);
    date->hasDropShadow = false;

    setDark(false);
    controller.UpdateFontColorMenuBar();
    EXPECT_EQ(controller.attrsDateDictionary.font, date->dateFont);
    EXPECT_FALSE(controller.attrsDateDictionary.foregroundColor.has_value());
    EXPECT_FALSE(controller.attrsDateDictionary.shadow.has_value());
    EXPECT_EQ(controller.attrsTimeDictionary.foregroundColor, QColor(Qt::black));
    ASSERT_TRUE(controller.attrsTimeDictionary.shadow.has_value());
    EXPECT_DOUBLE_EQ(controller.attrsTimeDictionary.shadow->blurRadius, 1.0);

    setDark(true);
    controller.UpdateFontColorMenuBar();
    EXPECT_EQ(controller.attrsDateDictionary.foregroundColor, QColor(Qt::white));
    EXPECT_EQ(controller.attrsDateDictionary_darkMode.foregroundColor, QColor(Qt::white));
    EXPECT_EQ(controller.attrsTimeDictionary_darkMode.foregroundColor, QColor(200, 200, 0));
}

TEST_F(shellStatusItems, TheTimeTextTurnsWhileTheMenuIsOpenOnlyWhenDarkTextWouldVanish) {
    struct Case {
        bool dark;
        QColor darkTimeColor;
        bool highlights;
    };
    const Case cases[] = {
        {true, QColor(Qt::black), true},
        {true, QColor(33, 36, 36), true},
        {true, QColor(34, 0, 0), false},
        {false, QColor(Qt::black), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.dark << " " << c.darkTimeColor.name().toStdString());
        setDark(c.dark);
        time->timeColorDMode = c.darkTimeColor;
        controller.updateMenuBarItems();
        controller.UpdateFontColorMenuBar();
        controller.updateTimeItem(QStringLiteral("03:40:30 PM"));
        const std::optional<QColor> before = timeTitleColor();

        platform::OffscreenStatusBar offscreen(bar);
        offscreen.click(*controller.TalvorTime());
        ASSERT_EQ(offscreen.openMenu(), delegate.menu);
        if (c.highlights) {
            EXPECT_EQ(timeTitleColor(), QColor(Qt::white));
            EXPECT_EQ(controller.TalvorTime()->title(), delegate.timeText);
            EXPECT_EQ(controller.attrsTimeDictionary_darkMode.font, time->timeFont);
            EXPECT_FALSE(controller.attrsTimeDictionary_darkMode.shadow.has_value());
        } else {
            EXPECT_EQ(timeTitleColor(), before);
        }
        offscreen.closeMenu();
        EXPECT_EQ(timeTitleColor(), c.highlights ? QColor(Qt::black) : before);
    }
}

TEST_F(shellStatusItems, TheDateItemIsSizedByItsTextAndMoon) {
    controller.updateMenuBarItems();
    controller.UpdateFontColorMenuBar();
    platform::OffscreenStatusBar offscreen(bar);
    const double textWidth = platform::widthOfString(delegate.dateText, date->dateFont);
    struct Case {
        bool showMoon;
        double extra;
    };
    for (const Case& c : {Case{false, 13.0}, Case{true, 32.0}}) {
        date->showMoon = c.showMoon;
        controller.updateDateItem(delegate.dateText);
        EXPECT_DOUBLE_EQ(controller.TalvorDate()->length(), textWidth + c.extra);
        EXPECT_DOUBLE_EQ(offscreen.itemRect(controller.TalvorDate().get()).width(),
                         textWidth + c.extra);
    }
    const CustomDateStatusItemButton& button = *controller.customDateStatusItem()->dateButton();
    EXPECT_EQ(button.attributedTitle().string(), delegate.dateText);
    EXPECT_EQ(button.frame().width(), std::ceil(textWidth) + 8);

    // Hidden text keeps the length the item had.
    date->showDateInMenu = false;
    controller.updateDateItem(delegate.dateText);
    EXPECT_TRUE(button.attributedTitle().isEmpty());
    EXPECT_DOUBLE_EQ(controller.TalvorDate()->length(), textWidth + 32.0);
}

TEST_F(shellStatusItems, TheTickDateShadowIsDroppedWhileTheItemIsPressed) {
    date->hasDropShadow = true;
    controller.updateMenuBarItems();
    controller.updateDateItem(delegate.dateText);
    ASSERT_TRUE(controller.attrsDateDictionary.shadow.has_value());
    EXPECT_DOUBLE_EQ(controller.attrsDateDictionary.shadow->blurRadius, 0.5);
    EXPECT_EQ(controller.attrsDateDictionary.shadow->offset, QPointF(2.0, -2.0));
    EXPECT_EQ(controller.attrsDateDictionary, controller.attrsDateDictionary_darkMode);

    controller.customDateStatusItem()->setIsMenuOpen(true);
    controller.updateDateItem(delegate.dateText);
    EXPECT_FALSE(controller.attrsDateDictionary.shadow.has_value());
}

TEST_F(shellStatusItems, TheAnalogIconFollowsTheSettingAndTheFace) {
    controller.updateMenuBarItems();
    time->showAnalogClockInMenu = true;
    controller.updateAnalogIcon(clock.now());
    const QImage icon = controller.TalvorTime()->image();
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(icon, drawAnalogClockIcon(controller.clockImage(), 15, 40, 30));

    platform::OffscreenStatusBar offscreen(bar);
    const double withIcon = offscreen.itemRect(controller.TalvorTime().get()).width();
    time->showAnalogClockInMenu = false;
    controller.updateAnalogIcon(clock.now());
    EXPECT_TRUE(controller.TalvorTime()->image().isNull());
    EXPECT_LT(offscreen.itemRect(controller.TalvorTime().get()).width(), withIcon);

    // A missing face: no icon, text only.
    time->showAnalogClockInMenu = true;
    controller.setClockFaceLoader([] { return QImage(); });
    controller.updateAnalogIcon(clock.now());
    EXPECT_TRUE(controller.clockImage().isNull());
    EXPECT_TRUE(controller.TalvorTime()->image().isNull());
}

TEST_F(shellStatusItems, TheFaceIsTintedAgainWhenTheTimeColourChanges) {
    int loads = 0;
    controller.setClockFaceLoader([&loads] {
        ++loads;
        return drawClockBase();
    });
    time->timeColor = QColor(Qt::black);
    controller.loadClockIcon();
    const QImage black = controller.clockImage();
    controller.loadClockIcon();
    EXPECT_EQ(loads, 1);
    time->timeColor = QColor(Qt::red);
    controller.loadClockIcon();
    EXPECT_EQ(loads, 2);
    EXPECT_NE(controller.clockImage(), black);
}

TEST_F(shellStatusItems, TheTimeButtonMovesForTheMoon) {
    date->showMoon = true;
    controller.updateMenuBarItems();
    EXPECT_DOUBLE_EQ(controller.TalvorTime()->buttonFrame().x(), 0.0);
    controller.updateMenubaritems(true);
    EXPECT_DOUBLE_EQ(controller.TalvorTime()->buttonFrame().x(), -4.0);
    controller.updateMenubaritems(false);
    controller.updateMenubaritems(false);
    EXPECT_DOUBLE_EQ(controller.TalvorTime()->buttonFrame().x(), 4.0);
}

TEST_F(shellStatusItems, DateSettingChangesForceAFullUpdateOnlyFromTheNotification) {
    controller.dateSettingUpdate(false);
    controller.dateSettingUpdate(true);
    EXPECT_EQ(delegate.calls, (QStringList{"moonUpdate", "lastDay -1", "moonUpdate"}));
}

TEST_F(shellStatusItems, TheHighlightRedrawAtMidnightForcesAFullUpdate) {
    controller.updateMenuBarItems();
    delegate.calls.clear();
    clock.set(Date::fromUnix(1741046400));  // 2025-03-04 00:00:00 UTC
    controller.drawHighlight(true, QStringLiteral("datePath"));
    EXPECT_EQ(delegate.calls, QStringList{"lastDay -1"});
    EXPECT_EQ(controller.attrsDateDictionary_darkMode.foregroundColor, QColor(Qt::white));
    EXPECT_EQ(controller.customDateStatusItem()
                  ->dateButton()
                  ->attributedTitle()
                  .attributesAtIndex(0)
                  .foregroundColor,
              QColor(Qt::white));
    clock.advance(1);
    delegate.calls.clear();
    controller.drawHighlight(false, QStringLiteral("datePath"));
    EXPECT_TRUE(delegate.calls.isEmpty());
}

}  // namespace
}  // namespace talvor
