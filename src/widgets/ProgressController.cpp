#include "ProgressController.h"

#include <QVBoxLayout>

namespace talvor {

ProgressController::ProgressController() {
    build();
}

ProgressController::~ProgressController() {
    delete window_.data();
}

ProgressController& ProgressController::controller() {
    static ProgressController* shared = new ProgressController();
    return *shared;
}

void ProgressController::build() {
    auto* dialog = new QDialog();
    dialog->setObjectName(QStringLiteral("Progress"));
    dialog->setWindowTitle(tr("Progress"));
    auto* layout = new QVBoxLayout(dialog);
    titleField_ = new QLabel(dialog);
    progBar_ = new QProgressBar(dialog);
    progBar_->setRange(0, 1);
    progBar_->setValue(0);
    progBar_->setTextVisible(false);
    progBar_->setMinimumWidth(280);
    layout->addWidget(titleField_);
    layout->addWidget(progBar_);
    connect(dialog, &QDialog::finished, this, &ProgressController::sheetDidEnd);
    window_ = dialog;
}

QDialog* ProgressController::window() {
    if (window_.isNull()) {
        build();
    }
    return window_.data();
}

QLabel* ProgressController::titleField() {
    window();
    return titleField_;
}

QProgressBar* ProgressController::progBar() {
    window();
    return progBar_;
}

void ProgressController::startWithTitle(const QString& title, QWidget* window) {
    QDialog* sheet = this->window();
    titleField_->setText(title);
    progBar_->setRange(0, 0);  // busy
    if (window != nullptr) {
        sheet->setParent(window->window(), sheet->windowFlags() | Qt::Sheet);
    }
    if (window != nullptr) {
        sheet->open();  // window-modal
    } else {
        sheet->setWindowModality(Qt::ApplicationModal);
        sheet->show();
    }
}

void ProgressController::close() {
    if (window_.isNull()) {
        return;
    }
    progBar_->setRange(0, 1);
    progBar_->setValue(0);
    window_->done(0);
}

void ProgressController::sheetDidEnd(int) {
    if (!window_.isNull()) {
        window_->hide();
    }
}

bool ProgressController::isAnimating() const {
    return progBar_ != nullptr && !window_.isNull() && progBar_->maximum() == 0;
}

}  // namespace talvor
