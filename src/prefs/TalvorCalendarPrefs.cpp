#include "TalvorCalendarPrefs.h"

#include "FormatPaneParts.h"
#include "calendar/TalvorCalPrefsSettings.h"
#include "calendarui/CalendarUiKeys.h"
#include "calendarui/ThemeWinController.h"
#include "calendarui/ztCalendarController.h"
#include "foundation/PreferenceDomain.h"
#include "foundation/TalvorDateSettings.h"
#include "platform/Clock.h"
#include "platform/UserDefaults.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QColorDialog>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace talvor {
namespace {

using Settings = TalvorCalPrefsSettings;
using Pane = TalvorCalendarPrefs;

Settings& model() {
    return Settings::sharedInstance();
}

// A pop-up: its id, title, items, the setting it shows and its action.
struct Popup {
    const char* id;
    const char* title;
    std::vector<const char*> items;
    int32_t Settings::*field;  // null: shown by hand
    void (Pane::*action)(int index);
};
#define TR(text) QT_TRANSLATE_NOOP("talvor::TalvorCalendarPrefs", text)
const std::vector<Popup>& popups() {
    static const std::vector<Popup> table = {
        {"CalendarWinType",
         TR("Window:"),
         {TR("Below the menu bar"), TR("Movable and resizable")},
         nullptr,
         &Pane::SelectWinTypeToShow},
        {"CalendarWinLayer",
         TR("Level:"),
         {TR("With other windows"), TR("Above other windows")},
         &Settings::CalendarWinLayer,
         &Pane::SelectWinLayerToShow},
        {"CalendarDoubleClickApp",
         TR("Double click opens:"),
         {TR("The desktop's calendar"), TR("Nothing")},
         &Settings::CalendarDoubleClickApp,
         &Pane::SelectCalDobuleClickApp},
        {"CalendarImageScaleing",
         TR("Picture:"),
         {TR("Scaled proportionally"), TR("Not scaled"), TR("Scaled to fit")},
         &Settings::CalendarImageScaleing,
         &Pane::SelectImageScaleingToShow},
        {"CalDayNoLocation",
         TR("Day numbers:"),
         {TR("Top left"), TR("Top right"), TR("Centred")},
         &Settings::CalDayNoLocation,
         &Pane::SelectDayNoLocToShow},
        {"CalendarType",
         TR("Calendar:"),
         {TR("Gregorian"), TR("Buddhist"), TR("Hebrew"), TR("Islamic"), TR("Islamic (civil)"),
          TR("Japanese")},
         nullptr,
         &Pane::SelectCustomCalendar},
    };
    return table;
}

struct Well {
    const char* id;
    const char* title;
    QColor Settings::*field;
};
const std::vector<Well>& wells() {
    static const std::vector<Well> table = {
        {"CalendarWinBGolor", TR("Background"), &Settings::CalendarWinBGolor},
        {"CalendarWinBordarGolor", TR("Border"), &Settings::CalendarWinBordarGolor},
        {"CalendarWinRowGolor", TR("Rows"), &Settings::CalendarWinRowGolor},
        {"CalendarWinFrameGolor", TR("Frame"), &Settings::CalendarWinFrameGolor},
        {"CalendarWinDayGolor", TR("Day numbers"), &Settings::CalendarWinDayGolor},
        {"CalendarWinDayOfWeekGolor", TR("Weekday names"), &Settings::CalendarWinDayOfWeekGolor},
        {"CalendarWinMonthColor", TR("Month names"), &Settings::CalendarWinMonthColor},
    };
    return table;
}

struct Radio {
    const char* id;
    const char* title;
    int tag;
};
const Radio kMonthRadios[] = {{"months1", TR("One month"), 1},
                              {"months6", TR("Six months"), 6},
                              {"months12", TR("Twelve months"), 12},
                              {"monthsUnlimited", TR("As many as fit"), 0}};
const Radio kNameRadios[] = {{"shortMonthName", TR("Short month names"), 0},
                             {"longMonthName", TR("Long month names"), 1}};

struct Button {
    const char* id;
    const char* title;
    void (Pane::*action)();
};
const Button kButtons[] = {
    {"addPhoto", TR("Add Picture…"), &Pane::addPhoto},
    {"deletePhoto", TR("Remove Picture"), &Pane::deletePhoto},
    {"monthFont", TR("Month Font…"), &Pane::setCalMonthFontSize},
    {"dayNumberFont", TR("Day Number Font…"), &Pane::setCalDayNumberFontSize},
    {"weekDayFont", TR("Weekday Font…"), &Pane::setCalWeekDayNameFontSize},
    {"printCal", TR("Print…"), &Pane::printCal},
};
#undef TR

std::function<void()> orShared(std::function<void()> hook, void (ztCalendarController::*action)()) {
    if (hook) {
        return hook;
    }
    return [action] { (ztCalendarController::sharedInstance().*action)(); };
}

}  // namespace

TalvorCalendarPrefs::TalvorCalendarPrefs(QString nibName, PaneDelegate delegate, WindowHooks hooks)
    : PreferencePane(QStringLiteral("TalvorCalendarPrefs"), std::move(nibName),
                     QStringLiteral("MiniCal/Event/To Do")),
      delegate_(std::move(delegate)) {
    hooks_.actAddPhoto = orShared(std::move(hooks.actAddPhoto), &ztCalendarController::actAddPhoto);
    hooks_.actDeletePhoto =
        orShared(std::move(hooks.actDeletePhoto), &ztCalendarController::actDeletePhoto);
    hooks_.actSetCalMonthFontSize = orShared(std::move(hooks.actSetCalMonthFontSize),
                                             &ztCalendarController::actSetCalMonthFontSize);
    hooks_.actSetCalDayNumberFontSize = orShared(std::move(hooks.actSetCalDayNumberFontSize),
                                                 &ztCalendarController::actSetCalDayNumberFontSize);
    hooks_.actSetCalWeekDayFontSize = orShared(std::move(hooks.actSetCalWeekDayFontSize),
                                               &ztCalendarController::actSetCalWeekDayFontSize);
    hooks_.actPrintCal = orShared(std::move(hooks.actPrintCal), &ztCalendarController::actPrintCal);
}

const QStringList& TalvorCalendarPrefs::calendarTypes() {
    static const QStringList ids = {QStringLiteral("gregorian"),     QStringLiteral("buddhist"),
                                    QStringLiteral("hebrew"),        QStringLiteral("islamic"),
                                    QStringLiteral("islamic-civil"), QStringLiteral("japanese")};
    return ids;
}

QWidget* TalvorCalendarPrefs::control(const QString& id) const {
    return view_ ? view_->findChild<QWidget*>(id) : nullptr;
}

void TalvorCalendarPrefs::saveAndAnnounce() {
    model().writePrefs();
    delegate_.postDistributed(keys::TalvorCalendarPrefsChangeNotification);
}

void TalvorCalendarPrefs::SelectCalendarToShow(int tag) {
    model().ShowNoOfCalendar = tag;
    saveAndAnnounce();
}

void TalvorCalendarPrefs::SelectWinTypeToShow(int index) {
    if (QWidget* well = control(QStringLiteral("CalendarWinBGolor"))) {
        well->setEnabled(index != 0);
    }
    model().CalendarWinType = index;
    saveAndAnnounce();
}

void TalvorCalendarPrefs::SelectWinLayerToShow(int index) {
    model().CalendarWinLayer = index;
    saveAndAnnounce();
}

// Announced like every other change, so an open window does not keep a stale setting.
void TalvorCalendarPrefs::SelectCalDobuleClickApp(int index) {
    model().CalendarDoubleClickApp = index;
    saveAndAnnounce();
}

void TalvorCalendarPrefs::SelectImageScaleingToShow(int index) {
    model().CalendarImageScaleing = index;
    saveAndAnnounce();
}

void TalvorCalendarPrefs::SelectDayNoLocToShow(int index) {
    model().CalDayNoLocation = index;
    saveAndAnnounce();
}

void TalvorCalendarPrefs::SelectShortLongMonthName(int tag) {
    if (auto* lng = qobject_cast<QAbstractButton*>(control(QStringLiteral("longMonthName")))) {
        lng->setChecked(tag != 0);
    }
    if (auto* shrt = qobject_cast<QAbstractButton*>(control(QStringLiteral("shortMonthName")))) {
        shrt->setChecked(tag == 0);
    }
    model().ShortLongMonthName = tag;
    saveAndAnnounce();
}

void TalvorCalendarPrefs::SelectCustomCalendar(int index) {
    if (index < 0 || index >= calendarTypes().size()) {
        return;
    }
    // The windows take the new system from the announcement.
    model().CalendarType = calendarTypes().at(index);
    saveAndAnnounce();
}

void TalvorCalendarPrefs::SelectCalWindowColor(const QString& id, const QColor& color) {
    for (const Well& w : wells()) {
        if (id == QLatin1String(w.id)) {
            model().*w.field = color;
            if (auto* well = qobject_cast<QPushButton*>(control(id))) {
                showWellColour(*well, color);
            }
            saveAndAnnounce();
            return;
        }
    }
}

// Written at once: a change that waits for another pane's save is lost on a crash.
void TalvorCalendarPrefs::showHideBigCalendar(bool on) {
    TalvorDateSettings& date = TalvorDateSettings::sharedInstance();
    date.showDateMenu = on;
    date.writePrefsAndSync();
    delegate_.call(delegate_.updateMenuBarItems);
}

void TalvorCalendarPrefs::addPhoto() {
    hooks_.actAddPhoto();
    if (deletePhoto_) {
        deletePhoto_->show();
    }
}

void TalvorCalendarPrefs::deletePhoto() {
    auto* alert = new QMessageBox(QMessageBox::Warning, tr("Delete Photo?"), tr("Delete Photo?"),
                                  QMessageBox::NoButton, view_);
    alert->setObjectName(QStringLiteral("deletePhotoAlert"));
    alert->setInformativeText(tr("Are you sure to delete photo?"));
    alert->addButton(tr("No"), QMessageBox::RejectRole);
    QPushButton* yes = alert->addButton(tr("Yes"), QMessageBox::AcceptRole);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    connect(alert, &QMessageBox::finished, this, [this, alert, yes] {
        if (alert->clickedButton() != yes) {
            return;
        }
        hooks_.actDeletePhoto();
        if (deletePhoto_) {
            deletePhoto_->hide();
        }
    });
    alert->open();
}

void TalvorCalendarPrefs::setCalMonthFontSize() {
    hooks_.actSetCalMonthFontSize();
}

void TalvorCalendarPrefs::setCalDayNumberFontSize() {
    hooks_.actSetCalDayNumberFontSize();
}

void TalvorCalendarPrefs::setCalWeekDayNameFontSize() {
    hooks_.actSetCalWeekDayFontSize();
}

void TalvorCalendarPrefs::printCal() {
    hooks_.actPrintCal();
}

// The month grids ------------------------------------------------------------------------

namespace {

// The calendar window reads these from the domain when the change is announced.
void writeMonthGridText(const QString& key, const QString& value) {
    PreferenceDomain::writeText(key, value.trimmed());
    PreferenceDomain::synchronize(QStringLiteral("Talvor: the calendar settings were not saved"));
}

void showText(QWidget* control, const QString& text) {
    if (auto* field = qobject_cast<QLineEdit*>(control)) {
        const QSignalBlocker block(field);
        field->setText(text);
    }
}

}  // namespace

void TalvorCalendarPrefs::SelectCalBGImagePath(const QString& path) {
    writeMonthGridText(keys::CalBGImagePath, path);
    showText(control(keys::CalBGImagePath), path.trimmed());
    delegate_.postDistributed(keys::TalvorCalendarPrefsChangeNotification);
    refreshPreview();
}

void TalvorCalendarPrefs::SelectSpecialDays(bool on) {
    PreferenceDomain::writeFlag(keys::bSpecialDays, on);
    PreferenceDomain::synchronize(QStringLiteral("Talvor: the calendar settings were not saved"));
    delegate_.postDistributed(keys::TalvorCalendarPrefsChangeNotification);
    refreshPreview();
}

void TalvorCalendarPrefs::SelectSpecialDaysCalendar(const QString& pathOrAddress) {
    writeMonthGridText(keys::CalSpecialDaysPath, pathOrAddress);
    showText(control(keys::CalSpecialDaysPath), pathOrAddress.trimmed());
    delegate_.postDistributed(keys::TalvorCalendarPrefsChangeNotification);
    refreshPreview();
}

void TalvorCalendarPrefs::SelectBirthdays(int index) {
    PreferenceDomain::writeInteger(keys::showAddressBDays, index >= 0 && index <= 2 ? index : 0);
    PreferenceDomain::synchronize(QStringLiteral("Talvor: the calendar settings were not saved"));
    delegate_.postDistributed(keys::TalvorCalendarPrefsChangeNotification);
    refreshPreview();
}

void TalvorCalendarPrefs::openChooser(const QString& id, const QString& title, bool folder,
                                      const QString& filter,
                                      std::function<void(const QString&)> chosen) {
    auto* dialog = new QFileDialog(view_, title);
    dialog->setObjectName(id);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    if (folder) {
        dialog->setFileMode(QFileDialog::Directory);
        dialog->setOption(QFileDialog::ShowDirsOnly);
    } else {
        dialog->setFileMode(QFileDialog::ExistingFile);
        dialog->setNameFilter(filter);
    }
    connect(dialog, &QFileDialog::fileSelected, this, std::move(chosen));
    dialog->open();
}

void TalvorCalendarPrefs::chooseCalBGImageFile() {
    QStringList patterns;
    for (const QByteArray& format : QImageReader::supportedImageFormats()) {
        patterns << QStringLiteral("*.") + QString::fromLatin1(format);
    }
    openChooser(QStringLiteral("chooseCalBGImageFileDialog"), tr("Picture behind the months"),
                false, tr("Pictures (%1)").arg(patterns.join(QLatin1Char(' '))),
                [this](const QString& path) { SelectCalBGImagePath(path); });
}

void TalvorCalendarPrefs::chooseCalBGImageFolder() {
    openChooser(QStringLiteral("chooseCalBGImageFolderDialog"),
                tr("A folder of month pictures (1.jpg … 12.jpg)"), true, QString(),
                [this](const QString& path) { SelectCalBGImagePath(path); });
}

void TalvorCalendarPrefs::chooseSpecialDaysCalendar() {
    openChooser(QStringLiteral("chooseSpecialDaysCalendarDialog"), tr("Calendar of special days"),
                false, tr("Calendars (*.ics)"),
                [this](const QString& path) { SelectSpecialDaysCalendar(path); });
}

void TalvorCalendarPrefs::openWell(const QString& id) {
    for (const Well& w : wells()) {
        if (id == QLatin1String(w.id)) {
            openColourPanel(view_, model().*w.field,
                            [this, id](const QColor& c) { SelectCalWindowColor(id, c); });
            return;
        }
    }
}

// Shows the settings; writes nothing.
void TalvorCalendarPrefs::showSettings() {
    const Settings& s = model();
    const auto check = [this](const char* id, bool on) {
        if (auto* b = qobject_cast<QAbstractButton*>(control(QLatin1String(id)))) {
            const QSignalBlocker block(b);
            b->setChecked(on);
        }
    };
    check("showBigCalendar", TalvorDateSettings::sharedInstance().showDateMenu);
    const int months = s.ShowNoOfCalendar;
    check("months1", months == 1);
    check("months6", months == 6);
    check("months12", months == 12);
    check("monthsUnlimited", months != 1 && months != 6 && months != 12);
    for (const Popup& p : popups()) {
        auto* menu = qobject_cast<QComboBox*>(control(QLatin1String(p.id)));
        if (!menu) {
            continue;
        }
        int index = 0;
        if (p.field) {
            index = s.*p.field;
        } else if (p.action == &Pane::SelectWinTypeToShow) {
            // Any kind but 0 is the movable window (the stored default is a style word).
            index = s.CalendarWinType != 0 ? 1 : 0;
        } else {
            index = std::max<int>(0, calendarTypes().indexOf(s.CalendarType));
        }
        const QSignalBlocker block(menu);
        menu->setCurrentIndex(index >= 0 && index < menu->count() ? index : -1);
    }
    for (const Well& w : wells()) {
        if (auto* well = qobject_cast<QPushButton*>(control(QLatin1String(w.id)))) {
            showWellColour(*well, s.*w.field);
        }
    }
    if (QWidget* bg = control(QStringLiteral("CalendarWinBGolor"))) {
        bg->setEnabled(s.CalendarWinType != 0);
    }
    check("longMonthName", s.ShortLongMonthName != 0);
    check("shortMonthName", s.ShortLongMonthName == 0);
    if (deletePhoto_) {
        deletePhoto_->setVisible(
            platform::UserDefaults::standard().objectForKey(keys::CalImgURL).isValid());
    }
    showText(control(keys::CalBGImagePath),
             PreferenceDomain::readText(keys::CalBGImagePath, QString()));
    showText(control(keys::CalSpecialDaysPath),
             PreferenceDomain::readText(keys::CalSpecialDaysPath, QString()));
    check("bSpecialDays", PreferenceDomain::readFlag(keys::bSpecialDays, false));
    if (auto* menu = qobject_cast<QComboBox*>(control(keys::showAddressBDays))) {
        const int birthdays = PreferenceDomain::readInteger(keys::showAddressBDays, 0);
        const QSignalBlocker block(menu);
        menu->setCurrentIndex(birthdays >= 0 && birthdays <= 2 ? birthdays : 0);
    }
    refreshPreview();
}

void TalvorCalendarPrefs::refreshPreview() {
    if (!preview_) {
        return;
    }
    const platform::Clock& clock = platform::Clock::shared();
    previewFeed_.apply(preview_->calSettings(), platform::UserDefaults::standard(),
                       clock.now().toQDateTime().toTimeZone(clock.currentZone()).date());
    preview_->update();
}

void TalvorCalendarPrefs::buildShowBox(QWidget& view, QBoxLayout& layout) {
    auto* show = new QCheckBox(tr("Show the calendar of the date item"), &view);
    show->setObjectName(QStringLiteral("showBigCalendar"));
    connect(show, &QCheckBox::clicked, this, [this](bool on) { showHideBigCalendar(on); });
    layout.addWidget(show);
}

void TalvorCalendarPrefs::buildMonthsBox(QWidget& view, QBoxLayout& layout) {
    auto* monthsBox = new QGroupBox(tr("Months shown"), &view);
    auto* monthsRow = new QHBoxLayout(monthsBox);
    auto* months = new QButtonGroup(monthsBox);
    for (const Radio& r : kMonthRadios) {
        auto* radio = new QRadioButton(tr(r.title), monthsBox);
        radio->setObjectName(QLatin1String(r.id));
        months->addButton(radio, r.tag);
        monthsRow->addWidget(radio);
        connect(radio, &QRadioButton::clicked, this,
                [this, tag = r.tag] { SelectCalendarToShow(tag); });
    }
    layout.addWidget(monthsBox);
}

void TalvorCalendarPrefs::buildWindowBox(QWidget& view, QBoxLayout& layout) {
    auto* windowBox = new QGroupBox(tr("Window"), &view);
    auto* form = new QFormLayout(windowBox);
    for (const Popup& p : popups()) {
        auto* menu = new QComboBox(windowBox);
        menu->setObjectName(QLatin1String(p.id));
        for (const char* item : p.items) {
            menu->addItem(tr(item));
        }
        connect(menu, &QComboBox::activated, this,
                [this, action = p.action](int index) { (this->*action)(index); });
        form->addRow(tr(p.title), menu);
    }
    auto* names = new QHBoxLayout();
    auto* nameGroup = new QButtonGroup(windowBox);
    for (const Radio& r : kNameRadios) {
        auto* radio = new QRadioButton(tr(r.title), windowBox);
        radio->setObjectName(QLatin1String(r.id));
        nameGroup->addButton(radio, r.tag);
        names->addWidget(radio);
        connect(radio, &QRadioButton::clicked, this,
                [this, tag = r.tag] { SelectShortLongMonthName(tag); });
    }
    form->addRow(tr("Months:"), names);
    layout.addWidget(windowBox);
}

void TalvorCalendarPrefs::buildColoursBox(QWidget& view, QBoxLayout& layout) {
    auto* coloursBox = new QGroupBox(tr("Colours"), &view);
    auto* grid = new QGridLayout(coloursBox);
    int i = 0;
    for (const Well& w : wells()) {
        QPushButton* well = makeColourWell(*coloursBox, QLatin1String(w.id));
        connect(well, &QPushButton::clicked, this,
                [this, id = QString::fromLatin1(w.id)] { openWell(id); });
        // Two a row: four a row cut their names at the window's width.
        grid->addWidget(well, i / 2, (i % 2) * 2);
        grid->addWidget(new QLabel(tr(w.title), coloursBox), i / 2, (i % 2) * 2 + 1);
        ++i;
    }
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    // The month pictures go with these colours: the theme editor is beside them.
    auto* themes = new QPushButton(tr("Themes..."), coloursBox);
    themes->setObjectName(QStringLiteral("themesButton"));
    connect(themes, &QPushButton::clicked, this, [] {
        QWidget* editor = ThemeWinController::sharedInstance().window();
        editor->show();
        editor->raise();
        editor->activateWindow();
    });
    grid->addWidget(themes, grid->rowCount(), 0, 1, grid->columnCount(), Qt::AlignLeft);
    layout.addWidget(coloursBox);
}

// A text field that writes when it is left or Return is pressed, if its text changed.
QLineEdit* TalvorCalendarPrefs::makeTextField(QGroupBox& box, const QString& id,
                                              const QString& hint,
                                              void (TalvorCalendarPrefs::*action)(const QString&)) {
    auto* edit = new QLineEdit(&box);
    edit->setObjectName(id);
    edit->setPlaceholderText(hint);
    edit->setClearButtonEnabled(true);
    connect(edit, &QLineEdit::editingFinished, this, [this, edit, id, action] {
        if (edit->text().trimmed() != PreferenceDomain::readText(id, QString())) {
            (this->*action)(edit->text());
        }
    });
    return edit;
}

QPushButton* TalvorCalendarPrefs::makeChooser(QGroupBox& box, const char* id, const QString& title,
                                              void (TalvorCalendarPrefs::*action)()) {
    auto* button = new QPushButton(title, &box);
    button->setObjectName(QLatin1String(id));
    connect(button, &QPushButton::clicked, this, [this, action] { (this->*action)(); });
    return button;
}

void TalvorCalendarPrefs::buildPictureRow(QGroupBox& gridBox, QFormLayout& gridForm) {
    auto* pictureRow = new QHBoxLayout();
    pictureRow->addWidget(
        makeTextField(gridBox, keys::CalBGImagePath,
                      tr("A picture, a folder of 1.jpg … 12.jpg, or a web address (%Y%m%d: today)"),
                      &Pane::SelectCalBGImagePath),
        1);
    pictureRow->addWidget(
        makeChooser(gridBox, "chooseCalBGImageFile", tr("Picture…"), &Pane::chooseCalBGImageFile));
    pictureRow->addWidget(makeChooser(gridBox, "chooseCalBGImageFolder", tr("Folder…"),
                                      &Pane::chooseCalBGImageFolder));
    gridForm.addRow(tr("Picture behind the months:"), pictureRow);
}

void TalvorCalendarPrefs::buildSpecialDayRows(QGroupBox& gridBox, QFormLayout& gridForm) {
    auto* specialDays = new QCheckBox(tr("Mark the days listed in SpecialDays.txt"), &gridBox);
    specialDays->setObjectName(keys::bSpecialDays);
    connect(specialDays, &QCheckBox::clicked, this, [this](bool on) { SelectSpecialDays(on); });
    gridForm.addRow(tr("Special days:"), specialDays);
    auto* calendarRow = new QHBoxLayout();
    calendarRow->addWidget(makeTextField(gridBox, keys::CalSpecialDaysPath,
                                         tr("An .ics file or a webcal:// or https:// address"),
                                         &Pane::SelectSpecialDaysCalendar),
                           1);
    calendarRow->addWidget(makeChooser(gridBox, "chooseSpecialDaysCalendar", tr("Choose…"),
                                       &Pane::chooseSpecialDaysCalendar));
    gridForm.addRow(tr("Special days from a calendar:"), calendarRow);
    auto* birthdays = new QComboBox(&gridBox);
    birthdays->setObjectName(keys::showAddressBDays);
    birthdays->addItems(
        {tr("Not shown"), tr("Marked, names in the tool tip"), tr("Marked with names")});
    connect(birthdays, &QComboBox::activated, this, [this](int index) { SelectBirthdays(index); });
    gridForm.addRow(tr("Birthdays from Contacts:"), birthdays);
}

void TalvorCalendarPrefs::buildPreview(QGroupBox& gridBox, QFormLayout& gridForm) {
    preview_ = new myCalView(&gridBox);
    preview_->setObjectName(QStringLiteral("monthGridPreview"));
    preview_->setFixedSize(280, 210);
    // A picture dropped on the preview is the choice: shown in the field and announced.
    preview_->setDropDone([this](bool taken) {
        if (taken) {
            SelectCalBGImagePath(PreferenceDomain::readText(keys::CalBGImagePath, QString()));
        }
    });
    gridForm.addRow(tr("Preview:"), preview_);
}

void TalvorCalendarPrefs::buildButtons(QWidget& view, QBoxLayout& layout) {
    auto* buttons = new QHBoxLayout();
    for (const Button& b : kButtons) {
        auto* button = new QPushButton(tr(b.title), &view);
        button->setObjectName(QLatin1String(b.id));
        connect(button, &QPushButton::clicked, this,
                [this, action = b.action] { (this->*action)(); });
        buttons->addWidget(button);
        if (b.action == &Pane::deletePhoto) {
            deletePhoto_ = button;
        }
    }
    buttons->addStretch(1);
    layout.addLayout(buttons);
    layout.addStretch(1);
}

std::unique_ptr<QWidget> TalvorCalendarPrefs::loadView() {
    auto view = std::make_unique<QWidget>();
    view->setObjectName(className());
    view_ = view.get();
    auto* layout = new QVBoxLayout(view.get());
    layout->setContentsMargins(24, 20, 24, 20);

    buildShowBox(*view, *layout);
    buildMonthsBox(*view, *layout);
    buildWindowBox(*view, *layout);
    buildColoursBox(*view, *layout);
    auto* gridBox = new QGroupBox(tr("Days and pictures"), view.get());
    auto* gridForm = new QFormLayout(gridBox);
    // Long labels go above their fields rather than past the window's width.
    gridForm->setRowWrapPolicy(QFormLayout::WrapLongRows);
    buildPictureRow(*gridBox, *gridForm);
    buildSpecialDayRows(*gridBox, *gridForm);
    buildPreview(*gridBox, *gridForm);
    layout->addWidget(gridBox);
    buildButtons(*view, *layout);

    showSettings();
    view->resize(kMaxWidth, 680);
    return view;
}

}  // namespace talvor
