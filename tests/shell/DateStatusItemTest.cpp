#include "ShellTestSupport.h"

#include "platform/OffscreenStatusBar.h"
#include "shell/CustomDateStatusItem.h"
#include "shell/MoonDisplay.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

namespace talvor {
namespace {

class RecordingHost : public CustomDateStatusItemHost {
  public:
    void drawHighlight(bool highlight, const QString& path) override {
        calls << QStringLiteral("drawHighlight %1 %2").arg(highlight ? "YES" : "NO", path);
    }
    void showCal() override { calls << QStringLiteral("showCal"); }
    QStringList calls;
};

class shellDateItem : public ::testing::Test, protected test::ShellFixture {
  protected:
    RecordingHost host;
    CustomDateStatusItem view{&host, *date};
};

TEST_F(shellDateItem, StartsTransparentWithALeftAlignedBorderlessButton) {
    EXPECT_TRUE(view.isTransparent());
    EXPECT_FALSE(view.isMenuOpen());
    EXPECT_FALSE(view.dateButton()->isBordered());
    EXPECT_EQ(view.dateButton()->alignment(), Qt::AlignLeft);
    EXPECT_EQ(view.backgroundColor(), QColor(30, 144, 255));
}

TEST_F(shellDateItem, TheButtonStandsBesideTheMoonOrEightPointsLeft) {
    const QRectF item(0, 0, 90, 22);
    view.setText(platform::AttributedString(QStringLiteral("Tue 4 Mar")), 60.4f, item);
    EXPECT_EQ(view.dateButton()->frame(), QRectF(-8, -4, 69, 52));
    EXPECT_EQ(view.dateButton()->attributedTitle().string(), "Tue 4 Mar");

    view.setImage(QImage(16, 16, QImage::Format_ARGB32), QSizeF(16, 16));
    EXPECT_EQ(view.moonFrame().size(), QSizeF(16, 18));
    EXPECT_DOUBLE_EQ(view.dateButton()->frame().x(), 18.0);
    view.setText(platform::AttributedString(QStringLiteral("Tue 4 Mar")), 60.4f, item);
    EXPECT_DOUBLE_EQ(view.dateButton()->frame().x(), 18.0);

    view.setImage(QImage(), QSizeF(0, 0));
    EXPECT_DOUBLE_EQ(view.dateButton()->frame().x(), 0.0);
    view.setText(platform::AttributedString(QStringLiteral("Tue 4 Mar")), 60.4f, item);
    EXPECT_DOUBLE_EQ(view.dateButton()->frame().x(), -8.0);
}

// The tick and the moon hand the view the same text and picture every second or minute:
// only a change asks for a redraw, and every change does.
TEST_F(shellDateItem, AsksForARedrawOnlyWhenWhatItShowsChanged) {
    QSignalSpy redraws(&view, &platform::StatusItemView::needsDisplay);
    const auto redrawn = [&redraws] {
        const bool any = !redraws.isEmpty();
        redraws.clear();
        return any;
    };
    const QRectF item(0, 0, 90, 22);
    const QImage quarter = moonPicture(QStringLiteral("MM2"), 16);
    const QImage full = moonPicture(QStringLiteral("MM4"), 16);

    view.setText(platform::AttributedString(QStringLiteral("Tue 4 Mar")), 60.4f, item);
    EXPECT_TRUE(redrawn());
    view.setText(platform::AttributedString(QStringLiteral("Tue 4 Mar")), 60.4f, item);
    EXPECT_FALSE(redrawn());
    view.setText(platform::AttributedString(QStringLiteral("Wed 5 Mar")), 64.2f, item);
    EXPECT_TRUE(redrawn());

    view.setImage(quarter, QSizeF(16, 16));
    EXPECT_TRUE(redrawn());
    view.setImage(quarter.copy(), QSizeF(16, 16));  // drawn again, the same pixels
    EXPECT_FALSE(redrawn());
    view.setImage(full, QSizeF(16, 16));  // same size, new phase
    EXPECT_TRUE(redrawn());
    view.setImage(QImage(), QSizeF(0, 0));
    EXPECT_TRUE(redrawn());
}

TEST_F(shellDateItem, WhiteTextOnlyForADarkDateColour) {
    struct Case {
        QColor color;
        bool white;
    };
    const Case cases[] = {
        {QColor(0, 0, 0), true},   {QColor(33, 36, 36), true}, {QColor(34, 0, 0), false},
        {QColor(0, 37, 0), false}, {QColor(Qt::white), false},
    };
    for (const Case& c : cases) {
        date->dateColor = c.color;
        EXPECT_EQ(view.changeColorToWhite(), c.white) << c.color.name().toStdString();
    }
}

TEST_F(shellDateItem, APressHighlightsAndOpensTheCalendarTheReleaseRestores) {
    struct Case {
        QColor dateColor;
        QStringList pressCalls;
        QStringList releaseCalls;
    };
    const Case cases[] = {
        {QColor(Qt::black),
         {"drawHighlight YES datePath", "showCal"},
         {"drawHighlight NO datePath"}},
        {QColor(120, 0, 0), {"showCal"}, {}},
    };
    platform::StatusBar statusBar;
    const std::shared_ptr<platform::StatusItem> item =
        statusBar.statusItemWithLength(platform::VariableStatusItemLength);
    auto shared = std::make_shared<CustomDateStatusItem>(&host, *date);
    item->setView(shared);
    shared->setText(platform::AttributedString(QStringLiteral("Tue 4 Mar")), 60.0f,
                    item->buttonFrame());
    platform::OffscreenStatusBar offscreen(statusBar);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dateColor.name().toStdString());
        date->dateColor = c.dateColor;
        host.calls.clear();
        offscreen.mouseDown(*item);
        EXPECT_EQ(host.calls, c.pressCalls);
        EXPECT_FALSE(shared->isTransparent());
        EXPECT_TRUE(shared->wantsLayer());
        EXPECT_EQ(shared->isMenuOpen(), c.pressCalls.size() == 2);
        // The highlight is painted across the item.
        const QRectF rect = offscreen.itemRect(item.get());
        const QImage shot = offscreen.render();
        EXPECT_EQ(shot.pixelColor(rect.topLeft().toPoint() + QPoint(1, 1)), QColor(30, 144, 255));

        host.calls.clear();
        offscreen.mouseUp(*item);
        EXPECT_EQ(host.calls, c.releaseCalls);
        EXPECT_TRUE(shared->isTransparent());
        EXPECT_FALSE(shared->wantsLayer());
        EXPECT_FALSE(shared->isMenuOpen());
        EXPECT_NE(offscreen.render().pixelColor(rect.topLeft().toPoint() + QPoint(1, 1)),
                  QColor(30, 144, 255));
    }
}

TEST_F(shellDateItem, AButtonClickActsLikeAPressOnTheView) {
    date->dateColor = QColor(Qt::black);
    platform::StatusItemMouseEvent onButton;
    onButton.position = QPointF(5, 10);
    view.setText(platform::AttributedString(QStringLiteral("Tue 4 Mar")), 60.0f,
                 QRectF(0, 0, 70, 22));
    view.mouseDown(onButton);
    EXPECT_EQ(host.calls, (QStringList{"drawHighlight YES datePath", "showCal"}));
    EXPECT_FALSE(view.isTransparent());
    EXPECT_TRUE(view.isMenuOpen());
}

TEST_F(shellDateItem, TheDateClickOfTheControllerOpensTheCalendar) {
    StatusItemsController controller(delegate, *time, *date, bar, defaults, clock);
    controller.updateMenuBarItems();
    delegate.calls.clear();
    platform::OffscreenStatusBar offscreen(bar);
    date->dateColor = QColor(Qt::black);
    setDark(true);
    offscreen.mouseDown(*controller.TalvorDate());
    EXPECT_EQ(delegate.calls, QStringList{"showCal"});
    EXPECT_EQ(controller.customDateStatusItem()->dateButton()->attributedTitle().string(),
              delegate.dateText);
    EXPECT_EQ(controller.attrsDateDictionary_darkMode.foregroundColor, QColor(Qt::white));
    offscreen.mouseUp(*controller.TalvorDate());
    EXPECT_EQ(controller.attrsDateDictionary_darkMode.foregroundColor, QColor(Qt::black));
    delegate.calls.clear();
    controller.dateClicked();
    EXPECT_EQ(delegate.calls, QStringList{"showCal"});
}

}  // namespace
}  // namespace talvor
