#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariant>

#include <functional>
#include <vector>

// Named in-process notifications through which menu commands reach windows and editors, so that
// commands never hold a window. Main thread only; delivery is synchronous within `post`, in the
// order observers were added.
class NotificationCenter {
public:
    using Observer = std::function<void(const QVariant &object)>;
    using Token = quint64;

    static NotificationCenter &defaultCenter();

    // `context`, when given, bounds the observer's life: it is skipped once `context` is gone.
    Token addObserver(const QString &name, QObject *context, Observer observer);
    void removeObserver(Token token);
    void post(const QString &name, const QVariant &object = {});
    std::size_t observerCount(const QString &name) const;

private:
    struct Entry {
        Token token;
        QString name;
        QPointer<QObject> context;
        bool hasContext;
        Observer observer;
    };
    std::vector<Entry> m_entries;
    Token m_nextToken = 1;
};

// The notification names commands post.
namespace Notifications {
inline const QString openFile = QStringLiteral("openFile");
inline const QString saveFile = QStringLiteral("saveFile");
inline const QString newFile = QStringLiteral("newFile");
inline const QString loadFile = QStringLiteral("loadFile");
inline const QString findAction = QStringLiteral("findAction");
inline const QString goToLine = QStringLiteral("goToLine");
inline const QString revealInFinder = QStringLiteral("revealInFinder");
inline const QString copyPath = QStringLiteral("copyPath");
inline const QString copyJSONPath = QStringLiteral("copyJSONPath");
// The object is 1 for the next error, -1 for the previous one.
inline const QString findError = QStringLiteral("findError");
inline const QString duplicateLine = QStringLiteral("duplicateLine");
inline const QString moveLineUp = QStringLiteral("moveLineUp");
inline const QString moveLineDown = QStringLiteral("moveLineDown");
inline const QString forceFlushScratch = QStringLiteral("forceFlushScratch");
inline const QString openExternalFile = QStringLiteral("openExternalFile");
} // namespace Notifications
