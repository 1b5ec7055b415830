#include "batch/result.hpp"

#include <cmath>
#include <fstream>

#include "runtime/format.hpp"

namespace zk::batch {

namespace {

// The fixed columns of a DATA record, as the engine reads them.
constexpr std::string_view kRecordLayout = "(T3,I3,T10,I2,T17,A1,T21,I2,T26,A1,T29,I3,T35,A1,T70,I3,T74,A3)";
constexpr int kTerminator = 400;  // a direction above this ends the data

std::string trimmed_title(const Workspace& ws) {
  std::string t = ws.modi2.TITRE.str();
  while (!t.empty() && (t.back() == ' ' || t.back() == '\0')) t.pop_back();
  return t;
}

}  // namespace

std::vector<FaultRecord> kept_records(const Workspace& ws, const std::string& data_path) {
  std::vector<FaultRecord> kept;
  std::ifstream in(data_path, std::ios::binary);
  if (!in) return kept;
  std::string line;
  if (!std::getline(in, line)) return kept;  // the title
  int line_no = 1;
  const int N = ws.tir.N;
  while (static_cast<int>(kept.size()) < N && std::getline(in, line)) {
    ++line_no;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    FaultRecord rec;
    rt::TextSource src(line, data_path);
    const rt::Target targets[] = {
        rt::target(rec.DIR),   rt::target(rec.PEND),       rt::target(&rec.QPEND, 1),
        rt::target(rec.PITCH), rt::target(&rec.QPITCH, 1), rt::target(rec.AZSTR),
        rt::target(&rec.SENS, 1), rt::target(rec.NUM),     rt::target(rec.LABEL, 3)};
    rt::read_formatted(rt::parse_format(kRecordLayout), src, targets);
    if (rec.DIR > kTerminator) break;
    if (ws.eeetc.ISEL != 1) {
      int IFLAG = 0;
      CONTRO(ws, rec.NUM, IFLAG);
      if (IFLAG == 1) continue;
    }
    kept.push_back(rec);
  }
  bool matches = static_cast<int>(kept.size()) == N;
  for (int i = 1; matches && i <= N; ++i) {
    matches = kept[static_cast<std::size_t>(i - 1)].NUM == ws.modi1.NUM(i);
  }
  if (!matches) kept.clear();
  return kept;
}

void listed_axes(const Mat<float, 3, 3>& ROT, float PI, Vec3& PEN, Vec3& DIRE) {
  for (int L = 1; L <= 3; ++L) {
    float x = ROT(L, 1);
    float y = ROT(L, 2);
    float z = ROT(L, 3);
    if (!(z < 0.0f)) {
      x = -x;
      y = -y;
      z = -z;
    }
    const float X = x / (1.0f - z);
    const float Y = y / (1.0f - z);
    const float rho2 = X * X + Y * Y;
    const float rho = std::sqrt(rho2);
    PEN(L) = 90.0f - 360.0f * std::atan(rho) / PI;
    float A = 0.0f;
    if (!(X == 0.0f && Y == 0.0f)) {
      A = 90.0f - 180.0f * std::atan2(Y, X) / PI;
      if (A < 0.0f) A = A + 360.0f;
    }
    DIRE(L) = A;
  }
}

float listed_ratio(const Vec3& VP) { return (VP(2) - VP(3)) / (VP(1) - VP(3)); }

BatchResult collect_result(const Workspace& ws, const RunRecord& rec, const std::vector<FaultRecord>& as_read) {
  BatchResult r;
  r.title = trimmed_title(ws);
  r.ISEL = ws.eeetc.ISEL;
  r.IECHO = ws.eeetc.IECHO;
  if (ws.eeetc.ISEL != 1) {
    for (int k = 1; k <= ws.eeet.NLIST && k <= kMaxList; ++k) r.selection.push_back(ws.eeet.LIST(k));
  }
  r.run = rec;
  if (rec.has_stage1) listed_axes(rec.stage1.ROT, ws.block.PI, r.run.stage1.PEN, r.run.stage1.DIRE);

  const int N = ws.tir.N;
  const bool have_records = static_cast<int>(as_read.size()) == N;
  for (int i = 1; i <= N; ++i) {
    Datum d;
    d.NUM = ws.modi1.NUM(i);
    if (have_records) d.as_read = as_read[static_cast<std::size_t>(i - 1)];
    for (int c = 1; c <= 3; ++c) {
      d.FN(c) = ws.tir.FN(i, c);
      d.STR(c) = ws.tir.STR(i, c);
      d.PENS(c) = rec.PENS(c, i);
      d.DIRES(c) = rec.DIRES(c, i);
    }
    d.misfit = rec.final_angle(i);
    d.rank = rec.final_rank(i);
    d.nearest = rec.nearest(i);
    r.data.push_back(d);
  }
  return r;
}

}  // namespace zk::batch
