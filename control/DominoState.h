// What the lock files of a partition say about its Domino server and KVX
// tasks. Only reads: a program that promises to change nothing (kvxinfo)
// includes this and not DominoControl.h, whose functions act on the servers.
#ifndef KVX_CONTROL_DOMINOSTATE_H
#define KVX_CONTROL_DOMINOSTATE_H

#include "KVXInsInfo.h"

// The nine task names, which also name the task programs in each Domino
// program folder.
extern const char* const szaLoader[9];

// 1 when another process holds any record lock on path, else 0 (also when it
// cannot be opened).
int isFileLocked(const char* path);
// 1 when the partition's server holds <data>/~notes.lck locked; context unused.
int isDominoServerRunning(KVXNParInfo* par, void* context);
// 1 when a locked entry of <dataDir>/kvxtemp is named task (case ignored)
// followed at once by "{".
int IsKVXRun(const char* dataDir, const char* task);
// Per-partition callback, returns 1 so a pass goes on: adds the running ones
// of kvxreal, kvxdbs and kvxupd to *(uint32_t*)context.
int GetRunningKVXNum(KVXNParInfo* par, void* context);

#endif  // KVX_CONTROL_DOMINOSTATE_H
