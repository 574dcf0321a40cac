#include "service/history_schema.h"

#include <array>

namespace veltrane {
namespace {

constexpr std::array<const char*, 2> kMigrations = {
    // 1: the changes, and the look-up of one DAC's changes by serial number.
    "CREATE TABLE changes ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " started_utc TEXT NOT NULL, ended_utc TEXT NOT NULL,"
    " program TEXT NOT NULL, program_version TEXT NOT NULL, host TEXT NOT NULL,"
    " operation TEXT NOT NULL,"
    " vendor INTEGER NOT NULL, product INTEGER NOT NULL, revision INTEGER NOT NULL,"
    " serial TEXT NOT NULL, location TEXT NOT NULL, transport TEXT NOT NULL,"
    " image_name TEXT NOT NULL, image_sha256 TEXT NOT NULL, image_size INTEGER, image_version INTEGER,"
    " version_before INTEGER, version_after INTEGER,"
    " address INTEGER NOT NULL, length INTEGER NOT NULL,"
    " backup_state TEXT NOT NULL, backup_path TEXT NOT NULL, backup_sha256 TEXT NOT NULL,"
    " outcome TEXT NOT NULL, failed_stage TEXT NOT NULL, failure_text TEXT NOT NULL,"
    " packets_written INTEGER NOT NULL, duration_ms INTEGER NOT NULL,"
    " undoes INTEGER REFERENCES changes(id));"
    "CREATE INDEX changes_by_serial ON changes(serial, id);",
    // 2: the row goes in before the first byte is sent: what the change
    // writes, and the lock its program holds while it runs.
    "ALTER TABLE changes ADD COLUMN written_sha256 TEXT NOT NULL DEFAULT '';"
    "ALTER TABLE changes ADD COLUMN lock_path TEXT NOT NULL DEFAULT '';",
};

}  // namespace

const char kHistoryColumns[] =
    "started_utc, ended_utc, program, program_version, host, operation, "
    "vendor, product, revision, serial, location, transport, "
    "image_name, image_sha256, image_size, image_version, version_before, version_after, "
    "address, length, backup_state, backup_path, backup_sha256, "
    "outcome, failed_stage, failure_text, packets_written, duration_ms, undoes, "
    "written_sha256, lock_path";

std::span<const char* const> HistoryMigrations() { return kMigrations; }

}  // namespace veltrane
