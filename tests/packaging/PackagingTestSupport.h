// Shared by the packaging tests: quoting for the shell commands they run and
// a listing of the files under a folder.
#ifndef KVX_TESTS_PACKAGING_PACKAGINGTESTSUPPORT_H
#define KVX_TESTS_PACKAGING_PACKAGINGTESTSUPPORT_H

#include <set>
#include <string>

namespace kvxtest {

// text in single quotes, safe as one shell word.
std::string ShellQuote(const std::string& text);

// Every file and symbolic link under root, as paths relative to it.
std::set<std::string> FilesUnder(const std::string& root);

bool IsExecutableFile(const std::string& path);

}  // namespace kvxtest

#endif  // KVX_TESTS_PACKAGING_PACKAGINGTESTSUPPORT_H
