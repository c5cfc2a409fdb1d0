// Versioned folders of the product tree: program/V5.8.0.<build>,
// hotfix/B<build>, engine/<name>/V<major>.<minor>.<build>, and the version
// file of an engine in the package.
#ifndef KVX_INVENTORY_VERSIONFOLDER_H
#define KVX_INVENTORY_VERSIONFOLDER_H

#include <cstddef>

void QoParseVersionStr(const char* path, int* v1, int* v2, int* v3, int* v4);
char* GetLatestPathN(const char* base, const char* sub, char* out, std::size_t outSize);
char* GetLatestHFPathN(const char* base, const char* sub, char* out, std::size_t outSize);
int ReadEngineVersion(char* folder, int* major, int* minor, int* build, int* extra);

#endif  // KVX_INVENTORY_VERSIONFOLDER_H
