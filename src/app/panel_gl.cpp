#include "app/panel_gl.h"

#include <GL/freeglut.h>
#include <backends/imgui_impl_glut.h>
#include <backends/imgui_impl_opengl2.h>
#include <imgui.h>

#include <algorithm>
#include <cfloat>
#include <cstdio>
#include <map>
#include <string>

#include "app/commands.h"
#include "app/globals.h"
#include "app/message_log.h"
#include "app/model_folders.h"
#include "app/panel_help.h"
#include "app/panel_registry.h"
#include "app/pipeline.h"
#include "app/progress.h"
#include "app/tree_summary.h"
#include "settings/settings.h"

namespace {

bool g_panelReady = false;
// GLUT reports a press and its release as separate events that may both arrive between two
// frames; ImGui 1.86 only sees the state at each frame. Presses are therefore held until a
// frame has seen them, and key presses are released after that frame.
bool g_buttonSeen[3] = {false, false, false};
bool g_releasePending[3] = {false, false, false};
bool g_keysPressed = false;
// Text typed into a number field, applied when the field is left.
std::map<std::string, double> g_pendingEdits;

constexpr float kTooltipWidth = 300.0f;
// The bar takes the height its entries need, up to what the window leaves above the info
// box (messages and measurements) at the bottom of the same column.
constexpr float kWindowMargin = 16.0f;
constexpr float kInfoGap = 8.0f;
constexpr float kInfoMinHeight = 96.0f;
constexpr float kInfoMaxHeight = 260.0f;
float g_barWantedHeight = 0.0f;  // measured at the end of the last frame's entries
ImVec2 g_barPos(0.0f, 0.0f), g_barSize(0.0f, 0.0f);

void showTooltip(const std::string& text) {
  if (text.empty() || !ImGui::IsItemHovered()) return;
  ImGui::BeginTooltip();
  ImGui::PushTextWrapPos(kTooltipWidth);
  ImGui::TextUnformatted(text.c_str());
  ImGui::PopTextWrapPos();
  ImGui::EndTooltip();
}

// ---- Entry widgets ----

void drawLabel(const PanelEntry& e, const std::string& tip, float valuesX) {
  ImGui::AlignTextToFramePadding();
  ImGui::TextUnformatted(e.displayLabel().c_str());
  showTooltip(tip);
  ImGui::SameLine(valuesX);
  ImGui::SetNextItemWidth(-FLT_MIN);
}

void drawEnum(const PanelEntry& e, const std::string& tip) {
  const std::vector<std::string>& items = *e.items();
  const int current = static_cast<int>(e.get());
  const char* preview = current >= 0 && current < static_cast<int>(items.size()) ? items[current].c_str() : "";
  if (ImGui::BeginCombo("##value", preview)) {
    for (int i = 0; i < static_cast<int>(items.size()); ++i) {
      ImGui::PushID(i);
      // Choosing the shown item again reloads it, as choosing any other item does.
      if (ImGui::Selectable(items[i].c_str(), i == current)) {
        CommandScope command;
        panelSetNumber(e, i);
      }
      ImGui::PopID();
    }
    ImGui::EndCombo();
  }
  // File names longer than the field are cut in it: the tooltip names the file in full.
  showTooltip(preview[0] ? std::string(preview) + "\n\n" + tip : tip);
}

// A text field (applied when left) with - and + buttons that step along the entry's grid.
void drawNumber(const PanelEntry& e, const std::string& tip) {
  const float button = ImGui::GetFrameHeight();
  const float spacing = ImGui::GetStyle().ItemInnerSpacing.x;
  const double current = e.get();
  double shown = current;
  const std::string format = "%." + std::to_string(panelValueDecimals(e, current)) + "f";
  ImGui::SetNextItemWidth(ImGui::CalcItemWidth() - 2.0f * (button + spacing));
  if (ImGui::InputDouble("##value", &shown, 0.0, 0.0, format.c_str())) g_pendingEdits[e.name] = shown;
  if (ImGui::IsItemDeactivatedAfterEdit()) {
    auto pending = g_pendingEdits.find(e.name);
    double target = 0.0;
    // An edit cancelled with Esc comes back as the old value: no change, no effect.
    if (pending != g_pendingEdits.end() && clampTypedPanelValue(e, pending->second, &target) && target != current) {
      CommandScope command;
      panelEnterNumber(e, target);
    }
    if (pending != g_pendingEdits.end()) g_pendingEdits.erase(pending);
  }
  showTooltip(tip);
  ImGui::PushButtonRepeat(true);
  ImGui::SameLine(0.0f, spacing);
  if (ImGui::Button("-", ImVec2(button, button))) {
    CommandScope command;
    panelSetNumber(e, steppedPanelValue(e, current, -1));
  }
  showTooltip(tip);
  ImGui::SameLine(0.0f, spacing);
  if (ImGui::Button("+", ImVec2(button, button))) {
    CommandScope command;
    panelSetNumber(e, steppedPanelValue(e, current, +1));
  }
  showTooltip(tip);
  ImGui::PopButtonRepeat();
}

void drawReadOnly(const PanelEntry& e, const std::string& tip) {
  double shown = e.get();
  ImGui::InputDouble("##value", &shown, 0.0, 0.0, "%.3f", ImGuiInputTextFlags_ReadOnly);
  showTooltip(tip);
}

void drawBool(const PanelEntry& e, const std::string& tip) {
  bool value = e.get() != 0.0;
  if (ImGui::Checkbox("##value", &value)) {
    CommandScope command;
    panelSetNumber(e, value ? 1.0 : 0.0);
  }
  showTooltip(tip);
}

void drawColor(const PanelEntry& e, const std::string& tip) {
  float rgb[3];
  e.getColor(rgb);
  if (ImGui::ColorEdit3("##value", rgb)) {
    CommandScope command;
    panelSetColor(e.name, rgb);
  }
  showTooltip(tip);
}

void drawEntry(const PanelEntry& e, float valuesX) {
  const std::string tip = panelEntryTooltip(e);
  ImGui::PushID(e.name.c_str());
  if (e.kind == PanelKind::Button) {
    if (ImGui::Button(e.displayLabel().c_str(), ImVec2(-FLT_MIN, 0.0f))) {
      CommandScope command;
      e.press();
    }
    showTooltip(tip);
  } else {
    drawLabel(e, tip, valuesX);
    if (e.kind == PanelKind::Enum)
      drawEnum(e, tip);
    else if (e.kind == PanelKind::Color3f)
      drawColor(e, tip);
    else if (e.kind == PanelKind::Bool || e.kind == PanelKind::Bool32)
      drawBool(e, tip);
    else if (e.access == PanelAccess::ReadOnly)
      drawReadOnly(e, tip);
    else
      drawNumber(e, tip);
  }
  ImGui::PopID();
}

// ---- The bar ----

// x of the value column: the widest label plus spacing, so the values fit the rest.
float valuesColumnX() {
  float widest = 0.0f;
  for (const PanelEntry& e : panelEntries()) {
    if (e.kind == PanelKind::Button) continue;
    const float w = ImGui::CalcTextSize(e.displayLabel().c_str()).x +
                    (e.options.group.empty() ? 0.0f : ImGui::GetStyle().IndentSpacing);
    if (w > widest) widest = w;
  }
  return ImGui::GetStyle().WindowPadding.x + widest + 2.0f * ImGui::GetStyle().ItemSpacing.x;
}

void drawFrameModelButton() {
  if (ImGui::Button(kFrameModelLabel, ImVec2(-FLT_MIN, 0.0f))) frameModel();
  showTooltip(frameModelTooltip());
}

// Opening a cloud by its path, listing the model folder again and the up axis of the files
// read: a tab of the info box, so the bar keeps its size.
void drawFileControls() {
  const float valuesX = ImGui::CalcTextSize("Cloud file").x + 3.0f * ImGui::GetStyle().ItemSpacing.x;
  static char path[1024] = "";
  ImGui::AlignTextToFramePadding();
  ImGui::TextUnformatted("Cloud file");
  showTooltip(
      "Path of a point cloud to open (PLY, LAS, XYZ/TXT/CSV, GEO), absolute or relative to the working folder.");
  ImGui::SameLine(valuesX);
  ImGui::SetNextItemWidth(-FLT_MIN);
  const bool entered = ImGui::InputText("##path", path, sizeof path, ImGuiInputTextFlags_EnterReturnsTrue);
  if (ImGui::Button("Open file", ImVec2(ImGui::GetContentRegionAvail().x * 0.5f, 0.0f)) || entered) {
    CommandScope command;
    if (path[0] != '\0') openPointModelFile(path);
  }
  showTooltip("Loads the file as the current model and adds it to the \"Models\" list.");
  ImGui::SameLine();
  if (ImGui::Button("List folder again", ImVec2(-FLT_MIN, 0.0f))) relistPointModels();
  showTooltip("Lists ./data/point_model/ again, so files added since the start appear in \"Models\".");
  static const char* const kUpAxes[] = {"as the file says", "Y up", "Z up"};
  ImGui::AlignTextToFramePadding();
  ImGui::TextUnformatted("Up axis");
  showTooltip(
      "Which axis of the files is up. As the file says: Z for scans (LAS, column text, PLY from other tools), Y for "
      "the program's own PLY layouts. A change reloads the current model.");
  ImGui::SameLine(valuesX);
  ImGui::SetNextItemWidth(-FLT_MIN);
  int up = g_nUpAxis;
  if (ImGui::Combo("##up", &up, kUpAxes, 3) && up != g_nUpAxis) {
    CommandScope command;
    setUpAxisAndReload(up);
  }
}

void drawEntries(float valuesX) {
  std::string group;
  bool groupOpen = true;
  for (const PanelEntry& e : panelEntries()) {
    if (e.options.group != group) {
      if (!group.empty() && groupOpen) ImGui::Unindent();
      group = e.options.group;
      // "Tree control" starts open as the panel always showed it; groups added since start closed,
      // so the bar still fits the window.
      groupOpen = group.empty() ||
                  ImGui::CollapsingHeader(group.c_str(), group == "Tree control" ? ImGuiTreeNodeFlags_DefaultOpen : 0);
      if (!group.empty() && groupOpen) ImGui::Indent();
    }
    if (groupOpen) drawEntry(e, valuesX);
    if (groupOpen && e.name == "Reset scene") drawFrameModelButton();
  }
  if (!group.empty() && groupOpen) ImGui::Unindent();
}

void showGlobalHelpOnTitle(const PanelBar& bar) {
  const ImVec2 pos = ImGui::GetWindowPos();
  const ImVec2 end(pos.x + ImGui::GetWindowWidth(), pos.y + ImGui::GetFrameHeight());
  if (!bar.globalHelp.empty() && ImGui::IsWindowHovered() && ImGui::IsMouseHoveringRect(pos, end)) {
    ImGui::SetTooltip("%s", bar.globalHelp.c_str());
  }
}

// Height left for the bar at its place above the info box.
float barMaxHeight(float barY) {
  const float windowHeight = ImGui::GetIO().DisplaySize.y;
  return std::max(ImGui::GetFrameHeight() * 3.0f, windowHeight - barY - kWindowMargin - kInfoGap - kInfoMinHeight);
}

void drawBar() {
  const PanelBar& bar = panelBar();
  ImGui::SetNextWindowPos(ImVec2(float(bar.x), float(bar.y)), ImGuiCond_FirstUseEver);
  ImGui::SetNextWindowSize(ImVec2(float(bar.width), float(bar.height)), ImGuiCond_FirstUseEver);
  if (g_barWantedHeight > 0.0f) {
    const float width = g_barSize.x > 0.0f ? g_barSize.x : float(bar.width);
    ImGui::SetNextWindowSize(ImVec2(width, std::min(g_barWantedHeight, barMaxHeight(g_barPos.y))));
  }
  const ImU32 background = IM_COL32(bar.color[0], bar.color[1], bar.color[2], bar.alpha);
  const ImU32 title = IM_COL32(bar.color[0] * 3 / 4, bar.color[1] * 3 / 4, bar.color[2] * 3 / 4, 255);
  ImGui::PushStyleColor(ImGuiCol_WindowBg, background);
  ImGui::PushStyleColor(ImGuiCol_TitleBg, title);
  ImGui::PushStyleColor(ImGuiCol_TitleBgActive, title);
  ImGui::PushStyleColor(ImGuiCol_TitleBgCollapsed, background);
  ImGui::PushStyleColor(ImGuiCol_Text, bar.lightText ? IM_COL32(240, 240, 240, 255) : IM_COL32(16, 16, 16, 255));
  if (ImGui::Begin(bar.name.c_str())) {
    // Rows a little tighter than the library's default, so every entry fits at 1600 x 900.
    ImGui::PushStyleVar(ImGuiStyleVar_FramePadding, ImVec2(ImGui::GetStyle().FramePadding.x, 2.0f));
    ImGui::PushStyleVar(ImGuiStyleVar_ItemSpacing, ImVec2(ImGui::GetStyle().ItemSpacing.x, 3.0f));
    showGlobalHelpOnTitle(bar);
    drawEntries(valuesColumnX());
    const ImGuiStyle& style = ImGui::GetStyle();
    g_barWantedHeight = ImGui::GetCursorPosY() - style.ItemSpacing.y + style.WindowPadding.y;
    ImGui::PopStyleVar(2);
  }
  g_barPos = ImGui::GetWindowPos();
  g_barSize = ImGui::GetWindowSize();
  ImGui::End();
  ImGui::PopStyleColor(5);
}

// ---- Info box: messages and measurements ----

ImVec4 messageColour(MessageKind kind) {
  switch (kind) {
    case MessageKind::Error:
      return ImVec4(1.0f, 0.45f, 0.45f, 1.0f);
    case MessageKind::Warning:
      return ImVec4(1.0f, 0.82f, 0.35f, 1.0f);
    case MessageKind::Done:
      return ImVec4(0.5f, 0.9f, 0.5f, 1.0f);
    default:
      return ImVec4(0.86f, 0.86f, 0.86f, 1.0f);
  }
}

uint64_t g_shownSerial = 0;  // newest message the box has scrolled to

void drawMessages() {
  const MessageLog& log = windowMessages();
  ImGui::BeginChild("##messages");
  for (const LogMessage& m : log.messages()) {
    ImGui::PushStyleColor(ImGuiCol_Text, messageColour(m.kind));
    ImGui::PushTextWrapPos(0.0f);
    ImGui::TextUnformatted(m.text.c_str());
    ImGui::PopTextWrapPos();
    ImGui::PopStyleColor();
  }
  if (!log.pendingLine().empty()) ImGui::TextDisabled("%s", log.pendingLine().c_str());
  if (log.lastSerial() != g_shownSerial) {
    ImGui::SetScrollHereY(1.0f);
    g_shownSerial = log.lastSerial();
  }
  ImGui::EndChild();
}

void measurementRow(const char* name, const char* value, const char* tip) {
  ImGui::TableNextRow();
  ImGui::TableNextColumn();
  ImGui::TextUnformatted(name);
  if (ImGui::IsItemHovered()) ImGui::SetTooltip("%s", tip);
  ImGui::TableNextColumn();
  ImGui::TextUnformatted(value);
}

void drawMeasurements(const TreeSummary& s) {
  if (!s.valid) {
    ImGui::TextWrapped("Reconstruct the tree (key b) to see what it measures.");
    return;
  }
  char v[96];
  ImGui::BeginChild("##measurements");
  if (ImGui::BeginTable("##figures", 2, ImGuiTableFlags_SizingStretchProp)) {
    std::snprintf(v, sizeof v, "%.3g", s.height);
    measurementRow("Height", v, "Lowest to highest branch node, in the cloud file's units.");
    if (s.hasStemDiameter) {
      if (s.stemHeight > 0.0)
        std::snprintf(v, sizeof v, "%.3g at %.1f", s.stemDiameter, s.stemHeight);
      else
        std::snprintf(v, sizeof v, "%.3g at the base", s.stemDiameter);
      measurementRow("Stem diameter", v,
                     "Drawn trunk diameter 1.3 file units (breast height in metres) above its base, or at its "
                     "base when the trunk is lower.");
    }
    std::snprintf(v, sizeof v, "%.3g", s.volume);
    measurementRow("Wood volume", v, "Volume of the drawn branch tubes, in the cloud file's units cubed.");
    std::snprintf(v, sizeof v, "%zu, %.3g long", s.branches, s.branchLength);
    measurementRow("Branches", v, "Branches drawn and exported, and their length together (file units).");
    if (s.hasFit) {
      std::snprintf(v, sizeof v, "%.0f%% / %.0f%% / %.0f%%", 100.0 * s.within2cm, 100.0 * s.within5cm,
                    100.0 * s.within10cm);
      measurementRow("Scan within 2/5/10 cm", v, "Share of the scan's points this close to the model's surface.");
      std::snprintf(v, sizeof v, "%.0f%%", 100.0 * s.phantom);
      measurementRow("Phantom surface", v, "Share of the model's surface with no scan point near it.");
    } else {
      measurementRow("Fit to the scan", "not measured", "The fit of the model to its scan is not measured yet.");
    }
    ImGui::EndTable();
  }
  ImGui::EndChild();
}

// Tab shown after something happened: the measurements after a new tree, the messages
// after an error.
struct InfoFocus {
  double runTime = -1.0;
  size_t branches = 0;
  bool built = false;
  uint64_t checkedSerial = 0;
};
InfoFocus g_infoFocus;

void drawInfoBox() {
  const ImVec2 display = ImGui::GetIO().DisplaySize;
  const float top = g_barPos.y + g_barSize.y + kInfoGap;
  const float height = std::min(kInfoMaxHeight, std::max(kInfoMinHeight, display.y - kWindowMargin - top));
  const bool barSeen = g_barSize.x > 0.0f;  // the bar has been drawn once
  const float width = barSeen ? g_barSize.x : float(panelBar().width);
  const float left = barSeen ? g_barPos.x : float(panelBar().x);
  ImGui::SetNextWindowPos(ImVec2(left, display.y - kWindowMargin - height), ImGuiCond_Always);
  ImGui::SetNextWindowSize(ImVec2(width, height), ImGuiCond_Always);
  const ImGuiWindowFlags flags = ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove |
                                 ImGuiWindowFlags_NoCollapse | ImGuiWindowFlags_NoSavedSettings |
                                 ImGuiWindowFlags_NoFocusOnAppearing;
  TreeSummary summary = summariseTree(g_reconstructor.model, g_pointCloud.scale);
  addFitFigures(summary, lastTreeFit());
  bool showMeasurements = false, showMessages = false;
  const bool built = g_reconstructor.model.isBuilt();
  if (built && (!g_infoFocus.built || g_dRunTime != g_infoFocus.runTime || summary.branches != g_infoFocus.branches))
    showMeasurements = true;
  g_infoFocus.built = built;
  g_infoFocus.runTime = g_dRunTime;
  g_infoFocus.branches = summary.branches;
  const MessageLog& log = windowMessages();
  for (auto it = log.messages().rbegin(); it != log.messages().rend() && it->serial > g_infoFocus.checkedSerial; ++it)
    if (it->kind == MessageKind::Error || it->kind == MessageKind::Done) showMessages = true;
  g_infoFocus.checkedSerial = log.lastSerial();
  // Compact rows, so the figures fit the box the bar leaves at 1600 x 900.
  ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(6.0f, 4.0f));
  ImGui::PushStyleVar(ImGuiStyleVar_ItemSpacing, ImVec2(6.0f, 2.0f));
  ImGui::PushStyleVar(ImGuiStyleVar_CellPadding, ImVec2(4.0f, 1.0f));
  if (ImGui::Begin("##info", nullptr, flags)) {
    if (ImGui::BeginTabBar("##infoTabs")) {
      if (ImGui::BeginTabItem("Messages", nullptr, showMessages ? ImGuiTabItemFlags_SetSelected : 0)) {
        drawMessages();
        ImGui::EndTabItem();
      }
      if (ImGui::BeginTabItem("Measurements", nullptr,
                              showMeasurements && !showMessages ? ImGuiTabItemFlags_SetSelected : 0)) {
        drawMeasurements(summary);
        ImGui::EndTabItem();
      }
      if (ImGui::BeginTabItem("Files")) {
        drawFileControls();
        ImGui::EndTabItem();
      }
      ImGui::EndTabBar();
    }
  }
  ImGui::End();
  ImGui::PopStyleVar(3);
}

// ---- Key help ----

void drawKeyHelp() {
  if (!g_bShowKeyHelp) return;
  const ImVec2 display = ImGui::GetIO().DisplaySize;
  const float left = g_barPos.x + g_barSize.x;
  ImGui::SetNextWindowPos(ImVec2(0.5f * (left + display.x), 0.5f * display.y), ImGuiCond_Always, ImVec2(0.5f, 0.5f));
  ImGui::SetNextWindowBgAlpha(0.92f);
  const ImGuiWindowFlags flags = ImGuiWindowFlags_AlwaysAutoResize | ImGuiWindowFlags_NoMove |
                                 ImGuiWindowFlags_NoCollapse | ImGuiWindowFlags_NoSavedSettings;
  if (ImGui::Begin("Keys and mouse (h closes)", &g_bShowKeyHelp, flags)) {
    if (ImGui::BeginTable("##keys", 2, ImGuiTableFlags_RowBg)) {
      for (const KeyHelp& k : keyHelpTable()) {
        ImGui::TableNextRow();
        ImGui::TableNextColumn();
        ImGui::TextUnformatted(k.keys);
        ImGui::TableNextColumn();
        ImGui::TextUnformatted(k.action);
      }
      ImGui::EndTable();
    }
  }
  ImGui::End();
}

// ---- Input bookkeeping ----

int imguiButton(int glutButton) {
  switch (glutButton) {
    case GLUT_LEFT_BUTTON:
      return 0;
    case GLUT_RIGHT_BUTTON:
      return 1;
    case GLUT_MIDDLE_BUTTON:
      return 2;
    default:
      return -1;
  }
}

void markPressesSeen() {
  ImGuiIO& io = ImGui::GetIO();
  for (int b = 0; b < 3; ++b) g_buttonSeen[b] = io.MouseDown[b];
}

void releaseAfterFrame() {
  ImGuiIO& io = ImGui::GetIO();
  for (int b = 0; b < 3; ++b) {
    if (g_releasePending[b]) io.MouseDown[b] = false;
    g_releasePending[b] = false;
  }
  if (g_keysPressed) {
    for (bool& down : io.KeysDown) down = false;
    io.KeyCtrl = io.KeyShift = io.KeyAlt = false;
    g_keysPressed = false;
  }
}

bool panelTakesKeys() {
  const ImGuiIO& io = ImGui::GetIO();
  return io.WantTextInput || io.WantCaptureKeyboard;
}

const char* specialKeyName(int key) {
  switch (key) {
    case GLUT_KEY_F7:
      return "F7";
    case GLUT_KEY_F10:
      return "F10";
    default:
      return nullptr;
  }
}

}  // namespace

void panelInit() {
  if (g_panelReady) return;
  IMGUI_CHECKVERSION();
  ImGui::CreateContext();
  ImGuiIO& io = ImGui::GetIO();
  io.IniFilename = nullptr;  // nothing is saved between runs
  io.LogFilename = nullptr;
  ImGui::StyleColorsDark();
  ImGui_ImplGLUT_Init();
  ImGui_ImplOpenGL2_Init();
  io.DisplaySize = ImVec2(float(glutGet(GLUT_WINDOW_WIDTH)), float(glutGet(GLUT_WINDOW_HEIGHT)));
  panelEntries();  // parses the definitions now rather than at the first frame
  panelBar();
  g_panelReady = true;
}

void panelShutdown() {
  if (!g_panelReady) return;
  g_panelReady = false;
  // Deletes the font texture; after the window is gone the GL calls reach no context and do
  // nothing, and the texture went with the context.
  ImGui_ImplOpenGL2_Shutdown();
  ImGui_ImplGLUT_Shutdown();
  ImGui::DestroyContext();
}

void panelDraw() {
  if (!g_panelReady) return;
  ImGui_ImplOpenGL2_NewFrame();
  ImGui_ImplGLUT_NewFrame();  // this backend version also starts the ImGui frame
  markPressesSeen();
  drawBar();
  drawInfoBox();
  drawKeyHelp();
  ImGui::Render();
  ImGui_ImplOpenGL2_RenderDrawData(ImGui::GetDrawData());
  releaseAfterFrame();
}

void panelReshape(int width, int height) {
  if (g_panelReady) ImGui_ImplGLUT_ReshapeFunc(width, height);
}

bool panelKeyboard(unsigned char key, int x, int y) {
  if (!g_panelReady) return false;
  const bool editing = panelTakesKeys();
  ImGui_ImplGLUT_KeyboardFunc(key, x, y);
  g_keysPressed = true;
  if (editing) return true;
  return panelApplyShortcut(std::string(1, static_cast<char>(key)));
}

bool panelSpecial(int key, int x, int y) {
  if (!g_panelReady) return false;
  const bool editing = panelTakesKeys();
  ImGui_ImplGLUT_SpecialFunc(key, x, y);
  g_keysPressed = true;
  if (editing) return true;
  const char* name = specialKeyName(key);
  return name != nullptr && panelApplyShortcut(name);
}

bool panelMouse(int button, int state, int x, int y) {
  if (!g_panelReady) return false;
  ImGuiIO& io = ImGui::GetIO();
  io.MousePos = ImVec2(float(x), float(y));
  // Without a wheel callback freeglut reports the wheel as buttons 3 (up) and 4 (down).
  if (button == 3 || button == 4) {
    if (state == GLUT_DOWN) io.MouseWheel += button == 3 ? 1.0f : -1.0f;
    return io.WantCaptureMouse;
  }
  const int b = imguiButton(button);
  if (b < 0) return io.WantCaptureMouse;
  if (state == GLUT_DOWN) {
    io.MouseDown[b] = true;
    g_buttonSeen[b] = false;
    g_releasePending[b] = false;
  } else if (g_buttonSeen[b]) {
    io.MouseDown[b] = false;
  } else {
    g_releasePending[b] = true;  // let the next frame see the press first
  }
  return io.WantCaptureMouse;
}

bool panelMotion(int x, int y) {
  if (!g_panelReady) return false;
  ImGuiIO& io = ImGui::GetIO();
  io.MousePos = ImVec2(float(x), float(y));
  return io.WantCaptureMouse;
}

bool panelActiveMotion(int x, int y) {
  return panelMotion(x, y);
}

bool panelMouseWheel(int wheel, int direction, int x, int y) {
  if (!g_panelReady) return false;
  ImGuiIO& io = ImGui::GetIO();
  io.MousePos = ImVec2(float(x), float(y));
  if (wheel == 0)
    io.MouseWheel += direction > 0 ? 1.0f : direction < 0 ? -1.0f : 0.0f;
  else
    io.MouseWheelH += direction > 0 ? 1.0f : direction < 0 ? -1.0f : 0.0f;
  return io.WantCaptureMouse;
}
