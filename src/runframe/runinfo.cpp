#include "runframe/runinfo.hpp"

#include <cstdint>
#include <stdexcept>
#include <string>

#include "runframe/frames.hpp"
#include "runframe/platform.hpp"
#include "runframe/prompts.hpp"

namespace zk {

namespace {

constexpr std::string_view kName = "swpinfo    ";
constexpr std::string_view kVersion = " 1.1";
constexpr std::string_view kDate = "2021-02-27";

std::string i4(int v) { return std::string(trimmed(internal_write("(i4)", v))); }

}  // namespace

Platform& platform_of(Workspace& ws) {
  if (ws.platform == nullptr) throw std::logic_error("no platform set in the workspace");
  return *ws.platform;
}

void smaininfo2(Workspace& ws, std::string_view name, std::string_view version, std::string_view date) {
  runinfo3com_t& ri = ws.runinfo3com;
  ri.riprogno = 1;
  ri.riname[0] = name;
  ri.riversion[0] = version;
  ri.ridate[0] = date;
  ri.rispare = 0;
  int code = 0;
  swpinfo(ws, code, 5);
  username(ws, ri.riuser);
  hostname(ws, ri.rihost);
  osversion(ws, ri.risystem);
  hardinfo(ws, ri.ricpu);
  date10_time8(ws, ri.ristartdate, ri.ristarttime);
  Platform& pf = platform_of(ws);
  ri.ricpu0 = pf.processor_time();
  int32_t count = 0;
  int32_t rate = 0;
  int32_t max = 0;
  pf.system_clock(count, rate, max);
  ri.riclock0 = count;
}

void swpinfo(Workspace& ws, int& code, int inter) {
  const iocom_t& io = ws.iocom;
  if (inter == 0 || inter == 1) {
    if (code < 0 || code > 3) {
      warninghead(ws, kName, kVersion, kDate);
      ws.units.write(io.iostdout, "(1x,a)", "RUN INFO CODE OUT OF RANGE:");
      ws.units.write(io.iostdout, "(1x,a,1x,i5)", " run info code =", code, " min =", 0, " max =", 3);
      code = 0;
      ws.units.write(io.iostdout, "(1x,a,1x,i5)", "==> RESET run info code =", code);
      warningtail00(ws);
    }
  } else if (inter == 2 || inter == 3) {
    code = ws.runinfo3com.ricode;
  } else if (inter == 4 || inter == 5) {
    code = 0;
    if (inter == 5) {
      submenuhead(ws, kName, kVersion, kDate);
      // Left open, as the setup line of initsio2.
      ws.units.write(io.iostdout, "(1x,a)", "INITIALISING RUN INFO");
    }
  }
  if (inter == 0 || inter == 2 || inter == 4) {
    constexpr std::string_view kDashes = "-------------------------------------------";  // 43
    submenuhead(ws, kName, kVersion, kDate);
    ws.units.write(io.iostdout, "(1x,a)", kDashes);
    ws.units.write(io.iostdout, "(1x,a)", "   RUN INFORMATION TO WRITE AND PLOT");
    ws.units.write(io.iostdout, "(1x,a)", kDashes);
    ws.units.write(io.iostdout, "(1x,a,1x,i5)", "run info code current value =", code);
    ws.units.write(io.iostdout, "(1x,a)", "date+user+host+os+hardw+main+subr+cmnd...0");
    ws.units.write(io.iostdout, "(1x,a)", "date+user+host+os+hardw+main+subr     ...1");
    ws.units.write(io.iostdout, "(1x,a)", "date          +os+hardw+main+subr+cmnd...2");
    ws.units.write(io.iostdout, "(1x,a)", "date          +os+hardw+main+subr     ...3");
    menutail(ws);
    const Text<35> prompt("run info code");
    int status = 0;
    const int def = code;
    inintegvindef(ws, code, prompt.view(), def, 0, 3, status);
  }
  if (inter >= 0 && inter <= 5) {
    ws.runinfo3com.ricode = code;
  } else {
    warninghead(ws, kName, kVersion, kDate);
    ws.units.write(io.iostdout, "(1x,a,1x,i5)", "inter =", inter);
    ws.units.write(io.iostdout, "(1x,a)", "===> NO ACTION");
    warningtail00(ws);
  }
}

void username(Workspace& ws, FieldRef text) { text.assign(platform_of(ws).login_name()); }

void hostname(Workspace& ws, FieldRef text) {
  std::string host;
  if (platform_of(ws).host_name(host)) {
    text.assign(host);
  } else {
    text.assign("Macintosh");
  }
}

void osversion(Workspace& ws, FieldRef text) {
  Platform& pf = platform_of(ws);
  if (!pf.is_mac_os()) {
    // The Mac OS selectors do not exist here, and "MacOS?" would name a
    // system the program is not running on: the kernel says what it is.
    std::string sysname;
    std::string release;
    if (pf.kernel(sysname, release)) {
      text.assign(sysname + release);
    } else {
      text.assign("OS?");
    }
    return;
  }
  int32_t major = 0;
  int32_t minor = 0;
  int32_t fix = 0;
  const bool has1 = pf.gestalt(gestalt_selector("sys1"), major);
  const bool has2 = pf.gestalt(gestalt_selector("sys2"), minor);
  const bool has3 = pf.gestalt(gestalt_selector("sys3"), fix);
  if (has1 && has2) {
    const std::string first = major == 10 ? std::string("X") : i4(major);
    // A fix level the system does not give is shown as "?".
    const std::string third = has3 ? i4(fix) : std::string("?");
    text.assign(Text<13>("MacOS" + first + "." + i4(minor) + "." + third).view());
    return;
  }
  int32_t sysv = 0;
  if (pf.gestalt(gestalt_selector("sysv"), sysv)) {
    text.assign("MacOS_" + std::string(trimmed(internal_write("(z4)", static_cast<int>(sysv)))));
  } else {
    text.assign("MacOS?");
  }
}

namespace {

// Processor names by their "cput" answer.
struct CpuName {
  int32_t cput;
  std::string_view name;
};
constexpr CpuName kCpuNames[] = {
    {0, "M68000"},        {2, "M68020"},        {3, "M68030"},   {4, "M68040"},
    {0x101, "PPC601"},    {0x103, "PPC603"},    {0x104, "PPC604"}, {0x106, "PPC603e"},
    {0x107, "PPC603ev"},  {0x108, "PPC750"},    {0x109, "PPC604e"}, {0x10a, "PPC604ev"},
    {0x10c, "PPC7400"},   {0x110, "PPC7450"},   {0x111, "PPC7455"}, {0x69353836, "Core-i2"},
    {static_cast<int32_t>(0x78ea4fbcU), "Core-i2"}, {0x5490b78c, "Core-i5"},
};

}  // namespace

void hardinfo(Workspace& ws, FieldRef text) {
  Platform& pf = platform_of(ws);
  Text<8> name("CPU?");
  int32_t answer = 0;
  if (pf.gestalt(gestalt_selector("sysa"), answer)) {
    if (answer == 1) {
      name = "68K";
    } else if (answer == 2) {
      name = "PPC";
    } else if (answer == 10) {
      name = "i86";
    }
  }
  if (pf.gestalt(gestalt_selector("cput"), answer)) {
    for (const CpuName& c : kCpuNames) {
      if (c.cput == answer) {
        name = c.name;
        break;
      }
    }
  }

  Text<6> speed("?MHz");
  if (pf.gestalt(gestalt_selector("mclk"), answer)) {  // MHz
    if (answer >= 1000) {
      const float ghz = static_cast<float>(answer) / 1000.0f;
      speed = std::string(trimmed(internal_write("(f4.1)", ghz))) + "GHz";
    } else {
      speed = i4(answer) + "MHz";
    }
  } else if (pf.gestalt(gestalt_selector("pclk"), answer)) {  // Hz
    if (answer >= 1000000000) {
      const float ghz = static_cast<float>(answer) / 1.0e9f;
      speed = std::string(trimmed(internal_write("(f4.1)", ghz))) + "GHz";
    } else {
      const float mhz = static_cast<float>(answer) / 1.0e6f;
      speed = i4(static_cast<int>(mhz)) + "MHz";
    }
  }
  const Text<30> desc(std::string(trimmed(name.view())) + "-" + std::string(trimmed(speed.view())));
  text.assign(desc.view());
}

void date10_time8(Workspace& ws, FieldRef date, FieldRef time) {
  std::string d;
  std::string t;
  platform_of(ws).local_date_time(d, t);
  const Text<8> d8(d);
  const Text<6> t6(t);
  const std::string_view dv = d8.view();
  const std::string_view tv = t6.view();
  date.assign(internal_write("(a4,2('-',a2))", dv.substr(0, 4), dv.substr(4, 2), dv.substr(6, 2)));
  time.assign(internal_write("(2(a2,':'),a2)", tv.substr(0, 2), tv.substr(2, 2), tv.substr(4, 2)));
}

}  // namespace zk
