#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace talvor {

// The files that make up a runnable copy of the program.
struct ProgramFiles {
    QString executable;
    // Our own shared libraries and the media module: they go to <copy>/lib/talvor.
    QStringList libraries;
    // Folders under share/ (talvor: sounds, tables, manual; icons): copied with their name.
    QStringList shareFolders;

    // What lies beside an executable in the installed layout (bin/, lib/talvor, share/).
    static ProgramFiles beside(const QString& executable);
    // The running program: what lies beside it, and the libraries of ours it has loaded and
    // the media module it loads, wherever the build put them.
    static ProgramFiles running();
};

// A copy of the program that moved itself, in a folder of its own apart from the user's
// data: <home>/.local/lib/talvor-pro holds it in the installed layout, <home>/.local/bin/talvor
// points at its executable, and a menu entry starts it.
class PlacedCopy {
  public:
    // `binFolder`: the folder of the command (~/.local/bin); the copy's folder is beside it.
    explicit PlacedCopy(const QString& binFolder);

    QString folder() const { return folder_; }
    QString executable() const;
    // The command in binFolder: a link to the executable.
    QString link() const { return link_; }
    static QString menuEntryPath();

    // Copies the files into the folder, replacing an earlier copy, which is removed (it can
    // be made again, and a copy in the trash at every move would fill it), then makes the
    // link and the menu entry. An earlier copy stays when the new one cannot be made.
    bool place(const ProgramFiles& files, QString* error) const;

  private:
    QString folder_;
    QString link_;
};

// A file or folder the program placed for the user, and what it is.
struct PlacedFile {
    QString path;
    QString what;
};

// What `program` placed for the user: the autostart entry and the menu entry when they start
// it; when it is a copy that moved itself (it lives in the copy's folder), the link to it and
// the copy itself. Never the user's data or settings.
QList<PlacedFile> placedFiles(const QString& program, const QString& binFolder);
// Removes them; a line for each, saying whether it went.
QStringList removePlacedFiles(const QList<PlacedFile>& files);

}  // namespace talvor
