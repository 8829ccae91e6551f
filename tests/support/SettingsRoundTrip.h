#pragma once

// The one round-trip test every settings model gets from its table: each row, given a value
// unlike the loaded one, keeps it through a write and a load, and through the keyed archive
// where the row is archived. Needs the model's domain in place (an in-memory store).

#include "foundation/SettingsTable.h"
#include "platform/KeyedArchiver.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace talvor::test {

template <class Model>
void expectArchivedRowsRoundTrip(const Model& changed) {
    const settings::Table<Model>& table = Model::table();
    const std::optional<Model> decoded = platform::KeyedUnarchiver::unarchiveObjectWithData<Model>(
        platform::KeyedArchiver::archivedDataWithRootObject(changed));
    ASSERT_TRUE(decoded.has_value());
    for (const settings::Row<Model>& row : table) {
        if (row.encode) {
            EXPECT_TRUE(row.same(*decoded, changed)) << row.key.toStdString() << ": not archived";
        }
    }
}

template <class Model>
void expectEveryRowRoundTrips(const std::function<std::unique_ptr<Model>()>& loaded) {
    const settings::Table<Model>& table = Model::table();
    const std::unique_ptr<Model> defaults = loaded();
    const std::unique_ptr<Model> changed = loaded();
    for (const settings::Row<Model>& row : table) {
        row.vary(*changed);
        EXPECT_FALSE(row.same(*changed, *defaults)) << row.key.toStdString() << ": not varied";
    }
    changed->writePrefs();
    const std::unique_ptr<Model> back = loaded();
    for (const settings::Row<Model>& row : table) {
        EXPECT_TRUE(row.same(*back, *changed)) << row.key.toStdString() << ": not kept";
    }

    if constexpr (requires { Model::archiveClassName(); }) {
        expectArchivedRowsRoundTrip(*changed);
    }
}

}  // namespace talvor::test
