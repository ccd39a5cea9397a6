#pragma once
// The one base of every error the player raises but the refusal of the title's memory
// (EMemoryBudget, a std::bad_alloc). The message is Shift-JIS (CP932) text.
#include <stdexcept>
#include <string>

class EVelaError : public std::runtime_error {
public:
    explicit EVelaError(const std::string& message) : std::runtime_error(message) {}
};
