#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace Formatting {

// Where and why a document check failed. Compared field by field.
struct ValidationError {
    // UTF-8, English: the checker's description of the fault without its position phrase, or
    // "Encoding error".
    std::string message;
    // 1-based; absent when no position was found.
    std::optional<std::int64_t> line;
    // 1-based; absent when no column was found (JSON columns count like the caret column).
    std::optional<std::int64_t> column;

    // The position as the status bar shows it: "Error" without a line, "Line 3" with a line
    // only, "Line 3, Col 4" with both.
    std::string label() const;

    bool operator==(const ValidationError &) const = default;
};

// The result of every document check (JSON, NDJSON, XML): a plain value, cheap to copy and
// safe to hand from a background thread to the window.
class Validation {
public:
    enum class State : std::uint8_t { Invalid, Empty, Valid };

    static Validation invalid(ValidationError error) { return Validation(State::Invalid, std::move(error)); }
    static Validation empty() { return Validation(State::Empty, {}); }
    static Validation valid() { return Validation(State::Valid, {}); }

    // A default-constructed result is `empty`, what a window shows before its first check.
    Validation() = default;

    State state() const { return m_state; }
    bool isValid() const { return m_state == State::Valid; }
    bool isEmpty() const { return m_state == State::Empty; }
    bool isInvalid() const { return m_state == State::Invalid; }
    // The fault; nullptr unless invalid.
    const ValidationError *error() const { return isInvalid() ? &m_error : nullptr; }
    // The line to mark in the editor: the fault's line when invalid and known.
    std::optional<std::int64_t> errorLine() const { return isInvalid() ? m_error.line : std::nullopt; }

    // English status text: "" when empty, "Valid", "Invalid" for a fault without a line, else
    // "Invalid · " followed by the fault's `label()`.
    std::string label() const;

    bool operator==(const Validation &) const = default;

private:
    Validation(State state, ValidationError error) : m_state(state), m_error(std::move(error)) {}

    State m_state = State::Empty;
    ValidationError m_error; // Default-valued unless m_state is Invalid, so == compares cases.
};

} // namespace Formatting
