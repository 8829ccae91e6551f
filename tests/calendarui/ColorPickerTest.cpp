// The highlight picker: its row of choices and what it reports.
#include "calendarui/ColorPickerController.h"
#include "widgets/RenderDot.h"

#include <QTest>

#include <gtest/gtest.h>

namespace talvor {
namespace {

class calendaruiColorPicker : public ::testing::Test {
  protected:
    ColorPickerController picker;
    std::vector<SourceHighlight> reported;
    ColorPickerController::Callback record() {
        return [this](const SourceHighlight& h) { reported.push_back(h); };
    }
};

TEST_F(calendaruiColorPicker, TheRowHoldsThePlainColourAndEveryDotKind) {
    QWidget* row = picker.accessoryView();
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(picker.accessoryView(), row);  // made once
    const int n = static_cast<int>(numDots());
    for (int tag = 0; tag <= n; ++tag) {
        HighlightChoice* cell = picker.choice(tag);
        ASSERT_NE(cell, nullptr) << tag;
        EXPECT_EQ(cell->size(), QSize(20, 21));
        EXPECT_EQ(cell->objectValue(), tag == 0 ? QVariant() : QVariant(qlonglong(tag)));
    }
    EXPECT_EQ(picker.choice(n + 1), nullptr);
    EXPECT_GE(row->minimumWidth(), (n + 1) * 20);
}

TEST_F(calendaruiColorPicker, OpensOnTheHighlightWithoutRunningADialog) {
    picker.showPickerWithHighlight(SourceHighlight(QColor(10, 120, 200), 3), record());
    QDialog* window = picker.window();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Event Label"));
    EXPECT_EQ(picker.colorPanel()->currentColor(), QColor(10, 120, 200));
    EXPECT_FALSE(picker.colorPanel()->testOption(QColorDialog::ShowAlphaChannel));
    EXPECT_TRUE(picker.choice(3)->isChecked());
    EXPECT_EQ(picker.choice(0)->objectValue().value<QColor>(), QColor(10, 120, 200));
    // Opening reports nothing.
    EXPECT_TRUE(reported.empty());
    window->close();
}

TEST_F(calendaruiColorPicker, AColourIsReportedOnlyWithoutADot) {
    picker.showPickerWithHighlight(SourceHighlight(Qt::red, 2), record());
    // With a dot chosen, a new colour is kept silently.
    picker.changeColor(Qt::green);
    EXPECT_TRUE(reported.empty());
    EXPECT_EQ(picker.currHighlight().color(), QColor(Qt::green));
    // Choosing the plain colour reports it with the latest colour.
    picker.choice(0)->click();
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported.back(), SourceHighlight(Qt::green, 0));
    picker.changeColor(Qt::blue);
    ASSERT_EQ(reported.size(), 2u);
    EXPECT_EQ(reported.back(), SourceHighlight(Qt::blue, 0));
    // A dot is reported with the colour kept.
    picker.choice(5)->click();
    ASSERT_EQ(reported.size(), 3u);
    EXPECT_EQ(reported.back(), SourceHighlight(Qt::blue, 5));
    EXPECT_TRUE(picker.choice(5)->isChecked());
    EXPECT_FALSE(picker.choice(0)->isChecked());
    picker.window()->close();
}

TEST_F(calendaruiColorPicker, TheChooserReportsWhereTheColourSettles) {
    picker.showPickerWithHighlight(SourceHighlight(Qt::red, 0), record());
    for (int g = 0; g < 200; g += 20) {
        picker.colorPanel()->setCurrentColor(QColor(0, g, 0));
    }
    EXPECT_TRUE(reported.empty());
    QTRY_COMPARE_WITH_TIMEOUT(reported.size(), size_t(1), 5000);
    EXPECT_EQ(reported.back().color(), QColor(0, 180, 0));
    picker.window()->close();
}

TEST_F(calendaruiColorPicker, ANewShowingReplacesTheCallbackAndTheHighlight) {
    std::vector<SourceHighlight> first;
    picker.showPickerWithHighlight(SourceHighlight(Qt::red, 0),
                                   [&](const SourceHighlight& h) { first.push_back(h); });
    picker.showPickerWithHighlight(SourceHighlight(Qt::yellow, 1), record());
    picker.choice(2)->click();
    EXPECT_TRUE(first.empty());
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported.back(), SourceHighlight(Qt::yellow, 2));
    picker.window()->close();
}

TEST_F(calendaruiColorPicker, OutlivesTheWindowItWasOpenedOver) {
    for (int pane = 0; pane < 2; ++pane) {
        auto settings = std::make_unique<QWidget>();
        settings->show();
        picker.showPickerWithHighlight(SourceHighlight(Qt::red, 0), record(), settings.get());
        ASSERT_NE(picker.window(), nullptr);
        EXPECT_TRUE(picker.window()->isVisible());
        EXPECT_TRUE(picker.window()->windowFlags() & Qt::WindowStaysOnTopHint);
        settings.reset();
        ASSERT_NE(picker.colorPanel(), nullptr);
        picker.choice(1)->click();
        EXPECT_EQ(reported.size(), size_t(pane + 1));
    }
    picker.window()->close();
}

}  // namespace
}  // namespace talvor
