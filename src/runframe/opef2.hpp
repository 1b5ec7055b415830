#pragma once
// Opening a run file on a unit, asking the user for it.
#include <string_view>

#include "areas/workspace.hpp"
#include "runframe/text_helpers.hpp"

namespace zk {

// How opef2 gets its file (the mode 0, 7 or other of the console frames).
enum class OpenMode {
  Ask,     // asks (on the console, a path typed as one line; otherwise the
           // typed prompt with the current name as default) and, when the
           // file does not open, warns and asks again until one does
  Shown,   // shows the OPENING frame, opens `name`, stops when it does not open
  Silent,  // opens `name` without a frame and stops when it does not open
};

// Opens a file on `unit` with `status` ("old" or "unknown"), as `mode` says.
// On return `name` holds the base name of the file opened. A stop shows an
// error frame and the sad face and throws rt::RunStop (already shown).
void opef2(Workspace& ws, FieldRef name, std::string_view label, int unit, std::string_view status, OpenMode mode);

}  // namespace zk
