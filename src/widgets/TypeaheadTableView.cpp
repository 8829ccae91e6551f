#include "TypeaheadTableView.h"

#include "platform/UserDefaults.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

#include <algorithm>

namespace talvor {
namespace {

const QString kInitialKeyRepeat = QStringLiteral("InitialKeyRepeat");

void showText(QWidget* display, const QString& text) {
    if (auto* label = qobject_cast<QLabel*>(display)) {
        label->setText(text);
    } else if (auto* field = qobject_cast<QLineEdit*>(display)) {
        field->setText(text);
    }
}

// Characters that the text-input system would insert rather than treat as a command.
bool isTypedText(const QKeyEvent& event) {
    const QString text = event.text();
    if (text.isEmpty() ||
        (event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) {
        return false;
    }
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.isPrint(); });
}

}  // namespace

TypeaheadTableView::TypeaheadTableView(QWidget* parent) : QTableView(parent) {}

TypeaheadTableView::~TypeaheadTableView() = default;

double TypeaheadTableView::typeaheadClearDelay(qint64 initialKeyRepeat) {
    const double delay = initialKeyRepeat > 0 ? initialKeyRepeat / 30.0 : 35.0 / 30.0;
    return std::min(delay, 2.0);
}

double TypeaheadTableView::typeaheadClearDelay() {
    return typeaheadClearDelay(platform::UserDefaults::standard().integerForKey(kInitialKeyRepeat));
}

Qt::DropActions TypeaheadTableView::draggingSourceOperationMaskForLocal(bool isLocal) {
    return isLocal ? Qt::DropActions(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction)
                   : Qt::DropActions(Qt::CopyAction);
}

void TypeaheadTableView::keyPressEvent(QKeyEvent* event) {
    if (isTypedText(*event)) {
        insertText(event->text());
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void TypeaheadTableView::insertText(const QString& text) {
    if (!typeAheadString) {
        return;
    }
    mStringToFind.append(text);
    clearTimer_ = platform::Scheduler::shared().scheduleAfter(
        typeaheadClearDelay(), [this] { clearAccumulatingTypeahead(); });
    typeAheadString(QString(mStringToFind), this);
    showText(typeaheadDisplay_, mStringToFind);
}

void TypeaheadTableView::clearAccumulatingTypeahead() {
    mStringToFind.clear();
    showText(typeaheadDisplay_, QString());
}

}  // namespace talvor
