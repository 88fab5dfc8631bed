// The window's message log: console bytes collapsed as a terminal shows them, kinds by the
// program's own message texts, and the stdout tee that feeds it without changing the console.

#include "app/message_log.h"

#include <gtest/gtest.h>

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
  for (long n : {5L, 120L, 98765L}) {
    char part[32];
    std::snprintf(part, sizeof part, "%6ld\b\b\b\b\b\b", n);
    feed(log, part);
  }
  EXPECT_EQ(log.pendingLine(), "Number of deleted voxels:  98765");
  feed(log, "\n");
  for (double p : {0.5, 37.5, 100.0}) {
    char part[32];
    std::snprintf(part, sizeof part, "\b\b\b\b\b\b\b%4.1f%%", p);
    feed(log, part);
    if (p == 37.5) {
      EXPECT_DOUBLE_EQ(trailingPercentage(log.pendingLine()), 0.375);
    }
  }
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
      {"ERROR: point cloud [x.ply]: the file holds no points!", MessageKind::Error},
      {"Failed to load leaf model: bad header", MessageKind::Error},
      {"Memory allocation error!", MessageKind::Error},
      {"Allocation volume memory failed!", MessageKind::Error},
      {"Cannot write capture file images/0001.bmp", MessageKind::Error},
      {"Error inserting elements into binary tree", MessageKind::Error},
      {"WARNING: point cloud [x.txt]: reading stopped at line 4, which does not hold a number", MessageKind::Warning},
      {"Empty folder!", MessageKind::Warning},
      {"No leaf model 5: leaf model 0 is kept.", MessageKind::Warning},
      {"No point model 3: the current model is kept.", MessageKind::Warning},
      {"Invalid voxel size 0", MessageKind::Warning},
      {"Delete: vertex 4 is not in the current graph of 3 vertices; nothing deleted", MessageKind::Warning},
      {"No vertex in the lowest voxel layer: the skeleton and the tree are left as they were", MessageKind::Warning},
      {"Number of points (./data/point_model/00_oak_rgb.ply): 44000", MessageKind::Info},
      {"98.5%(451/458) points have been visited!", MessageKind::Info},
      {"Size of skeleton nodes = 242, over", MessageKind::Info},
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

TEST(MessageLog, TrailingPercentage) {
  EXPECT_DOUBLE_EQ(trailingPercentage(" 12.5%"), 0.125);
  EXPECT_DOUBLE_EQ(trailingPercentage("98.5%(451/458) points"), 0.985);
  EXPECT_LT(trailingPercentage("no share"), 0.0);
  EXPECT_LT(trailingPercentage("%"), 0.0);
}

// The tee writes the very bytes, at the same flushes, to file descriptor 1, and hands them
// to the listener; without the tee the same printing gives the same file.
TEST(ConsoleTee, ConsoleGetsTheSameBytesAndTheListenerSeesThem) {
  static std::string seen;
  seen.clear();
  auto print = [] {
    std::printf("Number of deleted voxels: ");
    std::printf("%6ld\b\b\b\b\b\b", 42L);
    std::fflush(stdout);
    std::printf("\nline with %s and %d\n", "text", 7);
    std::printf("no line end");
  };
  std::string plain, teed;
  {
    StdoutCapture capture;
    print();
    std::fflush(stdout);
    plain = capture.text();
  }
  {
    StdoutCapture capture;
    ASSERT_TRUE(installConsoleTee([](const char* d, size_t n) { seen.append(d, n); }, _IOLBF));
    print();
    EXPECT_EQ(seen, "Number of deleted voxels:     42\b\b\b\b\b\b\nline with text and 7\n");  // line-buffered
    removeConsoleTee();                                                                       // flushes what is left
    teed = capture.text();
  }
  EXPECT_EQ(teed, plain);
  EXPECT_EQ(seen, plain);
  // Detached, the tee still writes; the listener sees nothing more.
  {
    StdoutCapture capture;
    ASSERT_TRUE(installConsoleTee([](const char* d, size_t n) { seen.append(d, n); }, _IOLBF));
    detachConsoleListener();
    std::printf("after\n");
    removeConsoleTee();
    EXPECT_EQ(capture.text(), "after\n");
  }
  EXPECT_EQ(seen, plain);
}
