// Helpers shared by the units of the file operations library and reachable
// from its tests. Not part of the library's interface: include only from
// fileop/ and tests/fileop/.
#ifndef KVX_FILEOP_FILEOPINTERNAL_H
#define KVX_FILEOP_FILEOPINTERNAL_H

#include <string>

namespace qo_fileop_internal {

inline bool IsEmpty(const char* path) { return path == nullptr || path[0] == '\0'; }

// Asked before a byte is taken as a separator: true when the byte at pos is
// the second half of a double-byte character. No such encoding is in use on
// this platform, so the answer is always no.
bool IsTrailingByteOfDBC(const char* text, const char* pos);
bool isPathSeparator(char c);
// True when the byte at pos of text is a separator.
bool IsSeparatorAt(const char* text, const char* pos);
// True for a non-null text holding "*" or "?".
bool isWildcardName(const char* name);
// Rewrites every backslash to "/", in place.
void normalizeSeptor(std::string& path);
// Removes at most one trailing separator; "/" itself is kept.
void StripOneTrailingSeparator(std::string& path);
// Matches the whole name against the whole pattern: "*" covers any run of
// bytes (also none, "/" and "."), "?" exactly one byte; case-sensitive, no
// classes, no escapes.
bool _fnmatch(const char* pattern, const char* name);

}  // namespace qo_fileop_internal

#endif  // KVX_FILEOP_FILEOPINTERNAL_H
