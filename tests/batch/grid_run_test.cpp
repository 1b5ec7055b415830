// Gridded catalogues run by the real zarkel-batch: what grid.json, the
// summary, the map layer and the cells' folders say of one another, square
// km cells, cells larger than a DATA file, tables with a decimal comma.
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <utility>

#include <nlohmann/json.hpp>

#include "batch_files.hpp"
#include "figures/tradeoff_svg.hpp"

namespace zk::test {
namespace {

// The cells of a line of a table separated by `sep` (no quoting).
std::vector<std::string> fields(const std::string& line, char sep) {
  std::vector<std::string> out;
  std::stringstream cells(line);
  for (std::string c; std::getline(cells, c, sep);) out.push_back(c);
  return out;
}

using json = nlohmann::json;

class Grid : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    const fs::path ex = fs::path(ZARKEL_SOURCE_DIR) / "examples";
    fs::copy_file(ex / "mechanisms.PARAMETERS", at("P"));
    fs::copy_file(ex / "grid" / "catalogue.csv", at("catalogue.csv"));
  }
  Outcome grid(const std::string& table, const std::string& out, std::vector<std::string> more) const {
    std::vector<std::string> args = {at("P").string(), at(table).string(), at(out).string(), "--mechanisms", "-q"};
    args.insert(args.end(), more.begin(), more.end());
    return batch(args);
  }
  json read(const std::string& p) const { return json::parse(slurp(at(p))); }
  // The summary's rows by station, each as column -> cell text.
  std::map<std::string, std::map<std::string, std::string>> summary(const std::string& out) const {
    std::ifstream in(at(out + "/summary.csv"));
    std::vector<std::string> header;
    std::map<std::string, std::map<std::string, std::string>> rows;
    for (std::string line; std::getline(in, line);) {
      std::vector<std::string> cells;
      bool quoted = false;
      std::string cell;
      for (char c : line) {
        if (c == '"') quoted = !quoted;
        else if (c == ',' && !quoted) cells.push_back(std::exchange(cell, ""));
        else cell += c;
      }
      cells.push_back(cell);
      if (header.empty()) {
        header = cells;
        continue;
      }
      for (std::size_t k = 0; k < header.size() && k < cells.size(); ++k) rows[cells[0]][header[k]] = cells[k];
    }
    return rows;
  }
};

TEST_F(Grid, FilesAgreeWithOneAnother) {
  const Outcome r = grid("catalogue.csv", "g", {"--grid", "lon,lat,time", "--cell", "0.2,0.2,300d", "--min-events",
                                                "10", "--damping", "auto", "--bootstrap", "5", "--jobs", "2"});
  ASSERT_EQ(r.status, 0) << r.err;
  const json g = read("g/grid.json");
  std::vector<fs::path> docs = {at("g/grid.json")};
  // Every event is in a kept cell or listed outside, once.
  std::size_t events = g["outside"]["events"].get<std::size_t>();
  EXPECT_EQ(g["outside"]["list"].size(), events);
  for (const json& c : g["cells"]) events += c["events"].get<std::size_t>();
  EXPECT_EQ(events, 66u);
  EXPECT_EQ(g["kept_cells"], g["cells"].size());
  EXPECT_EQ(g["grid"]["origin"], json::array({10.0, 45.0, "2019-04-14T00:00:00Z"}));  // 60 x 300 d from 1970

  const auto rows = summary("g");
  const json geo = read("g/stations.geojson");
  ASSERT_EQ(geo["features"].size(), g["cells"].size());
  for (std::size_t k = 0; k < g["cells"].size(); ++k) {
    const json& c = g["cells"][k];
    const std::string name = c["cell"];
    docs.push_back(at("g/" + name + "/result.json"));
    // The undamped answer is the cell's own result document's.
    const json doc = read("g/" + name + "/result.json");
    EXPECT_EQ(c["undamped"]["axes"], doc["final"]["axes"]) << name;
    EXPECT_EQ(c["undamped"]["SHmax_deg"], doc["final"]["stress_state"]["SHmax_deg"]) << name;
    EXPECT_EQ(c["undamped"]["bootstrap"], doc["bootstrap"]) << name;
    EXPECT_EQ(doc["files"]["data"], "events.csv");
    EXPECT_EQ(doc["N"], c["events"]) << name;
    // The summary row and the polygon say the same of the cell.
    const auto& row = rows.at(name);
    EXPECT_EQ(row.at("cell"), name);
    EXPECT_EQ(row.at("cell_events"), c["events"].dump());
    EXPECT_EQ(row.at("west"), c["bounds"]["west"].dump());
    EXPECT_EQ(row.at("time_start"), c["bounds"]["time_start"].get<std::string>());
    EXPECT_EQ(row.at("damped_SHmax_deg"), c["damped"]["SHmax_deg"].dump());
    EXPECT_EQ(row.at("damped_regime"), c["damped"]["regime"].get<std::string>());
    const json& f = geo["features"][k];
    EXPECT_EQ(f["geometry"]["type"], "Polygon");
    const json& ring = f["geometry"]["coordinates"][0];
    EXPECT_EQ(ring.front(), ring.back());
    EXPECT_EQ(ring[0], json::array({c["bounds"]["west"], c["bounds"]["south"]}));
    EXPECT_EQ(ring[2], json::array({c["bounds"]["east"], c["bounds"]["north"]}));
    EXPECT_EQ(f["properties"]["longitude"], c["center"]["longitude"]);
    // Its events.csv holds its events, renumbered, with their catalogue rows.
    const std::string events_csv = slurp(at("g/" + name + "/events.csv"));
    EXPECT_EQ(events_csv.rfind("catalogue_row,catalogue_id,longitude,", 0), 0u) << events_csv.substr(0, 80);
    EXPECT_EQ(static_cast<std::size_t>(std::count(events_csv.begin(), events_csv.end(), '\n')), c["events"].get<std::size_t>() + 1);
    EXPECT_FALSE(c["damped"]["rests_on_neighbours"].get<bool>());
  }
  // The cell of 5 events was not run: its damped answer rests on its neighbours.
  bool sparse = false;
  for (const json& u : g["unrun_cells"]) {
    EXPECT_TRUE(u["undamped"].is_null());
    EXPECT_TRUE(u["damped"]["rests_on_neighbours"].get<bool>());
    sparse = sparse || u["events"] == 5;
  }
  EXPECT_TRUE(sparse);
  EXPECT_FALSE(g["damping"]["curve"].empty());
  EXPECT_TRUE(fs::exists(at("g/tradeoff.svg")));
  expect_valid_results(docs);
}

TEST_F(Grid, SquareKilometreCellsHoldTheirEvents) {
  const Outcome r = grid("catalogue.csv", "k", {"--grid", "lon,lat", "--cell-km", "12", "--min-events", "3"});
  ASSERT_LE(r.status, 1) << r.err;  // a cell of few events may fail its PARAMETERS' NMIN
  const json g = read("k/grid.json");
  EXPECT_NE(g["grid"]["projection"]["definition"].get<std::string>().find("+proj=laea"), std::string::npos);
  EXPECT_EQ(g["grid"]["units"], json::array({"km", "km"}));
  ASSERT_FALSE(g["cells"].empty());
  for (const json& c : g["cells"]) {
    if (c["status"] != "ok") continue;
    std::ifstream in(at("k/" + c["cell"].get<std::string>() + "/events.csv"));
    std::string line;
    std::getline(in, line);
    int n = 0;
    while (std::getline(in, line)) {
      // catalogue_row,catalogue_id,longitude,latitude,...
      const std::vector<std::string> f = fields(line, ',');
      const std::string& lon = f.at(2);
      const std::string& lat = f.at(3);
      EXPECT_GE(std::stod(lon), c["bounds"]["west"].get<double>()) << line;
      EXPECT_LE(std::stod(lon), c["bounds"]["east"].get<double>()) << line;
      EXPECT_GE(std::stod(lat), c["bounds"]["south"].get<double>()) << line;
      EXPECT_LE(std::stod(lat), c["bounds"]["north"].get<double>()) << line;
      ++n;
    }
    EXPECT_EQ(n, c["events"]);
  }
  expect_valid_results({at("k/grid.json")});
}

TEST_F(Grid, CellBeyondADataFileAndDecimalComma) {
  // 360 events in one cell, in a table of semicolons and decimal commas.
  std::ifstream in(fs::path(ZARKEL_SOURCE_DIR) / "examples" / "mechanisms.csv");
  std::vector<std::string> sdr;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("id", 0) == 0) continue;
    const std::vector<std::string> f = fields(line, ',');
    sdr.push_back(f.at(1) + ";" + f.at(2) + ";" + f.at(3));
  }
  std::ofstream out(at("big.csv"));
  out << "longitude;latitude;time;strike;dip;rake\n";
  for (int k = 0; k < 360; ++k) {
    // Local times with an offset: all in the first day of 2021, UTC.
    out << "10," << 100 + k << ";45,5;2021-01-01T0" << k % 9 << ":00:00+02:00;" << sdr[k % sdr.size()] << "\n";
  }
  out.close();
  const Outcome r = grid("big.csv", "b", {"--grid", "lon,time", "--cell", "1,1d", "--starts", "1"});
  ASSERT_EQ(r.status, 0) << r.err;
  const json g = read("b/grid.json");
  ASSERT_EQ(g["cells"].size(), 2u);  // 00:00 and 01:00 local are the day before in UTC
  EXPECT_EQ(g["cells"][0]["cell"], "c_0_0");
  EXPECT_EQ(g["cells"][0]["events"], 80);
  EXPECT_EQ(g["cells"][1]["events"], 280);
  EXPECT_EQ(g["cells"][1]["bounds"]["time_start"], "2021-01-01T00:00:00Z");
  EXPECT_TRUE(fs::exists(at("b/c_0_1/DATA")));  // 280 events fit a DATA file
  EXPECT_EQ(slurp(at("b/c_0_1/events.csv")).rfind("catalogue_row;longitude;latitude;time;", 0), 0u);
  const json doc = read("b/c_0_1/result.json");
  EXPECT_EQ(doc["N"], 280);

  const Outcome whole = grid("big.csv", "w", {"--grid", "lon", "--cell", "1", "--starts", "1"});
  ASSERT_EQ(whole.status, 0) << whole.err;
  EXPECT_EQ(read("w/c_0/result.json")["N"], 360);
  EXPECT_FALSE(fs::exists(at("w/c_0/DATA")));  // more events than a DATA file holds
  EXPECT_TRUE(fs::exists(at("w/c_0/LISTING")));
}

TEST(TradeoffFigure, MarksTheChoiceAndSurvivesAFlatCurve) {
  struct Case {
    std::vector<batch::DampingPoint> curve;
    double chosen;
  };
  const Case cases[] = {
      {{{0.1, 2.0, 9.0}, {1.0, 2.5, 3.0}, {10.0, 4.0, 0.5}}, 1.0},
      {{{0.1, 2.0, 0.0}, {1.0, 2.0, 0.0}, {10.0, 2.0, 0.0}}, 0.1},  // no two cells adjacent: flat
      {{}, 0.0},
  };
  for (const Case& c : cases) {
    const std::string svg = batch::tradeoff_svg(c.curve, c.chosen, "a <method> & more");
    EXPECT_EQ(svg, batch::tradeoff_svg(c.curve, c.chosen, "a <method> & more"));
    EXPECT_NE(svg.find("a &lt;method&gt; &amp; more"), std::string::npos);
    EXPECT_EQ(svg.find("nan"), std::string::npos) << svg;
    EXPECT_EQ(svg.find("inf"), std::string::npos) << svg;
    for (const batch::DampingPoint& p : c.curve) {
      char title[64];
      std::snprintf(title, sizeof title, "<title>e = %.4g</title>", p.e);
      EXPECT_NE(svg.find(title), std::string::npos) << title;
    }
    // The chosen e alone is circled in red.
    const std::size_t red = svg.find("stroke=\"#c0392b\"");
    EXPECT_EQ(red != std::string::npos, !c.curve.empty());
    if (red != std::string::npos) {
      EXPECT_EQ(svg.find("stroke=\"#c0392b\"", red + 1), std::string::npos);
    }
  }
}

// Stopped while its cells run: an earlier run's files stay as they were and
// no temporary is left (the cells' events.csv included).
TEST_F(Grid, SignalLeavesEarlierFilesAsTheyWere) {
  ASSERT_EQ(grid("catalogue.csv", "g", {"--grid", "lon,lat", "--cell", "0.2,0.2"}).status, 0);
  const std::string before = slurp(at("g/grid.json")) + slurp(at("g/c_0_0/events.csv"));
  const int status = stopped_by_signal({at("P").string(), at("catalogue.csv").string(), at("g").string(), "--mechanisms",
                                        "--grid", "lon,lat", "--cell", "0.2,0.2", "--bootstrap", "100000", "--jobs",
                                        "2", "--quiet"},
                                       SIGTERM);
  EXPECT_EQ(status, 128 + SIGTERM);
  EXPECT_EQ(slurp(at("g/grid.json")) + slurp(at("g/c_0_0/events.csv")), before);
  for (const auto& e : fs::recursive_directory_iterator(at("g"))) {
    EXPECT_EQ(e.path().filename().string().rfind(".zarkel", 0), std::string::npos) << e.path();
  }
}

}  // namespace
}  // namespace zk::test
