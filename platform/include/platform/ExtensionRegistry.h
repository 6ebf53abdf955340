// The registry of enabled Finder extensions on Linux: the folders of the extension bundles
// (…/LemvoraMenu.appex) the user has enabled, one absolute path a line, in
// $XDG_STATE_HOME/lemvora-finder/extensions (by default ~/.local/state/…, with the home from the
// user database). The finder host edits it; the host application reads it for its status line.
#pragma once

#include <filesystem>
#include <vector>

namespace platform::registry {

std::filesystem::path file();
std::vector<std::filesystem::path> enabledExtensions();
bool isEnabled(const std::filesystem::path& appex);
// Both throw std::filesystem::filesystem_error when the registry cannot be written.
void enable(const std::filesystem::path& appex);
void disable(const std::filesystem::path& appex);

} // namespace platform::registry
