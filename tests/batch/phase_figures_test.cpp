// The figures of a run with stress phases, read back from what they draw:
// no confidence cone wider than 45 degrees on any net (the main net, the
// phases panel, each phase-i.svg), measured from the drawn path itself; the
// panel's order, axes, captions, legend and scales; and phase-i.svg as the
// figure of the phase's own files.
#include <gtest/gtest.h>

#include <cmath>
#include <regex>

#include <nlohmann/json.hpp>

#include "batch_files.hpp"

namespace zk::test {
namespace {

using nlohmann::json;
constexpr double kDeg = 180.0 / 3.14159265358979323846;

// The text of the group that opens at `from`, up to its own closing tag.
std::string group_at(const std::string& svg, std::size_t from) {
  int depth = 0;
  for (std::size_t at = from; at < svg.size(); ++at) {
    if (svg.compare(at, 2, "<g") == 0 && (svg[at + 2] == ' ' || svg[at + 2] == '>')) ++depth;
    if (svg.compare(at, 4, "</g>") == 0 && --depth == 0) return svg.substr(from, at + 4 - from);
  }
  return svg.substr(from);
}

std::string group(const std::string& svg, const std::string& id) {
  const std::size_t from = svg.find("<g id=\"" + id + "\"");
  return from == std::string::npos ? std::string() : group_at(svg, from);
}

struct Vec {
  double x, y, z;
};

Vec line_of(double trend, double plunge) {
  return {std::cos(plunge / kDeg) * std::sin(trend / kDeg), std::cos(plunge / kDeg) * std::cos(trend / kDeg),
          -std::sin(plunge / kDeg)};
}

double line_angle(const Vec& a, const Vec& b) {
  return std::acos(std::min(1.0, std::fabs(a.x * b.x + a.y * b.y + a.z * b.z))) * kDeg;
}

std::vector<Vec> axes_of(const json& axes) {
  std::vector<Vec> out;
  for (const json& a : axes) out.push_back(line_of(a["trend_deg"].get<double>(), a["plunge_deg"].get<double>()));
  return out;
}

// A drawn cone, measured: the axis (of `axes`) its points keep the most
// constant angle to, that angle, and how much it varies along the path.
struct Cone {
  int sigma = 0;
  double half_angle = 0.0, spread = 0.0;
};

// Every cone drawn on the net `id` of `svg`, its points taken back to lines
// through the net's lower-hemisphere equal-area projection.
std::vector<Cone> drawn_cones(const std::string& svg, const std::string& id, const std::vector<Vec>& axes) {
  const std::string net = group(svg, id);
  std::smatch m;
  const std::regex frame("data-cx=\"([-0-9.]+)\" data-cy=\"([-0-9.]+)\" data-radius=\"([-0-9.]+)\"");
  EXPECT_TRUE(std::regex_search(net, m, frame)) << id;
  if (m.empty()) return {};
  const double cx = std::stod(m[1]), cy = std::stod(m[2]), R = std::stod(m[3]);
  std::vector<Cone> cones;
  const std::regex path("class=\"cone\"[^>]* d=\"([^\"]*)\"");
  const std::regex point("([-0-9.]+),([-0-9.]+)");
  for (auto p = std::sregex_iterator(net.begin(), net.end(), path); p != std::sregex_iterator(); ++p) {
    const std::string d = (*p)[1];
    std::vector<Vec> lines;
    for (auto q = std::sregex_iterator(d.begin(), d.end(), point); q != std::sregex_iterator(); ++q) {
      const double dx = (std::stod((*q)[1]) - cx) / R, dn = -(std::stod((*q)[2]) - cy) / R;
      const double rho = std::hypot(dx, dn);
      const double z = 1.0 - rho * rho, h = std::sqrt(std::max(0.0, 1.0 - z * z));
      lines.push_back(rho < 1e-9 ? Vec{0.0, 0.0, -1.0} : Vec{h * dx / rho, h * dn / rho, -z});
    }
    Cone best;
    best.spread = 1e9;
    for (std::size_t L = 0; L < axes.size(); ++L) {
      double lo = 90.0, hi = 0.0, sum = 0.0;
      for (const Vec& v : lines) {
        const double a = line_angle(axes[L], v);
        lo = std::min(lo, a);
        hi = std::max(hi, a);
        sum += a;
      }
      if (hi - lo < best.spread) best = Cone{static_cast<int>(L + 1), sum / static_cast<double>(lines.size()), hi - lo};
    }
    cones.push_back(best);
  }
  return cones;
}

// The cones of a net against its bootstrap: each drawn one is a small circle
// about its axis no wider than 45 degrees, and exactly the axes whose cone
// is at most 45 degrees have one. Returns the number of axes left undrawn.
int expect_cones_within_45(const std::string& svg, const std::string& id, const json& axes, const json& bootstrap) {
  std::vector<double> widths;
  for (const json& a : bootstrap["axes"]) widths.push_back(a["cone_deg"].is_number() ? a["cone_deg"].get<double>() : 1e9);
  const std::vector<Cone> cones = drawn_cones(svg, id, axes_of(axes));
  int drawable = 0;
  for (double w : widths) drawable += w <= 45.0 ? 1 : 0;
  EXPECT_EQ(static_cast<int>(cones.size()), drawable) << id;
  for (const Cone& c : cones) {
    EXPECT_LT(c.spread, 0.5) << id << ": not a small circle about an axis";
    EXPECT_LE(c.half_angle, 45.0 + 0.05) << id << " sigma " << c.sigma;
    EXPECT_NEAR(c.half_angle, widths[static_cast<std::size_t>(c.sigma - 1)], 0.1) << id << " sigma " << c.sigma;
  }
  return 3 - drawable;
}

int count(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class PhaseFigures : public ScratchTest {
 protected:
  static std::string published(const std::string& name) {
    return (fs::path(ZARKEL_SOURCE_DIR) / "tests" / "batch" / "published" / name).string();
  }
};

// Arroyo Montado (MD1, 20 published faults) in two phases with a bootstrap:
// cones on both sides of 45 degrees on the main net (48 and 46) and on
// phase 2's (about 72), a horizontal sigma 3 on phase 1.
TEST_F(PhaseFigures, NoConeOver45DegreesOnAnyNet) {
  spit(at("P"), "1 1\n1 100 500 0 0\n");
  const Outcome r = batch({at("P").string(), published("md1.DATA"), at("L").string(), "--phases", "2", "--bootstrap", "30",
                           "--json", at("j").string(), "--svg", at("s").string(), "--phase-dir", at("pd").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  const json doc = json::parse(slurp(at("j")));
  const std::string svg = slurp(at("s"));
  int undrawn = expect_cones_within_45(svg, "stereonet", doc["final"]["axes"], doc["bootstrap"]);
  EXPECT_EQ(undrawn > 0, svg.find("id=\"unresolved\"") != std::string::npos);
  const json& phases = doc["phases"]["phases"];
  ASSERT_EQ(phases.size(), 2u);
  for (std::size_t j = 0; j < phases.size(); ++j) {
    const std::string n = std::to_string(j + 1);
    const int panel = expect_cones_within_45(svg, "phase-net-" + n, phases[j]["axes"], phases[j]["bootstrap"]);
    const std::string phase_svg = slurp(at("pd/phase-" + n + ".svg"));
    const int own = expect_cones_within_45(phase_svg, "stereonet", phases[j]["axes"], phases[j]["bootstrap"]);
    EXPECT_EQ(panel, own);
    EXPECT_EQ(own > 0, phase_svg.find("id=\"unresolved\"") != std::string::npos) << n;
    // Named under the panel's net instead.
    const std::string caption = "class=\"legend unresolved\"";
    EXPECT_EQ(count(svg.substr(svg.find("<g class=\"phase-caption\" data-phase=\"" + n + "\""), 800), caption),
              panel > 0 ? 1 : 0) << n;
    undrawn += panel;
  }
  EXPECT_GE(undrawn, 3) << "the set no longer gives cones over 45 degrees: the test proves nothing";
}

// The phases panel of the synthetic two-phase example and the one-phase
// published Agia Varvara set.
TEST_F(PhaseFigures, PanelLeadsWithTwoPhasesAndWritesWhatItDraws) {
  const Outcome two = batch({example("phases/PARAMETERS"), example("phases/DATA"), at("L").string(), "--phases", "auto",
                             "--json", at("j").string(), "--svg", at("s").string(), "--phase-dir", at("pd").string()});
  ASSERT_EQ(two.status, 0) << two.err;
  const json doc = json::parse(slurp(at("j")));
  const std::string svg = slurp(at("s"));
  ASSERT_EQ(doc["phases"]["k"], 2);
  EXPECT_LT(svg.find("<g id=\"phases\""), svg.find("<g id=\"stereonet\""));
  EXPECT_NE(svg.find(">All data: a compromise of 2 phases</text>"), std::string::npos);
  EXPECT_NE(svg.find(">All data together: 120 data"), std::string::npos);

  const char* colours[] = {"#999999", "#0072B2", "#E69F00"};
  for (int j = 1; j <= 2; ++j) {
    const json& p = doc["phases"]["phases"][static_cast<std::size_t>(j - 1)];
    const std::string net = group(svg, "phase-net-" + std::to_string(j));
    const std::string common = group(svg, "phase-net-common");
    std::string axes;
    for (int L = 1; L <= 3; ++L) {
      const json& a = p["axes"][static_cast<std::size_t>(L - 1)];
      // A horizontal axis at both ends, on its own net and the common one.
      const int ends = a["plunge_deg"].get<double>() <= 5.0 ? 2 : 1;
      const std::string mark = "data-phase=\"" + std::to_string(j) + "\" data-sigma=\"" + std::to_string(L) + "\"";
      EXPECT_EQ(count(net, mark), ends) << "phase " << j << " sigma " << L;
      EXPECT_EQ(count(common, mark), ends) << "phase " << j << " sigma " << L;
      char text[64];
      std::snprintf(text, sizeof text, "%s\xcf\x83%d %.0f/%.0f", L == 1 ? "" : "  ", L, a["trend_deg"].get<double>(),
                    a["plunge_deg"].get<double>());
      axes += text;
    }
    // Its axes, R and quality under its net, in its colour.
    const std::size_t cap = svg.find("<g class=\"phase-caption\" data-phase=\"" + std::to_string(j) + "\"");
    ASSERT_NE(cap, std::string::npos);
    const std::string caption = group_at(svg, cap);
    EXPECT_NE(caption.find(std::string("fill=\"") + colours[j] + "\""), std::string::npos) << caption;
    EXPECT_NE(caption.find(">" + axes + "<"), std::string::npos) << axes << " in " << caption;
    char r_text[64];
    std::snprintf(r_text, sizeof r_text, "R = %.2f;  quality %s", p["R"].get<double>(),
                  p["quality"]["rank"].get<std::string>().c_str());
    EXPECT_NE(caption.find(r_text), std::string::npos) << caption;
    EXPECT_NE(svg.find("<rect class=\"swatch\" data-phase=\"" + std::to_string(j) + "\""), std::string::npos);
    // On the common net each disc is tagged with its phase.
    EXPECT_EQ(count(common, ">P" + std::to_string(j) + "<"),
              count(common, "data-phase=\"" + std::to_string(j) + "\" data-sigma="));
  }
  EXPECT_NE(svg.find("<rect class=\"swatch\" data-phase=\"0\""), std::string::npos);
  // The phase tags of the common net do not overprint one another.
  {
    const std::string common = group(svg, "phase-net-common");
    const std::regex tag("class=\"phase-tag\" data-phase=\"[0-9]\" x=\"([-0-9.]+)\" y=\"([-0-9.]+)\"");
    std::vector<std::pair<double, double>> at;
    for (auto t = std::sregex_iterator(common.begin(), common.end(), tag); t != std::sregex_iterator(); ++t) {
      const double x = std::stod((*t)[1]), y = std::stod((*t)[2]);
      for (const auto& [u, v] : at) EXPECT_FALSE(std::fabs(x - u) < 13.0 && std::fabs(y - v) < 8.0) << x << "," << y;
      at.emplace_back(x, y);
    }
    EXPECT_EQ(static_cast<int>(at.size()), count(common, "data-sigma="));  // one per disc
    EXPECT_GE(at.size(), 6u);
  }
  // Scales: on the BIC chart, "lower is better", a tick for each k computed.
  const std::string bic = group(svg, "phases-bic");
  EXPECT_NE(bic.find(">BIC (lower is better)<"), std::string::npos);
  EXPECT_EQ(count(bic, "class=\"y-scale\""), 1);
  EXPECT_EQ(count(bic, "class=\"tick k-tick\""), static_cast<int>(doc["phases"]["models"].size()));
  EXPECT_EQ(count(group(svg, "phases-histogram"), "class=\"y-scale\""), 1);

  // phase-i.svg: the figure of the phase's files, every member drawn.
  for (int j = 1; j <= 2; ++j) {
    const json& p = doc["phases"]["phases"][static_cast<std::size_t>(j - 1)];
    const std::string own = slurp(at("pd/phase-" + std::to_string(j) + ".svg"));
    EXPECT_NE(own.find("<title>Phase " + std::to_string(j) + " of 2 (" + p["members"].dump() + " of 120 data): "),
              std::string::npos);
    EXPECT_EQ(count(own, "<g class=\"fault\""), p["members"].get<int>());
    int bars = 0;
    const std::regex bar("class=\"bar\" data-class=\"[0-9]+\" data-count=\"([0-9]+)\"");
    for (auto b = std::sregex_iterator(own.begin(), own.end(), bar); b != std::sregex_iterator(); ++b) bars += std::stoi((*b)[1]);
    EXPECT_EQ(bars, p["members"].get<int>());
    EXPECT_NE(own.find("<g id=\"mohr\">"), std::string::npos);
    EXPECT_EQ(own.find("<g id=\"phases\""), std::string::npos);
  }

  // One phase: the usual figure first, the panel under it.
  ASSERT_EQ(batch({example("phases/PARAMETERS"), published("avb.DATA"), at("L1").string(), "--phases", "auto", "--svg", at("s1").string()})
                .status, 0);
  const std::string one = slurp(at("s1"));
  EXPECT_NE(one.find("<g id=\"phases\" data-k=\"1\""), std::string::npos);
  EXPECT_GT(one.find("<g id=\"phases\""), one.find("<g id=\"stereonet\""));
  EXPECT_NE(one.find(">Schmidt net, lower hemisphere</text>"), std::string::npos);
}

}  // namespace
}  // namespace zk::test
