// The splash settings of the configuration: four groups of a text and two numbers, in the order
// the launcher hands them to the launcher class. The launcher reads them and the packing tool
// writes and lists them from this one table.
#pragma once

#include <cstddef>

#include "config/settings.h"

namespace launcher {

struct SplashGroupIds {
    Setting text, first, second;
};

inline constexpr SplashGroupIds kSplashGroups[] = {
    {Setting::SplashText1, Setting::SplashNumber1a, Setting::SplashNumber1b},
    {Setting::SplashText2, Setting::SplashNumber2a, Setting::SplashNumber2b},
    {Setting::SplashText3, Setting::SplashNumber3a, Setting::SplashNumber3b},
    {Setting::SplashText4, Setting::SplashNumber4a, Setting::SplashNumber4b},
};

// A splash text is read as into a buffer of this many bytes.
constexpr size_t kSplashTextLength = 2000;

}  // namespace launcher
