#include "app/panel_definition.h"

namespace {

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}
bool isQuote(char c) {
  return c == '\'' || c == '"' || c == '`';
}

// Reads a value starting at i: quoted up to the matching quote, otherwise up to a space.
bool readValue(const std::string& text, size_t& i, std::string& value, std::string* error) {
  if (i < text.size() && isQuote(text[i])) {
    const char quote = text[i];
    const size_t close = text.find(quote, i + 1);
    if (close == std::string::npos) {
      if (error) *error = "unterminated quote in '" + text + "'";
      return false;
    }
    value = text.substr(i + 1, close - i - 1);
    i = close + 1;
    return true;
  }
  const size_t begin = i;
  while (i < text.size() && !isSpace(text[i])) ++i;
  value = text.substr(begin, i - begin);
  return true;
}

}  // namespace

std::string ParsedDefinition::value(const std::string& key, const std::string& fallback) const {
  for (const auto& [k, v] : pairs) {
    if (k == key) return v;
  }
  return fallback;
}

bool ParsedDefinition::has(const std::string& key) const {
  for (const auto& pair : pairs) {
    if (pair.first == key) return true;
  }
  return false;
}

bool parseDefinition(const std::string& text, ParsedDefinition& out, std::string* error) {
  out = ParsedDefinition{};
  size_t i = 0;
  while (i < text.size()) {
    if (isSpace(text[i])) {
      ++i;
      continue;
    }
    const size_t begin = i;
    while (i < text.size() && !isSpace(text[i]) && text[i] != '=') ++i;
    std::string key = text.substr(begin, i - begin);
    if (i >= text.size() || text[i] != '=') {
      out.words.push_back(key);
      continue;
    }
    if (key.empty()) {
      if (error) *error = "value without a key in '" + text + "'";
      return false;
    }
    ++i;  // '='
    std::string value;
    if (!readValue(text, i, value, error)) return false;
    out.pairs.emplace_back(std::move(key), std::move(value));
  }
  return true;
}
