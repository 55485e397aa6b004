#include "highlighting/theme.h"

#include <QFile>
#include <QTest>

#include <unordered_set>

using Highlighting::Color;
using Highlighting::SyntaxClass;
using Highlighting::SyntaxPalette;
using Highlighting::Theme;

Q_DECLARE_METATYPE(Highlighting::Color)
Q_DECLARE_METATYPE(Highlighting::SyntaxPalette)

namespace QTest {
template<>
char *toString(const Color &color)
{
    return qstrdup(QByteArray::number(color.red) + ' ' + QByteArray::number(color.green) + ' '
                   + QByteArray::number(color.blue));
}
template<>
char *toString(const SyntaxPalette &palette)
{
    QByteArray text;
    for (const Color &color : {palette.keyword, palette.string, palette.number, palette.comment,
                               palette.punctuation, palette.property, palette.type, palette.constant}) {
        char *part = toString(color);
        text += QByteArray(part) + " | ";
        delete[] part;
    }
    return qstrdup(text);
}
} // namespace QTest

namespace {

// Reads "a | b | c" rows, skipping comments and blank lines.
QList<QStringList> readTable(const QString &name)
{
    QFile file(QStringLiteral(CORVANE_FIXTURES "/") + name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing fixture %s", qPrintable(name));
    QList<QStringList> rows;
    for (const QByteArray &raw : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        QStringList cells = line.split(u'|');
        for (QString &cell : cells)
            cell = cell.trimmed();
        rows.append(cells);
    }
    return rows;
}

Color parseColor(const QString &text)
{
    const QStringList parts = text.split(u' ', Qt::SkipEmptyParts);
    if (parts.size() != 3)
        qFatal("bad colour %s", qPrintable(text));
    return {parts[0].toDouble(), parts[1].toDouble(), parts[2].toDouble()};
}

SyntaxPalette parsePalette(const QStringList &cells)
{
    return {parseColor(cells[1]), parseColor(cells[2]), parseColor(cells[3]), parseColor(cells[4]),
            parseColor(cells[5]), parseColor(cells[6]), parseColor(cells[7]), parseColor(cells[8])};
}

SyntaxPalette expectedPalette(const QString &id)
{
    for (const QStringList &row : readTable(QStringLiteral("palettes.txt")))
        if (row[0] == id)
            return parsePalette(row);
    qFatal("no expected palette %s", qPrintable(id));
}

QString qs(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

} // namespace

class ThemeTest : public QObject {
    Q_OBJECT

private slots:
    void builtInThemes_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("isDark");
        QTest::addColumn<Color>("background");
        QTest::addColumn<Color>("foreground");
        QTest::addColumn<SyntaxPalette>("palette");
        QTest::addColumn<bool>("hasCustomPalette");
        int index = 0;
        for (const QStringList &row : readTable(QStringLiteral("themes.txt"))) {
            const bool isDark = row[2] == QLatin1String("yes");
            const bool custom = row[5] == QLatin1String("custom");
            const QString paletteId = custom ? row[0] : (isDark ? "default-dark" : "default-light");
            QTest::addRow("%s_matchesTable", qPrintable(row[0]))
                << index++ << row[0] << row[1] << isDark << parseColor(row[3]) << parseColor(row[4])
                << expectedPalette(paletteId) << custom;
        }
    }

    void builtInThemes()
    {
        QFETCH(int, index);
        QFETCH(QString, id);
        QFETCH(QString, name);
        QFETCH(bool, isDark);
        QFETCH(Color, background);
        QFETCH(Color, foreground);
        QFETCH(SyntaxPalette, palette);
        QFETCH(bool, hasCustomPalette);

        QCOMPARE(Theme::all().size(), std::size_t(22));
        const Theme &theme = Theme::all()[std::size_t(index)];
        QCOMPARE(qs(theme.id()), id);
        QCOMPARE(qs(theme.name()), name);
        QCOMPARE(theme.isDark(), isDark);
        QCOMPARE(theme.background(), background);
        QCOMPARE(theme.foreground(), foreground);
        QCOMPARE(theme.syntax(), palette);
        QCOMPARE(Theme::customSyntax(theme.id()) != nullptr, hasCustomPalette);
        QCOMPARE(Theme::byId(theme.id()), &theme);
    }

    void idsAreUniqueAndNineteenHaveCustomPalettes()
    {
        std::unordered_set<Theme> seen;
        int custom = 0;
        for (const Theme &theme : Theme::all()) {
            QVERIFY2(seen.insert(theme).second, theme.id().data());
            custom += Theme::customSyntax(theme.id()) ? 1 : 0;
        }
        QCOMPARE(seen.size(), std::size_t(22));
        QCOMPARE(custom, 19);
    }

    void resolve_data()
    {
        QTest::addColumn<QString>("storedId");
        QTest::addColumn<QString>("expectedId");
        QTest::newRow("empty_isVsClaude") << "" << "vs-claude";
        QTest::newRow("unknown_isVsClaude") << "no-such-theme" << "vs-claude";
        QTest::newRow("wrongCase_isVsClaude") << "Monokai" << "vs-claude";
        QTest::newRow("surroundingSpace_isVsClaude") << " monokai" << "vs-claude";
        QTest::newRow("displayName_isVsClaude") << "Solarized Light" << "vs-claude";
        QTest::newRow("known_isItself") << "monokai" << "monokai";
        QTest::newRow("lastInList_isItself") << "solarized-light" << "solarized-light";
        QTest::newRow("default_isItself") << "vs-claude" << "vs-claude";
    }

    void resolve()
    {
        QFETCH(QString, storedId);
        QFETCH(QString, expectedId);
        const QByteArray utf8 = storedId.toUtf8();
        const Theme &theme = Theme::resolve(std::string_view(utf8.constData(), std::size_t(utf8.size())));
        QCOMPARE(qs(theme.id()), expectedId);
    }

    void defaultTheme_isVsClaudeDarkWithDefaultPalette()
    {
        const Theme &theme = Theme::defaultTheme();
        QCOMPARE(qs(theme.id()), QStringLiteral("vs-claude"));
        QCOMPARE(qs(theme.name()), QStringLiteral("VS Claude"));
        QCOMPARE(theme.isDark(), true);
        QCOMPARE(theme.syntax(), Theme::defaultSyntax(true));
        QCOMPARE(&Theme::resolve("stale"), &theme);
    }

    void defaultSyntax_data()
    {
        QTest::addColumn<bool>("isDark");
        QTest::addColumn<SyntaxPalette>("expected");
        QTest::newRow("dark_greyPunctuation07") << true << expectedPalette("default-dark");
        QTest::newRow("light_greyPunctuation035") << false << expectedPalette("default-light");
    }

    void defaultSyntax()
    {
        QFETCH(bool, isDark);
        QFETCH(SyntaxPalette, expected);
        QCOMPARE(Theme::defaultSyntax(isDark), expected);
    }

    void themeWithoutCustomPalette_data()
    {
        QTest::addColumn<bool>("isDark");
        QTest::addColumn<SyntaxPalette>("expected");
        QTest::newRow("lightUnknownId_getsDefaultLight") << false << expectedPalette("default-light");
        QTest::newRow("darkUnknownId_getsDefaultDark") << true << expectedPalette("default-dark");
    }

    void themeWithoutCustomPalette()
    {
        QFETCH(bool, isDark);
        QFETCH(SyntaxPalette, expected);
        const Theme theme("paper", "Paper", isDark, {1, 1, 1}, {0, 0, 0});
        QCOMPARE(theme.syntax(), expected);
    }

    void equalityAndHash_useIdOnly()
    {
        const Theme a("same", "First", true, {0, 0, 0}, {1, 1, 1});
        const Theme b("same", "Second", false, {1, 1, 1}, {0, 0, 0});
        const Theme c("other", "First", true, {0, 0, 0}, {1, 1, 1});
        QCOMPARE(a == b, true);
        QCOMPARE(a == c, false);
        QCOMPARE(std::hash<Theme>()(a), std::hash<Theme>()(b));
    }

    void color_data()
    {
        QTest::addColumn<int>("syntaxClass");
        QTest::addColumn<Color>("expected");
        const SyntaxPalette palette = expectedPalette("monokai");
        const Color foreground{0.973, 0.973, 0.949};
        QTest::newRow("base_isForeground") << int(SyntaxClass::Base) << foreground;
        QTest::newRow("keyword") << int(SyntaxClass::Keyword) << palette.keyword;
        QTest::newRow("string") << int(SyntaxClass::String) << palette.string;
        QTest::newRow("number") << int(SyntaxClass::Number) << palette.number;
        QTest::newRow("comment") << int(SyntaxClass::Comment) << palette.comment;
        QTest::newRow("punctuation") << int(SyntaxClass::Punctuation) << palette.punctuation;
        QTest::newRow("property") << int(SyntaxClass::Property) << palette.property;
        QTest::newRow("type") << int(SyntaxClass::Type) << palette.type;
        QTest::newRow("constant") << int(SyntaxClass::Constant) << palette.constant;
        QTest::newRow("outOfRange_isForeground") << 200 << foreground;
    }

    void color()
    {
        QFETCH(int, syntaxClass);
        QFETCH(Color, expected);
        QCOMPARE(Theme::resolve("monokai").color(SyntaxClass(syntaxClass)), expected);
    }

    void syntaxClassNames_roundTrip()
    {
        for (std::size_t i = 0; i < Highlighting::syntaxClassCount; ++i) {
            const auto syntaxClass = SyntaxClass(i);
            QCOMPARE(Highlighting::syntaxClassFromName(Highlighting::syntaxClassName(syntaxClass)),
                     std::optional(syntaxClass));
        }
        QCOMPARE(qs(Highlighting::syntaxClassName(SyntaxClass::Property)), QStringLiteral("property"));
        QCOMPARE(Highlighting::syntaxClassFromName("colour"), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(ThemeTest)
#include "tst_theme.moc"
