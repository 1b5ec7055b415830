// zarkel-import on real files: spreadsheets written from existing DATA files
// in every convention come back within 1 degree, the bundled example keeps
// its tensor, and bad spreadsheets are refused with nothing written.
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <numbers>

#include "batch/batch_files.hpp"
#include "data/field_faults.hpp"

namespace zk::test {
namespace {

using field::V3;
constexpr double kDeg = std::numbers::pi / 180.0;

V3 v3(const Vec3& v) { return {double(v(1)), double(v(2)), double(v(3))}; }
double dot(const V3& a, const V3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
double azimuth(double x, double y) { return std::fmod(std::atan2(x, y) / kDeg + 360.0, 360.0); }
std::string num(double v) {
  char b[32];
  std::snprintf(b, sizeof b, "%.2f", v);
  return b;
}
char letter_near(double az) { return "NESWN"[static_cast<int>(std::lround(az / 90.0))]; }

// A spreadsheet of the data of a DATA file in every convention at once,
// computed from the vectors the DATA reader gives; --plane and --striation
// choose one.
std::string spreadsheet(const std::vector<FaultDatum>& data) {
  std::ostringstream csv;
  csv << "id,dip_direction,dip,strike,dip_quadrant,rake,trend,plunge,pitch,pitch_quadrant,sense\n";
  for (const auto& d : data) {
    const V3 n = v3(d.FN), s = v3(d.STR);
    const double dd = azimuth(-n[0], -n[1]), dip = std::acos(-n[2]) / kDeg;
    const V3 strike{std::sin((dd - 90) * kDeg), std::cos((dd - 90) * kDeg), 0.0};
    const V3 down{std::cos(dip * kDeg) * strike[1], -std::cos(dip * kDeg) * strike[0], -std::sin(dip * kDeg)};
    const double along = dot(s, strike);
    const bool steep = std::fabs(s[2]) > std::sin(15 * kDeg);
    const char* sense = steep ? (s[2] < 0 ? "normal" : "Reverse") : (along > 0 ? "s" : "right-lateral");
    const V3 l = s[2] > 0 ? V3{-s[0], -s[1], -s[2]} : s;  // downward
    const double end = dd + (dot(l, strike) >= 0 ? 270 : 90);  // the strike end the line goes down from
    csv << d.record.NUM << "," << num(dd) << "," << num(dip) << "," << num(std::fmod(dd + 270, 360)) << ","
        << letter_near(dd) << "," << num(std::atan2(-dot(s, down), along) / kDeg) << ","
        << num(azimuth(l[0], l[1])) << "," << num(std::asin(-l[2]) / kDeg) << ","
        << num(std::acos(std::min(1.0, std::fabs(dot(l, strike)))) / kDeg) << ","
        << letter_near(std::fmod(end, 360)) << "," << sense << "\n";
  }
  return csv.str();
}

class Import : public ScratchTest {
 protected:
  Outcome run_import(std::vector<std::string> args) const {
    std::string cmd = shell_quoted(ZARKEL_IMPORT_BINARY);
    for (const auto& a : args) {
      cmd += ' ';
      cmd += shell_quoted(a);
    }
    return shell(cmd);
  }
};

TEST_F(Import, SpreadsheetsWrittenFromDataFilesComeBackWithinOneDegree) {
  double worst = 0.0;
  // edges.DATA: vertical planes, the azimuth form, horizontal striations
  for (const std::string& src : {example("DATA"), std::string(ZARKEL_SOURCE_DIR "/tests/import/edges.DATA")}) {
    const auto original = field::read_data_file(src).data;
    spit(at("f.csv"), spreadsheet(original));
    for (const char* plane : {"dip-direction", "strike-rhr", "strike-quadrant"}) {
      for (const char* slip : {"rake", "trend-plunge", "pitch"}) {
        const Outcome r = run_import({at("f.csv").string(), at("OUT").string(), "--plane", plane, "--striation", slip});
        ASSERT_EQ(r.status, 0) << plane << " / " << slip << "\n" << r.err;
        const auto back = field::read_data_file(at("OUT").string()).data;
        ASSERT_EQ(back.size(), original.size());
        for (std::size_t k = 0; k < back.size(); ++k) {
          const auto dev = field::deviation(v3(original[k].FN), v3(original[k].STR), back[k].FN, back[k].STR);
          EXPECT_LT(dev.worst(), 1.0) << src << " " << plane << " / " << slip << ", datum " << original[k].record.NUM;
          EXPECT_EQ(back[k].record.NUM, original[k].record.NUM);
          worst = std::max(worst, dev.worst());
        }
      }
    }
  }
  std::printf("round trip: worst angle %.3f degrees\n", worst);
}

TEST_F(Import, BundledExampleKeepsItsTensor) {
  const Outcome r = run_import({example("field.csv"), at("DATA").string(), "--report", at("report.csv").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(slurp(at("report.csv")).find("row,datum,off_plane,projection,rounding,warnings\n2,1,"), std::string::npos);
  nlohmann::json fin[2];
  const std::string data[2] = {example("DATA"), at("DATA").string()};
  for (int k = 0; k < 2; ++k) {
    const Outcome b = batch({example("PARAMETERS"), data[k], at("L").string(), "--json", at("r.json").string(), "-q"});
    ASSERT_EQ(b.status, 0) << b.err;
    fin[k] = nlohmann::json::parse(slurp(at("r.json")))["final"];
  }
  const auto axis = [&](int k, int L) {
    return field::line_of(fin[k]["axes"][L]["trend_deg"].get<double>(), fin[k]["axes"][L]["plunge_deg"].get<double>());
  };
  double worst_axis = 0.0;
  for (int L = 0; L < 3; ++L) {
    const double a = field::angle_deg(axis(0, L), axis(1, L));
    worst_axis = std::max(worst_axis, std::min(a, 180.0 - a));  // axes are lines
  }
  const double dr = std::fabs(fin[0]["R"].get<double>() - fin[1]["R"].get<double>());
  EXPECT_LT(worst_axis, 1.0);
  EXPECT_LT(dr, 0.02);
  std::printf("example: axes within %.3f degrees, R within %.4f\n", worst_axis, dr);
}

}  // namespace
}  // namespace zk::test
