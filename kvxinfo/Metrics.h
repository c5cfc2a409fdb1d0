// The metrics view: the host's state in the text format a Prometheus
// textfile collector serves, so that drift between roll-outs (a task that
// stopped, a latest link moved by hand, a run killed part-way, a host left a
// build behind) shows up in monitoring. Read-only like every other view.
#ifndef KVX_KVXINFO_METRICS_H
#define KVX_KVXINFO_METRICS_H

#include <cstdio>
#include <string>
#include <vector>

#include "RunLog.h"
#include "Views.h"

namespace kvxinfo {

// Everything one scrape reads.
struct Scrape {
  Inventory inventory;
  Verification verification;  // with the package when one was named
  std::vector<Run> runs;      // of the newest day logs, read as one
  double seconds = 0;         // what reading all of it took
};

// The two newest day logs in the installer's log folder, oldest first: the
// last run may have begun the day before.
std::vector<std::string> NewestDayLogs();

// Reads the inventory, verify (with packageFolder, "" for none) and the logs.
Scrape ReadScrape(const std::string& packageFolder, const std::vector<std::string>& logPaths);

// The scrape in the exposition format. False when out could not be written.
bool PrintMetrics(std::FILE* out, const Scrape& scrape);

}  // namespace kvxinfo

#endif  // KVX_KVXINFO_METRICS_H
