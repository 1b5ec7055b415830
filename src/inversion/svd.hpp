#pragma once
// Singular value decomposition A = U diag(W) V^T (Golub & Reinsch 1970,
// Numer. Math. 14, 403-420), single precision, singular values sorted into
// decreasing order. Domain: finite M x N matrices, M >= N >= 1.
namespace zk {

// The singular vectors computed besides W (the switches WITHU, WITHV).
enum class SvdVectors { None, Left, Right, Both };

// A: NM x N (column-major, leading dimension NM), overwritten by U when the
// left vectors are wanted; V: NV x N, written when the right ones are. EPS
// in: relative precision; out: EPS * x. Returns false when A holds a
// non-finite value or the QR iterations reach their bound (the outputs are
// then not a decomposition).
bool SVDY(int NM, int NV, int M, int N, SvdVectors vectors, float& EPS, float TOL, float* W, float* E, float* A,
          float* V);

}  // namespace zk
