#include "faults/FaultHost.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace faults {

const char* const kLibraries[3] = {"libkvxcore.so", "libkvxscan.so", "libkvxext.so"};

namespace {

const char* const kDatabases[] = {"kvconf", "kvxapproved", "kvxdtas", "kvency",
                                  "kvquar", "kvtime",      "kvvlog"};
const char* const kEverydayTasks[] = {"kvxreal", "kvxemf", "kvxmon", "kvxsch", "kvxcm"};

// Content that differs per name and build all the way through, so a file cut
// short or taken from the wrong build never compares equal.
std::string LibraryContent(const std::string& name, int build, size_t bytes) {
  std::string text = name + " build " + std::to_string(build) + "\n";
  unsigned seed = static_cast<unsigned>(std::hash<std::string>()(text));
  while (text.size() < bytes) {
    seed = seed * 1103515245u + 12345u;
    text.push_back(static_cast<char>('a' + (seed >> 16) % 26));
  }
  return text;
}

void Must(const std::string& command) {
  const kvxtest::CommandResult r = kvxtest::RunCommand(command);
  ASSERT_EQ(0, r.exitStatus) << command << ": " << r.output;
}

double Now() {
  using Clock = std::chrono::steady_clock;
  return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

}  // namespace

bool RunResult::Logged(const std::string& message) const {
  return std::find(log.begin(), log.end(), message) != log.end();
}

bool RunResult::LoggedPrefix(const std::string& start) const {
  return std::any_of(log.begin(), log.end(),
                     [&](const std::string& m) { return m.rfind(start, 0) == 0; });
}

std::vector<std::string> LogMessages() { return kvxtest::DebugLogMessages(); }

bool WaitForLogged(const std::string& start, int timeoutMs) {
  for (int waited = 0; waited < timeoutMs; waited += 5) {
    for (const std::string& m : LogMessages())
      if (m.rfind(start, 0) == 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

FaultHost::FaultHost(const std::string& productPath, size_t libraryBytes)
    : product_(productPath.empty() ? tree_ / "kvx1" : productPath), libraryBytes_(libraryBytes) {
  kvxtest::EnsureAccounts();
  kvxtest::ClearDebugLog();
  BuildProduct(libraryBytes);
  partition_ = std::make_unique<kvxtest::SimPartition>(tree_, "par1");
  for (const char* db : kDatabases)
    kvxtest::WriteFile(partition_->dataDir + "/kvx/" + db + ".nsf", "");
  Must("chown -R " + std::string(kvxtest::kServerUser) + " " + partition_->dataDir);
  WriteRegistry();
}

FaultHost::~FaultHost() {
  partition_.reset();  // stops the server before its tree goes
  std::error_code ignored;
  fs::remove("/etc/kvxsysV3.ini", ignored);
}

std::string FaultHost::ProgramDir(int build) const {
  return product_ + "/program/V5.8.0." + std::to_string(build);
}

std::string FaultHost::BackupDir() const {
  return product_ + "/hotfix/B" + std::to_string(kNewBuild) + "/FileGroup1";
}

void FaultHost::BuildProduct(size_t libraryBytes) {
  const std::string dir = ProgramDir(kOldBuild);
  for (const char* lib : kLibraries) originals_[lib] = LibraryContent(lib, kOldBuild, libraryBytes);
  originals_["kvx.cfg"] = "scan.threads=4\n";
  originals_["res/messages.txt"] = "KVX messages, build 1200\n";
  for (const auto& [rel, content] : originals_) kvxtest::WriteFile(dir + "/" + rel, content);
  fs::create_directories(product_ + "/hotfix");
  fs::create_symlink(dir, product_ + "/program/latest");
  Must("chmod -R 0775 " + product_ + " && chgrp -R kvxgroup " + product_);
}

void FaultHost::WriteRegistry() const {
  std::ostringstream ini;
  ini << "[KVXInstances]\nKVXInstanceList=kvx1\n[kvx1]\nProductPath=" << product_
      << "\nProductVersion=V5.8.0.1200\nInstallType=64-bit\nDomSvrIKVXCount=1\n"
      << "DomSvrIKVXSecs=Par1\nPar1=" << partition_->notesIni << "\n";
  kvxtest::WriteFile("/etc/kvxsysV3.ini", ini.str());
}

void FaultHost::StartServer() {
  partition_->Domsim("libs", product_ + "/program/latest/" + kLibraries[0] + " " + product_ +
                                 "/program/latest/" + kLibraries[1]);
  partition_->Start();
  partition_->SetRunning({std::begin(kEverydayTasks), std::end(kEverydayTasks)});
  partition_->ClearJournal();
}

std::string FaultHost::PackageLibrary(const std::string& name) const {
  return LibraryContent(name, kNewBuild, libraryBytes_);
}

std::string FaultHost::MakePackage(const PackageSpec& want) {
  const std::string dir = tree_ / ("package" + std::to_string(++packages_));
  std::string files;
  for (const std::string& name : want.files) {
    files += (files.empty() ? "" : ",") + name;
    if (std::find(want.leaveOut.begin(), want.leaveOut.end(), name) == want.leaveOut.end())
      kvxtest::WriteFile(dir + "/FileGroup1/" + name, PackageLibrary(name));
  }
  std::ostringstream ini;
  ini << "[Config]\nFiles=" << files << "\nBuildNumber=" << kNewBuild
      << "\nCreateNewFolder=" << want.createNewFolder
      << "\nDepentBuild=0\nServicePack=1200\nPreviousBuild=0\nUpdateLoader=0\nUpdateExt=0\n";
  kvxtest::WriteFile(dir + "/FileGroup1/kvxpatch.ini", ini.str());
  kvxtest::WriteFile(dir + "/FileGroup1/readme_kvxn5_linux.txt", "read me, build 1300\n");
  fs::copy_file(kvxtest::BuildDir() + "/driver/UPDSilent", dir + "/UPDSilent");
  fs::permissions(dir + "/UPDSilent", fs::perms(0755));
  return dir;
}

pid_t FaultHost::Start(const std::string& cwd, const std::string& args) {
  std::vector<std::string> words;
  std::istringstream in(args);
  for (std::string w; in >> w;) words.push_back(w);
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    std::vector<char*> argv{const_cast<char*>("./UPDSilent")};
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    const int devnull = ::open("/dev/null", O_WRONLY);
    if (devnull >= 0) ::dup2(devnull, STDOUT_FILENO);
    if (::chdir(cwd.c_str()) != 0) ::_exit(126);
    ::execv("./UPDSilent", argv.data());
    ::_exit(127);
  }
  return pid;
}

int FaultHost::Wait(pid_t pid) {
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

RunResult FaultHost::Run(const std::string& cwd, const std::string& args) {
  const size_t seen = LogMessages().size();
  RunResult result;
  const double start = Now();
  result.status = Wait(Start(cwd, args));
  result.seconds = Now() - start;
  const std::vector<std::string> all = LogMessages();
  result.log.assign(all.begin() + static_cast<long>(std::min(seen, all.size())), all.end());
  return result;
}

std::vector<std::string> FaultHost::LostOriginals() const {
  std::vector<std::string> lost;
  for (const auto& [rel, content] : originals_) {
    if (kvxtest::ReadFile(ProgramDir(kOldBuild) + "/" + rel) == content) continue;
    if (kvxtest::ReadFile(BackupDir() + "/" + rel) == content) continue;
    lost.push_back(rel);
  }
  return lost;
}

std::vector<std::string> FaultHost::ChangedOriginals() const {
  std::vector<std::string> changed;
  for (const auto& [rel, content] : originals_)
    if (kvxtest::ReadFile(ProgramDir(kOldBuild) + "/" + rel) != content) changed.push_back(rel);
  std::error_code ec;
  for (fs::recursive_directory_iterator it(ProgramDir(kOldBuild), ec), end; !ec && it != end;
       it.increment(ec)) {
    if (it->is_directory()) continue;
    const std::string rel = fs::relative(it->path(), ProgramDir(kOldBuild)).string();
    if (!originals_.count(rel)) changed.push_back(rel + " (extra)");
  }
  return changed;
}

std::string FaultHost::LatestTarget() const {
  std::error_code ec;
  std::string target = fs::read_symlink(product_ + "/program/latest", ec).string();
  while (!target.empty() && target.back() == '/') target.pop_back();
  return target;
}

}  // namespace faults
