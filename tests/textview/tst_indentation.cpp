// The indentation engine, table by table: detection, what Enter, a closer, Tab and Backspace
// type, indenting and outdenting line ranges, converting a text's indentation.
#include "textview/indentation.h"
#include "textview/textstorage.h"

#include <QtTest>

using namespace TextView;

namespace {

// Text with its selection written in: `^` is the anchor, `|` the caret (alone: both).
struct Marked {
    std::u16string text;
    std::size_t anchor = 0;
    std::size_t caret = 0;
};

Marked parse(const QString &markup)
{
    Marked marked;
    std::optional<std::size_t> anchor;
    for (const QChar c : markup) {
        if (c == u'^')
            anchor = marked.text.size();
        else if (c == u'|')
            marked.caret = marked.text.size();
        else
            marked.text.push_back(c.unicode());
    }
    marked.anchor = anchor.value_or(marked.caret);
    return marked;
}

QString write(std::u16string text, std::size_t anchor, std::size_t caret)
{
    // Inserted from the back so the first insertion does not move the second.
    const bool collapsed = anchor == caret;
    if (collapsed) {
        text.insert(caret, u"|");
    } else if (anchor > caret) {
        text.insert(anchor, u"^");
        text.insert(caret, u"|");
    } else {
        text.insert(caret, u"|");
        text.insert(anchor, u"^");
    }
    return QString::fromStdU16String(text);
}

std::u16string applied(std::u16string text, const std::vector<TextEdit> &edits)
{
    for (auto edit = edits.rbegin(); edit != edits.rend(); ++edit)
        text.replace(edit->range.location, edit->range.length, edit->replacement);
    return text;
}

IndentStyle spaces(int width)
{
    return {false, width};
}
constexpr IndentStyle tabs{true, 4};

QString styleName(IndentStyle style)
{
    return style.tabs ? QStringLiteral("tabs %1").arg(style.width) : QStringLiteral("spaces %1").arg(style.width);
}

} // namespace

Q_DECLARE_METATYPE(TextView::IndentStyle)
Q_DECLARE_METATYPE(TextView::BlockSyntax)

class TestIndentation : public QObject {
    Q_OBJECT

private slots:
    void detect_data();
    void detect();
    void detectionReadsOnlyTheFirstLines();
    void enter_data();
    void enter();
    void closer_data();
    void closer();
    void tab_data();
    void tab();
    void backspace_data();
    void backspace();
    void lines_data();
    void lines();
    void convert_data();
    void convert();
};

void TestIndentation::detect_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("spacesOnly");
    QTest::addColumn<QString>("expected");
    QTest::newRow("tabs") << "{\n\t\"a\": {\n\t\t\"b\": 1\n\t}\n}\n" << false << "tabs 4";
    QTest::newRow("two spaces") << "{\n  \"a\": {\n    \"b\": [\n      1\n    ]\n  }\n}\n" << false << "spaces 2";
    QTest::newRow("four spaces") << "def f():\n    if x:\n        return 1\n    return 2\n" << false << "spaces 4";
    QTest::newRow("eight spaces") << "a\n        b\n                c\n        d\n" << false << "spaces 8";
    QTest::newRow("nothing indented: spaces 4") << "a\nb\nc\n" << false << "spaces 4";
    QTest::newRow("empty text: spaces 4") << "" << false << "spaces 4";
    QTest::newRow("blank lines do not break the step") << "a:\n\n  b:\n\n    c: 1\n" << false << "spaces 2";
    QTest::newRow("mostly tabs, a few spaces: tabs")
        << "a\n\tb\n\tc\n\t\td\n  e\n\tf\n" << false << "tabs 4";
    QTest::newRow("mostly spaces, a stray tab: spaces")
        << "a\n  b\n    c\n  d\n\te\n  f\n" << false << "spaces 2";
    QTest::newRow("YAML with tab lines is still spaces") << "a:\n\tb: 1\n\tc: 2\nd:\n  e: 3\n" << true << "spaces 2";
    QTest::newRow("the same text outside YAML is tabs") << "a:\n\tb: 1\n\tc: 2\nd:\n  e: 3\n" << false << "tabs 4";
    QTest::newRow("YAML two spaces") << "root:\n  child:\n    leaf: 1\n  other: 2\n" << true << "spaces 2";
    QTest::newRow("deep dedents do not count") << "a\n  b\n    c\n      d\nx\n" << false << "spaces 2";
    QTest::newRow("odd steps only: spaces 4") << "a\n   b\n      c\n" << false << "spaces 4";
    QTest::newRow("space-then-tab alignment is ignored") << "a\n \tb\n \tc\n    d\n" << false << "spaces 4";
    QTest::newRow("a tie between 2 and 4 keeps 4") << "a\n  b\nc\n    d\n" << false << "spaces 4";
    QTest::newRow("CR LF line ends") << "a\r\n  b\r\n    c\r\n" << false << "spaces 2";
}

void TestIndentation::detect()
{
    QFETCH(QString, text);
    QFETCH(bool, spacesOnly);
    QFETCH(QString, expected);
    QCOMPARE(styleName(detectIndentation(text.toStdU16String(), spacesOnly)), expected);
}

void TestIndentation::detectionReadsOnlyTheFirstLines()
{
    // Unindented lines fill the first lines; the tab-indented ones after them are never read.
    std::u16string text;
    for (std::size_t i = 0; i < indentationDetectionLines; ++i)
        text += u"x\n";
    QCOMPARE(styleName(detectIndentation(text + u"  a\n    b\n", false)), QStringLiteral("spaces 4"));
    QCOMPARE(styleName(detectIndentation(u"  a\n    b\n" + text, false)), QStringLiteral("spaces 2"));
}

void TestIndentation::enter_data()
{
    QTest::addColumn<QString>("markup");
    QTest::addColumn<IndentStyle>("style");
    QTest::addColumn<BlockSyntax>("syntax");
    QTest::addColumn<QString>("expected");
    const BlockSyntax none = BlockSyntax::None, brackets = BlockSyntax::Brackets;
    const BlockSyntax colon = BlockSyntax::Colon, tags = BlockSyntax::Tags;
    QTest::newRow("keeps spaces") << "    a|" << spaces(4) << none << "    a\n    |";
    QTest::newRow("keeps tabs") << "\t\ta|" << spaces(4) << none << "\t\ta\n\t\t|";
    QTest::newRow("keeps mixed white space as it is") << "\t  a|" << spaces(2) << none << "\t  a\n\t  |";
    QTest::newRow("unindented line") << "a|" << spaces(4) << none << "a\n|";
    QTest::newRow("plain text ignores braces") << "  a {|" << spaces(2) << none << "  a {\n  |";
    QTest::newRow("caret in the indentation moves the line down")
        << "  |  a" << spaces(4) << brackets << "  \n  |  a";
    QTest::newRow("caret at line start") << "|  a" << spaces(4) << brackets << "\n|  a";
    QTest::newRow("white space after the caret moves with it, trimmed")
        << "  a|   b" << spaces(2) << none << "  a\n  |b";
    QTest::newRow("after { one level more") << "{|" << spaces(2) << brackets << "{\n  |";
    QTest::newRow("after [ with trailing blanks") << "  \"a\": [  |" << spaces(2) << brackets << "  \"a\": [  \n    |";
    QTest::newRow("after { with tabs") << "\t{|" << tabs << brackets << "\t{\n\t\t|";
    QTest::newRow("between { and } the closer gets its own line")
        << "  {|}" << spaces(2) << brackets << "  {\n    |\n  }";
    QTest::newRow("between [ and ] with white space") << "[| ]" << spaces(4) << brackets << "[\n    |\n]";
    QTest::newRow("after { but before other text") << "{|x" << spaces(2) << brackets << "{\n  |x";
    QTest::newRow("a value ending in { inside a string is no opener")
        << "  \"a\": \"{\"|" << spaces(2) << brackets << "  \"a\": \"{\"\n  |";
    QTest::newRow("after } no change") << "  }|" << spaces(2) << brackets << "  }\n  |";
    QTest::newRow("YAML key without value") << "a:|" << spaces(2) << colon << "a:\n  |";
    QTest::newRow("YAML nested key") << "  b:|" << spaces(2) << colon << "  b:\n    |";
    QTest::newRow("YAML list item key") << "- name:|" << spaces(2) << colon << "- name:\n  |";
    QTest::newRow("YAML key with a comment") << "a: # note|" << spaces(2) << colon << "a: # note\n  |";
    QTest::newRow("YAML key with a value") << "a: 1|" << spaces(2) << colon << "a: 1\n|";
    QTest::newRow("YAML value with a colon in quotes and a comment")
        << "a: \"x:\" # y:|" << spaces(2) << colon << "a: \"x:\" # y:\n|";
    QTest::newRow("YAML hash inside a key is no comment") << "a#b:|" << spaces(2) << colon << "a#b:\n  |";
    QTest::newRow("XML open tag") << "<a>|" << spaces(2) << tags << "<a>\n  |";
    QTest::newRow("XML open tag with attributes") << "  <a x=\"1>2\">|" << spaces(2) << tags << "  <a x=\"1>2\">\n    |";
    QTest::newRow("XML element closed on the line") << "<a>b</a>|" << spaces(2) << tags << "<a>b</a>\n|";
    QTest::newRow("XML empty element") << "<a/>|" << spaces(2) << tags << "<a/>\n|";
    QTest::newRow("XML empty element with space") << "<a x='1' />|" << spaces(2) << tags << "<a x='1' />\n|";
    QTest::newRow("XML declaration") << "<?xml version=\"1.0\"?>|" << spaces(2) << tags << "<?xml version=\"1.0\"?>\n|";
    QTest::newRow("XML doctype") << "<!DOCTYPE plist>|" << spaces(2) << tags << "<!DOCTYPE plist>\n|";
    QTest::newRow("XML comment") << "<!-- <a> -->|" << spaces(2) << tags << "<!-- <a> -->\n|";
    QTest::newRow("XML end tag") << "  </a>|" << spaces(2) << tags << "  </a>\n  |";
    QTest::newRow("XML nested, inner closed") << "<a><b>c</b>|" << spaces(2) << tags << "<a><b>c</b>\n  |";
    QTest::newRow("XML start tag going on") << "<a x=\"1\"|" << spaces(2) << tags << "<a x=\"1\"\n  |";
    QTest::newRow("plist dict with tabs") << "\t<dict>|" << tabs << tags << "\t<dict>\n\t\t|";
    QTest::newRow("XML between start and end tag") << "<a>|</a>" << spaces(2) << tags << "<a>\n  |\n</a>";
}

void TestIndentation::enter()
{
    QFETCH(QString, markup);
    QFETCH(IndentStyle, style);
    QFETCH(BlockSyntax, syntax);
    QFETCH(QString, expected);
    const Marked marked = parse(markup);
    const std::u16string_view text = marked.text;
    const NewlineInsertion insertion
        = newlineInsertion(text.substr(0, marked.caret), text.substr(marked.caret), style, syntax);
    std::u16string result = marked.text;
    result.replace(marked.caret, insertion.consumedAfter, insertion.text);
    const std::size_t caret = marked.caret + insertion.caretOffset;
    QCOMPARE(write(result, caret, caret), expected);
}

void TestIndentation::closer_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QChar>("typed");
    QTest::addColumn<IndentStyle>("style");
    QTest::addColumn<BlockSyntax>("syntax");
    QTest::addColumn<QString>("expected"); // "-": types as usual
    QTest::newRow("} after four spaces") << "    " << QChar(u'}') << spaces(4) << BlockSyntax::Brackets << "}";
    QTest::newRow("] after eight spaces") << "        " << QChar(u']') << spaces(4) << BlockSyntax::Brackets << "    ]";
    QTest::newRow("} back to the previous stop") << "      " << QChar(u'}') << spaces(4) << BlockSyntax::Brackets << "    }";
    QTest::newRow("} after two tabs") << "\t\t" << QChar(u'}') << tabs << BlockSyntax::Brackets << "\t}";
    QTest::newRow("} after text") << "  a" << QChar(u'}') << spaces(2) << BlockSyntax::Brackets << "-";
    QTest::newRow("} at line start") << "" << QChar(u'}') << spaces(2) << BlockSyntax::Brackets << "-";
    QTest::newRow("other characters") << "    " << QChar(u')') << spaces(4) << BlockSyntax::Brackets << "-";
    QTest::newRow("YAML braces type as usual") << "    " << QChar(u'}') << spaces(2) << BlockSyntax::Colon << "-";
    QTest::newRow("plain text") << "    " << QChar(u'}') << spaces(4) << BlockSyntax::None << "-";
}

void TestIndentation::closer()
{
    QFETCH(QString, before);
    QFETCH(QChar, typed);
    QFETCH(IndentStyle, style);
    QFETCH(BlockSyntax, syntax);
    QFETCH(QString, expected);
    const auto replacement = closerInsertion(before.toStdU16String(), typed.unicode(), style, syntax);
    QCOMPARE(replacement ? QString::fromStdU16String(*replacement) : QStringLiteral("-"), expected);
}

void TestIndentation::tab_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<IndentStyle>("style");
    QTest::addColumn<QString>("expected");
    QTest::newRow("line start, spaces 4") << "" << spaces(4) << "    ";
    QTest::newRow("line start, spaces 2") << "" << spaces(2) << "  ";
    QTest::newRow("to the next stop") << "ab" << spaces(4) << "  ";
    QTest::newRow("at a stop: a whole level") << "abcd" << spaces(4) << "    ";
    QTest::newRow("after a tab shown 4 wide") << "\ta" << spaces(4) << "   ";
    QTest::newRow("tabs style") << "ab" << tabs << "\t";
}

void TestIndentation::tab()
{
    QFETCH(QString, before);
    QFETCH(IndentStyle, style);
    QFETCH(QString, expected);
    const std::size_t column = visualColumn(before.toStdU16String(), style.width);
    QCOMPARE(QString::fromStdU16String(tabInsertion(column, style)), expected);
}

void TestIndentation::backspace_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<IndentStyle>("style");
    QTest::addColumn<int>("deleted"); // -1: an ordinary Backspace
    QTest::newRow("from 8 to 4") << "        " << spaces(4) << 4;
    QTest::newRow("from 6 to 4") << "      " << spaces(4) << 2;
    QTest::newRow("from 2 to 0, two wide") << "  " << spaces(2) << 2;
    QTest::newRow("one space") << " " << spaces(4) << 1;
    QTest::newRow("after text") << "    a" << spaces(4) << -1;
    QTest::newRow("line start") << "" << spaces(4) << -1;
    QTest::newRow("a tab among the spaces") << "  \t  " << spaces(4) << -1;
    QTest::newRow("tabs style") << "        " << tabs << -1;
}

void TestIndentation::backspace()
{
    QFETCH(QString, before);
    QFETCH(IndentStyle, style);
    QFETCH(int, deleted);
    const auto count = backspaceToStop(before.toStdU16String(), style);
    QCOMPARE(count ? int(*count) : -1, deleted);
}

void TestIndentation::lines_data()
{
    QTest::addColumn<QString>("markup");
    QTest::addColumn<bool>("indent");
    QTest::addColumn<IndentStyle>("style");
    QTest::addColumn<bool>("spans");
    QTest::addColumn<QString>("expected");
    QTest::newRow("indent three lines")
        << "^a\nb\nc|" << true << spaces(2) << true << "^  a\n  b\n  c|";
    QTest::newRow("indent keeps a backwards selection")
        << "a|a\nbb\nc^c" << true << spaces(4) << true << "    a|a\n    bb\n    c^c";
    QTest::newRow("a selection ending at a line start leaves that line alone")
        << "^a\nb\n|c" << true << spaces(2) << true << "^  a\n  b\n|c";
    QTest::newRow("indent skips empty lines") << "^a\n\nb|" << true << tabs << true << "^\ta\n\n\tb|";
    QTest::newRow("indent with tabs") << "a^a\n\tb|" << true << tabs << true << "\ta^a\n\t\tb|";
    QTest::newRow("one line is no span") << "a^b|c" << true << spaces(2) << false << "  a^b|c";
    QTest::newRow("outdent spaces") << "^    a\n  b\nc|" << false << spaces(4) << true << "^a\nb\nc|";
    QTest::newRow("outdent back to the previous stop") << "      ^a\n        b|" << false << spaces(4) << true
                                                       << "    ^a\n    b|";
    QTest::newRow("outdent a tab") << "^\t\ta\n\tb|" << false << tabs << true << "^\ta\nb|";
    QTest::newRow("outdent spaces swallowed by a tab") << "^  \ta\nb|" << false << spaces(4) << true << "^a\nb|";
    QTest::newRow("outdent a caret inside the removed white space")
        << "  |  a" << false << spaces(4) << false << "|a";
    QTest::newRow("outdent the caret's line") << "x\n    a|b\ny" << false << spaces(2) << false << "x\n  a|b\ny";
    QTest::newRow("outdent an unindented line changes nothing") << "a|b" << false << spaces(2) << false << "a|b";
}

void TestIndentation::lines()
{
    QFETCH(QString, markup);
    QFETCH(bool, indent);
    QFETCH(IndentStyle, style);
    QFETCH(bool, spans);
    QFETCH(QString, expected);
    const Marked marked = parse(markup);
    TextStorage storage;
    storage.setText(marked.text);
    QCOMPARE(selectionSpansLines(storage, marked.anchor, marked.caret), spans);
    const LinesEdit edit = indent ? indentLines(storage, marked.anchor, marked.caret, style)
                                  : outdentLines(storage, marked.anchor, marked.caret, style);
    QCOMPARE(write(applied(marked.text, edit.edits), edit.anchor, edit.caret), expected);
}

void TestIndentation::convert_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<IndentStyle>("from");
    QTest::addColumn<IndentStyle>("to");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("edits");
    const QString twoSpaces = "{\n  \"a\": {\n    \"b\": 1\n  }\n}\n";
    QTest::newRow("2 to 4 spaces") << twoSpaces << spaces(2) << spaces(4) << "{\n    \"a\": {\n        \"b\": 1\n    }\n}\n" << 3;
    QTest::newRow("2 spaces to tabs") << twoSpaces << spaces(2) << tabs << "{\n\t\"a\": {\n\t\t\"b\": 1\n\t}\n}\n" << 3;
    QTest::newRow("tabs to 2 spaces") << "a\n\tb\n\t\tc\n" << tabs << spaces(2) << "a\n  b\n    c\n" << 2;
    QTest::newRow("tabs to 8 spaces") << "\tb\n" << tabs << spaces(8) << "        b\n" << 1;
    QTest::newRow("mixed white space by its columns") << "\t  a\n  \tb\n" << tabs << spaces(4)
                                                      << "      a\n    b\n" << 2;
    QTest::newRow("a remainder stays as spaces") << "     a\n" << spaces(4) << tabs << "\t a\n" << 1;
    QTest::newRow("same style: nothing to do") << twoSpaces << spaces(2) << spaces(2) << twoSpaces << 0;
    QTest::newRow("blank lines are left alone") << "a\n    \n  b\n" << spaces(2) << spaces(4) << "a\n    \n    b\n" << 1;
    QTest::newRow("white space inside a line is left alone") << "a  b\n" << spaces(2) << tabs << "a  b\n" << 0;
    QTest::newRow("no final line break") << "a\n  b" << spaces(2) << spaces(8) << "a\n        b" << 1;
}

void TestIndentation::convert()
{
    QFETCH(QString, text);
    QFETCH(IndentStyle, from);
    QFETCH(IndentStyle, to);
    QFETCH(QString, expected);
    QFETCH(int, edits);
    TextStorage storage;
    storage.setText(text.toStdU16String());
    const std::vector<TextEdit> conversion = convertIndentation(storage, from, to);
    QCOMPARE(int(conversion.size()), edits);
    QCOMPARE(QString::fromStdU16String(applied(text.toStdU16String(), conversion)), expected);
}

QTEST_GUILESS_MAIN(TestIndentation)
#include "tst_indentation.moc"
