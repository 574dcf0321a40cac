// The service history against real SQLite files in a scratch folder: a row
// goes in and comes back whole, and every way the file can be unusable
// leaves the caller with one warning and its work going on.
#include "service/service_history.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>

#if !defined(_WIN32)
#include <unistd.h>
#endif

#include "device/platform/durable_file.h"
#include "service/history_schema.h"
#include "service/rollback.h"
#include "service/sha256.h"
#include "tests/update/scratch_dir.h"

namespace veltrane {
namespace {

HistoryRow SampleRow(const std::string& serial, const std::string& operation) {
  HistoryRow r;
  r.started_utc = "2026-12-09T02:47:41.123Z";
  r.ended_utc = "2026-12-09T02:47:43.456Z";
  r.program = "veltrane-cli";
  r.program_version = "1.4.0.0";
  r.host = "bench-3";
  r.operation = operation;
  r.vendor = 0x3917;
  r.product = 4;
  r.revision = 0x0102;
  r.serial = serial;
  r.location = "usb:1-2";
  r.transport = "usb";
  r.image_name = "newer-0103.bin";
  r.image_sha256 = std::string(64, 'a');
  r.image_size = 2048;
  r.image_version = 0x0103;
  r.version_before = 0x0102;
  r.version_after = 0x0103;
  r.length = 2048;
  r.backup_state = backup_state::kSaved;
  r.backup_path = "/backups/SIM0001-rev0102-20261209-024741-123.bin";
  r.backup_sha256 = std::string(64, 'b');
  r.outcome = outcome::kDone;
  r.packets_written = 128;
  r.duration_ms = 2333;
  return r;
}

// A connection of its own, as another program would hold one.
struct Raw {
  sqlite3* db = nullptr;
  explicit Raw(const std::string& path) { sqlite3_open(path.c_str(), &db); }
  ~Raw() { sqlite3_close(db); }
  void Exec(const char* sql) { ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sql; }
  std::string Text(const char* sql) {
    sqlite3_stmt* s = nullptr;
    std::string value;
    if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW) {
      value = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
    }
    sqlite3_finalize(s);
    return value;
  }
};

// Whether file modes keep this process out: not for root, not on Windows.
bool ModesBind() {
#if defined(_WIN32)
  return false;
#else
  return ::geteuid() != 0;
#endif
}

void Garbage(const std::string& path) {
  std::ofstream out(path, std::ios::binary);
  std::mt19937 random(21);
  for (int i = 0; i < 8192; ++i) out.put(static_cast<char>(random()));
}

TEST(ServiceHistory, RecordsOrSaysOnceWhyNotAndNeverStopsTheCaller) {
  struct Case {
    const char* name;
    // Prepares the file at `path`; may leave a connection open that holds a lock.
    std::function<void(const std::string& path, std::unique_ptr<Raw>* holder)> prepare;
    int page_limit;
    bool needs_modes;  // root, and Windows, read and write past chmod
    const char* warning;     // nullptr: the row is written
  };
  const auto made = [](const std::string& path) {
    ServiceHistory(HistoryOptions{path}).Record(SampleRow("SIM0001", "flash"));
  };
  const Case cases[] = {
      {"a new file in a new folder", [](auto&, auto*) {}, 0, false, nullptr},
      {"an empty file", [](const std::string& p, auto*) { std::ofstream(p).flush(); }, 0, false, nullptr},
      {"garbage bytes", [](const std::string& p, auto*) { Garbage(p); }, 0, false, " is damaged or is not a service history"},
      {"a newer schema",
       [](const std::string& p, auto*) { Raw(p).Exec("CREATE TABLE future(x); PRAGMA user_version = 99"); },
       0, false, "was written by a newer Veltrane (history version 99"},
      {"locked by another program past the timeout",
       [&](const std::string& p, std::unique_ptr<Raw>* holder) {
         made(p);
         *holder = std::make_unique<Raw>(p);
         (*holder)->Exec("BEGIN IMMEDIATE");
       },
       0, false, "stayed locked by another program"},
      {"a full disk", [](auto&, auto*) {}, 1, false, "is full"},
      {"a folder where the file belongs", [](const std::string& p, auto*) { std::filesystem::create_directories(p); },
       0, false, "cannot be opened"},
      {"a file where its folder belongs",
       [](const std::string& p, auto*) {
         std::filesystem::remove_all(std::filesystem::path(p).parent_path());
         std::ofstream(std::filesystem::path(p).parent_path()).flush();
       },
       0, false, "the folder of"},
      {"read-only",
       [&](const std::string& p, auto*) {
         made(p);
         std::filesystem::permissions(p, std::filesystem::perms::owner_read);
       },
       0, true, "is read-only"},
      {"chmod 000",
       [&](const std::string& p, auto*) {
         made(p);
         std::filesystem::permissions(p, std::filesystem::perms::none);
       },
       0, true, "cannot be opened"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.needs_modes && !ModesBind()) continue;
    testing::ScratchDir dir;
    std::filesystem::create_directories(dir / "data");
    const std::string path = (dir / "data" / "veltrane" / "history.sqlite3").string();
    if (c.name != std::string("a new file in a new folder")) std::filesystem::create_directories(dir / "data" / "veltrane");
    std::unique_ptr<Raw> holder;
    c.prepare(path, &holder);

    ServiceHistory history(HistoryOptions{path, 0, c.page_limit});
    const ServiceHistory::Recorded first = history.Record(SampleRow("SIM0002", "feedback set"));
    const ServiceHistory::Recorded second = history.Record(SampleRow("SIM0002", "eeprom write"));
    EXPECT_TRUE(second.warning.empty()) << "said twice: " << second.warning;
    if (c.warning == nullptr) {
      EXPECT_TRUE(first.warning.empty()) << first.warning;
      ASSERT_TRUE(first.id && second.id);
      Raw raw(path);
      EXPECT_EQ(raw.Text("PRAGMA journal_mode"), "wal");
      EXPECT_EQ(raw.Text("PRAGMA user_version"), std::to_string(HistorySchemaVersion()));
      continue;
    }
    EXPECT_FALSE(first.id);
    EXPECT_EQ(first.warning.rfind("The service history was not recorded: ", 0), 0u) << first.warning;
    EXPECT_NE(first.warning.find(c.warning), std::string::npos) << first.warning;
    if (holder) {
      // A lock passes: once it is released the next row goes in.
      holder.reset();
      EXPECT_TRUE(history.Record(SampleRow("SIM0002", "bench")).id);
    }
    if (std::string(c.name) == "a newer schema") {
      EXPECT_EQ(Raw(path).Text("PRAGMA user_version"), "99") << "a newer history was changed";
    }
  }
}

TEST(ServiceHistory, KeepsEveryFieldAndListsNewestFirstByDac) {
  testing::ScratchDir dir;
  ServiceHistory history(HistoryOptions{(dir / "h.sqlite3").string()});
  std::vector<HistoryRow> rows;
  std::string problem;
  ASSERT_TRUE(history.List({}, &rows, &problem)) << "a history not yet made holds no rows";
  EXPECT_TRUE(rows.empty());
  EXPECT_FALSE(std::filesystem::exists(dir / "h.sqlite3")) << "reading made the file";

  HistoryRow failed = SampleRow("SIM0001", "rollback");
  failed.outcome = outcome::kFailed;
  failed.failed_stage = "verify";
  failed.failure_text = "Verify failed: 3 byte(s) read back differ";
  failed.image_size.reset();
  failed.version_after.reset();
  failed.undoes = 1;
  const std::int64_t a = *history.Record(SampleRow("SIM0001", "flash")).id;
  const std::int64_t b = *history.Record(SampleRow("SIM0002", "flash")).id;
  const std::int64_t c = *history.Record(failed).id;

  ASSERT_TRUE(history.List({"SIM0001", 0}, &rows, &problem)) << problem;
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].id, c);
  EXPECT_EQ(rows[1].id, a);
  ASSERT_TRUE(history.List({std::nullopt, 2}, &rows, &problem)) << problem;
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1].id, b);

  std::optional<HistoryRow> found;
  ASSERT_TRUE(history.Find(c, &found, &problem)) << problem;
  ASSERT_TRUE(found);
  failed.id = c;
  const HistoryRow& f = *found;
  EXPECT_EQ(std::tie(f.id, f.started_utc, f.ended_utc, f.program, f.program_version, f.host, f.operation,
                     f.vendor, f.product, f.revision, f.serial, f.location, f.transport, f.image_name,
                     f.image_sha256, f.image_size, f.image_version, f.version_before, f.version_after,
                     f.address, f.length, f.backup_state, f.backup_path, f.backup_sha256, f.outcome,
                     f.failed_stage, f.failure_text, f.packets_written, f.duration_ms, f.undoes),
            std::tie(failed.id, failed.started_utc, failed.ended_utc, failed.program, failed.program_version,
                     failed.host, failed.operation, failed.vendor, failed.product, failed.revision, failed.serial,
                     failed.location, failed.transport, failed.image_name, failed.image_sha256,
                     failed.image_size, failed.image_version, failed.version_before, failed.version_after,
                     failed.address, failed.length, failed.backup_state, failed.backup_path,
                     failed.backup_sha256, failed.outcome, failed.failed_stage, failed.failure_text,
                     failed.packets_written, failed.duration_ms, failed.undoes));
  ASSERT_TRUE(history.Find(c + 1, &found, &problem));
  EXPECT_FALSE(found);
}

// A history of the first version is brought forward and keeps its rows; a
// row that goes in running reads as running while its lock is held, and as
// interrupted once its program is gone.
TEST(ServiceHistory, OldFilesKeepWorkingAndARunningRowOutlivedByItsProgramIsInterrupted) {
  testing::ScratchDir dir;
  const std::string path = (dir / "h.sqlite3").string();
  {
    Raw old(path);
    old.Exec((std::string(HistoryMigrations()[0]) + ";PRAGMA user_version = 1").c_str());
    old.Exec("INSERT INTO changes (started_utc, ended_utc, program, program_version, host, operation, vendor, "
             "product, revision, serial, location, transport, image_name, image_sha256, address, length, "
             "backup_state, backup_path, backup_sha256, outcome, failed_stage, failure_text, packets_written, "
             "duration_ms) VALUES ('2026-01-01T00:00:00.000Z', '', 'veltrane-cli', '1.3', 'h', 'flash', 14615, 4, "
             "258, 'SIM0001', 'usb:1-2', 'usb', 'a.bin', '', 0, 2048, 'saved', '/b.bin', '', 'done', '', '', 128, 1)");
  }
  ServiceHistory history(HistoryOptions{path});
  HistoryRow running = SampleRow("SIM0001", "flash");
  running.outcome = outcome::kRunning;
  auto lock = std::make_unique<HeldLock>();
  std::string reason;
  ASSERT_TRUE(lock->Acquire(history.LockFolder(), &reason)) << reason;
  running.lock_path = lock->Path();
  running.written_sha256 = std::string(64, 'c');
  const std::int64_t id = *history.Record(running).id;
  std::vector<HistoryRow> rows;
  std::string problem;
  ASSERT_TRUE(history.List({}, &rows, &problem)) << problem;
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1].operation, "flash");
  EXPECT_TRUE(rows[1].Done() && rows[1].written_sha256.empty());
  EXPECT_TRUE(rows[0].Running());
  EXPECT_EQ(rows[0].written_sha256, running.written_sha256);
  EXPECT_EQ(Raw(path).Text("PRAGMA user_version"), std::to_string(HistorySchemaVersion()));
  lock.reset();  // as the system drops it when the program dies
  ASSERT_TRUE(history.List({}, &rows, &problem)) << problem;
  EXPECT_TRUE(rows[0].Interrupted() && !rows[0].Running());
  running.outcome = outcome::kDone;
  EXPECT_TRUE(history.Update(id, running).id);
  std::optional<HistoryRow> found;
  ASSERT_TRUE(history.Find(id, &found, &problem));
  EXPECT_TRUE(found && found->Done());
}

// A DAC without a serial number matches only rows without one, of its
// product, at its location, and only by an explicit ID.
TEST(ServiceHistory, ADacWithoutASerialNumberNeverMatchesAnotherDacsRows) {
  testing::ScratchDir dir;
  ServiceHistory history(HistoryOptions{(dir / "h.sqlite3").string()});
  const std::vector<std::uint8_t> backup(2048, 0x42);
  std::int64_t ids[4] = {};
  const std::pair<const char*, const char*> made[] = {{"", "usb:1-1"}, {"", "usb:1-2"}, {"SIM0001", "usb:1-1"}};
  for (std::size_t i = 0; i < 3; ++i) {
    HistoryRow r = SampleRow(made[i].first, "flash");
    r.location = made[i].second;
    r.backup_path = dir.Write(backup, "backup" + std::to_string(i) + ".bin");
    r.backup_sha256 = Sha256Hex(backup);
    ids[i] = *history.Record(r).id;
  }
  HistoryRow other_product = SampleRow("", "flash");
  other_product.product = 5;
  other_product.location = "usb:1-1";
  ids[3] = *history.Record(other_product).id;
  std::vector<HistoryRow> rows;
  std::string problem;
  ASSERT_TRUE(history.List({std::string()}, &rows, &problem));
  EXPECT_EQ(rows.size(), 3u) << "the query for no serial number found another DAC's rows";

  const RollbackDac dac{"", "usb:1-1", 4};
  const std::pair<std::optional<std::int64_t>, RollbackVerdict> cases[] = {
      {std::nullopt, RollbackVerdict::kNeedsId},
      {ids[0], RollbackVerdict::kPutBack},
      {ids[1], RollbackVerdict::kOtherDac},   // another place
      {ids[2], RollbackVerdict::kOtherDac},   // a DAC with a serial number
      {ids[3], RollbackVerdict::kOtherDac},   // another product
  };
  for (const auto& [wanted, verdict] : cases) {
    EXPECT_EQ(PlanRollback(history, dac, wanted, false).verdict, verdict) << (wanted ? *wanted : 0);
  }
}

}  // namespace
}  // namespace veltrane
