#include "TalvorTodoViewController.h"

#include "FormatPaneParts.h"
#include "calendarui/CalendarUiKeys.h"
#include "calendarui/MonthGrid.h"
#include "calendarui/TodoArchive.h"
#include "calendarui/TodoSettings.h"
#include "foundation/ColorExtras.h"
#include "foundation/TalvorDateSettings.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSignalBlocker>
#include <QUrl>
#include <QVBoxLayout>

namespace talvor {
namespace {

const QString& kPriorityText = TodoSettings::kPriorityText;
const QString& kPriorityColors = TodoSettings::kPriorityColors;
const QString& kArchiveOptions = TodoSettings::kArchiveOptions;
const QString& kPrefsIcon = TodoSettings::kPrefsIcon;
const QString kTodoPreferencesChanged = QStringLiteral("TodoPreferencesChanged");

platform::UserDefaults& defaults() {
    return platform::UserDefaults::standard();
}

// The four priorities (in the order of TodoSettings::priorities): their stored key, field,
// well, and the shown name and colour before any is stored.
struct Priority {
    const char* key;
    const char* field;
    const char* well;
    const char* title;
    QColor colour;
};
Priority priority(std::size_t i, const char* field, const char* well) {
    const TodoSettings::Priority& p = TodoSettings::priorities().at(i);
    return {p.key, field, well, p.title, p.colour};
}
const Priority kPriorities[] = {
    priority(0, "hotText", "hotColor"), priority(1, "warmText", "warmColor"),
    priority(2, "coldText", "coldColor"), priority(3, "noneText", "noneColor")};

// The archive's pop-ups: their stored key and items.
struct ArchivePopup {
    const char* id;
    const char* key;
    std::vector<const char*> items;
};
#define TR(text) QT_TRANSLATE_NOOP("talvor::TalvorTodoViewController", text)
const ArchivePopup kArchivePopups[] = {
    {"archiveFormat", "format", {TR("Plain text"), TR("HTML"), TR("Rich text")}},
    {"archiveTemplate", "template", {TR("Title only"), TR("Title and notes")}},
    {"archiveRollover",
     "rollover",
     {TR("One file"), TR("A file each month"), TR("A file each year"), TR("Never")}},
    {"archiveWhen", "when", {TR("When completed"), TR("Daily"), TR("Weekly")}},
};
struct Icon {
    const char* title;
    int tag;
};
const Icon kIcons[] = {{TR("Check mark"), 1}, {TR("List"), 2}, {TR("Note"), 3}};
#undef TR

QString withoutExtension(const QString& path) {
    const QFileInfo info(path);
    const QString suffix = info.suffix();
    return suffix.isEmpty() ? path : path.left(path.size() - suffix.size() - 1);
}

QString expandTilde(const QString& path) {
    if (path == QLatin1String("~") || path.startsWith(QLatin1String("~/"))) {
        return QDir::homePath() + path.mid(1);
    }
    return path;
}

}  // namespace

TalvorTodoViewController::TalvorTodoViewController(QString nibName, PaneDelegate delegate)
    : PreferencePane(QStringLiteral("TalvorTodoViewController"), std::move(nibName),
                     QStringLiteral("To Do")),
      delegate_(std::move(delegate)) {}

const QStringList& TalvorTodoViewController::priorityKeys() {
    static const QStringList keys = {QStringLiteral("9"), QStringLiteral("5"), QStringLiteral("1"),
                                     QStringLiteral("0")};
    return keys;
}

template <class W>
W* TalvorTodoViewController::find(const char* id) const {
    return view_ ? view_->findChild<W*>(QLatin1String(id)) : nullptr;
}

QWidget* TalvorTodoViewController::control(const QString& id) const {
    return view_ ? view_->findChild<QWidget*>(id) : nullptr;
}

QString TalvorTodoViewController::archivePath(const QString& location, int format, int rollover,
                                              QDate today) {
    return TodoArchiveOptions::pathFor(location, format, rollover, today);
}

QString TalvorTodoViewController::archivePath() const {
    const auto* location = find<QLineEdit>("archiveLocation");
    const auto* format = find<QComboBox>("archiveFormat");
    const auto* rollover = find<QComboBox>("archiveRollover");
    if (!location || !format || !rollover) {
        return {};
    }
    const platform::Clock& clock = platform::Clock::shared();
    const QDate today = clock.now().toQDateTime().toTimeZone(clock.currentZone()).date();
    return archivePath(location->text(), format->currentIndex(), rollover->currentIndex(), today);
}

void TalvorTodoViewController::notifyTodoPrefChanged() {
    defaults().synchronize();
    delegate_.postDistributed(kTodoPreferencesChanged);
}

void TalvorTodoViewController::saveChange() {
    TalvorDateSettings& date = TalvorDateSettings::sharedInstance();
    date.enableWindowClick = find<QCheckBox>("windowClick")->isChecked();
    date.hideToDoEventSection = find<QCheckBox>("hideToDoEventSection")->isChecked();
    date.writePrefsAndSync();
    notifyTodoPrefChanged();
}

void TalvorTodoViewController::savePriorityChange() {
    QVariantMap texts;
    for (const Priority& p : kPriorities) {
        texts.insert(QLatin1String(p.key), find<QLineEdit>(p.field)->text());
    }
    defaults().setObject(texts, kPriorityText);
    notifyTodoPrefChanged();
}

void TalvorTodoViewController::saveColorChange() {
    QVariantMap colours;
    for (const Priority& p : kPriorities) {
        colours.insert(
            QLatin1String(p.key),
            ColorExtras::asData(find<QPushButton>(p.well)->property("colour").value<QColor>()));
    }
    defaults().setObject(colours, kPriorityColors);
    notifyTodoPrefChanged();
}

void TalvorTodoViewController::saveArchiveChange() {
    QVariantMap options{
        {QStringLiteral("path"), find<QLineEdit>("archiveLocation")->text()},
        {QStringLiteral("state"), find<QCheckBox>("archiveEnabled")->isChecked()},
        {QStringLiteral("summary"), find<QCheckBox>("archiveSummary")->isChecked()},
    };
    for (const ArchivePopup& p : kArchivePopups) {
        options.insert(QLatin1String(p.key), find<QComboBox>(p.id)->currentIndex());
    }
    defaults().setObject(options, kArchiveOptions);
    notifyTodoPrefChanged();
}

void TalvorTodoViewController::changeStartDay() {
    // One first weekday for every calendar view.
    defaults().setInteger(find<QComboBox>("startDay")->currentIndex() + 1, keys::FirstDayOfWeek);
    defaults().synchronize();
    delegate_.postDistributed(keys::TalvorUpdateCalNotification);
}

void TalvorTodoViewController::SetArchiveLocation(QObject* sender) {
    auto* enable = find<QCheckBox>("archiveEnabled");
    if (sender == enable) {
        const bool on = enable->isChecked();
        for (const char* id : {"archiveSummary", "archiveLocation", "archiveFormat",
                               "archiveTemplate", "archiveRollover", "archiveWhen"}) {
            control(QLatin1String(id))->setEnabled(on);
        }
        if (!loading_) {
            saveArchiveChange();
        }
        return;
    }
    const QString location = expandTilde(find<QLineEdit>("archiveLocation")->text());
    auto* dialog = new QFileDialog(view_, tr("Archive File"));
    dialog->setObjectName(QStringLiteral("archiveSavePanel"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setDirectory(QFileInfo(location).absolutePath());
    dialog->selectFile(QFileInfo(location).fileName());
    connect(dialog, &QFileDialog::fileSelected, this,
            [this](const QString& file) { savePanelDidEnd(file); });
    dialog->open();
}

void TalvorTodoViewController::savePanelDidEnd(const QString& fileName) {
    if (fileName.isEmpty()) {
        return;
    }
    const int format = find<QComboBox>("archiveFormat")->currentIndex();
    find<QLineEdit>("archiveLocation")
        ->setText(withoutExtension(expandTilde(fileName)) +
                  TodoArchiveOptions::extensionOf(format));
    saveArchiveChange();
}

void TalvorTodoViewController::openArchive() {
    delegate_.open(QUrl::fromLocalFile(expandTilde(archivePath())));
}

void TalvorTodoViewController::defaultsToControls() {
    loading_ = true;
    const TalvorDateSettings& date = TalvorDateSettings::sharedInstance();
    // The boxes show the date settings; loading never copies a box into them.
    find<QCheckBox>("windowClick")->setChecked(date.enableWindowClick);
    find<QCheckBox>("hideToDoEventSection")->setChecked(date.hideToDoEventSection);

    auto* startDay = find<QComboBox>("startDay");
    // The weekday every calendar view starts with: stored, else the calendar's own.
    const qint64 first = defaults().objectForKey(keys::FirstDayOfWeek).toLongLong();
    startDay->setCurrentIndex(first >= 1 && first <= startDay->count()
                                  ? int(first - 1)
                                  : userFirstWeekday(defaults()) - 1);

    const QVariantMap texts = defaults().objectForKey(kPriorityText).toMap();
    const QVariantMap colours = defaults().objectForKey(kPriorityColors).toMap();
    for (const Priority& p : kPriorities) {
        if (texts.contains(QLatin1String(p.key))) {
            find<QLineEdit>(p.field)->setText(texts.value(QLatin1String(p.key)).toString());
        }
        if (const auto c = ColorExtras::color(colours.value(QLatin1String(p.key)).toByteArray())) {
            showWellColour(*find<QPushButton>(p.well), *c);
        }
    }

    const QVariant stored = defaults().objectForKey(kArchiveOptions);
    if (stored.isValid()) {
        const QVariantMap options = stored.toMap();
        find<QLineEdit>("archiveLocation")
            ->setText(expandTilde(options.value(QStringLiteral("path")).toString()));
        find<QCheckBox>("archiveEnabled")
            ->setChecked(options.value(QStringLiteral("state")).toBool());
        find<QCheckBox>("archiveSummary")
            ->setChecked(options.value(QStringLiteral("summary")).toBool());
        for (const ArchivePopup& p : kArchivePopups) {
            const QString key = QLatin1String(p.key);
            const int fallback = key == QLatin1String("when") ? 1 : 0;
            auto* menu = find<QComboBox>(p.id);
            const int index = options.value(key, fallback).toInt();
            menu->setCurrentIndex(index >= 0 && index < menu->count() ? index : fallback);
        }
    }
    SetArchiveLocation(find<QCheckBox>("archiveEnabled"));

    const QVariant icon = defaults().objectForKey(kPrefsIcon);
    auto* icons = find<QComboBox>("menuIcon");
    const int at = icons->findData(icon.isValid() ? icon.toInt() : 1);
    icons->setCurrentIndex(at >= 0 ? at : 0);
    loading_ = false;
}

std::unique_ptr<QWidget> TalvorTodoViewController::loadView() {
    auto view = std::make_unique<QWidget>();
    view->setObjectName(className());
    view_ = view.get();
    auto* layout = new QVBoxLayout(view.get());
    layout->setContentsMargins(24, 20, 24, 20);

    auto* priorities = new QGroupBox(tr("Priorities"), view.get());
    auto* grid = new QGridLayout(priorities);
    int row = 0;
    for (const Priority& p : kPriorities) {
        auto* field = new QLineEdit(tr(p.title), priorities);
        field->setObjectName(QLatin1String(p.field));
        connect(field, &QLineEdit::editingFinished, this, [this] {
            if (!loading_) {
                savePriorityChange();
            }
        });
        QPushButton* well = makeColourWell(*priorities, QLatin1String(p.well));
        showWellColour(*well, p.colour);
        connect(well, &QPushButton::clicked, this, [this, well] {
            openColourPanel(view_, well->property("colour").value<QColor>(),
                            [this, well](const QColor& c) {
                                showWellColour(*well, c);
                                saveColorChange();
                            });
        });
        grid->addWidget(field, row, 0);
        grid->addWidget(well, row, 1);
        ++row;
    }
    layout->addWidget(priorities);

    auto* general = new QGroupBox(tr("Calendar and menu"), view.get());
    auto* form = new QFormLayout(general);
    auto* startDay = new QComboBox(general);
    startDay->setObjectName(QStringLiteral("startDay"));
    const QLocale locale;
    for (int d : {7, 1, 2, 3, 4, 5, 6}) {
        startDay->addItem(locale.standaloneDayName(d, QLocale::LongFormat));
    }
    connect(startDay, &QComboBox::activated, this, [this] { changeStartDay(); });
    form->addRow(tr("Week starts on:"), startDay);
    auto* icons = new QComboBox(general);
    icons->setObjectName(QStringLiteral("menuIcon"));
    for (const Icon& i : kIcons) {
        icons->addItem(TodoSettings::icon(i.tag), tr(i.title), i.tag);
    }
    connect(icons, &QComboBox::activated, this, [this, icons] {
        defaults().setInteger(icons->currentData().toInt(), kPrefsIcon);
        notifyTodoPrefChanged();
    });
    form->addRow(tr("Menu icon:"), icons);
    for (const auto& [id, title] :
         {std::pair{"windowClick", QT_TR_NOOP("A click in the date window opens the item")},
          std::pair{"hideToDoEventSection", QT_TR_NOOP("Hide the to-do and event section")}}) {
        auto* box = new QCheckBox(tr(title), general);
        box->setObjectName(QLatin1String(id));
        connect(box, &QCheckBox::clicked, this, [this] { saveChange(); });
        form->addRow(box);
    }
    layout->addWidget(general);

    auto* archive = new QGroupBox(tr("Archive of finished items"), view.get());
    auto* archiveForm = new QFormLayout(archive);
    auto* enable = new QCheckBox(tr("Keep an archive"), archive);
    enable->setObjectName(QStringLiteral("archiveEnabled"));
    connect(enable, &QCheckBox::clicked, this, [this, enable] { SetArchiveLocation(enable); });
    archiveForm->addRow(enable);
    auto* summary = new QCheckBox(tr("With a summary"), archive);
    summary->setObjectName(QStringLiteral("archiveSummary"));
    connect(summary, &QCheckBox::clicked, this, [this] { saveArchiveChange(); });
    archiveForm->addRow(summary);
    auto* locationRow = new QHBoxLayout();
    auto* location = new QLineEdit(QStringLiteral("~/Documents/Todo Archive.txt"), archive);
    location->setObjectName(QStringLiteral("archiveLocation"));
    connect(location, &QLineEdit::editingFinished, this, [this] {
        if (!loading_) {
            saveArchiveChange();
        }
    });
    auto* choose = new QPushButton(tr("Choose…"), archive);
    choose->setObjectName(QStringLiteral("archiveChoose"));
    connect(choose, &QPushButton::clicked, this, [this, choose] { SetArchiveLocation(choose); });
    auto* open = new QPushButton(tr("Open"), archive);
    open->setObjectName(QStringLiteral("archiveOpen"));
    connect(open, &QPushButton::clicked, this, [this] { openArchive(); });
    locationRow->addWidget(location, 1);
    locationRow->addWidget(choose);
    locationRow->addWidget(open);
    archiveForm->addRow(tr("File:"), locationRow);
    const char* titles[] = {QT_TR_NOOP("Format:"), QT_TR_NOOP("Template:"), QT_TR_NOOP("New file:"),
                            QT_TR_NOOP("Archive:")};
    int i = 0;
    for (const ArchivePopup& p : kArchivePopups) {
        auto* menu = new QComboBox(archive);
        menu->setObjectName(QLatin1String(p.id));
        for (const char* item : p.items) {
            menu->addItem(tr(item));
        }
        if (QLatin1String(p.key) == QLatin1String("when")) {
            menu->setCurrentIndex(1);
        }
        connect(menu, &QComboBox::activated, this, [this] { saveArchiveChange(); });
        archiveForm->addRow(tr(titles[i++]), menu);
    }
    layout->addWidget(archive);
    layout->addStretch(1);

    defaultsToControls();
    view->resize(560, 620);
    return view;
}

}  // namespace talvor
