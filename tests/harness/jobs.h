// The thumbnail job run as "Run!" runs it, with the settings the job dialog would leave.
#ifndef FOTOBATCH_JOBS_H
#define FOTOBATCH_JOBS_H

#include "gtest_win.h"

#include <string>

// Sets workDir (a Windows path, as the chooser leaves it) and thumbDirPath from it, the
// mask and suffix (UTF-8) and the size, then runs the job to its end with the main
// window disabled. Returns what the job returned.
int RunThumbnailJob(const std::string &winDir, const std::string &mask = "*.jpg",
                    const std::string &suffix = "_small.jpg", int size = 150);

#endif
