#pragma once
// Builds one compact JSON text. Strings are written as valid UTF-8 whatever
// bytes they hold: a byte that does not start a well-formed UTF-8 sequence is
// taken as Latin-1, so texts that a reader sends never break a document.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvane::cli {

class JsonWriter {
 public:
  JsonWriter& BeginObject();
  JsonWriter& EndObject();
  JsonWriter& BeginArray();
  JsonWriter& EndArray();
  JsonWriter& Key(std::string_view key);
  JsonWriter& String(std::string_view value);
  JsonWriter& Int(int64_t value);
  JsonWriter& Bool(bool value);
  JsonWriter& Null();

  // Shorthands for a member of the current object.
  JsonWriter& Field(std::string_view key, std::string_view value) { return Key(key).String(value); }
  JsonWriter& Field(std::string_view key, const char* value) { return Key(key).String(value); }
  JsonWriter& Field(std::string_view key, const std::string& value) { return Key(key).String(value); }
  JsonWriter& Field(std::string_view key, int64_t value) { return Key(key).Int(value); }
  JsonWriter& Field(std::string_view key, int value) { return Key(key).Int(value); }
  JsonWriter& Field(std::string_view key, uint32_t value) { return Key(key).Int(value); }
  JsonWriter& Field(std::string_view key, bool value) { return Key(key).Bool(value); }

  const std::string& Text() const { return text_; }

 private:
  void BeforeValue();

  std::string text_;
  std::vector<bool> firstInLevel_;  // one entry per open object or array
  bool afterKey_ = false;
};

// The JSON string literal for `value`, quotes included.
std::string JsonQuote(std::string_view value);

}  // namespace orvane::cli
