#pragma once
// Where a batch run writes, decided for every input before anything is written. Each input
// has a list of outputs, one per chosen format. An output never replaces an input file or
// another input's output: a name that would is replaced by one derived from the whole input
// name ("tree.ply" -> "tree.ply.txt", "tree.ply_mesh.obj"), and an input whose outputs still
// clash is refused. Every output lies in the output folder, whatever the input's name.

#include <string>
#include <vector>

enum class OutputKind {
  TreeText,          // branch skeleton: the cloud's name with its last three characters set to "txt"
  SkeletonPly,       // skeleton graph, <stem>_skeleton.ply
  MeshObj,           // branch tubes, <stem>_mesh.obj
  CylinderCsv,       // cylinder table, <stem>_cylinders.csv
  MeasurementsJson,  // tree measurements, <stem>_measurements.json
};

// Every kind in writing order (--formats names them txt, ply, obj, csv, json).
const std::vector<OutputKind>& allOutputKinds();
// A comma-separated list of format names ("txt,obj"), or "all". False with a reason.
bool parseFormats(const std::string& list, std::vector<OutputKind>* kinds, std::string* error);

struct PlannedOutput {
  OutputKind kind = OutputKind::TreeText;
  std::string path;
  std::string note;  // why the usual name was not used; empty when it was
};

struct InputPlan {
  std::string input;
  std::vector<PlannedOutput> outputs;
  std::string refusal;  // non-empty: the input is not processed, for this reason
};

// The usual file name of an output of the cloud file name fileName; empty when the name is
// too short for the rule.
std::string usualOutputName(const std::string& fileName, OutputKind kind);

// One plan per input, in input order, with one output per kind in outFolder.
std::vector<InputPlan> planOutputs(const std::vector<std::string>& inputs, const std::string& outFolder,
                                   const std::vector<OutputKind>& kinds = {OutputKind::TreeText});

// The run summary's path in outFolder ("frondarel_summary.csv"); empty when that path is one
// of the inputs (it is then not written).
std::string summaryPath(const std::vector<std::string>& inputs, const std::string& outFolder);

// The path of the first output of kind, or an empty string.
std::string outputPath(const std::vector<PlannedOutput>& outputs, OutputKind kind);
