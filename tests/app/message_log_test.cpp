// The window's message log: console bytes collapsed as a terminal shows them, kinds by the
// program's own message texts, and the stdout tee that feeds it without changing the console.

#include "app/message_log.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "app/console_tee.h"
#include "support/test_support.h"

namespace {

std::vector<std::string> texts(const MessageLog& log) {
  std::vector<std::string> out;
  for (const LogMessage& m : log.messages()) out.push_back(m.text);
  return out;
}

void feed(MessageLog& log, const std::string& s) {
  log.feed(s.data(), s.size());
}

}  // namespace

// The counters of the thinning ("%6ld" then six backspaces), the shortest-path tree
// (seven backspaces, then "%4.1f%%") and lines printed in pieces, as they arrive.
TEST(MessageLog, CountersCollapseToWhatATerminalShows) {
  MessageLog log;
  feed(log, "Number of deleted voxels: ");
  char part[32];
  for (long n : {5L, 120L, 98765L}) feed(log, std::string(part, std::snprintf(part, 32, "%6ld\b\b\b\b\b\b", n)));
  EXPECT_EQ(log.pendingLine(), "Number of deleted voxels:  98765");
  feed(log, "\n");
  for (double p : {0.5, 37.5, 100.0}) {
    feed(log, std::string(part, std::snprintf(part, 32, "\b\b\b\b\b\b\b%4.1f%%", p)));
    EXPECT_TRUE(p != 37.5 || std::fabs(trailingPercentage(log.pendingLine()) - 0.375) < 1e-12) << log.pendingLine();
  }
  EXPECT_DOUBLE_EQ(trailingPercentage("98.5%(451/458) points"), 0.985);
  EXPECT_TRUE(trailingPercentage("no share") < 0.0 && trailingPercentage("%") < 0.0);
  feed(log, "s1=12 ");
  feed(log, "s2=40\nprogress 10%\r");
  feed(log, "done\n\n   \n");
  EXPECT_EQ(texts(log),
            (std::vector<std::string>{"Number of deleted voxels:  98765", "100.0%s1=12 s2=40", "doneress 10%"}));
  EXPECT_EQ(log.pendingLine(), "");
  EXPECT_EQ(log.lastSerial(), 3u);
}

TEST(MessageLog, KindsFollowTheProgramsMessages) {
  const struct {
    const char* line;
    MessageKind kind;
  } rows[] = {
      {"ERROR: unable to open point cloud [x.ply]!", MessageKind::Error},
      {"Failed to load leaf model: bad header", MessageKind::Error},
      {"Allocation volume memory failed!", MessageKind::Error},
      {"WARNING: point cloud [x.txt]: reading stopped at line 4, which does not hold a number", MessageKind::Warning},
      {"Empty folder!", MessageKind::Warning},
      {"Delete: vertex 4 is not in the current graph of 3 vertices; nothing deleted", MessageKind::Warning},
      {"Number of points (./data/point_model/00_oak_rgb.ply): 44000", MessageKind::Info},
  };
  for (const auto& r : rows) EXPECT_EQ(classifyConsoleLine(r.line), r.kind) << r.line;
}

TEST(MessageLog, WindowLinesKeepTheRunningLineAndTheLogKeepsTheNewest) {
  MessageLog log(3);
  feed(log, "count 12");
  log.add("Exported ./data/tree_model/a.txt", MessageKind::Done);
  EXPECT_EQ(log.pendingLine(), "count 12");
  feed(log, "34\n");
  EXPECT_EQ(texts(log), (std::vector<std::string>{"Exported ./data/tree_model/a.txt", "count 1234"}));
  EXPECT_EQ(log.messages()[0].kind, MessageKind::Done);
  for (int i = 0; i < 4; ++i) feed(log, "line " + std::to_string(i) + "\n");
  EXPECT_EQ(texts(log), (std::vector<std::string>{"line 1", "line 2", "line 3"}));
  EXPECT_EQ(log.messages().front().serial, 4u);
  EXPECT_EQ(log.lastSerial(), 6u);
}

// The tee writes the very bytes, at the same flushes, to file descriptor 1, and hands them
// to the listener; without the tee the same printing gives the same file.
TEST(ConsoleTee, ConsoleGetsTheSameBytesAndTheListenerSeesThem) {
  static std::string seen;
  seen.clear();
  // The console's text of print, alone or through the tee (its listener detached if asked);
  // linesSeen: what the line-buffered listener has before the tee is removed and flushes.
  auto console = [](bool tee, bool detach, void (*print)(), const char* linesSeen = nullptr) {
    StdoutCapture capture;
    EXPECT_TRUE(!tee || installConsoleTee([](const char* d, size_t n) { seen.append(d, n); }, _IOLBF));
    if (detach) detachConsoleListener();
    print();
    EXPECT_TRUE(!linesSeen || seen == linesSeen) << seen;
    if (tee) removeConsoleTee();
    return capture.text();
  };
  auto print = [] {
    std::printf("Number of deleted voxels: ");
    std::printf("%6ld\b\b\b\b\b\b", 42L);
    std::fflush(stdout);
    std::printf("\nline with %s and %d\n", "text", 7);
    std::printf("no line end");
  };
  const std::string plain = console(false, false, print);
  EXPECT_EQ(console(true, false, print, "Number of deleted voxels:     42\b\b\b\b\b\b\nline with text and 7\n"), plain);
  EXPECT_EQ(seen, plain);
  EXPECT_EQ(console(true, true, [] { std::printf("after\n"); }), "after\n");
  EXPECT_EQ(seen, plain);
}
