#include "cli/json_report.h"

#include <iostream>

#include "cli/command_context.h"

namespace veltrane::cli {

void JsonReport::SetFailure(std::string stage, std::string system) {
  stage_ = std::move(stage);
  system_ = std::move(system);
}

std::string JsonReport::Render(int code) const {
  Json doc = doc_;
  if (code != 0) {
    std::string message;
    for (const std::string& line : messages_) {
      if (!message.empty()) message += '\n';
      message += line;
    }
    Json error = Json::object();
    error["code"] = code;
    error["stage"] = stage_.empty() ? Json(nullptr) : Json(stage_);
    error["message"] = message;
    error["system"] = system_.empty() ? Json(nullptr) : Json(system_);
    doc["error"] = std::move(error);
  }
  return Dump(doc) + "\n";
}

std::string JsonReport::DumpLine(const Json& value) {
  return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string JsonReport::Dump(const Json& value) {
  // File names and system texts may hold any byte: the document stays UTF-8.
  return value.dump(2, ' ', false, Json::error_handler_t::replace);
}

void CommandContext::Say(std::string_view message) const {
  *err << kMessagePrefix << message << '\n';
  if (report != nullptr) report->AddMessage(message);
}

void CommandContext::Inform(std::string_view message) const {
  if (!quiet) *err << kMessagePrefix << message << '\n';
}

void CommandContext::Note(std::string_view message) const {
  if (verbose && !quiet) *err << kMessagePrefix << message << '\n';
}

void CommandContext::Result(std::string_view text) const {
  if (!json) *out << text;
}

void CommandContext::Status(std::string_view text) const {
  if (!json && !quiet) *out << text;
}

}  // namespace veltrane::cli
