// The archive of finished to-do items: the file the options name, each item once, in the
// format asked, kept one document across runs.
#include "calendarui/TodoArchive.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace talvor {
namespace {

QString read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

const QDate kToday(2026, 12, 31);

std::vector<FinishedTodo> items() {
    return {{QStringLiteral("a"), QStringLiteral("Pay rent"), QStringLiteral("by card"),
             QDate(2026, 12, 30)},
            {QStringLiteral("b"), QStringLiteral("Call <Ann> & {Bo}"), QString(), std::nullopt}};
}

// The file names of each format and rollover are tested with the to-do pane, which shows
// them; here what the stored options leave out.
TEST(calendaruiTodoArchive, StoredOptionsKeepThePanesDefaults) {
    const TodoArchiveOptions stored = TodoArchiveOptions::fromStored(
        {{QStringLiteral("path"), QStringLiteral("/x/A.txt")}, {QStringLiteral("state"), true}});
    EXPECT_TRUE(stored.on);
    EXPECT_EQ(stored.when, TodoArchiveOptions::Daily) << "no \"when\": daily, as the pane shows";
}

TEST(calendaruiTodoArchive, RunsAtOnceDailyOrWeekly) {
    const QDate monday(2026, 12, 28);
    EXPECT_TRUE(TodoArchive::due(TodoArchiveOptions::WhenCompleted, monday, monday));
    EXPECT_TRUE(TodoArchive::due(TodoArchiveOptions::Daily, std::nullopt, monday));
    EXPECT_FALSE(TodoArchive::due(TodoArchiveOptions::Daily, monday, monday));
    EXPECT_TRUE(TodoArchive::due(TodoArchiveOptions::Daily, monday, monday.addDays(1)));
    EXPECT_FALSE(TodoArchive::due(TodoArchiveOptions::Weekly, monday, monday.addDays(6)));
    EXPECT_TRUE(TodoArchive::due(TodoArchiveOptions::Weekly, monday, monday.addDays(7)));
}

// Each format: a new file with its head and foot, the entries, the notes when asked, and a
// second run that adds only the new item inside the same document.
TEST(calendaruiTodoArchive, EachFormatKeepsOneDocumentAndEachItemOnce) {
    struct Case {
        int format;
        const char* suffix;
        const char* entry;  // how "Pay rent" is written
        const char* notes;  // how its notes are written
        const char* escaped;
        const char* foot;
    };
    const Case cases[] = {
        {TodoArchiveOptions::Text, ".txt", "- Pay rent (2026-12-30)\n", "    by card\n",
         "- Call <Ann> & {Bo}\n", ""},
        {TodoArchiveOptions::Html, ".html", "<p><b>Pay rent</b> (2026-12-30)", "<br>by card</p>",
         "Call &lt;Ann&gt; &amp; {Bo}", "</body></html>\n"},
        {TodoArchiveOptions::Rtf, ".rtf", "{\\b Pay rent} (2026-12-30)\\par\n", "by card\\par\n",
         "Call <Ann> & \\{Bo\\}", "}\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.suffix);
        QTemporaryDir dir;
        TodoArchiveOptions o;
        o.location = dir.filePath(QStringLiteral("Done.txt"));
        o.format = c.format;
        o.entryTemplate = TodoArchiveOptions::TitleAndNotes;
        o.summary = true;
        QSet<QString> archived;
        const std::vector<FinishedTodo> first = {items()[0]};
        TodoArchive::Result r = TodoArchive::append(o, first, archived, kToday);
        EXPECT_EQ(r.written, 1);
        EXPECT_FALSE(r.error);
        const QString path = dir.filePath(QStringLiteral("Done") + QLatin1String(c.suffix));
        QString text = read(path);
        EXPECT_TRUE(text.contains(QLatin1String(c.entry))) << text.toStdString();
        EXPECT_TRUE(text.contains(QLatin1String(c.notes))) << text.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("Archived 2026-12-31: 1 finished")));
        EXPECT_TRUE(text.endsWith(QLatin1String(c.foot)));

        r = TodoArchive::append(o, items(), archived, kToday);
        EXPECT_EQ(r.written, 1) << "the first item went in before";
        text = read(path);
        EXPECT_EQ(text.count(QStringLiteral("Pay rent")), 1);
        EXPECT_TRUE(text.contains(QLatin1String(c.escaped))) << text.toStdString();
        EXPECT_TRUE(text.endsWith(QLatin1String(c.foot))) << "one document";
        if (*c.foot != 0) {
            EXPECT_EQ(text.count(QLatin1String(c.foot)), 1);
        }
        EXPECT_EQ(archived, (QSet<QString>{QStringLiteral("a"), QStringLiteral("b")}));
        EXPECT_EQ(TodoArchive::append(o, items(), archived, kToday).written, 0);
    }
}

TEST(calendaruiTodoArchive, TitleOnlyLeavesTheNotesOutAndAFailedWriteSaysSo) {
    QTemporaryDir dir;
    TodoArchiveOptions o;
    o.location = dir.filePath(QStringLiteral("Done.txt"));
    QSet<QString> archived;
    TodoArchive::append(o, items(), archived, kToday);
    const QString text = read(dir.filePath(QStringLiteral("Done.txt")));
    EXPECT_EQ(text, QStringLiteral("- Pay rent (2026-12-30)\n- Call <Ann> & {Bo}\n"));

    QFile blocker(dir.filePath(QStringLiteral("file")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    o.location = dir.filePath(QStringLiteral("file/Done.txt"));  // under a file: no folder
    QSet<QString> none;
    const TodoArchive::Result r = TodoArchive::append(o, items(), none, kToday);
    EXPECT_EQ(r.written, 0);
    ASSERT_TRUE(r.error);
    EXPECT_TRUE(r.error->contains(QStringLiteral("could not be written")));
    EXPECT_TRUE(none.isEmpty()) << "nothing counts as archived";
}

}  // namespace
}  // namespace talvor
