// The mark by which the application runtime knows the per-run directory as this run's own. The
// launcher writes a text into a file of the directory it made and puts the same text into its
// own environment, which the JVM inherits and no JVM option can change: the runtime removes the
// directory that "lumex.tempDir" names only when the file there holds exactly that text, so a
// later "-Dlumex.tempDir=" (a .vmoptions line, _JAVA_OPTIONS, a -J start parameter) cannot make
// it delete another folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace launcher {

// The file in the per-run directory and the environment variable that hold the mark.
constexpr char kRunMarkFile[] = ".lumex-run";
constexpr char kRunMarkVariable[] = "LUMEX_RUN_MARK";
// Random bytes in the mark: guessing them is as hard as guessing a 128-bit key.
constexpr size_t kRunMarkRandomBytes = 16;

// "<process id>:<random bytes in lower-case hex>". The process id lets the runtime refuse a mark
// that a child process inherited from another launcher's process.
std::string runMarkText(uint32_t processId, const uint8_t* random, size_t count);

}  // namespace launcher
