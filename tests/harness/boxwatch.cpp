#include "boxwatch.h"
#include "fixture.h"

#include "base/progress.h"

#include <map>

static thread_local BoxWatch *activeWatch = NULL;

static const int messageBoxTextId = 0xFFFF;
static const int messageBoxIconId = 0x0440;

static LRESULT CALLBACK WatchHook(int code, WPARAM wParam, LPARAM lParam)
{
    BoxWatch *watch = activeWatch;
    if (watch != NULL && code == HCBT_ACTIVATE)
        watch->OnActivate((HWND)wParam);
    if (watch != NULL && code == HCBT_DESTROYWND)
        watch->OnDestroy((HWND)wParam);
    return CallNextHookEx(NULL, code, wParam, lParam);
}

// A watch made while another is active takes over until it ends; then the outer one
// sees the boxes again.
BoxWatch::BoxWatch() : outer(activeWatch)
{
    activeWatch = this;
    hook = SetWindowsHookExA(WH_CBT, WatchHook, NULL, GetCurrentThreadId());
}

BoxWatch::~BoxWatch()
{
    UnhookWindowsHookEx(hook);
    activeWatch = outer;
}

void BoxWatch::Then(BoxAnswer answer)
{
    answers.push_back(answer);
}

static bool IsDialogWindow(HWND window)
{
    char className[64] = "";
    GetClassNameA(window, className, sizeof className);
    return std::string(className) == "#32770";
}

static BoxIcon IconOf(HWND box)
{
    HWND iconControl = GetDlgItem(box, messageBoxIconId);
    HICON icon = iconControl != NULL ? (HICON)SendMessageA(iconControl, STM_GETICON, 0, 0) : NULL;
    const struct { LPCSTR id; BoxIcon icon; } icons[] = {{(LPCSTR)IDI_INFORMATION, ICON_INFORMATION},
        {(LPCSTR)IDI_WARNING, ICON_WARNING}, {(LPCSTR)IDI_ERROR, ICON_ERROR}, {(LPCSTR)IDI_QUESTION, ICON_QUESTION}};
    for (const auto &known : icons)
        if (icon != NULL && icon == LoadIconA(NULL, known.id))
            return known.icon;
    return ICON_NONE;
}

void BoxWatch::OnActivate(HWND window)
{
    if (!IsDialogWindow(window) || known.count(window))
        return;
    known.insert(window);
    SeenBox box;
    box.window = window;
    box.owner = GetWindow(window, GW_OWNER);
    box.messageBox = GetDlgItem(window, messageBoxTextId) != NULL;
    char caption[1024] = "";
    GetWindowTextA(window, caption, sizeof caption);
    box.caption = caption;
    box.text = box.messageBox ? ControlText(window, messageBoxTextId) : "";
    box.icon = box.messageBox ? IconOf(window) : ICON_NONE;
    if (box.messageBox && box.caption == SUMMARY_CAPTION) {
        summaries.push_back(box);
        PostMessageA(window, WM_COMMAND, IDOK, 0);
        return;
    }
    seen.push_back(box);
    if (answers.empty()) {
        unanswered++;
        PostMessageA(window, WM_COMMAND, box.messageBox ? IDOK : IDCANCEL, 0);
        return;
    }
    BoxAnswer answer = answers.front();
    answers.erase(answers.begin());
    answer(window);
}

void BoxWatch::OnDestroy(HWND window)
{
    known.erase(window);
}

void PressNow(HWND window, int id)
{
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(window, id));
}

static std::map<HWND, std::function<void(HWND)>> pendingSteps;

static void CALLBACK RunPendingSteps(HWND window, UINT, UINT_PTR id, DWORD)
{
    // the user acts once the box is shown: on a busy machine the timer may come first
    if (!IsWindowVisible(window))
        return;
    KillTimer(window, id);
    auto found = pendingSteps.find(window);
    if (found == pendingSteps.end())
        return;
    std::function<void(HWND)> steps = found->second;
    pendingSteps.erase(found);
    steps(window);
}

BoxAnswer Steps(std::function<void(HWND)> steps)
{
    return [steps](HWND window) {
        pendingSteps[window] = steps;
        SetTimer(window, 0x5ABE, 10, RunPendingSteps);
    };
}

BoxAnswer Press(int id)
{
    return [id](HWND window) { PressNow(window, id); };
}

std::string ControlText(HWND dialog, int id)
{
    HWND control = GetDlgItem(dialog, id);
    int length = GetWindowTextLengthA(control);
    std::string text(length + 1, '\0');
    GetWindowTextA(control, &text[0], length + 1);
    text.resize(strlen(text.c_str()));
    return text;
}

std::string Describe(const std::vector<SeenBox> &boxes)
{
    std::string all;
    for (const SeenBox &box : boxes)
        all += "[" + AnsiToUtf8(box.caption) + " | " + AnsiToUtf8(box.text) + " | icon " + std::to_string(box.icon) + "] ";
    return all;
}
