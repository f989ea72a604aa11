#pragma once
// The error classes the system raises and catches. Messages are UTF-8.

#include <stdexcept>
#include <string>

namespace vx {

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string &message) : std::runtime_error(message) {}
};

// A picture or frame stream that cannot be decoded.
class EInvalidGraphic : public Exception { using Exception::Exception; };
// An operation on a bitmap in a state that does not allow it (for example a scan line of an
// empty bitmap), or a size the library refuses to allocate.
class EInvalidOperation : public Exception { using Exception::Exception; };
class EOutOfResources : public Exception { using Exception::Exception; };
// Streams: a read that found fewer bytes than asked for, a write that failed.
class EReadError : public Exception { using Exception::Exception; };
class EWriteError : public Exception { using Exception::Exception; };
// Files that cannot be opened or created.
class EFOpenError : public Exception { using Exception::Exception; };
class EFCreateError : public Exception { using Exception::Exception; };
class EAssertionFailed : public Exception { using Exception::Exception; };
class EConvertError : public Exception { using Exception::Exception; };
class ERangeError : public Exception { using Exception::Exception; };

}  // namespace vx
