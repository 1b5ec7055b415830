// _zarkel: the compiled half of the package zarkel. Python's side
// (python/zarkel/__init__.py) gives the public names, their docstrings and
// the conversions to numpy and pandas; this side holds the engine's objects
// and runs them with the GIL released.
#include <optional>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <atomic>
#include <memory>

#include "data/nodal_planes.hpp"
#include "data/vector_faults.hpp"
#include "engine/stress_state.hpp"
#include "ensemble/ensemble.hpp"
#include "figures/figure_svg.hpp"
#include "frontend/run_error.hpp"
#include "phases/separate.hpp"
#include "results/result_json.hpp"
#include "run.hpp"
#include "runtime/errors.hpp"
#include "runtime/printable.hpp"

namespace py = pybind11;
using namespace zk;

namespace {

// The Python exception classes, set by the package at import.
py::object input_error;

// A KeyboardInterrupt (or another signal's exception) seen while a run polls.
struct Interrupted {};

// Runs `f` with the GIL released and turns the programs' errors into
// InputError with the message the programs print.
template <typename F>
auto guarded(F&& f) -> decltype(f()) {
  try {
    py::gil_scoped_release free;
    return f();
  } catch (const Interrupted&) {
    throw py::error_already_set();
  } catch (const rt::RunError&) {
    const RunErrorText t = run_error_text();
    PyErr_SetString(input_error.ptr(), rt::shortened(t.message).c_str());
    throw py::error_already_set();
  } catch (const ensemble::OptionError& e) {
    PyErr_SetString(input_error.ptr(), e.what());
    throw py::error_already_set();
  } catch (const phases::OptionError& e) {
    PyErr_SetString(input_error.ptr(), e.what());
    throw py::error_already_set();
  }
}

// A run's result: the report, the listing, the warnings; the document made once.
// A run's answer; its document is made the first time it is asked for
// (a run called for its arrays or listing does not pay for it).
struct Result {
  binding::Run run;
  std::optional<std::string> json;
  const std::string& document() {
    if (!json) json = batch::result_json_text(run.report);
    return *json;
  }
};

py::array_t<double> rows_of(const std::vector<field::V3>& v) {
  py::array_t<double> a({static_cast<py::ssize_t>(v.size()), py::ssize_t{3}});
  auto m = a.mutable_unchecked<2>();
  for (std::size_t i = 0; i < v.size(); ++i) {
    for (int j = 0; j < 3; ++j) m(static_cast<py::ssize_t>(i), j) = v[i][static_cast<std::size_t>(j)];
  }
  return a;
}

// N x 3 of any layout and real type, as double rows (numpy converts).
std::vector<field::V3> vectors_of(const py::array_t<double, py::array::forcecast>& a, const char* what) {
  if (a.ndim() != 2 || a.shape(1) != 3) {
    throw py::value_error(std::string(what) + " must be an N x 3 array");
  }
  const auto r = a.unchecked<2>();
  std::vector<field::V3> out(static_cast<std::size_t>(a.shape(0)));
  for (py::ssize_t i = 0; i < a.shape(0); ++i) out[static_cast<std::size_t>(i)] = {r(i, 0), r(i, 1), r(i, 2)};
  return out;
}

std::vector<field::V3> fn_of(const FaultSet& s, bool slip) {
  std::vector<field::V3> v;
  for (const FaultDatum& d : s.data) {
    const Vec3& x = slip ? d.STR : d.FN;
    v.push_back({static_cast<double>(x(1)), static_cast<double>(x(2)), static_cast<double>(x(3))});
  }
  return v;
}

std::string label_of(const FaultRecord& r) {
  std::string s(r.LABEL, 3);
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

Matrix3 matrix_of(const py::array_t<double, py::array::forcecast>& a) {
  if (a.ndim() != 2 || a.shape(0) != 3 || a.shape(1) != 3) throw py::value_error("a tensor must be a 3 x 3 array");
  const auto r = a.unchecked<2>();
  Matrix3 m{};
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) m[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)] = r(i, j);
  }
  return m;
}

}  // namespace

PYBIND11_MODULE(_zarkel, m) {
  m.doc() = "The compiled half of zarkel; use the package zarkel.";

  m.def("_set_input_error", [](py::object cls) { input_error = std::move(cls); });

  py::class_<binding::Parameters>(m, "_Parameters")
      .def(py::init<>())
      .def_property("ISEL", [](const binding::Parameters& p) { return p.params.ISEL; },
                    [](binding::Parameters& p, int v) { p.params.ISEL = v; })
      .def_property("IECHO", [](const binding::Parameters& p) { return p.params.IECHO; },
                    [](binding::Parameters& p, int v) { p.params.IECHO = v; })
      .def_property("selection", [](const binding::Parameters& p) { return p.params.selection; },
                    [](binding::Parameters& p, std::vector<int> v) { p.params.selection = std::move(v); })
      .def_property("INDX", [](const binding::Parameters& p) { return p.params.INDX; },
                    [](binding::Parameters& p, int v) { p.params.INDX = v; })
      .def_property("POURC", [](const binding::Parameters& p) { return p.params.POURC; },
                    [](binding::Parameters& p, int v) { p.params.POURC = v; })
      .def_property("NTIR", [](const binding::Parameters& p) { return p.params.NTIR; },
                    [](binding::Parameters& p, int v) { p.params.NTIR = v; })
      .def_property("NSEED", [](const binding::Parameters& p) { return p.params.NSEED; },
                    [](binding::Parameters& p, int v) { p.params.NSEED = v; })
      .def_property("IPRINT", [](const binding::Parameters& p) { return p.params.IPRINT; },
                    [](binding::Parameters& p, int v) { p.params.IPRINT = v; })
      .def_property("S1DIR", [](const binding::Parameters& p) { return p.params.S1DIR; },
                    [](binding::Parameters& p, int v) { p.params.S1DIR = v; })
      .def_property("S1PEN", [](const binding::Parameters& p) { return p.params.S1PEN; },
                    [](binding::Parameters& p, int v) { p.params.S1PEN = v; })
      .def_property("S3DIR", [](const binding::Parameters& p) { return p.params.S3DIR; },
                    [](binding::Parameters& p, int v) { p.params.S3DIR = v; })
      .def_property("S3PEN", [](const binding::Parameters& p) { return p.params.S3PEN; },
                    [](binding::Parameters& p, int v) { p.params.S3PEN = v; })
      .def_property("R", [](const binding::Parameters& p) { return static_cast<double>(p.params.R); },
                    [](binding::Parameters& p, float v) { p.params.R = v; })
      .def_property(
          "euler",
          [](const binding::Parameters& p) {
            const Vec4& e = p.params.euler;
            return std::vector<double>{static_cast<double>(e(1)), static_cast<double>(e(2)),
                                       static_cast<double>(e(3)), static_cast<double>(e(4))};
          },
          [](binding::Parameters& p, const std::vector<float>& v) {
            if (v.size() != 4) throw py::value_error("euler is (PSI, TETA, PHI, R): four values");
            for (int k = 0; k < 4; ++k) p.params.euler(k + 1) = v[static_cast<std::size_t>(k)];
          })
      .def_property_readonly("path", [](const binding::Parameters& p) { return p.path; })
      .def_property_readonly("file_warnings", [](const binding::Parameters& p) { return p.warnings; });

  py::class_<binding::Faults>(m, "_Faults")
      .def_property_readonly("normals", [](const binding::Faults& f) { return rows_of(fn_of(f.set, false)); })
      .def_property_readonly("slips", [](const binding::Faults& f) { return rows_of(fn_of(f.set, true)); })
      .def_property_readonly("numbers",
                             [](const binding::Faults& f) {
                               std::vector<int> v;
                               for (const FaultDatum& d : f.set.data) v.push_back(d.record.NUM);
                               return py::array_t<int>(static_cast<py::ssize_t>(v.size()), v.data());
                             })
      .def_property_readonly("labels",
                             [](const binding::Faults& f) {
                               std::vector<std::string> v;
                               for (const FaultDatum& d : f.set.data) v.push_back(label_of(d.record));
                               return v;
                             })
      .def_property_readonly("lines",
                             [](const binding::Faults& f) {
                               std::vector<int> v;
                               for (const FaultDatum& d : f.set.data) v.push_back(d.line);
                               return v;
                             })
      .def_property_readonly("title",
                             [](const binding::Faults& f) {
                               std::string t(f.set.title.data(), kTitleLen);
                               while (!t.empty() && t.back() == ' ') t.pop_back();
                               return t;
                             })
      .def_property_readonly("path", [](const binding::Faults& f) { return f.set.file; })
      .def_property_readonly("file_warnings", [](const binding::Faults& f) { return f.warnings; })
      .def_property_readonly("conventions", [](const binding::Faults& f) { return f.conventions; })
      .def_property_readonly("ignored", [](const binding::Faults& f) { return f.ignored; })
      .def_property_readonly("report_csv", [](const binding::Faults& f) { return f.report_csv; })
      .def("__len__", [](const binding::Faults& f) { return f.set.data.size(); });

  m.def("_read_parameters", [](const std::string& path) { return guarded([&] { return binding::read_parameters(path); }); });
  m.def("_read_data", [](const std::string& path) { return guarded([&] { return binding::read_data(path); }); });
  m.def("_faults",
        [](const py::array_t<double, py::array::forcecast>& normals, const py::array_t<double, py::array::forcecast>& slips,
           const std::vector<int>& numbers, const std::vector<std::string>& labels, const std::string& title) {
          const auto n = vectors_of(normals, "normals");
          const auto s = vectors_of(slips, "slips");
          return guarded([&] {
            binding::Faults f;
            f.set = field::fault_set_from_vectors(n, s, numbers, labels, &f.warnings);
            f.set.title = title;
            return f;
          });
        });

  m.def("_faults_from_table",
        [](std::vector<std::string> header, std::vector<std::vector<std::string>> rows, const std::string& name,
           const std::string& plane, const std::string& striation, const std::vector<std::string>& columns,
           const std::vector<std::string>& senses, std::optional<std::string> title, double warn_off_plane,
           double max_off_plane, const std::string& decimal) {
          import::Options o;
          o.decimal = decimal;
          o.plane = plane;
          o.striation = striation;
          o.title = std::move(title);
          o.warn_off_plane = warn_off_plane;
          o.max_off_plane = max_off_plane;
          return guarded([&] { return binding::faults_from_cells(std::move(header), std::move(rows), name, o, columns, senses); });
        });

  py::class_<binding::Catalogue>(m, "_Catalogue")
      .def_property_readonly("planes",
                             [](const binding::Catalogue& c) {
                               py::array_t<double> a({static_cast<py::ssize_t>(c.table.events.size()), py::ssize_t{3}});
                               auto w = a.mutable_unchecked<2>();
                               for (std::size_t i = 0; i < c.table.events.size(); ++i) {
                                 const mech::NodalPlane& p = c.table.events[i].planes[0];
                                 const auto k = static_cast<py::ssize_t>(i);
                                 w(k, 0) = p.strike;
                                 w(k, 1) = p.dip;
                                 w(k, 2) = p.rake;
                               }
                               return a;
                             })
      .def_property_readonly("ids",
                             [](const binding::Catalogue& c) {
                               std::vector<long long> v;
                               for (const mech::Event& e : c.table.events) v.push_back(e.number);
                               return py::array_t<long long>(static_cast<py::ssize_t>(v.size()), v.data());
                             })
      .def_property_readonly("rows", [](const binding::Catalogue& c) { return c.table.rows; })
      .def_property_readonly("known", [](const binding::Catalogue& c) {
        std::vector<int> v;
        for (const mech::Event& e : c.table.events) v.push_back(e.known);
        return v;
      })
      .def_property_readonly("labels", [](const binding::Catalogue& c) {
        std::vector<std::string> v;
        for (const mech::Event& e : c.table.events) v.push_back(e.label);
        return v;
      })
      .def_property_readonly("name", [](const binding::Catalogue& c) { return c.name; })
      .def("__len__", [](const binding::Catalogue& c) { return c.table.events.size(); });

  m.def("_catalogue", [](std::vector<std::string> header, std::vector<std::vector<std::string>> rows, const std::string& name) {
    return guarded([&] { return binding::catalogue_from_cells(std::move(header), std::move(rows), name); });
  });

  m.def("_invert_catalogue", [](const binding::Catalogue& c, const binding::Parameters& p, const std::string& plane_choice,
                                double choice_gap, std::uint64_t plane_seed, std::optional<double> friction,
                                std::optional<int> starts, int bootstrap, double confidence, std::uint64_t seed,
                                std::optional<int> jobs, bool strict, int phases, int max_phases, double outlier_misfit,
                                int phase_starts) {
    const binding::ChoiceOptions o{plane_choice, choice_gap, plane_seed, friction,   starts,         bootstrap,
                                   confidence,   seed,       jobs,       strict,     phases,         max_phases,
                                   outlier_misfit, phase_starts};
    const binding::Poll poll = [] {
      py::gil_scoped_acquire held;
      if (PyErr_CheckSignals() != 0) throw Interrupted{};
    };
    auto r = std::make_unique<Result>();
    guarded([&] {
      r->run = binding::run_catalogue(c, p, o, poll);
      return 0;
    });
    return r;
  });

  py::class_<Result>(m, "_Result")
      .def_property_readonly("json", [](Result& r) { return r.document(); })
      .def_property_readonly("listing", [](const Result& r) { return r.run.listing; })
      .def_property_readonly("warnings", [](const Result& r) { return r.run.warnings; })
      .def("figure_svg", [](const Result& r, bool planes, bool labels, bool couples) {
        return guarded([&] { return batch::figure_svg(r.run.report, batch::FigureOptions{planes, labels, couples}); });
      });

  m.def("_invert", [](const binding::Faults& f, const binding::Parameters& p, std::optional<int> starts, int bootstrap, double confidence,
                      std::uint64_t seed, std::optional<int> jobs, int phases, int max_phases, double outlier_misfit, bool strict,
                      int phase_starts) {
    const binding::RunOptions o{starts, bootstrap, confidence, seed, jobs, phases, max_phases, outlier_misfit, strict,
                                phase_starts};
    // The run polls; a signal's exception (KeyboardInterrupt) raised in the
    // interpreter cancels it.
    const binding::Poll poll = [] {
      py::gil_scoped_acquire held;
      if (PyErr_CheckSignals() != 0) throw Interrupted{};
    };
    auto r = std::make_unique<Result>();
    guarded([&] {
      r->run = binding::run(f, p, o, poll);
      return 0;
    });
    return r;
  });

  m.def("_stress_difference", [](const py::array_t<double, py::array::forcecast>& a,
                                 const py::array_t<double, py::array::forcecast>& b) {
    return stress_difference_deg(matrix_of(a), matrix_of(b));
  });
  m.def("_stress_state", [](const std::array<double, 3>& s1, const std::array<double, 3>& s2,
                            const std::array<double, 3>& s3, double R) {
    const StressState s = stress_state({s1, s2, s3}, R);
    py::dict d;
    d["shmax"] = s.shmax ? py::cast(*s.shmax) : py::none();
    d["poorly_defined"] = s.shmax_poorly_defined;
    d["r_prime"] = s.r_prime;
    d["regime"] = wsm_regime_code(s.wsm.regime);
    return d;
  });
  m.def("_auxiliary_plane", [](double strike, double dip, double rake) {
    const mech::NodalPlane p = mech::auxiliary(mech::NodalPlane{strike, dip, rake});
    return std::array<double, 3>{p.strike, p.dip, p.rake};
  });
  m.def("_pt_axes", [](double strike, double dip, double rake) {
    const mech::PTAxes a = mech::pt_axes(mech::vectors_of(mech::NodalPlane{strike, dip, rake}));
    return std::pair<std::array<double, 3>, std::array<double, 3>>{a.P, a.T};
  });
}
