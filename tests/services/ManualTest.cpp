#include "platform/Workspace.h"
#include "services/Manual.h"
#include "support/BuiltManual.h"
#include "support/FakeWorkspace.h"
#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace talvor {
namespace {

QString readAll(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return QString::fromUtf8(file.readAll());
}

QSet<QString> matches(const QString& text, const char* pattern) {
    QSet<QString> found;
    QRegularExpressionMatchIterator it =
        QRegularExpression(QLatin1String(pattern)).globalMatch(text);
    while (it.hasNext()) {
        found.insert(it.next().captured(1));
    }
    return found;
}

// The desktop's opener recorded, the data folder at the build tree's manual.
class helpManual : public ::testing::Test {
  protected:
    helpManual() { platform::Workspace::setShared(&workspace); }
    ~helpManual() override { platform::Workspace::setShared(nullptr); }

    test::ScopedBuiltManual manual;
    test::FakeWorkspace workspace;
};

// The page made at build time: a whole UTF-8 page, every section the program opens has its
// own heading id, and the manual's own links all land.
using servicesHelpManual = helpManual;

TEST_F(servicesHelpManual, TheBuiltPageHoldsEverySectionTheProgramOpens) {
    const QString html = readAll(Manual::indexPath());
    EXPECT_TRUE(html.startsWith(QStringLiteral("<!DOCTYPE html>")));
    EXPECT_TRUE(html.contains(QStringLiteral("<meta charset=\"utf-8\">")));
    EXPECT_TRUE(html.contains(QStringLiteral("<title>Talvor Pro Manual</title>")));
    EXPECT_TRUE(html.trimmed().endsWith(QStringLiteral("</html>")));

    const QString idPattern = QStringLiteral("id=\"%1\"");
    QSet<QString> anchors;
    for (const Manual::Section section : Manual::kSections) {
        const QString anchor = Manual::anchor(section);
        SCOPED_TRACE(anchor.toStdString());
        EXPECT_FALSE(anchor.isEmpty());
        EXPECT_EQ(html.count(idPattern.arg(anchor)), 1);
        anchors.insert(anchor);
    }
    EXPECT_EQ(anchors.size(), static_cast<qsizetype>(Manual::kSections.size()))
        << "two sections share an anchor";

    const QSet<QString> ids = matches(html, R"re(id="([^"]+)")re");
    const QSet<QString> links = matches(html, R"re(href="#([^"]+)")re");
    EXPECT_EQ(links - ids, QSet<QString>()) << "links to no heading";
}

TEST_F(servicesHelpManual, ASectionOpensAsAFileUrlWithItsAnchor) {
    struct Case {
        Manual::Section section;
        const char* anchor;
    };
    const Case cases[] = {
        {Manual::Section::Contents, "contents"},
        {Manual::Section::Chimes, "pane-chimes"},
        {Manual::Section::SetTimeZone, "pane-set-timezone"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.anchor);
        workspace.openedURLs.clear();
        EXPECT_TRUE(Manual::open(c.section));
        ASSERT_EQ(workspace.openedURLs.size(), 1u);
        const QUrl url = workspace.openedURLs.front();
        EXPECT_EQ(url.toString(), manual.page(QString::fromLatin1(c.anchor)));
        EXPECT_TRUE(QFileInfo(url.toLocalFile()).isFile());
    }

    // An opener of the caller's own is used in place of the desktop's.
    workspace.openedURLs.clear();
    QList<QUrl> given;
    EXPECT_TRUE(Manual::open(Manual::Section::About, [&](const QUrl& url) { given << url; }));
    EXPECT_EQ(given, QList<QUrl>{QUrl(manual.page(QStringLiteral("pane-about")))});
    EXPECT_TRUE(workspace.openedURLs.empty());
}

TEST_F(servicesHelpManual, AMissingManualOrAFailedOpenIsOneLogLine) {
    QTemporaryDir empty;
    {
        const test::ScopedEnvVar elsewhere("TALVOR_SYSTEM_DATA_DIR", empty.path());
        EXPECT_EQ(Manual::url(Manual::Section::Chimes), std::nullopt);
        test::LogCapture log;
        bool called = false;
        EXPECT_FALSE(Manual::open(Manual::Section::Chimes, [&](const QUrl&) { called = true; }));
        EXPECT_FALSE(Manual::open(Manual::Section::Contents));
        EXPECT_FALSE(called);
        EXPECT_TRUE(workspace.openedURLs.empty());
        ASSERT_EQ(log.lines().size(), 2) << "one line per request";
        EXPECT_TRUE(log.lines().front().contains(empty.path() + QStringLiteral("/manual")));
    }

    // The desktop could start nothing: said once, nothing else happens.
    workspace.failingOpens.insert(manual.page(QStringLiteral("contents")));
    test::LogCapture log;
    EXPECT_FALSE(Manual::open(Manual::Section::Contents));
    EXPECT_EQ(log.lines().size(), 1);
}

}  // namespace
}  // namespace talvor
