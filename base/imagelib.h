// The one place that includes FreeImage. It comes after windows.h so that it takes the
// Win32 types (BOOL, BYTE, DWORD ...) instead of defining its own. Under Winelib the
// library is Debian's native build, so FREEIMAGE_LIB drops the __stdcall convention;
// the Windows build calls FreeImage.dll, which uses it.
#ifndef FOTOBATCH_IMAGELIB_H
#define FOTOBATCH_IMAGELIB_H

#include <windows.h>

#ifdef __WINE__
#define FREEIMAGE_LIB
#endif
#ifndef _WINDOWS_
#define _WINDOWS_
#endif
#include <FreeImage.h>

#endif
