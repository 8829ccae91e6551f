#include "platform/Log.h"
#include "platform/Preferences.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Talvor Pro"));
    QApplication::setOrganizationDomain(QStringLiteral("larkspindle.com"));
    QApplication::setQuitOnLastWindowClosed(false);

    const int rc = QApplication::exec();
    talvor::platform::Preferences::synchronizeAll();
    return rc;
}
