// Campaigns and merges that a careless or hostile table, folder or second
// run cannot turn against the user: every case runs the real zarkel-batch
// from the folder of its table.
#include "batch_files.hpp"

namespace zk::test {
namespace {

class CampaignTrust : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    for (const char* f : {"DATA", "PARAMETERS", "field.csv"}) fs::copy_file(example(f), at(f));
  }
  // zarkel-batch run in the scratch folder, so table cells are as typed.
  Outcome here(const std::string& args) const { return shell("cd " + shell_quoted(dir.string()) + " && " + shell_quoted(ZARKEL_BATCH_BINARY) + " " + args); }
};

// What a station's table cell holds is data, never an option or text to parse.
TEST_F(CampaignTrust, StationCellsAreData) {
  std::string bad = slurp(at("field.csv"));
  bad.replace(bad.find("\n2,CRT,149,55"), 13, "\n2,CRT,149,95");
  spit(at("bad.csv"), bad);
  fs::copy_file(at("field.csv"), at("-field.csv"));
  struct Case {
    const char* table;
    const char* summary;  // a fragment of summary.csv
  } const cases[] = {
      // A file name starting with '-' is a file name.
      {"station,data,parameters\na,-field.csv,PARAMETERS\n", "a,,,ok,,40,32,"},
      // The import's own message reaches the summary, not "No DATA file".
      {"station,data,parameters\nb,bad.csv,PARAMETERS\n",
       "b,,,failed,\"CSV file \"\"bad.csv\"\", row 3, column 4 (dip): dip 95 is outside 0 to 90\""},
  };
  for (const Case& c : cases) {
    spit(at("st.csv"), c.table);
    fs::remove_all(at("out"));
    const Outcome r = here("--stations st.csv --out out --quiet");
    EXPECT_NE(slurp(at("out/summary.csv")).find(c.summary), std::string::npos) << c.table << r.err;
  }
  EXPECT_FALSE(fs::exists(at("out/b"))) << "the failed station leaves no folder";
}

}  // namespace
}  // namespace zk::test
