#pragma once
// The converter's whole logic, callable in-process (the program's main, the fuzz target).

// Runs varnel-convert with argv and returns its exit status: 0, 1 or 2. asProgram: the run owns
// the process, so it installs its signal handlers and closes standard output at the end; false
// only flushes it, for a caller that runs it again and again.
int ConvertMain(int argc, char** argv, bool asProgram = true);
