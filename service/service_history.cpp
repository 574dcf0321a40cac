#include "service/service_history.h"

#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

#include "device/platform/durable_file.h"
#include "device/platform/file_names.h"
#include "device/platform/user_folders.h"
#include "service/history_schema.h"
#include "service/history_texts.h"

namespace veltrane {
namespace {

struct StatementDeleter {
  void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

std::string Format(const char* format, const std::string& path, const std::string& detail) {
  char text[1024];
  std::snprintf(text, sizeof text, format, path.c_str(), detail.c_str());
  return text;
}

// What an SQLite failure means to the user, worded for the file at `path`.
std::string Problem(sqlite3* db, int code, const std::string& path, int busy_timeout_ms) {
  const std::string detail = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(code);
  char text[1024];
  switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      std::snprintf(text, sizeof text, history_texts::kLocked, path.c_str(), busy_timeout_ms);
      return text;
    case SQLITE_READONLY:
      return Format(history_texts::kReadOnly, path, detail);
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_AUTH:
    case SQLITE_IOERR:
      return Format(history_texts::kCannotOpen, path, detail);
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
      return Format(history_texts::kDamaged, path, detail);
    case SQLITE_FULL:
      return Format(history_texts::kDiskFull, path, detail);
    default:
      return Format(history_texts::kOther, path, detail);
  }
}

// Binds a row's columns in the order of kHistoryColumns, from parameter 1.
class Binder {
 public:
  explicit Binder(sqlite3_stmt* s) : s_(s) {}
  void Text(const std::string& v) { sqlite3_bind_text(s_, ++at_, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT); }
  void Int(std::int64_t v) { sqlite3_bind_int64(s_, ++at_, v); }
  template <typename T>
  void Maybe(const std::optional<T>& v) {
    if (v) {
      Int(static_cast<std::int64_t>(*v));
    } else {
      sqlite3_bind_null(s_, ++at_);
    }
  }

 private:
  sqlite3_stmt* s_;
  int at_ = 0;
};

// Reads a row's columns in the order of kHistoryColumns, after the id.
class Reader {
 public:
  explicit Reader(sqlite3_stmt* s) : s_(s) {}
  std::string Text() {
    const auto* p = sqlite3_column_text(s_, ++at_);
    return p != nullptr ? std::string(reinterpret_cast<const char*>(p),
                                      static_cast<std::size_t>(sqlite3_column_bytes(s_, at_)))
                        : std::string();
  }
  std::int64_t Int() { return sqlite3_column_int64(s_, ++at_); }
  template <typename T>
  std::optional<T> Maybe() {
    ++at_;
    if (sqlite3_column_type(s_, at_) == SQLITE_NULL) return std::nullopt;
    return static_cast<T>(sqlite3_column_int64(s_, at_));
  }

 private:
  sqlite3_stmt* s_;
  int at_ = 0;
};

void BindRow(Binder& b, const HistoryRow& r) {
  b.Text(r.started_utc);
  b.Text(r.ended_utc);
  b.Text(r.program);
  b.Text(r.program_version);
  b.Text(r.host);
  b.Text(r.operation);
  b.Int(r.vendor);
  b.Int(r.product);
  b.Int(r.revision);
  b.Text(r.serial);
  b.Text(r.location);
  b.Text(r.transport);
  b.Text(r.image_name);
  b.Text(r.image_sha256);
  b.Maybe(r.image_size);
  b.Maybe(r.image_version);
  b.Maybe(r.version_before);
  b.Maybe(r.version_after);
  b.Int(r.address);
  b.Int(static_cast<std::int64_t>(r.length));
  b.Text(r.backup_state);
  b.Text(r.backup_path);
  b.Text(r.backup_sha256);
  b.Text(r.outcome);
  b.Text(r.failed_stage);
  b.Text(r.failure_text);
  b.Int(static_cast<std::int64_t>(r.packets_written));
  b.Int(r.duration_ms);
  b.Maybe(r.undoes);
  b.Text(r.written_sha256);
  b.Text(r.lock_path);
}

HistoryRow ReadRow(sqlite3_stmt* s) {
  HistoryRow r;
  r.id = sqlite3_column_int64(s, 0);
  Reader c(s);
  r.started_utc = c.Text();
  r.ended_utc = c.Text();
  r.program = c.Text();
  r.program_version = c.Text();
  r.host = c.Text();
  r.operation = c.Text();
  r.vendor = static_cast<std::uint16_t>(c.Int());
  r.product = static_cast<std::uint16_t>(c.Int());
  r.revision = static_cast<std::uint16_t>(c.Int());
  r.serial = c.Text();
  r.location = c.Text();
  r.transport = c.Text();
  r.image_name = c.Text();
  r.image_sha256 = c.Text();
  r.image_size = c.Maybe<std::uint64_t>();
  r.image_version = c.Maybe<std::uint16_t>();
  r.version_before = c.Maybe<std::uint16_t>();
  r.version_after = c.Maybe<std::uint16_t>();
  r.address = static_cast<std::uint32_t>(c.Int());
  r.length = static_cast<std::uint64_t>(c.Int());
  r.backup_state = c.Text();
  r.backup_path = c.Text();
  r.backup_sha256 = c.Text();
  r.outcome = c.Text();
  r.failed_stage = c.Text();
  r.failure_text = c.Text();
  r.packets_written = static_cast<std::uint64_t>(c.Int());
  r.duration_ms = c.Int();
  r.undoes = c.Maybe<std::int64_t>();
  r.written_sha256 = c.Text();
  r.lock_path = c.Text();
  // The running program holds its lock until the row is finished; the
  // system drops it when that program dies, however it ends.
  r.interrupted = r.outcome == outcome::kRunning && !HeldLock::IsHeld(r.lock_path);
  return r;
}

// A lock or a full disk may pass before the next row; anything else will
// not during this run.
bool Passing(int code) {
  const int kind = code & 0xff;
  return kind == SQLITE_BUSY || kind == SQLITE_LOCKED || kind == SQLITE_FULL;
}

}  // namespace

ServiceHistory::ServiceHistory(HistoryOptions options) : options_(std::move(options)) {}

ServiceHistory::~ServiceHistory() { Close(); }

std::string ServiceHistory::DefaultPath() {
  const std::string folder = UserDataFolder();
  if (folder.empty()) return {};
#if defined(_WIN32)
  return folder + "\\history.sqlite3";
#else
  return folder + "/history.sqlite3";
#endif
}

void ServiceHistory::Close() {
  if (db_ != nullptr) sqlite3_close_v2(db_);
  db_ = nullptr;
}

bool ServiceHistory::Open(bool create, std::string* problem) {
  if (db_ != nullptr) return true;
  const std::string& path = options_.path;
  if (path.empty()) {
    *problem = history_texts::kNoDataFolder;
    return false;
  }
  open_code_ = 0;
  if (create) {
    std::error_code ec;
    const std::filesystem::path folder = PathOf(path).parent_path();
    if (!folder.empty()) std::filesystem::create_directories(folder, ec);
    if (ec) {
      *problem = Format(history_texts::kCannotCreateFolder, path, ec.message());
      return false;
    }
  }
  const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
  int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
  const auto fail = [&](int code) {
    open_code_ = code;
    *problem = Problem(db_, code, path, options_.busy_timeout_ms);
    Close();
    return false;
  };
  if (rc != SQLITE_OK) return fail(rc);
  sqlite3_extended_result_codes(db_, 1);
  sqlite3_busy_timeout(db_, options_.busy_timeout_ms);
  if (options_.page_limit > 0) {
    const std::string limit = "PRAGMA max_page_count = " + std::to_string(options_.page_limit);
    sqlite3_exec(db_, limit.c_str(), nullptr, nullptr, nullptr);
  }

  const auto schema_version = [&](int* version) {
    sqlite3_stmt* raw = nullptr;
    int code = sqlite3_prepare_v2(db_, "PRAGMA user_version", -1, &raw, nullptr);
    Statement s(raw);
    if (code == SQLITE_OK) code = sqlite3_step(s.get());
    if (code != SQLITE_ROW) return code;
    *version = sqlite3_column_int(s.get(), 0);
    return SQLITE_OK;
  };
  int version = 0;
  if ((rc = schema_version(&version)) != SQLITE_OK) return fail(rc);
  const int known = HistorySchemaVersion();
  const auto newer = [&] {
    char text[1024];
    std::snprintf(text, sizeof text, history_texts::kNewerSchema, path.c_str(), version, known);
    *problem = text;
    Close();
    return false;
  };
  if (version > known) return newer();
  if (version == known) return true;  // WAL was set when it was made

  // Bring it forward, one version a transaction; another program may be
  // doing the same, so the version is read again under the write lock.
  if ((rc = sqlite3_exec(db_, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr)) != SQLITE_OK) return fail(rc);
  while (version < known) {
    if ((rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr)) != SQLITE_OK) return fail(rc);
    if ((rc = schema_version(&version)) != SQLITE_OK || version >= known) {
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
      if (rc != SQLITE_OK) return fail(rc);
      return version > known ? newer() : true;
    }
    const std::string step = std::string(HistoryMigrations()[static_cast<std::size_t>(version)]) +
                             ";PRAGMA user_version = " + std::to_string(version + 1) + ";COMMIT";
    if ((rc = sqlite3_exec(db_, step.c_str(), nullptr, nullptr, nullptr)) != SQLITE_OK) {
      const int code = rc;
      const std::string said = Problem(db_, code, path, options_.busy_timeout_ms);
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
      open_code_ = code;
      *problem = said;
      Close();
      return false;
    }
    ++version;
  }
  return true;
}

ServiceHistory::Recorded ServiceHistory::Record(const HistoryRow& row) {
  std::string marks = "?";
  for (const char* c = kHistoryColumns; *c != '\0'; ++c) {
    if (*c == ',') marks += ",?";
  }
  return Write(std::string("INSERT INTO changes (") + kHistoryColumns + ") VALUES (" + marks + ")", row, std::nullopt);
}

ServiceHistory::Recorded ServiceHistory::Update(std::int64_t id, const HistoryRow& row) {
  std::string sets;
  std::string names = kHistoryColumns;
  for (std::size_t at = 0; at < names.size();) {
    std::size_t end = names.find(',', at);
    if (end == std::string::npos) end = names.size();
    std::string name = names.substr(at, end - at);
    name.erase(0, name.find_first_not_of(' '));
    sets += (sets.empty() ? "" : ", ") + name + " = ?";
    at = end + 1;
  }
  return Write("UPDATE changes SET " + sets + " WHERE id = ?", row, id);
}

ServiceHistory::Recorded ServiceHistory::Write(const std::string& sql, const HistoryRow& row,
                                               std::optional<std::int64_t> id) {
  std::lock_guard lock(mutex_);
  Recorded recorded;
  std::string problem = lasting_problem_;
  if (problem.empty() && Open(true, &problem)) {
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(db_, sql.c_str(), -1, &raw, nullptr);
    Statement s(raw);
    if (rc == SQLITE_OK) {
      Binder b(s.get());
      BindRow(b, row);
      if (id) b.Int(*id);
      rc = sqlite3_step(s.get());
    }
    if (rc == SQLITE_DONE) {
      recorded.id = id ? *id : sqlite3_last_insert_rowid(db_);
      return recorded;
    }
    problem = Problem(db_, rc, options_.path, options_.busy_timeout_ms);
    if (!Passing(rc)) lasting_problem_ = problem;
  } else if (lasting_problem_.empty() && !Passing(open_code_)) {
    lasting_problem_ = problem;
  }
  if (!warned_) {
    warned_ = true;
    recorded.warning = history_texts::kNotRecorded + problem;
  }
  return recorded;
}

bool ServiceHistory::Select(const std::string& where, std::int64_t key, const std::string& text_key,
                            std::size_t limit, std::vector<HistoryRow>* rows, std::string* problem, bool by_text) {
  rows->clear();
  std::error_code ec;
  if (!std::filesystem::exists(PathOf(options_.path), ec) && !ec) return true;  // nothing recorded yet
  if (!Open(false, problem)) return false;
  std::string sql = std::string("SELECT id, ") + kHistoryColumns + " FROM changes" + where + " ORDER BY id DESC";
  if (limit > 0) sql += " LIMIT " + std::to_string(limit);
  sqlite3_stmt* raw = nullptr;
  int rc = sqlite3_prepare_v2(db_, sql.c_str(), -1, &raw, nullptr);
  Statement s(raw);
  if (rc == SQLITE_OK && !where.empty()) {
    rc = !by_text ? sqlite3_bind_int64(s.get(), 1, key)
                          : sqlite3_bind_text(s.get(), 1, text_key.c_str(), -1, SQLITE_TRANSIENT);
  }
  if (rc == SQLITE_OK) {
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) rows->push_back(ReadRow(s.get()));
  }
  if (rc == SQLITE_DONE) return true;
  *problem = Problem(db_, rc, options_.path, options_.busy_timeout_ms);
  return false;
}

bool ServiceHistory::List(const HistoryQuery& query, std::vector<HistoryRow>* rows, std::string* problem) {
  std::lock_guard lock(mutex_);
  if (!query.serial) return Select("", 0, "", query.limit, rows, problem);
  // Bound as text whatever it holds ("" too): the DACs without a serial number are rows of their own.
  return Select(" WHERE serial = ?1", 0, *query.serial, query.limit, rows, problem, true);
}

bool ServiceHistory::Find(std::int64_t id, std::optional<HistoryRow>* row, std::string* problem) {
  std::lock_guard lock(mutex_);
  std::vector<HistoryRow> rows;
  row->reset();
  if (!Select(" WHERE id = ?1", id, "", 1, &rows, problem)) return false;
  if (!rows.empty()) *row = rows.front();
  return true;
}

}  // namespace veltrane
