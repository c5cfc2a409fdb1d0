#include "kvxinfo/SampleHost.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <vector>

namespace kvxtest {

namespace fs = std::filesystem;

SampleHost::SampleHost(const TempTree& tree, const std::string& root)
    : product(root + "/kvx1"),
      notesIni(root + "/domino/notes.ini"),
      dataDir(root + "/domino/data"),
      binDir(root + "/domino/bin"),
      package(tree / "package") {
  WriteFile(product + "/program/V5.8.0.1200/libkvxcore.so", "core 1200");
  WriteFile(product + "/program/V5.8.0.1200/libkvxext.so", "ext 1200");
  WriteFile(product + "/program/V5.8.0.1200/loader", "loader 1200");
  fs::create_directory_symlink(product + "/program/V5.8.0.1200", product + "/program/latest");
  WriteFile(product + "/engine/alder/V9.750.1001/alder.dat", "signatures");
  fs::create_directory_symlink(product + "/engine/alder/V9.750.1001",
                               product + "/engine/alder/latest");
  fs::create_directories(product + "/hotfix");
  WriteFile(notesIni, "[Notes]\nDirectory=" + dataDir + "\nNotesProgram=" + binDir + "\n");
  for (const char* db :
       {"kvconf", "kvxapproved", "kvxdtas", "kvency", "kvquar", "kvtime", "kvvlog"})
    WriteFile(dataDir + "/kvx/" + db + ".nsf", "");
  WriteFile(binDir + "/libkvxext.so", "ext 1200");
  WriteFile("/etc/kvxsysV3.ini",
            "[KVXInstances]\nKVXInstanceList=kvx1\n[kvx1]\nProductPath=" + product +
                "\nProductVersion=V5.8.0.1200\nInstallType=64-bit\nDomSvrIKVXCount=1\n"
                "DomSvrIKVXSecs=Par1\nPar1=" +
                notesIni + "\n");
}

void SampleHost::WritePackage(const std::string& config, const std::string& missing) {
  WriteFile(package + "/FileGroup1/kvxpatch.ini", "[Config]\n" + config);
  std::istringstream lines(config);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("Files=", 0) != 0) continue;
    std::istringstream names(line.substr(6));
    for (std::string name; std::getline(names, name, ',');)
      if (name != missing) WriteFile(package + "/FileGroup1/" + name, name + " 1300");
  }
  WriteFile(package + "/engine/alder/version.txt", "Version: 9.750.1002\n");
  WriteFile(package + "/engine/alder/alder.dat", "new signatures");
}

CommandResult RunKvxinfo(const std::string& args) {
  return RunCommand(BuildDir() + "/kvxinfo/kvxinfo " + args + " 2>/dev/null");
}

int RunInstaller(const std::string& package) {
  return RunCommand("cd '" + package + "' && '" + BuildDir() + "/driver/UPDSilent'").exitStatus;
}

std::string JsonField(const std::string& json, const std::string& key) {
  const std::string marker = "\"" + key + "\": ";
  const std::size_t at = json.find(marker);
  if (at == std::string::npos) return "<absent>";
  std::size_t from = at + marker.size();
  if (json[from] != '"') return json.substr(from, json.find_first_of(",\n}", from) - from);
  std::string value;
  for (++from; from < json.size() && json[from] != '"'; ++from) {
    if (json[from] == '\\') ++from;
    value += json[from];
  }
  return value;
}

std::string Fingerprint(const std::string& root) {
  std::vector<std::string> lines;
  for (const fs::directory_entry& e : fs::recursive_directory_iterator(root)) {
    struct stat st {};
    ::lstat(e.path().c_str(), &st);
    std::ostringstream line;
    line << e.path().string() << " mode=" << std::oct << st.st_mode << std::dec
         << " uid=" << st.st_uid << " gid=" << st.st_gid << " size=" << st.st_size
         << " mtime=" << st.st_mtim.tv_sec << "." << st.st_mtim.tv_nsec;
    if (S_ISLNK(st.st_mode)) line << " -> " << fs::read_symlink(e.path()).string();
    if (S_ISREG(st.st_mode) && st.st_size < 65536) line << " content=" << ReadFile(e.path());
    lines.push_back(line.str());
  }
  std::sort(lines.begin(), lines.end());
  std::string all;
  for (const std::string& l : lines) all += l + "\n";
  return all;
}

}  // namespace kvxtest
