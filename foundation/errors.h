// Exception classes of the foundation. Each documented error kind has a class
// of its own; the message is the documented text.
#pragma once

#include <stdexcept>
#include <string>

namespace omb {

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

// Failures of the hash list and of the collections built on it.
class EElHashListError : public Exception {
public:
    using Exception::Exception;
};

// A broken object tree (an internal consistency check failed).
class EAssertionFailed : public Exception {
public:
    using Exception::Exception;
};

// A failure the operating system reported (the message carries its code).
class EOSError : public Exception {
public:
    using Exception::Exception;
};

// A failed call into a COM service (the XML document service, for one).
class EOleError : public Exception {
public:
    using Exception::Exception;
};

}  // namespace omb
