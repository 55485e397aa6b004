// Markdown blocks and their inline styling.
#include "viewers/mdblock.h"

#include <QtTest>

using Viewers::MDBlock;

namespace {

std::u16string u16(const QString &text) { return text.toStdU16String(); }
QString q(std::u16string_view text) { return QString::fromUtf16(text.data(), qsizetype(text.size())); }

// Plain runs as their text; styled ones as <flags@link:text> with b strong, i emphasis, c code,
// s strikethrough.
QString runsDump(const Viewers::StyledText &runs)
{
    QString out;
    for (const auto &run : runs) {
        QString flags;
        if (run.strong)
            flags += 'b';
        if (run.emphasis)
            flags += 'i';
        if (run.code)
            flags += 'c';
        if (run.strikethrough)
            flags += 's';
        if (run.link)
            flags += '@' + q(*run.link);
        out += flags.isEmpty() ? q(run.text) : '<' + flags + ':' + q(run.text) + '>';
    }
    return out;
}

// One line per block: "id kind content" (heading kinds carry their level), then " | runs" when
// the block has styled text.
QString dump(const Viewers::MDBlockList &blocks)
{
    QStringList lines;
    for (const auto &block : blocks) {
        QString kind = QString::fromLatin1(Viewers::kindName(block.kind));
        if (block.kind == MDBlock::Kind::Heading)
            kind += QString::number(block.level);
        QString line = QString("%1 %2 %3").arg(block.id).arg(kind, q(block.content).replace('\n', "\\n"));
        if (block.attributed)
            line += " | " + runsDump(*block.attributed);
        lines << line;
    }
    return lines.join('\n');
}

// One "first+count" per block, then "/end" for the lines the list covers: "0+1 1+3 /4".
QString linesDump(const Viewers::MDBlockList &blocks)
{
    QStringList parts;
    for (std::size_t i = 0; i < blocks.size(); ++i)
        parts << QString("%1+%2").arg(blocks.firstLine(i)).arg(blocks.lineCount(i));
    parts << QString("/%1").arg(blocks.endLine());
    return parts.join(' ');
}

} // namespace

class TestMDBlock : public QObject {
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void headingMatch_data();
    void headingMatch();
    void inlineAttributed_data();
    void inlineAttributed();
    void failureLeavesStyledTextAbsent();
    void longLine_parserSeesPieces_data();
    void longLine_parserSeesPieces();
    void styledText_ownsItsStorage();
    void blockList_copiesShareAndCompare();
    void pathologicalInputsFinish_data();
    void pathologicalInputsFinish();
    void fixtureFile();
    void sourceLines_data();
    void sourceLines();
    void blockAtLine_everyLineFindsItsBlock_data();
    void blockAtLine_everyLineFindsItsBlock();
    void lineMap_data();
    void lineMap();
    void lineMap_roundTrip();
    void lineMap_emptyList();
};

void TestMDBlock::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty_oneBlank") << "" << "0 blank ";
    QTest::newRow("finalBreak_endsWithBlank") << "hi\n" << "0 paragraph hi | hi\n1 blank ";
    QTest::newRow("threeLines_oneParagraph") << "  one \ntwo\n three\n\nx"
                                            << "0 paragraph one two three | one two three\n1 blank \n2 paragraph x | x";
    QTest::newRow("h2") << "## Title" << "0 heading2 Title | Title";
    QTest::newRow("sevenHashes_paragraph") << "####### no" << "0 paragraph ####### no | ####### no";
    QTest::newRow("hashWord_paragraph") << "#word" << "0 paragraph #word | #word";
    QTest::newRow("headingKeepsExtraSpacesAndClosingHashes") << "#   Title ##" << "0 heading1   Title ## |   Title ##";
    QTest::newRow("headingTabNotSpace_paragraph") << "#\tTitle" << "0 paragraph #\tTitle | #\tTitle";
    QTest::newRow("indentedListAndQuote") << "   - item\n  > quoted" << "0 listItem item | item\n1 quote quoted | quoted";
    QTest::newRow("greaterThanNoSpace_paragraph") << ">text" << "0 paragraph >text | >text";
    QTest::newRow("starAndPlusMarkers") << "* a\n+ b" << "0 listItem a | a\n1 listItem b | b";
    QTest::newRow("ordered_numberDropped") << "12. word" << "0 listItem word | word";
    QTest::newRow("orderedManySpaces_dropped") << "3.    spaced" << "0 listItem spaced | spaced";
    QTest::newRow("numberAndStopOnly_paragraph") << "12." << "0 paragraph 12. | 12.";
    QTest::newRow("numberParenthesis_paragraph") << "1) x" << "0 paragraph 1) x | 1) x";
    QTest::newRow("fenceWithLanguage_keepsIndentation")
        << "```swift\n  let x = 1\n# not heading\n```" << "0 code   let x = 1\\n# not heading";
    QTest::newRow("indentedFence_stillFence") << "  ```\ncode\n  ```  " << "0 code code";
    QTest::newRow("unterminatedFence_codeAtEnd") << "para\n```\na\n\nb" << "0 paragraph para | para\n1 code a\\n\\nb";
    QTest::newRow("unterminatedEmptyFence_nothing") << "```" << "";
    QTest::newRow("emptyFence_emptyCode") << "```\n```" << "0 code ";
    QTest::newRow("rules") << "---\n***\n___\n----\n- - -"
                           << "0 rule \n1 rule \n2 rule \n3 paragraph ---- | ----\n4 listItem - - | - -";
    QTest::newRow("paragraphEndsAtHeading") << "a\n# h\nb" << "0 paragraph a | a\n1 heading1 h | h\n2 paragraph b | b";
    QTest::newRow("blankLinesEachBlock") << "\n \n" << "0 blank \n1 blank \n2 blank ";
    QTest::newRow("codeLinesNotTrimmed_crKept") << "```\nx\r\n```" << "0 code x\r";
}

void TestMDBlock::parse()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    const auto blocks = MDBlock::parse(u16(text));
    QCOMPARE(dump(blocks), expected);
    for (std::size_t i = 0; i < blocks.size(); ++i)
        QCOMPARE(blocks[i].id, i);
}

void TestMDBlock::headingMatch_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("level");
    QTest::addColumn<QString>("text");
    QTest::newRow("one") << "# a" << 1 << "a";
    QTest::newRow("six") << "###### a" << 6 << "a";
    QTest::newRow("seven_none") << "####### a" << 0 << "";
    QTest::newRow("hashesOnly_none") << "###" << 0 << "";
    QTest::newRow("hashSpaceOnly_emptyText") << "# " << 1 << "";
    QTest::newRow("noHash_none") << "a # b" << 0 << "";
}

void TestMDBlock::headingMatch()
{
    QFETCH(QString, line);
    QFETCH(int, level);
    QFETCH(QString, text);
    const std::u16string source = u16(line);
    const auto match = Viewers::headingMatch(source);
    QCOMPARE(match ? match->first : 0, level);
    QCOMPARE(match ? q(match->second) : QString(), text);
}

void TestMDBlock::inlineAttributed_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << "just text" << "just text";
    QTest::newRow("emphasisStrong") << "a *em* and **strong**" << "a <i:em> and <b:strong>";
    QTest::newRow("underscores") << "_em_ __strong__" << "<i:em> <b:strong>";
    QTest::newRow("nested") << "***both***" << "<bi:both>";
    QTest::newRow("codeSpanLiteral") << "use `*x*` here" << "use <c:*x*> here";
    QTest::newRow("strikethrough") << "~~gone~~ ok" << "<s:gone> ok";
    QTest::newRow("link") << "see [docs](https://example.com/a) now" << "see <@https://example.com/a:docs> now";
    QTest::newRow("strongLink") << "[**b**](u)" << "<b@u:b>";
    QTest::newRow("autolink") << "<https://x.org>" << "<@https://x.org:https://x.org>";
    QTest::newRow("emailAutolink") << "<me@x.org>" << "<@mailto:me@x.org:me@x.org>";
    QTest::newRow("escapes") << "\\*not\\*" << "*not*";
    QTest::newRow("entity") << "a &amp; b &#x41; &bogus;" << "a & b A &bogus;";
    QTest::newRow("leadingHash_notHeading") << "# not a heading" << "# not a heading";
    QTest::newRow("leadingQuote_notQuote") << "> *q*" << "> <i:q>";
    QTest::newRow("leadingDash_notList") << "- item" << "- item";
    // The same markers with inline syntax after them go through the parser, not the plain path.
    QTest::newRow("leadingDashWithEmphasis_notList") << "- *x*" << "- <i:x>";
    QTest::newRow("leadingHashWithCode_notHeading") << "## `c`" << "## <c:c>";
    QTest::newRow("orderedWithStrong_notList") << "1. **b**" << "1. <b:b>";
    QTest::newRow("orderedParenWithStrong_notList") << "2) **b**" << "2) <b:b>";
    QTest::newRow("plusWithLink_notList") << "+ [a](b)" << "+ <@b:a>";
    QTest::newRow("dashRuleWithEmphasis_literalDashes") << "--- *x*" << "--- <i:x>";
    QTest::newRow("nulCharacter_replaced") << QString("a") + QChar(0) + "*b*" << QString("a") + QChar(0xFFFD) + "<i:b>";
    QTest::newRow("leadingStarSpace_notList") << "* item *x*" << "* item <i:x>";
    QTest::newRow("leadingStarEmphasis_kept") << "*x* y" << "<i:x> y";
    QTest::newRow("ordered_notList") << "1. one" << "1. one";
    QTest::newRow("rule_literal") << "***" << "***";
    QTest::newRow("underscoreRule_literal") << "___" << "___";
    QTest::newRow("fence_literal") << "```swift" << "```swift";
    QTest::newRow("codeSpanAtStart_kept") << "```x``` y" << "<c:x> y";
    QTest::newRow("tildeFence_literal") << "~~~ x" << "~~~ x";
    QTest::newRow("linkDefinition_literal") << "[a]: /url" << "[a]: /url";
    QTest::newRow("inlineLinkAtStart_kept") << "[a](b) c" << "<@b:a> c";
    QTest::newRow("html_literal") << "<div>x</div>" << "<div>x</div>";
    QTest::newRow("whitespacePreserved") << "  two  spaces  " << "  two  spaces  ";
    QTest::newRow("fourSpaces_notCode") << "    code? *no*" << "    code? <i:no>";
    QTest::newRow("unclosed_literal") << "**open and `tick" << "**open and `tick";
    QTest::newRow("image_altText") << "![alt](i.png)" << "alt";
    QTest::newRow("empty") << "" << "";
}

void TestMDBlock::inlineAttributed()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    const auto styled = Viewers::inlineAttributed(u16(text));
    QVERIFY(styled.has_value());
    QCOMPARE(runsDump(*styled), expected);
}

void TestMDBlock::failureLeavesStyledTextAbsent()
{
    QVERIFY(!Viewers::inlineAttributed(u16(QString("a") + QChar(0xDC00))).has_value());
    QVERIFY(!Viewers::inlineAttributed(u"a\rb").has_value());
    const auto blocks = MDBlock::parse(u16(QString("# bad ") + QChar(0xD800)));
    QCOMPARE(blocks.size(), std::size_t(1));
    QCOMPARE(blocks[0].kind, MDBlock::Kind::Heading);
    QVERIFY(!blocks[0].attributed.has_value());
    QCOMPARE(q(blocks[0].content), QString("bad ") + QChar(0xD800));
}

// Lines longer than inlinePieceLength reach the parser in pieces, cut after a blank in the
// second half of each window, else at its end but never inside a surrogate pair or after a
// backslash; what spans a cut stays literal and each piece is read on its own.
void TestMDBlock::longLine_parserSeesPieces_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    const int piece = int(Viewers::inlinePieceLength);
    const QString a(piece - 1, 'a');
    QTest::newRow("shortLine_oneEmphasisSpan") << "*" + QString(1000, 'a') + "*" << "<i:" + QString(1000, 'a') + ">";
    QTest::newRow("emphasisAcrossCut_literal")
        << "*" + QString(piece + 100, 'a') + "*" << "*" + QString(piece + 100, 'a') + "*";
    QTest::newRow("emphasisAcrossBlankCut_literal")
        << "*x " + QString("y ").repeated(piece / 2) + "z*" << "*x " + QString("y ").repeated(piece / 2) + "z*";
    QTest::newRow("spansOnEitherSideOfBlankCut_kept")
        << "*x* " + QString("y ").repeated(piece / 2) + "*z*" << "<i:x> " + QString("y ").repeated(piece / 2) + "<i:z>";
    QTest::newRow("surrogatePairAtCut_keptWhole")
        << a + QString::fromUtf8("\xF0\x9F\x98\x80") + "*b*" << a + QString::fromUtf8("\xF0\x9F\x98\x80") + "<i:b>";
    QTest::newRow("backslashAtCut_stillEscapes") << a + "\\*b*" << a + "*b*";
    QTest::newRow("headingMarkerAtPieceStart_literal") << QString(piece, 'a') + "# *x*" << QString(piece, 'a') + "# <i:x>";
    QTest::newRow("hostileMarkup_codeSpansPerPiece")
        << QString("`a` ").repeated(piece / 2) + "`b`" << QString("<c:a> ").repeated(piece / 2) + "<c:b>";
}

void TestMDBlock::longLine_parserSeesPieces()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    const auto styled = Viewers::inlineAttributed(u16(text));
    QVERIFY(styled.has_value());
    QCOMPARE(runsDump(*styled), expected);
    // A paragraph block is interpreted the same way.
    const auto blocks = MDBlock::parse(u16(text));
    QCOMPARE(blocks.size(), std::size_t(1));
    QVERIFY(blocks[0].attributed.has_value());
    QCOMPARE(runsDump(*blocks[0].attributed), expected);
}

void TestMDBlock::styledText_ownsItsStorage()
{
    std::optional<Viewers::StyledText> styled;
    {
        std::u16string source = u"see [docs](https://example.com/a) *now*";
        styled = Viewers::inlineAttributed(source);
        source.assign(source.size(), u'x');
    }
    QVERIFY(styled.has_value());
    const Viewers::StyledText copy = *styled;
    styled.reset();
    QCOMPARE(runsDump(copy), QString("see <@https://example.com/a:docs> <i:now>"));
    QCOMPARE(copy.size(), std::size_t(4));
    QCOMPARE(q(copy[1].text), QString("docs"));
    QCOMPARE(q(*copy[1].link), QString("https://example.com/a"));
}

void TestMDBlock::blockList_copiesShareAndCompare()
{
    Viewers::MDBlockList copy;
    {
        const Viewers::MDBlockList blocks = MDBlock::parse(u"# *Title*\n\npara [l](u)");
        copy = blocks;
        QCOMPARE(copy.content(0).data(), blocks.content(0).data()); // Shared, not copied.
        QVERIFY(copy == blocks);
    }
    QCOMPARE(dump(copy), QString("0 heading1 *Title* | <i:Title>\n1 blank \n2 paragraph para [l](u) | para <@u:l>"));
    QCOMPARE(copy.kind(2), MDBlock::Kind::Paragraph);
    QCOMPARE(copy.level(0), 1);
    QVERIFY(!(copy == MDBlock::parse(u"# *Title*\n\npara [l](v)")));
    QVERIFY(Viewers::MDBlockList().empty());
    std::size_t visited = 0;
    for (const MDBlock block : copy)
        QCOMPARE(block.id, visited++);
    QCOMPARE(visited, std::size_t(3));
}

void TestMDBlock::pathologicalInputsFinish_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("blocks");
    QTest::newRow("100kUnclosedStars") << QString("*a ").repeated(100'000) << 1;
    QTest::newRow("100kUnclosedUnderscores") << QString("_a ").repeated(100'000) << 1;
    QTest::newRow("100kBackquotes") << QString("`a ").repeated(100'000) << 1;
    QTest::newRow("backquoteRuns") << "a " + QString("`").repeated(50'000) + "x" << 1;
    QTest::newRow("100kOpenBrackets") << QString("[").repeated(100'000) << 1;
    QTest::newRow("100kLinkOpeners") << QString("[a](").repeated(50'000) << 1;
    QTest::newRow("nestedEmphasis") << QString("*a **b ").repeated(30'000) << 1;
    QTest::newRow("100kLines") << QString("- *x*\n").repeated(100'000) << 100'001;
    QTest::newRow("starUnderscoreBacktickBracket") << QString("*_`[").repeated(250'000) << 1;
    QTest::newRow("backtickAlternation") << QString("`a").repeated(500'000) << 1;
    QTest::newRow("nestedBrackets") << QString(300'000, '[') + QString(300'000, ']') << 1;
    QTest::newRow("1MListItems") << QString("- a\n").repeated(1'000'000) << 1'000'001;
    QTest::newRow("1MQuotes") << QString("> a\n").repeated(1'000'000) << 1'000'001;
    QTest::newRow("1MNestedQuoteMarkers") << QString("> ").repeated(1'000'000) + "x" << 1;
    QTest::newRow("1MBlankLines") << QString(1'000'000, '\n') << 1'000'001;
}

void TestMDBlock::pathologicalInputsFinish()
{
    QFETCH(QString, text);
    QFETCH(int, blocks);
    const auto parsed = MDBlock::parse(u16(text));
    QCOMPARE(parsed.size(), std::size_t(blocks));
    QVERIFY(parsed[0].attributed.has_value() || parsed[0].kind == MDBlock::Kind::Blank);
}

void TestMDBlock::fixtureFile()
{
    QFile input(QStringLiteral(CORVANE_FIXTURES "/md/guide.md"));
    QVERIFY(input.open(QIODevice::ReadOnly));
    QFile expectedFile(QStringLiteral(CORVANE_FIXTURES "/md/guide.blocks"));
    QVERIFY(expectedFile.open(QIODevice::ReadOnly));
    const QString actual = dump(MDBlock::parse(u16(QString::fromUtf8(input.readAll()))));
    const QString expected = QString::fromUtf8(expectedFile.readAll()).chopped(1);
    if (actual != expected) {
        QFile out(QStringLiteral(CORVANE_FIXTURES "/md/guide.blocks.new"));
        if (out.open(QIODevice::WriteOnly))
            out.write(actual.toUtf8() + "\n");
    }
    QCOMPARE(actual, expected);
}

// Every block's lines, for the inputs where counting lines is easy to get wrong.
void TestMDBlock::sourceLines_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty_oneBlankLine") << "" << "0+1 /1";
    QTest::newRow("finalBreak_blankOnLastLine") << "hi\n" << "0+1 1+1 /2";
    QTest::newRow("paragraphOverThreeLines") << "  one \ntwo\n three\n\nx" << "0+3 3+1 4+1 /5";
    QTest::newRow("paragraphAtEnd_runsToLastLine") << "# h\na\nb" << "0+1 1+2 /3";
    QTest::newRow("paragraphEndsAtEachKind") << "a\nb\n# h\nc\n- l\nd\n> q\ne\n---\nf\n1. o"
                                             << "0+2 2+1 3+1 4+1 5+1 6+1 7+1 8+1 9+1 10+1 /11";
    QTest::newRow("blankRun_oneBlockEach") << "a\n\n\n\nb" << "0+1 1+1 2+1 3+1 4+1 /5";
    QTest::newRow("onlyBreaks") << "\n\n" << "0+1 1+1 2+1 /3";
    QTest::newRow("fence_spansBothFenceLines") << "x\n```js\nlet a;\n\n# no\n```\ny" << "0+1 1+5 6+1 /7";
    QTest::newRow("fenceRightAfterParagraph") << "p\nq\n```\nc\n```" << "0+2 2+3 /5";
    QTest::newRow("emptyFence_twoLines") << "```\n```" << "0+2 /2";
    QTest::newRow("adjacentFences") << "```\na\n```\n```\nb\n```" << "0+3 3+3 /6";
    QTest::newRow("unterminatedFence_toLastLine") << "para\n```\na\n\nb" << "0+1 1+4 /5";
    QTest::newRow("unterminatedFenceBeforeFinalBreak") << "para\n```\n" << "0+1 1+2 /3";
    // The fence line opens a block that never gets a line: it belongs to none.
    QTest::newRow("unterminatedEmptyFence_lineInNoBlock") << "para\n```" << "0+1 /1";
    QTest::newRow("onlyFence_noBlocks") << "```" << "/0";
    QTest::newRow("indentedFences") << "  ```\ncode\n  ```  \n" << "0+3 3+1 /4";
    QTest::newRow("crInCode_sameLines") << "```\nx\r\n```" << "0+3 /3";
    QTest::newRow("longLine_oneLine") << QString(70'000, 'a') + "\nb" << "0+2 /2";
}

void TestMDBlock::sourceLines()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    const auto blocks = MDBlock::parse(u16(text));
    QCOMPARE(linesDump(blocks), expected);
}

// Each line of a document maps back to the block that covers it; blocks follow each other
// without gaps, whatever mix of kinds the text holds.
void TestMDBlock::blockAtLine_everyLineFindsItsBlock_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("blockOfEachLine");
    QTest::newRow("mixed") << "# T\n\na\nb\n```\nc\n```\n- i\n\n\nz" << "0 1 2 2 3 3 3 4 5 6 7";
    QTest::newRow("unterminatedFence") << "a\n```\nb\nc" << "0 1 1 1";
    QTest::newRow("fixtureLike") << "# G\n\nx\ny\n\n## L\n- a\n1. b\n> q\n\n---\n```json\n{}\n```\n"
                                 << "0 1 2 2 3 4 5 6 7 8 9 10 10 10 11";
}

void TestMDBlock::blockAtLine_everyLineFindsItsBlock()
{
    QFETCH(QString, text);
    QFETCH(QString, blockOfEachLine);
    const auto blocks = MDBlock::parse(u16(text));
    QStringList found;
    for (std::size_t line = 0; line < blocks.endLine(); ++line) {
        const std::size_t block = blocks.blockAtLine(line);
        QVERIFY(line >= blocks.firstLine(block) && line < blocks.firstLine(block) + blocks.lineCount(block));
        found << QString::number(block);
    }
    QCOMPARE(found.join(' '), blockOfEachLine);
    for (std::size_t i = 1; i < blocks.size(); ++i)
        QCOMPARE(blocks.firstLine(i), blocks.firstLine(i - 1) + blocks.lineCount(i - 1));
    // Past the end: the last block.
    QCOMPARE(blocks.blockAtLine(blocks.endLine() + 100), blocks.size() - 1);
}

// Source position (line + fraction of it) to (block, fraction of block).
void TestMDBlock::lineMap_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("line");
    QTest::addColumn<int>("block");
    QTest::addColumn<double>("fraction");
    const QString doc = "# T\na\nb\nc\nd\n```\nx\n```\n"; // heading 0, paragraph 1–4, code 5–7, blank 8
    QTest::newRow("top_headingAtZero") << doc << 0.0 << 0 << 0.0;
    QTest::newRow("halfwayIntoHeading") << doc << 0.5 << 0 << 0.5;
    QTest::newRow("paragraphStart") << doc << 1.0 << 1 << 0.0;
    QTest::newRow("paragraphThirdLine_half") << doc << 3.0 << 1 << 0.5;
    QTest::newRow("paragraphLastLineMiddle") << doc << 4.5 << 1 << 0.875;
    QTest::newRow("fenceLine_codeStart") << doc << 5.0 << 2 << 0.0;
    QTest::newRow("insideCode") << doc << 6.5 << 2 << 0.5;
    QTest::newRow("finalBlank") << doc << 8.0 << 3 << 0.0;
    QTest::newRow("pastEnd_bottomOfLast") << doc << 40.0 << 3 << 1.0;
    QTest::newRow("negative_top") << doc << -3.0 << 0 << 0.0;
    QTest::newRow("nan_top") << doc << std::nan("") << 0 << 0.0;
    QTest::newRow("lineInNoBlock_bottomOfLast") << "a\nb\n```" << 2.0 << 0 << 1.0;
}

void TestMDBlock::lineMap()
{
    QFETCH(QString, text);
    QFETCH(double, line);
    QFETCH(int, block);
    QFETCH(double, fraction);
    const auto blocks = MDBlock::parse(u16(text));
    const auto position = Viewers::blockForSourceLine(blocks, line);
    QVERIFY(position.has_value());
    QCOMPARE(position->block, std::size_t(block));
    QCOMPARE(position->fraction, fraction);
}

// Line → block → line gives the line back on every covered position, and block → line → block
// the block back.
void TestMDBlock::lineMap_roundTrip()
{
    const auto blocks = MDBlock::parse(u"# T\n\none\ntwo\nthree\n```\ncode\n\nmore\n```\n- item\n> q\n\n");
    for (double line = 0; line < double(blocks.endLine()); line += 0.25) {
        const auto position = Viewers::blockForSourceLine(blocks, line);
        QVERIFY(position.has_value());
        QVERIFY(position->fraction >= 0 && position->fraction < 1);
        QCOMPARE(Viewers::sourceLineForBlock(blocks, *position), line);
    }
    for (std::size_t block = 0; block < blocks.size(); ++block) {
        const double line = Viewers::sourceLineForBlock(blocks, {block, 0.5});
        QCOMPARE(Viewers::blockForSourceLine(blocks, line)->block, block);
    }
    // Out-of-range input is clamped, never read past the list.
    QCOMPARE(Viewers::sourceLineForBlock(blocks, {blocks.size() + 5, 2.0}), double(blocks.endLine()));
    QCOMPARE(Viewers::sourceLineForBlock(blocks, {0, -1.0}), 0.0);
}

void TestMDBlock::lineMap_emptyList()
{
    const Viewers::MDBlockList none;
    QVERIFY(!Viewers::blockForSourceLine(none, 3).has_value());
    QCOMPARE(Viewers::sourceLineForBlock(none, {2, 0.5}), 0.0);
    QCOMPARE(none.endLine(), std::size_t(0));
    QCOMPARE(none.blockAtLine(7), std::size_t(0));
    const auto fenceOnly = MDBlock::parse(u"```");
    QVERIFY(!Viewers::blockForSourceLine(fenceOnly, 0).has_value());
}

QTEST_GUILESS_MAIN(TestMDBlock)
#include "tst_mdblock.moc"
