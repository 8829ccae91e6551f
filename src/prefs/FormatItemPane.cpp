#include "FormatItemPane.h"

#include "FormatPaneParts.h"
#include "platform/Clock.h"
#include "platform/DistributedNotificationCenter.h"
#include "services/SystemEventNames.h"
#include "widgets/FontTextField.h"
#include "widgets/TalvorCustomDatePanel.h"

#include <QComboBox>
#include <QFontDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace talvor {

FormatItemPane::FormatItemPane(const FormatItemTable& table, QString nibName, PaneDelegate delegate)
    : PreferencePane(QString::fromLatin1(table.className), std::move(nibName),
                     QString::fromLatin1(table.title)),
      spec_(table),
      delegate_(std::move(delegate)),
      table_(table.context, table.rows(),
             {[this] { spec_.sync(); },
              [this](const QString& name) { delegate_.postDistributed(name); },
              [this](const PaneCall& call) { perform(call); }, [this] { reloadAfterReset(); }}) {}

FormatItemPane::~FormatItemPane() = default;

std::unique_ptr<QWidget> FormatItemPane::loadView() {
    auto view = std::make_unique<QWidget>();
    view->setObjectName(className());
    QWidget* v = view.get();
    auto* root = new QVBoxLayout(v);
    root->setContentsMargins(24, 20, 24, 20);

    for (const auto& [title, columns] : spec_.sections) {
        table_.setColumns(title, columns);
    }
    for (const auto& section : spec_.sections) {
        table_.section(*v, *root, section.first);
    }
    buildFormatBox(*table_.section(*v, *root, spec_.formatSection));
    buildComposer(*v, *root);

    table_.build(*v, *root);
    root->addStretch(1);
    PaneLinks::LinkRow links = PaneLinks::makeLinkRow(
        *v, [this] { delegate_.open(PaneLinks::changeLogPage()); },
        [this] { delegate_.openManual(spec_.manual); });
    root->addLayout(links.layout);

    popUp_->LoadDateFormatMenu();
    readAndShowSettings();
    themeWatch_ = platform::DistributedNotificationCenter::defaultCenter().addObserver(
        AppleInterfaceThemeChangedNotification, QVariant(),
        [this](const platform::Notification&) { darkModeChanged(); });
    showAppearance(appearanceIsDark());
    return view;
}

void FormatItemPane::buildFormatBox(QGroupBox& formats) {
    auto* grid = static_cast<QGridLayout*>(formats.layout());
    format_ = new QComboBox(&formats);
    format_->setObjectName(QStringLiteral("format"));
    popUp_ = std::make_unique<FormatPopUp>(spec_.kind, format_);
    connect(format_, &QComboBox::activated, this, &FormatItemPane::selectFormat);
    auto* custom = new QPushButton(tr("Custom…"), &formats);
    custom->setObjectName(QStringLiteral("chooseCustomDate"));
    connect(custom, &QPushButton::clicked, this, &FormatItemPane::chooseCustomFormat);
    auto* remove = new QPushButton(tr("Delete"), &formats);
    remove->setObjectName(QStringLiteral("deleteFormat"));
    connect(remove, &QPushButton::clicked, this, &FormatItemPane::deleteSelectedFormat);
    grid->addWidget(new QLabel(tr("Format:"), &formats), 0, 0);
    grid->addWidget(format_, 0, 1);
    grid->addWidget(custom, 0, 2);
    grid->addWidget(remove, 0, 3);

    fontText_ = new FontTextField(&formats);
    fontText_->setObjectName(QStringLiteral("fontText"));
    fontText_->setReadOnly(true);
    fontText_->delegateChangeFont = [this](QObject* sender) {
        if (auto* panel = qobject_cast<QFontDialog*>(sender)) {
            changeFont(panel->currentFont(), panel);
        }
    };
    auto* fontButton = new QPushButton(tr("Font…"), &formats);
    fontButton->setObjectName(QStringLiteral("setFont"));
    connect(fontButton, &QPushButton::clicked, this, [this] { setFont(); });
    grid->addWidget(new QLabel(tr("Font:"), &formats), 1, 0);
    grid->addWidget(fontText_, 1, 1, 1, 2);
    grid->addWidget(fontButton, 1, 3);

    lightWell_ = makeColourWell(formats, spec_.lightWellName);
    darkWell_ = makeColourWell(formats, spec_.darkWellName);
    connect(lightWell_, &QPushButton::clicked, this, [this] {
        openColourPanel(viewIfLoaded(), spec_.lightColour(),
                        [this](const QColor& c) { changeColor(c, false); });
    });
    connect(darkWell_, &QPushButton::clicked, this, [this] {
        openColourPanel(viewIfLoaded(), spec_.darkColour(),
                        [this](const QColor& c) { changeColor(c, true); });
    });
    auto* wells = new QHBoxLayout;
    wells->addWidget(new QLabel(tr("Light:"), &formats));
    wells->addWidget(lightWell_);
    wells->addSpacing(12);
    wells->addWidget(new QLabel(tr("Dark:"), &formats));
    wells->addWidget(darkWell_);
    wells->addStretch(1);
    grid->addWidget(new QLabel(tr("Colour:"), &formats), 2, 0);
    grid->addLayout(wells, 2, 1, 1, 3);
    if (spec_.moreFormatRows) {
        spec_.moreFormatRows(formats, *grid, 3);
    }
    grid->setColumnStretch(1, 1);
}

void FormatItemPane::buildComposer(QWidget& view, QBoxLayout& root) {
    const platform::Clock& clock = platform::Clock::shared();
    FormatComposerParts composer = buildFormatComposer(
        view, tr("Compose a format"), spec_.tokens(clock.now(), clock.currentZone()), &renderNow);
    root.addWidget(composer.group);
    field_ = composer.field;
    preview_ = composer.preview;
    add_ = composer.add;
    connect(field_, &FormatTokenField::objectsChanged, this,
            &FormatItemPane::updateComposedPreview);
    connect(add_, &QPushButton::clicked, this, &FormatItemPane::addComposedFormat);
}

void FormatItemPane::readAndShowSettings() {
    if (spec_.readStored) {
        spec_.readStored();
    }
    showSettings();
}

void FormatItemPane::reloadAfterReset() {
    readAndShowSettings();
    if (spec_.resetClearsComposer) {
        clearComposer();
    }
}

void FormatItemPane::showSettings() {
    font_ = spec_.font();
    if (lightWell_) {
        showWellColour(*lightWell_, spec_.lightColour());
    }
    if (darkWell_) {
        showWellColour(*darkWell_, spec_.darkColour());
    }
    if (popUp_) {
        popUp_->select(spec_.format());
    }
    if (spec_.showMoreFormatRows && format_) {
        spec_.showMoreFormatRows(*static_cast<QGroupBox*>(format_->parentWidget()));
    }
    updateFontInfo();
    table_.load();
}

void FormatItemPane::clearComposer() {
    if (field_) {
        field_->clear();
    }
    composed_.clear();
    if (preview_) {
        preview_->clear();
    }
    if (add_) {
        add_->setEnabled(false);
    }
}

void FormatItemPane::updateFontInfo() {
    if (!fontText_) {
        return;
    }
    fontText_->setText(fontLabelText(font_));
    fontText_->setFont(font_);
    QPalette palette = fontText_->palette();
    palette.setColor(QPalette::Text, spec_.lightColour());
    fontText_->setPalette(palette);
    if (preview_ && spec_.previewInItemFont) {
        preview_->setFont(font_);
    }
}

void FormatItemPane::showAppearance(bool dark) {
    dark_ = dark;
    if (lightWell_) {
        lightWell_->setEnabled(!dark);
    }
    if (darkWell_) {
        darkWell_->setEnabled(dark);
    }
    if (preview_) {
        QPalette palette = preview_->palette();
        palette.setColor(QPalette::WindowText, dark ? spec_.darkColour() : spec_.lightColour());
        preview_->setPalette(palette);
    }
}

void FormatItemPane::darkModeChanged() {
    showAppearance(appearanceIsDark());
}

void FormatItemPane::selectFormat(int index) {
    if (!popUp_ || index < 0 || index >= popUp_->list().entries().size() ||
        FormatList::isSeparator(popUp_->list().entries().at(index))) {
        return;
    }
    spec_.format() = popUp_->selectedPattern(spec_.defaultFormat);
    spec_.commit();
}

void FormatItemPane::chooseCustomFormat() {
    TalvorCustomDatePanel& panel = TalvorCustomDatePanel::sharedPanel();
    panel.setPatternLanguage(TalvorCustomDatePanel::PatternLanguage::Uts35);
    // What the pop-up shows is what the sheet edits (the last item for a format not in it).
    const bool shown = spec_.sheetEditsShownFormat && popUp_;
    panel.setSetting(shown ? popUp_->selectedPattern(spec_.format()) : spec_.format());
    connect(&panel, &QDialog::finished, this, &FormatItemPane::chooseCustomFormatDidEnd,
            Qt::SingleShotConnection);
    panel.beginSheet(viewIfLoaded() != nullptr ? viewIfLoaded()->window() : nullptr);
}

void FormatItemPane::chooseCustomFormatDidEnd(int returnCode) {
    const QString pattern = TalvorCustomDatePanel::sharedPanel().format();
    if (returnCode == 0 || pattern.isEmpty()) {
        return;
    }
    spec_.format() = pattern;
    if (popUp_) {
        popUp_->select(pattern);
    }
    spec_.commit();
}

QFontDialog* FormatItemPane::setFont() {
    if (!fontText_) {
        return nullptr;
    }
    QFontDialog* panel = fontText_->openFontPanel();
    const QSignalBlocker quiet(panel);
    panel->setCurrentFont(font_);
    return panel;
}

void FormatItemPane::changeFont(const QFont& chosen, QFontDialog* panel) {
    QFont font = chosen;
    if (font.pointSizeF() > kMaxFontSize) {
        font.setPointSizeF(kMaxFontSize);
        if (panel != nullptr) {
            const QSignalBlocker quiet(panel);
            panel->setCurrentFont(font);
        }
    }
    font_ = font;
    spec_.font() = font;
    spec_.commit();
    updateFontInfo();
}

void FormatItemPane::changeColor(const QColor& color, bool dark) {
    (dark ? spec_.darkColour() : spec_.lightColour()) = color;
    if (QPushButton* well = dark ? darkWell_.data() : lightWell_.data()) {
        showWellColour(*well, color);
    }
    spec_.commit();
    updateFontInfo();
    showAppearance(dark_);
}

void FormatItemPane::updateComposedPreview() {
    if (!field_) {
        return;
    }
    composed_ = spec_.compose(field_->objects());
    const platform::Clock& clock = platform::Clock::shared();
    const QString preview = spec_.preview(composed_, clock.now(), clock.currentZone());
    if (preview_) {
        preview_->setText(preview);
    }
    if (add_) {
        add_->setEnabled(!preview.isEmpty());
    }
}

void FormatItemPane::addComposedFormat() {
    if (!popUp_ || composed_.isEmpty() || !preview_ || preview_->text().isEmpty()) {
        return;
    }
    if (popUp_->add(composed_)) {
        spec_.format() = popUp_->selectedPattern(spec_.defaultFormat);
        spec_.commit();
    }
}

void FormatItemPane::deleteSelectedFormat() {
    if (!popUp_) {
        return;
    }
    popUp_->deleteSelected([this](bool deleted) {
        if (deleted) {
            spec_.format() = popUp_->selectedPattern(spec_.defaultFormat);
            spec_.commit();
        }
    });
}

void FormatItemPane::resetToDefaults() {
    table_.apply(QStringLiteral("resetToDefaults"));
}

void FormatItemPane::saveViewSettings() {
    if (viewIfLoaded() == nullptr) {
        return;
    }
    spec_.sync();
}

void FormatItemPane::perform(const PaneCall& call) {
    if (std::holds_alternative<PaneRequest::UpdateMenuBarItems>(call)) {
        delegate_.call(delegate_.updateMenuBarItems);
    }
}

}  // namespace talvor
