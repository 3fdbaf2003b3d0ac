// The program state: plain globals that live for the whole run, defined with
// the menu loop and shared with the tool operations.
#ifndef DRELK_PROGRAM_STATE_H
#define DRELK_PROGRAM_STATE_H

#include <cstdint>

#include "tool_runner.h"

extern int32_t loopContinue;   // 1 while the menu loop goes on
extern char input[256];        // the last choice line
extern char filename[2048];    // first answer of an operation
extern char filename2[2048];   // second answer
extern char pcIn[2048];        // input platform code
extern char pcOut[2048];       // output platform code
extern char *command;          // command text of the operation in progress
extern ToolPipe fp;            // the running tool's output pipe
extern char myLine[65536];     // one piece of the tool's output

#endif
