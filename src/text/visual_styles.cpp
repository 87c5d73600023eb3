#include "text/visual_styles.h"

namespace kestal {
namespace {
bool g_themes_active = false;
}

bool ThemesActive() { return g_themes_active; }
void SetThemesActive(bool active) { g_themes_active = active; }

}  // namespace kestal
