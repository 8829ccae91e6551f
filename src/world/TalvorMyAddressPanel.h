// src/world/TalvorMyAddressPanel.h
#pragma once
#include <QObject>
#include <QVariantList>
#include <functional>
class QWidget;
namespace talvor {
// The location picker: composes one new world-clock location. Main thread only.
class TalvorMyAddressPanel : public QObject {
    Q_OBJECT
public:
    explicit TalvorMyAddressPanel(QObject* parent = nullptr);
    ~TalvorMyAddressPanel() override;
    // Shows the panel as a window-modal sheet on `parent` (nullptr: a window of its own).
    // `added` receives each record the user adds (a location record as the location table
    // stores it, LocationRecord.h fields); `finished` runs when the panel closes.
    void beginSheet(QWidget* parent, std::function<void(const QVariantList& record)> added,
                    std::function<void()> finished = {});
    QWidget* window() const;
};
}  // namespace talvor
