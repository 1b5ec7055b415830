// zarkel-batch --mechanisms and zarkel-import --mechanisms run as a user
// would: the chosen planes' DATA file reproduces the listing through the
// console program, the bytes do not depend on --jobs, bad rows and options
// are refused with what and where.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "batch_files.hpp"

namespace zk::test {
namespace {

using nlohmann::json;

class MechanismRun : public ScratchTest {
 protected:
  Outcome run(const std::string& tag, std::vector<std::string> options) {
    std::vector<std::string> args = {example("PARAMETERS"), example("mechanisms.csv"), at("L").string(), "--mechanisms",
                                     "--json", at("j").string(), "--svg", at("s").string(), "--chosen-data", at("D").string()};
    args.insert(args.end(), options.begin(), options.end());
    return tagged_batch(tag, args, {"L", "j", "s", "D"});
  }
  std::string bytes(const std::string& tag) { return tagged_bytes(tag, {"L", "j", "s", "D"}); }
};

TEST_F(MechanismRun, SameResultsForAnyJobsAndTheChosenPlanesRounded) {
  // The bootstrap reruns the choice on each resample of the events and on
  // as many catalogues simulated under the answer.
  const Outcome one = run("1", {"--jobs", "1", "--bootstrap", "20"}), two = run("2", {"--jobs", "2", "--bootstrap", "20"});
  ASSERT_EQ(one.status, 0) << one.err;
  ASSERT_EQ(two.status, 0) << two.err;
  EXPECT_TRUE(bytes("1") == bytes("2")) << "--jobs 2 changed the results";
  EXPECT_EQ(one.out, two.out);
  EXPECT_NE(one.out.find("  planes hybrid: "), std::string::npos) << one.out;
  expect_valid_results({at("1j")});
  for (const char* part : {"id=\"pt-net\"", "class=\"auxiliary\"", "id=\"coulomb\"", "class=\"undecided\""}) {
    EXPECT_NE(slurp(at("1s")).find(part), std::string::npos) << part;
  }

  const json doc = json::parse(slurp(at("1j")));
  // The document, written piece by piece, has the bytes of its values
  // dumped whole (order of keys and numbers as written).
  const std::string text = slurp(at("1j"));
  EXPECT_TRUE(nlohmann::ordered_json::parse(text).dump(2) + "\n" == text) << "the pieces do not make the document";
  const json& m = doc["mechanisms"];
  EXPECT_EQ(m["ended"], "converged");
  EXPECT_EQ(doc["bootstrap"]["replicates"], 20);
  EXPECT_EQ(doc["bootstrap"]["failed"], 0);
  // The R interval (resampled and simulated catalogues) holds the answer's R.
  const double R = doc["final"]["R"];
  EXPECT_LE(doc["bootstrap"]["R"]["low"].get<double>(), R);
  EXPECT_GE(doc["bootstrap"]["R"]["high"].get<double>(), R);
  // The linear answer's cones, from the same replicates: axes only.
  const json& lb = doc["linear"]["bootstrap"];
  EXPECT_EQ(lb["replicates"], 20);
  EXPECT_EQ(lb["seed"], doc["bootstrap"]["seed"]);
  EXPECT_FALSE(lb.contains("R"));
  ASSERT_EQ(lb["axes"].size(), 3u);
  for (const json& a : lb["axes"]) {
    EXPECT_GT(a["cone_deg"].get<double>(), 0.0) << a;
    EXPECT_LT(a["cone_deg"].get<double>(), 45.0) << a;
  }
  ASSERT_EQ(m["events"].size(), 40u);
  // The listing and the DATA file say that their records are rounded.
  EXPECT_NE(slurp(at("1L")).find("chosen planes rounded to whole degrees;"), std::string::npos);
  // The chosen planes are those the document says, rounded.
  const auto records = lines_of(slurp(at("1D")));
  EXPECT_EQ(records[0].rfind("mechanisms.csv: chosen planes rounded to whole degrees", 0), 0u) << records[0];
  for (std::size_t k = 0; k < 40; ++k) {
    const json& e = m["events"][k];
    const double strike = e["planes"][e["chosen"].get<int>() - 1]["strike_deg"];
    EXPECT_EQ(std::stoi(records[k + 1].substr(0, 5)), static_cast<int>(std::lround(strike)) % 360) << k;
  }

  // The given planes: what zarkel-import --mechanisms writes.
  ASSERT_EQ(run("g", {"--plane-choice", "given"}).status, 0);
  const std::string import = shell_quoted(ZARKEL_IMPORT_BINARY) + " --mechanisms " +
                             shell_quoted(example("mechanisms.csv")) + " " + shell_quoted(at("iD").string());
  ASSERT_EQ(shell(import).status, 0);
  const auto imported = lines_of(slurp(at("iD"))), given = lines_of(slurp(at("gD")));
  EXPECT_EQ(std::vector<std::string>(imported.begin() + 1, imported.end()),
            std::vector<std::string>(given.begin() + 1, given.end()));
  EXPECT_NE(slurp(at("gD")), slurp(at("1D")));
  EXPECT_FALSE(json::parse(slurp(at("gj")))["linear"].contains("bootstrap")) << "no bootstrap asked";
}

TEST_F(MechanismRun, BadRowsAndOptionsAreRefused) {
  const struct {
    const char* table;
    const char* message;
  } rows[] = {
      {"strike,dip,rake,strike2,dip2,rake2\n10,50,30,10,50,30\n", "row 2, column 4 (strike2): the second plane 10/50/30 is not the auxiliary plane"},
      {"strike,dip,rake\n0,45,190\n", "row 2, column 3 (rake): rake 190 is outside -180 to 180"},
      {"strike,dip,rake,p_trend,p_plunge\n0,45,90,0,0\n", "row 2, column 4 (p_trend): the P axis 0/0 is 90.0 degrees from"},
      {"strike,dip,rake,t_trend,t_plunge\n0,45,90,90,0\n", "(t_trend): the T axis 90/0 is 90.0 degrees"},
      {"strike,dip,rake,fault\n0,45,90,3\n", "row 2, column 4 (fault): \"3\" is not a fault plane"},
      {"strike,dip\n0,45\n", "no column rake"},
      {"id,strike,dip,rake\n4,0,45,90\n4,0,50,90\n", "row 3: datum number 4 is already used by row 2"},
      {"strike,dip,rake,strike2,dip2\n0,45,90,180,45\n", "go together"},
  };
  for (const auto& r : rows) {
    spit(at("m.csv"), r.table);
    const Outcome o = batch({example("PARAMETERS"), at("m.csv").string(), at("L").string(), "--mechanisms"});
    EXPECT_EQ(o.status, 1) << r.table;
    EXPECT_NE(o.err.find(r.message), std::string::npos) << o.err;
    EXPECT_FALSE(fs::exists(at("L"))) << r.table;
  }
  // A second plane given as the other spelling of a vertical plane is accepted.
  spit(at("m.csv"), "strike,dip,rake,strike2,dip2,rake2\n30,90,0,120,90,180\n30,90,0,300,90,180\n");
  EXPECT_EQ(shell(shell_quoted(ZARKEL_IMPORT_BINARY) + " --mechanisms " + shell_quoted(at("m.csv").string()) + " " +
                  shell_quoted(at("D").string()))
                .status,
            0);

  const std::vector<std::vector<std::string>> options = {
      {"--plane-choice", "misfit"},           {"--mechanisms", "--plane-choice", "best"},
      {"--mechanisms", "--friction", "3"},    {"--mechanisms", "--choice-gap", "-1"},
      {"--mechanisms", "--plane-seed", "x"},  {"--mechanisms", "--chosen-data", at("L").string()},
      {"--mechanisms", "--json", at("m.csv").string()},
  };
  for (const auto& extra : options) {
    std::vector<std::string> args = {example("PARAMETERS"), at("m.csv").string(), at("L").string()};
    args.insert(args.end(), extra.begin(), extra.end());
    fs::copy_file(example("mechanisms.csv"), at("m.csv"), fs::copy_options::overwrite_existing);
    const Outcome o = batch(args);
    EXPECT_EQ(o.status, 2) << extra.back() << o.err;
    EXPECT_FALSE(fs::exists(at("L"))) << extra.back();
    EXPECT_EQ(slurp(at("m.csv")), slurp(example("mechanisms.csv"))) << "the table was replaced";
  }
  // The table itself as the OUTPUT is refused and left as it was.
  EXPECT_EQ(batch({example("PARAMETERS"), at("m.csv").string(), at("m.csv").string(), "--mechanisms"}).status, 2);
  EXPECT_EQ(slurp(at("m.csv")), slurp(example("mechanisms.csv")));

  // Few events: a warning, which --strict refuses.
  const auto lines = lines_of(slurp(example("mechanisms.csv")));
  std::string few;
  for (std::size_t k = 0; k <= 12; ++k) few += lines[k] + "\n";
  spit(at("few.csv"), few);
  const Outcome warned = batch({example("PARAMETERS"), at("few.csv").string(), at("L").string(), "--mechanisms"});
  EXPECT_EQ(warned.status, 0) << warned.err;
  EXPECT_NE(warned.err.find("warning: only 12 events"), std::string::npos) << warned.err;
  fs::remove(at("L"));
  EXPECT_EQ(batch({example("PARAMETERS"), at("few.csv").string(), at("L").string(), "--mechanisms", "--strict"}).status, 1);
  EXPECT_FALSE(fs::exists(at("L")));
}

}  // namespace
}  // namespace zk::test

namespace zk::test {
namespace {

// A synthetic catalogue (tools/mechanism-study.sh --catalogue 96) whose
// choice comes back to an earlier one: said, and refused by --strict.
TEST_F(MechanismRun, CycleIsSaid) {
  spit(at("P"), "1 0\n1 100 500 7 0\n");
  const std::string table = (fs::path(ZARKEL_SOURCE_DIR) / "tests" / "batch" / "cycling_mechanisms.csv").string();
  const Outcome o = batch({at("P").string(), table, at("L").string(), "--mechanisms", "--json", at("j").string()});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_NE(o.err.find("warning: the plane choice cycles"), std::string::npos) << o.err;
  const json doc = json::parse(slurp(at("j")));
  EXPECT_EQ(doc["mechanisms"]["ended"], "cycle");
  EXPECT_EQ(doc["mechanisms"]["engine_runs"], 3);
  EXPECT_EQ(batch({at("P").string(), table, at("M").string(), "--mechanisms", "--strict"}).status, 1);
  EXPECT_FALSE(fs::exists(at("M")));
}

// A campaign station whose data are focal mechanisms, by its `type` or by its
// columns: the same listing as the single run, the chosen planes in its DATA.
TEST_F(MechanismRun, CampaignStationsOfMechanisms) {
  fs::create_directory(at("in"));
  fs::copy_file(example("mechanisms.csv"), at("in/mechanisms.csv"));  // the title is the file's name
  const std::string row = ",in/mechanisms.csv," + example("PARAMETERS") + ",";
  spit(at("st.csv"), "station,data,parameters,type\nseen" + row + "\nsaid" + row + " Mechanism \nodd" + row + "volcanic\n");
  const Outcome c = batch({"--stations", at("st.csv").string(), "--out", at("out").string(), "--quiet"});
  EXPECT_EQ(c.status, 0) << c.err;  // the odd type is a label: the file decides
  EXPECT_NE(c.err.find("column 4 (type): type \"volcanic\" is not a data type (mechanisms or faults): it is carried "
                       "as a label"), std::string::npos) << c.err;
  EXPECT_EQ(batch({"--stations", at("st.csv").string(), "--out", at("o2").string(), "--quiet", "--strict"}).status, 1);
  ASSERT_EQ(run("single", {"--jobs", "1"}).status, 0);
  for (const char* station : {"seen", "said", "odd"}) {
    EXPECT_TRUE(slurp(at("out") / station / "LISTING") == slurp(at("singleL"))) << station;
    EXPECT_EQ(slurp(at("out") / station / "DATA"), slurp(at("singleD"))) << station;
    expect_valid_results({at("out") / station / "result.json"});
  }
}

}  // namespace
}  // namespace zk::test
