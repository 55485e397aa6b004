#pragma once

#include "documents/document.h"
#include "editor/editortextview.h"

#include <QFutureWatcher>
#include <QMainWindow>
#include <QTimer>

#include <memory>
#include <variant>

class QLabel;
class QStackedWidget;

namespace App {

// One document in an editor: loads in the background, colours by kind, checks JSON, NDJSON and
// XML shortly after typing pauses and marks the faulty line, reports the caret, and saves the
// text back in the file's own encoding 5 s after the last edit and when the window closes.
// Failures are shown as a message, never as a crash, and never lose the text.
class DocumentWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit DocumentWindow(QWidget *parent = nullptr);
    ~DocumentWindow() override;

    void loadFile(const QString &path);
    // Writes the text when it differs from the file (or the last save failed). False on failure.
    bool saveIfDirty();

    // For tests: kind, encoding, line ending, validation, caret.
    QStringList statusTexts() const;
    QString errorMessage() const { return m_errorMessage; }
    Editor::Coordinator &editor() { return m_editor; }
    bool isDirty() const { return m_dirty; }

signals:
    void documentLoaded();
    void loadFailed(const QString &message);
    void validated();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    using Outcome = std::variant<Documents::LoadResult, Base::Message>;
    void applyLoadOutcome();
    void showMessage(const QString &message);
    void textEdited();
    void startValidation();
    void applyValidation();
    void updateEditor();
    void updateCaretLabel();
    void showGoToLine();
    void setUpActions();

    QFutureWatcher<std::shared_ptr<Outcome>> m_loadWatcher;
    QStackedWidget *m_pages = nullptr;
    QLabel *m_placeholder = nullptr;
    Editor::Coordinator m_editor;
    Editor::EditorTextView m_inputs;
    STTextView *m_textView = nullptr;

    std::optional<Documents::LoadedDoc> m_doc;
    bool m_dirty = false;
    bool m_lastSaveFailed = false;
    QTimer m_autoSave;

    struct ValidationResult {
        QString label;
        std::optional<long long> errorLine;
        quint64 generation = 0;
    };
    QTimer m_validationDelay;
    QFutureWatcher<ValidationResult> m_validationWatcher;
    quint64 m_validationGeneration = 0;

    QLabel *m_kind = nullptr;
    QLabel *m_encoding = nullptr;
    QLabel *m_lineEnding = nullptr;
    QLabel *m_validation = nullptr;
    QLabel *m_caret = nullptr;
    long long m_caretLine = 1;
    long long m_caretColumn = 1;
    QString m_errorMessage;
};

} // namespace App
