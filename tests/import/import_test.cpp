// zarkel-import on real files: spreadsheets written from existing DATA files
// in every convention come back within 1 degree, the bundled example keeps
// its tensor, and bad spreadsheets are refused with nothing written.
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <numbers>

#include "batch/batch_files.hpp"
#include "data/field_faults.hpp"
#include "import/import.hpp"
#include "runtime/errors.hpp"
#include "runtime/result_file.hpp"

namespace zk::test {
namespace {

using field::V3;
constexpr double kRadPerDeg = std::numbers::pi / 180.0;

V3 v3(const Vec3& v) { return {double(v(1)), double(v(2)), double(v(3))}; }
double dot(const V3& a, const V3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
double azimuth(double x, double y) { return std::fmod(std::atan2(x, y) / kRadPerDeg + 360.0, 360.0); }
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
    const double dd = azimuth(-n[0], -n[1]), dip = std::acos(-n[2]) / kRadPerDeg;
    const V3 strike{std::sin((dd - 90) * kRadPerDeg), std::cos((dd - 90) * kRadPerDeg), 0.0};
    const V3 down{std::cos(dip * kRadPerDeg) * strike[1], -std::cos(dip * kRadPerDeg) * strike[0], -std::sin(dip * kRadPerDeg)};
    const double along = dot(s, strike);
    const bool steep = std::fabs(s[2]) > std::sin(15 * kRadPerDeg);
    const char* sense = steep ? (s[2] < 0 ? "normal" : "Reverse") : (along > 0 ? "s" : "right-lateral");
    const V3 l = s[2] > 0 ? V3{-s[0], -s[1], -s[2]} : s;  // downward
    const double end = dd + (dot(l, strike) >= 0 ? 270 : 90);  // the strike end the line goes down from
    csv << d.record.NUM << "," << num(dd) << "," << num(dip) << "," << num(std::fmod(dd + 270, 360)) << ","
        << letter_near(dd) << "," << num(std::atan2(-dot(s, down), along) / kRadPerDeg) << ","
        << num(azimuth(l[0], l[1])) << "," << num(std::asin(-l[2]) / kRadPerDeg) << ","
        << num(std::acos(std::min(1.0, std::fabs(dot(l, strike)))) / kRadPerDeg) << ","
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

// Unsigned rakes signed by joined sense words give the very DATA file of
// the signed rakes.
TEST_F(Import, UnsignedRakesSignedByTheSenseGiveTheSignedTable) {
  std::ostringstream sign, unsign;
  for (std::ostringstream* s : {&sign, &unsign}) *s << "dip_direction,dip,rake,sense\n";
  for (const auto& d : field::read_data_file(example("DATA")).data) {
    const field::Plane p = field::plane_of_normal(v3(d.FN));
    const double rake = field::rake_of(p, v3(d.STR));
    const std::string word = std::string(rake < 0 ? "normal" : "reverse") + (std::fabs(rake) < 90 ? "-sinistral" : "-dextral");
    sign << num(p.dip_direction) << "," << num(p.dip) << "," << num(rake) << "," << word << "\n";
    unsign << num(p.dip_direction) << "," << num(p.dip) << "," << num(std::fabs(rake)) << "," << word << "\n";
  }
  spit(at("s.csv"), sign.str());
  spit(at("u.csv"), unsign.str());
  ASSERT_EQ(run_import({at("s.csv").string(), at("S"), "--title", "t"}).status, 0);
  const Outcome u = run_import({at("u.csv").string(), at("U"), "--title", "t", "--striation", "unsigned-rake"});
  ASSERT_EQ(u.status, 0) << u.err;
  EXPECT_TRUE(slurp(at("S")) == slurp(at("U")));
  EXPECT_EQ(run_import({at("u.csv").string(), at("W")}).status, 1);  // read as signed: refused, not thrusts
}

// The library call checks its options itself, whoever calls it.
TEST_F(Import, LibraryCallChecksItsOptions) {
  spit(at("t.csv"), "dip_direction,dip,rake\n90,60,0\n");
  const auto with = [this](auto change) {
    import::Options o;
    o.csv = at("t.csv").string();
    change(o);
    return o;
  };
  const import::Options cases[] = {
      with([](import::Options& o) { o.warn_off_plane = std::nan(""); }),
      with([](import::Options& o) { o.max_off_plane = 95.0; }),
      with([](import::Options& o) { o.warn_off_plane = 30.0; }),
      with([](import::Options& o) { o.plane = "sideways"; }),
      with([](import::Options& o) { o.striation = "groove"; }),
  };
  for (const import::Options& o : cases) {
    std::string why;
    const auto data = rt::ResultFile::prepare(at("D").string(), "DATA file", {}, why);
    ASSERT_TRUE(data) << why;
    EXPECT_THROW(import::import_table(o, *data), rt::RunStop);
  }
  std::string why;
  const auto data = rt::ResultFile::prepare(at("D").string(), "DATA file", {}, why);
  EXPECT_EQ(import::import_table(with([](import::Options&) {}), *data).written, 1);
}

TEST_F(Import, BundledExampleKeepsItsTensor) {
  const Outcome r = run_import({example("field.csv"), at("DATA").string(), "--report", at("report.csv").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(slurp(at("report.csv")).find("row,datum,off_plane,projection,rounding,warnings\n2,1,"), std::string::npos);
  nlohmann::json fin[2];
  const std::string data[2] = {example("DATA"), at("DATA").string()};
  for (int k = 0; k < 2; ++k) {
    const Outcome b = batch({example("PARAMETERS"), data[k], at("L").string(), "--starts", "1", "--json", at("r.json").string(), "-q"});
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

TEST_F(Import, BadSpreadsheetsAreRefusedWithRowAndColumnAndNothingWritten) {
  std::string rows301 = "dip_direction,dip,rake\n";
  for (int k = 0; k < 301; ++k) rows301 += "10,20,30\n";
  struct Case {
    std::string csv;
    std::string want;
  };
  const std::string head = "id,label,dip_direction,dip,trend,plunge,sense\n";
  const Case cases[] = {
      {"dip_direction,dip,sense\n90,60,N\n", "row 1: no striation"},
      {"strike,dip,rake\n0,60,-90\n", "--plane strike-rhr"},
      {head + "1,A,90,60,90,60,N\n2,B,90,60,90,60,up\n", "row 3, column 7 (sense): \"up\" is not a sense"},
      {head + "1,A,90,60,90,60,\n", "row 2, column 7 (sense): no sense of slip"},
      {head + "1,A,90,95,90,60,N\n", "row 2, column 4 (dip): dip 95 is outside 0 to 90"},
      {head + "1,A,90,60,90,30,N\n", "row 2, column 6 (plunge): the striation lies 30.0 degrees off the plane"},
      {rows301, "row 302: the table holds 301 rows of data; at most 300"},
      {head + "1,A,90,60,90,60,N\n1,B,90,60,90,60,N\n", "row 3, column 1 (id): datum number 1 is already used by row 2"},
      {head + "1,ABCD,90,60,90,60,N\n", "row 2, column 2 (label): label \"ABCD\" is longer than 3"},
      {head + "1,\xC3\x89\xC3\x89,90,60,90,60,N\n", "label \"\xC3\x89\xC3\x89\": only plain ASCII characters"},
      {head + "1,A,9O,60,90,60,N\n", "row 2, column 3 (dip_direction): \"9O\" is not a number"},
      {"", "row 1: the file is empty"},
      {std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), "row 1, column 1: byte \\x89 is not text"},
      {head + "1,A,90,60,\"90,60,N\n", "row 2, column 5 (trend): a quote in the middle of a cell, or a quoted cell not closed"},
      // a rake and a sense that disagree: an unsigned rake read as signed, a pure dip-slip called dextral
      {"dip_direction,dip,rake,sense\n90,60,60,normal\n",
       "row 2, column 3 (rake): rake 60 contradicts sense \"normal\" (column 4): normal needs a downward"},
      {"dip_direction,dip,rake,sense\n90,60,-90,dextral\n", "rake -90 contradicts sense \"dextral\" (column 4)"},
      {"dip_direction,dip,rake,sense\n90,60,0,normal\n", "rake 0 contradicts sense \"normal\""},
      {"dip_direction,dip,rake,sense\n90,60,-90,normal-reverse\n", "column 4 (sense): \"normal-reverse\" is not a sense"},
      {head + "1,A,90,60,90,60,reverse-sinistral\n", "sense \"reverse-sinistral\" contradicts the striation"},
      {"x,y\n1,2\n", "named with --column ROLE=HEADER (e.g. --column dip_direction=Azimut) (the header row names \"x\""},
  };
  for (const Case& c : cases) {
    spit(at("bad.csv"), c.csv);
    spit(at("DATA"), "precious\n");
    const Outcome r = run_import({at("bad.csv").string(), at("DATA").string()});
    EXPECT_EQ(r.status, 1) << c.want;
    EXPECT_NE(r.err.find(c.want), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("zarkel-import: no DATA file was written"), std::string::npos) << r.err;
    EXPECT_EQ(slurp(at("DATA")), "precious\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 4) << "a temporary was left";
  }
}

TEST_F(Import, ConventionsOptionsAndWarnings) {
  struct Case {
    std::string csv;
    std::vector<std::string> options;
    int status;
    std::string want;  // in the DATA file or the messages
  };
  const Case cases[] = {
      // the same faults in the three plane forms give the same records
      {"dip_direction,dip,rake\n90,60,0\n", {}, 0, "    0    60     E    0   N        S"},
      {"Strike;Dip;Rake\n0;60;0\n", {"--plane", "strike-rhr"}, 0, "    0    60     E    0   N        S"},
      {"strike\tdip\tdip-quadrant\trake\n180\t60\te\t0\n", {}, 0, "    0    60     E    0   N        S"},
      // decimal comma with semicolons, a byte-order mark, CR LF, quoted cells
      {"\xEF\xBB\xBFPendage;Azimut;rake\r\n\"60,4\";89,6;-90\r\n", {"--column", "dip=pendage", "--column",
                                                                     "dip_direction=Azimut"}, 0,
       "    0    60     E   90   N        N"},
      {"dip_direction,dip,trend,plunge,sense\n90,60,125,40,thrust\n", {}, 0,
       "column 4 (plunge): the striation lies 12.8 degrees off the plane (more than --warn-off-plane 10.0)"},
      {"dip_direction,dip,trend,plunge,sense,rake\n90,60,5,10,N,0\n", {}, 1, "the striation is given twice"},
      {"dip_direction,dip,rake\n90,60,0\n", {"--warn-off-plane", "30"}, 2, "is above --max-off-plane"},
      // field-app headers: aliases, units, a mark left on a later header, Excel's sep= line
      {"sep=;\nDipDir (deg);Dip [°];Rake;Movement;\xEF\xBB\xBFLabel\n90;60;-90;normal;AB\n", {}, 0,
       "    0    60     E   90   N        N                                    1 AB"},
      {"no,dip_direction,dip,rake,notes\n1,90,60,0,x\n", {}, 0, "ignored columns: no, notes\n"},
      {"no,dip_direction,dip,rake,notes\n1,90,60,0,x\n", {}, 0,
       "warning: column \"no\" is not read; is it the datum number? (--column id=no)"},
      {"dip_direction,dip,rake,sense\n90,60,-90,Abschiebung\n", {"--sense-map", "Abschiebung=N"}, 0,
       "    0    60     E   90   N        N"},
      {"dip_direction,dip,rake,sense\n90,60,90,normal\n", {"--striation", "unsigned-rake"}, 0,
       "    0    60     E   90   N        N"},
      {"dip_direction,dip,rake,sense\n90,60,30,dextral\n", {"--striation", "unsigned-rake"}, 1,
       "column 4 (sense): sense \"dextral\" does not say whether the hanging wall went up or down"},
      {"id,dip_direction,dip,rake\n1,90,60,0\n2,90,60.05,0\n", {}, 0,
       "row 3: datum 2 repeats the measurement of datum 1 (row 2) to 0.1 degree"},
      {"dip_direction,dip,rake\n90,60,0\n", {}, 0, "row 2: only 1 datum: an inversion fits 4 parameters"},
  };
  for (const Case& c : cases) {
    spit(at("f.csv"), c.csv);
    std::vector<std::string> args = {at("f.csv").string(), at("DATA").string()};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const Outcome r = run_import(args);
    EXPECT_EQ(r.status, c.status) << c.csv << r.err;
    const std::string seen = slurp(at("DATA")) + r.err;
    EXPECT_NE(seen.find(c.want), std::string::npos) << c.csv << "\n" << seen;
    fs::remove(at("DATA"));
  }
}

}  // namespace
}  // namespace zk::test
