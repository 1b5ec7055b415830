// EULAZ: the candidate tensors of stage 1 and the imposed starting tensor.
#include <cmath>
#include <string>

#include "data/geometry.hpp"
#include "data/input_context.hpp"
#include "data/random.hpp"

namespace zk {

namespace {

constexpr float kThreshold = 0.001f;  // sigma 3 taken as vertical below this

// The same tensor with PSI brought into (0, pi].
void normalise(float PI, float& PSI, float& TETA, float& PHI) {
  if (PSI >= PI) {
    PSI = PSI - PI;
    TETA = PI - TETA;
    PHI = PI - PHI;
  }
}

void draw_all(Workspace& ws, float& PSI, float& TETA, float& PHI, float& R) {
  const float PI = ws.block.PI;
  RINDU(ws, PHI, PI);
  RINDU(ws, TETA, PI);
  RINDU(ws, PSI, PI);
  RINDU(ws, R, 1.0f);
}

// sigma 1 imposed (ws.eulaz V1, TH1, P1): sigma 3 drawn in the plane normal
// to it, at angle OMEGA from the horizontal.
void draw_sigma3(Workspace& ws, float& PSI, float& TETA, float& PHI, float& R) {
  const float PI = ws.block.PI;
  const eulaz_t& e = ws.eulaz;
  float OMEGA = 0.0f;
  RINDU(ws, OMEGA, PI);
  const float sp = std::sin(e.P1);
  const float cp = std::cos(e.P1);
  const float st = std::sin(e.TH1);
  const float ct = std::cos(e.TH1);
  const float so = -std::sin(OMEGA);
  const float co = std::cos(OMEGA);
  Vec3 V3;
  V3(1) = sp * so * ct - st * co;
  V3(2) = sp * so * st + ct * co;
  V3(3) = cp * so;
  euler_from_axes(e.V1, V3, kThreshold, PI, e.TH1, PSI, TETA, PHI);
  normalise(PI, PSI, TETA, PHI);
  RINDU(ws, R, 1.0f);
}

// sigma 3 imposed (ws.eulaz TH3, P3): the rotation about it drawn.
void draw_sigma1(Workspace& ws, float& PSI, float& TETA, float& PHI, float& R) {
  const float PI = ws.block.PI;
  const eulaz_t& e = ws.eulaz;
  RINDU(ws, PHI, PI);
  TETA = PI / 2.0f - e.P3;
  PSI = e.TH3 - PI / 2.0f;
  if (PSI < 0.0f) PSI = PSI + 2.0f * PI;
  normalise(PI, PSI, TETA, PHI);
  RINDU(ws, R, 1.0f);
}

void write_abnormal(Workspace& ws) { ws.units.write(unit::kListing, "(10X,'  CAS ANORMAL  ')"); }

[[noreturn]] void stop_abnormal(Workspace& ws, int INDX) {
  write_abnormal(ws);
  // Refused before any run starts (run_params_problem); kept for a caller
  // that sets the mode by hand.
  throw rt::RunStop("INDX = " + std::to_string(INDX) +
                    " is not an inversion mode: INDX must be 1 to 6; no starting tensor can be set");
}

void first_call(Workspace& ws, float& PSI, float& TETA, float& PHI, float& R) {
  const int INDX = ws.tiraz.INDX;
  const float PI = ws.block.PI;
  if (INDX < 1 || INDX > 6) {
    ws.units.write_list(unit::kListing);
    stop_abnormal(ws, INDX);
  }
  const imposed_t& imp = ws.imposed;
  const int S1DIR = imp.S1DIR, S1PEN = imp.S1PEN, S3DIR = imp.S3DIR, S3PEN = imp.S3PEN;
  if (INDX != 1) {
    R = imp.R;
    ws.units.write(unit::kListing,
                   "(T20,'    PARAMETRES CHOISIS,  SIGMA 1   DIR=',I3,'  PEND=',I2,T86,'*',/,"
                   "T20,'*    SIGMA 3  DIR=',I3,'  PEND=',I2,'   R=',F7.4,T86,'*')",
                   S1DIR, S1PEN, S3DIR, S3PEN, R);
  }
  ws.units.write_list(unit::kListing);

  eulaz_t& e = ws.eulaz;
  switch (INDX) {
    case 1:
      draw_all(ws, PSI, TETA, PHI, R);
      break;
    case 2:
      e.V1 = axis_vector(S1DIR, S1PEN);
      e.TH1 = axis_theta(S1DIR);
      e.P1 = static_cast<float>(S1PEN) * kRadPerDeg;
      draw_sigma3(ws, PSI, TETA, PHI, R);
      break;
    case 3:
      e.TH3 = axis_theta(S3DIR);
      e.P3 = static_cast<float>(S3PEN) * kRadPerDeg;
      draw_sigma1(ws, PSI, TETA, PHI, R);
      break;
    case 4:
    case 5: {
      const Vec3 V1 = axis_vector(S1DIR, S1PEN);
      const Vec3 V3 = axis_vector(S3DIR, S3PEN);
      euler_from_axes(V1, V3, kThreshold, PI, axis_theta(S1DIR), PSI, TETA, PHI);
      normalise(PI, PSI, TETA, PHI);
      if (INDX == 4) RINDU(ws, R, 1.0f);  // the R read is replaced
      break;
    }
    default:  // 6: the driver reads that tensor itself
      write_abnormal(ws);
      break;
  }
}

}  // namespace

void EULAZ(Workspace& ws, int ISW, float& PSI, float& TETA, float& PHI, float& R) {
  const int INDX = ws.tiraz.INDX;
  if (ISW == 1 || INDX < 1 || INDX > 6) {
    first_call(ws, PSI, TETA, PHI, R);
    return;
  }
  switch (INDX) {
    case 1:
      draw_all(ws, PSI, TETA, PHI, R);
      break;
    case 2:
      draw_sigma3(ws, PSI, TETA, PHI, R);
      break;
    case 3:
      draw_sigma1(ws, PSI, TETA, PHI, R);
      break;
    case 4:
      RINDU(ws, R, 1.0f);
      break;
    default:  // 5, 6: the tensor is imposed; nothing to draw
      write_abnormal(ws);
      break;
  }
}

}  // namespace zk
