// Sees every message box and dialog that the program opens on this thread (a thread-local
// CBT hook), records what the user would see, and answers it as the test chose.
#ifndef FOTOBATCH_BOXWATCH_H
#define FOTOBATCH_BOXWATCH_H

#include "gtest_win.h"

#include <functional>
#include <set>
#include <string>
#include <vector>

enum BoxIcon { ICON_NONE, ICON_INFORMATION, ICON_WARNING, ICON_ERROR, ICON_QUESTION };

struct SeenBox {
    HWND window;
    HWND owner;
    bool messageBox;   // a MessageBox, not a dialog of the program
    std::string caption;
    std::string text;  // a message box's text; empty for dialogs
    BoxIcon icon;
};

typedef std::function<void(HWND)> BoxAnswer;

class BoxWatch {
public:
    BoxWatch();
    ~BoxWatch();

    // Queues the answer for the next new box or dialog, in the order they appear.
    void Then(BoxAnswer answer);

    std::vector<SeenBox> seen;
    // the summary boxes that end the jobs: kept apart from seen, answered with OK, and
    // never given a queued answer
    std::vector<SeenBox> summaries;
    int unanswered = 0;  // boxes that came with no answer queued (closed with OK / Esc)

    void OnActivate(HWND window);
    void OnDestroy(HWND window);

private:
    BoxWatch *outer;
    HHOOK hook;
    std::vector<BoxAnswer> answers;
    std::set<HWND> known;
};

// Answers that press a button: posted, so the box's own loop handles them.
BoxAnswer Press(int id);
void PressNow(HWND window, int id);
// An answer that runs the given steps a moment later from inside the box's own modal
// loop, so that they may send messages, open further boxes and check what they show.
// The steps must end the box (PressNow) themselves.
BoxAnswer Steps(std::function<void(HWND)> steps);
// Reads a control's text as the program's ANSI bytes.
std::string ControlText(HWND dialog, int id);
// A readable list of the boxes seen, for failure messages.
std::string Describe(const std::vector<SeenBox> &boxes);

#endif
