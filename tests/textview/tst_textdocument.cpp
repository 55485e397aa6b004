// The text document without any widget: undo (typing coalescing, groups, redo), the save point,
// the search kept current edit by edit, character and word movement, and its observers.
#include "textview/textdocument.h"

#include <QtTest>

#include <random>

using namespace TextView;
using namespace std::string_literals;

Q_DECLARE_METATYPE(std::u16string)

namespace {

std::u16string u16(const QString &s)
{
    return s.toStdU16String();
}

QString q(const std::u16string &s)
{
    return QString::fromStdU16String(s);
}

class Recorder : public TextDocumentObserver {
public:
    QStringList events;
    void documentDidReplace(const EditReport &r) override
    {
        events << QStringLiteral("replace %1 -%2 +%3").arg(r.position).arg(r.removed).arg(r.inserted);
    }
    void documentDidChangeAttributes(std::size_t start, std::size_t length) override
    {
        events << QStringLiteral("attributes %1 %2").arg(start).arg(length);
    }
    void documentDidReset() override { events << QStringLiteral("reset"); }
    void documentDidChangeModified(bool modified) override { events << QStringLiteral("modified %1").arg(modified); }
    void documentDidChangeMatches() override { events << QStringLiteral("matches"); }
};

// Runs one step of the small language the table rows are written in:
//   t<pos><text>  types <text> at <pos> (typing coalesces)    r<pos>   replaces one unit by "R"
//   i<pos><text>  inserts <text> at <pos> as its own edit      u / y    undo / redo
//   g / G         begins / ends an undo group                  b        breaks typing coalescing
//   s             marks the save point                         x<text>  appends <text> on the storage itself
//   n<text>       sets the whole text (setText)
void runStep(TextDocument &document, const QString &step)
{
    const QChar kind = step.at(0);
    if (kind == 't' || kind == 'i')
        document.replace({std::size_t(step.mid(1, 1).toInt()), 0}, u16(step.mid(2)),
                         kind == 't' ? Coalescing::Allowed : Coalescing::Breaks);
    else if (kind == 'r')
        document.replace({std::size_t(step.mid(1).toInt()), 1}, u"R");
    else if (kind == 'u')
        document.undo();
    else if (kind == 'y')
        document.redo();
    else if (kind == 'g')
        document.beginUndoGroup();
    else if (kind == 'G')
        document.endUndoGroup();
    else if (kind == 'b')
        document.breakUndoCoalescing();
    else if (kind == 's')
        document.markSavePoint();
    else if (kind == 'x')
        document.storage().replace(document.length(), 0, u16(step.mid(1)));
    else if (kind == 'n')
        document.setText(u16(step.mid(1)));
    else
        QFAIL(qPrintable("unknown step " + step));
}

QList<int> matchList(const TextDocument &document)
{
    QList<int> out;
    for (std::size_t match : document.matches())
        out << int(match);
    return out;
}

} // namespace

class TestTextDocument : public QObject {
    Q_OBJECT
private slots:
    void undoCoalescing_data();
    void undoCoalescing();
    void undoClosesOpenGroupAndRedoes();
    void undoReturnsWhereTheTextWent_data();
    void undoReturnsWhereTheTextWent();
    void randomEditsUndoAndRedoToTheModel_data();
    void randomEditsUndoAndRedoToTheModel();
    void savePoint_data();
    void savePoint();
    void modifiedIsToldOnlyWhenItChanges();
    void searchFindsMatches_data();
    void searchFindsMatches();
    void matchesFollowEdits_data();
    void matchesFollowEdits();
    void nextMatchWrapsAround_data();
    void nextMatchWrapsAround();
    void replaceMatchReplacesOnlyAMatch_data();
    void replaceMatchReplacesOnlyAMatch();
    void replaceAllIsOneUndoStep();
    void replaceAllSkipsRefusedMatches();
    void searchIsDroppedByNewContent();
    void graphemeMovement_data();
    void graphemeMovement();
    void wordMovement_data();
    void wordMovement();
    void wordAt_data();
    void wordAt();
    void observersHearEveryChange();
    void observerRemovedWhileNotifiedIsNotCalledAgain();
};

// ---- Undo ---------------------------------------------------------------------------------------

void TestTextDocument::undoCoalescing_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("undoSteps");
    QTest::newRow("run-of-typing-is-one-step") << QStringList{"t0a", "t1b", "t2c"} << "abc" << 1;
    QTest::newRow("typing-elsewhere-starts-new-step") << QStringList{"t0a", "t1b", "t0X"} << "Xab" << 2;
    QTest::newRow("programmatic-edit-is-own-step") << QStringList{"t0a", "t1b", "r0", "t2c"} << "Rbc" << 3;
    QTest::newRow("undo-after-typing-restores-empty") << QStringList{"t0a", "t1b", "u"} << "" << 0;
    QTest::newRow("typing-over-its-own-text-continues") << QStringList{"t0ab", "t1X"} << "aXb" << 1;
    QTest::newRow("break-starts-new-step") << QStringList{"t0a", "b", "t1b"} << "ab" << 2;
    QTest::newRow("group-is-one-step") << QStringList{"g", "i0a", "i1b", "r0", "G"} << "Rb" << 1;
    QTest::newRow("nested-groups-merge-into-outermost") << QStringList{"g", "i0a", "g", "i1b", "G", "i2c", "G"} << "abc" << 1;
    QTest::newRow("empty-group-is-no-step") << QStringList{"g", "G", "i0a"} << "a" << 1;
    QTest::newRow("unbalanced-end-is-ignored") << QStringList{"G", "i0a", "i1b"} << "ab" << 2;
    QTest::newRow("typing-inside-a-group-joins-it") << QStringList{"g", "i0x", "t1a", "t2b", "G"} << "xab" << 1;
    QTest::newRow("redo-then-typing-is-a-new-step") << QStringList{"t0a", "u", "y", "t1b"} << "ab" << 2;
}

void TestTextDocument::undoCoalescing()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, text);
    QFETCH(int, undoSteps);
    TextDocument document;
    for (const QString &step : steps)
        runStep(document, step);
    QCOMPARE(q(document.storage().text()), text);
    int count = 0;
    while (document.canUndo()) {
        QVERIFY(document.undo());
        ++count;
    }
    QCOMPARE(count, undoSteps);
    QCOMPARE(q(document.storage().text()), QString());
    // Redoing everything brings the text back, step by step (beyond it when a row undid).
    if (!steps.contains("u")) {
        while (document.canRedo())
            document.redo();
        QCOMPARE(q(document.storage().text()), text);
    }
}

void TestTextDocument::undoClosesOpenGroupAndRedoes()
{
    TextDocument document;
    document.replace({0, 0}, u"h", Coalescing::Allowed);
    document.replace({1, 0}, u"i", Coalescing::Allowed);
    QVERIFY(document.isCoalescing());
    QCOMPARE(document.coalescingRange(), std::optional<TextRange>(TextRange{1, 1}));
    QVERIFY(document.canUndo());
    QCOMPARE(document.undoCount(), std::size_t(0)); // the typing step is still open
    document.undo();
    QVERIFY(!document.isCoalescing());
    QVERIFY(!document.coalescingRange());
    QCOMPARE(q(document.storage().text()), QString());
    QVERIFY(document.canRedo());
    document.redo();
    QCOMPARE(q(document.storage().text()), QStringLiteral("hi"));
    // A new edit after undo drops what is left to redo, at once.
    document.undo();
    document.replace({0, 0}, u"x", Coalescing::Allowed);
    QVERIFY(!document.canRedo());
    QVERIFY(!document.redo());
    QCOMPARE(q(document.storage().text()), QStringLiteral("x"));
}

void TestTextDocument::undoReturnsWhereTheTextWent_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<int>("location");
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("text");
    QTest::newRow("undo-of-insertion-is-empty-range-at-it") << QStringList{"i0abc", "i1XY"} << 1 << 0 << "abc";
    QTest::newRow("undo-of-replacement-covers-old-text") << QStringList{"i0abc", "r1"} << 1 << 1 << "abc";
    // The group ran from the end; undoing it puts the first edit back last.
    QTest::newRow("undo-of-group-ends-at-its-first-edit") << QStringList{"i0abcd", "g", "r3", "r0", "G"} << 3 << 1 << "abcd";
}

void TestTextDocument::undoReturnsWhereTheTextWent()
{
    QFETCH(QStringList, steps);
    QFETCH(int, location);
    QFETCH(int, length);
    QFETCH(QString, text);
    TextDocument document;
    for (const QString &step : steps)
        runStep(document, step);
    const std::optional<TextRange> restored = document.undo();
    QVERIFY(restored);
    QCOMPARE(*restored, (TextRange{std::size_t(location), std::size_t(length)}));
    QCOMPARE(q(document.storage().text()), text);
}

void TestTextDocument::randomEditsUndoAndRedoToTheModel_data()
{
    QTest::addColumn<unsigned>("seed");
    QTest::addColumn<int>("edits");
    QTest::addColumn<int>("maxInsert");
    QTest::newRow("short-edits-many-lines") << 1u << 4000 << 6;
    QTest::newRow("long-pastes-split-blocks") << 7u << 600 << 900;
    QTest::newRow("mixed-with-typing") << 42u << 3000 << 40;
}

void TestTextDocument::randomEditsUndoAndRedoToTheModel()
{
    QFETCH(unsigned, seed);
    QFETCH(int, edits);
    QFETCH(int, maxInsert);
    std::mt19937 random(seed);
    TextDocument document;
    const std::u16string initial = u"seed line\nsecond\n\nlast without break";
    std::u16string model = initial;
    document.setText(model);
    const char16_t alphabet[] = u"ab\n\n\xe9\xD83D\xDE00 ";
    auto linesConsistent = [&] {
        const TextStorage &storage = document.storage();
        std::size_t line = 0, start = 0;
        for (std::size_t i = 0; i <= model.size(); ++i) {
            if (i == model.size() || model[i] == u'\n') {
                if (line >= storage.lineCount() || storage.lineStart(line) != start || storage.lineLength(line) != i - start)
                    return false;
                ++line;
                start = i + 1;
            }
        }
        return line == storage.lineCount() && storage.length() == model.size();
    };
    for (int i = 0; i < edits; ++i) {
        const std::size_t size = model.size();
        const std::size_t position = size ? random() % (size + 1) : 0;
        const std::size_t removed = (random() % 4 == 0 && size) ? random() % std::min<std::size_t>(size + 1, 300) : 0;
        std::u16string inserted;
        const int count = int(random() % std::uint32_t(maxInsert + 1));
        for (int k = 0; k < count; ++k)
            inserted += alphabet[random() % 8];
        const Coalescing coalescing = random() % 3 == 0 ? Coalescing::Allowed : Coalescing::Breaks;
        document.replace({position, removed}, inserted, coalescing);
        model.replace(position, std::min(removed, size - position), inserted);
        if (i % 97 == 0 || i == edits - 1) {
            QVERIFY2(linesConsistent(), qPrintable(QStringLiteral("after edit %1").arg(i)));
            QCOMPARE(q(document.storage().text()), q(model));
        }
    }
    // Undoing everything restores the text loaded, redoing everything the final one.
    const std::u16string final = model;
    while (document.canUndo())
        document.undo();
    model = initial;
    QCOMPARE(q(document.storage().text()), q(initial));
    QVERIFY(linesConsistent());
    while (document.canRedo())
        document.redo();
    model = final;
    QCOMPARE(q(document.storage().text()), q(final));
    QVERIFY(linesConsistent());
}

// ---- Save point -----------------------------------------------------------------------------------

void TestTextDocument::savePoint_data()
{
    // `modified` holds isModified() after each step, as 0 or 1.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("modified");
    QTest::newRow("new-document-is-unmodified-until-an-edit") << QStringList{"i0a"} << "1";
    QTest::newRow("undo-back-to-the-save-point-is-unmodified") << QStringList{"i0a", "s", "i1b", "u"} << "1010";
    QTest::newRow("redo-back-to-the-save-point-is-unmodified") << QStringList{"i0a", "i1b", "s", "u", "y"} << "11010";
    QTest::newRow("undo-past-the-save-point-is-modified") << QStringList{"i0a", "s", "u"} << "101";
    QTest::newRow("edit-after-undoing-past-the-save-point-never-returns")
        << QStringList{"i0a", "i1b", "s", "u", "i1c", "u", "y", "u"} << "11011111";
    QTest::newRow("saving-mid-typing-then-undo-and-redo-are-both-modified")
        << QStringList{"t0a", "t1b", "s", "t2c", "u", "y"} << "110111";
    QTest::newRow("edit-on-the-storage-leaves-the-save-point-for-good") << QStringList{"i0a", "s", "xb", "u", "y"}
                                                                        << "10111";
    QTest::newRow("saving-after-an-edit-on-the-storage-counts") << QStringList{"i0a", "xb", "s", "i0c", "u"} << "11010";
    QTest::newRow("new-content-is-modified-until-saved") << QStringList{"s", "nother", "s", "i0x", "u"} << "01010";
    QTest::newRow("undo-after-new-content-never-returns-to-the-old-save-point")
        << QStringList{"i0a", "s", "nb", "u"} << "1011";
}

void TestTextDocument::savePoint()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, modified);
    QCOMPARE(steps.size(), modified.size());
    TextDocument document;
    QVERIFY(!document.isModified());
    for (int i = 0; i < steps.size(); ++i) {
        runStep(document, steps[i]);
        QVERIFY2(document.isModified() == (modified[i] == '1'),
                 qPrintable(QStringLiteral("after step %1 (%2)").arg(i).arg(steps[i])));
    }
}

void TestTextDocument::modifiedIsToldOnlyWhenItChanges()
{
    TextDocument document;
    Recorder recorder;
    document.addObserver(&recorder);
    document.replace({0, 0}, u"a");
    document.replace({1, 0}, u"b");
    document.markSavePoint();
    document.replace({2, 0}, u"c");
    document.undo();
    QCOMPARE(recorder.events.filter("modified"), (QStringList{"modified 1", "modified 0", "modified 1", "modified 0"}));
    // Told after the edit that caused it.
    QCOMPARE(recorder.events.mid(recorder.events.size() - 2), (QStringList{"replace 2 -1 +0", "modified 0"}));
    document.removeObserver(&recorder);
}

// ---- Search -----------------------------------------------------------------------------------------

void TestTextDocument::searchFindsMatches_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("needle");
    QTest::addColumn<bool>("caseSensitive");
    QTest::addColumn<QList<int>>("matches");
    QTest::newRow("ignoring-case-finds-every-spelling") << "apple Apple APPLE" << "apple" << false << QList<int>{0, 6, 12};
    QTest::newRow("with-case-finds-the-exact-one") << "apple Apple APPLE" << "Apple" << true << QList<int>{6};
    QTest::newRow("matches-never-overlap") << "aaaa" << "aa" << false << QList<int>{0, 2};
    QTest::newRow("empty-needle-finds-nothing") << "abc" << "" << false << QList<int>{};
    QTest::newRow("needle-longer-than-text-finds-nothing") << "ab" << "abc" << false << QList<int>{};
    QTest::newRow("across-a-line-break") << "a\nb a\nb" << "a\nb" << false << QList<int>{0, 4};
    QTest::newRow("final-sigma-matches-sigma-ignoring-case") << QString::fromUtf8("ΣΑΣ σας") << QString::fromUtf8("σας")
                                                            << false << QList<int>{0, 4};
    QTest::newRow("accented-capital-ignoring-case") << QString::fromUtf8("École école") << QString::fromUtf8("éCOLE")
                                                   << false << QList<int>{0, 6};
    QTest::newRow("surrogate-pairs-compare-as-they-are") << QString::fromUtf8("x😀y😀") << QString::fromUtf8("😀")
                                                        << false << QList<int>{1, 4};
}

void TestTextDocument::searchFindsMatches()
{
    QFETCH(QString, text);
    QFETCH(QString, needle);
    QFETCH(bool, caseSensitive);
    QFETCH(QList<int>, matches);
    TextDocument document;
    document.setText(u16(text));
    document.setSearch(u16(needle), caseSensitive ? CaseSensitivity::Sensitive : CaseSensitivity::Insensitive);
    QCOMPARE(matchList(document), matches);
    QVERIFY(document.isSearchActive());
}

void TestTextDocument::matchesFollowEdits_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("removed");
    QTest::addColumn<QString>("inserted");
    QTest::addColumn<QList<int>>("matches");
    // Needle "apple", ignoring case, in "apple Apple apple" (matches 0, 6, 12).
    const QString text = "apple Apple apple";
    QTest::newRow("insert-before-shifts-every-match") << text << 0 << 0 << "apple " << QList<int>{0, 6, 12, 18};
    QTest::newRow("edit-inside-a-match-removes-it") << text << 7 << 2 << "" << QList<int>{0, 10};
    QTest::newRow("edit-completing-a-match-adds-it") << "appl appl" << 4 << 0 << "E" << QList<int>{0};
    QTest::newRow("joining-two-halves-makes-a-match") << "app|le" << 3 << 1 << "" << QList<int>{0};
    QTest::newRow("edit-after-every-match-changes-nothing") << text << 17 << 0 << "!" << QList<int>{0, 6, 12};
    QTest::newRow("deleting-everything-leaves-none") << text << 0 << 17 << "" << QList<int>{};
}

void TestTextDocument::matchesFollowEdits()
{
    QFETCH(QString, text);
    QFETCH(int, position);
    QFETCH(int, removed);
    QFETCH(QString, inserted);
    QFETCH(QList<int>, matches);
    TextDocument document;
    document.setText(u16(text));
    document.setSearch(u"apple", CaseSensitivity::Insensitive);
    document.replace({std::size_t(position), std::size_t(removed)}, u16(inserted));
    QCOMPARE(matchList(document), matches);
    // The same as searching the edited text afresh.
    TextDocument fresh;
    fresh.setText(document.storage().text());
    fresh.setSearch(u"apple", CaseSensitivity::Insensitive);
    QCOMPARE(matchList(document), matchList(fresh));
    // Undo keeps them current too.
    document.undo();
    QCOMPARE(q(document.storage().text()), text);
    fresh.setText(document.storage().text());
    fresh.setSearch(u"apple", CaseSensitivity::Insensitive);
    QCOMPARE(matchList(document), matchList(fresh));
}

void TestTextDocument::nextMatchWrapsAround_data()
{
    // Matches of "ab" in "ab ab ab": 0, 3, 6.
    QTest::addColumn<int>("location");
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("forward");
    QTest::addColumn<int>("expected");
    QTest::newRow("forward-from-a-caret-takes-the-match-at-it") << 3 << 0 << true << 3;
    QTest::newRow("forward-from-a-selected-match-takes-the-next") << 3 << 2 << true << 6;
    QTest::newRow("forward-after-the-last-wraps-to-the-first") << 7 << 0 << true << 0;
    QTest::newRow("backward-takes-the-last-before") << 5 << 0 << false << 3;
    QTest::newRow("backward-from-a-selected-match-takes-the-one-before") << 3 << 2 << false << 0;
    QTest::newRow("backward-before-the-first-wraps-to-the-last") << 0 << 2 << false << 6;
}

void TestTextDocument::nextMatchWrapsAround()
{
    QFETCH(int, location);
    QFETCH(int, length);
    QFETCH(bool, forward);
    QFETCH(int, expected);
    TextDocument document;
    document.setText(u"ab ab ab");
    QVERIFY(!document.nextMatch({0, 0}, SearchDirection::Forward)); // nothing searched yet
    document.setSearch(u"ab", CaseSensitivity::Sensitive);
    const auto match = document.nextMatch({std::size_t(location), std::size_t(length)},
                                          forward ? SearchDirection::Forward : SearchDirection::Backward);
    QVERIFY(match);
    QCOMPARE(*match, (TextRange{std::size_t(expected), 2}));
    QCOMPARE(document.matchIndex(*match), std::size_t(expected / 3 + 1));
    QCOMPARE(document.matchIndex({std::size_t(expected), 1}), std::size_t(0));
}

void TestTextDocument::replaceMatchReplacesOnlyAMatch_data()
{
    // Needle "cat" ignoring case in "cat Cat cart": matches 0 and 4.
    QTest::addColumn<int>("location");
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<int>>("matches");
    QTest::newRow("a-match-is-replaced") << 4 << 3 << "cat dog cart" << QList<int>{0};
    QTest::newRow("part-of-a-match-is-not") << 4 << 2 << "cat Cat cart" << QList<int>{0, 4};
    QTest::newRow("a-range-that-is-no-match-is-not") << 8 << 3 << "cat Cat cart" << QList<int>{0, 4};
}

void TestTextDocument::replaceMatchReplacesOnlyAMatch()
{
    QFETCH(int, location);
    QFETCH(int, length);
    QFETCH(QString, text);
    QFETCH(QList<int>, matches);
    TextDocument document;
    document.setText(u"cat Cat cart");
    document.setSearch(u"cat", CaseSensitivity::Insensitive);
    const auto replaced = document.replaceMatch({std::size_t(location), std::size_t(length)}, u"dog");
    QCOMPARE(q(document.storage().text()), text);
    QCOMPARE(matchList(document), matches);
    QCOMPARE(replaced.has_value(), text != "cat Cat cart");
    if (replaced) {
        QCOMPARE(*replaced, (TextRange{std::size_t(location), 3}));
        QCOMPARE(document.undoCount(), std::size_t(1));
    }
}

void TestTextDocument::replaceAllIsOneUndoStep()
{
    TextDocument document;
    const std::u16string original = u"Apple pie, apple tart, APPLE.";
    document.setText(original);
    document.replace({0, 0}, u"x", Coalescing::Allowed); // an open typing step closes first
    document.setSearch(u"apple", CaseSensitivity::Insensitive);
    Recorder recorder;
    document.addObserver(&recorder);
    QCOMPARE(document.replaceAllMatches(u"fig"), std::size_t(3));
    QCOMPARE(q(document.storage().text()), QStringLiteral("xfig pie, fig tart, fig."));
    // From the last match to the first, then one search of the new text.
    QCOMPARE(recorder.events, (QStringList{"replace 24 -5 +3", "replace 12 -5 +3", "replace 1 -5 +3", "matches"}));
    QCOMPARE(matchList(document), QList<int>{});
    document.setSearch(u"fig", CaseSensitivity::Sensitive);
    QCOMPARE(matchList(document), (QList<int>{1, 10, 20}));
    document.undo();
    QCOMPARE(q(document.storage().text()), q(u"x" + original));
    document.undo();
    QCOMPARE(q(document.storage().text()), q(original));
    document.removeObserver(&recorder);
}

void TestTextDocument::replaceAllSkipsRefusedMatches()
{
    TextDocument document;
    document.setText(u"a-a-a");
    document.setSearch(u"a", CaseSensitivity::Sensitive);
    QList<int> asked;
    const std::size_t replaced = document.replaceAllMatches(u"bb", [&](TextRange range) {
        asked << int(range.location);
        return range.location != 2;
    });
    QCOMPARE(replaced, std::size_t(2));
    QCOMPARE(asked, (QList<int>{4, 2, 0}));
    QCOMPARE(q(document.storage().text()), QStringLiteral("bb-a-bb"));
    QCOMPARE(matchList(document), QList<int>{3});
}

void TestTextDocument::searchIsDroppedByNewContent()
{
    TextDocument document;
    document.setText(u"one two one");
    document.setSearch(u"one", CaseSensitivity::Sensitive);
    QCOMPARE(matchList(document), (QList<int>{0, 8}));
    document.setText(u"one");
    QVERIFY(!document.isSearchActive());
    QCOMPARE(matchList(document), QList<int>{});
    QCOMPARE(q(document.searchNeedle()), QStringLiteral("one")); // kept for a later search
    document.recomputeMatches();
    QCOMPARE(matchList(document), QList<int>{0});
    document.deactivateSearch();
    document.replace({0, 0}, u"one ");
    QCOMPARE(matchList(document), QList<int>{}); // not kept current while inactive
}

// ---- Characters and words -------------------------------------------------------------------------

void TestTextDocument::graphemeMovement_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("next");
    QTest::addColumn<int>("previous");
    QTest::newRow("ascii-one-unit") << "abc" << 1 << 2 << 0;
    QTest::newRow("surrogate-pair-is-one-character") << QString::fromUtf8("a😀b") << 1 << 3 << 0;
    QTest::newRow("previous-skips-the-whole-pair") << QString::fromUtf8("a😀b") << 3 << 4 << 1;
    QTest::newRow("combining-mark-joins-its-letter") << QString::fromUtf8("e\u0301x") << 0 << 2 << 0;
    QTest::newRow("previous-over-a-combining-sequence") << QString::fromUtf8("xe\u0301") << 3 << 3 << 1;
    QTest::newRow("flag-is-one-character") << QString::fromUtf8("🇫🇷🇩🇪") << 4 << 8 << 0;
    QTest::newRow("zwj-family-is-one-character") << QString::fromUtf8("👨‍👩‍👧x") << 0 << 8 << 0;
    QTest::newRow("skin-tone-joins-its-emoji") << QString::fromUtf8("👍🏽x") << 0 << 4 << 0;
    QTest::newRow("hangul-jamo-make-one-syllable") << QString::fromUtf8("\u1100\u1161\u11A8x") << 0 << 3 << 0;
    QTest::newRow("line-break-is-a-character-of-its-own") << "a\nb" << 1 << 2 << 0;
    QTest::newRow("previous-from-a-line-start-takes-the-break") << "a\nb" << 2 << 3 << 1;
    QTest::newRow("end-of-text-stays") << "ab" << 2 << 2 << 1;
    QTest::newRow("start-of-text-stays") << "ab" << 0 << 1 << 0;
    // Extended clusters, as the status bar counts them: QTextBoundaryFinder split these.
    QTest::newRow("spacing-vowel-sign-joins-its-consonant") << QString::fromUtf8("\u0915\u093Fx") << 0 << 2 << 0;
    QTest::newRow("thai-sara-am-joins-its-consonant") << QString::fromUtf8("\u0E01\u0E33x") << 2 << 3 << 0;
    QTest::newRow("prepended-mark-joins-what-follows") << QString::fromUtf8("\u06001x") << 0 << 2 << 0;
}

void TestTextDocument::graphemeMovement()
{
    QFETCH(QString, text);
    QFETCH(int, position);
    QFETCH(int, next);
    QFETCH(int, previous);
    TextDocument document;
    document.setText(u16(text));
    QCOMPARE(int(document.nextGrapheme(std::size_t(position))), next);
    QCOMPARE(int(document.previousGrapheme(std::size_t(position))), previous);
}

void TestTextDocument::wordMovement_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("nextEnd");
    QTest::addColumn<int>("previousStart");
    QTest::newRow("to-the-end-of-this-word") << "alpha beta" << 2 << 5 << 0;
    QTest::newRow("over-a-space-to-the-next-word") << "alpha beta" << 5 << 10 << 0;
    QTest::newRow("back-over-a-space-to-the-word-start") << "alpha beta" << 6 << 10 << 0;
    QTest::newRow("punctuation-separates-words") << "foo.bar" << 3 << 7 << 0;
    QTest::newRow("digits-and-underscore-are-word") << "a_1 b" << 0 << 3 << 0;
    QTest::newRow("accented-letters-are-word") << QString::fromUtf8("café au") << 0 << 4 << 0;
    QTest::newRow("combining-marks-are-word") << QString::fromUtf8("e\u0301t x") << 0 << 3 << 0;
    QTest::newRow("letters-outside-the-bmp-are-word") << QString::fromUtf8("𝐀b c") << 4 << 5 << 0;
    QTest::newRow("cjk-ideographs-are-word") << QString::fromUtf8("漢字 x") << 0 << 2 << 0;
    // Before, any surrogate counted as a word unit, so an emoji glued to a word joined it.
    QTest::newRow("emoji-is-not-word") << QString::fromUtf8("a😀b") << 0 << 1 << 0;
    QTest::newRow("previous-over-an-emoji-stops-at-the-word") << QString::fromUtf8("a😀b") << 4 << 4 << 3;
    QTest::newRow("at-a-line-end-the-step-crosses-the-break") << "ab\ncd" << 2 << 3 << 0;
    QTest::newRow("at-a-line-start-the-step-crosses-back") << "ab\ncd" << 3 << 5 << 2;
    QTest::newRow("end-of-text-stays") << "ab" << 2 << 2 << 0;
    QTest::newRow("giant-word-stops-at-the-scan-limit") << QString(10000, 'x') << 5000 << 9096 << 904;
}

void TestTextDocument::wordMovement()
{
    QFETCH(QString, text);
    QFETCH(int, position);
    QFETCH(int, nextEnd);
    QFETCH(int, previousStart);
    TextDocument document;
    document.setText(u16(text));
    QCOMPARE(int(document.nextWordEnd(std::size_t(position))), nextEnd);
    QCOMPARE(int(document.previousWordStart(std::size_t(position))), previousStart);
}

void TestTextDocument::wordAt_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("location");
    QTest::addColumn<int>("length");
    QTest::newRow("inside-a-word-takes-the-word") << "hello brave world" << 8 << 6 << 5;
    QTest::newRow("at-a-word-start-takes-the-word") << "hello brave world" << 6 << 6 << 5;
    QTest::newRow("on-a-space-takes-the-space") << "a b" << 1 << 1 << 1;
    QTest::newRow("on-an-emoji-takes-the-emoji") << QString::fromUtf8("a 👍🏽 b") << 2 << 2 << 4;
    QTest::newRow("at-a-line-end-is-empty") << "ab\ncd" << 2 << 2 << 0;
    QTest::newRow("word-with-a-letter-outside-the-bmp") << QString::fromUtf8("x 𝐀bc y") << 4 << 2 << 4;
}

void TestTextDocument::wordAt()
{
    QFETCH(QString, text);
    QFETCH(int, position);
    QFETCH(int, location);
    QFETCH(int, length);
    TextDocument document;
    document.setText(u16(text));
    QCOMPARE(document.wordAt(std::size_t(position)), (TextRange{std::size_t(location), std::size_t(length)}));
}

// ---- Observers ------------------------------------------------------------------------------------

void TestTextDocument::observersHearEveryChange()
{
    TextDocument document;
    Recorder first, second;
    document.addObserver(&first);
    document.addObserver(&second);
    document.addObserver(&first); // once only
    document.setText(u"hello");
    document.replace({0, 1}, u"J");
    document.storage().setClass(1, 2, 3);
    document.storage().replace(5, 0, u"!"); // on the storage itself: still heard
    document.markSavePoint();
    document.undo();
    const QStringList expected{"reset", "modified 1", "replace 0 -1 +1", "attributes 1 2", "replace 5 -0 +1",
                               "modified 0", "replace 0 -1 +1", "modified 1"};
    QCOMPARE(first.events, expected);
    QCOMPARE(second.events, expected);
    document.removeObserver(&first);
    document.replace({0, 0}, u"x");
    QCOMPARE(first.events, expected);
    QCOMPARE(second.events.size(), expected.size() + 1);
    document.removeObserver(&second);
}

void TestTextDocument::observerRemovedWhileNotifiedIsNotCalledAgain()
{
    TextDocument document;
    Recorder later;
    struct Remover : Recorder {
        TextDocument *document = nullptr;
        Recorder *other = nullptr;
        void documentDidReplace(const EditReport &report) override
        {
            Recorder::documentDidReplace(report);
            document->removeObserver(other);
            document->removeObserver(this);
        }
    } remover;
    remover.document = &document;
    remover.other = &later;
    document.addObserver(&remover);
    document.addObserver(&later);
    document.replace({0, 0}, u"a");
    QCOMPARE(remover.events, QStringList{"replace 0 -0 +1"});
    QCOMPARE(later.events, QStringList{}); // removed before its turn
    document.replace({0, 0}, u"b");
    QCOMPARE(remover.events.size(), 1); // gone before the edit was told as a modification
}

QTEST_GUILESS_MAIN(TestTextDocument)
#include "tst_textdocument.moc"
