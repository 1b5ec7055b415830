#include "runframe/opef2.hpp"

#include <string>

#include "runframe/frames.hpp"
#include "runframe/pictures.hpp"
#include "runframe/prompts.hpp"
#include "runtime/errors.hpp"

namespace zk {

namespace {

constexpr std::string_view kName = "opef2               ";
constexpr std::string_view kVersion = " 5.2";
constexpr std::string_view kDate = "2023-04-25";

// The answer of the console chooser: one line, its surrounding blanks (and
// a carriage return left by a DOS line end) removed.
std::string chosen_path(std::string line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
  std::size_t k = 0;
  while (k < line.size() && (line[k] == ' ' || line[k] == '\t')) ++k;
  return line.substr(k);
}

}  // namespace

void opef2(Workspace& ws, FieldRef name, std::string_view label, int unit, std::string_view status, OpenMode mode) {
  const iocom_t& io = ws.iocom;
  // The path field shown in the messages; `path` is the whole name used to
  // open, which a path longer than the field does not lose.
  Text<250> field(name.view());
  std::string path(trimmed(field.view()));
  const std::string tlabel(trimmed(label));
  Text<40> prompt_field(tlabel + " file name");
  const std::string prompt(trimmed(prompt_field.view()));
  const std::string tstatus(trimmed(status));

  for (;;) {
    if (mode != OpenMode::Silent) {
      submenuhead(ws, kName, kVersion, kDate);
      ws.units.write(io.iostdout, "(3(1x,a))", "OPENING", tlabel, "FILE");
      menutail(ws);
    }
    bool opened = false;
    std::string why;  // the reason of a refusal
    if (mode == OpenMode::Ask && io.iostdin == 5) {
      // The console's chooser: the path is typed as one line. An empty answer
      // chooses nothing, and the field keeps the previous name.
      ws.units.write(io.iostdout, "(3(1x,a))", "Choose", prompt);
      const std::string answer = chosen_path(ws.units.read_record(unit::kConsoleIn));
      if (answer.empty()) why = "no file name given";
      if (!answer.empty()) {
        path = answer;
        field = path;
        opened = ws.units.open(unit, path, tstatus, &why);
        if (opened) {
          path = ws.units.path(unit);
          field = path;
        }
      }
    } else {
      if (mode == OpenMode::Ask) {
        int st = 0;
        inchardef(ws, field, prompt, field.view(), st);
      }
      path = std::string(trimmed(field.view()));
      opened = !path.empty() && path != " " && ws.units.open(unit, path, tstatus, &why);
    }

    if (opened) {
      int n = 0;
      path2basename(n, name, path);
      return;
    }

    if (mode != OpenMode::Ask) {
      errorhead(ws, kName, kVersion, kDate);
    } else {
      warninghead(ws, kName, kVersion, kDate);
    }
    ws.units.write(io.iostdout, "(3(1x,a))", "COULD NOT OPEN", tlabel, "FILE");
    ws.units.write(io.iostdout, "(3(1x,a))", "File name =", field.view());
    ws.units.write(io.iostdout, "(1x,a,1x,i4)", "for unit =", unit);
    if (!why.empty()) ws.units.write(io.iostdout, "(1x,a,1x,a)", "Reason:", why);
    if (mode != OpenMode::Ask) {
      ws.units.write(io.iostdout, "(3(1x,a))", "===> STOPPING EXECUTION");
      errortail00(ws);
      sorryface(ws);
      throw rt::RunStop("could not open the " + tlabel + " file " + path + (why.empty() ? "" : " (" + why + ")"), 1,
                        true);
    }
    ws.units.write(io.iostdout, "(3(1x,a))", "===> RETRYING");
    warningtail00(ws);
  }
}

}  // namespace zk
