#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <regex>
#include <sstream>

#include "figures/figure_svg.hpp"
#include "results/result_json.hpp"
#include "data/fault_data.hpp"
#include "batch_files.hpp"

namespace zk::batch {
namespace {

constexpr double kTol = 1e-9;

TEST(NetPoint, EqualAreaPositions) {
  const NetFrame f{100.0, 200.0, 50.0};
  struct Case {
    double plunge, direction, x, y;
  } cases[] = {
      {0.0, 0.0, 100.0, 150.0},                                  // north point of the primitive
      {0.0, 90.0, 150.0, 200.0},                                 // east
      {0.0, 270.0, 50.0, 200.0},                                 // west
      {90.0, 123.0, 100.0, 200.0},                               // vertical: the centre
      {30.0, 180.0, 100.0, 200.0 + 50.0 * std::sqrt(0.5)},       // r = R sqrt(1 - sin 30)
      {60.0, 45.0, 100.0 + 50.0 * std::sqrt(1.0 - std::sin(60.0 * M_PI / 180.0)) * std::sqrt(0.5),
       200.0 - 50.0 * std::sqrt(1.0 - std::sin(60.0 * M_PI / 180.0)) * std::sqrt(0.5)},
      {-30.0, 0.0, 100.0, 200.0 + 50.0 * std::sqrt(0.5)},        // upward line: its lower end, to the south
      {120.0, 0.0, 100.0, 200.0 + 50.0 * std::sqrt(1.0 - std::sin(60.0 * M_PI / 180.0))},  // past vertical
  };
  for (const Case& c : cases) {
    const Point p = net_point_of(f, c.plunge, c.direction);
    EXPECT_NEAR(p.x, c.x, 1e-6) << c.plunge << "/" << c.direction;
    EXPECT_NEAR(p.y, c.y, 1e-6) << c.plunge << "/" << c.direction;
  }
  // A line and its opposite are one line.
  const Point a = net_point(f, 0.3, -0.4, -0.5);
  const Point b = net_point(f, -0.3, 0.4, 0.5);
  EXPECT_NEAR(a.x, b.x, kTol);
  EXPECT_NEAR(a.y, b.y, kTol);
  // A zero vector does not make a non-number.
  const Point z = net_point(f, 0.0, 0.0, 0.0);
  EXPECT_EQ(z.x, 100.0);
  EXPECT_EQ(z.y, 200.0);
}

TEST(XmlText, EscapesAndRepairsText) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {"A & B <C> \"d\" 'e'", "A &amp; B &lt;C&gt; &quot;d&quot; &apos;e&apos;"},
      {"VALL\xc9" "E", "VALL\xc3\x89" "E"},                 // Latin-1 E acute
      {"VALL\xc3\x89" "E", "VALL\xc3\x89" "E"},             // already UTF-8
      {"a\x01\x1f\x7f" "b\tc", "ab c"},                     // control characters
      {"x\x80y", "x\xef\xbf\xbdy"},                         // stray continuation byte
      {"\xe2\x82", "\xc3\xa2\xef\xbf\xbd"},                 // cut sequence: Latin-1, then replaced
      {"\xed\xa0\x80", "\xc3\xad\xc2\xa0\xef\xbf\xbd"},     // surrogate: not UTF-8
      {"\xf0\x9f\x99\x82", "\xf0\x9f\x99\x82"},             // four-byte sequence kept
  };
  for (const Case& c : cases) EXPECT_EQ(xml_text(c.in), c.out) << c.in;
}

TEST(MisfitHistogram, UniformTenDegreeClasses) {
  // {degrees, class from 1 or 0 for left out}; pi radians is just above 180.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float cases[][2] = {{0.0f, 1},  {9.999f, 1},  {10.0f, 2}, {89.99f, 9},       {90.0f, 10},
                            {179.99f, 18}, {180.0f, 18}, {3.141593f * kDegPerRad, 18}, {-1.0f, 0}, {nan, 0}};
  RunReport r;
  std::array<int, kFigureClasses> expect{};
  for (const auto& c : cases) {
    r.data.emplace_back().misfit = c[0] / kDegPerRad;
    if (c[1] > 0) ++expect[static_cast<std::size_t>(c[1]) - 1];
  }
  EXPECT_EQ(misfit_histogram(r), expect);
}

TEST(JsonFloat, ShortestTextReadsBackAsTheSameFloat) {
  const float values[] = {0.1f, 1.0f / 3.0f, 57.29578f, 3.141593f, 1e-30f, 1.4e-45f,
                          std::numeric_limits<float>::max(), 0.53863f, -0.46134f};
  for (float v : values) {
    const std::string text = json_float(v).dump();
    const float back = std::strtof(text.c_str(), nullptr);
    EXPECT_EQ(std::memcmp(&back, &v, sizeof v), 0) << text;
    EXPECT_LE(text.size(), 16u) << text;  // the float's digits, not a double's 17
  }
  EXPECT_EQ(json_float(-0.0f).dump(), "0.0");  // a zero has no sign in a document
  EXPECT_EQ(format_number("%.1f", -0.04), "0.0");
  EXPECT_EQ(format_number("%.1f", -0.06), "-0.1");
  EXPECT_TRUE(json_float(std::numeric_limits<float>::quiet_NaN()).is_null());
  EXPECT_TRUE(json_float(std::numeric_limits<float>::infinity()).is_null());
  EXPECT_TRUE(json_float(-std::numeric_limits<float>::infinity()).is_null());
}

// A small result made by hand: two data, one with non-numbers from stage 4.
RunReport sample_result(const std::string& title) {
  RunReport r;
  r.title = title;
  r.run.N = 2;
  r.run.NMIN = 1;
  r.run.has_stage4 = true;
  TensorSnapshot& t = r.run.stage3;
  for (int L = 1; L <= 3; ++L) t.ROT(L, L) = 1.0f;
  t.VP(1) = 0.5f;
  t.VP(2) = 0.0f;
  t.VP(3) = -0.5f;
  t.PEN(1) = 0.0f;
  t.DIRE(1) = 90.0f;
  t.PEN(2) = 0.0f;
  t.DIRE(2) = 0.0f;
  t.PEN(3) = 90.0f;
  t.DIRE(3) = 0.0f;
  t.P(4) = 0.5f;
  r.state = stress_state(t);
  const float h = std::sqrt(0.5f);
  for (int i = 1; i <= 2; ++i) {
    Datum d;
    d.NUM = 10 * i;
    d.line = i + 1;
    d.FN(1) = h;
    d.FN(3) = -h;
    d.STR(1) = h;
    d.STR(3) = h;  // reverse slip
    d.misfit = i == 1 ? 0.05f : 1.5f;
    d.stress = plane_stress(reduced_tensor(t), {h, 0.0, -h});
    d.rank = i;
    for (int K = 1; K <= 3; ++K) {
      d.nearest.PENS(K) = i == 1 ? t.PEN(K) + 1.0f : std::numeric_limits<float>::quiet_NaN();
      d.nearest.DIRES(K) = t.DIRE(K);
    }
    if (i == 2) d.nearest.ST = std::numeric_limits<float>::quiet_NaN();
    FaultRecord rec;
    rec.NUM = d.NUM;
    rec.LABEL[0] = '\xe9';  // a Latin-1 label
    d.as_read = rec;
    r.data.push_back(d);
  }
  return r;
}

class FigureDocument : public test::ScratchTest {};

TEST_F(FigureDocument, NonNumbersAndForeignBytesStillMakeAValidJsonDocument) {
  RunReport r = sample_result("VALL\xc9" "E <A&B>");
  r.data[1].nearest.ST = std::numeric_limits<float>::quiet_NaN();
  std::string text;
  ASSERT_NO_THROW(text = result_json_text(r));
  nlohmann::json doc;
  ASSERT_NO_THROW(doc = nlohmann::json::parse(text));
  EXPECT_TRUE(doc["data"][1]["nearest"]["angle_rad"].is_null());
  EXPECT_EQ(doc["data"][1]["number"], 20);
  EXPECT_TRUE(doc["stages"]["stage1"].is_null());  // no stage 1 in this run
  EXPECT_EQ(doc["final"]["stress_state"]["wsm_regime"], "TF");
  // An undefined stress state: every field null, regime U.
  r.run.stage3.ROT(2, 2) = std::numeric_limits<float>::quiet_NaN();
  r.state = stress_state(r.run.stage3);
  test::spit(at("undefined.json"), result_json_text(r));
  test::spit(at("r.json"), text);
  expect_valid_results({at("r.json"), at("undefined.json")});
  EXPECT_TRUE(nlohmann::json::parse(test::slurp(at("undefined.json")))["final"]["stress_state"]["R_prime"].is_null());
}

TEST_F(FigureDocument, TitleWithMarkupAndNonNumbersGivesAWellFormedDocument) {
  const std::string svg = figure_svg(sample_result("VALL\xc9" "E <A&B> \"x\"\x01"));
  EXPECT_EQ(svg.find("nan"), std::string::npos);
  EXPECT_EQ(svg.find("inf"), std::string::npos);
  EXPECT_NE(svg.find("VALL\xc3\x89" "E &lt;A&amp;B&gt; &quot;x&quot;"), std::string::npos);
  test::spit(at("f.svg"), svg);
  const auto r = shell("xmllint --noout " + test::shell_quoted(at("f.svg").string()));
  EXPECT_EQ(r.status, 0) << r.err;
  // One stage-4 cloud point: the second datum's are non-numbers.
  std::size_t n = 0;
  for (std::size_t p = svg.find("nearest \xcf\x83"); p != std::string::npos; p = svg.find("nearest \xcf\x83", p + 1)) ++n;
  EXPECT_EQ(n, 3u);
}

// The numbers of the striation's drawing of datum `num`: the arrow's line
// or the couple's paths, up to its dot.
struct Drawing {
  std::string sense;       // of a couple; empty for an arrow
  std::vector<double> xy;  // x, y, x, y...
};
Drawing drawing_of(const std::string& svg, int num) {
  const auto g = svg.find("data-num=\"" + std::to_string(num) + "\"");
  const std::string part = svg.substr(g, svg.find("<circle", g) - g);
  Drawing dr;
  std::smatch m;
  if (std::regex_search(part, m, std::regex(R"re(data-sense="(\w+)")re"))) dr.sense = m[1];
  const std::regex numbers(R"re((?:x1|y1|x2|y2|points|d)="([^"]*)")re");
  for (auto it = std::sregex_iterator(part.begin(), part.end(), numbers); it != std::sregex_iterator(); ++it) {
    std::string v = std::regex_replace((*it)[1].str(), std::regex("[,ML]"), " ");
    std::istringstream in(v);
    for (double x; in >> x;) dr.xy.push_back(x);
  }
  return dr;
}

TEST(StriationDrawing, SenseOfSlipStaysInsideTheNet) {
  // x east, y north, z up. A plane striking north and dipping 60 degrees
  // east: normal slip moves the hanging wall down to the east (the arrow
  // points east, away from the centre), reverse slip up to the west. On a
  // plane dipping 5 degrees the striation is near the primitive: the arrow is
  // shortened. A vertical N-S plane with a horizontal striation (DATA
  // records, sense D and S) is drawn as a couple.
  const float c60 = 0.5f, s60 = std::sqrt(3.0f) / 2.0f, c5 = std::cos(0.0872665f), s5 = std::sin(0.0872665f);
  Vec3 FN[2], STR[2];
  for (int k = 0; k < 2; ++k) {
    FaultRecord rec;
    rec.PEND = 90;
    rec.QPEND = 'E';
    rec.QPITCH = 'N';
    rec.SENS = "DS"[k];
    convert_datum(rec, FN[k], STR[k]);
  }
  const struct {
    const char* name;
    Vec3 FN, STR;
    int outward;  // +1 east and outward, -1 west and inward, 0 a couple
    const char* sense;
  } cases[] = {
      {"normal", Vec3{{-s60, 0.0f, -c60}}, Vec3{{c60, 0.0f, -s60}}, 1, ""},
      {"reverse", Vec3{{-s60, 0.0f, -c60}}, Vec3{{-c60, 0.0f, s60}}, -1, ""},
      {"gentle normal at the primitive", Vec3{{-s5, 0.0f, -c5}}, Vec3{{c5, 0.0f, -s5}}, 1, ""},
      {"D record", FN[0], STR[0], 0, "dextral"},
      {"S record", FN[1], STR[1], 0, "sinistral"},
  };
  RunReport r = sample_result("T");
  r.data.resize(1);
  const NetFrame f;
  for (const auto& c : cases) {
    r.data[0].FN = c.FN;
    r.data[0].STR = c.STR;
    const Drawing dr = drawing_of(figure_svg(r, FigureOptions{false, false}), r.data[0].NUM);
    ASSERT_GE(dr.xy.size(), 4u) << c.name;
    for (std::size_t k = 0; k + 1 < dr.xy.size(); k += 2) {
      EXPECT_LE(std::hypot(dr.xy[k] - f.cx, dr.xy[k + 1] - f.cy), f.radius + 0.3) << c.name << " point " << k / 2;
    }
    EXPECT_EQ(dr.sense, c.sense) << c.name;
    if (c.outward == 0) continue;
    // The line runs from the tail to the base of the head.
    EXPECT_GT((dr.xy[2] - dr.xy[0]) * c.outward, 1.0) << c.name;
    EXPECT_GT((std::hypot(dr.xy[2] - f.cx, dr.xy[3] - f.cy) - std::hypot(dr.xy[0] - f.cx, dr.xy[1] - f.cy)) * c.outward,
              1.0)
        << c.name;
  }
}

TEST_F(FigureDocument, HorizontalAxesShmaxArrowsAndOptions) {
  // sample_result: sigma 1 east, sigma 2 north (both flat), sigma 3 vertical:
  // SHmax east-west, A = 1 - R.
  const struct {
    float R;
    const char* subtitle;  // arrows only for the first
  } cases[] = {{0.5f, "SHmax 90.0\xc2\xb0 (Lund &amp; Townend)"},
               {0.95f, "SHmax 90.0\xc2\xb0 poorly defined (horizontal anisotropy 0.05), not drawn"},
               {1.0f, "SHmax undefined: equal horizontal stresses"}};
  for (const auto& c : cases) {
    RunReport r = sample_result("T");
    r.run.stage3.P(4) = c.R;
    r.state = stress_state(r.run.stage3);
    const std::string svg = figure_svg(r);
    EXPECT_NE(svg.find(c.subtitle), std::string::npos) << c.R;
    EXPECT_EQ(svg.find("id=\"shmax\" data-azimuth=\"90.0000\"") != std::string::npos, c.R == 0.5f) << c.R;
  }
  const RunReport r = sample_result("T");
  const std::string svg = figure_svg(r);
  std::size_t ends = 0;
  for (auto p = svg.find("axis other-end"); p != std::string::npos; p = svg.find("axis other-end", p + 1)) ++ends;
  EXPECT_EQ(ends, 2u);  // sigma 1 and 2, each at both ends of its line
  // The SHmax arrows, along sigma 1, stop short of its stars (12 units across).
  for (auto p = svg.find("data-tip-x=\""); p != std::string::npos; p = svg.find("data-tip-x=\"", p + 1)) {
    EXPECT_GT(std::fabs(std::stod(svg.substr(p + 12)) - NetFrame{}.cx), NetFrame{}.radius + 12.0);
  }
  // A dot near the far end of an axis plunging less than 20 degrees joins its
  // main symbol (east) as an upper-hemisphere point; not so around an axis
  // plunging 25 degrees.
  const NetFrame f;
  const struct {
    double main_plunge, direction;
    bool east, upper;
  } dots[] = {{2.0, 92.0, true, false}, {2.0, 268.0, true, true}, {19.0, 268.0, true, true}, {25.0, 268.0, false, false}};
  for (const auto& c : dots) {
    const AxisDot a = axis_dot(f, c.main_plunge, 90.0, 3.0, c.direction);
    EXPECT_EQ(a.p.x > f.cx + 0.9 * f.radius, c.east) << c.main_plunge << " " << c.direction;
    EXPECT_EQ(a.upper, c.upper) << c.main_plunge << " " << c.direction;
  }
  // --no-planes drops the great circles; --labels numbers datum 20 (beyond
  // the cut-off) on the net and in the Mohr diagram.
  const std::string bare = figure_svg(r, FigureOptions{false, true});
  EXPECT_NE(svg.find("stroke=\"#9a9a9a\""), std::string::npos);
  EXPECT_EQ(bare.find("stroke=\"#9a9a9a\""), std::string::npos);
  const std::regex label(R"re(<text class="num"[^>]*>20</text>)re");
  EXPECT_EQ(std::distance(std::sregex_iterator(bare.begin(), bare.end(), label), std::sregex_iterator()), 2);
}

TEST(MohrPanel, UnorderedPrincipalValuesLeaveItEmpty) {
  RunReport r = sample_result("T");
  r.run.stage3.VP(1) = std::numeric_limits<float>::quiet_NaN();
  const std::string svg = figure_svg(r);
  EXPECT_NE(svg.find("no diagram"), std::string::npos);
  EXPECT_EQ(svg.find("class=\"best\""), std::string::npos);
  EXPECT_EQ(svg.find("nan"), std::string::npos);
}

}  // namespace
}  // namespace zk::batch
