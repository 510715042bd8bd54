// The entry of the window module (libvestrelle-window.so), which the program
// loads by name when it opens its window.
#pragma once

// Opens the window for the program's command line (ARGC, ARGV as main got
// them; ARGC must outlive the call) and returns the exit status.
extern "C" __attribute__((visibility("default"))) int vestrelleWindowMain(int* argc, char** argv);
using WindowMain = int (*)(int* argc, char** argv);
inline constexpr const char* kWindowModule = "libvestrelle-window.so";
inline constexpr const char* kWindowEntry = "vestrelleWindowMain";
