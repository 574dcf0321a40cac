// A small writer for the --json output: objects, arrays, strings, integers,
// booleans and null, indented by two spaces, keys in the order written.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace veltrane::cli {

class JsonWriter {
 public:
  // Inside an object every value needs its key; inside an array, or at the
  // top, the key is left empty.
  JsonWriter& BeginObject(std::string_view key = {});
  JsonWriter& EndObject();
  JsonWriter& BeginArray(std::string_view key = {});
  JsonWriter& EndArray();
  JsonWriter& String(std::string_view key, std::string_view value);
  JsonWriter& Number(std::string_view key, std::int64_t value);
  JsonWriter& Bool(std::string_view key, bool value);
  JsonWriter& Null(std::string_view key);

  // The document so far, ending in a newline once the outermost value is closed.
  const std::string& Text() const { return text_; }

  static std::string Quote(std::string_view value);

 private:
  struct Level {
    bool is_object;
    bool empty;
  };
  void Begin(std::string_view key);
  void Open(std::string_view key, char bracket, bool is_object);
  void Close(char bracket);
  void Indent();

  std::string text_;
  std::vector<Level> levels_;
};

}  // namespace veltrane::cli
