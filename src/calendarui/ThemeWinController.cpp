#include "ThemeWinController.h"

#include "DragView.h"
#include "foundation/vltPaths.h"
#include "platform/Log.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace talvor {
namespace {

QString monthFile(int month) {
    return QStringLiteral("%1.jpg").arg(month);
}

}  // namespace

ThemeWinController::ThemeWinController(const QString& themesFolder)
    : themesFolder_(themesFolder.isEmpty() ? vltPaths::TalvorThemesFolder() : themesFolder) {
    window_ = std::make_unique<QWidget>();
    window_->setObjectName(QStringLiteral("ThemeEditor"));
    window_->setWindowTitle(tr("Talvor Themes"));

    monthsTab_ = new QWidget(window_.get());
    auto* grid = new QGridLayout(monthsTab_);
    const QLocale locale;
    for (int month = 1; month <= 12; ++month) {
        auto* well = new DragView(monthsTab_);
        well->setObjectName(QStringLiteral("month%1").arg(month));
        well->setFixedSize(96, 72);
        well->setToolTip(locale.standaloneMonthName(month, QLocale::ShortFormat));
        well->setAutoFillBackground(true);
        well->setDelegate([this, well](const QImage& picture) {
            well->setImage(picture);
            setDirty();
        });
        wells_[static_cast<size_t>(month - 1)] = well;
        grid->addWidget(well, (month - 1) / 4, (month - 1) % 4);
    }

    name_ = new QLineEdit(window_.get());
    name_->setObjectName(QStringLiteral("oThemeName"));
    connect(name_, &QLineEdit::textEdited, this, &ThemeWinController::setDirty);
    themes_ = new QComboBox(window_.get());
    themes_->setObjectName(QStringLiteral("pThemesList"));
    connect(themes_, &QComboBox::activated, this, [this](int index) {
        const QString path = themes_->itemData(index).toString();
        setActiveTheme(path, QFileInfo(path).fileName());
    });
    copy_ = new QRadioButton(tr("Copy the pictures"), window_.get());
    link_ = new QRadioButton(tr("Link to the pictures"), window_.get());
    copy_->setChecked(true);
    save_ = new QPushButton(tr("Save"), window_.get());
    save_->setObjectName(QStringLiteral("bSaveAs"));
    connect(save_, &QPushButton::clicked, this, &ThemeWinController::SaveAs);

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(tr("Theme:"), window_.get()));
    top->addWidget(themes_, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(new QLabel(tr("Name:"), window_.get()));
    bottom->addWidget(name_, 1);
    bottom->addWidget(copy_);
    bottom->addWidget(link_);
    bottom->addWidget(save_);
    auto* layout = new QVBoxLayout(window_.get());
    layout->addLayout(top);
    layout->addWidget(monthsTab_);
    layout->addLayout(bottom);
    clean();
    reloadThemes();
}

ThemeWinController::~ThemeWinController() = default;

ThemeWinController& ThemeWinController::sharedInstance() {
    static ThemeWinController* const shared = new ThemeWinController();
    return *shared;
}

int ThemeWinController::HasAllThemePicts(const QString& folder) {
    int count = 0;
    for (int month = 1; month <= 12; ++month) {
        count += QFileInfo(QDir(folder).filePath(monthFile(month))).isFile() ? 1 : 0;
    }
    return count;
}

QList<ThemeWinController::ThemeEntry> ThemeWinController::themesIn(const QString& themesFolder) {
    QList<ThemeEntry> entries;
    const QDir dir(themesFolder);
    for (const QString& name : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString path = dir.filePath(name);
        entries.append(
            {HasAllThemePicts(path) == 12 ? name : name + QStringLiteral(" incomplete"), path});
    }
    return entries;
}

bool ThemeWinController::isValidThemeName(const QString& name) {
    const QString trimmed = name.trimmed();
    return !trimmed.isEmpty() && trimmed == name && !name.contains(QLatin1Char('/')) &&
           !name.contains(QLatin1Char('\\')) && !name.startsWith(QLatin1Char('.')) &&
           !name.contains(QChar(0));
}

void ThemeWinController::reloadThemes() {
    themes_->clear();
    for (const ThemeEntry& entry : themesIn(themesFolder_)) {
        themes_->addItem(entry.title, entry.path);
    }
}

void ThemeWinController::clean() {
    dirty_ = false;
    save_->setEnabled(false);
}

void ThemeWinController::setDirty() {
    dirty_ = true;
    save_->setEnabled(true);
}

void ThemeWinController::setLinked(bool link) {
    (link ? link_ : copy_)->setChecked(true);
}

void ThemeWinController::setActiveTheme(const QString& folder, const QString& title) {
    name_->setText(title);
    if (const int index = themes_->findData(folder); index >= 0) {
        themes_->setCurrentIndex(index);
    }
    for (int month = 1; month <= 12; ++month) {
        const QString path = QDir(folder).filePath(monthFile(month));
        well(month)->setImageFile(QFileInfo(path).isFile() ? path : QString());
    }
    clean();
}

bool ThemeWinController::SaveAs() {
    lastError_.clear();
    const QString name = name_->text();
    if (!isValidThemeName(name)) {
        lastError_ = tr("A theme needs a name without \"/\" that does not begin with a dot.");
        auto* box = new QMessageBox(QMessageBox::Warning, tr("Talvor Themes Creation"), lastError_,
                                    QMessageBox::Ok, window_.get());
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
        return false;
    }
    const QString folder = QDir(themesFolder_).filePath(name);
    QDir().mkpath(folder);
    const bool link = link_->isChecked();
    for (int month = 1; month <= 12; ++month) {
        const QString source = well(month)->imageFile();
        const QString target = QDir(folder).filePath(monthFile(month));
        if (source.isEmpty() || !QFileInfo::exists(source) ||
            QFileInfo(source).canonicalFilePath() == QFileInfo(target).canonicalFilePath()) {
            continue;
        }
        QFile::remove(target);
        const bool done = link ? QFile::link(source, target) : QFile::copy(source, target);
        if (!done) {
            lastError_ = (link ? QStringLiteral("Error creating symbolic link at: %1")
                               : QStringLiteral("Error copying picture to: %1"))
                             .arg(target);
            platform::log(lastError_);
            auto* box = new QMessageBox(
                QMessageBox::Warning, tr("Talvor Themes Creation"),
                tr("File operation error: %1 with file: %2").arg(lastError_, source),
                QMessageBox::Ok, window_.get());
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->open();
            break;  // the preview is still written
        }
    }
    const QString preview = QDir(themesFolder_).filePath(name + QStringLiteral("4x3.jpg"));
    if (monthsTab_->grab().toImage().save(preview, "JPG")) {
        platform::debugLog(QStringLiteral("Theme preview written at: %1").arg(preview));
    } else {
        platform::log(QStringLiteral("error writting theme preview at: %1").arg(preview));
    }
    clean();
    reloadThemes();
    if (const int index = themes_->findData(folder); index >= 0) {
        themes_->setCurrentIndex(index);
    }
    return lastError_.isEmpty();
}

}  // namespace talvor
