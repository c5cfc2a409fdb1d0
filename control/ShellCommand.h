// The one runner of shell commands and the one child run as a partition's
// server user. Both flush stdio first, so nothing buffered is written twice.
#ifndef KVX_CONTROL_SHELLCOMMAND_H
#define KVX_CONTROL_SHELLCOMMAND_H

// Formats the command into cmd (size bytes, cut silently) and runs it with
// system; the result is system's. The caller logs cmd when it wants.
int RunShellCommand(char* cmd, unsigned long size, const char* fmt, ...)
    __attribute__((format(printf, 3, 4)));

// Forks a child that becomes the owner of notesIni (ChangeUser) and execs
// /bin/sh -c commandLine; waits for it. Returns the wait status, or -1 when
// the child could not be created (logged) or the wait failed.
int RunAsNotesIniOwner(const char* notesIni, const char* commandLine);

#endif  // KVX_CONTROL_SHELLCOMMAND_H
