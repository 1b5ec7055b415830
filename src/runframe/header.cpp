#include "runframe/header.hpp"

#include <string>
#include <string_view>

#include "runframe/pictures.hpp"
#include "runframe/platform.hpp"
#include "runframe/runinfo.hpp"
#include "runframe/text_helpers.hpp"

namespace zk {

namespace {

// Who wrote and keeps the program: fourteen lines, four sections.
constexpr std::string_view kCredits[14] = {
    "@    Authors:",
    "@      The Zarkel developers",
    "@      (their names are in the project history)",
    "@",
    "@    Adapted by:",
    "@      The Zarkel developers",
    "@",
    "@    Maintainer:",
    "@      The Zarkel developers",
    "@      (write through the project issues)",
    "@",
    "@    Hosted in:",
    "@      the Zarkel project repository",
    "@      see the project README",
};

constexpr float kSecondsShown = 120.0f;  // longer times are shown in minutes

// "(1x,a,1x,f11.3,1x,a)" with the time in seconds up to two minutes, in
// minutes beyond.
void write_duration(Workspace& ws, std::string_view label, float seconds) {
  if (seconds <= kSecondsShown) {
    ws.units.write(ws.iocom.iostdout, "(1x,a,1x,f11.3,1x,a)", label, seconds, "seconds");
  } else {
    const float minutes = seconds / 60.0f;
    ws.units.write(ws.iocom.iostdout, "(1x,a,1x,f11.3,1x,a)", label, minutes, "mn");
  }
}

}  // namespace

void zarkelhead2(Workspace& ws) {
  const runinfo3com_t& ri = ws.runinfo3com;
  const int out = ws.iocom.iostdout;
  const char* const f = "(5(1x,a))";
  ws.units.write(out, "(1x,50('@'))");
  ws.units.write(out, f, "@");
  ws.units.write(out, f, "@          MAIN PROGRAM:", trimmed(ri.riname[0].view()));
  ws.units.write(out, f, "@               Version:", trimmed(ri.riversion[0].view()));
  ws.units.write(out, f, "@                  Date:", ri.ridate[0].view());
  ws.units.write(out, f, "@");
  ws.units.write(out, "(1x,'@',49('-'))");
  ws.units.write(out, f, "@");
  ws.units.write(out, f, "@       Starting on", ri.ristartdate.view(), "at", ri.ristarttime.view());
  if (ri.ricode == 0 || ri.ricode == 1) {
    ws.units.write(out, f, "@      User:", trimmed(ri.riuser.view()));
    ws.units.write(out, f, "@      Host:", trimmed(ri.rihost.view()));
  }
  ws.units.write(out, f, "@    System:", trimmed(ri.risystem.view()));
  ws.units.write(out, f, "@       CPU:", trimmed(ri.ricpu.view()));
  ws.units.write(out, f, "@");
  ws.units.write(out, "(1x,'@',49('-'))");
  ws.units.write(out, f, "@");
  for (std::string_view line : kCredits) ws.units.write(out, f, line);
  ws.units.write(out, f, "@");
  ws.units.write(out, f, "@      Report of any problem is appreciated");
  ws.units.write(out, f, "@");
  ws.units.write(out, "(1x,'@',49('-'))");
  ws.units.write(out, f, "@             HIT RETURN TO CONTINUE");
  ws.units.write(out, "(1x,50('@'))");
  ws.units.read_record(ws.iocom.iostdin);  // the answer is not used
}

void write_elapsed_time(Workspace& ws, int32_t count, int32_t rate, int32_t max) {
  const int out = ws.iocom.iostdout;
  if (rate == 0) {
    ws.units.write(out, "(5(1x,a))", "@ Could not compute elapsed system clock time");
    return;
  }
  // A clock that has wrapped (or, for equal counts, gone round once) adds a
  // period; taken in 64 bits, as count + max overflows 32.
  int64_t counts = static_cast<int64_t>(count) - ws.runinfo3com.riclock0;
  if (count <= ws.runinfo3com.riclock0) counts += max;
  const float e = static_cast<float>(counts) / static_cast<float>(rate);
  write_duration(ws, "@ ELAPSED TIME =", e);
  const float per_minute = 60.0f * static_cast<float>(rate);
  const float period = static_cast<float>(max) / per_minute;
  ws.units.write(out, "(1x,a,1x,f11.3,1x,a)", "@       modulo  ", period, "mn");
}

void progtail2(Workspace& ws) {
  const runinfo3com_t& ri = ws.runinfo3com;
  const int out = ws.iocom.iostdout;
  Platform& pf = platform_of(ws);
  ws.units.write(out, "(1x,50('@'))");
  ws.units.write(out, "(5(1x,a))", "@ PROGRAM", trimmed(ri.riname[0].view()));
  ws.units.write(out, "(5(1x,a))", "@ Version:", trimmed(ri.riversion[0].view()));
  ws.units.write(out, "(5(1x,a))", "@ STARTED    ON:", ri.ristartdate.view(), "at", ri.ristarttime.view());
  Text<10> end_date;
  Text<8> end_time;
  date10_time8(ws, end_date, end_time);
  ws.units.write(out, "(5(1x,a))", "@ TERMINATED ON:", end_date.view(), "at", end_time.view());

  int32_t count = 0;
  int32_t rate = 0;
  int32_t max = 0;
  pf.system_clock(count, rate, max);
  write_elapsed_time(ws, count, rate, max);

  const float t = pf.processor_time() - ri.ricpu0;
  write_duration(ws, "@ CPU TIME     =", t);

  ws.units.write(out, "(1x,1('@'),49('-'))");
  closing_picture(ws, end_time(8));
  ws.units.write(out, "(1x,50('@'))");
}

}  // namespace zk
