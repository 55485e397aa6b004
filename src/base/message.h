#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace Base {

// A user-visible message before localisation: its key (the English text, a printf-style format
// with %@ for text and %d / %lld for integers) and its arguments. The application passes it
// through its string table; headless tools print `englishText()`.
struct Message {
    // A nested message is itself localised before it fills its placeholder.
    using Argument = std::variant<std::string, std::int64_t, std::shared_ptr<const Message>>;

    std::string key;
    std::vector<Argument> arguments;

    // `key` with each placeholder replaced, in order, by its argument. Without arguments the
    // key is returned unchanged, so a literal "%" in it stays as written.
    std::string englishText() const;
    bool operator==(const Message &other) const;
};

// Fills a printf-style format of %@ / %d / %lld / %% with `arguments`, in order; nested
// messages are turned into text by `render`. A placeholder without an argument stays as written.
template<typename Render>
std::string formatMessage(const std::string &format, const std::vector<Message::Argument> &arguments,
                          Render &&render);
std::string formatMessage(const std::string &format, const std::vector<Message::Argument> &arguments);

template<typename Render>
std::string formatMessage(const std::string &format, const std::vector<Message::Argument> &arguments,
                          Render &&render)
{
    std::string out;
    out.reserve(format.size() + 32);
    std::size_t next = 0;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%' || i + 1 >= format.size()) {
            out.push_back(format[i]);
            continue;
        }
        if (format[i + 1] == '%') {
            out.push_back('%');
            ++i;
            continue;
        }
        std::size_t length = 0;
        if (format[i + 1] == '@' || format[i + 1] == 'd')
            length = 2;
        else if (format.compare(i + 1, 3, "lld") == 0)
            length = 4;
        if (length == 0 || next >= arguments.size()) {
            out.push_back(format[i]);
            continue;
        }
        const auto &argument = arguments[next++];
        if (const auto *text = std::get_if<std::string>(&argument))
            out += *text;
        else if (const auto *number = std::get_if<std::int64_t>(&argument))
            out += std::to_string(*number);
        else if (const auto &nested = std::get<std::shared_ptr<const Message>>(argument))
            out += render(*nested);
        i += length - 1;
    }
    return out;
}

} // namespace Base
