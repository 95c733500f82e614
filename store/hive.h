// A Wine registry hive file (user.reg) in memory: the text as read, plus
// the keys this run changes. What a run does not change is written back
// byte for byte.
#pragma once

#include <climits>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Key paths inside the hive are key names joined by a backslash, relative to
// the hive's root; the empty path is the root. Names compare without regard
// to case.
using KeyPath = std::u16string;

// Registry value types as they are stored.
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegDword = 4;

class Hive {
 public:
  Hive();
  ~Hive();
  Hive(Hive&&) noexcept;
  Hive& operator=(Hive&&) noexcept;

  // Takes the text of a hive file. False, with the reason, when it is not a
  // hive this store can keep intact: not Wine's format or version, a line
  // that does not parse, a truncated last line, a NUL byte.
  bool Parse(std::string text, std::string* error);

  // The text of a hive file with no keys, as Wine begins user.reg.
  static std::string EmptyUserHive();

  // True when the key is listed, or a key below it is.
  bool KeyExists(const KeyPath& path) const;

  // Creates the key and every missing key above it. `now` is the time in
  // 100 ns units since 1601 (a FILETIME), given to every key that changes.
  void CreateKey(const KeyPath& path, uint64_t now);

  // Sets a value of an existing key: `data` as the registry holds it (for
  // kRegSz UTF-16LE with its terminating zero). A value of the same name,
  // compared without case, is replaced and keeps its spelling.
  void SetValue(const KeyPath& key, std::u16string_view name, uint32_t type,
                std::string_view data, uint64_t now);

  // Deletes the key and every key below it; false when it does not exist.
  bool DeleteKey(const KeyPath& path, uint64_t now);

  // True once any key has changed.
  bool changed() const { return changed_; }

  // The hive file's text, handed to `sink` piece by piece (what the run
  // left alone straight from the text read). False when the sink was.
  using Sink = std::function<bool(std::string_view)>;
  bool Write(const Sink& sink) const;
  std::string Text() const;

  // Wine's text forms, shared with the tests.
  static std::string EscapeString(std::u16string_view s, char quote_a,
                                  char quote_b);
  static std::string ValueLine(std::u16string_view name, uint32_t type,
                               std::string_view data);

 private:
  struct Block;
  struct BlockEdit;
  struct ParsedRange {
    std::vector<Block> blocks;
    bool continued = false;  // inside a hex value at its end
    int lines = 0;
    std::string error;
  };
  bool ParseRange(size_t from, size_t to, ParsedRange* out) const;
  // The block's path, or its first `names` names.
  std::u16string_view PathOf(const Block& b, std::u16string* scratch,
                             int names = INT_MAX) const;
  int FindBlock(const KeyPath& path) const;
  BlockEdit* EditOf(const Block& b) const;
  void StartEdit(Block* b);
  struct Within;
  bool BlockWithin(const Block& b, std::u16string_view path, std::u16string* scratch) const;
  KeyPath Spelling(const KeyPath& path) const;
  size_t InsertPosition(const KeyPath& path) const;
  Block& EditBlock(const KeyPath& path);
  void Touch(const KeyPath& path, uint64_t now);
  void NoteNewSubkey(const KeyPath& parent, uint64_t now);

  std::string text_;
  size_t header_end_ = 0;
  std::vector<Block> blocks_;
  std::vector<std::unique_ptr<BlockEdit>> edits_;
  bool changed_ = false;
};

// Compares key paths name by name, without case: the order in which Wine
// lists keys (a key before the keys below it).
int CompareKeyPaths(std::u16string_view a, std::u16string_view b);

// Decodes a string of the hive's escaped form up to an unescaped `end`
// (or to the end of `text` when end is 0). Returns the number of bytes
// taken, including `end`, or npos when it is missing or an escape is cut.
size_t UnescapeString(std::string_view text, char end, std::u16string* out);
