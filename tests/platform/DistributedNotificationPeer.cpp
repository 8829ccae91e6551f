// A second process for the distributed notification tests.
//   talvor_dnc_peer observe <count> [<object>]
//       prints "ready" once listening, then each notification heard (with that object, when
//       given) as one JSON line, and exits after <count> of them
//   talvor_dnc_peer post <name> <object> [<userInfo as a JSON object>]
//       posts, prints its own post as one JSON line when it comes back, and exits
// Exit status: 0 done, 1 bad arguments, 2 timed out.
#include "platform/DistributedNotificationCenter.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <cstdio>

using talvor::platform::DistributedNotificationCenter;
using talvor::platform::Notification;

namespace {

void printLine(const QByteArray& line) {
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void printNotification(const Notification& note) {
    QJsonObject json;
    json.insert(QStringLiteral("name"), note.name);
    json.insert(QStringLiteral("object"), note.object.isValid() ? QJsonValue(note.object.toString())
                                                                : QJsonValue(QJsonValue::Null));
    json.insert(QStringLiteral("userInfo"), QJsonObject::fromVariantMap(note.userInfo));
    printLine(QJsonDocument(json).toJson(QJsonDocument::Compact));
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const QString mode = args.value(0);
    const bool observe = mode == QLatin1String("observe") && args.size() >= 2;
    const bool post = mode == QLatin1String("post") && args.size() >= 3;
    if (!observe && !post) {
        std::fprintf(stderr,
                     "usage: talvor_dnc_peer observe <count> [<object>] | "
                     "post <name> <object> [<userInfo JSON>]\n");
        return 1;
    }

    // Generous: the test waits for this process, not the other way round.
    QTimer::singleShot(20000, &app, [] { QCoreApplication::exit(2); });

    auto& center = DistributedNotificationCenter::defaultCenter();
    talvor::platform::Observation observation;
    int remaining = 1;

    if (observe) {
        remaining = args[1].toInt();
        const QVariant object = args.size() >= 3 ? QVariant(args[2]) : QVariant();
        observation = center.addObserver(QString(), object, [&remaining](const Notification& n) {
            printNotification(n);
            if (--remaining == 0) {
                QCoreApplication::exit(0);
            }
        });
        printLine("ready");
    } else {
        const QVariantMap userInfo =
            QJsonDocument::fromJson(args.value(3).toUtf8()).object().toVariantMap();
        observation = center.addObserver(args[1], args[2], [](const Notification& n) {
            printNotification(n);
            QCoreApplication::exit(0);
        });
        center.post(args[1], args[2], userInfo);
    }
    return remaining > 0 ? app.exec() : 0;
}
