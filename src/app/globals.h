#pragma once
// The long-lived objects of the program, constructed before main in this order and
// destroyed at exit in reverse: the two model-name lists, the point cloud, the voxel
// volume, the reconstructor (with its tree model) and the screen recorder.

#include <string>
#include <vector>

#include "capture/screen_recorder.h"
#include "pointcloud/point_cloud.h"
#include "skeleton/tree_reconstructor.h"
#include "voxel/voxel_volume.h"

extern std::vector<std::string> g_pointModelNames;
extern std::vector<std::string> g_leafModelNames;
extern PointCloud g_pointCloud;
extern VoxelVolume g_voxelVolume;
extern TreeReconstructor g_reconstructor;
extern ScreenRecorder g_recorder;
