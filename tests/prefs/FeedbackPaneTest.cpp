#include "foundation/PreferenceDomain.h"
#include "platform/EventModifiers.h"
#include "platform/UserDefaults.h"
#include "prefs/FeedbackMail.h"
#include "prefs/FeedbakReviewUpdateVC.h"
#include "support/FakeClock.h"
#include "support/ManualScheduler.h"
#include "support/QtPrinters.h"
#include "support/ScopedPreferences.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QPushButton>
#include <QTemporaryDir>
#include <QUrlQuery>

#include <gtest/gtest.h>

namespace talvor {
namespace {

// 2026-03-04 12:00 UTC.
const Date kNoon =
    Date::fromQDateTime(QDateTime(QDate(2026, 3, 4), QTime(12, 0), QTimeZone::utc()));

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& text) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
}

class prefsFeedbackPane : public ::testing::Test {
  protected:
    prefsFeedbackPane() {
        platform::Clock::setShared(&clock);
        platform::Scheduler::setShared(&scheduler);
        delegate.openURL = [this](const QUrl& url) { opened << url; };
    }
    ~prefsFeedbackPane() override {
        platform::Scheduler::setShared(nullptr);
        platform::Clock::setShared(nullptr);
    }
    std::unique_ptr<FeedbakReviewUpdateVC> makePane() {
        auto pane = std::make_unique<FeedbakReviewUpdateVC>(QStringLiteral("FeedbakReviewUpdateVC"),
                                                            delegate);
        pane->showThanks = [this](QWidget*, std::function<void()> done) {
            ++thanksShown;
            done();
        };
        pane->view();
        return pane;
    }
    void click(FeedbakReviewUpdateVC& pane, const char* id) {
        auto* button = pane.view()->findChild<QPushButton*>(QLatin1String(id));
        ASSERT_NE(button, nullptr) << id;
        button->click();
    }

    test::ScopedMemoryDomain domain{appTalvor4Prefs};
    test::FakeClock clock{kNoon};
    test::ManualScheduler scheduler{clock};
    PaneDelegate delegate;
    QList<QUrl> opened;
    int thanksShown = 0;
};

TEST_F(prefsFeedbackPane, TheThanksShowOneSecondAfterTheFirstOpeningAndNeverAgain) {
    {
        auto pane = makePane();
        scheduler.advanceBy(0.9);
        EXPECT_EQ(thanksShown, 0);
        scheduler.advanceBy(0.2);
        EXPECT_EQ(thanksShown, 1);
        EXPECT_TRUE(
            platform::UserDefaults::standard().boolForKey(QStringLiteral("IsDialogShowed")));
    }
    auto again = makePane();
    EXPECT_FALSE(again->thanksPending());
    scheduler.advanceBy(10);
    EXPECT_EQ(thanksShown, 1);
}

// The thanks are a line in the pane, not a dialog: the pane's buttons work while it shows,
// and its "Ok" dismisses it for good.
TEST_F(prefsFeedbackPane, TheThanksBlockNothing) {
    auto pane =
        std::make_unique<FeedbakReviewUpdateVC>(QStringLiteral("FeedbakReviewUpdateVC"), delegate);
    QWidget* view = pane->view();
    auto* banner = view->findChild<QFrame*>(QStringLiteral("thanksBanner"));
    ASSERT_NE(banner, nullptr);
    EXPECT_FALSE(banner->isVisibleTo(view));
    scheduler.advanceBy(1.1);
    EXPECT_TRUE(banner->isVisibleTo(view));
    for (QWidget* w : QApplication::topLevelWidgets()) {
        EXPECT_FALSE(w->isVisible() && w->isModal()) << w->metaObject()->className();
    }
    click(*pane, "btnSupport");
    EXPECT_EQ(opened.size(), 1);
    EXPECT_FALSE(platform::UserDefaults::standard().boolForKey(QStringLiteral("IsDialogShowed")));
    click(*pane, "thanksOk");
    EXPECT_FALSE(banner->isVisibleTo(view));
    EXPECT_TRUE(platform::UserDefaults::standard().boolForKey(QStringLiteral("IsDialogShowed")));
}

TEST_F(prefsFeedbackPane, ClosingThePaneBeforeTheSecondCancelsTheThanks) {
    makePane().reset();
    scheduler.advanceBy(5);
    EXPECT_EQ(thanksShown, 0);
    EXPECT_FALSE(platform::UserDefaults::standard().boolForKey(QStringLiteral("IsDialogShowed")));
    EXPECT_EQ(scheduler.activeTimerCount(), 0u);
}

TEST_F(prefsFeedbackPane, ButtonsOpenTheirPagesOverHttps) {
    platform::UserDefaults::standard().setBool(true, QStringLiteral("IsDialogShowed"));
    auto pane = makePane();
    const struct {
        const char* button;
        const char* path;
    } cases[] = {
        {"btnSupport", "/contact-tech-support/"},
        {"btnReview", "/app/mac/10849/talvor-pro"},
        {"btnTweet", "/rMK53"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button);
        opened.clear();
        click(*pane, c.button);
        ASSERT_EQ(opened.size(), 1);
        EXPECT_EQ(opened[0].scheme(), QStringLiteral("https"));
        EXPECT_EQ(opened[0].path(), QLatin1String(c.path));
    }
}

TEST_F(prefsFeedbackPane, TheCouponMailCarriesSubjectTextAndTheShopLink) {
    platform::UserDefaults::standard().setBool(true, QStringLiteral("IsDialogShowed"));
    auto pane = makePane();
    click(*pane, "btnEmail");
    ASSERT_EQ(opened.size(), 1);
    const QUrl mail = opened[0];
    EXPECT_EQ(mail.scheme(), QStringLiteral("mailto"));
    const QUrlQuery query(mail);
    EXPECT_EQ(query.queryItemValue(QStringLiteral("subject"), QUrl::FullyDecoded),
              QStringLiteral("Talvor"));
    const QString body = query.queryItemValue(QStringLiteral("body"), QUrl::FullyDecoded);
    EXPECT_TRUE(body.contains(QStringLiteral("15% off"))) << body.toStdString();
    const qsizetype at = body.indexOf(QStringLiteral("https://"));
    ASSERT_GE(at, 0);
    const QUrl shop(body.mid(at).trimmed());
    EXPECT_EQ(shop.path(), QStringLiteral("/product-category/mac/"));
    EXPECT_FALSE(QUrlQuery(shop).queryItemValue(QStringLiteral("coupon_code")).isEmpty());
    // The encoded form survives a round trip: "&" and "%" in the body are escaped.
    EXPECT_EQ(QUrl(mail.toString(QUrl::FullyEncoded)), mail);
}

class prefsFeedbackMail : public prefsFeedbackPane {
  protected:
    QTemporaryDir dir;
    QString cache = dir.filePath(QStringLiteral("cache/talvor/com.wreckord.data"));
    QString desktop = dir.filePath(QStringLiteral("Desktop"));
    QString sdkLog = cache + QStringLiteral("/app/v3/active/abc/sdk.log");
    QString report = cache + QStringLiteral("/app/v3/active/abc/report.clsrecord");
};

TEST_F(prefsFeedbackMail, WithAltTheLogsAreCopiedToTheDesktopAndTheOriginalsStay) {
    writeFile(sdkLog, "kit started\n");
    writeFile(report, "not a log");
    {
        platform::ScopedEventModifiers alt(platform::AlternateKeyMask);
        FeedbackMail::SendFeedBackViaMail([this](const QUrl& u) { opened << u; }, {cache}, desktop);
    }
    const QString gathered = desktop + QStringLiteral("/Talvor26-03-04Logs.txt");
    const QByteArray text = readAll(gathered);
    EXPECT_TRUE(text.contains("kit started")) << text.toStdString();
    EXPECT_FALSE(text.contains("not a log"));
    EXPECT_EQ(readAll(sdkLog), QByteArray("kit started\n"));
    EXPECT_TRUE(QFile::exists(report));
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0].scheme(), QStringLiteral("mailto"));
}

TEST_F(prefsFeedbackMail, WithAltAndNoLogsTheFileIsStillMade) {
    platform::ScopedEventModifiers alt(platform::AlternateKeyMask);
    FeedbackMail::SendFeedBackViaMail([this](const QUrl& u) { opened << u; },
                                      {dir.filePath(QStringLiteral("missing"))}, desktop);
    EXPECT_TRUE(QFile::exists(desktop + QStringLiteral("/Talvor26-03-04Logs.txt")));
    EXPECT_EQ(opened.size(), 1);
}

TEST_F(prefsFeedbackMail, WithoutAltOnlyTheMailIsComposed) {
    writeFile(sdkLog, "kit started\n");
    platform::ScopedEventModifiers none(0);
    FeedbackMail::SendFeedBackViaMail([this](const QUrl& u) { opened << u; }, {cache}, desktop);
    EXPECT_FALSE(QFileInfo::exists(desktop));
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0].scheme(), QStringLiteral("mailto"));
    EXPECT_FALSE(opened[0].path().isEmpty()) << "addressed to the maker";
}

}  // namespace
}  // namespace talvor
