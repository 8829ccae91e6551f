#pragma once

#include <QLabel>

namespace talvor {

// An image view that sends its action when a click is released on it (the press itself
// does nothing).
class ActionView : public QLabel {
    Q_OBJECT
  public:
    explicit ActionView(QWidget* parent = nullptr) : QLabel(parent) {}

  signals:
    void action();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};

}  // namespace talvor
