// Both programs on the same files: the listings, the JSON document, the
// figure, and the exit status of the batch program.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <array>
#include <cstring>
#include <tuple>

#include "batch_files.hpp"

namespace zk::test {
namespace {

using nlohmann::json;

std::string fmt(const char* f, double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, f, v);
  return buf;
}

// The last tensor block of a listing: the three SIGMA lines and the ratio.
struct ListedTensor {
  std::vector<std::string> sigma;
  std::string ratio;
};
ListedTensor last_tensor(const std::vector<std::string>& lines) {
  ListedTensor t;
  for (std::size_t k = 0; k < lines.size(); ++k) {
    if (lines[k].rfind("     SIGMA(1)=", 0) == 0 && k + 2 < lines.size()) {
      t.sigma = {lines[k], lines[k + 1], lines[k + 2]};
    }
    const auto p = lines[k].find("RAPPORT R =");
    if (p != std::string::npos) t.ratio = lines[k].substr(p + 11, 6);
  }
  return t;
}

// The attribute `name` of the element that carries id="id".
std::string attribute(const std::string& svg, const std::string& id, const std::string& name) {
  std::string key = "id=\"";
  key += id;
  key += '"';
  const auto p = svg.find(key);
  if (p == std::string::npos) return "";
  const auto end = svg.find('>', p);
  std::string attr = " ";
  attr += name;
  attr += "=\"";
  const auto a = svg.find(attr, p);
  if (a == std::string::npos || a > end) return "";
  const auto v = a + name.size() + 3;
  return svg.substr(v, svg.find('"', v) - v);
}

struct Image {
  unsigned width = 0, height = 0;
  std::vector<unsigned char> rgba;
  const unsigned char* at(unsigned x, unsigned y) const { return &rgba[(static_cast<std::size_t>(y) * width + x) * 4]; }
};
bool read_png(const std::string& path, Image& img) {
  png_image im{};
  im.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&im, path.c_str())) return false;
  im.format = PNG_FORMAT_RGBA;
  img.width = im.width;
  img.height = im.height;
  img.rgba.resize(PNG_IMAGE_SIZE(im));
  const bool ok = png_image_finish_read(&im, nullptr, img.rgba.data(), 0, nullptr) != 0;
  png_image_free(&im);
  return ok;
}

// The runs compared: the bundled example, selections with and without the
// data echo, an imposed tensor (no stage 1), imposed axes (stage 1 draws R
// only) with the traces of stages 2 and 3.
struct RunCase {
  const char* name;
  const char* parameters;  // nullptr: the bundled PARAMETERS
};
const RunCase kRuns[] = {
    {"example", nullptr},
    {"selection_and_echo", "0 1\n3 7\n 11 999\n1 80 200 3 0\n"},
    {"keep_only_listed", "5 0\n1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 22 999\n1 100 150 0 2\n"},
    {"imposed_tensor", "1 0\n6 80 0 0 1\n0.5 1.2 0.3 0.4\n"},
    {"imposed_axes_with_traces", "1 0\n4 75 100 3 1\n120 70 300 15 0.5\n"},
};

class SameEngine : public ScratchTest, public ::testing::WithParamInterface<RunCase> {
 protected:
  std::string parameters() {
    if (GetParam().parameters == nullptr) return example("PARAMETERS");
    spit(at("PARAMETERS"), GetParam().parameters);
    return at("PARAMETERS").string();
  }
};

TEST_P(SameEngine, ListingIsTheConsoleProgramsAndTheJsonMatchesIt) {
  const std::string P = parameters();
  const std::string D = example("DATA");
  const Outcome c = console(P, D, at("console.lst").string());
  ASSERT_EQ(c.status, 0) << c.out;
  const Outcome b = batch({P, D, at("batch.lst").string(), "--starts", "1", "--json", at("r.json").string(), "--quiet"});
  ASSERT_EQ(b.status, 0) << b.err;
  EXPECT_EQ(b.out, "");
  const std::string listing = slurp(at("batch.lst"));
  ASSERT_FALSE(listing.empty());
  EXPECT_TRUE(listing == slurp(at("console.lst"))) << "the two listings differ";

  expect_valid_results({at("r.json")});
  const json doc = json::parse(slurp(at("r.json")));
  const ListedTensor t = last_tensor(lines_of(listing));
  ASSERT_EQ(t.sigma.size(), 3u);
  const json& fin = doc["final"];
  for (int L = 0; L < 3; ++L) {
    const json& ax = fin["axes"][L];
    // "(1X,'    SIGMA(',I1,')=',F9.5,'    DIRECTION',F7.1,'    PENDAGE',F7.1)"
    EXPECT_EQ(t.sigma[L].substr(14, 9), fmt("%9.5f", ax["value"].get<double>())) << t.sigma[L];
    EXPECT_EQ(t.sigma[L].substr(36, 7), fmt("%7.1f", ax["trend_deg"].get<double>())) << t.sigma[L];
    EXPECT_EQ(t.sigma[L].substr(54, 7), fmt("%7.1f", ax["plunge_deg"].get<double>())) << t.sigma[L];
    // The tensor (x east, y north, z up, compression positive) has this
    // axis as an eigenvector with this value.
    const double tr = ax["trend_deg"].get<double>() * M_PI / 180.0, pl = ax["plunge_deg"].get<double>() * M_PI / 180.0;
    const double v[3] = {std::cos(pl) * std::sin(tr), std::cos(pl) * std::cos(tr), -std::sin(pl)};
    for (int i = 0; i < 3; ++i) {
      double Tv = 0.0;
      for (int j = 0; j < 3; ++j) Tv += fin["tensor"][i][j].get<double>() * v[j];
      EXPECT_NEAR(Tv, ax["value"].get<double>() * v[i], 2e-4) << "sigma " << L + 1 << " row " << i;
    }
  }
  EXPECT_EQ(t.ratio, fmt("%6.2f", fin["R"].get<double>()));

  // The stage-3 closing lines.
  const std::regex ecart(R"(ECART MOYEN EN DEGRES\s*(\S+))");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(listing, m, ecart));
  EXPECT_EQ(fmt("%10.5f", fin["residual_std_deg"].get<double>()), fmt("%10.5f", std::stod(m[1])));
  const std::regex comp(R"(COMP NO ?(\d)   ERR SUR DIREC(.{6})   ERR SUR PEND(.{6}))");
  int seen = 0;
  for (auto it = std::sregex_iterator(listing.begin(), listing.end(), comp); it != std::sregex_iterator(); ++it) {
    const int L = std::stoi((*it)[1]) - 1;
    const json& e = fin["linearised_errors"]["axes"][L];
    if (fin["axes"][L]["plunge_deg"].get<double>() > 60.0) {
      EXPECT_TRUE(e["trend_deg"].is_null()) << "a steep axis has no trend error";
    } else {
      EXPECT_EQ((*it)[2].str(), fmt("%6.1f", e["trend_deg"].get<double>()));
    }
    EXPECT_EQ((*it)[3].str(), fmt("%6.1f", e["plunge_deg"].get<double>()));
    ++seen;
  }
  EXPECT_EQ(seen, 3);

  // The data: as many as the run used, each with its record and a final
  // rank; the predicted slip makes the misfit angle with the observed one.
  const int N = doc["N"];
  ASSERT_EQ(static_cast<int>(doc["data"].size()), N);
  int best = 0;
  std::vector<bool> ranks(static_cast<std::size_t>(N) + 1, false);
  for (const json& d : doc["data"]) {
    EXPECT_EQ(d["record"]["dip_quadrant"].get<std::string>().size(), 1u);
    const int rank = d["rank"];
    ASSERT_TRUE(rank >= 1 && rank <= N);
    EXPECT_FALSE(ranks[static_cast<std::size_t>(rank)]) << "rank " << rank << " twice";
    ranks[static_cast<std::size_t>(rank)] = true;
    const double deg = d["misfit_deg"];
    if (d["among_best"].get<bool>()) ++best;
    double c = 0.0;
    for (int k = 0; k < 3; ++k) c += d["predicted_slip"][k].get<double>() * d["slip"][k].get<double>();
    EXPECT_NEAR(std::acos(std::clamp(c, -1.0, 1.0)) * 180.0 / M_PI, deg, 0.05) << "datum " << d["number"];
  }
  EXPECT_EQ(best, doc["NMIN"].get<int>());
}

INSTANTIATE_TEST_SUITE_P(Runs, SameEngine, ::testing::ValuesIn(kRuns),
                         [](const auto& info) { return std::string(info.param.name); });

class BatchRun : public ScratchTest {};

TEST_F(BatchRun, SelectionKeepsTheRecordsAsRead) {
  spit(at("P"), "0 0\n3 7\n 11 999\n1 80 200 3 0\n");
  const Outcome b = batch({at("P").string(), example("DATA"), at("L").string(), "--starts", "1", "--json", at("r.json").string()});
  ASSERT_EQ(b.status, 0) << b.err;
  const json doc = json::parse(slurp(at("r.json")));
  EXPECT_EQ(doc["parameters"]["selection"], json::array({3, 7, 11}));
  expect_valid_results({at("r.json")});
  // The DATA file's own records, by number.
  std::map<int, std::string> records;
  const auto data = lines_of(slurp(example("DATA")));
  for (std::size_t k = 1; k < data.size(); ++k) {
    if (data[k].size() >= 72) records[std::stoi(data[k].substr(69, 3))] = data[k];
  }
  for (const json& d : doc["data"]) {
    const int num = d["number"];
    EXPECT_TRUE(num != 3 && num != 7 && num != 11) << num;
    const std::string& rec = records.at(num);
    EXPECT_EQ(d["record"]["strike_deg"].get<int>(), std::stoi(rec.substr(2, 3)));
    EXPECT_EQ(d["record"]["dip_deg"].get<int>(), std::stoi(rec.substr(9, 2)));
    EXPECT_EQ(d["record"]["dip_quadrant"].get<std::string>(), rec.substr(16, 1));
    EXPECT_EQ(d["record"]["sense"].get<std::string>(), rec.substr(34, 1));
    EXPECT_EQ(d["label"].get<std::string>(), rec.substr(73, 3));
    EXPECT_EQ(data[static_cast<std::size_t>(d["line"].get<int>() - 1)], rec);
    // The plane by the right-hand rule: the record's strike either way, its
    // dip, dipping to the side its quadrant letter names.
    const double strike = d["strike_deg"], dip = d["dip_deg"], dd = d["dip_direction_deg"];
    EXPECT_NEAR(std::fmod(strike + 90.0, 360.0), dd, 1e-3) << num;
    const double off = std::fmod(std::fabs(strike - std::stoi(rec.substr(2, 3))), 180.0);
    EXPECT_LT(std::min(off, 180.0 - off), 0.5) << num;
    EXPECT_NEAR(dip, std::stoi(rec.substr(9, 2)), 0.5) << num;
    const double to_north = std::cos(dd * 3.14159265358979 / 180.0), to_east = std::sin(dd * 3.14159265358979 / 180.0);
    const char q = rec[16];
    EXPECT_TRUE((q == 'N' && to_north > 0) || (q == 'S' && to_north < 0) || (q == 'E' && to_east > 0) ||
                (q == 'W' && to_east < 0))
        << num << ": dips to " << dd << ", quadrant " << q;
  }
  EXPECT_EQ(static_cast<int>(doc["data"].size()), static_cast<int>(records.size()) - 3);
}

TEST_F(BatchRun, FigureIsWellFormedRendersAndPlacesItsMarks) {
  const auto run = [&](const std::string& suffix) {
    return batch({example("PARAMETERS"), example("DATA"), at("L").string(), "--starts", "1", "--svg", at("f" + suffix + ".svg").string(),
                  "--json", at("r" + suffix + ".json").string()});
  };
  const Outcome b = run("");
  ASSERT_EQ(b.status, 0) << b.err;
  // One summary line with the final axes and the stress state.
  EXPECT_EQ(lines_of(b.out).size(), 1u) << b.out;
  for (const char* part : {"sigma1", "R=0.38", "R'=0.38 (pure extension)", "SHmax 34.6 (WSM NF 35.1)", "residual std dev"}) {
    EXPECT_NE(b.out.find(part), std::string::npos) << part << " in " << b.out;
  }
  // The same inputs give the same bytes.
  ASSERT_EQ(run("2").status, 0);
  EXPECT_TRUE(slurp(at("f.svg")) == slurp(at("f2.svg")));
  EXPECT_TRUE(slurp(at("r.json")) == slurp(at("r2.json")));

  const Outcome lint = shell("xmllint --noout " + shell_quoted(at("f.svg").string()));
  ASSERT_EQ(lint.status, 0) << lint.err;

  const std::string svg = slurp(at("f.svg"));
  const json doc = json::parse(slurp(at("r.json")));
  const double cx = std::stod(attribute(svg, "stereonet", "data-cx"));
  const double cy = std::stod(attribute(svg, "stereonet", "data-cy"));
  const double R = std::stod(attribute(svg, "stereonet", "data-radius"));
  struct Marker {
    double x, y;
  } marker[3];
  for (int L = 0; L < 3; ++L) {
    std::string id = "sigma";
    id += std::to_string(L + 1);
    marker[L] = {std::stod(attribute(svg, id, "data-x")), std::stod(attribute(svg, id, "data-y"))};
    // Schmidt net: distance R sqrt(2) sin((90 - plunge) / 2), azimuth clockwise from north (up).
    const double plunge = doc["final"]["axes"][L]["plunge_deg"];
    const double azimuth = doc["final"]["axes"][L]["trend_deg"];
    const double r = R * std::sqrt(2.0) * std::sin((90.0 - plunge) / 2.0 * M_PI / 180.0);
    EXPECT_NEAR(marker[L].x, cx + r * std::sin(azimuth * M_PI / 180.0), 0.5) << id;
    EXPECT_NEAR(marker[L].y, cy - r * std::cos(azimuth * M_PI / 180.0), 0.5) << id;
  }
  // SHmax: two arrows pointing at the primitive from outside, along the azimuth.
  const double shmax = doc["final"]["stress_state"]["SHmax_deg"];
  EXPECT_NEAR(std::stod(attribute(svg, "shmax", "data-azimuth")), shmax, 1e-3);

  // The histogram: 10-degree classes of the misfits in the JSON document,
  // and the cut-off at the misfit of the NMIN-th best datum.
  std::vector<int> expect(18, 0);
  double cutoff = -1.0;
  for (const json& d : doc["data"]) {
    const double deg = d["misfit_deg"];
    ++expect[static_cast<std::size_t>(std::min(17, static_cast<int>(deg / 10.0)))];
    if (d["rank"] == doc["NMIN"]) cutoff = deg;
  }
  const std::regex bar(R"re(data-class="(\d+)" data-count="(\d+)")re");
  std::vector<int> counts;
  for (auto it = std::sregex_iterator(svg.begin(), svg.end(), bar); it != std::sregex_iterator(); ++it) {
    counts.push_back(std::stoi((*it)[2]));
  }
  EXPECT_EQ(counts, expect);
  EXPECT_NEAR(std::stod(attribute(svg, "cutoff", "data-degrees")), cutoff, 1e-3);

  // Rendered: not blank; each axis marker drawn in its colour where it is
  // placed; the SHmax arrows' shafts dark where an independent projection
  // puts them.
  const Outcome render = shell("rsvg-convert " + shell_quoted(at("f.svg").string()) + " -o " + shell_quoted(at("f.png").string()));
  ASSERT_EQ(render.status, 0) << render.err;
  Image img;
  ASSERT_TRUE(read_png(at("f.png").string(), img));
  ASSERT_GT(img.width, 100u);
  std::size_t inked = 0;
  for (std::size_t k = 0; k < img.rgba.size(); k += 4) {
    if (img.rgba[k + 3] > 0 && (img.rgba[k] < 200 || img.rgba[k + 1] < 200 || img.rgba[k + 2] < 200)) ++inked;
  }
  EXPECT_GT(inked, static_cast<std::size_t>(img.width) * img.height / 50) << "the picture is nearly blank";
  const unsigned char fill[3][3] = {{0x0b, 0x3d, 0x91}, {0x7b, 0x1f, 0xa2}, {0x00, 0x00, 0x00}};
  for (int L = 0; L < 3; ++L) {
    const unsigned char* p = img.at(static_cast<unsigned>(marker[L].x), static_cast<unsigned>(marker[L].y));
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(p[c], fill[L][c], 12) << "sigma" << L + 1 << " channel " << c;
  }
  for (double az : {shmax, shmax + 180.0}) {
    const double rr = R + 45.0;
    const unsigned char* p = img.at(static_cast<unsigned>(std::lround(cx + rr * std::sin(az * M_PI / 180.0))),
                                    static_cast<unsigned>(std::lround(cy - rr * std::cos(az * M_PI / 180.0))));
    EXPECT_LT(p[0] + p[1] + p[2], 3 * 0x50) << "no SHmax arrow at " << az;
  }
}

// Synthetic sets of the three Andersonian regimes (tools/make_example.py:
// known tensor, 7 degrees of slip noise, an outlier every ninth datum): the
// regime, R' and SHmax come out as made and the document validates.
TEST_F(BatchRun, AndersonianSyntheticSets) {
  struct Set {
    const char* name;
    const char* tensor;  // generator options
    const char* regime;
    const char* r_prime_class;
    double shmax;
  } sets[] = {
      {"thrust", "--sigma1 75/0 --sigma3 0/90 --ratio 0.5", "TF", "pure compression", 75.0},
      {"strike-slip", "--sigma1 140/0 --sigma3 50/0 --ratio 0.5", "SS", "pure strike-slip", 140.0},
      {"normal", "--sigma1 0/90 --sigma3 120/0 --ratio 0.5", "NF", "pure extension", 30.0},
  };
  spit(at("P"), "1 0\n1 80 1000 7 0\n");
  std::vector<fs::path> docs;
  for (const Set& s : sets) {
    const std::string base = std::string(s.name);
    const Outcome gen = shell("/usr/bin/python3 " + shell_quoted(std::string(ZARKEL_SOURCE_DIR) + "/tools/make_example.py") + " " +
                              s.tensor + " --count 50 --seed 3");
    ASSERT_EQ(gen.status, 0) << gen.err;
    spit(at(base + ".dat"), gen.out);
    const Outcome b = batch({at("P").string(), at(base + ".dat").string(), at(base + ".lst").string(), "--starts", "1", "--json",
                             at(base + ".json").string()});
    ASSERT_EQ(b.status, 0) << b.err;
    docs.push_back(at(base + ".json"));
    const json st = json::parse(slurp(at(base + ".json")))["final"]["stress_state"];
    EXPECT_EQ(st["wsm_regime"], s.regime) << s.name;
    EXPECT_EQ(st["R_prime_class"], s.r_prime_class) << s.name;
    EXPECT_FALSE(st["SHmax_poorly_defined"].get<bool>()) << s.name;
    for (const char* key : {"SHmax_deg", "wsm_SHmax_deg"}) {
      const double gap = std::fmod(std::fabs(st[key].get<double>() - s.shmax), 180.0);
      EXPECT_LT(std::min(gap, 180.0 - gap), 5.0) << s.name << " " << key;
    }
  }
  expect_valid_results(docs);
}

// Rendered figures checked by their pixels: an unresolved axis (cone wider
// than 45 degrees) has no circle, and no striation mark leaves the net.
class RenderedFigure : public ScratchTest {
 protected:
  // A synthetic set (tools/make_example.py options) run with `more`, rendered.
  Outcome run(const std::string& gen, std::vector<std::string> more) {
    spit(at("d"), shell("/usr/bin/python3 " + shell_quoted(std::string(ZARKEL_SOURCE_DIR) + "/tools/make_example.py") + " " + gen).out);
    std::vector<std::string> args = {example("PARAMETERS"), at("d").string(), at("l").string(), "--svg", at("f.svg").string(),
                                     "--json", at("r.json").string()};
    for (const std::string& m : more) args.insert(args.end(), m.empty() ? 0 : 1, m);
    const Outcome b = batch(args);
    EXPECT_EQ(b.status, 0) << b.err;
    EXPECT_EQ(shell("rsvg-convert " + shell_quoted(at("f.svg").string()) + " -o " + shell_quoted(at("f.png").string())).status, 0);
    EXPECT_TRUE(read_png(at("f.png").string(), img));
    svg = slurp(at("f.svg"));
    for (int k = 0; k < 3; ++k) net[k] = std::stod(attribute(svg, "stereonet", k == 0 ? "data-cx" : k == 1 ? "data-cy" : "data-radius"));
    return b;
  }
  Image img;
  std::string svg;
  double net[3] = {};  // centre x, y and radius
};

TEST_F(RenderedFigure, UnresolvedAxesHaveNoConeAndTheSummarySaysWhatItMeans) {
  const Outcome b = run("--sigma1 10/80 --sigma3 100/5 --ratio 0.05 --count 12 --noise 15 --seed 2", {"--bootstrap", "100"});
  EXPECT_NE(b.out.find(" (poorly defined; WSM NF "), std::string::npos) << b.out;
  double low = -1, high = -1;  // an interval crossing north, bounds in [0, 180)
  ASSERT_EQ(std::sscanf(b.out.substr(b.out.find(", SHmax ")).c_str(), ", SHmax %lf to %lf", &low, &high), 2) << b.out;
  EXPECT_TRUE(low > high && high >= 0.0 && low < 180.0) << b.out;
  EXPECT_NE(svg.find(">sigma 2 and sigma 3 not resolved (95 % cones 76 and 78 deg)<"), std::string::npos);
  // Where the circle of sigma 2's cone would run, hardly a pixel of its colour.
  const json doc = json::parse(slurp(at("r.json")));
  const double pl = doc["final"]["axes"][1]["plunge_deg"].get<double>() * M_PI / 180.0;
  const double tr = doc["final"]["axes"][1]["trend_deg"].get<double>() * M_PI / 180.0;
  const double half = doc["bootstrap"]["axes"][1]["cone_deg"].get<double>() * M_PI / 180.0;
  const double a[3] = {std::cos(pl) * std::sin(tr), std::cos(pl) * std::cos(tr), -std::sin(pl)};
  const double u[3] = {std::cos(tr), -std::sin(tr), 0.0};  // horizontal, normal to a
  const double v[3] = {a[1] * u[2] - a[2] * u[1], a[2] * u[0] - a[0] * u[2], a[0] * u[1] - a[1] * u[0]};
  int on = 0;
  for (int k = 0; k < 360; ++k) {
    double p[3];
    for (int i = 0; i < 3; ++i) p[i] = std::cos(half) * a[i] + std::sin(half) * (std::cos(k * M_PI / 180) * u[i] + std::sin(k * M_PI / 180) * v[i]);
    const double s = p[2] > 0 ? -1.0 : 1.0, h = std::hypot(p[0], p[1]), r = net[2] * std::sqrt(1.0 - std::fabs(p[2]));
    const unsigned char* c = img.at(static_cast<unsigned>(std::lround(net[0] + s * r * p[0] / h)),
                                    static_cast<unsigned>(std::lround(net[1] - s * r * p[1] / h)));
    on += std::abs(c[0] - 0x7b) < 25 && std::abs(c[1] - 0x1f) < 25 && std::abs(c[2] - 0xa2) < 25;
  }
  EXPECT_LT(on, 20) << "a circle of sigma 2's colour where its cone would be";
}

TEST_F(RenderedFigure, NoStriationMarkCrossesThePrimitive) {
  for (const char* couples : {"", "--couples"}) {  // 77 strike-slip data: single arrows unless forced
    run("--sigma1 40/0 --sigma3 130/0 --ratio 0.5 --count 77 --seed 5", {couples});
    EXPECT_NE(svg.find(std::string("data-couples=\"") + (*couples ? "yes" : "no") + "\""), std::string::npos);
    // Axis symbols and stage-4 rings (not striation marks) may reach past the primitive.
    std::vector<std::array<double, 3>> marks;
    for (const auto& [cls, x, y, reach] : {std::tuple{"class=\"axis", "data-x=\"", "data-y=\"", 15.0},
                                          std::tuple{"class=\"nearest", "cx=\"", "cy=\"", 4.5}}) {
      for (auto p = svg.find(cls); p != std::string::npos; p = svg.find(cls, p + 1)) {
        marks.push_back({std::stod(svg.substr(svg.find(x, p) + std::strlen(x))),
                         std::stod(svg.substr(svg.find(y, p) + std::strlen(y))), reach});
      }
    }
    int outside = 0;  // coloured pixels just outside the net, away from those
    for (unsigned y = 0; y < img.height; ++y) {
      for (unsigned x = 0; x < img.width; ++x) {
        const double r = std::hypot(x + 0.5 - net[0], y + 0.5 - net[1]) - net[2];
        bool mark = r < 1.5 || r > 40.0;
        for (const auto& [mx, my, reach] : marks) mark = mark || std::hypot(x + 0.5 - mx, y + 0.5 - my) < reach;
        const unsigned char* c = img.at(x, y);
        outside += !mark && std::max({c[0], c[1], c[2]}) - std::min({c[0], c[1], c[2]}) > 40;
      }
    }
    EXPECT_EQ(outside, 0) << couples;
  }
}

}  // namespace
}  // namespace zk::test
