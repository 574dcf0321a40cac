// A strict little JSON reader for the tests: is the text one well-formed
// JSON value, and nothing else? Qt's parser is not available to these tests.
#pragma once

#include <cctype>
#include <string>

namespace veltrane::testing {

class JsonCheck {
 public:
  // Every byte sequence a well-formed UTF-8 encoding (no overlong forms, no
  // surrogates, nothing above U+10FFFF).
  static bool Utf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
      const auto c = static_cast<unsigned char>(text[i]);
      const int n = c < 0x80 ? 0 : c >= 0xC2 && c <= 0xDF ? 1 : c >= 0xE0 && c <= 0xEF ? 2 : c >= 0xF0 && c <= 0xF4 ? 3 : -1;
      if (n < 0 || i + static_cast<std::size_t>(n) >= text.size() + (n == 0 ? 1 : 0)) return false;
      unsigned code = n == 0 ? c : c & (0x3F >> n);
      for (int k = 1; k <= n; ++k) {
        const auto t = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
        if ((t & 0xC0) != 0x80) return false;
        code = (code << 6) | (t & 0x3F);
      }
      if ((n == 2 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
          (n == 3 && (code < 0x10000 || code > 0x10FFFF))) {
        return false;
      }
      i += static_cast<std::size_t>(n) + 1;
    }
    return true;
  }

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
