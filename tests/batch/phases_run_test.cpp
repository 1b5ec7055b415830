// zarkel-batch --phases run as a user would: the listing stays the all-data
// run, each phase is reproduced by the console program from its files, the
// bytes do not depend on the jobs, and what cannot run is refused.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "areas/workspace.hpp"
#include "batch_files.hpp"
#include "results/phases_output.hpp"
#include "results/run_report.hpp"

namespace zk::test {
namespace {

using nlohmann::json;

class PhasesRun : public ScratchTest {
 protected:
  // The two-phase example with its listing, JSON and phase folder under `tag`.
  Outcome run(const std::string& tag, std::vector<std::string> options) {
    std::vector<std::string> args = {example("phases/PARAMETERS"), example("phases/DATA"), at("L").string(), "--json",
                                     at("j").string(), "--svg", at("s").string()};
    args.insert(args.end(), options.begin(), options.end());
    return tagged_batch(tag, args, {"L", "j", "s", "pd"});
  }
};

TEST_F(PhasesRun, PhaseFilesReproduceEachPhaseForAnyJobs) {
  ASSERT_EQ(run("plain", {}).status, 0);
  fs::create_directories(at("pd"));
  spit(at("pd/phase-4.DATA"), "left by an earlier run\n");
  spit(at("pd/phase-3.svg"), "left by an earlier run\n");
  const Outcome one = run("1", {"--phases", "auto", "--phase-dir", at("pd").string(), "--jobs", "1",
                                   "--bootstrap", "8"});
  ASSERT_EQ(one.status, 0) << one.err;
  EXPECT_NE(one.out.find("phases 2 (auto): 1 ("), std::string::npos) << one.out;
  ASSERT_EQ(run("2", {"--phases", "auto", "--phase-dir", at("pd").string(), "--jobs", "2",
                        "--bootstrap", "8"}).status, 0);
  EXPECT_TRUE(slurp(at("plainL")) == slurp(at("1L"))) << "--phases changed the listing";
  EXPECT_TRUE(slurp(at("1j")) == slurp(at("2j"))) << "--jobs 2 changed the document";
  EXPECT_TRUE(slurp(at("1s")) == slurp(at("2s"))) << "--jobs 2 changed the figure";
  EXPECT_NE(slurp(at("1s")).find("<g id=\"phase-net-2\" "), std::string::npos);
  EXPECT_NE(slurp(at("1s")).find("8 independent searches; chosen on their own: k = 2 by "), std::string::npos);
  EXPECT_FALSE(fs::exists(at("1pd/phase-4.DATA")));
  EXPECT_FALSE(fs::exists(at("1pd/phase-3.svg")));
  expect_valid_results({at("1j")});

  const json doc = json::parse(slurp(at("1j")));
  const json& ph = doc["phases"];
  ASSERT_EQ(ph["k"], 2);
  EXPECT_EQ(ph["chosen"], "auto");
  int assigned = 0, none = 0;
  for (const json& d : ph["data"]) (d["phase"] == 0 ? none : assigned) += 1;
  EXPECT_EQ(assigned + none, doc["N"].get<int>());
  EXPECT_EQ(fs::exists(at("1pd/none.DATA")), none > 0);
  for (int i = 1; i <= 2; ++i) {
    const std::string stem = "pd/phase-" + std::to_string(i);
    EXPECT_TRUE(slurp(at("1" + stem + ".DATA")) == slurp(at("2" + stem + ".DATA")));
    EXPECT_TRUE(slurp(at("1" + stem + ".svg")) == slurp(at("2" + stem + ".svg"))) << stem << ".svg: --jobs 2 changed it";
    const Outcome c = console(at("1" + stem + ".PARAMETERS").string(), at("1" + stem + ".DATA").string(),
                              at("phase.lst").string());
    ASSERT_EQ(c.status, 0) << c.out;
    EXPECT_TRUE(slurp(at("phase.lst")) == slurp(at("1" + stem + ".LISTING"))) << stem << " is not reproduced";
    const json& p = ph["phases"][static_cast<std::size_t>(i - 1)];
    EXPECT_EQ(p["bootstrap"]["replicates"], 8);
    // No cone wider than 45 degrees is drawn on a phase net: it would read
    // as a fault plane.
    const std::string svg = slurp(at("1s"));
    const std::size_t from = svg.find("<g id=\"phase-net-" + std::to_string(i) + "\" ");
    const std::string net = svg.substr(from, svg.find("</g>", from) - from);
    int drawable = 0, drawn = 0;
    for (const json& a : p["bootstrap"]["axes"]) drawable += a["cone_deg"].is_number() && a["cone_deg"].get<double>() <= 45.0;
    for (std::size_t at = net.find("class=\"cone\""); at != std::string::npos; at = net.find("class=\"cone\"", at + 1)) ++drawn;
    EXPECT_EQ(drawn, drawable) << stem;
    EXPECT_EQ(net.find("not resolved") != std::string::npos, drawable < 3) << stem;
    EXPECT_EQ(p["quality"]["rank"], p["bootstrap"]["quality"]);
    // One meaning for residual_std_deg: the run's ECART, 4 parameters fitted.
    const double sum = p["misfit_sum_rad2"].get<double>(), n = p["members"].get<double>();
    EXPECT_NEAR(p["residual_std_deg"].get<double>(), std::sqrt(sum / (n - 4.0)) * 57.29577951308232, 1e-4);
    EXPECT_NEAR(p["rms_misfit_deg"].get<double>(), std::sqrt(sum / n) * 57.29577951308232, 1e-4);
    EXPECT_EQ(lines_of(slurp(at("1" + stem + ".DATA"))).size(), p["members"].get<std::size_t>() + 2);
    EXPECT_NE(slurp(at("1" + stem + ".PARAMETERS")).find(" 100 500 " + std::to_string(p["NSEED"].get<int>())),
              std::string::npos);
  }
}

TEST_F(PhasesRun, AnInputNamedAsAPhaseFileIsNeverRemoved) {
  for (const char* name : {"phase-3.DATA", "phase-3.svg"}) {
    fs::remove_all(at("pd"));
    fs::create_directories(at("pd"));
    fs::copy_file(example("phases/DATA"), at("pd") / name);
    const Outcome r = batch({example("phases/PARAMETERS"), (at("pd") / name).string(), at("L").string(), "--phases",
                             "2", "--phase-dir", at("pd").string(), "--quiet"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(slurp(at("pd") / name) == slurp(example("phases/DATA"))) << name;
    EXPECT_TRUE(fs::exists(at("pd/phase-2.LISTING"))) << name;
    EXPECT_TRUE(fs::exists(at("pd/phase-2.svg"))) << name;
  }
}

// A campaign with --phases: a row and a map feature per station and phase,
// each with its phase's answer; sharded and merged, the same bytes.
TEST_F(PhasesRun, CampaignRowsPerPhaseMergeAsUnsharded) {
  std::string row = ",";
  row += example("phases/DATA") + "," + example("phases/PARAMETERS") + ",";
  spit(at("st.csv"), "station,data,parameters,longitude,latitude\np" + row + "1,2\nq" + row + "3,4\nf,none" + row + ",\n");
  shell("cd " + shell_quoted(dir.string()) + " && B='" ZARKEL_BATCH_BINARY " --stations st.csv --quiet --phases 2' && $B"
        " --out all --jobs 2; $B --out s0 --shard 0/2; $B --out s1 --shard 1/2; " ZARKEL_BATCH_BINARY " --merge m s0 s1");
  for (const char* f : {"summary.csv", "stations.geojson", "campaign.json", "map.svg"}) {
    EXPECT_TRUE(slurp(at("all") / f) == slurp(at("m") / f)) << f;
  }
  // Each station's phases fanned around its point; the legend counts the
  // stations and their phases apart.
  const std::string map = slurp(at("all/map.svg"));
  EXPECT_NE(map.find("data-name=\"q\" data-x="), std::string::npos);
  EXPECT_NE(map.find("<g class=\"phase\" data-phase=\"2\""), std::string::npos);
  EXPECT_NE(map.find(">2 stations placed<"), std::string::npos);
  EXPECT_NE(map.find(">4 stress phases at 2 of them<"), std::string::npos);
  const std::vector<std::string> rows = lines_of(slurp(at("all/summary.csv")));
  ASSERT_EQ(rows.size(), 6u);
  EXPECT_TRUE(rows[5].starts_with("f,,,failed,") && rows[5].ends_with(",,,")) << rows[5];
  const json doc = json::parse(slurp(at("all/q/result.json")));
  for (std::size_t j = 0; j < 2; ++j) {
    const json& p = doc["phases"]["phases"][j];
    std::string cells = ",";  // sigma1 of the phase, then phase, phases, phase_members
    cells += p["axes"][0]["trend_deg"].dump() + "," + p["axes"][0]["plunge_deg"].dump() + ",";
    EXPECT_NE(rows[3 + j].find(cells), std::string::npos) << rows[3 + j];
    cells = ",";
    EXPECT_TRUE(rows[3 + j].ends_with(cells += std::to_string(j + 1) + ",2," + p["members"].dump())) << rows[3 + j];
  }
  EXPECT_EQ(json::parse(slurp(at("all/stations.geojson")))["features"].size(), 4u);
}

// The published sets of Crete (tests/batch/published): Agia Varvara alone
// is one phase that fits well (quality A), and mixed with Tymbaki it splits
// into its two sources, with the same k whatever NTIR and NSEED.
std::string published(const std::string& name) {
  return (fs::path(ZARKEL_SOURCE_DIR) / "tests" / "batch" / "published" / name).string();
}

// The published sets `files` one after the other, as one DATA file; the
// first letter of each datum's file into `source`.
std::string mixture_of(const std::vector<const char*>& files, std::vector<char>& source) {
  std::string mixture = "MIXTURE\n";
  int number = 0;
  for (const char* f : files) {
    const std::vector<std::string> lines = lines_of(slurp(published(f)));
    for (std::size_t i = 1; i + 1 < lines.size(); ++i) {
      std::string l = lines[i];
      l.resize(72, ' ');
      char num[16];
      std::snprintf(num, sizeof num, "%3d", ++number);  // numbers unique in the mixture
      l.replace(69, 3, num);
      mixture += l + "\n";
      source.push_back(*f);
    }
  }
  return mixture + "  999\n";
}

TEST_F(PhasesRun, PublishedSetsOneAndTwoPhases) {
  std::vector<char> source;  // of each datum: 'a' or 't'
  spit(at("MIX"), mixture_of({"avb.DATA", "tym.DATA"}, source));
  const auto params = [&](int NTIR, int NSEED) {
    spit(at("P"), "1 0\n1 100 " + std::to_string(NTIR) + " " + std::to_string(NSEED) + " 0\n");
    return at("P").string();
  };

  Outcome one = batch({params(500, 0), published("avb.DATA"), at("L").string(), "--phases", "auto", "--json",
                       at("avb.json").string()});
  ASSERT_EQ(one.status, 0) << one.err;
  json doc = json::parse(slurp(at("avb.json")));
  EXPECT_EQ(doc["phases"]["k"], 1);
  EXPECT_EQ(doc["phases"]["restarts"], 8);
  EXPECT_EQ(doc["quality"]["rank"], "A") << doc["quality"].dump();  // 33 data, mean misfit near 7 degrees
  EXPECT_LT(doc["quality"]["mean_misfit_deg"].get<double>(), 9.0);
  EXPECT_NE(one.out.find("; 8 searches: k=1 by "), std::string::npos) << one.out;

  for (const auto& [NTIR, NSEED] : {std::pair{500, 0}, {500, 123457}, {1000, 1}, {2000, 7}}) {
    const Outcome r = batch({params(NTIR, NSEED), at("MIX").string(), at("L").string(), "--phases", "auto", "--json",
                             at("mix.json").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    doc = json::parse(slurp(at("mix.json")));
    const json& ph = doc["phases"];
    ASSERT_EQ(ph["k"], 2) << "NTIR " << NTIR << " NSEED " << NSEED;
    int votes = 0;
    for (const auto& [k, v] : ph["k_votes"].items()) votes += v.get<int>();
    EXPECT_LE(votes, 8);
    for (const json& m : ph["models"]) EXPECT_GE(m["objective_spread"].get<double>(), 0.0);
    // Each phase is mostly one of the two published sets, not the same one
    // (TYM's R near 0 lets the AVB tensor explain a few of its faults).
    char majority[2] = {};
    for (int phase = 1; phase <= 2; ++phase) {
      int a = 0, t = 0;
      for (std::size_t i = 0; i < source.size(); ++i) {
        if (ph["data"][i]["phase"] == phase) (source[i] == 'a' ? a : t) += 1;
      }
      EXPECT_GE(std::max(a, t), 2 * std::min(a, t)) << "phase " << phase << ": " << a << " of AVB, " << t << " of TYM";
      majority[phase - 1] = a > t ? 'a' : 't';
    }
    EXPECT_NE(majority[0], majority[1]);
  }
  expect_valid_results({at("avb.json"), at("mix.json")});
}

// k over NTIR and NSEED on a published mixture whose BIC lies close between
// k = 1 and k = 2: Tymbaki with Arroyo Montado is one phase (as Tymbaki
// alone), and a separation that stops a per cent above the lowest J_1 (its
// single phase fitted from one seed only) chose k = 2 at these seeds.
TEST_F(PhasesRun, PublishedMixtureKeepsItsKAtEverySeed) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the reach of the search is measured in the Release build (the other phase tests run this code)";
#endif
  std::vector<char> source;
  spit(at("MIX"), mixture_of({"tym.DATA", "md1.DATA"}, source));
  struct Case {
    int NTIR, NSEED, k;
  };
  for (const Case& c : {Case{500, 0, 1}, Case{2000, 7, 1}, Case{2000, 123457, 1}, Case{1000, 1, 1}}) {
    spit(at("P"), "1 0\n1 100 " + std::to_string(c.NTIR) + " " + std::to_string(c.NSEED) + " 0\n");
    const Outcome r = batch({at("P").string(), at("MIX").string(), at("L").string(), "--phases", "auto", "--json",
                             at("r.json").string(), "--quiet"});
    ASSERT_EQ(r.status, 0) << r.err;
    const json doc = json::parse(slurp(at("r.json")));
    EXPECT_EQ(doc["phases"]["k"], c.k) << "NTIR " << c.NTIR << " NSEED " << c.NSEED;
  }
}

// The chosen k's objective over seeds on published sets, at the settings
// where a search used to end a few per cent above the lowest J_k that any
// setting reaches (lowest: the minimum over NTIR 500/1000/2000 x NSEED
// 0/1/7/123457): Tymbaki's J_1 stayed at 2.2535 when one fit of a member
// set ended in a poorer minimum and was kept for every later request;
// Agia Varvara with Tymbaki stayed at J_2 = 1.545, two data from the lowest;
// Arroyo Montado (20 data) chose k = 2 at these seeds, its J_2 7 % apart.
// `of` is the k whose objective is checked.
TEST_F(PhasesRun, PublishedSetsReachTheLowestObjectiveAtEverySeed) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the reach of the search is measured in the Release build (the other phase tests run this code)";
#endif
  struct Case {
    std::vector<const char*> sets;
    int NTIR, NSEED, k, of;
    double lowest;
  };
  const Case cases[] = {
      {{"tym.DATA"}, 500, 0, 1, 1, 2.2059},
      {{"tym.DATA"}, 2000, 0, 1, 1, 2.2059},
      {{"avb.DATA", "tym.DATA"}, 500, 0, 2, 2, 1.4291},
      {{"avb.DATA", "tym.DATA"}, 1000, 7, 2, 2, 1.4291},
      {{"md1.DATA"}, 500, 123457, 3, 2, 0.5392},
      {{"md1.DATA"}, 2000, 7, 3, 2, 0.5392},
      {{"md1.DATA"}, 500, 7, 3, 3, 0.0526},       // 0.0599 when climbs stopped on one-step fits
      {{"md1.DATA"}, 1000, 123457, 3, 3, 0.0526},  // the highest J_3 of the twelve settings
  };
  for (const Case& c : cases) {
    std::vector<char> source;
    spit(at("MIX"), mixture_of(c.sets, source));
    spit(at("P"), "1 0\n1 100 " + std::to_string(c.NTIR) + " " + std::to_string(c.NSEED) + " 0\n");
    const Outcome r = batch({at("P").string(), at("MIX").string(), at("L").string(), "--phases", "auto", "--json",
                             at("r.json").string(), "--quiet"});
    ASSERT_EQ(r.status, 0) << r.err;
    const json doc = json::parse(slurp(at("r.json")));
    const std::string where = std::string(c.sets.back()) + " of " + std::to_string(c.sets.size()) + ", NTIR " +
                              std::to_string(c.NTIR) + " NSEED " + std::to_string(c.NSEED);
    ASSERT_EQ(doc["phases"]["k"], c.k) << where;
    const double J = doc["phases"]["models"][static_cast<std::size_t>(c.of - 1)]["objective_rad2"];
    EXPECT_LE(J, c.lowest * 1.02) << where;
  }
}

// The self-checks that stop a run as an internal error (status 3) rather
// than write phase files or a listing of another run: the phase files must
// read back as the phase's records and give its tensor bit for bit, and
// "the same run" means the same bits of the angles, R and F.
TEST_F(PhasesRun, FilesThatDoNotReproduceTheirPhaseAreAnInternalError) {
  std::istringstream no_console;
  std::ostringstream console;
  auto ws = std::make_unique<Workspace>(no_console, console);
  store_constants(*ws);
  ASSERT_TRUE(ws->units.open(unit::kParameters, example("phases/PARAMETERS"), "old"));
  ASSERT_TRUE(ws->units.open(unit::kData, example("phases/DATA"), "old"));
  RunInput input = read_run_input(*ws);
  input.params.NTIR = 40;  // quick: the check does not depend on the draws
  batch::RunReport r;
  r.title = "phases";
  r.params = input.params;
  for (const FaultDatum& d : input.faults.data) {
    r.data.emplace_back();
    r.data.back().NUM = d.record.NUM;
    r.data.back().as_read = d.record;
  }
  r.separation = phases::separate(input.faults, input.params, phases::Options{1, 1, 30.0, 1});
  ASSERT_NO_THROW(batch::phase_files(r));
  phases::Phase& p = r.separation->phases[0];
  const TensorSnapshot kept = p.tensor;
  p.tensor.P(4) = std::nextafter(p.tensor.P(4), 2.0f);  // R off by one bit
  EXPECT_THROW(batch::phase_files(r), std::logic_error);
  p.tensor = kept;
  r.data[static_cast<std::size_t>(p.members.front())].as_read.AZSTR = 1234;  // not in the DATA columns: reads back otherwise
  EXPECT_THROW(batch::phase_files(r), std::logic_error);

  TensorSnapshot a = kept, b = kept;
  EXPECT_TRUE(batch::same_bits(a, b));
  for (float* v : {&b.P(1), &b.P(2), &b.P(3), &b.P(4), &b.F}) {
    const float was = *v;
    *v = std::nextafter(*v, 10.0f);
    EXPECT_FALSE(batch::same_bits(a, b));
    *v = was;
  }
  b.F = -0.0f;
  a.F = 0.0f;
  EXPECT_FALSE(batch::same_bits(a, b));  // bits, not values
}

TEST_F(PhasesRun, Refusals) {
  spit(at("P2"), "1 0\n2 100 500 7 0\n0 90 90 0 0.5\n");
  spit(at("file"), "x");
  const std::string P = example("phases/PARAMETERS");
  struct Case {
    std::vector<std::string> options;
    const char* message;
    std::string parameters;
    std::string data = example("phases/DATA");
  } cases[] = {
      {{"--phases", "auto"}, "INDX = 2", at("P2").string()},
      {{"--phases", "5"}, "--phases", P},
      {{"--phases", "0"}, "--phases", P},
      {{"--phases", "auto", "--max-phases", "5"}, "--max-phases", P},
      {{"--phases", "2", "--outlier-misfit", "4"}, "--outlier-misfit", P},
      {{"--phases", "2", "--outlier-misfit", "91"}, "--outlier-misfit", P},
      {{"--outlier-misfit", "30"}, "give --phases", P},
      {{"--phase-starts", "8"}, "give --phases", P},
      {{"--phases", "2", "--phase-starts", "0"}, "--phase-starts", P},
      {{"--phases", "2", "--phase-starts", "65"}, "--phase-starts", P},
      {{"--phases", "2", "--phase-dir", at("file").string()}, "not a folder", P},
      // Every name a run could write is checked before the work.
      {{"--phases", "auto", "--phase-dir", at("dir").string()}, "phase-3.LISTING: it is a directory", P},
      {{"--phases", "auto", "--phase-dir", at("fifo").string()}, "phase-2.DATA: it is a named pipe", P},
      {{"--phases", "2", "--phase-dir", at("same").string(), "--json", at("same/phase-1.LISTING").string()},
       "phase-1.LISTING: it is the destination of the JSON document", P},
      {{"--phases", "2", "--phase-dir", at("data").string()}, "phase-1.DATA: it is the DATA file", P,
       at("data/phase-1.DATA").string()},
      {{"--phases", "2", "--phase-dir", at("svg").string()}, "phase-2.svg: it is the DATA file", P,
       at("svg/phase-2.svg").string()},
      {{"--phases", "auto", "--phase-dir", at("dir").string(), "--svg", at("dir/phase-1.svg").string()},
       "phase-1.svg: it is the destination of the SVG figure", P},
  };
  fs::create_directories(at("dir/phase-3.LISTING"));
  fs::create_directories(at("fifo"));
  shell("mkfifo " + shell_quoted(at("fifo/phase-2.DATA").string()));
  fs::create_directories(at("same"));
  fs::create_directories(at("data"));
  fs::copy_file(example("phases/DATA"), at("data/phase-1.DATA"));
  fs::create_directories(at("svg"));
  fs::copy_file(example("phases/DATA"), at("svg/phase-2.svg"));
  for (const Case& c : cases) {
    std::vector<std::string> args = {c.parameters, c.data, at("L").string()};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const Outcome r = batch(args);
    EXPECT_EQ(r.status, 2) << c.message;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(at("L"))) << c.message;
  }
}

}  // namespace
}  // namespace zk::test
