#include "HostKit.h"

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

namespace kvxtest {

static std::string ShellQuote(std::string text) {  // one shell word
  for (size_t at = 0; (at = text.find('\'', at)) != std::string::npos; at += 4)
    text.replace(at, 1, "'\\''");
  return "'" + text + "'";
}
static std::string Join(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : ",") + item;
  return text;
}
static void WriteSettings(const std::string& dir, int build, const std::vector<std::string>& files,
                          const std::string& config) {
  WriteFile(dir + "/FileGroup1/kvxpatch.ini", "[Config]\nFiles=" + Join(files) + "\nBuildNumber=" +
                                                  std::to_string(build) + "\n" + config);
}

std::string ModeGroup(const std::string& path) {
  const CommandResult r = RunCommand("stat -c '%a %G' " + ShellQuote(path));
  return r.exitStatus ? "" : r.output.substr(0, r.output.size() - 1);
}

std::string FileText(const std::string& name, const std::string& origin, int build) {
  const std::string text = "KVX " + name + " of " + origin + ", build " + std::to_string(build);
  if (name != "loader") return text + "\n";
  return ReadFile(BuildDir() + "/sim/domsim-task") + "\n#" + text + "\n";  // still runs
}

Host::Host(std::vector<InstanceSpec> wanted) : instances(std::move(wanted)) {
  std::string names, sections;
  for (size_t i = 0; i < instances.size(); ++i) {
    InstanceSpec& want = instances[i];
    if (want.product.empty()) want.product = tree / want.name + "/product";
    fs::create_directories(want.product + "/hotfix");
    for (int build : want.builds) {
      for (const char* file : {"libkvxcore.so", "libkvxscan.so", "libkvxext.so", "loader",
                               "kvx.cfg", "res/messages.txt"})
        WriteFile(Program(build, i) + "/" + file, FileText(file, want.name, build));
      fs::permissions(Program(build, i) + "/loader", fs::perms(0755));
    }
    if (want.latest < 0 && !want.builds.empty())
      want.latest = *std::max_element(want.builds.begin(), want.builds.end());
    if (want.latest > 0)
      fs::create_directory_symlink(Program(want.latest, i), want.product + "/program/latest");
    for (int build : want.hotfixes)
      WriteSettings(want.product + "/hotfix/B" + std::to_string(build), build, {}, "");
    for (const std::string& engine : want.engines) {
      const std::string name = engine.substr(0, engine.find('/')), dir = want.product + "/engine/";
      WriteFile(dir + engine + "/version.txt", "Version: " + engine.substr(name.size() + 2) + "\n");
      fs::remove(dir + name + "/latest");
      fs::create_directory_symlink(dir + engine, dir + name + "/latest");
    }
    partitions_.emplace_back();
    std::string entries, inis;
    for (int k = 1; k <= want.partitions; ++k) {
      const std::string par = "Par" + std::to_string(k), dir = want.name + "/" + par;
      for (const char* db :
           {"kvconf", "kvxapproved", "kvxdtas", "kvency", "kvquar", "kvtime", "kvvlog"})
        WriteFile(tree / dir + "/data/kvx/" + db + ".nsf", "");  // given to the owner with data
      partitions_[i].push_back(std::make_unique<SimPartition>(tree, dir));
      entries += (k > 1 ? "," : "") + par;
      inis += par + "=" + partitions_[i].back()->notesIni + "\n";
    }
    names += (i ? "," : "") + want.name;
    sections += "[" + want.name + "]\nProductPath=" + want.product +
                "\nProductVersion=V5.8.0.1200\nInstallType=64-bit\nDomSvrIKVXCount=" +
                std::to_string(want.partitions) + "\nDomSvrIKVXSecs=" + entries + "\n" + inis;
  }
  WriteFile("/etc/kvxsysV3.ini", "[KVXInstances]\nKVXInstanceList=" + names + "\n" + sections);
}
Host::~Host() {
  partitions_.clear();  // their servers stop before the tree goes
  std::remove("/etc/kvxsysV3.ini");
}
std::string Host::Program(int build, size_t ins) const {
  return Product(ins) + "/program/V5.8.0." + std::to_string(build);
}
std::string Host::Package(const PackageSpec& want, const std::string& name) {
  const std::string dir = tree / name;
  WriteSettings(dir, want.build, want.files, want.config);
  for (const std::string& file : want.files)
    WriteFile(dir + "/FileGroup1/" + file, FileText(file, "package", want.build));
  WriteFile(dir + "/FileGroup1/readme_kvxn5_linux.txt", FileText("read-me", "package", want.build));
  for (const auto& [engine, version] : want.engines)
    WriteFile(dir + "/engine/" + engine + "/version.txt", "Version: " + version + "\n");
  fs::copy_file(BuildDir() + "/driver/UPDSilent", dir + "/UPDSilent");
  return dir;
}

void Host::StartTasks(const std::vector<std::string>& tasks, size_t ins, size_t k) {
  const std::string latest = Product(ins) + "/program/latest/";
  Partition(ins, k).Domsim("libs", latest + "libkvxcore.so " + latest + "libkvxscan.so");
  Partition(ins, k).Start();
  Partition(ins, k).SetRunning(tasks);
  Partition(ins, k).ClearJournal();
}

CommandResult RunUPDSilent(const std::string& cwd, const std::string& args,
                           const std::string& program) {
  ClearDebugLog();
  return RunCommand("cd " + ShellQuote(cwd) + " && " + program + " " + args);
}

std::string Snapshot(const std::string& root, bool times) {
  return RunCommand("cd " + ShellQuote(root) + " && find . -printf '%y %m %U:%G %p %l" +
                    (times ? " %T@" : "") +
                    "\\n' | sort && find . -type f -exec md5sum {} + | sort")
      .output;
}

}  // namespace kvxtest
