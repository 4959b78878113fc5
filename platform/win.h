// The one header that product code includes for everything it takes from the
// operating system: Win32, the common controls, the shell link object and the
// runtime's shared stream open. On Windows these are the system's own headers;
// on every other host they are the small Win32 subset in platform/host.
#ifndef PLATFORM_WIN_H
#define PLATFORM_WIN_H

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>
#include <share.h>
#include <stdio.h>
#else
#include "host/winhost.h"
#endif

#endif
