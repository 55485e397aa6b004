// The document window's rules without widgets: counts, font sizes, view modes, which job runs
// when, and the status texts.
#include "app/model/counts.h"
#include "app/model/fontsize.h"
#include "app/model/jobrules.h"
#include "app/model/viewmode.h"
#include "app/model/windowstatus.h"

#include "base/textsnapshot.h"

#include <QtTest>

using namespace App;
using Documents::DocKind;
using Formatting::Validation;
using Formatting::ValidationError;

Q_DECLARE_METATYPE(std::optional<DocKind>)
Q_DECLARE_METATYPE(App::ViewMode)
Q_DECLARE_METATYPE(App::Job)
Q_DECLARE_METATYPE(Formatting::Validation)

namespace {

// A snapshot that its owner takes back after `allowedCopies` pieces.
class RevokedAfter final : public Base::TextSnapshot {
public:
    RevokedAfter(std::u16string_view text, int allowedCopies) : m_text(text), m_left(allowedCopies) {}
    std::size_t length() const override { return m_text.size(); }
    bool copy(std::size_t position, std::size_t count, char16_t *out) const override
    {
        if (m_left-- <= 0)
            return false;
        m_text.copy(out, count, position);
        return true;
    }
    bool isRevoked() const override { return m_left <= 0; }

private:
    std::u16string_view m_text;
    mutable int m_left;
};

} // namespace

class TestWindowModel : public QObject {
    Q_OBJECT

private slots:
    void countsLabel_data();
    void countsLabel();
    void countsFromSnapshotAgree_data();
    void countsFromSnapshotAgree();
    void countsStopWhenRevoked();
    void fontSizes_data();
    void fontSizes();
    void modesPerKind();
    void jobApplies_data();
    void jobApplies();
    void validationStatus_data();
    void validationStatus();
    void formatOffer_data();
    void formatOffer();
    void titles();
};

void TestWindowModel::countsLabel_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("label");
    QTest::newRow("empty") << "" << "0L · 0W · 0C";
    QTest::newRow("one letter and a line feed") << "a\n" << "2L · 1W · 2C";
    QTest::newRow("underscore joins, digits belong") << "foo_bar baz9" << "1L · 2W · 12C";
    QTest::newRow("apostrophe separates") << "it's" << "1L · 2W · 4C";
    QTest::newRow("combining mark: one word of five characters") << QString("nai\u0308ve") << "1L · 1W · 5C";
    QTest::newRow("emoji sequence is one character, not a word")
        << QString::fromUtf8("\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x92\xBB ok") << "1L · 1W · 4C";
    QTest::newRow("CRLF kept in text counts once") << "a\r\nb" << "2L · 2W · 3C";
    QTest::newRow("letters of other scripts") << QString::fromUtf8("Привет мир 東京") << "1L · 3W · 13C";
    QTest::newRow("final line feed starts an empty line") << "x\n\n" << "3L · 1W · 3C";
}

void TestWindowModel::countsLabel()
{
    QFETCH(QString, text);
    QFETCH(QString, label);
    QCOMPARE(QString::fromStdString(App::countsLabel(text.toStdU16String())), label);
}

void TestWindowModel::countsFromSnapshotAgree_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("label");
    QTest::newRow("short text, full form") << "two words\n" << "2L · 2W · 10C";
    // 600,000 bytes: the line count and the bytes, no words.
    QTest::newRow("600,000 bytes") << QString("abcde\n").repeated(100'000) << "100001L · 600000B";
    // 300,001 units of two bytes each: above the byte threshold with few units.
    QTest::newRow("two-byte letters over the threshold") << QString(300'001, QChar(0xE9)) << "1L · 600002B";
    // A pair split across pieces of the reader still counts four bytes.
    QTest::newRow("surrogate pairs across pieces")
        << QString::fromUtf8("\xF0\x9F\x98\x80").repeated(200'000) << "1L · 800000B";
}

void TestWindowModel::countsFromSnapshotAgree()
{
    QFETCH(QString, text);
    QFETCH(QString, label);
    const std::u16string units = text.toStdU16String();
    QCOMPARE(QString::fromStdString(App::countsLabel(units)), label);
    const auto fromSnapshot = App::countsLabel(Base::FixedTextSnapshot(units));
    QVERIFY(fromSnapshot);
    QCOMPARE(QString::fromStdString(*fromSnapshot), label);
}

void TestWindowModel::countsStopWhenRevoked()
{
    const std::u16string longText(2'000'000, u'x');
    QVERIFY(!App::countsLabel(RevokedAfter(longText, 3)));
    QVERIFY(!App::countsLabel(RevokedAfter(u"short", 0)));
}

void TestWindowModel::fontSizes_data()
{
    QTest::addColumn<double>("size");
    QTest::addColumn<double>("smaller");
    QTest::addColumn<double>("larger");
    QTest::addColumn<QString>("label");
    QTest::newRow("default") << 13.0 << 12.5 << 13.5 << "13";
    QTest::newRow("half point") << 13.5 << 13.0 << 14.0 << "13.5";
    QTest::newRow("smallest stays") << 8.0 << 8.0 << 8.5 << "8";
    QTest::newRow("largest stays") << 36.0 << 35.5 << 36.0 << "36";
    QTest::newRow("rounded to the nearest half") << 13.26 << 12.76 << 13.76 << "13.5";
    QTest::newRow("rounded down") << 13.2 << 12.7 << 13.7 << "13";
}

void TestWindowModel::fontSizes()
{
    QFETCH(double, size);
    QFETCH(double, smaller);
    QFETCH(double, larger);
    QFETCH(QString, label);
    QCOMPARE(smallerFontSize(size), smaller);
    QCOMPARE(largerFontSize(size), larger);
    QCOMPARE(QString::fromStdString(fontSizeLabel(size)), label);
}

void TestWindowModel::modesPerKind()
{
    QCOMPARE(initialMode(DocKind::Markdown), ViewMode::Preview);
    QCOMPARE(initialMode(DocKind::Csv), ViewMode::Table);
    for (DocKind kind : {DocKind::Json, DocKind::Ndjson, DocKind::Txt, DocKind::Xml, DocKind::Log})
        QCOMPARE(initialMode(kind), ViewMode::Text);
    QCOMPARE(offeredModes(DocKind::Markdown).size(), std::size_t(3));
    QCOMPARE(offeredModes(DocKind::Json).back(), ViewMode::Tree);
    QCOMPARE(offeredModes(DocKind::Ndjson).size(), std::size_t(1));
    QVERIFY(isAlternateFullView(DocKind::Csv, ViewMode::Table));
    QVERIFY(isAlternateFullView(DocKind::Json, ViewMode::Tree));
    QVERIFY(!isAlternateFullView(DocKind::Markdown, ViewMode::Split)); // The editor stays beside it.
    QVERIFY(!isAlternateFullView(std::nullopt, ViewMode::Table));
    QCOMPARE(rawValue(ViewMode::Split), std::string_view("Split"));
}

void TestWindowModel::jobApplies_data()
{
    QTest::addColumn<Job>("job");
    QTest::addColumn<std::optional<DocKind>>("kind");
    QTest::addColumn<ViewMode>("mode");
    QTest::addColumn<bool>("showCounts");
    QTest::addColumn<bool>("applies");
    QTest::newRow("validation: JSON") << Job::Validation << std::optional<DocKind>(DocKind::Json) << ViewMode::Tree << false << true;
    QTest::newRow("validation: XML") << Job::Validation << std::optional<DocKind>(DocKind::Xml) << ViewMode::Text << false << true;
    QTest::newRow("validation: YAML not") << Job::Validation << std::optional<DocKind>(DocKind::Yaml) << ViewMode::Text << true << false;
    QTest::newRow("validation: no document") << Job::Validation << std::optional<DocKind>() << ViewMode::Text << true << false;
    QTest::newRow("CSV in table") << Job::CSVParse << std::optional<DocKind>(DocKind::Csv) << ViewMode::Table << false << true;
    QTest::newRow("CSV in text not") << Job::CSVParse << std::optional<DocKind>(DocKind::Csv) << ViewMode::Text << false << false;
    QTest::newRow("Markdown in split") << Job::MarkdownParse << std::optional<DocKind>(DocKind::Markdown) << ViewMode::Split << false << true;
    QTest::newRow("Markdown in source not") << Job::MarkdownParse << std::optional<DocKind>(DocKind::Markdown) << ViewMode::Text << false << false;
    QTest::newRow("tree for JSON in tree") << Job::JSONTree << std::optional<DocKind>(DocKind::Json) << ViewMode::Tree << false << true;
    QTest::newRow("tree not for NDJSON") << Job::JSONTree << std::optional<DocKind>(DocKind::Ndjson) << ViewMode::Tree << false << false;
    QTest::newRow("counts when shown") << Job::Counts << std::optional<DocKind>(DocKind::Txt) << ViewMode::Text << true << true;
    QTest::newRow("counts when hidden") << Job::Counts << std::optional<DocKind>(DocKind::Txt) << ViewMode::Text << false << false;
    QTest::newRow("JSON path in JSON") << Job::JSONPath << std::optional<DocKind>(DocKind::Json) << ViewMode::Tree << false << true;
    QTest::newRow("JSON path in NDJSON") << Job::JSONPath << std::optional<DocKind>(DocKind::Ndjson) << ViewMode::Text << false << true;
    QTest::newRow("no JSON path in YAML") << Job::JSONPath << std::optional<DocKind>(DocKind::Yaml) << ViewMode::Text << true << false;
}

void TestWindowModel::jobApplies()
{
    QFETCH(Job, job);
    QFETCH(std::optional<DocKind>, kind);
    QFETCH(ViewMode, mode);
    QFETCH(bool, showCounts);
    QFETCH(bool, applies);
    QCOMPARE(App::jobApplies(job, kind, mode, showCounts), applies);
    QCOMPARE(jobResetsWhenIdle(job), job != Job::Counts);
}

void TestWindowModel::validationStatus_data()
{
    QTest::addColumn<Validation>("validation");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("tooltip");
    QTest::addColumn<int>("clickLine");
    QTest::newRow("empty shows nothing") << Validation::empty() << "" << "" << -1;
    QTest::newRow("valid") << Validation::valid() << "Valid" << "JSON is valid" << -1;
    QTest::newRow("invalid with line and column")
        << Validation::invalid(ValidationError{"Expected ':' after the object key", 3, 7})
        << "Invalid · Line 3, Col 7" << "Line 3, Col 7: Expected ':' after the object key" << 3;
    QTest::newRow("invalid without a line: nothing to click")
        << Validation::invalid(ValidationError{"Encoding error", std::nullopt, std::nullopt}) << "Invalid"
        << "Error: Encoding error" << -1;
}

void TestWindowModel::validationStatus()
{
    QFETCH(Validation, validation);
    QFETCH(QString, text);
    QFETCH(QString, tooltip);
    QFETCH(int, clickLine);
    const auto status = App::validationStatus(validation);
    QCOMPARE(QString::fromStdString(status.text.englishText()), text);
    QCOMPARE(QString::fromStdString(status.tooltip.englishText()), tooltip);
    QCOMPARE(status.clickLine.value_or(-1), clickLine);
}

void TestWindowModel::formatOffer_data()
{
    QTest::addColumn<std::optional<DocKind>>("kind");
    QTest::addColumn<Validation>("validation");
    QTest::addColumn<bool>("formatted");
    QTest::addColumn<bool>("offered");
    QTest::newRow("valid unformatted JSON") << std::optional<DocKind>(DocKind::Json) << Validation::valid() << false << true;
    QTest::newRow("valid NDJSON") << std::optional<DocKind>(DocKind::Ndjson) << Validation::valid() << false << true;
    QTest::newRow("already formatted") << std::optional<DocKind>(DocKind::Json) << Validation::valid() << true << false;
    QTest::newRow("invalid") << std::optional<DocKind>(DocKind::Json)
                             << Validation::invalid(ValidationError{"x", 1, 1}) << false << false;
    QTest::newRow("valid XML never") << std::optional<DocKind>(DocKind::Xml) << Validation::valid() << false << false;
}

void TestWindowModel::formatOffer()
{
    QFETCH(std::optional<DocKind>, kind);
    QFETCH(Validation, validation);
    QFETCH(bool, formatted);
    QFETCH(bool, offered);
    QCOMPARE(formatIsOffered(kind, validation, formatted), offered);
}

void TestWindowModel::titles()
{
    QCOMPARE(windowTitle(std::nullopt), std::string("Corvane"));
    QCOMPARE(windowTitle(std::string_view("/home/u/data/report.json")), std::string("report.json"));
    QVERIFY(showsValidation(DocKind::Ndjson));
    QVERIFY(!showsValidation(DocKind::Txt));
}

QTEST_APPLESS_MAIN(TestWindowModel)
#include "tst_window_model.moc"
