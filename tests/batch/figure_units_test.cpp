#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "batch/figure_svg.hpp"
#include "batch/result_json.hpp"
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

TEST(MohrPoint, NormalAndShearStress) {
  // Axes along x, y, z; principal values of R = 0.5.
  Mat<float, 3, 3> ROT;
  for (int L = 1; L <= 3; ++L) ROT(L, L) = 1.0f;
  Vec3 VP;
  VP(1) = 0.5f;
  VP(2) = 0.0f;
  VP(3) = -0.5f;
  const float h = std::sqrt(0.5f);
  struct Case {
    float n1, n2, n3;
    double sn, tau;
  } cases[] = {
      {1.0f, 0.0f, 0.0f, 0.5, 0.0},   // normal to sigma 1
      {0.0f, 0.0f, -1.0f, -0.5, 0.0}, // normal to sigma 3
      {h, 0.0f, -h, 0.0, 0.5},        // 45 degrees from sigma 1 and 3: top of the large circle
      {0.0f, h, -h, -0.25, 0.25},     // between sigma 2 and 3: top of the small circle
  };
  for (const Case& c : cases) {
    Vec3 n;
    n(1) = c.n1;
    n(2) = c.n2;
    n(3) = c.n3;
    const MohrPoint m = mohr_point(ROT, VP, n);
    EXPECT_NEAR(m.sigma_n, c.sn, 1e-6);
    EXPECT_NEAR(m.tau, c.tau, 1e-6);
    EXPECT_FALSE(std::isnan(m.tau));
  }
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

TEST(MisfitClasses, BoundsAsInTheListing) {
  BatchResult r;
  const float angles[] = {0.0f,  0.0999f, 0.1f, 0.25f, 0.99f, 1.0f, 1.1999f, 1.2f,
                          3.14159f, std::numeric_limits<float>::quiet_NaN()};
  for (float a : angles) {
    Datum d;
    d.misfit = a;
    r.data.push_back(d);
  }
  const auto c = misfit_classes(r);
  // class:            1  2  3  ...
  const int expect[kHistogramClasses] = {2, 1, 1, 0, 0, 0, 0, 0, 0, 1, 2, 1, 0, 0, 0, 0, 0, 0, 0, 0, 1};
  for (int k = 0; k < kHistogramClasses; ++k) EXPECT_EQ(c[static_cast<std::size_t>(k)], expect[k]) << "class " << k + 1;
}

TEST(JsonFloat, ShortestTextReadsBackAsTheSameFloat) {
  const float values[] = {0.1f, 1.0f / 3.0f, 57.29578f, 3.141593f, -0.0f, 1e-30f, 1.4e-45f,
                          std::numeric_limits<float>::max(), 0.53863f, -0.46134f};
  for (float v : values) {
    const std::string text = json_float(v).dump();
    const float back = std::strtof(text.c_str(), nullptr);
    EXPECT_EQ(std::memcmp(&back, &v, sizeof v), 0) << text;
    EXPECT_LE(text.size(), 16u) << text;  // the float's digits, not a double's 17
  }
  EXPECT_TRUE(json_float(std::numeric_limits<float>::quiet_NaN()).is_null());
  EXPECT_TRUE(json_float(std::numeric_limits<float>::infinity()).is_null());
  EXPECT_TRUE(json_float(-std::numeric_limits<float>::infinity()).is_null());
}

// A small result made by hand: two data, one with non-numbers from stage 4.
BatchResult sample_result(const std::string& title) {
  BatchResult r;
  r.title = title;
  r.run.N = 2;
  r.run.NMIN = 1;
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
  const float h = std::sqrt(0.5f);
  for (int i = 1; i <= 2; ++i) {
    Datum d;
    d.NUM = 10 * i;
    d.FN(1) = h;
    d.FN(3) = -h;
    d.STR(1) = h;
    d.STR(3) = h;  // reverse slip
    d.misfit = i == 1 ? 0.05f : 1.5f;
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

TEST(ResultJson, NonNumbersAndForeignBytesStillMakeAValidDocument) {
  const BatchResult r = sample_result("VALL\xc9" "E <A&B>");
  std::string text;
  ASSERT_NO_THROW(text = result_json_text(r));
  nlohmann::json doc;
  ASSERT_NO_THROW(doc = nlohmann::json::parse(text));
  EXPECT_TRUE(doc["data"][1]["nearest"]["ST"].is_null());
  EXPECT_EQ(doc["data"][0]["among_best"], true);
  EXPECT_EQ(doc["data"][1]["among_best"], false);
  EXPECT_EQ(doc["data"][1]["NUM"], 20);
  EXPECT_TRUE(doc["stages"]["stage1"].is_null());  // no stage 1 in this run
}

class FigureDocument : public test::ScratchTest {};

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

// Start and end of the striation arrow of datum `num` in the figure.
struct Arrow {
  double x1, y1, x2, y2;
};
Arrow arrow_of(const std::string& svg, int num) {
  const std::string key = "data-num=\"" + std::to_string(num) + "\"";
  const auto g = svg.find(key);
  const auto line = svg.find("<line ", g);
  Arrow a{};
  EXPECT_EQ(std::sscanf(svg.c_str() + line, "<line x1=\"%lf\" y1=\"%lf\" x2=\"%lf\" y2=\"%lf\"", &a.x1, &a.y1,
                        &a.x2, &a.y2),
            4);
  return a;
}

TEST(StriationArrow, ShowsTheHangingWallsSenseOfSlip) {
  // A plane striking north, dipping 60 degrees east: normal slip moves the
  // hanging wall down to the east (the arrow points away from the centre),
  // reverse slip up to the west (towards the centre); a horizontal
  // striation lies on the primitive, its arrow along the strike.
  const float c60 = 0.5f, s60 = std::sqrt(3.0f) / 2.0f;
  struct Case {
    const char* name;
    Vec3 FN, STR;
    double dx_sign, dy_sign;  // expected signs of the arrow in the document (y down)
    int radial;               // +1 outward, -1 inward, 0 along the primitive
  } cases[] = {
      {"normal", Vec3{{-s60, 0.0f, -c60}}, Vec3{{c60, 0.0f, -s60}}, 1.0, 0.0, 1},
      {"reverse", Vec3{{-s60, 0.0f, -c60}}, Vec3{{-c60, 0.0f, s60}}, -1.0, 0.0, -1},
      {"dextral", Vec3{{0.0f, 1.0f, 0.0f}}, Vec3{{1.0f, 0.0f, 0.0f}}, 1.0, 0.0, 0},
  };
  BatchResult r = sample_result("T");
  r.data.resize(1);
  const NetFrame f;
  for (const Case& c : cases) {
    r.data[0].FN = c.FN;
    r.data[0].STR = c.STR;
    const Arrow a = arrow_of(figure_svg(r), r.data[0].NUM);
    const double dx = a.x2 - a.x1, dy = a.y2 - a.y1;
    EXPECT_GT(dx * c.dx_sign + dy * c.dy_sign, 5.0) << c.name;
    const double r1 = std::hypot(a.x1 - f.cx, a.y1 - f.cy);
    const double r2 = std::hypot(a.x2 - f.cx, a.y2 - f.cy);
    if (c.radial > 0) {
      EXPECT_GT(r2, r1 + 5.0) << c.name;
    } else if (c.radial < 0) {
      EXPECT_LT(r2, r1 - 5.0) << c.name;
    } else {
      EXPECT_NEAR(r1, f.radius, 0.01) << c.name;
    }
  }
}

TEST(MohrPanel, UnorderedPrincipalValuesLeaveItEmpty) {
  BatchResult r = sample_result("T");
  r.run.stage3.VP(1) = std::numeric_limits<float>::quiet_NaN();
  const std::string svg = figure_svg(r);
  EXPECT_NE(svg.find("no diagram"), std::string::npos);
  EXPECT_EQ(svg.find("class=\"best\""), std::string::npos);
  EXPECT_EQ(svg.find("nan"), std::string::npos);
}

}  // namespace
}  // namespace zk::batch
