#include "CrashReportPrompt.h"

#include "platform/OpenDialogs.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>

namespace talvor {

void askBeforeSendingCrashReport(const crash::WRKPromptTexts& texts,
                                 std::function<void(bool submit, bool always)> answer) {
    auto* box = new QMessageBox(QMessageBox::Question, QString::fromStdString(texts.title),
                                QString::fromStdString(texts.title), QMessageBox::NoButton);
    box->setInformativeText(QString::fromStdString(texts.message));
    QPushButton* send = box->addButton(QString::fromStdString(texts.send), QMessageBox::AcceptRole);
    QPushButton* always =
        texts.alwaysSend.empty()
            ? nullptr
            : box->addButton(QString::fromStdString(texts.alwaysSend), QMessageBox::AcceptRole);
    QPushButton* cancel =
        box->addButton(QString::fromStdString(texts.cancel), QMessageBox::RejectRole);
    box->setDefaultButton(send);
    // The pressed button, not the result: a dialog closed by the quit path is rejected
    // without one, and that is no answer.
    platform::openDialog(box, [box, send, always, cancel, answer = std::move(answer)](int) {
        const QAbstractButton* pressed = box->clickedButton();
        if (pressed == nullptr) {
            return;
        }
        if (pressed == send || pressed == always) {
            answer(true, pressed == always);
        } else if (pressed == cancel) {
            answer(false, false);
        }
    });
}

}  // namespace talvor
