#include "support/FakeClock.h"
#include "support/QtPrinters.h"
#include "widgets/TalvorCustomDatePanel.h"

#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace talvor {
namespace {

using Language = TalvorCustomDatePanel::PatternLanguage;

class CustomDatePanel : public ::testing::Test {
  protected:
    CustomDatePanel() { platform::Clock::setShared(&clock_); }
    ~CustomDatePanel() override { platform::Clock::setShared(nullptr); }
    // 2024-01-04 14:05:09 in Berlin: ISO week 1.
    test::FakeClock clock_{
        Date::fromQDateTime(QDateTime(QDate(2024, 1, 4), QTime(13, 5, 9), QTimeZone::utc())),
        QTimeZone("Europe/Berlin")};
};

using widgetsCustomDatePanel = CustomDatePanel;

TEST_F(widgetsCustomDatePanel, TheSampleFollowsTheFormatInItsPatternLanguage) {
    struct Case {
        const char* format;
        Language language;
        const char* sample;
    };
    const Case cases[] = {
        {"Week %W, again %W", Language::CalendarFormat, "Week 1, again 1"},
        {"%H:%M:%S %Z", Language::CalendarFormat, "14:05:09 CET"},
        {"no escapes", Language::CalendarFormat, "no escapes"},
        {"HH:mm:ss", Language::Uts35, "14:05:09"},
        {"%H", Language::Uts35, "%14"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TalvorCustomDatePanel::sampleText(QString::fromLatin1(c.format), c.language,
                                                    clock_.now()),
                  QString::fromLatin1(c.sample))
            << c.format;
    }
    TalvorCustomDatePanel panel;
    panel.setSetting(QStringLiteral("%d.%m.%Y"));
    EXPECT_EQ(panel.mTextDateSample->text(), QStringLiteral("04.01.2024"));
    panel.mTextField->setText(QStringLiteral("%Y"));
    EXPECT_EQ(panel.mTextDateSample->text(), QStringLiteral("2024"));
}

TEST_F(widgetsCustomDatePanel, OkKeepsTheTextAndCancelLeavesTheFormat) {
    TalvorCustomDatePanel panel;
    panel.setFormat(QStringLiteral("%H:%M"));
    QSignalSpy finished(&panel, &QDialog::finished);

    panel.beginSheet(nullptr);
    panel.mTextField->setText(QStringLiteral("%I:%M %p"));
    panel.cancel();
    ASSERT_EQ(finished.count(), 1);
    EXPECT_EQ(finished.at(0).at(0).toInt(), 0);
    EXPECT_EQ(panel.format(), QStringLiteral("%H:%M"));

    panel.beginSheet(nullptr);
    panel.mTextField->setText(QStringLiteral("%a %d"));
    panel.ok();
    ASSERT_EQ(finished.count(), 2);
    EXPECT_EQ(finished.at(1).at(0).toInt(), 1);
    EXPECT_EQ(panel.format(), QStringLiteral("%a %d"));
    EXPECT_FALSE(panel.isVisible());
}

// The item that shows the format would be left without text, and vanish from the bar.
TEST_F(widgetsCustomDatePanel, AFormatThatShowsNothingCannotBeTaken) {
    struct Case {
        const char* format;
        Language language;
    };
    const Case refused[] = {
        {"", Language::Uts35},          {"   ", Language::Uts35},         {"j", Language::Uts35},
        {"", Language::CalendarFormat}, {"  ", Language::CalendarFormat},
    };
    TalvorCustomDatePanel panel;
    QSignalSpy finished(&panel, &QDialog::finished);
    for (const Case& c : refused) {
        SCOPED_TRACE(c.format);
        panel.setPatternLanguage(c.language);
        panel.setFormat(QStringLiteral("HH:mm"));
        panel.beginSheet(nullptr);
        panel.mTextField->setText(QString::fromLatin1(c.format));
        EXPECT_FALSE(panel.okButton->isEnabled());
        EXPECT_FALSE(panel.mTextDateSample->text().trimmed().isEmpty()) << "it says why";
        panel.ok();
        EXPECT_EQ(finished.count(), 0);
        EXPECT_EQ(panel.format(), QStringLiteral("HH:mm"));
        EXPECT_TRUE(panel.isVisible());
        // A usable one is taken again.
        panel.mTextField->setText(QStringLiteral("HH"));
        EXPECT_TRUE(panel.okButton->isEnabled());
        panel.cancel();
        finished.clear();
    }
}

TEST_F(widgetsCustomDatePanel, RendersOffscreen) {
    TalvorCustomDatePanel panel;
    panel.setSetting(QStringLiteral("%A %d %B %Y, week %W"));
    panel.adjustSize();
    const QImage image = panel.grab().toImage();
    ASSERT_FALSE(image.isNull());
    QTemporaryDir dir;
    ASSERT_TRUE(image.save(dir.filePath(QStringLiteral("panel.png"))));
    // Something is drawn besides the background: the text field, the sample, the buttons.
    const QRgb background = image.pixel(1, 1);
    int differing = 0;
    for (int y = 0; y < image.height(); y += 2) {
        for (int x = 0; x < image.width(); x += 2) {
            differing += image.pixel(x, y) != background ? 1 : 0;
        }
    }
    EXPECT_GT(differing, image.width() * image.height() / 200);
}

}  // namespace
}  // namespace talvor
