#include "StatusItemsPlaceChoice.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace talvor {

StatusItemsPlaceChoice::StatusItemsPlaceChoice(
    std::function<void(platform::StatusItemsPlace)> apply, QWidget* parent)
    : QWidget(parent), apply_(std::move(apply)) {
    setObjectName(QStringLiteral("statusItemsPlace"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(tr("Show the clock items in:"), this));
    strip_ = new QRadioButton(tr("our own strip"), this);
    strip_->setObjectName(QStringLiteral("placeStrip"));
    panel_ = new QRadioButton(tr("the desktop's panel"), this);
    panel_->setObjectName(QStringLiteral("placePanel"));
    auto* group = new QButtonGroup(this);
    group->addButton(strip_);
    group->addButton(panel_);
    row->addWidget(strip_);
    row->addWidget(panel_);
    row->addStretch(1);
    layout->addLayout(row);
    note_ = new QLabel(this);
    note_->setObjectName(QStringLiteral("placeNote"));
    note_->setWordWrap(true);
    note_->hide();
    layout->addWidget(note_);
    connect(strip_, &QRadioButton::clicked, this,
            [this] { choose(platform::StatusItemsPlace::Strip); });
    connect(panel_, &QRadioButton::clicked, this,
            [this] { choose(platform::StatusItemsPlace::DesktopPanel); });
}

void StatusItemsPlaceChoice::load() {
    const std::optional<platform::StatusItemsPlace> chosen = platform::storedStatusItemsPlace();
    showPlace(chosen.value_or(platform::StatusItemsPlace::Strip));
    platform::DesktopPanel::shared().findHost(this, [this, chosen](bool host) {
        showPlace(chosen.value_or(platform::effectiveStatusItemsPlace(chosen, host)));
        note_->setText(host ? QString()
                            : tr("No panel of this desktop shows status items, so the clock "
                                 "items stay on our own strip. On GNOME, install the "
                                 "AppIndicator extension (gnome-shell-extension-appindicator)."));
        note_->setVisible(!host);
    });
}

void StatusItemsPlaceChoice::showPlace(platform::StatusItemsPlace place) {
    (place == platform::StatusItemsPlace::Strip ? strip_ : panel_)->setChecked(true);
}

void StatusItemsPlaceChoice::choose(platform::StatusItemsPlace place) {
    platform::storeStatusItemsPlace(place);
    if (apply_) {
        apply_(place);
    }
}

}  // namespace talvor
