#include "notificationcenter.h"

#include <algorithm>

NotificationCenter &NotificationCenter::defaultCenter()
{
    static NotificationCenter center;
    return center;
}

NotificationCenter::Token NotificationCenter::addObserver(const QString &name, QObject *context, Observer observer)
{
    const Token token = m_nextToken++;
    m_entries.push_back({token, name, context, context != nullptr, std::move(observer)});
    return token;
}

void NotificationCenter::removeObserver(Token token)
{
    std::erase_if(m_entries, [token](const Entry &entry) { return entry.token == token; });
}

void NotificationCenter::post(const QString &name, const QVariant &object)
{
    // Observers may add or remove observers while being told: work from a snapshot of tokens.
    std::vector<Token> tokens;
    std::erase_if(m_entries, [](const Entry &entry) { return entry.hasContext && !entry.context; });
    for (const Entry &entry : m_entries)
        if (entry.name == name)
            tokens.push_back(entry.token);
    for (Token token : tokens) {
        const auto found = std::find_if(m_entries.begin(), m_entries.end(),
                                        [token](const Entry &entry) { return entry.token == token; });
        if (found == m_entries.end() || (found->hasContext && !found->context))
            continue;
        Observer observer = found->observer; // The entry may go away during the call.
        observer(object);
    }
}

std::size_t NotificationCenter::observerCount(const QString &name) const
{
    return std::size_t(std::count_if(m_entries.begin(), m_entries.end(), [&name](const Entry &entry) {
        return entry.name == name && (!entry.hasContext || entry.context);
    }));
}
