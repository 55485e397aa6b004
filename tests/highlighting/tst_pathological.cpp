// Lines of 2,000,000 units made of one repeated shape. A scanner that searched again from every
// opener would need hours on these; CTest's timeout for this executable is the budget. Each row
// also pins the colouring of the first, middle and last unit.
#include "highlighting/syntaxhighlighter.h"

#include <QTest>

#include <vector>

using Documents::DocKind;
using Highlighting::SyntaxClass;
namespace SH = Highlighting::SyntaxHighlighter;

class PathologicalTest : public QObject {
    Q_OBJECT

private slots:
    void repeatedShape_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("shape");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("middle");
        QTest::addColumn<QString>("last");
        QTest::newRow("json_onlyQuotes_allStrings") << "JSON" << "\"" << "string" << "string" << "string";
        QTest::newRow("json_quoteBackslash_oneString") << "JSON" << "\"\\" << "string" << "string" << "string";
        QTest::newRow("json_onlyBrackets_punctuation") << "JSON" << "[" << "punctuation" << "punctuation" << "punctuation";
        QTest::newRow("json_onlyBackslashes_base") << "JSON" << "\\" << "base" << "base" << "base";
        QTest::newRow("json_onlyMinus_base") << "JSON" << "-" << "base" << "base" << "base";
        QTest::newRow("json_onlySlashes_comment") << "JSON" << "/" << "comment" << "comment" << "comment";
        QTest::newRow("json_onlyT_base") << "JSON" << "t" << "base" << "base" << "base";
        QTest::newRow("json_quotesAndBlanks_keyTestBounded") << "JSON" << "\"\"  " << "string" << "string" << "base";
        QTest::newRow("xml_onlyOpeners_oneTag") << "XML" << "<" << "punctuation" << "keyword" << "base";
        QTest::newRow("xml_onlyAmpersands_base") << "XML" << "&" << "base" << "base" << "base";
        QTest::newRow("xml_ampersandLetter_base") << "XML" << "&a" << "base" << "base" << "base";
        QTest::newRow("xml_commentOpeners_oneComment") << "XML" << "<!--" << "comment" << "comment" << "comment";
        QTest::newRow("xml_cdataOpeners_oneSection") << "XML" << "<![CDATA[" << "string" << "string" << "string";
        QTest::newRow("xml_attributes_oneTag") << "XML" << "<a " << "punctuation" << "property" << "base";
        QTest::newRow("xml_equalsQuotes_oneLongName") << "XML" << "<a=\"" << "punctuation" << "keyword" << "base";
        QTest::newRow("xml_attributeQuotes_oneTag") << "XML" << "<a b=\"" << "punctuation" << "punctuation" << "base";
        QTest::newRow("md_onlyBrackets_base") << "MD" << "[" << "base" << "base" << "base";
        QTest::newRow("md_bracketsWithoutTarget_base") << "MD" << "[](" << "base" << "base" << "base";
        QTest::newRow("md_closedBrackets_base") << "MD" << "[a]" << "base" << "base" << "base";
        QTest::newRow("md_onlyBackquotes_fenceLine") << "MD" << "`" << "keyword" << "keyword" << "keyword";
        QTest::newRow("md_spacedBackquotes_codeSpans") << "MD" << "` " << "string" << "string" << "base";
        QTest::newRow("md_onlyDigits_base") << "MD" << "1" << "base" << "base" << "base";
        QTest::newRow("md_listMarkers_firstOnly") << "MD" << "- " << "punctuation" << "base" << "base";
        QTest::newRow("yaml_onlyBrackets_flow") << "YAML" << "[" << "punctuation" << "punctuation" << "punctuation";
        QTest::newRow("yaml_onlyQuotes_firstString") << "YAML" << "\"" << "string" << "base" << "base";
        QTest::newRow("yaml_onlyApostrophes_firstString") << "YAML" << "'" << "string" << "base" << "base";
        QTest::newRow("yaml_colonsWithoutBlank_keyAtEnd") << "YAML" << "a:" << "property" << "property" << "punctuation";
        QTest::newRow("yaml_onlyHashes_comment") << "YAML" << "#" << "comment" << "comment" << "comment";
        QTest::newRow("yaml_onlyAmpersands_anchor") << "YAML" << "&" << "constant" << "constant" << "constant";
        QTest::newRow("toml_onlyQuotes_base") << "TOML" << "\"" << "base" << "base" << "base";
        QTest::newRow("toml_keyEquals_value") << "TOML" << "a=" << "property" << "base" << "punctuation";
        QTest::newRow("toml_onlyBrackets_table") << "TOML" << "[" << "type" << "type" << "type";
        QTest::newRow("toml_onlyHashesAfterKey_base") << "TOML" << "a #" << "base" << "comment" << "comment";
        QTest::newRow("log_onlyQuotes_strings") << "LOG" << "\"" << "string" << "string" << "string";
        QTest::newRow("log_pluralLevels_base") << "LOG" << "ERRORS " << "base" << "base" << "base";
        QTest::newRow("log_oneLongWord_base") << "LOG" << "E" << "base" << "base" << "base";
        QTest::newRow("log_levelWordsLastIsError") << "LOG" << "TRACE " << "comment" << "base" << "base";
        QTest::newRow("log_dates_leadingStamp") << "LOG" << "2024-05-01 " << "comment" << "base" << "base";
    }

    void repeatedShape()
    {
        QFETCH(QString, kind);
        QFETCH(QString, shape);
        QFETCH(QString, first);
        QFETCH(QString, middle);
        QFETCH(QString, last);
        DocKind docKind = DocKind::Txt;
        QVERIFY(DocKind::fromLabel(kind.toStdString(), docKind));
        const std::size_t length = SH::maximumLength;
        std::u16string text;
        text.reserve(length + shape.size());
        const std::u16string unit(reinterpret_cast<const char16_t *>(shape.utf16()), std::size_t(shape.size()));
        while (text.size() < length)
            text += unit;
        text.resize(length);
        std::vector<std::uint8_t> classes(length);
        QCOMPARE(SH::highlight(docKind, text, classes), true);
        auto name = [&](std::size_t i) {
            return QString::fromLatin1(Highlighting::syntaxClassName(SyntaxClass(classes[i])).data());
        };
        QCOMPARE(name(0), first);
        QCOMPARE(name(length / 2), middle);
        QCOMPARE(name(length - 1), last);
    }
};

QTEST_GUILESS_MAIN(PathologicalTest)
#include "tst_pathological.moc"
