// Batch mode: the formats and modes chosen, and hostile inputs: outputs never replace
// inputs or each other and stay in their folder, a write failing part way leaves the earlier export, out-of-range
// settings are refused, clouds that overflow on normalising and special files are refused, and a grid beyond the
// process's memory limit is refused with the figure. One case per mended fault, on real files in a scratch folder.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/globals.h"
#include "app/output_plan.h"
#include "app_test_data.h"
#include "settings/memory_limit.h"
#include "settings/settings.h"
#include "support/fresh_globals.h"

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

// Every regular file under folder, relative to it.
std::set<std::string> filesUnder(const std::string& folder) {
  std::set<std::string> files;
  std::error_code ec;
  for (fs::recursive_directory_iterator e(folder, ec), end; !ec && e != end; e.increment(ec))
    if (e->is_regular_file()) files.insert(fs::relative(e->path(), folder).string());
  return files;
}

class BatchSafetyTest : public FreshGlobals {
 protected:
  // These rules are the same for every mode and format; the runs take the quick ones.
  int batch(std::vector<std::string> args, std::string* console = nullptr) {
    args.insert(args.begin(), {"--mode", "classic", "--formats", "txt"});
    return runBatchWith(args, console);
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
      EXPECT_TRUE(usual == c.outputs[i] || contains(console, c.outputs[i] + " (renamed: ")) << console;
    }
    // Nothing else was written, in the output folder or beside it.
    std::set<std::string> wanted;
    for (size_t i = 0; i < c.inputs.size(); ++i) {
      wanted.insert(c.outIsInputFolder ? c.inputs[i] : "in/" + c.inputs[i]);
      if (!c.outputs[i].empty()) wanted.insert(c.outIsInputFolder ? c.outputs[i] : "out/" + c.outputs[i]);
    }
    EXPECT_EQ(filesUnder(c.outIsInputFolder ? in : dir_.file(root)), wanted);
  }
}

// --formats writes exactly the files of the formats listed (the run summary with json); a
// list with a name it does not know stops the run before anything is written. The summary
// has a row per tree built (none for the cloud that fails). Fit, the default, and classic
// both build, and build different trees. (Fault: a list without txt failed when the output
// folder did not exist yet; only the tree text made it.)
TEST_F(BatchSafetyTest, FormatsModesAndTheRunSummary) {
  const std::string cloud = treeCloud();
  dir_.write("in/a.xyz", cloud);
  dir_.write("in/b.txt", "0 0 0 0 0\n");  // a single point: no tree
  const std::set<std::string> all = {"a.txt",           "a_skeleton.ply",      "a_mesh.obj",
                                     "a_cylinders.csv", "a_measurements.json", "frondarel_summary.csv"};
  const struct {
    std::vector<std::string> options;
    int status;
    std::set<std::string> files;
  } cases[] = {
      {{}, 1, all},  // the reference for the next: fit and every format by default
      {{"--mode", "fit", "--formats", "all"}, 1, all},
      {{"--mode", "classic", "--formats", "obj,txt,obj"}, 1, {"a.txt", "a_mesh.obj"}},
      {{"--mode", "classic", "--formats", "json"}, 1, {"a_measurements.json", "frondarel_summary.csv"}},
      {{"--formats", "txt,stl"}, 2, {}},
      {{"--formats", ""}, 2, {}},
      {{"--formats", "txt,"}, 2, {}},
  };
  const std::string points = std::to_string(std::count(cloud.begin(), cloud.end(), '\n'));
  std::map<std::string, std::string> byDefault;
  for (size_t n = 0; n < std::size(cases); ++n) {
    const std::string out = dir_.file("out" + std::to_string(n));
    SCOPED_TRACE(out);
    std::vector<std::string> args = {"--batch", dir_.file("in"), "--out", out};
    args.insert(args.end(), cases[n].options.begin(), cases[n].options.end());
    std::string console;
    EXPECT_EQ(runBatchWith(args, &console), cases[n].status) << console;
    const std::set<std::string>& wanted = cases[n].files;
    EXPECT_EQ(filesUnder(out), wanted) << console;
    for (const std::string& name : wanted) {
      if (n == 0) byDefault[name] = readFile(out + "/" + name);
      EXPECT_TRUE(n != 1 || readFile(out + "/" + name) == byDefault[name]) << name << " differs from the default";
    }
    if (wanted.count("frondarel_summary.csv")) {
      const std::string summary = readFile(out + "/frondarel_summary.csv");
      EXPECT_EQ(std::count(summary.begin(), summary.end(), '\n'), 2) << summary;
      EXPECT_EQ(summary.rfind("tree,point_count,", 0), 0u) << summary;
      EXPECT_TRUE(contains(summary, "\na.xyz," + points + ",")) << summary;
    }
  }
  EXPECT_NE(readFile(dir_.file("out2/a.txt")), byDefault["a.txt"]) << "classic built the tree fit builds";
  // The summary never replaces an input, however the output folder is spelled.
  const std::string input = dir_.write("s/frondarel_summary.csv", "1 2 3\n");
  for (const char* folder : {"s", "s/.", "s/../s/"}) EXPECT_EQ(summaryPath({input}, dir_.file(folder)), "") << folder;
  EXPECT_EQ(summaryPath({dir_.file("s/other.txt")}, dir_.file("s/.")), dir_.file("s/.") + "/frondarel_summary.csv");
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
      {"", "g_dBranchRatio=0", 2, "setting g_dBranchRatio = 0 is outside its range 1.2..4; it keeps 2"},
      {"", "g_dBranchThickness=1e308", 2, "= 1e+308 is outside its range 0..10"},
      {"", "resolution= 0.2", 2, "invalid value ' 0.2' for setting resolution"},
      {"", "resolution=0x1p-3", 2, "invalid value '0x1p-3' for setting resolution"},
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
    EXPECT_TRUE(c.status != 0 || readFile(dir_.file("out" + std::to_string(n) + "/tree.txt")) == plainExport);
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
