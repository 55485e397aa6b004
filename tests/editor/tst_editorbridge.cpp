// The editor bridge against a real text view, offscreen.
#include "editor/editortextview.h"

#include "highlighting/syntaxhighlighter.h"

#include "highlighting/qtcolor.h"
#include "highlighting/syntaxclass.h"

#include "base/notificationcenter.h"

#include "textview/stgutterview.h"

#include <QScrollBar>
#include <QtTest>

#include <deque>

using namespace Editor;
using Highlighting::SyntaxClass;

namespace {

std::shared_ptr<Base::U16Buffer> buffer(std::u16string_view text)
{
    auto result = std::make_shared<Base::U16Buffer>();
    result->append(text.data(), text.size());
    return result;
}

EditorTextView inputsFor(std::u16string_view text, Documents::DocKind kind, const QString &documentId = "doc-1")
{
    EditorTextView inputs;
    inputs.text = buffer(text);
    inputs.textGeneration = 1;
    inputs.docKind = kind;
    inputs.documentId = documentId;
    return inputs;
}

SyntaxClass classAt(STTextView *view, std::size_t position)
{
    return static_cast<SyntaxClass>(view->textContentManager().classAt(position));
}

// Lines (1-based) that carry a decoration.
QList<long long> decoratedLines(Coordinator &coordinator)
{
    QList<long long> lines;
    const auto &storage = coordinator.textView()->textContentManager();
    for (const auto &decoration : storage.decorations())
        lines << (long long)storage.lineAt(decoration.start) + 1;
    return lines;
}

} // namespace

class TestEditorBridge : public QObject {
    Q_OBJECT

private slots:
    void makeColoursTheTextAndMarksTheErrorLine();
    void typedTextWaitsForItsColours();
    void errorLineMovesTouchOnlyTwoLines();
    void everyErrorLineIsMarkedAndCleared();
    void errorLineOutOfRangeMarksNothing_data();
    void errorLineOutOfRangeMarksNothing();
    void hugeTextStaysUncolouredButKeepsTheErrorLine();
    void themeSwitchKeepsCaretSelectionAndScroll();
    void sameDocumentReplacementIsOneUndoStep();
    void anotherDocumentClearsUndo();
    void caretReportsOnlyChanges();
    void lineOperationsNeedFocusAndUndoInOneStep();
    void goToLineSelectsTheLineOrNothing();
    void wrapAndLineNumbersFollowTheInputs();
    void themeReachesTheViewAsOneStyle();
    void viewOnADocumentKeepsItsText();
    void lineOperationsEditOnlyTheirLines_data();
    void lineOperationsEditOnlyTheirLines();

private:
    // The views stay in m_window until the test object goes: their documents are declared
    // first so that they outlive them.
    TextView::TextDocument &newDocument() { return m_documents.emplace_back(); }

    std::deque<TextView::TextDocument> m_documents;
    QWidget m_window;
};

void TestEditorBridge::makeColoursTheTextAndMarksTheErrorLine()
{
    Coordinator coordinator;
    auto inputs = inputsFor(u"{\"key\": 12,\n\"x\": tru}", Documents::DocKind::Json);
    inputs.errorLine = 2;
    STTextView *view = coordinator.makeView(newDocument(), inputs, &m_window);
    QCOMPARE(classAt(view, 2), SyntaxClass::Property);
    QCOMPARE(classAt(view, 8), SyntaxClass::Number);
    QCOMPARE(decoratedLines(coordinator), QList<long long>{2});
    const auto &decoration = view->textContentManager().decorations().front();
    QCOMPARE(decoration.start, std::size_t(12));
    QCOMPARE(decoration.length, std::size_t(9)); // The line without its break.
    QCOMPARE(decoration.underline, TextView::UnderlineStyle::Thick);
}

void TestEditorBridge::typedTextWaitsForItsColours()
{
    Coordinator coordinator;
    STTextView *view = coordinator.makeView(newDocument(), inputsFor(u"{\"a\": 1}", Documents::DocKind::Json), &m_window);
    QSignalSpy edited(&coordinator, &Coordinator::textEdited);
    view->setTextSelection({7, 0});
    view->setFocus();
    QTest::keyClicks(view, "23");
    QCOMPARE(edited.count(), 2);
    QCOMPARE(coordinator.text(), std::u16string(u"{\"a\": 123}"));
    // Typed text has the typing attributes until the colours the window computes arrive.
    QCOMPARE(classAt(view, 8), SyntaxClass::Base);
    std::vector<std::uint8_t> classes(coordinator.textLength(), 0);
    Highlighting::SyntaxHighlighter::highlight(Documents::DocKind::Json, coordinator.text(), classes);
    // Colours of a text of another length were computed before an edit: they are not shown.
    coordinator.applyRecolouring(std::vector<std::uint8_t>(classes.size() - 1, std::uint8_t(SyntaxClass::Number)));
    QCOMPARE(classAt(view, 8), SyntaxClass::Base);
    coordinator.applyRecolouring(classes);
    QCOMPARE(classAt(view, 8), SyntaxClass::Number);
}

void TestEditorBridge::errorLineMovesTouchOnlyTwoLines()
{
    Coordinator coordinator;
    std::u16string text;
    for (int i = 1; i <= 12; ++i)
        text += u"line\n";
    auto inputs = inputsFor(text, Documents::DocKind::Json);
    inputs.errorLine = 5;
    coordinator.makeView(newDocument(), inputs, &m_window);
    QCOMPARE(decoratedLines(coordinator), QList<long long>{5});
    inputs.errorLine = 9;
    coordinator.update(inputs);
    QCOMPARE(decoratedLines(coordinator), QList<long long>{9});
    inputs.errorLine.reset();
    coordinator.update(inputs);
    QCOMPARE(decoratedLines(coordinator), QList<long long>{});
}

void TestEditorBridge::everyErrorLineIsMarkedAndCleared()
{
    Coordinator coordinator;
    std::u16string text;
    for (int i = 1; i <= 12; ++i)
        text += u"line\n";
    auto inputs = inputsFor(text, Documents::DocKind::Ndjson);
    inputs.errorLine = 3;
    inputs.moreErrorLines = {11, 3, 7, 40};
    coordinator.makeView(newDocument(), inputs, &m_window);
    QCOMPARE(decoratedLines(coordinator), (QList<long long>{3, 7, 11}));
    inputs.errorLine = 7;
    inputs.moreErrorLines = {12};
    coordinator.update(inputs);
    QCOMPARE(decoratedLines(coordinator), (QList<long long>{7, 12}));
    inputs.errorLine.reset();
    inputs.moreErrorLines.clear();
    coordinator.update(inputs);
    QCOMPARE(decoratedLines(coordinator), QList<long long>{});
}

void TestEditorBridge::errorLineOutOfRangeMarksNothing_data()
{
    QTest::addColumn<long long>("line");
    QTest::newRow("zero") << 0LL;
    QTest::newRow("negative") << -2LL;
    QTest::newRow("past the last line") << 4LL;
}

void TestEditorBridge::errorLineOutOfRangeMarksNothing()
{
    QFETCH(long long, line);
    Coordinator coordinator;
    auto inputs = inputsFor(u"a\nb\nc", Documents::DocKind::Json);
    inputs.errorLine = line;
    coordinator.makeView(newDocument(), inputs, &m_window);
    QCOMPARE(decoratedLines(coordinator), QList<long long>{});
}

void TestEditorBridge::hugeTextStaysUncolouredButKeepsTheErrorLine()
{
    Coordinator coordinator;
    std::u16string text = u"[1,\n";
    text.append(2'000'001, u' ');
    auto inputs = inputsFor(text, Documents::DocKind::Json);
    inputs.errorLine = 2;
    STTextView *view = coordinator.makeView(newDocument(), inputs, &m_window);
    QCOMPARE(classAt(view, 1), SyntaxClass::Base);
    QCOMPARE(decoratedLines(coordinator), QList<long long>{2});
    view->setTextSelection({1, 0});
    view->setFocus();
    QTest::keyClick(view, Qt::Key_5);
    QVERIFY(!Coordinator::colours(Documents::DocKind::Json, coordinator.textLength()));
}

void TestEditorBridge::themeSwitchKeepsCaretSelectionAndScroll()
{
    Coordinator coordinator;
    std::u16string text;
    for (int i = 0; i < 400; ++i)
        text += u"{\"n\": 1}\n";
    auto inputs = inputsFor(text, Documents::DocKind::Json);
    STTextView *view = coordinator.makeView(newDocument(), inputs, &m_window);
    view->resize(400, 300);
    view->setTextSelection({905, 3});
    view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum() / 2);
    const int scroll = view->verticalScrollBar()->value();
    QVERIFY(scroll > 0);
    const auto themes = Highlighting::Theme::all();
    inputs.theme = &themes[themes.size() - 1];
    coordinator.update(inputs);
    inputs.fontSize = 16;
    coordinator.update(inputs);
    QCOMPARE(view->textSelection().location, std::size_t(905));
    QCOMPARE(view->textSelection().length, std::size_t(3));
    QCOMPARE(view->backgroundColor(), Highlighting::toQColor(themes[themes.size() - 1].background()));
    QCOMPARE(view->font().pointSizeF(), 16.0);
    QCOMPARE(classAt(view, 2), SyntaxClass::Property);
}

void TestEditorBridge::sameDocumentReplacementIsOneUndoStep()
{
    Coordinator coordinator;
    const std::u16string original = u"{\"a\":1,\"b\":[2,3]}";
    auto inputs = inputsFor(original, Documents::DocKind::Json);
    STTextView *view = coordinator.makeView(newDocument(), inputs, &m_window);
    view->setTextSelection({100, 0});
    const std::u16string pretty = u"{\n  \"a\": 1,\n  \"b\": [\n    2,\n    3\n  ]\n}";
    inputs.text = buffer(pretty);
    inputs.textGeneration = 2;
    coordinator.update(inputs);
    QCOMPARE(coordinator.text(), pretty);
    QCOMPARE(classAt(view, 4), SyntaxClass::Property);
    view->undo();
    QCOMPARE(coordinator.text(), original);
}

void TestEditorBridge::anotherDocumentClearsUndo()
{
    Coordinator coordinator;
    auto inputs = inputsFor(u"first", Documents::DocKind::Txt);
    STTextView *view = coordinator.makeView(newDocument(), inputs, &m_window);
    view->setFocus();
    QTest::keyClicks(view, "xyz");
    QVERIFY(view->document().canUndo());
    auto next = inputsFor(u"second", Documents::DocKind::Txt, "doc-2");
    next.textGeneration = 2;
    coordinator.update(next);
    QCOMPARE(coordinator.text(), std::u16string(u"second"));
    QVERIFY(!view->document().canUndo());
}

void TestEditorBridge::caretReportsOnlyChanges()
{
    Coordinator coordinator;
    STTextView *view = coordinator.makeView(newDocument(), inputsFor(u"ab\ncd\n\xD83D\xDE00x", Documents::DocKind::Txt), &m_window);
    QSignalSpy lines(&coordinator, &Coordinator::caretLineChanged);
    QSignalSpy columns(&coordinator, &Coordinator::caretColumnChanged);
    view->setTextSelection({1, 0});
    QCOMPARE(lines.count(), 0); // Still line 1.
    QCOMPARE(columns.count(), 1);
    view->setTextSelection({4, 0});
    QCOMPARE(lines.count(), 1);
    QCOMPARE(coordinator.caret(), (CaretPosition{2, 2}));
    view->setTextSelection({8, 0}); // After the emoji: one column.
    QCOMPARE(coordinator.caret(), (CaretPosition{3, 2}));
}

void TestEditorBridge::lineOperationsNeedFocusAndUndoInOneStep()
{
    m_window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&m_window));
    Coordinator coordinator;
    STTextView *view = coordinator.makeView(newDocument(), inputsFor(u"a\nb\n", Documents::DocKind::Txt), &m_window);
    view->show();
    view->clearFocus();
    NotificationCenter::defaultCenter().post(Notifications::duplicateLine);
    QCOMPARE(coordinator.text(), std::u16string(u"a\nb\n"));
    view->setFocus();
    QTRY_VERIFY(view->hasFocus());
    view->setTextSelection({0, 0});
    NotificationCenter::defaultCenter().post(Notifications::duplicateLine);
    QCOMPARE(coordinator.text(), std::u16string(u"a\na\nb\n"));
    QCOMPARE(view->textSelection().location, std::size_t(2));
    NotificationCenter::defaultCenter().post(Notifications::moveLineDown);
    QCOMPARE(coordinator.text(), std::u16string(u"a\nb\na\n"));
    QCOMPARE(view->textSelection().location, std::size_t(4));
    view->undo();
    QCOMPARE(coordinator.text(), std::u16string(u"a\na\nb\n"));
    view->undo();
    QCOMPARE(coordinator.text(), std::u16string(u"a\nb\n"));
    m_window.hide();
}

void TestEditorBridge::goToLineSelectsTheLineOrNothing()
{
    Coordinator coordinator;
    auto inputs = inputsFor(u"zero\none\n\nthree", Documents::DocKind::Txt);
    STTextView *view = coordinator.makeView(newDocument(), inputs, &m_window);
    QSignalSpy consumed(&coordinator, &Coordinator::goToLineConsumed);
    inputs.goToLine = 2;
    coordinator.update(inputs);
    QTRY_COMPARE(consumed.count(), 1);
    QCOMPARE(view->textSelection().location, std::size_t(5));
    QCOMPARE(view->textSelection().length, std::size_t(3));
    inputs.goToLine = 3; // An empty line: a caret at its start.
    coordinator.update(inputs);
    QTRY_COMPARE(consumed.count(), 2);
    QCOMPARE(view->textSelection().location, std::size_t(9));
    QCOMPARE(view->textSelection().length, std::size_t(0));
    inputs.goToLine = 40;
    coordinator.update(inputs);
    QTRY_COMPARE(consumed.count(), 3);
    QCOMPARE(view->textSelection().location, std::size_t(9));
}

void TestEditorBridge::wrapAndLineNumbersFollowTheInputs()
{
    Coordinator coordinator;
    auto inputs = inputsFor(u"text", Documents::DocKind::Txt);
    inputs.wordWrap = true;
    inputs.showLineNumbers = true;
    STTextView *view = coordinator.makeView(newDocument(), inputs, &m_window);
    QVERIFY(!view->isHorizontallyResizable());
    QVERIFY(view->gutterView());
    inputs.wordWrap = false;
    inputs.showLineNumbers = false;
    coordinator.update(inputs);
    QVERIFY(view->isHorizontallyResizable());
    QVERIFY(!view->gutterView());
}

void TestEditorBridge::themeReachesTheViewAsOneStyle()
{
    Coordinator coordinator;
    auto inputs = inputsFor(u"{\"a\": 1}", Documents::DocKind::Json);
    const auto themes = Highlighting::Theme::all();
    const Highlighting::Theme &theme = themes[themes.size() - 1];
    inputs.theme = &theme;
    inputs.fontSize = 15;
    STTextView *view = coordinator.makeView(newDocument(), inputs, &m_window);
    const STTextViewStyle &style = view->textViewStyle();
    QCOMPARE(style.background, Highlighting::toQColor(theme.background()));
    QCOMPARE(style.text, Highlighting::toQColor(theme.foreground()));
    QCOMPARE(style.font.pointSizeF(), 15.0);
    QCOMPARE(style.syntaxColor(std::uint8_t(SyntaxClass::Property)), Highlighting::toQColor(theme.color(SyntaxClass::Property)));
    QCOMPARE(style.lineNumbers.rgb(), Highlighting::toQColor(theme.foreground()).rgb());
    QVERIFY(style.lineNumbers.alphaF() < 0.5);
    // Line numbers shown later take the same style: the gutter reads it from the view.
    inputs.showLineNumbers = false;
    coordinator.update(inputs);
    inputs.showLineNumbers = true;
    coordinator.update(inputs);
    QVERIFY(view->gutterView());
    QCOMPARE(view->gutterView()->font().pointSizeF(), 15.0);
}

void TestEditorBridge::viewOnADocumentKeepsItsText()
{
    TextView::TextDocument document;
    document.setText(u"{\"key\": 12}\n");
    Coordinator coordinator;
    auto inputs = inputsFor(u"", Documents::DocKind::Json);
    inputs.text.reset(); // the document brings its own
    inputs.errorLine = 1;
    std::unique_ptr<STTextView> view(coordinator.makeView(document, inputs, nullptr));
    QCOMPARE(&view->document(), &document);
    QCOMPARE(coordinator.text(), std::u16string(u"{\"key\": 12}\n"));
    QCOMPARE(classAt(view.get(), 2), SyntaxClass::Property);
    QCOMPARE(decoratedLines(coordinator), QList<long long>{1});
    // A second view of the same document sees the edits of the first.
    STTextView second(document);
    QSignalSpy edited(&coordinator, &Coordinator::textEdited);
    view->replaceCharacters({8, 2}, u"34");
    QCOMPARE(edited.count(), 1);
    QCOMPARE(second.text(), std::u16string(u"{\"key\": 34}\n"));
    // With a text in the inputs the document takes it.
    std::unique_ptr<STTextView> third;
    {
        Coordinator other;
        auto replacing = inputsFor(u"[1]", Documents::DocKind::Json, "doc-2");
        third.reset(other.makeView(document, replacing, nullptr));
        QCOMPARE(second.text(), std::u16string(u"[1]"));
    }
}

void TestEditorBridge::lineOperationsEditOnlyTheirLines_data()
{
    QTest::addColumn<QString>("notification");
    QTest::addColumn<int>("caret");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("revisionsAfter");
    QTest::newRow("duplicate inserts the copy after its line")
        << Notifications::duplicateLine << 7 << "aaaa\nbbbb\nbbbb\ncccc\n" << 1;
    QTest::newRow("move down replaces only the two lines' differing span")
        << Notifications::moveLineDown << 5 << "aaaa\ncccc\nbbbb\n" << 1;
}

void TestEditorBridge::lineOperationsEditOnlyTheirLines()
{
    QFETCH(QString, notification);
    QFETCH(int, caret);
    QFETCH(QString, text);
    QFETCH(int, revisionsAfter);
    TextView::TextDocument document; // outlives the view `window` deletes
    QWidget window;
    Coordinator coordinator;
    STTextView *view = coordinator.makeView(document, inputsFor(u"aaaa\nbbbb\ncccc\n", Documents::DocKind::Txt), &window);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    view->setFocus();
    QTRY_VERIFY(view->hasFocus());
    view->setTextSelection({std::size_t(caret), 0});
    struct Edits : TextView::TextDocumentObserver {
        QList<TextView::EditReport> reports;
        void documentDidReplace(const TextView::EditReport &report) override { reports << report; }
        void documentDidChangeAttributes(std::size_t, std::size_t) override {}
        void documentDidReset() override {}
    } edits;
    view->document().addObserver(&edits);
    const std::uint64_t revision = view->document().revision();
    NotificationCenter::defaultCenter().post(notification);
    view->document().removeObserver(&edits);
    QCOMPARE(QString::fromStdU16String(coordinator.text()), text);
    QCOMPARE(int(view->document().revision() - revision), revisionsAfter);
    QCOMPARE(edits.reports.size(), 1);
    // Never the whole text: at most the two lines involved.
    QVERIFY(std::max(edits.reports.front().removed, edits.reports.front().inserted) <= 10);
}

QTEST_MAIN(TestEditorBridge)
#include "tst_editorbridge.moc"
