#include "LoadVCAL.h"

#include "TalvorPlugin.h"

#include <QDir>
#include <QFileInfo>

namespace talvor::LoadVCAL {

void TalvorLoadVCAL(platform::Menu& menu, const platform::MenuAction& andAction,
                    const QString& calendarFolder) {
    menu.setAutoenablesItems(false);
    const QDir dir(calendarFolder);
    const QStringList names =
        calendarFolder.isEmpty()
            ? QStringList()
            : dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                            QDir::Name);
    if (names.isEmpty()) {
        return;
    }
    menu.addItemWithTitle(QStringLiteral("Your Calendars:"))->setEnabled(false);
    for (const QString& name : names) {
        const QString path = dir.filePath(name);
        const QFileInfo info(path);
        if (name.startsWith(u'.') || !info.isFile() || !info.isReadable()) {
            continue;
        }
        const QString extension = TalvorPlugin::pathExtension(name);
        const QString title = extension.isEmpty() ? name : name.chopped(extension.size() + 1);
        auto item = menu.addItemWithTitle(title, andAction);
        item->setRepresentedObject(path);
    }
}

}  // namespace talvor::LoadVCAL

namespace talvor::LoadPopUpVCAL {

void TalvorLoadVCALInPopUp(platform::Menu& popUpMenu, const QString& calendarFolder) {
    LoadVCAL::TalvorLoadVCAL(popUpMenu, {}, calendarFolder);
}

}  // namespace talvor::LoadPopUpVCAL
