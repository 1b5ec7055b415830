#include <string>

#include "runframe/frames.hpp"
#include "runframe/text_helpers.hpp"

namespace zk {

void initsio2(Workspace& ws, int icode) {
  iocom_t& io = ws.iocom;
  io.iostdin = 5;
  io.iostdout = 6;
  io.ioerrin = 5;
  io.ioerrout = 6;
  // iocmdin and iocmdindex are left as they are.
  io.ioplotopen = false;
  io.iocmdopen = false;
  io.iopause = true;
  io.iominout = true;
  io.iomoreout = true;
  io.iomaxout = false;
  submenuhead(ws, "initsio2   ", " 4.0", "2012-04-25");
  ws.units.write(io.iostdout, "(1x,a)", "INITIALIZING INPUT/OUTPUT");
  // The setup line stays without a closing line.
  if (icode == 0) writesio(ws, io.iostdout);
}

void writesio(Workspace& ws, int unit) {
  const iocom_t& io = ws.iocom;
  submenuhead(ws, "writesio   ", " 2.0", "2024-06-05");
  ws.units.write(unit, "(1x,a)", "INPUT/OUTPUT SET UP:");
  ws.units.write(unit, "(1x,a,1x,i2)", "standard  input unit        =", io.iostdin);
  ws.units.write(unit, "(1x,a,1x,i2)", "standard output unit        =", io.iostdout);
  ws.units.write(unit, "(1x,a,1x,i2)", "error     input unit        =", io.ioerrin);
  ws.units.write(unit, "(1x,a,1x,i2)", "error    output unit        =", io.ioerrout);
  ws.units.write(unit, "(1x,a,1x,l2)", "minimum output enabled      :", io.iominout);
  ws.units.write(unit, "(1x,a,1x,l2)", "more    output enabled      :", io.iomoreout);
  ws.units.write(unit, "(1x,a,1x,l2)", "maximum output enabled      :", io.iomaxout);
  ws.units.write(unit, "(1x,a,1x,l2)", "command file open status    :", io.iocmdopen);
  if (io.iocmdopen) {
    ws.units.write(unit, "(1x,a,1x,i2)", "command file input unit     =", io.iocmdin);
    ws.units.write(unit, "(1x,a,1x,i2)", "command file input index    =", io.iocmdindex);
  }
  ws.units.write(unit, "(1x,a,1x,l2)", "plot    file open status    :", io.ioplotopen);
  ws.units.write(unit, "(1x,a,1x,l2)", "pause after warning or error:", io.iopause);
  menutail(ws);
}

void submenuhead(Workspace& ws, std::string_view name, std::string_view version, std::string_view date) {
  const int out = ws.iocom.iostdout;
  // "@ subroutine " and the name as one 33-character field, the version
  // after a "v" (right-aligned in 5 columns, or its first 5 characters).
  Text<33> title;
  title = std::string("@ subroutine ") + std::string(name);
  std::string v = "v";
  v += trimmed(version);
  ws.units.write(out, "(1x,50('@'))");
  ws.units.write(out, "(1x,a33,1x,a5,1x,a10)", title.view(), v, date);
  ws.units.write(out, "(1x,1('@'),49('='))");
}

void menutail(Workspace& ws) { ws.units.write(ws.iocom.iostdout, "(1x,50('@'))"); }

void warninghead(Workspace& ws, std::string_view name, std::string_view, std::string_view) {
  const int out = ws.iocom.ioerrout;
  ws.units.write(out, "(1x,50('/'))");
  ws.units.write(out, "(1x,'///',10x,'subroutine ',a13,10x,'///')", name);
  ws.units.write(out, "(1x,'///',18x,a8,18x,'///')", "WARNING ");
  ws.units.write(out, "(1x,50('/'))");
}

void errorhead(Workspace& ws, std::string_view name, std::string_view, std::string_view) {
  const int out = ws.iocom.ioerrout;
  ws.units.write(out, "(1x,50('*'))");
  ws.units.write(out, "(1x,50('*'))");
  ws.units.write(out, "(1x,'***',19x,a6,19x,'***')", " ");
  ws.units.write(out, "(1x,'***',10x,'subroutine ',a13,10x,'***')", name);
  ws.units.write(out, "(1x,'***',19x,a6,19x,'***')", " ");
  ws.units.write(out, "(1x,'***',19x,a6,19x,'***')", "ERROR ");
  ws.units.write(out, "(1x,'***',19x,a6,19x,'***')", " ");
  ws.units.write(out, "(1x,50('*'))");
  ws.units.write(out, "(1x,50('*'))");
}

namespace {

// The wait that closes a warning or error frame. A console record always
// reads; the end of the console (EndOfInput) ends the run instead.
void closing_wait(Workspace& ws) {
  const iocom_t& io = ws.iocom;
  if (!io.iopause) return;
  ws.units.write(io.ioerrout, "(5(1x,a))",
                 io.iocmdopen ? "===> HIT RETURN TO RESUME COMMANDS" : "===> HIT RETURN TO CONTINUE");
  ws.units.read_record(io.ioerrin);
}

}  // namespace

void warningtail00(Workspace& ws) {
  closing_wait(ws);
  ws.units.write(ws.iocom.ioerrout, "(1x,50('/'))");
}

void errortail00(Workspace& ws) {
  closing_wait(ws);
  ws.units.write(ws.iocom.ioerrout, "(1x,50('*'))");
}

}  // namespace zk
