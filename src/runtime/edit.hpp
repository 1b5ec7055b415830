#pragma once
// One writer per edit descriptor, each giving the exact field GNU Fortran
// writes (asterisks when the value does not fit). Not for use outside
// src/runtime.
#include <string>
#include <string_view>

namespace zk::rt {

std::string edit_i(int v, int w, int m);           // Iw, Iw.m (m < 0: absent); w = 0: minimal width
std::string edit_z(int v, int w, int m);           // Zw, Zw.m
std::string edit_f(float x, int w, int d);         // Fw.d; w = 0: minimal width
std::string edit_e(float x, int w, int d, int e);  // Ew.d, Ew.dEe (e < 0: absent)
std::string edit_l(bool v, int w);                 // Lw
std::string edit_a(std::string_view s, int w);     // Aw; w < 0: bare A

// List-directed forms, without the separating blank.
std::string list_integer(int v);
std::string list_real(float x);

}  // namespace zk::rt
