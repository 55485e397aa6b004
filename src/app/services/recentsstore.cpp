#include "recentsstore.h"

#include "app/services/filebookmark.h"
#include "app/services/preferences.h"
#include "app/services/statefile.h"
#include "base/nativepath.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>

#include <algorithm>

#include <climits>
#include <limits>

namespace App {

namespace {

// The canonical 36-character form, hexadecimal in either case; braces and other spellings
// QUuid would accept are refused, as any other reader of the list would refuse them.
bool isCanonicalUuid(const QString &text)
{
    if (text.size() != 36)
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (c != '-')
                return false;
        } else if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) {
            return false;
        }
    }
    return true;
}

std::optional<QByteArray> strictBase64(const QString &text)
{
    if (text.size() % 4 != 0)
        return std::nullopt;
    const auto result = QByteArray::fromBase64Encoding(text.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (result.decodingStatus != QByteArray::Base64DecodingStatus::Ok)
        return std::nullopt;
    return result.decoded;
}

std::optional<RecentEntry> decodeEntry(const QJsonValue &value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    const QJsonValue id = object.value(QLatin1String("id"));
    const QJsonValue path = object.value(QLatin1String("path"));
    const QJsonValue bookmark = object.value(QLatin1String("bookmark"));
    const QJsonValue lastOpened = object.value(QLatin1String("lastOpened"));
    if (!id.isString() || !path.isString() || !bookmark.isString() || !lastOpened.isDouble())
        return std::nullopt;
    if (!isCanonicalUuid(id.toString()))
        return std::nullopt;
    const auto bookmarkBytes = strictBase64(bookmark.toString());
    if (!bookmarkBytes)
        return std::nullopt;
    return RecentEntry{QUuid::fromString(id.toString()), path.toString(), *bookmarkBytes, lastOpened.toDouble()};
}

// Entries no file could ever have made: no system call takes such a path, and laying one out
// on the welcome screen would take seconds. PATH_MAX counts the terminating NUL. A bookmark
// holds an identity, a folder and a name, a few kilobytes at most.
constexpr qsizetype maximumBookmarkSize = 16 * 1024;

bool isAbsurd(const RecentEntry &entry)
{
    if (entry.path.isEmpty() || entry.path.contains(QChar(0)) || entry.bookmark.size() > maximumBookmarkSize)
        return true;
    // Each UTF-16 unit is at most three bytes: only a long path needs encoding to be measured.
    if (entry.path.size() * 3 < PATH_MAX)
        return false;
    return entry.path.size() >= PATH_MAX || qsizetype(Base::nativeFromPath(entry.path).size()) >= PATH_MAX;
}

bool isRegularOrAbsent(const QString &file)
{
    return StateFile::isUsable(StateFile::inspect(file, std::numeric_limits<qint64>::max()));
}

void truncate(QList<RecentEntry> &items)
{
    if (items.size() > RecentsStore::maxCount)
        items.resize(RecentsStore::maxCount);
}

} // namespace

// ---- RecentEntry

std::optional<QString> RecentEntry::url() const
{
    return url(RecentsStore::shared());
}

std::optional<QString> RecentEntry::url(RecentsStore &store) const
{
    if (!bookmark.isEmpty()) {
        if (const auto resolved = FileBookmark::resolve(bookmark)) {
            if (resolved->isStale) {
                QMetaObject::invokeMethod(
                    &store, [store = QPointer(&store), entry = *this, path = resolved->path] {
                        if (store)
                            store->refreshBookmark(entry, path);
                    },
                    Qt::QueuedConnection);
            }
            return resolved->path;
        }
    }
    if (QFileInfo(path).isFile())
        return path;
    return std::nullopt;
}

QDateTime RecentEntry::lastOpenedTime() const
{
    const double msecs = (lastOpened + RecentsStore::referenceDateOffset) * 1000.0;
    return QDateTime::fromMSecsSinceEpoch(qint64(msecs), Qt::UTC);
}

// ---- RecentsStore

RecentsStore &RecentsStore::shared()
{
    static RecentsStore *instance = new RecentsStore(Preferences::shared().settings()); // Lives as long as the process.
    return *instance;
}

RecentsStore::RecentsStore(QSettings &settings, Clock clock, std::chrono::milliseconds saveDelay, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_settingsFile(settings.fileName())
    , m_settingsFormat(settings.format())
    , m_clock(std::move(clock))
{
    m_io.setMaxThreadCount(1);
    m_io.setThreadPriority(QThread::LowPriority);
    m_saveTimer.setSingleShot(true);
    m_saveTimer.setInterval(int(saveDelay.count()));
    connect(&m_saveTimer, &Base::Timer::timeout, this, &RecentsStore::saveInBackground);

    if (QCoreApplication *application = QCoreApplication::instance()) {
        connect(application, &QCoreApplication::aboutToQuit, this, &RecentsStore::flushNow);
        // The signal belongs to QGuiApplication; reaching it through the meta-object keeps this
        // library free of Qt GUI, and a plain QCoreApplication simply has no such signal.
        if (application->metaObject()->indexOfSignal("applicationStateChanged(Qt::ApplicationState)") >= 0)
            connect(application, SIGNAL(applicationStateChanged(Qt::ApplicationState)), this,
                    SLOT(applicationStateChanged(Qt::ApplicationState)));
    }
    QMetaObject::invokeMethod(this, &RecentsStore::startLoad, Qt::QueuedConnection);
}

RecentsStore::~RecentsStore()
{
    // The background tasks call back into this object.
    m_io.waitForDone();
}

void RecentsStore::applicationStateChanged(Qt::ApplicationState state)
{
    if (state != Qt::ApplicationActive)
        flushNow();
}

void RecentsStore::startLoad()
{
    if (m_didLoad)
        return;
    const int generation = ++m_loadGeneration;
    m_io.start([this, generation, file = m_settingsFile, format = m_settingsFormat] {
        // The file may have become something else since the start (a pipe would hold this thread,
        // and flushNow with it): then nothing is stored. Its size is the settings' business
        // (Preferences refuses a settings file over the limit); a long read here holds nobody.
        std::optional<QList<RecentEntry>> stored;
        if (isRegularOrAbsent(file)) {
            QSettings settings(file, format);
            stored = decode(settings.value(key).toByteArray());
        }
        QMetaObject::invokeMethod(
            this, [this, generation, stored] {
                if (generation == m_loadGeneration && !m_didLoad)
                    applyLoaded(stored);
            },
            Qt::QueuedConnection);
    });
}

void RecentsStore::applyLoaded(const std::optional<QList<RecentEntry>> &stored)
{
    const QList<RecentEntry> current = m_items;
    if (stored) {
        QList<RecentEntry> merged = current;
        for (const RecentEntry &entry : *stored) {
            const bool shadowed = std::any_of(current.begin(), current.end(),
                                              [&](const RecentEntry &added) { return added.path == entry.path; });
            if (!shadowed)
                merged.append(entry);
        }
        truncate(merged);
        setItems(std::move(merged));
    }
    m_didLoad = true;
    if (!current.isEmpty())
        scheduleSave();
}

void RecentsStore::setItems(QList<RecentEntry> items)
{
    if (items == m_items)
        return;
    m_items = std::move(items);
    emit itemsChanged();
}

void RecentsStore::add(const QString &path)
{
    QList<RecentEntry> items = m_items;
    items.removeIf([&](const RecentEntry &entry) { return entry.path == path; });
    items.prepend(RecentEntry{QUuid::createUuid(), path, FileBookmark::make(path), m_clock() - referenceDateOffset});
    truncate(items);
    setItems(std::move(items));
    scheduleSave();
}

void RecentsStore::remove(const RecentEntry &entry)
{
    QList<RecentEntry> items = m_items;
    items.removeIf([&](const RecentEntry &item) { return item.id == entry.id; });
    setItems(std::move(items));
    scheduleSave();
}

void RecentsStore::clear()
{
    setItems({});
    scheduleSave();
}

void RecentsStore::refreshBookmark(const RecentEntry &entry, const QString &resolvedPath)
{
    const QByteArray bookmark = FileBookmark::make(resolvedPath);
    if (bookmark.isEmpty())
        return;
    QList<RecentEntry> items = m_items;
    const auto found = std::find_if(items.begin(), items.end(), [&](const RecentEntry &item) { return item.id == entry.id; });
    if (found == items.end())
        return;
    found->bookmark = bookmark;
    found->path = resolvedPath;
    setItems(std::move(items));
    scheduleSave();
}

void RecentsStore::scheduleSave()
{
    // Nothing is written before the stored list has been read: it would be lost. The load
    // schedules a save itself when something was added meanwhile.
    if (!m_didLoad)
        return;
    m_pendingSnapshot = m_items;
    m_saveTimer.start();
}

void RecentsStore::saveInBackground()
{
    m_io.start([this, snapshot = std::exchange(m_pendingSnapshot, {}), file = m_settingsFile, format = m_settingsFormat] {
        if (isRegularOrAbsent(file)) {
            QSettings settings(file, format);
            settings.setValue(key, encode(snapshot));
            settings.sync();
        }
        QMetaObject::invokeMethod(this, &RecentsStore::saved, Qt::QueuedConnection);
    });
}

void RecentsStore::flushNow()
{
    m_saveTimer.stop();
    m_pendingSnapshot.clear();
    m_io.waitForDone();
    if (!m_didLoad) {
        ++m_loadGeneration;
        m_settings.sync();
        applyLoaded(decode(m_settings.value(key).toByteArray()));
        m_saveTimer.stop();
        m_pendingSnapshot.clear();
    }
    m_settings.setValue(key, encode(m_items));
    m_settings.sync();
    emit saved();
}

QByteArray RecentsStore::encode(const QList<RecentEntry> &items)
{
    QJsonArray array;
    for (const RecentEntry &entry : items) {
        array.append(QJsonObject{
            {QLatin1String("id"), entry.id.toString(QUuid::WithoutBraces).toUpper()},
            {QLatin1String("path"), entry.path},
            {QLatin1String("bookmark"), QString::fromLatin1(entry.bookmark.toBase64())},
            {QLatin1String("lastOpened"), entry.lastOpened},
        });
    }
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

std::optional<QList<RecentEntry>> RecentsStore::decode(const QByteArray &bytes)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return std::nullopt;
    QList<RecentEntry> items;
    for (const QJsonValue &value : document.array()) {
        auto entry = decodeEntry(value);
        if (!entry)
            return std::nullopt;
        // Well-formed but absurd: dropped alone, the rest of the list stays.
        if (!isAbsurd(*entry))
            items.append(std::move(*entry));
    }
    return items;
}

} // namespace App
