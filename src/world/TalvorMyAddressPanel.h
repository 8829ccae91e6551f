// src/world/TalvorMyAddressPanel.h
#pragma once

#include "foundation/AddressBook.h"

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
                         QObject* parent = nullptr, AddressBook book = AddressBook::load());
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

    // Finds the people whose field of the chosen kind starts with `text` (everybody for an
    // empty text) and lists them in the people table.
    void search(AddressBook::SearchKind kind, const QString& text);
    // The person of a row of the people table goes into the form.
    void takePerson(int row);
    const QList<AddressBook::Person>& ABresults() const { return results_; }
    LocationPickerModel& model() { return *model_; }
    // The cities of the locations already listed: their people are marked in the table.
    std::function<QStringList()> knownCities;
    // Opens the manual at the locations' page.
    void WebHelp();

  private:
    std::unique_ptr<LocationPickerModel> model_;
    // The window may go with a parent window before the panel goes.
    QPointer<PickerWindow> window_;
    std::function<void(const QVariantList&)> added_;
    std::function<void()> finished_;
    AddressBook book_;
    QList<AddressBook::Person> results_;
};
}  // namespace talvor
