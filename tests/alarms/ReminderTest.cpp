// Recorded messages: the list over a folder, the file names titles become, and the recording
// window with a fake recorder on the fake clock.
#include "AlarmsTestSupport.h"

#include "alarms/ReminderController.h"
#include "alarms/SavedAlarms.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

namespace talvor::test {
namespace {

// Writes a small file where asked when stopped, as a microphone recording would.
class FakeRecorder : public ReminderRecorder {
  public:
    FakeRecorder(QString path, bool works, int* made) : path_(std::move(path)), works_(works) {
        ++*made;
    }
    bool start() override { return works_; }
    void stop() override {
        QFile f(path_);
        if (f.open(QIODevice::WriteOnly)) {
            f.write("recorded");
        }
    }
    QString file() const override { return path_; }

  private:
    QString path_;
    bool works_;
};

class Reminders : public AlarmsTest {
  protected:
    void SetUp() override {
        AlarmsTest::SetUp();
        ASSERT_TRUE(dir_.isValid());
        folder_ = QDir(dir_.path()).filePath(QStringLiteral("Recordings"));
        QDir().mkpath(folder_);
    }
    // A sound file in the folder, `age` minutes old.
    QString addFile(const QString& name, int age) {
        const QString path = folder_ + QLatin1Char('/') + name;
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x");
        f.close();
        // Reopened without writing: closing it leaves the time as set.
        EXPECT_TRUE(f.open(QIODevice::ReadWrite));
        EXPECT_TRUE(f.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-60 * age),
                                  QFileDevice::FileModificationTime));
        return path;
    }
    std::unique_ptr<ReminderController> window(bool works = true) {
        auto w = std::make_unique<ReminderController>(folder_);
        w->setRecorderFactory([this, works](const QString& path) {
            return std::make_unique<FakeRecorder>(path, works, &recordersMade_);
        });
        return w;
    }
    QStringList files() const {
        return QDir(folder_).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    QTemporaryDir dir_;
    QString folder_;
    int recordersMade_ = 0;
};

using alarmsReminders = Reminders;

// Fifteen recordings, the two oldest named by a saved alarm and an active one: the sixteenth
// drops the oldest recording nothing plays, and deletes its file only.
TEST_F(alarmsReminders, TheSixteenthRecordingNeverDeletesAReferencedFile) {
    std::vector<QString> paths;
    for (int i = 0; i < 15; ++i) {
        paths.push_back(addFile(QStringLiteral("Msg%1.ogg").arg(i), 100 - i));
    }
    auto saved = Alarm::create();
    saved->setTitle(QStringLiteral("Wake"));
    saved->setSoundPath(paths[0]);
    SavedAlarms::save({saved});
    auto active = relativeAlarm(5, true, clock_.now());
    active->setSoundPath(paths[1]);
    alarmClock().insertAlarm(active);

    ReminderStrings list(folder_);
    ASSERT_EQ(list.containers().size(), 15u);
    EXPECT_EQ(list.containers().front().soundPath(), paths[14]) << "newest first";
    const QString sixteenth = addFile(QStringLiteral("New.ogg"), 0);
    list.addReminderString(QStringLiteral("New"), sixteenth);

    EXPECT_EQ(list.containers().size(), 15u);
    EXPECT_EQ(list.containers().front().stringValue(), QStringLiteral("New"));
    EXPECT_TRUE(QFileInfo::exists(paths[0])) << "a saved alarm plays it";
    EXPECT_TRUE(QFileInfo::exists(paths[1])) << "an active alarm plays it";
    EXPECT_FALSE(QFileInfo::exists(paths[2])) << "the oldest that nothing plays";
    for (std::size_t i = 3; i < paths.size(); ++i) {
        EXPECT_TRUE(QFileInfo::exists(paths[i])) << i;
    }

    // When every older recording is still played, none goes.
    ReminderStrings all(folder_, [&] {
        QSet<QString> used{sixteenth};
        for (const QString& p : paths) {
            used.insert(p);
        }
        return used;
    });
    all.addReminderString(QStringLiteral("Newer"), addFile(QStringLiteral("Newer.ogg"), 0));
    EXPECT_EQ(files().size(), 16u);
}

TEST_F(alarmsReminders, TheListShowsSoundFilesOfTheFolderOnly) {
    addFile(QStringLiteral("Tea.ogg"), 2);
    addFile(QStringLiteral("notes.txt"), 1);
    addFile(QStringLiteral(".recording.m4a"), 1);
    ReminderStrings list(folder_);
    ASSERT_EQ(list.containers().size(), 1u);
    EXPECT_EQ(list.containers()[0].stringValue(), QStringLiteral("Tea"));

    // Only a file directly in the folder and named by nothing is ever deleted.
    QTemporaryDir elsewhere;
    const QString outside = elsewhere.filePath(QStringLiteral("Tea.ogg"));
    QFile(folder_ + QStringLiteral("/Tea.ogg")).copy(outside);
    EXPECT_FALSE(list.reclaimSound(outside));
    EXPECT_FALSE(list.reclaimSound(folder_ + QStringLiteral("/sub/../../x/Tea.ogg")));
    EXPECT_FALSE(list.reclaimSound(folder_ + QStringLiteral("/Tea.ogg"))) << "listed";
    EXPECT_TRUE(QFileInfo::exists(outside));
}

TEST_F(alarmsReminders, TitlesBecomeSafeFileNamesInsideTheFolder) {
    struct Case {
        QString title;
        std::optional<QString> name;
    };
    const Case cases[] = {
        {QStringLiteral("Tea"), QStringLiteral("Tea")},
        {QStringLiteral("a/b"), QStringLiteral("a-b")},
        {QStringLiteral("../../etc/passwd"), QStringLiteral("-..-etc-passwd")},
        {QStringLiteral(".."), std::nullopt},
        {QStringLiteral("/"), QStringLiteral("-")},
        {QStringLiteral(".hidden"), QStringLiteral("hidden")},
        {QStringLiteral("first\nsecond\r\tthird"), QStringLiteral("first second third")},
        {QStringLiteral("\n"), std::nullopt},
        {QStringLiteral("   "), std::nullopt},
        {QStringLiteral("back\\slash"), QStringLiteral("back-slash")},
        {QString(300, QLatin1Char('x')),
         QString(ReminderStrings::kMaxNameLength, QLatin1Char('x'))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title.toStdString());
        const auto name = ReminderStrings::fileNameForTitle(c.title);
        EXPECT_EQ(name, c.name);
        if (name) {
            const QFileInfo file(folder_ + QLatin1Char('/') + *name + QStringLiteral(".m4a"));
            EXPECT_EQ(file.absolutePath(), QFileInfo(folder_).absoluteFilePath());
        }
    }

    // Recording under each title writes inside the folder, or refuses.
    auto w = window();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title.toStdString());
        w->reminderTitle()->setText(c.title);
        w->startRecording();
        EXPECT_EQ(w->isRecording(), c.name.has_value());
        if (!c.name) {
            EXPECT_FALSE(w->statusLine()->text().isEmpty()) << "said why";
            continue;
        }
        w->stopRecording();
        EXPECT_TRUE(
            QFileInfo::exists(folder_ + QLatin1Char('/') + *c.name + QStringLiteral(".m4a")));
    }
    for (const QFileInfo& f : QDir(dir_.path()).entryInfoList(QDir::Files | QDir::Hidden)) {
        ADD_FAILURE() << "outside the folder: " << f.fileName().toStdString();
    }
}

TEST_F(alarmsReminders, RecordingStopsAtTenSecondsAndKeepsTheMessage) {
    auto w = window();
    EXPECT_FALSE(w->recordButton()->isEnabled()) << "no title yet";
    w->reminderTitle()->setText(QStringLiteral("Tea"));
    EXPECT_TRUE(w->recordButton()->isEnabled());
    w->recordButton()->click();
    ASSERT_TRUE(w->isRecording());
    EXPECT_FALSE(w->okButton()->isEnabled());
    scheduler_.advanceBy(9.9);
    EXPECT_TRUE(w->isRecording());
    EXPECT_NEAR(w->progress(), 9.9, 0.01);
    scheduler_.advanceBy(0.15);
    EXPECT_FALSE(w->isRecording()) << "stopped at ten seconds";
    EXPECT_FALSE(w->recordButton()->isChecked());
    EXPECT_TRUE(w->okButton()->isEnabled());
    EXPECT_EQ(files(), QStringList{QStringLiteral("Tea.m4a")}) << "no scratch file left";
    ASSERT_EQ(w->reminderStrings().containers().size(), 1u);
    EXPECT_EQ(w->soundPath(), folder_ + QStringLiteral("/Tea.m4a")) << "selected";
    EXPECT_TRUE(w->playButton()->isEnabled());

    // Again under the same title: one entry, at the top, same file.
    addFile(QStringLiteral("Other.ogg"), 0);
    w->reminderStrings().refreshContent();
    w->reminderTitle()->setText(QStringLiteral("Tea"));
    w->recordButton()->click();
    w->recordButton()->click();
    ASSERT_EQ(w->reminderStrings().containers().size(), 2u);
    EXPECT_EQ(w->reminderStrings().containers()[0].stringValue(), QStringLiteral("Tea"));
}

TEST_F(alarmsReminders, ClosingTheWindowDiscardsTheRecordingAndKeepsTheOldOne) {
    const QString old = addFile(QStringLiteral("Tea.m4a"), 5);
    auto w = window();
    w->show();
    w->reminderTitle()->setText(QStringLiteral("Tea"));
    w->startRecording();
    ASSERT_TRUE(w->isRecording());
    w->close();
    EXPECT_FALSE(w->isRecording());
    EXPECT_EQ(files(), QStringList{QStringLiteral("Tea.m4a")});
    QFile f(old);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("x")) << "the earlier recording is untouched";
    scheduler_.advanceBy(20);
    EXPECT_FALSE(w->isRecording());
}

TEST_F(alarmsReminders, ARecorderThatCannotStartKeepsNothing) {
    auto w = window(false);
    w->reminderTitle()->setText(QStringLiteral("Tea"));
    w->recordButton()->click();
    EXPECT_FALSE(w->isRecording());
    EXPECT_FALSE(w->recordButton()->isChecked());
    EXPECT_FALSE(w->statusLine()->text().isEmpty());
    EXPECT_TRUE(files().isEmpty());
}

TEST_F(alarmsReminders, OkHandsTheChosenMessageOnAndDeleteRemovesIt) {
    addFile(QStringLiteral("Tea.ogg"), 2);
    addFile(QStringLiteral("Soup.ogg"), 1);
    auto w = window();
    QString chosen;
    w->setAccepted([&](const QString&, const QString& path) { chosen = path; });
    w->runWithAlarm(nullptr);
    w->comboBox()->setCurrentIndex(1);
    QCoreApplication::processEvents();
    EXPECT_TRUE(w->deleteButton()->isEnabled());
    w->okButton()->click();
    EXPECT_EQ(chosen, folder_ + QStringLiteral("/Tea.ogg"));

    w->runWithAlarm(nullptr);
    w->comboBox()->setCurrentIndex(0);
    w->deleteSound();
    QCoreApplication::processEvents();
    EXPECT_EQ(files(), QStringList{QStringLiteral("Tea.ogg")});
    EXPECT_EQ(w->reminderStrings().containers().size(), 1u);
}

}  // namespace
}  // namespace talvor::test
