// Field conventions to vectors, and vectors to DATA records read back by the
// DATA reader itself.
#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "data/field_faults.hpp"

namespace zk::field {
namespace {

const V3 kUpDip{-0.5, 0.0, 0.8660254037844386};  // up the line 090/60

TEST(FieldFaults, WorkedConventions) {
  const Plane p{90.0, 60.0};
  const std::tuple<const char*, V3, V3, char> cases[] = {
      {"rake -90: down the dip, normal", slip_from_rake(p, -90), line_of(90, 60), 'N'},
      {"rake 90: up the same line, reverse", slip_from_rake(p, 90), kUpDip, 'I'},
      {"rake 0: 000/00 sinistral", slip_from_rake(p, 0), line_of(0, 0), 'S'},
      {"rake 180: 180/00 dextral", slip_from_rake(p, 180), line_of(180, 0), 'D'},
      {"trend/plunge 090/60 N", *orient(p, line_of(90, 60), Sense::Normal), line_of(90, 60), 'N'},
      {"pitch 90 from N, I", *orient(p, *pitch_line(p, 90, 'N'), Sense::Reverse), kUpDip, 'I'},
      {"pitch 0 from S, dextral", *orient(p, *pitch_line(p, 0, 'S'), Sense::Dextral), line_of(180, 0), 'D'},
      {"pitch 0 from N, sinistral", *orient(p, *pitch_line(p, 0, 'N'), Sense::Sinistral), line_of(0, 0), 'S'},
  };
  for (const auto& [what, slip, want, sense] : cases) {
    EXPECT_LT(angle_deg(slip, want), 1e-9) << what;
    const Encoded e = encode(p, slip, dominant_sense(p, slip), 1, "");
    EXPECT_EQ(e.record.SENS, sense) << what;
    EXPECT_EQ(sense_letter(dominant_sense(p, slip)), sense) << what;  // the sense preferred on ties
    EXPECT_LT(e.rounding.worst(), 1e-4) << what;
  }
  // The same plane in the three forms.
  for (const Plane q : {plane_from_rhr_strike(0, 60), *plane_from_quadrant(180, 60, 'E'), *plane_from_quadrant(0, 60, 'E')}) {
    EXPECT_NEAR(q.dip_direction, 90.0, 1e-12);
  }
  EXPECT_FALSE(plane_from_quadrant(0, 60, 'N'));  // a letter along the strike names no side
  EXPECT_FALSE(pitch_line(p, 30, 'E'));           // an end letter across the strike
  EXPECT_TRUE(pitch_line(p, 90, 'E'));            // ... which a pitch of 90 does not need
  EXPECT_FALSE(orient(p, line_of(0, 0), Sense::Normal));     // N or I on a horizontal line
  EXPECT_FALSE(orient(p, line_of(90, 60), Sense::Dextral));  // D or S on the dip line
  EXPECT_TRUE(sense_ambiguous(line_of(5, 10), Sense::Reverse) && sense_ambiguous(line_of(80, 76), Sense::Sinistral));
  EXPECT_NEAR(project(p, line_of(90, 30))->off_plane, 30.0, 1e-9);
}

// Every whole-degree plane and striation in a coarse sweep, through the
// record and the DATA reader: within a thousandth of a degree; off the whole
// degrees, within the 1-degree bound.
TEST(FieldFaults, RecordsReproduceTheirData) {
  double worst_exact = 0.0, worst_off = 0.0;
  for (int dd = 0; dd < 360; dd += 15) {
    for (int dip : {0, 1, 30, 45, 60, 89, 90}) {
      for (int rake = -180; rake < 180; rake += 15) {
        for (const bool whole : {true, false}) {
          const Plane p = whole ? Plane{double(dd), double(dip)} : Plane{dd + 0.37, std::min(90.0, dip + 0.41)};
          const double r = rake + (whole ? 0.0 : 0.45);
          const V3 s = slip_from_rake(p, r);
          const Encoded e = encode(p, s, dominant_sense(p, s), 7, "AB");
          Vec3 FN, STR;
          convert_datum(e.record, FN, STR);
          const double dev = deviation(normal_of(p), s, FN, STR).worst();
          EXPECT_NEAR(dev, e.rounding.worst(), 1e-9);
          double& worst = whole ? worst_exact : worst_off;
          worst = std::max(worst, dev);
          EXPECT_FALSE(e.record.PEND == 90 && e.azimuth_form);
          EXPECT_TRUE(!e.azimuth_form || e.record.AZSTR > 0);
        }
      }
    }
  }
  EXPECT_LT(worst_exact, 1e-3);
  EXPECT_LT(worst_off, 1.0);
  std::printf("worst rounding: %.5f (whole degrees), %.3f (off them)\n", worst_exact, worst_off);
}

}  // namespace
}  // namespace zk::field
