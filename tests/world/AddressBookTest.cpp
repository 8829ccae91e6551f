#include "foundation/AddressBook.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace talvor {
namespace {

QString contacts() {
    return QStringLiteral(TALVOR_WORLD_FIXTURES "/Contacts");
}

TEST(worldAddressBook, ReadsEveryCardOfTheFolderInEachVersionsForm) {
    const AddressBook book = AddressBook::load(contacts());
    ASSERT_EQ(book.people().size(), 4) << "the nameless card and the text file are skipped";
    // Files in name order: ada.VCF, colleagues.vcf (two cards), tesla.vcf.
    const AddressBook::Person& ada = book.people().at(0);
    EXPECT_EQ(ada.firstName, QStringLiteral("Ada"));
    EXPECT_EQ(ada.lastName, QStringLiteral("Lovelace"));
    EXPECT_EQ(ada.organisation, QStringLiteral("Analytical Engines; Ltd")) << "escaped ;";
    EXPECT_EQ(ada.phone(QStringLiteral("home")), QStringLiteral("+44 20 0000 0000"))
        << "version 2.1's bare type";
    EXPECT_EQ(ada.uid, QStringLiteral("ada.VCF#1")) << "a card without UID";
    EXPECT_EQ(ada.city(), std::nullopt);

    const AddressBook::Person& marie = book.people().at(1);
    EXPECT_EQ(marie.uid, QStringLiteral("uid-marie"));
    EXPECT_EQ(marie.city(), QStringLiteral("Paris"));
    EXPECT_EQ(marie.address(QStringLiteral("work"))->state, QStringLiteral("Île-de-France"));
    EXPECT_EQ(marie.phone(QStringLiteral("work")), QStringLiteral("+33 1 00 00 00 02"));
    EXPECT_EQ(marie.birthday, QDate(1867, 11, 7));

    const AddressBook::Person& max = book.people().at(2);
    EXPECT_EQ(max.address(QStringLiteral("home"))->city, QStringLiteral("Berlin"))
        << "a folded line is joined";
    EXPECT_EQ(max.phone(QStringLiteral("cell")), QStringLiteral("+49 30 0000000"));

    const AddressBook::Person& nikola = book.people().at(3);
    EXPECT_EQ(nikola.firstName, QStringLiteral("Nikola")) << "the formatted name alone";
    EXPECT_EQ(nikola.lastName, QStringLiteral("Tesla"));
    EXPECT_EQ(nikola.phone(QStringLiteral("work")), QStringLiteral("+1-212-000-0000"));
}

TEST(worldAddressBook, SearchesMatchTheStartOfTheirFieldInAnyCase) {
    const AddressBook book = AddressBook::load(contacts());
    using K = AddressBook::SearchKind;
    struct Case {
        K kind;
        const char* text;
        QStringList lastNames;
    };
    const Case cases[] = {
        {K::FirstName, "ma", {QStringLiteral("Curie"), QStringLiteral("Planck")}},
        {K::FirstName, "arie", {}},
        {K::LastName, "LOVE", {QStringLiteral("Lovelace")}},
        {K::Organisation, "inst", {QStringLiteral("Curie")}},
        {K::City, "new", {QStringLiteral("Tesla")}},
        {K::City, "par", {QStringLiteral("Curie")}},
        {K::Country, "ger", {QStringLiteral("Planck")}},
        {K::Country,
         "",
         {QStringLiteral("Lovelace"), QStringLiteral("Curie"), QStringLiteral("Planck"),
          QStringLiteral("Tesla")}},
    };
    for (const Case& c : cases) {
        QStringList found;
        for (const AddressBook::Person& p : book.search(c.kind, QString::fromUtf8(c.text))) {
            found << p.lastName;
        }
        EXPECT_EQ(found, c.lastNames) << static_cast<int>(c.kind) << " " << c.text;
    }
}

TEST(worldAddressBook, AMissingFolderOrBrokenTextIsAnEmptyBook) {
    EXPECT_TRUE(AddressBook::load(QStringLiteral("/nonexistent/folder")).people().isEmpty());
    for (const char* text : {"", "BEGIN:VCARD", "END:VCARD\nBEGIN:VCARD\nN:;;\nEND:VCARD",
                             "BEGIN:VCARD\nADR:;;\nTEL\n:x\nN:Solo\n"}) {
        EXPECT_TRUE(AddressBook::parse(QString::fromUtf8(text)).isEmpty()) << text;
    }
    // The default folder is the user's data folder's Contacts.
    test::XdgSandbox sandbox;
    EXPECT_TRUE(AddressBook::defaultFolder().startsWith(sandbox.root()));
    EXPECT_TRUE(AddressBook::defaultFolder().endsWith(QStringLiteral("/talvor/Contacts")));
}

}  // namespace
}  // namespace talvor
