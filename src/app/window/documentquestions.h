#pragma once

#include "highlighting/theme.h"

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

namespace App {

// What the user is about to do with a window whose edits are not on disk.
enum class LeaveReason { Closing, Opening, Quitting };

// The window's dialogs about its document, each window-modal and never blocking the event loop
// (open(), not exec()): the one error slot ("Error", newer messages replace older ones), the
// question about a file changed on disk, the question about edits that could not be saved, and
// the confirmation before reopening in another encoding. They only ask: the answers go back to
// the window, which acts. At most one question about unsaved edits is up at a time, and it
// takes the place of the others.
class DocumentQuestions : public QObject {
    Q_OBJECT

public:
    explicit DocumentQuestions(QWidget *window);

    void setTheme(const Highlighting::Theme &theme) { m_theme = &theme; }

    // ---- The error slot ---------------------------------------------------------------------
    // Puts `message` in the slot and shows it (plain text); a newer message replaces it. While
    // the question about unsaved edits is up, the message goes into it instead of a second
    // dialog.
    void showError(const QString &message);
    QString errorMessage() const { return m_errorMessage; }
    QMessageBox *errorAlert() const { return m_errorAlert; }

    // ---- File changed on disk ---------------------------------------------------------------
    enum class ExternalChangeAnswer { Reload, Overwrite, KeepEditing };
    // "File changed on disk": Reload from disk (the default), Overwrite disk, Keep editing. Shown
    // once while it is up.
    void askAboutExternalChange(std::function<void(ExternalChangeAnswer)> answered);
    QMessageBox *externalChangeDialog() const { return m_externalDialog; }

    // ---- Unsaved edits ----------------------------------------------------------------------
    enum class UnsavedAnswer { Overwrite, SaveAs, Discard, Cancel };
    struct UnsavedFacts {
        QString fileName;
        // The file changed on disk (else the save failed, for `failure`'s reason).
        bool changedOnDisk = false;
        QString failure;
    };
    // "Unsaved Changes": Overwrite disk (when the file changed on disk), Save As… (not when
    // opening another file), Close/Quit Without Saving or Discard Changes, and Cancel, the
    // default. `answered` runs from the event loop once the question has closed, with Cancel
    // when it closed any other way.
    void askAboutUnsavedEdits(LeaveReason reason, const UnsavedFacts &facts,
                              std::function<void(UnsavedAnswer)> answered);
    QMessageBox *unsavedEditsQuestion() const { return m_unsavedQuestion; }

    // ---- Reopening --------------------------------------------------------------------------
    // "Reopen with NAME?": Reopen or Cancel (the default); `reopen` runs on Reopen.
    void confirmReopen(const QString &encodingName, std::function<void()> reopen);
    QMessageBox *reopenConfirmation() const { return m_reopenConfirmation; }

    // The questions about the document shown go when another one replaces it.
    void closeDocumentQuestions();

signals:
    void errorShown(const QString &message);

private:
    QMessageBox *makeBox(const QString &title, const QString &text, const char *name);

    QWidget *m_window;
    const Highlighting::Theme *m_theme = &Highlighting::Theme::defaultTheme();
    QString m_errorMessage;
    QPointer<QMessageBox> m_errorAlert;
    QPointer<QMessageBox> m_externalDialog;
    QPointer<QMessageBox> m_unsavedQuestion;
    QPointer<QMessageBox> m_reopenConfirmation;
};

} // namespace App
