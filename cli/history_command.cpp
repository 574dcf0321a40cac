#include "cli/history_command.h"

#include <vector>

#include "cli/cli_texts.h"
#include "device/number_parse.h"
#include "service/history_texts.h"
#include "service/service_history.h"

namespace veltrane::cli {
namespace {

// The newest rows a plain `history` lists.
constexpr std::size_t kDefaultLimit = 20;

template <typename T>
Json Maybe(const std::optional<T>& v) {
  return v ? Json(*v) : Json(nullptr);
}

std::string Version(const std::optional<std::uint16_t>& v) { return v ? Fill("0x%04x", *v) : "-"; }

// "2026-12-09T02:47:41.123Z" as "2026-12-09 02:47:41".
std::string Time(const std::string& utc) {
  std::string t = utc.substr(0, 19);
  if (t.size() > 10) t[10] = ' ';
  return t;
}

// A running row whose program is gone reads as interrupted.
std::string OutcomeWord(const HistoryRow& r) { return r.Interrupted() ? texts::kInterruptedOutcome : r.outcome; }

std::string Outcome(const HistoryRow& r) {
  if (r.Done() || r.outcome == outcome::kRunning) return OutcomeWord(r);
  return r.failed_stage.empty() ? r.outcome : r.outcome + " (" + r.failed_stage + ")";
}

std::string Table(const std::vector<HistoryRow>& rows) {
  std::string text = texts::kHistoryTableHeader;
  text += '\n';
  for (const HistoryRow& r : rows) {
    const std::string operation =
        r.undoes ? r.operation + Fill(" #%lld", static_cast<long long>(*r.undoes)) : r.operation;
    text += Fill("%6lld  %-19s  %-14s  %-10s  %-6s  %-6s  %-8s  %s\n", static_cast<long long>(r.id),
                 Time(r.started_utc).c_str(), operation.c_str(), r.serial.empty() ? "-" : r.serial.c_str(),
                 Version(r.version_before).c_str(), Version(r.version_after).c_str(), r.backup_state.c_str(),
                 Outcome(r).c_str());
  }
  return text;
}

std::string Detail(const HistoryRow& r) {
  std::string text;
  const auto line = [&](const char* name, const std::string& value) {
    text += Fill("%-16s %s\n", name, value.empty() ? "-" : value.c_str());
  };
  line("change", std::to_string(r.id));
  line("operation", r.operation + (r.undoes ? Fill(" of change %lld", static_cast<long long>(*r.undoes)) : ""));
  line("started (UTC)", r.started_utc);
  line("ended (UTC)", r.ended_utc);
  line("duration", Fill("%.1f s", static_cast<double>(r.duration_ms) / 1000.0));
  line("program", r.program + " " + r.program_version + " on " + (r.host.empty() ? "?" : r.host));
  line("DAC", Fill("vendor 0x%04x, product 0x%04x, revision 0x%04x", r.vendor, r.product, r.revision));
  line("serial", r.serial);
  line("location", r.location + (r.transport.empty() ? "" : " (" + r.transport + ")"));
  line("image", r.image_name);
  if (!r.image_name.empty()) {
    line("image SHA-256", r.image_sha256);
    line("image size", r.image_size ? std::to_string(*r.image_size) + " bytes" : "");
    line("image version", Version(r.image_version));
  }
  line("version before", Version(r.version_before));
  line("version after", Version(r.version_after));
  line("EEPROM range", r.length > 0 ? Fill("0x%04x-0x%04llx", r.address,
                                           static_cast<unsigned long long>(r.address + r.length - 1))
                                    : "");
  line("backup", r.backup_state == backup_state::kSaved ? r.backup_path : r.backup_state);
  if (r.backup_state == backup_state::kSaved) line("backup SHA-256", r.backup_sha256);
  line("written SHA-256", r.written_sha256);
  line("outcome", Outcome(r));
  if (r.Interrupted()) {
    line("", Fill(texts::kInterruptedDetail, Time(r.started_utc).c_str()));
  } else if (!r.Done() && !r.Running()) {
    line("failure", r.failure_text);
  }
  line("packets written", std::to_string(r.packets_written));
  return text;
}

}  // namespace

Json HistoryRowJson(const HistoryRow& r) {
  Json j = Json::object();
  j["id"] = r.id;
  j["started_utc"] = r.started_utc;
  j["ended_utc"] = r.ended_utc;
  j["program"] = r.program;
  j["program_version"] = r.program_version;
  j["host"] = r.host;
  j["operation"] = r.operation;
  j["vendor_id"] = r.vendor;
  j["product_id"] = r.product;
  j["revision"] = r.revision;
  j["serial"] = r.serial;
  j["location"] = r.location;
  j["transport"] = r.transport;
  j["image"] = r.image_name.empty()
                   ? Json(nullptr)
                   : Json{{"name", r.image_name}, {"sha256", r.image_sha256}, {"size", Maybe(r.image_size)},
                          {"version", Maybe(r.image_version)}};
  j["version_before"] = Maybe(r.version_before);
  j["version_after"] = Maybe(r.version_after);
  j["address"] = r.address;
  j["length"] = r.length;
  j["backup"] = {{"state", r.backup_state},
                 {"path", r.backup_path.empty() ? Json(nullptr) : Json(r.backup_path)},
                 {"sha256", r.backup_sha256.empty() ? Json(nullptr) : Json(r.backup_sha256)}};
  j["outcome"] = OutcomeWord(r);
  j["written_sha256"] = r.written_sha256.empty() ? Json(nullptr) : Json(r.written_sha256);
  j["failed_stage"] = r.failed_stage.empty() ? Json(nullptr) : Json(r.failed_stage);
  j["failure"] = r.failure_text.empty() ? Json(nullptr) : Json(r.failure_text);
  j["packets_written"] = r.packets_written;
  j["duration_ms"] = r.duration_ms;
  j["undoes"] = Maybe(r.undoes);
  return j;
}

ExitStatus HistoryCommand(const CommandContext& context, const HistoryRequest& request) {
  if (context.history == nullptr) {
    context.Say(texts::kNoHistoryKept);
    return kExitUsage;
  }
  Json& doc = context.report->Doc();
  doc["history"] = context.history->Path();
  std::string problem;
  if (request.show) {
    std::uint64_t id = 0;
    if (!ParseNumber(request.id_text, INT64_MAX, &id) || id == 0) {
      context.Say(Fill(texts::kBadChangeId, request.id_text.c_str()));
      return kExitUsage;
    }
    std::optional<HistoryRow> row;
    if (!context.history->Find(static_cast<std::int64_t>(id), &row, &problem)) {
      context.Say(std::string(history_texts::kCannotRead) + problem);
      return kExitFailed;
    }
    if (!row) {
      context.Say(Fill(texts::kNoSuchChange, static_cast<unsigned long long>(id)));
      return kExitUsage;
    }
    doc["change"] = HistoryRowJson(*row);
    context.Result(Detail(*row));
    return kExitDone;
  }
  HistoryQuery query;
  if (!context.selector.serial.empty()) query.serial = context.selector.serial;
  query.limit = request.all ? 0 : kDefaultLimit;
  if (!request.limit_text.empty()) {
    std::uint64_t n = 0;
    if (request.all || !ParseNumber(request.limit_text, 1000000000, &n) || n == 0) {
      context.Say(request.all ? texts::kLimitAndAll : Fill(texts::kBadLimit, request.limit_text.c_str()));
      return kExitUsage;
    }
    query.limit = static_cast<std::size_t>(n);
  }
  std::vector<HistoryRow> rows;
  if (!context.history->List(query, &rows, &problem)) {
    context.Say(std::string(history_texts::kCannotRead) + problem);
    return kExitFailed;
  }
  doc["changes"] = Json::array();
  for (const HistoryRow& r : rows) doc["changes"].push_back(HistoryRowJson(r));
  if (rows.empty()) {
    context.Inform(texts::kNoChanges);
    return kExitDone;
  }
  context.Result(Table(rows));
  if (query.limit != 0 && rows.size() == query.limit) context.Inform(Fill(texts::kOlderChanges, rows.size()));
  return kExitDone;
}

}  // namespace veltrane::cli
