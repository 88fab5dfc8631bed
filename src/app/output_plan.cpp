#include "app/output_plan.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <system_error>
#include <utility>

namespace fs = std::filesystem;

namespace {

struct KindInfo {
  OutputKind kind;
  const char* format;  // --formats name
  const char* suffix;  // after the stem (the tree text replaces the extension instead)
};
constexpr KindInfo kKinds[] = {
    {OutputKind::TreeText, "txt", ".txt"},
    {OutputKind::SkeletonPly, "ply", "_skeleton.ply"},
    {OutputKind::MeshObj, "obj", "_mesh.obj"},
    {OutputKind::CylinderCsv, "csv", "_cylinders.csv"},
    {OutputKind::MeasurementsJson, "json", "_measurements.json"},
};

const KindInfo& infoOf(OutputKind kind) {
  for (const KindInfo& k : kKinds) {
    if (k.kind == kind) return k;
  }
  return kKinds[0];
}

// The name of an output that must not clash: the whole input name with the kind's ending.
std::string wholeNameOutput(const std::string& name, OutputKind kind) {
  return name + infoOf(kind).suffix;
}

std::string inFolder(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

// The comparable form of a path: symbolic links and "..", "." resolved as far as the path exists.
std::string pathKey(const std::string& path) {
  std::error_code ec;
  fs::path key = fs::weakly_canonical(fs::absolute(path, ec), ec);
  if (ec) key = fs::absolute(path, ec).lexically_normal();
  return key.string();
}

// Device and inode of an existing file: the same file under another name (a hard link) is
// the same file too.
bool fileIdentity(const std::string& path, std::pair<dev_t, ino_t>* id) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return false;
  *id = {info.st_dev, info.st_ino};
  return true;
}

std::string fileName(const std::string& path) {
  return fs::path(path).filename().string();
}

struct OutputRef {
  size_t input, output;
};

}  // namespace

const std::vector<OutputKind>& allOutputKinds() {
  static const std::vector<OutputKind> kinds = [] {
    std::vector<OutputKind> all;
    for (const KindInfo& k : kKinds) all.push_back(k.kind);
    return all;
  }();
  return kinds;
}

bool parseFormats(const std::string& list, std::vector<OutputKind>* kinds, std::string* error) {
  kinds->clear();
  if (list == "all") {
    *kinds = allOutputKinds();
    return true;
  }
  size_t start = 0;
  while (start <= list.size()) {
    const size_t comma = std::min(list.find(',', start), list.size());
    const std::string name = list.substr(start, comma - start);
    const KindInfo* found = nullptr;
    for (const KindInfo& k : kKinds) {
      if (name == k.format) found = &k;
    }
    if (!found) {
      *error = "unknown format '" + name + "' in --formats (txt, ply, obj, csv, json or all)";
      return false;
    }
    if (std::find(kinds->begin(), kinds->end(), found->kind) == kinds->end()) kinds->push_back(found->kind);
    start = comma + 1;
  }
  return true;
}

std::string usualOutputName(const std::string& name, OutputKind kind) {
  if (kind == OutputKind::TreeText) return name.size() < 3 ? "" : name.substr(0, name.size() - 3) + "txt";
  const size_t dot = name.rfind('.');
  const std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
  return stem + infoOf(kind).suffix;
}

std::vector<InputPlan> planOutputs(const std::vector<std::string>& inputs, const std::string& outFolder,
                                   const std::vector<OutputKind>& kinds) {
  std::vector<InputPlan> plans(inputs.size());
  std::map<std::string, size_t> inputByKey;
  std::map<std::pair<dev_t, ino_t>, size_t> inputById;
  for (size_t i = 0; i < inputs.size(); ++i) {
    inputByKey.emplace(pathKey(inputs[i]), i);
    std::pair<dev_t, ino_t> id;
    if (fileIdentity(inputs[i], &id)) inputById.emplace(id, i);
  }
  // The input an output path would overwrite, or SIZE_MAX.
  auto overwrittenInput = [&](const std::string& path) {
    const auto byKey = inputByKey.find(pathKey(path));
    if (byKey != inputByKey.end()) return byKey->second;
    std::pair<dev_t, ino_t> id;
    const auto byId = fileIdentity(path, &id) ? inputById.find(id) : inputById.end();
    return byId != inputById.end() ? byId->second : SIZE_MAX;
  };

  // The usual names, or the whole name where the usual rule would leave the folder.
  for (size_t i = 0; i < inputs.size(); ++i) {
    plans[i].input = inputs[i];
    const std::string name = fileName(inputs[i]);
    for (OutputKind kind : kinds) {
      PlannedOutput out;
      out.kind = kind;
      std::string usual = usualOutputName(name, kind);
      if (usual.empty()) {
        usual = wholeNameOutput(name, kind);
        out.note = "named after the whole input name, which is too short for the usual one";
      }
      out.path = inFolder(outFolder, usual);
      plans[i].outputs.push_back(out);
    }
  }

  // Usual names that would overwrite an input or that several inputs share: every one of
  // them takes the whole input name, so none of the clashing inputs keeps the ambiguous name.
  std::map<std::string, std::vector<OutputRef>> byKey;
  for (size_t i = 0; i < plans.size(); ++i) {
    for (size_t k = 0; k < plans[i].outputs.size(); ++k) byKey[pathKey(plans[i].outputs[k].path)].push_back({i, k});
  }
  for (const auto& [key, refs] : byKey) {
    const size_t overwritten = overwrittenInput(plans[refs[0].input].outputs[refs[0].output].path);
    if (refs.size() == 1 && overwritten == SIZE_MAX) continue;
    for (const OutputRef& r : refs) {
      PlannedOutput& out = plans[r.input].outputs[r.output];
      const std::string usual = fileName(out.path);
      if (overwritten != SIZE_MAX) {
        out.note = usual + " would overwrite the input " + inputs[overwritten];
      } else {
        const size_t other = refs[0].input != r.input ? refs[0].input : refs[1].input;
        out.note = usual + " is also the output of " + inputs[other];
      }
      out.path = inFolder(outFolder, wholeNameOutput(fileName(inputs[r.input]), out.kind));
    }
  }

  // What still clashes after renaming is refused: a renamed output that is an input or that
  // another output takes as well.
  byKey.clear();
  for (size_t i = 0; i < plans.size(); ++i) {
    for (size_t k = 0; k < plans[i].outputs.size(); ++k) byKey[pathKey(plans[i].outputs[k].path)].push_back({i, k});
  }
  for (const auto& [key, refs] : byKey) {
    for (const OutputRef& r : refs) {
      InputPlan& plan = plans[r.input];
      const std::string& path = plan.outputs[r.output].path;
      const size_t overwritten = overwrittenInput(path);
      if (overwritten != SIZE_MAX) {
        plan.refusal = "its output " + path + " would overwrite the input " + inputs[overwritten];
      } else if (refs.size() > 1 && !plan.outputs[r.output].note.empty()) {
        const size_t other = refs[0].input != r.input ? refs[0].input : refs[1].input;
        plan.refusal = "its output " + path + " would also be written for " + inputs[other];
      }
    }
  }
  return plans;
}

std::string outputPath(const std::vector<PlannedOutput>& outputs, OutputKind kind) {
  for (const PlannedOutput& o : outputs) {
    if (o.kind == kind) return o.path;
  }
  return "";
}

std::string summaryPath(const std::vector<std::string>& inputs, const std::string& outFolder) {
  const std::string path = inFolder(outFolder, "frondarel_summary.csv");
  for (const std::string& input : inputs) {
    if (pathKey(input) == pathKey(path)) return "";
  }
  return path;
}
