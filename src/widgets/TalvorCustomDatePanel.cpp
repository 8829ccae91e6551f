#include "TalvorCustomDatePanel.h"

#include "foundation/CalendarFormat.h"
#include "foundation/IcuDates.h"
#include "platform/Clock.h"
#include "platform/Log.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace talvor {
namespace {

TalvorCustomDatePanel* gShared = nullptr;

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
    connect(mTextField, &QLineEdit::textChanged, this, [this] { updateFormatSample(); });
    connect(buttons, &QDialogButtonBox::accepted, this, &TalvorCustomDatePanel::ok);
    connect(buttons, &QDialogButtonBox::rejected, this, &TalvorCustomDatePanel::cancel);
    updateFormatSample();
}

TalvorCustomDatePanel::~TalvorCustomDatePanel() {
    platform::debugLog(QStringLiteral("dealloc customDAte"));
    if (gShared == this) {
        gShared = nullptr;
    }
}

TalvorCustomDatePanel& TalvorCustomDatePanel::sharedPanel() {
    if (gShared == nullptr) {
        gShared = new TalvorCustomDatePanel();
    }
    return *gShared;
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

void TalvorCustomDatePanel::updateFormatSample() {
    platform::debugLog(QStringLiteral("changed date format"));
    mTextDateSample->setText(sampleText(getSetting(), language_, platform::Clock::shared().now()));
}

void TalvorCustomDatePanel::ok() {
    format_ = getSetting();
    done(1);
}

void TalvorCustomDatePanel::cancel() {
    done(0);
}

}  // namespace talvor
