#include "logfollower.h"

#include "base/nativepath.h"

#include <QFileInfo>
#include <QtConcurrent>

namespace App {

LogFollower::LogFollower(QObject *parent) : QObject(parent)
{
    m_pollTimer.setInterval(defaultPollIntervalMs);
    connect(&m_pollTimer, &Base::Timer::timeout, this, &LogFollower::poll);
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &LogFollower::poll);
    connect(&m_read, &QFutureWatcherBase::finished, this, &LogFollower::readFinished);
}

// A read under way finishes on its own: it holds copies only, never this object.
LogFollower::~LogFollower() = default;

void LogFollower::start(const QString &path, const Documents::FollowState &state)
{
    stop();
    m_path = QFileInfo(path).absoluteFilePath();
    m_localPath = Base::nativeFromPath(m_path);
    m_state = state;
    m_following = true;
    m_lastReloadReason.reset();
    watchPath();
    m_pollTimer.start();
    // The file may have grown between the load and now.
    poll();
}

void LogFollower::stop()
{
    ++m_generation;
    m_following = false;
    m_lookAgain = false;
    m_pollTimer.stop();
    if (!m_watcher.files().isEmpty())
        m_watcher.removePaths(m_watcher.files());
}

void LogFollower::setSuspended(bool suspended)
{
    if (suspended == m_suspended)
        return;
    m_suspended = suspended;
    if (suspended) {
        ++m_generation; // the read under way started before the edit: its text must not land
        m_lookAgain = false;
    } else {
        poll();
    }
}

void LogFollower::setPollInterval(int milliseconds)
{
    m_pollTimer.setInterval(milliseconds);
}

void LogFollower::watchPath()
{
    // The watcher drops a path that was deleted or replaced by rename: add it again once the
    // path names a file. Polling covers the time in between.
    if (m_watcher.files().isEmpty() && QFileInfo::exists(m_path))
        m_watcher.addPath(m_path);
}

void LogFollower::poll()
{
    if (!m_following || m_suspended)
        return;
    if (m_reading) {
        m_lookAgain = true;
        return;
    }
    watchPath();
    m_reading = true;
    m_lookAgain = false;
    m_read.setFuture(QtConcurrent::run([generation = m_generation, path = m_localPath, state = m_state]() mutable {
        auto outcome = std::make_shared<Outcome>();
        outcome->generation = generation;
        outcome->result = Documents::readAppended(path, state);
        if (auto *appended = std::get_if<Documents::FollowAppended>(&outcome->result))
            outcome->text = std::make_shared<const std::u16string>(std::move(appended->text));
        outcome->state = std::move(state);
        return outcome;
    }));
}

void LogFollower::readFinished()
{
    m_reading = false;
    const auto future = m_read.future();
    if (future.resultCount() == 0)
        return;
    const std::shared_ptr<Outcome> outcome = future.result();
    if (outcome->generation != m_generation || !m_following) {
        // Stopped, restarted or suspended meanwhile: look again from the state that stands.
        poll();
        return;
    }
    if (const auto *reload = std::get_if<Documents::FollowReload>(&outcome->result)) {
        if (reload->reason == Documents::FollowReloadReason::Missing) {
            // Rotated away or deleted: keep polling for the file to come back.
            if (m_lookAgain)
                poll();
            return;
        }
        m_lastReloadReason = reload->reason;
        stop();
        emit reloadNeeded();
        return;
    }
    m_state = std::move(outcome->state);
    const bool more = std::holds_alternative<Documents::FollowAppended>(outcome->result)
                      && std::get<Documents::FollowAppended>(outcome->result).more;
    if (outcome->text)
        emit appended(outcome->text);
    // A receiver may have stopped or suspended us; poll() checks.
    if (more || m_lookAgain)
        poll();
}

} // namespace App
