#include "PaneTable.h"

#include "foundation/PreferenceDomain.h"
#include "foundation/TalvorTimeSettings.h"
#include "widgets/ViewExtras.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>

namespace talvor {

QString describe(const PaneCall& call) {
    return std::visit(
        PaneCallHandlers{
            [](const PaneRequest::UpdateMenu& r) {
                return QStringLiteral("UpdateMenu(%1)").arg(r.code);
            },
            [](const PaneRequest::OpenURL& r) {
                return QStringLiteral("openURL(%1)").arg(r.url.toString());
            },
            [](const PaneRequest::LocationTimeZoneSetup&) {
                return QStringLiteral("locationTimeZoneSetup()");
            },
            [](const PaneRequest::UpdateMenuBarItems&) {
                return QStringLiteral("updateMenuBarItems()");
            },
            [](const PaneRequest::UpdateTake5&) { return QStringLiteral("UpdateTake5()"); },
            [](const PaneRequest::AppDockIcon&) { return QStringLiteral("appDockIcon()"); },
            [](const PaneRequest::SetupASMMenu&) { return QStringLiteral("setupASMMenu()"); },
            [](const PaneRequest::ApplicationChange&) {
                return QStringLiteral("applicationChange()");
            }},
        call);
}

PaneBinding PaneBinding::preferenceKey(const QString& key) {
    return {[key]() -> QVariant {
                const std::optional<qint64> value = PreferenceDomain::store().integerValue(key);
                return value ? QVariant(*value) : QVariant();
            },
            [key](const QVariant& value) {
                PreferenceDomain::writeInteger(key, value.toInt());
                PreferenceDomain::synchronize(QStringLiteral("storing %1 failed").arg(key));
            }};
}

PaneBinding PaneBinding::timeSetting(bool TalvorTimeSettings::*field) {
    return member<TalvorTimeSettings, bool>(
        &TalvorTimeSettings::sharedInstance, field,
        [](TalvorTimeSettings& settings) { settings.writePrefsAndSync(); });
}

PaneRow timeMenuSwitch(const QString& id, const char* label, bool TalvorTimeSettings::*field,
                       qint32 group) {
    return {.id = id,
            .kind = PaneRow::Kind::Check,
            .label = label,
            .binding = PaneBinding::timeSetting(field),
            .defaultValue = false,
            .effects = {.store = true, .call = PaneCall{PaneRequest::UpdateMenu{group}}},
            .place = PaneRow::Place::Column};
}

std::function<void(const PaneCall& call)> PaneTableHost::menuRebuilds(
    std::function<void(qint32 code)> updateMenu) {
    return [updateMenu = std::move(updateMenu)](const PaneCall& request) {
        if (const auto* r = std::get_if<PaneRequest::UpdateMenu>(&request); r && updateMenu) {
            updateMenu(r->code);
        }
    };
}

PaneTable::PaneTable(const char* translationContext, std::vector<PaneRow> rows, PaneTableHost host)
    : context_(translationContext), rows_(std::move(rows)), host_(std::move(host)) {}

const PaneRow* PaneTable::row(const QString& id) const {
    for (const PaneRow& r : rows_) {
        if (r.id == id) {
            return &r;
        }
    }
    return nullptr;
}

QWidget* PaneTable::control(const QString& id) const {
    return controls_.value(id);
}

QString PaneTable::translate(const char* source) const {
    return QCoreApplication::translate(context_, source);
}

void PaneTable::setColumns(const char* section, int columns) {
    columns_.insert(QString::fromUtf8(section), std::max(1, columns));
}

QGroupBox* PaneTable::section(QWidget& view, QBoxLayout& layout, const char* title) {
    return makeSection(view, layout, title, false);
}

QGroupBox* PaneTable::makeSection(QWidget& view, QBoxLayout& layout, const char* title, bool form) {
    const QString key = QString::fromUtf8(title);
    if (QGroupBox* box = sections_.value(key)) {
        return box;
    }
    auto* box = new QGroupBox(ViewExtras::literalTitle(translate(title)), &view);
    if (form) {
        new QFormLayout(box);
    } else {
        new QGridLayout(box);
    }
    layout.addWidget(box);
    sections_.insert(key, box);
    return box;
}

QWidget* PaneTable::makeField(const PaneRow& row, QWidget& parent) {
    if (row.kind == PaneRow::Kind::Text) {
        auto* field = new QLineEdit(&parent);
        // Leaving the field unchanged stores nothing; showing a value clears the mark.
        QObject::connect(field, &QLineEdit::editingFinished, field, [this, field, id = row.id] {
            if (field->isModified()) {
                field->setModified(false);
                apply(id, field->text());
            }
        });
        return field;
    }
    auto* number = new QSpinBox(&parent);
    number->setRange(row.range.min, row.range.max);
    if (*row.suffix != '\0') {
        number->setSuffix(translate(row.suffix));
    }
    // One change when the typing ends, not one per digit.
    number->setKeyboardTracking(false);
    QObject::connect(number, &QSpinBox::valueChanged, number,
                     [this, id = row.id](int value) { apply(id, value); });
    return number;
}

QWidget* PaneTable::makeControl(const PaneRow& row, QWidget& parent) {
    QWidget* made = nullptr;
    switch (row.kind) {
        case PaneRow::Kind::Check: {
            auto* box = new QCheckBox(ViewExtras::literalTitle(translate(row.label)), &parent);
            // `clicked`, not `toggled`: loading the box must not write anything back.
            QObject::connect(box, &QCheckBox::clicked, box,
                             [this, id = row.id](bool on) { apply(id, on); });
            made = box;
            break;
        }
        case PaneRow::Kind::Choice: {
            auto* menu = new QComboBox(&parent);
            for (const char* item : row.choices) {
                menu->addItem(translate(item));
            }
            QObject::connect(menu, &QComboBox::activated, menu,
                             [this, id = row.id](int index) { apply(id, index); });
            made = menu;
            break;
        }
        case PaneRow::Kind::Button: {
            auto* button = new QPushButton(ViewExtras::literalTitle(translate(row.label)), &parent);
            QObject::connect(button, &QPushButton::clicked, button,
                             [this, id = row.id] { apply(id); });
            made = button;
            break;
        }
        case PaneRow::Kind::Text:
        case PaneRow::Kind::Number:
            made = makeField(row, parent);
            break;
    }
    made->setObjectName(row.id);
    return made;
}

namespace {

bool labelled(PaneRow::Kind kind) {
    return kind == PaneRow::Kind::Choice || kind == PaneRow::Kind::Text ||
           kind == PaneRow::Kind::Number;
}

}  // namespace

void PaneTable::place(const PaneRow& row, QWidget* control, QWidget& view, QBoxLayout& layout) {
    if (row.place == PaneRow::Place::Column) {
        placeInColumn(row, control, view, layout);
        return;
    }
    if (*row.section == '\0') {
        if (foot_ == nullptr) {
            foot_ = new QHBoxLayout();
            layout.addLayout(foot_);
            foot_->addWidget(control);
            foot_->addStretch(1);
        } else {
            foot_->addWidget(control);
        }
        return;
    }
    QGroupBox* box = makeSection(view, layout, row.section, row.place == PaneRow::Place::Form);
    control->setParent(box);
    if (qobject_cast<QFormLayout*>(box->layout()) != nullptr) {
        placeInForm(row, control, *box);
    } else {
        // A form row in a section laid out as a grid takes a line of its own there.
        placeInGrid(row, control, *box);
    }
}

void PaneTable::placeInColumn(const PaneRow& row, QWidget* control, QWidget& view,
                              QBoxLayout& layout) {
    if (row.sameLine && columnLine_ != nullptr) {
        // Before the line's closing stretch.
        columnLine_->insertWidget(columnLine_->count() - 1, control);
        return;
    }
    columnLine_ = nullptr;
    if (row.kind == PaneRow::Kind::Check && row.indent == 0) {
        layout.addWidget(control);
        return;
    }
    auto* line = new QHBoxLayout();
    if (row.indent > 0) {
        line->addSpacing(row.indent * 20);
    }
    if (labelled(row.kind)) {
        auto* label = new QLabel(translate(row.label), &view);
        label->setBuddy(control);
        line->addWidget(label);
    }
    line->addWidget(control, row.kind == PaneRow::Kind::Text ? 1 : 0);
    // A button or a short field keeps its own width, on the left.
    if (row.kind != PaneRow::Kind::Check && row.kind != PaneRow::Kind::Text) {
        line->addStretch(1);
        columnLine_ = line;
    }
    layout.addLayout(line);
}

void PaneTable::placeInForm(const PaneRow& row, QWidget* control, QGroupBox& box) {
    auto* form = static_cast<QFormLayout*>(box.layout());
    if (labelled(row.kind)) {
        auto* label = new QLabel(translate(row.label), &box);
        label->setBuddy(control);
        form->addRow(label, control);
    } else {
        form->addRow(control);
    }
}

void PaneTable::placeInGrid(const PaneRow& row, QWidget* control, QGroupBox& box) {
    auto* grid = static_cast<QGridLayout*>(box.layout());
    const QString key = QString::fromUtf8(row.section);
    const int columns = columns_.value(key, 1);
    // Rows follow what the section already holds.
    int& n = placed_[key];
    if (n == 0 && grid->count() > 0) {
        n = grid->rowCount() * columns;
    }
    if (labelled(row.kind)) {
        // A field takes a line of its own, after its label.
        const int line = (n + columns - 1) / columns;
        auto* label = new QLabel(translate(row.label), &box);
        label->setBuddy(control);
        grid->addWidget(label, line, 0);
        const Qt::Alignment align =
            row.kind == PaneRow::Kind::Text ? Qt::Alignment() : Qt::Alignment(Qt::AlignLeft);
        grid->addWidget(control, line, 1, 1, std::max(1, columns - 1), align);
        n = (line + 1) * columns;
        return;
    }
    const Qt::Alignment align = row.kind == PaneRow::Kind::Button ? Qt::AlignLeft : Qt::Alignment();
    grid->addWidget(control, n / columns, n % columns, align);
    ++n;
}

void PaneTable::build(QWidget& view, QBoxLayout& layout, const QString& last) {
    for (const PaneRow& row : rows_) {
        if (!controls_.contains(row.id)) {
            QWidget* made = makeControl(row, view);
            place(row, made, view, layout);
            controls_.insert(row.id, made);
        }
        if (row.id == last) {
            return;
        }
    }
}

void PaneTable::load() {
    for (const PaneRow& row : rows_) {
        QWidget* w = control(row.id);
        if (w == nullptr || !row.binding.read) {
            continue;
        }
        QVariant value = row.binding.read();
        if (!value.isValid()) {
            value = row.defaultValue;
        }
        const QSignalBlocker quiet(w);
        if (auto* box = qobject_cast<QAbstractButton*>(w);
            box && row.kind == PaneRow::Kind::Check) {
            box->setChecked(value.toBool());
        } else if (auto* menu = qobject_cast<QComboBox*>(w)) {
            menu->setCurrentIndex(value.toInt());
        } else if (auto* field = qobject_cast<QLineEdit*>(w)) {
            field->setText(value.toString());
        } else if (auto* number = qobject_cast<QSpinBox*>(w)) {
            number->setValue(value.toInt());
        }
    }
}

QVariant PaneTable::shown(const QString& id) const {
    const PaneRow* r = row(id);
    QWidget* w = control(id);
    if (r == nullptr || w == nullptr) {
        return {};
    }
    switch (r->kind) {
        case PaneRow::Kind::Check:
            return static_cast<QAbstractButton*>(w)->isChecked();
        case PaneRow::Kind::Choice:
            return static_cast<QComboBox*>(w)->currentIndex();
        case PaneRow::Kind::Text:
            return static_cast<QLineEdit*>(w)->text();
        case PaneRow::Kind::Number:
            return static_cast<QSpinBox*>(w)->value();
        case PaneRow::Kind::Button:
            break;
    }
    return {};
}

void PaneTable::apply(const QString& id, const QVariant& value) {
    const PaneRow* r = row(id);
    if (r == nullptr) {
        return;
    }
    if (r->action) {
        r->action();
    }
    if (r->effects.store) {
        if (r->binding.write) {
            r->binding.write(value);
        } else if (host_.store) {
            host_.store();
        }
    }
    if (!r->effects.post.isEmpty() && host_.post) {
        host_.post(r->effects.post);
    }
    if (r->effects.call && host_.call) {
        host_.call(*r->effects.call);
    }
    if (r->effects.reload && host_.reload) {
        host_.reload();
    }
}

}  // namespace talvor
