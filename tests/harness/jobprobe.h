// Watches a running job from another thread, as the desktop would: asks the main window
// every few milliseconds whether it answers (SendMessageTimeout with WM_NULL), reads the
// progress window's bar, and presses its Cancel once the bar reaches a given position.
#ifndef FOTOBATCH_JOBPROBE_H
#define FOTOBATCH_JOBPROBE_H

#include "gtest_win.h"

#include <vector>

class JobProbe {
public:
    explicit JobProbe(int cancelAt = -1);  // -1: never press Cancel
    ~JobProbe();
    void Stop();

    int probes = 0;
    int unanswered = 0;          // probes the main window did not answer within 200 ms
    DWORD worstWaitMs = 0;
    std::vector<int> positions;  // the bar's position at each probe while the window was up
    int barTotal = 0;            // the bar's upper end
    DWORD cancelTick = 0;        // when Cancel was pressed, 0 if never

    void Probe();
    volatile LONG stopping = 0;

private:
    int cancelAt;
    HANDLE thread;
};

#endif
