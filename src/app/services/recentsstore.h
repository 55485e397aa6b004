#pragma once

#include "app/services/clock.h"
#include "base/timer.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QSettings>
#include <QString>
#include <QThreadPool>
#include <QUuid>

#include <chrono>
#include <optional>

namespace App {

class RecentsStore;

// One file of the recent-files list. Identity is `id`; == compares every field.
struct RecentEntry {
    QUuid id;             // fresh for every addition
    QString path;         // as it was added, not normalised
    QByteArray bookmark;  // FileBookmark bytes; empty when none could be made
    double lastOpened = 0; // when it was added: seconds since 2001-01-01 00:00:00 UTC

    // The file to open for this entry: where the bookmark leads when a file is there, else
    // `path` when a file is there, else nothing. A stale bookmark is replaced afterwards,
    // through a queued RecentsStore::refreshBookmark on the shared store (or `store`).
    // Main thread.
    std::optional<QString> url() const;
    std::optional<QString> url(RecentsStore &store) const;

    QDateTime lastOpenedTime() const;

    friend bool operator==(const RecentEntry &, const RecentEntry &) = default;
};

// The ten files most recently opened or saved, newest first, shared by every window of the
// process and kept in the settings under "recents.v1". The stored list is read in the
// background at start and merged behind what was added meanwhile; every change is written
// 0.5 s after the last one on Base::Timer's clock (encoded and written off the main thread) and
// at once by `flushNow`, which runs when the application is deactivated or quits. Main thread
// only.
class RecentsStore : public QObject {
    Q_OBJECT

public:
    static inline const QString key = QStringLiteral("recents.v1");
    static constexpr int maxCount = 10;
    static constexpr std::chrono::milliseconds defaultSaveDelay{500};
    // Seconds from 1970-01-01 to 2001-01-01, the origin of `lastOpened`.
    static constexpr double referenceDateOffset = 978307200.0;

    // The one store of the process, over Preferences::shared().settings(). Create it on the main
    // thread once the application object exists, so it sees deactivation and quitting.
    static RecentsStore &shared();

    // A store over `settings`, which it uses on the main thread; its background reads and writes
    // open their own QSettings on the same file. Starts reading at the next turn of the event loop.
    explicit RecentsStore(QSettings &settings, Clock clock = systemClock,
                          std::chrono::milliseconds saveDelay = defaultSaveDelay, QObject *parent = nullptr);
    ~RecentsStore() override;

    // Newest first, at most maxCount.
    const QList<RecentEntry> &items() const { return m_items; }
    // True once the stored list has been read (whether or not there was one).
    bool didLoad() const { return m_didLoad; }

    // Records `path` as the most recent file, replacing an entry with the same path text.
    void add(const QString &path);
    // Removes every entry with `entry`'s id.
    void remove(const RecentEntry &entry);
    // Empties the list.
    void clear();
    // Gives the entry with `entry`'s id a new bookmark made for `resolvedPath`, and that path;
    // nothing when no bookmark can be made or the entry is gone.
    void refreshBookmark(const RecentEntry &entry, const QString &resolvedPath);
    // Writes the list now, on the calling thread, after any write already running; if the stored
    // list has not been read yet it is read and merged first, so nothing stored is lost.
    void flushNow();
    // Blocks until the reads and writes running in the background are over. What they hand
    // back reaches this object at the next turn of the event loop. For tests.
    void waitForBackgroundWork() { m_io.waitForDone(); }

    // The stored format: UTF-8 JSON, an array of {"id", "path", "bookmark", "lastOpened"}.
    static QByteArray encode(const QList<RecentEntry> &items);
    // Nothing when the bytes are not such an array with all four keys in every object. Entries
    // no file could have made are left out: an empty path, one with a NUL, one of PATH_MAX
    // bytes or more, a bookmark over 16 KiB.
    static std::optional<QList<RecentEntry>> decode(const QByteArray &bytes);

signals:
    void itemsChanged();
    // A write of the list has finished (debounced or flushNow).
    void saved();

private slots:
    void applicationStateChanged(Qt::ApplicationState state);

private:
    void startLoad();
    void applyLoaded(const std::optional<QList<RecentEntry>> &stored);
    void setItems(QList<RecentEntry> items);
    void scheduleSave();
    void saveInBackground();

    QSettings &m_settings;
    const QString m_settingsFile;
    const QSettings::Format m_settingsFormat;
    const Clock m_clock;
    QList<RecentEntry> m_items;
    bool m_didLoad = false;
    // Counts loads, so that a background read overtaken by flushNow is dropped.
    int m_loadGeneration = 0;
    Base::Timer m_saveTimer;
    QList<RecentEntry> m_pendingSnapshot;
    // One thread: reads and writes reach the file in the order they were started.
    QThreadPool m_io;
};

} // namespace App
