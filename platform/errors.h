#pragma once
// The one base of every error the player raises. The message is Shift-JIS (CP932) text.
#include <stdexcept>
#include <string>

class EVelaError : public std::runtime_error {
public:
    explicit EVelaError(const std::string& message) : std::runtime_error(message) {}
};
