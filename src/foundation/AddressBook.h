#pragma once

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace talvor {

// The user's address book: the vCards (".vcf", one or more cards each) of a folder,
// by default $XDG_DATA_HOME/talvor/Contacts. Read-only; a file that cannot be read or a
// card without a name is skipped, never an error.
class AddressBook {
  public:
    struct Address {
        QString label;  // "work", "home" or another TYPE, lower case
        QString city;
        QString state;
        QString country;
        bool operator==(const Address&) const = default;
    };
    struct Phone {
        QString label;  // "work", "home", "cell", ...
        QString number;
        bool operator==(const Phone&) const = default;
    };
    struct Person {
        QString uid;  // the card's UID, else the file name and the card's position in it
        QString firstName;
        QString lastName;
        QString organisation;
        QList<Address> addresses;
        QList<Phone> phones;
        std::optional<QDate> birthday;

        // The first address labelled `label`.
        std::optional<Address> address(const QString& label) const;
        std::optional<QString> phone(const QString& label) const;
        // The city of the first work address, else of the first home address.
        std::optional<QString> city() const;
        bool operator==(const Person&) const = default;
    };

    // What a search compares its text with, by the picker's item order.
    enum class SearchKind { FirstName, LastName, Organisation, City, Country };

    static QString defaultFolder();
    // Reads every card of `folder` (the default when empty), in file-name order.
    static AddressBook load(const QString& folder = QString());
    // The cards of one vCard text; `source` names them when they carry no UID.
    static QList<Person> parse(const QString& text, const QString& source = QString());

    const QList<Person>& people() const { return people_; }
    // The people whose field starts with `text`, ignoring case (for a city or a country,
    // any of their addresses'); everybody for an empty text.
    QList<Person> search(SearchKind kind, const QString& text) const;

  private:
    QList<Person> people_;
};

}  // namespace talvor
