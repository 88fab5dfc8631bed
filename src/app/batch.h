#pragma once
// The headless batch command:
//   frondarel --batch <cloud file or folder> [--out <folder>] [--set key=value ...]
// runs load, voxel grid, thinning, graph, growth and tree building with the same code and
// settings as the window and writes each tree's export. Returns the process status:
// 0 only when every tree was built and written.

int runBatch(int argc, char** argv);
