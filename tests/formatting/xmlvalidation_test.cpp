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

} // namespace

class XmlValidationTest : public QObject {
    Q_OBJECT

private slots:
    void validate_data();
    void validate();
    void validateFixtures_data();
    void validateFixtures();
    void encodingDeclaration_data();
    void encodingDeclaration();
    void encodingDeclaration_hostileText_isLinear_data();
    void encodingDeclaration_hostileText_isLinear();

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
    QTest::newRow("utf16DeclarationUpperCaseSingleQuotes_valid")
        << "<?xml version='1.0' ENCODING = 'UTF-16' standalone='yes'?><a>\u4E2D</a>" << "valid";
    QTest::newRow("mixedCaseAttribute_valid") << "<?xml version=\"1.0\" Encoding=\"windows-1252\"?><a/>" << "valid";
    QTest::newRow("unclosedElement_positionFromParser")
        << "<a>\n  <b>\n</a>" << "invalid: Opening and ending tag mismatch: b line 2 and a @ Line 3, Col 5";
    QTest::newRow("prematureEnd_lastPosition") << "<a>\n  <b>" << "invalid: Premature end of data in tag b line 2 @ Line 2, Col 6";
    QTest::newRow("textOnly_isInvalid") << "hello" << "invalid: Start tag expected, '<' not found @ Line 1, Col 1";
    QTest::newRow("removedAttribute_shiftsColumnsOnItsLine")
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?><a></b>"
        << "invalid: Opening and ending tag mismatch: a line 1 and b @ Line 1, Col 29";
    QTest::newRow("undeclaredNamespacePrefix_isWellFormedXml") << "<a><x:b/></a>" << "valid";
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

void XmlValidationTest::encodingDeclaration_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected"); // The text after removal; "-" when nothing matches.
    QTest::newRow("doubleQuotes_removed") << "<?xml version=\"1.0\" encoding=\"UTF-8\"?><a/>" << "<?xml version=\"1.0\"?><a/>";
    QTest::newRow("singleQuotes_removed") << "<?xml version='1.0' encoding='latin1' ?>" << "<?xml version='1.0' ?>";
    QTest::newRow("upperCase_removed") << "<?XML VERSION=\"1.0\" ENCODING=\"X\"?>" << "<?XML VERSION=\"1.0\"?>";
    QTest::newRow("spacesAroundEquals_removed") << "<?xml version=\"1.0\"\n  encoding =\t\"X\"?>" << "<?xml version=\"1.0\"?>";
    QTest::newRow("onlyFirstMatch_removed")
        << "<?xml encoding=\"A\"?><?xml encoding=\"B\"?>" << "<?xml?><?xml encoding=\"B\"?>";
    QTest::newRow("laterInText_found") << "<a/>\n<?xml version=\"1.0\" encoding=\"X\"?>" << "<a/>\n<?xml version=\"1.0\"?>";
    QTest::newRow("valueWithGreaterThan_removed") << "<?xml encoding=\"a>b\"?>" << "<?xml?>";
    QTest::newRow("unquotedValue_notMatched") << "<?xml version=\"1.0\" encoding=UTF-8?>" << "-";
    QTest::newRow("noSpaceBeforeAttribute_notMatched") << "<?xml version=\"1.0\"encoding=\"X\"?>" << "-";
    QTest::newRow("declarationNotClosed_notMatched") << "<?xml version=\"1.0\" encoding=\"X\"> <a/>" << "-";
    QTest::newRow("firstFailsSecondMatches") << "<?xml encoding=X?><?xml encoding='Y'?>" << "<?xml encoding=X?><?xml?>";
    QTest::newRow("otherProcessingInstruction_skipped")
        << "<?xml-stylesheet href=\"a\"?><?xml version=\"1.0\" encoding=\"X\"?>"
        << "<?xml-stylesheet href=\"a\"?><?xml version=\"1.0\"?>";
    QTest::newRow("noDeclaration_notMatched") << "<a>encoding=\"x\"?></a>" << "-";
}

void XmlValidationTest::encodingDeclaration()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    const std::u16string source = u16(text);
    const auto found = XMLValidator::encodingDeclaration(source);
    QString result = "-";
    if (found)
        result = qs(std::u16string_view(source).substr(0, found->removedBegin))
                 + qs(std::u16string_view(source).substr(found->removedEnd));
    QCOMPARE(result, expected);
}

void XmlValidationTest::encodingDeclaration_hostileText_isLinear_data()
{
    QTest::addColumn<QString>("text");
    const int count = 400'000;
    QTest::newRow("manyOpenDeclarations") << QString("<?xml").repeated(count);
    QTest::newRow("manyDeclarationsWithoutClosingQuote") << QString("<?xml encoding=\"").repeated(count) + ">";
    QTest::newRow("manyDeclarationsWithFarQuote") << QString("<?xml encoding='a ").repeated(count) + "'>";
    QTest::newRow("longSpaceRunBeforeNonAttribute") << "<?xml" + QString(2'000'000, ' ') + "encodinx=\"a\"?>";
    QTest::newRow("longSpaceRunsBeforeFailingTail")
        << QString("<?xml" + QString(1000, ' ') + "encoding=\"a\">").repeated(2000);
}

void XmlValidationTest::encodingDeclaration_hostileText_isLinear()
{
    QFETCH(QString, text);
    const std::u16string source = u16(text);
    // Quadratic behaviour would take hours here (and trip the test's time-out).
    QCOMPARE(XMLValidator::encodingDeclaration(source).has_value(), false);
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
                                   "<a xmlns:x=\"rel\"><x:b/></a>", "<a><c:d/></a>", "<!DOCTYPE a SYSTEM \"/etc/passwd\"><a/>"};
    int invalid = 0;
    for (const QString &document : documents)
        invalid += XMLValidator::validate(u16(document)).isInvalid() ? 1 : 0;
    std::fflush(stderr);
    ::dup2(saved, 2);
    ::close(saved);
    ::close(capture);
    QFile written(QString::fromLocal8Bit(path));
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), QByteArray());
    QCOMPARE(invalid, 4); // The unclosed tag, the undefined entity, the laughs, version 9.
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
#include "xmlvalidation_test.moc"
