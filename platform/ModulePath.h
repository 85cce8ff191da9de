// Which module holds a code address, and the full path of that module's file
// (GetModuleHandleExA + GetModuleFileNameA on Windows).
// This system is linked statically into its program, so here every module is the program file,
// read from /proc/self/exe.
#pragma once

namespace Platform {

using ModuleHandle = const void*;

// True with `module` set when `address` lies in a loaded module; false with LastErrorCode set.
bool ModuleOfAddress(const void* address, ModuleHandle& module);

// Writes the module's path (a null handle: the program file) into `buffer` of `size` characters,
// cut to size - 1 characters and always zero-terminated when size > 0. Returns the number of
// characters written without the terminator; 0 on failure, with LastErrorCode set.
unsigned ModuleFileName(ModuleHandle module, char* buffer, unsigned size);

} // namespace Platform
