#include "jobs.h"
#include "fixture.h"

#include "base/base.h"
#include "base/state.h"
#include "chooser/chooser.h"
#include "thumbs/thumbs.h"

int RunThumbnailJob(const std::string &winDir, const std::string &mask, const std::string &suffix, int size)
{
    TextCopy(workDir, sizeof workDir, winDir.c_str());
    BuildThumbDirPath();
    TextCopy(findMask, sizeof findMask, Utf8ToAnsi(mask).c_str());
    TextCopy(thumbSuffix, sizeof thumbSuffix, Utf8ToAnsi(suffix).c_str());
    thumbSize = size;
    return RunJob(MakeThumbnails);
}
