// The one failure type of the packager: a message for the user.
#pragma once

#include <stdexcept>
#include <string>

// Everything that refuses input or fails to write ends here; main() prints
// the message and leaves no output behind.
class PackError : public std::runtime_error {
public:
    explicit PackError(const std::string &msg) : std::runtime_error(msg) {}
};
