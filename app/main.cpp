#include "app.h"
#include "../base/state.h"
#include "../res/resource.h"
#include "../decode/decoder.h"

// Start-up: the defaults and date stamp, strings, window class, FreeImage's message hook, the main window,
// then the message loop with the accelerators until the window is destroyed; the
// decoding workers end with the program.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand)
{
    (void)previous;
    (void)commandLine;
    if (!StartMainWindow(instance, showCommand))
        return 0;
    HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDA_MAINACCEL));
    MSG message;
    while (GetMessageA(&message, NULL, 0, 0)) {
        if (!TranslateAcceleratorA(message.hwnd, accelerators, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    DecoderShutdown();
    return (int)message.wParam;
}
