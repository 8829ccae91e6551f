#include "calendar/Gadget.h"
#include "calendar/myCalSettings.h"
#include "platform/KeyedArchiver.h"

#include "platform/Log.h"
#include "support/FakeClock.h"
#include "support/LoopbackHttpServer.h"
#include "support/QtPrinters.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <mutex>

namespace talvor {
namespace {

using namespace std::chrono_literals;

QByteArray pngOf(int width, int height, QColor colour = Qt::red) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// The log lines written while the object lives.
class LogCapture {
  public:
    LogCapture() {
        old_ = platform::setLogSink([this](const QString& line) { lines_ << line; });
    }
    ~LogCapture() { platform::setLogSink(old_); }
    bool contains(const QString& part) const {
        return std::any_of(lines_.begin(), lines_.end(),
                           [&](const QString& line) { return line.contains(part); });
    }

  private:
    platform::LogSink old_;
    QStringList lines_;
};

// Today is 10 June 2026, noon UTC.
class calendarGridSettings : public ::testing::Test {
  protected:
    calendarGridSettings()
        : clock_(
              Date::fromQDateTime(QDateTime(QDate(2026, 6, 10), QTime(12, 0), QTimeZone::utc()))) {
        platform::Clock::setShared(&clock_);
        oldBeep_ = platform::setBeepHandler([this] { ++beeps_; });
    }
    ~calendarGridSettings() override {
        platform::setBeepHandler(oldBeep_);
        platform::Clock::setShared(nullptr);
    }

    test::FakeClock clock_;
    platform::BeepHandler oldBeep_;
    int beeps_ = 0;
};

TEST_F(calendarGridSettings, LayoutSettersKeepTheirRules) {
    myCalSettings settings;
    EXPECT_EQ(settings.cntH(), 1);
    EXPECT_EQ(settings.drawWindowTitle(), 3);
    settings.SetDrawWindowTitleFormat(1);
    EXPECT_EQ(settings.SetCntH(0), 1);  // 0 keeps the count...
    EXPECT_EQ(settings.cntH(), 1);
    EXPECT_EQ(settings.drawWindowTitle(), 3);  // ...but still sets the title format

    settings.SetCntH(2);
    settings.SetOffsetMonth(2);
    settings.SetCntV(1);
    EXPECT_EQ(settings.startMonthOffset(), 2) << "two across keeps the offset";
    EXPECT_EQ(settings.SetCntH(1), 2);
    EXPECT_EQ(settings.startMonthOffset(), 0) << "one by one shows no offset";

    EXPECT_EQ(settings.SetImageStyle(9), 1);
    EXPECT_EQ(settings.imageStyle(), 1);
    settings.SetBirthday(3);
    EXPECT_EQ(settings.showAddressBDays(), 0);
    EXPECT_EQ(settings.SetDropShadow(0), 1);
    EXPECT_EQ(myCalSettings::printJobTitle(), QStringLiteral("Talvor Cal"));
}

TEST_F(calendarGridSettings, EveryWeekdayCanStartTheWeek) {
    // A Tuesday chosen in the start-day list must stay Tuesday, not become Saturday.
    const struct {
        int given;
        int stored;
    } cases[] = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {5, 5}, {6, 6}, {-1, 6}, {7, 6}};
    for (const auto& c : cases) {
        myCalSettings settings;
        settings.SetFirstDayOfWeek(c.given);
        EXPECT_EQ(settings.firstDay(), c.stored) << c.given;
    }
    EXPECT_EQ(myCalSettings::weekdayOfStartDayIndex(2), 2);
    EXPECT_EQ(myCalSettings::weekdayOfStartDayIndex(9), 0) << "out of range: the first item";
    EXPECT_EQ(myCalSettings::weekdayOfStartDayIndex(-3), 0);
}

TEST_F(calendarGridSettings, SmallPicturesGrowByWholeDoublings) {
    const struct {
        QSize given, expected;
    } cases[] = {
        {{400, 300}, {1600, 1200}},   {{1024, 100}, {1024, 100}}, {{1000, 700}, {2000, 1400}},
        {{2000, 2000}, {2000, 2000}}, {{0, 0}, {0, 0}},  // a damaged picture must not loop for ever
    };
    for (const auto& c : cases) {
        QImage picture;
        if (!c.given.isEmpty()) {
            picture = QImage(c.given, QImage::Format_RGB32);
            picture.fill(Qt::blue);
        }
        EXPECT_EQ(myCalSettings::fixResolution(picture).size(), c.expected) << c.given.width();
    }
}

TEST_F(calendarGridSettings, MonthPicturesComeFromTheFolderOnceAndMissingOnesAreLogged) {
    QTemporaryDir folder;
    for (int m = 1; m <= 12; ++m) {
        if (m == 4) {
            continue;
        }
        QImage picture(40, 30, QImage::Format_RGB32);
        picture.fill(QColor(m * 20, 0, 0));
        ASSERT_TRUE(
            picture.save(QDir(folder.path()).filePath(QStringLiteral("%1.jpg").arg(m)), "JPG"));
    }
    myCalSettings settings;
    settings.setSImagePath(folder.path());
    ASSERT_TRUE(settings.imagePathisDir());
    settings.LoadImage(settings.sImagePath());  // a folder: nothing here
    EXPECT_TRUE(settings.bgImage().isNull());

    settings.LoadMonthImage(3);
    ASSERT_FALSE(settings.bgImage().isNull());
    EXPECT_EQ(settings.bgImage().size(), QSize(1280, 960));
    EXPECT_NEAR(settings.bgImage().pixelColor(10, 10).red(), 60, 12);
    settings.LoadMonthImage(3);
    EXPECT_EQ(settings.monthPictureReads(), 1) << "the second time comes from the cache";

    LogCapture log;
    settings.LoadMonthImage(4);
    EXPECT_TRUE(settings.bgImage().isNull());
    EXPECT_TRUE(log.contains(QStringLiteral("Missing Cal BG for Month 4: 4.jpg")));

    settings.freeImageCache();
    settings.LoadMonthImage(3);
    EXPECT_EQ(settings.monthPictureReads(), 3);
}

TEST_F(calendarGridSettings, NetworkPictureFallsBackToYesterdayOnceAndKeepsEscapes) {
    test::LoopbackHttpServer http;
    std::mutex mutex;
    std::vector<std::string> asked;
    // Only yesterday's picture exists; the folder name holds a blank written as "%20".
    http.server().Get(R"(/daily pics/(\d+)\.png)",
                      [&](const httplib::Request& req, httplib::Response& res) {
                          {
                              std::lock_guard lock(mutex);
                              asked.push_back(req.matches[1]);
                          }
                          if (req.matches[1] == "20260609") {
                              const QByteArray png = pngOf(64, 48, Qt::green);
                              res.set_content(png.toStdString(), "image/png");
                          } else {
                              res.status = 404;
                          }
                      });
    http.start();

    myCalSettings settings;
    QSignalSpy changed(&settings, &myCalSettings::changed);
    const QString pattern = QString::fromStdString(http.url("/daily%20pics/%Y%m%d.png"));
    settings.setSImagePath(pattern);
    EXPECT_TRUE(settings.bgImageIsURL());
    settings.LoadImage(pattern);
    ASSERT_TRUE(QTest::qWaitFor([&] { return changed.count() > 0; }, 5000));
    ASSERT_FALSE(settings.bgImage().isNull());
    EXPECT_EQ(settings.bgImage().pixelColor(1, 1), QColor(Qt::green));
    EXPECT_FALSE(settings.err());
    std::lock_guard lock(mutex);
    EXPECT_EQ(asked, (std::vector<std::string>{"20260610", "20260609"}));
}

TEST_F(calendarGridSettings, NetworkPictureFailuresLeaveTheLastGoodPicture) {
    test::LoopbackHttpServer http;
    std::atomic<int> mode{0};  // 0 serves, 1 fails, 2 answers too much, 3 answers too late
    http.server().Get("/pic.png", [&](const httplib::Request&, httplib::Response& res) {
        switch (mode.load()) {
            case 0:
                res.set_content(pngOf(20, 20, Qt::blue).toStdString(), "image/png");
                break;
            case 1:
                res.status = 500;
                break;
            case 2:
                res.set_content(std::string(3 << 20, 'x'), "image/png");
                break;
            default:
                std::this_thread::sleep_for(1500ms);
                res.set_content(pngOf(20, 20, Qt::red).toStdString(), "image/png");
        }
    });
    http.start();
    const QString address = QString::fromStdString(http.url("/pic.png"));

    myCalSettings settings;
    settings.setFetchLimits({1 << 20, 400ms});
    QSignalSpy changed(&settings, &myCalSettings::changed);
    settings.setSImagePath(address);
    settings.LoadImage(address);
    ASSERT_TRUE(QTest::qWaitFor([&] { return changed.count() == 1; }, 5000));
    ASSERT_EQ(settings.bgImage().pixelColor(0, 0), QColor(Qt::blue));

    for (int failing : {1, 2, 3}) {
        mode = failing;
        const int before = changed.count();
        settings.refreshNetworkPicture();
        ASSERT_TRUE(QTest::qWaitFor([&] { return changed.count() > before; }, 5000)) << failing;
        EXPECT_EQ(settings.bgImage().pixelColor(0, 0), QColor(Qt::blue)) << failing;
        ASSERT_TRUE(settings.err()) << failing;
        EXPECT_EQ(settings.err()->reason, QStringLiteral("Unable to load image from network URL"));
        EXPECT_EQ(settings.err()->suggestion,
                  QStringLiteral("Enable network access or select another site."));
        EXPECT_EQ(settings.err()->description, address);
    }
}

constexpr const char* kCalendar =
    "BEGIN:VCALENDAR\r\nVERSION:2.0\r\n"
    "BEGIN:VEVENT\r\nUID:birthday\r\nDTSTART;VALUE=DATE:19900303\r\nRRULE:FREQ=YEARLY\r\n"
    "SUMMARY:Spring day\r\nDESCRIPTION:first line\\nsecond line\\, with a comma\r\nEND:VEVENT\r\n"
    "BEGIN:VEVENT\r\nUID:once\r\nDTSTART;VALUE=DATE:20240315\r\nSUMMARY:Launch\r\n"
    "URL:https://example.org/launch\r\nEND:VEVENT\r\n"
    "BEGIN:VEVENT\r\nUID:thanks\r\nDTSTART;VALUE=DATE:20001123\r\n"
    "RRULE:FREQ=YEARLY;BYMONTH=11;BYDAY=4TH\r\nSUMMARY:Thanksgiving\r\nEND:VEVENT\r\n"
    "BEGIN:VEVENT\r\nUID:club\r\nDTSTART;VALUE=DATE:20260601\r\nRRULE:FREQ=WEEKLY;COUNT=3\r\n"
    "SUMMARY:Club\r\nEND:VEVENT\r\n"
    "BEGIN:VEVENT\r\nUID:ended\r\nDTSTART;VALUE=DATE:20200704\r\nRRULE:FREQ=YEARLY;COUNT=2\r\n"
    "SUMMARY:Fair\r\nEND:VEVENT\r\n"
    "END:VCALENDAR\r\n";

TEST_F(calendarGridSettings, CalendarTextGivesEveryYearAndDatedSpecialDays) {
    myCalSettings settings;
    ASSERT_TRUE(settings.parseCALdata(QString::fromUtf8(kCalendar)));
    const auto& days = settings.specialDayDict();
    EXPECT_EQ(days.value(QStringLiteral("xx0303")),
              QStringLiteral("Spring day\nfirst line\nsecond line, with a comma"));
    EXPECT_EQ(days.value(QStringLiteral("20240315")),
              QStringLiteral("Launch\n\nhttps://example.org/launch"));

    const struct {
        QDate day;
        std::optional<QString> label;  // first line of the text
    } cases[] = {
        {{2027, 3, 3}, QStringLiteral("Spring day")},
        {{2026, 11, 26}, QStringLiteral("Thanksgiving")},  // the 4th Thursday, not the 23rd
        {{2027, 11, 25}, QStringLiteral("Thanksgiving")},
        {{2026, 11, 23}, std::nullopt},
        {{2026, 6, 1}, QStringLiteral("Club")},
        {{2026, 6, 15}, QStringLiteral("Club")},
        {{2026, 6, 22}, std::nullopt},  // COUNT=3 ends the series
        {{2026, 7, 4}, std::nullopt},   // the fair ended after two years
        {{2025, 3, 15}, std::nullopt},
    };
    for (const auto& c : cases) {
        const auto text = settings.specialDayText(c.day);
        EXPECT_EQ(text ? std::optional(text->section(QLatin1Char('\n'), 0, 0)) : std::nullopt,
                  c.label)
            << c.day.toString(Qt::ISODate).toStdString();
    }

    EXPECT_FALSE(settings.parseCALdata(QStringLiteral("hello, no calendar here")));
    EXPECT_TRUE(settings.specialDayText({2026, 11, 26})) << "unreadable text keeps the table";
}

TEST_F(calendarGridSettings, WebCalendarsComeFromTheServerAndMissingOnesBeep) {
    test::LoopbackHttpServer http;
    std::atomic<int> served{0};
    http.server().Get("/holidays.ics", [&](const httplib::Request&, httplib::Response& res) {
        ++served;
        res.set_content(kCalendar, "text/calendar");
    });
    http.server().Get("/empty.ics", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("", "text/calendar");
    });
    http.start();
    const std::string hostPath = "//127.0.0.1:" + std::to_string(http.port());

    const struct {
        std::string address;
        bool filled;
    } cases[] = {
        {"webcal:" + hostPath + "/holidays.ics", true},
        {"http:" + hostPath + "/holidays.ics", true},
        {"http:" + hostPath + "/empty.ics", false},
        {"http:" + hostPath + "/missing.ics", false},
    };
    for (const auto& c : cases) {
        myCalSettings settings;
        QSignalSpy changed(&settings, &myCalSettings::changed);
        const int beepsBefore = beeps_;
        ASSERT_TRUE(settings.loadCALDesc(QString::fromStdString(c.address)));
        ASSERT_TRUE(QTest::qWaitFor([&] { return changed.count() > 0; }, 10000)) << c.address;
        EXPECT_EQ(settings.hasSpecialDays(), c.filled) << c.address;
        EXPECT_EQ(beeps_ > beepsBefore, !c.filled) << c.address;
    }
    EXPECT_EQ(served.load(), 2);
}

TEST_F(calendarGridSettings, SettingsMayGoWhileTheirDownloadsRun) {
    test::LoopbackHttpServer http;
    http.server().Get("/slow", [](const httplib::Request&, httplib::Response& res) {
        std::this_thread::sleep_for(300ms);
        res.set_content(kCalendar, "text/calendar");
    });
    http.start();
    const QString address = QString::fromStdString(http.url("/slow"));
    {
        myCalSettings settings;
        ASSERT_TRUE(settings.loadCALDesc(address));
        settings.setSImagePath(address);
        settings.LoadImage(address);
        QTest::qWait(50);
    }
    QTest::qWait(400);  // the answers arrive with nobody to take them
}

TEST_F(calendarGridSettings, CalendarFilesAreReadAtOnce) {
    QTemporaryDir folder;
    const QString path = QDir(folder.path()).filePath(QStringLiteral("days.ics"));
    writeFile(path, kCalendar);
    myCalSettings settings;
    EXPECT_TRUE(settings.loadCALDesc(path));
    EXPECT_TRUE(settings.specialDayText({2024, 3, 15}));
    EXPECT_FALSE(settings.loadCALDesc(QDir(folder.path()).filePath(QStringLiteral("none.ics"))));
    EXPECT_TRUE(settings.err());
}

// A FIFO where a calendar, a special-days file or a card is expected never blocks the
// program (opening it would wait for a writer for ever); the chosen calendar says why.
TEST_F(calendarGridSettings, FifosInPlaceOfFilesAreRefusedAtOnce) {
    QTemporaryDir folder;
    const QString fifo = QDir(folder.path()).filePath(QStringLiteral("days.ics"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    myCalSettings settings;
    EXPECT_FALSE(settings.loadCALDesc(fifo));
    ASSERT_TRUE(settings.err());
    EXPECT_TRUE(settings.err()->reason.contains(QStringLiteral("FIFO")))
        << settings.err()->reason.toStdString();

    settings.setSpecialDaysFiles({fifo});
    settings.SetSpecialDay(true);
    EXPECT_FALSE(settings.hasSpecialDays());

    ASSERT_EQ(
        ::mkfifo(QFile::encodeName(folder.path() + QStringLiteral("/card.vcf")).constData(), 0600),
        0);
    settings.setContactsFolder(folder.path());
    EXPECT_TRUE(settings.BirthDaySearchStart().isEmpty());
}

TEST_F(calendarGridSettings, SpecialDaysFileTakesCommentsShortLinesAndDatedKeys) {
    QTemporaryDir folder;
    const QString first = QDir(folder.path()).filePath(QStringLiteral("missing.txt"));
    const QString second = QDir(folder.path()).filePath(QStringLiteral("SpecialDays.txt"));
    writeFile(second,
              "# xx0202 a comment\nxx0101 New Year\nxx1225\n\n20261031 Party night\n"
              "xx0101 New Year's Day\r\nxx0704\tIndependence Day\n");
    myCalSettings settings;
    settings.setSpecialDaysFiles({first, second});
    EXPECT_FALSE(settings.SetSpecialDay(true));
    const auto& days = settings.specialDayDict();
    EXPECT_EQ(days.value(QStringLiteral("xx0101")), QStringLiteral("New Year's Day"));
    EXPECT_EQ(days.value(QStringLiteral("xx0704")), QStringLiteral("Independence Day"));
    EXPECT_FALSE(days.contains(QStringLiteral("xx0202")));
    EXPECT_FALSE(days.contains(QStringLiteral("xx1225")));
    EXPECT_EQ(settings.specialDayText({2026, 10, 31}), QStringLiteral("Party night"));
    EXPECT_FALSE(settings.specialDayText({2027, 10, 31}));
    EXPECT_TRUE(settings.SetSpecialDay(false));
    EXPECT_FALSE(settings.hasSpecialDays());

    myCalSettings nowhere;
    nowhere.setSpecialDaysFiles({first});
    nowhere.SetSpecialDay(true);
    EXPECT_FALSE(nowhere.hasSpecialDays());
}

TEST_F(calendarGridSettings, BirthdaysComeFromTheContactsFolder) {
    myCalSettings settings;
    settings.setContactsFolder(QStringLiteral(TALVOR_CALENDAR_FIXTURES "/Contacts"));
    settings.SetBirthday(2);
    const auto people = settings.BirthDaySearchStart();
    ASSERT_EQ(people.size(), 3) << "the card without a birthday and the text file are left out";
    EXPECT_EQ(settings.GetBirthDay({2026, 5, 1}, people), QStringLiteral("Ann Lee ,\rBob Roe "));
    EXPECT_EQ(settings.GetBirthDay({2030, 7, 4}, people), QStringLiteral("Cleo "));
    EXPECT_EQ(settings.GetBirthDay({2026, 5, 2}, people), QString());
    settings.SetBirthday(0);
    EXPECT_TRUE(settings.bdays().isEmpty());
}

TEST_F(calendarGridSettings, DatesInPictureAddressesLeavePercentEscapesAlone) {
    const QDate day(2026, 3, 7);
    const struct {
        const char* pattern;
        const char* expected;
    } cases[] = {
        {"http://x/%Y/%m/%d.jpg", "http://x/2026/03/07.jpg"},
        {"http://x/my%20pics/%Y%m%d.jpg", "http://x/my%20pics/20260307.jpg"},
        {"http://x/%j-%%.jpg", "http://x/066-%.jpg"},
        {"http://x/plain.jpg", "http://x/plain.jpg"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(myCalSettings::expandDateTemplate(QString::fromLatin1(c.pattern), day),
                  QString::fromLatin1(c.expected));
    }
}

TEST_F(calendarGridSettings, GadgetIconsDownloadOnceAndFailuresLeaveNoTrace) {
    test::LoopbackHttpServer http;
    std::atomic<int> served{0};
    std::atomic<bool> failing{false};
    http.server().Get("/icon.png", [&](const httplib::Request&, httplib::Response& res) {
        ++served;
        std::this_thread::sleep_for(50ms);
        if (failing) {
            res.status = 503;
        } else {
            res.set_content(pngOf(8, 8, Qt::yellow).toStdString(), "image/png");
        }
    });
    http.start();
    const QString address = QString::fromStdString(http.url("/icon.png"));
    QTemporaryDir folder;
    const QString ours = QDir(folder.path()).filePath(QStringLiteral("clock.png"));
    QImage(6, 6, QImage::Format_RGB32).save(ours);

    EventImage images;
    images.setLocalImages({{QStringLiteral("http://example.invalid/clock.png"), ours}});
    int called = 0;
    const auto callback = [&](const QString&) { ++called; };
    EXPECT_FALSE(
        images.getImageForURL(QStringLiteral("http://example.invalid/clock.png"), nullptr));
    EXPECT_TRUE(
        images.getImageForURL(QStringLiteral("http://example.invalid/clock.png"), callback));
    EXPECT_EQ(images.downloadsStarted(), 0) << "our own icons never go to the network";

    failing = true;
    EXPECT_FALSE(images.getImageForURL(address, callback));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !images.isDownloading(address); }, 5000));
    EXPECT_EQ(called, 0);
    failing = false;
    EXPECT_FALSE(images.getImageForURL(address, callback));
    EXPECT_FALSE(images.getImageForURL(address, callback)) << "on its way: not asked twice";
    ASSERT_TRUE(QTest::qWaitFor([&] { return called > 0; }, 5000));
    EXPECT_EQ(served.load(), 2) << "one failed download, then one";
    const auto icon = images.getImageForURL(address, callback);
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->pixelColor(2, 2), QColor(Qt::yellow));
    EXPECT_FALSE(images.getImageForURL(address, nullptr)) << "no callback: only fetching";

    Gadget gadget{300, 200, QStringLiteral("https://example.org/g"), address};
    platform::KeyedArchiver coder(Gadget::archiveClassName());
    gadget.encodeWithCoder(coder);
    const auto back =
        platform::KeyedUnarchiver::unarchiveObjectWithData<Gadget>(coder.archivedData());
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, gadget);
}

}  // namespace
}  // namespace talvor
