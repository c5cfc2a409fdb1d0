// Acting on the Domino servers of a host: console commands sent as the
// partition's server user, the per-partition task controls, and the shell
// helpers for links and ownership. What the lock files say, which only reads,
// is in DominoState.h.
#ifndef KVX_CONTROL_DOMINOCONTROL_H
#define KVX_CONTROL_DOMINOCONTROL_H

#include "KVXInsInfo.h"

// Runs command on the partition's server by starting binDir/server as the
// owner of notesIni; returns when that program has ended. The working folder
// is binDir meanwhile and restored afterwards.
void RunDominoCommand(const char* notesIni, const char* binDir, const char* command);
// Sends "quit" to the partition's server the same way; returns 1.
int StopAllDominoServer(KVXNParInfo* par, void* context);

// 0 when the process now runs as the owner of notesIni, 1 otherwise. Only the
// user changes; the groups stay.
int ChangeUser(const char* notesIni);
// 0 when the process's group is now kvxgroup, 1 otherwise.
int ChangeKVXGroup();

// Per-partition callbacks; each returns 1 so a pass goes on.
int StopAllKVX(KVXNParInfo* par, void* context);
int LoadAllKVX(KVXNParInfo* par, void* context);
int RestartAllKVX(KVXNParInfo* par, void* context);
// Sends the stop command to every task of every partition of the current
// instance and waits up to ten passes of ten seconds for them to end, sending
// the stop again after each pass; the process's group becomes kvxgroup first.
// True once none runs. When they outlast the ten passes it logs the give-up,
// loads the tasks again and returns false.
bool StopAllTasksAndWait();

// Adds the size of every file under <data>/kvx to *(uint32_t*)context;
// 0 when it cannot be measured.
int GetAllDbSize(KVXNParInfo* par, void* context);

// Makes productPath/program/latest a symbolic link to target.
void CreateLink(char* productPath, char* target);
// Mode 0775 and group kvxgroup for path and everything under it.
void _ChangeOwner(char* path);

void ToUp(char* text);
// Copies "/etc" into buffer, at most size characters.
void GetSystemWindowsDirectory(char* buffer, int size);

#endif  // KVX_CONTROL_DOMINOCONTROL_H
