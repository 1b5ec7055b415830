#include "batch/grid_run.hpp"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <stdexcept>

#include "batch/mechanisms_run.hpp"
#include "grid/damped.hpp"
#include "results/grid_output.hpp"
#include "ensemble/parallel.hpp"
#include "grid/cells.hpp"
#include "import/mechanism_table.hpp"
#include "runtime/errors.hpp"
#include "runtime/exit_status.hpp"
#include "runtime/interrupt.hpp"
#include "runtime/printable.hpp"
#include "table/csv_table.hpp"

namespace zk::batch {

namespace fs = std::filesystem;
using json = nlohmann::ordered_json;

namespace {

const char* column_of(grid::Axis a) {
  switch (a) {
    case grid::Axis::lon: return "longitude";
    case grid::Axis::lat: return "latitude";
    case grid::Axis::depth: return "depth_km";
    case grid::Axis::time: return "time";
  }
  return "?";
}

bool gridded(const grid::Grid& g, grid::Axis a) {
  for (grid::Axis b : g.axes) {
    if (a == b) return true;
  }
  return false;
}

// A cell of the events.csv a cell's folder holds: quoted when it holds the
// delimiter, a quote or a line end.
std::string quoted(const std::string& cell, char delimiter) {
  if (delimiter == table::kWhitespace) return cell;  // its cells hold no blanks and are never quoted
  if (cell.find_first_of(std::string("\"\r\n") + delimiter) == std::string::npos) return cell;
  std::string q = "\"";
  for (char c : cell) q += c == '"' ? std::string("\"\"") : std::string(1, c);
  return q + "\"";
}

// The events of one cell as a mechanism table: `catalogue_row` (the
// catalogue's row of the event) and the catalogue's columns, with the
// delimiter of the catalogue (so that decimal commas and --delimiter read
// as they did);
// a column of event ids is kept as catalogue_<name>, the cell's events being
// numbered 1..n in catalogue order (a DATA file numbers them up to 999).
std::string cell_table(const table::Table& t, const std::vector<std::size_t>& events) {
  const char d = t.delimiter;  // kWhitespace is a blank: the table is read back as it was
  std::string text = "catalogue_row";
  for (const std::string& h : t.header) {
    const std::string key = table::column_key(h);
    const bool id = key == "id" || key == "number" || key == "event";
    text += d + quoted(id ? "catalogue_" + h : h, d);
  }
  text += '\n';
  for (std::size_t e : events) {
    const table::Row& r = t.rows[e];
    text += std::to_string(r.number);
    for (const std::string& c : r.cells) text += d + quoted(c, d);
    text += '\n';
  }
  return text;
}

json number_or_null(const std::optional<double>& v) { return v ? json(*v) : json(nullptr); }

// The head of grid.json: the grid, the damping and the events outside.
json grid_head(const grid::Grid& g, const grid::Assignment& a, const import::MechanismTable& m, int min_events) {
  json axes = json::array(), sizes = json::array(), units = json::array(), origin = json::array();
  for (std::size_t k = 0; k < g.axes.size(); ++k) {
    const grid::Axis ax = g.axes[k];
    axes.push_back(grid::axis_name(ax));
    const bool km = ax == grid::Axis::depth || (g.projected && (ax == grid::Axis::lon || ax == grid::Axis::lat));
    units.push_back(ax == grid::Axis::time ? "s" : km ? "km" : "deg");
    sizes.push_back(g.sizes[k]);
    origin.push_back(ax == grid::Axis::time ? json(grid::format_time(g.origin[k])) : json(g.origin[k]));
  }
  json projection = nullptr;
  if (g.projected) {
    projection = {{"definition", g.projection_definition},
                  {"center", {{"longitude", g.projection->centre().lon}, {"latitude", g.projection->centre().lat}}},
                  {"cell_km", g.cell_km}};
  }
  json outside = json::array();
  for (const grid::Outside& o : a.outside) {
    outside.push_back({{"row", m.rows[o.event]},
                       {"cell", o.cell.empty() ? json(nullptr) : json(o.cell)},
                       {"reason", o.reason}});
  }
  return {{"grid",
           {{"axes", axes}, {"cell_sizes", sizes}, {"units", units}, {"origin", origin}, {"projection", projection}}},
          {"min_events", min_events},
          {"events", m.events.size()},
          {"kept_cells", a.kept()},
          {"damping", nullptr},
          {"outside", {{"events", a.outside.size()}, {"list", outside}}}};
}

// The value at `pointer` in a result document, null when absent.
json at(const json& doc, const char* pointer) {
  const json::json_pointer p(pointer);
  return doc.contains(p) ? doc.at(p) : json(nullptr);
}

// A cell's undamped answer, in the forms of its result document.
json undamped_answer(const json& doc) {
  return {{"axes", at(doc, "/final/axes")},
          {"R", at(doc, "/final/R")},
          {"SHmax_deg", at(doc, "/final/stress_state/SHmax_deg")},
          {"regime", at(doc, "/final/stress_state/wsm_regime")},
          {"bootstrap", at(doc, "/bootstrap")}};
}

struct CellInfo {
  grid::Index index;
  std::size_t events = 0;
  grid::CellShape shape;
};

json bounds_json(const grid::CellShape& s, const grid::Grid& g) {
  json b = {{"west", number_or_null(s.west)},
            {"east", number_or_null(s.east)},
            {"south", number_or_null(s.south)},
            {"north", number_or_null(s.north)}};
  if (gridded(g, grid::Axis::depth)) {
    b["depth_top_km"] = number_or_null(s.depth_top);
    b["depth_bottom_km"] = number_or_null(s.depth_bottom);
  }
  if (gridded(g, grid::Axis::time)) {
    b["time_start"] = s.time_start ? json(grid::format_time(*s.time_start)) : json(nullptr);
    b["time_end"] = s.time_end ? json(grid::format_time(*s.time_end)) : json(nullptr);
  }
  return b;
}

// The damped joint inversion over every cell with an event (gap cells
// between them are unknowns too): its damping, each cell's damped answer by
// index, and grid.json's entries of the cells that have no run of their own.
struct Damped {
  json damping;
  std::vector<DampingPoint> curve;
  std::map<grid::Index, json> answers;
  json unrun = json::array();
};

// The plane choice of the damped system is redone under the damped answer by
// instability at one friction for every cell (--friction, else 0.6): the
// choice of a cell's own run cannot serve, as cells below --min-events have
// none and a shard runs only some of the cells, while every shard must solve
// the same system.
Damped damped_grid(const Options& o, const grid::Grid& g, const grid::Assignment& a,
                   const import::MechanismTable& m, const std::vector<grid::Place>& places) {
  std::vector<grid::CellEvents> cells;
  for (const grid::Cell& c : a.cells) {
    grid::CellEvents ce{c.index, {}, {}};
    for (std::size_t e : c.events) ce.events.push_back(m.events[e]);
    cells.push_back(std::move(ce));
  }
  grid::ChoiceRule rule;
  rule.rule = mech::Rule::Instability;
  rule.friction = o.friction_fixed ? o.friction : 0.6;
  rule.gap_deg = o.choice_gap;
  char friction[32];
  std::snprintf(friction, sizeof friction, "%.2f", rule.friction);
  const std::string plane_choice = std::string("instability at friction ") + friction +
                                   ", redone under the damped answer (the same in every cell and shard)";
  Damped d;
  double e = 0.0;
  std::string method = "given (--damping)";
  try {
    if (o.damping == "auto") {
      // The corner of the trade-off curve on the planes chosen undamped.
      const grid::DampedChoice start = grid::choose_damped(cells, 0.0, rule);
      std::vector<grid::CellData> chosen;
      for (std::size_t c = 0; c < cells.size(); ++c) {
        grid::CellData cd{cells[c].index, {}};
        for (std::size_t k = 0; k < cells[c].events.size(); ++k) {
          cd.planes.push_back(cells[c].events[k].exact[start.planes[c][k] == 2 ? 1 : 0]);
        }
        chosen.push_back(std::move(cd));
      }
      const grid::Tradeoff t = grid::choose_damping(chosen);
      e = t.chosen;
      method = t.method;
      for (const grid::TradeoffPoint& p : t.curve) d.curve.push_back({p.e, p.misfit, p.model_length});
    } else {
      e = *table::parse_number(o.damping, false);
    }
    const grid::DampedChoice main = grid::choose_damped(cells, e, rule);
    std::vector<ensemble::BootstrapStats> stats;
    if (o.bootstrap > 0) {
      grid::BootstrapOptions bo;
      bo.e = e;
      bo.rule = rule;
      bo.seed = o.bootstrap_seed;
      bo.jobs = o.jobs > 0 ? o.jobs : ensemble::hardware_jobs();
      const auto reps = grid::damped_replicates(cells, main, bo, 0, o.bootstrap);
      stats = grid::damped_bootstrap_stats(main.solution, reps, o.confidence);
    }
    std::map<grid::Index, const grid::Cell*> cell_at;
    for (const grid::Cell& c : a.cells) cell_at[c.index] = &c;
    for (std::size_t k = 0; k < main.solution.cells.size(); ++k) {
      const grid::CellAnswer& c = main.solution.cells[k];
      const auto found = cell_at.find(c.index);
      const std::size_t events = found == cell_at.end() ? 0 : found->second->events.size();
      DampedCellView v;
      v.status = grid::cell_status_name(c.status);
      v.solved = c.status == grid::CellStatus::solved;
      v.stress = c.stress;
      v.state = c.state;
      v.planes = c.planes;
      v.mean_misfit_deg = c.mean_misfit_deg;
      v.rests_on_neighbours = events < static_cast<std::size_t>(o.min_events);
      if (k < stats.size()) v.bootstrap = &stats[k];
      v.replicates = o.bootstrap;
      v.confidence = o.confidence;
      v.seed = o.bootstrap_seed;
      json answer = damped_answer_json(v);
      d.answers[c.index] = answer;
      if (found != cell_at.end() && found->second->kept) continue;
      // A cell without a run of its own: below --min-events, or a gap cell.
      grid::Cell shape_of{c.index, {}, false};
      if (found != cell_at.end()) shape_of = *found->second;
      const grid::CellShape shape = grid::cell_shape(g, shape_of, places);
      d.unrun.push_back({{"cell", grid::cell_name(c.index)},
                         {"index", c.index},
                         {"center", {{"longitude", number_or_null(shape.longitude)},
                                     {"latitude", number_or_null(shape.latitude)}}},
                         {"bounds", bounds_json(shape, g)},
                         {"events", events},
                         {"undamped", nullptr},
                         {"damped", answer}});
    }
    d.damping = damping_json(e, method, d.curve, plane_choice);
    d.damping["gap_cells"] = main.solution.gap_cells;
    d.damping["rounds"] = main.rounds;
    d.damping["converged"] = main.converged;
  } catch (const grid::DampedError& x) {
    throw rt::RunStop(std::string("the damped inversion: ") + x.what());
  }
  return d;
}

}  // namespace

CampaignOptions campaign_options(const Options& o, const std::string& table) {
  CampaignOptions co;
  co.table = table;
  co.out_dir = o.out_dir;
  co.parameters = o.default_parameters;
  co.shard = o.shard;
  co.shards = o.shards;
  co.jobs = o.jobs > 0 ? o.jobs : ensemble::hardware_jobs();
  co.quiet = o.quiet;
  co.strict = o.strict;
  co.progress = !o.quiet && (o.progress || ::isatty(STDERR_FILENO) == 1);
  co.run_options = o.shaping;
  return co;
}

int run_grid(const Options& o, const CellRunner& run_cell, std::ostream& out, std::ostream& err) {
  rt::remove_temporaries_on_signal();
  try {
    grid::GridRequest request;
    double cell_km = 0.0;
    if (!o.cell_km.empty()) {
      const auto v = table::parse_number(o.cell_km, false);
      cell_km = v && *v > 0.0 && std::isfinite(*v) ? *v : -1.0;
    }
    if (const std::string why = grid::read_grid_request(o.grid, o.cell, cell_km, o.grid_origin, request); !why.empty()) {
      throw rt::RunStop(why, rt::kExitUsage);
    }
    const import::MechanismTable m = import::read_mechanism_table(o.data, mechanism_read_options(o));
    const import::EventPlaces read = import::read_event_places(m);
    const std::size_t columns[] = {read.longitude, read.latitude, read.depth_km, read.time};
    for (grid::Axis a : request.axes) {
      if (columns[static_cast<int>(a)] == 0) {
        throw rt::RunStop("--grid " + std::string(grid::axis_name(a)) + ": the catalogue " + o.data + " has no `" +
                              column_of(a) + "` column",
                          rt::kExitUsage);
      }
    }
    const bool times = std::find(request.axes.begin(), request.axes.end(), grid::Axis::time) != request.axes.end();
    std::vector<grid::Place> places;
    for (std::size_t e = 0; e < read.events.size(); ++e) {
      const import::EventPlaces::Place& p = read.events[e];
      grid::Place place{p.longitude, p.latitude, p.depth_km, std::nullopt};
      if (times && !p.time.empty()) {
        std::string why;
        place.time = grid::parse_time(p.time, &why);
        if (!place.time) table::refuse(m.table, m.rows[e], read.time, "the time " + why);
      }
      places.push_back(place);
    }
    grid::Grid g;
    try {
      g = grid::make_grid(request, places);
    } catch (const std::runtime_error& e) {
      throw rt::RunStop("the catalogue " + o.data + " cannot be gridded: " + e.what());
    }
    const grid::Assignment a = grid::assign(g, places, o.min_events);
    const bool damping = !o.damping.empty();
    Damped damped;
    if (damping) damped = damped_grid(o, g, a, m, places);

    StationTable cells;
    cells.file = o.data;
    cells.carried_columns = {"cell", "cell_events", "west", "east", "south", "north"};
    if (gridded(g, grid::Axis::depth)) {
      for (const char* c : {"depth_top_km", "depth_bottom_km"}) cells.carried_columns.emplace_back(c);
    }
    if (gridded(g, grid::Axis::time)) {
      for (const char* c : {"time_start", "time_end"}) cells.carried_columns.emplace_back(c);
    }
    if (damping) {
      for (const char* c : {"damped_SHmax_deg", "damped_R", "damped_regime", "damped_quality"}) {
        cells.carried_columns.emplace_back(c);
      }
    }
    std::map<std::string, std::string> texts;  // events.csv by cell
    std::map<std::string, CellInfo> info;
    for (const grid::Cell& c : a.cells) {
      if (!c.kept) continue;
      Station s;
      s.index = static_cast<int>(cells.stations.size());
      s.name = grid::cell_name(c.index);
      s.data = o.data;
      s.parameters = o.parameters;
      s.mechanisms = true;
      const grid::CellShape shape = grid::cell_shape(g, c, places);
      if (shape.longitude && std::fabs(*shape.longitude) <= 180.0) s.longitude = shape.longitude;
      if (shape.latitude && std::fabs(*shape.latitude) <= 90.0) s.latitude = shape.latitude;
      s.described = "cell " + s.name;
      const json b = bounds_json(shape, g);
      s.carried_values = {s.name, c.events.size()};
      for (const auto& [key, value] : b.items()) s.carried_values.push_back(value);
      if (damping) {
        const json& answer = damped.answers.at(c.index);
        for (const char* key : {"SHmax_deg", "R", "regime"}) s.carried_values.push_back(answer[key]);
        const json& b = answer["bootstrap"];
        s.carried_values.push_back(b.is_object() ? b["quality"] : json(nullptr));
      }
      s.carried.assign(s.carried_values.size(), "");
      texts[s.name] = cell_table(m.table, c.events);
      info[s.name] = CellInfo{c.index, c.events.size(), shape};
      cells.stations.push_back(std::move(s));
    }

    CampaignOptions co = campaign_options(o, o.data);
    co.stations = &cells;
    co.noun = "cells";
    co.grid = grid_head(g, a, m, o.min_events);
    if (damping) {
      co.grid["damping"] = damped.damping;
      co.grid["unrun_cells"] = damped.unrun;
    }
    co.grid_cell = [&](const Station& s, const StationRun& r) {
      const CellInfo& c = info.at(s.name);
      return json{{"cell", s.name},
                  {"index", c.index},
                  {"center", {{"longitude", number_or_null(c.shape.longitude)}, {"latitude", number_or_null(c.shape.latitude)}}},
                  {"bounds", bounds_json(c.shape, g)},
                  {"events", c.events},
                  {"status", r.ok() ? "ok" : "failed"},
                  {"undamped", r.ok() ? undamped_answer(r.document) : json(nullptr)},
                  {"damped", damping ? damped.answers.at(c.index) : json(nullptr)}};
    };
    co.outline = [&](const Station& s) {
      json ring = json::array();
      for (const geo::LonLat& p : info.at(s.name).shape.outline) ring.push_back({p.lon, p.lat});
      return ring.empty() ? json(nullptr) : ring;
    };
    if (!o.quiet) {
      out << o.data << ": " << m.events.size() << " events in " << a.cells.size() << " cells; " << a.kept()
          << " cells of at least " << o.min_events << " events kept";
      if (!a.outside.empty()) {
        out << "; " << a.outside.size() << (a.outside.size() == 1 ? " event" : " events")
            << " outside them (listed in grid.json)";
      }
      out << "\n";
    }
    const StationRunner runner = [&](const Station& s, const StationFolder& folder) {
      return run_cell(s, folder, texts.at(s.name));
    };
    return run_campaign(co, runner, out, err);
  } catch (const rt::RunError& e) {
    err << "zarkel-batch: " << rt::shortened(e.what()) << "\n";
    const auto* stop = dynamic_cast<const rt::RunStop*>(&e);
    return stop != nullptr ? stop->status : rt::kExitFailed;
  }
}

}  // namespace zk::batch
