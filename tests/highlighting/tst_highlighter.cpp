// The shared scanning helpers, the frame (kinds, size ceiling, buffer contract) and the
// documented examples of each kind, as table rows of input and marked output.
#include "highlighting/syntaxdump.h"
#include "highlighting/syntaxhighlighter.h"

#include <QTest>

#include <optional>
#include <string>
#include <vector>

using Documents::DocKind;
using Highlighting::SyntaxClass;
namespace SH = Highlighting::SyntaxHighlighter;

Q_DECLARE_METATYPE(std::optional<SH::Range>)

namespace QTest {
template<>
char *toString(const std::optional<SH::Range> &range)
{
    if (!range)
        return qstrdup("none");
    return qstrdup(QByteArray::number(qulonglong(range->start)) + "+" + QByteArray::number(qulonglong(range->length)));
}
} // namespace QTest

namespace {

std::u16string u16(const QString &text)
{
    return std::u16string(reinterpret_cast<const char16_t *>(text.utf16()), std::size_t(text.size()));
}

QString marked(DocKind kind, const QString &input)
{
    const std::u16string text = u16(input);
    std::vector<std::uint8_t> classes(text.size(), 0xEE); // Garbage: the frame must reset it.
    SH::highlight(kind, text, classes);
    return QString::fromStdString(Highlighting::markedText(text, classes));
}

DocKind kindFromLabel(const QString &label)
{
    DocKind kind = DocKind::Txt;
    if (!DocKind::fromLabel(label.toStdString(), kind))
        qFatal("unknown kind %s", qPrintable(label));
    return kind;
}

} // namespace

class HighlighterTest : public QObject {
    Q_OBJECT

private slots:
    // ---- scanNumber --------------------------------------------------------------------------

    void scanNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("limit"); // -1: no limit.
        QTest::addColumn<int>("expectedEnd");
        QTest::newRow("signedFractionExponent_whole") << "-12.5e+3," << 0 << -1 << 8;
        QTest::newRow("trailingDot_included") << "7." << 0 << -1 << 2;
        QTest::newRow("dotThenLetter_dotIncluded") << "7.x" << 0 << -1 << 2;
        QTest::newRow("bareExponent_included") << "1e" << 0 << -1 << 2;
        QTest::newRow("exponentSignNoDigits_included") << "1e-]" << 0 << -1 << 3;
        QTest::newRow("leadingDotAfterSign_literal") << "-.5" << 0 << -1 << 3;
        QTest::newRow("signAlone_none") << "-" << 0 << -1 << 0;
        QTest::newRow("dotAlone_none") << "." << 0 << -1 << 0;
        QTest::newRow("signDot_none") << "-.x" << 0 << -1 << 0;
        QTest::newRow("plusDigits_literal") << "+42 " << 0 << -1 << 3;
        QTest::newRow("signExponent_none") << "-e5" << 0 << -1 << 0;
        QTest::newRow("dotBeforeExponent_literal") << "1.e5" << 0 << -1 << 4;
        QTest::newRow("digitsReachLimit_limit") << "12345" << 0 << 3 << 3;
        QTest::newRow("fractionReachesLimit_limit") << "1.2345" << 0 << 4 << 4;
        QTest::newRow("signAtLimit_none") << "-5" << 0 << 1 << 0;
        QTest::newRow("startAtLimit_none") << "5" << 1 << -1 << 1;
        QTest::newRow("midText_fromStart") << "ab12cd" << 2 << -1 << 4;
        QTest::newRow("letter_none") << "x1" << 0 << -1 << 0;
        QTest::newRow("limitPastText_clamped") << "12" << 0 << 99 << 2;
        QTest::newRow("nonAsciiDigit_none") << QString::fromUtf8("\u0663") << 0 << -1 << 0;
    }

    void scanNumber()
    {
        QFETCH(QString, text);
        QFETCH(int, start);
        QFETCH(int, limit);
        QFETCH(int, expectedEnd);
        const std::u16string units = u16(text);
        const std::size_t end = limit < 0 ? SH::scanNumber(units, std::size_t(start))
                                          : SH::scanNumber(units, std::size_t(start), std::size_t(limit));
        QCOMPARE(end, std::size_t(expectedEnd));
    }

    // ---- isNumericString ---------------------------------------------------------------------

    void isNumericString_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("numeric");
        QTest::newRow("empty_no") << "" << false;
        QTest::newRow("integer_yes") << "42" << true;
        QTest::newRow("leadingZeros_yes") << "08080" << true;
        QTest::newRow("negative_yes") << "-7" << true;
        QTest::newRow("plus_yes") << "+7" << true;
        QTest::newRow("leadingDot_yes") << ".5" << true;
        QTest::newRow("trailingDot_yes") << "5." << true;
        QTest::newRow("exponent_yes") << "1e3" << true;
        QTest::newRow("exponentSigned_yes") << "1.5E-3" << true;
        QTest::newRow("exponentWithoutDigits_no") << "1e" << false;
        QTest::newRow("exponentSignOnly_no") << "1e+" << false;
        QTest::newRow("dotAlone_no") << "." << false;
        QTest::newRow("signAlone_no") << "-" << false;
        QTest::newRow("twoDots_no") << "1.2.3" << false;
        QTest::newRow("letterDigit_no") << "a1" << false;
        QTest::newRow("inf_yes") << "inf" << true;
        QTest::newRow("infMixedCase_yes") << "InF" << true;
        QTest::newRow("infinity_yes") << "-Infinity" << true;
        QTest::newRow("infin_no") << "infin" << false;
        QTest::newRow("nan_yes") << "NaN" << true;
        QTest::newRow("nanPayload_yes") << "nan(0x12_ab)" << true;
        QTest::newRow("nanBadPayload_no") << "nan(1 2)" << false;
        QTest::newRow("nanUnclosed_no") << "nan(12" << false;
        QTest::newRow("hexPrefix_yes") << "0x1F" << true;
        QTest::newRow("hexPrefixAnything_yes") << "0xZZ top" << true;
        QTest::newRow("hexPrefixAlone_yes") << "0X" << true;
        QTest::newRow("signedHex_yes") << "-0x1F" << true;
        QTest::newRow("signedHexFloat_yes") << "+0x1.8p3" << true;
        QTest::newRow("signedHexNoDigits_no") << "-0x" << false;
        QTest::newRow("signedHexBadExponent_no") << "-0x1p" << false;
        QTest::newRow("leadingSpace_no") << " 5" << false;
        QTest::newRow("trailingSpace_no") << "5 " << false;
        QTest::newRow("trailingCarriageReturn_no") << "5\r" << false;
        QTest::newRow("arabicDigit_no") << QString::fromUtf8("\u0665") << false;
        QTest::newRow("hugeExponent_yes") << "1e99999" << true;
    }

    void isNumericString()
    {
        QFETCH(QString, text);
        QFETCH(bool, numeric);
        QCOMPARE(SH::isNumericString(u16(text)), numeric);
    }

    // ---- trimmedRange, isFenceLine -----------------------------------------------------------

    void trimmedRange_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("end");
        QTest::addColumn<std::optional<SH::Range>>("expected");
        QTest::newRow("blanksBothEnds_stripped") << " \tab \t" << 0 << 6 << std::optional(SH::Range{2, 2});
        QTest::newRow("onlyBlanks_none") << " \t " << 0 << 3 << std::optional<SH::Range>();
        QTest::newRow("empty_none") << "abc" << 1 << 1 << std::optional<SH::Range>();
        QTest::newRow("noBlanks_same") << "xabcx" << 1 << 4 << std::optional(SH::Range{1, 3});
        QTest::newRow("noBreakSpace_kept") << QString::fromUtf8("\u00A0a ") << 0 << 3 << std::optional(SH::Range{0, 2});
        QTest::newRow("lineFeed_kept") << "\na" << 0 << 2 << std::optional(SH::Range{0, 2});
    }

    void trimmedRange()
    {
        QFETCH(QString, text);
        QFETCH(int, start);
        QFETCH(int, end);
        QFETCH(std::optional<SH::Range>, expected);
        QCOMPARE(SH::trimmedRange(u16(text), std::size_t(start), std::size_t(end)), expected);
    }

    void isFenceLine_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("fence");
        QTest::newRow("backquotes_yes") << "```" << true;
        QTest::newRow("tildesWithLanguage_yes") << "~~~python" << true;
        QTest::newRow("indentedBlanks_yes") << " \t```" << true;
        QTest::newRow("twoBackquotes_no") << "``" << false;
        QTest::newRow("mixed_no") << "`~`" << false;
        QTest::newRow("blankLine_no") << "   " << false;
        QTest::newRow("empty_no") << "" << false;
        QTest::newRow("textFirst_no") << "a```" << false;
    }

    void isFenceLine()
    {
        QFETCH(QString, line);
        QFETCH(bool, fence);
        const std::u16string text = u16(line);
        QCOMPARE(SH::isFenceLine(text, 0, text.size()), fence);
    }

    // ---- The frame ---------------------------------------------------------------------------

    void frame_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("routineRan");
        QTest::addColumn<QString>("expected");
        QTest::newRow("csv_uncoloured") << "CSV" << "\"a\",1,true" << false << "\"a\",1,true";
        QTest::newRow("txt_uncoloured") << "TXT" << "{\"a\": 1}" << false << "{\"a\": 1}";
        QTest::newRow("emptyJson_nothing") << "JSON" << "" << true << "";
        QTest::newRow("emptyYaml_nothing") << "YAML" << "" << true << "";
        QTest::newRow("ndjson_likeJson") << "NDJSON" << "{\"a\":1}\n{\"b\"\n:2}"
                                         << true << "«punctuation:{»«property:\"a\"»«punctuation::»«number:1»«punctuation:}»\n"
                                                    "«punctuation:{»«string:\"b\"»\n«punctuation::»«number:2»«punctuation:}»";
        QTest::newRow("yamlPerLine_lastLineWithoutFeed")
            << "YAML" << "a: 1\nb: true" << true << "«property:a»«punctuation::» «number:1»\n«property:b»«punctuation::» «constant:true»";
        QTest::newRow("logPerLine_emptyLinesSkipped")
            << "LOG" << "\n\nERROR\n" << true << "\n\n«constant:ERROR»\n";
        QTest::newRow("carriageReturn_ordinaryUnit")
            << "YAML" << "k: 5\r\n" << true << "«property:k»«punctuation::» 5\r\n";
    }

    void frame()
    {
        QFETCH(QString, kind);
        QFETCH(QString, text);
        QFETCH(bool, routineRan);
        QFETCH(QString, expected);
        const std::u16string units = u16(text);
        std::vector<std::uint8_t> classes(units.size(), 0xEE);
        QCOMPARE(SH::highlight(kindFromLabel(kind), units, classes), routineRan);
        QCOMPARE(QString::fromStdString(Highlighting::markedText(units, classes)), expected);
    }

    void sizeCeiling_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("coloured");
        QTest::newRow("exactlyTwoMillion_coloured") << int(SH::maximumLength) << true;
        QTest::newRow("twoMillionAndOne_baseOnly") << int(SH::maximumLength) + 1 << false;
    }

    void sizeCeiling()
    {
        QFETCH(int, length);
        QFETCH(bool, coloured);
        std::u16string text(std::size_t(length), u' ');
        text.replace(0, 5, u"[1,2]");
        std::vector<std::uint8_t> classes(text.size(), 0xEE);
        QCOMPARE(SH::highlight(DocKind::Json, text, classes), coloured);
        QCOMPARE(classes[0], std::uint8_t(coloured ? SyntaxClass::Punctuation : SyntaxClass::Base));
        QCOMPARE(classes[1], std::uint8_t(coloured ? SyntaxClass::Number : SyntaxClass::Base));
        QCOMPARE(classes.back(), std::uint8_t(SyntaxClass::Base));
    }

    void shortBuffer_writesNothing()
    {
        const std::u16string text = u"[1]";
        std::vector<std::uint8_t> classes(2, 0xEE);
        QCOMPARE(SH::highlight(DocKind::Json, text, classes), false);
        QCOMPARE(classes, std::vector<std::uint8_t>(2, 0xEE));
        SH::highlightJSON(text, classes);
        SH::highlightLogLine(text, 0, 3, classes);
        QCOMPARE(classes, std::vector<std::uint8_t>(2, 0xEE));
    }

    void longerBuffer_tailUntouched()
    {
        const std::u16string text = u"[1]";
        std::vector<std::uint8_t> classes(5, 0xEE);
        QCOMPARE(SH::highlight(DocKind::Json, text, classes), true);
        QCOMPARE(classes, (std::vector<std::uint8_t>{5, 3, 5, 0xEE, 0xEE}));
    }

    void lineRoutines_badBoundsWriteNothing()
    {
        const std::u16string text = u"ERROR";
        std::vector<std::uint8_t> classes(text.size(), 0);
        SH::highlightLogLine(text, 3, 2, classes);
        SH::highlightLogLine(text, 0, 6, classes);
        SH::highlightYAMLLine(text, 0, 99, classes);
        QCOMPARE(classes, std::vector<std::uint8_t>(text.size(), 0));
    }

    void laterColouringReplacesEarlier()
    {
        // The routines colour on top of what the buffer holds, leaving other bytes alone.
        const std::u16string text = u"x: 1";
        std::vector<std::uint8_t> classes(text.size(), std::uint8_t(SyntaxClass::Comment));
        SH::highlightYAMLLine(text, 0, text.size(), classes);
        QCOMPARE(classes, (std::vector<std::uint8_t>{6, 5, 4, 3}));
    }

    // ---- Documented examples per kind --------------------------------------------------------

    void examples_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        // JSON
        QTest::newRow("json_objectWithArray_allClasses")
            << "JSON" << "{\"a\": 1, \"b\": [true, null, -2.5e3]}"
            << "«punctuation:{»«property:\"a\"»«punctuation::» «number:1»«punctuation:,» «property:\"b\"»«punctuation::» "
               "«punctuation:[»«constant:true»«punctuation:,» «constant:null»«punctuation:,» «number:-2.5e3»«punctuation:]}»";
        QTest::newRow("json_colonOnNextLine_isString") << "JSON" << "\"k\"\n: 1"
                                                       << "«string:\"k\"»\n«punctuation::» «number:1»";
        QTest::newRow("json_escapedQuote_continues") << "JSON" << "\"a\\\"b\" x" << "«string:\"a\\\"b\"» x";
        QTest::newRow("json_backslashLastUnit_endsString") << "JSON" << "\"a\\" << "«string:\"a\\»";
        QTest::newRow("json_signAfterBracket_number") << "JSON" << "[1,-2]"
                                                     << "«punctuation:[»«number:1»«punctuation:,»«number:-2»«punctuation:]»";
        QTest::newRow("json_signAfterLetter_digitOnly") << "JSON" << "a-2" << "a-«number:2»";
        QTest::newRow("json_signAfterNul_number") << "JSON" << QString(QChar(0)) + "-2" << QString(QChar(0)) + "«number:-2»";
        QTest::newRow("json_signAtStart_number") << "JSON" << "-2" << "«number:-2»";
        QTest::newRow("json_literalAtEnd_constant") << "JSON" << "[null" << "«punctuation:[»«constant:null»";
        QTest::newRow("json_literalPrefix_none") << "JSON" << "nullable trueish" << "nullable trueish";
        QTest::newRow("json_capitalised_none") << "JSON" << "True NULL" << "True NULL";
        QTest::newRow("json_literalAfterWord_none") << "JSON" << "_true" << "_true";
        QTest::newRow("json_digitInWord_number") << "JSON" << "abc1" << "abc«number:1»";
        QTest::newRow("json_lineComment_toLineEnd") << "JSON" << "1 // two 2\n3" << "«number:1» «comment:// two 2»\n«number:3»";
        QTest::newRow("json_nonAsciiBeforeSign_noNumber") << "JSON" << QString::fromUtf8("é-1") << QString::fromUtf8("é-«number:1»");
        // TOML
        QTest::newRow("toml_trailingComment_uncoloured") << "TOML" << "name = \"v\" # note"
                                                       << "«property:name» «punctuation:=» «string:\"v\"» # note";
        QTest::newRow("toml_commentLine") << "TOML" << "# a = 1" << "«comment:# a = 1»";
        QTest::newRow("toml_table_type") << "TOML" << "[server]" << "«type:[server]»";
        QTest::newRow("toml_indentedKeyNoSpaces") << "TOML" << "  port=8080" << "  «property:port»«punctuation:=»«number:8080»";
        QTest::newRow("toml_literalStringBackslash_skips")
            << "TOML" << "x = 'C:\\path'" << "«property:x» «punctuation:=» «string:'C:\\path'»";
        QTest::newRow("toml_hashAfterBlankInKey_comment") << "TOML" << "a #b = 1" << "a «comment:#b = 1»";
        QTest::newRow("toml_hashInQuotedKey_kept") << "TOML" << "\"a #b\" = 1"
                                                  << "«property:\"a #b\"» «punctuation:=» «number:1»";
        QTest::newRow("toml_date_threeNumbers") << "TOML" << "d = 1979-05-27"
                                                << "«property:d» «punctuation:=» «number:1979-05-27»";
        QTest::newRow("toml_booleanAtValueEnd_constant") << "TOML" << "b =false" << "«property:b» «punctuation:=»«constant:false»";
        // YAML
        QTest::newRow("yaml_trailingComment") << "YAML" << "key: value # note"
                                              << "«property:key»«punctuation::» value «comment:# note»";
        QTest::newRow("yaml_timeValue_uncoloured") << "YAML" << "time: 10:30" << "«property:time»«punctuation::» 10:30";
        QTest::newRow("yaml_listKeyQuotedHash") << "YAML" << "- name: \"a # b\""
                                                << "«punctuation:-» «property:name»«punctuation::» «string:\"a # b\"»";
        QTest::newRow("yaml_yes_constant") << "YAML" << "enabled: Yes" << "«property:enabled»«punctuation::» «constant:Yes»";
        QTest::newRow("yaml_leadingZeros_number") << "YAML" << "port: 08080" << "«property:port»«punctuation::» «number:08080»";
        QTest::newRow("yaml_version_uncoloured") << "YAML" << "version: 1.2.3" << "«property:version»«punctuation::» 1.2.3";
        QTest::newRow("yaml_anchor_constant") << "YAML" << "anchors: &base" << "«property:anchors»«punctuation::» «constant:&base»";
        QTest::newRow("yaml_tagThenNumber") << "YAML" << "tag: !!str 5"
                                            << "«property:tag»«punctuation::» «type:!!str» «number:5»";
        QTest::newRow("yaml_documentMarker_keyword") << "YAML" << "---" << "«keyword:---»";
        QTest::newRow("yaml_markerThenLetter_letterNotPunctuation") << "YAML" << "---x y" << "«keyword:---»x y";
        QTest::newRow("yaml_markerSpaceDash_plainScalar") << "YAML" << "--- - 5" << "«keyword:---» - 5";
        QTest::newRow("yaml_markerTwoSpaces_anchorFound") << "YAML" << "---  &a" << "«keyword:---»  «constant:&a»";
        QTest::newRow("yaml_noBreakSpaceAroundConstant_trimmedForTest")
            << "YAML" << QString::fromUtf8("k: \u00A0off\u00A0") << QString::fromUtf8("«property:k»«punctuation::» «constant:\u00A0off\u00A0»");
        QTest::newRow("yaml_flowWords_uncoloured") << "YAML" << "[true, x1]"
                                                  << "«punctuation:[»true«punctuation:,» x«number:1»«punctuation:]»";
        QTest::newRow("yaml_hashAtValueStart_uncoloured") << "YAML" << "a: #x" << "«property:a»«punctuation::» #x";
        // XML
        QTest::newRow("xml_declaration")
            << "XML" << "<?xml version=\"1.0\"?>"
            << "«punctuation:<?»«keyword:xml» «property:version»«punctuation:=»«string:\"1.0\"»«punctuation:?>»";
        QTest::newRow("xml_doctype") << "XML" << "<!DOCTYPE html>" << "«punctuation:<!»«keyword:DOCTYPE» «property:html»«punctuation:>»";
        QTest::newRow("xml_entity_constant") << "XML" << "a &amp; b" << "a «constant:&amp;» b";
        QTest::newRow("xml_entityTwelveAway_constant") << "XML" << "&12345678901;" << "«constant:&12345678901;»";
        QTest::newRow("xml_entityThirteenAway_none") << "XML" << "&123456789012;" << "&123456789012;";
        QTest::newRow("xml_entityAtTextEnd_none") << "XML" << "&am" << "&am";
        QTest::newRow("xml_unterminatedComment_toEnd") << "XML" << "<a/><!-- x\n<b/>" << "«punctuation:<»«keyword:a»«punctuation:/>»«comment:<!-- x\n<b/>»";
        QTest::newRow("xml_textBetweenTags_base") << "XML" << "<a>text</a>"
                                                 << "«punctuation:<»«keyword:a»«punctuation:>»text«punctuation:</»«keyword:a»«punctuation:>»";
        QTest::newRow("xml_loneOpenerAtEnd") << "XML" << "<" << "«punctuation:<»";
        QTest::newRow("xml_cdataMissingOneUnit_tag") << "XML" << "<![CDATA" << "«punctuation:<!»«keyword:[CDAT»A";
        // Markdown
        QTest::newRow("md_fenceWithLanguage_toggles") << "MD" << "```js\nx\n```\ny"
                                                     << "«keyword:```js»\n«string:x»\n«keyword:```»\ny";
        QTest::newRow("md_unclosedFence_restIsString") << "MD" << "```\na\n\nb" << "«keyword:```»\n«string:a»\n\n«string:b»";
        QTest::newRow("md_orderedItem_number") << "MD" << "1. item" << "«number:1.» item";
        QTest::newRow("md_parenItem_none") << "MD" << "1) item" << "1) item";
        QTest::newRow("md_linkAndCode")
            << "MD" << "see [docs](http://x) and `code`"
            << "see «property:[docs]»«constant:(http://x)» and «string:`code`»";
        QTest::newRow("md_headingWithoutSpace_keyword") << "MD" << "#tag" << "«keyword:#tag»";
        QTest::newRow("md_bracketAtLineEnd_none") << "MD" << "[a](" << "[a](";
        QTest::newRow("md_linkNotAcrossLines") << "MD" << "[a](b\n)" << "[a](b\n)";
        QTest::newRow("md_codeSpanNotAcrossLines") << "MD" << "`a\nb`" << "`a\nb`";
        // LOG
        QTest::newRow("log_timestampLevelString")
            << "LOG" << "2024-05-01T10:00:00.123Z INFO started \"job 1\""
            << "«comment:2024-05-01T10:00:00.123Z» «property:INFO» started «string:\"job 1\"»";
        QTest::newRow("log_errorBeatsWarning") << "LOG" << "ERROR and WARNING" << "«constant:ERROR» and WARNING";
        QTest::newRow("log_tablePrecedenceOverPosition") << "LOG" << "INFO then WARN" << "INFO then «number:WARN»";
        QTest::newRow("log_bracketed_matches") << "LOG" << "[ERROR] x" << "[«constant:ERROR»] x";
        QTest::newRow("log_plural_none") << "LOG" << "ERRORS" << "ERRORS";
        QTest::newRow("log_lowercase_none") << "LOG" << "error warn" << "error warn";
        QTest::newRow("log_rejectedThenAccepted") << "LOG" << "ERRORS ERROR" << "ERRORS «constant:ERROR»";
        QTest::newRow("log_levelInQuotes_string") << "LOG" << "\"ERROR\"" << "«string:\"ERROR\"»";
        QTest::newRow("log_dateNotAtStart_none") << "LOG" << "x 2024-05-01" << "x 2024-05-01";
        QTest::newRow("log_slashDate") << "LOG" << "2024/05/01 x" << "«comment:2024/05/01 »x";
    }

    void examples()
    {
        QFETCH(QString, kind);
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(marked(kindFromLabel(kind), text), expected);
    }

    void markedTextAndRuns()
    {
        const std::u16string text = u"ab";
        const std::vector<std::uint8_t> classes = {3, 200};
        QCOMPARE(QString::fromStdString(Highlighting::markedText(text, classes)), QStringLiteral("«number:a»b"));
        const std::vector<std::uint8_t> mixed = {0, 6, 6, 5, 0, 6};
        QCOMPARE(Highlighting::syntaxRuns(mixed),
                 (std::vector<Highlighting::SyntaxRun>{{1, 2, SyntaxClass::Property}, {3, 1, SyntaxClass::Punctuation},
                                                       {5, 1, SyntaxClass::Property}}));
    }
};

QTEST_GUILESS_MAIN(HighlighterTest)
#include "tst_highlighter.moc"
