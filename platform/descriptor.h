#pragma once
// Byte output to a file descriptor, for sinks that stream frames to a file, a pipe or a
// descriptor a host hands over. A reader that went away makes the write fail; it never ends
// the process (no SIGPIPE).

#include <cstddef>
#include <string>

namespace vx {

// Creates or truncates the file (or opens the named pipe, waiting for its reader) for
// writing; the descriptor is not inherited by child processes. -1 on failure.
int OpenForWriting(const std::string &path);
// Writes all bytes, retrying short writes; false on any failure.
bool WriteAll(int fd, const void *data, std::size_t size);
void CloseDescriptor(int fd);

}  // namespace vx
