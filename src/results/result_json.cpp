#include "results/result_json.hpp"

#include <cstdio>

#include <algorithm>
#include <stdexcept>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "results/ensemble_output.hpp"
#include "results/linear_output.hpp"
#include "results/mechanisms_output.hpp"
#include "results/phases_output.hpp"
#include "data/field_faults.hpp"

namespace zk::batch {

using json = nlohmann::ordered_json;

namespace {

// Final axes plunging more than this have no usable linearised trend error.
constexpr float kSteepAxis = 60.0f;

json vec3(const Vec3& v) { return json::array({json_float(v(1)), json_float(v(2)), json_float(v(3))}); }

json vec3(const AxisVector& v) { return json::array({json_real(v[0]), json_real(v[1]), json_real(v[2])}); }

// An azimuth in [0, period) that stays below period once rounded to a float.
json azimuth(double a, double period) {
  float f = static_cast<float>(a);
  if (f >= static_cast<float>(period)) f = 0.0f;
  return json_float(f);
}

std::string letter(char c) { return std::string(1, c); }

std::string trimmed(const char* s, std::size_t n) {
  std::string t(s, n);
  const auto b = t.find_first_not_of(' ');
  if (b == std::string::npos) return "";
  return t.substr(b, t.find_last_not_of(' ') - b + 1);
}

const char* mode_name(int INDX) {
  switch (INDX) {
    case 1: return "random tensor";
    case 2: return "sigma 1 imposed";
    case 3: return "sigma 3 imposed";
    case 4: return "sigma 1 and sigma 3 imposed";
    case 5: return "axes and R imposed";
    case 6: return "Euler angles and R imposed";
  }
  return "unknown";
}

const char* fit_end(FitEnd e) {
  switch (e) {
    case FitEnd::Converged: return "converged";
    case FitEnd::Iterations: return "iteration limit";
    case FitEnd::Decomposition: return "decomposition failed";
    case FitEnd::NoStep: return "no descent step";
  }
  return "";
}

json euler_json(float psi, float theta, float phi) {
  return {{"psi", json_float(psi)}, {"theta", json_float(theta)}, {"phi", json_float(phi)}};
}

json parameters_json(const RunParams& p) {
  json imposed = nullptr;
  if (p.INDX >= 2 && p.INDX <= 5) {
    imposed = {{"sigma1", {{"trend_deg", p.S1DIR}, {"plunge_deg", p.S1PEN}}},
               {"sigma3", {{"trend_deg", p.S3DIR}, {"plunge_deg", p.S3PEN}}},
               {"R", json_float(p.R)}};
  } else if (p.INDX == 6) {
    imposed = {{"euler_rad", euler_json(p.euler(1), p.euler(2), p.euler(3))}, {"R", json_float(p.euler(4))}};
  }
  return {{"selection_mode", p.ISEL}, {"echo", p.IECHO},          {"selection", p.selection},
          {"mode", p.INDX},           {"mode_name", mode_name(p.INDX)}, {"best_percent", p.POURC},
          {"draws", p.NTIR},          {"skipped_generator_values", p.NSEED},  {"detail", p.IPRINT},
          {"imposed", imposed}};
}

json summary_json(const MisfitSummary& s) {
  return {{"count", s.count},
          {"mean_deg", json_real(s.mean)},
          {"median_deg", json_real(s.median)},
          {"rms_deg", json_real(s.rms)}};
}

const ensemble::BootstrapReport* bootstrap_stats_of(const RunReport& r) {
  return r.ensemble && r.ensemble->bootstrap ? &*r.ensemble->bootstrap : nullptr;
}

json final_json(const RunReport& r) {
  const InversionResult& run = r.run;
  const CmqResult& fit = run.fit;
  json f = tensor_json(run.final_tensor());
  f["regression"] = {{"iterations", fit.iterations}, {"end", fit_end(fit.end)}, {"decomposition_ok", fit.svd_ok}};
  f["residual_std_deg"] = json_float(fit.ECART);
  f["misfit_statistics"] = {{"all", summary_json(r.misfit_all)}, {"best", summary_json(r.misfit_best)}};
  json errors = json::array();
  for (int L = 1; L <= 3; ++L) {
    const bool steep = !(run.final_tensor().PEN(L) <= kSteepAxis);
    errors.push_back({{"sigma", L},
                      {"trend_deg", steep ? json(nullptr) : json_float(fit.err_dir(L))},
                      {"plunge_deg", json_float(fit.err_pen(L))}});
  }
  f["linearised_errors"] = {{"axes", errors}, {"R", json_float(fit.err_R)}, {"meaningful", linearised_errors_meaningful(run, bootstrap_stats_of(r))}};
  f["stress_state"] = stress_state_json(r.state, static_cast<double>(run.final_tensor().P(4)));
  return f;
}

json datum_json(const RunReport& r, const Datum& d, int index) {
  const FaultRecord& f = d.as_read;
  json j = {{"index", index}, {"number", d.NUM}, {"line", d.line}, {"label", trimmed(f.LABEL, 3)}};
  j["record"] = {{"strike_deg", f.DIR},          {"dip_deg", f.PEND},
                 {"dip_quadrant", letter(f.QPEND)}, {"pitch_deg", f.PITCH},
                 {"pitch_quadrant", letter(f.QPITCH)}, {"striation_azimuth_deg", f.AZSTR},
                 {"sense", letter(f.SENS)}};
  j["normal"] = vec3(d.FN);
  j["slip"] = vec3(d.STR);
  j["normal_stress"] = json_real(d.stress.normal);
  j["shear_stress"] = json_real(d.stress.shear);
  j["predicted_slip"] = d.stress.slip ? vec3(*d.stress.slip) : json(nullptr);
  // The slips as a geologist reads them: direction of the hanging wall's
  // motion and rake from the right-hand-rule strike (double).
  const field::V3 normal{static_cast<double>(d.FN(1)), static_cast<double>(d.FN(2)), static_cast<double>(d.FN(3))};
  const field::Plane plane = field::plane_of_normal(normal);
  const auto slip_keys = [&](const std::optional<field::V3>& v, const char* trend, const char* plunge, const char* rake) {
    const std::optional<field::Direction> dir = v ? std::optional(field::direction_of(*v)) : std::nullopt;
    j[trend] = dir ? azimuth(dir->trend, 360.0) : json(nullptr);
    j[plunge] = dir ? json_real(dir->plunge) : json(nullptr);
    j[rake] = v ? json_real(field::rake_of(plane, *v)) : json(nullptr);
  };
  slip_keys(field::V3{static_cast<double>(d.STR(1)), static_cast<double>(d.STR(2)), static_cast<double>(d.STR(3))},
            "slip_trend_deg", "slip_plunge_deg", "rake_deg");
  // The plane of that rake: right-hand-rule strike (the plane dips to its
  // right), dip and dip direction, from the normal.
  j["strike_deg"] = azimuth(std::fmod(plane.dip_direction + 270.0, 360.0), 360.0);
  j["dip_deg"] = json_real(plane.dip);
  j["dip_direction_deg"] = azimuth(plane.dip_direction, 360.0);
  slip_keys(d.stress.slip, "predicted_trend_deg", "predicted_plunge_deg", "predicted_rake_deg");
  j["misfit_deg"] = json_float(misfit_degrees(d));
  j["misfit_rad"] = json_float(d.misfit);
  j["rank"] = d.rank;
  j["among_best"] = r.among_best(d);
  if (!r.run.has_stage4) {
    j["nearest"] = nullptr;
    return j;
  }
  json axes = json::array();
  for (int K = 1; K <= 3; ++K) {
    axes.push_back({{"sigma", K},
                    {"plunge_change_deg", json_float(d.nearest.DPEN(K))},
                    {"trend_change_deg", json_float(d.nearest.DDIRE(K))},
                    {"value_change", json_float(d.nearest.DSIG(K))},
                    {"plunge_deg", json_float(d.nearest.PENS(K))},
                    {"trend_deg", json_float(d.nearest.DIRES(K))}});
  }
  j["nearest"] = {{"angle_rad", json_float(d.nearest.ST)}, {"distance2", json_float(d.nearest.DX2)}, {"axes", axes}};
  return j;
}

}  // namespace

std::optional<double> linearised_cone_deg(const InversionResult& run, int L, double percent) {
  const CmqResult& fit = run.fit;
  const double plunge = static_cast<double>(run.final_tensor().PEN(L)) * 3.14159265358979323846 / 180.0;
  const double across = static_cast<double>(fit.err_dir(L)) * std::cos(plunge);
  const double along = static_cast<double>(fit.err_pen(L));
  const double e = std::sqrt(across * across + along * along) * std::sqrt(-2.0 * std::log(1.0 - percent / 100.0));
  if (!std::isfinite(e)) return std::nullopt;
  return e;
}

bool linearised_errors_meaningful(const InversionResult& run, const ensemble::BootstrapReport* cones) {
  const CmqResult& fit = run.fit;
  for (int L = 1; L <= 3; ++L) {
    const bool steep = !(run.final_tensor().PEN(L) <= kSteepAxis);  // its trend error is not given
    if (!steep && !(std::fabs(fit.err_dir(L)) < kBrokenErrorDeg)) return false;
    if (!(std::fabs(fit.err_pen(L)) < kBrokenErrorDeg)) return false;
  }
  if (!(std::fabs(fit.err_R) <= 1.0f)) return false;
  if (cones == nullptr) return true;
  for (int L = 1; L <= 3; ++L) {
    const std::optional<double>& cone = cones->stats.cone_deg[L - 1];
    if (!cone) continue;
    const std::optional<double> e = linearised_cone_deg(run, L, cones->confidence);
    if (!e || *e < 0.5 * *cone || *e > 2.0 * *cone) return false;
  }
  return true;
}

json json_float(float v) {
  if (!std::isfinite(v)) return nullptr;
  if (v == 0.0f) v = 0.0f;  // -0 is written 0
  char buf[32];
  const auto res = std::to_chars(buf, buf + sizeof buf, v);
  *res.ptr = '\0';
  return std::strtod(buf, nullptr);
}

json json_real(double v) {
  if (!std::isfinite(v)) return nullptr;
  if (std::fabs(v) > static_cast<double>(std::numeric_limits<float>::max())) return v;
  return json_float(static_cast<float>(v));
}

json json_optional_real(const std::optional<double>& v) { return v ? json_real(*v) : json(nullptr); }

std::string format_number(const char* f, double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, f, v);
  // A value that rounds to zero is written without a sign ("-0.0" is 0).
  if (buf[0] == '-' && std::strpbrk(buf, "123456789") == nullptr && std::strpbrk(buf, "0") != nullptr) {
    return buf + 1;
  }
  return buf;
}

json attitude_json(const AxisVector& v) {
  const Attitude a = attitude_of(v);
  return {{"trend_deg", json_real(a.trend >= 359.99999 ? 0.0 : a.trend)}, {"plunge_deg", json_real(a.plunge)}};
}

json axes_json(const TensorSnapshot& t) {
  json axes = json::array();
  for (int L = 1; L <= 3; ++L) {
    axes.push_back({{"sigma", L},
                    {"value", json_float(t.VP(L))},
                    {"trend_deg", json_float(t.DIRE(L))},
                    {"plunge_deg", json_float(t.PEN(L))}});
  }
  return axes;
}

json tensor_json(const TensorSnapshot& t) {
  json tensor = json::array();
  for (const auto& row : reduced_tensor(t)) tensor.push_back({json_real(row[0]), json_real(row[1]), json_real(row[2])});
  return {{"euler_rad", euler_json(t.P(1), t.P(2), t.P(3))},
          {"R", json_float(t.P(4))},
          {"axes", axes_json(t)},
          {"tensor", tensor},
          {"misfit_sum_rad2", json_float(t.F)},
          {"misfit_sum_all_rad2", json_float(t.FT)}};
}

json stress_state_json(const StressState& s, double R) {
  const auto maybe = [](const std::optional<double>& a) { return a ? azimuth(*a, 180.0) : json(nullptr); };
  return {{"SHmax_deg", maybe(s.shmax)},
          {"SHmax_poorly_defined", s.shmax_poorly_defined},
          {"R_at_bound", ensemble::R_at_bound(R)},
          {"horizontal_anisotropy", s.defined ? json_real(s.anisotropy) : json(nullptr)},
          {"R_prime", s.defined ? json_real(s.r_prime) : json(nullptr)},
          {"R_prime_class", s.defined ? json(r_prime_class_name(s.r_prime_class)) : json(nullptr)},
          {"wsm_regime", wsm_regime_code(s.wsm.regime)},
          {"wsm_SHmax_deg", maybe(s.wsm.shmax)}};
}

json quality_json(const ensemble::AnswerQuality& q) {
  return {{"rank", std::string(1, q.rank)},
          {"fit_rank", std::string(1, q.fit_rank)},
          {"spread_rank", q.spread_rank ? json(std::string(1, *q.spread_rank)) : json(nullptr)},
          {"n_used", q.n_used},
          {"n_given", q.n_given},
          {"mean_misfit_deg", json_real(q.mean_misfit_deg)},
          {"reasons", q.reasons}};
}

namespace {

// Strings that stand for the per-datum and per-event arrays in a document
// written piece by piece (control characters: no title or path has them
// once escaped as \u0001).
constexpr const char* kDataInPlace = "\x01zarkel data array\x01";
constexpr const char* kEventsInPlace = "\x01zarkel events array\x01";

json document(const RunReport& r, bool in_place);

}  // namespace

json result_json(const RunReport& r) { return document(r, false); }

std::string result_json_text(const RunReport& r) {
  std::string text;
  write_result_json(r, [&text](std::string_view piece) { text.append(piece); });
  return text;
}

void write_result_json(const RunReport& r, const std::function<void(std::string_view)>& sink) {
  if (r.quality.reasons.empty()) {  // not ranked yet: ranked here, so that every document has its quality
    RunReport ranked = r;
    rank_quality(ranked);
    write_result_json(ranked, sink);
    return;
  }
  const auto dump = [](const json& j) { return j.dump(2, ' ', false, json::error_handler_t::replace); };
  const std::string text = dump(document(r, true)) + "\n";
  struct Array {
    std::size_t at;
    std::string marker;
    std::size_t count;
    std::function<json(std::size_t)> element;
  };
  std::vector<Array> arrays;
  const auto place = [&](const char* marker, std::size_t count, std::function<json(std::size_t)> element) {
    const std::string quoted = dump(json(marker));
    const std::size_t at = text.find(quoted);
    if (at == std::string::npos || text.find(quoted, at + 1) != std::string::npos) {
      throw std::logic_error("the result document's arrays could not be placed");
    }
    arrays.push_back({at, quoted, count, std::move(element)});
  };
  place(kDataInPlace, r.data.size(), [&r](std::size_t i) { return datum_json(r, r.data[i], static_cast<int>(i + 1)); });
  if (r.mechanisms) {
    place(kEventsInPlace, r.mechanisms->events.size(),
          [&r](std::size_t k) { return mechanism_event_json(*r.mechanisms, k); });
  }
  std::sort(arrays.begin(), arrays.end(), [](const Array& a, const Array& b) { return a.at < b.at; });
  std::size_t from = 0;
  for (const Array& a : arrays) {
    sink(std::string_view(text).substr(from, a.at - from));
    from = a.at + a.marker.size();
    if (a.count == 0) {
      sink("[]");
      continue;
    }
    // The key's indentation: the elements go one step deeper, as dump() nests them.
    const std::size_t line = text.rfind('\n', a.at) + 1;
    const std::string outer(text.find_first_not_of(' ', line) - line, ' '), inner = outer + "  ";
    std::string piece = "[\n";
    for (std::size_t i = 0; i < a.count; ++i) {
      piece += inner;
      for (const char c : dump(a.element(i))) {
        piece += c;
        if (c == '\n') piece += inner;
      }
      piece += i + 1 < a.count ? ",\n" : "\n";
      sink(piece);
      piece.clear();
    }
    sink(outer + "]");
  }
  sink(std::string_view(text).substr(from));
}

namespace {

json document(const RunReport& r, bool in_place) {
  if (r.quality.reasons.empty()) {  // not ranked yet: ranked here, so that every document has its quality
    RunReport ranked = r;
    rank_quality(ranked);
    return document(ranked, in_place);
  }
  const InversionResult& run = r.run;
  json doc;
  doc["format_version"] = kResultFormatVersion;
  doc["program"] = "zarkel-batch";
  doc["program_version"] = "4.5";
  doc["files"] = {{"parameters", r.parameters_path}, {"data", r.data_path}, {"output", r.output_path}};
  doc["title"] = r.title;
  doc["warnings"] = r.warnings;
  doc["parameters"] = parameters_json(r.params);
  doc["N"] = run.N;
  doc["NMIN"] = run.NMIN;
  json stage2 = tensor_json(run.stage2);
  stage2["iterations"] = run.stage2_iterations;
  stage2["converged"] = run.stage2_converged;
  doc["stages"] = {{"stage1", run.has_stage1 ? tensor_json(run.stage1) : json(nullptr)}, {"stage2", stage2}};
  doc["final"] = final_json(r);
  doc["quality"] = quality_json(r.quality);
  json data = json::array();
  if (in_place) {
    data = kDataInPlace;
  } else {
    for (std::size_t i = 0; i < r.data.size(); ++i) data.push_back(datum_json(r, r.data[i], static_cast<int>(i + 1)));
  }
  doc["data"] = data;
  add_ensemble_json(doc, r);
  if (doc.contains("bootstrap")) {  // the rank of the answer, spread and fit together
    doc["bootstrap"]["quality"] = std::string(1, r.quality.rank);
    doc["bootstrap"]["quality_reason"] = r.quality.reasons.empty() ? std::string() : r.quality.reasons.front();
  }
  add_phases_json(doc, r);
  doc["linear"] = linear_json(r);
  if (r.mechanisms) doc["mechanisms"] = mechanisms_json(r, in_place ? kEventsInPlace : nullptr);
  return doc;
}

}  // namespace

}  // namespace zk::batch
