// The reference reading of INI text used by the INI fuzz targets.
#include "fuzz/IniModel.h"

#include "fuzz/FuzzSupport.h"

namespace kvxfuzz {

namespace {

constexpr std::size_t kReadMax = 1023;  // bytes one line read brings at most
constexpr std::size_t kNameMax = 63;

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// What one read of at most 1023 bytes hands over, as a C string sees it.
std::string NextRead(const std::string& bytes, std::size_t* at) {
  std::size_t end = *at;
  while (end < bytes.size() && end - *at < kReadMax) {
    if (bytes[end++] == '\n') break;
  }
  std::string piece = bytes.substr(*at, end - *at);
  *at = end;
  return AsCString(piece);
}

void DropLineEnd(std::string& line) {
  for (int i = 0; i < 2 && !line.empty() && (line.back() == '\r' || line.back() == '\n'); ++i)
    line.pop_back();
}

}  // namespace

bool SameName(const std::string& stored, const std::string& arg) {
  return stored.size() == arg.size() && StartsWithName(stored, arg);
}

bool StartsWithName(const std::string& stored, const std::string& arg) {
  if (arg.size() > stored.size()) return false;
  for (std::size_t i = 0; i < arg.size(); ++i)
    if (Fold(stored[i]) != Fold(arg[i])) return false;
  return true;
}

IniModel ParseIni(const std::string& bytes) {
  IniModel model;
  for (std::size_t at = 0; at < bytes.size();) {
    std::string line = NextRead(bytes, &at);
    DropLineEnd(line);
    if (SameName(line, "[END]")) break;
    if (line.empty()) continue;
    if (line[0] == '[') {
      std::string name = line.substr(1);
      const std::size_t close = name.rfind(']');
      if (close != std::string::npos) name.resize(close);
      model.push_back({name.substr(0, kNameMax), {}});
      continue;
    }
    const std::size_t equals = line.find('=');
    if (model.empty() || equals == std::string::npos || equals > kNameMax) continue;
    model.back().values.push_back({line.substr(0, equals), line.substr(equals + 1)});
  }
  return model;
}

std::string DumpIni(const IniModel& model) {
  std::string text;
  for (const ModelSection& section : model) {
    text += "[" + section.name + "]\n";
    for (const ModelValue& value : section.values) text += value.name + "=" + value.value + "\n";
    text += "\n";
  }
  return text + "[END]\n";
}

}  // namespace kvxfuzz
