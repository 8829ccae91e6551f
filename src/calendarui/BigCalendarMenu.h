#pragma once

#include <QFont>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class QDialog;
class QMenu;
class QPrinter;
class QWidget;

namespace talvor {

// The three fonts of the big calendar: the month titles, the weekday names, the day numbers.
enum class CalendarFontOption { Month = 1, Weekday = 2, Day = 3 };

// The big calendar's ≡ menu and the dialogs it opens: printing, a photo, the fonts and the
// window's named places. What the choices do is the window's, handed in as `Actions`.
class BigCalendarMenu : public QObject {
    Q_OBJECT
  public:
    struct Actions {
        std::function<bool(QPrinter& printer, int months)> print;
        std::function<bool(const QString& path)> addPhoto;
        std::function<QFont(CalendarFontOption option)> font;
        std::function<void(CalendarFontOption option, const QFont& font)> applyFont;
        std::function<void(const QString& position)> moveTo;
    };

    // The menu and the dialogs are children of `window`, which must outlive this.
    BigCalendarMenu(QWidget& window, Actions actions);
    ~BigCalendarMenu() override;

    QMenu* menu() const { return menu_; }
    // Opens the print dialog; the months (0: as shown, else 1, 3, 6 or 12) are printed when
    // it is accepted.
    void printWithDialog(int months);
    // Opens a file chooser for a photo.
    void choosePhoto();
    // Opens a font chooser for one of the three fonts.
    void chooseFont(CalendarFontOption option);
    // The dialog opened last, while it is open; null otherwise.
    QDialog* openDialog() const;

  private:
    void addItems();
    void addMoveToMenu();
    template <class Dialog>
    Dialog* opened(Dialog* dialog);

    QWidget& window_;
    Actions actions_;
    QMenu* menu_ = nullptr;
    std::unique_ptr<QPrinter> printer_;
    QPointer<QDialog> dialog_;
};

}  // namespace talvor
