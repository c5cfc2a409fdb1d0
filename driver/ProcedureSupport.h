// Small steps the hotfix and engine procedures share: reading build numbers
// out of folder names, and stopping an instance's tasks.
#ifndef KVX_DRIVER_PROCEDURESUPPORT_H
#define KVX_DRIVER_PROCEDURESUPPORT_H

// Removes one trailing '/' or '\\' from path, if it has one.
void RemoveTrailingSeparator(char* path);

// The text after the last occurrence of mark in path, or null when path
// holds no mark ("/p/program/V5.8.0.1234" and '.' give "1234").
const char* TextAfterLast(const char* path, char mark);

// A build number as folder names carry it: base 10, 0 without digits.
int ReadBuildNumber(const char* text);

// The build of the current program folder: removes one trailing separator
// from programDir and logs the number after its last '.'. Null, logged as an
// error, when the folder name holds no '.'.
const char* ReadCurrentProgramBuild(char* programDir);

// Sends the stop command to every task of every partition of the current
// instance and waits up to ten passes of ten seconds for them to end, sending
// the stop again after each pass. True once none runs. When they outlast the
// ten passes it logs the give-up, loads the tasks again and returns false.
bool StopAllTasksAndWait();

#endif  // KVX_DRIVER_PROCEDURESUPPORT_H
