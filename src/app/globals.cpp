#include "app/globals.h"

// Defined in one translation unit so that construction follows this order.
std::vector<std::string> g_pointModelNames;
std::vector<std::string> g_leafModelNames;
PointCloud g_pointCloud;
VoxelVolume g_voxelVolume;
TreeReconstructor g_reconstructor;
ScreenRecorder g_recorder;
