#pragma once

#include "textview/textdocument.h"

#include "documents/editjournal.h"
#include "documents/journalwriter.h"

#include "base/timer.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace App {

// A journal another session left behind, taken (and locked) at start-up, for a window to offer.
struct JournalRecovery {
    std::shared_ptr<Documents::EditJournal::LockedFile> file;
    Documents::EditJournal::Header header;
    // The text the journal holds: its base text with its edits applied.
    std::shared_ptr<const std::u16string> text;
    std::int64_t lastEditMs = 0;
};

// The journals in `folder` that no running editor holds, each read and now locked by this
// process, oldest first; a journal that cannot be read is named in `damaged` with the reason and
// set aside (renamed NAME.damaged), so that it is reported once.
struct RecoverableJournals {
    std::vector<JournalRecovery> journals;
    QStringList damaged;
};
RecoverableJournals takeRecoverableJournals(const QString &folder);

// The recovery journal of one document while it has unsaved edits, so that a crash or a kill
// loses at most the last half second of typing, not everything since the last auto-save.
// Every edit becomes a small record on the main thread (position, removed length, inserted
// units); every flushIntervalMs the records pending go to a writer thread, which appends them
// and syncs. The first batch after the text matched the file starts a journal whose base text
// the writer reads from that file; when the records outgrow the text, the journal is rewritten
// from a snapshot of the text. Saving (the text matches the file again) or closing removes it.
class DocumentJournal : public QObject, private TextView::TextDocumentObserver {
    Q_OBJECT

public:
    // The document's file as the journal's header describes it; none while there is no
    // document (nothing is journaled then).
    using HeaderSource = std::function<std::optional<Documents::EditJournal::Header>()>;
    // What the writer can read the text from when the journal starts: the file the edits sit on
    // and the encoding it was read in; none when only the text itself will do.
    struct FileBase {
        std::string path;
        Documents::Encoding encoding = Documents::Encoding::Utf8;
        Documents::DiskVersion version;
    };
    using FileBaseSource = std::function<std::optional<FileBase>()>;

    static constexpr int flushIntervalMs = 500;
    // Past this, and past the text's own size, the records are folded into a new base text.
    static constexpr std::size_t compactionFloorBytes = 4 * 1024 * 1024;
    // Texts up to this many units are copied for a rewrite; larger ones are read from a snapshot.
    static constexpr std::size_t copyLimitUnits = 1024 * 1024;

    // The private per-user folder of journals: the application's data folder, then "journal".
    static QString defaultFolder();
    // Where journals go from now on (tests, the benchmark); empty turns journaling off.
    static void setFolder(const QString &folder);
    static QString folder();

    DocumentJournal(TextView::TextDocument &document, HeaderSource header, FileBaseSource fileBase,
                    QObject *parent = nullptr);
    // Removes the journal, unless keepOnClose.
    ~DocumentJournal() override;

    // Leave the journal on disk when this document goes (a recovery the user has not answered).
    void setKeepOnClose(bool keep) { m_keepOnClose = keep; }
    // Edits made while off are not recorded (a recovery putting in text the journal holds).
    void setRecording(bool recording) { m_recording = recording; }
    // The journal in `file` holds the document's text as it is now: it becomes this journal.
    void adopt(Documents::EditJournal::LockedFile file);
    // The next batch rewrites the journal from the text as it is (its header changed).
    void rewriteSoon();
    // Deletes the journal at once (the user gave the edits up).
    void discard();

    // For tests: hands the pending records over now, waits for the writer, the file in use.
    void flushNow();
    void waitForWriter();
    QString path() const;
    bool hasPendingRecords() const { return !m_pending.empty(); }

private:
    void documentDidReplace(const TextView::EditReport &report) override;
    void documentDidChangeAttributes(std::size_t, std::size_t) override {}
    void documentDidReset() override;
    void documentDidChangeModified(bool modified) override;

    void flush();
    Documents::EditJournal::Writer &writer();
    Documents::EditJournal::Writer::BaseText textBase();
    void forget();

    TextView::TextDocument &m_document;
    HeaderSource m_header;
    FileBaseSource m_fileBase;
    std::unique_ptr<Documents::EditJournal::Writer> m_writer;
    QString m_folder;
    Base::Timer m_flush;
    std::vector<Documents::EditJournal::Record> m_pending;
    // A journal exists (or its start was handed to the writer).
    bool m_started = false;
    // The base text is not the file's: the journal must start from the text itself.
    bool m_needsTextBase = false;
    // Units the text had when it last matched the file, before the pending records.
    std::size_t m_baseLength = 0;
    std::size_t m_recordBytes = 0;
    bool m_recording = true;
    bool m_keepOnClose = false;
};

} // namespace App
