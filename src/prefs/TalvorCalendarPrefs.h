#pragma once

#include "PaneDelegate.h"
#include "PreferencePane.h"
#include "calendarui/MonthGridFeed.h"
#include "calendarui/myCalView.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QHash>
#include <QPointer>
#include <QPushButton>

#include <functional>

class QBoxLayout;
class QFormLayout;
class QGroupBox;
class QLineEdit;

namespace talvor {

class TalvorCalPrefsSettings;

// The calendar window's pane: how many months, the window's kind and layer, what a double
// click opens, seven colours, the picture and its scaling, where day numbers go, month-name
// length and the calendar system. Each change is written at once and announced to the
// window ("TalvorCalendarPrefsChangeNotification"). The picture, font and print buttons
// hand over to the calendar window.
class TalvorCalendarPrefs : public PreferencePane {
    Q_OBJECT
  public:
    // What the pane asks of the calendar window; empty members go to the shared window.
    struct WindowHooks {
        std::function<void()> actAddPhoto;
        std::function<void()> actDeletePhoto;
        std::function<void()> actSetCalMonthFontSize;
        std::function<void()> actSetCalDayNumberFontSize;
        std::function<void()> actSetCalWeekDayFontSize;
        std::function<void()> actPrintCal;
    };

    explicit TalvorCalendarPrefs(QString nibName, PaneDelegate delegate = {},
                                 WindowHooks hooks = {});

    static Manual::Section helpPage() { return Manual::Section::MenubarCalendar; }

    // The calendar systems of the pop-up, in item order.
    static const QStringList& calendarTypes();

    void SelectCalendarToShow(int tag);
    void SelectWinTypeToShow(int index);
    void SelectWinLayerToShow(int index);
    void SelectCalDobuleClickApp(int index);
    void SelectImageScaleingToShow(int index);
    void SelectDayNoLocToShow(int index);
    void SelectShortLongMonthName(int tag);
    void SelectCustomCalendar(int index);
    // The colour of well `id` (its object name) changed.
    void SelectCalWindowColor(const QString& id, const QColor& color);
    void showHideBigCalendar(bool on);
    void addPhoto();
    // Asks first ("Delete Photo?"); "Yes" removes the picture.
    void deletePhoto();
    void setCalMonthFontSize();
    void setCalDayNumberFontSize();
    void setCalWeekDayNameFontSize();
    void printCal();

    // The month grids: the picture behind the months ("CalBGImagePath": a picture, a folder of
    // month pictures or a web address; empty for none), the special days of "SpecialDays.txt",
    // a calendar whose events are special days (an iCalendar file or address; empty for none)
    // and the birthdays (0 none, 1 marked, 2 with names). Each is written and announced.
    void SelectCalBGImagePath(const QString& path);
    void SelectSpecialDays(bool on);
    void SelectSpecialDaysCalendar(const QString& pathOrAddress);
    void SelectBirthdays(int index);
    // File choosers for them (opened, never run); a choice is written as above.
    void chooseCalBGImageFile();
    void chooseCalBGImageFolder();
    void chooseSpecialDaysCalendar();

    // Null until the view is built.
    QWidget* control(const QString& id) const;
    // This month as the calendar windows will show it, with the picture, special days and
    // birthdays chosen here; null until the view is built.
    myCalView* preview() const { return preview_; }
    QPushButton* deletePhotoButton() const { return deletePhoto_; }

  protected:
    std::unique_ptr<QWidget> loadView() override;

  private:
    // The steps of loadView, in the order the controls appear.
    void buildShowBox(QWidget& view, QBoxLayout& layout);
    void buildMonthsBox(QWidget& view, QBoxLayout& layout);
    void buildWindowBox(QWidget& view, QBoxLayout& layout);
    void buildColoursBox(QWidget& view, QBoxLayout& layout);
    QLineEdit* makeTextField(QGroupBox& box, const QString& id, const QString& hint,
                             void (TalvorCalendarPrefs::*action)(const QString&));
    QPushButton* makeChooser(QGroupBox& box, const char* id, const QString& title,
                             void (TalvorCalendarPrefs::*action)());
    void buildPictureRow(QGroupBox& gridBox, QFormLayout& gridForm);
    void buildSpecialDayRows(QGroupBox& gridBox, QFormLayout& gridForm);
    void buildPreview(QGroupBox& gridBox, QFormLayout& gridForm);
    void buildButtons(QWidget& view, QBoxLayout& layout);
    void saveAndAnnounce();
    void showSettings();
    void openWell(const QString& id);
    void refreshPreview();
    void openChooser(const QString& id, const QString& title, bool folder, const QString& filter,
                     std::function<void(const QString&)> chosen);

    PaneDelegate delegate_;
    WindowHooks hooks_;
    QPointer<QWidget> view_;
    QPointer<QPushButton> deletePhoto_;
    QPointer<myCalView> preview_;
    MonthGridFeed previewFeed_;
};

}  // namespace talvor
