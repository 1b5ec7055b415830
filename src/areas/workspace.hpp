#pragma once
// The shared work areas of one run, with the names, layouts and capacities of
// the system's vocabulary, gathered in the Workspace the driver owns and
// passes by reference to every routine. A new Workspace is a fresh run (numbers
// zero, texts blank, the generator at its seed): no state of the engine lives
// anywhere else.
#include <cstdint>
#include <istream>
#include <ostream>
#include <vector>

#include "areas/arrays.hpp"
#include "areas/text.hpp"
#include "runtime/units.hpp"

namespace zk {

constexpr int kMaxData = 300;   // fault data of a DATA file; the data arrays hold at least this many
constexpr int kMaxList = 200;   // selection list (eeet)
constexpr int kTitleLen = 80;   // DATA title (modi2)

// Constants written once by the driver at start.
struct block_t {
  float CONV = 0.0f;  // 57.29578, degrees per radian
  float PI = 0.0f;    // 3.141593
};

// Selection list (ENREG -> CONTRO).
struct eeet_t {
  int NLIST = 0;
  Vec<int, kMaxList> LIST;
};

// Selection switches (ENREG -> GEOLOG, CONTRO).
struct eeetc_t {
  int ISEL = 0;
  int IECHO = 0;
};

struct ind_t {
  int NMIN = 0;  // number of smallest misfits in the misfit sum
};

// Optimiser counters.
struct iop_t {
  int K = 0;     // trial-step counter
  int KMAX = 0;  // trial steps per call
  int NPAR = 0;  // parameters optimised (N inside OPTIMI)
};

// Current reduced stress tensor (CHANG, CHANGD).
struct mec_t {
  Mat<float, 3, 3> TENS;  // T(i, j), compression positive, trace 0
  Mat<float, 3, 3> ROT;   // ROT(L, c): component c of the axis of sigma L
  Vec<float, 3> VP;       // principal values sigma 1, 2, 3
};

// Derivatives of the tensor (CHANGD).
struct mecd_t {
  Arr3<float, 3, 3, 3> DROT;    // DROT(L, c, k) = d ROT(L, c) / d angle k
  Mat<float, 4, 4> G;           // parameter metric over (PSI, TETA, PHI, R)
  Vec<float, 3> DVP;            // dVP/dR
  Arr3<float, 3, 3, 3> DTENS;   // DTENS(i, j, k) = d TENS(i, j) / d angle k
  Mat<float, 3, 3> DTENSR;      // d TENS / dR
};

// The data arrays (modi1, tab, tir) are sized by reset(n): n zeros, n the
// capacity of the run (kMaxData, or the number of events of a table input).
struct modi1_t {
  DynVec<int> NUM;  // datum numbers as read (columns 70-72)
  modi1_t() { reset(kMaxData); }
  void reset(int n) { NUM.reset(n); }
};

struct modi2_t {
  Text<kTitleLen> TITRE;  // first record of the DATA file
};

struct spes_t {
  float ANGMAX = 0.0f;  // misfit at rank NMIN after a ranking evaluation
};

// Room for the ranking sort of more than kMaxData values (TRI), kept from
// one evaluation to the next.
struct RankScratch {
  std::vector<std::uint32_t> key;
  std::vector<int> rank, other, members, smaller_before;
  std::vector<float> orig;
  std::vector<std::uint64_t> bits;
  std::vector<int> tree;
};

// Misfits of the last evaluated tensor.
struct tab_t {
  DynVec<float> ANG;  // radians, sorted after a ranking evaluation
  DynVec<int> IX;     // datum of ANG(j) after a ranking evaluation
  DynVec<float> TT, ST;  // SOMME's products of each datum: |tau|^2, s.tau
  RankScratch rank;
  tab_t() { reset(kMaxData); }
  void reset(int n) {
    ANG.reset(n);
    IX.reset(n);
    TT.reset(n);
    ST.reset(n);
  }
};

// The fault data.
struct tir_t {
  DynMat<float, 3> STR;  // slip unit vector of the hanging wall
  DynMat<float, 3> FN;   // downward unit normal of the plane
  int N = 0;             // data kept
  tir_t() { reset(kMaxData); }
  void reset(int n) {
    STR.reset(n);
    FN.reset(n);
    N = 0;
  }
};

// Random-draw settings.
struct tiraz_t {
  int NSEED = 0;
  int INDX = 0;
};

// Console settings (initsio2).
struct iocom_t {
  int iostdin = 0;
  int iostdout = 0;
  int ioerrin = 0;
  int ioerrout = 0;
  int iocmdin = 0;
  int iocmdindex = 0;
  bool ioplotopen = false;
  bool iocmdopen = false;
  bool iopause = false;
  bool iominout = false;
  bool iomoreout = false;
  bool iomaxout = false;
};

// Run information (smaininfo2).
struct runinfo3com_t {
  int riprogno = 0;
  int rispare = 0;
  int ricode = 0;
  int riclock0 = 0;
  float ricpu0 = 0.0f;
  Text<11> riname[3];
  Text<4> riversion[3];
  Text<10> ridate[3];
  Text<13> risystem;
  Text<30> ricpu;
  Text<35> rihost;
  Text<10> riuser;
  Text<10> ristartdate;
  Text<8> ristarttime;
};

// State of the program's own generator (RANDUN): three 12-bit digits.
struct randun_t {
  int I1 = 3823;
  int I2 = 4006;
  int I3 = 2903;
};

// What EULAZ keeps from its first call for the whole run.
struct eulaz_t {
  Vec<float, 3> V1;     // imposed sigma 1 axis (INDX 2)
  float TH1 = 0.0f;     // its angle theta (radians)
  float P1 = 0.0f;      // its plunge (radians)
  float TH3 = 0.0f;     // imposed sigma 3 axis angles (INDX 3)
  float P3 = 0.0f;
};

// The imposed axes and ratio of modes 2 to 5 (run parameter record 4a),
// read by EULAZ at its first call.
struct imposed_t {
  int S1DIR = 0, S1PEN = 0, S3DIR = 0, S3PEN = 0;
  float R = 0.0f;
};

class Platform;  // system queries of the console frame (runframe/platform.hpp)

// Told how far stage 1 has come, every few thousand draws (zarkel-batch
// shows it on a long run).
class DrawProgress {
 public:
  virtual ~DrawProgress() = default;
  virtual void draws(int done, int total) = 0;
};

struct Workspace {
  Workspace(std::istream& console_in, std::ostream& console_out)
      : units(console_in, console_out) {}

  block_t block;
  eeet_t eeet;
  eeetc_t eeetc;
  ind_t ind;
  iop_t iop;
  mec_t mec;
  mecd_t mecd;
  modi1_t modi1;
  modi2_t modi2;
  spes_t spes;
  tab_t tab;
  tir_t tir;
  tiraz_t tiraz;
  iocom_t iocom;
  runinfo3com_t runinfo3com;
  randun_t randun;
  eulaz_t eulaz;
  imposed_t imposed;

  rt::Units units;                // 3 PARAMETERS, 4 DATA, 8 OUTPUT, 5/6 console
  Platform* platform = nullptr;   // set by the driver (or a test)
  DrawProgress* progress = nullptr;  // none unless a front end asks
};

}  // namespace zk
