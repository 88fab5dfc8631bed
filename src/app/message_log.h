#pragma once
// The recent console messages of the program as the window shows them. The console bytes
// arrive as printed (see console_tee.h); counters that rewrite themselves with backspaces
// or carriage returns are collapsed to what a terminal would show. GL-free.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

enum class MessageKind { Info, Warning, Error, Done };

struct LogMessage {
  std::string text;
  MessageKind kind = MessageKind::Info;
  uint64_t serial = 0;  // 1 for the first message ever added, then counting up
};

// Kind of a console line: errors (ERROR..., Failed..., unable..., memory allocation or
// insertion failures, Cannot...), warnings (WARNING..., nothing done or kept as it was,
// empty folders), otherwise information.
MessageKind classifyConsoleLine(const std::string& line);

class MessageLog {
 public:
  explicit MessageLog(size_t capacity = 200) : capacity_(capacity) {}

  // Console bytes as printed; each completed line becomes a message of its classified kind.
  void feed(const char* data, size_t size);
  // A window-only line (the console does not see it).
  void add(const std::string& text, MessageKind kind);

  const std::deque<LogMessage>& messages() const { return messages_; }
  // The line being printed, not yet ended (a running counter), as a terminal shows it.
  const std::string& pendingLine() const { return pending_; }
  // Serial of the newest message, 0 when none was added.
  uint64_t lastSerial() const { return serial_; }
  void clear();

 private:
  void commit(MessageKind kind);
  size_t capacity_;
  std::deque<LogMessage> messages_;
  std::string pending_;
  size_t cursor_ = 0;  // write position in pending_ (backspace and carriage return move it)
  uint64_t serial_ = 0;
};

// The log the window shows: what the program printed since the window opened.
MessageLog& windowMessages();

// The last percentage in text ("... 37.5%" gives 0.375), or a negative value when there is none.
double trailingPercentage(const std::string& text);
