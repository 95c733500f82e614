// The error family of the tool. Every failure that ends a run is one of these;
// the outermost handler (frame/report.h) is the only place that catches them.
#pragma once

#include <new>
#include <string>
#include <string_view>

// An error object: its class's declared name and a message in the text
// encoding of the platform (ANSI code page on Windows, the locale's charset
// on POSIX). `location` is the code address just after the call that raised it.
class Exception {
 public:
  Exception(std::string message, const void* location)
      : message_(std::move(message)), location_(location) {}
  virtual ~Exception() = default;

  virtual const char* ClassName() const { return "Exception"; }
  virtual std::string_view Message() const { return message_; }
  const void* Location() const { return location_; }

 private:
  std::string message_;
  const void* location_;
};

#define AUTHREG_ERROR_CLASS(Name, Base)                              \
  class Name : public Base {                                         \
   public:                                                           \
    using Base::Base;                                                \
    const char* ClassName() const override { return #Name; }         \
  }

// A value write that the registry refused.
AUTHREG_ERROR_CLASS(ERegistryException, Exception);
// The registry's backing file (a Wine hive) could not be read, parsed,
// locked or saved; the message names the file and the reason.
AUTHREG_ERROR_CLASS(EHiveError, Exception);
// Processor faults, raised by the platform's fault handler.
AUTHREG_ERROR_CLASS(EExternal, Exception);
AUTHREG_ERROR_CLASS(EAccessViolation, EExternal);
AUTHREG_ERROR_CLASS(EDivByZero, EExternal);
AUTHREG_ERROR_CLASS(EStackOverflow, EExternal);

// Out of memory. Its message is loaded once at start-up (frame::Start) so
// that raising and reporting it needs no heap. It is also a std::bad_alloc so
// that code written against the standard library sees what it expects.
class EOutOfMemory : public Exception, public std::bad_alloc {
 public:
  explicit EOutOfMemory(const void* location) : Exception({}, location) {}
  const char* ClassName() const override { return "EOutOfMemory"; }
  std::string_view Message() const override;
  const char* what() const noexcept override { return "EOutOfMemory"; }
};

// Returns the address just after the call to the function that uses it, in
// the caller of that function. Functions that raise use it as the location.
#if defined(_MSC_VER)
#include <intrin.h>
#define AUTHREG_RETURN_ADDRESS() _ReturnAddress()
#define AUTHREG_NOINLINE __declspec(noinline)
#else
#define AUTHREG_RETURN_ADDRESS() __builtin_return_address(0)
#define AUTHREG_NOINLINE __attribute__((noinline))
#endif
