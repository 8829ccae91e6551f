#include "PaneDelegate.h"

#include "platform/DistributedNotificationCenter.h"
#include "platform/Workspace.h"
#include "services/SwitchLightDarkVC.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QPushButton>

namespace talvor {

void PaneDelegate::open(const QUrl& url) const {
    if (openURL) {
        openURL(url);
    } else {
        platform::Workspace::shared().openURL(url);
    }
}

void PaneDelegate::openManual(Manual::Section section) const {
    Manual::open(section, openURL);
}

void PaneDelegate::postDistributed(const QString& name, const QString& object) const {
    platform::DistributedNotificationCenter& center =
        distributedCenter ? *distributedCenter
                          : platform::DistributedNotificationCenter::defaultCenter();
    center.post(name, object);
}

namespace PaneLinks {
namespace {

QUrl page(const QString& path) {
    return QUrl(QLatin1String(SwitchLightDarkVC::kHelpHost) + path);
}

}  // namespace

QUrl changeLogPage() {
    return page(QStringLiteral("/product/talvor/#changelog"));
}

QUrl homePage() {
    return page(QStringLiteral("/"));
}

std::optional<QString> versionTitle() {
    const QString version = QCoreApplication::applicationVersion();
    if (version.isEmpty()) {
        return std::nullopt;
    }
    return QCoreApplication::translate("talvor::PaneLinks", "Version %1").arg(version);
}

void titleVersionButton(QAbstractButton& button) {
    if (const std::optional<QString> title = versionTitle()) {
        button.setText(*title);
    }
}

LinkRow makeLinkRow(QWidget& parent, std::function<void()> onVersion,
                    std::function<void()> onHelp) {
    LinkRow row{
        new QHBoxLayout(),
        new QPushButton(QCoreApplication::translate("talvor::PaneLinks", "Version"), &parent),
        new QPushButton(QStringLiteral("?"), &parent)};
    row.versionButton->setObjectName(QStringLiteral("versionButton"));
    row.helpButton->setObjectName(QStringLiteral("helpButton"));
    titleVersionButton(*row.versionButton);
    QObject::connect(row.versionButton, &QPushButton::clicked, std::move(onVersion));
    QObject::connect(row.helpButton, &QPushButton::clicked, std::move(onHelp));
    row.layout->addWidget(row.versionButton);
    row.layout->addStretch(1);
    row.layout->addWidget(row.helpButton);
    return row;
}

}  // namespace PaneLinks
}  // namespace talvor
