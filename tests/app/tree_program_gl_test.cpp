// The reconstructed tree in the real program under the test display: the graph layer's
// vertex colours, tubes and leaves in the leaf model's colours, a leaf model switched
// through the panel, the export button and the depth-coloured line display.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <sstream>
#include <thread>

#include "support/program_runner.h"
#include "support/test_support.h"
#include "tree/branch_mesh.h"

namespace fs = std::filesystem;

namespace {

using PixelTest = std::function<bool(const unsigned char*)>;
using Rgb = std::array<float, 3>;

// Panel (x < 376) layout with the default ImGui font: rows 23 px apart, values from x = 240,
// full-width buttons probed at x = 100, combo items 17 px apart, the first 24 below the combo.
constexpr int kSceneLeft = 386, kPanelTop = 16, kPanelBottom = 760;  // the bar is as tall as its entries
constexpr int kRowPitch = 23, kValueColumnX = 240, kButtonProbeX = 100;
constexpr int kFirstComboItemOffset = 24, kComboItemPitch = 17;
constexpr int kButtonClickX = 60, kComboClickX = 320, kScrollBarX = 369;
constexpr int kButton[3] = {107, 127, 138}, kFrame[3] = {84, 91, 95};
constexpr int kButtonHovered[3] = {66, 150, 250}, kButtonHeld[3] = {15, 135, 250};
// From "Leaf models" down to "Export tree model": Branch color, Leaf color, Background.
constexpr int kLeafModelsRowsAboveExport = 4;

// Graph vertex colours: unvisited, visited, root pair.
constexpr Rgb kUnvisited = {0.05f, 0.7f, 0.2f}, kVisited = {0.9f, 0.5f, 0.1f}, kRootPair = {0.8f, 0.0f, 0.0f};

double secondsSince(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

int packed(const unsigned char* p) {
  return p[0] << 16 | p[1] << 8 | p[2];
}

bool near(const unsigned char* p, const int c[3], int tol) {
  return std::abs(p[0] - c[0]) <= tol && std::abs(p[1] - c[1]) <= tol && std::abs(p[2] - c[2]) <= tol;
}

// Colours the program's fixed light gives a surface of base colour c: global ambient (0.2),
// light ambient (0.6) and two-sided diffuse (0 to 1) scale c by k in [0.8, 1.8]; the white
// specular adds s to every channel; channels clamp at 1. Only weak highlights (s <= 0.2)
// count, so strong ones, which drift to white, match no colour.
class LitColour {
 public:
  explicit LitColour(const Rgb& base, int tol = 6) : reachable_(size_t(1) << 24, false) {
    std::set<int> centres;
    for (int k = 80; k <= 180; ++k)
      for (int s = 0; s <= 20; ++s) {
        unsigned char c[3];
        for (int i = 0; i < 3; ++i)
          c[i] = (unsigned char)std::lround(255.0 * std::min(1.0, base[i] * k / 100.0 + s / 100.0));
        centres.insert(packed(c));
      }
    for (int c : centres) {
      const int r = c >> 16, g = c >> 8 & 255, b = c & 255;
      for (int dr = std::max(0, r - tol); dr <= std::min(255, r + tol); ++dr)
        for (int dg = std::max(0, g - tol); dg <= std::min(255, g + tol); ++dg)
          for (int db = std::max(0, b - tol); db <= std::min(255, b + tol); ++db)
            reachable_[dr << 16 | dg << 8 | db] = true;
    }
  }
  bool operator()(const unsigned char* p) const { return reachable_[packed(p)]; }

 private:
  std::vector<bool> reachable_;
};

// The open combo list: its dark background and the blue of the entry under the pointer.
bool isPopupBackground(const unsigned char* p) {
  return p[0] < 60 && p[1] < 60 && p[2] < 60;
}
bool isHighlight(const unsigned char* p) {
  return p[2] > 180 && p[0] < 100 && p[1] > 100 && p[1] < 170;
}

// Pixels of the scene area (right of the panel) that pass the test.
size_t sceneCount(const Screenshot& s, const PixelTest& test) {
  size_t n = 0;
  for (int y = 0; y < s.height; ++y)
    for (int x = kSceneLeft; x < s.width; ++x) n += test(s.at(x, y));
  return n;
}

size_t sceneDrawn(const Screenshot& s) {
  return sceneCount(s, [](const unsigned char* p) { return packed(p) != 0xFFFFFF; });
}

std::vector<std::string> sortedModelFiles(const char* folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(std::string(FRONDAREL_SOURCE_DIR) + "/data/" + folder, ec))
    if (e.is_regular_file()) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Branch and leaf colour (0 to 1) of a bundled leaf model: the file's first six numbers / 255.
struct LeafColours {
  Rgb branch{}, leaf{};
};

bool readLeafColours(const std::string& name, LeafColours* out) {
  std::ifstream in(std::string(FRONDAREL_SOURCE_DIR) + "/data/leaf_model/" + name);
  for (int i = 0; i < 6; ++i) {
    double v = 0;
    if (!(in >> v)) return false;
    (i < 3 ? out->branch : out->leaf)[i % 3] = float(v / 255.0);
  }
  return true;
}

// Once the panel is scrolled to its end: y of the "Export tree model" button (the lowest
// full-width button) and of the "Leaf models" combo, whose frame sits in the value column
// of its row (above the fold no button has one there); -1 when not in view.
struct ScrolledPanel {
  int exportY = -1, leafModelsY = -1;
  bool found() const { return exportY > 0; }
};

ScrolledPanel locateScrolledWidgets(const Screenshot& s) {
  int runEnd = -1, runLength = 0, exportY = -1;
  for (int y = kPanelBottom - 1; y >= kPanelTop && exportY < 0; --y) {
    if (near(s.at(kButtonProbeX, y), kButton, 3)) {
      if (runEnd < 0) runEnd = y;
      ++runLength;
    } else if (runEnd >= 0) {
      if (runLength < 15) return {};
      exportY = runEnd - runLength / 2;
    }
  }
  const int comboY = exportY - kLeafModelsRowsAboveExport * kRowPitch;
  if (exportY < 0 || comboY < kPanelTop || !near(s.at(kValueColumnX, comboY), kFrame, 3)) return {};
  return {exportY, comboY};
}

// The console's "<share>%(<visited>/<vertices>) points have been visited!" line.
bool parseVisited(const std::string& out, long* visited, long* vertices) {
  const size_t at = out.rfind("points have been visited!");
  const size_t open = at == std::string::npos ? at : out.rfind('(', at);
  return open != std::string::npos && std::sscanf(out.c_str() + open, "(%ld/%ld)", visited, vertices) == 2;
}

// Checks an exported tree: the branch count, then per branch a node count k followed by
// k times x, y, z, radius (radius >= 0). Returns the number of branch lines, or -1 with a reason.
long checkExportedTree(const std::string& text, std::string* why) {
  std::istringstream in(text);
  std::string line, extra;
  long branches = -1, lines = 0, nodes = 0;
  double v = 0;
  std::getline(in, line);
  if (std::sscanf(line.c_str(), "%ld", &branches) != 1 || branches < 1)
    return *why = "first line is not a branch count: '" + line + "'", -1;
  while (std::getline(in, line)) {
    *why = "line " + std::to_string(++lines + 1) + " is not a node count and 4 values per node: " + line;
    std::istringstream fields(line);
    if (!(fields >> nodes) || nodes < 1) return -1;
    for (long k = 0; k < 4 * nodes; ++k)
      if (!(fields >> v) || !std::isfinite(v) || (k % 4 == 3 && v < 0.0)) return -1;
    if (fields >> extra) return -1;
  }
  *why = std::to_string(lines) + " branch lines for a count of " + std::to_string(branches);
  return lines > branches ? -1 : lines;
}

class TreeProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    pointModels_ = sortedModelFiles("point_model");
    leafModels_ = sortedModelFiles("leaf_model");
    if (pointModels_.empty() || leafModels_.empty()) GTEST_SKIP() << "no bundled point or leaf models";
    LeafColours start;
    ASSERT_TRUE(readLeafColours(leafModels_[0], &start)) << leafModels_[0];
    branch_ = std::make_unique<LitColour>(start.branch);
    leaf_ = std::make_unique<LitColour>(start.leaf);
    program_ = std::make_unique<ProgramRunner>(dir_.path());
    ASSERT_TRUE(program_->start());
    ASSERT_FALSE(program_->waitForWindow().empty()) << program_->output();
    parkPointer();
    const Screenshot first = screenshotWhen([](const Screenshot& s) { return sceneDrawn(s) > 2000; });
    ASSERT_GT(sceneDrawn(first), 2000u) << "the point model was not drawn\n" << program_->output();
  }
  void TearDown() override {
    if (program_) quit();
  }

  // Esc ends the program with status 0.
  void quit() {
    program_->key("Escape");
    EXPECT_EQ(program_->waitExit(30), 0) << program_->output();
    program_.reset();
  }

  // Takes screenshots until ready(shot) holds or seconds pass; returns the last one.
  Screenshot screenshotWhen(const std::function<bool(const Screenshot&)>& ready, double seconds = 15.0) {
    const auto t0 = std::chrono::steady_clock::now();
    Screenshot shot = program_->screenshot();
    for (; !(shot.valid() && ready(shot)) && secondsSince(t0) < seconds; shot = program_->screenshot())
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    return shot;
  }

  // Waits for a frame whose scene has more (above) or fewer than n pixels passing test,
  // expects it, and returns the last frame taken.
  Screenshot expectScene(const char* what, const PixelTest& test, bool above, size_t n, double seconds = 15.0) {
    auto met = [&](const Screenshot& s) { return above ? sceneCount(s, test) > n : sceneCount(s, test) < n; };
    const Screenshot shot = screenshotWhen(met, seconds);
    EXPECT_TRUE(met(shot)) << what << ": " << sceneCount(shot, test) << " pixels, wanted " << (above ? "> " : "< ")
                           << n;
    return shot;
  }

  void xdotool(const std::string& args) { program_->runX("xdotool " + args + " 2>/dev/null", nullptr); }
  void pointerTo(int x, int y) {
    xdotool("mousemove --window " + program_->windowId() + " " + std::to_string(x) + " " + std::to_string(y));
  }
  // Over the empty scene, so no tooltip or hover colour is in the way.
  void parkPointer() { pointerTo(1550, 880); }

  // Waits until a drawn frame shows at least 8 pixels passing test in the 21 x 7 box about (x, y).
  bool waitForBox(int x, int y, const PixelTest& test) {
    auto inBox = [&](const Screenshot& s) {
      int n = 0;
      for (int yy = std::max(0, y - 3); yy <= std::min(s.height - 1, y + 3); ++yy)
        for (int xx = std::max(0, x - 10); xx <= std::min(s.width - 1, x + 10); ++xx) n += test(s.at(xx, yy));
      return n >= 8;
    };
    return inBox(screenshotWhen(inBox));
  }

  // Clicks the full-width button on row y. Frames may be slow on a busy machine, so each step
  // waits for a drawn frame showing the panel saw the previous one: hovered, held, released.
  bool clickButton(int y) {
    auto hovered = [](const unsigned char* p) { return near(p, kButtonHovered, 4); };
    pointerTo(kButtonClickX, y);
    bool ok = waitForBox(kButtonClickX, y, hovered);
    if (ok) {
      xdotool("mousedown 1");
      ok = waitForBox(kButtonClickX, y, [](const unsigned char* p) { return near(p, kButtonHeld, 4); });
      xdotool("mouseup 1");
      ok = ok && waitForBox(kButtonClickX, y, hovered);
    }
    parkPointer();
    return ok;
  }

  // Opens the combo on row comboY and chooses its item-th entry, each step confirmed by a
  // drawn frame: the frame hovered, the list open, the entry highlighted, the list closed.
  bool chooseComboItem(int comboY, int item) {
    const int itemY = comboY + kFirstComboItemOffset + item * kComboItemPitch;
    auto frameHovered = [](const unsigned char* p) { return near(p, kButton, 4); };
    auto listShown = [](const unsigned char* p) { return isPopupBackground(p) || isHighlight(p); };
    auto listGone = [](const unsigned char* p) { return !isPopupBackground(p) && !isHighlight(p); };
    pointerTo(kComboClickX, comboY);
    const bool ok = waitForBox(kComboClickX, comboY, frameHovered) &&
                    (xdotool("click 1"), waitForBox(kComboClickX, itemY, listShown)) &&
                    (pointerTo(kComboClickX, itemY), waitForBox(kComboClickX, itemY, isHighlight)) &&
                    (xdotool("click 1"), waitForBox(kComboClickX, itemY, listGone));
    parkPointer();
    return ok;
  }

  // Key b, then the first frame with the tree's tubes.
  void reconstruct() {
    program_->key("b");
    ASSERT_TRUE(program_->waitForOutput("points have been visited!", 30)) << program_->output();
    tree_ = screenshotWhen([&](const Screenshot& s) { return sceneCount(s, *branch_) > 2000; });
    ASSERT_GT(sceneCount(tree_, *branch_), 2000u) << "no branch tubes after b";
  }

  // Turns the mouse wheel over the scroll bar (no tooltip there) until the panel's last rows
  // show; the pointer stays until a frame has applied the wheel, which turns the window under it.
  ScrolledPanel scrollPanelToEnd() {
    xdotool("mousemove --window " + program_->windowId() + " " + std::to_string(kScrollBarX) +
            " 300 sleep 0.2 click --repeat 12 --delay 40 5");
    ScrolledPanel panel;
    screenshotWhen([&panel](const Screenshot& s) { return (panel = locateScrolledWidgets(s)).found(); });
    parkPointer();
    return panel;
  }

  TempDir dir_;
  std::unique_ptr<ProgramRunner> program_;
  std::vector<std::string> pointModels_, leafModels_;
  std::unique_ptr<LitColour> branch_, leaf_;
  Screenshot tree_;
};

}  // namespace

TEST_F(TreeProgram, GraphLayerShowsVisitedUnvisitedAndRootVertexColours) {
  const LitColour visited(kVisited), unvisited(kUnvisited), root(kRootPair);
  // Before b there is no graph: with the graph layer on, none of its colours is in the scene.
  program_->key("4");
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  const Screenshot before = program_->screenshot();
  ASSERT_TRUE(before.valid());
  EXPECT_GT(sceneDrawn(before), 2000u);
  for (const LitColour* c : {&visited, &unvisited, &root}) EXPECT_EQ(sceneCount(before, *c), 0u);

  // b turns the graph layer off and shows the tree; its colours are none of the vertex colours.
  ASSERT_NO_FATAL_FAILURE(reconstruct());
  EXPECT_EQ(sceneCount(tree_, visited), 0u);
  EXPECT_LT(sceneCount(tree_, unvisited), 10u);

  long seen = 0, vertices = 0;
  ASSERT_TRUE(parseVisited(program_->output(), &seen, &vertices)) << program_->output();
  ASSERT_GT(seen, 0);
  ASSERT_LE(seen, vertices);

  program_->key("4");
  const Screenshot graph = expectScene("graph after b and 4", visited, true, 500);
  // Unvisited vertices are drawn in green when the console reports some.
  if (vertices - seen >= 10) {
    EXPECT_GT(sceneCount(graph, unvisited), 20u) << seen << " of " << vertices << " visited";
  }

  // The root pair sits at the foot of the trunk, inside the tube: it shows once the tree is
  // off, in the lowest fifth of the vertex markers' height.
  program_->key("5");
  const Screenshot graphOnly = expectScene("tubes after 5", *branch_, false, 20, 5);
  int top = graphOnly.height, bottom = -1;
  size_t rootPixels = 0;
  double redY = 0;
  for (int y = 0; y < graphOnly.height; ++y)
    for (int x = kSceneLeft; x < graphOnly.width; ++x) {
      const unsigned char* p = graphOnly.at(x, y);
      if (visited(p) || unvisited(p)) top = std::min(top, y), bottom = std::max(bottom, y);
      if (root(p)) redY += y, ++rootPixels;
    }
  EXPECT_GE(rootPixels, 8u);
  ASSERT_GT(bottom, top);
  if (rootPixels > 0) {
    EXPECT_GT(redY / rootPixels, top + 0.8 * (bottom - top));
  }
}

TEST_F(TreeProgram, TubesAndLeavesShowInTheLeafModelColoursAndKey0HidesTheLeaves) {
  ASSERT_NO_FATAL_FAILURE(reconstruct());
  const size_t branchPixels = sceneCount(expectScene("leaves after b", *leaf_, true, 1000), *branch_);
  EXPECT_GT(branchPixels, 3000u);
  // Key 0 belongs to "Show leaves" (the later of the two entries naming it).
  program_->key("0");
  EXPECT_GT(sceneCount(expectScene("leaves after 0", *leaf_, false, 10, 5), *branch_), branchPixels * 9 / 10);
  program_->key("0");
  expectScene("leaves after 0 again", *leaf_, true, 1000, 5);
}

TEST_F(TreeProgram, LeafModelChosenInThePanelRecoloursTheLeavesAtOnce) {
  constexpr int kTarget = 2;  // yellow-orange leaves, far from the green of model 0
  if (leafModels_.size() <= size_t(kTarget)) GTEST_SKIP() << "needs " << kTarget + 1 << " leaf models";
  LeafColours target;
  ASSERT_TRUE(readLeafColours(leafModels_[kTarget], &target));
  const LitColour newLeaf(target.leaf);

  ASSERT_NO_FATAL_FAILURE(reconstruct());
  const Screenshot before = screenshotWhen([&](const Screenshot& s) { return sceneCount(s, *leaf_) > 1000; });
  ASSERT_GT(sceneCount(before, *leaf_), 1000u);
  ASSERT_LT(sceneCount(before, newLeaf), 20u) << "the two leaf colours are not told apart";

  const ScrolledPanel panel = scrollPanelToEnd();
  ASSERT_TRUE(panel.found()) << "the Leaf models row did not come into view";
  ASSERT_TRUE(chooseComboItem(panel.leafModelsY, kTarget)) << "the drop-down did not take the choice";

  expectScene("new leaf colour", newLeaf, true, 1000, 10);
  const Screenshot after = expectScene("old leaf colour", *leaf_, false, 10, 10);
  // The tree is still there, in the new model's branch colour.
  EXPECT_GT(sceneCount(after, LitColour(target.branch)), 2000u);
}

TEST_F(TreeProgram, ExportButtonWritesTheTreeFileOnlyAfterReconstruction) {
  const std::string name = pointModels_[0], folder = dir_.file("data/tree_model");
  ASSERT_GE(name.size(), 3u);
  const std::string exported = folder + "/" + name.substr(0, name.size() - 3) + "txt";
  const ScrolledPanel panel = scrollPanelToEnd();
  ASSERT_TRUE(panel.found()) << "the export button did not come into view";

  // Without a tree the button writes nothing; b alone writes nothing either.
  ASSERT_TRUE(clickButton(panel.exportY)) << "the export button did not take the click";
  EXPECT_TRUE(fs::is_empty(folder));
  ASSERT_NO_FATAL_FAILURE(reconstruct());
  EXPECT_TRUE(fs::is_empty(folder)) << "written before the button was pressed after b";
  ASSERT_TRUE(clickButton(panel.exportY)) << "the export button did not take the click";
  const auto t0 = std::chrono::steady_clock::now();
  while (!fileExists(exported) && secondsSince(t0) < 10) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ASSERT_TRUE(fileExists(exported)) << program_->output();
  quit();  // the file is complete once the program has ended

  std::string why;
  EXPECT_GE(checkExportedTree(readFile(exported), &why), 2) << why << "\n" << readFile(exported);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

TEST_F(TreeProgram, Key7ShowsDepthColouredLinesAndNoLeaves) {
  std::set<int> ramp;  // the 256 depth colours as 0xRRGGBB
  for (int i = 0; i < 256; ++i) ramp.insert(packed(depthColour(i)));
  auto isRampColour = [&ramp](const unsigned char* p) { return ramp.count(packed(p)) > 0; };
  auto rampShare = [&](const Screenshot& s) {
    const size_t drawn = sceneDrawn(s);
    return drawn == 0 ? 0.0 : double(sceneCount(s, isRampColour)) / double(drawn);
  };

  ASSERT_NO_FATAL_FAILURE(reconstruct());
  EXPECT_LT(rampShare(tree_), 0.2) << "tubes and leaves are lit, not in the depth colours";

  program_->key("7");
  const Screenshot lines = screenshotWhen([&](const Screenshot& s) { return rampShare(s) > 0.95; }, 5);
  EXPECT_GT(sceneDrawn(lines), 2000u);
  EXPECT_GT(rampShare(lines), 0.95);
  // Lines are unlit: no pixel has a lit leaf or branch colour that is not a depth colour.
  for (const LitColour* lit : {leaf_.get(), branch_.get()})
    EXPECT_EQ(sceneCount(lines, [&](const unsigned char* p) { return (*lit)(p) && !isRampColour(p); }), 0u);
  // The ramp runs from blue over cyan and yellow to red; the tree's depths reach all of these.
  std::set<int> distinct;
  sceneCount(lines, [&](const unsigned char* p) { return isRampColour(p) && distinct.insert(packed(p)).second; });
  EXPECT_GE(distinct.size(), 10u);
  const std::pair<PixelTest, size_t> hues[] = {
      {[](const unsigned char* p) { return packed(p) == 0xFF0000; }, 100},
      {[](const unsigned char* p) { return p[0] >= 200 && p[1] >= 200 && p[2] <= 60; }, 10},
      {[](const unsigned char* p) { return p[0] <= 60 && p[1] >= 200 && p[2] >= 200; }, 10}};
  for (const auto& [hue, least] : hues) EXPECT_GT(sceneCount(lines, hue), least);

  // Key 7 again brings the tubes and leaves back.
  program_->key("7");
  EXPECT_GT(sceneCount(expectScene("leaves after 7 again", *leaf_, true, 1000, 5), *branch_), 2000u);
}
