#pragma once

#include "ColorExtras.h"
#include "FontExtras.h"
#include "PreferenceDomain.h"
#include "TalvorLoadFonts.h"
#include "TalvorProColor.h"
#include "platform/KeyedArchiver.h"

#include <QColor>
#include <QFont>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

// A settings model's keys in one table: each row names the key, the model's member, the
// stored form, the default, the keyed-archive form and the values the resets give. Loading,
// writing, resetting, encoding and decoding all walk the table, so a new setting is one row.
namespace talvor::settings {

// ---- Stored forms. Each says how a value lies in the preference domain and in a keyed
// archive; decode gives nullopt where the archive leaves the member as it is.

// On/off: a 32-bit integer 0 or 1 (read: the low 8 bits decide); archived as a boolean.
struct Flag {
    using Value = bool;
    static Value read(const QString& key, const Value& fallback) {
        return PreferenceDomain::readFlag(key, fallback);
    }
    static void write(const QString& key, const Value& v) { PreferenceDomain::writeFlag(key, v); }
    static void encode(platform::KeyedArchiver& c, const QString& key, const Value& v) {
        c.encodeBool(key, v);
    }
    static std::optional<Value> decode(const platform::KeyedUnarchiver& c, const QString& key) {
        return c.decodeBool(key);
    }
    static Value varied(const Value& v) { return !v; }
    static bool same(const Value& a, const Value& b) { return a == b; }
};

// A flag that old archives kept as an integer.
struct FlagOrArchivedInteger : Flag {
    static std::optional<Value> decode(const platform::KeyedUnarchiver& c, const QString& key) {
        return c.decodeValue(key).typeId() == QMetaType::Bool ? c.decodeBool(key)
                                                              : c.decodeInt32(key) != 0;
    }
};

// A 32-bit integer; archived as one.
struct Integer {
    using Value = qint32;
    static Value read(const QString& key, const Value& fallback) {
        return PreferenceDomain::readInteger(key, fallback);
    }
    static void write(const QString& key, const Value& v) {
        PreferenceDomain::writeInteger(key, v);
    }
    static void encode(platform::KeyedArchiver& c, const QString& key, const Value& v) {
        c.encodeInt32(key, v);
    }
    static std::optional<Value> decode(const platform::KeyedUnarchiver& c, const QString& key) {
        return c.decodeInt32(key);
    }
    static Value varied(const Value& v) { return v + 7; }
    static bool same(const Value& a, const Value& b) { return a == b; }
};

// Text, always written; archived as a string (absent decodes as empty).
struct Text {
    using Value = QString;
    static Value read(const QString& key, const Value& fallback) {
        return PreferenceDomain::readText(key, fallback);
    }
    static void write(const QString& key, const Value& v) { PreferenceDomain::writeText(key, v); }
    static void encode(platform::KeyedArchiver& c, const QString& key, const Value& v) {
        c.encodeString(key, v);
    }
    static std::optional<Value> decode(const platform::KeyedUnarchiver& c, const QString& key) {
        return c.decodeString(key);
    }
    static Value varied(const Value& v) { return v + QStringLiteral("/x"); }
    static bool same(const Value& a, const Value& b) { return a == b; }
};

// A date pattern that may be none: none removes the key and is left out of an archive; an
// archive without it leaves the member alone.
struct Pattern : Text {
    static void write(const QString& key, const Value& v) {
        if (v.isNull()) {
            PreferenceDomain::store().removeValue(key);
        } else {
            PreferenceDomain::writeText(key, v);
        }
    }
    static void encode(platform::KeyedArchiver& c, const QString& key, const Value& v) {
        if (!v.isNull()) {
            c.encodeString(key, v);
        }
    }
    static std::optional<Value> decode(const platform::KeyedUnarchiver& c, const QString& key) {
        return c.containsValueForKey(key) ? std::optional<Value>(c.decodeString(key))
                                          : std::nullopt;
    }
    static Value varied(const Value& v) {
        return v == QStringLiteral("HH:mm") ? QStringLiteral("h:mm a") : QStringLiteral("HH:mm");
    }
};

// A colour as the text "[%f] [%f] [%f] [%f]"; archived as colour data, whose absence leaves
// the member as the row's fallback says.
struct Colour {
    using Value = QColor;
    static Value read(const QString& key, const Value& fallback) {
        return TalvorProColor::myGetColorFromDefaults(key, fallback);
    }
    static void write(const QString& key, const Value& v) {
        TalvorProColor::saveColorToDefaults(v, key);
    }
    static void encode(platform::KeyedArchiver& c, const QString& key, const Value& v) {
        c.encodeData(key, ColorExtras::asData(v));
    }
    static std::optional<Value> decode(const platform::KeyedUnarchiver& c, const QString& key) {
        return ColorExtras::color(c.decodeData(key));
    }
    static Value varied(const Value& v) {
        return v == QColor(Qt::darkGreen) ? QColor(Qt::darkRed) : QColor(Qt::darkGreen);
    }
    // As far as the stored text keeps it: 8 bits a component.
    static bool same(const Value& a, const Value& b) { return a.rgba() == b.rgba(); }
};

// A font as the pair key+"Name" (the family) and key+"Traits" (size, trait, weight); archived
// as font data. The default is a family and a size, the size also the fallback of a font
// whose traits do not read.
struct FontSpec {
    QString family;
    float size;
};
struct Font {
    using Value = QFont;
    static Value read(const QString& key, const FontSpec& fallback) {
        return TalvorLoadFonts::TalvorLoadFont(key, fallback.size, fallback.family)
            .value_or(QFont());
    }
    static void write(const QString& key, const Value& v) {
        TalvorLoadFonts::TalvorSaveFont(key, v);
    }
    static void encode(platform::KeyedArchiver& c, const QString& key, const Value& v) {
        c.encodeData(key, FontExtras::asData(v));
    }
    static std::optional<Value> decode(const platform::KeyedUnarchiver& c, const QString& key) {
        return FontExtras::font(c.decodeData(key));
    }
    static Value varied(const Value& v) {
        QFont f(v);
        f.setPointSizeF(v.pointSizeF() + 3);
        return f;
    }
    // As far as the stored pair keeps it.
    static bool same(const Value& a, const Value& b) {
        return a.family() == b.family() && a.pointSizeF() == b.pointSizeF();
    }
};

template <class Form>
struct DefaultOf {
    using type = typename Form::Value;
};
template <>
struct DefaultOf<Font> {
    using type = FontSpec;
};

// How a row takes part in the keyed archive.
enum class Archive {
    None,        // neither encoded nor decoded
    Both,        // encoded and decoded
    DecodeOnly,  // read from archives, never written to one
};

// ---- Rows.

template <class Model>
struct Row {
    QString key;
    std::function<void(Model&)> load;
    std::function<void(Model&)> setDefault;  // empty where the default is not a value (fonts)
    std::function<void(const Model&)> write;
    std::function<void(const Model&, platform::KeyedArchiver&)> encode;    // may be empty
    std::function<void(Model&, const platform::KeyedUnarchiver&)> decode;  // may be empty
    std::vector<std::pair<int, std::function<void(Model&)>>> resets;       // group, action
    // For the tests: a value unlike the present one, and whether two models agree here.
    std::function<void(Model&)> vary;
    std::function<bool(const Model&, const Model&)> same;
};

// One row: `key` stored in `Form` from `member`, `fallback` when absent (a value, or a
// function giving it at load time). Refine with the member functions, then convert to a Row.
template <class Model, class Form>
class RowBuilder {
  public:
    using Value = typename Form::Value;
    using Default = typename DefaultOf<Form>::type;

    RowBuilder(QString key, Value Model::*member, std::function<Default()> fallback)
        : key_(std::move(key)), member_(member), fallback_(std::move(fallback)) {}

    // Its keyed-archive form (none unless said).
    RowBuilder& archive(Archive how) {
        archive_ = how;
        return *this;
    }
    // When the archive gives nothing, the member takes the (already decoded) value of `other`.
    RowBuilder& decodeFallback(Value Model::*other) {
        decodeFallback_ = other;
        return *this;
    }
    // What reset group `group` sets (a value, or a function giving it then).
    RowBuilder& reset(int group, Value value) {
        resets_.emplace_back(group, [value] { return value; });
        return *this;
    }
    RowBuilder& reset(int group, std::function<Value()> value) {
        resets_.emplace_back(group, std::move(value));
        return *this;
    }

    operator Row<Model>() const {  // NOLINT: rows are written as builders in the table
        Row<Model> row;
        row.key = key_;
        const QString key = key_;
        Value Model::*member = member_;
        std::function<Default()> fallback = fallback_;
        row.load = [=](Model& m) { m.*member = Form::read(key, fallback()); };
        row.write = [=](const Model& m) { Form::write(key, m.*member); };
        if constexpr (std::is_same_v<Default, Value>) {
            row.setDefault = [=](Model& m) { m.*member = fallback(); };
        }
        // A form without a keyed-archive side is kept out of archives.
        if constexpr (requires {
                          &Form::encode;
                          &Form::decode;
                      }) {
            if (archive_ == Archive::Both) {
                row.encode = [=](const Model& m, platform::KeyedArchiver& c) {
                    Form::encode(c, key, m.*member);
                };
            }
            if (archive_ != Archive::None) {
                std::optional<Value Model::*> other = decodeFallback_;
                row.decode = [=](Model& m, const platform::KeyedUnarchiver& c) {
                    if (std::optional<Value> v = Form::decode(c, key)) {
                        m.*member = std::move(*v);
                    } else if (other) {
                        m.*member = m.*(*other);
                    }
                };
            }
        }
        for (const auto& reset : resets_) {
            // Copied out of the pair: clang before 16 cannot capture a structured binding.
            auto value = reset.second;
            row.resets.emplace_back(reset.first,
                                    [member, value](Model& m) { m.*member = value(); });
        }
        row.vary = [member](Model& m) { m.*member = Form::varied(m.*member); };
        row.same = [member](const Model& a, const Model& b) {
            return Form::same(a.*member, b.*member);
        };
        return row;
    }

  private:
    QString key_;
    Value Model::*member_;
    std::function<Default()> fallback_;
    Archive archive_ = Archive::None;
    std::optional<Value Model::*> decodeFallback_;
    std::vector<std::pair<int, std::function<Value()>>> resets_;
};

template <class Form, class Model, class Fallback>
RowBuilder<Model, Form> row(const QString& key, typename Form::Value Model::*member,
                            Fallback fallback) {
    using Default = typename DefaultOf<Form>::type;
    if constexpr (std::is_invocable_v<Fallback>) {
        return {key, member, std::function<Default()>(std::move(fallback))};
    } else {
        return {key, member, [value = Default(fallback)] { return value; }};
    }
}

// ---- Walking a table.

template <class Model>
using Table = std::vector<Row<Model>>;

template <class Model>
void loadAll(const Table<Model>& table, Model& m) {
    for (const Row<Model>& r : table) {
        r.load(m);
    }
}

// The values loading gives when nothing is stored.
template <class Model>
void applyDefaults(const Table<Model>& table, Model& m) {
    for (const Row<Model>& r : table) {
        if (r.setDefault) {
            r.setDefault(m);
        }
    }
}

template <class Model>
void writeAll(const Table<Model>& table, const Model& m) {
    for (const Row<Model>& r : table) {
        r.write(m);
    }
}

template <class Model>
void encodeAll(const Table<Model>& table, const Model& m, platform::KeyedArchiver& coder) {
    for (const Row<Model>& r : table) {
        if (r.encode) {
            r.encode(m, coder);
        }
    }
}

// In table order, so that a row may fall back on one decoded before it.
template <class Model>
void decodeAll(const Table<Model>& table, Model& m, const platform::KeyedUnarchiver& coder) {
    for (const Row<Model>& r : table) {
        if (r.decode) {
            r.decode(m, coder);
        }
    }
}

template <class Model>
void resetGroup(const Table<Model>& table, Model& m, int group) {
    for (const Row<Model>& r : table) {
        for (const auto& [g, apply] : r.resets) {
            if (g == group) {
                apply(m);
            }
        }
    }
}

}  // namespace talvor::settings
