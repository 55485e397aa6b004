// Every faulty NDJSON record: positions, limits, agreement with the first-fault check.

#include "testsupport.h"

#include "formatting/jsonformatter.h"
#include "formatting/validationlist.h"

#include <QStringList>
#include <QTest>

using namespace TestSupport;
using Formatting::JSONFormatter;
using Formatting::Validation;
using Formatting::ValidationList;

namespace {

// "line:column" of each error, joined by spaces.
QString positions(const ValidationList &list)
{
    QStringList out;
    for (const auto &error : list.errors)
        out << QStringLiteral("%1:%2").arg(error.line.value_or(0)).arg(error.column.value_or(0));
    return out.join(u' ');
}

QString stateName(Validation::State state)
{
    switch (state) {
    case Validation::State::Invalid: return QStringLiteral("invalid");
    case Validation::State::Empty: return QStringLiteral("empty");
    case Validation::State::Valid: break;
    }
    return QStringLiteral("valid");
}

// The line `number` (1-based) of `text`.
std::u16string lineOf(const std::u16string &text, std::int64_t number)
{
    std::size_t start = 0;
    for (std::int64_t k = 1; k < number; ++k)
        start = text.find(u'\n', start) + 1;
    const std::size_t end = text.find(u'\n', start);
    return text.substr(start, end == std::u16string::npos ? std::u16string::npos : end - start);
}

} // namespace

class NdjsonErrorsTest : public QObject {
    Q_OBJECT

private slots:
    void collect_data();
    void collect();
    void eachError_matchesItsLineCheckedAlone();
    void limitOfOne_equalsFirstFaultCheck();
    void manyFaults_stopAtDefaultLimit();
    void wrap_oneFaultChecks();
    void lineFrom_walksFaultLinesAndWraps_data();
    void lineFrom_walksFaultLinesAndWraps();
};

void NdjsonErrorsTest::collect_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("positions");
    QTest::addColumn<bool>("stoppedEarly");

    QTest::newRow("empty") << "" << 1000 << "empty" << "" << false;
    QTest::newRow("onlyLineBreaks") << "\n\n  \n" << 1000 << "empty" << "" << false;
    QTest::newRow("allValid") << "{\"a\":1}\n[2]\n\"s\"\n" << 1000 << "valid" << "" << false;
    QTest::newRow("severalBadLines") << "{}\n{\n[1,]\n{\"a\":1}\nx\n" << 1000 << "invalid" << "2:2 3:4 5:1" << false;
    QTest::newRow("blankLinesCounted") << "\n\n{\n\n\n}\n" << 1000 << "invalid" << "3:2 6:1" << false;
    QTest::newRow("indentedFault_columnFromFirstNonBlank") << "{}\n    {\"a\" 1}\n" << 1000 << "invalid" << "2:6" << false;
    QTest::newRow("crlfLines") << "{}\r\n{\r\n{}\r\n[\r\n" << 1000 << "invalid" << "2:2 4:2" << false;
    QTest::newRow("noFinalLineBreak") << "{}\n{" << 1000 << "invalid" << "2:2" << false;
    QTest::newRow("limitReached_moreFollow") << "x\nx\nx\nx\nx\n" << 3 << "invalid" << "1:1 2:1 3:1" << true;
    QTest::newRow("limitReached_validLinesFollow") << "x\nx\nx\n{}\n" << 3 << "invalid" << "1:1 2:1 3:1" << true;
    QTest::newRow("limitReached_onlyBlankFollows") << "x\nx\nx\n\n  \n" << 3 << "invalid" << "1:1 2:1 3:1" << false;
    QTest::newRow("limitReached_atLastLine") << "x\nx\nx" << 3 << "invalid" << "1:1 2:1 3:1" << false;
    QTest::newRow("limitZero_noLimit") << "x\nx\nx\nx\n" << 0 << "invalid" << "1:1 2:1 3:1 4:1" << false;
    QTest::newRow("encodingError") << QString::fromUtf16(u"{}\n[\"\xD800\"]\n") << 1000 << "invalid" << "2:3" << false;
}

void NdjsonErrorsTest::collect()
{
    QFETCH(QString, text);
    QFETCH(int, limit);
    QFETCH(QString, state);
    QFETCH(QString, positions);
    QFETCH(bool, stoppedEarly);
    const std::u16string source = u16(text);
    const ValidationList list = JSONFormatter::validateNDJSONAll(source, std::size_t(limit));
    QCOMPARE(stateName(list.state), state);
    QCOMPARE(::positions(list), positions);
    QCOMPARE(list.stoppedEarly, stoppedEarly);
    // The first fault and the verdict are always those of the first-fault check.
    QCOMPARE(dump(list.first()), dump(JSONFormatter::validateNDJSON(source)));
}

void NdjsonErrorsTest::eachError_matchesItsLineCheckedAlone()
{
    const std::u16string text = u"{\"a\": 1}\n{\"a\" 1}\n\n  [1, 2,]\ntrue false\n{\"b\": \"open}\n\"ok\"\n{\"c\": nul}\n";
    const ValidationList list = JSONFormatter::validateNDJSONAll(text);
    QCOMPARE(list.errors.size(), std::size_t(5));
    for (const auto &error : list.errors) {
        QVERIFY(error.line.has_value());
        // The same line alone, as the first line of a document, gives the same message and column.
        const Validation alone = JSONFormatter::validateNDJSON(lineOf(text, *error.line));
        QVERIFY(alone.isInvalid());
        QCOMPARE(QString::fromStdString(alone.error()->message), QString::fromStdString(error.message));
        QCOMPARE(alone.error()->column, error.column);
        QVERIFY(!error.message.empty());
    }
}

void NdjsonErrorsTest::limitOfOne_equalsFirstFaultCheck()
{
    const std::u16string text = u"{}\n{\n{\n";
    const ValidationList list = JSONFormatter::validateNDJSONAll(text, 1);
    QCOMPARE(list.errors.size(), std::size_t(1));
    QVERIFY(list.stoppedEarly);
    QCOMPARE(list.first(), JSONFormatter::validateNDJSON(text));
}

void NdjsonErrorsTest::manyFaults_stopAtDefaultLimit()
{
    std::u16string text;
    for (int i = 0; i < 1500; ++i)
        text += i % 2 ? u"{\"ok\": true}\n" : u"{\"bad\" }\n";
    const ValidationList list = JSONFormatter::validateNDJSONAll(text);
    QCOMPARE(list.errors.size(), std::size_t(750)); // Below the limit: all of them.
    QVERIFY(!list.stoppedEarly);
    const std::u16string quarter = text;
    for (int copies = 0; copies < 3; ++copies)
        text.append(quarter); // 3000 faults.
    const ValidationList capped = JSONFormatter::validateNDJSONAll(text);
    QCOMPARE(capped.errors.size(), JSONFormatter::defaultErrorLimit);
    QVERIFY(capped.stoppedEarly);
    QCOMPARE(capped.errors.back().line, std::optional<std::int64_t>(1999));
}

void NdjsonErrorsTest::wrap_oneFaultChecks()
{
    const Validation invalid = JSONFormatter::validate(u"{\"a\" 1}");
    const ValidationList wrapped = ValidationList::of(invalid);
    QCOMPARE(wrapped.errors.size(), std::size_t(1));
    QCOMPARE(*wrapped.errors.front().line, std::int64_t(1));
    QCOMPARE(wrapped.first(), invalid);
    QCOMPARE(ValidationList::of(Validation::valid()).first(), Validation::valid());
    QVERIFY(ValidationList::of(Validation::valid()).errors.empty());
    QCOMPARE(ValidationList::of(Validation::empty()).first(), Validation::empty());
}

// F8 and Shift+F8 walk the fault lines from the caret's line, in line order, wrapping around.
void NdjsonErrorsTest::lineFrom_walksFaultLinesAndWraps_data()
{
    QTest::addColumn<QList<int>>("faultLines"); // 0 stands for a fault without a line.
    QTest::addColumn<int>("caretLine");
    QTest::addColumn<bool>("forward");
    QTest::addColumn<int>("expected"); // 0: none.

    const QList<int> faults{9, 2, 5};
    QTest::newRow("next after the caret") << faults << 3 << true << 5;
    QTest::newRow("next skips the caret's own line") << faults << 5 << true << 9;
    QTest::newRow("next wraps to the first") << faults << 9 << true << 2;
    QTest::newRow("previous before the caret") << faults << 6 << false << 5;
    QTest::newRow("previous skips the caret's own line") << faults << 5 << false << 2;
    QTest::newRow("previous wraps to the last") << faults << 2 << false << 9;
    QTest::newRow("caret past every fault") << faults << 100 << true << 2;
    QTest::newRow("only faults without a line") << QList<int>{0, 0} << 1 << true << 0;
    QTest::newRow("no faults") << QList<int>{} << 1 << false << 0;
    QTest::newRow("lineless faults are skipped") << QList<int>{0, 7} << 1 << true << 7;
}

void NdjsonErrorsTest::lineFrom_walksFaultLinesAndWraps()
{
    QFETCH(QList<int>, faultLines);
    QFETCH(int, caretLine);
    QFETCH(bool, forward);
    QFETCH(int, expected);
    ValidationList list;
    list.state = faultLines.isEmpty() ? Validation::State::Valid : Validation::State::Invalid;
    for (int line : faultLines) {
        Formatting::ValidationError error;
        if (line > 0)
            error.line = line;
        list.errors.push_back(error);
    }
    const std::optional<long long> found = list.lineFrom(caretLine, forward);
    QCOMPARE(found.value_or(0), (long long)expected);
}

QTEST_APPLESS_MAIN(NdjsonErrorsTest)
#include "tst_ndjsonerrors.moc"
