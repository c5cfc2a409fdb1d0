// Reading runs back from the installer's debug log. The installer's own
// messages, the formats of driver/LogTexts.h, are the only landmarks: a
// banner opens a run, the instance count says how many instances it will
// treat, each instance opens with a start line and ends at the line that
// decided it. What is between matters only when it is an error line.
#include "RunLog.h"

#include <algorithm>
#include <map>
#include <string_view>

#include "DebugLog.h"
#include "DecimalNumber.h"
#include "LogTexts.h"

namespace kvxinfo {
namespace {

enum class Kind {
  kOther,
  kUpdateBanner,
  kRollbackBanner,
  kEngineBanner,
  kRegistryBegin,  // every registry pass; the first one of a process reads the file
  kRegistryRead,   // once per process, so a run without banner starts here
  kEarlyEnd,       // the run ends before any instance
  kInstanceCount,
  kInstanceStart,  // update, hotfix rollback
  kCompleted,
  kSkipped,
  kFailed,
  kStopGaveUp,  // fails a hotfix rollback; an engine rollback goes on to its next pair
  kPair,        // engine rollback: one line per pair opens each instance
  kPairStart,
  kPairRemoved,
  kPairKept,
  kChild,  // the console command's child, logging under its own pid
};

// Which value of a line's last number makes it an error line.
enum class Bad { kNever, kNonZero, kNegative };

struct LogText {
  Kind kind;
  Bad bad;
  const char* format;  // printf's: "%s" any text, "%d" a decimal, "%x" a hex number
};

const LogText kTexts[] = {
    {Kind::kUpdateBanner, Bad::kNever, logtext::kUpdateBanner},
    {Kind::kRollbackBanner, Bad::kNever, logtext::kRollbackBanner},
    {Kind::kEngineBanner, Bad::kNever, logtext::kEngineRollbackBanner},
    {Kind::kRegistryBegin, Bad::kNever, logtext::kRegistryPass},
    {Kind::kRegistryRead, Bad::kNever, logtext::kRegistryFirstRead},
    {Kind::kEarlyEnd, Bad::kNever, logtext::kRegistryUnreadable},
    {Kind::kEarlyEnd, Bad::kNever, logtext::kNoInstance},
    {Kind::kInstanceCount, Bad::kNever, logtext::kInstanceCount},
    // The update and its gates.
    {Kind::kInstanceStart, Bad::kNever, logtext::kUpdateStart},
    {Kind::kCompleted, Bad::kNever, logtext::kUpdateDone},
    {Kind::kSkipped, Bad::kNever, logtext::kProgramNotOlder},
    {Kind::kSkipped, Bad::kNever, logtext::kHotfixNotOlder},
    {Kind::kFailed, Bad::kNever, logtext::kNoProgramBuild},
    {Kind::kFailed, Bad::kNever, logtext::kDepentBuildMissing},
    {Kind::kFailed, Bad::kNever, logtext::kServicePackMissing},
    {Kind::kFailed, Bad::kNever, logtext::kPreviousBuildMismatch},
    {Kind::kFailed, Bad::kNever, logtext::kDatabaseMissing},
    // The hotfix rollback, its checks and its two give-ups.
    {Kind::kInstanceStart, Bad::kNever, logtext::kRollbackStart},
    {Kind::kCompleted, Bad::kNever, logtext::kRollbackDone},
    {Kind::kFailed, Bad::kNever, logtext::kNoHotfix},
    {Kind::kFailed, Bad::kNever, logtext::kRollbackHotfixNewer},
    {Kind::kFailed, Bad::kNever, logtext::kRollbackHotfixOlder},
    {Kind::kFailed, Bad::kNever, logtext::kHotfixNotInstalled},
    {Kind::kFailed, Bad::kNever, logtext::kRollbackProgramNewer},
    {Kind::kFailed, Bad::kNever, logtext::kOnlyOneProgramFolder},
    {Kind::kFailed, Bad::kNever, logtext::kProgramMoveGaveUp},
    {Kind::kStopGaveUp, Bad::kNever, logtext::kTaskStopGaveUp},
    // The engine rollback: pairs, each removed or kept.
    {Kind::kPair, Bad::kNever, logtext::kEnginePair},
    {Kind::kPairStart, Bad::kNever, logtext::kEngineStart},
    {Kind::kPairRemoved, Bad::kNever, logtext::kEngineRemoved},
    {Kind::kPairKept, Bad::kNever, logtext::kEngineFolderMissing},
    {Kind::kPairKept, Bad::kNever, logtext::kEngineOnlyVersion},
    // Steps that log their result code and go on whatever it is.
    {Kind::kOther, Bad::kNonZero, logtext::kFolderCopied},
    {Kind::kOther, Bad::kNonZero, logtext::kFileCopied},
    {Kind::kOther, Bad::kNonZero, logtext::kHotfixFolderRemoved},
    {Kind::kOther, Bad::kNonZero, logtext::kTaskProgramRenamed},
    {Kind::kOther, Bad::kNonZero, logtext::kLoaderCopied},
    {Kind::kOther, Bad::kNonZero, logtext::kConsoleForkFailed},
    {Kind::kOther, Bad::kNegative, logtext::kEngineUnlinked},
    // The console command's children, which belong to no run.
    {Kind::kChild, Bad::kNever, logtext::kChildNotesIni},
    {Kind::kChild, Bad::kNever, logtext::kChildNoStat},
    {Kind::kChild, Bad::kNever, logtext::kChildOwner},
    {Kind::kChild, Bad::kNever, logtext::kChildSetUidFailed},
};

constexpr char kErrorMark[] = "Error:";
constexpr char kUpdate[] = "update";
constexpr char kHotfixRollback[] = "hotfix rollback";
constexpr char kEngineRollback[] = "engine rollback";
constexpr char kNoMode[] = "none";
constexpr char kEngineFolder[] = "/engine/";

struct Captures {
  std::string_view values[8];
  int count = 0;
};

// The literal text of a format from at to its next conversion.
std::string_view LiteralAt(std::string_view format, std::size_t at) {
  const std::size_t end = format.find('%', at);
  return format.substr(at, end == std::string_view::npos ? end : end - at);
}

// How a format's output stands in a text: filling it whole, or opening a line
// as the line prefix does, cut where the writer cuts it.
enum class Span { kWhole, kLinePrefix };
constexpr std::size_t kPrefixCut = kLinePrefixSize - 1;

// Where a number a conversion printed ends in text from at; at when none.
std::size_t NumberEnd(std::string_view text, std::size_t at, char conversion) {
  const std::size_t sign = conversion == 'd' && text.substr(at, 1) == "-" ? at + 1 : at;
  const std::size_t end =
      text.find_first_not_of(conversion == 'x' ? "0123456789abcdef" : "0123456789", sign);
  const std::size_t stop = end == text.npos ? text.size() : end;
  return stop == sign ? at : stop;
}

// Where the output of format for some arguments ends in text, npos when text
// does not begin with such an output. In a whole text a "%s" ends at the
// first occurrence of the text after it while another "%s" follows, else at
// the last: paths come before the numbers, so a path holding the text after
// it is still read whole. The line prefix's texts (stamp, unit) hold no "]",
// so there every "%s" ends at the first occurrence, and the output may stop
// part-way at the cut.
std::size_t MatchEnd(std::string_view format, std::string_view text, Span span, Captures& out) {
  const bool prefix = span == Span::kLinePrefix;
  if (prefix) text = text.substr(0, kPrefixCut);
  const auto cutAt = [&](std::size_t t) { return prefix && t == kPrefixCut ? t : text.npos; };
  out.count = 0;
  std::size_t f = 0;
  std::size_t t = 0;
  while (f < format.size()) {
    if (t == kPrefixCut && prefix) return t;
    if (format[f] != '%') {
      const std::string_view literal = LiteralAt(format, f);
      const std::string_view found = text.substr(t, literal.size());
      if (literal.substr(0, found.size()) != found) return text.npos;
      if (found.size() < literal.size()) return cutAt(t + found.size());
      f += literal.size();
      t += literal.size();
      continue;
    }
    const char conversion = format[f + 1];
    f += 2;
    std::size_t end = t;
    if (conversion != 's') {
      end = NumberEnd(text, t, conversion);
      if (end == t) return text.npos;
    } else {
      const std::string_view next = LiteralAt(format, f);
      if (next.empty())
        end = text.size();
      else if (prefix || format.find("%s", f) != std::string_view::npos)
        end = text.find(next, t);
      else
        end = text.rfind(next);
      if (end == std::string_view::npos || end < t) return text.npos;
    }
    if (out.count < 8) out.values[out.count++] = text.substr(t, end - t);
    t = end;
  }
  return t;
}

bool Match(std::string_view format, std::string_view text, Captures& out) {
  return MatchEnd(format, text, Span::kWhole, out) == text.size();
}

// A number of the log, read as the installer reads its own numbers.
int ReadNumber(std::string_view digits) { return ReadDecimal32(std::string(digits).c_str()); }

const LogText* Classify(std::string_view message, Captures& captures) {
  for (const LogText& text : kTexts)
    if (Match(text.format, message, captures)) return &text;
  return nullptr;
}

bool IsErrorLine(std::string_view message, const LogText* text, const Captures& captures) {
  if (message.substr(0, sizeof kErrorMark - 1) == kErrorMark) return true;
  if (!text || text->bad == Bad::kNever) return false;
  const int code = ReadNumber(captures.values[captures.count - 1]);
  return code != 0 && (text->bad == Bad::kNonZero || code < 0);
}

// Whether the run has announced more instances than it has started.
bool HasRoom(const Run& run) {
  return run.instances.size() < static_cast<std::size_t>(std::max(run.announced, 0));
}

// What the reader keeps per pid about the run that pid is in.
struct PidState {
  int run = -1;  // index in the runs, -1 before the pid's first run
  bool registryRead = false;
  // The engine rollback's current instance.
  int pairs = 0;
  int pairsStarted = 0;
  int pairsDecided = 0;
  int removed = 0;
  // A run without banner opens with the registry pass before its first
  // registry line: that pass's stamp, and the older run's end before it.
  std::string beginStamp;
  std::string endBeforeBegin;
};

class Reader {
 public:
  void Line(std::string_view stamp, int pid, std::string_view message);
  std::vector<Run> runs;

 private:
  void StartRun(PidState& state, int pid, std::string_view stamp, const char* mode);
  void Decide(Run& run, InstanceOutcome outcome, std::string_view message);
  void EngineLine(PidState& state, Run& run, Kind kind, std::string_view message,
                  const Captures& captures);
  static void Settle(Run& run);
  std::map<int, PidState> pids_;
};

void Reader::StartRun(PidState& state, int pid, std::string_view stamp, const char* mode) {
  state = PidState();
  state.run = static_cast<int>(runs.size());
  Run run;
  run.pid = pid;
  run.start = std::string(stamp);
  run.mode = mode;
  runs.push_back(run);
}

void Reader::Decide(Run& run, InstanceOutcome outcome, std::string_view message) {
  if (run.instances.empty() || run.instances.back().outcome) return;
  run.instances.back().outcome = outcome;
  run.instances.back().line = std::string(message);
}

// Finished once every announced instance has its outcome. The engine
// rollback's result is its last instance's alone.
void Reader::Settle(Run& run) {
  if (run.announced < 0 || run.finished) return;
  std::vector<InstanceOutcome> outcomes;
  if (run.mode != kNoMode) {
    if (HasRoom(run)) return;
    for (const RunInstance& instance : run.instances) {
      if (!instance.outcome) return;
      outcomes.push_back(*instance.outcome);
    }
    if (run.mode == kEngineRollback && !outcomes.empty()) outcomes = {outcomes.back()};
  }
  run.finished = true;
  run.exitStatus = static_cast<unsigned char>(RunResult(outcomes));  // the shell's low byte
}

void Reader::EngineLine(PidState& state, Run& run, Kind kind, std::string_view message,
                        const Captures& captures) {
  RunInstance* current = run.instances.empty() ? nullptr : &run.instances.back();
  if (kind == Kind::kPair) {
    if (current && !current->outcome && state.pairsStarted == 0) {
      ++state.pairs;
    } else if (HasRoom(run)) {
      run.instances.push_back(RunInstance{"", std::nullopt, std::string(message)});
      state.pairs = 1;
      state.pairsStarted = state.pairsDecided = state.removed = 0;
    }
    return;
  }
  if (!current || current->outcome) return;
  if (kind == Kind::kPairStart) {
    if (state.pairsStarted == state.pairs) return;
    ++state.pairsStarted;
    const std::string_view folder = captures.values[0];
    const std::size_t engine = folder.rfind(kEngineFolder);
    if (current->product.empty() && engine != folder.npos)
      current->product = std::string(folder.substr(0, engine));
    return;
  }
  if (state.pairsDecided == state.pairsStarted) return;
  ++state.pairsDecided;
  if (kind == Kind::kPairRemoved) ++state.removed;
  if (kind == Kind::kPairRemoved || state.removed == 0) current->line = std::string(message);
  if (state.pairsDecided == state.pairs)
    current->outcome = state.removed > 0 ? InstanceOutcome::kCompleted : InstanceOutcome::kSkipped;
}

void Reader::Line(std::string_view stamp, int pid, std::string_view message) {
  Captures captures;
  const LogText* text = Classify(message, captures);
  const Kind kind = text ? text->kind : Kind::kOther;
  if (kind == Kind::kChild) return;
  PidState& state = pids_[pid];

  if (kind == Kind::kUpdateBanner) StartRun(state, pid, stamp, kUpdate);
  if (kind == Kind::kRollbackBanner) StartRun(state, pid, stamp, kHotfixRollback);
  if (kind == Kind::kEngineBanner) StartRun(state, pid, stamp, kEngineRollback);
  if (kind == Kind::kRegistryRead && (state.run < 0 || state.registryRead)) {
    const std::string begin = state.beginStamp.empty() ? std::string(stamp) : state.beginStamp;
    if (state.run >= 0 && !state.beginStamp.empty()) runs[state.run].end = state.endBeforeBegin;
    StartRun(state, pid, begin, kNoMode);
  }
  if (kind == Kind::kRegistryBegin) {
    state.beginStamp = std::string(stamp);
    state.endBeforeBegin = state.run < 0 ? std::string() : runs[state.run].end;
  } else {
    state.beginStamp.clear();
  }
  if (state.run < 0) return;  // a run begun in an earlier file, or not a run's line

  Run& run = runs[state.run];
  run.end = std::string(stamp);
  if (IsErrorLine(message, text, captures)) run.errors.emplace_back(message);
  switch (kind) {
    case Kind::kRegistryRead:
      state.registryRead = true;
      break;
    case Kind::kEarlyEnd:
      if (run.announced < 0) run.announced = 0;
      break;
    case Kind::kInstanceCount:
      if (run.announced < 0) run.announced = std::max(0, ReadNumber(captures.values[0]));
      break;
    case Kind::kInstanceStart:
      if (HasRoom(run))
        run.instances.push_back(
            RunInstance{std::string(captures.values[0]), std::nullopt, std::string(message)});
      break;
    case Kind::kCompleted:
      Decide(run, InstanceOutcome::kCompleted, message);
      break;
    case Kind::kSkipped:
      Decide(run, InstanceOutcome::kSkipped, message);
      break;
    case Kind::kFailed:
      Decide(run, InstanceOutcome::kFailed, message);
      break;
    case Kind::kStopGaveUp:
      if (run.mode == kEngineRollback)
        EngineLine(state, run, kind, message, captures);
      else
        Decide(run, InstanceOutcome::kFailed, message);
      break;
    case Kind::kPair:
    case Kind::kPairStart:
    case Kind::kPairRemoved:
    case Kind::kPairKept:
      EngineLine(state, run, kind, message, captures);
      break;
    default:
      break;
  }
  Settle(run);
}

}  // namespace

const char* OutcomeText(const RunInstance& instance) {
  return instance.outcome ? OutcomeName(*instance.outcome) : "unfinished";
}

std::vector<Run> ReadRuns(std::istream& log) {
  Reader reader;
  std::string stamp;
  int pid = 0;
  std::string message;
  bool pending = false;
  std::string line;
  while (std::getline(log, line)) {
    Captures prefix;
    const std::size_t messageAt = MatchEnd(kLinePrefixFormat, line, Span::kLinePrefix, prefix);
    if (messageAt == line.npos) {
      if (pending) message += "\n" + line;
      continue;
    }
    if (pending) reader.Line(stamp, pid, message);
    stamp = std::string(prefix.values[0]);
    pid = ReadNumber(prefix.values[1]);
    message = line.substr(messageAt);
    pending = true;
  }
  if (pending) reader.Line(stamp, pid, message);
  return reader.runs;
}

int LogStatus(const std::vector<Run>& runs, int last) {
  if (runs.empty()) return kLogNoRun;
  const std::size_t count = std::min(runs.size(), static_cast<std::size_t>(std::max(last, 1)));
  for (std::size_t i = runs.size() - count; i < runs.size(); ++i) {
    const Run& run = runs[i];
    if (!run.finished || run.exitStatus != 0 || !run.errors.empty()) return kLogTrouble;
  }
  return kLogClean;
}

}  // namespace kvxinfo
