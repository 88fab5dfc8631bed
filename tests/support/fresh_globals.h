#pragma once
// The one place that puts the program's globals back to their start values, before and after
// every test that touches them: FreshSettings for the settings (and the display-list hook),
// FreshGlobals for the application tests, which also empty the global objects.

#include <gtest/gtest.h>

#include "settings/settings.h"
#include "tree/tree_model.h"

class FreshSettings : public ::testing::Test {
 protected:
  void SetUp() override { reset(); }
  void TearDown() override { reset(); }
  static void reset() {
    resetSettingsToStartValues();
    TreeModel::listBuilder = nullptr;
  }
};

#ifdef FRONDAREL_APP_TESTS
#include "app/commands.h"
#include "app/globals.h"

class FreshGlobals : public FreshSettings {
 protected:
  void SetUp() override { reset(); }
  void TearDown() override { reset(); }
  static void reset() {
    FreshSettings::reset();
    setWindowOps(WindowOps{});
    g_nSavedWindowWidth = 1600;
    g_nSavedWindowHeight = 900;
    g_pointModelNames.clear();
    g_leafModelNames.clear();
    g_pointCloud.reset();
    g_voxelVolume.reset();
    g_reconstructor.clear();
    g_reconstructor.skeletonNodes.clear();
    g_reconstructor.model.clear();
  }
};
#endif
