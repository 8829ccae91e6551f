#include "calendarui/DragView.h"
#include "calendarui/ThemeWinController.h"

#include "support/QtPrinters.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace talvor {
namespace {

void writePictures(const QString& folder, QList<int> months) {
    QDir().mkpath(folder);
    for (int month : months) {
        QImage picture(16, 12, QImage::Format_RGB32);
        picture.fill(QColor(month * 20, 80, 120));
        ASSERT_TRUE(
            picture.save(QDir(folder).filePath(QStringLiteral("%1.jpg").arg(month)), "JPG"));
    }
}

QList<int> allMonths() {
    QList<int> months;
    for (int m = 1; m <= 12; ++m) {
        months << m;
    }
    return months;
}

TEST(calendaruiThemes, IncompleteThemesAreListedAsSuch) {
    QTemporaryDir themes;
    const QString full = QDir(themes.path()).filePath(QStringLiteral("Full"));
    const QString partial = QDir(themes.path()).filePath(QStringLiteral("Partial"));
    writePictures(full, allMonths());
    QList<int> eleven = allMonths();
    eleven.removeLast();
    writePictures(partial, eleven);
    QDir().mkpath(QDir(partial).filePath(QStringLiteral("12.jpg")));  // a folder is no picture

    EXPECT_EQ(ThemeWinController::HasAllThemePicts(full), 12);
    EXPECT_EQ(ThemeWinController::HasAllThemePicts(partial), 11);
    EXPECT_EQ(
        ThemeWinController::themesIn(themes.path()),
        (QList<ThemeWinController::ThemeEntry>{{QStringLiteral("Full"), full},
                                               {QStringLiteral("Partial incomplete"), partial}}));
}

TEST(calendaruiThemes, NamesThatLeaveTheThemesFolderAreRefused) {
    QTemporaryDir root;
    const QString themes = QDir(root.path()).filePath(QStringLiteral("Themes"));
    QDir().mkpath(themes);
    ThemeWinController editor(themes);
    for (const char* name : {"", "../Escaped", "a/b", ".hidden", " padded", "..", "back\\slash"}) {
        editor.nameField()->setText(QString::fromLatin1(name));
        EXPECT_FALSE(editor.SaveAs()) << name;
        EXPECT_FALSE(editor.lastError().isEmpty()) << name;
    }
    EXPECT_FALSE(QFileInfo::exists(QDir(root.path()).filePath(QStringLiteral("Escaped"))));
    EXPECT_TRUE(QDir(themes).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
    EXPECT_TRUE(ThemeWinController::isValidThemeName(QStringLiteral("Autumn leaves")));
}

TEST(calendaruiThemes, SavingCopiesOrLinksThePicturesAndWritesThePreview) {
    QTemporaryDir root;
    const QString themes = QDir(root.path()).filePath(QStringLiteral("Themes"));
    const QString source = QDir(root.path()).filePath(QStringLiteral("photos"));
    writePictures(source, allMonths());
    for (bool link : {false, true}) {
        ThemeWinController editor(themes);
        for (int m = 1; m <= 12; ++m) {
            editor.well(m)->setImageFile(QDir(source).filePath(QStringLiteral("%1.jpg").arg(m)));
        }
        const QString name = link ? QStringLiteral("Linked") : QStringLiteral("Copied");
        editor.nameField()->setText(name);
        editor.setDirty();
        editor.setLinked(link);
        ASSERT_TRUE(editor.SaveAs()) << editor.lastError().toStdString();
        EXPECT_FALSE(editor.saveButton()->isEnabled());
        const QString folder = QDir(themes).filePath(name);
        EXPECT_EQ(ThemeWinController::HasAllThemePicts(folder), 12);
        EXPECT_EQ(QFileInfo(QDir(folder).filePath(QStringLiteral("7.jpg"))).isSymLink(), link);
        EXPECT_FALSE(QImage(QDir(themes).filePath(name + QStringLiteral("4x3.jpg"))).isNull());
        EXPECT_NE(editor.themesList()->findText(name), -1);
    }
}

TEST(calendaruiThemes, PicturesAlreadyInPlaceAreNotWrittenAgainButThePreviewIs) {
    QTemporaryDir themes;
    const QString folder = QDir(themes.path()).filePath(QStringLiteral("Spring"));
    writePictures(folder, allMonths());
    const QString march = QDir(folder).filePath(QStringLiteral("3.jpg"));
    const QDateTime written = QFileInfo(march).lastModified();

    ThemeWinController editor(themes.path());
    editor.setActiveTheme(folder, QStringLiteral("Spring"));
    EXPECT_FALSE(editor.saveButton()->isEnabled());
    EXPECT_FALSE(editor.well(3)->image().isNull());
    QTest::keyClicks(editor.nameField(), QStringLiteral(" "));
    EXPECT_TRUE(editor.saveButton()->isEnabled()) << "editing the name enables saving";
    editor.nameField()->setText(QStringLiteral("Spring"));
    QTest::qWait(20);
    ASSERT_TRUE(editor.SaveAs());
    EXPECT_EQ(QFileInfo(march).lastModified(), written);
    EXPECT_FALSE(QFileInfo(march).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(QDir(themes.path()).filePath(QStringLiteral("Spring4x3.jpg"))));
}

}  // namespace
}  // namespace talvor
