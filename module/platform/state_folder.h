// The folder where the module keeps, per user, what must outlive a run: on Linux
// $XDG_STATE_HOME/varneth (else ~/.local/state/varneth), on Windows %LOCALAPPDATA%\Varneth.
#pragma once

#include <optional>
#include <string>

// The folder (UTF-8 on Windows), or its ASCII-named subfolder `sub`, made for the user
// only when missing; nothing when there is no home for it or a part of the path is not
// a real folder.
std::optional<std::string> StateFolder(const std::string& sub = {});

// Whether nothing is at the folder's path yet: nothing was ever kept there. False when
// there is no home for it, or something is there.
bool StateFolderMissing();
