// A strict little JSON reader for the tests: is the text one well-formed
// JSON value, and nothing else? Qt's parser is not available to these tests.
#pragma once

#include <cctype>
#include <string>

namespace veltrane::testing {

class JsonCheck {
 public:
  static bool Valid(const std::string& text) {
    JsonCheck check(text);
    check.Space();
    if (!check.Value()) return false;
    check.Space();
    return check.at_ == text.size();
  }

 private:
  explicit JsonCheck(const std::string& text) : s_(text) {}

  bool More() const { return at_ < s_.size(); }
  char Peek() const { return More() ? s_[at_] : '\0'; }
  void Space() {
    while (More() && (s_[at_] == ' ' || s_[at_] == '\n' || s_[at_] == '\t' || s_[at_] == '\r')) ++at_;
  }
  bool Eat(char c) {
    if (Peek() != c) return false;
    ++at_;
    return true;
  }
  bool Word(const char* w) {
    const std::string word(w);
    if (s_.compare(at_, word.size(), word) != 0) return false;
    at_ += word.size();
    return true;
  }
  bool Value() {
    switch (Peek()) {
      case '{': return Object();
      case '[': return Array();
      case '"': return String();
      case 't': return Word("true");
      case 'f': return Word("false");
      case 'n': return Word("null");
      default: return Number();
    }
  }
  bool Object() {
    Eat('{');
    Space();
    if (Eat('}')) return true;
    do {
      Space();
      if (!String()) return false;
      Space();
      if (!Eat(':')) return false;
      Space();
      if (!Value()) return false;
      Space();
    } while (Eat(','));
    return Eat('}');
  }
  bool Array() {
    Eat('[');
    Space();
    if (Eat(']')) return true;
    do {
      Space();
      if (!Value()) return false;
      Space();
    } while (Eat(','));
    return Eat(']');
  }
  bool String() {
    if (!Eat('"')) return false;
    while (More()) {
      const char c = s_[at_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c == '\\') {
        const char e = Peek();
        ++at_;
        if (e == 'u') {
          for (int i = 0; i < 4; ++i) {
            if (!std::isxdigit(static_cast<unsigned char>(Peek()))) return false;
            ++at_;
          }
        } else if (std::string("\"\\/bfnrt").find(e) == std::string::npos) {
          return false;
        }
      }
    }
    return false;
  }
  bool Number() {
    const std::size_t start = at_;
    Eat('-');
    if (Eat('0')) {
    } else if (std::isdigit(static_cast<unsigned char>(Peek()))) {
      while (std::isdigit(static_cast<unsigned char>(Peek()))) ++at_;
    } else {
      return false;
    }
    if (Eat('.')) {
      if (!std::isdigit(static_cast<unsigned char>(Peek()))) return false;
      while (std::isdigit(static_cast<unsigned char>(Peek()))) ++at_;
    }
    return at_ > start;
  }

  const std::string& s_;
  std::size_t at_ = 0;
};

}  // namespace veltrane::testing
