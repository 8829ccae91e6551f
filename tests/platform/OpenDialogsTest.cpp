#include "platform/OpenDialogs.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QFontDialog>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

#include <gtest/gtest.h>

#include <optional>

namespace talvor::platform {
namespace {

// Lets deleteLater run.
void settle() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

bool anyDialogVisible() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (qobject_cast<QDialog*>(w) != nullptr && w->isVisible()) {
            return true;
        }
    }
    return false;
}

TEST(platformOpenDialogs, OpeningReturnsAtOnceAndTheAnswerComesThroughTheCallback) {
    auto* box = new QMessageBox(QMessageBox::Question, QStringLiteral("t"), QStringLiteral("q?"));
    QPushButton* yes = box->addButton(QStringLiteral("Yes"), QMessageBox::AcceptRole);
    box->addButton(QStringLiteral("No"), QMessageBox::RejectRole);
    QPointer<QMessageBox> alive = box;
    std::optional<bool> answer;
    openDialog(box, [&](int) { answer = box->clickedButton() == yes; });
    EXPECT_TRUE(box->isVisible());
    EXPECT_FALSE(answer) << "nothing is answered before the user acts";
    yes->click();
    ASSERT_TRUE(answer);
    EXPECT_TRUE(*answer);
    settle();
    EXPECT_TRUE(alive.isNull()) << "the dialog goes once answered";
}

// Every kind the program opens, modal or not, parented or not: all are cancelled at once.
TEST(platformOpenDialogs, ClosingCancelsEveryKindOfDialogOnScreen) {
    QWidget owner;
    owner.show();
    std::vector<int> results;
    const auto record = [&](int result) { results.push_back(result); };

    auto* question = new QMessageBox(QMessageBox::Question, QString(), QStringLiteral("q?"));
    QPushButton* move = question->addButton(QStringLiteral("Move"), QMessageBox::AcceptRole);
    question->addButton(QStringLiteral("Stay"), QMessageBox::RejectRole);
    bool questionCancelled = false;
    openDialog(question, [&](int) { questionCancelled = question->clickedButton() != move; });

    auto* notice = new QMessageBox(QMessageBox::Critical, QString(), QStringLiteral("failed"),
                                   QMessageBox::NoButton, &owner);
    notice->addButton(QStringLiteral("Continue"), QMessageBox::AcceptRole);
    openDialog(notice, record);

    auto* chooser = new QFileDialog(&owner);
    chooser->setOption(QFileDialog::DontUseNativeDialog);
    QStringList chosen{QStringLiteral("unset")};
    openDialog(chooser, [&](int result) {
        chosen = result == QDialog::Accepted ? chooser->selectedFiles() : QStringList();
    });
    openDialog(new QColorDialog(), record);
    openDialog(new QFontDialog(), record);
    auto* plain = new QDialog();  // a window of its own, not modal
    plain->show();

    EXPECT_EQ(closeOpenDialogs(), 6);
    EXPECT_TRUE(questionCancelled);
    EXPECT_TRUE(chosen.isEmpty()) << "a cancelled chooser chose nothing";
    EXPECT_EQ(results, (std::vector<int>{QDialog::Rejected, QDialog::Rejected, QDialog::Rejected}));
    EXPECT_FALSE(anyDialogVisible());
    EXPECT_TRUE(owner.isVisible()) << "plain windows stay";
    delete plain;
    settle();
}

TEST(platformOpenDialogs, NoticesOpenedByACancelBranchAreClosedToo) {
    int opened = 0;
    std::function<void(int)> reopen;
    // Each cancel opens the next notice: the closing must end all the same.
    reopen = [&](int) {
        ++opened;
        openDialog(new QMessageBox(QMessageBox::Warning, QString(), QStringLiteral("again")),
                   reopen);
    };
    openDialog(new QMessageBox(QMessageBox::Warning, QString(), QStringLiteral("first")), reopen);
    closeOpenDialogs();
    EXPECT_FALSE(anyDialogVisible());
    EXPECT_GE(opened, 1);
    settle();
    EXPECT_EQ(closeOpenDialogs(), 0) << "nothing left";
    for (QWidget* window : QApplication::topLevelWidgets()) {
        EXPECT_EQ(qobject_cast<QMessageBox*>(window), nullptr)
            << "a notice hidden without an answer is deleted too";
    }
}

TEST(platformOpenDialogs, ClosingPopupsClosesEveryOpenMenu) {
    QMenu menu;
    QMenu* sub = menu.addMenu(QStringLiteral("More"));
    sub->addAction(QStringLiteral("Deep"));
    menu.popup(QPoint(10, 10));
    sub->popup(QPoint(60, 10));
    ASSERT_NE(QApplication::activePopupWidget(), nullptr);
    int hidden = 0;
    QObject::connect(&menu, &QMenu::aboutToHide, [&] { ++hidden; });
    closeOpenPopups();
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_FALSE(menu.isVisible());
    EXPECT_EQ(hidden, 1) << "closed as a click elsewhere closes it";
    closeOpenPopups();  // nothing open: nothing happens
}

}  // namespace
}  // namespace talvor::platform
