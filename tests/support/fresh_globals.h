#pragma once
// The one place that puts the program's globals back to their start values, before and after
// every test that touches them: FreshSettings for the settings, FreshGlobals for the
// application tests, which also empty the global objects and the window's messages and drop
// the hooks.

#include <gtest/gtest.h>

#include "settings/settings.h"

class FreshSettings : public ::testing::Test {
 protected:
  void SetUp() override { reset(); }
  void TearDown() override { reset(); }
  static void reset() { resetSettingsToStartValues(); }
};

#ifdef FRONDAREL_APP_TESTS
#include "app/commands.h"
#include "app/globals.h"
#include "app/message_log.h"
#include "app/progress.h"

class FreshGlobals : public FreshSettings {
 protected:
  void SetUp() override { reset(); }
  void TearDown() override { reset(); }
  static void reset() {
    FreshSettings::reset();
    TreeModel::listBuilder = nullptr;
    setWindowOps(WindowOps{});
    setProgressHook(nullptr);
    setCommandHook(nullptr);
    windowMessages().clear();
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
