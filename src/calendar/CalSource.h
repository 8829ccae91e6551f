#pragma once

#include <QColor>
#include <QString>
#include <QUrl>
#include <QVariantList>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace talvor {

namespace platform {
class KeyedArchiver;
class KeyedUnarchiver;
}  // namespace platform

// How a source's events are marked in the month grid: a colour and, optionally, a dot.
class SourceHighlight {
  public:
    static SourceHighlight sourceHighlightWithColor(const QColor& color) { return {color, 0}; }
    SourceHighlight() = default;
    SourceHighlight(QColor color, int32_t dotValue) : color_(color), dotValue_(dotValue) {}

    const QColor& color() const { return color_; }
    int32_t dotValue() const { return dotValue_; }
    void setDotValue(int32_t value) { dotValue_ = value; }
    bool usesDot() const { return dotValue_ > 0; }
    void clearDotValue() { dotValue_ = 0; }

    friend bool operator==(const SourceHighlight&, const SourceHighlight&) = default;

    // Keyed archive: "dot" and "color".
    static QString archiveClassName() { return QStringLiteral("SourceHighlight"); }
    void encodeWithCoder(platform::KeyedArchiver& coder) const;
    static std::optional<SourceHighlight> initWithCoder(const platform::KeyedUnarchiver& coder);

  private:
    QColor color_;
    int32_t dotValue_ = 0;
};

// One feed of events (a personal calendar, a built-in public calendar), shared by every event
// of it, and through the class functions the process-wide registry of sources by token.
// Registry and sources belong to the main thread.
class CalSource : public std::enable_shared_from_this<CalSource> {
  public:
    static QColor defaultColor();

    // A new source that registers itself under its token (replacing an earlier one); a
    // source without a token is not registered. Order 1, refresh 8 minutes, disabled.
    static std::shared_ptr<CalSource> initWithToken(const QString& token, const QString& name,
                                                    const QUrl& url);

    // The built-in lists, each sorted by name (made on first use).
    static const std::vector<std::shared_ptr<CalSource>>& publicCalendars();
    static const std::vector<std::shared_ptr<CalSource>>& publicCalendars_Religious();
    static const std::vector<std::shared_ptr<CalSource>>& publicCalendars_Sports();
    static const std::vector<std::shared_ptr<CalSource>>& publicCalendars_Misc();

    static std::shared_ptr<CalSource> findSourceWithToken(const QString& token);
    static std::shared_ptr<CalSource> findOrCreateSourceWithToken(const QString& token);
    static void removeSourceWithToken(const QString& token);
    static std::vector<std::shared_ptr<CalSource>> enabledSources();
    // Forgets every source, the built-in lists included (tests).
    static void resetRegistryForTesting();

    const QString& identifier() const { return identifier_; }
    const QString& name() const { return name_; }
    const QString& token() const { return token_; }
    const QUrl& url() const { return url_; }
    const QUrl& altURL() const { return altURL_; }
    int32_t order() const { return order_; }
    int32_t refreshInterval() const { return refreshInterval_; }
    const QColor& displayColor() const { return displayColor_; }
    bool enabled() const { return enabled_; }
    bool requireAuth() const { return requireAuth_; }
    bool canCreate() const { return canCreate_; }
    int32_t highlightType() const { return highlightType_; }

    void setIdentifier(const QString& v) { identifier_ = v; }
    void setName(const QString& v) { name_ = v; }
    void setURL(const QUrl& v) { url_ = v; }
    void setAltURL(const QUrl& v) { altURL_ = v; }
    void setOrder(int32_t v) { order_ = v; }
    void setRefreshInterval(int32_t v) { refreshInterval_ = v; }
    // An invalid colour (none) stores the default colour.
    void setDisplayColor(const QColor& v) { displayColor_ = v.isValid() ? v : defaultColor(); }
    void setEnabled(bool v) { enabled_ = v; }
    void setRequireAuth(bool v) { requireAuth_ = v; }
    void setCanCreate(bool v) { canCreate_ = v; }
    void setHighlightType(int32_t v) { highlightType_ = v; }

    // The fallback address becomes the address, once.
    bool fallBackToAltURL();
    // [colour data, enabled, order, highlightType], as kept in the preferences.
    QVariantList prefEncoding() const;
    // Restores from such an array; elements of the wrong type are skipped, an order below 2
    // is ignored, and highlightType is read only from a four-element array.
    void updateFromPrefEncoding(const std::optional<QVariantList>& encoding);

    // By order; equal orders by name.
    int compare(const CalSource& other) const;
    int compareNames(const CalSource& other) const;
    // The same token; sources without a token are equal only to themselves.
    bool isEqual(const CalSource& other) const;
    QString description() const;

    // Keyed archive: "identifier", "summary", "token", "url", "alturl", "refresh", "order",
    // "auth", "create", "color". A decoded source is disabled with highlight 0 (the
    // preferences restore both) and registers itself, replacing one of the same token.
    static QString archiveClassName() { return QStringLiteral("CalSource"); }
    void encodeWithCoder(platform::KeyedArchiver& coder) const;
    static std::shared_ptr<CalSource> initWithCoder(const platform::KeyedUnarchiver& coder);

  private:
    CalSource() = default;

    QString identifier_;
    QString name_;
    QString token_;
    QUrl url_;
    QUrl altURL_;
    int32_t order_ = 1;
    int32_t refreshInterval_ = 8;
    QColor displayColor_ = defaultColor();
    bool enabled_ = false;
    bool requireAuth_ = false;
    bool canCreate_ = false;
    int32_t highlightType_ = 0;
};

using CalSourcePtr = std::shared_ptr<CalSource>;

}  // namespace talvor
