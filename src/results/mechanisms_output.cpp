#include "results/mechanisms_output.hpp"

#include <cmath>
#include <cstdio>

#include "results/result_json.hpp"

namespace zk::batch {

using json = nlohmann::ordered_json;

namespace {

json plane_json(const mech::NodalPlane& p, double misfit, double instability) {
  return {{"strike_deg", json_real(p.strike)},
          {"dip_deg", json_real(p.dip)},
          {"rake_deg", json_real(p.rake)},
          {"misfit_deg", json_real(misfit)},
          {"instability", json_real(instability)}};
}

}  // namespace

json mechanisms_json(const RunReport& r) {
  const MechanismsReport& m = *r.mechanisms;
  const mech::Outcome& o = m.outcome;
  json events = json::array();
  for (std::size_t k = 0; k < m.events.size(); ++k) {
    const mech::Event& e = m.events[k];
    const mech::EventOutcome& c = o.events[k];
    events.push_back({{"number", e.number},
                      {"planes", json::array({plane_json(e.planes[0], c.misfit[0], c.instability[0]),
                                              plane_json(e.planes[1], c.misfit[1], c.instability[1])})},
                      {"chosen", c.plane},
                      {"basis", mech::basis_name(c.basis)},
                      {"undecided", c.undecided},
                      {"P", attitude_json(e.pt.P)},
                      {"T", attitude_json(e.pt.T)}});
  }
  return {{"plane_choice", mech::rule_name(m.options.rule)},
          {"gap_deg", json_real(m.options.gap_deg)},
          {"friction", json_real(o.start.friction)},
          {"friction_fixed", o.friction_fixed},
          {"engine_runs", o.engine_runs},
          {"ended", mech::ended_name(o.ended)},
          {"NSEED", o.final.best_params.NSEED},
          {"undecided", o.undecided},
          {"plane_diversity", json_real(o.diversity)},
          {"rms_misfit_deg", json_real(o.rms_misfit)},
          {"events", events}};
}

std::string mechanisms_summary(const RunReport& r) {
  if (!r.mechanisms) return "";
  const MechanismsReport& m = *r.mechanisms;
  const mech::Outcome& o = m.outcome;
  int second = 0;
  for (const mech::EventOutcome& e : o.events) second += e.plane == 2;
  return std::string("  planes ") + mech::rule_name(m.options.rule) + ": " + std::to_string(second) + "/" +
         std::to_string(o.events.size()) + " auxiliary, " + std::to_string(o.undecided) + " undecided, friction" +
         format_number(" %.2f", o.start.friction) + ", " + mech::ended_name(o.ended) + " after " +
         std::to_string(o.engine_runs) + (o.engine_runs == 1 ? " run" : " runs");
}

}  // namespace zk::batch
