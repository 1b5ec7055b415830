#pragma once
// The results of a batch run as one JSON document, format version 4, described
// by docs/result.schema.json. Every real the engine computed is written with
// the shortest digits that read back as the same float; values derived in
// double (stress state, tensor, plane stresses, statistics) are rounded to a
// float's precision the same way; a non-number is null.
#include <functional>
#include <optional>
#include <string_view>
#include <string>

#include <nlohmann/json.hpp>

#include "results/run_report.hpp"

namespace zk::batch {

constexpr int kResultFormatVersion = 4;

nlohmann::ordered_json result_json(const RunReport& r);

// The document as text (two-space indentation). Bytes of the title or of a
// label that are not UTF-8 are replaced, never an error.
std::string result_json_text(const RunReport& r);
// The same bytes given to `sink` piece by piece: the per-datum and per-event
// arrays are written one element at a time, never held whole as JSON values
// (a catalogue of 100,000 events would take gigabytes).
void write_result_json(const RunReport& r, const std::function<void(std::string_view)>& sink);

// The JSON value of one float: the double nearest to the float's shortest
// decimal form, or null when it is not finite.
nlohmann::ordered_json json_float(float v);
// Whether the linearised errors of the regression say anything: not when a
// trend error given (axes plunging up to 60 degrees) or a plunge error
// reaches kBrokenErrorDeg, or the error on R passes 1 (the linearisation has
// broken down); and, with a bootstrap, not when an axis's linearised error
// taken to the cones' confidence is under half or over twice its cone (the
// linearisation misjudges the uncertainty). The summary line never quotes
// them then.
constexpr float kBrokenErrorDeg = 85.0f;
bool linearised_errors_meaningful(const InversionResult& run, const ensemble::BootstrapReport* cones = nullptr);

// The linearised angular error of axis L (degrees, double): the plunge
// error and the trend error across the axis (times the cosine of the
// plunge) combined, taken to `percent` % confidence as the radius of a
// two-dimensional normal error (x sqrt(-2 ln(1 - P))). None when not finite.
std::optional<double> linearised_cone_deg(const InversionResult& run, int L, double percent);
// A double rounded to the nearest float, then as json_float.
nlohmann::ordered_json json_real(double v);
// json_real of a value that may be absent (null then).
nlohmann::ordered_json json_optional_real(const std::optional<double>& v);
// One number through a printf format ("%.1f"), for summary lines and captions.
std::string format_number(const char* f, double v);

// The attitude of an axis (double): {"trend_deg" in [0, 360), "plunge_deg"}.
nlohmann::ordered_json attitude_json(const AxisVector& v);
// The principal axes of a tensor, [{"sigma", "value", "trend_deg",
// "plunge_deg"} x 3], and the whole tensor object (Euler angles, R, axes,
// reduced tensor, misfit sums): the forms every tensor of the document takes.
nlohmann::ordered_json axes_json(const TensorSnapshot& t);
nlohmann::ordered_json tensor_json(const TensorSnapshot& t);

// The stress state object ("final.stress_state").
// The stress state of a tensor of ratio R (R_at_bound: R below 0.05 or
// above 0.95).
nlohmann::ordered_json stress_state_json(const StressState& s, double R);

// The `quality` object of an answer.
nlohmann::ordered_json quality_json(const ensemble::AnswerQuality& q);

}  // namespace zk::batch
