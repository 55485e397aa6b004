#pragma once

#include "base/largebuffer.h"
#include "textview/findaction.h"
#include "textview/indentation.h"
#include "textview/stextlayout.h"
#include "textview/stextviewstyle.h"
#include "textview/textdocument.h"
#include "textview/yankingmanager.h"

#include <QAbstractScrollArea>
#include <QColor>
#include <QTimer>

#include <optional>
#include <string>
#include <vector>

class STTextView;
class STGutterView;
class STFindBar;

// Callbacks of a text view, all on the main thread, synchronously within the call that caused
// them. Every method has a default, so a delegate overrides only what it needs.
class STTextViewDelegate {
public:
    virtual ~STTextViewDelegate() = default;
    // After every change of the text by an edit of this view (typing, replaceCharacters(), undo,
    // replace all), not after edits other views or the program make on the document.
    virtual void textViewDidChangeText(STTextView *) {}
    // After every change of the selection.
    virtual void textViewDidChangeSelection(STTextView *) {}
    // Before an edit of this view (not an undo or redo); false refuses it.
    virtual bool shouldChangeText(STTextView *, TextView::TextRange, std::u16string_view) { return true; }
};

// The find interface of a view (in place of the platform text finder).
class STTextFinder {
public:
    explicit STTextFinder(STTextView *view) : m_view(view) {}
    // Whether `action` can run now: next and previous need something searched for.
    bool validateAction(TextView::FindAction action) const;
    void performAction(TextView::FindAction action);

private:
    STTextView *m_view;
};

// Paragraph attributes of text without a paragraph style of its own.
struct STParagraphStyle {
    qreal lineHeightMultiple = 1.0;
};

// Attributes given to newly typed text until the next re-colouring.
struct STTypingAttributes {
    std::uint8_t syntaxClass = 0;
};

// Whole content with its syntax classes (one per unit, or none) and decorations.
struct STAttributedText {
    Base::U16Buffer text;
    std::vector<std::uint8_t> classes;
    std::vector<TextView::Decoration> decorations;
};

// An editable view of a TextDocument, for large texts. The view is its own scroll area. It owns
// its selection, scroll position, layout (STTextLayout: only visible lines are laid out, wrap
// rows are estimated for lines not yet shown) and style; the document owns the text, its undo
// history and the search. Several views may show one document, each wrapping at its own width;
// every edit reaches all of them and costs each O(visible + log n).
class STTextView : public QAbstractScrollArea, private TextView::TextDocumentObserver {
    Q_OBJECT
public:
    // Shows `document`, which the caller owns and keeps alive until the view is gone.
    explicit STTextView(TextView::TextDocument &document, QWidget *parent = nullptr);
    ~STTextView() override;

    TextView::TextDocument &document() { return *m_document; }
    const TextView::TextDocument &document() const { return *m_document; }

    // Content of the document. Setting the content resets the typing attributes, keeps the undo
    // history (the caller clears it when another text is loaded) and puts the caret at the former
    // caret location, clamped to the new text.
    void setText(Base::U16Buffer &&text);
    void setText(std::u16string_view text);
    void setAttributedText(STAttributedText &&content);
    std::u16string text() const { return m_document->storage().text(); }
    // The document's storage.
    TextView::TextStorage &textContentManager() { return m_document->storage(); }
    const TextView::TextStorage &textContentManager() const { return m_document->storage(); }
    // This view's visual rows per line.
    const TextView::WrapRows &wrapRows() const { return m_layout.rows(); }

    // Everything the theme decides, for the view and its gutter at once. The font becomes
    // QWidget::font(); setFont() is reflected in textViewStyle().font.
    const STTextViewStyle &textViewStyle() const { return m_style; }
    void setTextViewStyle(const STTextViewStyle &style);
    // Single parts of the style.
    void setSyntaxPalette(const std::vector<QColor> &palette);
    QColor textColor() const { return m_style.text; }
    void setTextColor(const QColor &color);
    QColor backgroundColor() const { return m_style.background; }
    void setBackgroundColor(const QColor &color);
    QColor selectionColor() const { return m_style.selection; }
    void setSelectionColor(const QColor &color);
    QColor selectedLineHighlightColor() const { return m_style.currentLine; }
    void setSelectedLineHighlightColor(const QColor &color);

    STParagraphStyle defaultParagraphStyle() const { return m_paragraphStyle; }
    void setDefaultParagraphStyle(const STParagraphStyle &style);
    STTypingAttributes typingAttributes() const { return m_typingAttributes; }
    void setTypingAttributes(const STTypingAttributes &attributes) { m_typingAttributes = attributes; }
    bool highlightSelectedLine() const { return m_highlightSelectedLine; }
    void setHighlightSelectedLine(bool on);
    // False wraps lines to the view width.
    bool isHorizontallyResizable() const { return !m_layout.wraps(); }
    void setHorizontallyResizable(bool on);
    bool isEditable() const { return m_editable; }
    void setEditable(bool on);
    bool isSelectable() const { return m_selectable; }
    void setSelectable(bool on);
    bool isIncrementalSearchingEnabled() const { return m_incrementalSearching; }
    void setIncrementalSearchingEnabled(bool on) { m_incrementalSearching = on; }
    bool showsLineNumbers() const { return m_gutter != nullptr; }
    void setShowsLineNumbers(bool on);
    // The gutter while line numbers are shown, else null.
    STGutterView *gutterView() const { return m_gutter; }
    // Space around the text inside the viewport (left and right; top and bottom are rows).
    void setTextInsets(int left, int right);
    // How Enter, Tab, Shift+Tab, Backspace and closing brackets indent (see indentation.h), and
    // how wide a tab shows: style.width columns. A new view types tabs, shown 4 wide, and keeps
    // each line's indentation on Enter.
    void setIndentation(TextView::IndentStyle style, TextView::BlockSyntax syntax);
    TextView::IndentStyle indentStyle() const { return m_indentStyle; }
    TextView::BlockSyntax blockSyntax() const { return m_blockSyntax; }

    // The selection as a range, and its two ends: the anchor stays put while the caret moves.
    TextView::TextRange textSelection() const;
    void setTextSelection(TextView::TextRange range);
    std::size_t caretPosition() const { return m_caret; }
    std::size_t anchorPosition() const { return m_anchor; }
    // Selects whole lines (0-based, clamped) from `anchorLine` to `line`, breaks included, with
    // the caret on `line`'s side: what a click or drag in the line numbers does.
    void selectLines(std::size_t anchorLine, std::size_t line);

    void setTextDelegate(STTextViewDelegate *delegate) { m_delegate = delegate; }
    STTextViewDelegate *textDelegate() const { return m_delegate; }
    STTextFinder *textFinder() { return &m_finder; }
    TextView::YankingManager &yankingManager() { return m_yanking; }

    // A user-level edit: undoable as its own step (or, with typing coalescing, as part of the
    // open typing step), typing attributes apply to the new text, the caret goes after it, the
    // text-changed callback fires before returning. Returns false when the delegate refused.
    bool replaceCharacters(TextView::TextRange range, std::u16string_view replacement);
    bool replaceCharacters(TextView::TextRange range, std::u16string_view replacement,
                           bool allowsTypingCoalescing);
    void breakUndoCoalescing();
    // Several replacements (ascending, not overlapping, in positions of the text before them)
    // as one undo step, then the selection from `anchor` to `caret` (positions after them).
    // False when the view is not editable or the delegate refused one of them.
    bool applyEdits(const std::vector<TextView::TextEdit> &edits, std::size_t anchor, std::size_t caret);
    void scrollRangeToVisible(TextView::TextRange range);

    // Editing commands (also bound to keys).
    void undo();
    void redo();
    void cut();
    void copy();
    void paste();
    void selectAll();
    void deleteBackward();
    void deleteForward();
    void deleteWordBackward();
    void deleteWordForward();
    void deleteToBeginningOfLine();
    void deleteToEndOfLine();
    void yank();
    // Enter: a line break with the line's indentation, a level more after a block opener.
    void insertNewline();
    // Tab: one level at the caret, or on every line of a selection spanning lines.
    void insertTab();
    // Shift+Tab: one level less on every line the selection touches (the caret's line).
    void outdentSelection();

    // Find, driven by the find bar: the document's search, the selection moving over its matches.
    void setSearchString(const QString &needle, bool caseSensitive);
    QString searchString() const { return QString::fromStdU16String(m_document->searchNeedle()); }
    std::size_t matchCount() const { return m_document->matches().size(); }
    // 1-based index of the selected match, 0 when the selection is not a match.
    std::size_t currentMatchIndex() const { return m_document->matchIndex(textSelection()); }
    bool findNext(bool forward);
    bool replaceCurrent(const QString &replacement);
    std::size_t replaceAll(const QString &replacement);
    bool isFindBarVisible() const;
    STFindBar *findBar() const { return m_findBar; }
    void showFindBar(bool replace);
    void hideFindBar();

    // Geometry, for the gutter and for tests: the viewport rectangle of the caret and the
    // position under a viewport point.
    QRect caretRect();
    std::size_t positionAt(QPoint viewportPoint);
    int rowHeight() const { return m_layout.rowHeight(); }
    struct VisibleLine {
        std::size_t line;
        int y;
    };
    std::vector<VisibleLine> visibleLines();
    // Lines currently holding a layout (for tests: only what is shown is laid out).
    std::size_t cachedLayoutCount() const { return m_layout.cachedLayoutCount(); }

    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
    // The input method's uncommitted text, shown at the caret but not part of the text.
    const QString &preeditText() const { return m_layout.preeditText(); }

signals:
    void textChanged();
    void selectionChanged();

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool focusNextPrevChild(bool next) override;

private:
    void documentDidReplace(const TextView::EditReport &report) override;
    void documentDidChangeAttributes(std::size_t start, std::size_t length) override;
    void documentDidReset() override;
    void documentDidChangeMatches() override;

    // Layout and scrolling.
    void relayoutAll();
    void applyMetrics();
    void applyWidth();
    void updateScrollBars();
    void updateViewportMargins();
    int textLeft() const { return m_leftInset; }
    int textWidth() const;
    std::size_t topRow() const;
    void setTopRow(std::size_t row);
    int visibleRowCount() const;
    // Repaints the text and the line numbers.
    void updateAll();

    // Selection and caret.
    void setSelection(std::size_t anchor, std::size_t caret, bool keepDesiredX = false);
    void moveCaret(std::size_t position, bool extend, bool keepDesiredX = false);
    void ensureCaretVisible();
    void restartCaretBlink();
    void notifySelectionChanged();
    // Ends an input method's composition before the caret moves away from it: kept (committed
    // where it was typed) for a mouse press, dropped otherwise. Also resets a pending dead key,
    // which shows no preedit text, so that it does not compose with a key typed elsewhere.
    enum class CompositionEnd { Commit, Discard };
    void endComposition(CompositionEnd end);
    void notifyTextChanged();
    // After an edit this view made: the caret at `caret`, the callbacks told.
    void finishOwnEdit(std::size_t caret);
    // After an undo or redo of this view: the caret after the text it put back.
    void finishHistoryStep(std::optional<TextView::TextRange> restored);
    void insertTyped(const std::u16string &text);
    // The caret line's text before the selection and after it, shortened in the middle on giant
    // lines (the indentation rules read only their ends).
    std::u16string lineTextBefore(std::size_t position) const;
    std::u16string lineTextAfter(std::size_t position) const;
    // Clipboard text, its line breaks made LF, in place of `range`.
    bool insertPasted(TextView::TextRange range, const QString &text);
    void killRange(TextView::TextRange range, TextView::DeleteAction action);
    void extendMouseSelection(std::size_t position);
    void autoScrollTick();

    // The find bar's and the scroll bars' colours from the style (stextfind.cpp).
    void applyFindBarColors();

    TextView::TextDocument *m_document;
    STTextViewStyle m_style;
    STTextLayout m_layout;
    TextView::YankingManager m_yanking;
    STTextFinder m_finder{this};
    STTextViewDelegate *m_delegate = nullptr;
    STGutterView *m_gutter = nullptr;
    STFindBar *m_findBar = nullptr;

    STParagraphStyle m_paragraphStyle;
    STTypingAttributes m_typingAttributes;
    bool m_highlightSelectedLine = false;
    bool m_editable = true;
    bool m_selectable = true;
    bool m_incrementalSearching = true;
    int m_leftInset = 4;
    int m_rightInset = 4;
    TextView::IndentStyle m_indentStyle{true, 4};
    TextView::BlockSyntax m_blockSyntax = TextView::BlockSyntax::None;

    std::size_t m_topLine = 0;
    std::uint32_t m_topRowInLine = 0;
    bool m_settingScrollBars = false;

    std::size_t m_anchor = 0;
    std::size_t m_caret = 0;
    std::optional<qreal> m_desiredX;
    bool m_caretVisible = true;
    QTimer m_caretTimer;

    bool m_selectingWithMouse = false;
    // After a double or triple click, dragging extends by whole words or lines.
    enum class Granularity { Character, Word, Line };
    Granularity m_granularity = Granularity::Character;
    TextView::TextRange m_granularAnchor;
    QPoint m_lastMousePoint;
    QTimer m_autoScrollTimer;
    qint64 m_lastDoubleClickTime = 0;
    QPoint m_lastDoubleClickPoint;
};
