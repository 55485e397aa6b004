// CSV dialects: delimiter detection and choice, ragged rows, and sorting a view of the rows.
#include "viewers/csvdialect.h"
#include "viewers/csvparser.h"
#include "viewers/csvsort.h"

#include <QtTest>

#include <cmath>
#include <numeric>

using namespace Viewers;

Q_DECLARE_METATYPE(Viewers::CSVSortOrder)

namespace {

std::u16string u16(const QString &text) { return text.toStdU16String(); }

QString name(char16_t delimiter)
{
    switch (delimiter) {
    case u',': return "comma";
    case u';': return "semicolon";
    case u'\t': return "tab";
    case u'|': return "pipe";
    default: return QString("U+%1").arg(int(delimiter), 4, 16, QChar('0'));
    }
}

// The first cell of each row in `order`, to read sort results at a glance.
QStringList cellsOf(const CSVTable &table, const std::vector<std::uint32_t> &order, std::size_t index)
{
    QStringList out;
    for (std::uint32_t row : order) {
        const std::u16string cell = table.cell(row, index);
        out << QString::fromStdU16String(cell);
    }
    return out;
}

} // namespace

class TestCsvDialect : public QObject {
    Q_OBJECT

private slots:
    void detect_data();
    void detect();
    void detectReadsOnlyTheFirstLines();
    void defaultDelimiterForPath_data();
    void defaultDelimiterForPath();
    void resolve_data();
    void resolve();
    void choiceNames();
    void ragged_data();
    void ragged();
    void parsingIsUnchangedByRaggedRows();
    void number_data();
    void number();
    void sort_data();
    void sort();
    void sortIsStable_data();
    void sortIsStable();
    void sortPastLastColumnIsDocumentOrder();
    void sortLargeColumnMatchesPlainSort();
};

// ---- Detection --------------------------------------------------------------------------------

void TestCsvDialect::detect_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty text is comma") << "" << "comma";
    QTest::newRow("only line breaks is comma") << "\n\r\n\n" << "comma";
    QTest::newRow("single column is comma") << "name\nAnn\nBob\n" << "comma";
    QTest::newRow("plain comma") << "a,b,c\n1,2,3\n4,5,6\n" << "comma";
    QTest::newRow("semicolons") << "a;b;c\n1;2;3\n4;5;6\n" << "semicolon";
    QTest::newRow("tabs") << "a\tb\tc\n1\t2\t3\n" << "tab";
    QTest::newRow("pipes") << "a|b\n1|2\n" << "pipe";
    QTest::newRow("semicolons with decimal commas")
        << "name;price;weight\nApple;1,25;0,2\nPear;2,5;0,35\nPlum;0,9;1\n" << "semicolon";
    QTest::newRow("decimal commas tie with semicolons, no header")
        << "1,5;2,5\n3,5;4,5\n" << "semicolon";
    QTest::newRow("commas in text beat a tie-break on decimal commas")
        << "a,b;c\nx,y;z\n" << "comma";
    QTest::newRow("quoted commas ignored, tab wins")
        << "name\tnote\n\"Smith, Ann\"\t\"a, b, c\"\n\"Lee, Bo\"\tplain\n" << "tab";
    QTest::newRow("quoted semicolons ignored")
        << "a,b\n\"x;y;z\",1\n\"p;q\",2\n" << "comma";
    QTest::newRow("doubled quotes stay inside quotes")
        << "a;b\n\"say \"\"x,y\"\" now\";1\n" << "semicolon";
    QTest::newRow("quoted line break does not end the line")
        << "a|b\n\"one,\ntwo,three\"|1\n" << "pipe";
    QTest::newRow("most consistent wins over most frequent")
        << "a;b\nx,y,z,w;1\np;q\nr;s\n" << "semicolon";
    QTest::newRow("tie goes to comma first") << "a,b;c\n" << "comma";
    QTest::newRow("tie semicolon before tab") << "a;b\tc\n" << "semicolon";
    QTest::newRow("tie tab before pipe") << "a\tb|c\n" << "tab";
    QTest::newRow("blank lines are skipped") << "a;b\n\n\n1;2\n\n3;4\n" << "semicolon";
    QTest::newRow("CR LF lines") << "a;b\r\n1;2\r\n" << "semicolon";
    QTest::newRow("one line without break") << "a|b|c" << "pipe";
}

void TestCsvDialect::detect()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(name(detectDelimiter(u16(text))), expected);
}

void TestCsvDialect::detectReadsOnlyTheFirstLines()
{
    // 64 semicolon lines, then many comma lines: only the first 64 count.
    std::u16string text;
    for (int i = 0; i < 64; ++i)
        text += u"a;b\n";
    for (int i = 0; i < 500; ++i)
        text += u"a,b\n";
    QCOMPARE(name(detectDelimiter(text)), QString("semicolon"));

    // A line cut by the unit limit is left out (here it would win the tab-before-pipe tie),
    // unless it is the only line.
    std::u16string cut = u"a|b\n";
    for (std::size_t i = 0; cut.size() < detectionUnitLimit + 10; ++i)
        cut += (i % 2) ? u'\t' : u'x';
    QCOMPARE(name(detectDelimiter(cut)), QString("pipe"));
    std::u16string oneLine;
    while (oneLine.size() < detectionUnitLimit + 10)
        oneLine += u"x;";
    QCOMPARE(name(detectDelimiter(oneLine)), QString("semicolon"));
}

void TestCsvDialect::defaultDelimiterForPath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected"); // empty: none
    QTest::newRow("tsv") << "/x/data.tsv" << "tab";
    QTest::newRow("upper-case TSV") << "DATA.TSV" << "tab";
    QTest::newRow("csv detects") << "/x/data.csv" << "";
    QTest::newRow("tsv folder, csv file") << "/x.tsv/data.csv" << "";
    QTest::newRow("no extension") << "tsv" << "";
    QTest::newRow("tsvx") << "a.tsvx" << "";
}

void TestCsvDialect::defaultDelimiterForPath()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    const auto delimiter = defaultDelimiterFor(path.toStdString());
    QCOMPARE(delimiter ? name(*delimiter) : QString(), expected);
}

void TestCsvDialect::resolve_data()
{
    QTest::addColumn<int>("choice");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("auto detects") << int(CSVDelimiterChoice::Auto) << "a.csv" << "a;b\n1;2\n" << "semicolon";
    QTest::newRow("auto on tsv is tab whatever the text")
        << int(CSVDelimiterChoice::Auto) << "a.tsv" << "a,b\n1,2\n" << "tab";
    QTest::newRow("explicit comma overrides detection")
        << int(CSVDelimiterChoice::Comma) << "a.csv" << "a;b\n1;2\n" << "comma";
    QTest::newRow("explicit pipe overrides tsv") << int(CSVDelimiterChoice::Pipe) << "a.tsv" << "a\tb\n" << "pipe";
    QTest::newRow("explicit semicolon") << int(CSVDelimiterChoice::Semicolon) << "a.csv" << "" << "semicolon";
    QTest::newRow("explicit tab") << int(CSVDelimiterChoice::Tab) << "a.csv" << "a,b" << "tab";
}

void TestCsvDialect::resolve()
{
    QFETCH(int, choice);
    QFETCH(QString, path);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(name(resolveDelimiter(CSVDelimiterChoice(choice), path.toStdString(), u16(text))), expected);
}

void TestCsvDialect::choiceNames()
{
    const QStringList expected{"auto", "comma", "semicolon", "tab", "pipe"};
    for (std::size_t i = 0; i < allDelimiterChoices.size(); ++i) {
        const CSVDelimiterChoice choice = allDelimiterChoices[i];
        QCOMPARE(QString::fromUtf8(delimiterChoiceName(choice)), expected[int(i)]);
        QCOMPARE(delimiterChoiceFromName(delimiterChoiceName(choice)), std::optional(choice));
        if (const auto delimiter = delimiterOf(choice))
            QCOMPARE(choiceFor(*delimiter), choice);
    }
    QCOMPARE(delimiterOf(CSVDelimiterChoice::Auto), std::nullopt);
    QCOMPARE(delimiterChoiceFromName("Comma"), std::nullopt);
    QCOMPARE(delimiterChoiceFromName(""), std::nullopt);
    QCOMPARE(choiceFor(u'x'), CSVDelimiterChoice::Comma);
}

// ---- Ragged rows ------------------------------------------------------------------------------

void TestCsvDialect::ragged_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<int>>("expected");
    QTest::newRow("even table") << "a,b\n1,2\n3,4\n" << QList<int>{};
    QTest::newRow("short and long rows") << "a,b,c\n1,2,3\n4,5\n6,7,8,9\n0,0,0\n" << QList<int>{1, 2};
    QTest::newRow("blank line is a one-cell row") << "a,b\n1,2\n\n3,4\n" << QList<int>{1};
    QTest::newRow("final delimiter adds a cell") << "a,b\n1,2,\n" << QList<int>{0};
    QTest::newRow("quoted delimiter is not a cell") << "a,b\n\"1,5\",2\n" << QList<int>{};
    QTest::newRow("single column never ragged") << "a\n1\n2\n" << QList<int>{};
    QTest::newRow("empty table") << "" << QList<int>{};
    QTest::newRow("header only") << "a,b\n" << QList<int>{};
}

void TestCsvDialect::ragged()
{
    QFETCH(QString, text);
    QFETCH(QList<int>, expected);
    const CSVTable table = CSVParser::parse(u16(text));
    QList<int> rows;
    for (std::size_t row : table.raggedRows())
        rows << int(row);
    QCOMPARE(rows, expected);
    QCOMPARE(table.raggedRowCount(), std::size_t(expected.size()));
}

void TestCsvDialect::parsingIsUnchangedByRaggedRows()
{
    const CSVTable table = CSVParser::parse(u"a;b;c\n1;2\n3;4;5;6\n", u";");
    QCOMPARE(table.columnCount(), std::size_t(4));
    QCOMPARE(table.cellCount(0), std::size_t(2));
    QCOMPARE(table.cell(1, 3), std::u16string(u"6"));
    QCOMPARE(table.raggedRowCount(), std::size_t(2));
}

// ---- Numbers and sorting ----------------------------------------------------------------------

void TestCsvDialect::number_data()
{
    QTest::addColumn<QString>("cell");
    QTest::addColumn<bool>("isNumber");
    QTest::addColumn<double>("value");
    QTest::newRow("integer") << "42" << true << 42.0;
    QTest::newRow("negative") << "-7" << true << -7.0;
    QTest::newRow("plus sign") << "+3" << true << 3.0;
    QTest::newRow("decimal") << "3.25" << true << 3.25;
    QTest::newRow("leading point") << ".5" << true << 0.5;
    QTest::newRow("trailing point") << "5." << true << 5.0;
    QTest::newRow("exponent") << "1e3" << true << 1000.0;
    QTest::newRow("negative exponent") << "-2.5E-2" << true << -0.025;
    QTest::newRow("exponent with plus") << "4e+1" << true << 40.0;
    QTest::newRow("spaces around") << "  12 \t" << true << 12.0;
    QTest::newRow("huge is infinite") << "1e400" << true << std::numeric_limits<double>::infinity();
    QTest::newRow("tiny is zero") << "1e-400" << true << 0.0;
    QTest::newRow("space inside") << "1 000" << false << 0.0;
    QTest::newRow("thousands comma") << "1,000" << false << 0.0;
    QTest::newRow("unit after") << "12kg" << false << 0.0;
    QTest::newRow("lonely point") << "." << false << 0.0;
    QTest::newRow("lonely sign") << "-" << false << 0.0;
    QTest::newRow("exponent without digits") << "1e" << false << 0.0;
    QTest::newRow("two signs") << "+-1" << false << 0.0;
    QTest::newRow("hex") << "0x1F" << false << 0.0;
    QTest::newRow("inf") << "inf" << false << 0.0;
    QTest::newRow("nan") << "nan" << false << 0.0;
    QTest::newRow("empty") << "" << false << 0.0;
    QTest::newRow("spaces only") << "   " << false << 0.0;
    QTest::newRow("full-width digit") << QString::fromUtf8("\xEF\xBC\x91") << false << 0.0;
}

void TestCsvDialect::number()
{
    QFETCH(QString, cell);
    QFETCH(bool, isNumber);
    QFETCH(double, value);
    const auto parsed = csvNumber(u16(cell));
    QCOMPARE(parsed.has_value(), isNumber);
    if (isNumber)
        QCOMPARE(*parsed, value);
}

void TestCsvDialect::sort_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("column");
    QTest::addColumn<Viewers::CSVSortOrder>("order");
    QTest::addColumn<QStringList>("expected"); // Column 0 of the rows in sorted order.
    const QString mixed = "k,v\n"
                          "a,10\n"
                          "b,9\n"
                          "c,banana\n"
                          "d,\n"
                          "e,-3.5\n"
                          "f,Apple\n"
                          "g,1e1\n"
                          "h\n"
                          "i,  2 \n"
                          "j,apple\n";
    QTest::newRow("numbers by value before text, empties last")
        << mixed << 1 << CSVSortOrder::Ascending << QStringList{"e", "i", "b", "a", "g", "f", "j", "c", "d", "h"};
    QTest::newRow("descending: text then numbers, empties still last")
        << mixed << 1 << CSVSortOrder::Descending << QStringList{"c", "j", "f", "a", "g", "b", "i", "e", "d", "h"};
    QTest::newRow("numbers as numbers, not as text")
        << "n\n10\n9\n100\n-1\n0.5\n" << 0 << CSVSortOrder::Ascending
        << QStringList{"-1", "0.5", "9", "10", "100"};
    QTest::newRow("exponents and signs")
        << "n\n1e3\n-2e-1\n+5\n-1E2\n" << 0 << CSVSortOrder::Ascending << QStringList{"-1E2", "-2e-1", "+5", "1e3"};
    QTest::newRow("text case-insensitive, then exact")
        << "t\nbeta\nAlpha\nalpha\nBeta\nalphabet\n" << 0 << CSVSortOrder::Ascending
        << QStringList{"Alpha", "alpha", "alphabet", "Beta", "beta"};
    QTest::newRow("long common prefix") << "t\nabcdefgz\nabcdefga\nABCDEFGM\n" << 0 << CSVSortOrder::Ascending
                                        << QStringList{"abcdefga", "ABCDEFGM", "abcdefgz"};
    QTest::newRow("quoted cells sort by their text")
        << "t\n\"b,x\"\n\"a\"\"q\"\nc\n" << 0 << CSVSortOrder::Ascending << QStringList{"a\"q", "b,x", "c"};
    QTest::newRow("quoted number is a number") << "t\n\"12\"\n3\nx\n" << 0 << CSVSortOrder::Ascending
                                               << QStringList{"3", "12", "x"};
    QTest::newRow("spaces-only cell is empty") << "t\n \nb\na\n" << 0 << CSVSortOrder::Descending
                                               << QStringList{"b", "a", " "};
}

void TestCsvDialect::sort()
{
    QFETCH(QString, text);
    QFETCH(int, column);
    QFETCH(Viewers::CSVSortOrder, order);
    QFETCH(QStringList, expected);
    const CSVTable table = CSVParser::parse(u16(text));
    const auto sorted = sortedRowOrder(table, std::size_t(column), order);
    QCOMPARE(sorted.size(), table.rowCount());
    QCOMPARE(cellsOf(table, sorted, 0), expected);
}

void TestCsvDialect::sortIsStable_data()
{
    QTest::addColumn<Viewers::CSVSortOrder>("order");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("ascending") << CSVSortOrder::Ascending << QStringList{"n1", "n3", "n2", "t1", "t2", "t3", "e1", "e2"};
    QTest::newRow("descending") << CSVSortOrder::Descending << QStringList{"t1", "t2", "t3", "n2", "n1", "n3", "e1", "e2"};
}

void TestCsvDialect::sortIsStable()
{
    // Equal keys (1 and 1.0, the three x) keep document order in both directions.
    QFETCH(Viewers::CSVSortOrder, order);
    QFETCH(QStringList, expected);
    const CSVTable table = CSVParser::parse(u"id,k\nt1,x\nn1,1\ne1,\nt2,x\nn2,2\nt3,x\nn3,1.0\ne2\n");
    QCOMPARE(cellsOf(table, sortedRowOrder(table, 1, order), 0), expected);
    // The text itself is untouched.
    QCOMPARE(table.cell(0, 0), std::u16string(u"t1"));
}

void TestCsvDialect::sortPastLastColumnIsDocumentOrder()
{
    const CSVTable table = CSVParser::parse(u"a\n3\n1\n2\n");
    QCOMPARE(sortedRowOrder(table, 5, CSVSortOrder::Descending), (std::vector<std::uint32_t>{0, 1, 2}));
    QVERIFY(sortedRowOrder(CSVTable(), 0, CSVSortOrder::Ascending).empty());
}

void TestCsvDialect::sortLargeColumnMatchesPlainSort()
{
    // Many rows of pseudo-random text and numbers: the same order as a plain stable sort with
    // the same rules written the slow way.
    std::u16string text = u"v\n";
    std::uint32_t seed = 12345;
    auto next = [&] {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % 1000;
    };
    for (int i = 0; i < 5000; ++i) {
        const std::uint32_t r = next();
        std::string cell = r < 300 ? std::to_string(int(r) - 150) : r < 350 ? "" : "w" + std::to_string(r % 37);
        if (r % 7 == 0 && r >= 350)
            cell[0] = 'W';
        text += std::u16string(cell.begin(), cell.end()) + u"\n";
    }
    const CSVTable table = CSVParser::parse(text);
    std::vector<std::uint32_t> expected(table.rowCount());
    std::iota(expected.begin(), expected.end(), 0u);
    auto rank = [&](std::uint32_t row) {
        const std::u16string cell = table.cell(row, 0);
        return cell.empty() ? 2 : (csvNumber(cell) ? 0 : 1);
    };
    auto lowered = [&](std::uint32_t row) {
        std::u16string cell = table.cell(row, 0);
        for (char16_t &c : cell)
            c = (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
        return cell;
    };
    std::stable_sort(expected.begin(), expected.end(), [&](std::uint32_t a, std::uint32_t b) {
        if (rank(a) != rank(b))
            return rank(a) < rank(b);
        if (rank(a) == 0)
            return *csvNumber(table.cell(a, 0)) < *csvNumber(table.cell(b, 0));
        if (rank(a) == 1) {
            if (lowered(a) != lowered(b))
                return lowered(a) < lowered(b);
            return table.cell(a, 0) < table.cell(b, 0);
        }
        return false;
    });
    QCOMPARE(sortedRowOrder(table, 0, CSVSortOrder::Ascending), expected);
}

QTEST_GUILESS_MAIN(TestCsvDialect)
#include "tst_csvdialect.moc"
