#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <array>
#include <memory>

class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QWidget;

namespace talvor {

class DragView;

// The theme editor: twelve picture wells, one per month, a name, and a save button that
// writes the theme as a folder of "<month>.jpg" pictures (copied or linked) inside the themes
// folder, with a preview "<name>4x3.jpg" beside it. A theme folder is what the month-grid
// calendar takes as its picture folder.
class ThemeWinController : public QObject {
    Q_OBJECT
  public:
    // `themesFolder`: where themes are saved and listed (the user's themes folder when empty).
    explicit ThemeWinController(const QString& themesFolder = QString());
    ~ThemeWinController() override;

    static ThemeWinController& sharedInstance();

    QWidget* window() const { return window_.get(); }

    struct ThemeEntry {
        QString title;  // the folder's name, with " incomplete" when a month lacks its picture
        QString path;
        bool operator==(const ThemeEntry&) const = default;
    };
    // How many of the months 1-12 have their "<month>.jpg" file in the folder (a folder of
    // that name does not count).
    static int HasAllThemePicts(const QString& folder);
    static QList<ThemeEntry> themesIn(const QString& themesFolder);
    // A name that stays inside the themes folder: not empty, no "/" or "\", not "." or "..",
    // not starting with a dot.
    static bool isValidThemeName(const QString& name);

    // Shows the theme's pictures in the wells, its name in the field; nothing left to save.
    void setActiveTheme(const QString& folder, const QString& title);
    // Writes the theme; false (and a message) when the name is refused. Copies the pictures
    // unless `link` is chosen, skipping wells whose picture is missing or already in place.
    bool SaveAs();

    bool dirty() const { return dirty_; }
    void setDirty();
    DragView* well(int month) const { return wells_.at(static_cast<size_t>(month - 1)); }
    QLineEdit* nameField() const { return name_; }
    QPushButton* saveButton() const { return save_; }
    QComboBox* themesList() const { return themes_; }
    void setLinked(bool link);
    // The error of the last save, empty when it went well.
    const QString& lastError() const { return lastError_; }
    // Re-reads the themes folder into the pop-up.
    void reloadThemes();

  private:
    void clean();

    QString themesFolder_;
    std::unique_ptr<QWidget> window_;
    std::array<DragView*, 12> wells_{};
    QWidget* monthsTab_ = nullptr;
    QLineEdit* name_ = nullptr;
    QPushButton* save_ = nullptr;
    QComboBox* themes_ = nullptr;
    QRadioButton* copy_ = nullptr;
    QRadioButton* link_ = nullptr;
    bool dirty_ = false;
    QString lastError_;
};

}  // namespace talvor
