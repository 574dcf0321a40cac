#include "cli/json_writer.h"

#include <cstdio>

namespace veltrane::cli {

std::string JsonWriter::Quote(std::string_view value) {
  std::string quoted = "\"";
  for (const char c : value) {
    switch (c) {
      case '"': quoted += "\\\""; break;
      case '\\': quoted += "\\\\"; break;
      case '\n': quoted += "\\n"; break;
      case '\r': quoted += "\\r"; break;
      case '\t': quoted += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
          quoted += escape;
        } else {
          quoted += c;
        }
    }
  }
  quoted += '"';
  return quoted;
}

void JsonWriter::Indent() { text_.append(levels_.size() * 2, ' '); }

void JsonWriter::Begin(std::string_view key) {
  if (levels_.empty()) return;
  Level& level = levels_.back();
  text_ += level.empty ? "\n" : ",\n";
  level.empty = false;
  Indent();
  if (level.is_object) {
    text_ += Quote(key);
    text_ += ": ";
  }
}

void JsonWriter::Open(std::string_view key, char bracket, bool is_object) {
  Begin(key);
  text_ += bracket;
  levels_.push_back({is_object, true});
}

void JsonWriter::Close(char bracket) {
  if (levels_.empty()) return;
  const bool empty = levels_.back().empty;
  levels_.pop_back();
  if (!empty) {
    text_ += '\n';
    Indent();
  }
  text_ += bracket;
  if (levels_.empty()) text_ += '\n';
}

JsonWriter& JsonWriter::BeginObject(std::string_view key) {
  Open(key, '{', true);
  return *this;
}

JsonWriter& JsonWriter::EndObject() {
  Close('}');
  return *this;
}

JsonWriter& JsonWriter::BeginArray(std::string_view key) {
  Open(key, '[', false);
  return *this;
}

JsonWriter& JsonWriter::EndArray() {
  Close(']');
  return *this;
}

JsonWriter& JsonWriter::String(std::string_view key, std::string_view value) {
  Begin(key);
  text_ += Quote(value);
  return *this;
}

JsonWriter& JsonWriter::Number(std::string_view key, std::int64_t value) {
  Begin(key);
  text_ += std::to_string(value);
  return *this;
}

JsonWriter& JsonWriter::Bool(std::string_view key, bool value) {
  Begin(key);
  text_ += value ? "true" : "false";
  return *this;
}

JsonWriter& JsonWriter::Null(std::string_view key) {
  Begin(key);
  text_ += "null";
  return *this;
}

}  // namespace veltrane::cli
