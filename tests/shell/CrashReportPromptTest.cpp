// The question before a crash report is sent: a dialog that does not block, with two or
// three buttons, answering once, or not at all when it is closed without a choice.
#include "shell/CrashReportPrompt.h"

#include "platform/OpenDialogs.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>

#include <gtest/gtest.h>

#include <optional>
#include <utility>
#include <vector>

namespace talvor {
namespace {

QMessageBox* shownQuestion() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(widget); box != nullptr && box->isVisible()) {
            return box;
        }
    }
    return nullptr;
}

void letEventsRun() {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 100) {
        QApplication::processEvents();
    }
}

crash::WRKPromptTexts texts(std::string alwaysSend) {
    return {"Send Crash Report?", "Looks like we crashed!", "Don't Send", "Send",
            std::move(alwaysSend)};
}

TEST(shellCrashReportPrompt, EachButtonAnswersOnce) {
    struct Case {
        const char* alwaysSend;
        const char* press;
        std::optional<std::pair<bool, bool>> answer;  // submit, always
    };
    const Case cases[] = {
        {"Always Send", "Send", std::pair{true, false}},
        {"Always Send", "Always Send", std::pair{true, true}},
        {"Always Send", "Don't Send", std::pair{false, false}},
        {"", "Send", std::pair{true, false}},
        {"", "Don't Send", std::pair{false, false}},
        {"Always Send", nullptr, std::nullopt},  // closed as the application quits
    };
    for (const Case& c : cases) {
        std::vector<std::pair<bool, bool>> answers;
        askBeforeSendingCrashReport(texts(c.alwaysSend), [&](bool submit, bool always) {
            answers.emplace_back(submit, always);
        });
        QMessageBox* box = shownQuestion();
        ASSERT_NE(box, nullptr) << "open without waiting for it";
        EXPECT_EQ(box->text(), QStringLiteral("Send Crash Report?"));
        EXPECT_EQ(box->informativeText(), QStringLiteral("Looks like we crashed!"));
        QStringList buttons;
        for (QAbstractButton* button : box->buttons()) {
            buttons << button->text();
        }
        EXPECT_EQ(buttons.size(), *c.alwaysSend ? 3 : 2) << c.alwaysSend;
        if (c.press != nullptr) {
            QAbstractButton* pressed = nullptr;
            for (QAbstractButton* button : box->buttons()) {
                if (button->text() == QString::fromUtf8(c.press)) {
                    pressed = button;
                }
            }
            ASSERT_NE(pressed, nullptr) << c.press;
            pressed->click();
        } else {
            EXPECT_EQ(platform::closeOpenDialogs(), 1);
        }
        letEventsRun();
        EXPECT_EQ(shownQuestion(), nullptr);
        if (c.answer) {
            const std::vector<std::pair<bool, bool>> expected{*c.answer};
            EXPECT_EQ(answers, expected) << c.press;
        } else {
            EXPECT_TRUE(answers.empty()) << "closed without a choice: no answer";
        }
    }
}

}  // namespace
}  // namespace talvor
