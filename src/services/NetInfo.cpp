#include "NetInfo.h"

#include "platform/Log.h"

#include <QSysInfo>

namespace talvor {

QString NetInfoText() {
    const QString computer = QSysInfo::machineHostName();
    const QString local = computer.section(QLatin1Char('.'), 0, 0);
    return QStringLiteral("Computer Name: %1\nLocal Host Name: %2\nCurrent Location: %3\n")
        .arg(computer, local, QStringLiteral("Automatic"));
}

void NetInfo() {
    platform::log(NetInfoText());
}

}  // namespace talvor
