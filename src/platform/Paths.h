#pragma once

#include <QString>

namespace talvor::platform {

// The application's folders, following the XDG base-directory variables at every call so
// that tests can point them at temporary folders.
class Paths {
  public:
    // $XDG_CONFIG_HOME/talvor: the preference domains.
    static QString configDir();
    // $XDG_DATA_HOME/talvor: the per-user Application Support folder.
    static QString dataDir();
    // $XDG_CACHE_HOME/talvor: the Caches folder.
    static QString cacheDir();
    // The installed share/talvor beside the executable (read-only for users); the variable
    // TALVOR_SYSTEM_DATA_DIR overrides it.
    static QString systemDataDir();
    // The user's home folder.
    static QString homeDir();

    // Creates a folder and its parents; true when it exists afterwards.
    static bool makePath(const QString& dir);
};

}  // namespace talvor::platform
