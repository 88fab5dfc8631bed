#pragma once
// The parameter panel as data: the bar "Frondarel" with its definitions and every entry in
// display order, with its kind, definition string, parsed options and the accessors that
// read and change the global settings. GL-free, so the panel can be driven without a window;
// panel_gl.cpp draws it.

#include <string>
#include <vector>

#include "app/panel_definition.h"

// Value kind of an entry as the panel stores it.
enum class PanelKind { Enum, Double, Int32, Bool, Bool32, Color3f, Button };
// How the entry reaches its global: directly, through a change callback, or read-only.
enum class PanelAccess { Variable, Callback, ReadOnly, Button };

// Options an entry takes from its definition string.
struct PanelOptions {
  std::string label, help, group, key, keyIncr, keyDecr;
  bool hasMin = false, hasMax = false, hasStep = false;
  double min = 0.0, max = 0.0, step = 0.0;
  int decimals = 3;  // digits after the point shown: those of step (3 without a step)
};

struct PanelEntry {
  std::string name;
  PanelKind kind;
  PanelAccess access;
  const char* definition;  // exactly as passed to the panel
  const char* enumName;    // enumeration type name, or nullptr
  PanelOptions options;    // parsed from definition at start-up

  // Numeric kinds (bool as 0/1, enumeration as index): current value of the global.
  double (*get)() = nullptr;
  // Stores an already constrained value and applies the change effect.
  void (*set)(double) = nullptr;
  void (*getColor)(float rgb[3]) = nullptr;
  void (*setColor)(const float rgb[3]) = nullptr;
  void (*press)() = nullptr;
  // Enumeration labels (the file names), in value order.
  const std::vector<std::string>* (*items)() = nullptr;

  // The label shown: the definition's label, or the entry name without one.
  const std::string& displayLabel() const { return options.label.empty() ? name : options.label; }
};

// The bar and its three definitions, with the values taken from them.
struct PanelBar {
  std::string name = "Frondarel";
  std::vector<std::string> definitions;
  std::string globalHelp;
  int x = 0, y = 0, width = 0, height = 0;
  int color[3] = {0, 0, 0};
  int alpha = 255;
  bool lightText = false;
  bool valuesWidthFit = false;
};

// Every entry in display order; definitions are parsed on first use.
const std::vector<PanelEntry>& panelEntries();
const PanelEntry* findPanelEntry(const std::string& name);
const PanelBar& panelBar();

// Clamps to the entry's range and snaps to its step grid (anchored at min, else 0); rounds
// integers and enumeration indices. Returns false for a non-finite value or an empty
// enumeration.
bool constrainPanelValue(const PanelEntry& entry, double value, double* out);
// A number typed into an entry's field: clamped to the range and rounded for integers, but
// otherwise kept as typed (not snapped to the step grid), so 0.125 stays 0.125. False for a
// value that is not finite or an entry that is not a plain number.
bool clampTypedPanelValue(const PanelEntry& entry, double value, double* out);
// Stores a typed number (clampTypedPanelValue) and applies the entry's change effect.
bool panelEnterNumber(const PanelEntry& entry, double value);
// The next value on the step grid above (direction > 0) or below current, clamped; a value
// between grid points moves to the neighbouring grid point.
double steppedPanelValue(const PanelEntry& entry, double current, int direction);

// Edits as the panel makes them, by entry name. Setters constrain the value, then store
// it and apply the entry's change effect; they return false for an unknown name, a wrong
// kind, a read-only entry or a value that cannot be used.
bool panelSetNumber(const std::string& name, double value);
bool panelGetNumber(const std::string& name, double* value);
bool panelSetColor(const std::string& name, const float rgb[3]);
bool panelGetColor(const std::string& name, float rgb[3]);
bool panelPressButton(const std::string& name);
bool panelSetNumber(const PanelEntry& entry, double value);

// Runs the shortcut named keyName ("1", "b", "<", "F7", ...) as the panel does: toggles a
// boolean, presses a button, or steps an enumeration. Returns true when an entry owns the key.
bool panelApplyShortcut(const std::string& keyName);
// The entry that receives keyName, or nullptr. Where two entries carry the same key the
// later one in the table receives it ("Show leaves" takes '0' from "Speedup").
const PanelEntry* panelShortcutOwner(const std::string& keyName);

// Tooltip text: the help option plus a sentence naming the entry's shortcut.
std::string panelTooltip(const PanelEntry& entry);
// Digits after the point shown for value: the entry's decimals, more for a typed value that
// lies off the step grid (at most six).
int panelValueDecimals(const PanelEntry& entry, double value);
// Text shown for a numeric value with those decimals.
std::string formatPanelValue(const PanelEntry& entry, double value);
