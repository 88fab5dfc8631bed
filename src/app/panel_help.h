#pragma once
// Words for people: what each panel entry does and its unit (shown beside the entry's own
// help text), and the keys and mouse actions the help overlay lists. GL-free.

#include <string>
#include <vector>

struct PanelEntry;

// What the entry does (a sentence) and its unit ("" when it has none).
struct EntryDescription {
  std::string what, unit;
};
// The description of a panel entry by name; entries that edit a setting take its help and
// unit from the settings table. Empty for an unknown name.
EntryDescription panelEntryDescription(const std::string& name);
// The tooltip: the entry's help text and shortcut (panelTooltip), then what it does and its unit.
std::string panelEntryTooltip(const PanelEntry& entry);

// The window's extra button after "Reset scene".
constexpr const char* kFrameModelLabel = "Frame model";
std::string frameModelTooltip();

struct KeyHelp {
  const char* keys;
  const char* action;
};
// Every key and mouse action of the window, in the order the help overlay lists them.
const std::vector<KeyHelp>& keyHelpTable();
