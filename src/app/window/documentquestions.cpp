#include "documentquestions.h"

#include "chrome.h"

#include "base/localization.h"

#include <QPushButton>

#include <memory>

namespace App {

DocumentQuestions::DocumentQuestions(QWidget *window) : QObject(window), m_window(window)
{
}

QMessageBox *DocumentQuestions::makeBox(const QString &title, const QString &text, const char *name)
{
    auto *box = new QMessageBox(QMessageBox::Warning, title, text, QMessageBox::NoButton, m_window);
    box->setObjectName(QString::fromLatin1(name));
    box->setTextFormat(Qt::PlainText);
    box->setWindowModality(Qt::WindowModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    Chrome::applyPalette(box, *m_theme);
    return box;
}

// ---- The error slot ---------------------------------------------------------------------------

void DocumentQuestions::showError(const QString &message)
{
    m_errorMessage = message;
    emit errorShown(message);
    // The question about unsaved edits already says why they are not saved: one dialog at a time.
    if (m_unsavedQuestion && m_unsavedQuestion->isVisible() && !m_errorAlert) {
        m_unsavedQuestion->setInformativeText(message);
        return;
    }
    if (m_errorAlert) {
        m_errorAlert->setText(message);
        return;
    }
    QMessageBox *alert = makeBox(loc("Error"), message, "errorAlert");
    alert->addButton(loc("OK"), QMessageBox::AcceptRole);
    connect(alert, &QDialog::finished, this, [this] { m_errorMessage.clear(); });
    m_errorAlert = alert;
    alert->open();
}

// ---- File changed on disk ---------------------------------------------------------------------

void DocumentQuestions::askAboutExternalChange(std::function<void(ExternalChangeAnswer)> answered)
{
    if (m_externalDialog && m_externalDialog->isVisible())
        return;
    QMessageBox *dialog = makeBox(loc("File changed on disk"), loc("The file was modified outside the app."),
                                  "externalChangeDialog");
    QPushButton *reload = dialog->addButton(loc("Reload from disk"), QMessageBox::AcceptRole);
    QPushButton *overwrite = dialog->addButton(loc("Overwrite disk"), QMessageBox::DestructiveRole);
    QPushButton *keep = dialog->addButton(loc("Keep editing"), QMessageBox::RejectRole);
    reload->setObjectName("reload");
    overwrite->setObjectName("overwrite");
    keep->setObjectName("keep");
    dialog->setDefaultButton(reload);
    dialog->setEscapeButton(keep);
    connect(dialog, &QMessageBox::buttonClicked, this, [reload, overwrite, answered](QAbstractButton *button) {
        answered(button == reload      ? ExternalChangeAnswer::Reload
                 : button == overwrite ? ExternalChangeAnswer::Overwrite
                                       : ExternalChangeAnswer::KeepEditing);
    });
    m_externalDialog = dialog;
    dialog->open();
}

// ---- Unsaved edits ----------------------------------------------------------------------------

void DocumentQuestions::askAboutUnsavedEdits(LeaveReason reason, const UnsavedFacts &facts,
                                             std::function<void(UnsavedAnswer)> answered)
{
    // One question at a time: this one also settles a pending "File changed on disk".
    for (QMessageBox *dialog : {m_unsavedQuestion.data(), m_externalDialog.data(), m_errorAlert.data()})
        if (dialog)
            dialog->close();
    const std::string name = facts.fileName.toStdString();
    QMessageBox *dialog =
        makeBox(loc("Unsaved Changes"),
                facts.changedOnDisk ? loc(Base::Message{"%@ was changed on disk. Your changes are not saved.", {name}})
                                    : loc(Base::Message{"Your changes to %@ could not be saved.", {name}}),
                "unsavedEditsQuestion");
    dialog->setInformativeText(facts.changedOnDisk ? loc("The file was modified outside the app.") : facts.failure);
    QPushButton *overwrite = nullptr;
    if (facts.changedOnDisk) {
        overwrite = dialog->addButton(loc("Overwrite disk"), QMessageBox::DestructiveRole);
        overwrite->setObjectName("overwrite");
    }
    QPushButton *saveAs = nullptr;
    if (reason != LeaveReason::Opening) {
        saveAs = dialog->addButton(loc("Save As…"), QMessageBox::AcceptRole);
        saveAs->setObjectName("saveAs");
    }
    const char *discardTitle = reason == LeaveReason::Closing   ? "Close Without Saving"
                               : reason == LeaveReason::Quitting ? "Quit Without Saving"
                                                                 : "Discard Changes";
    QPushButton *discard = dialog->addButton(loc(discardTitle), QMessageBox::DestructiveRole);
    discard->setObjectName("discard");
    QPushButton *cancel = dialog->addButton(loc("Cancel"), QMessageBox::RejectRole);
    cancel->setObjectName("cancel");
    // Return must never throw edits away.
    dialog->setDefaultButton(cancel);
    dialog->setEscapeButton(cancel);

    // The answer is given once the question is gone, from the event loop: what it starts (a
    // panel, closing the window) must not run inside the dialog's own click.
    auto answer = std::make_shared<UnsavedAnswer>(UnsavedAnswer::Cancel);
    connect(dialog, &QMessageBox::buttonClicked, this, [answer, overwrite, saveAs, discard](QAbstractButton *button) {
        *answer = button == overwrite ? UnsavedAnswer::Overwrite
                  : button == saveAs  ? UnsavedAnswer::SaveAs
                  : button == discard ? UnsavedAnswer::Discard
                                      : UnsavedAnswer::Cancel;
    });
    connect(dialog, &QDialog::finished, this, [this, answer, answered] {
        QMetaObject::invokeMethod(
            this, [answer, answered] { answered(*answer); }, Qt::QueuedConnection);
    });
    m_unsavedQuestion = dialog;
    dialog->open();
}

// ---- Reopening ----------------------------------------------------------------------------------

void DocumentQuestions::confirmReopen(const QString &encodingName, std::function<void()> reopen)
{
    if (m_reopenConfirmation)
        m_reopenConfirmation->close();
    const QString question = loc(Base::Message{"Reopen with %@?", {encodingName.toStdString()}});
    QMessageBox *dialog = makeBox(question, question, "reopenConfirmation");
    dialog->setInformativeText(loc("Your unsaved changes will be lost."));
    QPushButton *confirm = dialog->addButton(loc("Reopen"), QMessageBox::DestructiveRole);
    QPushButton *cancel = dialog->addButton(loc("Cancel"), QMessageBox::RejectRole);
    confirm->setObjectName("reopen");
    cancel->setObjectName("cancel");
    dialog->setDefaultButton(cancel);
    dialog->setEscapeButton(cancel);
    connect(dialog, &QMessageBox::buttonClicked, this, [confirm, reopen](QAbstractButton *button) {
        if (button == confirm)
            reopen();
    });
    m_reopenConfirmation = dialog;
    dialog->open();
}

void DocumentQuestions::closeDocumentQuestions()
{
    for (QMessageBox *dialog : {m_externalDialog.data(), m_unsavedQuestion.data(), m_reopenConfirmation.data()})
        if (dialog)
            dialog->close();
}

} // namespace App
