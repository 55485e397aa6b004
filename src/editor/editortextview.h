#pragma once

#include "editor/caret.h"
#include "editor/lineoperations.h"

#include "highlighting/theme.h"

#include "documents/dockind.h"

#include "base/largebuffer.h"
#include "base/notificationcenter.h"

#include <QFont>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "textview/stextview.h"

namespace Editor {

// What the document window tells its editor, rebuilt by the window whenever its state changes.
// The document text lives in the text view; the window hands in a new text only when it
// replaces it itself (a load, pretty-printing, a reload), and says so by changing
// `textGeneration`, so that no update compares or copies the whole text.
// The text's font: `family` (the desktop's fixed-width font when empty) at `pointSize`.
QFont editorFont(const QString &family, double pointSize);

struct EditorTextView {
    // A text the window wants shown, read only when `textGeneration` changed. For another
    // document the editor adopts the buffer (it is left empty); for the same document it copies
    // it into one undoable edit.
    std::shared_ptr<Base::U16Buffer> text;
    std::uint64_t textGeneration = 0;
    const Highlighting::Theme *theme = &Highlighting::Theme::defaultTheme();
    double fontSize = 13;
    // A monospaced family; empty for the desktop's fixed-width font.
    QString fontFamily;
    bool showLineNumbers = true;
    bool wordWrap = true;
    // 1-based line of the current validation error.
    std::optional<long long> errorLine;
    // Further faulty lines (every invalid NDJSON record), marked like `errorLine`.
    std::vector<long long> moreErrorLines;
    // A pending go-to-line request; consumed on the next turn of the event loop.
    std::optional<long long> goToLine;
    // With it, the caret goes to this column of the line (the last line for one past it)
    // instead of selecting the line.
    std::optional<long long> goToColumn;
    Documents::DocKind docKind = Documents::DocKind::Txt;
    // The document's indentation: what Tab types, how wide a tab shows.
    TextView::IndentStyle indentation;
    // Identity of the loaded document: a change means another document (undo is cleared).
    QString documentId;
    bool isActiveEditor = false;
};

// The long-lived half of the editor: the text view's delegate. It pushes the window's state into
// the view, reports the user's edits and the caret back, applies the colours the window's
// background job computes once typing pauses, and performs the line operations and find
// commands that reach it as notifications.
class Coordinator : public QObject, private STTextViewDelegate {
    Q_OBJECT

public:
    explicit Coordinator(QObject *parent = nullptr);
    ~Coordinator() override;

    // Creates a text view (owned by `parent`) showing `document`, which the caller owns and keeps
    // alive until the view is gone, and applies `inputs` to it. Without `inputs.text` the
    // document keeps its text (coloured for `inputs.docKind`); with it, the text replaces the
    // document's, at the top and with no undo history.
    STTextView *makeView(TextView::TextDocument &document, const EditorTextView &inputs, QWidget *parent);
    // Applies what changed since the last call.
    void update(const EditorTextView &inputs);

    STTextView *textView() const { return m_textView; }
    // The document text, materialised from the view (O(n): call when a job fires or a save runs).
    std::u16string text() const;
    std::size_t textLength() const;
    // The caret as last reported.
    CaretPosition caret() const { return {m_lastReportedLine, m_lastReportedColumn}; }

    // Range of 1-based `line` without its line break, in the view's current text.
    std::optional<TextRange> rangeForLine(long long line) const;

    // Line operations on the view's text, each one undoable edit that touches only the lines
    // concerned (see lineoperations.h). They act only while the view has keyboard focus within
    // its window.
    void duplicateCurrentLine();
    void moveCurrentLine(Direction direction);
    // Replaces the text with `newText` through the smallest single edit, then puts the caret at
    // `caret` (clamped).
    void applyText(std::u16string_view newText, std::size_t caret);
    // Replaces the text with `newText` through the smallest single edit (one undo step) and keeps
    // what the user sees: the selection, clamped to the new text, and the scroll position.
    void replaceAllText(std::u16string_view newText);
    // Rewrites the leading white space of every line from the indentation the text uses now
    // (as detected on load) to `to`, as one undo step; the selection stays on the same text.
    void convertIndentation(TextView::IndentStyle to);
    // How Enter indents after a line of `kind`.
    static TextView::BlockSyntax blockSyntax(Documents::DocKind kind);
    // Puts text another program appended to the file at the end of the document: not an edit of
    // the user's (no undo step, no `textEdited`), re-coloured like typing.
    void appendExternalText(std::u16string_view text);

    // Re-colours the whole text now, on the calling thread (a kind change, a reformat).
    void applyAttributesInPlace();
    // Colours the window's background job computed for the text as it is (one class per unit);
    // classes for a text of another length are ignored. Typed text keeps the typing attributes
    // until they arrive.
    void applyRecolouring(const std::vector<std::uint8_t> &classes);
    // Whether a text of `kind` and `length` units is coloured at all (not CSV or plain text,
    // nor beyond the highlighter's limit).
    static bool colours(Documents::DocKind kind, std::size_t length);

signals:
    // The user changed the text (typing, paste, undo, a line operation).
    void textEdited();
    // Emitted only when the value changed.
    void caretLineChanged(long long line);
    void caretColumnChanged(long long column);
    // The go-to-line request was handled (found or not): the window clears it.
    void goToLineConsumed();

private:
    void textViewDidChangeText(STTextView *view) override;
    void textViewDidChangeSelection(STTextView *view) override;

    // The theme and font size as the view's style, in one go.
    void applyStyle(const Highlighting::Theme &theme, const QFont &font);
    // Applies a line operation's edit as one undo step and selects what it says.
    void applyLineEdit(const LineEdit &edit);
    void applyInsets(bool showLineNumbers);
    void replaceContent(const EditorTextView &inputs, bool sameDocument);
    void applyErrorLinesInPlace(const std::vector<long long> &lines);
    // Replaces every error mark with marks on `lines` (1-based), inside the caller's edit batch.
    void markErrorLines(const std::vector<long long> &lines);
    // Gives the view the classes that differ from its own, so only changed lines relayout.
    void applyClasses(const std::vector<std::uint8_t> &classes);
    void reportCaret();
    void observeNotifications();
    bool hasFocusInWindow() const;

    QPointer<STTextView> m_textView;
    bool m_isUpdatingFromBinding = false;
    double m_lastFontSize = 0;
    QString m_lastFontFamily;
    std::string m_lastThemeId;
    std::vector<long long> m_lastErrorLines;
    std::uint64_t m_lastTextGeneration = 0;
    Documents::DocKind m_lastDocKind = Documents::DocKind::Txt;
    QString m_lastDocumentId;
    const Highlighting::Theme *m_currentTheme = &Highlighting::Theme::defaultTheme();
    long long m_lastReportedLine = -1;
    long long m_lastReportedColumn = -1;
    std::vector<NotificationCenter::Token> m_observers;
    // Reused between re-colourings: fresh classes, and the view's current ones to diff against.
    std::vector<std::uint8_t> m_classScratch;
    std::vector<std::uint8_t> m_currentClasses;
};

} // namespace Editor
