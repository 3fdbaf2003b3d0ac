// Running one command text through the shell with its output relayed to ours.
#ifndef DRELK_TOOL_RUNNER_H
#define DRELK_TOOL_RUNNER_H

// Runs command with sh, copying everything it writes on standard output to
// Drelk's standard output as it comes. Returns false when no pipe or child
// could be had; otherwise true, with pclose()'s status in *status.
bool runCommand(const char *command, int *status);

#endif
