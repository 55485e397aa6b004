// STTextView as a user drives it: keys, mouse, clipboard, input methods, wrapping, gutter,
// find and replace, undo, kill ring and delegate callbacks, on a real widget offscreen.
#include "textview/stextview.h"
#include "textview/stfindbar_p.h"
#include "textview/stgutterview.h"

#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QtTest>

using TextView::FindAction;
using TextView::TextRange;

namespace {

QString q(const std::u16string &s)
{
    return QString::fromStdU16String(s);
}

class RecordingDelegate : public STTextViewDelegate {
public:
    QStringList events;
    bool refuse = false;
    void textViewDidChangeText(STTextView *view) override { events << "text:" + q(view->text()); }
    void textViewDidChangeSelection(STTextView *view) override
    {
        events << QStringLiteral("selection:%1").arg(view->textSelection().location);
    }
    bool shouldChangeText(STTextView *, TextRange, std::u16string_view) override { return !refuse; }
};

struct Fixture {
    TextView::TextDocument document;
    STTextView view{document};
    explicit Fixture(const QString &text, bool wrap = true, QSize size = QSize(400, 300))
    {
        view.setHorizontallyResizable(!wrap);
        view.resize(size);
        view.setText(text.toStdU16String());
        view.show();
        view.setFocus();
        QCoreApplication::processEvents();
    }
    QString text() const { return q(view.text()); }
};

// "Ctrl+Shift+Left" style key names to a key press.
void press(QWidget *widget, const QString &keys)
{
    const QKeySequence sequence(keys);
    const QKeyCombination combination = sequence[0];
    QTest::keyClick(widget, combination.key(), combination.keyboardModifiers());
}

QString fixture(const QString &name)
{
    QFile file(QStringLiteral(CORVANE_FIXTURES "/") + name);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

} // namespace

class TestTextViewWidget : public QObject {
    Q_OBJECT
private slots:
    void typingInsertsAndCoalescesUndo();
    void tabsShowAsWideAsTheIndentation();
    void navigationKeys_data();
    void navigationKeys();
    void editingKeys_data();
    void editingKeys();
    void verticalMovementKeepsColumn();
    void killAndYankKeys();
    void mouseSelection();
    void doubleAndTripleClick();
    void doubleClickDragExtendsByWords();
    void gutterClickSelectsLines();
    void selectLinesGrowsTowardsTheLine_data();
    void selectLinesGrowsTowardsTheLine();
    void twoViewsShowOneDocument();
    void viewsWrapIndependently();
    void styleReachesViewAndGutter();
    void clipboardRoundTrip();
    void inputMethodPreeditAndCommit();
    void inputMethodQueries();
    void compositionEndsWhenTheCaretMoves_data();
    void compositionEndsWhenTheCaretMoves();
    void wrapOnOffSameText();
    void gutterWidthFollowsLineCount_data();
    void gutterWidthFollowsLineCount();
    void findBarActions();
    void findBarKeysNeverReachTheText_data();
    void findBarKeysNeverReachTheText();
    void replaceAndReplaceAllUndo();
    void attributeBatchesRepaint();
    void replaceCharactersContract();
    void delegateCanRefuse();
    void attributedTextPutsCaretAtFormerLocation();
    void onlyVisibleLinesAreLaidOut();
    void longLineIsLaidOutInPieces();
    void selectionNeverSplitsSurrogatePair();
    void dragBelowViewAutoscrolls();
    void wheelScrollsRows();
    void contextMenuOffersEditing();
    void rightToLeftTextMovesLogically();
    void lineHeightMultipleSetsRowHeight();
    void undoLivesInTheDocument();
    void readOnlyViewStillSelectsAndCopies();
    void scrollPositionStableWhileRowsAreMeasured();
};

void TestTextViewWidget::typingInsertsAndCoalescesUndo()
{
    Fixture f("");
    QTest::keyClicks(&f.view, "hello");
    QCOMPARE(f.text(), QStringLiteral("hello"));
    press(&f.view, "Left");
    press(&f.view, "Left");
    QTest::keyClicks(&f.view, "XY");
    QCOMPARE(f.text(), QStringLiteral("helXYlo"));
    press(&f.view, "Ctrl+Z");
    QCOMPARE(f.text(), QStringLiteral("hello"));
    press(&f.view, "Ctrl+Z");
    QCOMPARE(f.text(), QString());
    press(&f.view, "Ctrl+Shift+Z");
    QCOMPARE(f.text(), QStringLiteral("hello"));
    QTest::keyClick(&f.view, Qt::Key_Return);
    QTest::keyClick(&f.view, Qt::Key_Tab);
    QCOMPARE(f.text(), QStringLiteral("hello\n\t"));
}

void TestTextViewWidget::tabsShowAsWideAsTheIndentation()
{
    Fixture f("\tx");
    f.view.setTextSelection({1, 0});
    const int start = f.view.caretRect().x();
    f.view.setTextSelection({0, 0});
    const int lineStart = f.view.caretRect().x();
    f.view.setIndentation({false, 8}, TextView::BlockSyntax::None);
    f.view.setTextSelection({1, 0});
    const int wide = f.view.caretRect().x();
    QVERIFY(start > lineStart);
    // Twice as wide, give or take the rounding of a fractional character width.
    QVERIFY2(qAbs((wide - lineStart) - 2 * (start - lineStart)) <= 2, qPrintable(QString::number(wide)));
    // The spaces style types spaces, to the next stop of 8.
    f.view.setTextSelection({2, 0});
    QTest::keyClick(&f.view, Qt::Key_Tab);
    QCOMPARE(f.text(), QStringLiteral("\tx       "));
}

void TestTextViewWidget::navigationKeys_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("start");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<int>("location");
    QTest::addColumn<int>("length");
    const QString two = "alpha beta\ngamma delta\n";
    QTest::newRow("right-one-unit") << two << 0 << "Right" << 1 << 0;
    QTest::newRow("left-at-start-stays") << two << 0 << "Left" << 0 << 0;
    QTest::newRow("right-crosses-line-break") << two << 10 << "Right" << 11 << 0;
    QTest::newRow("ctrl-right-word-end") << two << 0 << "Ctrl+Right" << 5 << 0;
    QTest::newRow("ctrl-left-word-start") << two << 9 << "Ctrl+Left" << 6 << 0;
    QTest::newRow("home-line-start") << two << 14 << "Home" << 11 << 0;
    QTest::newRow("end-line-end") << two << 12 << "End" << 22 << 0;
    QTest::newRow("ctrl-end-document-end") << two << 0 << "Ctrl+End" << 23 << 0;
    QTest::newRow("ctrl-home-document-start") << two << 15 << "Ctrl+Home" << 0 << 0;
    QTest::newRow("down-next-line-same-column") << two << 3 << "Down" << 14 << 0;
    QTest::newRow("up-on-first-line-goes-start") << two << 3 << "Up" << 0 << 0;
    QTest::newRow("down-on-last-line-goes-end") << two << 12 << "Down,Down" << 23 << 0;
    QTest::newRow("shift-right-selects") << two << 0 << "Shift+Right,Shift+Right" << 0 << 2;
    QTest::newRow("shift-ctrl-right-selects-word") << two << 0 << "Ctrl+Shift+Right" << 0 << 5;
    QTest::newRow("shift-end-selects-rest") << two << 6 << "Shift+End" << 6 << 4;
    QTest::newRow("shift-home-selects-to-start") << two << 4 << "Shift+Home" << 0 << 4;
    QTest::newRow("shift-down-selects-line") << two << 0 << "Shift+Down" << 0 << 11;
    QTest::newRow("shift-up-selects-back") << two << 14 << "Shift+Up" << 3 << 11;
    QTest::newRow("shift-ctrl-end-selects-all-after") << two << 11 << "Ctrl+Shift+End" << 11 << 12;
    QTest::newRow("shift-ctrl-home-selects-before") << two << 11 << "Ctrl+Shift+Home" << 0 << 11;
    QTest::newRow("left-collapses-selection-to-start") << two << 2 << "Shift+Right,Shift+Right,Left" << 2 << 0;
    QTest::newRow("right-collapses-selection-to-end") << two << 2 << "Shift+Right,Shift+Right,Right" << 4 << 0;
    QTest::newRow("select-all") << two << 5 << "Ctrl+A" << 0 << 23;
    QTest::newRow("ctrl-right-in-giant-word-stops-at-scan-limit") << QString(10000, 'x') << 0 << "Ctrl+Right" << 4096 << 0;
    QTest::newRow("ctrl-left-in-giant-word-stops-at-scan-limit") << QString(10000, 'x') << 10000 << "Ctrl+Left" << 10000 - 4096 << 0;
    QTest::newRow("page-down-moves-down") << QString("x\n").repeated(200) << 0 << "PgDown" << -1 << 0;
    QTest::newRow("shift-page-down-selects") << QString("x\n").repeated(200) << 0 << "Shift+PgDown" << 0 << -1;
    QTest::newRow("page-up-back-to-start") << QString("x\n").repeated(200) << 0 << "PgDown,PgUp" << 0 << 0;
}

void TestTextViewWidget::navigationKeys()
{
    QFETCH(QString, text);
    QFETCH(int, start);
    QFETCH(QString, keys);
    QFETCH(int, location);
    QFETCH(int, length);
    Fixture f(text);
    f.view.setTextSelection({std::size_t(start), 0});
    for (const QString &key : keys.split(','))
        press(&f.view, key);
    const TextRange selection = f.view.textSelection();
    if (location < 0) {
        // A page down lands several rows further: at least ten lines on a 300-pixel view.
        QVERIFY2(selection.location >= 20, qPrintable(QString::number(selection.location)));
        QCOMPARE(selection.length, std::size_t(0));
    } else if (length < 0) {
        QCOMPARE(selection.location, std::size_t(location));
        QVERIFY2(selection.length >= 20, qPrintable(QString::number(selection.length)));
    } else {
        QCOMPARE(selection, (TextRange{std::size_t(location), std::size_t(length)}));
    }
}

void TestTextViewWidget::editingKeys_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("selected");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("result");
    QTest::addColumn<int>("caret");
    QTest::newRow("backspace-deletes-previous") << "abc" << 2 << 0 << "Backspace" << "ac" << 1;
    QTest::newRow("backspace-at-start-nothing") << "abc" << 0 << 0 << "Backspace" << "abc" << 0;
    QTest::newRow("delete-deletes-next") << "abc" << 1 << 0 << "Del" << "ac" << 1;
    QTest::newRow("backspace-joins-lines") << "ab\ncd" << 3 << 0 << "Backspace" << "abcd" << 2;
    QTest::newRow("backspace-deletes-selection") << "abcdef" << 1 << 3 << "Backspace" << "aef" << 1;
    QTest::newRow("typing-replaces-selection") << "abcdef" << 1 << 3 << "Z" << "aZef" << 2;
    QTest::newRow("ctrl-backspace-deletes-word") << "one two" << 7 << 0 << "Ctrl+Backspace" << "one " << 4;
    QTest::newRow("ctrl-delete-deletes-word") << "one two" << 3 << 0 << "Ctrl+Del" << "one" << 3;
    QTest::newRow("return-splits-line") << "ab" << 1 << 0 << "Return" << "a\nb" << 2;
    QTest::newRow("backspace-removes-whole-emoji") << QString::fromUtf8("a😀") << 3 << 0 << "Backspace" << "a" << 1;
    QTest::newRow("delete-removes-combining-sequence") << QString::fromUtf8("e\u0301x") << 0 << 0 << "Del" << "x" << 0;
    QTest::newRow("backspace-removes-flag-sequence") << QString::fromUtf8("🇫🇷") << 4 << 0 << "Backspace" << "" << 0;
}

void TestTextViewWidget::editingKeys()
{
    QFETCH(QString, text);
    QFETCH(int, start);
    QFETCH(int, selected);
    QFETCH(QString, keys);
    QFETCH(QString, result);
    QFETCH(int, caret);
    Fixture f(text);
    f.view.setTextSelection({std::size_t(start), std::size_t(selected)});
    for (const QString &key : keys.split(',')) {
        if (key.size() == 1)
            QTest::keyClicks(&f.view, key);
        else
            press(&f.view, key);
    }
    QCOMPARE(f.text(), result);
    QCOMPARE(f.view.textSelection(), (TextRange{std::size_t(caret), 0}));
    // Each of these is undoable back to the original text.
    f.view.undo();
    QCOMPARE(f.text(), text);
}

void TestTextViewWidget::verticalMovementKeepsColumn()
{
    Fixture f("abcdefgh\nab\nabcdefgh\n");
    f.view.setTextSelection({6, 0});
    press(&f.view, "Down");
    QCOMPARE(f.view.textSelection().location, std::size_t(11)); // end of the short line
    press(&f.view, "Down");
    QCOMPARE(f.view.textSelection().location, std::size_t(18)); // back to column 6
}

void TestTextViewWidget::killAndYankKeys()
{
    Fixture f("first line\nsecond line\n");
    f.view.setTextSelection({6, 0});
    press(&f.view, "Ctrl+K"); // kills "line"
    press(&f.view, "Ctrl+K"); // kills the line break: same kind, same entry
    QCOMPARE(f.text(), QStringLiteral("first second line\n"));
    press(&f.view, "Ctrl+End");
    press(&f.view, "Ctrl+Shift+Y");
    QCOMPARE(f.text(), QStringLiteral("first second line\nline\n"));
    f.view.undo();
    QCOMPARE(f.text(), QStringLiteral("first second line\n"));
    press(&f.view, "Ctrl+Y"); // Redo, as on every Linux desktop
    QCOMPARE(f.text(), QStringLiteral("first second line\nline\n"));
    f.view.undo();
    f.view.setTextSelection({6, 0});
    press(&f.view, "Ctrl+Shift+Backspace"); // kills "first "
    QCOMPARE(f.text(), QStringLiteral("second line\n"));
    QCOMPARE(q(f.view.yankingManager().yank()), QStringLiteral("first "));
}

void TestTextViewWidget::mouseSelection()
{
    Fixture f("0123456789\nabcdefghij\n");
    const QPoint start = f.view.caretRect().center() + QPoint(0, 0);
    f.view.setTextSelection({11, 0});
    const QPoint secondLine = f.view.caretRect().center();
    QTest::mousePress(f.view.viewport(), Qt::LeftButton, {}, start + QPoint(1, 0));
    QTest::mouseMove(f.view.viewport(), secondLine + QPoint(int(3.5 * f.view.fontMetrics().horizontalAdvance('M')), 0));
    QTest::mouseRelease(f.view.viewport(), Qt::LeftButton, {}, secondLine + QPoint(int(3.5 * f.view.fontMetrics().horizontalAdvance('M')), 0));
    QCOMPARE(f.view.textSelection(), (TextRange{0, 14}));
    // Shift+click extends from the anchor.
    f.view.setTextSelection({2, 0});
    QTest::mouseClick(f.view.viewport(), Qt::LeftButton, Qt::ShiftModifier, secondLine + QPoint(1, 0));
    QCOMPARE(f.view.textSelection(), (TextRange{2, 9}));
}

void TestTextViewWidget::doubleAndTripleClick()
{
    Fixture f("hello brave world\nnext\n");
    f.view.setTextSelection({8, 0});
    const QPoint inBrave = f.view.caretRect().center();
    f.view.setTextSelection({0, 0});
    QTest::mouseDClick(f.view.viewport(), Qt::LeftButton, {}, inBrave);
    QCOMPARE(f.view.textSelection(), (TextRange{6, 5}));
    QTest::mousePress(f.view.viewport(), Qt::LeftButton, {}, inBrave);
    QTest::mouseRelease(f.view.viewport(), Qt::LeftButton, {}, inBrave);
    QCOMPARE(f.view.textSelection(), (TextRange{0, 18}));
}

void TestTextViewWidget::doubleClickDragExtendsByWords()
{
    Fixture f("hello brave new world\n");
    f.view.setTextSelection({8, 0});
    const QPoint inBrave = f.view.caretRect().center();
    f.view.setTextSelection({17, 0});
    const QPoint inWorld = f.view.caretRect().center();
    f.view.setTextSelection({0, 0});
    QTest::mouseDClick(f.view.viewport(), Qt::LeftButton, {}, inBrave);
    QMouseEvent move(QEvent::MouseMove, QPointF(inWorld), QPointF(), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(f.view.viewport(), &move);
    QTest::mouseRelease(f.view.viewport(), Qt::LeftButton, {}, inWorld);
    QCOMPARE(f.view.textSelection(), (TextRange{6, 15})); // "brave new world"
}

void TestTextViewWidget::clipboardRoundTrip()
{
    Fixture f("copy me please");
    f.view.setTextSelection({5, 2});
    press(&f.view, "Ctrl+C");
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("me"));
    press(&f.view, "Ctrl+X");
    QCOMPARE(f.text(), QStringLiteral("copy  please"));
    f.view.setTextSelection({0, 0});
    press(&f.view, "Ctrl+V");
    QCOMPARE(f.text(), QStringLiteral("mecopy  please"));
    // Pasted line breaks become line feeds.
    QGuiApplication::clipboard()->setText("a\r\nb\rc");
    press(&f.view, "Ctrl+V");
    QCOMPARE(f.text(), QStringLiteral("mea\nb\nccopy  please"));
    press(&f.view, "Ctrl+Z");
    QCOMPARE(f.text(), QStringLiteral("mecopy  please"));
}

void TestTextViewWidget::inputMethodPreeditAndCommit()
{
    Fixture f("ab");
    RecordingDelegate delegate;
    f.view.setTextDelegate(&delegate);
    f.view.setTextSelection({1, 0});
    const QImage plain = f.view.viewport()->grab().toImage();
    const int caretX = f.view.caretRect().x();
    QInputMethodEvent preedit("ka", {QInputMethodEvent::Attribute(QInputMethodEvent::Cursor, 2, 1)});
    QApplication::sendEvent(&f.view, &preedit);
    QCOMPARE(f.text(), QStringLiteral("ab")); // preedit is shown, not stored
    QVERIFY(f.view.viewport()->grab().toImage() != plain);
    // The caret (and the input method's cursor rectangle) sits after the preedit text.
    const int advance = f.view.fontMetrics().horizontalAdvance(QStringLiteral("ka"));
    QVERIFY2(std::abs(f.view.caretRect().x() - (caretX + advance)) <= 1,
             qPrintable(QStringLiteral("%1 vs %2").arg(f.view.caretRect().x()).arg(caretX + advance)));
    QInputMethodEvent commit;
    commit.setCommitString(QString::fromUtf8("か"));
    QApplication::sendEvent(&f.view, &commit);
    QCOMPARE(f.text(), QString::fromUtf8("aかb"));
    QCOMPARE(delegate.events.filter("text:").size(), 1);
    QCOMPARE(f.view.textSelection(), (TextRange{2, 0}));
    f.view.undo();
    QCOMPARE(f.text(), QStringLiteral("ab"));
}

void TestTextViewWidget::inputMethodQueries()
{
    Fixture f("line one\nline two");
    f.view.setTextSelection({12, 0});
    QCOMPARE(f.view.inputMethodQuery(Qt::ImSurroundingText).toString(), QStringLiteral("line two"));
    QCOMPARE(f.view.inputMethodQuery(Qt::ImCursorPosition).toInt(), 3);
    QVERIFY(f.view.inputMethodQuery(Qt::ImEnabled).toBool());
    const QRectF rect = f.view.inputMethodQuery(Qt::ImCursorRectangle).toRectF();
    QCOMPARE(int(rect.top()), f.view.rowHeight() + f.view.viewport()->y());
}

void TestTextViewWidget::compositionEndsWhenTheCaretMoves_data()
{
    QTest::addColumn<QString>("move");
    QTest::newRow("mouse click on another line") << "click";
    QTest::newRow("arrow key") << "Down";
    QTest::newRow("selection set by the program") << "program";
}

void TestTextViewWidget::compositionEndsWhenTheCaretMoves()
{
    QFETCH(QString, move);
    Fixture f("first\nsecond");
    QVERIFY(QTest::qWaitForWindowActive(&f.view));
    f.view.setTextSelection({5, 0});
    QInputMethodEvent preedit(QString::fromUtf8("\u00b4"), {});
    QApplication::sendEvent(&f.view, &preedit);
    QCOMPARE(f.view.preeditText(), QString::fromUtf8("\u00b4"));
    if (move == "click") {
        const int y = f.view.rowHeight() + f.view.rowHeight() / 2;
        QTest::mouseClick(f.view.viewport(), Qt::LeftButton, {}, QPoint(f.view.viewport()->width() - 5, y));
    } else if (move == "Down") {
        press(&f.view, "Down");
    } else {
        f.view.setTextSelection({12, 0});
    }
    QCOMPARE(f.view.textSelection(), (TextRange{12, 0}));
    QVERIFY(f.view.preeditText().isEmpty());
    QCOMPARE(f.text(), QStringLiteral("first\nsecond"));
}

void TestTextViewWidget::wrapOnOffSameText()
{
    const QString longLine = QString("word ").repeated(60);
    Fixture wrapped(longLine + "\nshort\n", true, QSize(300, 300));
    Fixture unwrapped(longLine + "\nshort\n", false, QSize(300, 300));
    wrapped.view.grab();
    unwrapped.view.grab();
    QCOMPARE(wrapped.text(), unwrapped.text());
    QVERIFY(wrapped.view.wrapRows().rows(0) > 5);
    QCOMPARE(unwrapped.view.wrapRows().rows(0), 1u);
    QCOMPARE(wrapped.view.horizontalScrollBar()->maximum(), 0);
    QVERIFY(unwrapped.view.horizontalScrollBar()->maximum() > 0);
    // The second line starts below all rows of the first.
    wrapped.view.setTextSelection({std::size_t(longLine.size()) + 1, 0});
    QCOMPARE(wrapped.view.caretRect().top(), int(wrapped.view.wrapRows().rows(0)) * wrapped.view.rowHeight());
    // Turning wrapping off lays the same text out again at once.
    wrapped.view.setHorizontallyResizable(true);
    wrapped.view.grab();
    QCOMPARE(wrapped.view.wrapRows().rows(0), 1u);
    QCOMPARE(wrapped.view.caretRect().top(), wrapped.view.rowHeight());
}

void TestTextViewWidget::gutterWidthFollowsLineCount_data()
{
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("digits");
    QTest::newRow("nine-lines-two-digit-minimum") << 9 << 2;
    QTest::newRow("ninety-nine-lines") << 99 << 2;
    QTest::newRow("thousand-lines") << 1000 << 4;
    QTest::newRow("hundred-thousand-lines") << 100000 << 6;
}

void TestTextViewWidget::gutterWidthFollowsLineCount()
{
    QFETCH(int, lines);
    QFETCH(int, digits);
    Fixture f(QString("x\n").repeated(lines - 1));
    QCOMPARE(f.view.gutterView(), nullptr);
    f.view.setShowsLineNumbers(true);
    QVERIFY(f.view.gutterView());
    const int digitWidth = int(std::ceil(QFontMetricsF(f.view.gutterView()->font()).horizontalAdvance('9') * digits + 20));
    QCOMPARE(f.view.gutterView()->width(), digitWidth);
    QCOMPARE(f.view.viewport()->x(), digitWidth);
    // Growing past the next power of ten widens the gutter with the edit.
    const int before = f.view.gutterView()->width();
    f.view.replaceCharacters({0, 0}, std::u16string(std::size_t(lines) * 11, u'\n'));
    QVERIFY(f.view.gutterView()->width() > before);
    f.view.setShowsLineNumbers(false);
    QCOMPARE(f.view.gutterView(), nullptr);
    QCOMPARE(f.view.viewport()->x(), 0);
}

void TestTextViewWidget::findBarActions()
{
    Fixture f(fixture("find.txt"));
    STTextFinder *finder = f.view.textFinder();
    QVERIFY(finder->validateAction(FindAction::ShowFindInterface));
    QVERIFY(!finder->validateAction(FindAction::NextMatch)); // nothing searched yet
    QVERIFY(!TextView::findActionFromCode(99)); // no action has that code
    finder->performAction(FindAction::ShowFindInterface);
    QVERIFY(f.view.isFindBarVisible());
    QVERIFY(!f.view.findBar()->isReplaceShown());
    QTest::keyClicks(f.view.findBar()->findField(), "apple");
    // Incremental: matches counted and the first one selected while typing.
    QCOMPARE(f.view.matchCount(), std::size_t(3)); // "Apple" matches without case sensitivity
    QCOMPARE(f.view.textSelection(), (TextRange{0, 5}));
    QCOMPARE(f.view.findBar()->countLabel()->text(), QStringLiteral("1 of 3"));
    finder->performAction(FindAction::NextMatch);
    QCOMPARE(f.view.currentMatchIndex(), std::size_t(2));
    finder->performAction(FindAction::PreviousMatch);
    finder->performAction(FindAction::PreviousMatch); // wraps to the last
    QCOMPARE(f.view.currentMatchIndex(), std::size_t(3));
    f.view.findBar()->caseBox()->setChecked(true);
    QCOMPARE(f.view.matchCount(), std::size_t(2));
    // Editing the text keeps the matches current.
    f.view.replaceCharacters({0, 0}, u"apple ");
    QCOMPARE(f.view.matchCount(), std::size_t(3));
    finder->performAction(FindAction::HideFindInterface);
    QVERIFY(!f.view.isFindBarVisible());
    QCOMPARE(f.view.matchCount(), std::size_t(0));
    finder->performAction(FindAction::ShowReplaceInterface);
    QVERIFY(f.view.findBar()->isReplaceShown());
    QCOMPARE(f.view.matchCount(), std::size_t(3));
}

void TestTextViewWidget::findBarKeysNeverReachTheText_data()
{
    // Keys go to whatever has the focus, as a user's do. Steps: "type:TEXT", "focus:replace",
    // or a key sequence. Only Replace and Replace All may change the text.
    QTest::addColumn<bool>("replaceShown");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("expectedText");
    QTest::addColumn<int>("expectedMatch"); // current match afterwards, 0 when none is current
    QTest::addColumn<QString>("focusIn");    // "find", "replace", "bar" (some control of it) or "text"

    const QString original = fixture("find.txt");
    QString replacedFirst = original;
    replacedFirst.replace(0, 5, QStringLiteral("pear"));
    QTest::newRow("Return in find goes to the next match")
        << false << QStringList{"type:apple", "Return", "Return"} << original << 3 << "find";
    QTest::newRow("Shift+Return in find goes to the previous match")
        << false << QStringList{"type:apple", "Shift+Return"} << original << 3 << "find";
    QTest::newRow("Enter on the keypad is Return")
        << false << QStringList{"type:apple", "Enter"} << original << 2 << "find";
    QTest::newRow("Tab in find moves to the bar's next control")
        << true << QStringList{"type:apple", "Tab", "type:xyz"} << original << 1 << "bar";
    QTest::newRow("Tab keeps cycling within the bar")
        << true << QStringList{"type:apple", "Tab", "Tab", "Tab", "Tab", "Tab", "Tab", "Tab", "Tab", "Tab", "Tab", "Tab"}
        << original << 1 << "bar";
    QTest::newRow("Shift+Tab in find stays in the bar")
        << true << QStringList{"type:apple", "Shift+Tab", "Shift+Tab"} << original << 1 << "bar";
    QTest::newRow("Return in replace replaces the current match once")
        << true << QStringList{"type:apple", "focus:replace", "type:pear", "Return"} << replacedFirst << 1 << "replace";
    QTest::newRow("Escape in replace closes the bar")
        << true << QStringList{"type:apple", "focus:replace", "Escape"} << original << 0 << "text";
    QTest::newRow("editing keys in an empty field")
        << false << QStringList{"Backspace", "Delete", "Up", "Down", "PgDown", "Ctrl+K", "Ctrl+Return"} << original << 0
        << "find";
}

void TestTextViewWidget::findBarKeysNeverReachTheText()
{
    QFETCH(bool, replaceShown);
    QFETCH(QStringList, steps);
    QFETCH(QString, expectedText);
    QFETCH(int, expectedMatch);
    QFETCH(QString, focusIn);

    Fixture f(fixture("find.txt"));
    QVERIFY(QTest::qWaitForWindowActive(&f.view));
    f.view.textFinder()->performAction(replaceShown ? FindAction::ShowReplaceInterface
                                                    : FindAction::ShowFindInterface);
    STFindBar *bar = f.view.findBar();
    QCOMPARE(QApplication::focusWidget(), bar->findField());
    for (const QString &step : steps) {
        QWidget *focused = QApplication::focusWidget();
        QVERIFY2(focused, qPrintable(step));
        if (step.startsWith("type:")) {
            QTest::keyClicks(focused, step.mid(5));
        } else if (step == "focus:replace") {
            bar->replaceField()->setFocus(Qt::TabFocusReason);
        } else {
            press(focused, step);
        }
    }
    QCOMPARE(f.text(), expectedText);
    QCOMPARE(int(f.view.currentMatchIndex()), expectedMatch);
    QWidget *focused = QApplication::focusWidget();
    QVERIFY(focused);
    if (focusIn == "find")
        QCOMPARE(focused, bar->findField());
    else if (focusIn == "replace")
        QCOMPARE(focused, bar->replaceField());
    else if (focusIn == "bar")
        QVERIFY2(bar->isAncestorOf(focused) && bar->isVisible(), qPrintable(focused->metaObject()->className()));
    else
        QCOMPARE(focused, &f.view);
}

void TestTextViewWidget::replaceAndReplaceAllUndo()
{
    const QString original = fixture("find.txt");
    Fixture f(original);
    RecordingDelegate delegate;
    f.view.setTextDelegate(&delegate);
    f.view.textFinder()->performAction(FindAction::ShowReplaceInterface);
    QTest::keyClicks(f.view.findBar()->findField(), "apple");
    f.view.findBar()->replaceField()->setText("pear");
    QVERIFY(f.view.replaceCurrent("pear"));
    QVERIFY(f.text().startsWith("pear"));
    QCOMPARE(f.view.matchCount(), std::size_t(2));
    delegate.events.clear();
    QCOMPARE(f.view.replaceAll("fig"), std::size_t(2));
    QCOMPARE(f.text().count("fig"), 2);
    QCOMPARE(f.text().count("apple", Qt::CaseInsensitive), 0);
    QCOMPARE(delegate.events.filter("text:").size(), 1); // one callback for the whole run
    f.view.undo(); // replace all is one step
    QCOMPARE(f.text().count("apple", Qt::CaseInsensitive), 2);
    f.view.undo();
    QCOMPARE(f.text(), original);
}

void TestTextViewWidget::attributeBatchesRepaint()
{
    Fixture f("{\"a\": 1}\nsecond\n");
    f.view.setSyntaxPalette({QColor(), QColor(Qt::red), QColor(Qt::green)});
    f.view.setTextColor(Qt::black);
    f.view.setBackgroundColor(Qt::white);
    const QImage before = f.view.viewport()->grab().toImage();
    auto &storage = f.view.textContentManager();
    storage.beginEditing();
    storage.setClass(1, 3, 2);
    storage.addDecoration({9, 6, QColor(255, 0, 0, 46).rgba(), TextView::UnderlineStyle::Thick, QColor(255, 0, 0, 216).rgba()});
    storage.endEditing();
    const QImage after = f.view.viewport()->grab().toImage();
    QVERIFY(before != after);
    // Green text shows on line 1; the error background on line 2.
    bool green = false;
    for (int x = 0; x < 100 && !green; ++x)
        for (int y = 0; y < f.view.rowHeight() && !green; ++y)
            green = after.pixelColor(x, y).green() > 150 && after.pixelColor(x, y).red() < 100;
    QVERIFY(green);
    const QColor errorBackground = after.pixelColor(f.view.textContentManager().length() > 0 ? 6 : 0, f.view.rowHeight() + 1);
    QVERIFY2(errorBackground.red() > errorBackground.green(), qPrintable(errorBackground.name()));
    // Removing the decoration restores the plain second line.
    storage.removeDecorations(9, 6);
    QCOMPARE(f.view.viewport()->grab().toImage().pixelColor(6, f.view.rowHeight() + 1), QColor(Qt::white));
}

void TestTextViewWidget::replaceCharactersContract()
{
    Fixture f("hello");
    RecordingDelegate delegate;
    f.view.setTextDelegate(&delegate);
    QVERIFY(f.view.replaceCharacters({0, 5}, u"bye"));
    QCOMPARE(delegate.events.first(), QStringLiteral("text:bye")); // fired before returning
    f.view.setTypingAttributes({3});
    f.view.replaceCharacters({3, 0}, u"!");
    QCOMPARE(f.view.textContentManager().classAt(3), std::uint8_t(3));
    QCOMPARE(f.view.document().undoCount(), std::size_t(2)); // each programmatic edit its own step
    f.view.undo();
    f.view.undo();
    QCOMPARE(f.text(), QStringLiteral("hello"));
}

void TestTextViewWidget::delegateCanRefuse()
{
    Fixture f("keep");
    RecordingDelegate delegate;
    delegate.refuse = true;
    f.view.setTextDelegate(&delegate);
    QTest::keyClicks(&f.view, "x");
    QCOMPARE(f.text(), QStringLiteral("keep"));
    QVERIFY(!f.view.document().canUndo());
}

void TestTextViewWidget::attributedTextPutsCaretAtFormerLocation()
{
    Fixture f("0123456789");
    f.view.setTextSelection({7, 2});
    f.view.setTypingAttributes({4});
    STAttributedText content;
    const std::u16string text = u"abcdefghijkl";
    content.text.append(text.data(), text.size());
    content.classes.assign(text.size(), 2);
    f.view.setAttributedText(std::move(content));
    QCOMPARE(f.view.textSelection(), (TextRange{7, 0}));
    QCOMPARE(int(f.view.typingAttributes().syntaxClass), 0);
    std::vector<std::uint8_t> classes(text.size());
    f.view.textContentManager().copyClasses(0, classes.size(), classes.data());
    QCOMPARE(classes, std::vector<std::uint8_t>(text.size(), 2));
    STAttributedText shorter;
    shorter.text.append(u"ab", 2);
    f.view.setAttributedText(std::move(shorter));
    QCOMPARE(f.view.textSelection(), (TextRange{2, 0}));
}

void TestTextViewWidget::onlyVisibleLinesAreLaidOut()
{
    Fixture f(QString("{\"key\": \"value\"},\n").repeated(100000));
    f.view.grab();
    QVERIFY2(f.view.cachedLayoutCount() < 40, qPrintable(QString::number(f.view.cachedLayoutCount())));
    press(&f.view, "Ctrl+End");
    f.view.grab();
    QCOMPARE(f.view.textSelection().location, f.view.textContentManager().length());
    QVERIFY(f.view.verticalScrollBar()->value() > 99000);
    QVERIFY2(f.view.cachedLayoutCount() < 80, qPrintable(QString::number(f.view.cachedLayoutCount())));
}

void TestTextViewWidget::longLineIsLaidOutInPieces()
{
    const QString huge = QString("0123456789").repeated(100000); // one line of a million units
    Fixture f(huge, true);
    f.view.grab();
    QCOMPARE(f.view.textContentManager().lineCount(), std::size_t(1));
    QVERIFY(f.view.wrapRows().rows(0) > 1000);
    press(&f.view, "Ctrl+End");
    f.view.grab();
    QCOMPARE(f.view.textSelection().location, std::size_t(huge.size()));
    QTest::keyClicks(&f.view, "!");
    QCOMPARE(f.view.textContentManager().length(), std::size_t(huge.size()) + 1);
    // Down from the first row moves one row, not one line.
    press(&f.view, "Ctrl+Home");
    press(&f.view, "Down");
    const std::size_t columns = f.view.wrapRows().wrapColumns();
    QCOMPARE(f.view.textSelection().location, columns);
}

void TestTextViewWidget::selectionNeverSplitsSurrogatePair()
{
    Fixture f(QString::fromUtf8("a😀b"));
    f.view.setTextSelection({2, 0});
    QCOMPARE(f.view.textSelection().location, std::size_t(1));
    press(&f.view, "Right");
    QCOMPARE(f.view.textSelection().location, std::size_t(3));
    press(&f.view, "Left");
    QCOMPARE(f.view.textSelection().location, std::size_t(1));
}

void TestTextViewWidget::dragBelowViewAutoscrolls()
{
    Fixture f(QString("line\n").repeated(500));
    QTest::mousePress(f.view.viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    QMouseEvent move(QEvent::MouseMove, QPointF(5, f.view.viewport()->height() + 40), QPointF(),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(f.view.viewport(), &move);
    QTRY_VERIFY(f.view.verticalScrollBar()->value() > 10);
    QTest::mouseRelease(f.view.viewport(), Qt::LeftButton, {}, QPoint(5, f.view.viewport()->height() - 2));
    QCOMPARE(f.view.textSelection().location, std::size_t(0));
    QVERIFY(f.view.textSelection().length > 100);
}

void TestTextViewWidget::wheelScrollsRows()
{
    Fixture f(QString("line\n").repeated(500));
    QWheelEvent wheel(QPointF(10, 10), f.view.viewport()->mapToGlobal(QPointF(10, 10)), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(f.view.viewport(), &wheel);
    QCOMPARE(f.view.verticalScrollBar()->value(), QApplication::wheelScrollLines());
    // The first visible line follows the scroll bar, the caret stays where it was.
    QCOMPARE(f.view.visibleLines().front().line, std::size_t(QApplication::wheelScrollLines()));
    QCOMPARE(f.view.textSelection().location, std::size_t(0));
}

void TestTextViewWidget::contextMenuOffersEditing()
{
    Fixture f("some text");
    f.view.setTextSelection({0, 4});
    QStringList enabled;
    QTimer::singleShot(0, [&] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu)
            return;
        for (QAction *action : menu->actions())
            if (!action->isSeparator() && action->isEnabled())
                enabled << action->text();
        menu->close();
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), f.view.viewport()->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(f.view.viewport(), &event);
    QCOMPARE(enabled, (QStringList{"Cut", "Copy", "Paste", "Delete", "Select All", "Find…"}));
}

void TestTextViewWidget::rightToLeftTextMovesLogically()
{
    const QString hebrew = QString::fromUtf8("שלום עולם");
    Fixture f(hebrew);
    f.view.grab();
    press(&f.view, "Right");
    press(&f.view, "Right");
    QCOMPARE(f.view.textSelection().location, std::size_t(2));
    QTest::keyClicks(&f.view, "x");
    QCOMPARE(f.text(), hebrew.left(2) + "x" + hebrew.mid(2));
    f.view.grab(); // drawn by the layout engine in its own direction, without trouble
}

void TestTextViewWidget::lineHeightMultipleSetsRowHeight()
{
    Fixture f("a\nb\n");
    const int single = f.view.rowHeight();
    f.view.setDefaultParagraphStyle({1.4});
    QCOMPARE(f.view.rowHeight(), int(std::lround(QFontMetricsF(f.view.font()).lineSpacing() * 1.4)));
    QVERIFY(f.view.rowHeight() > single);
    f.view.setTextSelection({2, 0});
    QCOMPARE(f.view.caretRect().top(), f.view.rowHeight());
}

void TestTextViewWidget::undoLivesInTheDocument()
{
    Fixture f("");
    QTest::keyClicks(&f.view, "abc");
    QCOMPARE(f.view.document().isCoalescing(), true);
    f.view.undo();
    QCOMPARE(f.text(), QString());
    QVERIFY(f.view.document().canRedo());
}

void TestTextViewWidget::readOnlyViewStillSelectsAndCopies()
{
    Fixture f("read only");
    f.view.setEditable(false);
    QTest::keyClicks(&f.view, "x");
    press(&f.view, "Backspace");
    press(&f.view, "Ctrl+K");
    press(&f.view, "Shift+End");
    QCOMPARE(f.text(), QStringLiteral("read only"));
    QCOMPARE(f.view.textSelection(), (TextRange{0, 9}));
    press(&f.view, "Ctrl+C");
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("read only"));
    press(&f.view, "Ctrl+V");
    QCOMPARE(f.text(), QStringLiteral("read only"));
    QVERIFY(!f.view.inputMethodQuery(Qt::ImEnabled).toBool());
}

void TestTextViewWidget::scrollPositionStableWhileRowsAreMeasured()
{
    // Word wrapping makes real row counts differ from the column estimate.
    QString text;
    for (int i = 0; i < 3000; ++i)
        text += QString("w%1 ").arg(i).repeated(5 + i % 40) + "\n";
    Fixture f(text, true, QSize(300, 300));
    f.view.verticalScrollBar()->setValue(f.view.verticalScrollBar()->maximum() / 2);
    const std::size_t top = f.view.visibleLines().front().line;
    const std::size_t totalBefore = f.view.wrapRows().totalRows();
    f.view.grab();
    QCoreApplication::processEvents();
    f.view.grab();
    QCOMPARE(f.view.visibleLines().front().line, top);
    QVERIFY(f.view.wrapRows().totalRows() != totalBefore); // estimates were refined
    QCOMPARE(std::size_t(f.view.verticalScrollBar()->value()), f.view.wrapRows().rowOfLine(top)
                                                                    + std::size_t(-f.view.visibleLines().front().y / f.view.rowHeight()));
}

void TestTextViewWidget::gutterClickSelectsLines()
{
    Fixture f("one\ntwo\nthree\nfour\n");
    f.view.setShowsLineNumbers(true);
    const int row = f.view.rowHeight();
    QTest::mouseClick(f.view.gutterView(), Qt::LeftButton, {}, QPoint(5, row + row / 2));
    QCOMPARE(f.view.textSelection(), (TextRange{4, 4})); // "two\n"
    QTest::mousePress(f.view.gutterView(), Qt::LeftButton, {}, QPoint(5, row / 2));
    QMouseEvent move(QEvent::MouseMove, QPointF(5, 2 * row + row / 2), QPointF(), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(f.view.gutterView(), &move);
    QTest::mouseRelease(f.view.gutterView(), Qt::LeftButton, {}, QPoint(5, 2 * row + row / 2));
    QCOMPARE(f.view.textSelection(), (TextRange{0, 14})); // three whole lines
}

void TestTextViewWidget::selectLinesGrowsTowardsTheLine_data()
{
    QTest::addColumn<int>("anchorLine");
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("anchor");
    QTest::addColumn<int>("caret");
    // "one\ntwo\nthree\nfour": lines start at 0, 4, 8, 14.
    QTest::newRow("one-line-with-its-break") << 1 << 1 << 4 << 8;
    QTest::newRow("downwards-caret-after-the-last-line") << 0 << 2 << 0 << 14;
    QTest::newRow("upwards-anchor-after-its-line-caret-at-the-start") << 2 << 0 << 14 << 0;
    QTest::newRow("last-line-has-no-break") << 3 << 3 << 14 << 18;
    QTest::newRow("lines-past-the-end-are-clamped") << 9 << 9 << 14 << 18;
}

void TestTextViewWidget::selectLinesGrowsTowardsTheLine()
{
    QFETCH(int, anchorLine);
    QFETCH(int, line);
    QFETCH(int, anchor);
    QFETCH(int, caret);
    Fixture f("one\ntwo\nthree\nfour");
    f.view.selectLines(std::size_t(anchorLine), std::size_t(line));
    QCOMPARE(int(f.view.anchorPosition()), anchor);
    QCOMPARE(int(f.view.caretPosition()), caret);
}

void TestTextViewWidget::twoViewsShowOneDocument()
{
    TextView::TextDocument document;
    document.setText(u"first line\nsecond line\n");
    STTextView a(document), b(document);
    for (STTextView *view : {&a, &b}) {
        view->resize(400, 300);
        view->show();
    }
    QCOMPARE(&a.document(), &document);
    RecordingDelegate delegateA, delegateB;
    a.setTextDelegate(&delegateA);
    b.setTextDelegate(&delegateB);
    b.setTextSelection({11, 6}); // "second"
    a.setTextSelection({0, 0});
    QTest::keyClicks(&a, "> ");
    QCOMPARE(q(b.text()), QStringLiteral("> first line\nsecond line\n"));
    QCOMPARE(b.textSelection(), (TextRange{13, 6})); // still on "second"
    QCOMPARE(a.textSelection(), (TextRange{2, 0}));
    // Only the view that edited reports the edit as its own.
    QCOMPARE(delegateA.events.filter("text:").size(), 2);
    QCOMPARE(delegateB.events.filter("text:").size(), 0);
    // One history: either view undoes the typing, and the caret of the one that did follows.
    b.undo();
    QCOMPARE(q(a.text()), QStringLiteral("first line\nsecond line\n"));
    QCOMPARE(b.textSelection(), (TextRange{0, 0}));
    QCOMPARE(a.textSelection(), (TextRange{0, 0}));
    a.redo();
    QCOMPARE(q(b.text()), QStringLiteral("> first line\nsecond line\n"));
    // The search is the document's: both views count the same matches.
    a.setSearchString("line", false);
    QCOMPARE(b.matchCount(), std::size_t(2));
    b.replaceCharacters({0, 0}, u"line ");
    QCOMPARE(a.matchCount(), std::size_t(3));
}

void TestTextViewWidget::viewsWrapIndependently()
{
    TextView::TextDocument document;
    document.setText(QString("word ").repeated(60).toStdU16String() + u"\nshort\n");
    STTextView wrapped(document), unwrapped(document);
    unwrapped.setHorizontallyResizable(true);
    for (STTextView *view : {&wrapped, &unwrapped}) {
        view->resize(300, 300);
        view->show();
        view->grab();
    }
    QVERIFY(wrapped.wrapRows().rows(0) > 5);
    QCOMPARE(unwrapped.wrapRows().rows(0), 1u);
    // An edit through one view reaches the rows of both.
    unwrapped.replaceCharacters({0, 0}, u"new line\n");
    wrapped.grab();
    QCOMPARE(wrapped.wrapRows().lineCount(), document.storage().lineCount());
    QCOMPARE(unwrapped.wrapRows().lineCount(), document.storage().lineCount());
    QCOMPARE(wrapped.wrapRows().rows(0), 1u);
    QVERIFY(wrapped.wrapRows().rows(1) > 5);
    QCOMPARE(unwrapped.wrapRows().rows(1), 1u);
}

void TestTextViewWidget::styleReachesViewAndGutter()
{
    Fixture f("one\ntwo\n");
    f.view.setShowsLineNumbers(true);
    STTextViewStyle style = f.view.textViewStyle();
    style.background = QColor(10, 20, 30);
    style.text = QColor(250, 250, 250);
    style.lineNumbers = QColor(200, 100, 50);
    style.font.setPointSizeF(21);
    f.view.setTextViewStyle(style);
    QCOMPARE(f.view.font().pointSizeF(), 21.0);
    QCOMPARE(f.view.textViewStyle(), style);
    QCOMPARE(f.view.backgroundColor(), QColor(10, 20, 30));
    // The gutter paints in the style and inherits the font; its width follows.
    QCOMPARE(f.view.gutterView()->font().pointSizeF(), 21.0);
    QCOMPARE(f.view.viewport()->x(), f.view.gutterView()->preferredWidth());
    const QImage gutter = f.view.gutterView()->grab().toImage();
    QCOMPARE(gutter.pixelColor(1, 1), QColor(10, 20, 30));
    bool numberPainted = false;
    for (int x = 0; x < gutter.width() && !numberPainted; ++x)
        for (int y = 0; y < f.view.rowHeight() && !numberPainted; ++y)
            numberPainted = gutter.pixelColor(x, y).red() > 120 && gutter.pixelColor(x, y).blue() < 120;
    QVERIFY(numberPainted);
    QCOMPARE(f.view.viewport()->grab().toImage().pixelColor(f.view.viewport()->width() - 2, f.view.viewport()->height() - 2),
             QColor(10, 20, 30));
}

QTEST_MAIN(TestTextViewWidget)
#include "tst_textview_widget.moc"
