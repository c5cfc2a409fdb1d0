// The stand-in keeps the promises the other tests rely on: a server that holds
// ~notes.lck, tasks that hold kvxtemp/<task>{<pid>} locked, a journal of every
// command with its sender, and tasks that can be told never to quit.
#include <gtest/gtest.h>

#include "SimHarness.h"

namespace {

using Tasks = std::vector<std::string>;

TEST(DominoStandIn, LocksJournalAndBehaviour) {
  kvxtest::TempTree tree;
  kvxtest::SimPartition par(tree, "p1");
  const std::string server = "LD_LIBRARY_PATH=" + par.binDir + " " + par.binDir +
                             "/server =" + par.notesIni + " -c 'load kvxreal'";
  EXPECT_EQ(1, kvxtest::RunCommand(server).exitStatus) << "no server runs yet";
  par.Start();
  EXPECT_NE(
      0, kvxtest::RunCommand(kvxtest::BuildDir() + "/sim/domsim start " + par.notesIni).exitStatus)
      << "one server per data folder";
  par.Domsim("behave", "kvxemf never");
  par.SetRunning({"kvxreal", "kvxemf"});
  const std::string locks = kvxtest::RunCommand("ls " + par.dataDir + "/kvxtemp").output;
  EXPECT_NE(std::string::npos, locks.find("kvxreal{")) << locks;
  par.Domsim("send", "'te kvxemf quit'");
  par.Domsim("send", "'te kvxreal quit'");
  EXPECT_EQ(Tasks{"kvxemf"}, par.RunningTasks());
  EXPECT_EQ((Tasks{"load kvxreal", "load kvxemf", "te kvxemf quit", "te kvxreal quit"}),
            par.JournalCommands());
  par.Stop();
  EXPECT_EQ("", kvxtest::RunCommand("ls " + par.dataDir + "/kvxtemp").output)
      << "tasks end with their server";
}

}  // namespace
