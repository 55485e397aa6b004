// Kinds, encodings, byte-order marks and line endings: pure functions over bytes and text.
#include "documents/dockind.h"
#include "documents/encoding.h"
#include "documents/lineending.h"
#include "documents/textcodec.h"

#include "base/message.h"
#include "base/utf.h"

#include <QtTest>

using namespace Documents;
using namespace std::string_literals;

Q_DECLARE_METATYPE(Documents::Encoding)
Q_DECLARE_METATYPE(Documents::LineEnding)
Q_DECLARE_METATYPE(std::string)
Q_DECLARE_METATYPE(std::u16string)

namespace {

QByteArray toQ(const std::string &bytes)
{
    return QByteArray(bytes.data(), qsizetype(bytes.size()));
}

std::string fromQ(const QByteArray &bytes)
{
    return std::string(bytes.constData(), std::size_t(bytes.size()));
}

// Parses "a CR LF b" style notation: tokens separated by spaces, CR and LF naming the controls.
std::u16string lineText(const QString &notation)
{
    std::u16string out;
    for (const QString &token : notation.split(' ', Qt::SkipEmptyParts)) {
        if (token == "CR")
            out += u'\r';
        else if (token == "LF")
            out += u'\n';
        else
            out += token.toStdU16String();
    }
    return out;
}

const DecodedText &decoded(const std::variant<DecodedText, Base::Message> &result)
{
    return std::get<DecodedText>(result);
}

} // namespace

class TestDocuments : public QObject {
    Q_OBJECT

private slots:
    void detectKind_data();
    void detectKind();
    void kindLabelsAndIcons();
    void openableExtensions_data();
    void openableExtensions();

    void bomDetect_data();
    void bomDetect();
    void displayNames();

    void decodeAsChosenEncoding_data();
    void decodeAsChosenEncoding();
    void decodeFallback_data();
    void decodeFallback();
    void decodeRejectsUndecodable();
    void strictDecoders_data();
    void strictDecoders();
    void codePagesRoundTripEveryDefinedByte_data();
    void codePagesRoundTripEveryDefinedByte();

    void lineEndingDetect_data();
    void lineEndingDetect();
    void lineEndingRawValues();

    void canEncode_data();
    void canEncode();
    void encodeForWriting_data();
    void encodeForWriting();
    void encodeRefusesUnrepresentable_data();
    void encodeRefusesUnrepresentable();
    void textDocFallsBackToUtf8WithItsOwnMark();
    void textDocFromBytes();

    void roundTripEveryEncodingBomAndLineEnding();
    void messages_data();
    void messages();
};

// ---- Kinds --------------------------------------------------------------------------------

void TestDocuments::detectKind_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("label");
    QTest::newRow("upper-case JSON is json") << "/x/REPORT.JSON" << "JSON";
    QTest::newRow("mixed-case Json is json") << "report.Json" << "JSON";
    QTest::newRow("JSONL is ndjson") << "data.JSONL" << "NDJSON";
    QTest::newRow("ndjson") << "a.ndjson" << "NDJSON";
    QTest::newRow("csv") << "t.csv" << "CSV";
    QTest::newRow("md") << "README.md" << "MD";
    QTest::newRow("markdown") << "notes.markdown" << "MD";
    QTest::newRow("yml and yaml") << "config.yml" << "YAML";
    QTest::newRow("yaml") << "config.yaml" << "YAML";
    QTest::newRow("toml") << "Cargo.toml" << "TOML";
    QTest::newRow("plist is xml") << "Info.plist" << "XML";
    QTest::newRow("xml") << "a.xml" << "XML";
    QTest::newRow("log") << "server.log" << "LOG";
    QTest::newRow("no extension is txt") << "/home/u/notes" << "TXT";
    QTest::newRow("last extension counts: gz is txt") << "archive.tar.gz" << "TXT";
    QTest::newRow("tsv is csv") << "table.tsv" << "CSV";
    QTest::newRow("upper-case TSV is csv") << "TABLE.TSV" << "CSV";
    QTest::newRow("txt") << "README.txt" << "TXT";
    QTest::newRow("dot in folder name only is txt") << "/a.json/notes" << "TXT";
    QTest::newRow("trailing dot is txt") << "file.json." << "TXT";
    QTest::newRow("hidden file named like an extension") << "/x/.json" << "JSON";
}

void TestDocuments::detectKind()
{
    QFETCH(QString, path);
    QFETCH(QString, label);
    QCOMPARE(QString::fromUtf8(DocKind::detect(path.toStdString()).label()), label);
}

void TestDocuments::kindLabelsAndIcons()
{
    // Kinds that share an icon must stay distinguishable by label.
    QCOMPARE(DocKind(DocKind::Yaml).iconName(), DocKind(DocKind::Toml).iconName());
    QCOMPARE(std::string(DocKind(DocKind::Yaml).iconName()), "list.bullet.indent"s);
    QCOMPARE(std::string(DocKind(DocKind::Ndjson).iconName()), "curlybraces"s);
    QCOMPARE(std::string(DocKind(DocKind::Xml).saveMimeType()), "application/xml"s);
    QCOMPARE(std::string(DocKind(DocKind::Ndjson).saveMimeType()), "application/json"s);
    QCOMPARE(std::string(DocKind(DocKind::Markdown).saveMimeType()), "text/plain"s);
    for (auto value : DocKind::all) {
        DocKind parsed = DocKind::Txt;
        QVERIFY(DocKind::fromLabel(DocKind(value).label(), parsed));
        QCOMPARE(parsed, DocKind(value));
    }
    DocKind unchanged = DocKind::Csv;
    QVERIFY(!DocKind::fromLabel("json", unchanged));
}

void TestDocuments::openableExtensions_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("openable");
    QTest::newRow("JSONL upper case") << "a.JSONL" << true;
    QTest::newRow("plist") << "Info.plist" << true;
    QTest::newRow("log") << "x.log" << true;
    QTest::newRow("tsv") << "x.tsv" << true;
    QTest::newRow("tab is not listed") << "x.tab" << false;
    QTest::newRow("no extension") << "Makefile" << false;
}

void TestDocuments::openableExtensions()
{
    QFETCH(QString, path);
    QFETCH(bool, openable);
    QCOMPARE(hasOpenableExtension(path.toStdString()), openable);
}

// ---- Byte-order marks and names -------------------------------------------------------------

void TestDocuments::bomDetect_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("encoding"); // -1: none
    QTest::addColumn<int>("length");
    QTest::newRow("UTF-32 LE wins over UTF-16 LE") << QByteArray("\xFF\xFE\x00\x00", 4) << int(Encoding::Utf32LE) << 4;
    QTest::newRow("UTF-32 BE") << QByteArray("\x00\x00\xFE\xFF", 4) << int(Encoding::Utf32BE) << 4;
    QTest::newRow("UTF-8") << QByteArray("\xEF\xBB\xBFx") << int(Encoding::Utf8) << 3;
    QTest::newRow("UTF-16 LE with 3 bytes skips the UTF-32 test") << QByteArray("\xFF\xFE\x00", 3)
                                                                  << int(Encoding::Utf16LE) << 2;
    QTest::newRow("UTF-16 BE") << QByteArray("\xFE\xFF" "ab") << int(Encoding::Utf16BE) << 2;
    QTest::newRow("UTF-8 mark cut short") << QByteArray("\xEF\xBB") << -1 << 0;
    QTest::newRow("empty") << QByteArray() << -1 << 0;
    QTest::newRow("plain text") << QByteArray("{}") << -1 << 0;
}

void TestDocuments::bomDetect()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, encoding);
    QFETCH(int, length);
    const auto match = BOMUtil::detect(fromQ(bytes));
    if (encoding < 0) {
        QVERIFY(!match);
        return;
    }
    QVERIFY(match);
    QCOMPARE(int(match->encoding), encoding);
    QCOMPARE(int(match->length), length);
}

void TestDocuments::displayNames()
{
    const std::pair<Encoding, const char *> expected[] = {
        {Encoding::Utf8, "UTF-8"},         {Encoding::Utf16, "UTF-16"},        {Encoding::Utf16LE, "UTF-16 LE"},
        {Encoding::Utf16BE, "UTF-16 BE"},  {Encoding::Utf32LE, "UTF-32 LE"},   {Encoding::Utf32BE, "UTF-32 BE"},
        {Encoding::Windows1251, "CP1251"}, {Encoding::Windows1252, "CP1252"}, {Encoding::Latin1, "Latin-1"},
        {Encoding::MacRoman, "Mac Roman"}, {Encoding::Ascii, "ASCII"},
    };
    for (const auto &[encoding, name] : expected) {
        QCOMPARE(std::string(displayName(encoding)), std::string(name));
        QCOMPARE(encodingFromId(encodingId(encoding)), std::optional<Encoding>(encoding));
    }
    QVERIFY(BOMUtil::bytes(Encoding::Utf16).empty());
    QVERIFY(BOMUtil::bytes(Encoding::Windows1252).empty());
}

// ---- Decoding with fallback ---------------------------------------------------------------

void TestDocuments::decodeFallback_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Encoding>("encoding");
    QTest::addColumn<bool>("hadBOM");
    QTest::addColumn<QString>("text");

    QTest::newRow("empty is UTF-8 without mark") << QByteArray() << Encoding::Utf8 << false << QString();
    QTest::newRow("UTF-8 mark is not part of the text")
        << QByteArray("\xEF\xBB\xBF{\"a\":\"\xC3\xA9\"}") << Encoding::Utf8 << true << QString("{\"a\":\"é\"}");
    QTest::newRow("UTF-32 LE with mark") << QByteArray("\xFF\xFE\x00\x00h\x00\x00\x00", 8) << Encoding::Utf32LE << true
                                         << QString("h");
    QTest::newRow("UTF-16 BE with mark and a surrogate pair")
        << QByteArray("\xFE\xFF\x00" "a\xD8\x3D\xDE\x00", 8) << Encoding::Utf16BE << true
        << QString::fromUtf8("a\xF0\x9F\x98\x80");
    QTest::newRow("broken UTF-8 after its mark falls back with the mark as text")
        << QByteArray("\xEF\xBB\xBF\xE9") << Encoding::Windows1251 << false << QString::fromUtf8("п»їй");
    QTest::newRow("ASCII in UTF-16 LE without mark is valid UTF-8 with NULs")
        << QByteArray("a\x00" "b\x00", 4) << Encoding::Utf8 << false << QString::fromUtf16(u"a\0b\0", 4);
    QTest::newRow("Western text tries Windows-1251 first")
        << QByteArray("caf\xE9") << Encoding::Windows1251 << false << QString::fromUtf8("cafй");
    QTest::newRow("0x98 is undefined in 1251, so 1252 decodes it")
        << QByteArray("a\x98") << Encoding::Windows1252 << false << QString::fromUtf8("a˜");
    QTest::newRow("bytes undefined in both Windows pages fall to Latin-1")
        << QByteArray("\x98\x81") << Encoding::Latin1 << false << QString(QChar(0x98)) + QChar(0x81);
    // Big-endian UTF-16 without a mark: NULs at even offsets put UTF-16 BE first, which LE
    // would otherwise swallow as CJK garbage. The é makes UTF-8 fail.
    QTest::newRow("UTF-16 BE without mark, NULs at even offsets")
        << QByteArray("\x00{\x00\"\x00\xE9\x00\"\x00}", 10) << Encoding::Utf16BE << false << QString("{\"é\"}");
    QTest::newRow("UTF-16 LE without mark, NULs at odd offsets")
        << QByteArray("{\x00\"\x00\xE9\x00\"\x00}\x00", 10) << Encoding::Utf16LE << false << QString("{\"é\"}");
}

void TestDocuments::decodeFallback()
{
    QFETCH(QByteArray, bytes);
    QFETCH(Encoding, encoding);
    QFETCH(bool, hadBOM);
    QFETCH(QString, text);
    const auto result = decodeWithFallback(fromQ(bytes));
    QVERIFY(std::holds_alternative<DecodedText>(result));
    const auto &got = decoded(result);
    QCOMPARE(QString(displayName(got.encoding).data()), QString(displayName(encoding).data()));
    QCOMPARE(got.hadBOM, hadBOM);
    QCOMPARE(QString::fromUtf16(got.text.data(), qsizetype(got.text.size())), text);
}

void TestDocuments::decodeAsChosenEncoding_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Encoding>("chosen");
    QTest::addColumn<Encoding>("reported"); // What the next save writes.
    QTest::addColumn<bool>("hadBOM");
    QTest::addColumn<QString>("text"); // Null when the bytes must be refused.
    QTest::newRow("Western text read as Latin-1, not the 1251 the guess gives")
        << QByteArray("caf\xE9") << Encoding::Latin1 << Encoding::Latin1 << false << QString("café");
    QTest::newRow("the same bytes are not UTF-8")
        << QByteArray("caf\xE9") << Encoding::Utf8 << Encoding::Utf8 << false << QString();
    QTest::newRow("nor ASCII") << QByteArray("caf\xE9") << Encoding::Ascii << Encoding::Ascii << false << QString();
    QTest::newRow("UTF-8 mark skipped for UTF-8")
        << QByteArray("\xEF\xBB\xBFok") << Encoding::Utf8 << Encoding::Utf8 << true << QString("ok");
    QTest::newRow("UTF-8 mark is text in Windows-1252") << QByteArray("\xEF\xBB\xBFok") << Encoding::Windows1252
                                                        << Encoding::Windows1252 << false << QString::fromUtf8("ï»¿ok");
    QTest::newRow("UTF-16 of unspecified order follows a BE mark and says so")
        << QByteArray("\xFE\xFF\x00h\x00i", 6) << Encoding::Utf16 << Encoding::Utf16BE << true << QString("hi");
    QTest::newRow("UTF-16 of unspecified order follows an LE mark and says so")
        << QByteArray("\xFF\xFEh\x00i\x00", 6) << Encoding::Utf16 << Encoding::Utf16LE << true << QString("hi");
    QTest::newRow("UTF-16 without a mark is read little-endian")
        << QByteArray("h\x00i\x00", 4) << Encoding::Utf16 << Encoding::Utf16LE << false << QString("hi");
    QTest::newRow("an odd byte count is not UTF-16 LE")
        << QByteArray("h\x00i", 3) << Encoding::Utf16LE << Encoding::Utf16LE << false << QString();
    QTest::newRow("UTF-8 text read as Windows-1251 on purpose") << QByteArray("\xD0\xB6") << Encoding::Windows1251
                                                                << Encoding::Windows1251 << false << QString::fromUtf8("Р¶");
}

void TestDocuments::decodeAsChosenEncoding()
{
    QFETCH(QByteArray, bytes);
    QFETCH(Encoding, chosen);
    QFETCH(Encoding, reported);
    QFETCH(bool, hadBOM);
    QFETCH(QString, text);
    const auto result = decodeAs(fromQ(bytes), chosen);
    if (text.isNull()) {
        QVERIFY(std::holds_alternative<Base::Message>(result));
        QCOMPARE(std::get<Base::Message>(result).englishText(),
                 "The file is not valid "s + std::string(displayName(chosen)));
        return;
    }
    QVERIFY(std::holds_alternative<DecodedText>(result));
    const auto &got = decoded(result);
    QCOMPARE(got.encoding, reported);
    QCOMPARE(got.hadBOM, hadBOM);
    QCOMPARE(QString::fromUtf16(got.text.data(), qsizetype(got.text.size())), text);
    // Written back as reported, the text gives the same bytes.
    const auto again = Documents::encodeForWriting(got.text.view(), got.encoding, LineEnding::Lf, got.hadBOM);
    QVERIFY(again);
    QCOMPARE(QByteArray::fromStdString(*again), bytes);
}

void TestDocuments::decodeRejectsUndecodable()
{
    // Latin-1 maps every byte, so only a chain without it could fail; the public chain always
    // ends in success. The error message is still part of the contract.
    QCOMPARE(unknownEncodingMessage().englishText(), "Unknown encoding"s);
    Base::U16Buffer out;
    QVERIFY(!decode(Encoding::Ascii, "caf\xE9", out));
}

void TestDocuments::strictDecoders_data()
{
    QTest::addColumn<Encoding>("encoding");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("UTF-8 overlong slash") << Encoding::Utf8 << QByteArray("\xC0\xAF") << false;
    QTest::newRow("UTF-8 encoded surrogate") << Encoding::Utf8 << QByteArray("\xED\xA0\x80") << false;
    QTest::newRow("UTF-8 above U+10FFFF") << Encoding::Utf8 << QByteArray("\xF4\x90\x80\x80") << false;
    QTest::newRow("UTF-8 truncated at end") << Encoding::Utf8 << QByteArray("ab\xE2\x82") << false;
    QTest::newRow("UTF-8 four-byte emoji") << Encoding::Utf8 << QByteArray("\xF0\x9F\x98\x80") << true;
    QTest::newRow("UTF-16 LE odd length") << Encoding::Utf16LE << QByteArray("a\x00" "b", 3) << false;
    QTest::newRow("UTF-16 LE lone high surrogate") << Encoding::Utf16LE << QByteArray("\x3D\xD8" "a\x00", 4) << false;
    QTest::newRow("UTF-16 LE lone low surrogate at end") << Encoding::Utf16LE << QByteArray("\x00\xDE", 2) << false;
    QTest::newRow("UTF-32 BE above range") << Encoding::Utf32BE << QByteArray("\x00\x11\x00\x00", 4) << false;
    QTest::newRow("UTF-32 LE surrogate") << Encoding::Utf32LE << QByteArray("\x00\xD8\x00\x00", 4) << false;
    QTest::newRow("UTF-32 LE length not a multiple of 4") << Encoding::Utf32LE << QByteArray("a\x00\x00", 3) << false;
    QTest::newRow("Windows-1252 undefined 0x81") << Encoding::Windows1252 << QByteArray("\x81") << false;
    QTest::newRow("Windows-1252 undefined 0x9D") << Encoding::Windows1252 << QByteArray("\x9D") << false;
    QTest::newRow("Latin-1 takes every byte") << Encoding::Latin1 << QByteArray("\x81\x9D\xFF") << true;
    QTest::newRow("Mac Roman takes every byte") << Encoding::MacRoman << QByteArray("\x80\xDB\xF0") << true;
}

void TestDocuments::strictDecoders()
{
    QFETCH(Encoding, encoding);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, accepted);
    Base::U16Buffer out;
    QCOMPARE(decode(encoding, fromQ(bytes), out), accepted);
}

void TestDocuments::codePagesRoundTripEveryDefinedByte_data()
{
    QTest::addColumn<Encoding>("encoding");
    QTest::addColumn<int>("undefinedBytes");
    QTest::newRow("Windows-1251") << Encoding::Windows1251 << 1;
    QTest::newRow("Windows-1252") << Encoding::Windows1252 << 5;
    QTest::newRow("Latin-1") << Encoding::Latin1 << 0;
    QTest::newRow("Mac Roman") << Encoding::MacRoman << 0;
}

void TestDocuments::codePagesRoundTripEveryDefinedByte()
{
    QFETCH(Encoding, encoding);
    QFETCH(int, undefinedBytes);
    int undefined = 0;
    for (int byte = 0; byte < 256; ++byte) {
        const std::string one(1, char(byte));
        Base::U16Buffer text;
        if (!decode(encoding, one, text)) {
            ++undefined;
            continue;
        }
        QCOMPARE(int(text.size()), 1);
        std::string back;
        QVERIFY(encode(encoding, text.view(), back));
        QCOMPARE(back, one);
    }
    QCOMPARE(undefined, undefinedBytes);
    // Known anchors of the published tables.
    Base::U16Buffer text;
    if (encoding == Encoding::Windows1251 && decode(encoding, "\xC0\xFF\x88", text))
        QCOMPARE(text.view(), std::u16string_view(u"\u0410\u044F\u20AC"));
    if (encoding == Encoding::MacRoman && decode(encoding, "\xDB\xA5\xF0", text))
        QCOMPARE(text.view(), std::u16string_view(u"\u20AC\u2022\uF8FF"));
}

// ---- Line endings -------------------------------------------------------------------------

void TestDocuments::lineEndingDetect_data()
{
    QTest::addColumn<QString>("loaded");
    QTest::addColumn<LineEnding>("detected");
    QTest::addColumn<QString>("held");
    QTest::addColumn<QString>("saved");
    QTest::newRow("mixed CRLF and LF: CRLF, bare LF becomes CRLF")
        << "a CR LF b LF c" << LineEnding::Crlf << "a LF b LF c" << "a CR LF b CR LF c";
    QTest::newRow("LF beats CR: bare CR not kept") << "a LF b CR c" << LineEnding::Lf << "a LF b LF c" << "a LF b LF c";
    QTest::newRow("CR only") << "a CR b CR c" << LineEnding::Cr << "a LF b LF c" << "a CR b CR c";
    QTest::newRow("CR CR is two lines") << "a CR CR b" << LineEnding::Cr << "a LF LF b" << "a CR CR b";
    QTest::newRow("CR CR LF: pair then lone CR") << "a CR CR LF b" << LineEnding::Crlf << "a LF LF b"
                                                  << "a CR LF CR LF b";
    QTest::newRow("single CR") << "CR" << LineEnding::Cr << "LF" << "CR";
    QTest::newRow("no break") << "abc" << LineEnding::Lf << "abc" << "abc";
    QTest::newRow("empty") << "" << LineEnding::Lf << "" << "";
    QTest::newRow("final CRLF") << "a CR LF" << LineEnding::Crlf << "a LF" << "a CR LF";
}

void TestDocuments::lineEndingDetect()
{
    QFETCH(QString, loaded);
    QFETCH(LineEnding, detected);
    QFETCH(QString, held);
    QFETCH(QString, saved);
    std::u16string text = lineText(loaded);
    QCOMPARE(detectLineEnding(text), detected);
    Base::U16Buffer buffer;
    buffer.append(text.data(), text.size());
    QCOMPARE(normalizeLineEndings(buffer), detected);
    QCOMPARE(std::u16string(buffer.view()), lineText(held));
    QCOMPARE(normalizeLineEndings(text), detected);
    QCOMPARE(text, lineText(held));
    QCOMPARE(convertLineEndings(text, detected), lineText(saved));
    const auto bytes = Documents::encodeForWriting(text, Encoding::Utf8, detected, false);
    QVERIFY(bytes);
    QCOMPARE(Base::Utf::toUtf16(*bytes), lineText(saved));
}

void TestDocuments::lineEndingRawValues()
{
    QCOMPARE(lineEndingFromRawValue("crlf"), std::optional<LineEnding>(LineEnding::Crlf));
    QCOMPARE(lineEndingFromRawValue("CRLF"), std::optional<LineEnding>());
    QCOMPARE(lineEndingFromRawValue(""), std::optional<LineEnding>());
    QCOMPARE(std::string(label(LineEnding::Cr)), "CR"s);
    QCOMPARE(std::string(rawValue(LineEnding::Lf)), "lf"s);
}

// ---- Encoding for writing -----------------------------------------------------------------

void TestDocuments::canEncode_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<Encoding>("encoding");
    QTest::addColumn<bool>("encodable");
    // 65,535 units put the pair's halves on both sides of the checker's first piece boundary.
    const QString beforeBoundary(65535, QChar('a'));
    QTest::newRow("a pair across the piece boundary is one character")
        << beforeBoundary + QString::fromUtf8("\xF0\x9F\x98\x80") << Encoding::Utf16LE << true;
    QTest::newRow("the same character has no Latin-1 form")
        << beforeBoundary + QString::fromUtf8("\xF0\x9F\x98\x80") << Encoding::Latin1 << false;
    QTest::newRow("a lone surrogate is no UTF-8") << QString(QChar(0xD800)) + "x" << Encoding::Utf8 << false;
    QTest::newRow("é in Windows-1252") << QString("café") << Encoding::Windows1252 << true;
    QTest::newRow("é in ASCII") << QString("café") << Encoding::Ascii << false;
    QTest::newRow("empty text") << QString() << Encoding::Ascii << true;
}

void TestDocuments::canEncode()
{
    QFETCH(QString, text);
    QFETCH(Encoding, encoding);
    QFETCH(bool, encodable);
    QCOMPARE(Documents::canEncode(text.toStdU16String(), encoding), encodable);
}

void TestDocuments::encodeForWriting_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<Encoding>("encoding");
    QTest::addColumn<LineEnding>("lineEnding");
    QTest::addColumn<bool>("bom");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("UTF-8 with mark") << "a\nb" << Encoding::Utf8 << LineEnding::Lf << true
                                     << QByteArray("\xEF\xBB\xBF" "a\nb");
    QTest::newRow("UTF-8 without mark adds none") << "a" << Encoding::Utf8 << LineEnding::Lf << false << QByteArray("a");
    QTest::newRow("unspecified UTF-16 written LE with LE mark")
        << "a\n" << Encoding::Utf16 << LineEnding::Crlf << true << QByteArray("\xFF\xFE" "a\x00\r\x00\n\x00", 8);
    QTest::newRow("UTF-32 BE CR") << "\n" << Encoding::Utf32BE << LineEnding::Cr << false
                                  << QByteArray("\x00\x00\x00\r", 4);
    QTest::newRow("Latin-1 ignores the mark flag") << "é" << Encoding::Latin1 << LineEnding::Lf << true
                                                   << QByteArray("\xE9");
    QTest::newRow("Windows-1251 Cyrillic") << "Жж" << Encoding::Windows1251 << LineEnding::Lf << false
                                           << QByteArray("\xC6\xE6");
}

void TestDocuments::encodeForWriting()
{
    QFETCH(QString, text);
    QFETCH(Encoding, encoding);
    QFETCH(LineEnding, lineEnding);
    QFETCH(bool, bom);
    QFETCH(QByteArray, bytes);
    const auto got = Documents::encodeForWriting(text.toStdU16String(), encoding, lineEnding, bom);
    QVERIFY(got);
    QCOMPARE(toQ(*got), bytes);
}

void TestDocuments::encodeRefusesUnrepresentable_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<Encoding>("encoding");
    QTest::newRow("euro in Latin-1") << "5 €" << Encoding::Latin1;
    QTest::newRow("Cyrillic in Windows-1252") << "Ж" << Encoding::Windows1252;
    QTest::newRow("emoji in Mac Roman") << QString::fromUtf8("\xF0\x9F\x98\x80") << Encoding::MacRoman;
    QTest::newRow("lone surrogate in UTF-8") << QString(QChar(0xD800)) << Encoding::Utf8;
    QTest::newRow("lone surrogate in UTF-16 BE") << QString(QChar(0xDC00)) << Encoding::Utf16BE;
    QTest::newRow("non-ASCII in ASCII") << "é" << Encoding::Ascii;
}

void TestDocuments::encodeRefusesUnrepresentable()
{
    QFETCH(QString, text);
    QFETCH(Encoding, encoding);
    QVERIFY(!Documents::encodeForWriting(text.toStdU16String(), encoding, LineEnding::Lf, false));
}

void TestDocuments::textDocFallsBackToUtf8WithItsOwnMark()
{
    // A UTF-16 mark in front of UTF-8 bytes would make the file unreadable as either.
    TextDoc doc{u"Ж\n€", Encoding::Latin1, LineEnding::Crlf, false};
    QCOMPARE(doc.fileBytes(), "\xD0\x96\r\n\xE2\x82\xAC"s);
    doc.encoding = Encoding::Windows1252;
    doc.includeBOM = true;
    QCOMPARE(doc.fileBytes(), "\xEF\xBB\xBF\xD0\x96\r\n\xE2\x82\xAC"s);
    TextDoc representable{u"€", Encoding::Windows1252, LineEnding::Lf, true};
    QCOMPARE(representable.fileBytes(), "\x80"s);
    TextDoc utf16{u"a", Encoding::Utf16BE, LineEnding::Lf, true};
    QCOMPARE(utf16.fileBytes(), "\xFE\xFF\x00" "a"s);
}

void TestDocuments::textDocFromBytes()
{
    const TextDoc valid = TextDoc::fromFileBytes("h\xC3\xA9");
    QCOMPARE(valid.text, std::u16string(u"hé"));
    QCOMPARE(valid.encoding, Encoding::Utf8);
    QCOMPARE(valid.lineEnding, LineEnding::Lf);
    QVERIFY(!valid.includeBOM);
    QVERIFY(TextDoc::fromFileBytes("\xFF\xFE").text.empty());
}

// Every encoding × mark × line ending: bytes → load → save gives the same bytes, for text that
// the encoding can hold and that the fallback chain identifies as that encoding.
void TestDocuments::roundTripEveryEncodingBomAndLineEnding()
{
    struct Sample {
        Encoding encoding;
        std::u16string text;
        bool markable;
    };
    const std::u16string multilingual = u"{\"name\": \"Zoë €5 — 😀\"}";
    const Sample samples[] = {
        {Encoding::Utf8, multilingual, true},
        {Encoding::Utf16LE, multilingual, true},
        {Encoding::Utf16BE, multilingual, true},
        {Encoding::Utf32LE, multilingual, true},
        {Encoding::Utf32BE, multilingual, true},
        {Encoding::Windows1251, u"Привет, мир №5", false},
        {Encoding::Windows1252, u"Caf\u00E9 \u02DC price \u20AC5", false},
        {Encoding::Latin1, u"x\u0098\u0081 caf\u00E9", false},
    };
    const LineEnding lineEndings[] = {LineEnding::Lf, LineEnding::Crlf, LineEnding::Cr};
    int checked = 0;
    for (const auto &sample : samples) {
        for (bool bom : {false, true}) {
            if (bom && !sample.markable)
                continue;
            // Without a mark UTF-32 cannot be told from UTF-16: the loader never identifies it.
            if (!bom && (sample.encoding == Encoding::Utf32LE || sample.encoding == Encoding::Utf32BE))
                continue;
            for (LineEnding lineEnding : lineEndings) {
                const std::u16string text = sample.text + u"\nline two\n" + sample.text;
                const auto bytes = Documents::encodeForWriting(text, sample.encoding, lineEnding, bom);
                QVERIFY(bytes);
                auto result = decodeWithFallback(*bytes);
                QVERIFY(std::holds_alternative<DecodedText>(result));
                auto &got = std::get<DecodedText>(result);
                const LineEnding detected = normalizeLineEndings(got.text);
                QCOMPARE(int(got.encoding), int(sample.encoding));
                QCOMPARE(got.hadBOM, bom);
                QCOMPARE(detected, lineEnding);
                QCOMPARE(std::u16string(got.text.view()), text);
                const auto again = Documents::encodeForWriting(got.text.view(), got.encoding, detected, got.hadBOM);
                QVERIFY(again);
                QCOMPARE(toQ(*again), toQ(*bytes));
                ++checked;
            }
        }
    }
    QCOMPARE(checked, 3 * (5 * 2 + 3 - 2));
}

void TestDocuments::messages_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");
    QTest::newRow("no arguments keeps a percent sign") << "100% done" << "100% done";
}

void TestDocuments::messages()
{
    QFETCH(QString, key);
    QFETCH(QString, expected);
    QCOMPARE(QString::fromStdString(Base::Message{key.toStdString(), {}}.englishText()), expected);
    const Base::Message size{"File too large (%lld MB). Limit is 50 MB.", {std::int64_t(99)}};
    QCOMPARE(size.englishText(), "File too large (99 MB). Limit is 50 MB."s);
    const Base::Message nested{"Auto-save failed: %@",
                               {std::make_shared<const Base::Message>(cannotEncodeMessage(Encoding::Latin1))}};
    QCOMPARE(nested.englishText(), "Auto-save failed: Text cannot be encoded as Latin-1"s);
    QCOMPARE(Base::formatMessage("%d%% of %@ and %@", {std::int64_t(5), "x"s}), "5% of x and %@"s);
}

QTEST_GUILESS_MAIN(TestDocuments)
#include "tst_documents.moc"
