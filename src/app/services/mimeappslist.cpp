#include "mimeappslist.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <vector>

namespace App {

namespace {

const QByteArray defaultGroup = QByteArrayLiteral("Default Applications");

// One line of the file: its text without the line break, and the break as it was ("" for a
// last line without one).
struct Line {
    QByteArray text;
    QByteArray ending;
};

std::vector<Line> splitLines(const QByteArray &file)
{
    std::vector<Line> lines;
    qsizetype start = 0;
    while (start < file.size()) {
        const qsizetype newline = file.indexOf('\n', start);
        if (newline < 0) {
            lines.push_back({file.mid(start), {}});
            break;
        }
        const bool crlf = newline > start && file[newline - 1] == '\r';
        const qsizetype textEnd = crlf ? newline - 1 : newline;
        lines.push_back({file.mid(start, textEnd - start), crlf ? QByteArrayLiteral("\r\n") : QByteArrayLiteral("\n")});
        start = newline + 1;
    }
    return lines;
}

QByteArray joinLines(const std::vector<Line> &lines)
{
    QByteArray file;
    for (const Line &line : lines)
        file += line.text + line.ending;
    return file;
}

// The group a header line opens, or nothing for any other line.
std::optional<QByteArray> groupName(const QByteArray &text)
{
    const QByteArray trimmed = text.trimmed();
    if (trimmed.size() < 2 || !trimmed.startsWith('[') || !trimmed.endsWith(']'))
        return std::nullopt;
    return trimmed.mid(1, trimmed.size() - 2);
}

bool isComment(const QByteArray &text)
{
    return text.trimmed().startsWith('#');
}

// The key of an entry line ("key = value"), or nothing.
std::optional<QByteArray> entryKey(const QByteArray &text)
{
    if (isComment(text))
        return std::nullopt;
    const qsizetype equals = text.indexOf('=');
    if (equals <= 0)
        return std::nullopt;
    return text.left(equals).trimmed();
}

QList<QByteArray> listValue(const QByteArray &text)
{
    QList<QByteArray> items;
    for (const QByteArray &item : text.mid(text.indexOf('=') + 1).split(';')) {
        const QByteArray trimmed = item.trimmed();
        if (!trimmed.isEmpty())
            items.append(trimmed);
    }
    return items;
}

// Indices of the lines inside every `[Default Applications]` group (headers excluded), each
// group's range as [first, end).
std::vector<std::pair<size_t, size_t>> defaultGroups(const std::vector<Line> &lines)
{
    std::vector<std::pair<size_t, size_t>> groups;
    bool inside = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        const auto name = groupName(lines[i].text);
        if (!name)
            continue;
        if (inside)
            groups.back().second = i;
        inside = *name == defaultGroup;
        if (inside)
            groups.push_back({i + 1, lines.size()});
    }
    return groups;
}

} // namespace

QString MimeAppsList::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1String("/mimeapps.list");
}

MimeAppsList::MimeAppsList(QString path)
    : m_path(std::move(path))
{
}

QByteArray MimeAppsList::withDefaultHandler(const QByteArray &file, const QString &contentType, const QString &desktopId)
{
    const QByteArray key = contentType.toUtf8();
    const QByteArray id = desktopId.toUtf8();
    std::vector<Line> lines = splitLines(file);
    QByteArray ending = QByteArrayLiteral("\n");
    for (const Line &line : lines) {
        if (!line.ending.isEmpty()) {
            ending = line.ending;
            break;
        }
    }
    const QByteArray newEntry = key + '=' + id + ';';

    const auto groups = defaultGroups(lines);
    if (groups.empty()) {
        if (!lines.empty()) {
            if (lines.back().ending.isEmpty())
                lines.back().ending = ending;
            if (!lines.back().text.trimmed().isEmpty())
                lines.push_back({{}, ending});
        }
        lines.push_back({'[' + defaultGroup + ']', ending});
        lines.push_back({newEntry, ending});
        return joinLines(lines);
    }

    // Every entry for the type is rewritten, in whichever group it is: readers disagree on
    // which of several duplicates wins.
    bool found = false;
    for (const auto &[first, end] : groups) {
        for (size_t i = first; i < end; ++i) {
            if (entryKey(lines[i].text) != key)
                continue;
            found = true;
            const QList<QByteArray> items = listValue(lines[i].text);
            QList<QByteArray> reordered{id};
            for (const QByteArray &item : items) {
                if (item != id)
                    reordered.append(item);
            }
            if (reordered == items)
                continue;
            // The key as written (with its spacing) is kept; the list is written anew.
            QByteArray &text = lines[i].text;
            const qsizetype equals = text.indexOf('=');
            qsizetype valueStart = equals + 1;
            while (valueStart < text.size() && (text[valueStart] == ' ' || text[valueStart] == '\t'))
                ++valueStart;
            text = text.left(valueStart) + reordered.join(';') + ';';
        }
    }
    if (found)
        return joinLines(lines);

    // A new entry goes after the group's last entry or comment, before the blank lines that set
    // it apart from the next group.
    const auto [first, end] = groups.front();
    size_t insertAt = first;
    for (size_t i = first; i < end; ++i) {
        if (!lines[i].text.trimmed().isEmpty())
            insertAt = i + 1;
    }
    if (lines[insertAt - 1].ending.isEmpty())
        lines[insertAt - 1].ending = ending;
    lines.insert(lines.begin() + qsizetype(insertAt), Line{newEntry, ending});
    return joinLines(lines);
}

std::optional<QString> MimeAppsList::defaultHandlerIn(const QByteArray &file, const QString &contentType)
{
    const QByteArray key = contentType.toUtf8();
    const std::vector<Line> lines = splitLines(file);
    std::optional<QString> handler;
    // The last entry for the type counts, as with the GLib key-file reader.
    for (const auto &[first, end] : defaultGroups(lines)) {
        for (size_t i = first; i < end; ++i) {
            if (entryKey(lines[i].text) != key)
                continue;
            const QList<QByteArray> items = listValue(lines[i].text);
            handler = items.isEmpty() ? std::nullopt : std::optional<QString>(QString::fromUtf8(items.first()));
        }
    }
    return handler;
}

bool MimeAppsList::setDefaultHandler(const QString &contentType, HandlerRole, const QString &desktopId)
{
    const QFileInfo info(m_path);
    QByteArray before;
    const bool exists = info.exists();
    if (exists) {
        QFile file(m_path);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        before = file.readAll();
        if (file.error() != QFileDevice::NoError)
            return false;
    }
    const QByteArray after = withDefaultHandler(before, contentType, desktopId);
    if (exists && after == before)
        return true;
    if (!QDir().mkpath(info.absolutePath()))
        return false;
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(after) != after.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

std::optional<QString> MimeAppsList::defaultHandler(const QString &contentType) const
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return defaultHandlerIn(file.readAll(), contentType);
}

} // namespace App
