#include "message.h"

namespace Base {

std::string formatMessage(const std::string &format, const std::vector<Message::Argument> &arguments)
{
    return formatMessage(format, arguments, [](const Message &nested) { return nested.englishText(); });
}

std::string Message::englishText() const
{
    return arguments.empty() ? key : formatMessage(key, arguments);
}

bool Message::operator==(const Message &other) const
{
    return englishText() == other.englishText();
}

} // namespace Base
