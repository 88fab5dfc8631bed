#include "app/message_log.h"

#include <cctype>
#include <cstdlib>

namespace {

bool startsWith(const std::string& s, const char* prefix) {
  return s.rfind(prefix, 0) == 0;
}

bool contains(const std::string& s, const char* part) {
  return s.find(part) != std::string::npos;
}

}  // namespace

MessageKind classifyConsoleLine(const std::string& line) {
  static const char* const kErrorStarts[] = {"ERROR", "Error", "Failed", "Cannot", "Memory allocation error"};
  static const char* const kErrorParts[] = {"unable to", "failed!", "Failed to"};
  static const char* const kWarningStarts[] = {"WARNING",       "Empty folder", "No point model",
                                               "No leaf model", "Invalid",      "No vertex"};
  static const char* const kWarningParts[] = {"nothing deleted", "left as they were", "is not in the current graph",
                                              "is kept"};
  for (const char* s : kErrorStarts)
    if (startsWith(line, s)) return MessageKind::Error;
  for (const char* s : kErrorParts)
    if (contains(line, s)) return MessageKind::Error;
  for (const char* s : kWarningStarts)
    if (startsWith(line, s)) return MessageKind::Warning;
  for (const char* s : kWarningParts)
    if (contains(line, s)) return MessageKind::Warning;
  return MessageKind::Info;
}

void MessageLog::feed(const char* data, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    const char c = data[i];
    if (c == '\n') {
      commit(classifyConsoleLine(pending_));
    } else if (c == '\r') {
      cursor_ = 0;
    } else if (c == '\b') {
      if (cursor_ > 0) --cursor_;
    } else if (c == '\t' || !std::iscntrl(static_cast<unsigned char>(c))) {
      if (cursor_ < pending_.size())
        pending_[cursor_] = c;
      else
        pending_.push_back(c);
      ++cursor_;
    }
  }
}

void MessageLog::add(const std::string& text, MessageKind kind) {
  // A window line never splits a console line that is still being printed.
  const std::string saved = pending_;
  const size_t savedCursor = cursor_;
  pending_ = text;
  commit(kind);
  pending_ = saved;
  cursor_ = savedCursor;
}

void MessageLog::commit(MessageKind kind) {
  std::string text;
  text.swap(pending_);
  cursor_ = 0;
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
  if (text.empty()) return;
  messages_.push_back({std::move(text), kind, ++serial_});
  while (messages_.size() > capacity_) messages_.pop_front();
}

void MessageLog::clear() {
  messages_.clear();
  pending_.clear();
  cursor_ = 0;
}

MessageLog& windowMessages() {
  static MessageLog log;
  return log;
}

double trailingPercentage(const std::string& text) {
  const size_t percent = text.rfind('%');
  if (percent == std::string::npos) return -1.0;
  size_t begin = percent;
  while (begin > 0 && (std::isdigit(static_cast<unsigned char>(text[begin - 1])) || text[begin - 1] == '.')) --begin;
  if (begin == percent) return -1.0;
  const double value = std::strtod(text.substr(begin, percent - begin).c_str(), nullptr);
  return value < 0.0 ? -1.0 : value > 100.0 ? 1.0 : value / 100.0;
}
