#include "SettingsWindowHost.h"

#include "foundation/TalvorDateSettings.h"
#include "foundation/TalvorTimeSettings.h"
#include "platform/Log.h"
#include "platform/SharedInstance.h"
#include "platform/UserDefaults.h"
#include "platform/WindowPlacement.h"
#include "widgets/DVButton.h"
#include "widgets/NamedColors.h"

#include <QApplication>
#include <QCloseEvent>
#include <QColorDialog>
#include <QFontDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

namespace talvor {
namespace {

using Extra = SettingsPaneRow::Extra;
using B = SidebarButton;
using T = PaneTag;

const QString kLastUsedPrefTag = QStringLiteral("lastUsedPrefTag");

// Tags `aboutView`, `stocks` and `takeABreak` name classes that do not exist: choosing them empties
// the pane area.
constexpr SettingsPaneRow kRows[] = {
    {T::aboutView, "TalvorAboutViewController", "PrefsAbout", "", std::nullopt},
    {T::timeMenu, "TalvorTimeViewController", "PrefDateTime", "Time Menu", B::btnTimeMenu},
    {T::floatingClocks, "TalvorPrefsFloatingViewCtrl", "PrefFloating", "Floating Clocks",
     B::btnFloatingClocks},
    {T::miniCalendar, "TalvorCalendarPrefs", "TalvorCalendarPrefs", "MiniCal/Event/To Do",
     B::btnMiniCalendar},
    {T::menuItems, "TalvorMenuViewController", "PrefsMenu", "Menu Items", B::btnMenuItems},
    {T::alarms, "TalvorAlarmViewController", "alarmSetup", "Alarms", std::nullopt},
    {T::chimes, "TalvorPrefsChimesView", "PrefChimes", "Chimes", B::btnChimesMenu},
    {T::stocks, "TalvorStockViewController", "PrefsStocks", "Stock Portfolio", std::nullopt},
    {T::setTimeZone, "TalvorSetTimeZoneViewCtrl", "PrefsSetTimeZone", "Set TimeZone",
     B::btnSetTimeZone},
    {T::applicationsMenu, "TalvorASMViewCtrl", "PrefASM", "Applications Menu", B::btnASM},
    {T::take5, "TalvorTake5WindowsController", "TalvorTake5WindowsController", "Take 5",
     B::btnAlarm},
    {T::about, "TalvorPrefsMenuExtra", "PrefsMenuExtras", "About", B::btnAbout},
    {T::takeABreak, "TalvorTakeABreakViewController", "TalvorTakeABreakViewController",
     "Take A Break", B::btnAppMenuItems},
    {T::minnow, "TCalendarPrefs", "TCalendarPrefs", "Minnow", B::btnMinnowCalendar},
    {T::dateDifference, "DateDiffPrefCalculator", "DateDiffPrefCalculator", "Date Difference",
     B::btnDateDifference, Extra::setIsShowDateDiff},
    {T::countDown, "CountDownTimerViewController", "CountDownTimerViewController",
     "Countdown Timer", B::btnCountDown},
    {T::createAlarm, "AlarmSetController", "AlarmSetController", "Create Alarm", B::btnCreateAlarm,
     Extra::setIsShowCreateAlarm},
    {T::globalScheduler, "GlobalSchedulerViewController", "GlobalSchedulerViewController",
     "Global Scheduler", B::btnGlobalScheduler, Extra::setIsShowGlobalScheduler},
    {T::feedback, "FeedbakReviewUpdateVC", "FeedbakReviewUpdateVC", "Feedback", B::btnFeedback},
    {T::menubarCalendar, "MenuCalendarPrefs", "MenuCalendarPrefs", "Menubar Calendar",
     B::btnMenuCalendar},
    {T::general, "AdvancedPrefVC", "AdvancedPrefVC", "General", B::btnAdvanced},
    {T::dateMenu, "TalvorDateViewController", "PrefDateDMY", "Date Menu", B::btnDateMenu},
    {T::lightDark, "SwitchLightDarkVC", "SwitchLightDarkVC", "Light/Dark Mode",
     B::btnSwitchLightDark},
    {T::todo, "TalvorTodoViewController", "TalvorTodoViewController", "To Do", B::btnTodo},
};

// The sidebar from top to bottom: a section label starts a group.
struct SidebarEntry {
    std::optional<SectionLabel> section;
    const char* sectionTitle;
    std::optional<SidebarButton> button;
    PaneTag tag;
};

constexpr SidebarEntry kSidebar[] = {
    {std::nullopt, nullptr, B::btnAdvanced, T::general},
    {std::nullopt, nullptr, B::btnFeedback, T::feedback},
    {SectionLabel::textTime, QT_TRANSLATE_NOOP("talvor::SettingsWindowHost", "Time"), std::nullopt,
     T::none},
    {std::nullopt, nullptr, B::btnTimeMenu, T::timeMenu},
    {std::nullopt, nullptr, B::btnMenuItems, T::menuItems},
    {std::nullopt, nullptr, B::btnFloatingClocks, T::floatingClocks},
    {std::nullopt, nullptr, B::btnChimesMenu, T::chimes},
    {std::nullopt, nullptr, B::btnAlarm, T::take5},
    {std::nullopt, nullptr, B::btnCreateAlarm, T::createAlarm},
    {std::nullopt, nullptr, B::btnCountDown, T::countDown},
    {std::nullopt, nullptr, B::btnGlobalScheduler, T::globalScheduler},
    {std::nullopt, nullptr, B::btnSetTimeZone, T::setTimeZone},
    {std::nullopt, nullptr, B::btnSwitchLightDark, T::lightDark},
    {SectionLabel::textDate, QT_TRANSLATE_NOOP("talvor::SettingsWindowHost", "Date"), std::nullopt,
     T::none},
    {std::nullopt, nullptr, B::btnDateMenu, T::dateMenu},
    {std::nullopt, nullptr, B::btnDateDifference, T::dateDifference},
    {std::nullopt, nullptr, B::btnMenuCalendar, T::menubarCalendar},
    {std::nullopt, nullptr, B::btnMinnowCalendar, T::minnow},
    {std::nullopt, nullptr, B::btnMiniCalendar, T::miniCalendar},
    {std::nullopt, nullptr, B::btnTodo, T::todo},
    {SectionLabel::textApplications,
     QT_TRANSLATE_NOOP("talvor::SettingsWindowHost", "Applications"), std::nullopt, T::none},
    {std::nullopt, nullptr, B::btnASM, T::applicationsMenu},
    {SectionLabel::textMisc, QT_TRANSLATE_NOOP("talvor::SettingsWindowHost", "Misc"), std::nullopt,
     T::none},
    {std::nullopt, nullptr, B::btnAbout, T::about},
    // Its pane has no class; the button stays for the painting but is not offered.
    {std::nullopt, nullptr, B::btnAppMenuItems, T::takeABreak},
};

QColor grey(int level) {
    return QColor::fromRgbF(level / 255.0f, level / 255.0f, level / 255.0f, 1.0f);
}
const QColor kSelected = grey(238);
const QColor kOthers = grey(225);
// The opening of the window and two of its shortcuts paint a shade lighter.
const QColor kOthersOnOpening = grey(226);

// A pane may have opened a colour or font dialog; it must not outlive the pane.
void closeSharedPanels() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if ((qobject_cast<QColorDialog*>(w) || qobject_cast<QFontDialog*>(w)) && w->isVisible()) {
            w->hide();
        }
    }
}

// What the old pane changed in the time and date settings is stored before it goes.
void writeSettingsModels() {
    if (TalvorDateSettings* date = SharedInstance<TalvorDateSettings>::existing()) {
        date->writePrefs();
    }
    if (TalvorTimeSettings* time = SharedInstance<TalvorTimeSettings>::existing()) {
        time->writePrefs();
    }
}

// "Talvor Settings", with the pane's title where there is one, then the program's name and
// version, so that a report from a screenshot says which build it came from.
QString settingsWindowTitle(const QString& paneTitle) {
    QString title = paneTitle.isEmpty()
                        ? SettingsWindowHost::tr("Talvor Settings")
                        : SettingsWindowHost::tr("Talvor Settings: %1").arg(paneTitle);
    const QString program =
        QStringList{QCoreApplication::applicationName(), QCoreApplication::applicationVersion()}
            .join(QLatin1Char(' '))
            .trimmed();
    if (!program.isEmpty()) {
        title += QStringLiteral(" \u2014 ") + program;
    }
    return title;
}

}  // namespace

class SettingsWindowHost::Window : public QWidget {
  public:
    explicit Window(SettingsWindowHost& host) : host_(host) {}

  protected:
    void closeEvent(QCloseEvent* event) override {
        if (host_.windowShouldClose()) {
            host_.paneWillHide();
            event->accept();
        } else {
            event->ignore();
        }
    }
    void changeEvent(QEvent* event) override {
        if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
            host_.paneShownAgain();
        }
        QWidget::changeEvent(event);
    }
    // An Escape no control of the window used closes it: without a window manager there is
    // no title bar to close it by.
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
            close();
            return;
        }
        QWidget::keyPressEvent(event);
    }

  private:
    SettingsWindowHost& host_;
};

// The pane area: lays its pane out again whenever its size changes.
class SettingsWindowHost::PaneArea : public QScrollArea {
  public:
    PaneArea(SettingsWindowHost& host, QWidget* parent) : QScrollArea(parent), host_(host) {}

  protected:
    void resizeEvent(QResizeEvent* event) override {
        QScrollArea::resizeEvent(event);
        host_.fitPane();
    }

  private:
    SettingsWindowHost& host_;
};

SettingsWindowHost::SettingsWindowHost(SettingsWindowHostDelegate& delegate, PaneFactory panes)
    : delegate_(delegate), panes_(std::move(panes)) {}

SettingsWindowHost::~SettingsWindowHost() {
    // The pane's view lives in the window; it goes with its pane, before the window.
    viewCtrl_.reset();
}

std::span<const SettingsPaneRow> SettingsWindowHost::paneRows() {
    return kRows;
}

const SettingsPaneRow* SettingsWindowHost::paneRow(PaneTag tag) {
    const auto it = std::find_if(std::begin(kRows), std::end(kRows),
                                 [tag](const SettingsPaneRow& r) { return r.tag == tag; });
    return it == std::end(kRows) ? nullptr : &*it;
}

void SettingsWindowHost::ensureWindow() const {
    if (!window_) {
        // Building changes what the accessors show, not what the host is.
        const_cast<SettingsWindowHost*>(this)->buildWindow();
    }
}

QWidget* SettingsWindowHost::window() const {
    ensureWindow();
    return window_.get();
}

QWidget* SettingsWindowHost::placeHolderView() const {
    ensureWindow();
    return placeHolderView_;
}

QScrollArea* SettingsWindowHost::paneArea() const {
    ensureWindow();
    return paneArea_;
}

QScrollArea* SettingsWindowHost::sidebarArea() const {
    ensureWindow();
    return sidebarArea_;
}

DVButton* SettingsWindowHost::button(SidebarButton which) const {
    ensureWindow();
    return buttons_.at(static_cast<size_t>(which));
}

QLabel* SettingsWindowHost::label(SectionLabel which) const {
    ensureWindow();
    return labels_.at(static_cast<size_t>(which));
}

void SettingsWindowHost::buildWindow() {
    window_ = std::make_unique<Window>(*this);
    window_->setObjectName(QStringLiteral("SettingsWindow"));
    window_->setWindowTitle(settingsWindowTitle(QString()));
    window_->setMinimumSize(kMinimumSize);
    window_->resize(kDefaultSize);
    auto* layout = new QHBoxLayout(window_.get());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* sidebar = new QWidget();
    sidebar->setObjectName(QStringLiteral("sidebar"));
    sidebar->setFixedWidth(180);
    sidebar->setAutoFillBackground(true);
    QPalette palette = sidebar->palette();
    palette.setColor(QPalette::Window, kOthers);
    sidebar->setPalette(palette);
    auto* column = new QVBoxLayout(sidebar);
    column->setContentsMargins(8, 10, 8, 10);
    column->setSpacing(1);
    for (const SidebarEntry& entry : kSidebar) {
        if (entry.section) {
            auto* text = new QLabel(tr(entry.sectionTitle), sidebar);
            QFont bold = text->font();
            bold.setBold(true);
            text->setFont(bold);
            text->setContentsMargins(4, 8, 0, 2);
            labels_.at(static_cast<size_t>(*entry.section)) = text;
            column->addWidget(text);
            continue;
        }
        const SettingsPaneRow* row = paneRow(entry.tag);
        auto* b = new DVButton(QString::fromUtf8(row->title).trimmed(), sidebar);
        b->setFlat(true);
        b->setProperty("tag", static_cast<int>(entry.tag));
        b->setBackgroundColor(kOthers);
        b->setFixedHeight(22);
        b->setVisible(panes_.contains(QString::fromLatin1(row->className)));
        const PaneTag tag = entry.tag;
        connect(b, &QPushButton::clicked, this, [this, tag] { doOnMain(tag); });
        buttons_.at(static_cast<size_t>(*entry.button)) = b;
        column->addWidget(b);
    }
    column->addStretch(1);
    // A short screen scrolls the sidebar rather than cutting off its last buttons.
    sidebarArea_ = new QScrollArea(window_.get());
    sidebarArea_->setObjectName(QStringLiteral("sidebarArea"));
    sidebarArea_->setFrameShape(QFrame::NoFrame);
    sidebarArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    sidebarArea_->setWidgetResizable(true);
    sidebarArea_->setWidget(sidebar);
    sidebarArea_->setFixedWidth(sidebar->width() +
                                sidebarArea_->verticalScrollBar()->sizeHint().width());
    sidebarArea_->setAutoFillBackground(true);
    sidebarArea_->setPalette(palette);
    layout->addWidget(sidebarArea_);

    // The desktop keys every theme agrees on: Ctrl+Q quits the application, Ctrl+W closes
    // the window.
    auto* quit = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), window_.get());
    connect(quit, &QShortcut::activated, this, [this] {
        if (quit_) {
            quit_();
        }
    });
    auto* close = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_W), window_.get());
    connect(close, &QShortcut::activated, this, [this] { closeWindow(); });

    paneArea_ = new PaneArea(*this, window_.get());
    paneArea_->setObjectName(QStringLiteral("paneArea"));
    paneArea_->setFrameShape(QFrame::NoFrame);
    placeHolderView_ = new QWidget();
    placeHolderView_->setObjectName(QStringLiteral("placeHolderView"));
    paneArea_->setWidget(placeHolderView_);
    layout->addWidget(paneArea_, 1);
}

void SettingsWindowHost::fitPane() {
    const QSize area = paneArea_->viewport()->size();
    QSize content = area;
    QWidget* view = currentView_;
    if (view != nullptr && viewCtrl_ && view == viewCtrl_->viewIfLoaded()) {
        // The pane hangs from the top of the area and fills it, so that what a pane keeps
        // at its foot (the version and help row) sits at the same place on every pane.
        const QRect frame(0, 0, std::max(paneSize_.width(), area.width()),
                          std::max(paneSize_.height(), area.height()));
        view->setGeometry(frame);
        content = content.expandedTo(frame.size());
    }
    placeHolderView_->resize(content);
}

void SettingsWindowHost::fitToScreen() {
    ensureWindow();
    const QScreen* screen = window_->screen();
    if (screen == nullptr) {
        return;
    }
    window_->resize(fittedTo(window_->size(), screen->availableGeometry().size()));
}

QSize SettingsWindowHost::fittedTo(const QSize& size, const QSize& available) {
    return size.boundedTo(available - kFrameAllowance).expandedTo(kMinimumSize);
}

QSize SettingsWindowHost::openingSize(const QSize& available) {
    return fittedTo(kDefaultSize, available);
}

void SettingsWindowHost::paneShownAgain() {
    if (viewCtrl_ && currentView_ && currentView_ == viewCtrl_->viewIfLoaded()) {
        viewCtrl_->viewDidShow();
    }
}

void SettingsWindowHost::paneWillHide() {
    // A closed window's pane heard it when the window closed.
    if (window_ && window_->isVisible() && viewCtrl_ && currentView_ &&
        currentView_ == viewCtrl_->viewIfLoaded()) {
        viewCtrl_->viewWillHide();
    }
}

void SettingsWindowHost::paintSidebar(std::optional<SidebarButton> selected,
                                      const QColor& selectedColour, const QColor& others) {
    ensureWindow();
    for (DVButton* b : buttons_) {
        b->setBackgroundColor(others);
    }
    if (selected) {
        button(*selected)->setBackgroundColor(selectedColour);
    }
}

void SettingsWindowHost::paintForShortcut(SidebarButton selected, const QColor& others) {
    paintSidebar(selected, kSelected, others);
}

void SettingsWindowHost::activateAndOrderFront() {
    ensureWindow();
    if (!window_->isVisible()) {
        fitToScreen();
        platform::placeInFreeArea(*window_);
    }
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void SettingsWindowHost::closeWindow() {
    if (window_) {
        window_->close();
    }
}

const SettingsPaneRow& SettingsWindowHost::firstUsableRow() const {
    for (const SidebarEntry& entry : kSidebar) {
        const SettingsPaneRow* row = entry.button ? paneRow(entry.tag) : nullptr;
        const QString className = row ? QString::fromLatin1(row->className) : QString();
        if (row && row->selected && panes_.contains(className) &&
            !panes_.isPlaceholder(className)) {
            return *row;
        }
    }
    return *paneRow(PaneTag::timeMenu);
}

void SettingsWindowHost::showPrefs() {
    const qint64 stored = platform::UserDefaults::standard().integerForKey(kLastUsedPrefTag);
    if (stored == 0) {
        // A first opening shows a pane with controls, not one that only says it is coming.
        const SettingsPaneRow& row = firstUsableRow();
        paintSidebar(row.selected, kSelected, kOthersOnOpening);
        IsShowCountDown = false;
        loadPrefsView(QString::fromLatin1(row.className), QString::fromLatin1(row.nibName),
                      QString::fromUtf8(row.title));
        activateAndOrderFront();
        return;
    }
    doOnMain(static_cast<PaneTag>(std::clamp<qint64>(stored, std::numeric_limits<int>::min(),
                                                     std::numeric_limits<int>::max())));
}

void SettingsWindowHost::doOnMain(PaneTag tag) {
    const bool dark = DVButton::isDarkAppearance();
    const QColor selected = dark ? NamedColors::lightGrayColor() : kSelected;
    const QColor others = dark ? QColor(Qt::transparent) : kOthers;
    paintSidebar(std::nullopt, selected, others);
    IsShowDateDiff = false;
    IsShowCreateAlarm = false;
    IsShowGlobalScheduler = false;
    // Another pane replaces the count-down's: its shortcut then opens it again.
    IsShowCountDown = false;

    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    defaults.setInteger(static_cast<int>(tag), kLastUsedPrefTag);
    defaults.synchronize();

    if (const SettingsPaneRow* row = paneRow(tag)) {
        if (row->selected) {
            button(*row->selected)->setBackgroundColor(selected);
        }
        loadPrefsView(QString::fromLatin1(row->className), QString::fromLatin1(row->nibName),
                      QString::fromUtf8(row->title));
        switch (row->extra) {
            case Extra::none:
                break;
            case Extra::setIsShowDateDiff:
                IsShowDateDiff = true;
                break;
            case Extra::setIsShowCreateAlarm:
                IsShowCreateAlarm = true;
                if (AlarmEditor* editor = viewCtrl_ ? viewCtrl_->alarmEditor() : nullptr) {
                    delegate_.SetAlarmPrefSetControllerDelegate(editor);
                }
                break;
            case Extra::setIsShowGlobalScheduler:
                IsShowGlobalScheduler = true;
                break;
        }
    }
    activateAndOrderFront();
}

void SettingsWindowHost::changeSettings(PaneTag tag) {
    QMetaObject::invokeMethod(
        this, [this, tag] { doOnMain(tag); }, Qt::QueuedConnection);
}

void SettingsWindowHost::loadPrefsView(const QString& className,
                                       const std::optional<QString>& nibName,
                                       const QString& title) {
    closeSharedPanels();
    writeSettingsModels();
    if (nibName) {
        loadPane(className, *nibName, title);
    } else {
        loadURL(className, title);
    }
}

void SettingsWindowHost::loadPane(const QString& className, const QString& nibName,
                                  const QString& title) {
    ensureWindow();
    paneWillHide();
    if (viewCtrl_ && viewCtrl_->respondsToSaveViewSettings()) {
        viewCtrl_->saveViewSettings();
    }
    if (viewCtrl_) {
        platform::debugLog(
            QStringLiteral("unloading %1 - %2").arg(viewCtrl_->className(), viewCtrl_->title()));
    }
    platform::debugLog(QStringLiteral("\n\tLoading %1 viewCtrl %2\n").arg(nibName, className));
    viewCtrl_ = panes_.make(className, nibName);
    QWidget* view = viewCtrl_ ? viewCtrl_->view() : nullptr;
    if (view == nullptr) {
        platform::log(QStringLiteral("no view"));
        removeSubview();
        currentView_ = nullptr;
        fitPane();
        return;
    }
    if (view == currentView_) {
        return;
    }
    // Never less than its layout needs: a short window scrolls the pane instead.
    paneSize_ = view->size().expandedTo(view->sizeHint()).expandedTo(view->minimumSizeHint());
    removeSubview();
    platform::debugLog(QStringLiteral("adding subview %1\n").arg(className));
    view->setParent(placeHolderView_);
    view->installEventFilter(this);
    currentView_ = view;
    fitPane();
    paneArea_->ensureVisible(0, 0);
    view->show();
    // Some callers name no title, some pad theirs: the pane's own name stands in.
    QString shownTitle = title.trimmed();
    if (shownTitle.isEmpty()) {
        shownTitle = viewCtrl_->title().trimmed();
    }
    window_->setWindowTitle(settingsWindowTitle(shownTitle));
    window_->update();
    viewCtrl_->viewDidShow();
}

void SettingsWindowHost::loadURL(const QString& url, const QString& title) {
    ensureWindow();
    platform::log(QStringLiteral("Opening URL %1 no nib").arg(url));
    if (url.isEmpty()) {
        removeSubview();
        currentView_ = nullptr;
        return;
    }
    if (url.startsWith(QLatin1String("file://"))) {
        const QUrl file(url);
        platform::debugLog(QStringLiteral("target file: %1").arg(file.toLocalFile()));
        delegate_.openURL(QUrl::fromLocalFile(file.toLocalFile()));
        removeSubview();
        currentView_ = nullptr;
        return;
    }
    if (url.startsWith(QLatin1String("http://")) || url.startsWith(QLatin1String("https://"))) {
        delegate_.openURL(QUrl(url));
        removeSubview();
        const QSize area = placeHolderView_->size();
        auto* opened =
            new QLabel(tr("Opened '%1' in default browser.").arg(title), placeHolderView_);
        opened->setGeometry(16, (area.height() - 32) / 2, area.width() - 32, 32);
        opened->setToolTip(url);
        opened->setAlignment(Qt::AlignCenter);
        opened->setTextInteractionFlags(Qt::NoTextInteraction);
        opened->show();
        currentView_ = opened;
        return;
    }
    if (currentView_ && currentView_->parentWidget()) {
        currentView_->setGeometry(QRect(QPoint(0, 0), currentView_->parentWidget()->size()));
    }
}

void SettingsWindowHost::removeSubview() {
    ensureWindow();
    // Ends any editing in the pane before its view leaves.
    QWidget* focus = QApplication::focusWidget();
    if (focus && placeHolderView_->isAncestorOf(focus)) {
        focus->clearFocus();
    }
    const QList<QWidget*> shown =
        placeHolderView_->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    if (!shown.isEmpty()) {
        QWidget* first = shown.first();
        first->hide();
        first->removeEventFilter(this);
        first->setParent(nullptr);
        // A pane's view belongs to its pane; anything else shown here belongs to the window.
        if (!viewCtrl_ || first != viewCtrl_->viewIfLoaded()) {
            first->deleteLater();
        }
    }
    placeHolderView_->update();
}

bool SettingsWindowHost::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::LayoutRequest && watched == currentView_) {
        const QSize asked = currentView_->sizeHint().expandedTo(currentView_->minimumSizeHint());
        if (asked != paneSize_) {
            paneSize_ = asked;
            fitPane();
        }
    }
    return QObject::eventFilter(watched, event);
}

PreferencePane* SettingsWindowHost::returnViewController() const {
    platform::log(QStringLiteral("return view controller: %1")
                      .arg(viewCtrl_ ? viewCtrl_->className() : QStringLiteral("(null)")));
    return viewCtrl_.get();
}

QString SettingsWindowHost::returnViewControllerName() const {
    return viewCtrl_ ? viewCtrl_->className() : QString();
}

bool SettingsWindowHost::windowShouldClose() {
    IsShowDateDiff = false;
    IsShowCreateAlarm = false;
    IsShowGlobalScheduler = false;
    IsShowCountDown = false;
    return true;
}

void SettingsWindowHost::closeMinnowCalendar() {
    QWidget* minnow = delegate_.minnowCalendarWindow();
    if (minnow && minnow->isVisible()) {
        minnow->hide();
    }
}

void SettingsWindowHost::saveOpenPane() {
    paneWillHide();
    if (viewCtrl_ && viewCtrl_->respondsToSaveViewSettings()) {
        viewCtrl_->saveViewSettings();
    }
}

// ---- shortcuts

void SettingsWindowHost::showFeedbackPrefs() {
    paintForShortcut(B::btnFeedback, kOthersOnOpening);
    loadPrefsView(QStringLiteral("FeedbakReviewUpdateVC"), QStringLiteral("FeedbakReviewUpdateVC"),
                  QStringLiteral("Feedback"));
    activateAndOrderFront();
}

void SettingsWindowHost::showMenubarCalendarPrefs() {
    paintForShortcut(B::btnMenuCalendar, kOthersOnOpening);
    loadPrefsView(QStringLiteral("MenuCalendarPrefs"), QStringLiteral("MenuCalendarPrefs"),
                  QStringLiteral("Menubar Calendar"));
    activateAndOrderFront();
}

void SettingsWindowHost::showMinnowCalendarPrefs() {
    paintForShortcut(B::btnMinnowCalendar, kOthers);
    loadPrefsView(QStringLiteral("TCalendarPrefs"), QStringLiteral("TCalendarPrefs"),
                  QStringLiteral("Minnow"));
    activateAndOrderFront();
}

void SettingsWindowHost::showAppMenuPreferences() {
    showPrefs();
    paintForShortcut(B::btnASM, kOthers);
    loadPrefsView(QStringLiteral("TalvorASMViewCtrl"), QStringLiteral("PrefASM"),
                  QStringLiteral("Applications Menu"));
}

void SettingsWindowHost::showDateDifferenceCalculator() {
    if (IsShowDateDiff) {
        closeWindow();
        IsShowDateDiff = false;
        return;
    }
    IsShowDateDiff = true;
    showPrefs();
    paintForShortcut(B::btnDateDifference, kOthers);
    loadPrefsView(QStringLiteral("DateDiffPrefCalculator"),
                  QStringLiteral("DateDiffPrefCalculator"), QStringLiteral("Date Difference"));
}

void SettingsWindowHost::showLocationsPrefs() {
    showPrefs();
    paintForShortcut(B::btnMenuItems, kOthers);
    if (returnViewControllerName() != QLatin1String("TalvorMenuViewController")) {
        loadPrefsView(QStringLiteral("TalvorMenuViewController"), QStringLiteral("PrefsMenu"),
                      QStringLiteral("Menu Items"));
    }
}

void SettingsWindowHost::showCountDownTimer() {
    // Closes only what it opened: the count-down pane, still on screen.
    if (IsShowCountDown && window_->isVisible() &&
        returnViewControllerName() == QLatin1String("CountDownTimerViewController")) {
        closeWindow();
        IsShowCountDown = false;
        return;
    }
    showPrefs();
    IsShowCountDown = true;
    paintForShortcut(B::btnCountDown, kOthers);
    loadPrefsView(QStringLiteral("CountDownTimerViewController"),
                  QStringLiteral("CountDownTimerViewController"),
                  QStringLiteral("Countdown Timer"));
}

void SettingsWindowHost::showGlobalScheduler() {
    IsShowGlobalScheduler = true;
    showPrefs();
    paintForShortcut(B::btnGlobalScheduler, kOthers);
    loadPrefsView(QStringLiteral("GlobalSchedulerViewController"),
                  QStringLiteral("GlobalSchedulerViewController"),
                  QStringLiteral("Global Scheduler Preferences"));
}

void SettingsWindowHost::showCreateAlarm() {
    if (IsShowCreateAlarm) {
        closeWindow();
        IsShowCreateAlarm = false;
        return;
    }
    IsShowCreateAlarm = true;
    showPrefs();
    paintForShortcut(B::btnCreateAlarm, kOthers);
    loadPrefsView(QStringLiteral("AlarmSetController"), QStringLiteral("AlarmSetController"),
                  QStringLiteral("Create Alarm"));
}

void SettingsWindowHost::showTake5Prefrences() {
    paintForShortcut(B::btnAlarm, kOthers);
    loadPrefsView(QStringLiteral("TalvorTake5WindowsController"),
                  QStringLiteral("TalvorTake5WindowsController"), QStringLiteral("Take 5"));
    activateAndOrderFront();
}

void SettingsWindowHost::showLightDarkModePrefrences() {
    paintForShortcut(B::btnSwitchLightDark, kOthers);
    loadPrefsView(QStringLiteral("SwitchLightDarkVC"), QStringLiteral("SwitchLightDarkVC"),
                  QStringLiteral("Light/Dark Mode"));
    activateAndOrderFront();
}

}  // namespace talvor
