// The command line of cvspamcmd: banner, usage, dispatch of one command.
#pragma once

// Runs one command line. Always returns 1, the process exit status.
int runCommandLine(int argc, char** argv);

// The two banner lines every run prints first.
constexpr const char* kBannerLine1 = "Spam Training Command Line Utility. Version 3.5\n";
constexpr const char* kBannerLine2 =
    "Builds, merges, prunes and tests Bayesian token dictionaries.\n\n";
