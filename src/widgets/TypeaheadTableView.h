#pragma once

#include "platform/Scheduler.h"

#include <QString>
#include <QTableView>

#include <functional>

namespace talvor {

// A table that collects typed characters into a search text and hands it to its delegate
// hook, clearing the text once the user pauses (the key-repeat delay).
class TypeaheadTableView : public QTableView {
    Q_OBJECT
  public:
    explicit TypeaheadTableView(QWidget* parent = nullptr);
    ~TypeaheadTableView() override;

    // The delegate hook; empty means the delegate does not take type-ahead text, and typed
    // characters then do nothing.
    std::function<void(const QString& text, TypeaheadTableView* table)> typeAheadString;

    // The control (a QLabel or QLineEdit) that shows the typed text; may be null.
    QWidget* typeaheadDisplay() const { return typeaheadDisplay_; }
    void setTypeaheadDisplay(QWidget* display) { typeaheadDisplay_ = display; }

    const QString& stringToFind() const { return mStringToFind; }

    // Typed text, as the text-input system delivers it.
    void insertText(const QString& text);
    void clearAccumulatingTypeahead();

    // Seconds after the last key before the text is cleared: "InitialKeyRepeat" / 30, or
    // 35 / 30 when the value is 0, negative or absent, and never more than 2.
    static double typeaheadClearDelay(qint64 initialKeyRepeat);
    // The same for the user's current setting.
    static double typeaheadClearDelay();

    // Every operation inside the application, copy only outside it.
    static Qt::DropActions draggingSourceOperationMaskForLocal(bool isLocal);

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    QWidget* typeaheadDisplay_ = nullptr;
    QString mStringToFind;
    platform::TimerHandle clearTimer_;
};

}  // namespace talvor
