#pragma once

#include <QColor>
#include <QPushButton>

namespace talvor {

// A button whose title follows the appearance: black, or white in dark mode (the user
// default "AppleInterfaceStyle" holds any text), where the button also loses its border and
// any background but light grey. The title is drawn left-aligned in `TextColor`, which every
// draw resets to the appearance's colour.
class DVButton : public QPushButton {
    Q_OBJECT
  public:
    explicit DVButton(const QString& title = QString(), QWidget* parent = nullptr);

    QColor TextColor() const { return textColor_; }
    void setTextColor(const QColor& color);
    // The cell's background; invalid or clear for none.
    QColor backgroundColor() const { return backgroundColor_; }
    void setBackgroundColor(const QColor& color);

    // Dark mode, as this button reads it.
    static bool isDarkAppearance();
    // Sets the title colour (and, in dark mode, border and background) for the appearance.
    void awakeFromNib();

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QColor textColor_;
    QColor backgroundColor_;
};

}  // namespace talvor
