#pragma once
// XPParams: whether the program draws with the platform's visual styles. The main window
// decides it once while it is created; the menus, dialogs and spin edits read it.
// It is false until then, and false on every platform without such styles.

namespace kestal {

bool ThemesActive();
void SetThemesActive(bool active);

// The operating-system test behind the flag: true only for version 5.1.
constexpr bool IsVersionWithVisualStyles(int major, int minor) { return major == 5 && minor == 1; }

}  // namespace kestal
