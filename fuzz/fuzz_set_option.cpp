// --set key=value: a refused value leaves the setting and gives a reason; an accepted one is
// a plain decimal number inside the range and is stored as strtod / strtol read it.
#include <cstring>
#include <string>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  silenceStdout();
  resetSettingsToStartValues();
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t eq = input.find('=');
  if (eq == std::string::npos || input.find('\0') != std::string::npos) return 0;
  const std::string name = input.substr(0, eq), value = input.substr(eq + 1);
  const SettingInfo* setting = findSetting(name);
  const double before = setting ? setting->value() : 0.0;
  std::string error;
  const bool ok = setSettingByName(name, value, &error);
  checkSettingsInRange();
  if (!ok) {
    FUZZ_CHECK(!error.empty());
    FUZZ_CHECK(!setting || setting->value() == before);
    return 0;
  }
  FUZZ_CHECK(setting != nullptr);
  if (setting->type == SettingType::Bool) return 0;
  FUZZ_CHECK(!value.empty() && value.find_first_of(" \t\n\v\f\rxXpPiInN") == std::string::npos);
  if (setting->type == SettingType::Int) {
    FUZZ_CHECK(value.find_first_of(".eE") == std::string::npos);
    FUZZ_CHECK(setting->value() == static_cast<double>(std::strtol(value.c_str(), nullptr, 10)));
  } else if (setting->type == SettingType::Double) {
    FUZZ_CHECK(setting->value() == std::strtod(value.c_str(), nullptr));
  }
  return 0;
}
