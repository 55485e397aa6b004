// Reference colourings: every file under fixtures/golden/<kind>/ is loaded as the editor loads
// it, coloured by the kind its extension gives, and compared with <file>.ref beside it. A
// difference writes <file>.ref.new into the build folder; after review, update-references.sh
// rewrites the references.
#include "highlighting/syntaxdump.h"
#include "highlighting/syntaxhighlighter.h"

#include "documents/document.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <vector>

namespace {

const QString goldenRoot = QStringLiteral(CORVANE_FIXTURES "/golden");

QByteArray colouredDump(const QString &path)
{
    auto loaded = Documents::loadDocument(path.toStdString());
    if (std::holds_alternative<Base::Message>(loaded))
        qFatal("cannot load %s", qPrintable(path));
    const auto &result = std::get<Documents::LoadResult>(loaded);
    const std::u16string_view text = result.text.view();
    std::vector<std::uint8_t> classes(text.size());
    Highlighting::SyntaxHighlighter::highlight(result.doc.kind, text, classes);
    const std::string dump = Highlighting::markedText(text, classes);
    return QByteArray(dump.data(), qsizetype(dump.size()));
}

// The first line where the two differ, for a readable failure.
QString firstDifference(const QByteArray &actual, const QByteArray &expected)
{
    const QList<QByteArray> a = actual.split('\n');
    const QList<QByteArray> e = expected.split('\n');
    for (qsizetype i = 0; i < std::max(a.size(), e.size()); ++i) {
        const QByteArray left = i < a.size() ? a[i] : QByteArray("<missing>");
        const QByteArray right = i < e.size() ? e[i] : QByteArray("<missing>");
        if (left != right)
            return QStringLiteral("line %1:\n  actual:   %2\n  expected: %3")
                .arg(i + 1)
                .arg(QString::fromUtf8(left), QString::fromUtf8(right));
    }
    return {};
}

QStringList goldenFixtures()
{
    QStringList fixtures;
    QDirIterator it(goldenRoot, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (!path.endsWith(QLatin1String(".ref")) && !path.endsWith(QLatin1String(".new")))
            fixtures.append(QDir(goldenRoot).relativeFilePath(path));
    }
    fixtures.sort();
    return fixtures;
}

} // namespace

class GoldenTest : public QObject {
    Q_OBJECT

private slots:
    void reference_data()
    {
        QTest::addColumn<QString>("fixture");
        const QStringList fixtures = goldenFixtures();
        QVERIFY(fixtures.size() >= 20);
        for (const QString &fixture : fixtures)
            QTest::newRow(qPrintable(fixture + "_matchesReference")) << fixture;
    }

    // The same fixture saved with CRLF or CR line breaks colours exactly like the LF original:
    // loading normalises the breaks before the highlighter sees the text.
    void lineEndingInvariance_data()
    {
        QTest::addColumn<QString>("fixture");
        for (const QString &fixture : goldenFixtures()) {
            QFile file(goldenRoot + u'/' + fixture);
            if (!file.open(QIODevice::ReadOnly))
                continue;
            const QByteArray bytes = file.readAll();
            if (bytes.contains('\n') && !bytes.contains('\r'))
                QTest::newRow(qPrintable(fixture + "_sameWithCrlfAndCr")) << fixture;
        }
    }

    void lineEndingInvariance()
    {
        QFETCH(QString, fixture);
        const QString path = goldenRoot + u'/' + fixture;
        QFile original(path);
        QVERIFY(original.open(QIODevice::ReadOnly));
        const QByteArray bytes = original.readAll();
        const QByteArray expected = colouredDump(path);
        QTemporaryDir dir;
        for (const QByteArray &lineBreak : {QByteArray("\r\n"), QByteArray("\r")}) {
            QByteArray varied = bytes;
            varied.replace("\n", lineBreak);
            const QString variedPath = dir.filePath(QFileInfo(path).fileName());
            QFile out(variedPath);
            QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
            out.write(varied);
            out.close();
            QCOMPARE(colouredDump(variedPath), expected);
        }
    }

    void reference()
    {
        QFETCH(QString, fixture);
        const QString path = goldenRoot + u'/' + fixture;
        const QByteArray actual = colouredDump(path);

        // Regeneration mode, used only by update-references.sh.
        if (qEnvironmentVariableIsSet("CORVANE_WRITE_REFERENCES")) {
            QFile out(path + ".ref");
            QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
            out.write(actual);
            return;
        }

        QFile referenceFile(path + ".ref");
        QVERIFY2(referenceFile.open(QIODevice::ReadOnly), qPrintable("missing reference for " + fixture));
        const QByteArray expected = referenceFile.readAll();
        if (actual != expected) {
            const QString newPath = QDir::currentPath() + "/golden-new/" + fixture + ".ref.new";
            QDir().mkpath(QFileInfo(newPath).path());
            QFile out(newPath);
            if (out.open(QIODevice::WriteOnly | QIODevice::Truncate))
                out.write(actual);
            qWarning("wrote %s", qPrintable(newPath));
        }
        QVERIFY2(actual == expected, qPrintable(firstDifference(actual, expected)));
    }
};

QTEST_GUILESS_MAIN(GoldenTest)
#include "tst_golden.moc"
