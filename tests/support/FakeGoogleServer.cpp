#include "FakeGoogleServer.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace talvor::test {

namespace {

// What the streams have written, and whether the server is going.
struct StreamTally {
    std::mutex mutex;
    qint64 bytes = 0;
    int ended = 0;
    bool stopping = false;
};

}  // namespace

struct FakeGoogleServer::State {
    mutable std::mutex mutex;
    std::vector<Request> requests;
    std::vector<QJsonObject> calendars;
    std::vector<std::pair<QString, QJsonObject>> events;
    int pageSize = 3;
    std::vector<Fault> faults;
    std::vector<Stream> streams;
    std::shared_ptr<StreamTally> tally = std::make_shared<StreamTally>();
    std::optional<QString> redirectState;
    std::optional<QString> authorizationError;
    QString challenge;
    QString redirectUri;
    QString accessToken;
    QString refreshToken = QStringLiteral("1//refresh-token-SECRET-r1");
    int refreshTokensIssued = 1;
    int tokensIssued = 0;
    int refreshes = 0;
    int nextEventId = 1;
    bool issuesRefreshTokens = true;
};

struct FakeGoogleServer::Runner {
    httplib::Server server;
    std::thread thread;
    int port = 0;
};

namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

void json(httplib::Response& res, int status, const QJsonObject& o) {
    res.status = status;
    res.set_content(QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString(),
                    "application/json");
}

void googleError(httplib::Response& res, int status, const QString& message) {
    json(res, status,
         QJsonObject{{QStringLiteral("error"), QJsonObject{{QStringLiteral("code"), status},
                                                           {QStringLiteral("message"), message}}}});
}

QDateTime timeOf(const QJsonObject& t) {
    if (t.contains(QStringLiteral("dateTime"))) {
        return QDateTime::fromString(t.value(QStringLiteral("dateTime")).toString(),
                                     Qt::ISODateWithMs);
    }
    return QDateTime(QDate::fromString(t.value(QStringLiteral("date")).toString(), Qt::ISODate),
                     QTime(0, 0), Qt::UTC);
}

// Serves `stream` in pieces from the server's thread; a failed write is the client gone.
void serve(httplib::Response& res, const FakeGoogleServer::Stream& stream,
           const std::shared_ptr<StreamTally>& tally) {
    using Framing = FakeGoogleServer::Framing;
    res.status = 200;
    // The next piece from `offset`; false ends the answer.
    auto piece = [stream, tally](size_t offset, httplib::DataSink& sink) {
        const auto at = static_cast<qint64>(offset);
        {
            std::lock_guard lock(tally->mutex);
            if (tally->stopping) {
                return false;
            }
        }
        if (at >= stream.bytes) {
            if (stream.framing == Framing::Chunked) {
                sink.done();
            }
            // cpp-httplib keeps the connection for the next request unless told of a failure.
            return stream.framing != Framing::CloseDelimited;
        }
        if (stream.pause.count() > 0) {
            std::this_thread::sleep_for(stream.pause);
        }
        std::string text(static_cast<size_t>(std::min(stream.pieceBytes, stream.bytes - at)), ' ');
        for (qint64 i = at; i < stream.head.size() && i - at < qint64(text.size()); ++i) {
            text[static_cast<size_t>(i - at)] = stream.head[i];
        }
        if (!sink.write(text.data(), text.size())) {
            return false;
        }
        std::lock_guard lock(tally->mutex);
        tally->bytes += static_cast<qint64>(text.size());
        return true;
    };
    // Called once the answer is over, sent whole or not.
    auto ended = [tally](bool) {
        std::lock_guard lock(tally->mutex);
        ++tally->ended;
    };
    switch (stream.framing) {
        case Framing::ContentLength:
            res.set_content_provider(
                static_cast<size_t>(stream.bytes), "application/json",
                [piece](size_t offset, size_t, httplib::DataSink& sink) {
                    return piece(offset, sink);
                },
                ended);
            break;
        case Framing::Chunked:
            res.set_chunked_content_provider("application/json", piece, ended);
            break;
        case Framing::CloseDelimited:
            res.set_header("Connection", "close");
            res.set_content_provider("application/json", piece, ended);
            break;
    }
}

QByteArray base64UrlJson(const QJsonObject& o) {
    return QJsonDocument(o)
        .toJson(QJsonDocument::Compact)
        .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

}  // namespace

FakeGoogleServer::FakeGoogleServer()
    : state_(std::make_shared<State>()), runner_(std::make_unique<Runner>()) {
    std::shared_ptr<State> st = state_;
    httplib::Server& s = runner_->server;

    // Records the request; answers a scripted fault instead when one matches.
    auto recorded = [st](auto handler) {
        return [st, handler](const httplib::Request& req, httplib::Response& res) {
            Request r;
            r.method = QByteArray::fromStdString(req.method);
            r.path = QByteArray::fromStdString(req.path);
            for (const auto& [k, v] : req.params) {
                r.params.insert(q(k), q(v));
            }
            r.body = QByteArray::fromStdString(req.body);
            r.authorization = QByteArray::fromStdString(req.get_header_value("Authorization"));
            {
                std::lock_guard lock(st->mutex);
                st->requests.push_back(r);
                const auto fault =
                    std::find_if(st->faults.begin(), st->faults.end(),
                                 [&](const Fault& f) { return r.path.startsWith(f.pathPrefix); });
                if (fault != st->faults.end()) {
                    res.status = fault->status;
                    res.set_content(fault->body.toStdString(), fault->contentType.toStdString());
                    for (const auto& [name, value] : fault->headers) {
                        res.set_header(name, value);
                    }
                    if (--fault->times <= 0) {
                        st->faults.erase(fault);
                    }
                    return;
                }
                const auto stream =
                    std::find_if(st->streams.begin(), st->streams.end(),
                                 [&](const Stream& x) { return r.path.startsWith(x.pathPrefix); });
                if (stream != st->streams.end()) {
                    serve(res, *stream, st->tally);
                    st->streams.erase(stream);
                    return;
                }
            }
            handler(req, res);
        };
    };
    auto authorized = [st](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard lock(st->mutex);
        if (st->accessToken.isEmpty() || q(req.get_header_value("Authorization")) !=
                                             QStringLiteral("Bearer ") + st->accessToken) {
            googleError(res, 401, QStringLiteral("Invalid Credentials"));
            return false;
        }
        return true;
    };

    s.Get("/o/oauth2/v2/auth", recorded([st](const httplib::Request& req, httplib::Response& res) {
              std::lock_guard lock(st->mutex);
              const QString redirect = q(req.get_param_value("redirect_uri"));
              if (q(req.get_param_value("client_id")) != kClientId ||
                  !redirect.startsWith(QStringLiteral("http://127.0.0.1:")) ||
                  req.get_param_value("code_challenge_method") != "S256" ||
                  req.get_param_value("response_type") != "code" || !req.has_param("state") ||
                  !req.has_param("code_challenge")) {
                  res.status = 400;
                  res.set_content("bad authorization request", "text/plain");
                  return;
              }
              st->challenge = q(req.get_param_value("code_challenge"));
              st->redirectUri = redirect;
              const QString state = st->redirectState.value_or(q(req.get_param_value("state")));
              QByteArray back = st->authorizationError
                                    ? "error=" + QUrl::toPercentEncoding(*st->authorizationError)
                                    : "code=" + QUrl::toPercentEncoding(kCode);
              back += "&state=" + QUrl::toPercentEncoding(state);
              QUrl location(redirect);
              location.setQuery(QString::fromLatin1(back), QUrl::StrictMode);
              res.status = 302;
              res.set_header("Location", location.toString(QUrl::FullyEncoded).toStdString());
          }));

    s.Post(
        "/token", recorded([st](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard lock(st->mutex);
            auto refuse = [&](const char* why) {
                json(res, 400,
                     QJsonObject{{QStringLiteral("error"), QStringLiteral("invalid_grant")},
                                 {QStringLiteral("error_description"), QLatin1String(why)}});
            };
            if (q(req.get_param_value("client_id")) != kClientId ||
                q(req.get_param_value("client_secret")) != kClientSecret) {
                refuse("unknown client");
                return;
            }
            const std::string grant = req.get_param_value("grant_type");
            QJsonObject answer;
            if (grant == "authorization_code") {
                const QByteArray verifier =
                    QByteArray::fromStdString(req.get_param_value("code_verifier"));
                const QString challenge = QString::fromLatin1(
                    QCryptographicHash::hash(verifier, QCryptographicHash::Sha256)
                        .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
                if (q(req.get_param_value("code")) != kCode) {
                    refuse("wrong code");
                    return;
                }
                if (challenge != st->challenge) {
                    refuse("code verifier does not match");
                    return;
                }
                if (q(req.get_param_value("redirect_uri")) != st->redirectUri) {
                    refuse("redirect_uri mismatch");
                    return;
                }
                if (st->issuesRefreshTokens) {
                    answer.insert(QStringLiteral("refresh_token"), st->refreshToken);
                }
                answer.insert(
                    QStringLiteral("id_token"),
                    QString::fromLatin1(
                        base64UrlJson({{QStringLiteral("alg"), QStringLiteral("none")}}) + '.' +
                        base64UrlJson({{QStringLiteral("email"), kEmail},
                                       {QStringLiteral("sub"), QStringLiteral("42")}}) +
                        ".sig"));
            } else if (grant == "refresh_token") {
                if (q(req.get_param_value("refresh_token")) != st->refreshToken) {
                    refuse("Token has been expired or revoked.");
                    return;
                }
                ++st->refreshes;
            } else {
                refuse("unsupported grant");
                return;
            }
            st->accessToken = QStringLiteral("ya29.access-SECRET-%1").arg(++st->tokensIssued);
            answer.insert(QStringLiteral("access_token"), st->accessToken);
            answer.insert(QStringLiteral("expires_in"), 3599);
            answer.insert(QStringLiteral("token_type"), QStringLiteral("Bearer"));
            answer.insert(QStringLiteral("scope"),
                          QStringLiteral("https://www.googleapis.com/auth/calendar email"));
            json(res, 200, answer);
        }));

    s.Get("/calendar/v3/users/me/calendarList",
          recorded([st, authorized](const httplib::Request& req, httplib::Response& res) {
              if (!authorized(req, res)) {
                  return;
              }
              std::lock_guard lock(st->mutex);
              const int from =
                  req.has_param("pageToken") ? std::stoi(req.get_param_value("pageToken")) : 0;
              QJsonArray items;
              const int n = static_cast<int>(st->calendars.size());
              for (int i = from; i < n && i < from + st->pageSize; ++i) {
                  items.append(st->calendars[static_cast<std::size_t>(i)]);
              }
              QJsonObject page{{QStringLiteral("items"), items}};
              if (from + st->pageSize < n) {
                  page.insert(QStringLiteral("nextPageToken"),
                              QString::number(from + st->pageSize));
              }
              json(res, 200, page);
          }));

    s.Get(R"(/calendar/v3/calendars/([^/]+)/events)",
          recorded([st, authorized](const httplib::Request& req, httplib::Response& res) {
              if (!authorized(req, res)) {
                  return;
              }
              std::lock_guard lock(st->mutex);
              const QString calendar = q(req.matches[1]);
              const bool single = req.get_param_value("singleEvents") == "true";
              const QDateTime min =
                  QDateTime::fromString(q(req.get_param_value("timeMin")), Qt::ISODateWithMs);
              const QDateTime max =
                  QDateTime::fromString(q(req.get_param_value("timeMax")), Qt::ISODateWithMs);
              std::vector<QJsonObject> found;
              for (const auto& [id, e] : st->events) {
                  if (id != calendar || (single ? e.contains(QStringLiteral("recurrence"))
                                                : e.contains(QStringLiteral("recurringEventId")))) {
                      continue;
                  }
                  const QDateTime start = timeOf(e.value(QStringLiteral("start")).toObject());
                  const QDateTime end = timeOf(e.value(QStringLiteral("end")).toObject());
                  if ((!max.isValid() || start < max) && (!min.isValid() || end > min)) {
                      found.push_back(e);
                  }
              }
              const int from =
                  req.has_param("pageToken") ? std::stoi(req.get_param_value("pageToken")) : 0;
              QJsonArray items;
              const int n = static_cast<int>(found.size());
              for (int i = from; i < n && i < from + st->pageSize; ++i) {
                  items.append(found[static_cast<std::size_t>(i)]);
              }
              QJsonObject page{{QStringLiteral("kind"), QStringLiteral("calendar#events")},
                               {QStringLiteral("items"), items}};
              if (from + st->pageSize < n) {
                  page.insert(QStringLiteral("nextPageToken"),
                              QString::number(from + st->pageSize));
              }
              json(res, 200, page);
          }));

    s.Post(R"(/calendar/v3/calendars/([^/]+)/events)",
           recorded([st, authorized](const httplib::Request& req, httplib::Response& res) {
               if (!authorized(req, res)) {
                   return;
               }
               const QJsonDocument doc =
                   QJsonDocument::fromJson(QByteArray::fromStdString(req.body));
               QJsonObject e = doc.object();
               const QJsonObject start = e.value(QStringLiteral("start")).toObject();
               const QJsonObject end = e.value(QStringLiteral("end")).toObject();
               if (!doc.isObject() || e.value(QStringLiteral("summary")).isUndefined() ||
                   !timeOf(start).isValid() || !timeOf(end).isValid()) {
                   googleError(res, 400, QStringLiteral("Missing start or end."));
                   return;
               }
               if (timeOf(end) <= timeOf(start)) {
                   googleError(res, 400, QStringLiteral("The specified time range is empty."));
                   return;
               }
               std::lock_guard lock(st->mutex);
               e.insert(QStringLiteral("id"), QStringLiteral("ev%1").arg(st->nextEventId++));
               e.insert(QStringLiteral("status"), QStringLiteral("confirmed"));
               st->events.emplace_back(q(req.matches[1]), e);
               json(res, 200, e);
           }));

    // One event, and changing some of its fields.
    s.Get(R"(/calendar/v3/calendars/([^/]+)/events/([^/]+))",
          recorded([st, authorized](const httplib::Request& req, httplib::Response& res) {
              if (!authorized(req, res)) {
                  return;
              }
              std::lock_guard lock(st->mutex);
              for (const auto& [calendar, e] : st->events) {
                  if (calendar == q(req.matches[1]) &&
                      e.value(QStringLiteral("id")).toString() == q(req.matches[2])) {
                      json(res, 200, e);
                      return;
                  }
              }
              googleError(res, 404, QStringLiteral("Not Found"));
          }));
    s.Patch(R"(/calendar/v3/calendars/([^/]+)/events/([^/]+))",
            recorded([st, authorized](const httplib::Request& req, httplib::Response& res) {
                if (!authorized(req, res)) {
                    return;
                }
                const QJsonDocument doc =
                    QJsonDocument::fromJson(QByteArray::fromStdString(req.body));
                if (!doc.isObject()) {
                    googleError(res, 400, QStringLiteral("Parse Error"));
                    return;
                }
                std::lock_guard lock(st->mutex);
                for (auto& [calendar, e] : st->events) {
                    if (calendar == q(req.matches[1]) &&
                        e.value(QStringLiteral("id")).toString() == q(req.matches[2])) {
                        const QJsonObject changes = doc.object();
                        for (auto it = changes.begin(); it != changes.end(); ++it) {
                            e.insert(it.key(), it.value());
                        }
                        json(res, 200, e);
                        return;
                    }
                }
                googleError(res, 404, QStringLiteral("Not Found"));
            }));

    s.Delete(
        R"(/calendar/v3/calendars/([^/]+)/events/([^/]+))",
        recorded([st, authorized](const httplib::Request& req, httplib::Response& res) {
            if (!authorized(req, res)) {
                return;
            }
            std::lock_guard lock(st->mutex);
            const QString calendar = q(req.matches[1]);
            const QString id = q(req.matches[2]);
            const auto it = std::find_if(st->events.begin(), st->events.end(), [&](const auto& p) {
                return p.first == calendar && p.second.value(QStringLiteral("id")).toString() == id;
            });
            if (it == st->events.end()) {
                googleError(res, 404, QStringLiteral("Not Found"));
                return;
            }
            st->events.erase(it);
            res.status = 204;
        }));

    runner_->port = s.bind_to_any_port("127.0.0.1");
    runner_->thread = std::thread([this] { runner_->server.listen_after_bind(); });
    while (!runner_->server.is_running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

FakeGoogleServer::~FakeGoogleServer() {
    {
        std::lock_guard lock(state_->tally->mutex);
        state_->tally->stopping = true;
    }
    runner_->server.stop();
    runner_->thread.join();
}

QUrl FakeGoogleServer::base() const {
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(runner_->port));
}

void FakeGoogleServer::addCalendar(const QJsonObject& entry) {
    std::lock_guard lock(state_->mutex);
    state_->calendars.push_back(entry);
}

void FakeGoogleServer::addEvent(const QString& calendarId, const QJsonObject& event) {
    std::lock_guard lock(state_->mutex);
    state_->events.emplace_back(calendarId, event);
}

void FakeGoogleServer::setPageSize(int size) {
    std::lock_guard lock(state_->mutex);
    state_->pageSize = size;
}

void FakeGoogleServer::addFault(Fault fault) {
    std::lock_guard lock(state_->mutex);
    state_->faults.push_back(std::move(fault));
}

void FakeGoogleServer::clearFaults() {
    std::lock_guard lock(state_->mutex);
    state_->faults.clear();
}

void FakeGoogleServer::addStream(Stream stream) {
    std::lock_guard lock(state_->mutex);
    state_->streams.push_back(std::move(stream));
}

qint64 FakeGoogleServer::streamedBytes() const {
    std::lock_guard lock(state_->tally->mutex);
    return state_->tally->bytes;
}

int FakeGoogleServer::streamsEnded() const {
    std::lock_guard lock(state_->tally->mutex);
    return state_->tally->ended;
}

void FakeGoogleServer::revokeAccessTokens() {
    std::lock_guard lock(state_->mutex);
    state_->accessToken = QStringLiteral("revoked");
}

void FakeGoogleServer::revokeAccess() {
    std::lock_guard lock(state_->mutex);
    state_->accessToken = QStringLiteral("revoked");
    state_->refreshToken =
        QStringLiteral("1//refresh-token-SECRET-r%1").arg(++state_->refreshTokensIssued);
}

void FakeGoogleServer::setRedirectState(std::optional<QString> state) {
    std::lock_guard lock(state_->mutex);
    state_->redirectState = std::move(state);
}

void FakeGoogleServer::setAuthorizationError(std::optional<QString> error) {
    std::lock_guard lock(state_->mutex);
    state_->authorizationError = std::move(error);
}

void FakeGoogleServer::setIssuesRefreshTokens(bool issues) {
    std::lock_guard lock(state_->mutex);
    state_->issuesRefreshTokens = issues;
}

std::vector<FakeGoogleServer::Request> FakeGoogleServer::requests() const {
    std::lock_guard lock(state_->mutex);
    return state_->requests;
}

std::vector<FakeGoogleServer::Request> FakeGoogleServer::requestsTo(
    const QByteArray& pathPrefix) const {
    std::vector<Request> out;
    for (Request& r : requests()) {
        if (r.path.startsWith(pathPrefix)) {
            out.push_back(std::move(r));
        }
    }
    return out;
}

std::vector<QString> FakeGoogleServer::secrets() const {
    std::lock_guard lock(state_->mutex);
    std::vector<QString> out{kClientSecret, kCode};
    for (int i = 1; i <= state_->refreshTokensIssued; ++i) {
        out.push_back(QStringLiteral("1//refresh-token-SECRET-r%1").arg(i));
    }
    for (int i = 1; i <= state_->tokensIssued; ++i) {
        out.push_back(QStringLiteral("ya29.access-SECRET-%1").arg(i));
    }
    return out;
}

QString FakeGoogleServer::currentAccessToken() const {
    std::lock_guard lock(state_->mutex);
    return state_->accessToken;
}

QString FakeGoogleServer::refreshToken() const {
    std::lock_guard lock(state_->mutex);
    return state_->refreshToken;
}

int FakeGoogleServer::refreshes() const {
    std::lock_guard lock(state_->mutex);
    return state_->refreshes;
}

std::vector<QJsonObject> FakeGoogleServer::eventsOf(const QString& calendarId) const {
    std::lock_guard lock(state_->mutex);
    std::vector<QJsonObject> out;
    for (const auto& [id, e] : state_->events) {
        if (id == calendarId) {
            out.push_back(e);
        }
    }
    return out;
}

}  // namespace talvor::test
