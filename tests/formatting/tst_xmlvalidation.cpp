// XML well-formedness: verdicts, positions, the encoding attribute, and hostile documents.

#include "testsupport.h"

#include "formatting/xmlvalidator.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

using namespace TestSupport;
using Formatting::XMLValidator;

namespace {

// The billion-laughs document: ten levels of ten references each, 10^9 "lol"s if expanded.
QString billionLaughs()
{
    QString text = "<?xml version=\"1.0\"?>\n<!DOCTYPE lolz [\n <!ENTITY lol \"lol\">\n";
    for (int level = 1; level <= 9; ++level) {
        text += QStringLiteral(" <!ENTITY lol%1 \"").arg(level);
        const QString previous = level == 1 ? QStringLiteral("&lol;") : QStringLiteral("&lol%1;").arg(level - 1);
        text += previous.repeated(10) + "\">\n";
    }
    return text + "]>\n<lolz>&lol9;</lolz>\n";
}

// The source a row names: "" (unknown), or a form ("utf-8", "utf-16le", "utf-16be", "utf-32le",
// "latin-1") with "+bom" when the file had a byte-order mark. Latin-1 text maps one character
// to one byte, as a code page does.
Formatting::XMLSource sourceNamed(const QString &name)
{
    using Form = Formatting::XMLSource::Form;
    Formatting::XMLSource source;
    source.hadBOM = name.endsWith("+bom");
    const QString form = QString(name).remove("+bom");
    if (form == "utf-8")
        source.form = Form::Utf8;
    else if (form == "utf-16le")
        source.form = Form::Utf16LE;
    else if (form == "utf-16be")
        source.form = Form::Utf16BE;
    else if (form == "utf-32le")
        source.form = Form::Utf32LE;
    else if (form == "latin-1") {
        source.form = Form::SingleByte;
        source.encode = [](std::u16string_view text, std::string &out) {
            for (char16_t c : text) {
                if (c > 0xFF)
                    return false;
                out.push_back(char(c));
            }
            return true;
        };
    }
    return source;
}

} // namespace

class XmlValidationTest : public QObject {
    Q_OBJECT

private slots:
    void validate_data();
    void validate();
    void declaration_data();
    void declaration();
    void declaredEncoding_data();
    void declaredEncoding();
    void notUtf8Bytes_data();
    void notUtf8Bytes();
    void notUtf8Bytes_withoutEncoder_hasNoPosition();
    void validateFixtures_data();
    void validateFixtures();
    void hostileDeclarations_areLinear_data();
    void hostileDeclarations_areLinear();

    void externalEntity_fileIsNeverRead();
    void billionLaughs_failsWithoutExpanding();
    void quadraticBlowup_isRefused();
    void faults_printNothingOnStderr();
    void concurrentChecks_agree();
};

void XmlValidationTest::validate_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("blank_isEmpty") << " \n\t " << "empty";
    QTest::newRow("withoutDeclaration_parsedUnchanged") << "<a>caf\u00E9</a>" << "valid";
    QTest::newRow("latin1Declaration_bodyReadAsUtf8")
        << "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<a>\u00E9\u00E8 \u00FC</a>" << "valid";
    QTest::newRow("utf16DeclarationSingleQuotes_valid")
        << "<?xml version='1.0' encoding = 'UTF-16' standalone='yes'?><a>\u4E2D</a>" << "valid";
    QTest::newRow("unclosedElement_positionFromParser")
        << "<a>\n  <b>\n</a>" << "invalid: Opening and ending tag mismatch: b line 2 and a @ Line 3, Col 5";
    QTest::newRow("prematureEnd_lastPosition") << "<a>\n  <b>" << "invalid: Premature end of data in tag b line 2 @ Line 2, Col 6";
    QTest::newRow("textOnly_isInvalid") << "hello" << "invalid: Start tag expected, '<' not found @ Line 1, Col 1";
    QTest::newRow("faultAfterEncodingAttribute_exactColumn")
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?><a></b>"
        << "invalid: Opening and ending tag mismatch: a line 1 and b @ Line 1, Col 46";
    QTest::newRow("undeclaredNamespacePrefix_isWellFormedXml") << "<a><x:b/></a>" << "valid";
    QTest::newRow("notationWithoutIdentifier_invalidAtItsStart")
        << "<?xml version=\"1.0\"?>\n<!DOCTYPE doc [\n<!ELEMENT doc EMPTY>\n  <!NOTATION n >\n]>\n<doc/>"
        << "invalid: NOTATION declaration needs a SYSTEM or PUBLIC identifier @ Line 4, Col 3";
    QTest::newRow("notationWithoutIdentifierOrSpace_invalid")
        << "<!DOCTYPE doc [<!NOTATION n>]><doc/>" << "invalid: Space required after the NOTATION name' @ Line 1, Col 28";
    QTest::newRow("notationWithLineBreakBeforeClose_invalid")
        << "<!DOCTYPE doc [<!NOTATION n\t\n>]><doc/>"
        << "invalid: NOTATION declaration needs a SYSTEM or PUBLIC identifier @ Line 1, Col 16";
    QTest::newRow("notationWithSystemOrPublicIdentifier_valid")
        << "<!DOCTYPE doc [<!NOTATION a SYSTEM \"x\"><!NOTATION b PUBLIC \"p\"><!NOTATION c PUBLIC \"p\" \"s\">]><doc/>"
        << "valid";
    QTest::newRow("unpairedSurrogate_isEncodingError")
        << qs(std::u16string_view(u"<a>\n \xDC00</a>")) << "invalid: Encoding error @ Line 2, Col 2";
    QTest::newRow("nulCharacter_isInvalid")
        << qs(std::u16string_view(u"<a>\0</a>", 8)) << "invalid: Premature end of data in tag a line 1 @ Line 1, Col 4";
    QTest::newRow("nulAfterRoot_isInvalidNotEndOfText")
        << qs(std::u16string_view(u"<a/>\0junk", 9)) << "invalid: Char 0x0 out of allowed range @ Line 1, Col 5";
}

void XmlValidationTest::validate()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(dump(XMLValidator::validate(u16(text))), expected);
}

// pass_*.xml must be well formed; fail_*.xml must give the verdict of the matching .expected.
void XmlValidationTest::validateFixtures_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");
    const auto files = QDir(fixturePath("xml")).entryList({"*.xml"}, QDir::Files, QDir::Name);
    QVERIFY(files.size() >= 5);
    for (const QString &file : files) {
        QString expected = "valid";
        if (file.startsWith("fail_"))
            expected = readFixture("xml/" + QString(file).replace(".xml", ".expected")).trimmed();
        QTest::newRow(qPrintable(file)) << "xml/" + file << expected;
    }
}

void XmlValidationTest::validateFixtures()
{
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QCOMPARE(dump(XMLValidator::validate(u16(readFixture(name)))), expected);
}

// The XML declaration is read exactly: version first, then encoding, then standalone, names in
// lower case, quotes matched, white space only between them.
void XmlValidationTest::declaration_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    const QString rest = "\n<doc/>\n";
    QTest::newRow("allThreeInOrder_valid") << "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>" + rest << "valid";
    QTest::newRow("spacesAroundEquals_valid")
        << "<?xml version = '1.0' encoding\n=\t\"UTF-8\" standalone = 'yes' ?>" + rest << "valid";
    QTest::newRow("versionOneDotOne_valid") << "<?xml version=\"1.1\"?>" + rest << "valid";
    QTest::newRow("otherProcessingInstruction_notADeclaration") << "<?xml-stylesheet href=\"a\"?>" + rest << "valid";
    QTest::newRow("encodingBeforeVersion_invalid")
        << "<?xml encoding=\"UTF-8\" version=\"1.0\"?>" + rest << "invalid: Malformed declaration expecting version @ Line 1, Col 7";
    QTest::newRow("standaloneBeforeEncoding_invalid")
        << "<?xml version=\"1.0\" standalone=\"yes\" encoding=\"UTF-8\"?>" + rest
        << "invalid: parsing XML declaration: '?>' expected @ Line 1, Col 38";
    QTest::newRow("capitalisedEncoding_invalid")
        << "<?xml version=\"1.0\" Encoding=\"UTF-8\"?>" + rest << "invalid: parsing XML declaration: '?>' expected @ Line 1, Col 21";
    QTest::newRow("upperCaseEncoding_invalid")
        << "<?xml version='1.0' ENCODING='UTF-16'?>" + rest << "invalid: parsing XML declaration: '?>' expected @ Line 1, Col 21";
    QTest::newRow("capitalisedVersion_invalid")
        << "<?xml Version=\"1.0\"?>" + rest << "invalid: Malformed declaration expecting version @ Line 1, Col 7";
    QTest::newRow("noVersion_invalid") << "<?xml ?>" + rest << "invalid: Malformed declaration expecting version @ Line 1, Col 7";
    QTest::newRow("versionTwo_invalid") << "<?xml version=\"2.0\"?>" + rest << "invalid: Unsupported version '2.0' @ Line 1, Col 16";
    QTest::newRow("versionWithLetter_invalid")
        << "<?xml version=\"1.0a\"?>" + rest << "invalid: String not closed expecting \" @ Line 1, Col 19";
    QTest::newRow("mismatchedQuotes_invalid")
        << "<?xml version='1.0\" encoding='UTF-8'?>" + rest << "invalid: String not closed expecting ' @ Line 1, Col 19";
    QTest::newRow("unquotedEncoding_invalid")
        << "<?xml version=\"1.0\" encoding=UTF-8?>" + rest << "invalid: String not started expecting ' or \" @ Line 1, Col 30";
    QTest::newRow("noEquals_invalid") << "<?xml version \"1.0\"?>" + rest << "invalid: '=' expected @ Line 1, Col 15";
    QTest::newRow("noSpaceBeforeEncoding_invalid")
        << "<?xml version=\"1.0\"encoding=\"UTF-8\"?>" + rest << "invalid: Blank needed here @ Line 1, Col 20";
    QTest::newRow("standaloneUpperCaseValue_invalid")
        << "<?xml version=\"1.0\" standalone=\"YES\"?>" + rest << "invalid: standalone accepts only 'yes' or 'no' @ Line 1, Col 33";
    QTest::newRow("unknownAttribute_invalid")
        << "<?xml version=\"1.0\" foo=\"bar\"?>" + rest << "invalid: parsing XML declaration: '?>' expected @ Line 1, Col 21";
    QTest::newRow("unclosedDeclaration_atNextLine")
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"\n<doc/>" << "invalid: parsing XML declaration: '?>' expected @ Line 2, Col 1";
    // Encoding names follow [A-Za-z] ([A-Za-z0-9._] | '-')*; the fault is placed at the character.
    QTest::newRow("nameLeadingSpace_invalid")
        << "<?xml version=\"1.0\" encoding=\" UTF-8\"?>" + rest << "invalid: Invalid XML encoding name @ Line 1, Col 31";
    QTest::newRow("nameLeadingUnderscore_invalid")
        << "<?xml version=\"1.0\" encoding=\"_UTF-8\"?>" + rest << "invalid: Invalid XML encoding name @ Line 1, Col 31";
    QTest::newRow("nameLeadingDigit_invalid")
        << "<?xml version=\"1.0\" encoding=\"8859-1\"?>" + rest << "invalid: Invalid XML encoding name @ Line 1, Col 31";
    QTest::newRow("nameEmpty_invalid")
        << "<?xml version=\"1.0\" encoding=\"\"?>" + rest << "invalid: Invalid XML encoding name @ Line 1, Col 31";
    QTest::newRow("nameWithSlash_invalid")
        << "<?xml version=\"1.0\" encoding=\"UTF/8\"?>" + rest << "invalid: Invalid XML encoding name @ Line 1, Col 34";
    QTest::newRow("nameWithColon_invalid")
        << "<?xml version=\"1.0\" encoding=\"UTF:8\"?>" + rest << "invalid: Invalid XML encoding name @ Line 1, Col 34";
    QTest::newRow("nameWithAt_invalid")
        << "<?xml version=\"1.0\" encoding=\"UTF@8\"?>" + rest << "invalid: Invalid XML encoding name @ Line 1, Col 34";
    QTest::newRow("nameWithPlus_invalid")
        << "<?xml version=\"1.0\" encoding=\"UTF+8\"?>" + rest << "invalid: Invalid XML encoding name @ Line 1, Col 34";
    QTest::newRow("nameWithCharacterReference_invalid")
        << "<?xml version=\"1.0\" encoding=\"UTF-8&#41;\"?>" + rest << "invalid: Invalid XML encoding name @ Line 1, Col 36";
    QTest::newRow("nameTrailingSpace_invalid")
        << "<?xml version=\"1.0\" encoding=\"UTF-8 \"?>" + rest << "invalid: Invalid XML encoding name @ Line 1, Col 36";
    QTest::newRow("nameWithDotsAndUnderscores_valid") << "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>" + rest << "valid";
    QTest::newRow("nameUnknownToEveryDecoder_invalid")
        << "<?xml version=\"1.0\" encoding=\"x-no-such-encoding\"?>" + rest
        << "invalid: Unsupported encoding x-no-such-encoding @ Line 1, Col 31";
    QTest::newRow("nameVeryLong_unsupportedAndQuotedShort")
        << "<?xml version=\"1.0\" encoding=\"" + QString(70, 'a') + "\"?>" + rest
        << "invalid: Unsupported encoding " + QString(64, 'a') + QChar(0x2026) + " @ Line 1, Col 31";
    QTest::newRow("nameLowerCase_valid") << "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>" + rest << "valid";
}

void XmlValidationTest::declaration()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(dump(XMLValidator::validate(u16(text))), expected);
}

// The declared encoding against how the file's bytes were read.
void XmlValidationTest::declaredEncoding_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("expected");
    const auto declared = [](const QString &name) { return "<?xml version=\"1.0\" encoding=\"" + name + "\"?>\n<doc>\u00E9</doc>\n"; };
    QTest::newRow("utf16OnUtf8Bytes_invalid")
        << declared("UTF-16") << "utf-8" << "invalid: Document labelled UTF-16 but has UTF-8 content @ Line 1, Col 31";
    QTest::newRow("utf16OnUtf8BytesWithMark_invalid")
        << declared("utf16") << "utf-8+bom" << "invalid: Document labelled utf16 but has UTF-8 content @ Line 1, Col 31";
    QTest::newRow("utf16OnCodePageBytes_invalid")
        << declared("UTF-16") << "latin-1" << "invalid: Document labelled UTF-16 but has 8-bit content @ Line 1, Col 31";
    QTest::newRow("utf16LeOnUtf8Bytes_invalid")
        << declared("UTF-16LE") << "utf-8" << "invalid: Document labelled UTF-16LE but has UTF-8 content @ Line 1, Col 31";
    QTest::newRow("ucs4OnUtf8Bytes_invalid")
        << declared("UCS-4") << "utf-8" << "invalid: Document labelled UCS-4 but has UTF-8 content @ Line 1, Col 31";
    QTest::newRow("ebcdicOnUtf8Bytes_invalid")
        << declared("EBCDIC-US") << "utf-8" << "invalid: Document labelled EBCDIC-US but has UTF-8 content @ Line 1, Col 31";
    QTest::newRow("utf16WithoutSource_valid") << declared("UTF-16") << "" << "valid";
    QTest::newRow("utf16OnUtf16WithMark_valid") << declared("UTF-16") << "utf-16le+bom" << "valid";
    QTest::newRow("utf16OnUtf16BigEndianWithMark_valid") << declared("UTF-16") << "utf-16be+bom" << "valid";
    QTest::newRow("utf16LeOnUtf16Le_valid") << declared("UTF-16LE") << "utf-16le+bom" << "valid";
    QTest::newRow("ucs2OnUtf16Le_valid") << declared("ISO-10646-UCS-2") << "utf-16le+bom" << "valid";
    QTest::newRow("utf8OnUtf16_validAsLibxml2Reads") << declared("UTF-8") << "utf-16le+bom" << "valid";
    QTest::newRow("utf16BeOnUtf16Le_invalid")
        << declared("UTF-16BE") << "utf-16le+bom" << "invalid: Document labelled UTF-16BE but has UTF-16LE content @ Line 1, Col 31";
    QTest::newRow("latin1OnUtf16_invalid")
        << declared("ISO-8859-1") << "utf-16be+bom" << "invalid: Document labelled ISO-8859-1 but has UTF-16BE content @ Line 1, Col 31";
    QTest::newRow("latin1OnLatin1_valid") << declared("ISO-8859-1") << "latin-1" << "valid";
    QTest::newRow("latin1OnUtf8_validAsDecoded") << declared("ISO-8859-1") << "utf-8" << "valid";
    QTest::newRow("windows1252OnUtf8WithMark_valid") << declared("windows-1252") << "utf-8+bom" << "valid";
    QTest::newRow("unknownNameOnUtf16_invalid")
        << declared("x-unknown") << "utf-16le+bom" << "invalid: Unsupported encoding x-unknown @ Line 1, Col 31";
    QTest::newRow("utf32WithMark_valid") << declared("UTF-32") << "utf-32le+bom" << "valid";
    QTest::newRow("utf16WithoutMarkOrDeclaration_invalid")
        << "<doc>\u00E9</doc>" << "utf-16le" << "invalid: Document is UTF-16 without a byte-order mark or an XML declaration @ Line 1, Col 1";
    QTest::newRow("utf16WithoutMarkWithDeclaration_valid") << "<?xml version=\"1.0\"?><doc/>" << "utf-16le" << "valid";
    QTest::newRow("utf16WithMarkNoDeclaration_valid") << "<doc>\u00E9</doc>" << "utf-16be+bom" << "valid";
}

void XmlValidationTest::declaredEncoding()
{
    QFETCH(QString, text);
    QFETCH(QString, source);
    QFETCH(QString, expected);
    QCOMPARE(dump(XMLValidator::validate(u16(text), sourceNamed(source))), expected);
}

// A file that is not UTF-8 was read from a code page; when its declaration says UTF-8 (or says
// nothing) the first bad bytes are the fault. Each character of a Latin-1 text is one byte.
void XmlValidationTest::notUtf8Bytes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    const QString utf8 = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    QTest::newRow("encodedSurrogates_invalidAtTheirCharacter")
        << utf8 + "<doc>\u00ED\u00A0\u0080\u00ED\u00B0\u0080</doc>"
        << "invalid: Input is not proper UTF-8, indicate encoding ! Bytes: 0xED 0xA0 0x80 0xED @ Line 2, Col 6";
    QTest::newRow("aboveLastCodePoint_invalid")
        << utf8 + "<doc>\u00F4\u0090\u0080\u0080</doc>"
        << "invalid: Input is not proper UTF-8, indicate encoding ! Bytes: 0xF4 0x90 0x80 0x80 @ Line 2, Col 6";
    QTest::newRow("ffFeInElement_invalid")
        << "<?xml version=\"1.0\"?>\n<doc>\u00FF\u00FE</doc>"
        << "invalid: Input is not proper UTF-8, indicate encoding ! Bytes: 0xFF 0xFE 0x3C 0x2F @ Line 2, Col 6";
    QTest::newRow("overlongSlash_invalid")
        << "<doc>\u00C0\u00AF</doc>" << "invalid: Input is not proper UTF-8, indicate encoding ! Bytes: 0xC0 0xAF 0x3C 0x2F @ Line 1, Col 6";
    QTest::newRow("validSequencesFirst_faultOnLine3")
        << "<doc>\n  <a>\u00C3\u00A9</a>\n  <b>x\u00E9y</b>\n</doc>"
        << "invalid: Input is not proper UTF-8, indicate encoding ! Bytes: 0xE9 0x79 0x3C 0x2F @ Line 3, Col 7";
    QTest::newRow("truncatedAtEnd_invalid")
        << "<doc/>\u00E2\u0082" << "invalid: Input is not proper UTF-8, indicate encoding ! Bytes: 0xE2 0x82 @ Line 1, Col 7";
    QTest::newRow("byteFaultBeforeLaterSyntaxFault_bytesReported")
        << "<doc>\u00E9\n</b>" << "invalid: Input is not proper UTF-8, indicate encoding ! Bytes: 0xE9 0x0A 0x3C 0x2F @ Line 1, Col 6";
    QTest::newRow("latin1Declared_valid") << "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<doc>caf\u00E9</doc>" << "valid";
    QTest::newRow("asciiOnly_valid") << "<doc>plain</doc>" << "valid";
}

void XmlValidationTest::notUtf8Bytes()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(dump(XMLValidator::validate(u16(text), sourceNamed("latin-1"))), expected);
}

void XmlValidationTest::notUtf8Bytes_withoutEncoder_hasNoPosition()
{
    Formatting::XMLSource source;
    source.form = Formatting::XMLSource::Form::SingleByte;
    QCOMPARE(dump(XMLValidator::validate(u"<doc>\u00E9</doc>", source)),
             QStringLiteral("invalid: Input is not proper UTF-8, indicate encoding ! @ Error"));
}

void XmlValidationTest::hostileDeclarations_areLinear_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("longSpaceRunInDeclaration")
        << "<?xml" + QString(2'000'000, ' ') + "version=\"1.0\"" + QString(2'000'000, '\n') + "?><a/>" << "valid";
    QTest::newRow("longVersionDigits") << "<?xml version=\"1." + QString(2'000'000, '7') + "\"?><a/>" << "valid";
    QTest::newRow("longEncodingName")
        << "<?xml version=\"1.0\" encoding=\"a" + QString(2'000'000, 'b') + "\"?><a/>"
        << "invalid: Unsupported encoding a" + QString(63, 'b') + QChar(0x2026) + " @ Line 1, Col 31";
    QTest::newRow("manyDeclarationStarts") << QString("<?xml ").repeated(400'000)
                                           << "invalid: Malformed declaration expecting version @ Line 1, Col 7";
}

void XmlValidationTest::hostileDeclarations_areLinear()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    // Quadratic behaviour would take hours here (and trip the test's time-out).
    QCOMPARE(dump(XMLValidator::validate(u16(text))), expected);
}

void XmlValidationTest::externalEntity_fileIsNeverRead()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString secret = dir.filePath("secret.xml");
    {
        // Malformed on purpose: were it read, parsing it would make the document invalid.
        QFile file(secret);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("<unclosed>&amp");
    }
    const QString url = "file://" + secret;
    const QString general = "<?xml version=\"1.0\"?>\n<!DOCTYPE r [<!ENTITY x SYSTEM \"" + url + "\">]>\n<r>&x;</r>";
    const QString parameter = "<?xml version=\"1.0\"?>\n<!DOCTYPE r [<!ENTITY % p SYSTEM \"" + url + "\"> %p;]>\n<r/>";
    const QString externalDtd = "<?xml version=\"1.0\"?>\n<!DOCTYPE r SYSTEM \"" + url + "\">\n<r/>";
    const QString network = "<?xml version=\"1.0\"?>\n<!DOCTYPE r SYSTEM \"http://127.0.0.1:9/x.dtd\">\n<r/>";
    QCOMPARE(dump(XMLValidator::validate(u16(general))), QStringLiteral("valid"));
    QCOMPARE(dump(XMLValidator::validate(u16(parameter))), QStringLiteral("valid"));
    QCOMPARE(dump(XMLValidator::validate(u16(externalDtd))), QStringLiteral("valid"));
    QCOMPARE(dump(XMLValidator::validate(u16(network))), QStringLiteral("valid"));
}

void XmlValidationTest::billionLaughs_failsWithoutExpanding()
{
    const auto result = XMLValidator::validate(u16(billionLaughs()));
    QCOMPARE(result.isInvalid(), true);
    // The fault is placed in the document (the reference), not inside an entity's text.
    QCOMPARE(result.error()->line, std::optional<std::int64_t>(14));
}

void XmlValidationTest::quadraticBlowup_isRefused()
{
    // One 50 000-character entity referenced 50 000 times: 2.5 * 10^9 characters if expanded,
    // and libxml2 would re-read the entity at every reference.
    QString text = "<?xml version=\"1.0\"?>\n<!DOCTYPE r [<!ENTITY big \"" + QString(50'000, 'x') + "\">]>\n<r>";
    text += QString("&big;").repeated(50'000) + "</r>";
    QCOMPARE(dump(XMLValidator::validate(u16(text))),
             QStringLiteral("invalid: Entity references expand to too much text @ Line 3, Col 539"));
    // Moderate use of entities stays valid.
    QString moderate = "<!DOCTYPE r [<!ENTITY e \"" + QString(1000, 'y') + "\">]>\n<r>";
    moderate += QString("&e;").repeated(2000) + "</r>";
    QCOMPARE(dump(XMLValidator::validate(u16(moderate))), QStringLiteral("valid"));
}

void XmlValidationTest::faults_printNothingOnStderr()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray path = dir.filePath("stderr.txt").toLocal8Bit();
    const int capture = ::open(path.constData(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
    QVERIFY(capture >= 0);
    std::fflush(stderr);
    const int saved = ::dup(2);
    ::dup2(capture, 2);
    const QStringList documents = {"<a>\n<b>", "<a>&nope;</a>", billionLaughs(), "<?xml version=\"9\"?><a/>",
                                   "<a xmlns:x=\"rel\"><x:b/></a>", "<a><c:d/></a>", "<!DOCTYPE a SYSTEM \"/etc/passwd\"><a/>",
                                   "<?xml version=\"1.0\" encoding=\"EBCDIC-US\"?><a/>",
                                   "<!DOCTYPE a [<!NOTATION n >]><a/>"};
    int invalid = 0;
    for (const QString &document : documents)
        invalid += XMLValidator::validate(u16(document), sourceNamed("utf-8")).isInvalid() ? 1 : 0;
    std::fflush(stderr);
    ::dup2(saved, 2);
    ::close(saved);
    ::close(capture);
    QFile written(QString::fromLocal8Bit(path));
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), QByteArray());
    // The unclosed tag, the undefined entity, the laughs, version 9, EBCDIC, the notation.
    QCOMPARE(invalid, 6);
}

void XmlValidationTest::concurrentChecks_agree()
{
    const QStringList documents = {readFixture("xml/pass_plist.xml"), readFixture("xml/fail_unclosedElement.xml"),
                                   billionLaughs(), readFixture("xml/pass_internalEntity.xml")};
    std::vector<QString> expected;
    for (const QString &document : documents)
        expected.push_back(dump(XMLValidator::validate(u16(document))));
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < 50; ++round) {
                const int which = (t + round) % int(documents.size());
                if (dump(XMLValidator::validate(u16(documents[which]))) != expected[std::size_t(which)])
                    ++mismatches;
            }
        });
    for (auto &thread : threads)
        thread.join();
    QCOMPARE(mismatches.load(), 0);
}

QTEST_GUILESS_MAIN(XmlValidationTest)
#include "tst_xmlvalidation.moc"
