// What a reliability test measures of its own process: processor time used, threads and open
// descriptors; and a way to let the event loop run exactly as the program's does.
#pragma once

// User plus system processor time of this process so far, in milliseconds.
double ProcessCpuMs();
// Threads of this process (/proc/self/task).
int ProcessThreads();
// Open file descriptors of this process (/proc/self/fd).
int OpenDescriptors();
// Runs a plain event loop for `ms` milliseconds: the program's own loop, with nothing of a
// test's polling added, so processor time measured over it is the program's.
void RunEventLoopFor(int ms);
// How much slower than a plain build this one runs: 1, or more under a sanitizer.
int SanitizerSlowdown();
