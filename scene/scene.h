#pragma once
// The scene language: a UTF-8 text, one step per line, read by the scene player and the
// GStreamer overlay element alike.
//   CALL ARG...      an export of vxosd.h with its arguments in the export's order
//   wait MS          let MS milliseconds of scene time pass
//   snapshot FILE    the current frame as a PNG
//   # ...            a comment (also after a step)
// Integers are decimal (optionally signed) or 0x hex up to 0xFFFFFFFF (colours); texts are in
// double quotes with the escapes \" \\ and \n; names and snapshot files may also be bare
// words. The whole scene is checked before anything runs: an unknown call, a wrong argument
// count or a bad value is an error naming the line. Scene text quoted in a message shows
// control characters escaped (\x1B), so a stray byte from an editor is visible.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vxscene {

struct SceneError : std::runtime_error {
  SceneError(int line, const std::string &message)
      : std::runtime_error("line " + std::to_string(line) + ": " + message),
        line(line),
        message(message) {}
  int line;
  std::string message;
};

// A scene file that cannot be used at all: unreadable, a directory, or without a step. The
// message names the file.
struct SceneFileError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

enum class ArgType {
  Name,  // 8-bit name: quoted or bare word
  Int,   // 32-bit integer (hex values above 0x7FFFFFFF wrap, for colours)
  Ms,    // non-negative milliseconds
  Text,  // quoted, converted to UTF-16
  Path,  // quoted file path, UTF-16; relative paths are taken from the scene's folder
  File,  // snapshot file: quoted or bare word, UTF-8
};

struct Arg {
  ArgType type{};
  std::int32_t number = 0;
  std::string utf8;         // Name, File, and the UTF-8 form of Text and Path
  std::u16string utf16;     // Text and Path, zero-terminated when handed over
};

struct Step {
  int line = 0;
  std::string call;  // an export name, "wait" or "snapshot"
  std::vector<Arg> args;
};

// The argument types of a call, or null for an unknown call.
const std::vector<ArgType> *Signature(std::string_view call);

// One line (without its line break); nothing for a blank or comment line. Throws SceneError
// with the given line number.
std::optional<Step> ParseLine(std::string_view line, int number);

// A whole scene; a UTF-8 byte-order mark at the start is skipped.
std::vector<Step> ParseScene(std::string_view text);

// The largest scene file LoadScene reads.
inline constexpr std::size_t kMaxSceneBytes = std::size_t{16} << 20;

// Reads and parses a scene file. Throws SceneFileError when the file cannot be read, is a
// directory, a device, a pipe or a socket, is larger than kMaxSceneBytes or holds no step,
// and SceneError for a bad line.
std::vector<Step> LoadScene(const std::filesystem::path &file);

// Total scene time of the waits, in milliseconds.
std::uint64_t SceneDuration(const std::vector<Step> &steps);

// UTF-8 to UTF-16; false for malformed input.
bool Utf8ToUtf16(std::string_view in, std::u16string &out);

// Scene text for a message: control characters as \xHH, everything else as it stands.
std::string Escaped(std::string_view text);

}  // namespace vxscene
