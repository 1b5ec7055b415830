#pragma once
// Console prompts with a default: a RETURN (or an answer starting with a
// blank) takes the default. Answers are read from iostdin; the guiding lines
// appear when iomoreout is set.
#include <string_view>

#include "areas/workspace.hpp"
#include "runframe/text_helpers.hpp"

namespace zk {

// Asks for a text (an answer of at most 80 characters); status is set to 0.
// `value` and `def` may be the same field.
void inchardef(Workspace& ws, FieldRef value, std::string_view prompt, std::string_view def, int& status);

// Asks until iv is within ivmin..ivmax (the default is checked too); an answer
// that is not an integer is reported and asked again. status is set to 0.
void inintegvindef(Workspace& ws, int& iv, std::string_view prompt, int ivdef, int ivmin, int ivmax,
                   int& status);

// The range line " inside  [ivmin,ivmax]" (or with "outside [").
void write_range_line(Workspace& ws, std::string_view text9, int ivmin, int ivmax);

}  // namespace zk
