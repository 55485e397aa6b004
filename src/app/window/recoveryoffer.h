#pragma once

#include "documentjournal.h"

#include <QString>

#include <optional>
#include <string>

namespace App {

class DocumentSession;

// A recovery journal's text offered to one window, from the offer until the user answers it,
// without widgets: whether the text goes in at once (the file is as the journal's edits left
// it) or only on "Recover" (the file changed on disk since), and what each answer does to the
// session's document and journal. The window shows the question and keeps the text read-only
// while it is asked.
class RecoveryOffer {
public:
    explicit RecoveryOffer(DocumentSession &session) : m_session(session) {}

    // Takes the offer; false (the journal stays for the next start) while another is asked.
    bool offer(JournalRecovery recovery);
    // The file the offer is for, while there is one.
    const std::string *path() const { return m_recovery ? &m_recovery->header.path : nullptr; }
    // The question is shown (apply() returned a message) and not answered yet.
    bool isAsking() const { return m_recovery && m_asking; }
    // Opens the document of a journal whose file is gone: empty, in the journal's encoding.
    void openWithoutFile();

    // The document at the offer's path is shown: puts the recovered text in unless the file
    // changed on disk, and returns what the question says. Nothing (and the journal goes) when
    // the journal holds nothing the document does not.
    std::optional<QString> apply(std::u16string_view current);
    // The answers; false when nothing was asked.
    bool recover();
    bool discard();
    // Forgets the offer (another document replaced the one asked about, or it was answered).
    void end();

private:
    void putRecoveredText();

    DocumentSession &m_session;
    std::optional<JournalRecovery> m_recovery;
    bool m_asking = false;
    bool m_overChangedFile = false;
};

} // namespace App
