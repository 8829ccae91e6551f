#include "CrashReportPrompt.h"

#include "platform/OpenDialogs.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>

#include <memory>

namespace talvor {

void askBeforeSendingCrashReport(const crash::WRKPromptTexts& texts,
                                 std::function<void(bool submit, bool always)> answer) {
    auto* box = new QMessageBox(QMessageBox::Question, QString::fromStdString(texts.title),
                                QString::fromStdString(texts.title), QMessageBox::NoButton);
    box->setInformativeText(QString::fromStdString(texts.message));
    enum class Pressed { None, Send, AlwaysSend, Cancel };
    auto pressed = std::make_shared<Pressed>(Pressed::None);
    const auto add = [&](const std::string& text, QMessageBox::ButtonRole role, Pressed which) {
        QPushButton* button = box->addButton(QString::fromStdString(text), role);
        QObject::connect(button, &QAbstractButton::clicked, box,
                         [pressed, which] { *pressed = which; });
        return button;
    };
    box->setDefaultButton(add(texts.send, QMessageBox::AcceptRole, Pressed::Send));
    if (!texts.alwaysSend.empty()) {
        add(texts.alwaysSend, QMessageBox::AcceptRole, Pressed::AlwaysSend);
    }
    add(texts.cancel, QMessageBox::RejectRole, Pressed::Cancel);
    platform::openDialog(box, [pressed, answer = std::move(answer)](int) {
        switch (*pressed) {
            case Pressed::Send:
                answer(true, false);
                break;
            case Pressed::AlwaysSend:
                answer(true, true);
                break;
            case Pressed::Cancel:
                answer(false, false);
                break;
            case Pressed::None:
                break;
        }
    });
}

}  // namespace talvor
