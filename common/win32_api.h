#pragma once
// The Windows API for the Windows builds of the core. <windows.h> maps names such as CopyFile and
// DeleteFile to their wide or narrow variants with macros, which would rename the platform layer's
// functions of the same names; those macros are removed here, and the Windows functions are called
// by their explicit wide names (CopyFileW, DeleteFileW, ...).

#ifndef _WIN32
#error "win32_api.h is for Windows builds only"
#endif

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#undef CopyFile
#undef MoveFile
#undef ReplaceFile
#undef DeleteFile
#undef CreateDirectory
#undef RemoveDirectory
#undef LoadLibrary
