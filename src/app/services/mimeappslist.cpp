#include "mimeappslist.h"

#include "app/services/statefile.h"
#include "documents/fileio.h"

#include <QByteArrayView>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStandardPaths>

#include <vector>

namespace App {

namespace {

const QByteArray defaultGroup = QByteArrayLiteral("Default Applications");

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

QByteArrayView trimmed(QByteArrayView text)
{
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && isSpace(text[start]))
        ++start;
    while (end > start && isSpace(text[end - 1]))
        --end;
    return text.sliced(start, end - start);
}

// The group a header line opens, or nothing for any other line.
std::optional<QByteArrayView> groupName(QByteArrayView text)
{
    const QByteArrayView inner = trimmed(text);
    if (inner.size() < 2 || inner.front() != '[' || inner.back() != ']')
        return std::nullopt;
    return inner.sliced(1, inner.size() - 2);
}

// The key of an entry line ("key = value"), or nothing for comments and other lines.
std::optional<QByteArrayView> entryKey(QByteArrayView text)
{
    if (trimmed(text).startsWith('#'))
        return std::nullopt;
    const qsizetype equals = text.indexOf('=');
    if (equals <= 0)
        return std::nullopt;
    return trimmed(text.first(equals));
}

QList<QByteArray> listValue(QByteArrayView text)
{
    QList<QByteArray> items;
    for (const QByteArray &item : text.sliced(text.indexOf('=') + 1).toByteArray().split(';')) {
        const QByteArray value = item.trimmed();
        if (!value.isEmpty())
            items.append(value);
    }
    return items;
}

} // namespace

// ---- The file, parsed once
//
// One pass over the bytes finds what an edit needs, without a copy per line: the entries of
// every `[Default Applications]` group (where they are and their keys), where a new entry goes
// (after the last line of the first such group that is not blank, before the blank lines that
// set it apart from the next group, or at the end of a file without the group) and the file's
// line ending. Edits are held beside the bytes and put in when the file is written out.
namespace Internal {

class MimeAppsFile {
public:
    explicit MimeAppsFile(QByteArray file);

    // The first desktop id of the last entry for `key`, as the GLib key-file reader takes it.
    std::optional<QString> handler(const QByteArray &key) const;
    // Puts `id` first in every entry for `key` (once), or adds an entry for it.
    void setHandler(const QByteArray &key, const QByteArray &id);
    bool isChanged() const { return m_changed; }
    QByteArray bytes() const;

private:
    struct Entry {
        qsizetype start = -1; // where the line's text starts in the file; -1 for a new entry
        qsizetype length = 0; // of the text as read, without the line break
        QByteArray key;
        QByteArray text; // the text as it is now, when it differs from the file's (or is new)
    };
    QByteArrayView textOf(const Entry &entry) const;

    QByteArray m_file;
    QByteArray m_ending = QByteArrayLiteral("\n");
    std::vector<Entry> m_entries; // the file's entries in order, then the new ones
    QHash<QByteArray, QList<qsizetype>> m_byKey;
    qsizetype m_insertAt = 0;
    // Written before the first new entry: a line break for a last line without one, and for a
    // file without the group a blank line and its header.
    QByteArray m_insertPrefix;
    bool m_changed = false;
};

MimeAppsFile::MimeAppsFile(QByteArray file)
    : m_file(std::move(file))
{
    const QByteArrayView all(m_file);
    bool endingFound = false;
    bool insideDefault = false;
    bool insideFirstDefault = false;
    bool hasGroup = false;
    bool insertNeedsEnding = false;
    bool lastHasEnding = true;
    bool lastIsBlank = true;
    qsizetype start = 0;
    while (start < all.size()) {
        const qsizetype newline = all.indexOf('\n', start);
        const qsizetype end = newline < 0 ? all.size() : newline + 1;
        qsizetype textEnd = newline < 0 ? all.size() : newline;
        if (newline > start && all[newline - 1] == '\r')
            textEnd = newline - 1;
        if (!endingFound && newline >= 0) {
            m_ending = all.sliced(textEnd, end - textEnd).toByteArray();
            endingFound = true;
        }
        const QByteArrayView text = all.sliced(start, textEnd - start);
        const bool blank = trimmed(text).isEmpty();
        lastHasEnding = newline >= 0;
        lastIsBlank = blank;
        if (const auto name = groupName(text)) {
            insideDefault = *name == defaultGroup;
            insideFirstDefault = insideDefault && !hasGroup;
            if (insideFirstDefault) {
                hasGroup = true;
                m_insertAt = end;
                insertNeedsEnding = newline < 0;
            }
        } else if (insideDefault) {
            if (const auto key = entryKey(text)) {
                m_byKey[key->toByteArray()].append(qsizetype(m_entries.size()));
                m_entries.push_back({start, textEnd - start, key->toByteArray(), {}});
            }
            if (insideFirstDefault && !blank) {
                m_insertAt = end;
                insertNeedsEnding = newline < 0;
            }
        }
        start = end;
    }
    if (hasGroup) {
        if (insertNeedsEnding)
            m_insertPrefix = m_ending;
        return;
    }
    m_insertAt = all.size();
    if (!all.isEmpty()) {
        if (!lastHasEnding)
            m_insertPrefix += m_ending;
        if (!lastIsBlank)
            m_insertPrefix += m_ending;
    }
    m_insertPrefix += '[' + defaultGroup + ']' + m_ending;
}

QByteArrayView MimeAppsFile::textOf(const Entry &entry) const
{
    if (!entry.text.isNull())
        return entry.text;
    return QByteArrayView(m_file).sliced(entry.start, entry.length);
}

std::optional<QString> MimeAppsFile::handler(const QByteArray &key) const
{
    const auto found = m_byKey.constFind(key);
    if (found == m_byKey.constEnd() || found->isEmpty())
        return std::nullopt;
    const QList<QByteArray> items = listValue(textOf(m_entries[size_t(found->last())]));
    return items.isEmpty() ? std::nullopt : std::optional<QString>(QString::fromUtf8(items.first()));
}

void MimeAppsFile::setHandler(const QByteArray &key, const QByteArray &id)
{
    const auto found = m_byKey.constFind(key);
    if (found == m_byKey.constEnd()) {
        m_byKey[key].append(qsizetype(m_entries.size()));
        m_entries.push_back({-1, 0, key, key + '=' + id + ';'});
        m_changed = true;
        return;
    }
    // Every entry for the type is rewritten, in whichever group it is: readers disagree on
    // which of several duplicates wins.
    for (const qsizetype index : *found) {
        Entry &entry = m_entries[size_t(index)];
        const QByteArrayView text = textOf(entry);
        const QList<QByteArray> items = listValue(text);
        QList<QByteArray> reordered{id};
        for (const QByteArray &item : items)
            if (item != id)
                reordered.append(item);
        if (reordered == items)
            continue;
        // The key as written (with its spacing) is kept; the list is written anew.
        qsizetype valueStart = text.indexOf('=') + 1;
        while (valueStart < text.size() && (text[valueStart] == ' ' || text[valueStart] == '\t'))
            ++valueStart;
        entry.text = text.first(valueStart).toByteArray() + reordered.join(';') + ';';
        m_changed = true;
    }
}

QByteArray MimeAppsFile::bytes() const
{
    const QByteArrayView file(m_file);
    QByteArray out;
    out.reserve(m_file.size() + 1024);
    qsizetype copied = 0;
    const auto copyUpTo = [&](qsizetype offset) {
        out.append(file.sliced(copied, offset - copied));
        copied = offset;
    };
    bool inserted = false;
    const auto insert = [&] {
        copyUpTo(m_insertAt);
        inserted = true;
        bool first = true;
        for (const Entry &entry : m_entries) {
            if (entry.start >= 0)
                continue;
            if (first)
                out.append(m_insertPrefix);
            first = false;
            out.append(entry.text);
            out.append(m_ending);
        }
    };
    // The first group's entries lie before the insertion point, later groups' after it.
    for (const Entry &entry : m_entries) {
        if (entry.start < 0 || entry.text.isNull())
            continue;
        if (!inserted && m_insertAt <= entry.start)
            insert();
        copyUpTo(entry.start);
        out.append(entry.text);
        copied = entry.start + entry.length;
    }
    if (!inserted)
        insert();
    copyUpTo(file.size());
    return out;
}

} // namespace Internal

// ---- The file on disk

struct MimeAppsList::Loaded {
    bool editable = false; // absent, or a regular file within the limit that could be read
    Internal::MimeAppsFile parsed{QByteArray()};
};

QString MimeAppsList::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1String("/mimeapps.list");
}

MimeAppsList::MimeAppsList(QString path)
    : m_path(std::move(path))
{
}

MimeAppsList::~MimeAppsList() = default;

QByteArray MimeAppsList::withDefaultHandler(const QByteArray &file, const QString &contentType, const QString &desktopId)
{
    Internal::MimeAppsFile parsed(file);
    parsed.setHandler(contentType.toUtf8(), desktopId.toUtf8());
    return parsed.bytes();
}

std::optional<QString> MimeAppsList::defaultHandlerIn(const QByteArray &file, const QString &contentType)
{
    return Internal::MimeAppsFile(file).handler(contentType.toUtf8());
}

MimeAppsList::Loaded MimeAppsList::load() const
{
    StateFile::Contents contents = StateFile::read(m_path);
    Loaded loaded;
    loaded.editable = contents.status == StateFile::Status::Absent || contents.status == StateFile::Status::Regular;
    loaded.parsed = Internal::MimeAppsFile(std::move(contents.bytes));
    return loaded;
}

bool MimeAppsList::save(const Loaded &loaded) const
{
    if (!loaded.editable)
        return false;
    if (!loaded.parsed.isChanged())
        return true;
    if (!QDir().mkpath(QFileInfo(m_path).absolutePath()))
        return false;
    const QByteArray bytes = loaded.parsed.bytes();
    // A file the next read would refuse is not written.
    if (bytes.size() > StateFile::maximumSize)
        return false;
    // The documents' atomic write: owner, group, mode and extended attributes kept, a symbolic
    // link's target written, a read-only file left alone.
    return !Documents::writeFileAtomically(QFile::encodeName(m_path).toStdString(),
                                           std::string_view(bytes.constData(), size_t(bytes.size())));
}

void MimeAppsList::beginBatch()
{
    m_batch = std::make_unique<Loaded>(load());
}

bool MimeAppsList::endBatch()
{
    if (!m_batch)
        return true;
    const std::unique_ptr<Loaded> batch = std::move(m_batch);
    return save(*batch);
}

bool MimeAppsList::setDefaultHandler(const QString &contentType, HandlerRole, const QString &desktopId)
{
    if (m_batch) {
        if (!m_batch->editable)
            return false;
        m_batch->parsed.setHandler(contentType.toUtf8(), desktopId.toUtf8());
        return true;
    }
    Loaded loaded = load();
    if (!loaded.editable)
        return false;
    loaded.parsed.setHandler(contentType.toUtf8(), desktopId.toUtf8());
    return save(loaded);
}

std::optional<QString> MimeAppsList::defaultHandler(const QString &contentType) const
{
    if (m_batch)
        return m_batch->parsed.handler(contentType.toUtf8());
    const StateFile::Contents contents = StateFile::read(m_path);
    if (contents.status != StateFile::Status::Regular)
        return std::nullopt;
    return Internal::MimeAppsFile(contents.bytes).handler(contentType.toUtf8());
}

} // namespace App
