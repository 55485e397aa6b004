#pragma once

#include "base/largebuffer.h"
#include "textview/textstorage.h"
#include "textview/undomanager.h"
#include "textview/yankingmanager.h"

#include <QAbstractScrollArea>
#include <QColor>
#include <QFont>
#include <QPointer>
#include <QTextLayout>
#include <QTimer>

#include <map>
#include <memory>
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
    // After every change of the text by an edit, including replaceCharacters().
    virtual void textViewDidChangeText(STTextView *) {}
    // After every change of the selection.
    virtual void textViewDidChangeSelection(STTextView *) {}
    // The undo manager the view should use; none means the view's own.
    virtual TextView::UndoManager *undoManager(STTextView *) { return nullptr; }
    // Before an edit; false refuses it.
    virtual bool shouldChangeText(STTextView *, TextView::TextRange, std::u16string_view) { return true; }
};

// The find interface of a view (in place of the platform text finder). Action codes:
// 1 show the find bar, 2 next match, 3 previous match, 11 hide the bar, 12 show find and replace.
class STTextFinder {
public:
    enum Action {
        ShowFindInterface = 1,
        NextMatch = 2,
        PreviousMatch = 3,
        HideFindInterface = 11,
        ShowReplaceInterface = 12,
    };
    explicit STTextFinder(STTextView *view) : m_view(view) {}
    bool validateAction(int action) const;
    void performAction(int action);

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

// An editable plain-text view for large documents. The view is its own scroll area. Text is
// UTF-16 in a TextStorage; only visible lines are laid out (QTextLayout, cached per line), wrap
// rows are estimated for lines not yet shown, and every edit costs O(visible + log n).
// Colours come from syntax classes (one byte per unit) through a palette the caller sets.
class STTextView : public QAbstractScrollArea, private TextView::TextStorageObserver {
    Q_OBJECT
public:
    explicit STTextView(QWidget *parent = nullptr);
    ~STTextView() override;

    // A new view ready to be placed in a layout; the scroll area is the view itself.
    static STTextView *scrollableTextView(QWidget *parent = nullptr);

    // Content. Setting the content resets the typing attributes, keeps the undo history (the
    // caller clears it when another document is loaded) and puts the caret at the former
    // caret location, clamped to the new text.
    void setText(Base::U16Buffer &&text);
    void setText(std::u16string_view text);
    void setAttributedText(STAttributedText &&content);
    STAttributedText attributedText() const;
    std::u16string text() const;
    QString plainText() const;
    TextView::TextStorage &textContentManager() { return m_storage; }
    const TextView::TextStorage &textContentManager() const { return m_storage; }

    // Colours of the syntax classes; class 0 and classes past the palette use the text colour.
    void setSyntaxPalette(const std::vector<QColor> &palette);

    // The font is QWidget::font(); a change lays the text out again.
    QColor textColor() const { return m_textColor; }
    void setTextColor(const QColor &color);
    QColor backgroundColor() const { return m_backgroundColor; }
    void setBackgroundColor(const QColor &color);
    QColor selectionColor() const { return m_selectionColor; }
    void setSelectionColor(const QColor &color);
    STParagraphStyle defaultParagraphStyle() const { return m_paragraphStyle; }
    void setDefaultParagraphStyle(const STParagraphStyle &style);
    STTypingAttributes typingAttributes() const { return m_typingAttributes; }
    void setTypingAttributes(const STTypingAttributes &attributes) { m_typingAttributes = attributes; }
    bool highlightSelectedLine() const { return m_highlightSelectedLine; }
    void setHighlightSelectedLine(bool on);
    QColor selectedLineHighlightColor() const { return m_selectedLineColor; }
    void setSelectedLineHighlightColor(const QColor &color);
    // False wraps lines to the view width.
    bool isHorizontallyResizable() const { return m_horizontallyResizable; }
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

    TextView::TextRange textSelection() const;
    void setTextSelection(TextView::TextRange range);
    std::size_t caretPosition() const { return m_caret; }

    void setTextDelegate(STTextViewDelegate *delegate) { m_delegate = delegate; }
    STTextViewDelegate *textDelegate() const { return m_delegate; }
    STTextFinder *textFinder() { return &m_finder; }
    // The delegate's undo manager, else the view's own coalescing one.
    TextView::UndoManager *undoManager();
    TextView::YankingManager &yankingManager() { return m_yanking; }

    // A user-level edit: undoable as its own step, typing attributes apply to the new text, the
    // text-changed callback fires before returning. Returns false when the delegate refused.
    bool replaceCharacters(TextView::TextRange range, std::u16string_view replacement);
    bool replaceCharacters(TextView::TextRange range, std::u16string_view replacement,
                           bool allowsTypingCoalescing);
    void breakUndoCoalescing();
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

    // Find state, driven by the find bar.
    void setSearchString(const QString &needle, bool caseSensitive);
    QString searchString() const { return m_needle; }
    std::size_t matchCount() const { return m_matches.size(); }
    // 1-based index of the selected match, 0 when the selection is not a match.
    std::size_t currentMatchIndex() const;
    bool findNext(bool forward);
    bool replaceCurrent(const QString &replacement);
    std::size_t replaceAll(const QString &replacement);
    bool isFindBarVisible() const;
    STFindBar *findBar() const { return m_findBar; }

    // Geometry, for the gutter and for tests: the viewport rectangle of the caret and the
    // position under a viewport point.
    QRect caretRect();
    std::size_t positionAt(QPoint viewportPoint);
    int rowHeight() const { return m_rowHeight; }
    struct VisibleLine {
        std::size_t line;
        int y;
    };
    std::vector<VisibleLine> visibleLines();
    // Lines currently holding a layout (for tests: only what is shown is laid out).
    std::size_t cachedLayoutCount() const { return m_layouts.size(); }

    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
    // The input method's uncommitted text, shown at the caret but not part of the text.
    const QString &preeditText() const { return m_preedit; }

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
    friend class STGutterView;
    friend class STTextFinder;
    struct Piece {
        std::size_t start = 0; // within the line
        std::size_t length = 0;
        std::unique_ptr<QTextLayout> layout;
    };
    struct LineLayout {
        std::map<std::size_t, Piece> pieces; // by piece index
    };

    void textReplaced(const TextView::EditReport &report) override;
    void attributesChanged(std::size_t start, std::size_t length) override;
    void contentReset() override;

    // Layout.
    void relayoutAll();
    void updateMetrics();
    void updateWrapColumns();
    void updateScrollBars();
    void updateViewportMargins();
    int textLeft() const;
    int textWidth() const;
    bool wraps() const { return !m_horizontallyResizable; }
    std::size_t pieceCount(std::size_t line) const;
    std::size_t pieceStart(std::size_t line, std::size_t piece) const;
    std::size_t pieceOf(std::size_t line, std::size_t offset) const;
    std::uint32_t pieceRows(std::size_t line, std::size_t piece) const;
    std::size_t pieceFirstRow(std::size_t line, std::size_t piece) const;
    QTextLayout *layoutFor(std::size_t line, std::size_t piece);
    void invalidateLines(std::size_t first, std::size_t last);
    void trimLayoutCache();
    std::size_t topRow() const;
    void setTopRow(std::size_t row);
    int visibleRowCount() const;

    // Positions.
    struct RowHit {
        std::size_t line;
        std::size_t piece;
        int textLine; // within the piece layout
    };
    RowHit rowAt(std::size_t globalRow);
    std::size_t globalRowOf(std::size_t position, qreal *x = nullptr);
    std::size_t positionAtRow(std::size_t globalRow, qreal x);
    std::size_t nextGrapheme(std::size_t position) const;
    std::size_t previousGrapheme(std::size_t position) const;
    std::size_t nextWordEnd(std::size_t position) const;
    std::size_t previousWordStart(std::size_t position) const;
    TextView::TextRange wordAt(std::size_t position) const;
    TextView::TextRange lineRangeWithBreak(std::size_t position) const;
    std::size_t lineEndOf(std::size_t position) const;
    std::size_t lineStartOf(std::size_t position) const;

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
    void insertTyped(const std::u16string &text);
    void killRange(TextView::TextRange range, TextView::DeleteAction action);

    // Find.
    void recomputeMatches();
    void updateMatchesAfterEdit(const TextView::EditReport &report);
    std::vector<std::size_t> findIn(std::size_t from, std::size_t to) const;
    void showFindBar(bool replace);
    void hideFindBar();
    void applyFindBarColors();

    void autoScrollTick();
    QColor syntaxColor(std::uint8_t syntaxClass) const;

    TextView::TextStorage m_storage;
    TextView::CoalescingUndoManager m_undo;
    TextView::YankingManager m_yanking;
    STTextFinder m_finder{this};
    STTextViewDelegate *m_delegate = nullptr;
    STGutterView *m_gutter = nullptr;
    STFindBar *m_findBar = nullptr;

    std::map<std::size_t, LineLayout> m_layouts;
    std::vector<QColor> m_palette;
    QColor m_textColor{Qt::black};
    QColor m_backgroundColor{Qt::white};
    QColor m_selectionColor{QColor(0x33, 0x88, 0xff, 90)};
    QColor m_selectedLineColor{QColor(0, 0, 0, 20)};
    QColor m_matchColor{QColor(0xff, 0xd0, 0x00, 110)};
    QColor m_currentMatchColor{QColor(0xff, 0x96, 0x00, 190)};
    STParagraphStyle m_paragraphStyle;
    STTypingAttributes m_typingAttributes;
    bool m_highlightSelectedLine = false;
    bool m_horizontallyResizable = false;
    bool m_editable = true;
    bool m_selectable = true;
    bool m_incrementalSearching = true;
    int m_leftInset = 4;
    int m_rightInset = 4;

    int m_rowHeight = 16;
    qreal m_charWidth = 8;
    std::size_t m_topLine = 0;
    std::uint32_t m_topRowInLine = 0;
    bool m_settingScrollBars = false;
    qreal m_widestMeasured = 0;

    std::size_t m_anchor = 0;
    std::size_t m_caret = 0;
    std::optional<qreal> m_desiredX;
    bool m_caretVisible = true;
    QTimer m_caretTimer;
    QString m_preedit;
    int m_preeditCursor = 0;
    QList<QTextLayout::FormatRange> m_preeditFormats; // relative to the preedit start

    bool m_selectingWithMouse = false;
    // After a double or triple click, dragging extends by whole words or lines.
    enum class Granularity { Character, Word, Line };
    Granularity m_granularity = Granularity::Character;
    TextView::TextRange m_granularAnchor;
    void extendMouseSelection(std::size_t position);
    QPoint m_lastMousePoint;
    QTimer m_autoScrollTimer;
    qint64 m_lastDoubleClickTime = 0;
    QPoint m_lastDoubleClickPoint;
    bool m_suppressTextCallbacks = false;

    QString m_needle;
    std::u16string m_foldedNeedle;
    bool m_caseSensitive = false;
    std::vector<std::size_t> m_matches;
};
