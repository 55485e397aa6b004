// The rules every engine shares: strict UTF-8, grapheme counts and caret columns, trimming, JSON
// string literals, message formatting and the large buffers.
#include "base/jsonstring.h"
#include "base/largebuffer.h"
#include "base/message.h"
#include "base/text.h"
#include "base/utf.h"

#include <QtTest>

namespace {

QString q(std::u16string_view text)
{
    return QString::fromUtf16(text.data(), qsizetype(text.size()));
}

} // namespace

class TestBase : public QObject {
    Q_OBJECT
private slots:
    void utf8Decoding_data();
    void utf8Decoding();
    void utf8EncodingRefusesLoneSurrogates();
    void graphemesAndColumns_data();
    void graphemesAndColumns();
    void longLinesCountColumnsInUnits();
    void wordCharacters_data();
    void wordCharacters();
    void trimming_data();
    void trimming();
    void caseFolding_data();
    void caseFolding();
    void caseFoldingAgreesWithQtForEveryUnit();
    void jsonStringLiterals_data();
    void jsonStringLiterals();
    void messages_data();
    void messages();
    void largeBufferGrowsAndMoves();
};

void TestBase::utf8Decoding_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("text");
    QTest::newRow("ASCII") << QByteArray("plain") << true << "plain";
    QTest::newRow("two, three and four bytes") << QByteArray("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80") << true
                                                << QString::fromUtf8("\u00e9\u20ac\U0001F600");
    QTest::newRow("NUL is text") << QByteArray("a\0b", 3) << true << QString::fromUtf16(u"a\0b", 3);
    QTest::newRow("lone continuation") << QByteArray("a\x80") << false << "";
    QTest::newRow("truncated at the end") << QByteArray("\xE2\x82") << false << "";
    QTest::newRow("overlong") << QByteArray("\xC0\xAF") << false << "";
    QTest::newRow("encoded surrogate") << QByteArray("\xED\xA0\x80") << false << "";
    QTest::newRow("past U+10FFFF") << QByteArray("\xF4\x90\x80\x80") << false << "";
}

void TestBase::utf8Decoding()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, valid);
    QFETCH(QString, text);
    Base::U16Buffer out;
    QCOMPARE(Base::Utf::decodeUtf8(std::string_view(bytes.constData(), std::size_t(bytes.size())), out), valid);
    if (!valid)
        return;
    QCOMPARE(q(out.view()), text);
    QCOMPARE(Base::Utf::utf16Length(std::string_view(bytes.constData(), std::size_t(bytes.size()))), out.size());
    std::string back;
    QVERIFY(Base::Utf::encodeUtf8(out.view(), back));
    QCOMPARE(QByteArray::fromStdString(back), bytes);
}

void TestBase::utf8EncodingRefusesLoneSurrogates()
{
    std::string out;
    QVERIFY(!Base::Utf::encodeUtf8(u"a\xD800" "b", out));
    QVERIFY(!Base::Utf::encodeUtf8(u"\xDC00", out));
    QVERIFY(Base::Utf::encodeUtf8(u"\xD83D\xDE00", out));
}

void TestBase::graphemesAndColumns_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("graphemes");
    QTest::newRow("empty") << QString() << 0;
    QTest::newRow("letters") << "abc" << 3;
    QTest::newRow("combining mark") << QString::fromUtf8("e\u0301x") << 2;
    QTest::newRow("emoji with skin tone") << QString::fromUtf8("\U0001F44D\U0001F3FD") << 1;
    QTest::newRow("family sequence") << QString::fromUtf8("\U0001F468\u200D\U0001F469\u200D\U0001F467") << 1;
    QTest::newRow("flag") << QString::fromUtf8("\U0001F1E9\U0001F1EA") << 1;
    QTest::newRow("CR LF is one") << "a\r\n" << 2;
    QTest::newRow("unpaired surrogate") << QString(QChar(0xD800)) + "a" << 2;
}

void TestBase::graphemesAndColumns()
{
    QFETCH(QString, line);
    QFETCH(int, graphemes);
    const std::u16string text = line.toStdU16String();
    QCOMPARE(Base::Text::graphemeCount(text), std::size_t(graphemes));
    QCOMPARE(Base::Text::caretColumn(text), graphemes + 1LL);
    if (graphemes > 1)
        QCOMPARE(Base::Text::graphemeCount(text, 1), std::size_t(1));
    // The caret steps over as many characters as are counted, either way.
    int forward = 0, backward = 0;
    for (std::size_t at = 0; at < text.size(); at = Base::Text::nextGraphemeBoundary(text, at))
        ++forward;
    for (std::size_t at = text.size(); at > 0; at = Base::Text::previousGraphemeBoundary(text, at))
        ++backward;
    QCOMPARE(forward, graphemes);
    QCOMPARE(backward, graphemes);
}

void TestBase::wordCharacters_data()
{
    QTest::addColumn<uint>("scalar");
    QTest::addColumn<bool>("word");
    QTest::newRow("ASCII letter") << uint('q') << true;
    QTest::newRow("digit") << uint('7') << true;
    QTest::newRow("underscore") << uint('_') << true;
    QTest::newRow("hyphen") << uint('-') << false;
    QTest::newRow("space") << uint(' ') << false;
    QTest::newRow("accented letter") << uint(0xE9) << true;
    QTest::newRow("combining mark") << uint(0x0301) << true;
    QTest::newRow("ideograph") << uint(0x6F22) << true;
    QTest::newRow("letter outside the BMP") << uint(0x1D400) << true;
    QTest::newRow("emoji") << uint(0x1F600) << false;
    QTest::newRow("roman numeral (Nl)") << uint(0x2163) << true;
    QTest::newRow("no-break space") << uint(0xA0) << false;
}

void TestBase::wordCharacters()
{
    QFETCH(uint, scalar);
    QFETCH(bool, word);
    QCOMPARE(Base::Text::isWordCharacter(char32_t(scalar)), word);
}

void TestBase::longLinesCountColumnsInUnits()
{
    // Past the limit a column is a code unit: an emoji counts two.
    std::u16string line(Base::Text::graphemeColumnLimit, u'x');
    line += u"\xD83D\xDE00";
    QCOMPARE(Base::Text::caretColumn(line), (long long)(line.size() + 1));
}

void TestBase::trimming_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("trimmed");
    QTest::newRow("nothing to trim") << "a b" << "a b";
    QTest::newRow("spaces and breaks") << " \t\na b\r\n " << "a b";
    QTest::newRow("no-break and ideographic spaces") << QString::fromUtf8("\u00a0a\u3000") << "a";
    QTest::newRow("only space") << " \u2028 " << "";
    QTest::newRow("zero-width space is not white space") << QString::fromUtf8("\u200ba") << QString::fromUtf8("\u200ba");
}

void TestBase::trimming()
{
    QFETCH(QString, text);
    QFETCH(QString, trimmed);
    const std::u16string source = text.toStdU16String();
    QCOMPARE(q(Base::Text::trimmed(source)), trimmed);
}

void TestBase::caseFolding_data()
{
    QTest::addColumn<int>("unit");
    QTest::addColumn<int>("folded");
    QTest::newRow("asciiCapital_lower") << 0x41 << 0x61;
    QTest::newRow("asciiLower_unchanged") << 0x7A << 0x7A;
    QTest::newRow("digit_unchanged") << 0x31 << 0x31;
    QTest::newRow("latinCapitalEAcute_lower") << 0xC9 << 0xE9;
    QTest::newRow("cyrillicCapitalPe_lower") << 0x41F << 0x43F;
    QTest::newRow("greekFinalSigma_sigma") << 0x3C2 << 0x3C3;
    QTest::newRow("micro_greekMu") << 0xB5 << 0x3BC;
    QTest::newRow("kelvinSign_k") << 0x212A << 0x6B;
    // Only the simple folding: ß would become "ss" under the full one.
    QTest::newRow("sharpS_unchanged") << 0xDF << 0xDF;
    QTest::newRow("capitalSharpS_sharpS") << 0x1E9E << 0xDF;
    QTest::newRow("greekCapitalAlphaWithPsiliAndProsgegrammeni_simple") << 0x1F88 << 0x1F80;
    // Folded to "i" only under the Turkic rules, which are not applied.
    QTest::newRow("capitalIWithDot_unchanged") << 0x130 << 0x130;
    QTest::newRow("highSurrogate_unchanged") << 0xD801 << 0xD801;
    QTest::newRow("lowSurrogate_unchanged") << 0xDC00 << 0xDC00;
}

void TestBase::caseFolding()
{
    QFETCH(int, unit);
    QFETCH(int, folded);
    QCOMPARE(int(Base::Text::foldCase(char16_t(unit))), folded);
}

void TestBase::caseFoldingAgreesWithQtForEveryUnit()
{
    // The text view folds with Qt; the structured views must find exactly what it finds.
    for (char32_t unit = 0; unit < 0x10000; ++unit) {
        const char16_t expected = QChar::isSurrogate(unit) ? char16_t(unit) : char16_t(QChar::toCaseFolded(unit));
        if (Base::Text::foldCase(char16_t(unit)) != expected)
            QFAIL(qPrintable(QString("U+%1 folds to U+%2, Qt says U+%3")
                                 .arg(uint(unit), 4, 16, QChar('0'))
                                 .arg(uint(Base::Text::foldCase(char16_t(unit))), 4, 16, QChar('0'))
                                 .arg(uint(expected), 4, 16, QChar('0'))));
    }
}

void TestBase::jsonStringLiterals_data()
{
    QTest::addColumn<QByteArray>("utf8");
    QTest::addColumn<QByteArray>("literal");
    QTest::newRow("plain") << QByteArray("a/b") << QByteArray("\"a/b\"");
    QTest::newRow("quote and backslash") << QByteArray("\"\\") << QByteArray("\"\\\"\\\\\"");
    QTest::newRow("short escapes") << QByteArray("\b\f\n\r\t") << QByteArray("\"\\b\\f\\n\\r\\t\"");
    QTest::newRow("other controls") << QByteArray("\x01\x1f", 2) << QByteArray("\"\\u0001\\u001f\"");
    QTest::newRow("non-ASCII as is") << QByteArray("caf\xC3\xA9") << QByteArray("\"caf\xC3\xA9\"");
}

void TestBase::jsonStringLiterals()
{
    QFETCH(QByteArray, utf8);
    QFETCH(QByteArray, literal);
    std::string out = "x";
    Base::appendJsonString(out, std::string_view(utf8.constData(), std::size_t(utf8.size())));
    QCOMPARE(QByteArray::fromStdString(out), "x" + literal);
}

void TestBase::messages_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("english");
    QTest::newRow("no arguments keeps a percent") << "100% done" << "100% done";
    QTest::newRow("text and number") << "%@ has %lld lines" << "a.txt has 42 lines";
    QTest::newRow("nested message") << "Auto-save failed: %@" << "Auto-save failed: Text cannot be encoded as Latin-1";
    QTest::newRow("escaped percent") << "%d%% of %@" << "7% of all";
    QTest::newRow("missing argument stays") << "%@ and %@" << "one and %@";
}

void TestBase::messages()
{
    QFETCH(QString, key);
    QFETCH(QString, english);
    std::vector<Base::Message::Argument> arguments;
    const QString row = QTest::currentDataTag();
    if (row.startsWith("text and number"))
        arguments = {std::string("a.txt"), std::int64_t(42)};
    else if (row.startsWith("nested"))
        arguments = {std::make_shared<const Base::Message>(
            Base::Message{"Text cannot be encoded as %@", {std::string("Latin-1")}})};
    else if (row.startsWith("escaped"))
        arguments = {std::int64_t(7), std::string("all")};
    else if (row.startsWith("missing"))
        arguments = {std::string("one")};
    const Base::Message message{key.toStdString(), arguments};
    QCOMPARE(QString::fromStdString(message.englishText()), english);
}

void TestBase::largeBufferGrowsAndMoves()
{
    Base::U16Buffer buffer(4);
    std::u16string expected;
    for (int i = 0; i < 100'000; ++i) {
        const char16_t unit = char16_t(u'a' + i % 26);
        buffer.push_back(unit);
        expected.push_back(unit);
    }
    QVERIFY(buffer.view() == expected);
    Base::U16Buffer moved = std::move(buffer);
    QVERIFY(buffer.empty());
    QCOMPARE(moved.size(), expected.size());
    moved.resize(3);
    QVERIFY(moved.view() == u"abc");
    moved.clear();
    QVERIFY(moved.empty());
    QVERIFY(moved.capacity() >= expected.size());
}

QTEST_MAIN(TestBase)
#include "tst_base.moc"
