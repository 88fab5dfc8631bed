// The reconstructed tree in the real program under the test display: the graph layer's
// vertex colours, tubes and leaves in the leaf model's colours, a leaf model switched
// through the panel, the export button and the depth-coloured line display.

#include <gtest/gtest.h>

#include <algorithm>
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
#include <unordered_set>

#include "support/program_runner.h"
#include "support/test_support.h"
#include "tree/branch_mesh.h"

namespace fs = std::filesystem;

namespace {

// The panel occupies x < 376; the scene is looked at right of it.
constexpr int kSceneLeft = 386;
constexpr int kPanelTop = 16, kPanelBottom = 496;
// Panel layout with the default ImGui font: rows 23 pixels apart, values from x = 240,
// full-width buttons (probed left of the value column) and input frames in fixed colours
// over the panel background; combo items 17 pixels apart, the first 24 below the combo.
constexpr int kRowPitch = 23;
constexpr int kValueColumnX = 240;
constexpr int kButtonProbeX = 100;
constexpr int kButtonR = 107, kButtonG = 127, kButtonB = 138;
constexpr int kFrameR = 84, kFrameG = 91, kFrameB = 95;
constexpr int kFirstComboItemOffset = 24, kComboItemPitch = 17;
// Colours of a hovered and of a held button (opaque), where buttons and combos are clicked,
// and the panel's scroll bar.
constexpr int kButtonHoveredR = 66, kButtonHoveredG = 150, kButtonHoveredB = 250;
constexpr int kButtonActiveR = 15, kButtonActiveG = 135, kButtonActiveB = 250;
constexpr int kButtonClickX = 60;  // left of the centred button labels
constexpr int kComboClickX = 320;  // right of the item names, left of the arrow button
constexpr int kScrollBarX = 369;
// From "Leaf models" down to "Export tree model": Branch color, Leaf color, Background.
constexpr int kLeafModelsRowsAboveExport = 4;

// Graph vertex colours: unvisited, visited, root pair.
constexpr float kUnvisited[3] = {0.05f, 0.7f, 0.2f};
constexpr float kVisited[3] = {0.9f, 0.5f, 0.1f};
constexpr float kRootPair[3] = {0.8f, 0.0f, 0.0f};

double secondsSince(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Colours the program's fixed light gives a surface of base colour c. The global ambient
// (0.2), the light's ambient (0.6) and its two-sided diffuse part (0 to 1) scale c by k in
// [0.8, 1.8]; the white specular part adds s to every channel; channels clamp at 1. Only
// weak highlights (s <= 0.2) count, so strong ones, which drift to white, match no colour.
class LitColour {
 public:
  explicit LitColour(const float base[3], int tolerance = 6) : reachable_(size_t(1) << 24, false) {
    std::unordered_set<int> centres;
    for (int k = 80; k <= 180; ++k) {
      for (int s = 0; s <= 20; ++s) {
        int c[3];
        for (int i = 0; i < 3; ++i) c[i] = int(std::lround(255.0 * std::min(1.0, base[i] * k / 100.0 + s / 100.0)));
        centres.insert(c[0] << 16 | c[1] << 8 | c[2]);
      }
    }
    for (int centre : centres) mark(centre >> 16, centre >> 8 & 255, centre & 255, tolerance);
  }
  bool matches(const unsigned char* p) const { return reachable_[size_t(p[0]) << 16 | size_t(p[1]) << 8 | p[2]]; }

 private:
  void mark(int r, int g, int b, int tol) {
    for (int dr = std::max(0, r - tol); dr <= std::min(255, r + tol); ++dr)
      for (int dg = std::max(0, g - tol); dg <= std::min(255, g + tol); ++dg)
        for (int db = std::max(0, b - tol); db <= std::min(255, b + tol); ++db)
          reachable_[size_t(dr) << 16 | size_t(dg) << 8 | size_t(db)] = true;
  }
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
size_t sceneCount(const Screenshot& s, const std::function<bool(const unsigned char*)>& test) {
  size_t n = 0;
  for (int y = 0; y < s.height; ++y)
    for (int x = kSceneLeft; x < s.width; ++x) n += test(s.at(x, y));
  return n;
}

size_t sceneCount(const Screenshot& s, const LitColour& colour) {
  return sceneCount(s, [&colour](const unsigned char* p) { return colour.matches(p); });
}

bool isBackground(const unsigned char* p) {
  return p[0] == 255 && p[1] == 255 && p[2] == 255;
}

size_t sceneDrawn(const Screenshot& s) {
  return sceneCount(s, [](const unsigned char* p) { return !isBackground(p); });
}

bool near(const unsigned char* p, int r, int g, int b, int tol = 6) {
  return std::abs(p[0] - r) <= tol && std::abs(p[1] - g) <= tol && std::abs(p[2] - b) <= tol;
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
  float branch[3] = {0, 0, 0};
  float leaf[3] = {0, 0, 0};
};

bool readLeafColours(const std::string& name, LeafColours* out) {
  std::ifstream in(std::string(FRONDAREL_SOURCE_DIR) + "/data/leaf_model/" + name);
  double v[6];
  for (double& x : v)
    if (!(in >> x)) return false;
  for (int i = 0; i < 3; ++i) {
    out->branch[i] = float(v[i] / 255.0);
    out->leaf[i] = float(v[i + 3] / 255.0);
  }
  return true;
}

// y of the centre of the lowest full-width button in the panel, or -1.
int lowestButtonCentre(const Screenshot& s) {
  int runEnd = -1, runLength = 0;
  for (int y = kPanelBottom - 1; y >= kPanelTop; --y) {
    const bool button = near(s.at(kButtonProbeX, y), kButtonR, kButtonG, kButtonB, 3);
    if (button) {
      if (runEnd < 0) runEnd = y;
      ++runLength;
    } else if (runEnd >= 0) {
      return runLength >= 15 ? runEnd - runLength / 2 : -1;
    }
  }
  return -1;
}

// Places of the widgets below the fold once the panel is scrolled to its end.
struct ScrolledPanel {
  int exportY = -1;      // "Export tree model" button
  int leafModelsY = -1;  // "Leaf models" combo
  bool found() const { return exportY > 0; }
};

ScrolledPanel locateScrolledWidgets(const Screenshot& s) {
  ScrolledPanel p;
  const int exportY = lowestButtonCentre(s);
  if (exportY < 0) return p;
  const int comboY = exportY - kLeafModelsRowsAboveExport * kRowPitch;
  // The combo's frame sits in the value column of that row; above the fold no button has one there.
  if (comboY < kPanelTop || !near(s.at(kValueColumnX, comboY), kFrameR, kFrameG, kFrameB, 3)) return p;
  p.exportY = exportY;
  p.leafModelsY = comboY;
  return p;
}

// The console's "<share>%(<visited>/<vertices>) points have been visited!" line.
bool parseVisited(const std::string& out, long* visited, long* vertices) {
  const size_t at = out.rfind("points have been visited!");
  if (at == std::string::npos) return false;
  const size_t open = out.rfind('(', at);
  if (open == std::string::npos) return false;
  return std::sscanf(out.c_str() + open, "(%ld/%ld)", visited, vertices) == 2;
}

// Checks an exported tree: the branch count, then per branch a node count k followed by
// k times x, y, z, radius. Returns the number of branch lines, or -1 with a reason.
long checkExportedTree(const std::string& text, std::string* why) {
  std::istringstream in(text);
  std::string line;
  long branches = -1;
  if (!std::getline(in, line) || std::sscanf(line.c_str(), "%ld", &branches) != 1 || branches < 1) {
    *why = "first line is not a branch count: '" + line + "'";
    return -1;
  }
  long lines = 0;
  while (std::getline(in, line)) {
    ++lines;
    std::istringstream fields(line);
    long nodes = 0;
    if (!(fields >> nodes) || nodes < 1) {
      *why = "line " + std::to_string(lines + 1) + " has no node count";
      return -1;
    }
    for (long k = 0; k < 4 * nodes; ++k) {
      double v = 0;
      if (!(fields >> v) || !std::isfinite(v) || (k % 4 == 3 && v < 0.0)) {
        *why = "line " + std::to_string(lines + 1) + ": value " + std::to_string(k) + " missing or bad";
        return -1;
      }
    }
    std::string extra;
    if (fields >> extra) {
      *why = "line " + std::to_string(lines + 1) + " has more than 4 values per node";
      return -1;
    }
  }
  if (lines > branches) {
    *why = std::to_string(lines) + " branch lines for a count of " + std::to_string(branches);
    return -1;
  }
  return lines;
}

class TreeProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    pointModels_ = sortedModelFiles("point_model");
    leafModels_ = sortedModelFiles("leaf_model");
    if (pointModels_.empty() || leafModels_.empty()) GTEST_SKIP() << "no bundled point or leaf models";
    ASSERT_TRUE(readLeafColours(leafModels_[0], &startLeaf_)) << leafModels_[0];
    program_ = std::make_unique<ProgramRunner>(dir_.path());
    ASSERT_TRUE(program_->start());
    ASSERT_FALSE(program_->waitForWindow().empty()) << program_->output();
    parkPointer();
    start_ = screenshotWhen([](const Screenshot& s) { return sceneDrawn(s) > 2000; });
    ASSERT_GT(sceneDrawn(start_), 2000u) << "the point model was not drawn\n" << program_->output();
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
    Screenshot shot;
    while (secondsSince(t0) < seconds) {
      shot = program_->screenshot();
      if (shot.valid() && ready(shot)) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return shot;
  }

  // Moves the pointer over the empty scene, so no tooltip or hover colour is in the way.
  void parkPointer() {
    program_->runX("xdotool mousemove --window " + program_->windowId() + " 1550 880 2>/dev/null", nullptr);
  }

  void pointerTo(int x, int y) {
    program_->runX("xdotool mousemove --window " + program_->windowId() + " " + std::to_string(x) + " " +
                       std::to_string(y) + " 2>/dev/null",
                   nullptr);
  }
  void leftButton(const char* action) { program_->runX(std::string("xdotool ") + action + " 1 2>/dev/null", nullptr); }

  // Waits until a drawn frame shows at least 8 pixels passing test in the 21 x 7 box about (x, y).
  bool waitForBox(int x, int y, const std::function<bool(const unsigned char*)>& test, double seconds = 15.0) {
    auto inBox = [&](const Screenshot& s) {
      int n = 0;
      for (int yy = std::max(0, y - 3); yy <= std::min(s.height - 1, y + 3); ++yy)
        for (int xx = std::max(0, x - 10); xx <= std::min(s.width - 1, x + 10); ++xx) n += test(s.at(xx, yy));
      return n >= 8;
    };
    return inBox(screenshotWhen(inBox, seconds));
  }

  // Clicks the full-width button on row y. Frames may be slow when the machine is busy, so each
  // step waits until a drawn frame shows the panel has seen the previous one: hovered, held,
  // released (hovered again, drawn after the frame that acted on the click).
  bool clickButton(int y) {
    auto hovered = [](const unsigned char* p) { return near(p, kButtonHoveredR, kButtonHoveredG, kButtonHoveredB, 4); };
    auto held = [](const unsigned char* p) { return near(p, kButtonActiveR, kButtonActiveG, kButtonActiveB, 4); };
    pointerTo(kButtonClickX, y);
    bool ok = waitForBox(kButtonClickX, y, hovered);
    if (ok) {
      leftButton("mousedown");
      ok = waitForBox(kButtonClickX, y, held);
      leftButton("mouseup");
      ok = ok && waitForBox(kButtonClickX, y, hovered);
    }
    parkPointer();
    return ok;
  }

  // Opens the combo on row comboY and chooses its item-th entry, each step confirmed by a
  // drawn frame: the frame hovered, the list open, the entry highlighted, the list closed.
  bool chooseComboItem(int comboY, int item) {
    const int itemY = comboY + kFirstComboItemOffset + item * kComboItemPitch;
    auto hoveredFrame = [](const unsigned char* p) { return near(p, kButtonR, kButtonG, kButtonB, 4); };
    auto listShown = [](const unsigned char* p) { return isPopupBackground(p) || isHighlight(p); };
    auto listGone = [](const unsigned char* p) { return !isPopupBackground(p) && !isHighlight(p); };
    pointerTo(kComboClickX, comboY);
    bool ok = waitForBox(kComboClickX, comboY, hoveredFrame);
    if (ok) {
      leftButton("click");
      ok = waitForBox(kComboClickX, itemY, listShown);
    }
    if (ok) {
      pointerTo(kComboClickX, itemY);
      ok = waitForBox(kComboClickX, itemY, isHighlight);
    }
    if (ok) {
      leftButton("click");
      ok = waitForBox(kComboClickX, itemY, listGone);
    }
    parkPointer();
    return ok;
  }

  // Key b, then the first frame with the tree's tubes.
  void reconstruct(const LitColour& branch) {
    program_->key("b");
    ASSERT_TRUE(program_->waitForOutput("points have been visited!", 30)) << program_->output();
    tree_ = screenshotWhen([&branch](const Screenshot& s) { return sceneCount(s, branch) > 2000; });
    ASSERT_GT(sceneCount(tree_, branch), 2000u) << "no branch tubes after b";
  }

  // Turns the mouse wheel over the panel until its last rows show.
  ScrolledPanel scrollPanelToEnd() {
    // Over the scroll bar: no widget there shows a tooltip. The pointer stays until a frame
    // has applied the wheel, which turns the window under the pointer.
    program_->runX("xdotool mousemove --window " + program_->windowId() + " " + std::to_string(kScrollBarX) +
                       " 300 sleep 0.2 click --repeat 12 --delay 40 5 2>/dev/null",
                   nullptr);
    ScrolledPanel panel;
    screenshotWhen([&panel](const Screenshot& s) { return (panel = locateScrolledWidgets(s)).found(); });
    parkPointer();
    return panel;
  }

  TempDir dir_;
  std::unique_ptr<ProgramRunner> program_;
  std::vector<std::string> pointModels_, leafModels_;
  LeafColours startLeaf_;
  Screenshot start_, tree_;
};

}  // namespace

TEST_F(TreeProgram, GraphLayerShowsVisitedUnvisitedAndRootVertexColours) {
  const LitColour visited(kVisited), unvisited(kUnvisited), root(kRootPair);
  const LitColour branch(startLeaf_.branch);
  // Before b there is no graph: with the graph layer on, none of its colours is in the scene.
  program_->key("4");
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  const Screenshot before = program_->screenshot();
  ASSERT_TRUE(before.valid());
  EXPECT_GT(sceneDrawn(before), 2000u);
  EXPECT_EQ(sceneCount(before, visited), 0u);
  EXPECT_EQ(sceneCount(before, unvisited), 0u);
  EXPECT_EQ(sceneCount(before, root), 0u);

  // b turns the graph layer off and shows the tree; its colours are none of the vertex colours.
  ASSERT_NO_FATAL_FAILURE(reconstruct(branch));
  EXPECT_EQ(sceneCount(tree_, visited), 0u);
  EXPECT_LT(sceneCount(tree_, unvisited), 10u);

  long seen = 0, vertices = 0;
  ASSERT_TRUE(parseVisited(program_->output(), &seen, &vertices)) << program_->output();
  ASSERT_GT(seen, 0);
  ASSERT_LE(seen, vertices);

  program_->key("4");
  const Screenshot graph = screenshotWhen([&](const Screenshot& s) { return sceneCount(s, visited) > 500; });
  EXPECT_GT(sceneCount(graph, visited), 500u);
  // Unvisited vertices are drawn in green when the console reports some.
  if (vertices - seen >= 10) {
    EXPECT_GT(sceneCount(graph, unvisited), 20u) << seen << " of " << vertices << " visited";
  }

  // The root pair sits at the foot of the trunk, inside the tube: it shows once the tree is off.
  program_->key("5");
  const Screenshot graphOnly = screenshotWhen([&](const Screenshot& s) { return sceneCount(s, branch) < 20; }, 5);
  EXPECT_LT(sceneCount(graphOnly, branch), 20u);
  const size_t rootPixels = sceneCount(graphOnly, root);
  EXPECT_GE(rootPixels, 8u);
  // Red lies in the lowest fifth of the vertex markers' height.
  int top = graphOnly.height, bottom = -1;
  double redY = 0;
  for (int y = 0; y < graphOnly.height; ++y)
    for (int x = kSceneLeft; x < graphOnly.width; ++x) {
      const unsigned char* p = graphOnly.at(x, y);
      if (visited.matches(p) || unvisited.matches(p)) {
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      }
      if (root.matches(p)) redY += y;
    }
  ASSERT_GT(bottom, top);
  if (rootPixels > 0) {
    EXPECT_GT(redY / rootPixels, top + 0.8 * (bottom - top));
  }
}

TEST_F(TreeProgram, TubesAndLeavesShowInTheLeafModelColoursAndKey0HidesTheLeaves) {
  const LitColour branch(startLeaf_.branch), leaf(startLeaf_.leaf);
  ASSERT_NO_FATAL_FAILURE(reconstruct(branch));
  const Screenshot full = screenshotWhen([&](const Screenshot& s) { return sceneCount(s, leaf) > 1000; });
  const size_t branchPixels = sceneCount(full, branch);
  EXPECT_GT(branchPixels, 3000u);
  EXPECT_GT(sceneCount(full, leaf), 1000u);

  // Key 0 belongs to "Show leaves" (the later of the two entries naming it).
  program_->key("0");
  const Screenshot bare = screenshotWhen([&](const Screenshot& s) { return sceneCount(s, leaf) < 10; }, 5);
  EXPECT_LT(sceneCount(bare, leaf), 10u);
  EXPECT_GT(sceneCount(bare, branch), branchPixels * 9 / 10);

  program_->key("0");
  const Screenshot again = screenshotWhen([&](const Screenshot& s) { return sceneCount(s, leaf) > 1000; }, 5);
  EXPECT_GT(sceneCount(again, leaf), 1000u);
}

TEST_F(TreeProgram, LeafModelChosenInThePanelRecoloursTheLeavesAtOnce) {
  // Model 2 has yellow-orange leaves, far from the green of model 0.
  constexpr int kTarget = 2;
  if (leafModels_.size() <= size_t(kTarget)) GTEST_SKIP() << "needs " << kTarget + 1 << " leaf models";
  LeafColours target;
  ASSERT_TRUE(readLeafColours(leafModels_[kTarget], &target));
  const LitColour oldLeaf(startLeaf_.leaf), newLeaf(target.leaf), branch(startLeaf_.branch);

  ASSERT_NO_FATAL_FAILURE(reconstruct(branch));
  const Screenshot before = screenshotWhen([&](const Screenshot& s) { return sceneCount(s, oldLeaf) > 1000; });
  ASSERT_GT(sceneCount(before, oldLeaf), 1000u);
  ASSERT_LT(sceneCount(before, newLeaf), 20u) << "the two leaf colours are not told apart";

  const ScrolledPanel panel = scrollPanelToEnd();
  ASSERT_TRUE(panel.found()) << "the Leaf models row did not come into view";
  ASSERT_TRUE(chooseComboItem(panel.leafModelsY, kTarget)) << "the drop-down did not take the choice";

  const Screenshot after = screenshotWhen(
      [&](const Screenshot& s) { return sceneCount(s, newLeaf) > 1000 && sceneCount(s, oldLeaf) < 10; }, 10);
  EXPECT_GT(sceneCount(after, newLeaf), 1000u);
  EXPECT_LT(sceneCount(after, oldLeaf), 10u);
  // The tree is still there, in the new model's branch colour.
  EXPECT_GT(sceneCount(after, LitColour(target.branch)), 2000u);
}

TEST_F(TreeProgram, ExportButtonWritesTheTreeFileOnlyAfterReconstruction) {
  const std::string name = pointModels_[0];
  ASSERT_GE(name.size(), 3u);
  const std::string exported = dir_.file("data/tree_model/" + name.substr(0, name.size() - 3) + "txt");
  const ScrolledPanel panel = scrollPanelToEnd();
  ASSERT_TRUE(panel.found()) << "the export button did not come into view";

  // Without a tree the button writes nothing.
  ASSERT_TRUE(clickButton(panel.exportY)) << "the export button did not take the click";
  EXPECT_TRUE(fs::is_empty(dir_.file("data/tree_model")));

  ASSERT_NO_FATAL_FAILURE(reconstruct(LitColour(startLeaf_.branch)));
  EXPECT_TRUE(fs::is_empty(dir_.file("data/tree_model"))) << "written before the button was pressed after b";
  ASSERT_TRUE(clickButton(panel.exportY)) << "the export button did not take the click";
  const auto t0 = std::chrono::steady_clock::now();
  while (!fileExists(exported) && secondsSince(t0) < 10) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ASSERT_TRUE(fileExists(exported)) << program_->output();
  quit();  // the file is complete once the program has ended

  std::string why;
  const long lines = checkExportedTree(readFile(exported), &why);
  EXPECT_GE(lines, 2) << why << "\n" << readFile(exported);
  size_t files = 0;
  for (const auto& e : fs::directory_iterator(dir_.file("data/tree_model"))) files += e.is_regular_file();
  EXPECT_EQ(files, 1u);
}

TEST_F(TreeProgram, Key7ShowsDepthColouredLinesAndNoLeaves) {
  std::set<int> ramp;  // the 256 depth colours as 0xRRGGBB
  for (int i = 0; i < 256; ++i) {
    const unsigned char* c = depthColour(i);
    ramp.insert(c[0] << 16 | c[1] << 8 | c[2]);
  }
  auto isRampColour = [&ramp](const unsigned char* p) { return ramp.count(p[0] << 16 | p[1] << 8 | p[2]) > 0; };
  auto rampShare = [&](const Screenshot& s) {
    const size_t drawn = sceneDrawn(s);
    return drawn == 0 ? 0.0 : double(sceneCount(s, isRampColour)) / double(drawn);
  };
  const LitColour branch(startLeaf_.branch), leaf(startLeaf_.leaf);

  ASSERT_NO_FATAL_FAILURE(reconstruct(branch));
  EXPECT_LT(rampShare(tree_), 0.2) << "tubes and leaves are lit, not in the depth colours";

  program_->key("7");
  const Screenshot lines = screenshotWhen([&](const Screenshot& s) { return rampShare(s) > 0.95; }, 5);
  EXPECT_GT(sceneDrawn(lines), 2000u);
  EXPECT_GT(rampShare(lines), 0.95);
  // Lines are unlit: no pixel has a lit leaf or branch colour that is not a depth colour.
  EXPECT_EQ(sceneCount(lines, [&](const unsigned char* p) { return leaf.matches(p) && !isRampColour(p); }), 0u);
  EXPECT_EQ(sceneCount(lines, [&](const unsigned char* p) { return branch.matches(p) && !isRampColour(p); }), 0u);
  // The ramp runs from blue over cyan and yellow to red; the tree's depths reach all of these.
  std::set<int> distinct;
  for (int y = 0; y < lines.height; ++y)
    for (int x = kSceneLeft; x < lines.width; ++x)
      if (isRampColour(lines.at(x, y)))
        distinct.insert(lines.at(x, y)[0] << 16 | lines.at(x, y)[1] << 8 | lines.at(x, y)[2]);
  EXPECT_GE(distinct.size(), 10u);
  EXPECT_GT(lines.countColour(kSceneLeft, 0, lines.width, lines.height, 255, 0, 0, 0), 100u);
  EXPECT_GT(sceneCount(lines, [](const unsigned char* p) { return p[0] >= 200 && p[1] >= 200 && p[2] <= 60; }), 10u);
  EXPECT_GT(sceneCount(lines, [](const unsigned char* p) { return p[0] <= 60 && p[1] >= 200 && p[2] >= 200; }), 10u);

  // Key 7 again brings the tubes and leaves back.
  program_->key("7");
  const Screenshot back = screenshotWhen([&](const Screenshot& s) { return sceneCount(s, leaf) > 1000; }, 5);
  EXPECT_GT(sceneCount(back, leaf), 1000u);
  EXPECT_GT(sceneCount(back, branch), 2000u);
}
