// A build without SQLite: the programs run, and every change says once that
// it was not recorded.
#include "service/history_texts.h"
#include "service/service_history.h"

#include "device/platform/user_folders.h"

namespace veltrane {

ServiceHistory::ServiceHistory(HistoryOptions options) : options_(std::move(options)) {}
ServiceHistory::~ServiceHistory() = default;

std::string ServiceHistory::DefaultPath() {
  const std::string folder = UserDataFolder();
  return folder.empty() ? folder : folder + "\\history.sqlite3";
}

ServiceHistory::Recorded ServiceHistory::Record(const HistoryRow&) {
  std::lock_guard lock(mutex_);
  Recorded recorded;
  if (!warned_) recorded.warning = std::string(history_texts::kNotRecorded) + history_texts::kNoSqlite;
  warned_ = true;
  return recorded;
}

ServiceHistory::Recorded ServiceHistory::Update(std::int64_t, const HistoryRow& row) { return Record(row); }

bool ServiceHistory::List(const HistoryQuery&, std::vector<HistoryRow>* rows, std::string* problem) {
  rows->clear();
  *problem = history_texts::kNoSqlite;
  return false;
}

bool ServiceHistory::Find(std::int64_t, std::optional<HistoryRow>* row, std::string* problem) {
  row->reset();
  *problem = history_texts::kNoSqlite;
  return false;
}

}  // namespace veltrane
