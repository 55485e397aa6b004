#include "validation.h"

namespace Formatting {

std::string ValidationError::label() const
{
    if (!line)
        return "Error";
    std::string text = "Line " + std::to_string(*line);
    if (column)
        text += ", Col " + std::to_string(*column);
    return text;
}

std::string Validation::label() const
{
    switch (m_state) {
    case State::Empty:
        return {};
    case State::Valid:
        return "Valid";
    case State::Invalid:
        break;
    }
    if (!m_error.line)
        return "Invalid";
    return "Invalid \u00B7 " + m_error.label();
}

} // namespace Formatting
