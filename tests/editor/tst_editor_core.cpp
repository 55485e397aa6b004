// Caret reporting, minimal replacement, line operations and go-to-line parsing, written as
// (text with caret markup, operation, expected text with caret markup).
#include "cursormarkup.h"

#include "editor/caret.h"
#include "editor/gotoline.h"
#include "editor/lineoperations.h"

#include "textview/textstorage.h"

#include <QtTest>

using namespace Editor;

namespace {

std::unique_ptr<TextView::TextStorage> storageOf(std::u16string_view text)
{
    auto storage = std::make_unique<TextView::TextStorage>();
    storage->setText(text);
    return storage;
}

// The text after `edit`, with its selection written in.
QString applied(std::u16string text, const LineEdit &edit)
{
    text.replace(edit.replaced.location, edit.replaced.length, edit.replacement);
    return writeMarkup(text, edit.selection);
}

} // namespace

class TestEditorCore : public QObject {
    Q_OBJECT

private slots:
    void caretPosition_data();
    void caretPosition();
    void lineRanges_data();
    void lineRanges();
    void minimalReplacement_data();
    void minimalReplacement();
    void duplicateLines_data();
    void duplicateLines();
    void moveLine_data();
    void moveLine();
    void goToLine_data();
    void goToLine();
};

void TestEditorCore::caretPosition_data()
{
    QTest::addColumn<QString>("markup");
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("column");
    QTest::newRow("empty text: 1,1") << "|" << 1 << 1;
    QTest::newRow("after b in a-LF-b: 2,2") << "a\nb|" << 2 << 2;
    QTest::newRow("after a final LF: empty last line") << "a\n|" << 2 << 1;
    QTest::newRow("right after a LF: column 1") << "ab\n|cd" << 2 << 1;
    QTest::newRow("surrogate-pair emoji counts once") << QString::fromUtf8("\xF0\x9F\x98\x80|x") << 1 << 2;
    QTest::newRow("combining mark counts with its letter") << QString::fromUtf8("e\xCC\x81|") << 1 << 2;
    QTest::newRow("family emoji sequence counts once")
        << QString::fromUtf8("\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7|") << 1 << 2;
    QTest::newRow("flag (two regional indicators) counts once") << QString::fromUtf8("\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7|") << 1 << 2;
    // 2,500 letters each with a combining mark: 2,500 graphemes but 5,000 units.
    QTest::newRow("caret 5000 units into a line counts units")
        << QString::fromUtf8("e\xCC\x81").repeated(2500) + "|" << 1 << 5001;
    QTest::newRow("exactly 4096 units still counts graphemes")
        << QString::fromUtf8("\xF0\x9F\x98\x80").repeated(2048) + "|" << 1 << 2049;
}

void TestEditorCore::caretPosition()
{
    QFETCH(QString, markup);
    QFETCH(int, line);
    QFETCH(int, column);
    const MarkedText marked = parseMarkup(markup);
    QCOMPARE(Editor::caretPosition(*storageOf(marked.text), marked.selection.location), (CaretPosition{line, column}));
}

void TestEditorCore::lineRanges_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("location"); // -1: none
    QTest::addColumn<int>("length");
    QTest::newRow("first line without its LF") << "ab\ncd" << 1 << 0 << 2;
    QTest::newRow("last line") << "ab\ncd" << 2 << 3 << 2;
    QTest::newRow("empty last line after final LF") << "ab\n" << 2 << 3 << 0;
    QTest::newRow("line 0 is none") << "ab" << 0 << -1 << 0;
    QTest::newRow("negative is none") << "ab" << -4 << -1 << 0;
    QTest::newRow("past the end is none") << "ab\ncd" << 3 << -1 << 0;
    QTest::newRow("empty text has line 1") << "" << 1 << 0 << 0;
}

void TestEditorCore::lineRanges()
{
    QFETCH(QString, text);
    QFETCH(int, line);
    QFETCH(int, location);
    QFETCH(int, length);
    const std::u16string content = text.toStdU16String();
    const auto range = lineRange(*storageOf(content), line);
    if (location < 0) {
        QVERIFY(!range);
        return;
    }
    QVERIFY(range);
    QCOMPARE(*range, (TextRange{std::size_t(location), std::size_t(length)}));
}

void TestEditorCore::minimalReplacement_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::addColumn<int>("location");
    QTest::addColumn<int>("removed");
    QTest::addColumn<int>("inserted");
    QTest::newRow("insert in the middle") << "abcd" << "abXcd" << 2 << 0 << 1;
    QTest::newRow("delete at the end") << "abcd" << "ab" << 2 << 2 << 0;
    QTest::newRow("repeated letters prefer the prefix") << "aaa" << "aaaa" << 3 << 0 << 1;
    // U+1F600 and U+1F601 share their high surrogate: the edit must take the whole pair.
    QTest::newRow("changed low surrogate takes its high one")
        << QString::fromUtf8("x\xF0\x9F\x98\x80y") << QString::fromUtf8("x\xF0\x9F\x98\x81y") << 1 << 2 << 2;
    // U+1F600 and U+1F400 share their low surrogate: the suffix must not start inside the pair.
    QTest::newRow("changed high surrogate takes its low one")
        << QString::fromUtf8("x\xF0\x9F\x98\x80") << QString::fromUtf8("x\xF0\x9F\x90\x80") << 1 << 2 << 2;
}

void TestEditorCore::minimalReplacement()
{
    QFETCH(QString, before);
    QFETCH(QString, after);
    QFETCH(int, location);
    QFETCH(int, removed);
    QFETCH(int, inserted);
    const std::u16string oldText = before.toStdU16String();
    const std::u16string newText = after.toStdU16String();
    const auto replacement = Editor::minimalReplacement(oldText, newText);
    QVERIFY(replacement);
    QCOMPARE(replacement->replaced, (TextRange{std::size_t(location), std::size_t(removed)}));
    QCOMPARE(replacement->inserted, (TextRange{std::size_t(location), std::size_t(inserted)}));
    // Applying the replacement must give the new text.
    std::u16string applied = oldText;
    applied.replace(replacement->replaced.location, replacement->replaced.length,
                    newText.substr(replacement->inserted.location, replacement->inserted.length));
    QCOMPARE(applied, newText);
    QVERIFY(!Editor::minimalReplacement(oldText, oldText));
}

void TestEditorCore::duplicateLines_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::newRow("last line without final LF") << "a\nx|" << "a\nx\nx|";
    QTest::newRow("first line keeps the caret column on the copy") << "|a\nb\n" << "a\n|a\nb\n";
    QTest::newRow("caret mid-line") << "ab|c\nd" << "abc\nab|c\nd";
    QTest::newRow("selection over two lines copies both") << "[a\nb]\nc" << "a\nb\n|a\nb\nc";
    QTest::newRow("empty text") << "|" << "\n|";
}

void TestEditorCore::duplicateLines()
{
    QFETCH(QString, before);
    QFETCH(QString, after);
    const MarkedText marked = parseMarkup(before);
    const LineEdit edit = Editor::duplicateLines(*storageOf(marked.text), marked.selection);
    QCOMPARE(applied(marked.text, edit), after);
    // Only the copy is inserted; the lines themselves stay as they were.
    QCOMPARE(edit.replaced.length, std::size_t(0));
}

void TestEditorCore::moveLine_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<bool>("up");
    QTest::addColumn<QString>("after"); // Empty: nothing happens.
    QTest::newRow("down a in a-b") << "|a\nb\n" << false << "b\n|a\n";
    QTest::newRow("up on the first line does nothing") << "a|\nb" << true << "";
    QTest::newRow("down on the last line does nothing") << "a\nb|" << false << "";
    QTest::newRow("up keeps the column") << "xy\nab|c" << true << "ab|c\nxy";
    QTest::newRow("the moved line keeps the caret column") << "abc\nx|yz" << true << "x|yz\nabc";
    QTest::newRow("caret past the end of a shorter line is kept on the moved line") << "a\nxyz|" << true
                                                                                     << "xyz|\na";
    QTest::newRow("caret at the very end after a final LF moves the last line") << "a\nb\n|" << true << "|b\na\n";
    QTest::newRow("empty text does nothing") << "|" << true << "";
}

void TestEditorCore::moveLine()
{
    QFETCH(QString, before);
    QFETCH(bool, up);
    QFETCH(QString, after);
    const MarkedText marked = parseMarkup(before);
    const auto edit = Editor::moveLine(*storageOf(marked.text), marked.selection.location, up ? Direction::Up : Direction::Down);
    if (after.isEmpty()) {
        QVERIFY(!edit);
        return;
    }
    QVERIFY(edit);
    QCOMPARE(applied(marked.text, *edit), after);
}

void TestEditorCore::goToLine_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<qint64>("maxLine");
    QTest::addColumn<qint64>("line");  // 0: rejected
    QTest::addColumn<qint64>("upper"); // Upper bound named by the message when rejected.
    QTest::newRow("plus sign accepted") << "+12" << qint64(40) << qint64(12) << qint64(0);
    QTest::newRow("trailing space rejected") << "12 " << qint64(40) << qint64(0) << qint64(40);
    QTest::newRow("leading space rejected") << " 12" << qint64(40) << qint64(0) << qint64(40);
    QTest::newRow("zero rejected") << "0" << qint64(40) << qint64(0) << qint64(40);
    QTest::newRow("negative rejected") << "-3" << qint64(40) << qint64(0) << qint64(40);
    QTest::newRow("letters rejected") << "abc" << qint64(40) << qint64(0) << qint64(40);
    QTest::newRow("empty rejected") << "" << qint64(40) << qint64(0) << qint64(40);
    QTest::newRow("sign alone rejected") << "+" << qint64(40) << qint64(0) << qint64(40);
    QTest::newRow("beyond the last line rejected") << "41" << qint64(40) << qint64(0) << qint64(40);
    QTest::newRow("last line accepted") << "40" << qint64(40) << qint64(40) << qint64(0);
    QTest::newRow("empty document accepts 1") << "1" << qint64(0) << qint64(1) << qint64(0);
    QTest::newRow("empty document rejects 2 naming 1") << "2" << qint64(0) << qint64(0) << qint64(1);
    QTest::newRow("64-bit overflow rejected") << "99999999999999999999" << qint64(40) << qint64(0) << qint64(40);
    QTest::newRow("largest 64-bit number parses, then out of range")
        << "9223372036854775807" << qint64(40) << qint64(0) << qint64(40);
    QTest::newRow("huge document, huge line") << "9223372036854775807" << std::numeric_limits<qint64>::max()
                                              << std::numeric_limits<qint64>::max() << qint64(0);
    QTest::newRow("full-width digits rejected") << QString::fromUtf8("\xEF\xBC\x91") << qint64(40) << qint64(0)
                                                << qint64(40);
}

void TestEditorCore::goToLine()
{
    QFETCH(QString, typed);
    QFETCH(qint64, maxLine);
    QFETCH(qint64, line);
    QFETCH(qint64, upper);
    const LineRequest request = parseLineRequest(typed.toStdU16String(), maxLine);
    if (line > 0)
        QCOMPARE(std::get<std::int64_t>(request), std::int64_t(line));
    else
        QCOMPARE(std::get<OutOfRange>(request), OutOfRange{upper});
}

QTEST_GUILESS_MAIN(TestEditorCore)
#include "tst_editor_core.moc"
