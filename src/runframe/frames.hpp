#pragma once
// The console frame: the unit settings (iocom) and the three kinds of framed
// message. A menu frame names the routine with its version and date on
// iostdout; warning ("/") and error ("*") frames go to ioerrout and close
// with a wait for RETURN on ioerrin when iopause is set.
#include <string_view>

#include "areas/workspace.hpp"

namespace zk {

// Stores the default console settings and shows the setup line; lists the
// settings when icode is 0.
void initsio2(Workspace& ws, int icode);
// Lists the console settings on `unit`.
void writesio(Workspace& ws, int unit);

void submenuhead(Workspace& ws, std::string_view name, std::string_view version, std::string_view date);
void menutail(Workspace& ws);
// Version and date are part of the calling convention but not shown.
void warninghead(Workspace& ws, std::string_view name, std::string_view version, std::string_view date);
void warningtail00(Workspace& ws);
void errorhead(Workspace& ws, std::string_view name, std::string_view version, std::string_view date);
void errortail00(Workspace& ws);

}  // namespace zk
