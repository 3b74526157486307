#pragma once
// Registers the options dialog, the about window, the usage notes and the
// run-rights help with the window hub, so the menus of the search and
// download windows can open them.
namespace dh {

void RegisterShellWindows();

} // namespace dh
