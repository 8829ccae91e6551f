// src/world/TalvorMyAddressPanel.h
#pragma once
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantList>
#include <functional>
#include <memory>
class QWidget;
namespace talvor {
class LocationPickerModel;
class PickerWindow;
// The location picker: composes one new world-clock location. Main thread only.
class TalvorMyAddressPanel : public QObject {
    Q_OBJECT
  public:
    explicit TalvorMyAddressPanel(QObject* parent = nullptr);
    // Over a model of the caller's (tests: a fixture zone tree and table), opened on the
    // place of `homeZone` (the real panel: the system's zone).
    TalvorMyAddressPanel(std::unique_ptr<LocationPickerModel> model, const QString& homeZone,
                         QObject* parent = nullptr);
    ~TalvorMyAddressPanel() override;
    // Shows the panel as a window-modal sheet on `parent` (nullptr: a window of its own).
    // `added` receives each record the user adds (a location record as the location table
    // stores it, LocationRecord.h fields); `finished` runs when the panel closes.
    void beginSheet(QWidget* parent, std::function<void(const QVariantList& record)> added,
                    std::function<void()> finished = {});
    QWidget* window() const;

    // The button that adds the composed location; with nothing chosen it shows the
    // "No Location is selected" sheet instead.
    void addLocation();
    // The button that closes the panel.
    void FinishedLookup();

  private:
    std::unique_ptr<LocationPickerModel> model_;
    // The window may go with a parent window before the panel goes.
    QPointer<PickerWindow> window_;
    std::function<void(const QVariantList&)> added_;
    std::function<void()> finished_;
};
}  // namespace talvor
