// The debug-log reader. Input: the log's text, any bytes. Checked: a run
// never holds more instances than it announced; an exit status (0 or 212)
// exactly when it finished; a finished run with a mode has an outcome for
// every announced instance; 0 only with a completed instance; and the status
// is 2 exactly when no run was found, else 0 or 1.
#include <algorithm>
#include <sstream>
#include <string>

#include "FuzzSupport.h"
#include "RunLog.h"

KVX_FUZZ_TARGET(RunLog) {
  std::istringstream log(std::string(reinterpret_cast<const char*>(data), size));
  const std::vector<kvxinfo::Run> runs = kvxinfo::ReadRuns(log);
  for (const kvxinfo::Run& run : runs) {
    const auto announced = static_cast<std::size_t>(std::max(run.announced, 0));
    FUZZ_CHECK(run.instances.size() <= announced);
    FUZZ_CHECK(run.finished ? run.exitStatus == 0 || run.exitStatus == 212 : run.exitStatus == -1);
    if (run.finished && run.mode != "none") {
      FUZZ_CHECK(run.instances.size() == announced);
      for (const kvxinfo::RunInstance& instance : run.instances) FUZZ_CHECK(instance.outcome);
    }
    FUZZ_CHECK(run.exitStatus != 0 ||
               std::any_of(run.instances.begin(), run.instances.end(),
                           [](const auto& i) { return i.outcome == InstanceOutcome::kCompleted; }));
  }
  const int status = kvxinfo::LogStatus(runs, static_cast<int>(size % 4));
  FUZZ_CHECK(runs.empty() ? status == kvxinfo::kLogNoRun
                          : status == kvxinfo::kLogClean || status == kvxinfo::kLogTrouble);
  return 0;
}
