#include "runframe/prompts.hpp"

#include <string>

#include "runframe/frames.hpp"

namespace zk {

namespace {

constexpr std::string_view kDots = "..........................................";  // 42

// A blank, a line feed or a carriage return first: the default is wanted.
bool takes_default(char first) { return first == ' ' || first == '\n' || first == '\r'; }

}  // namespace

void inchardef(Workspace& ws, FieldRef value, std::string_view prompt, std::string_view def, int& status) {
  const iocom_t& io = ws.iocom;
  status = 0;
  const std::string tprompt(trimmed(prompt));
  const std::string full_def(def);  // kept apart: `value` may be the default's field
  const std::string tdef(trimmed(def));
  if (io.iomoreout) ws.units.write(io.iostdout, "(5(1x,a))", kDots);
  ws.units.write(io.iostdout, "(5(1x,a))", "Enter", tprompt);
  if (io.iomoreout) {
    ws.units.write(io.iostdout, "(5(1x,a))", "or return for default value");
    ws.units.write(io.iostdout, "(5(1x,a))", "Default =", tdef);
  }
  // A console record always reads; the end of the console ends the run.
  Text<80> answer(ws.units.read_record(io.iostdin));
  const char first = answer(1);
  if (takes_default(first)) {
    ws.units.write(io.iostdout, "(1x,a,1x,i3,1x,a)", "ichar =", static_cast<int>(static_cast<unsigned char>(first)),
                   "=> use default value");
    value.assign(full_def);
  } else {
    value.assign(answer.view());
  }
  ws.units.write(io.iostdout, "(5(1x,a))", "New value =", value.view());
  if (io.iomoreout) ws.units.write(io.iostdout, "(5(1x,a))", kDots);
}

void write_range_line(Workspace& ws, std::string_view text9, int ivmin, int ivmax) {
  int w1 = 0;
  int w2 = 0;
  integlen(w1, ivmin);
  integlen(w2, ivmax);
  const std::string fmt =
      "(1x,a9,i" + std::to_string(w1) + ",',',i" + std::to_string(w2) + ",']')";
  ws.units.write(ws.iocom.iostdout, fmt, text9, ivmin, ivmax);
}

void inintegvindef(Workspace& ws, int& iv, std::string_view prompt, int ivdef, int ivmin, int ivmax,
                   int& status) {
  static constexpr std::string_view kName = "inintegvindef";
  static constexpr std::string_view kVersion = " 1.4";
  static constexpr std::string_view kDate = "2024-02-05";
  const iocom_t& io = ws.iocom;
  status = 0;
  const std::string tprompt(trimmed(prompt));
  for (;;) {
    if (io.iomoreout) ws.units.write(io.iostdout, "(5(1x,a))", kDots);
    ws.units.write(io.iostdout, "(5(1x,a))", "Enter", tprompt);
    write_range_line(ws, "inside  [", ivmin, ivmax);
    if (io.iomoreout) {
      ws.units.write(io.iostdout, "(5(1x,a))", "or return for default value");
      ws.units.write(io.iostdout, "(1x,a,1x,i12)", "Default =", ivdef);
    }
    const Text<20> answer(ws.units.read_record(io.iostdin));
    bool readable = true;
    if (takes_default(answer(1))) {
      iv = ivdef;
    } else {
      // A null value ("," or "/") leaves iv as it was, as a free-format read does.
      readable = read_list_integer(answer.view(), iv) != ListInt::Bad;
    }
    if (!readable) {
      errorhead(ws, kName, kVersion, kDate);
      ws.units.write(io.iostdout, "(5(1x,a))", "could not read", tprompt);
      ws.units.write(io.iostdout, "(5(1x,a))", "==> RETRYING");
      errortail00(ws);
      continue;
    }
    if (iv < ivmin || iv > ivmax) {
      errorhead(ws, kName, kVersion, kDate);
      ws.units.write(io.iostdout, "(1x,a,1x,i12)", tprompt + " =", iv);
      write_range_line(ws, "outside [", ivmin, ivmax);
      errortail00(ws);
      continue;
    }
    ws.units.write(io.iostdout, "(1x,a,1x,i12)", "New value = ", iv);
    if (io.iomoreout) ws.units.write(io.iostdout, "(5(1x,a))", kDots);
    return;
  }
}

}  // namespace zk
