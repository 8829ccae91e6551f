#include "calendarui/myCalView.h"
#include "foundation/PreferenceDomain.h"
#include "platform/Log.h"

#include "support/FakeClock.h"
#include "support/FakeFontResolver.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <functional>

namespace talvor {
namespace {

const QColor kUntouched(255, 0, 255);
const QColor kPicture(0, 200, 0);

// Today is Wednesday 10 June 2026.
class calendaruiMonthCalendarView : public ::testing::Test {
  protected:
    calendaruiMonthCalendarView()
        : clock_(
              Date::fromQDateTime(QDateTime(QDate(2026, 6, 10), QTime(12, 0), QTimeZone::utc()))) {
        platform::Clock::setShared(&clock_);
    }
    ~calendaruiMonthCalendarView() override { platform::Clock::setShared(nullptr); }

    // June 2026 in `across` x `down` months, no margins, weeks from Monday.
    std::unique_ptr<myCalView> makeView(QSize size = {800, 600}, int across = 1, int down = 1) {
        auto view = std::make_unique<myCalView>();
        view->resize(size);
        myCalSettings& settings = view->calSettings();
        settings.SetCntH(across);
        settings.SetCntV(down);
        settings.SetMargin(0);
        settings.SetMarginC(0);
        settings.SetGridLines(0, 0);
        settings.SetDropShadow(0);
        settings.SetFirstDayOfWeek(1);
        settings.SetImageScaleType(0);
        view->SetoCurDate(QDate(2026, 6, 1));
        return view;
    }

    static QImage render(myCalView& view, std::optional<int> layout = std::nullopt) {
        QImage image(view.size(), QImage::Format_ARGB32);
        image.fill(kUntouched);
        QPainter painter(&image);
        if (layout) {
            view.drawLayout(painter, view.rect(), *layout, true);
        } else {
            view.drawMonths(painter, view.rect(), true);
        }
        return image;
    }

    static QRectF cellOf(const myCalView& view, const QDate& day) {
        for (const auto& month : view.drawnMonths()) {
            for (const auto& drawn : month.days) {
                if (drawn.date == day) {
                    return drawn.cell;
                }
            }
        }
        return {};
    }

    static QString writePicture(const QString& path, const QColor& colour) {
        QImage picture(64, 48, QImage::Format_RGB32);
        picture.fill(colour);
        EXPECT_TRUE(picture.save(path));
        return path;
    }

    static bool near(const QColor& a, const QColor& b) {
        return std::abs(a.red() - b.red()) < 30 && std::abs(a.green() - b.green()) < 30 &&
               std::abs(a.blue() - b.blue()) < 30;
    }

    template <class Pred>
    static int countPixels(const QImage& image, const QRectF& area, Pred pred) {
        int count = 0;
        const QRect r = area.toAlignedRect().intersected(image.rect());
        for (int y = r.top(); y <= r.bottom(); ++y) {
            for (int x = r.left(); x <= r.right(); ++x) {
                count += pred(image.pixelColor(x, y)) ? 1 : 0;
            }
        }
        return count;
    }

    test::XdgSandbox sandbox_;
    test::FakeClock clock_;
};

TEST_F(calendaruiMonthCalendarView, AClickPicksTheDayUnderItAndNothingElsewhere) {
    auto view = makeView({800, 600}, 2, 1);
    view->calSettings().SetImageStyle(1);
    render(*view);
    EXPECT_EQ(view->GetDayClicked(), -1);
    EXPECT_EQ(view->dateValue(), QDateTime(QDate(2026, 6, 1), QTime(12, 0)));

    const QRectF cell = cellOf(*view, {2026, 6, 17});
    ASSERT_FALSE(cell.isEmpty());
    view->SetLastClick(cell.center());
    EXPECT_EQ(view->GetDayClicked(), 17);
    EXPECT_EQ(view->GetMonthClicked(), 6);
    EXPECT_EQ(view->GetYearClicked(), 2026);
    EXPECT_EQ(view->GetDayOfYearClicked(), 168);
    EXPECT_EQ(view->GetWeekClicked(), 25);
    EXPECT_EQ(view->dateValue(), QDateTime(QDate(2026, 6, 17), QTime(12, 0)));
    EXPECT_EQ(view->toolTip(), QStringLiteral("Selected day is:\nDay 168\nWeek 25"));

    // On the second month's title no day lies under the point: the month is still named, and
    // the date is oCurDate again.
    const QRectF july = view->drawnMonths().at(1).rect;
    view->SetLastClick(QPointF(july.center().x(), july.top() + 3));
    EXPECT_EQ(view->GetDayClicked(), -1);
    EXPECT_EQ(view->GetDayOfYearClicked(), -1);
    EXPECT_EQ(view->GetWeekClicked(), -1);
    EXPECT_EQ(view->GetMonthClicked(), 7);
    EXPECT_EQ(view->dateValue(), QDateTime(QDate(2026, 6, 1), QTime(12, 0)));
    EXPECT_EQ(view->toolTip(), QStringLiteral("Click to selected a day"));

    // Outside every month: the first month shown.
    view->SetLastClick(QPointF(-5, -5));
    EXPECT_EQ(view->GetDayClicked(), -1);
    EXPECT_EQ(view->GetMonthClicked(), 6);
}

TEST_F(calendaruiMonthCalendarView, ClicksReleasesAndDoubleClicksSendTheAction) {
    auto view = makeView();
    int sent = 0;
    view->setAction([&](myCalView&) { ++sent; });
    view->show();
    render(*view);
    const QPoint at = cellOf(*view, {2026, 6, 17}).center().toPoint();
    QTest::mouseClick(view.get(), Qt::LeftButton, {}, at);
    EXPECT_EQ(sent, 1) << "the release";
    EXPECT_EQ(view->GetDayClicked(), 17);
    sent = 0;
    QMouseEvent twice(QEvent::MouseButtonDblClick, QPointF(at), view->mapToGlobal(QPointF(at)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view.get(), &twice);
    EXPECT_EQ(sent, 1) << "the double click";
    EXPECT_EQ(view->GetDayClicked(), 17);
}

TEST_F(calendaruiMonthCalendarView, DayFontShrinksForManyMonthsButNotBelowSix) {
    const struct {
        int across, down;
        float loaded;  // 0: the preference's default
        float expected;
    } cases[] = {
        {1, 1, 0, 11.0f}, {5, 1, 0, 8.8f}, {3, 2, 0, 8.8f}, {7, 1, 0, 7.7f}, {4, 3, 0, 7.7f},
        {2, 2, 0, 11.0f}, {4, 3, 8, 6.0f}, {3, 2, 7, 6.0f}, {1, 1, 5, 6.0f}, {4, 3, 9, 6.3f},
    };
    for (const auto& c : cases) {
        auto view = makeView({800, 600}, c.across, c.down);
        if (c.loaded > 0) {
            QFont font(QStringLiteral("DejaVu Sans"));
            font.setPointSizeF(c.loaded);
            view->setCalDayFont(font);
        } else {
            view->LoadDayFont();
        }
        EXPECT_NEAR(view->fontSize(), c.expected, 0.01) << c.across << "x" << c.down;
        EXPECT_NEAR(view->fonts().weekNo.pointSizeF(), 0.75 * c.expected, 0.01);
    }
    // The other fonts at their default sizes.
    auto view = makeView();
    EXPECT_FLOAT_EQ(view->fontTitleSize(), 18);
    EXPECT_FLOAT_EQ(view->fontDoWSize(), 11);
    EXPECT_DOUBLE_EQ(view->fonts().label.pointSizeF(), 9);
}

TEST_F(calendaruiMonthCalendarView, WithoutADayFontNothingIsDrawnUntilOneCanBeMade) {
    test::FakeFontResolver none({}, QString());
    platform::FontResolver::setShared(&none);
    QStringList lines;
    const auto oldSink = platform::setLogSink([&](const QString& line) { lines << line; });
    auto view = makeView();
    const auto untouched = [](const QImage& image) {
        return image.pixelColor(5, 5) == kUntouched &&
               image.pixelColor(image.width() / 2, image.height() / 2) == kUntouched;
    };
    EXPECT_TRUE(untouched(render(*view)));
    EXPECT_TRUE(lines.contains(QStringLiteral("CalDayFont nil")));
    EXPECT_TRUE(view->drawnMonths().isEmpty());

    // A font that can be made again is loaded at the next draw.
    test::FakeFontResolver helvetica({QStringLiteral("Helvetica")});
    platform::FontResolver::setShared(&helvetica);
    EXPECT_FALSE(untouched(render(*view)));
    EXPECT_EQ(view->drawnMonths().size(), 1);
    platform::FontResolver::setShared(nullptr);
    platform::setLogSink(oldSink);
}

TEST_F(calendaruiMonthCalendarView, ColoursStartWithTheirFirstDefaultsAndReadTheirOwn) {
    auto view = makeView();
    EXPECT_EQ(view->colors().grid, QColor::fromRgbF(0.867f, 0.867f, 0.867f, 0.8f));
    EXPECT_EQ(view->colors().dayOfWeek, QColor(Qt::black));
    EXPECT_EQ(view->colors().month, QColor(Qt::black));
    view->ReadCalColors();
    EXPECT_EQ(view->colors().grid, QColor::fromRgbF(0.667f, 0.667f, 0.667f, 0.9f));
    EXPECT_EQ(view->colors().dayOfWeek, QColor(Qt::blue));
    EXPECT_EQ(view->colors().month, QColor(Qt::blue));
    EXPECT_EQ(view->colors().weekend, QColor(Qt::blue));
    EXPECT_EQ(view->colors().background, QColor(Qt::white));

    // A colour found missing at draw time brings the preferences in, with a line and a beep.
    QStringList lines;
    const auto oldSink = platform::setLogSink([&](const QString& line) { lines << line; });
    int beeps = 0;
    const auto oldBeep = platform::setBeepHandler([&] { ++beeps; });
    MonthColors broken = view->colors();
    broken.today = QColor();
    broken.dayOfWeek = Qt::green;
    view->setColors(broken);
    render(*view);
    platform::setLogSink(oldSink);
    platform::setBeepHandler(oldBeep);
    EXPECT_TRUE(lines.contains(QStringLiteral("error ReadCalColors")));
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(view->colors().today, QColor(Qt::red));
    EXPECT_EQ(view->colors().dayOfWeek, QColor(Qt::blue));
}

TEST_F(calendaruiMonthCalendarView, DropsOfCalendarsPicturesFoldersAndAddresses) {
    QTemporaryDir folder;
    const QString ics = QDir(folder.path()).filePath(QStringLiteral("days.ics"));
    {
        QFile file(ics);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(
            "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:x\r\nDTSTART;VALUE=DATE:20260622\r\n"
            "SUMMARY:Drop day\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
    }
    const QString picture =
        writePicture(QDir(folder.path()).filePath(QStringLiteral("pic.png")), kPicture);
    const QString pictures = QDir(folder.path()).filePath(QStringLiteral("months"));
    QDir().mkpath(pictures);
    const QString key = QStringLiteral("CalBGImagePath");

    const struct {
        const char* name;
        std::function<void(QMimeData&)> fill;
        bool accepted;
        QString stored;  // empty: the key stays as it was
        bool loadsDays = false;
    } cases[] = {
        {"ics file", [&](QMimeData& m) { m.setUrls({QUrl::fromLocalFile(ics)}); }, false, {}, true},
        {"webcal",
         [](QMimeData& m) { m.setText(QStringLiteral("webcal://127.0.0.1:9/x")); },
         false,
         {}},
        {"missing file",
         [&](QMimeData& m) { m.setText(folder.path() + QStringLiteral("/no.png")); },
         false,
         {}},
        {"unsupported",
         [](QMimeData& m) { m.setData(QStringLiteral("application/x-other"), "1"); },
         false,
         {}},
        {"picture", [&](QMimeData& m) { m.setUrls({QUrl::fromLocalFile(picture)}); }, true,
         picture},
        {"empty folder", [&](QMimeData& m) { m.setUrls({QUrl::fromLocalFile(pictures)}); }, true,
         pictures},
        {"address not loaded yet",
         [](QMimeData& m) { m.setText(QStringLiteral(" http://127.0.0.1:9/pic.jpg\n")); }, true,
         QStringLiteral("http://127.0.0.1:9/pic.jpg")},
        {"file name before address",
         [&](QMimeData& m) {
             m.setUrls(
                 {QUrl(QStringLiteral("http://127.0.0.1:9/a.jpg")), QUrl::fromLocalFile(picture)});
         },
         true, picture},
    };
    for (const auto& c : cases) {
        PreferenceDomain::writeText(key, QStringLiteral("before"));
        auto view = makeView();
        view->setDragging(true);
        QStringList lines;
        const auto oldSink = platform::setLogSink([&](const QString& line) { lines << line; });
        QMimeData data;
        c.fill(data);
        EXPECT_EQ(view->performDragOperation(data), c.accepted) << c.name;
        platform::setLogSink(oldSink);
        EXPECT_FALSE(view->isDragging()) << c.name;
        EXPECT_EQ(PreferenceDomain::readText(key, {}),
                  c.stored.isEmpty() ? QStringLiteral("before") : c.stored)
            << c.name;
        EXPECT_EQ(view->calSettings().specialDayText({2026, 6, 22}).has_value(), c.loadsDays)
            << c.name;
        if (QString::fromLatin1(c.name) == QLatin1String("unsupported")) {
            ASSERT_FALSE(lines.isEmpty());
            EXPECT_TRUE(lines.front().startsWith(QStringLiteral("unsupported dragged types: ")))
                << lines.front().toStdString();
        }
    }
}

TEST_F(calendaruiMonthCalendarView, ArrowsStepMonthsHomeReturnsAndOtherKeysGoOn) {
    struct Parent : QWidget {
        QList<int> keys;
        void keyPressEvent(QKeyEvent* event) override { keys << event->key(); }
    } parent;
    parent.resize(800, 600);
    auto view = makeView();
    view->setParent(&parent);
    parent.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));
    view->setFocus();
    int paints = 0;
    struct Counter : QObject {
        int* paints;
        explicit Counter(int* p) : paints(p) {}
        bool eventFilter(QObject*, QEvent* e) override {
            *paints += e->type() == QEvent::Paint ? 1 : 0;
            return false;
        }
    } counter(&paints);
    view->installEventFilter(&counter);
    QCoreApplication::processEvents();

    const struct {
        Qt::Key key;
        QDate expected;
    } steps[] = {
        {Qt::Key_Right, {2026, 7, 1}}, {Qt::Key_Right, {2026, 8, 1}}, {Qt::Key_Left, {2026, 7, 1}},
        {Qt::Key_Home, {2026, 6, 10}}, {Qt::Key_Left, {2026, 5, 10}},
    };
    for (const auto& s : steps) {
        paints = 0;
        QTest::keyClick(view.get(), s.key);
        QCoreApplication::processEvents();
        EXPECT_EQ(view->oCurDate(), s.expected) << s.key;
        EXPECT_GE(paints, 1) << s.key;
    }
    EXPECT_TRUE(parent.keys.isEmpty()) << "handled keys stay in the view";

    QStringList lines;
    const auto oldSink = platform::setLogSink([&](const QString& line) { lines << line; });
    int beeps = 0;
    const auto oldBeep = platform::setBeepHandler([&] { ++beeps; });
    QTest::keyClick(view.get(), Qt::Key_A);
    QTest::keyClick(view.get(), Qt::Key_B, Qt::AltModifier);
    QTest::keyClick(view.get(), Qt::Key_F5);
    platform::setLogSink(oldSink);
    platform::setBeepHandler(oldBeep);
    EXPECT_EQ(lines, (QStringList{
                         QStringLiteral("Talvor mini key not supported 61 (cmd: 0, Alt:0, 0)."),
                         QStringLiteral("Talvor mini key not supported 62 (cmd: 0, "
                                        "Alt:8000000, 8000000)."),
                         QStringLiteral("Talvor mini function key not supported 1000034."),
                     }));
    EXPECT_EQ(beeps, 1) << "only the function key beeps";
    // The Alt key alone is passed on too, without a line of its own.
    EXPECT_EQ(parent.keys, (QList<int>{Qt::Key_A, Qt::Key_Alt, Qt::Key_B, Qt::Key_F5}));
    EXPECT_EQ(view->oCurDate(), QDate(2026, 5, 10));
}

TEST_F(calendaruiMonthCalendarView, CornerMonthIsAHalfBelow384AndAThirdCappedAt256Above) {
    const struct {
        QSize size;
        int margin;
        QRectF month;  // the corner box
    } cases[] = {
        // Inset height 383: half of the inset width and height.
        {{700, 393}, 5, {690 - 345 - 5, 393 - 6 - 191.5, 345, 191.5}},
        // 384: a third of each, the width capped at 256.
        {{900, 394}, 5, {890 - 256 - 5, 394 - 6 - 128, 256, 128}},
        // Both sides capped.
        {{1000, 900}, 0, {1000 - 256 - 5, 900 - 6 - 256, 256, 256}},
        // Below 384 nothing is capped.
        {{1000, 383}, 0, {1000 - 500 - 5, 383 - 6 - 191.5, 500, 191.5}},
    };
    for (const auto& c : cases) {
        auto view = makeView(c.size);
        view->calSettings().SetImageStyle(8);
        view->calSettings().SetMargin(c.margin);
        view->calSettings().SetMarginC(2);
        render(*view);
        ASSERT_EQ(view->drawnMonths().size(), 1);
        EXPECT_EQ(view->drawnMonths().front().rect, c.month.adjusted(2, 2, -2, -2))
            << c.size.width() << "x" << c.size.height();
        EXPECT_EQ(view->drawnMonths().front().first, QDate(2026, 6, 1));
    }
}

// Where months and picture cells land in each layout: 800 x 600, two months across.
TEST_F(calendaruiMonthCalendarView, EachLayoutArrangesMonthsAndPictures) {
    QTemporaryDir folder;
    const QString picture =
        writePicture(QDir(folder.path()).filePath(QStringLiteral("p.png")), kPicture);
    using P = myCalView::DrawnPicture;
    const struct {
        int layout;
        QSize size;
        QList<QRectF> months;
        QList<P> pictures;
    } cases[] = {
        {0, {800, 600}, {{0, 0, 400, 300}, {400, 0, 400, 300}}, {}},
        {1, {800, 600}, {{0, 0, 400, 600}, {400, 0, 400, 600}}, {}},
        {2,
         {800, 600},
         {{0, 300, 400, 300}, {400, 300, 400, 300}},
         {{{0, 0, 400, 300}, true, true}, {{400, 0, 400, 300}, true, true}}},
        {3,
         {801, 600},
         {{0, 300, 400, 300}, {400, 300, 400, 300}},
         {{{0, 0, 801, 300}, false, true},
          {{0, 0, 400, 300}, true, false},
          {{400, 0, 400, 300}, true, false}}},
        {4,
         {800, 600},
         {{0, 300, 400, 300}, {400, 300, 400, 300}},
         {{{0, 0, 400, 300}, false, true}, {{400, 0, 400, 300}, false, true}}},
        {5,
         {801, 600},
         {{0, 300, 400, 300}, {400, 300, 400, 300}},
         {{{0, 0, 801, 300}, false, true}}},
        {6, {800, 600}, {{0, 0, 400, 600}, {400, 0, 400, 600}}, {{{0, 0, 800, 600}, false, true}}},
        {7,
         {800, 600},
         {{0, 300, 400, 300}, {400, 300, 400, 300}},
         {{{0, 0, 800, 300}, false, true}}},
        {8, {800, 600}, {{539, 394, 256, 200}}, {{{0, 0, 800, 600}, false, true}}},
        {9, {800, 600}, {}, {}},
        {12, {800, 600}, {}, {}},
    };
    for (const auto& c : cases) {
        auto view = makeView(c.size, 2, 1);
        view->calSettings().setSImagePath(picture);
        view->calSettings().LoadImage(picture);
        ASSERT_FALSE(view->calSettings().bgImage().isNull());
        const QImage image = render(*view, c.layout);
        QList<QRectF> months;
        for (const auto& m : view->drawnMonths()) {
            months << m.rect;
        }
        EXPECT_EQ(months, c.months) << "layout " << c.layout;
        ASSERT_EQ(view->drawnPictures().size(), c.pictures.size()) << "layout " << c.layout;
        for (qsizetype i = 0; i < c.pictures.size(); ++i) {
            const P& got = view->drawnPictures().at(i);
            EXPECT_EQ(got.rect, c.pictures.at(i).rect) << "layout " << c.layout << " #" << i;
            EXPECT_EQ(got.title, c.pictures.at(i).title) << "layout " << c.layout << " #" << i;
            EXPECT_EQ(got.picture, c.pictures.at(i).picture) << "layout " << c.layout << " #" << i;
        }
        if (!months.isEmpty() && c.layout != 8) {
            EXPECT_EQ(view->drawnMonths().at(1).first, QDate(2026, 7, 1)) << c.layout;
        }
        const auto isPicture = [](const QColor& colour) { return near(colour, kPicture); };
        switch (c.layout) {
            case 0:  // the lower row stays empty; the picture lies behind each month
                EXPECT_EQ(countPixels(image, QRectF(0, 300, 800, 300),
                                      [](const QColor& colour) { return colour == kUntouched; }),
                          800 * 300);
                EXPECT_TRUE(isPicture(image.pixelColor(200, 280)));
                break;
            case 7:  // the picture above, none behind the months
                EXPECT_TRUE(isPicture(image.pixelColor(400, 150)));
                EXPECT_EQ(countPixels(image, QRectF(0, 300, 800, 300), isPicture), 0);
                break;
            case 8:  // the picture around the corner month
                EXPECT_TRUE(isPicture(image.pixelColor(100, 100)));
                break;
            case 9:
            case 12:
                EXPECT_EQ(countPixels(image, image.rect(),
                                      [](const QColor& colour) { return colour != kUntouched; }),
                          0);
                break;
            default:
                break;
        }
    }
}

TEST_F(calendaruiMonthCalendarView, RowsOfMonthsStepByTheirLayout) {
    const struct {
        int layout;
        QList<QPointF> topLefts;  // 2 x 2 months in 800 x 600
    } cases[] = {
        {0, {{0, 0}, {400, 0}, {0, 300}, {400, 300}}},
        {1, {{0, 0}, {400, 0}, {0, 300}, {400, 300}}},
        {2, {{0, 150}, {400, 150}, {0, 450}, {400, 450}}},
        {6, {{0, 0}, {400, 0}, {0, 300}, {400, 300}}},
        {7, {{0, 200}, {400, 200}, {0, 400}, {400, 400}}},
    };
    for (const auto& c : cases) {
        auto view = makeView({800, 600}, 2, 2);
        render(*view, c.layout);
        QList<QPointF> got;
        QList<QDate> firsts;
        for (const auto& m : view->drawnMonths()) {
            got << m.rect.topLeft();
            firsts << m.first;
        }
        EXPECT_EQ(got, c.topLefts) << "layout " << c.layout;
        EXPECT_EQ(firsts, (QList<QDate>{{2026, 6, 1}, {2026, 7, 1}, {2026, 8, 1}, {2026, 9, 1}}))
            << "layout " << c.layout;
        EXPECT_EQ(view->oCurDate(), QDate(2026, 6, 1)) << "the kept date is back";
    }
}

TEST_F(calendaruiMonthCalendarView, FolderPicturesFollowTheMonthOrTheFirstMonth) {
    QTemporaryDir folder;
    writePicture(QDir(folder.path()).filePath(QStringLiteral("6.jpg")), kPicture);
    writePicture(QDir(folder.path()).filePath(QStringLiteral("7.jpg")), QColor(0, 0, 220));
    const struct {
        int layout;
        QColor left, right;  // under the titles of the two upper cells
    } cases[] = {
        {2, kPicture, QColor(0, 0, 220)},
        {3, kPicture, kPicture},
        {7, kPicture, kPicture},
    };
    for (const auto& c : cases) {
        auto view = makeView({800, 600}, 2, 1);
        view->calSettings().setSImagePath(folder.path());
        view->calSettings().LoadImage(folder.path());
        const QImage image = render(*view, c.layout);
        EXPECT_TRUE(near(image.pixelColor(200, 250), c.left)) << c.layout;
        EXPECT_TRUE(near(image.pixelColor(600, 250), c.right)) << c.layout;
    }
}

TEST_F(calendaruiMonthCalendarView, FramesRoundMonthsAndRedWhileDragging) {
    auto view = makeView({800, 600}, 2, 1);
    view->calSettings().SetImageStyle(1);
    view->calSettings().SetMarginC(10);
    view->calSettings().SetDrawFrame(4);
    MonthColors colours = view->colors();
    colours.grid = QColor(0, 128, 128);
    view->setColors(colours);
    const auto teal = [](const QColor& c) { return near(c, QColor(0, 128, 128)); };
    const auto red = [](const QColor& c) { return c.red() > 200 && c.green() < 60; };
    QImage image = render(*view);
    // Each month inset by 10 and framed 2 outside that, 4 wide: the frame's line is at 8.
    EXPECT_GT(countPixels(image, QRectF(20, 7, 360, 2), teal), 300);
    EXPECT_GT(countPixels(image, QRectF(420, 7, 360, 2), teal), 300);
    EXPECT_EQ(countPixels(image, QRectF(0, 0, 800, 4), red), 0);

    view->setDragging(true);
    image = render(*view);
    EXPECT_GT(countPixels(image, QRectF(0, 0, 800, 4), red), 700);
    EXPECT_GT(countPixels(image, QRectF(0, 596, 800, 4), red), 700);
    view->setDragging(false);
    image = render(*view);
    EXPECT_EQ(countPixels(image, QRectF(0, 0, 800, 4), red), 0);
}

}  // namespace
}  // namespace talvor
