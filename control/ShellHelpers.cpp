// Shell helpers around installed files: the program/latest link and the
// group ownership of installed trees. Paths go to the shell unquoted, as the
// product has always passed them; results are not checked, later steps show
// what took effect.
#include "DominoControl.h"
#include "ShellCommand.h"

namespace {
constexpr unsigned long kCommandSize = 1024;
}  // namespace

void CreateLink(char* productPath, char* target) {
  char cmd[kCommandSize];
  RunShellCommand(cmd, sizeof cmd, "rm %s/program/latest", productPath);
  // State: no program/latest until the next command makes the new one.
  RunShellCommand(cmd, sizeof cmd, "ln -sf %s %s/program/latest", target, productPath);
}

void _ChangeOwner(char* path) {
  char cmd[kCommandSize];
  RunShellCommand(cmd, sizeof cmd, "chmod -Rf 0775 %s", path);
  RunShellCommand(cmd, sizeof cmd, "chgrp -Rf kvxgroup %s", path);
}
