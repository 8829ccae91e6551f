#include "platform/PlistPreferenceStore.h"
#include "platform/Preferences.h"
#include "platform/PropertyList.h"
#include "support/ManualScheduler.h"
#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSize>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <csignal>
#include <functional>
#include <latch>
#include <thread>

namespace talvor::platform {
namespace {

using test::LogCapture;
using test::XdgSandbox;

class PlistStore : public ::testing::Test {
  protected:
    QString path() const {
        return sandbox_.root() + QStringLiteral("/config/talvor/test.domain.plist");
    }
    std::unique_ptr<PlistPreferenceStore> open() const {
        return std::make_unique<PlistPreferenceStore>(QStringLiteral("test.domain"), path());
    }
    void writeRaw(const QByteArray& bytes) const {
        QDir().mkpath(QFileInfo(path()).absolutePath());
        QFile f(path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QStringList asideFiles() const {
        return QDir(QFileInfo(path()).absolutePath())
            .entryList({QStringLiteral("test.domain.plist.corrupt-*")}, QDir::Files | QDir::Hidden);
    }
    XdgSandbox sandbox_;
};

// Every property-list type survives the file and comes back with its own type.
using platformPlistStore = PlistStore;

TEST_F(platformPlistStore, EveryValueTypeRoundTripsThroughTheFile) {
    const QDateTime when(QDate(2026, 12, 9), QTime(20, 35, 9), QTimeZone::utc());
    const QVariantMap values = {
        {QStringLiteral("bool"), true},
        {QStringLiteral("boolFalse"), false},
        {QStringLiteral("int"), qint64(22745)},
        {QStringLiteral("negative"), qint64(-100)},
        {QStringLiteral("big"), qint64(1) << 40},
        {QStringLiteral("real"), 0.1},
        {QStringLiteral("string"), QStringLiteral("Zürich — 東京 😀")},
        {QStringLiteral("data"), QByteArray("\x00\x01\xFFzz", 5)},
        {QStringLiteral("date"), when},
        {QStringLiteral("array"), QVariantList{qint64(1), QStringLiteral("two"), false}},
        {QStringLiteral("dict"), QVariantMap{{QStringLiteral("nested"), QVariantList{1.5}}}},
        {QStringLiteral("empty"), QString()},
    };
    {
        auto store = open();
        for (auto it = values.cbegin(); it != values.cend(); ++it) {
            ASSERT_TRUE(store->setValue(it.key(), it.value())) << it.key().toStdString();
        }
        ASSERT_TRUE(store->synchronize());
    }
    auto again = open();
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        const QVariant back = again->value(it.key());
        SCOPED_TRACE(it.key().toStdString());
        EXPECT_EQ(back.typeId(), it.value().typeId());
        EXPECT_EQ(back, it.value());
    }
    EXPECT_EQ(again->value(QStringLiteral("bool")).typeId(), QMetaType::Bool);
    EXPECT_EQ(again->integerValue(QStringLiteral("bool")), 1);
    EXPECT_EQ(again->stringValue(QStringLiteral("int")), std::nullopt);
}

TEST_F(platformPlistStore, ValuesAPropertyListCannotHoldAreRefused) {
    auto store = open();
    store->setValue(QStringLiteral("k"), QStringLiteral("kept"));
    EXPECT_FALSE(store->setValue(QStringLiteral("k"), QVariant::fromValue(QSize(1, 2))));
    EXPECT_FALSE(
        store->setValue(QStringLiteral("k"), QVariantList{1, QVariant::fromValue(QSize(1, 2))}));
    EXPECT_EQ(store->value(QStringLiteral("k")), QVariant(QStringLiteral("kept")));
}

TEST_F(platformPlistStore, TwoWritersOnOneFileMergeOnSynchronise) {
    auto first = open();
    auto second = open();
    first->setValue(QStringLiteral("a"), QStringLiteral("from first"));
    first->setValue(QStringLiteral("shared"), qint64(1));
    first->setValue(QStringLiteral("gone"), true);
    ASSERT_TRUE(first->synchronize());

    second->setValue(QStringLiteral("b"), QStringLiteral("from second"));
    second->setValue(QStringLiteral("shared"), qint64(2));
    // Not yet seen: the second store read the file before the first wrote.
    EXPECT_FALSE(second->contains(QStringLiteral("a")));
    ASSERT_TRUE(second->synchronize());
    EXPECT_EQ(second->value(QStringLiteral("a")), QVariant(QStringLiteral("from first")));
    EXPECT_EQ(second->value(QStringLiteral("shared")), QVariant(qint64(2)));

    first->removeValue(QStringLiteral("gone"));
    ASSERT_TRUE(first->synchronize());
    EXPECT_EQ(first->value(QStringLiteral("b")), QVariant(QStringLiteral("from second")));
    EXPECT_EQ(first->value(QStringLiteral("shared")), QVariant(qint64(2)));

    ASSERT_TRUE(second->synchronize());
    EXPECT_FALSE(second->contains(QStringLiteral("gone")));
    EXPECT_EQ(open()->dictionaryRepresentation().keys(),
              (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("shared")}));
}

// A refresh takes in the other writer's saved changes and writes nothing of ours: our
// unsaved changes stay pending, and win, until the next synchronise.
TEST_F(platformPlistStore, ARefreshTakesInOthersChangesAndWritesNothing) {
    auto ours = open();
    auto theirs = open();
    ours->setValue(QStringLiteral("ours"), qint64(1));
    ours->setValue(QStringLiteral("shared"), QStringLiteral("ours"));
    theirs->setValue(QStringLiteral("theirs"), qint64(2));
    theirs->setValue(QStringLiteral("shared"), QStringLiteral("theirs"));
    ASSERT_TRUE(theirs->synchronize());
    const QDateTime written = QFileInfo(path()).lastModified();

    ASSERT_TRUE(ours->refresh());
    EXPECT_EQ(ours->value(QStringLiteral("theirs")), QVariant(qint64(2)));
    EXPECT_EQ(ours->value(QStringLiteral("shared")), QVariant(QStringLiteral("ours")));
    EXPECT_EQ(ours->value(QStringLiteral("ours")), QVariant(qint64(1)));
    EXPECT_TRUE(ours->hasPendingChanges());
    EXPECT_FALSE(open()->contains(QStringLiteral("ours"))) << "nothing of ours written";
    EXPECT_EQ(QFileInfo(path()).lastModified(), written);

    ASSERT_TRUE(ours->synchronize());
    EXPECT_FALSE(ours->hasPendingChanges());
    const auto reread = open();
    EXPECT_EQ(reread->value(QStringLiteral("ours")), QVariant(qint64(1)));
    EXPECT_EQ(reread->value(QStringLiteral("theirs")), QVariant(qint64(2)));
    EXPECT_EQ(reread->value(QStringLiteral("shared")), QVariant(QStringLiteral("ours")));

    // A domain never written stays without a file.
    QFile::remove(path());
    auto fresh = open();
    fresh->setValue(QStringLiteral("ours"), qint64(3));
    ASSERT_TRUE(fresh->refresh());
    EXPECT_FALSE(QFileInfo::exists(path()));
    EXPECT_EQ(fresh->value(QStringLiteral("ours")), QVariant(qint64(3)));
}

TEST_F(platformPlistStore, ConcurrentWritersInSeveralThreadsLoseNothing) {
    auto first = open();
    auto second = open();
    std::latch go(1);
    auto writer = [&go](PreferenceStore* store, const QString& prefix) {
        go.wait();
        for (int i = 0; i < 40; ++i) {
            store->setValue(prefix + QString::number(i), qint64(i));
            store->synchronize();
        }
    };
    std::thread t1(writer, first.get(), QStringLiteral("x"));
    std::thread t2(writer, second.get(), QStringLiteral("y"));
    go.count_down();
    t1.join();
    t2.join();
    EXPECT_EQ(open()->keys().size(), 80);
}

TEST_F(platformPlistStore, UnreadableFilesAreMovedAsideAndTheStoreStartsEmpty) {
    QByteArray good;
    {
        auto store = open();
        store->setValue(QStringLiteral("TimeFontName"), QStringLiteral("DejaVu Sans"));
        store->setValue(QStringLiteral("MenuItemOptBits"), qint64(22745));
        ASSERT_TRUE(store->synchronize());
        QFile f(path());
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        good = f.readAll();
    }
    const QByteArray broken[] = {
        good.left(good.size() / 2),
        QByteArray("this is not a property list at all"),
        QByteArray(),
        QByteArray("<?xml version=\"1.0\"?><plist><string>not a dictionary</string></plist>"),
        *PropertyList::serialize(QVariantList{1}, PropertyList::Format::Binary),
    };
    for (const QByteArray& bytes : broken) {
        SCOPED_TRACE(bytes.left(40).toStdString());
        QDir(QFileInfo(path()).absolutePath()).removeRecursively();
        writeRaw(bytes);
        LogCapture log;
        auto store = open();
        EXPECT_TRUE(store->keys().isEmpty());
        EXPECT_EQ(log.lines().size(), 1);
        ASSERT_EQ(asideFiles().size(), 1);
        QFile aside(QFileInfo(path()).absolutePath() + QLatin1Char('/') + asideFiles().first());
        ASSERT_TRUE(aside.open(QIODevice::ReadOnly));
        EXPECT_EQ(aside.readAll(), bytes);
        // The store works on: the next write makes a fresh, valid file.
        store->setValue(QStringLiteral("after"), true);
        ASSERT_TRUE(store->synchronize());
        EXPECT_EQ(open()->value(QStringLiteral("after")), QVariant(true));
    }
}

// Makes writes beyond `bytes` fail with EFBIG for the life of the object, root included.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        ::signal(SIGXFSZ, oldHandler_);
    }

  private:
    rlimit old_{};
    sighandler_t oldHandler_ = nullptr;
};

TEST_F(platformPlistStore, AFailedWriteKeepsTheOldFileAndTheChanges) {
    auto store = open();
    store->setValue(QStringLiteral("v"), qint64(1));
    ASSERT_TRUE(store->synchronize());
    store->setValue(QStringLiteral("v"), qint64(2));
    store->setValue(QStringLiteral("big"), QString(4000, QLatin1Char('x')));
    {
        FileSizeLimit limit(1024);
        LogCapture log;
        EXPECT_FALSE(store->synchronize());
        EXPECT_EQ(log.lines().size(), 1);
    }
    EXPECT_TRUE(store->hasPendingChanges());
    EXPECT_EQ(store->value(QStringLiteral("v")), QVariant(qint64(2)));
    EXPECT_EQ(open()->value(QStringLiteral("v")), QVariant(qint64(1)));
    const QStringList leftovers =
        QDir(QFileInfo(path()).absolutePath())
            .entryList({QStringLiteral(".test.domain.plist.*")}, QDir::Files | QDir::Hidden);
    EXPECT_EQ(leftovers, QStringList{QStringLiteral(".test.domain.plist.lock")})
        << "no temporary file is left behind";
    // Tried again later, the write goes through.
    ASSERT_TRUE(store->synchronize());
    EXPECT_EQ(open()->value(QStringLiteral("v")), QVariant(qint64(2)));
}

TEST_F(platformPlistStore, AFileDamagedWhileRunningKeepsTheSettingsHeld) {
    auto store = open();
    store->setValue(QStringLiteral("a"), true);
    store->setValue(QStringLiteral("b"), qint64(5));
    ASSERT_TRUE(store->synchronize());
    writeRaw("garbage written by something else");
    store->setValue(QStringLiteral("c"), QStringLiteral("new"));
    ASSERT_TRUE(store->synchronize());
    const QVariantMap expected = {{QStringLiteral("a"), true},
                                  {QStringLiteral("b"), qint64(5)},
                                  {QStringLiteral("c"), QStringLiteral("new")}};
    EXPECT_EQ(store->dictionaryRepresentation(), expected);
    EXPECT_EQ(open()->dictionaryRepresentation(), expected);
    EXPECT_EQ(asideFiles().size(), 1);
}

TEST_F(platformPlistStore, ALinkedFileStaysALink) {
    const QString real = sandbox_.root() + QStringLiteral("/dotfiles/prefs.plist");
    QDir().mkpath(QFileInfo(real).absolutePath());
    QDir().mkpath(QFileInfo(path()).absolutePath());
    ASSERT_TRUE(QFile::link(real, path()));
    auto store = open();
    store->setValue(QStringLiteral("k"), true);
    ASSERT_TRUE(store->synchronize());
    EXPECT_TRUE(QFileInfo(path()).isSymLink());
    EXPECT_TRUE(QFile::exists(real));
    EXPECT_EQ(open()->value(QStringLiteral("k")), QVariant(true));
}

TEST_F(platformPlistStore, AHandEditSavedInPlaceWhileWeSaveIsMergedNotMovedAside) {
    auto store = open();
    store->setValue(QStringLiteral("ours"), qint64(1));
    ASSERT_TRUE(store->synchronize());
    QVariantMap edited = store->dictionaryRepresentation();
    edited.insert(QStringLiteral("edited"), QStringLiteral("by hand"));
    const QByteArray bytes = *PropertyList::serialize(edited, PropertyList::Format::Xml);
    // An editor saving in place: truncated, half written, the rest a moment later. Caught
    // empty or half-way, the file must not be taken for damaged.
    for (const qsizetype written : {qsizetype(0), bytes.size() / 2}) {
        SCOPED_TRACE(written);
        writeRaw(bytes.left(written));
        std::thread editor([this, &bytes, written] {
            ::usleep(30000);
            QFile f(path());
            ASSERT_TRUE(f.open(QIODevice::Append));
            f.write(bytes.mid(written));
        });
        store->setValue(QStringLiteral("mine"), written);
        const bool saved = store->synchronize();
        editor.join();
        ASSERT_TRUE(saved);
        EXPECT_TRUE(asideFiles().isEmpty());
        EXPECT_EQ(open()->value(QStringLiteral("edited")), QVariant(QStringLiteral("by hand")));
        EXPECT_EQ(open()->value(QStringLiteral("mine")), QVariant(qint64(written)));
        EXPECT_EQ(store->value(QStringLiteral("edited")), QVariant(QStringLiteral("by hand")));
    }
}

TEST_F(platformPlistStore, TemporaryCopiesOfAKilledWriteAreRemovedAtTheNextStart) {
    {
        auto store = open();
        store->setValue(QStringLiteral("k"), true);
        ASSERT_TRUE(store->synchronize());
    }
    const QDir dir(QFileInfo(path()).absolutePath());
    for (const char* name :
         {".test.domain.plist.a1B2c3", ".test.domain.plist.Zz9Yy8", "keep.txt",
          ".test.domain.plist.toolong1", ".other.plist.a1B2c3", ".TEST.domain.plist.a1B2c3"}) {
        QFile f(dir.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("<?xml half");
    }
    LogCapture log;
    auto store = open();
    EXPECT_EQ(store->value(QStringLiteral("k")), QVariant(true));
    EXPECT_EQ(dir.entryList(QDir::Files | QDir::Hidden, QDir::Name),
              (QStringList{QStringLiteral(".TEST.domain.plist.a1B2c3"),
                           QStringLiteral(".other.plist.a1B2c3"),
                           QStringLiteral(".test.domain.plist.lock"),
                           QStringLiteral(".test.domain.plist.toolong1"),
                           QStringLiteral("keep.txt"), QStringLiteral("test.domain.plist")}));
    EXPECT_TRUE(log.contains(QStringLiteral("removed 2 unfinished temporary copies")));
}

TEST_F(platformPlistStore, AChainOfLinksStaysAChain) {
    const QString real = sandbox_.root() + QStringLiteral("/dotfiles/real/prefs.plist");
    const QString middle = sandbox_.root() + QStringLiteral("/dotfiles/prefs.plist");
    QDir().mkpath(QFileInfo(real).absolutePath());
    QDir().mkpath(QFileInfo(path()).absolutePath());
    // The second link is relative, as dotfile managers make them.
    ASSERT_TRUE(QFile::link(QStringLiteral("real/prefs.plist"), middle));
    ASSERT_TRUE(QFile::link(middle, path()));
    for (int round = 0; round < 2; ++round) {
        auto store = open();
        store->setValue(QStringLiteral("round"), qint64(round));
        ASSERT_TRUE(store->synchronize());
        EXPECT_TRUE(QFileInfo(path()).isSymLink());
        EXPECT_TRUE(QFileInfo(middle).isSymLink());
        EXPECT_FALSE(QFileInfo(real).isSymLink());
        EXPECT_EQ(PlistPreferenceStore(QStringLiteral("x"), real).value(QStringLiteral("round")),
                  QVariant(qint64(round)));
    }
}

TEST_F(platformPlistStore, AReadOnlyFileIsLeftAloneAndSaidSoOnce) {
    auto store = open();
    store->setValue(QStringLiteral("v"), qint64(1));
    ASSERT_TRUE(store->synchronize());
    ASSERT_TRUE(QFile::setPermissions(path(), QFile::ReadOwner | QFile::ReadGroup));
    LogCapture log;
    store->setValue(QStringLiteral("v"), qint64(2));
    EXPECT_FALSE(store->synchronize());
    EXPECT_FALSE(store->synchronize());
    EXPECT_EQ(log.lines().size(), 1) << log.lines().join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(store->failure().has_value());
    EXPECT_TRUE(store->hasPendingChanges());
    EXPECT_EQ(open()->value(QStringLiteral("v")), QVariant(qint64(1)));
    EXPECT_EQ(QFileInfo(path()).permissions() & QFile::WriteOwner, QFile::Permissions());
    // Made writable again, the change goes through.
    ASSERT_TRUE(QFile::setPermissions(path(), QFile::ReadOwner | QFile::WriteOwner));
    ASSERT_TRUE(store->synchronize());
    EXPECT_FALSE(store->failure().has_value());
    EXPECT_EQ(open()->value(QStringLiteral("v")), QVariant(qint64(2)));
}

TEST_F(platformPlistStore, AStuckWriterDoesNotHoldUpTheMainThread) {
    {
        auto store = open();
        store->setValue(QStringLiteral("v"), qint64(1));
        ASSERT_TRUE(store->synchronize());
    }
    // Another process stopped while it holds the writers' lock.
    const QString lockPath =
        QFileInfo(path()).absolutePath() + QStringLiteral("/.test.domain.plist.lock");
    const int held = ::open(QFile::encodeName(lockPath).constData(), O_RDWR);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    QElapsedTimer timer;
    timer.start();
    auto store = open();
    EXPECT_EQ(store->value(QStringLiteral("v")), QVariant(qint64(1)));
    store->setValue(QStringLiteral("v"), qint64(2));
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(store->synchronize());
    }
    // A wait for the lock took two seconds a try.
    EXPECT_LT(timer.elapsed(), 1500);
    EXPECT_FALSE(store->failure().has_value()) << "a busy lock is tried again, no failure";
    EXPECT_TRUE(store->hasPendingChanges());
    ::close(held);
    ASSERT_TRUE(store->synchronize());
    EXPECT_EQ(open()->value(QStringLiteral("v")), QVariant(qint64(2)));
}

TEST_F(platformPlistStore, AFileThatCannotBeReadOrWrittenIsReportedOnceAndNothingIsDropped) {
    const QString dir = QFileInfo(path()).absolutePath();
    struct Case {
        const char* name;
        std::function<void()> make;
    };
    const Case cases[] = {
        {"a link loop", [&] { QFile::link(path(), path()); }},
        {"a folder at the path", [&] { QDir().mkpath(path()); }},
        {"a link into a missing folder",
         [&] { QFile::link(sandbox_.root() + QStringLiteral("/gone/x.plist"), path()); }},
        {"a read-only file",
         [&] {
             writeRaw("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict/></plist>");
             QFile::setPermissions(path(), QFile::ReadOwner);
         }},
        {"a FIFO", [&] { ::mkfifo(QFile::encodeName(path()).constData(), 0600); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(dir).removeRecursively();
        QDir().mkpath(dir);
        c.make();
        auto store = open();
        QStringList told;
        store->setFailureHandler([&told](const QString& why) { told << why; });
        store->setValue(QStringLiteral("k"), true);
        EXPECT_FALSE(store->synchronize());
        // A read in between (the start-up's refresh) proves nothing about writing.
        store->refresh();
        EXPECT_FALSE(store->synchronize());
        EXPECT_EQ(told.size(), 1) << told.join(QLatin1Char('\n')).toStdString();
        EXPECT_TRUE(store->failure().has_value());
        EXPECT_TRUE(store->hasPendingChanges());
        EXPECT_EQ(store->value(QStringLiteral("k")), QVariant(true));
    }
}

TEST_F(platformPlistStore, AFailedWriteAsRootKeepsTheOldFileAndTheChanges) {
    // A path whose folder is a file cannot be written by anyone, root included.
    auto store = open();
    store->setValue(QStringLiteral("v"), qint64(1));
    ASSERT_TRUE(store->synchronize());
    const QString blocked = sandbox_.root() + QStringLiteral("/blocked");
    QFile(blocked).open(QIODevice::WriteOnly);
    PlistPreferenceStore unwritable(QStringLiteral("x"), blocked + QStringLiteral("/x.plist"));
    unwritable.setValue(QStringLiteral("k"), true);
    LogCapture log;
    EXPECT_FALSE(unwritable.synchronize());
    EXPECT_TRUE(unwritable.hasPendingChanges());
    EXPECT_EQ(unwritable.value(QStringLiteral("k")), QVariant(true));
    EXPECT_FALSE(log.lines().isEmpty());
    EXPECT_EQ(open()->value(QStringLiteral("v")), QVariant(qint64(1)));
}

TEST_F(platformPlistStore, TheFileIsXmlAndPrivate) {
    auto store = open();
    store->setValue(QStringLiteral("k"), QStringLiteral("v"));
    ASSERT_TRUE(store->synchronize());
    QFile f(path());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().startsWith("<?xml"));
    EXPECT_EQ(f.permissions() &
                  (QFile::ReadOther | QFile::WriteOther | QFile::ReadGroup | QFile::WriteGroup),
              0);
}

TEST_F(platformPlistStore, APendingWriteAsksOnceForASynchronise) {
    auto store = open();
    int asked = 0;
    store->setPendingChangesHandler([&] { ++asked; });
    store->setValue(QStringLiteral("a"), true);
    store->setValue(QStringLiteral("b"), true);
    EXPECT_EQ(asked, 1);
    ASSERT_TRUE(store->synchronize());
    store->removeValue(QStringLiteral("a"));
    EXPECT_EQ(asked, 2);
}

TEST_F(platformPlistStore, DomainsLiveInTheConfigFolder) {
    PreferenceStore& domain = Preferences::domain(QStringLiteral("com.larkspindle.TalvorPro"));
    domain.setValue(QStringLiteral("k"), true);
    ASSERT_TRUE(Preferences::synchronizeAll());
    EXPECT_TRUE(QFile::exists(sandbox_.root() +
                              QStringLiteral("/config/talvor/com.larkspindle.TalvorPro.plist")));
    EXPECT_EQ(&Preferences::domain(QStringLiteral("com.larkspindle.TalvorPro")), &domain);
}

// While writes are held a synchronise only takes in the other writers' changes; the release
// writes ours, and a domain with nothing pending is left untouched.
TEST_F(platformPlistStore, HeldWritesReachTheFileAtTheRelease) {
    PreferenceStore& held = Preferences::domain(QStringLiteral("held.domain"));
    PreferenceStore& clean = Preferences::domain(QStringLiteral("clean.domain"));
    const QString heldFile = Preferences::filePathFor(QStringLiteral("held.domain"));
    const QString cleanFile = Preferences::filePathFor(QStringLiteral("clean.domain"));
    clean.setValue(QStringLiteral("saved"), true);
    ASSERT_TRUE(clean.synchronize());
    const QDateTime cleanWritten = QFileInfo(cleanFile).lastModified();

    PlistPreferenceStore other(QStringLiteral("held.domain"), heldFile);
    other.setValue(QStringLiteral("theirs"), qint64(2));
    ASSERT_TRUE(other.synchronize());

    struct ReleaseAtEnd {
        ~ReleaseAtEnd() { Preferences::releaseWrites(); }  // a failed check holds no other test
    } releaseAtEnd;
    Preferences::holdWrites();
    held.setValue(QStringLiteral("ours"), qint64(1));
    EXPECT_TRUE(held.synchronize());
    EXPECT_TRUE(Preferences::synchronizeAll());
    EXPECT_EQ(held.value(QStringLiteral("theirs")), QVariant(qint64(2)));
    EXPECT_TRUE(held.hasPendingChanges());
    EXPECT_FALSE(PlistPreferenceStore(QStringLiteral("held.domain"), heldFile)
                     .contains(QStringLiteral("ours")))
        << "nothing of ours written while held";

    ASSERT_TRUE(Preferences::releaseWrites());
    EXPECT_FALSE(PreferenceStore::writesHeld());
    EXPECT_FALSE(held.hasPendingChanges());
    EXPECT_EQ(
        PlistPreferenceStore(QStringLiteral("held.domain"), heldFile).value(QStringLiteral("ours")),
        QVariant(qint64(1)));
    EXPECT_EQ(QFileInfo(cleanFile).lastModified(), cleanWritten);
    // A second release has nothing left to do.
    EXPECT_TRUE(Preferences::releaseWrites());
}

TEST_F(platformPlistStore, ChangesReachTheFileShortlyAfterTheyAreMadeWithoutAnExplicitSave) {
    test::FakeClock clock(Date::fromReference(0));
    test::ManualScheduler scheduler(clock);
    Preferences::enableAutoSync(scheduler, 1.0);
    PreferenceStore& domain = Preferences::domain(QStringLiteral("auto.sync"));
    const QString file = Preferences::filePathFor(QStringLiteral("auto.sync"));
    domain.setValue(QStringLiteral("a"), true);
    domain.setValue(QStringLiteral("b"), true);
    scheduler.advanceBy(0.5);
    EXPECT_FALSE(QFile::exists(file));
    scheduler.advanceBy(0.6);
    EXPECT_TRUE(QFile::exists(file));
    EXPECT_FALSE(domain.hasPendingChanges());
    EXPECT_EQ(PlistPreferenceStore(QStringLiteral("auto.sync"), file).keys().size(), 2);
    // A later change arms it again.
    domain.setValue(QStringLiteral("c"), true);
    scheduler.advanceBy(1.1);
    EXPECT_EQ(PlistPreferenceStore(QStringLiteral("auto.sync"), file).keys().size(), 3);
    Preferences::disableAutoSync();
}

TEST_F(platformPlistStore, AFailedAutomaticSaveIsTriedAgainLater) {
    test::FakeClock clock(Date::fromReference(0));
    test::ManualScheduler scheduler(clock);
    Preferences::enableAutoSync(scheduler, 1.0);
    PreferenceStore& domain = Preferences::domain(QStringLiteral("auto.retry"));
    domain.setValue(QStringLiteral("big"), QString(4000, QLatin1Char('x')));
    {
        FileSizeLimit limit(1024);
        LogCapture log;
        scheduler.advanceBy(1.1);
        EXPECT_TRUE(domain.hasPendingChanges());
        scheduler.advanceBy(2.1);
        EXPECT_TRUE(domain.hasPendingChanges());
        // Less and less often: two tries in three seconds, not a busy loop.
        EXPECT_EQ(log.lines().size(), 2);
    }
    scheduler.advanceBy(60);
    EXPECT_FALSE(domain.hasPendingChanges());
    EXPECT_EQ(PlistPreferenceStore(QStringLiteral("auto.retry"),
                                   Preferences::filePathFor(QStringLiteral("auto.retry")))
                  .keys(),
              QStringList{QStringLiteral("big")});
    Preferences::disableAutoSync();
}

TEST_F(platformPlistStore, NoSaveIsArmedOnceAutomaticSavingIsOff) {
    test::FakeClock clock(Date::fromReference(0));
    test::ManualScheduler scheduler(clock);
    Preferences::enableAutoSync(scheduler, 1.0);
    PreferenceStore& domain = Preferences::domain(QStringLiteral("auto.off"));
    domain.setValue(QStringLiteral("k"), true);  // posts the arming to the main loop
    Preferences::disableAutoSync();
    scheduler.runPosted();
    EXPECT_EQ(scheduler.activeTimerCount(), 0u);
}

}  // namespace
}  // namespace talvor::platform
