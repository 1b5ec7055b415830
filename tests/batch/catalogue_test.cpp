// Catalogues of focal mechanisms as seismologists have them, through the real
// zarkel-batch: more events than a DATA file holds, planes with decimals
// (the misfits are those of the planes as given, checked against formulas
// written here), the peer programs' whitespace file, and every refusal naming
// only options the program has.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <random>
#include <regex>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "batch_files.hpp"

namespace zk::test {
namespace {

using nlohmann::json;
using V = std::array<double, 3>;
constexpr double kDeg = std::numbers::pi / 180.0;

double dot(const V& a, const V& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
V unit(const V& a) {
  const double n = std::sqrt(dot(a, a));
  return {a[0] / n, a[1] / n, a[2] / n};
}

// Aki & Richards in x east, y north, z up: the downward normal and the
// hanging wall's slip of strike, dip, rake (degrees).
struct Plane {
  V normal, slip;
};
Plane plane_of(double strike, double dip, double rake) {
  const double f = strike * kDeg, d = dip * kDeg, l = rake * kDeg;
  const V along{std::sin(f), std::cos(f), 0.0};
  const V up_dip{-std::cos(d) * std::cos(f), std::cos(d) * std::sin(f), std::sin(d)};
  return {{-std::sin(d) * std::cos(f), std::sin(d) * std::sin(f), -std::cos(d)},
          {std::cos(l) * along[0] + std::sin(l) * up_dip[0], std::cos(l) * along[1] + std::sin(l) * up_dip[1],
           std::sin(l) * up_dip[2]}};
}
// The inverse: strike, dip, rake of a downward normal and a slip in its plane.
std::array<double, 3> sdr_of(const V& n, const V& s) {
  const double dip = std::acos(-n[2]) / kDeg;
  double strike = std::atan2(n[1], -n[0]) / kDeg;
  if (strike < 0.0) strike += 360.0;
  const double f = strike * kDeg, d = dip * kDeg;
  const V along{std::sin(f), std::cos(f), 0.0};
  const V up_dip{-std::cos(d) * std::cos(f), std::cos(d) * std::sin(f), std::sin(d)};
  return {strike, dip, std::atan2(dot(s, up_dip), dot(s, along)) / kDeg};
}

// The answer of a result document: T = sum sigma_L a_L a_L^T with sigma 1,
// 2, 3 = 1, R, 0.
struct Answer {
  std::array<std::array<double, 3>, 3> T{};
  V shear_on(const V& n) const {
    V t{};
    for (int i = 0; i < 3; ++i) t[i] = T[i][0] * n[0] + T[i][1] * n[1] + T[i][2] * n[2];
    const double sn = dot(t, n);
    return {t[0] - sn * n[0], t[1] - sn * n[1], t[2] - sn * n[2]};
  }
  double misfit_deg(const Plane& p) const {
    const V tau = shear_on(p.normal);
    return std::acos(std::clamp(dot(unit(tau), p.slip), -1.0, 1.0)) / kDeg;
  }
};
Answer answer_of(const json& doc) {
  Answer a;
  const double R = doc["final"]["R"];
  for (const json& axis : doc["final"]["axes"]) {
    const double tr = axis["trend_deg"].get<double>() * kDeg, pl = axis["plunge_deg"].get<double>() * kDeg;
    const V v{std::cos(pl) * std::sin(tr), std::cos(pl) * std::cos(tr), -std::sin(pl)};
    const int L = axis["sigma"];
    const double value = L == 1 ? 1.0 : L == 2 ? R : 0.0;
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) a.T[i][j] += value * v[i] * v[j];
  }
  return a;
}

struct Event {
  long id;
  double strike, dip, rake;
  int fault;  // 0, or the plane known to have slipped
};

constexpr std::array<std::array<double, 3>, 3> kThrust = {{{1.0, 0.0, 0.0}, {0.0, 0.5, 0.0}, {0.0, 0.0, 0.0}}};
constexpr std::array<std::array<double, 3>, 3> kNormal = {{{0.0, 0.0, 0.0}, {0.0, 0.5, 0.0}, {0.0, 0.0, 1.0}}};

// A catalogue under `stress` (by default sigma 1 east, sigma 3 up, R 0.5):
// random faults slipping along their shear stress within `noise` degrees,
// then a few known faults normal to sigma 1, which carry no shear under it.
std::vector<Event> catalogue(int n, double noise, unsigned seed,
                             const std::array<std::array<double, 3>, 3>& stress = kThrust) {
  std::mt19937_64 gen(seed);
  std::normal_distribution<double> g(0.0, 1.0);
  Answer truth;
  truth.T = stress;
  std::vector<Event> out;
  for (int k = 0; k < n; ++k) {
    V nrm = unit({g(gen), g(gen), -std::fabs(g(gen))});
    const V tau = unit(truth.shear_on(nrm));
    const V side{nrm[1] * tau[2] - nrm[2] * tau[1], nrm[2] * tau[0] - nrm[0] * tau[2], nrm[0] * tau[1] - nrm[1] * tau[0]};
    const double turn = noise * kDeg * g(gen);
    const V slip{std::cos(turn) * tau[0] + std::sin(turn) * side[0], std::cos(turn) * tau[1] + std::sin(turn) * side[1],
                 std::cos(turn) * tau[2] + std::sin(turn) * side[2]};
    const auto sdr = sdr_of(nrm, slip);
    out.push_back({1001 + k, sdr[0], sdr[1], sdr[2], 0});
  }
  for (int k = 0; k < 4; ++k) out.push_back({5001 + k, 0.0, 90.0, 10.0 + 30.0 * k, 1});
  return out;
}

std::string csv_of(const std::vector<Event>& events) {
  std::string s = "id,strike,dip,rake,fault\n";
  char buf[160];
  for (const Event& e : events) {
    std::snprintf(buf, sizeof buf, "%ld,%.4f,%.4f,%.4f,%s\n", e.id, e.strike, e.dip, e.rake,
                  e.fault == 0 ? "" : std::to_string(e.fault).c_str());
    s += buf;
  }
  return s;
}

class Catalogue : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    spit(at("P"), "1 0\n1 100 500 7 0\n");
  }
  Outcome mechanisms(const std::string& table, std::vector<std::string> options) {
    std::vector<std::string> args = {at("P").string(), table, at("L").string(), "--mechanisms", "--quiet"};
    args.insert(args.end(), options.begin(), options.end());
    return batch(args);
  }
};

TEST_F(Catalogue, MoreEventsThanADataFileOnThePlanesAsGiven) {
  const std::vector<Event> events = catalogue(450, 5.0, 11);
  spit(at("c.csv"), csv_of(events));
  const Outcome o = mechanisms(at("c.csv").string(), {"--json", at("j").string(), "--jobs", "2"});
  ASSERT_EQ(o.status, 0) << o.err;
  expect_valid_results({at("j")});
  const json doc = json::parse(slurp(at("j")));
  const std::string text = slurp(at("j"));
  EXPECT_TRUE(nlohmann::ordered_json::parse(text).dump(2) + "\n" == text) << "the pieces do not make the document";
  const json& m = doc["mechanisms"];
  ASSERT_EQ(m["events"].size(), events.size());
  // The listed data: the events of the answer, those of gross misfit left out.
  ASSERT_EQ(doc["data"].size(), events.size() - m["gross_misfits"].get<std::size_t>());
  const Answer answer = answer_of(doc);
  int low = 0;
  for (std::size_t k = 0, datum = 0; k < events.size(); ++k) {
    const json& e = m["events"][k];
    const bool listed = !e["gross_misfit"].get<bool>();
    EXPECT_EQ(e["number"], events[k].id);
    const json& aux = e["planes"][1];
    const Plane planes[2] = {plane_of(events[k].strike, events[k].dip, events[k].rake),
                             plane_of(aux["strike_deg"], aux["dip_deg"], aux["rake_deg"])};
    for (int p = 0; p < 2; ++p) {
      EXPECT_NEAR(e["planes"][p]["misfit_deg"].get<double>(), answer.misfit_deg(planes[p]), 0.01) << k << " plane " << p + 1;
    }
    // The engine's misfit (single precision): to 0.01 degree where an
    // arccosine in floats is that precise.
    const Plane& chosen = planes[e["chosen"].get<int>() - 1];
    const double want = answer.misfit_deg(chosen);
    if (listed && want > 1.0) {
      EXPECT_NEAR(doc["data"][datum]["misfit_deg"].get<double>(), want, 0.01) << k;
    }
    datum += listed ? 1 : 0;
    const double share = std::sqrt(dot(answer.shear_on(chosen.normal), answer.shear_on(chosen.normal))) / 0.5;
    if (std::fabs(share - 0.02) > 1e-4) {
      EXPECT_EQ(e["low_shear"], share < 0.02) << k << " shear " << share;
    }
    low += e["low_shear"].get<bool>() ? 1 : 0;
  }
  EXPECT_GE(low, 1);
  EXPECT_EQ(m["low_shear"], low);
  EXPECT_NE(o.err.find("warning: " + std::to_string(low) + " of 454 events"), std::string::npos) << o.err;
  EXPECT_NE(o.err.find("(low_shear)"), std::string::npos) << o.err;
  // The listing keeps its layout: the ids past 999 print as the I3 field does.
  EXPECT_NE(slurp(at("L")).find("***"), std::string::npos);

  // A DATA file of the chosen planes cannot hold them: refused, nothing written.
  fs::remove(at("L"));
  const Outcome data = mechanisms(at("c.csv").string(), {"--chosen-data", at("D").string()});
  EXPECT_EQ(data.status, 1);
  EXPECT_NE(data.err.find("--chosen-data: the table holds 454 events with ids up to 5004"), std::string::npos)
      << data.err;
  EXPECT_FALSE(fs::exists(at("L")));
  EXPECT_FALSE(fs::exists(at("D")));
}

TEST_F(Catalogue, ThePeersWhitespaceFileReadsAsTheCsv) {
  std::vector<Event> events = catalogue(60, 10.0, 5);
  events.resize(60);
  // The same decimals in both files: four after the point, written in
  // e-notation (seven digits) and as plain decimals.
  std::string plain = "% strike dip rake of the first nodal plane\n%\n", headed = "# the same, with a header\n";
  headed += "strike dip rake\n";
  std::string csv = "strike,dip,rake\n";
  char buf[160];
  for (std::size_t k = 0; k < events.size(); ++k) {
    Event& e = events[k];
    for (double* v : {&e.strike, &e.dip, &e.rake}) *v = std::round(*v * 1e4) / 1e4;
    std::snprintf(buf, sizeof buf, "%.6e   %.6e\t%.6e\n", e.strike, e.dip, e.rake);
    plain += buf;
    headed += buf;
    if (k == 30) plain += "  % a comment inside the table\n";
    std::snprintf(buf, sizeof buf, "%.4f,%.4f,%.4f\n", e.strike, e.dip, e.rake);
    csv += buf;
  }
  spit(at("peer.dat"), plain);
  spit(at("headed.dat"), headed);
  spit(at("c.csv"), csv);
  const struct {
    const char* file;
    std::vector<std::string> options;
  } shapes[] = {
      {"c.csv", {}},
      {"peer.dat", {"--delimiter", "whitespace", "--columns", "strike,dip,rake"}},
      {"headed.dat", {"--delimiter", "whitespace"}},
  };
  std::vector<std::string> planes;
  for (const auto& s : shapes) {
    std::vector<std::string> options = s.options;
    options.insert(options.end(), {"--chosen-planes", at(std::string(s.file) + ".planes").string()});
    const Outcome o = mechanisms(at(s.file).string(), options);
    ASSERT_EQ(o.status, 0) << s.file << o.err;
    planes.push_back(slurp(at(std::string(s.file) + ".planes")));
  }
  EXPECT_TRUE(planes[1] == planes[0]) << "the whitespace file without a header reads otherwise";
  EXPECT_TRUE(planes[2] == planes[0]) << "the whitespace file with a header reads otherwise";
  EXPECT_EQ(lines_of(planes[0]).size(), 61u);
}

TEST_F(Catalogue, ChosenPlanesReadBackAsGiven) {
  spit(at("c.csv"), csv_of(catalogue(80, 10.0, 3)));
  ASSERT_EQ(mechanisms(at("c.csv").string(), {"--chosen-planes", at("cp.csv").string(), "--json", at("j1").string()}).status, 0);
  const auto first = lines_of(slurp(at("cp.csv")));
  ASSERT_EQ(first[0], "id,strike,dip,rake,chosen,basis,misfit_deg,instability,undecided,low_shear,P_trend,P_plunge,"
                      "T_trend,T_plunge");
  const Outcome again = mechanisms(at("cp.csv").string(),
                                   {"--plane-choice", "given", "--chosen-planes", at("cp2.csv").string(), "--json", at("j2").string()});
  ASSERT_EQ(again.status, 0) << again.err;
  const auto second = lines_of(slurp(at("cp2.csv")));
  ASSERT_EQ(second.size(), first.size());
  for (std::size_t k = 1; k < first.size(); ++k) {
    // Same plane (the chosen one is now plane 1), same misfit, same axes.
    std::vector<std::string> a, b;
    std::stringstream sa(first[k]), sb(second[k]);
    for (std::string c; std::getline(sa, c, ',');) a.push_back(c);
    for (std::string c; std::getline(sb, c, ',');) b.push_back(c);
    for (std::size_t c : {0u, 1u, 2u, 3u, 6u, 10u, 11u, 12u, 13u}) {
      EXPECT_NEAR(std::stod(a[c]), std::stod(b[c]), c == 6 ? 0.01 : 1e-5) << k << " column " << c;
    }
    EXPECT_EQ(b[4], "1");
    EXPECT_EQ(b[5], "given");
  }
  const json j1 = json::parse(slurp(at("j1"))), j2 = json::parse(slurp(at("j2")));
  for (int L = 0; L < 3; ++L) {
    EXPECT_NEAR(j1["final"]["axes"][L]["trend_deg"].get<double>(), j2["final"]["axes"][L]["trend_deg"].get<double>(), 0.01);
    EXPECT_NEAR(j1["final"]["axes"][L]["plunge_deg"].get<double>(), j2["final"]["axes"][L]["plunge_deg"].get<double>(), 0.01);
  }
  // Refused where every other result is: on an input, or on another result.
  for (const std::string& taken : {at("cp.csv").string(), at("P").string(), at("L").string()}) {
    const Outcome o = mechanisms(at("cp.csv").string(), {"--chosen-planes", taken});
    EXPECT_EQ(o.status, 2) << taken << o.err;
    EXPECT_NE(o.err.find("--chosen-planes"), std::string::npos) << o.err;
  }
}

// Two populations of events, 60 % under a thrust regime and 40 % under a
// normal one: the answer of the 60 % best and the linear inversion of all
// lie far apart, which a warning says, naming POURC.
TEST_F(Catalogue, AnswerFarFromTheLinearInversionIsSaid) {
  std::vector<Event> events = catalogue(60, 5.0, 3), other = catalogue(40, 5.0, 4, kNormal);
  events.resize(60);
  other.resize(40);
  for (Event& e : other) e.id += 100;
  events.insert(events.end(), other.begin(), other.end());
  spit(at("two.csv"), csv_of(events));
  spit(at("P60"), "1 0\n1 60 500 7 0\n");
  const Outcome o = batch({at("P60").string(), at("two.csv").string(), at("L").string(), "--mechanisms", "--json",
                           at("j").string()});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_NE(o.err.find("warning: the linear inversion differs from the answer by"), std::string::npos) << o.err;
  EXPECT_NE(o.err.find("(POURC 60)"), std::string::npos) << o.err;
  const json doc = json::parse(slurp(at("j")));
  EXPECT_GT(doc["linear"]["stress_difference_deg"].get<double>(), 20.0);
  // The 40 events of the other stress misfit grossly: too many to be
  // outliers, so the answer keeps them and gives the one without them beside.
  EXPECT_TRUE(doc["mechanisms"]["with_gross_misfits"].is_null());
  EXPECT_EQ(doc["mechanisms"]["without_gross_misfits"]["events"].size(), 40u);
  EXPECT_NE(o.err.find("they are no outliers and the answer keeps them"), std::string::npos) << o.err;
  EXPECT_EQ(batch({at("P60").string(), at("two.csv").string(), at("M").string(), "--mechanisms", "--strict"}).status, 1);
  EXPECT_FALSE(fs::exists(at("M")));
  // The shipped example, at POURC 100: no such warning.
  const Outcome shipped = batch({example("mechanisms.PARAMETERS"), example("mechanisms.csv"), at("E").string(), "--mechanisms"});
  ASSERT_EQ(shipped.status, 0) << shipped.err;
  EXPECT_EQ(shipped.err.find("the linear inversion differs"), std::string::npos) << shipped.err;
}

// Events that fit neither plane (slip turned by 100 degrees) among a clean
// catalogue: named, flagged, left out of the answer (inverted again without
// them), and the answer with them given beside; the answer lies closer to
// the truth than the one with them.
TEST_F(Catalogue, GrossMisfitsNamedAndLeftOutOfTheAnswer) {
  std::vector<Event> events = catalogue(80, 5.0, 21);
  events.resize(80);
  for (std::size_t k : {5u, 17u, 40u}) events[k].rake = std::fmod(events[k].rake + 280.0, 360.0) - 180.0;
  spit(at("g.csv"), csv_of(events));
  const Outcome o = mechanisms(at("g.csv").string(), {"--json", at("j").string(), "--bootstrap", "10"});
  ASSERT_EQ(o.status, 0) << o.err;
  expect_valid_results({at("j")});
  const json doc = json::parse(slurp(at("j")));
  const json& m = doc["mechanisms"];
  const json& with = m["with_gross_misfits"];
  ASSERT_TRUE(with.is_object()) << m;
  // Flagged: both planes misfit by more than 45 degrees under the answer
  // with every event, computed here from its axes and R.
  json with_doc;
  with_doc["final"] = {{"axes", with["axes"]}, {"R", with["R"]}};
  const Answer all = answer_of(with_doc), answer = answer_of(doc);
  std::vector<long> flagged;
  for (std::size_t k = 0; k < events.size(); ++k) {
    const json& e = m["events"][k];
    const Plane p1 = plane_of(events[k].strike, events[k].dip, events[k].rake);
    const Plane p2{p1.slip[2] > 0 ? V{-p1.slip[0], -p1.slip[1], -p1.slip[2]} : p1.slip,
                   p1.slip[2] > 0 ? V{-p1.normal[0], -p1.normal[1], -p1.normal[2]} : p1.normal};
    const bool gross = all.misfit_deg(p1) > 45.0 && all.misfit_deg(p2) > 45.0;
    EXPECT_EQ(e["gross_misfit"], gross) << k;
    if (gross) flagged.push_back(e["number"].get<long>());
    // The misfits given are those under the answer.
    EXPECT_NEAR(e["planes"][0]["misfit_deg"].get<double>(), answer.misfit_deg(p1), 0.01) << k;
  }
  ASSERT_EQ(flagged, (std::vector<long>{1006, 1018, 1041}));
  EXPECT_EQ(m["gross_misfits"], flagged.size());
  EXPECT_EQ(with["events"].get<std::vector<long>>(), flagged);
  const json& without = m["without_gross_misfits"];
  EXPECT_EQ(without["events"].get<std::vector<long>>(), flagged);
  EXPECT_EQ(without["stress_difference_deg"], 0.0) << "the answer is the one without them";
  EXPECT_EQ(without["R"], doc["final"]["R"]);
  // The listed run inverted the other events only.
  EXPECT_EQ(doc["N"], 77);
  // Nearer the truth (sigma 1 east, sigma 3 up, R 0.5) than with them.
  Answer truth;
  truth.T = kThrust;
  const auto off = [&](const Answer& a) {
    double d = 0.0;
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) d += (a.T[i][j] - truth.T[i][j]) * (a.T[i][j] - truth.T[i][j]);
    return d;
  };
  EXPECT_LT(off(answer), off(all));
  // The cones are those of the answer: the bootstrap of the run.
  for (int L = 0; L < 3; ++L) {
    EXPECT_EQ(without["bootstrap"]["axes"][L]["cone_deg"], doc["bootstrap"]["axes"][L]["cone_deg"]) << L;
  }
  EXPECT_EQ(without["bootstrap"]["R"], doc["bootstrap"]["R"]);
  EXPECT_NE(o.err.find("on both planes under the answer with every event (gross_misfit): " + std::to_string(flagged[0])),
            std::string::npos)
      << o.err;
  EXPECT_NE(o.err.find("they are left out of the answer: without them the answer moves"), std::string::npos) << o.err;
  // A clean catalogue has none, and no answer beside.
  spit(at("c.csv"), csv_of(std::vector<Event>(events.begin() + 41, events.end())));
  ASSERT_EQ(mechanisms(at("c.csv").string(), {"--json", at("k").string()}).status, 0);
  const json clean = json::parse(slurp(at("k")))["mechanisms"];
  EXPECT_TRUE(clean["without_gross_misfits"].is_null());
  EXPECT_TRUE(clean["with_gross_misfits"].is_null());
}

// Each refusal of a table or of a table option names only options that the
// program refusing it has (its --help lists them).
TEST_F(Catalogue, RefusalsNameOnlyOptionsTheProgramHas) {
  spit(at("ws.dat"), "% comment\nstrike dip rake\n10 50 30\n");
  spit(at("plain.dat"), "% comment\n10 50 30\n20 60 40\n");
  spit(at("bare.csv"), "10,50,30\n20,60,40\n");
  spit(at("nan.csv"), "strike,dip,rake\nnan,50,30\n");
  spit(at("inf.csv"), "strike,dip,rake\n10,inf,30\n");
  spit(at("hex.csv"), "strike,dip,rake\n0x10,50,30\n");
  spit(at("exp.csv"), "strike,dip,rake\n1e,50,30\n");
  const std::string batch_bin = shell_quoted(ZARKEL_BATCH_BINARY), import_bin = shell_quoted(ZARKEL_IMPORT_BINARY);
  const std::string P = shell_quoted(at("P").string()), L = shell_quoted(at("L").string());
  const auto f = [&](const char* name) { return shell_quoted(at(name).string()); };
  const struct {
    std::string program, args;
    int status;
    const char* message;
  } cases[] = {
      {"batch", P + " " + f("ws.dat") + " " + L + " --mechanisms", 1, "name it with --delimiter (',', ';', tab or whitespace)"},
      {"import", "--mechanisms " + f("ws.dat") + " " + L, 1, "name it with --delimiter (',', ';', tab or whitespace)"},
      {"batch", P + " " + f("plain.dat") + " " + L + " --mechanisms --delimiter whitespace", 1,
       "the first row holds numbers, not the names of the columns: a table without a header row is read with --columns"},
      {"batch", P + " " + f("bare.csv") + " " + L + " --mechanisms", 1, "row 1: the first row holds numbers"},
      {"import", "--mechanisms " + f("bare.csv") + " " + L, 1, "is read with --columns naming its columns"},
      {"batch", P + " " + f("nan.csv") + " " + L + " --mechanisms", 1, "\"nan\" is not a number"},
      {"batch", P + " " + f("inf.csv") + " " + L + " --mechanisms", 1, "\"inf\" is not a number"},
      {"batch", P + " " + f("hex.csv") + " " + L + " --mechanisms", 1, "\"0x10\" is not a number"},
      {"batch", P + " " + f("exp.csv") + " " + L + " --mechanisms", 1, "\"1e\" is not a number"},
      {"batch", P + " " + f("bare.csv") + " " + L + " --columns strike,dip,rake", 2,
       "--columns belongs to a run on focal mechanisms: give --mechanisms"},
      {"batch", P + " " + f("bare.csv") + " " + L + " --mechanisms --columns strike,dip", 2,
       "a focal mechanism needs strike, dip and rake"},
      {"batch", P + " " + f("bare.csv") + " " + L + " --mechanisms --columns strike,dip,rake,depth", 2,
       "\"depth\" is not a column role"},
      {"batch", P + " " + f("bare.csv") + " " + L + " --mechanisms --delimiter space", 2,
       "--delimiter takes ,, ;, tab or whitespace"},
      {"import", "--columns strike,dip,rake " + f("bare.csv") + " " + L, 2, "--columns names the columns of a table"},
      {"import", "--mechanisms --columns dip,rake " + f("bare.csv") + " " + L, 2, "a focal mechanism needs strike"},
  };
  const std::regex option("--[a-z][a-z-]*");
  for (const auto& c : cases) {
    const std::string bin = c.program == "batch" ? batch_bin : import_bin;
    const Outcome o = shell(bin + " " + c.args);
    EXPECT_EQ(o.status, c.status) << c.args << "\n" << o.err;
    EXPECT_NE(o.err.find(c.message), std::string::npos) << c.args << "\n" << o.err;
    const std::string help = shell(bin + " --help").out;
    for (std::sregex_iterator it(o.err.begin(), o.err.end(), option), end; it != end; ++it) {
      EXPECT_NE(help.find(it->str()), std::string::npos) << it->str() << " is not an option of " << c.program;
    }
    EXPECT_FALSE(fs::exists(at("L"))) << c.args;
  }
  // With the options named, both programs read the files.
  EXPECT_EQ(shell(import_bin + " --mechanisms --delimiter whitespace --columns strike,dip,rake " + f("plain.dat") + " " +
                  f("D"))
                .status,
            0);
}

}  // namespace
}  // namespace zk::test
