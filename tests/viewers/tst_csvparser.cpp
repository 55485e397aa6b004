// CSV parsing, the table model and column widths.
#include "viewers/csvparser.h"

#include <QtTest>

using Viewers::CSVParser;
using Viewers::CSVTable;

namespace {

using Rows = QList<QStringList>;

std::u16string u16(const QString &text) { return text.toStdU16String(); }
QString q(std::u16string_view text) { return QString::fromUtf16(text.data(), qsizetype(text.size())); }

Rows toRows(const std::vector<std::vector<std::u16string>> &rows)
{
    Rows out;
    for (const auto &row : rows) {
        QStringList cells;
        for (const auto &cell : row)
            cells << q(cell);
        out << cells;
    }
    return out;
}

QStringList headersOf(const CSVTable &table)
{
    QStringList out;
    for (const auto &header : table.headers())
        out << q(header);
    return out;
}

Rows rowsOf(const CSVTable &table)
{
    Rows out;
    for (std::size_t r = 0; r < table.rowCount(); ++r) {
        QStringList cells;
        for (const auto &cell : table.row(r).cells)
            cells << q(cell);
        out << cells;
    }
    return out;
}

QByteArray readFixture(const QString &name)
{
    QFile file(QStringLiteral(CORVANE_FIXTURES "/") + name);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

} // namespace

class TestCSVParser : public QObject {
    Q_OBJECT

private slots:
    void lineCells_data();
    void lineCells();
    void parse_data();
    void parse();
    void rowIdsCountFromZero();
    void cellViewMatchesCell();
    void delimiterIsOneScalar_data();
    void delimiterIsOneScalar();
    void eachParseHasANewId();
    void equalityComparesFields();
    void columnCount_data();
    void columnCount();
    void graphemeCount_data();
    void graphemeCount();
    void columnWidths_data();
    void columnWidths();
    void widthsReadOnlyFirst200Rows();
    void fixtureFile();
    void unterminatedQuoteInLargeText();
    void adoptsBuffer();
};

void TestCSVParser::lineCells_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<Rows>("expected");
    QTest::newRow("empty_noRows") << "" << Rows{};
    QTest::newRow("singleField_oneRow") << "a" << Rows{{"a"}};
    QTest::newRow("finalLineBreak_addsNoRow") << "a,b\n" << Rows{{"a", "b"}};
    QTest::newRow("finalDelimiter_addsEmptyCell") << "a," << Rows{{"a", ""}};
    QTest::newRow("finalDelimiterThenBreak_keepsEmptyCell") << "a,\n" << Rows{{"a", ""}};
    QTest::newRow("blankLine_oneEmptyCell") << "a\n\nb" << Rows{{"a"}, {""}, {"b"}};
    QTest::newRow("onlyBreaks_emptyRows") << "\n\n" << Rows{{""}, {""}};
    QTest::newRow("bom_skipped") << QString(QChar(0xFEFF)) + "h,i" << Rows{{"h", "i"}};
    QTest::newRow("innerBom_kept") << QString("a") + QChar(0xFEFF) << Rows{{QString("a") + QChar(0xFEFF)}};
    QTest::newRow("quotedComma_kept") << "\"a,b\",c" << Rows{{"a,b", "c"}};
    QTest::newRow("doubledQuote_oneQuote") << "\"say \"\"hi\"\"\"" << Rows{{"say \"hi\""}};
    QTest::newRow("quotedLineBreak_kept") << "\"a\nb\",c\nd" << Rows{{"a\nb", "c"}, {"d"}};
    QTest::newRow("quotedCrLf_kept") << "\"a\r\nb\"\r\nc" << Rows{{"a\r\nb"}, {"c"}};
    QTest::newRow("crlf_endsRow") << "a,b\r\nc,d\r\n" << Rows{{"a", "b"}, {"c", "d"}};
    QTest::newRow("loneCr_endsRow") << "a\rb\r" << Rows{{"a"}, {"b"}};
    QTest::newRow("crThenCrLf_blankRow") << "a\r\r\nb" << Rows{{"a"}, {""}, {"b"}};
    QTest::newRow("quoteMidField_opensQuotes") << "ab\"c,d\"e,f" << Rows{{"abc,de", "f"}};
    QTest::newRow("closingQuoteThenText_joins") << "\"quoted\"word,x" << Rows{{"quotedword", "x"}};
    QTest::newRow("closingQuoteThenCr_endsRow") << "\"a\"\rb" << Rows{{"a"}, {"b"}};
    QTest::newRow("closingQuoteThenCrLf_endsRow") << "\"a\"\r\nb" << Rows{{"a"}, {"b"}};
    QTest::newRow("unterminatedQuote_runsToEnd") << "a,\"b,c\nd" << Rows{{"a", "b,c\nd"}};
    QTest::newRow("quoteAtEnd_closes") << "\"a\"" << Rows{{"a"}};
    QTest::newRow("emptyQuotedAtEnd_addsNothing") << "a\n\"\"" << Rows{{"a"}};
    QTest::newRow("emptyQuotedThenDelimiter_emptyCells") << "\"\",\"\"" << Rows{{"", ""}};
    QTest::newRow("cellsNotTrimmed") << " a , b " << Rows{{" a ", " b "}};
    QTest::newRow("loneQuoteInQuotes_tripleQuote") << "\"\"\"\"" << Rows{{"\""}};
    QTest::newRow("surrogatePair_kept") << QString::fromUtf8("\xF0\x9F\x98\x80,x") << Rows{{QString::fromUtf8("\xF0\x9F\x98\x80"), "x"}};
}

void TestCSVParser::lineCells()
{
    QFETCH(QString, text);
    QFETCH(Rows, expected);
    QCOMPARE(toRows(CSVParser::lineCells(u16(text))), expected);
}

void TestCSVParser::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("headers");
    QTest::addColumn<Rows>("rows");
    QTest::newRow("empty_noHeaders") << "" << QStringList{} << Rows{};
    QTest::newRow("onlyBreaks_noHeaders") << "\n\r\n\n" << QStringList{} << Rows{};
    QTest::newRow("allEmptyCells_noHeaders") << ",,\n,\n\"\"" << QStringList{} << Rows{};
    QTest::newRow("headerOnly_noRows") << "a,b" << QStringList{"a", "b"} << Rows{};
    QTest::newRow("headerOnlyWithBreak_noRows") << "a,b\n" << QStringList{"a", "b"} << Rows{};
    QTest::newRow("bom_notInFirstHeader") << QString(QChar(0xFEFF)) + "id,name\n1,x" << QStringList{"id", "name"}
                                          << Rows{{"1", "x"}};
    QTest::newRow("leadingEmptyRows_skipped") << "\n,\n\"\"\nh\n1" << QStringList{"h"} << Rows{{"1"}};
    QTest::newRow("twoBlankLinesAfterHeader_twoEmptyRows") << "h\n\n\nx" << QStringList{"h"}
                                                           << Rows{{""}, {""}, {"x"}};
    QTest::newRow("emptyRowsAfterHeader_kept") << "h\n,\n" << QStringList{"h"} << Rows{{"", ""}};
    QTest::newRow("ragged_keptAsIs") << "a,b\n1\n1,2,3" << QStringList{"a", "b"} << Rows{{"1"}, {"1", "2", "3"}};
}

void TestCSVParser::parse()
{
    QFETCH(QString, text);
    QFETCH(QStringList, headers);
    QFETCH(Rows, rows);
    const CSVTable table = CSVParser::parse(u16(text));
    QCOMPARE(headersOf(table), headers);
    QCOMPARE(rowsOf(table), rows);
}

void TestCSVParser::rowIdsCountFromZero()
{
    const CSVTable table = CSVParser::parse(u"h\n\n\nx\ny");
    QCOMPARE(table.rowCount(), std::size_t(4));
    for (std::size_t r = 0; r < table.rowCount(); ++r)
        QCOMPARE(table.row(r).id, r);
}

void TestCSVParser::cellViewMatchesCell()
{
    const CSVTable table = CSVParser::parse(u"h,\"q\"\"\"\nplain,\"a\"\"b\",\"\"");
    std::u16string scratch;
    QCOMPARE(q(table.headerView(1, scratch)), QString("q\""));
    QCOMPARE(q(table.cellView(0, 0, scratch)), QString("plain"));
    QCOMPARE(q(table.cellView(0, 1, scratch)), QString("a\"b"));
    QCOMPARE(q(table.cellView(0, 2, scratch)), QString());
    QCOMPARE(q(table.cellView(0, 9, scratch)), QString()); // Past the row's end.
    QCOMPARE(q(table.header(5)), QString());
}

void TestCSVParser::delimiterIsOneScalar_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("delimiter");
    QTest::addColumn<Rows>("expected");
    QTest::newRow("semicolon_splits") << "a;b,c" << ";" << Rows{{"a", "b,c"}};
    QTest::newRow("tab_splits") << "a\tb" << "\t" << Rows{{"a", "b"}};
    QTest::newRow("astralScalar_splits") << QString::fromUtf8("a\xF0\x9F\x98\x80" "b") << QString::fromUtf8("\xF0\x9F\x98\x80")
                                         << Rows{{"a", "b"}};
    QTest::newRow("astralScalar_otherLowHalf_noSplit") << QString::fromUtf8("a\xF0\x9F\x98\x81" "b")
                                                       << QString::fromUtf8("\xF0\x9F\x98\x80")
                                                       << Rows{{QString::fromUtf8("a\xF0\x9F\x98\x81" "b")}};
    QTest::newRow("longerDelimiter_firstScalarOnly") << "a;b;;c" << ";;" << Rows{{"a", "b", "", "c"}};
    QTest::newRow("emptyDelimiter_noSplit") << "a,b" << "" << Rows{{"a,b"}};
}

void TestCSVParser::delimiterIsOneScalar()
{
    QFETCH(QString, text);
    QFETCH(QString, delimiter);
    QFETCH(Rows, expected);
    QCOMPARE(toRows(CSVParser::lineCells(u16(text), u16(delimiter))), expected);
}

void TestCSVParser::eachParseHasANewId()
{
    const CSVTable first = CSVParser::parse(u"a\n1");
    const CSVTable second = CSVParser::parse(u"a\n1");
    QVERIFY(first.id() != second.id());
    QVERIFY(!(first == second));
    QCOMPARE(headersOf(first), headersOf(second));
}

void TestCSVParser::equalityComparesFields()
{
    const CSVTable table = CSVParser::parse(u"a\n1");
    const CSVTable copy = table;
    QVERIFY(copy == table);
    QCOMPARE(rowsOf(copy), rowsOf(table));
}

void TestCSVParser::columnCount_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");
    QTest::newRow("empty_zero") << "" << 0;
    QTest::newRow("headerWidest") << "a,b,c\n1" << 3;
    QTest::newRow("longRowWidens") << "a\n1,2,3,4" << 4;
    QTest::newRow("lastRowCounts") << QString("a\n") + QString("1\n").repeated(500) + "1,2,3" << 3;
}

void TestCSVParser::columnCount()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    const CSVTable table = CSVParser::parse(u16(text));
    QCOMPARE(table.columnCount(), std::size_t(expected));
    QCOMPARE(Viewers::columnWidths(table).size(), std::size_t(expected));
}

void TestCSVParser::graphemeCount_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");
    QTest::newRow("ascii") << "abcd" << 4;
    QTest::newRow("crlfIsOne") << "a\r\nb" << 3;
    QTest::newRow("combiningMark_one") << QString::fromUtf8("e\xCC\x81") << 1;
    QTest::newRow("emojiZwjSequence_one") << QString::fromUtf8("\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x92\xBB") << 1;
    QTest::newRow("flag_one") << QString::fromUtf8("\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7") << 1;
    QTest::newRow("hangulSyllables") << QString::fromUtf8("\xED\x95\x9C\xEA\xB8\x80") << 2;
    QTest::newRow("unpairedSurrogate_one") << QString(QChar(0xD800)) + "a" << 2;
}

void TestCSVParser::graphemeCount()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    QCOMPARE(Viewers::graphemeCount(u16(text)), std::size_t(expected));
    // A limit caps the count and never changes a smaller one.
    QCOMPARE(Viewers::graphemeCount(u16(text), 1), std::size_t(std::min(expected, 1)));
    QCOMPARE(Viewers::graphemeCount(u16(text), 100), std::size_t(expected));
}

void TestCSVParser::columnWidths_data()
{
    QTest::addColumn<int>("characters");
    QTest::addColumn<double>("expected");
    QTest::newRow("0_raisedTo80") << 0 << 80.0;
    QTest::newRow("4_raisedTo80") << 4 << 80.0;
    QTest::newRow("8_exactly84") << 8 << 84.0;
    QTest::newRow("20_is186") << 20 << 186.0;
    QTest::newRow("47_is415.5") << 47 << 415.5;
    QTest::newRow("100_loweredTo420") << 100 << 420.0;
}

void TestCSVParser::columnWidths()
{
    QFETCH(int, characters);
    QFETCH(double, expected);
    // The widest cell sits in a data row; the header is shorter.
    const QString text = "h\n" + QString("x").repeated(characters) + "\n";
    const auto widths = Viewers::columnWidths(CSVParser::parse(u16(text)));
    QCOMPARE(widths.size(), std::size_t(1));
    QCOMPARE(widths[0], expected);
}

void TestCSVParser::widthsReadOnlyFirst200Rows()
{
    QString text = "h,i\n";
    for (int i = 0; i < 199; ++i)
        text += "a,b\n";
    QString longCell = QString("y").repeated(30);
    const CSVTable inside = CSVParser::parse(u16(text + longCell + ",b\n"));
    const CSVTable outside = CSVParser::parse(u16(text + "a,b\n" + longCell + ",b\n"));
    QCOMPARE(Viewers::columnWidths(inside)[0], 30 * 8.5 + 16);
    QCOMPARE(Viewers::columnWidths(outside)[0], 80.0);
    // A header beyond the sample limit still counts: headers are always read.
    const CSVTable wideHeader = CSVParser::parse(u"" + u16(QString("z").repeated(12)) + u",i\n1,2");
    QCOMPARE(Viewers::columnWidths(wideHeader)[0], 12 * 8.5 + 16);
    // Graphemes, not UTF-16 units, are counted: ten flags are ten characters.
    const QString flags = QString::fromUtf8("\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7").repeated(10);
    QCOMPARE(Viewers::columnWidths(CSVParser::parse(u16("h\n" + flags)))[0], 10 * 8.5 + 16);
}

void TestCSVParser::fixtureFile()
{
    const QString text = QString::fromUtf8(readFixture("csv/people.csv"));
    QVERIFY(!text.isEmpty());
    const CSVTable table = CSVParser::parse(u16(text));
    QCOMPARE(headersOf(table), (QStringList{"id", "name", "city", "note"}));
    QCOMPARE(table.rowCount(), std::size_t(5));
    QCOMPARE(q(table.cell(1, 3)), QString("says \"hello\", twice"));
    QCOMPARE(q(table.cell(2, 3)), QString("line one\nline two"));
    QCOMPARE(table.cellCount(3), std::size_t(5));
    QCOMPARE(table.columnCount(), std::size_t(5));
    QCOMPARE(q(table.cell(4, 1)), QString::fromUtf8("Zo\xC3\xAB"));
}

void TestCSVParser::unterminatedQuoteInLargeText()
{
    // One opening quote near the start swallows the remaining 8 MB into one cell.
    std::u16string text = u"a,b\n\"";
    text.reserve(8 << 20);
    while (text.size() < (8u << 20))
        text += u"x,y\n";
    const CSVTable table = CSVParser::parse(text);
    QCOMPARE(table.rowCount(), std::size_t(1));
    QCOMPARE(table.cellCount(0), std::size_t(1));
    QCOMPARE(table.cell(0, 0).size(), text.size() - 5);
}

void TestCSVParser::adoptsBuffer()
{
    Base::U16Buffer buffer;
    const std::u16string_view source = u"k,v\n1,\"one\"";
    buffer.append(source.data(), source.size());
    const CSVTable table = CSVParser::parse(std::move(buffer));
    QCOMPARE(rowsOf(table), (Rows{{"1", "one"}}));
}

QTEST_GUILESS_MAIN(TestCSVParser)
#include "tst_csvparser.moc"
