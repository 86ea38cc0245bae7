// Errors raised by the core library.
//
// Core calls that fail on a file or on bad input throw an Error carrying a kind and a message that
// names the file and, where it helps, the offset or block. Front ends show what() to the user.
#pragma once

#include <stdexcept>
#include <string>

namespace vorlak {

class Error : public std::runtime_error {
  public:
    enum class Kind {
        kIo,
        kCorrupt,
        kInvalidArgument,
        kNotFound,
        kOutOfRange,
        kOverflow,
        kNoSpace,  // the disk is full: an I/O failure whose text tells the user what to do
        kStopped
    };

    Error(Kind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}

    Kind kind() const { return kind_; }

    static Error Io(const std::string& m) { return {Kind::kIo, m}; }
    static Error Corrupt(const std::string& m) { return {Kind::kCorrupt, m}; }
    static Error InvalidArgument(const std::string& m) { return {Kind::kInvalidArgument, m}; }
    static Error NotFound(const std::string& m) { return {Kind::kNotFound, m}; }
    static Error OutOfRange(const std::string& m) { return {Kind::kOutOfRange, m}; }
    static Error Overflow(const std::string& m) { return {Kind::kOverflow, m}; }
    static Error NoSpace(const std::string& m) { return {Kind::kNoSpace, m}; }
    // The user asked the job to stop (Ctrl-C, a termination request, the window closing).
    static Error Stopped() { return {Kind::kStopped, "Stopped."}; }

  private:
    Kind kind_;
};

}  // namespace vorlak
