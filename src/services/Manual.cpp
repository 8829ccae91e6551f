#include "Manual.h"

#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/Workspace.h"

#include <QDir>
#include <QFileInfo>

namespace talvor {

QString Manual::anchor(Section section) {
    switch (section) {
        case Section::Contents:
            return QStringLiteral("contents");
        case Section::TimeMenu:
            return QStringLiteral("pane-time-menu");
        case Section::DateMenu:
            return QStringLiteral("pane-date-menu");
        case Section::MenuItems:
            return QStringLiteral("pane-menu-items");
        case Section::Chimes:
            return QStringLiteral("pane-chimes");
        case Section::SetTimeZone:
            return QStringLiteral("pane-set-timezone");
        case Section::LightDark:
            return QStringLiteral("pane-light-dark");
        case Section::MenubarCalendar:
            return QStringLiteral("pane-menubar-calendar");
        case Section::ApplicationsMenu:
            return QStringLiteral("pane-applications-menu");
        case Section::About:
            return QStringLiteral("pane-about");
        case Section::CreateAlarm:
            return QStringLiteral("pane-create-alarm");
        case Section::FloatingClocks:
            return QStringLiteral("pane-floating-clocks");
        case Section::GlobalScheduler:
            return QStringLiteral("pane-global-scheduler");
        case Section::LocationPicker:
            return QStringLiteral("location-picker");
        case Section::Take5:
            return QStringLiteral("pane-take-5");
        case Section::CountdownTimer:
            return QStringLiteral("pane-countdown-timer");
        case Section::General:
            return QStringLiteral("pane-general");
    }
    return QStringLiteral("contents");
}

QString Manual::indexPath() {
    return QDir(platform::Paths::systemDataDir()).filePath(QStringLiteral("manual/index.html"));
}

std::optional<QUrl> Manual::url(Section section) {
    const QString path = indexPath();
    if (!QFileInfo(path).isFile()) {
        return std::nullopt;
    }
    QUrl url = QUrl::fromLocalFile(path);
    url.setFragment(anchor(section));
    return url;
}

bool Manual::open(Section section, const std::function<void(const QUrl& url)>& opener) {
    const std::optional<QUrl> page = url(section);
    if (!page) {
        platform::log(QStringLiteral("Help: the manual is not installed (no %1)").arg(indexPath()));
        return false;
    }
    if (opener) {
        opener(*page);
        return true;
    }
    if (!platform::Workspace::shared().openURL(*page)) {
        platform::log(QStringLiteral("Help: could not open %1").arg(page->toString()));
        return false;
    }
    return true;
}

}  // namespace talvor
