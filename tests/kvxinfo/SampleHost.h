// A sample host for kvxinfo: one KVX instance with one partition, its
// registry in the sandbox's /etc, and an update package beside it, plus
// runners for kvxinfo and UPDSilent and a fingerprint of a whole tree.
#ifndef KVX_TESTS_KVXINFO_SAMPLEHOST_H
#define KVX_TESTS_KVXINFO_SAMPLEHOST_H

#include <string>

#include "support/TestSupport.h"

namespace kvxtest {

class SampleHost {
 public:
  // Program build 1200 with libkvxcore.so and a loader, engine alder
  // V9.750.1001, the seven product databases; product under root.
  SampleHost(const TempTree& tree, const std::string& root);
  // FileGroup1/kvxpatch.ini's [Config] body; every listed file is written
  // into FileGroup1 unless it is named in missing.
  void WritePackage(const std::string& config, const std::string& missing = "");

  std::string product;
  std::string notesIni;
  std::string dataDir;
  std::string binDir;
  std::string package;
};

// kvxinfo with args; its standard output, and its exit status.
CommandResult RunKvxinfo(const std::string& args);
// UPDSilent run from the package folder; its exit status.
int RunInstaller(const std::string& package);

// The value of the first "key": "..." (or number/null) in a JSON text.
std::string JsonField(const std::string& json, const std::string& key);

// Every entry under root: path, type, mode, owner, size, mtime, link target
// and content, one line each, sorted.
std::string Fingerprint(const std::string& root);

}  // namespace kvxtest

#endif  // KVX_TESTS_KVXINFO_SAMPLEHOST_H
