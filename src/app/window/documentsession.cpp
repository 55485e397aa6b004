#include "documentsession.h"

#include "documents/fileio.h"
#include "documents/textcodec.h"

#include "base/localization.h"
#include "base/nativepath.h"

#include <QDateTime>
#include <QFileInfo>
#include <QTimer>
#include <QtConcurrent>

namespace App {

using Documents::DocKind;

namespace {

std::int64_t nanoseconds(const Documents::FileTime &time)
{
    return time.seconds * 1'000'000'000 + time.nanoseconds;
}

// Where no version of the file is known: the disk copy counts as changed only when it is more
// than half a second newer.
bool isNewerOnDisk(const std::optional<Documents::FileTime> &disk, const std::optional<Documents::FileTime> &known)
{
    return disk && known && nanoseconds(*disk) > nanoseconds(*known) + 500'000'000;
}

std::string nativePath(const QString &path)
{
    return Base::nativeFromPath(QFileInfo(path).absoluteFilePath());
}

QString displayPath(std::string_view path)
{
    return Base::pathFromNative(path);
}

} // namespace

DocumentSession::DocumentSession(QObject *parent) : QObject(parent)
{
    m_journal = std::make_unique<DocumentJournal>(
        m_document,
        [this]() -> std::optional<Documents::EditJournal::Header> {
            if (!m_doc)
                return std::nullopt;
            Documents::EditJournal::Header header;
            header.path = m_doc->path;
            header.scratch = m_doc->isScratch;
            header.base = m_doc->version;
            header.encoding = std::string(Documents::encodingId(m_doc->encoding));
            header.bom = m_doc->hadBOM;
            header.lineEnding = std::string(Documents::rawValue(m_doc->lineEnding));
            header.writtenAtMs = QDateTime::currentMSecsSinceEpoch();
            return header;
        },
        [this]() -> std::optional<DocumentJournal::FileBase> {
            // After a change of encoding the file no longer reads back as the text was read.
            if (!m_doc || !m_doc->version || m_formatChangePending)
                return std::nullopt;
            return DocumentJournal::FileBase{m_doc->path, m_doc->encoding, *m_doc->version};
        });
    m_autoSave.setSingleShot(true);
    connect(&m_autoSave, &Base::Timer::timeout, this, [this] { saveIfDirty(SaveReason::AutoSave); });
    m_saveRetry.setSingleShot(true);
    connect(&m_saveRetry, &Base::Timer::timeout, this, [this] { saveIfDirty(SaveReason::Retry); });
    connect(&m_loadWatcher, &QFutureWatcher<std::shared_ptr<LoadOutcome>>::finished, this,
            &DocumentSession::applyLoad);
    connect(&m_follower, &LogFollower::appended, this, [this](const std::shared_ptr<const std::u16string> &text) {
        if (!m_doc || !m_following)
            return;
        if (isDirty()) { // Arrived as the user started typing: read it again once the edits are saved.
            m_follower.start(displayPath(m_doc->path), m_followState);
            m_follower.setSuspended(true);
            return;
        }
        emit followedTextArrived(text);
    });
    // Truncated, replaced or rewritten: only the file itself shows it correctly.
    connect(&m_follower, &LogFollower::reloadNeeded, this, &DocumentSession::reloadFollowedLog);
}

DocumentSession::~DocumentSession()
{
    m_loadWatcher.waitForFinished();
    // Edits that never reached the disk were given up or kept in a recovery copy by now; an
    // unanswered recovery keeps its journal.
    m_journal->setKeepOnClose(m_recoveryPending);
    m_journal.reset();
}

void DocumentSession::setRecoveryPending(bool pending)
{
    m_recoveryPending = pending;
    m_journal->setKeepOnClose(pending);
    if (pending) {
        m_autoSave.stop();
        m_saveRetry.stop();
    } else if (isDirty()) {
        m_autoSave.start(m_autoSaveMs);
    }
}

void DocumentSession::openWithoutFile(const QString &path, Documents::Encoding encoding,
                                      Documents::LineEnding lineEnding, bool bom)
{
    ++m_loadGeneration;
    m_loadInFlight = false;
    m_editsDiscarded = false;
    Documents::LoadedDoc doc;
    doc.path = nativePath(path);
    doc.kind = DocKind::detect(doc.path);
    doc.encoding = encoding;
    doc.lineEnding = lineEnding;
    doc.hadBOM = bom;
    doc.isScratch = Documents::isScratchPath(doc.path);
    const bool sameFile = m_doc && m_doc->path == doc.path;
    m_doc = doc;
    m_chosenEncoding.reset();
    m_formatChangePending = false;
    m_externalChangePending = false;
    m_lastSaveFailed = false;
    m_lastSaveError.clear();
    m_saveRetry.stop();
    m_follower.stop();
    m_following = false;
    emit textArrived(std::make_shared<Base::U16Buffer>(), sameFile);
    m_document.markSavePoint();
    m_autoSave.stop();
    emit documentLoaded(sameFile, QString());
}

// ---- Loading ----------------------------------------------------------------------------------

void DocumentSession::load(const QString &path, std::optional<Documents::Encoding> encoding)
{
    ++m_loadGeneration;
    const std::string localPath = nativePath(path);
    const auto checked = Documents::checkBeforeLoad(localPath);
    if (const auto *error = std::get_if<Base::Message>(&checked)) {
        // A load still under way is superseded all the same: its result is dropped.
        m_loadInFlight = false;
        m_editsDiscarded = false;
        emit loadFailed(loc(*error), displayPath(localPath));
        return;
    }
    m_loadTicket = {m_loadGeneration, localPath, std::get<Documents::FileAttributes>(checked).modificationTime,
                    encoding};
    m_loadWatcher.setFuture(QtConcurrent::task([localPath, encoding] {
                                return std::make_shared<LoadOutcome>(
                                    encoding ? Documents::decodeForLoad(localPath, *encoding)
                                             : Documents::decodeForLoad(localPath));
                            })
                                .withPriority(2)
                                .spawn());
    m_loadInFlight = true;
    emit loadStarted(QFileInfo(path).fileName());
}

std::optional<std::string> DocumentSession::pendingPath() const
{
    if (m_loadInFlight)
        return m_loadTicket.path;
    if (m_doc)
        return m_doc->path;
    return std::nullopt;
}

void DocumentSession::applyLoad()
{
    const auto future = m_loadWatcher.future();
    if (future.resultCount() == 0 || m_loadTicket.generation != m_loadGeneration)
        return;
    m_loadInFlight = false;
    m_editsDiscarded = false;
    const std::shared_ptr<LoadOutcome> outcome = future.result();
    if (const auto *error = std::get_if<Base::Message>(outcome.get())) {
        emit loadFailed(loc(*error), displayPath(m_loadTicket.path));
        return;
    }
    auto &loaded = std::get<Documents::LoadedText>(*outcome);
    const std::string &path = m_loadTicket.path;
    Documents::LoadedDoc doc;
    doc.path = path;
    doc.kind = DocKind::detect(path);
    doc.encoding = loaded.encoding;
    doc.lineEnding = loaded.lineEnding;
    doc.hadBOM = loaded.hadBOM;
    doc.mtime = loaded.recoveredMtime ? loaded.recoveredMtime : m_loadTicket.mtime;
    doc.version = loaded.version;
    doc.isScratch = Documents::isScratchPath(path);
    const bool sameFile = m_doc && m_doc->path == path;
    m_chosenEncoding = m_loadTicket.encoding;
    m_followState = loaded.follow;
    m_doc = doc;
    m_formatChangePending = false;
    m_externalChangePending = false;
    m_lastSaveFailed = false;
    m_lastSaveError.clear();
    m_saveRetry.stop();
    m_saveRetryStep = 0;
    // The indentation the user picked for this file stays across reloads.
    if (!sameFile)
        m_indentation = TextView::detectIndentation(loaded.text.view(), doc.kind == DocKind::Yaml);

    emit textArrived(std::make_shared<Base::U16Buffer>(std::move(loaded.text)), sameFile);
    // The text shown is the file's.
    m_document.markSavePoint();
    m_autoSave.stop();

    m_follower.stop();
    if (doc.kind != DocKind::Log)
        m_following = false;
    emit documentLoaded(sameFile, loaded.recoveryNote ? loc(*loaded.recoveryNote) : QString());
    if (m_following)
        startFollowing();
}

void DocumentSession::reloadDiscardingEdits(std::optional<Documents::Encoding> encoding)
{
    if (!m_doc)
        return;
    m_autoSave.stop();
    // The disk's version is the one being read: until it arrives, that is the known one.
    m_doc->mtime = Documents::modificationTime(m_doc->path);
    m_doc->version = Documents::diskVersion(m_doc->path);
    // The user gave up the edits: no save may write them over the disk's version meanwhile.
    m_editsDiscarded = true;
    m_suppressExternalCheck = true;
    load(displayPath(m_doc->path), encoding);
    m_autoSave.stop();
    m_suppressExternalCheck = false;
}

// ---- Saving -----------------------------------------------------------------------------------

bool DocumentSession::isDirty() const
{
    return m_doc && (m_formatChangePending || m_document.isModified());
}

void DocumentSession::textDidChange()
{
    // Text from disk waits while the user's edits are unsaved: it is appended after them.
    if (m_following)
        m_follower.setSuspended(isDirty());
    m_autoSave.start(m_autoSaveMs);
}

void DocumentSession::discardEdits()
{
    m_editsDiscarded = true;
    m_externalChangePending = false;
    m_autoSave.stop();
    m_saveRetry.stop();
}

bool DocumentSession::saveIfDirty(SaveReason reason)
{
    if (!m_doc)
        return true;
    if (!isDirty() && !m_lastSaveFailed)
        return true;
    if (m_editsDiscarded || m_recoveryPending)
        return true;
    if (reason != SaveReason::Quit && !m_suppressExternalCheck && fileChangedOnDisk()) {
        m_externalChangePending = true;
        if (reason == SaveReason::AutoSave || reason == SaveReason::Retry)
            emit externalChangeDetected();
        return false;
    }
    TextView::TextStorage &storage = m_document.storage();
    const std::u16string_view text = storage.view(0, storage.length());
    if (const auto error = Documents::saveText(m_doc->path, text, m_doc->encoding, m_doc->lineEnding, m_doc->hadBOM)) {
        m_lastSaveFailed = true;
        m_lastSaveError = loc(*error);
        // A retry that fails again says nothing new: the report of the first failure stands.
        if (reason == SaveReason::AutoSave)
            emit saveFailed(m_lastSaveError);
        scheduleSaveRetry(*error);
        return false;
    }
    const bool recovered = m_lastSaveFailed;
    m_saveRetry.stop();
    m_saveRetryStep = 0;
    m_document.markSavePoint();
    m_formatChangePending = false;
    m_lastSaveFailed = false;
    m_lastSaveError.clear();
    if (const auto time = Documents::modificationTime(m_doc->path))
        m_doc->mtime = time;
    m_doc->version = Documents::diskVersion(m_doc->path);
    if (recovered)
        emit saveRecovered();
    // The save wrote a new file: follow it from a fresh read of it.
    if (m_following)
        QTimer::singleShot(0, this, &DocumentSession::reloadFollowedLog);
    emit saved();
    return true;
}

void DocumentSession::scheduleSaveRetry(const Base::Message &error)
{
    // Text the encoding cannot hold fails the same way until the user changes it; a full disk, a
    // lost mount or a lock clears up by itself.
    const bool unencodable = !error.arguments.empty()
                             && std::holds_alternative<std::shared_ptr<const Base::Message>>(error.arguments.front())
                             && std::get<std::shared_ptr<const Base::Message>>(error.arguments.front())->key
                                    == Documents::cannotEncodeMessage(m_doc->encoding).key;
    if (unencodable)
        return;
    const int delay = saveRetryDelaysMs[std::min(m_saveRetryStep, saveRetryDelaysMs.size() - 1)];
    ++m_saveRetryStep;
    m_saveRetry.start(delay);
}

std::optional<std::string> DocumentSession::writeCopy(const std::string &path, const Documents::TextDoc &document)
{
    return Documents::writeFileAtomically(path, document.fileBytes());
}

// ---- Changes on disk --------------------------------------------------------------------------

bool DocumentSession::fileChangedOnDisk() const
{
    if (!m_doc)
        return false;
    if (!m_doc->version)
        return isNewerOnDisk(Documents::modificationTime(m_doc->path), m_doc->mtime);
    // A file that is gone (or cannot be looked at) is written anew by the next save.
    const auto now = Documents::diskVersion(m_doc->path);
    return now && Documents::changedOnDisk(*m_doc->version, *now);
}

void DocumentSession::checkExternalChange()
{
    if (!m_doc || !m_doc->mtime)
        return;
    if (m_following && m_follower.isFollowing() && !isDirty())
        return;
    if (fileChangedOnDisk()) {
        m_externalChangePending = true;
        emit externalChangeDetected();
    }
}

void DocumentSession::reloadFromDisk()
{
    // A file the user reopened in an encoding of their choice is read in it again.
    reloadDiscardingEdits(m_chosenEncoding);
    m_externalChangePending = false;
}

void DocumentSession::overwriteDisk()
{
    if (m_doc) {
        m_doc->mtime = Documents::modificationTime(m_doc->path);
        m_doc->version = Documents::diskVersion(m_doc->path);
        m_suppressExternalCheck = true;
        saveIfDirty(SaveReason::AutoSave);
        m_suppressExternalCheck = false;
    }
    m_externalChangePending = false;
}

// ---- Encodings and line endings -----------------------------------------------------------

std::optional<Base::Message> DocumentSession::setSaveEncoding(Documents::Encoding encoding, bool withBOM)
{
    if (!m_doc)
        return std::nullopt;
    TextView::TextStorage &storage = m_document.storage();
    if (!Documents::canEncode(storage.view(0, storage.length()), encoding))
        return Documents::cannotEncodeMessage(encoding);
    if (encoding == m_doc->encoding && withBOM == m_doc->hadBOM)
        return std::nullopt;
    m_doc->encoding = encoding;
    m_doc->hadBOM = withBOM && !Documents::BOMUtil::bytes(encoding).empty();
    m_formatChangePending = true;
    m_autoSave.start(m_autoSaveMs);
    emit formatChanged();
    return std::nullopt;
}

void DocumentSession::setLineEnding(Documents::LineEnding lineEnding)
{
    if (!m_doc || m_doc->lineEnding == lineEnding)
        return;
    m_doc->lineEnding = lineEnding;
    m_formatChangePending = true;
    m_autoSave.start(m_autoSaveMs);
    emit formatChanged();
}

// ---- Indentation ------------------------------------------------------------------------------

void DocumentSession::setIndentation(TextView::IndentStyle style)
{
    if (m_doc && m_doc->kind == DocKind::Yaml)
        style.tabs = false;
    if (style == m_indentation)
        return;
    m_indentation = style;
    emit indentationChanged();
}

// ---- Following a log -------------------------------------------------------------------------

void DocumentSession::setFollowing(bool following)
{
    following = following && m_doc && m_doc->kind == DocKind::Log;
    if (following == m_following)
        return;
    m_following = following;
    if (!following) {
        m_follower.stop();
        return;
    }
    startFollowing();
}

void DocumentSession::reloadFollowedLog()
{
    if (m_doc && m_following && !isDirty())
        load(displayPath(m_doc->path), m_chosenEncoding);
}

void DocumentSession::startFollowing()
{
    // A save since the text was read replaced the file: the first read notices and asks for a
    // reload.
    m_follower.start(displayPath(m_doc->path), m_followState);
    m_follower.setSuspended(isDirty());
}

void DocumentSession::followedTextShown()
{
    // The document matches the disk again: nothing for the auto-save to write back, and no
    // "File changed on disk" for text we showed ourselves.
    m_document.markSavePoint();
    m_followState = m_follower.state();
    if (m_follower.state().mtime)
        m_doc->mtime = m_follower.state().mtime;
    // The text shown is the file's up to where the follower read; a file that grew further since
    // still differs from what is known.
    if (const auto now = Documents::diskVersion(m_doc->path); now && now->size == m_followState.offset)
        m_doc->version = now;
}

} // namespace App
