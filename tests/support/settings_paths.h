// The registry layout the deliverables share, written out here rather than taken from the
// product, so that a test also pins where the settings live.
#pragma once

namespace testing_support {

// The settings key below HKEY_CURRENT_USER, as the settings store's '/'-separated path.
constexpr const char kSettingsPath[] = "Software/Orvek/Tavrello";
// The per-user Run key that holds the tray program's autostart entry "Tavrello".
constexpr const char kRunPath[] = "Software/Microsoft/Windows/CurrentVersion/Run";

}  // namespace testing_support
