#include "recoveryoffer.h"

#include "documentsession.h"

#include "documents/fileio.h"

#include "base/localization.h"
#include "base/nativepath.h"

#include <QDateTime>
#include <QLocale>

namespace App {

bool RecoveryOffer::offer(JournalRecovery recovery)
{
    if (isAsking())
        return false;
    m_recovery = std::move(recovery);
    m_asking = false;
    return true;
}

void RecoveryOffer::openWithoutFile()
{
    const Documents::EditJournal::Header &header = m_recovery->header;
    m_session.openWithoutFile(Base::pathFromNative(header.path),
                              Documents::encodingFromId(header.encoding).value_or(Documents::Encoding::Utf8),
                              Documents::lineEndingFromRawValue(header.lineEnding).value_or(Documents::LineEnding::Lf),
                              header.bom);
}

std::optional<QString> RecoveryOffer::apply(std::u16string_view current)
{
    JournalRecovery &recovery = *m_recovery;
    const auto &known = m_session.doc()->version;
    const auto &base = recovery.header.base;
    // The journal's edits sit on a file; any other file there now (or one where there was none)
    // is a change on disk, and the user decides before the recovered text goes over it.
    const bool changed = known && (!base || Documents::changedOnDisk(*base, *known));
    const std::size_t changedUnits = Documents::EditJournal::changedUnits(current, *recovery.text);
    if (changedUnits == 0) {
        recovery.file->remove(); // Nothing in it that the file does not hold.
        m_recovery.reset();
        return std::nullopt;
    }
    m_asking = true;
    m_overChangedFile = changed;
    m_session.setRecoveryPending(true);
    if (!changed)
        putRecoveredText(); // The journal holds exactly this text: it stays the edits' journal.

    const QDateTime when = QDateTime::fromMSecsSinceEpoch(recovery.lastEditMs);
    QString message = loc(Base::Message{
        "Unsaved edits from a session that ended unexpectedly (%lld characters changed, last edit at %@).",
        {std::int64_t(changedUnits), QLocale().toString(when, QLocale::ShortFormat).toStdString()}});
    if (changed)
        message += QLatin1Char(' ')
                   + loc("The file changed on disk since then: Recover puts the recovered text over its new content.");
    else if (!known)
        message += QLatin1Char(' ') + loc("The file no longer exists: saving creates it again.");
    return message;
}

void RecoveryOffer::putRecoveredText()
{
    DocumentJournal &journal = m_session.journal();
    journal.adopt(std::move(*m_recovery->file));
    journal.setRecording(false);
    TextView::TextDocument &document = m_session.document();
    document.replace({0, document.length()}, *m_recovery->text);
    journal.setRecording(true);
}

bool RecoveryOffer::recover()
{
    if (!isAsking())
        return false;
    if (m_overChangedFile) {
        putRecoveredText();
        // Its header still names the old file: written again over the one there now.
        m_session.journal().rewriteSoon();
    }
    end();
    return true;
}

bool RecoveryOffer::discard()
{
    if (!isAsking())
        return false;
    const bool hadEdits = !m_overChangedFile;
    if (m_recovery->file->isOpen())
        m_recovery->file->remove();
    end();
    m_session.journal().discard();
    const auto &doc = m_session.doc();
    if (hadEdits && doc) {
        if (doc->version)
            m_session.reloadFromDisk();
        else // No file to read: the recovered text goes, the document stays empty.
            m_session.openWithoutFile(Base::pathFromNative(doc->path), doc->encoding, doc->lineEnding, doc->hadBOM);
    }
    return true;
}

void RecoveryOffer::end()
{
    const bool wasAsking = isAsking();
    m_recovery.reset();
    m_asking = false;
    m_overChangedFile = false;
    if (wasAsking)
        m_session.setRecoveryPending(false);
}

} // namespace App
