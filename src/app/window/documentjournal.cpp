#include "documentjournal.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <chrono>

namespace App {

namespace EJ = Documents::EditJournal;

namespace {

std::optional<QString> &chosenFolder()
{
    static std::optional<QString> folder;
    return folder;
}

std::int64_t nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace

RecoverableJournals takeRecoverableJournals(const QString &folder)
{
    RecoverableJournals found;
    if (folder.isEmpty())
        return found;
    for (EJ::Orphan &orphan : EJ::takeOrphans(QFile::encodeName(folder).toStdString())) {
        const QString journalPath = QFile::decodeName(QByteArray::fromStdString(orphan.file.path()));
        auto *decoded = std::get_if<EJ::Decoded>(&orphan.content);
        auto text = decoded ? EJ::finalText(*decoded)
                            : std::variant<std::u16string, std::string>(std::get<std::string>(orphan.content));
        if (const auto *error = std::get_if<std::string>(&text)) {
            found.damaged << journalPath + QStringLiteral(" (") + QString::fromStdString(*error) + QLatin1Char(')');
            QFile::rename(journalPath, journalPath + QStringLiteral(".damaged"));
            continue;
        }
        JournalRecovery recovery;
        recovery.header = decoded->header;
        recovery.text = std::make_shared<const std::u16string>(std::move(std::get<std::u16string>(text)));
        recovery.lastEditMs = EJ::lastEditMs(*decoded);
        recovery.file = std::make_shared<EJ::LockedFile>(std::move(orphan.file));
        found.journals.push_back(std::move(recovery));
    }
    return found;
}

QString DocumentJournal::defaultFolder()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    return data.isEmpty() ? QString() : QDir(data).filePath(QStringLiteral("journal"));
}

void DocumentJournal::setFolder(const QString &folder)
{
    chosenFolder() = folder;
}

QString DocumentJournal::folder()
{
    return chosenFolder() ? *chosenFolder() : defaultFolder();
}

DocumentJournal::DocumentJournal(TextView::TextDocument &document, HeaderSource header, FileBaseSource fileBase,
                                 QObject *parent)
    : QObject(parent), m_document(document), m_header(std::move(header)), m_fileBase(std::move(fileBase)),
      m_folder(folder())
{
    m_flush.setSingleShot(true);
    connect(&m_flush, &Base::Timer::timeout, this, &DocumentJournal::flush);
    m_document.addObserver(this);
}

DocumentJournal::~DocumentJournal()
{
    m_document.removeObserver(this);
    if (!m_writer)
        return;
    if (m_keepOnClose) {
        // What is pending still belongs to the journal that stays.
        if (m_started && !m_pending.empty())
            m_writer->append(std::exchange(m_pending, {}));
        m_writer->release();
    } else {
        m_writer->remove();
    }
    // The writer finishes what it was given before it goes.
    m_writer.reset();
}

EJ::Writer &DocumentJournal::writer()
{
    if (!m_writer)
        m_writer = std::make_unique<EJ::Writer>(QFile::encodeName(m_folder).toStdString());
    return *m_writer;
}

void DocumentJournal::documentDidReplace(const TextView::EditReport &report)
{
    if (!m_recording || m_folder.isEmpty())
        return;
    const TextView::TextStorage &storage = m_document.storage();
    if (report.inserted > copyLimitUnits) {
        // A paste or reformat of a large text: no copy of it on the main thread; the next batch
        // rewrites the journal from a snapshot, which holds this edit and those before it.
        m_pending.clear();
        m_needsTextBase = true;
        if (!m_flush.isActive())
            m_flush.start(flushIntervalMs);
        return;
    }
    if (!m_started && m_pending.empty())
        m_baseLength = storage.length() - report.inserted + report.removed;
    EJ::Record record;
    record.timeMs = nowMs();
    record.position = report.position;
    record.removed = report.removed;
    record.inserted.resize(report.inserted);
    storage.copy(report.position, report.inserted, record.inserted.data());
    m_recordBytes += EJ::encodedSize(record);
    m_pending.push_back(std::move(record));
    // A fixed cadence, not a debounce: typing without a pause still reaches the disk.
    if (!m_flush.isActive())
        m_flush.start(flushIntervalMs);
}

void DocumentJournal::documentDidReset()
{
    // Whatever the new text is, the records before it no longer lead to it.
    m_pending.clear();
    m_needsTextBase = true;
    if (m_recording && !m_folder.isEmpty() && m_document.isModified() && !m_flush.isActive())
        m_flush.start(flushIntervalMs);
}

void DocumentJournal::documentDidChangeModified(bool modified)
{
    if (!modified)
        forget(); // Saved, reloaded or undone to the file's text: nothing to recover.
}

void DocumentJournal::forget()
{
    m_flush.stop();
    m_pending.clear();
    m_needsTextBase = false;
    m_recordBytes = 0;
    if (m_started && m_writer) {
        // A recovery still unanswered when another text replaced this one stays for the next start.
        if (m_keepOnClose)
            m_writer->release();
        else
            m_writer->remove();
    }
    m_started = false;
}

void DocumentJournal::discard()
{
    forget();
    if (m_writer)
        m_writer->remove();
}

void DocumentJournal::adopt(EJ::LockedFile file)
{
    m_pending.clear();
    m_needsTextBase = false;
    m_recordBytes = 0;
    writer().adopt(std::move(file));
    m_started = true;
}

void DocumentJournal::rewriteSoon()
{
    m_needsTextBase = true;
    if (!m_flush.isActive())
        m_flush.start(flushIntervalMs);
}

EJ::Writer::BaseText DocumentJournal::textBase()
{
    TextView::TextStorage &storage = m_document.storage();
    // A small text is copied at once; a large one is read by the writer from a snapshot, which
    // the next edit takes back (the writer then tries again later).
    if (storage.length() <= copyLimitUnits)
        return EJ::Writer::FromText{std::make_shared<const std::u16string>(storage.text())};
    return EJ::Writer::FromSnapshot{storage.snapshot()};
}

void DocumentJournal::flush()
{
    if (m_folder.isEmpty() || !m_document.isModified()) {
        m_pending.clear();
        return;
    }
    const auto header = m_header();
    if (!header) {
        m_pending.clear();
        return;
    }
    EJ::Writer &out = writer();
    const std::size_t length = m_document.length();
    if (out.takeNeedsBase() || m_needsTextBase) {
        // The text as it is holds every pending edit.
        m_pending.clear();
        out.rewrite(*header, textBase(), {});
        m_needsTextBase = false;
        m_started = true;
        m_recordBytes = 0;
        return;
    }
    if (m_pending.empty())
        return;
    if (!m_started) {
        const auto file = m_fileBase();
        if (file)
            out.rewrite(*header, EJ::Writer::FromFile{file->path, file->encoding, file->version, m_baseLength},
                        std::exchange(m_pending, {}));
        else
            out.rewrite(*header, textBase(), {});
        m_pending.clear();
        m_started = true;
        m_recordBytes = 0;
        return;
    }
    out.append(std::exchange(m_pending, {}));
    if (m_recordBytes > std::max(compactionFloorBytes, 2 * length)) {
        out.rewrite(*header, textBase(), {});
        m_recordBytes = 0;
    }
}

void DocumentJournal::flushNow()
{
    m_flush.stop();
    flush();
}

void DocumentJournal::waitForWriter()
{
    if (m_writer)
        m_writer->waitUntilIdle();
}

QString DocumentJournal::path() const
{
    return m_writer ? QFile::decodeName(QByteArray::fromStdString(m_writer->currentPath())) : QString();
}

} // namespace App
