// What the shared frame code needs from the platform; implemented in
// frame-posix.cc and frame-win32.cc.
#pragma once

#include <cstddef>
#include <cstdint>

#include "store/dbcs.h"

namespace frame::platform {

// The separator of the platform's module paths.
extern const char kPathSeparator;

// Writes the path of the module (program file or library) that holds
// `address` into `path` and its load address into `base`. False when no
// module holds it. Needs no heap.
bool FindModule(const void* address, char* path, size_t size, uintptr_t* base);

// The path of the program file itself.
bool ProgramPath(char* path, size_t size);

}  // namespace frame::platform

namespace frame {

// Loads the report's texts into fixed buffers and makes an exhausted heap
// raise EOutOfMemory. Part of Start().
void StartReporting();

// Builds and shows the report for an error of `class_name` with `message`
// raised at `location`, using `find_module` to place it. Needs no heap.
void ShowReport(const char* class_name, std::string_view message,
                const void* location,
                bool (*find_module)(const void*, char*, size_t, uintptr_t*));

}  // namespace frame
