// GoogleTest under Winelib: winegcc defines _WIN32, which would send GoogleTest down its
// Windows paths while it links against the Linux build of the library. Hide it for the
// GoogleTest headers only, then bring in the Win32 headers.
#ifndef FOTOBATCH_GTEST_WIN_H
#define FOTOBATCH_GTEST_WIN_H

#pragma push_macro("_WIN32")
#pragma push_macro("WIN32")
#undef _WIN32
#undef WIN32
#include <gtest/gtest.h>
#pragma pop_macro("WIN32")
#pragma pop_macro("_WIN32")

#include <windows.h>

#endif
