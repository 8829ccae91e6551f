#include "CalendarPaneScenes.h"

#include "GrabWindow.h"
#include "SettingsScene.h"

#include "calendar/CalSource.h"
#include "calendar/CalendarBackEnd.h"
#include "calendar/GCalender.h"
#include "calendar/TalvorCalPrefsSettings.h"
#include "calendarui/ColorPickerController.h"
#include "platform/NotificationCenter.h"
#include "platform/SecretStore.h"
#include "platform/SharedInstance.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>

#include <cstring>
#include <optional>
#include <tuple>

namespace talvor::shot {
namespace {

QImage paneOf(PaneTag tag, QSize size, double scale,
              const std::function<void(QWidget&)>& arrange = {}) {
    SettingsScene scene(tag);
    scene.window().resize(size);
    if (arrange) {
        arrange(scene.window());
    }
    QCoreApplication::processEvents();
    return grabWindow(scene.window(), scale);
}

// Google for the picture: every call answers at once with the account's calendar list.
class CannedReply : public QNetworkReply {
  public:
    CannedReply(const QNetworkRequest& request, QByteArray body, QObject* parent)
        : QNetworkReply(parent), body_(std::move(body)) {
        setRequest(request);
        setUrl(request.url());
        setOperation(QNetworkAccessManager::GetOperation);
        setAttribute(QNetworkRequest::HttpStatusCodeAttribute, 200);
        setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
        open(QIODevice::ReadOnly);
        QTimer::singleShot(0, this, [this] {
            emit metaDataChanged();
            emit readyRead();
            setFinished(true);
            emit finished();
        });
    }
    void abort() override {}
    qint64 bytesAvailable() const override {
        return body_.size() - offset_ + QNetworkReply::bytesAvailable();
    }
    bool isSequential() const override { return true; }

  protected:
    qint64 readData(char* data, qint64 max) override {
        const qint64 n = std::min<qint64>(max, body_.size() - offset_);
        std::memcpy(data, body_.constData() + offset_, static_cast<size_t>(n));
        offset_ += n;
        return n;
    }

  private:
    QByteArray body_;
    qint64 offset_ = 0;
};

class CannedGoogle : public QNetworkAccessManager {
  protected:
    QNetworkReply* createRequest(Operation, const QNetworkRequest& request, QIODevice*) override {
        QJsonArray items;
        for (const auto& [id, name, colour, shown] :
             {std::tuple{"me@example.org", "Anna Berg", "#9fe1e7", true},
              std::tuple{"family@example.org", "Family", "#f691b2", true},
              std::tuple{"runs@example.org", "Running club", "#7bd148", false},
              std::tuple{"work@example.org", "Work shifts", "#ffad46", true}}) {
            items.append(QJsonObject{{QStringLiteral("id"), QLatin1String(id)},
                                     {QStringLiteral("summary"), QLatin1String(name)},
                                     {QStringLiteral("backgroundColor"), QLatin1String(colour)},
                                     {QStringLiteral("selected"), shown},
                                     {QStringLiteral("accessRole"), QStringLiteral("owner")}});
        }
        return new CannedReply(
            request, QJsonDocument(QJsonObject{{QStringLiteral("items"), items}}).toJson(), this);
    }
};

// The account's sign-in, kept in memory only.
class DemoKeyring : public platform::SecretStore {
  public:
    Outcome save(const QString&, const QByteArray& secret) override {
        secret_ = secret;
        return Outcome::Done;
    }
    Loaded load(const QString&) override { return {Outcome::Done, secret_}; }
    Outcome remove(const QString&) override {
        secret_.reset();
        return Outcome::Done;
    }

  private:
    std::optional<QByteArray> secret_;
};

}  // namespace

QImage renderGoogleCalendarsPane(double scale) {
    CannedGoogle network;
    DemoKeyring keyring;
    GoogleAuthorization account;
    account.accessToken = QStringLiteral("picture");
    account.refreshToken = QStringLiteral("picture");
    account.email = QStringLiteral("anna.berg@example.org");
    account.expiresAtUnix = QDateTime::currentSecsSinceEpoch() + 24 * 3600;
    keyring.save(GCalender::kAuthorizationName, account.toJson());
    GCalender::Services services;
    services.network = &network;
    services.secrets = &keyring;
    services.browser = nullptr;
    services.center = &platform::NotificationCenter::defaultCenter();
    services.endpoints = GoogleEndpoints::under(QUrl(QStringLiteral("http://127.0.0.1:9")));
    services.credentials = {QStringLiteral("picture"), QStringLiteral("picture")};
    GCalender google(std::move(services));
    CalendarBackEnds::install(CalendarBackEnds::Kind::Google, &google);
    google.setUpAuthorizationService();
    bool listed = false;
    google.loadPersonalSources([&listed](const std::optional<std::vector<CalSourcePtr>>&,
                                         const QString&) { listed = true; });
    QElapsedTimer waited;
    waited.start();
    while (!listed && waited.elapsed() < 2000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    QImage shot = paneOf(PaneTag::minnow, QSize(880, 1000), scale, [](QWidget& window) {
        if (auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("sourceTabs"))) {
            if (QWidget* page = window.findChild<QWidget*>(QStringLiteral("google"))) {
                const QSignalBlocker quiet(tabs);  // shown, not chosen: no reload
                tabs->setCurrentWidget(page);
            }
        }
        if (auto* radio = window.findChild<QRadioButton*>(QStringLiteral("radioButtonGoogle"))) {
            radio->setChecked(true);
        }
        // The desktop client the user made, as pasted into the pane.
        for (const auto& [field, text] :
             {std::pair{"googleClientIdField", "123456789012-demo.apps.googleusercontent.com"},
              std::pair{"googleClientSecretField", "GOCSPX-picture"}}) {
            if (auto* edit = window.findChild<QLineEdit*>(QLatin1String(field))) {
                edit->setText(QLatin1String(text));
            }
        }
    });
    CalendarBackEnds::install(CalendarBackEnds::Kind::Google, nullptr);
    return shot;
}

QImage renderMiniCalendarPane(double scale) {
    // A few calendars shown, one marked with a dot.
    const auto& religious = CalSource::publicCalendars_Religious();
    if (religious.size() >= 2) {
        religious[0]->setEnabled(true);
        religious[1]->setHighlightType(3);
    }
    return paneOf(PaneTag::minnow, QSize(880, 1000), scale, [](QWidget& window) {
        if (auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("sourceTabs"))) {
            tabs->setCurrentIndex(1);
        }
    });
}

QImage renderHolidayCalendarsPane(double scale, bool sports) {
    // Named by country; the one ticked reads its public feed (not fetched for the picture).
    for (const CalSourcePtr& s : CalSource::publicCalendars()) {
        if (s->identifier().startsWith(QLatin1String("en.usa#"))) {
            s->setHighlightType(2);
        }
    }
    return paneOf(PaneTag::minnow, QSize(880, 1000), scale, [sports](QWidget& window) {
        if (auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("sourceTabs"))) {
            const QSignalBlocker quiet(tabs);
            tabs->setCurrentIndex(sports ? 2 : 0);
        }
        if (auto* table = window.findChild<QTableWidget*>(QStringLiteral("publicTable"))) {
            // Saudi Arabia and South Africa, two keys once shown under one name.
            table->scrollToItem(
                table->findItems(QStringLiteral("Singapore"), Qt::MatchExactly).value(0),
                QAbstractItemView::PositionAtCenter);
        }
    });
}

QImage renderCalendarWindowPane(double scale) {
    TalvorCalPrefsSettings settings;
    settings.ShowNoOfCalendar = 6;
    SharedInstance<TalvorCalPrefsSettings>::Override use(settings);
    return paneOf(PaneTag::miniCalendar, QSize(860, 720), scale);
}

QImage renderTodoPane(double scale) {
    return paneOf(PaneTag::todo, QSize(820, 760), scale);
}

QImage renderHighlightPicker(double scale) {
    ColorPickerController picker;
    picker.showPickerWithHighlight(SourceHighlight(QColor(0x38, 0xB0, 0xDE), 3),
                                   [](const SourceHighlight&) {});
    picker.window()->adjustSize();
    QCoreApplication::processEvents();
    QImage shot = grabWindow(*picker.window(), scale);
    picker.window()->close();
    return shot;
}

}  // namespace talvor::shot
