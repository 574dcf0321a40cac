// The service history: every change a program makes to a DAC, one row each,
// in one SQLite file per user. Several programs and a bench's threads write
// at once (WAL, a busy timeout; one connection per object, guarded).
//
// The history never stops device work: when a row cannot be written (the
// file is locked past the timeout, read-only, damaged, on a full disk, or of
// a newer schema) Record says so once, and the caller goes on.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "service/history_row.h"

struct sqlite3;

namespace veltrane {

struct HistoryOptions {
  std::string path;                       // the database file, UTF-8
  int busy_timeout_ms = 5000;             // how long to wait for another writer
  int page_limit = 0;                     // the most pages the file may take, 0: no limit (tests: a full disk)
};

struct HistoryQuery {
  // Only the changes of the DAC with this serial number ("": the DACs that
  // have none); unset: every DAC.
  std::optional<std::string> serial;
  std::size_t limit = 0;  // the newest this many; 0: all
};

class ServiceHistory {
 public:
  explicit ServiceHistory(HistoryOptions options);
  ~ServiceHistory();
  ServiceHistory(const ServiceHistory&) = delete;
  ServiceHistory& operator=(const ServiceHistory&) = delete;

  // The user's history: history.sqlite3 in the program data folder; empty
  // when the system names no such folder.
  static std::string DefaultPath();

  struct Recorded {
    std::optional<std::int64_t> id;  // the new row's, when it was written
    // "The service history was not recorded: …" the first time a row could
    // not be written; empty otherwise, so the program says it once.
    std::string warning;
  };
  Recorded Record(const HistoryRow& row);
  // Writes `row` over the row `id` (a running change finished); the warning as Record gives it.
  Recorded Update(std::int64_t id, const HistoryRow& row);

  // Reading. A history file that does not exist yet holds no rows. False,
  // with `problem` set, when the file cannot be read. A running row whose
  // lock nobody holds any more reads as interrupted.
  bool List(const HistoryQuery& query, std::vector<HistoryRow>* rows, std::string* problem);
  bool Find(std::int64_t id, std::optional<HistoryRow>* row, std::string* problem);

  const std::string& Path() const { return options_.path; }
  // Where the locks of running changes go: a folder beside the file.
  std::string LockFolder() const { return options_.path.empty() ? std::string() : options_.path + ".running"; }

 private:
  // Opens (creating the file and its folder when `create`) and migrates;
  // false with `problem` set. Called with mutex_ held.
  bool Open(bool create, std::string* problem);
  // Runs a written statement (INSERT or UPDATE) with `bind`; the warning when it fails.
  Recorded Write(const std::string& sql, const HistoryRow& row, std::optional<std::int64_t> id);
  void Close();
  bool Select(const std::string& where, std::int64_t key, const std::string& text_key,
              std::size_t limit, std::vector<HistoryRow>* rows, std::string* problem, bool by_text = false);

  HistoryOptions options_;
  std::mutex mutex_;
  sqlite3* db_ = nullptr;
  bool warned_ = false;
  int open_code_ = 0;  // SQLite's code for the last failed Open, 0 when it was not SQLite's
  // Damaged, newer or unwritable: not tried again for every row of a bench.
  std::string lasting_problem_;
};

}  // namespace veltrane
