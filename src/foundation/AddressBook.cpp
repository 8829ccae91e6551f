#include "AddressBook.h"

#include "platform/Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace talvor {
namespace {

// A content line split into its name, its TYPE parameters and its value.
struct Line {
    QString name;
    QStringList types;
    QString value;
};

// Lines folded by a leading blank or tab are joined back (RFC 6350, 3.2).
QStringList unfolded(const QString& text) {
    QStringList lines;
    for (const QString& raw : text.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")))) {
        if ((raw.startsWith(QLatin1Char(' ')) || raw.startsWith(QLatin1Char('\t'))) &&
            !lines.isEmpty()) {
            lines.last() += raw.mid(1);
        } else {
            lines.append(raw);
        }
    }
    return lines;
}

std::optional<Line> parseLine(const QString& raw) {
    const qsizetype colon = raw.indexOf(QLatin1Char(':'));
    if (colon <= 0) {
        return std::nullopt;
    }
    QStringList params = raw.left(colon).split(QLatin1Char(';'));
    Line line;
    line.name = params.takeFirst().toUpper();
    // "item1.TEL": a group prefix names nothing we use.
    if (const qsizetype dot = line.name.indexOf(QLatin1Char('.')); dot >= 0) {
        line.name = line.name.mid(dot + 1);
    }
    for (const QString& p : params) {
        const qsizetype eq = p.indexOf(QLatin1Char('='));
        // vCard 2.1 writes bare types ("TEL;WORK:"), later versions TYPE=work,voice.
        const QString key = eq < 0 ? QStringLiteral("TYPE") : p.left(eq).toUpper();
        if (key != QLatin1String("TYPE")) {
            continue;
        }
        QString value = eq < 0 ? p : p.mid(eq + 1);
        value.remove(QLatin1Char('"'));
        for (const QString& t : value.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            line.types.append(t.trimmed().toLower());
        }
    }
    line.value = raw.mid(colon + 1);
    return line;
}

// The components of a structured value, split at unescaped ";" and unescaped.
QStringList components(const QString& value) {
    QStringList parts{QString()};
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c == QLatin1Char('\\') && i + 1 < value.size()) {
            const QChar next = value.at(++i);
            parts.last() += next == QLatin1Char('n') || next == QLatin1Char('N')
                                ? QChar(QLatin1Char('\n'))
                                : next;
        } else if (c == QLatin1Char(';')) {
            parts.append(QString());
        } else {
            parts.last() += c;
        }
    }
    for (QString& p : parts) {
        p = p.trimmed();
    }
    return parts;
}

QString labelOf(const QStringList& types) {
    for (const char* known : {"work", "home", "cell", "mobile", "iphone"}) {
        if (types.contains(QLatin1String(known))) {
            const QString k = QLatin1String(known);
            return k == QLatin1String("mobile") || k == QLatin1String("iphone")
                       ? QStringLiteral("cell")
                       : k;
        }
    }
    return types.value(0);
}

std::optional<QDate> birthdayOf(const QString& value) {
    for (const QString& format : {QStringLiteral("yyyy-MM-dd"), QStringLiteral("yyyyMMdd"),
                                  QStringLiteral("--MMdd"), QStringLiteral("--MM-dd")}) {
        const QDate d = QDate::fromString(value.left(format.size()), format);
        if (d.isValid()) {
            return d;
        }
    }
    return std::nullopt;
}

bool startsWith(const QString& field, const QString& text) {
    return field.startsWith(text, Qt::CaseInsensitive);
}

}  // namespace

std::optional<AddressBook::Address> AddressBook::Person::address(const QString& label) const {
    for (const Address& a : addresses) {
        if (a.label == label) {
            return a;
        }
    }
    return std::nullopt;
}

std::optional<QString> AddressBook::Person::phone(const QString& label) const {
    for (const Phone& p : phones) {
        if (p.label == label) {
            return p.number;
        }
    }
    return std::nullopt;
}

std::optional<QString> AddressBook::Person::city() const {
    for (const char* label : {"work", "home"}) {
        if (const std::optional<Address> a = address(QLatin1String(label))) {
            return a->city;
        }
    }
    return std::nullopt;
}

QString AddressBook::defaultFolder() {
    return QDir(platform::Paths::dataDir()).filePath(QStringLiteral("Contacts"));
}

QList<AddressBook::Person> AddressBook::parse(const QString& text, const QString& source) {
    QList<Person> people;
    std::optional<Person> card;
    int position = 0;
    for (const QString& raw : unfolded(text)) {
        const std::optional<Line> line = parseLine(raw);
        if (!line) {
            continue;
        }
        if (line->name == QLatin1String("BEGIN") &&
            line->value.trimmed().compare(QLatin1String("VCARD"), Qt::CaseInsensitive) == 0) {
            card = Person{};
            continue;
        }
        if (!card) {
            continue;
        }
        if (line->name == QLatin1String("END")) {
            ++position;
            if (card->uid.isEmpty()) {
                card->uid = QStringLiteral("%1#%2").arg(source).arg(position);
            }
            if (!card->firstName.isEmpty() || !card->lastName.isEmpty() ||
                !card->organisation.isEmpty()) {
                people.append(*card);
            }
            card.reset();
        } else if (line->name == QLatin1String("UID")) {
            card->uid = line->value.trimmed();
        } else if (line->name == QLatin1String("N")) {
            const QStringList n = components(line->value);
            card->lastName = n.value(0);
            card->firstName = n.value(1);
        } else if (line->name == QLatin1String("FN") && card->firstName.isEmpty() &&
                   card->lastName.isEmpty()) {
            // A card with no N: its formatted name, split at the last blank.
            const QString fn = components(line->value).join(QLatin1Char(' '));
            const qsizetype blank = fn.lastIndexOf(QLatin1Char(' '));
            card->firstName = blank < 0 ? fn : fn.left(blank);
            card->lastName = blank < 0 ? QString() : fn.mid(blank + 1);
        } else if (line->name == QLatin1String("ORG")) {
            card->organisation = components(line->value).value(0);
        } else if (line->name == QLatin1String("ADR")) {
            const QStringList a = components(line->value);
            card->addresses.append({labelOf(line->types), a.value(3), a.value(4), a.value(6)});
        } else if (line->name == QLatin1String("TEL")) {
            QString number = line->value.trimmed();
            if (number.startsWith(QLatin1String("tel:"), Qt::CaseInsensitive)) {
                number = number.mid(4);
            }
            card->phones.append({labelOf(line->types), number});
        } else if (line->name == QLatin1String("BDAY")) {
            card->birthday = birthdayOf(line->value.trimmed());
        }
    }
    return people;
}

AddressBook AddressBook::load(const QString& folder) {
    AddressBook book;
    const QDir dir(folder.isEmpty() ? defaultFolder() : folder);
    const QFileInfoList files = dir.entryInfoList(
        {QStringLiteral("*.vcf"), QStringLiteral("*.VCF")}, QDir::Files, QDir::Name);
    for (const QFileInfo& info : files) {
        QFile file(info.filePath());
        // A contacts folder holds small files; anything huge is not a card.
        if (info.size() > 4 * 1024 * 1024 || !file.open(QIODevice::ReadOnly)) {
            continue;
        }
        book.people_.append(parse(QString::fromUtf8(file.readAll()), info.fileName()));
    }
    return book;
}

QList<AddressBook::Person> AddressBook::search(SearchKind kind, const QString& text) const {
    if (text.isEmpty()) {
        return people_;
    }
    QList<Person> found;
    for (const Person& p : people_) {
        bool match = false;
        switch (kind) {
            case SearchKind::FirstName:
                match = startsWith(p.firstName, text);
                break;
            case SearchKind::LastName:
                match = startsWith(p.lastName, text);
                break;
            case SearchKind::Organisation:
                match = startsWith(p.organisation, text);
                break;
            case SearchKind::City:
            case SearchKind::Country:
                match = std::any_of(p.addresses.begin(), p.addresses.end(), [&](const Address& a) {
                    return startsWith(kind == SearchKind::City ? a.city : a.country, text);
                });
                break;
        }
        if (match) {
            found.append(p);
        }
    }
    return found;
}

}  // namespace talvor
