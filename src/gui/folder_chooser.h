#pragma once
// SelDir: the folder chooser: the platform's folder dialog with a title and a folder selected in
// advance.

#include <string>

namespace kestal {

// Shows the folder dialog over the active window and returns the chosen folder's full
// path, or an empty string on cancel. An initial folder that does not exist leaves the
// dialog at its default place.
std::string SelectFolder(const std::string& title, const std::string& initialFolder);

}  // namespace kestal
