// The process frame: how a run ends and what the user sees when it fails.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "frame/exception.h"

namespace frame {

// Message box styles, with their Windows values.
constexpr unsigned kMbOk = 0x0;
constexpr unsigned kMbIconError = 0x10;
constexpr unsigned kMbTaskModal = 0x2000;

// Puts the failure report in place: loads its texts and installs the
// platform's handling of processor faults and memory exhaustion. The first
// call of the program.
void Start();

// A modal box with no owner window; returns when it is closed. On POSIX the
// caption and the text go to standard error.
void ShowBox(std::string_view text, std::string_view caption, unsigned style);

// Shows the failure report for an error that escaped and ends the process
// with exit code 1. Uses no heap.
[[noreturn]] void Report(const Exception& error);

// Ends the process with `code`.
[[noreturn]] void EndRun(unsigned code);

// Runs `body`; runs `release` on every way out of it, then lets an escaping
// error go on. A guarded region, not a handler.
template <class Body, class Release>
void Guarded(Body&& body, Release&& release) {
  try {
    body();
  } catch (...) {
    release();
    throw;
  }
  release();
}

constexpr size_t kMaxReportBody = 1023;

// Fills the report template with the class name, the module's file name, the
// location as eight uppercase hex digits, the message and a full stop when
// the message has none. The result is cut after kMaxReportBody bytes and
// terminated; returns its length. No heap, so usable from a fault handler.
size_t FormatReportBody(std::string_view pattern, std::string_view class_name,
                        std::string_view module, uint32_t location,
                        std::string_view message,
                        char (&out)[kMaxReportBody + 1]);

// The part of a module path after its last separator. A separator byte that
// is the second byte of a double-byte character does not count.
std::string_view ModuleFileName(std::string_view path, char separator,
                                bool (*is_lead_byte)(unsigned char));

}  // namespace frame
