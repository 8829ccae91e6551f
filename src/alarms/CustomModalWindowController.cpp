#include "CustomModalWindowController.h"
#include "platform/WindowPlacement.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

namespace talvor {

// Closing the window by hand (Escape, the window manager) counts as Done, as a sheet has no
// other way out.
class CustomModalWindowController::Sheet : public QDialog {
  public:
    explicit Sheet(CustomModalWindowController* owner) : owner_(owner) {}
    void reject() override {
        if (owner_ != nullptr) {
            owner_->didTapDoneButton();
        } else {
            QDialog::reject();
        }
    }
    CustomModalWindowController* owner_;
};

CustomModalWindowController::CustomModalWindowController(CustomModalWindowDelegate& delegate)
    : delegate_(delegate), window_(new Sheet(this)) {
    window_->setObjectName(QStringLiteral("CustomModalWindowController"));
    window_->setWindowTitle(QStringLiteral("Break Time"));

    showBreakTime = new QLineEdit(window_);
    showBreakTime->setObjectName(QStringLiteral("showBreakTime"));
    showBreakTime->setReadOnly(true);
    showBreakTime->setAlignment(Qt::AlignCenter);
    showBreakTime->setMinimumWidth(260);
    stopBreak = new QPushButton(QStringLiteral("Stop"), window_);
    stopBreak->setObjectName(QStringLiteral("stopBreak"));
    skipBreak = new QPushButton(QStringLiteral("Done"), window_);
    skipBreak->setObjectName(QStringLiteral("skipBreak"));
    skipBreak->setDefault(true);
    preferences = new QPushButton(QStringLiteral("Preferences..."), window_);
    preferences->setObjectName(QStringLiteral("preferences"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(preferences);
    buttons->addStretch(1);
    buttons->addWidget(stopBreak);
    buttons->addWidget(skipBreak);
    auto* layout = new QVBoxLayout(window_);
    layout->addWidget(showBreakTime);
    layout->addLayout(buttons);

    QObject::connect(stopBreak, &QPushButton::clicked, window_, [this] { didTapStopButton(); });
    QObject::connect(skipBreak, &QPushButton::clicked, window_, [this] { didTapDoneButton(); });
    QObject::connect(preferences, &QPushButton::clicked, window_,
                     [this] { didTapPrefencesButton(); });
}

CustomModalWindowController::~CustomModalWindowController() {
    if (window_) {
        // Later: this may run inside one of the window's own button clicks.
        window_->owner_ = nullptr;
        window_->hide();
        window_->deleteLater();
    }
}

QWidget* CustomModalWindowController::window() const {
    return window_;
}

bool CustomModalWindowController::isWindowVisible() const {
    return window_ && window_->isVisible();
}

void CustomModalWindowController::beginSheet(QWidget* parent,
                                             std::function<void(int returnCode)> completion) {
    completion_ = std::move(completion);
    if (!window_) {
        return;
    }
    if (window_->parentWidget() != parent) {
        window_->setParent(parent, window_->windowFlags() | Qt::Dialog);
    }
    // Without a window to hang from, a window-modal dialog would block every window of the
    // program: the break then stands alone and blocks nothing.
    window_->setWindowModality(parent != nullptr ? Qt::WindowModal : Qt::NonModal);
    if (!window_->isVisible()) {
        platform::placeInFreeArea(*window_, parent);
    }
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void CustomModalWindowController::endSheet(int returnCode) {
    if (window_) {
        window_->hide();
    }
    if (auto completion = std::exchange(completion_, nullptr)) {
        completion(returnCode);
    }
}

void CustomModalWindowController::didTapStopButton() {
    CustomModalWindowDelegate& delegate = delegate_;
    endSheet(kStopReturnCode);
    delegate.disableTake5();
}

void CustomModalWindowController::didTapDoneButton() {
    endSheet(kDoneReturnCode);
}

void CustomModalWindowController::didTapPrefencesButton() {
    CustomModalWindowDelegate& delegate = delegate_;
    endSheet(kDoneReturnCode);
    delegate.showTake5Prefrences();
}

}  // namespace talvor
