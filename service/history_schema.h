// The service history's tables, versioned with PRAGMA user_version: entry i
// of the migrations takes a database from version i to version i + 1, so an
// older history is brought forward when it is opened, and a history written
// by a newer program (a version past the last entry) is left alone.
#pragma once

#include <span>

namespace veltrane {

std::span<const char* const> HistoryMigrations();

// The schema version this program writes.
inline int HistorySchemaVersion() { return static_cast<int>(HistoryMigrations().size()); }

// The row's columns after id, in the order the history binds and reads them.
extern const char kHistoryColumns[];

}  // namespace veltrane
