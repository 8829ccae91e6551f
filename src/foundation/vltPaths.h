#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace talvor::vltPaths {

// Creates the folder with its parents; true when it exists afterwards. Failures are logged,
// except under the system data folder, where users have no rights.
bool vltMakeDirIfNeeded(const QString& path);

// .../com.larkspindle.Talvor/Talvor, plus /`name` when given; each level created.
QString vltGetApplSupportFolder(const QString& name = QString());
// The same per-user folder as vltGetApplSupportFolder(); not the system folder that
// TalvorFilePaths::vltGetLocalFennelWorkshopSupportDir returns.
QString vltGetLocalFennelWorkshopSupportDir();

// Themes: one per-user folder where themes are saved, listed, looked up and shown, and a
// read-only system folder whose themes are listed and looked up after the user's.
QString TalvorThemesFolder();
QString TalvorSystemThemesFolder();
// The folder of theme `name`: the user's first, then the system's; "" when neither exists.
QString TalvorThemePath(const QString& name);
// The entries of the user's themes folder, then those of the system folder that the user's
// lacks. A missing user folder is created; nullopt when there was none and the system
// folder has nothing either.
std::optional<QStringList> TalvorThemesList();
bool vltShowTalvorThemeFolder();
bool vltShowSystemTalvorThemeFolder();

// Every path (relative, sorted) under .../Talvor/Pictures; a missing folder is created and
// gives nullopt.
std::optional<QStringList> TalvorPicturesList();

// The user's Application Support folder and its "Talvor" folder.
bool vltTalvorMakeUserSupportDir();
// The system com.larkspindle.Talvor folder with "Talvor", "Pictures", "Holidays" and
// "Themes", linking the desktop backgrounds into "Pictures" when both exist.
void vltTalvorMakeLocalSupportDir();

// Photo-frame folders of a sibling application.
QString vltGetDeskTopBackgroundsPath();
QString vltGetiPhotoAlbumPath();
QString vltGetVistamoorSupportPath();
void vltVistamoorMakeSupportDir();
bool vltShowFramesFolder();
// The picture files under the frames folder (full paths), without archives, text, property
// lists, ".DS_Store" and the paths in `exclusion`; nullopt when the folder is missing.
std::optional<QStringList> vltVistamoorGetListFrames(const QStringList& exclusion = QStringList());

// Opening a folder in the file browser goes through this handler; by default the desktop
// (QDesktopServices, else xdg-open). Returns the previous handler; an empty one restores
// the default.
using OpenFolderHandler = std::function<bool(const QString& folder)>;
OpenFolderHandler setOpenFolderHandler(OpenFolderHandler handler);
bool openFolder(const QString& folder);

}  // namespace talvor::vltPaths
