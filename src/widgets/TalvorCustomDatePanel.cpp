#include "TalvorCustomDatePanel.h"

#include "foundation/CalendarFormat.h"
#include "foundation/IcuDates.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/SharedInstance.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace talvor {
namespace {

// Made on first use; a parent that takes it in deletes it, and the next use makes another.
using SharedPanel = SharedInstance<TalvorCustomDatePanel, SharedLifetime::ForProcess>;

}  // namespace

TalvorCustomDatePanel::TalvorCustomDatePanel(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Custom Format"));
    auto* layout = new QVBoxLayout(this);
    auto* prompt = new QLabel(tr("Format:"), this);
    mTextField = new QLineEdit(this);
    mTextField->setMinimumWidth(320);
    mTextDateSample = new QLabel(this);
    mTextDateSample->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(prompt);
    layout->addWidget(mTextField);
    layout->addWidget(mTextDateSample);
    layout->addWidget(buttons);
    okButton = buttons->button(QDialogButtonBox::Ok);
    connect(mTextField, &QLineEdit::textChanged, this, [this] { updateFormatSample(); });
    connect(buttons, &QDialogButtonBox::accepted, this, &TalvorCustomDatePanel::ok);
    connect(buttons, &QDialogButtonBox::rejected, this, &TalvorCustomDatePanel::cancel);
    updateFormatSample();
}

TalvorCustomDatePanel::~TalvorCustomDatePanel() {
    platform::debugLog(QStringLiteral("dealloc customDAte"));
    SharedPanel::withdraw(this);
}

TalvorCustomDatePanel& TalvorCustomDatePanel::sharedPanel() {
    return SharedPanel::get();
}

void TalvorCustomDatePanel::beginSheet(QWidget* parent) {
    if (parent != nullptr) {
        setParent(parent, windowFlags());
    }
    setWindowModality(parent != nullptr ? Qt::WindowModal : Qt::ApplicationModal);
    updateFormatSample();
    open();
}

QString TalvorCustomDatePanel::getSetting() const {
    return mTextField->text();
}

void TalvorCustomDatePanel::setSetting(const QString& format) {
    mTextField->setText(format);
    updateFormatSample();
}

void TalvorCustomDatePanel::setPatternLanguage(PatternLanguage language) {
    language_ = language;
    updateFormatSample();
}

QString TalvorCustomDatePanel::sampleText(const QString& format, PatternLanguage language,
                                          Date now) {
    const QTimeZone zone = platform::Clock::shared().currentZone();
    if (language == PatternLanguage::Uts35) {
        const auto formatter = IcuDates::createPatternFormat(format, zone);
        return formatter ? IcuDates::format(*formatter, now) : QString();
    }
    const QDateTime local = now.toQDateTime().toTimeZone(zone);
    QString text = format;
    TalvorDateFormat::fixWeekNum(text, QString::number(local.date().weekNumber()));
    TalvorDateFormat::fixTimeZone(text, zone.abbreviation(local));
    return formatCalendarDate(text, now, zone);
}

bool TalvorCustomDatePanel::acceptable() const {
    return !sampleText(getSetting(), language_, platform::Clock::shared().now())
                .trimmed()
                .isEmpty();
}

void TalvorCustomDatePanel::updateFormatSample() {
    platform::debugLog(QStringLiteral("changed date format"));
    const QString sample = sampleText(getSetting(), language_, platform::Clock::shared().now());
    const bool usable = !sample.trimmed().isEmpty();
    // The item showing the format would be left without text, and vanish from the bar.
    mTextDateSample->setText(usable ? sample
                             : getSetting().trimmed().isEmpty()
                                 ? tr("Type a format: an empty one would show nothing.")
                                 : tr("This format shows nothing."));
    okButton->setEnabled(usable);
}

void TalvorCustomDatePanel::ok() {
    if (!acceptable()) {
        return;
    }
    format_ = getSetting();
    done(1);
}

void TalvorCustomDatePanel::cancel() {
    done(0);
}

}  // namespace talvor
