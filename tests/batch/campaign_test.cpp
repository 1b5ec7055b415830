// Campaigns run by the real zarkel-batch: the bundled three-station example
// (one spreadsheet, one deliberate error), threads and shards giving the same
// bytes, the map layer read by a real GIS reader, bad tables.
#include <csignal>

#include <nlohmann/json.hpp>

#include "batch_files.hpp"

namespace zk::test {
namespace {

using json = nlohmann::json;

class Campaign : public ScratchTest {
 protected:
  // The bundled example, copied so that its relative paths hold.
  void SetUp() override {
    ScratchTest::SetUp();
    const fs::path ex = fs::path(ZARKEL_SOURCE_DIR) / "examples";
    fs::create_directories(at("examples/campaign"));
    for (const char* f : {"DATA", "PARAMETERS", "field.csv"}) fs::copy_file(ex / f, at("examples") / f);
    fs::copy_file(ex / "campaign" / "stations.csv", at("examples/campaign/stations.csv"));
  }
  Outcome campaign(const std::string& out, std::vector<std::string> more = {}) const {
    std::vector<std::string> args = {"--stations", at("examples/campaign/stations.csv").string(), "--out",
                                     at(out).string(), "--quiet"};
    args.insert(args.end(), more.begin(), more.end());
    return batch(args);
  }
  std::string file(const std::string& p) const { return slurp(at(p)); }
};

TEST_F(Campaign, ExampleRunsEveryStationAndSaysWhichFailed) {
  const Outcome two = campaign("j1", {"--jobs", "2"});
  fs::rename(at("j1"), at("j2"));
  const Outcome one = campaign("j1", {"--jobs", "1"});
  EXPECT_EQ(one.status, 1) << one.err;  // old-road: longitude 200
  EXPECT_NE(one.err.find("station old-road (row 4) failed"), std::string::npos) << one.err;
  EXPECT_NE(one.err.find("warning: 1 station is not in stations.geojson"), std::string::npos) << one.err;
  for (const char* f : {"summary.csv", "stations.geojson", "quarry-north/LISTING", "quarry-north/result.json",
                        "quarry-north/figure.svg", "river-cut/DATA", "river-cut/result.json", "river-cut/figure.svg"}) {
    EXPECT_FALSE(file(std::string("j1/") + f).empty()) << f;
    EXPECT_TRUE(file(std::string("j1/") + f) == file(std::string("j2/") + f)) << f;
  }
  EXPECT_FALSE(fs::exists(at("j1/old-road")));
  // The listing of a station is the single run's.
  ASSERT_EQ(batch({at("examples/PARAMETERS").string(), at("examples/DATA").string(), at("single").string(),
                   "--quiet"}).status, 0);
  EXPECT_TRUE(file("single") == file("j1/quarry-north/LISTING"));

  // Every feature's properties are its station's result document.
  const json geo = json::parse(file("j1/stations.geojson"));
  ASSERT_EQ(geo["features"].size(), 2u);
  for (const json& f : geo["features"]) {
    const json& p = f["properties"];
    const json r = json::parse(file("j1/" + p["station"].get<std::string>() + "/result.json"));
    EXPECT_EQ(f["geometry"]["coordinates"], json::array({p["longitude"], p["latitude"]}));
    EXPECT_EQ(p["R"], r["final"]["R"]);
    EXPECT_EQ(p["sigma3_trend"], r["final"]["axes"][2]["trend_deg"]);
    EXPECT_EQ(p["SHmax_deg"], r["final"]["stress_state"]["SHmax_deg"]);
    EXPECT_EQ(p["deviation_deg"], r["final"]["residual_std_deg"]);
    EXPECT_EQ(p["mean_misfit_deg"], r["final"]["misfit_statistics"]["all"]["mean_deg"]);
    EXPECT_EQ(p["lithology"].is_string(), true);
    EXPECT_EQ(p["SHmax_poorly_defined"], r["final"]["stress_state"]["SHmax_poorly_defined"]);
    EXPECT_EQ(p["NSEED"], r["starts"]["NSEED"]);  // ten starts by default, as a single run
    EXPECT_EQ(p["minima"], r["starts"]["minima"].size());
    EXPECT_TRUE(p["replicates"].is_null());  // no bootstrap, yet a rank of the fit with its reason
    EXPECT_EQ(p["quality"], r["quality"]["rank"]);
    EXPECT_EQ(p["quality_reason"], r["quality"]["reasons"][0]);
  }
  const std::vector<std::string> rows = lines_of(file("j1/summary.csv"));
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].rfind("station,longitude,latitude,status,message,N,NMIN,sigma1_trend,", 0), 0u);
  EXPECT_EQ(rows[3].rfind("old-road,,43.305,failed,\"CSV file ", 0), 0u) << rows[3];

  // A GIS reader sees two points with the summary's fields.
  const Outcome ogr = shell("ogrinfo -ro -al -so " + shell_quoted(at("j1/stations.geojson").string()));
  if (ogr.status == 127) GTEST_SKIP() << "ogrinfo (gdal-bin) is not installed";
  EXPECT_NE(ogr.out.find("Feature Count: 2"), std::string::npos) << ogr.out;
  EXPECT_NE(ogr.out.find("Geometry: Point"), std::string::npos) << ogr.out;
  for (const char* field : {"SHmax_deg: Real", "wsm_regime: String", "N: Integer", "lithology: String",
                            "SHmax_poorly_defined: Integer(Boolean)", "ambiguous: Integer(Boolean)", "NSEED: Integer",
                            "horizontal_anisotropy: Real"}) {
    EXPECT_NE(ogr.out.find(field), std::string::npos) << field << "\n" << ogr.out;
  }
}

TEST_F(Campaign, ShardsMergedGiveTheUnshardedBytes) {
  const std::string table =
      "station,data,parameters,longitude,latitude\n"
      "a,../DATA,../PARAMETERS,1,1\nb,../field.csv,../PARAMETERS,2,2\nc,../DATA,../PARAMETERS,,\n"
      "d,missing.dat,../PARAMETERS,4,4\ne,../DATA,../PARAMETERS,5,5\n";
  spit(at("examples/campaign/stations.csv"), table);
  campaign("all", {"--bootstrap", "4", "--starts", "2"});
  std::vector<std::string> shards;
  for (int i = 0; i < 3; ++i) {
    const std::string name = "shard" + std::to_string(i);
    campaign(name, {"--bootstrap", "4", "--starts", "2", "--shard", std::to_string(i) + "/3"});
    shards.push_back(at(name).string());
  }
  std::vector<std::string> args = {"--merge", at("merged").string()};
  args.insert(args.end(), shards.begin(), shards.end());
  const Outcome m = batch(args);
  EXPECT_EQ(m.status, 1) << m.err;  // d failed, as in the unsharded run
  for (const char* f : {"summary.csv", "stations.geojson", "map.svg", "b/DATA", "b/result.json", "e/figure.svg"}) {
    EXPECT_TRUE(file(std::string("all/") + f) == file(std::string("merged/") + f)) << f;
  }
  EXPECT_NE(file("all/summary.csv").find(",ok,,40,32,"), std::string::npos);
  const json r = json::parse(file("all/a/result.json"));
  const std::vector<std::string> row = lines_of(file("all/summary.csv"));
  // The SHmax interval holds the final SHmax; the regime shares add to 1.
  const double shmax = r["final"]["stress_state"]["SHmax_deg"].get<double>();
  EXPECT_LE(r["bootstrap"]["SHmax"]["low"].get<double>(), shmax);
  EXPECT_GE(r["bootstrap"]["SHmax"]["high"].get<double>(), shmax);
  double shares = 0.0;
  for (const auto& [regime, share] : r["bootstrap"]["regimes"].items()) shares += share.get<double>();
  EXPECT_NEAR(shares, 1.0, 1e-12);
  expect_valid_results({at("all/a/result.json")});
  std::string cone = ",";
  cone += r["bootstrap"]["axes"][0]["cone_deg"].dump();
  cone += ",";
  EXPECT_NE(row[1].find(cone), std::string::npos) << row[1];
  // The quality columns end the answer: replicates, failed, sd, rank and its
  // first reason (the answer's, as the bootstrap repeats them), share of the
  // station's regime.
  const json& b = r["bootstrap"];
  EXPECT_EQ(b["quality"], r["quality"]["rank"]);
  EXPECT_EQ(b["quality_reason"], r["quality"]["reasons"][0]);
  std::string tail;
  for (const json& v : {b["replicates"], b["failed"], b["SHmax"]["sd_deg"], b["quality"], b["quality_reason"],
                        b["regimes"][r["final"]["stress_state"]["wsm_regime"].get<std::string>()]}) {
    tail += ',';
    const std::string t = v.is_string() ? v.get<std::string>() : v.dump();
    tail += t.find(',') != std::string::npos ? "\"" + t + "\"" : t;
  }
  EXPECT_TRUE(row[1].ends_with(tail + ",,,")) << row[1] << "\n" << tail;  // then phase, phases, phase_members: blank

  const Outcome again = batch({"--merge", at("m2").string(), shards[0], shards[2]});
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.err.find("shard0 was merged into " + at("merged").string() + " already"), std::string::npos) << again.err;
}

TEST_F(Campaign, BadTablesNameTheRowAndTheOthersStillRun) {
  struct Case {
    const char* name;
    std::string table;
    int status;
    std::string says;
  } const cases[] = {
      {"no station column", "site,data\na,../DATA\n", 1, "has no `station` column"},
      {"no data column", "station,file\na,../DATA\n", 1, "has no `data` column"},
      {"unsafe name", "station,data,parameters\n../x,../DATA,../PARAMETERS\nok,../DATA,../PARAMETERS\n", 1,
       "row 2, column 1 (station): station name \"../x\" is not a folder name"},
      {"empty name", "station,data,parameters\n,../DATA,../PARAMETERS\nok,../DATA,../PARAMETERS\n", 1,
       "station name \"\" is not a folder name"},
      {"campaign file", "station,data,parameters\nsummary.csv,../DATA,../PARAMETERS\nok,../DATA,../PARAMETERS\n", 1,
       "station name \"summary.csv\" is the name of a campaign file"},
      {"twice", "station,data,parameters\nok,../DATA,../PARAMETERS\nok,../DATA,../PARAMETERS\n", 1,
       "row 3, column 1 (station): station \"ok\" is named twice"},
      {"longitude", "station,data,parameters,longitude,latitude\nok,../DATA,../PARAMETERS,200,1\n", 1,
       "longitude 200 is outside -180 to 180"},
      {"latitude text", "station,data,parameters,longitude,latitude\nok,../DATA,../PARAMETERS,1,north\n", 1,
       "latitude \"north\" is not a number"},
      {"no data file", "station,data,parameters\nok,none.dat,../PARAMETERS\n", 1, "none.dat does not exist"},
      {"data folder", "station,data,parameters\nok,..,../PARAMETERS\n", 1, "(data): data file " + at("examples").string() +
       "/ is a folder, not a file"},
      {"no parameters", "station,data\nok,../DATA\n", 1, "no parameters file"},
      // A carried column must not overwrite a result nor shift the summary.
      {"result name", "station,data,parameters,r\nok,../DATA,../PARAMETERS,5\n", 1,
       "row 1, column 4 (r): column \"r\" has the name of a summary column"},
      {"column twice", "station,data,parameters,notes,Notes\nok,../DATA,../PARAMETERS,a,b\n", 1,
       "row 1, column 5 (Notes): column \"Notes\" repeats column 4 (\"notes\")"},
      {"unnamed values", "station,data,parameters,\nok,../DATA,../PARAMETERS,x\n", 1,
       "row 2, column 4: a value in a column without a name"},
      {"unnamed empty", "station,data,parameters,,\nok,../DATA,../PARAMETERS,,\n", 0, "not in stations.geojson"},
  };
  for (const Case& c : cases) {
    spit(at("examples/campaign/stations.csv"), c.table);
    fs::remove_all(at("out"));
    const Outcome r = campaign("out", {"--starts", "1"});
    EXPECT_EQ(r.status, c.status) << c.name;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << c.name << ": " << r.err;
    if (c.status == 0 ||
        (c.table.find("\nok,../DATA,../PARAMETERS\n") != std::string::npos && std::string(c.name) != "twice")) {
      EXPECT_TRUE(fs::exists(at("out/ok/LISTING"))) << c.name;  // the good station still ran
    }
  }
}

// A station's warnings reach the user, named by station and row; with
// --strict the station is refused and the others run.
TEST_F(Campaign, WarningsOfEachStationAreShown) {
  std::string data = file("examples/DATA");
  data.replace(data.find("\n   59    55") + 1, 12, "   59    95");  // line 3: dip 95
  spit(at("examples/campaign/dip95.dat"), data);
  spit(at("examples/campaign/stations.csv"),
       "station,data,parameters\nsteep,dip95.dat,../PARAMETERS\nquarry,../DATA,../PARAMETERS\n");
  const std::string said = "warning: station steep (row 2): DATA file \"";
  for (const bool strict : {false, true}) {
    fs::remove_all(at("out"));
    const Outcome r = campaign("out", {"--starts", "1", strict ? "--strict" : "--quiet"});
    EXPECT_EQ(r.status, strict ? 1 : 0) << r.err;
    const auto at_line = r.err.find(said);
    ASSERT_NE(at_line, std::string::npos) << r.err;
    EXPECT_NE(r.err.find("dip95.dat\", line 3, columns 10-11: dip 95 is outside 0 to 90", at_line), std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("station steep (row 2) failed: --strict") != std::string::npos, strict) << r.err;
    EXPECT_TRUE(fs::exists(at("out/quarry/LISTING")));
  }
}

// A spreadsheet station carries its own import conventions: one exported
// in Windows-1252 with semicolons, decimal commas and German sense words
// imports as the UTF-8 example does; a convention misspelt, or given for a
// DATA file, is that station's failure, and the others still run.
TEST_F(Campaign, SpreadsheetStationsCarryTheirImportConventions) {
  std::string csv;
  for (std::string l : lines_of(file("examples/field.csv"))) {
    for (char& c : l) c = c == ',' ? ';' : c;
    for (const auto& [from, to] : {std::pair<std::string, std::string>{"normal", "Abschiebung"}, {";81;", ";81,0;"}}) {
      if (const auto at = l.find(from); at != std::string::npos) l.replace(at, from.size(), to);
    }
    csv += l + "\r\n";
  }
  csv.replace(csv.find("label"), 5, "Gel\x84nde");  // a Windows-1252 low quote in an ignored column's name
  spit(at("examples/campaign/de.csv"), csv);
  spit(at("examples/campaign/stations.csv"),
       "station,data,parameters,delimiter,decimal,encoding,sense_map,striation\n"
       "de,de.csv,../PARAMETERS,;,comma,cp1252,Abschiebung=N,\n"
       "plain,../field.csv,../PARAMETERS,,,,,\n"
       "bare,de.csv,../PARAMETERS,,,,,\n"
       "typo,de.csv,../PARAMETERS,,,utf8,,\n"
       "datafile,../DATA,../PARAMETERS,,,latin1,,\n");
  const Outcome r = campaign("out", {"--starts", "1"});
  EXPECT_EQ(r.status, 1) << r.err;
  const std::vector<std::string> rows = lines_of(file("out/summary.csv"));
  ASSERT_EQ(rows.size(), 6u);
  const json de = json::parse(file("out/de/result.json")), plain = json::parse(file("out/plain/result.json"));
  EXPECT_EQ(de["final"]["axes"], plain["final"]["axes"]);  // the same data, read with other conventions
  EXPECT_TRUE(rows[3].starts_with("bare,,,failed,")) << rows[3];
  EXPECT_NE(rows[3].find("--encoding"), std::string::npos) << rows[3];  // the refusal names the way out
  EXPECT_NE(rows[4].find("encoding \"\"utf8\"\" is not one of utf-8, latin1, cp1252"), std::string::npos) << rows[4];
  EXPECT_NE(rows[5].find("are for a field spreadsheet of faults"), std::string::npos) << rows[5];
}

// Stopped while its stations run (the spreadsheet one imported): no result
// and no temporary is left, the imported DATA included.
// A merge stopped by a signal at any of its renames (strace injects the
// signal as the rename is called; the program holds it while a group of
// renames is made) is finished by the same command, with the bytes of the
// unsharded campaign and no temporary left.
TEST_F(Campaign, MergeStoppedAtEveryRenameIsResumedToTheUnshardedBytes) {
  if (shell("strace -V").status != 0) GTEST_SKIP() << "strace is not installed (tools/ensure-packages.sh strace)";
  spit(at("examples/campaign/stations.csv"), "station,data,parameters,longitude,latitude\n"
                                             "a,../DATA,../PARAMETERS,1,1\nb,../field.csv,../PARAMETERS,2,2\n"
                                             "c,missing.dat,../PARAMETERS,3,3\nd,../DATA,../PARAMETERS,4,4\n");
  campaign("all");
  campaign("s0.orig", {"--shard", "0/2"});
  campaign("s1.orig", {"--shard", "1/2"});
  if (shell("cd " + shell_quoted(dir.string()) + " && strace -f -o /dev/null true").status != 0) {
    GTEST_SKIP() << "strace cannot trace here (ptrace is not permitted)";
  }
  const std::string merge = shell_quoted(ZARKEL_BATCH_BINARY) + " --merge m s0 s1";
  int stopped = 0;
  for (int n = 1; n < 100; ++n) {
    SCOPED_TRACE("signal at rename " + std::to_string(n));
    const Outcome first = shell("cd " + shell_quoted(dir.string()) +
                                " && rm -rf m s0 s1 && cp -a s0.orig s0 && cp -a s1.orig s1 &&"
                                // LeakSanitizer cannot run under ptrace
                                " ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 strace -f -qq -o /dev/null"
                                " -e trace=rename,renameat,renameat2 -e inject=rename,renameat,renameat2:signal=TERM:when=" +
                                std::to_string(n) + " " + merge);
    if (first.status != 128 + SIGTERM) {
      EXPECT_EQ(first.status, 1) << first.err;  // c failed, as in the unsharded run: every rename was passed
      break;
    }
    ++stopped;
    const Outcome again = shell("cd " + shell_quoted(dir.string()) + " && " + merge);
    EXPECT_EQ(again.status, 1) << again.err;
    for (const char* f : {"summary.csv", "stations.geojson", "map.svg", "campaign.json", "a/LISTING", "b/DATA",
                          "d/result.json"}) {
      EXPECT_TRUE(file(std::string("all/") + f) == file(std::string("m/") + f)) << f;
    }
    EXPECT_EQ(shell("cd " + shell_quoted(dir.string()) + " && find m s0 s1 -name '.zarkel-*'").out, "");
  }
  EXPECT_GT(stopped, 4) << "the merge makes fewer renames than expected: is the signal injected?";
}

TEST_F(Campaign, SignalLeavesNoFiles) {
  for (const int sig : {SIGINT, SIGTERM}) {
    fs::remove_all(at("out"));
    EXPECT_EQ(stopped_by_signal({"--stations", at("examples/campaign/stations.csv").string(), "--out",
                                 at("out").string(), "--bootstrap", "100000", "--jobs", "2", "--quiet"},
                                sig),
              128 + sig);
    for (const auto& e : fs::recursive_directory_iterator(at("out"))) {
      EXPECT_FALSE(e.is_regular_file()) << e.path();
    }
  }
}

}  // namespace
}  // namespace zk::test
