#include "FormatPaneParts.h"

#include "foundation/FoundationKeys.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/OpenDialogs.h"
#include "platform/UserDefaults.h"
#include "widgets/FormatTokenField.h"

#include <QColorDialog>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardItemModel>
#include <QVBoxLayout>

namespace talvor {

FormatPopUp::FormatPopUp(FormatList::Kind kind, QComboBox* popup, QObject* parent)
    : QObject(parent), kind_(kind), popup_(popup) {
    confirmDelete = [](QWidget* window, std::function<void(bool)> answer) {
        auto* box = new QMessageBox(QMessageBox::Warning, QString(),
                                    tr("Are you sure you want to delete this format"),
                                    QMessageBox::NoButton, window);
        QPushButton* yes = box->addButton(tr("Yes"), QMessageBox::YesRole);
        box->addButton(tr("No"), QMessageBox::NoRole);
        box->setInformativeText(QString());
        platform::openDialog(box, [box, yes, answer = std::move(answer)](int) {
            answer(box->clickedButton() == yes);
        });
    };
}

void FormatPopUp::buildFormatPOPMenu(QComboBox& popup, FormatList::Kind kind,
                                     const QStringList& list, Date now, const QTimeZone& zone) {
    popup.clear();
    auto* model = qobject_cast<QStandardItemModel*>(popup.model());
    for (const QString& entry : list) {
        QString title = renderFormatEntry(kind, entry, now, zone);
        if (title.isEmpty()) {
            title = entry;  // a pattern that renders as nothing still needs a visible item
        }
        popup.addItem(title, entry);
        if (FormatList::isSeparator(entry) && model != nullptr) {
            model->item(popup.count() - 1)->setEnabled(false);
        }
    }
}

void FormatPopUp::LoadDateFormatMenu() {
    list_ = FormatList::load(kind_);
    rebuild();
}

void FormatPopUp::rebuild() {
    if (!popup_) {
        return;
    }
    const platform::Clock& clock = platform::Clock::shared();
    buildFormatPOPMenu(*popup_, kind_, list_.entries(), clock.now(), clock.currentZone());
}

void FormatPopUp::select(const QString& pattern) {
    if (!popup_) {
        return;
    }
    if (const std::optional<int> index = FormatList::indexOfPattern(list_.entries(), pattern)) {
        popup_->setCurrentIndex(*index);
    }
}

QString FormatPopUp::selectedPattern(const QString& fallback) const {
    const int index = popup_ ? popup_->currentIndex() : -1;
    return FormatList::translateDateFormatStr(index, list_.entries(), fallback);
}

bool FormatPopUp::add(const QString& pattern) {
    QString why;
    if (!list_.add(pattern, &why)) {
        platform::log(QStringLiteral("Bad %1 file, %2: %3")
                          .arg(FormatList::fileName(kind_), FormatList::userPath(kind_), why));
        platform::beep();
        return false;
    }
    rebuild();
    select(pattern);
    return true;
}

void FormatPopUp::deleteSelected(std::function<void(bool deleted)> done) {
    const int index = popup_ ? popup_->currentIndex() : -1;
    if (index < 0) {
        done(false);
        return;
    }
    confirmDelete(popup_ ? popup_->window() : nullptr, [this, index,
                                                        done = std::move(done)](bool yes) {
        if (!yes) {
            done(false);
            return;
        }
        QString why;
        if (!list_.remove(index, &why)) {
            platform::log(QStringLiteral("The format was not deleted from %1: %2")
                              .arg(FormatList::userPath(kind_), why));
            platform::beep();
            done(false);
            return;
        }
        rebuild();
        if (popup_) {
            const int at = std::min(index, popup_->count() - 1);
            popup_->setCurrentIndex(FormatList::nearestPattern(list_.entries(), at).value_or(0));
        }
        done(true);
    });
}

FormatComposerParts buildFormatComposer(QWidget& parent, const QString& title,
                                        const std::vector<FormatTokenSource>& sources,
                                        std::function<QString(const QString& pattern)> render) {
    FormatComposerParts parts;
    parts.group = new QGroupBox(title, &parent);
    parts.group->setObjectName(QStringLiteral("composer"));
    auto* column = new QVBoxLayout(parts.group);
    auto* grid = new QGridLayout;
    column->addLayout(grid);
    parts.field = new FormatTokenField(parts.group);
    parts.field->setObjectName(QStringLiteral("customFormatField"));
    std::vector<TokenString> tokens;
    QHash<qint32, std::vector<FormatAlternative>> menus;
    const int perRow = 5;
    for (std::size_t i = 0; i < sources.size(); ++i) {
        const FormatTokenSource& source = sources[i];
        const QString sample = render(source.pattern);
        auto* label = new QLabel(source.label, parts.group);
        auto* field = new FormatTokenSourceLabel(static_cast<int>(i), sample, parts.group);
        field->setObjectName(source.id);
        const int r = static_cast<int>(i) / perRow * 2;
        const int c = static_cast<int>(i) % perRow;
        grid->addWidget(label, r, c, Qt::AlignHCenter);
        grid->addWidget(field, r + 1, c);
        // A double-click sends the source's own sample.
        QObject::connect(
            field, &FormatTokenSourceLabel::activated, parts.field,
            [target = parts.field, field](int index) {
                target->append(target->representedObjectForEditingString(field->text(), index));
            });
        parts.sources.push_back(field);
        tokens.push_back(source.token(sample));
        if (!source.alternatives.empty()) {
            menus.insert(source.menuType, source.alternatives);
        }
    }
    parts.field->setSources(std::move(tokens));
    parts.field->setMenus(std::move(menus), std::move(render));
    auto* hint = new QLabel(QObject::tr("Drag the samples into the field and type text between "
                                        "them; a sample in the field offers its other forms."),
                            parts.group);
    hint->setWordWrap(true);
    column->addWidget(hint);
    column->addWidget(parts.field);
    auto* foot = new QHBoxLayout;
    parts.preview = new QLabel(parts.group);
    parts.preview->setObjectName(QStringLiteral("customPreview"));
    parts.preview->setTextFormat(Qt::PlainText);
    parts.add = new QPushButton(QObject::tr("Add to List"), parts.group);
    parts.add->setObjectName(QStringLiteral("addToMenu"));
    parts.add->setEnabled(false);
    foot->addWidget(new QLabel(QObject::tr("Preview:"), parts.group));
    foot->addWidget(parts.preview, 1);
    foot->addWidget(parts.add);
    column->addLayout(foot);
    return parts;
}

QPushButton* makeColourWell(QWidget& parent, const QString& objectName) {
    auto* well = new QPushButton(&parent);
    well->setObjectName(objectName);
    well->setFixedSize(44, 22);
    return well;
}

void showWellColour(QPushButton& well, const QColor& color) {
    // A border of its own makes the style paint the background flat.
    well.setStyleSheet(QStringLiteral("QPushButton { background-color: %1; border: 1px solid "
                                      "palette(mid); border-radius: 2px; } "
                                      "QPushButton:disabled { border: 1px dashed palette(mid); }")
                           .arg(color.name(QColor::HexArgb)));
    well.setProperty("colour", color);
}

QColorDialog* openColourPanel(QWidget* parent, const QColor& color,
                              std::function<void(const QColor&)> changed) {
    auto* panel = new QColorDialog(color, parent);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setOption(QColorDialog::ShowAlphaChannel);
    panel->setOption(QColorDialog::NoButtons);
    QObject::connect(panel, &QColorDialog::currentColorChanged, panel, std::move(changed));
    panel->show();
    return panel;
}

QString renderNow(const QString& pattern) {
    const platform::Clock& clock = platform::Clock::shared();
    return formatWithPattern(pattern, clock.now(), clock.currentZone());
}

bool appearanceIsDark() {
    return platform::UserDefaults::standard()
               .objectForKey(keys::AppleInterfaceStyle)
               .toString()
               .compare(QLatin1String("dark"), Qt::CaseInsensitive) == 0;
}

QString fontLabelText(const QFont& font) {
    return QStringLiteral("%1 %2").arg(font.family(),
                                       QString::asprintf("%2.0f", font.pointSizeF()));
}

}  // namespace talvor
