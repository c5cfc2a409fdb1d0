// The engine rollback on a real product tree. Task control runs against a
// partition of the Domino stand-in, served by an unprivileged user; the
// ten-second polls go to the recording fake sleep.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "control/FakeSleep.h"
#include "control/SimHarness.h"
#include "driver/Procedures.h"
#include "engine/EngineTestSupport.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using enginetest::LinkTarget;
using enginetest::MakeFolder;
using enginetest::MakeLink;
using enginetest::OwnLines;

namespace {

// A command line that RollbackEngine may change in place.
class Argv {
 public:
  explicit Argv(const std::vector<std::string>& words) : words_(words) {
    for (std::string& word : words_) pointers_.push_back(word.data());
  }
  int argc() const { return static_cast<int>(pointers_.size()); }
  char** argv() { return pointers_.data(); }
  std::string word(int i) const { return pointers_[i]; }

 private:
  std::vector<std::string> words_;
  std::vector<char*> pointers_;
};

const std::vector<std::string> kLoadAll = {"load kvxemf", "load kvxsch", "load kvxmon",
                                           "load kvxreal", "load kvxcm"};

class EngineRollback : public ::testing::Test {
 protected:
  using PartitionPtr = std::unique_ptr<kvxtest::SimPartition>;

  static void SetUpTestSuite() { kvxtest::EnsureAccounts(); }

  void SetUp() override {
    product_ = tree.path() + "/KVX";
    // Two versions of alder in use at the newer, one of birch.
    AddVersions("alder", {"V9.750.1001", "V9.750.1002"}, "V9.750.1002");
    AddVersions("birch", {"V1.200.1009"}, "V1.200.1009");
    enginetest::UseInstance(product_);
    kvxtest::ClearDebugLog();
    FakeSleepCalls().clear();
  }

  void AddVersions(const std::string& engine, const std::vector<std::string>& versions,
                   const std::string& current) {
    for (const std::string& version : versions) {
      MakeFolder(Engine(engine) + "/" + version + "/pattern");
      kvxtest::WriteFile(Engine(engine) + "/" + version + "/pattern/p.dat", version);
    }
    std::error_code ignored;
    fs::remove(Engine(engine) + "/latest", ignored);
    MakeLink(Engine(engine) + "/" + current, Engine(engine) + "/latest");
  }

  // Puts one started partition, running exactly these tasks, under the
  // current instance.
  PartitionPtr Partition(const std::vector<std::string>& running) {
    auto partition = std::make_unique<kvxtest::SimPartition>(tree, "p1");
    partition->Start();
    partition->SetRunning(running);
    partition->ClearJournal();
    enginetest::UseInstance(product_, {partition->Par()});
    return partition;
  }

  // The console commands the partition got, each checked to come from the
  // server's own user.
  static std::vector<std::string> Commands(const kvxtest::SimPartition& partition) {
    for (const kvxtest::JournalEntry& e : partition.Journal()) {
      EXPECT_EQ(kvxtest::ServerUid(), e.uid) << e.command;
    }
    return partition.JournalCommands();
  }

  std::string Engine(const std::string& engine) const { return product_ + "/engine/" + engine; }
  std::string Start(const std::string& folder) const {
    return "1|======================Start rollback (" + folder + ")===================";
  }
  std::string Done(const std::string& folder) const {
    return "1|===================Rollback (" + folder + ") successfully===================";
  }

  kvxtest::TempTree tree;
  std::string product_;
};

TEST_F(EngineRollback, RemovingVersionInUseStopsTasksAndRelinks) {
  auto partition = Partition({"kvxreal", "kvxemf"});
  Argv args({"UPDSilent", "/ue", "ALDER", "v9.750.1002"});

  EXPECT_EQ(1, RollbackEngine(args.argc(), args.argv()));

  const std::string dir = Engine("alder");
  const std::vector<std::string> expected = {
      "1|argv[2] is ALDER, argv[3] is v9.750.1002",
      Start(dir + "/V9.750.1002"),
      "1|" + dir + " folder num is 2",
      "1|All KVX quit.",
      "1|unlink " + dir + "/V9.750.1002, return 0.",
      "0|Executed shell command ln -sfn " + dir + "/V9.750.1001 " + dir + "/latest",
      Done(dir + "/V9.750.1002"),
  };
  EXPECT_EQ(expected, OwnLines());
  EXPECT_FALSE(fs::exists(dir + "/V9.750.1002"));
  EXPECT_EQ(dir + "/V9.750.1001", LinkTarget(dir + "/latest"));
  // Stopped before the removal, loaded once after it; kvxmon is sent blind.
  std::vector<std::string> commands = {"te kvxreal quit", "te kvxemf quit", "te kvxmon quit"};
  commands.insert(commands.end(), kLoadAll.begin(), kLoadAll.end());
  EXPECT_EQ(commands, Commands(*partition));
  EXPECT_TRUE(FakeSleepCalls().empty());
  std::vector<std::string> running = partition->RunningTasks();
  std::sort(running.begin(), running.end());
  EXPECT_EQ((std::vector<std::string>{"kvxcm", "kvxemf", "kvxmon", "kvxreal", "kvxsch"}), running);
  // The words are converted where they lie.
  EXPECT_EQ("alder", args.word(2));
  EXPECT_EQ("V9.750.1002", args.word(3));
}

TEST_F(EngineRollback, RemovingOlderVersionLeavesLink) {
  Argv args({"UPDSilent", "/ue", "alder", "V9.750.1001"});

  EXPECT_EQ(1, RollbackEngine(args.argc(), args.argv()));

  const std::string dir = Engine("alder");
  const std::vector<std::string> expected = {
      "1|argv[2] is alder, argv[3] is V9.750.1001",
      Start(dir + "/V9.750.1001"),
      "1|" + dir + " folder num is 2",
      "1|All KVX quit.",
      "1|unlink " + dir + "/V9.750.1001, return 0.",
      Done(dir + "/V9.750.1001"),
  };
  EXPECT_EQ(expected, OwnLines());
  EXPECT_FALSE(fs::exists(dir + "/V9.750.1001"));
  EXPECT_EQ(dir + "/V9.750.1002", LinkTarget(dir + "/latest"));
}

struct SkipCase {
  const char* name;
  const char* engine;
  const char* version;
  const char* folder;  // under the product's engine/
  const char* error;
};

const SkipCase kSkips[] = {
    {"MissingVersion", "alder", "V9.750.1003", "alder/V9.750.1003",
     "1|Error: The engine folder doesn't exist. (@/alder/V9.750.1003)"},
    {"MissingEngine", "dogwood", "V1.0.1", "dogwood/V1.0.1",
     "1|Error: The engine folder doesn't exist. (@/dogwood/V1.0.1)"},
    {"OnlyVersionBesideLatest", "birch", "V1.200.1009", "birch/V1.200.1009",
     "1|Error: Only one version of this engine exist, can not rollback"},
};

class EngineRollbackSkips : public EngineRollback,
                            public ::testing::WithParamInterface<SkipCase> {};

TEST_P(EngineRollbackSkips, SkipsWithoutTouchingTasks) {
  const SkipCase& c = GetParam();
  auto partition = Partition({"kvxreal"});
  Argv args({"UPDSilent", "/ue", c.engine, c.version});

  EXPECT_EQ(0, RollbackEngine(args.argc(), args.argv()));

  std::string error = c.error;
  const size_t at = error.find('@');
  if (at != std::string::npos) error.replace(at, 1, product_ + "/engine");
  const std::vector<std::string> expected = {
      "1|argv[2] is " + std::string(c.engine) + ", argv[3] is " + c.version,
      Start(product_ + "/engine/" + c.folder),
      error,
  };
  EXPECT_EQ(expected, enginetest::LoggedLines());  // no registry pass at all
  EXPECT_TRUE(Commands(*partition).empty());
  EXPECT_EQ(Engine("birch") + "/V1.200.1009", LinkTarget(Engine("birch") + "/latest"));
}

INSTANTIATE_TEST_SUITE_P(Skips, EngineRollbackSkips, ::testing::ValuesIn(kSkips),
                         [](const auto& i) { return std::string(i.param.name); });

// Any sub-folder counts towards the two that a rollback needs; removing the
// only version then leaves `latest` at the removed folder.
TEST_F(EngineRollback, OtherSubFolderCountsAndLinkKeepsOldTarget) {
  MakeFolder(Engine("birch") + "/backup");
  Argv args({"UPDSilent", "/ue", "birch", "V1.200.1009"});

  EXPECT_EQ(1, RollbackEngine(args.argc(), args.argv()));

  const std::string dir = Engine("birch");
  EXPECT_EQ("0|Executed shell command ln -sfn " + dir + "/V1.200.1009 " + dir + "/latest",
            OwnLines().at(5));
  EXPECT_FALSE(fs::exists(dir + "/V1.200.1009"));
  EXPECT_TRUE(fs::is_directory(dir + "/backup"));
}

TEST_F(EngineRollback, TakesAtMostFourPairs) {
  AddVersions("cedar", {"V2.000.1", "V2.000.2"}, "V2.000.2");
  AddVersions("dogwood", {"V3.000.1", "V3.000.2"}, "V3.000.2");
  auto partition = Partition({"kvxreal"});
  Argv args({"UPDSilent", "/ue", "alder", "V9.750.1001", "cedar", "V2.000.1", "dogwood", "V3.000.1",
             "alder", "V9.750.1009", "CEDAR", "v2.000.2"});

  EXPECT_EQ(3, RollbackEngine(args.argc(), args.argv()));

  const std::vector<std::string> own = OwnLines();
  EXPECT_EQ(4, enginetest::CountLines(own, "|argv["));
  EXPECT_EQ("1|argv[8] is alder, argv[9] is V9.750.1009", own.at(3));
  EXPECT_EQ(4, enginetest::CountLines(own, "Start rollback"));
  EXPECT_EQ(3, enginetest::CountLines(own, "successfully"));
  EXPECT_TRUE(fs::is_directory(Engine("cedar") + "/V2.000.2"));  // the fifth pair
  EXPECT_EQ("CEDAR", args.word(10));  // not taken, so not converted either
  EXPECT_EQ("v2.000.2", args.word(11));
  // Stopped for each pair, loaded once at the end.
  std::vector<std::string> commands = {"te kvxreal quit", "te kvxmon quit", "te kvxmon quit",
                                       "te kvxmon quit"};
  commands.insert(commands.end(), kLoadAll.begin(), kLoadAll.end());
  EXPECT_EQ(commands, Commands(*partition));
}

// Every call converts the words in argv itself, so the call for the next
// instance logs them already converted.
TEST_F(EngineRollback, SecondInstanceSeesConvertedWords) {
  Argv args({"UPDSilent", "/ue", "ALDER", "v9.750.1001", "Birch", "v1.200.1009"});

  EXPECT_EQ(1, RollbackEngine(args.argc(), args.argv()));
  AddVersions("alder", {"V9.750.1001"}, "V9.750.1002");
  kvxtest::ClearDebugLog();
  EXPECT_EQ(1, RollbackEngine(args.argc(), args.argv()));

  const std::vector<std::string> own = OwnLines();
  EXPECT_EQ("1|argv[2] is alder, argv[3] is V9.750.1001", own.at(0));
  EXPECT_EQ("1|argv[4] is birch, argv[5] is V1.200.1009", own.at(1));
}

TEST_F(EngineRollback, TasksThatNeverQuitAreGivenUpAndLoaded) {
  auto partition = Partition({"kvxreal"});
  partition->Domsim("behave", "kvxreal never");
  Argv args({"UPDSilent", "/ue", "alder", "V9.750.1002", "alder", "V9.750.1001"});

  EXPECT_EQ(0, RollbackEngine(args.argc(), args.argv()));

  const std::string dir = Engine("alder");
  std::vector<std::string> expected = {"1|argv[2] is alder, argv[3] is V9.750.1002",
                                       "1|argv[4] is alder, argv[5] is V9.750.1001"};
  for (const char* version : {"V9.750.1002", "V9.750.1001"}) {
    expected.push_back(Start(dir + "/" + version));
    expected.push_back("1|" + dir + " folder num is 2");
    expected.insert(expected.end(), 10, "1|Waiting for terminating all KVX. 1 KVX is running");
    expected.push_back("1|Has try 10 times to stop KVX, but still failed, so give up.");
  }
  EXPECT_EQ(expected, OwnLines());
  EXPECT_EQ(std::vector<int>(20, 10), FakeSleepCalls());
  EXPECT_TRUE(fs::is_directory(dir + "/V9.750.1001"));
  EXPECT_TRUE(fs::is_directory(dir + "/V9.750.1002"));
  EXPECT_EQ(dir + "/V9.750.1002", LinkTarget(dir + "/latest"));
  // Per pair: eleven stops, then a load of what does not run. The second
  // pair's first stop also ends what the first give-up loaded.
  const std::vector<std::string> stop = {"te kvxreal quit", "te kvxmon quit"};
  const std::vector<std::string> load = {"load kvxemf", "load kvxsch", "load kvxmon", "load kvxcm"};
  std::vector<std::string> commands;
  for (int pair = 0; pair < 2; ++pair) {
    for (int round = 0; round < 11; ++round) {
      if (pair == 1 && round == 0) {
        commands.insert(commands.end(), {"te kvxreal quit", "te kvxemf quit", "te kvxsch quit",
                                         "te kvxcm quit", "te kvxmon quit"});
      } else {
        commands.insert(commands.end(), stop.begin(), stop.end());
      }
    }
    commands.insert(commands.end(), load.begin(), load.end());
  }
  EXPECT_EQ(commands, Commands(*partition));
}

TEST_F(EngineRollback, TooFewWordsDoNothing) {
  for (int argc = 0; argc <= 3; ++argc) {
    Argv args({"UPDSilent", "/ue", "ALDER", "V9.750.1002"});
    kvxtest::ClearDebugLog();
    EXPECT_EQ(0, RollbackEngine(argc, args.argv()));
    EXPECT_EQ(std::vector<std::string>{"0|Input argc is " + std::to_string(argc)},
              enginetest::LoggedLines());
    EXPECT_EQ("ALDER", args.word(2));
  }
  kvxtest::ClearDebugLog();
  EXPECT_EQ(0, RollbackEngine(4, nullptr));
  EXPECT_EQ(std::vector<std::string>{"0|Input argc is 4"}, enginetest::LoggedLines());
  EXPECT_TRUE(fs::is_directory(Engine("alder") + "/V9.750.1002"));
}

struct CaseCase {
  const char* name;
  const char* in;
  const char* lower;
  const char* upper;
};

const CaseCase kCases[] = {
    {"Mixed", "AlDeR", "alder", "ALDER"},
    {"Version", "v9.750.1002", "v9.750.1002", "V9.750.1002"},
    {"Empty", "", "", ""},
    {"NonAsciiUntouched", "\xc3\x84z@[`{", "\xc3\x84z@[`{", "\xc3\x84Z@[`{"},
    {"EdgesOfRanges", "AZaz", "azaz", "AZAZ"},
};

class CaseConversion : public ::testing::TestWithParam<CaseCase> {};

TEST_P(CaseConversion, ChangesAsciiLettersInPlace) {
  const CaseCase& c = GetParam();
  std::string lower = c.in;
  std::string upper = c.in;
  EXPECT_EQ(lower.data(), StringToLower(lower.data()));
  EXPECT_EQ(upper.data(), StringToUpper(upper.data()));
  EXPECT_EQ(c.lower, lower);
  EXPECT_EQ(c.upper, upper);
}

INSTANTIATE_TEST_SUITE_P(Words, CaseConversion, ::testing::ValuesIn(kCases),
                         [](const auto& i) { return std::string(i.param.name); });

}  // namespace
