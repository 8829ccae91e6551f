#include "PreferencePane.h"

#include <QLabel>
#include <QLayout>
#include <QVBoxLayout>

namespace talvor {

PreferencePane::PreferencePane(QString className, QString nibName, QString title)
    : className_(std::move(className)), nibName_(std::move(nibName)), title_(std::move(title)) {}

PreferencePane::~PreferencePane() {
    // The window only borrows the view; it goes with its pane.
    delete view_.data();
}

QWidget* PreferencePane::view() {
    if (!loaded_) {
        loaded_ = true;
        std::unique_ptr<QWidget> made = loadView();
        // One frame for every pane, whoever built it.
        if (made && made->layout() != nullptr) {
            made->layout()->setContentsMargins(margins());
        }
        if (made && !made->testAttribute(Qt::WA_Resized)) {
            // A view that never chose its size takes the one its layout asks for, as a view
            // from a nib comes with its own.
            made->resize(made->sizeHint());
        }
        view_ = made.release();
    }
    return view_;
}

QString NotedPane::noteText() {
    return tr("These settings come with a later version of Talvor.");
}

std::unique_ptr<QWidget> NotedPane::loadView() {
    auto view = std::make_unique<QWidget>();
    view->setObjectName(className());
    auto* layout = new QVBoxLayout(view.get());
    auto* heading = new QLabel(title().trimmed(), view.get());
    QFont bold = heading->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.25);
    heading->setFont(bold);
    layout->addWidget(heading);
    auto* note = new QLabel(noteText(), view.get());
    note->setObjectName(QStringLiteral("note"));
    layout->addWidget(note);
    layout->addStretch(1);
    view->resize(480, 360);
    return view;
}

}  // namespace talvor
