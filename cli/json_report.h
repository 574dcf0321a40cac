// The one JSON document a command writes with --json: the result fields the
// command fills in, and on failure an "error" object with the exit status, the
// stage the device link had reached, the message and the system's own text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace veltrane::cli {

using Json = nlohmann::ordered_json;

class JsonReport {
 public:
  Json& Doc() { return doc_; }
  void AddMessage(std::string_view message) { messages_.emplace_back(message); }
  // Where a device operation failed and the system's words for it.
  void SetFailure(std::string stage, std::string system);

  // The document for exit status `code`: the fields alone on success, the
  // fields and "error" otherwise.
  std::string Render(int code) const;

  // JSON text of any value, with bytes that are not UTF-8 replaced by U+FFFD.
  static std::string Dump(const Json& value);
  // The same on one line, for logs of one JSON object a line.
  static std::string DumpLine(const Json& value);

 private:
  Json doc_ = Json::object();
  std::vector<std::string> messages_;
  std::string stage_;
  std::string system_;
};

}  // namespace veltrane::cli
