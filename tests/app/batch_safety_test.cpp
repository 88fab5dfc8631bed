// Batch mode under hostile inputs: outputs never replace inputs or each other and stay in
// their folder, a write failing part way leaves the earlier export, out-of-range settings
// are refused, clouds that overflow on normalising and special files are refused, and a grid
// beyond the process's memory limit is refused with the figure. One case per mended fault,
// on real files in a scratch folder.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "app/batch.h"
#include "app/globals.h"
#include "app/output_plan.h"
#include "app_test_data.h"
#include "settings/memory_limit.h"
#include "settings/settings.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class BatchSafetyTest : public ::testing::Test {
 protected:
  void TearDown() override {
    g_pointCloud.clear();
    g_voxelVolume.reset();
    g_reconstructor.clear();
    g_reconstructor.model.clear();
    resetSettingsToStartValues();
  }

  // These rules are the same for every mode and format; the runs take the quick ones.
  int batch(std::vector<std::string> args, std::string* console = nullptr) {
    args.insert(args.begin(), {"frondarel", "--mode", "classic", "--formats", "txt"});
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    StdoutCapture out;
    const int status = runBatch(static_cast<int>(argv.size()), argv.data());
    const std::string text = out.text();
    if (console) *console = text;
    return status;
  }

  // The export of one cloud run alone into a fresh folder, as the reference for a run with others.
  std::string aloneExport(const std::string& cloud, std::vector<std::string> extra = {}) {
    const std::string folder = dir_.file("alone" + std::to_string(++aloneRuns_));
    std::vector<std::string> args = {"--batch", cloud, "--out", folder};
    args.insert(args.end(), extra.begin(), extra.end());
    std::string console;
    EXPECT_EQ(batch(args, &console), 0) << console;
    const std::string name = fs::path(cloud).filename().string();
    const std::string usual = usualOutputName(name, OutputKind::TreeText);
    return readFile(folder + "/" + (usual.empty() ? name + ".txt" : usual));
  }

  // Runs the real binary through bash (for ulimit) in the scratch folder; SIGXFSZ ignored so
  // that a write beyond the file-size limit fails with EFBIG instead of killing the process.
  int binary(const std::string& limits, const std::string& args, std::string* console) {
    const std::string command = "cd '" + dir_.path() + "' && bash -c \"trap '' XFSZ; " + limits + "; exec '" +
                                FRONDAREL_BINARY + "' --mode classic --formats txt " + args + "\" 2>&1";
    return runCommand(command, console);
  }

  TempDir dir_;
  int aloneRuns_ = 0;
};

// Faults: --out naming the input folder overwrote the input; tree.ply and tree.txt were both
// written to tree.txt; a two-letter name was exported outside --out. Now every output has its
// own path beside no input, named after the whole input name where the usual one clashes, and
// each equals the export of its input run alone.
TEST_F(BatchSafetyTest, OutputsNeverReplaceInputsOrEachOtherAndStayInTheirFolder) {
  const struct {
    std::vector<std::string> inputs;
    bool outIsInputFolder;
    std::vector<std::string> outputs;  // per input; empty: refused
  } cases[] = {
      {{"scan.txt"}, true, {"scan.txt.txt"}},
      {{"tree.txt", "tree.xyz"}, false, {"tree.txt.txt", "tree.xyz.txt"}},
      {{"a.xyz", "b.txt"}, true, {"a.txt", "b.txt.txt"}},
      {{"ab"}, false, {"ab.txt"}},
      // a.txt's whole-name output is the input a.txt.txt: refused, the other one is written.
      {{"a.txt", "a.txt.txt"}, true, {"", "a.txt.txt.txt"}},
  };
  int caseNumber = 0;
  for (const auto& c : cases) {
    const std::string root = "case" + std::to_string(++caseNumber);
    SCOPED_TRACE(root);
    std::vector<std::string> contents;
    for (size_t i = 0; i < c.inputs.size(); ++i) {
      // Each input a little different (one more point), so each output tells which it came from.
      contents.push_back(treeCloud() + "0 0 " + std::to_string(i) + " 0 0\n");
      dir_.write(root + "/in/" + c.inputs[i], contents.back());
    }
    const std::string in = dir_.file(root + "/in"), out = c.outIsInputFolder ? in : dir_.file(root + "/out");
    std::string console;
    const bool anyRefused = std::find(c.outputs.begin(), c.outputs.end(), "") != c.outputs.end();
    EXPECT_EQ(batch({"--batch", in, "--out", out}, &console), anyRefused ? 1 : 0) << console;

    for (size_t i = 0; i < c.inputs.size(); ++i) {
      SCOPED_TRACE(c.inputs[i]);
      EXPECT_EQ(readFile(in + "/" + c.inputs[i]), contents[i]) << "the input changed";
      if (c.outputs[i].empty()) {
        EXPECT_TRUE(contains(console, c.inputs[i] + ": FAILED, refused: its output")) << console;
        continue;
      }
      EXPECT_EQ(readFile(out + "/" + c.outputs[i]), aloneExport(in + "/" + c.inputs[i]));
      const std::string usual = usualOutputName(c.inputs[i], OutputKind::TreeText);
      if (usual != c.outputs[i]) {
        EXPECT_TRUE(contains(console, c.outputs[i] + " (renamed: ")) << console;
      }
    }
    // Nothing else was written, in the output folder or beside it.
    std::vector<std::string> found;
    for (const auto& e : fs::recursive_directory_iterator(dir_.file(root))) {
      if (e.is_regular_file())
        found.push_back(fs::relative(e.path(), c.outIsInputFolder ? in : dir_.file(root)).string());
    }
    std::vector<std::string> wanted;
    for (size_t i = 0; i < c.inputs.size(); ++i) {
      wanted.push_back(c.outIsInputFolder ? c.inputs[i] : "in/" + c.inputs[i]);
      if (!c.outputs[i].empty()) wanted.push_back(c.outIsInputFolder ? c.outputs[i] : "out/" + c.outputs[i]);
    }
    std::sort(found.begin(), found.end());
    std::sort(wanted.begin(), wanted.end());
    wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
    EXPECT_EQ(found, wanted);
  }
}

// Fault: a batch option before --batch opened the window, which then waited for its user
// forever. Options come in any order; without --batch the run stops with a message.
TEST_F(BatchSafetyTest, OptionsInAnyOrderNeverOpenTheWindow) {
  std::string console;
  EXPECT_EQ(binary("true", "--out out", &console), 2) << console;
  EXPECT_TRUE(contains(console, "ERROR: --batch needs a cloud file or folder")) << console;
}

// Fault: a write failing part way (a full disk) left the earlier export truncated. Now the
// export goes to a temporary file renamed over the old one when complete: under a file-size
// limit smaller than the export the run fails with a message and the old file is unchanged.
TEST_F(BatchSafetyTest, WriteFailingPartWayLeavesThePreviousExport) {
  dir_.write("in/tree.txt", treeCloud());
  std::string console;
  ASSERT_EQ(binary("true", "--batch in/tree.txt --out out", &console), 0) << console;
  const std::string before = readFile(dir_.file("out/tree.txt"));
  const size_t blocks = before.size() / 2 / 1024;  // bash counts the limit in 1024-byte blocks
  ASSERT_GE(blocks, 1u) << "the export is too small to fail part way";
  EXPECT_EQ(
      binary("ulimit -f " + std::to_string(blocks), "--batch in/tree.txt --out out --set branchThick=0.05", &console),
      1)
      << console;
  EXPECT_TRUE(contains(console, "ERROR: unable to write tree model [out/tree.txt]!")) << console;
  EXPECT_TRUE(contains(console, "File too large; the previous file is unchanged")) << console;
  EXPECT_EQ(readFile(dir_.file("out/tree.txt")), before);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.file("out")), fs::directory_iterator()), 1)
      << "a temporary file was left behind";
}

// Faults: branchThick=1e308 or g_dBranchRatio=0 gave non-finite radii reported as OK; --set
// took " 0.2" and hex floats but not "+5". A header value outside its range is refused with a
// message and the run keeps the previous value (so the export equals one without that line);
// --set takes plain decimal numbers in range only and stops the run before anything is read.
TEST_F(BatchSafetyTest, OutOfRangeSettingsAreRefusedWithTheirRange) {
  const struct {
    std::string header, set;
    int status;
    std::string message;
  } cases[] = {
      {"#\nbranchThick=1e308\n", "", 0, "setting branchThick (g_dBranchThickness) = 1e+308 is outside its range 0..10"},
      {"#\nresolution=0.001\n", "", 0, "setting resolution (g_dVoxelSize) = 0.001 is outside its range 0.01..0.5"},
      {"#\nKNN=5000\n", "", 0, "setting KNN (g_nKNN) = 5000 is outside its range 0..1000"},
      {"", "g_dBranchRatio=0", 2, "setting g_dBranchRatio = 0 is outside its range 1.2..4; it keeps 2"},
      {"", "g_dBranchThickness=1e308", 2, "= 1e+308 is outside its range 0..10"},
      {"", "KNN=99999999999", 2, "setting KNN (g_nKNN) = 1e+11 is outside its range 0..1000"},
      {"", "resolution= 0.2", 2, "invalid value ' 0.2' for setting resolution"},
      {"", "resolution=0x1p-3", 2, "invalid value '0x1p-3' for setting resolution"},
      {"", "KNN=+5", 0, ""},
  };
  const std::string plain = dir_.write("plain/tree.txt", treeCloud());
  const std::string plainExport = aloneExport(plain);
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.header + c.set);
    const std::string cloud = dir_.write("case" + std::to_string(++n) + "/tree.txt", treeCloud(c.header));
    std::vector<std::string> args = {"--batch", cloud, "--out", dir_.file("out" + std::to_string(n))};
    if (!c.set.empty()) args.insert(args.end(), {"--set", c.set});
    std::string console;
    EXPECT_EQ(batch(args, &console), c.status) << console;
    EXPECT_TRUE(contains(console, c.message)) << console;
    if (c.status == 0 && !c.header.empty()) {
      EXPECT_EQ(readFile(dir_.file("out" + std::to_string(n) + "/tree.txt")), plainExport);
    }
  }
  // "+5" means 5.
  EXPECT_EQ(aloneExport(plain, {"--set", "KNN=+5"}), aloneExport(plain, {"--set", "KNN=5"}));
}

// Faults: coordinates near the limit of double loaded and overflowed in the centring or the key
// points ("Allocation volume memory failed!"); --batch /dev/zero read without bound. Now both
// are refused at load with the reason.
TEST_F(BatchSafetyTest, CloudsThatOverflowAndSpecialFilesAreRefusedAtLoad) {
  const std::string ply =
      "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
      "property float z\nend_header\n";
  const struct {
    std::string input, content, message;
  } cases[] = {
      {"one.txt", "1e308 0 0 0 0\n", "point 1 is out of range: its x coordinate is not finite once normalised"},
      {"wide.txt", "0 1e308 0 0 0\n1 1.5e308 1 0 0\n2 1e308 2 0 0\n", "point 1 is out of range: its z coordinate"},
      {"big.ply", ply + "1e308 0 0\n1e308 1 0\n1e308 2 0\n", "is out of range: its x coordinate"},
      {"/dev/zero", "", "'/dev/zero' is not a regular file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    const std::string input = c.content.empty() ? c.input : dir_.write("in/" + c.input, c.content);
    std::string console;
    EXPECT_EQ(batch({"--batch", input, "--out", dir_.file("out")}, &console), 1) << console;
    EXPECT_TRUE(contains(console, c.message)) << console;
    EXPECT_FALSE(contains(console, "Allocation volume memory failed!")) << console;
  }
}

// Faults: under an address-space limit a grid the system could not serve passed the check
// against the machine's memory, and a 100 MB file of blank lines aborted the process (134).
// Now the grid is refused with its size and a voxel size that fits (which then runs), and the
// blank file is a plain failure. The real binary under ulimit -v (ASan cannot run there).
TEST_F(BatchSafetyTest, MemoryBeyondTheAddressSpaceLimitIsRefusedWithTheFigure) {
  if (kAddressSanitizer) GTEST_SKIP() << "AddressSanitizer needs more address space than the limit gives";
  dir_.write("in/tree.txt", treeCloud());
  const std::string limit = "ulimit -v 500000";  // about 500 MB
  std::string console;
  EXPECT_EQ(binary(limit, "--batch in/tree.txt --out out --set resolution=0.01", &console), 1) << console;
  std::smatch m;
  ASSERT_TRUE(std::regex_search(console, m, std::regex("volume length=(\\d+), width=(\\d+), height=(\\d+)\n")))
      << console;
  const uint64_t cells = std::stoull(m[1]) * std::stoull(m[2]) * std::stoull(m[3]);
  const std::string figure = "Allocation volume memory failed!\nERROR: the voxel grid needs " +
                             formatBytes(cells * 37) + " (" + formatCount(cells) + " cells), more than the ";
  EXPECT_TRUE(contains(console, figure)) << console;
  ASSERT_TRUE(std::regex_search(console, m,
                                std::regex("this process may use; use a larger voxel size, e\\.g\\. "
                                           "--set resolution=([0-9.]+)\n")))
      << console;
  const std::string suggested = m[1];
  EXPECT_GT(std::stod(suggested), 0.01);
  EXPECT_EQ(binary(limit, "--batch in/tree.txt --out out --set resolution=" + suggested, &console), 0) << console;

  dir_.write("blank.txt", std::string(100 << 20, '\n'));
  EXPECT_EQ(binary("ulimit -v 2000000", "--batch blank.txt --out out", &console), 1) << console;
  EXPECT_TRUE(contains(console, "blank.txt: FAILED, cannot read the point cloud")) << console;
}

}  // namespace
