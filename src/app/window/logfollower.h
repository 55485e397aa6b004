#pragma once

#include "documents/followtail.h"

#include <QFileSystemWatcher>
#include <QFutureWatcher>
#include <QObject>
#include <QString>
#include "base/timer.h"

#include <QTimer>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace App {

// Follows a log file as other programs append to it (follow mode). The file is watched, and
// polled as well because watchers miss changes on some file systems and lose the path after a
// replace-by-rename. Each look runs `Documents::readAppended` on the thread pool, one at a time;
// with nothing new it costs one stat there. The results arrive on the main thread.
class LogFollower : public QObject {
    Q_OBJECT

public:
    static constexpr int defaultPollIntervalMs = 250;

    explicit LogFollower(QObject *parent = nullptr);
    ~LogFollower() override;

    // Follows `path` from `state` on (normally `LoadedText::follow` of the load that produced the
    // document's text). Replaces whatever was followed before.
    void start(const QString &path, const Documents::FollowState &state);
    // Stops watching; a read still under way is discarded.
    void stop();
    bool isFollowing() const { return m_following; }

    // While suspended (the document has unsaved edits) nothing is read; a read under way is
    // discarded, so nothing is skipped: resuming reads from where the last delivered text ended.
    void setSuspended(bool suspended);
    bool isSuspended() const { return m_suspended; }

    // The state after the last delivered result: its `mtime` is the file's modification time as
    // of the last appended text.
    const Documents::FollowState &state() const { return m_state; }
    const QString &path() const { return m_path; }
    // Why the last `reloadNeeded` was emitted.
    std::optional<Documents::FollowReloadReason> lastReloadReason() const { return m_lastReloadReason; }

    void setPollInterval(int milliseconds);
    int pollInterval() const { return m_pollTimer.interval(); }

signals:
    // New text for the end of the document, LF-only.
    void appended(std::shared_ptr<const std::u16string> text);
    // The file was truncated, replaced, rewritten or became undecodable as the document's
    // encoding: only a reload shows it correctly. Following has stopped; start again after the
    // reload. A file that merely disappears is waited for: it is reported when it comes back.
    void reloadNeeded();

private:
    struct Outcome {
        std::uint64_t generation = 0;
        Documents::FollowState state;
        Documents::FollowResult result;
        std::shared_ptr<const std::u16string> text;
    };

    void poll();
    void readFinished();
    void watchPath();

    QString m_path;
    std::string m_localPath;
    Documents::FollowState m_state;
    QFileSystemWatcher m_watcher;
    Base::Timer m_pollTimer;
    QFutureWatcher<std::shared_ptr<Outcome>> m_read;
    std::uint64_t m_generation = 0;
    bool m_following = false;
    bool m_suspended = false;
    bool m_reading = false;
    bool m_lookAgain = false; // something happened while a read was under way
    std::optional<Documents::FollowReloadReason> m_lastReloadReason;
};

} // namespace App
