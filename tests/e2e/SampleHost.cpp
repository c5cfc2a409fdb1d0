#include "e2e/SampleHost.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace e2e {

const char* const kProductDatabases[7] = {"kvconf", "kvxapproved", "kvxdtas", "kvency",
                                          "kvquar", "kvtime",      "kvvlog"};

namespace {

constexpr char kRegistry[] = "/etc/kvxsysV3.ini";
constexpr char kReadme[] = "readme_kvxn5_linux.txt";
constexpr char kLogDir[] = "/var/log";

// Lines every per-partition step and every console command repeat.
const char* const kRepeatedPrefixes[] = {
    "Info:ParseKVXInsINI", "The server's file lock",
    "Submit command",      "szNotesIniFiles",
    "stat: over",          "setuid over",
};

std::string Join(const std::vector<std::string>& items, const std::string& separator) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : separator) + item;
  return text;
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

void WriteProgram(const std::string& path, const std::string& content) {
  kvxtest::WriteFile(path, content);
  fs::permissions(path, fs::perms(0755));
}

void Link(const std::string& target, const std::string& link) {
  std::error_code ignored;
  fs::remove(link, ignored);
  fs::create_directory_symlink(target, link);
}

void GiveToServerUser(const std::string& path) {
  const uid_t uid = kvxtest::ServerUid();
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(path, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    if (::lchown(it->path().c_str(), uid, static_cast<gid_t>(-1)) != 0) {
      throw std::runtime_error("cannot chown " + it->path().string());
    }
  }
}

// The installer's debug logs in the sandbox's /var/log, oldest first (a run
// across midnight writes two).
std::vector<std::string> InstallerLogs() {
  std::vector<std::string> files;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(kLogDir, error)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("updsilent_", 0) == 0) files.push_back(entry.path().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

void ClearInstallerLogs() {
  for (const std::string& file : InstallerLogs()) std::remove(file.c_str());
}

std::vector<std::string> LogMessages() {
  static const std::string kPrefixEnd = "[file:checkdomino_silent] [line: 337]:";
  std::vector<std::string> messages;
  for (const std::string& file : InstallerLogs()) {
    for (const std::string& line : kvxtest::ReadLines(file)) {
      const size_t at = line.find(kPrefixEnd);
      messages.push_back(at == std::string::npos ? line : line.substr(at + kPrefixEnd.size()));
    }
  }
  return messages;
}

}  // namespace

bool InstallerRun::Logged(const std::string& message) const { return Count(message) > 0; }

int InstallerRun::Count(const std::string& message) const {
  return static_cast<int>(std::count(log.begin(), log.end(), message));
}

std::vector<std::string> InstallerRun::OwnLines() const {
  std::vector<std::string> own;
  for (const std::string& line : log) {
    bool repeated = false;
    for (const char* prefix : kRepeatedPrefixes) repeated |= line.rfind(prefix, 0) == 0;
    if (!repeated) own.push_back(line);
  }
  return own;
}

std::string BuiltInstaller() { return kvxtest::BuildDir() + "/driver/UPDSilent"; }

std::string TaskProgramWith(const std::string& marker) {
  // Bytes after the end of the program do not change how it runs.
  return kvxtest::ReadFile(kvxtest::BuildDir() + "/sim/domsim-task") + "\n#" + marker + "\n";
}

std::string PackageFileContent(const std::string& name, int build) {
  if (name == "loader") return TaskProgramWith("loader of package build " + std::to_string(build));
  return "KVX " + name + " from package build " + std::to_string(build) + "\n";
}

std::string InstalledFileContent(const std::string& instance, const std::string& name, int build) {
  const std::string tag = instance + ", build " + std::to_string(build);
  if (name == "loader") return TaskProgramWith("loader of " + tag);
  return "KVX " + name + " of " + tag + "\n";
}

std::string ReadmeContent(int build) {
  return "KVX 5.8 hotfix " + std::to_string(build) + " for Linux: read me first.\n";
}

SampleHost::SampleHost(std::vector<InstanceSpec> instances) : specs_(std::move(instances)) {
  if (!kvxtest::InSandbox()) {
    throw std::runtime_error("a sample host writes /etc/kvxsysV3.ini: only inside the sandbox");
  }
  kvxtest::EnsureAccounts();
  for (InstanceSpec& want : specs_) BuildInstance(want);
  WriteRegistry();
}

SampleHost::~SampleHost() {
  partitions_.clear();  // their servers stop first
  std::remove(kRegistry);
}

std::string SampleHost::ProgramDir(size_t ins, int build) const {
  return Product(ins) + "/program/V5.8.0." + std::to_string(build);
}

kvxtest::SimPartition& SampleHost::Partition(size_t ins, size_t par) {
  return *partitions_.at(ins).at(par);
}

void SampleHost::BuildInstance(InstanceSpec& want) {
  if (want.productPath.empty()) want.productPath = tree_ / (want.name + "/product");
  const std::string& product = want.productPath;
  fs::create_directories(product + "/program");
  fs::create_directories(product + "/hotfix");

  for (int build : want.programBuilds) {
    const std::string dir = product + "/program/V5.8.0." + std::to_string(build);
    for (const std::string& library : want.libraries) {
      kvxtest::WriteFile(dir + "/" + library, InstalledFileContent(want.name, library, build));
    }
    WriteProgram(dir + "/loader", InstalledFileContent(want.name, "loader", build));
    kvxtest::WriteFile(dir + "/kvx.cfg", "scan.threads=4\nbuild=" + std::to_string(build) + "\n");
    kvxtest::WriteFile(dir + "/res/messages.txt",
                       "messages of build " + std::to_string(build) + "\n");
  }
  if (want.latest != 0 && !want.programBuilds.empty()) {
    const int build = want.latest > 0
                          ? want.latest
                          : *std::max_element(want.programBuilds.begin(), want.programBuilds.end());
    Link(product + "/program/V5.8.0." + std::to_string(build), product + "/program/latest");
  }

  for (int build : want.hotfixBuilds) {
    PackageSpec recorded;
    recorded.build = build;
    WriteSettings(product + "/hotfix/B" + std::to_string(build) + "/FileGroup1/kvxpatch.ini",
                  recorded);
  }

  for (const std::string& engine : want.engines) {
    const std::string name = engine.substr(0, engine.find('/'));
    const std::string version = engine.substr(engine.find('/') + 2);
    const std::string dir = product + "/engine/" + engine;
    kvxtest::WriteFile(dir + "/" + name + ".dat", name + " " + version + " signatures\n");
    kvxtest::WriteFile(dir + "/version.txt", "Version: " + version + "\n");
    Link(dir, product + "/engine/" + name + "/latest");
  }

  std::vector<std::unique_ptr<kvxtest::SimPartition>> partitions;
  for (int k = 1; k <= want.partitions; ++k) {
    const std::string name = want.name + "/par" + std::to_string(k);
    auto par = std::make_unique<kvxtest::SimPartition>(tree_, name);
    for (const char* database : kProductDatabases) {
      if (k == want.partitions && want.missingDatabase == database) continue;
      kvxtest::WriteFile(par->dataDir + "/kvx/" + database + ".nsf", "");
    }
    GiveToServerUser(par->dataDir);
    kvxtest::WriteFile(par->binDir + "/libkvxext.so", "KVX extension manager of " + name + "\n");
    partitions.push_back(std::move(par));
  }
  partitions_.push_back(std::move(partitions));
}

void SampleHost::WriteRegistry() const {
  std::vector<std::string> names;
  std::string sections;
  for (size_t i = 0; i < specs_.size(); ++i) {
    const InstanceSpec& want = specs_[i];
    names.push_back(want.name);
    std::vector<std::string> entries;
    std::string notesInis;
    for (size_t k = 0; k < partitions_[i].size(); ++k) {
      entries.push_back("Par" + std::to_string(k + 1));
      notesInis += entries.back() + "=" + partitions_[i][k]->notesIni + "\n";
    }
    sections += "[" + want.name + "]\nProductPath=" + want.productPath +
                "\nProductVersion=V5.8.0.1200\nInstallType=64-bit\nDomSvrIKVXCount=" +
                std::to_string(entries.size()) + "\nDomSvrIKVXSecs=" + Join(entries, ",") + "\n" +
                notesInis;
  }
  kvxtest::WriteFile(kRegistry,
                     "[KVXInstances]\nKVXInstanceList=" + Join(names, ",") + "\n" + sections);
}

void SampleHost::MapLibraries(size_t ins, size_t par, const std::vector<std::string>& paths) {
  std::vector<std::string> quoted;
  for (const std::string& path : paths) quoted.push_back(Quoted(path));
  Partition(ins, par).Domsim("libs", Join(quoted, " "));
}

void SampleHost::StartTasks(size_t ins, size_t par, const std::vector<std::string>& tasks) {
  const std::vector<std::string>& libraries = specs_[ins].libraries;
  std::vector<std::string> mapped;
  for (size_t i = 0; i < libraries.size() && i < 2; ++i) {
    const std::string path = Product(ins) + "/program/latest/" + libraries[i];
    if (fs::exists(path)) mapped.push_back(path);
  }
  MapLibraries(ins, par, mapped);
  kvxtest::SimPartition& partition = Partition(ins, par);
  partition.Start();
  partition.SetRunning(tasks);
  partition.ClearJournal();
}

void SampleHost::WriteSettings(const std::string& path, const PackageSpec& want) const {
  kvxtest::WriteFile(
      path,
      "[Config]\nFiles=" + Join(want.files, ",") + "\nBuildNumber=" + std::to_string(want.build) +
          "\nCreateNewFolder=" + std::to_string(want.createNewFolder) + "\nDepentBuild=" +
          std::to_string(want.depentBuild) + "\nServicePack=" + std::to_string(want.servicePack) +
          "\nPreviousBuild=" + std::to_string(want.previousBuild) + "\nUpdateLoader=" +
          std::to_string(want.updateLoader) + "\nUpdateExt=" + std::to_string(want.updateExt) +
          "\nDatabases=" + Join(want.databases, ",") + "\n" + want.extraSettings);
}

std::string SampleHost::MakePackage(const PackageSpec& want) {
  const std::string dir = tree_ / ("package" + std::to_string(++packageCount_));
  fs::create_directories(dir + "/FileGroup1");
  if (want.settings) WriteSettings(dir + "/FileGroup1/kvxpatch.ini", want);
  for (const std::string& name : want.files) {
    if (name.empty()) continue;
    const std::string path = dir + "/FileGroup1/" + name;
    if (name == "loader") {
      WriteProgram(path, PackageFileContent(name, want.build));
    } else {
      kvxtest::WriteFile(path, PackageFileContent(name, want.build));
    }
  }
  if (want.readme) kvxtest::WriteFile(dir + "/FileGroup1/" + kReadme, ReadmeContent(want.build));
  if (want.installer) {
    fs::copy_file(BuiltInstaller(), dir + "/UPDSilent");
    fs::permissions(dir + "/UPDSilent", fs::perms(0755));
  }
  for (const auto& [name, version] : want.engines) {
    kvxtest::WriteFile(dir + "/engine/" + name + "/version.txt", "Version: " + version + "\n");
    kvxtest::WriteFile(dir + "/engine/" + name + "/" + name + ".dat",
                       name + " " + version + " signatures from the package\n");
  }
  return dir;
}

InstallerRun SampleHost::Run(const std::string& cwd, const std::string& program,
                             const std::string& args) {
  ClearInstallerLogs();
  const std::string command = "cd " + Quoted(cwd) + " && " + program + " " + args;
  const auto started = std::chrono::steady_clock::now();
  const kvxtest::CommandResult result = kvxtest::RunCommand(command);
  InstallerRun run;
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  run.status = result.exitStatus;
  run.output = result.output;
  run.log = LogMessages();
  return run;
}

InstallerRun SampleHost::RunUpdate(const std::string& package) {
  return Run(package, "./UPDSilent", "");
}

InstallerRun SampleHost::RunRollback(size_t ins, int build) {
  return Run(Product(ins) + "/hotfix", "./UPDSilent",
             "/u " + Quoted(Product(ins) + "/hotfix/B" + std::to_string(build)));
}

DotFreeDir::DotFreeDir() {
  char pattern[] = "/tmp/kvxe2eXXXXXX";  // mkdtemp fills in letters and digits only
  if (!::mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
  fs::permissions(path_, fs::perms(0755));
}

DotFreeDir::~DotFreeDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

pid_t TaskPid(const kvxtest::SimPartition& par, const std::string& task) {
  std::istringstream in(kvxtest::ReadFile(par.dataDir + "/domsim/tasks"));
  long pid = 0;
  std::string name;
  while (in >> pid >> name) {
    if (name == task) return static_cast<pid_t>(pid);
  }
  return -1;
}

std::vector<MappedFile> MappedFiles(pid_t pid) {
  std::vector<MappedFile> files;
  for (const std::string& line : kvxtest::ReadLines("/proc/" + std::to_string(pid) + "/maps")) {
    std::istringstream in(line);
    std::string range, perms, offset, device;
    MappedFile file;
    if (!(in >> range >> perms >> offset >> device >> file.inode)) continue;
    std::getline(in >> std::ws, file.path);
    if (file.path.empty() || file.path[0] != '/') continue;
    file.start = std::stoul(range.substr(0, range.find('-')), nullptr, 16);
    files.push_back(file);
  }
  return files;
}

MappedFile FindMapping(pid_t pid, const std::string& prefix) {
  for (const MappedFile& file : MappedFiles(pid)) {
    if (file.path.compare(0, prefix.size(), prefix) == 0) return file;
  }
  return {};
}

std::string ReadTaskMemory(pid_t pid, unsigned long address, size_t length) {
  const int fd = ::open(("/proc/" + std::to_string(pid) + "/mem").c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return "";
  std::string bytes(length, '\0');
  const ssize_t got = ::pread(fd, bytes.data(), length, static_cast<off_t>(address));
  ::close(fd);
  bytes.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return bytes;
}

}  // namespace e2e
