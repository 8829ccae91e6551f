#pragma once

#include <QColor>
#include <QFont>
#include <QPointF>
#include <QString>

#include <optional>
#include <vector>

class QPainter;

namespace talvor::platform {

// A text shadow in the original system's terms: offset x to the right and y *up* (so (2, -2) falls
// right and below), blur radius in points; the default colour is black at one third alpha.
struct TextShadow {
    QPointF offset{0.0, -1.0};
    double blurRadius = 0.0;
    QColor color{0, 0, 0, 85};

    bool operator==(const TextShadow&) const = default;
};

// The attributes of one run of text. An absent attribute takes the drawer's default.
struct TextAttributes {
    std::optional<QFont> font;
    std::optional<QColor> foregroundColor;
    std::optional<TextShadow> shadow;
    double baselineOffset = 0.0;  // points, positive raises the text
    double kern = 0.0;            // points added after every character
    double obliqueness = 0.0;     // horizontal skew; 0.3 leans the glyphs right

    bool operator==(const TextAttributes&) const = default;
};

// Styled text: runs of text, each with its attributes. Positions and lengths count UTF-16
// units. Neighbouring runs with equal attributes are kept merged, so two strings with the
// same text and the same styling compare equal however they were built.
class AttributedString {
  public:
    struct Run {
        QString text;
        TextAttributes attributes;
        bool operator==(const Run&) const = default;
    };

    AttributedString() = default;
    explicit AttributedString(const QString& text, const TextAttributes& attributes = {});

    const QString& string() const { return text_; }
    qsizetype length() const { return text_.size(); }
    bool isEmpty() const { return text_.isEmpty(); }
    const std::vector<Run>& runs() const { return runs_; }

    void append(const QString& text, const TextAttributes& attributes = {});
    void append(const AttributedString& other);
    // Replaces the attributes of the units [start, start + length) (clipped to the text).
    void setAttributes(const TextAttributes& attributes, qsizetype start, qsizetype length);
    // The attributes at a unit; the empty set outside the text.
    TextAttributes attributesAtIndex(qsizetype index) const;

    bool operator==(const AttributedString& other) const { return runs_ == other.runs_; }

  private:
    void normalize();

    QString text_;
    std::vector<Run> runs_;
};

// Where text is drawn and measured without attributes of its own.
struct TextDefaults {
    QFont font;
    QColor color{Qt::black};
};

struct TextMetrics {
    double width = 0;
    double ascent = 0;
    double descent = 0;
    double height() const { return ascent + descent; }
};

// Advance width and line extent of the text as drawn (kern included, shadows not).
TextMetrics measureAttributedString(const AttributedString& text, const TextDefaults& defaults);
// The plain width of text measured with one font alone.
double widthOfString(const QString& text, const QFont& font);
// Draws the text with its first baseline at `baseline` (x at the left end of the text).
void drawAttributedString(QPainter& painter, const AttributedString& text, const QPointF& baseline,
                          const TextDefaults& defaults);

}  // namespace talvor::platform
