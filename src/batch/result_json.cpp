#include "batch/result_json.hpp"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "report/report.hpp"

namespace zk::batch {

using json = nlohmann::ordered_json;

namespace {

constexpr float kDegPerRad = 57.29578f;  // CONV of the run, for the misfit in degrees

json vec3(const Vec3& v) { return json::array({json_float(v(1)), json_float(v(2)), json_float(v(3))}); }

std::string letter(char c) { return std::string(1, c); }

json tensor_json(const TensorSnapshot& t) {
  json axes = json::array();
  for (int L = 1; L <= 3; ++L) {
    axes.push_back({{"sigma", L},
                    {"value", json_float(t.VP(L))},
                    {"direction", json_float(t.DIRE(L))},
                    {"plunge", json_float(t.PEN(L))}});
  }
  return {{"PSI", json_float(t.P(1))},
          {"TETA", json_float(t.P(2))},
          {"PHI", json_float(t.P(3))},
          {"R", json_float(t.P(4))},
          {"ratio", json_float(listed_ratio(t.VP))},
          {"axes", axes},
          {"F", json_float(t.F)},
          {"FT", json_float(t.FT)}};
}

json datum_json(const Datum& d, int index, int NMIN) {
  json j = {{"index", index}, {"NUM", d.NUM}};
  const FaultRecord& f = d.as_read;
  j["plane"] = {{"DIR", f.DIR}, {"PEND", f.PEND}, {"QPEND", letter(f.QPEND)}};
  j["striation"] = {{"PITCH", f.PITCH}, {"QPITCH", letter(f.QPITCH)}, {"AZSTR", f.AZSTR}, {"SENS", letter(f.SENS)}};
  j["label"] = std::string(f.LABEL, 3);
  j["normal"] = vec3(d.FN);
  j["slip"] = vec3(d.STR);
  j["misfit_rad"] = json_float(d.misfit);
  j["misfit_deg"] = json_float(d.misfit * kDegPerRad);
  j["rank"] = d.rank;
  j["among_best"] = d.rank >= 1 && d.rank <= NMIN;
  json axes = json::array();
  for (int K = 1; K <= 3; ++K) {
    axes.push_back({{"sigma", K},
                    {"DPEN", json_float(d.nearest.DPEN(K))},
                    {"DDIRE", json_float(d.nearest.DDIRE(K))},
                    {"DSIG", json_float(d.nearest.DSIG(K))},
                    {"plunge", json_float(d.nearest.PENS(K))},
                    {"direction", json_float(d.nearest.DIRES(K))}});
  }
  j["nearest"] = {{"ST", json_float(d.nearest.ST)}, {"DX2", json_float(d.nearest.DX2)}, {"axes", axes}};
  return j;
}

}  // namespace

json json_float(float v) {
  if (!std::isfinite(v)) return nullptr;
  char buf[32];
  const auto res = std::to_chars(buf, buf + sizeof buf, v);
  *res.ptr = '\0';
  return std::strtod(buf, nullptr);
}

json result_json(const BatchResult& r) {
  const InversionResult& run = r.run;
  const RunParams& prm = r.params;
  json doc;
  doc["program"] = "zarkel-batch";
  doc["version"] = "4.5";
  doc["files"] = {{"parameters", r.parameters_path}, {"data", r.data_path}, {"output", r.output_path}};
  doc["title"] = r.title;
  doc["parameters"] = {{"ISEL", prm.ISEL},     {"IECHO", prm.IECHO},   {"selection", prm.selection},
                       {"INDX", prm.INDX},     {"POURC", prm.POURC},   {"NTIR", prm.NTIR},
                       {"NSEED", prm.NSEED},   {"IPRINT", prm.IPRINT}};
  doc["N"] = run.N;
  doc["NMIN"] = run.NMIN;

  json stages;
  stages["stage1"] = run.has_stage1 ? tensor_json(run.stage1) : json(nullptr);
  stages["stage2"] = tensor_json(run.stage2);
  stages["stage2"]["iterations"] = run.stage2_iterations;
  json s3 = tensor_json(run.stage3);
  const CmqResult& fit = run.fit;
  json errors = json::array();
  for (int L = 1; L <= 3; ++L) {
    errors.push_back(
        {{"sigma", L}, {"direction", json_float(fit.err_dir(L))}, {"plunge", json_float(fit.err_pen(L))}});
  }
  s3["mean_deviation_deg"] = json_float(fit.ECART);
  s3["errors"] = {{"axes", errors}, {"R", json_float(fit.err_R)}};
  s3["decomposition_ok"] = fit.svd_ok;
  stages["stage3"] = s3;
  doc["stages"] = stages;
  doc["final"] = tensor_json(run.stage3);

  json data = json::array();
  for (std::size_t i = 0; i < r.data.size(); ++i) {
    data.push_back(datum_json(r.data[i], static_cast<int>(i + 1), run.NMIN));
  }
  doc["data"] = data;
  return doc;
}

std::string result_json_text(const BatchResult& r) {
  return result_json(r).dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

}  // namespace zk::batch
