#pragma once

#include "documentjournal.h"
#include "logfollower.h"

#include "textview/indentation.h"
#include "textview/textdocument.h"

#include "documents/document.h"
#include "documents/textcodec.h"

#include "base/message.h"
#include "base/timer.h"

#include <QFutureWatcher>
#include <QObject>
#include <QString>

#include <array>
#include <memory>
#include <optional>
#include <variant>

namespace App {

// Why a save runs. It decides whether a change made on disk by another program stops the save
// and who tells the user about a save that did not happen.
enum class SaveReason {
    // The auto-save timer, leaving the application, another window closing: stops at a change on
    // disk and reports it (externalChangeDetected); a failure is reported (saveFailed).
    AutoSave,
    // Quitting: writes over a change on disk; a failure is left to the quit's own question.
    Quit,
    // Closing the window or opening another file in it: stops at a change on disk, and leaves
    // both that and a failure to the caller's question.
    BeforeLeaving,
    // Trying a failed save again on its own (see saveRetryDelaysMs): as AutoSave, but a failure
    // that is already being shown is not reported again.
    Retry,
};

// After a save failed for a reason that may pass (a full disk, a mount gone), it is tried again
// after 5 s, then 30 s, then every 2 min until it succeeds.
inline constexpr std::array<int, 3> saveRetryDelaysMs = {5'000, 30'000, 120'000};

// One window's document and its file, without widgets: loading in the background, the record of
// the file (LoadedDoc), saving (5 s after the last edit, on the triggers the window passes on,
// retried after a failure), changes made on disk by other programs, the encoding and line ending
// of the next save, following a growing log, and the rules that keep edits from being lost or
// written where they should not be. It owns the text (a TextDocument) that the window's views
// show; it never asks the user anything: it reports, and the window asks.
class DocumentSession : public QObject {
    Q_OBJECT

public:
    explicit DocumentSession(QObject *parent = nullptr);
    ~DocumentSession() override;

    TextView::TextDocument &document() { return m_document; }
    // The recovery journal of the edits not yet on disk.
    DocumentJournal &journal() { return *m_journal; }
    const std::optional<Documents::LoadedDoc> &doc() const { return m_doc; }

    // ---- Loading ------------------------------------------------------------------------------
    // Checks `path` now and reads it in the background (in `encoding`, else detected). A check
    // that fails is reported at once (loadFailed); a newer load supersedes this one.
    void load(const QString &path, std::optional<Documents::Encoding> encoding = std::nullopt);
    // From load() until its result is applied (or refused).
    bool isLoading() const { return m_loadInFlight; }
    // The file of the load under way, else of the document.
    std::optional<std::string> pendingPath() const;
    // Reads the file again (in `encoding`, else as last read); the edits are given up, and
    // nothing saves them meanwhile.
    void reloadDiscardingEdits(std::optional<Documents::Encoding> encoding);
    // The encoding the user reopened the document with (a reload keeps it), if any.
    std::optional<Documents::Encoding> chosenEncoding() const { return m_chosenEncoding; }

    // ---- Saving -------------------------------------------------------------------------------
    // The text differs from the file, or the next save must write another encoding, mark or
    // line ending.
    bool isDirty() const;
    // Saves when the text changed since the last load or save (or the last save failed). False
    // when the edits are still not on disk (a change on disk stopped it, or it failed).
    bool saveIfDirty(SaveReason reason);
    // An edit happened: the auto-save waits for a pause of `autoSaveMs` in typing.
    void textDidChange();
    void setAutoSaveDelay(int milliseconds) { m_autoSaveMs = milliseconds; }
    bool lastSaveFailed() const { return m_lastSaveFailed; }
    QString lastSaveError() const { return m_lastSaveError; }
    // The user gave the edits up (a reload, Discard): no save writes them any more.
    void discardEdits();
    bool editsDiscarded() const { return m_editsDiscarded; }
    // While the user has not yet said whether to keep text recovered from a journal, nothing
    // saves it, and closing leaves the journal for the next start.
    void setRecoveryPending(bool pending);
    bool isRecoveryPending() const { return m_recoveryPending; }
    // A document for `path`, which does not exist (any more): empty, saved as a new file.
    void openWithoutFile(const QString &path, Documents::Encoding encoding, Documents::LineEnding lineEnding, bool bom);
    // Writes `document` to `path` as a file of its own (the save panels); the system's error.
    static std::optional<std::string> writeCopy(const std::string &path, const Documents::TextDoc &document);

    // ---- Changes on disk ----------------------------------------------------------------------
    // True when the file on disk is not the one this session loaded or last wrote.
    bool fileChangedOnDisk() const;
    // Looks at the file (the application became active): reports a change (externalChangeDetected).
    void checkExternalChange();
    bool externalChangePending() const { return m_externalChangePending; }
    // The three answers to a change on disk.
    void reloadFromDisk();
    void overwriteDisk();
    void keepEditing() { m_externalChangePending = false; }

    // ---- Encodings and line endings -----------------------------------------------------------
    // The encoding and mark the next save writes; refused (with the message) when the text
    // cannot be encoded in it.
    std::optional<Base::Message> setSaveEncoding(Documents::Encoding encoding, bool withBOM);
    void setLineEnding(Documents::LineEnding lineEnding);

    // ---- Indentation --------------------------------------------------------------------------
    // How the document indents: detected from the text of a newly opened file (a reload keeps
    // it), or chosen by the user. YAML is always indented with spaces.
    TextView::IndentStyle indentation() const { return m_indentation; }
    void setIndentation(TextView::IndentStyle style);

    // ---- Following a log ----------------------------------------------------------------------
    // Follow mode for LOG documents: text other programs append arrives (followedTextArrived);
    // unsaved edits hold it back; a truncated or replaced file is loaded again.
    void setFollowing(bool following);
    bool isFollowing() const { return m_following; }
    LogFollower &follower() { return m_follower; }
    // The window showed text that followedTextArrived handed it: it is what the file holds.
    void followedTextShown();

signals:
    void loadStarted(const QString &fileName);
    // `path`: the file that could not be loaded.
    void loadFailed(const QString &message, const QString &path);
    // The text of a finished load, for the window to show in the document (sameFile: a reload,
    // which keeps the user's place). Connected directly: the session marks it saved after.
    void textArrived(std::shared_ptr<Base::U16Buffer> text, bool sameFile);
    // After textArrived: the record is in place. `note` tells of an interrupted save that was
    // settled before the read.
    void documentLoaded(bool sameFile, const QString &note);
    void saved();
    // A save the user did not ask for directly failed (AutoSave, Retry); the message says why.
    void saveFailed(const QString &message);
    // A save that had failed succeeded: its failure is over.
    void saveRecovered();
    // The file changed on disk while there are edits to save (or the application became active).
    void externalChangeDetected();
    // The encoding, mark or line ending of the next save changed.
    void formatChanged();
    void indentationChanged();
    void followedTextArrived(std::shared_ptr<const std::u16string> text);

private:
    using LoadOutcome = std::variant<Documents::LoadedText, Base::Message>;
    struct LoadTicket {
        std::uint64_t generation = 0;
        std::string path;
        std::optional<Documents::FileTime> mtime;
        std::optional<Documents::Encoding> encoding; // Chosen by the user, else detected.
    };

    void applyLoad();
    void scheduleSaveRetry(const Base::Message &error);
    void startFollowing();
    void reloadFollowedLog();

    TextView::TextDocument m_document;
    std::unique_ptr<DocumentJournal> m_journal;
    std::optional<Documents::LoadedDoc> m_doc;
    bool m_recoveryPending = false;
    bool m_lastSaveFailed = false;
    QString m_lastSaveError;
    bool m_externalChangePending = false;
    bool m_editsDiscarded = false;
    bool m_suppressExternalCheck = false;
    // The encoding, mark or line ending of the next save changed: the text needs writing.
    bool m_formatChangePending = false;

    Base::Timer m_autoSave;
    int m_autoSaveMs = 5000;
    Base::Timer m_saveRetry;
    std::size_t m_saveRetryStep = 0;

    QFutureWatcher<std::shared_ptr<LoadOutcome>> m_loadWatcher;
    LoadTicket m_loadTicket;
    std::uint64_t m_loadGeneration = 0;
    bool m_loadInFlight = false;
    std::optional<Documents::Encoding> m_chosenEncoding;

    TextView::IndentStyle m_indentation;

    LogFollower m_follower;
    bool m_following = false;
    // How far the file's bytes are shown: where the last load's read stopped, moved on by every
    // text followed since.
    Documents::FollowState m_followState;
};

} // namespace App
