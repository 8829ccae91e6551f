// Compiles the bundled location table for the build: talvor-compile-locations <plist> <table>.
// The program reads the compiled form (CompiledLocationTable) several times faster.
#include "foundation/CompiledLocationTable.h"
#include "platform/PropertyList.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: talvor-compile-locations <plist> <table>\n");
        return 2;
    }
    QFile in(args.at(1));
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "talvor-compile-locations: cannot read %s\n", qPrintable(args.at(1)));
        return 1;
    }
    QString error;
    const std::optional<QVariant> value =
        talvor::platform::PropertyList::parse(in.readAll(), &error);
    if (!value || value->typeId() != QMetaType::QVariantList) {
        std::fprintf(stderr, "talvor-compile-locations: %s holds no table %s\n",
                     qPrintable(args.at(1)), qPrintable(error));
        return 1;
    }
    const QByteArray bytes = talvor::CompiledLocationTable::compile(value->toList());
    QFile out(args.at(2));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(bytes) != bytes.size() ||
        !out.flush()) {
        std::fprintf(stderr, "talvor-compile-locations: cannot write %s\n", qPrintable(args.at(2)));
        out.remove();  // a half-written table must not stand in for the list
        return 1;
    }
    return 0;
}
