#pragma once
// The run information kept in runinfo3com: the program's identity, the run
// information code, and the descriptions of user, host, system and processor
// built from the platform's answers (ws.platform).
#include <string_view>

#include "areas/workspace.hpp"
#include "runframe/text_helpers.hpp"

namespace zk {

// Records the run information at start-up (name 11, version 4, date 10
// characters, cut or padded).
void smaininfo2(Workspace& ws, std::string_view name, std::string_view version, std::string_view date);

// The run information code (0 to 3). inter 0/1 set `code` (out of range:
// warning and 0), 2/3 get it, 4/5 reset it to 0 (5 announced); the even ones
// then show the menu and ask. 0..5 store the code; any other inter is
// reported ("===> NO ACTION") and changes nothing.
void swpinfo(Workspace& ws, int& code, int inter);

void username(Workspace& ws, FieldRef text);
// The host name, "Macintosh" when the platform reports a failure.
void hostname(Workspace& ws, FieldRef text);
// "MacOSX.6.8", "MacOS_1060", "MacOS?" on Mac OS; elsewhere the kernel's
// name and release, e.g. "Linux6.1.0-28" (cut to the field).
void osversion(Workspace& ws, FieldRef text);
// Processor name and speed, e.g. "PPC750-400MHz", "i86-2.4GHz".
void hardinfo(Workspace& ws, FieldRef text);
// Current local date "ccyy-mm-dd" and time "hh:mm:ss".
void date10_time8(Workspace& ws, FieldRef date, FieldRef time);

// The platform of the run (ws.platform, set by the driver or a test); a
// workspace without one is a programming error (std::logic_error).
Platform& platform_of(Workspace& ws);

}  // namespace zk
