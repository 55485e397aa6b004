#include "editortextview.h"

#include "highlighting/qtcolor.h"
#include "highlighting/syntaxhighlighter.h"

#include <QApplication>
#include <QFontDatabase>
#include <QScrollBar>

#include <algorithm>

namespace Editor {

namespace {

constexpr qreal LineHeightMultiple = 1.4;
constexpr int TextInset = 12;
// The gutter ends flush with its numbers; a few pixels keep the text off them.
constexpr int GutterGap = 4;

// The desktop's red for errors: background and underline of the error line.
constexpr TextView::Rgba errorBackground = 0x2EFF3B30; // red at opacity 0.18
constexpr TextView::Rgba errorUnderline = 0xD9FF3B30;  // red at opacity 0.85

// Every line to mark, the first error's line included, ascending and without repeats.
std::vector<long long> errorLinesOf(const EditorTextView &inputs)
{
    std::vector<long long> lines = inputs.moreErrorLines;
    if (inputs.errorLine)
        lines.push_back(*inputs.errorLine);
    std::erase_if(lines, [](long long line) { return line < 1; });
    std::sort(lines.begin(), lines.end());
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    return lines;
}

QColor withAlpha(const Highlighting::Color &color, qreal alpha)
{
    QColor result = Highlighting::toQColor(color);
    result.setAlphaF(float(alpha));
    return result;
}

std::vector<QColor> paletteOf(const Highlighting::Theme &theme)
{
    std::vector<QColor> palette;
    for (std::size_t i = 0; i < Highlighting::syntaxClassCount; ++i)
        palette.push_back(Highlighting::toQColor(theme.color(static_cast<Highlighting::SyntaxClass>(i))));
    return palette;
}

bool isColoured(Documents::DocKind kind, std::size_t length)
{
    return kind != Documents::DocKind::Csv && kind != Documents::DocKind::Txt
           && length <= Highlighting::SyntaxHighlighter::maximumLength;
}

} // namespace

QFont editorFont(const QString &family, double pointSize)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (!family.isEmpty()) {
        font.setFamilies({family});
        font.setStyleHint(QFont::Monospace);
    }
    font.setPointSizeF(pointSize);
    font.setWeight(QFont::Normal);
    return font;
}

Coordinator::Coordinator(QObject *parent) : QObject(parent)
{
}

Coordinator::~Coordinator()
{
    for (auto token : m_observers)
        NotificationCenter::defaultCenter().removeObserver(token);
    if (m_textView)
        m_textView->setTextDelegate(nullptr);
}

// ---- Make and update ----------------------------------------------------------------------

STTextView *Coordinator::makeView(TextView::TextDocument &document, const EditorTextView &inputs, QWidget *parent)
{
    auto *view = new STTextView(document, parent);
    m_textView = view;
    view->setFrameShape(QFrame::NoFrame);
    view->setEditable(true);
    view->setSelectable(true);
    view->setHighlightSelectedLine(true);
    view->setIncrementalSearchingEnabled(true);
    view->setDefaultParagraphStyle({LineHeightMultiple});
    view->setTypingAttributes({});
    view->setHorizontallyResizable(!inputs.wordWrap);
    view->setShowsLineNumbers(inputs.showLineNumbers);
    applyInsets(inputs.showLineNumbers);
    applyStyle(*inputs.theme, editorFont(inputs.fontFamily, inputs.fontSize));
    view->setIndentation(inputs.indentation, blockSyntax(inputs.docKind));

    m_currentTheme = inputs.theme;
    m_lastThemeId = std::string(inputs.theme->id());
    m_lastFontSize = inputs.fontSize;
    m_lastFontFamily = inputs.fontFamily;
    m_lastDocKind = inputs.docKind;
    m_lastDocumentId = inputs.documentId;
    m_lastErrorLines = errorLinesOf(inputs);
    if (inputs.text) {
        replaceContent(inputs, false);
    } else {
        // The document brought its own text: colour and mark it as it is.
        m_lastTextGeneration = inputs.textGeneration;
        applyAttributesInPlace();
    }

    view->setTextDelegate(this);
    observeNotifications();
    reportCaret();
    if (inputs.isActiveEditor) {
        QTimer::singleShot(0, this, [this] {
            if (m_textView && m_textView->window())
                m_textView->setFocus(Qt::OtherFocusReason);
        });
    }
    return view;
}

void Coordinator::update(const EditorTextView &inputs)
{
    if (!m_textView)
        return;
    STTextView *view = m_textView;
    const bool themeChanged = m_lastThemeId != inputs.theme->id();
    const bool fontChanged = m_lastFontSize != inputs.fontSize || m_lastFontFamily != inputs.fontFamily;
    const bool textChanged = m_lastTextGeneration != inputs.textGeneration;
    std::vector<long long> errorLines = errorLinesOf(inputs);
    const bool errorChanged = m_lastErrorLines != errorLines;
    const bool kindChanged = m_lastDocKind != inputs.docKind;
    const bool documentChanged = m_lastDocumentId != inputs.documentId;

    if (themeChanged || fontChanged)
        applyStyle(*inputs.theme, editorFont(inputs.fontFamily, inputs.fontSize));
    if (view->showsLineNumbers() != inputs.showLineNumbers) {
        view->setShowsLineNumbers(inputs.showLineNumbers);
        applyInsets(inputs.showLineNumbers);
    }
    if (view->isHorizontallyResizable() == inputs.wordWrap)
        view->setHorizontallyResizable(!inputs.wordWrap);
    view->setIndentation(inputs.indentation, blockSyntax(inputs.docKind));

    m_lastFontSize = inputs.fontSize;
    m_lastFontFamily = inputs.fontFamily;
    m_lastThemeId = std::string(inputs.theme->id());
    m_lastErrorLines = std::move(errorLines);
    m_lastDocKind = inputs.docKind;
    m_lastDocumentId = inputs.documentId;
    m_currentTheme = inputs.theme;

    if (textChanged) {
        replaceContent(inputs, !documentChanged);
        reportCaret();
    } else if (kindChanged) {
        // Classes depend on the kind only: a theme or font change needs no re-colouring, the
        // palette already changed.
        applyAttributesInPlace();
    } else if (errorChanged) {
        applyErrorLinesInPlace(m_lastErrorLines);
    }

    if (!inputs.isActiveEditor && view->hasFocus())
        view->clearFocus();

    if (inputs.goToLine) {
        const long long line = *inputs.goToLine;
        const std::optional<long long> column = inputs.goToColumn;
        QTimer::singleShot(0, this, [this, line, column] {
            if (m_textView && column) {
                const std::size_t location = caretLocation(m_textView->textContentManager(), {line, *column});
                m_textView->setTextSelection({location, 0});
                m_textView->scrollRangeToVisible({location, 0});
                m_textView->setFocus(Qt::OtherFocusReason);
            } else if (m_textView) {
                if (const auto range = rangeForLine(line)) {
                    m_textView->setTextSelection({range->location, range->length});
                    m_textView->scrollRangeToVisible({range->location, range->length});
                    m_textView->setFocus(Qt::OtherFocusReason);
                }
            }
            emit goToLineConsumed();
        });
    }
}

void Coordinator::applyStyle(const Highlighting::Theme &theme, const QFont &font)
{
    // Selection and match colours keep the view's defaults: no theme sets them.
    STTextViewStyle style;
    style.font = font;
    style.text = Highlighting::toQColor(theme.foreground());
    style.background = Highlighting::toQColor(theme.background());
    style.currentLine = withAlpha(theme.foreground(), theme.isDark() ? 0.06 : 0.08);
    style.lineNumbers = withAlpha(theme.foreground(), 0.4);
    style.syntaxPalette = paletteOf(theme);
    m_textView->setTextViewStyle(style);
    m_textView->setTypingAttributes({});
}

void Coordinator::applyInsets(bool showLineNumbers)
{
    m_textView->setTextInsets(showLineNumbers ? GutterGap : TextInset, TextInset);
}

// ---- Content ------------------------------------------------------------------------------

void Coordinator::replaceContent(const EditorTextView &inputs, bool sameDocument)
{
    STTextView *view = m_textView;
    m_lastTextGeneration = inputs.textGeneration;
    const std::u16string_view newText = inputs.text ? inputs.text->view() : std::u16string_view();
    m_isUpdatingFromBinding = true;
    if (sameDocument) {
        // The window reformatted or reloaded the text: one undoable edit, and the user keeps
        // position and selection.
        const TextView::TextRange selection = view->textSelection();
        const int scrollTop = view->verticalScrollBar()->value();
        const int scrollLeft = view->horizontalScrollBar()->value();
        view->replaceCharacters({0, view->textContentManager().length()}, newText, false);
        m_isUpdatingFromBinding = false;
        applyAttributesInPlace();
        const std::size_t length = newText.size();
        const std::size_t location = std::min(length, selection.location);
        view->setTextSelection({location, std::min(length - location, selection.length)});
        view->verticalScrollBar()->setValue(scrollTop);
        view->horizontalScrollBar()->setValue(scrollLeft);
        return;
    }
    STAttributedText content;
    // A new document's buffer is adopted, not copied: it can be the whole 50 MB file.
    if (inputs.text)
        content.text = std::move(*inputs.text);
    const std::u16string_view adopted = content.text.view();
    if (isColoured(inputs.docKind, adopted.size())) {
        content.classes.resize(adopted.size());
        Highlighting::SyntaxHighlighter::highlight(inputs.docKind, adopted, content.classes);
    }
    view->setAttributedText(std::move(content));
    markErrorLines(m_lastErrorLines);
    // Another document starts at its top, whatever the previous one showed.
    view->setTextSelection({0, 0});
    view->verticalScrollBar()->setValue(0);
    view->horizontalScrollBar()->setValue(0);
    m_isUpdatingFromBinding = false;
    // Undo does not cross documents.
    view->document().clearUndoHistory();
}

void Coordinator::applyAttributesInPlace()
{
    if (!m_textView)
        return;
    TextView::TextStorage &storage = m_textView->textContentManager();
    const std::size_t length = storage.length();
    m_classScratch.assign(length, 0);
    if (isColoured(m_lastDocKind, length))
        Highlighting::SyntaxHighlighter::highlight(m_lastDocKind, storage.view(0, length), m_classScratch);
    applyClasses(m_classScratch);
}

void Coordinator::applyRecolouring(const std::vector<std::uint8_t> &classes)
{
    // Computed for the text as it was scheduled; a text of another length is not that text.
    if (!m_textView || classes.size() != textLength())
        return;
    applyClasses(classes);
}

bool Coordinator::colours(Documents::DocKind kind, std::size_t length)
{
    return isColoured(kind, length);
}

void Coordinator::applyClasses(const std::vector<std::uint8_t> &classes)
{
    TextView::TextStorage &storage = m_textView->textContentManager();
    const std::size_t length = std::min(storage.length(), classes.size());
    m_isUpdatingFromBinding = true;
    storage.beginEditing();
    // Apply only the span that differs, so the view relays out only the lines that changed.
    m_currentClasses.resize(length);
    std::vector<std::uint8_t> &current = m_currentClasses;
    storage.copyClasses(0, length, current.data());
    const auto firstDifference = std::mismatch(current.begin(), current.end(), classes.begin());
    const std::size_t first = std::size_t(firstDifference.first - current.begin());
    if (first < length) {
        std::size_t last = length;
        while (last > first && current[last - 1] == classes[last - 1])
            --last;
        storage.setClasses(first, classes.data() + first, last - first);
    }
    markErrorLines(m_lastErrorLines);
    storage.endEditing();
    m_isUpdatingFromBinding = false;
}

void Coordinator::markErrorLines(const std::vector<long long> &lines)
{
    TextView::TextStorage &storage = m_textView->textContentManager();
    // Every mark goes by its own range, not by the lines it was made for: an edit across a marked
    // line (a reload, a paste over it) stretches the mark over all the text it put there.
    const std::vector<TextView::Decoration> previous = storage.decorations();
    for (const TextView::Decoration &mark : previous)
        storage.removeDecorations(mark.start, mark.length);
    for (const long long line : lines) {
        const auto range = rangeForLine(line);
        if (!range)
            continue;
        storage.addDecoration({range->location, range->length, errorBackground, TextView::UnderlineStyle::Thick,
                               errorUnderline});
    }
}

void Coordinator::applyErrorLinesInPlace(const std::vector<long long> &lines)
{
    if (!m_textView)
        return;
    TextView::TextStorage &storage = m_textView->textContentManager();
    m_isUpdatingFromBinding = true;
    storage.beginEditing();
    markErrorLines(lines);
    storage.endEditing();
    m_isUpdatingFromBinding = false;
}

std::optional<TextRange> Coordinator::rangeForLine(long long line) const
{
    if (!m_textView)
        return std::nullopt;
    return lineRange(m_textView->textContentManager(), line);
}

std::u16string Coordinator::text() const
{
    return m_textView ? m_textView->textContentManager().text() : std::u16string();
}

std::size_t Coordinator::textLength() const
{
    return m_textView ? m_textView->textContentManager().length() : 0;
}

// ---- Edits from the user --------------------------------------------------------------------

void Coordinator::textViewDidChangeText(STTextView *view)
{
    if (m_isUpdatingFromBinding || view != m_textView)
        return;
    emit textEdited();
    reportCaret();
}

void Coordinator::textViewDidChangeSelection(STTextView *view)
{
    if (view == m_textView)
        reportCaret();
}

void Coordinator::reportCaret()
{
    if (!m_textView)
        return;
    const CaretPosition position = caretPosition(m_textView->textContentManager(), m_textView->textSelection().location);
    const long long lineNumber = position.line;
    const long long column = position.column;
    if (lineNumber != m_lastReportedLine) {
        m_lastReportedLine = lineNumber;
        emit caretLineChanged(lineNumber);
    }
    if (column != m_lastReportedColumn) {
        m_lastReportedColumn = column;
        emit caretColumnChanged(column);
    }
}

// ---- Line operations and find ------------------------------------------------------------

bool Coordinator::hasFocusInWindow() const
{
    if (!m_textView || !m_textView->window())
        return false;
    const QWidget *focus = m_textView->window()->focusWidget();
    return focus == m_textView || focus == m_textView->viewport();
}

void Coordinator::applyText(std::u16string_view newText, std::size_t caret)
{
    if (!m_textView)
        return;
    const std::u16string oldText = text();
    if (const auto replacement = minimalReplacement(oldText, newText)) {
        m_textView->breakUndoCoalescing();
        m_textView->replaceCharacters({replacement->replaced.location, replacement->replaced.length},
                                      newText.substr(replacement->inserted.location, replacement->inserted.length),
                                      false);
    }
    const std::size_t location = std::min(newText.size(), caret);
    m_textView->setTextSelection({location, 0});
    m_textView->scrollRangeToVisible({location, 0});
}

void Coordinator::replaceAllText(std::u16string_view newText)
{
    if (!m_textView)
        return;
    STTextView *view = m_textView;
    const TextView::TextRange selection = view->textSelection();
    const int scrollTop = view->verticalScrollBar()->value();
    const int scrollLeft = view->horizontalScrollBar()->value();
    const std::u16string oldText = text();
    if (const auto replacement = minimalReplacement(oldText, newText)) {
        view->breakUndoCoalescing();
        view->replaceCharacters({replacement->replaced.location, replacement->replaced.length},
                                newText.substr(replacement->inserted.location, replacement->inserted.length), false);
    }
    const std::size_t length = newText.size();
    const std::size_t location = std::min(length, selection.location);
    view->setTextSelection({location, std::min(length - location, selection.length)});
    view->verticalScrollBar()->setValue(scrollTop);
    view->horizontalScrollBar()->setValue(scrollLeft);
}

TextView::BlockSyntax Coordinator::blockSyntax(Documents::DocKind kind)
{
    switch (kind) {
    case Documents::DocKind::Json:
    case Documents::DocKind::Ndjson:
    case Documents::DocKind::Toml:
        return TextView::BlockSyntax::Brackets;
    case Documents::DocKind::Yaml:
        return TextView::BlockSyntax::Colon;
    case Documents::DocKind::Xml:
        return TextView::BlockSyntax::Tags;
    default:
        return TextView::BlockSyntax::None;
    }
}

void Coordinator::convertIndentation(TextView::IndentStyle to)
{
    if (!m_textView)
        return;
    STTextView *view = m_textView;
    TextView::TextStorage &storage = view->textContentManager();
    const bool yaml = m_lastDocKind == Documents::DocKind::Yaml;
    const TextView::IndentStyle from = TextView::detectIndentation(storage.view(0, storage.length()), yaml);
    const std::vector<TextView::TextEdit> edits = TextView::convertIndentation(storage, from, to);
    if (edits.empty())
        return;
    const std::size_t anchor = TextView::mapThroughEdits(edits, view->anchorPosition());
    const std::size_t caret = TextView::mapThroughEdits(edits, view->caretPosition());
    view->applyEdits(edits, anchor, caret);
}

void Coordinator::appendExternalText(std::u16string_view appended)
{
    if (!m_textView || appended.empty())
        return;
    TextView::TextStorage &storage = m_textView->textContentManager();
    m_isUpdatingFromBinding = true;
    storage.replace(storage.length(), 0, appended);
    m_isUpdatingFromBinding = false;
    reportCaret();
}

void Coordinator::applyLineEdit(const LineEdit &edit)
{
    if (edit.replaced.length > 0 || !edit.replacement.empty()) {
        m_textView->breakUndoCoalescing();
        m_textView->replaceCharacters(edit.replaced, edit.replacement, false);
    }
    m_textView->setTextSelection(edit.selection);
    m_textView->scrollRangeToVisible({edit.selection.location, 0});
}

void Coordinator::duplicateCurrentLine()
{
    if (!hasFocusInWindow())
        return;
    applyLineEdit(duplicateLines(m_textView->textContentManager(), m_textView->textSelection()));
}

void Coordinator::moveCurrentLine(Direction direction)
{
    if (!hasFocusInWindow())
        return;
    if (const auto edit = moveLine(m_textView->textContentManager(), m_textView->textSelection().location, direction))
        applyLineEdit(*edit);
}

void Coordinator::observeNotifications()
{
    if (!m_observers.empty())
        return;
    auto &center = NotificationCenter::defaultCenter();
    m_observers.push_back(center.addObserver(Notifications::findAction, this, [this](const QVariant &object) {
        // The menu posts the action's integer code.
        bool isInteger = false;
        const std::optional<TextView::FindAction> action = TextView::findActionFromCode(object.toInt(&isInteger));
        if (!isInteger || !action || !m_textView || !m_textView->window())
            return;
        if (QApplication::activeWindow() != m_textView->window())
            return;
        // Hidden behind a table, a tree or a preview, the text is not what the user searches.
        if (!m_textView->isVisible() && m_textView->window()->isVisible())
            return;
        if (m_textView->textFinder()->validateAction(*action))
            m_textView->textFinder()->performAction(*action);
    }));
    m_observers.push_back(center.addObserver(Notifications::duplicateLine, this,
                                             [this](const QVariant &) { duplicateCurrentLine(); }));
    m_observers.push_back(center.addObserver(Notifications::moveLineUp, this,
                                             [this](const QVariant &) { moveCurrentLine(Direction::Up); }));
    m_observers.push_back(center.addObserver(Notifications::moveLineDown, this,
                                             [this](const QVariant &) { moveCurrentLine(Direction::Down); }));
}

} // namespace Editor
