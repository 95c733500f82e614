// The tool's fixed texts, kept apart from the code like a string table.
#pragma once

#include <string>

enum class TextId {
  kReportTemplate,  // "Exception %s in module %s at %p.\n%s%s"
  kReportCaption,
  kWriteFailed,     // message of a refused value write; %s is the value name
  kOutOfMemory,
  kInfoIncInvalid,  // text of the InfoInc error box
  kInfoIncCaption,
  kWineRunning,     // %s is the prefix directory
};

// The text in the platform's text encoding: the ANSI code page on Windows
// (from the string table resource), the locale's character set on POSIX.
std::string LoadText(TextId id);

// Replaces each "%s" of `pattern` with `arg`.
std::string FormatText(const std::string& pattern, const std::string& arg);
