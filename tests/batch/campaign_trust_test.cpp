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
  Outcome here(const std::string& args) const {
    return shell("(cd " + shell_quoted(dir.string()) + " && B=" + shell_quoted(ZARKEL_BATCH_BINARY) + " && " + args + ")");
  }
  std::string file(const std::string& p) const { return slurp(at(p)); }
};

// What a station's table cell holds is data, never an option or text to parse.
TEST_F(CampaignTrust, StationCellsAreData) {
  std::string bad = slurp(at("field.csv"));
  bad.replace(bad.find("\n2,CRT,149,55"), 13, "\n2,CRT,149,95");
  spit(at("bad.csv"), bad);
  fs::copy_file(at("field.csv"), at("-field.csv"));
  fs::copy_file(fs::path(ZARKEL_SOURCE_DIR) / "tests/batch/ambiguous.DATA", at("ambiguous.DATA"));
  struct Case {
    const char* table;
    const char* summary;  // a fragment of summary.csv
    const char* said = "";  // of the messages
    const char* options = "";
  } const cases[] = {
      // The ambiguity of a station's answer is one of its warnings.
      {"station,data,parameters\nam,ambiguous.DATA,PARAMETERS\n", "am,,,ok,",
       "warning: station am (row 2): ambiguous answer: ", "--starts 8"},
      // A file name starting with '-' is a file name.
      {"station,data,parameters\na,-field.csv,PARAMETERS\n", "a,,,ok,,40,32,"},
      // Text a spreadsheet would take for a formula is marked as text;
      // numbers are left alone.
      {"station,data,parameters,note,depth\n-a,DATA,PARAMETERS,@x,-12.5\n", "\n'-a,,,ok,,40,"},
      {"station,data,parameters,note,depth\n-a,DATA,PARAMETERS,=SUM(1),+3\n", ",'=SUM(1),+3\n"},
      // Two folders that are one where case is ignored.
      {"station,data,parameters\nq,DATA,PARAMETERS\nQ,DATA,PARAMETERS\n",
       "station \"\"Q\"\" differs from station \"\"q\"\" (row 2) only in case"},
      // A `type` that is no data type is the user's label, carried.
      {"station,data,parameters,type\no,DATA,PARAMETERS,outcrop\n", ",,,outcrop\n",
       "warning: station o (row 2): CSV file \"st.csv\", row 2, column 4 (type): type \"outcrop\" is not a data type"},
      // The import's own message reaches the summary, not "No DATA file".
      {"station,data,parameters\nb,bad.csv,PARAMETERS\n",
       "b,,,failed,\"CSV file \"\"bad.csv\"\", row 3, column 4 (dip): dip 95 is outside 0 to 90\""},
  };
  for (const Case& c : cases) {
    spit(at("st.csv"), c.table);
    fs::remove_all(at("out"));
    const Outcome r = here("$B --stations st.csv --out out --quiet " + std::string(c.options));
    EXPECT_NE(slurp(at("out/summary.csv")).find(c.summary), std::string::npos) << c.table << r.err;
    EXPECT_NE(r.err.find(c.said), std::string::npos) << c.table << r.err;
  }
  EXPECT_FALSE(fs::exists(at("out/b"))) << "the failed station leaves no folder";
}

// A spreadsheet station's DATA has no fixed temporary name to plant a link at.
TEST_F(CampaignTrust, ImportedDataFollowsNoPlantedName) {
  spit(at("st.csv"), "station,data,parameters\nb,field.csv,PARAMETERS\n");
  EXPECT_EQ(here("mkdir -p o/b && echo keep >victim && ln -s ../../victim o/b/.DATA.import && "
                 "$B --stations st.csv --out o --quiet").status, 0);
  EXPECT_EQ(file("victim"), "keep\n");
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(at("o/b/DATA"))));
}

// An empty cell costs no more than its byte: 15 MiB of them are read
// within 120 MB of address space.
TEST_F(CampaignTrust, EmptyCellsCostNoMemory) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer needs more address space";
#endif
  spit(at("wide.csv"), "station,data,parameters\na,DATA,PARAMETERS" + std::string(15 << 20, ',') + "\n");
  const Outcome r = here("ulimit -v 120000 && $B --stations wide.csv --out o --quiet --jobs 1");
  EXPECT_EQ(r.status, 0) << r.err;
}

// What a campaign or a merge refuses, before anything of the user's changes.
TEST_F(CampaignTrust, RefusalsLeaveEverythingAsItWas) {
  spit(at("st.csv"), "station,data,parameters\na,DATA,PARAMETERS\nb,DATA,PARAMETERS\n");
  spit(at("other.csv"), "station,data,parameters\na,DATA,PARAMETERS\nc,DATA,PARAMETERS\n");
  const std::string shard = "$B --stations st.csv --quiet --shard ";
  ASSERT_EQ(here(shard + "0/2 --out s0 && " + shard + "1/2 --out s1 && " + shard + "1/2 --out s1b --starts 2 && " +
                 "$B --stations other.csv --out t1 --shard 1/2 --quiet").status, 0);
  struct Case {
    const char* name;
    std::string run;   // shell commands in the scratch folder
    const char* says;  // the refusal
    const char* kept;  // a file that keeps the text "keep"
  } const cases[] = {
      {"table in --out", "mkdir o && printf 'station,data,parameters\\na,../DATA,../PARAMETERS\\n#keep\\n' >o/summary.csv"
       " && $B --stations o/summary.csv --out o", "it is the station table", "o/summary.csv"},
      {"parameters in --out", "mkdir o && (cat PARAMETERS; echo keep) >o/campaign.json && printf 'station,data\\na,DATA\\n'"
       " >t.csv && $B --stations t.csv --out o --parameters o/campaign.json", "it is the PARAMETERS file", "o/campaign.json"},
      {"station input", "mkdir -p o/a && (cat DATA; echo keep) >o/a/LISTING && printf 'station,data,parameters\\n"
       "a,o/a/LISTING,PARAMETERS\\n' >t.csv && $B --stations t.csv --out o", "it is the DATA file", "o/a/LISTING"},
      {"folder link", "mkdir o x && echo keep >x/LISTING && ln -s ../x o/a && $B --stations st.csv --out o",
       "station folder o/a is a symbolic link, which is not followed", "x/LISTING"},
      {"manifest key", "cp -r s1 c1 && sed -i '/\"shards\"/d' c1/campaign.json && echo keep >s0/a/k && $B --merge o s0 c1",
       "has no whole number `shards`", "s0/a/k"},
      {"manifest name", "cp -r s0 c0 && sed -i 's/\"station\": \"a\"/\"station\": \"..\"/' c0/campaign.json && echo keep"
       " >s0/a/k && $B --merge o c0 s1", "station name \"..\" is not a folder name", "s0/a/k"},
      {"other table", "echo keep >s0/a/k && $B --merge o s0 t1", "t1 is a shard of another campaign", "s0/a/k"},
      {"other options", "echo keep >s0/a/k && $B --merge o s0 s1b", "s1b was run with other options", "s0/a/k"},
      {"twice", "echo keep >s0/a/k && $B --merge o s0 s0/", "s0/ is given twice", "s0/a/k"},
      {"missing", "echo keep >s0/a/k && $B --merge o s0", "shards missing: 1/2", "s0/a/k"},
      {"in the way", "mkdir -p o/b && echo keep >o/b/notes && $B --merge o s0 s1",
       "o/b is in the way of station b and is not that station's previous result", "o/b/notes"},
      {"result path", "mkdir -p o/summary.csv && echo keep >s0/a/k && $B --merge o s0 s1", "o/summary.csv is refused",
       "s0/a/k"},
      {"consumed", "$B --merge o s0 s1; echo keep >o/a/k; $B --merge o2 s0 s1", "s0 was merged into", "o/a/k"},
  };
  for (const Case& c : cases) {
    const Outcome r = here("cp -r s0 s0.keep && cp -r s1 s1.keep && (" + c.run + ")");
    const std::string n = c.name;  // a campaign's own result refused: 2; a station's or a merge's refusal: 1
    EXPECT_EQ(r.status, n == "table in --out" || n == "parameters in --out" || n == "result path" ? 2 : 1) << n;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << c.name << ": " << r.err;
    EXPECT_NE(file(c.kept).find("keep"), std::string::npos) << c.name;
    here("rm -rf o o2 x c0 c1 s0 s1 && mv s0.keep s0 && mv s1.keep s1");
  }
}

// Two campaigns at once on one folder: the second is refused, the first
// completes. Sharded, then merged onto another file system (a tmpfs, when
// this user may mount one): the unsharded bytes.
TEST_F(CampaignTrust, ConcurrentRunsAndMergeAcrossFileSystems) {
  spit(at("st.csv"), "station,data,parameters\na,DATA,PARAMETERS\nb,field.csv,PARAMETERS\nc,DATA,PARAMETERS\n");
  const Outcome both = here("($B --stations st.csv --out all --quiet --bootstrap 100 --jobs 1 & "
                            "for i in $(seq 3000); do [ -e all/.zarkel-lock ] && break; sleep 0.01; done; "
                            "$B --stations st.csv --out all --quiet; echo second=$?; wait $!; echo first=$?)");
  EXPECT_NE(both.out.find("second=1\nfirst=0"), std::string::npos) << both.out << both.err;
  EXPECT_NE(both.err.find("all is in use by another campaign or merge"), std::string::npos) << both.err;
  EXPECT_NE(file("all/summary.csv").find("\nc,,,ok,"), std::string::npos);
  fs::create_directories(at("fs2"));
  if (here("mount -t tmpfs -o size=32m none fs2").status != 0) GTEST_SKIP() << "no second file system: mount is not permitted";
  const Outcome m = here("for i in 0 1; do $B --stations st.csv --out s$i --shard $i/2 --quiet --bootstrap 100; done"
                         " && mkdir fs2/m && cp -r all/a fs2/m/ && cp all/campaign.json fs2/m/ && $B --merge fs2/m s0 s1");
  EXPECT_EQ(m.status, 0) << m.err;
  for (const char* f : {"summary.csv", "stations.geojson", "campaign.json", "a/LISTING", "b/DATA", "c/result.json"}) {
    EXPECT_TRUE(file(std::string("all/") + f) == file(std::string("fs2/m/") + f)) << f;
  }
  here("umount fs2");
}

// A full temporary folder is named as the cause before any work, not met
// half-way as a DATA file that vanished.
TEST_F(CampaignTrust, FullTemporaryFolderIsNamedBeforeTheWork) {
  fs::create_directories(at("full"));
  if (here("mount -t tmpfs -o size=8k none full").status != 0) GTEST_SKIP() << "mount is not permitted";
  const Outcome r = here("dd if=/dev/zero of=full/fill bs=4k count=4 2>/dev/null; TMPDIR=$PWD/full $B PARAMETERS " +
                         shell_quoted(example("mechanisms.csv")) + " L --mechanisms");
  here("umount full");
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_NE(r.err.find("the plane choice needs temporary files: "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("/full\" is full (No space left on device)"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(at("L")));
}

// A link planted by another user is not followed, in a shared sticky folder
// as anywhere (root only: a link of another user is made by changing its
// owner).
TEST_F(CampaignTrust, PlantedLinksInStickyFoldersAreRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a link another owner";
  const std::string import = shell_quoted(ZARKEL_IMPORT_BINARY);
  const Outcome r = here("mkdir -m 1777 shared && echo keep >victim && ln -s ../victim shared/l && chown -h 4321 shared/l"
                         " && ln -s ../victim shared/mine && mkdir x && ln -s ../x shared/o && chown -h 4321 shared/o"
                         " && printf 'station,data,parameters\\na,DATA,PARAMETERS\\n' >st.csv"
                         " && ($B PARAMETERS DATA shared/l; echo batch=$?; " + import + " field.csv shared/l; echo import=$?;"
                         " $B --stations st.csv --out shared/o; echo campaign=$?)");
  EXPECT_NE(r.out.find("batch=2\nimport=2\ncampaign=2"), std::string::npos) << r.out << r.err;
  EXPECT_NE(r.err.find("is a symbolic link of uid 4321, which is not followed"), std::string::npos) << r.err;
  EXPECT_EQ(file("victim"), "keep\n");
  EXPECT_TRUE(fs::is_empty(at("x")));
  EXPECT_EQ(here("$B PARAMETERS DATA shared/mine --quiet").status, 0);  // one's own link is followed
}

}  // namespace
}  // namespace zk::test
