#pragma once
// The panel's definition strings ("label='Voxel size' min=0.01 step=0.01 ..."): split into
// key=value pairs and bare words.

#include <string>
#include <utility>
#include <vector>

// A definition string split into key=value pairs (quotes removed) and bare words.
struct ParsedDefinition {
  std::vector<std::pair<std::string, std::string>> pairs;
  std::vector<std::string> words;  // tokens without '=', e.g. the bar name
  // Value of key, or fallback when absent.
  std::string value(const std::string& key, const std::string& fallback = "") const;
  bool has(const std::string& key) const;
};

// Parses "key=value key='quoted value' word ..." (quotes ' " or `). Returns false with a
// reason for an unterminated quote or a pair without a key.
bool parseDefinition(const std::string& text, ParsedDefinition& out, std::string* error = nullptr);
