// Storage, line index, wrap rows and kill ring of the text view, without any widget.
#include "textview/lineindex.h"
#include "textview/textstorage.h"
#include "textview/wraprows.h"
#include "textview/yankingmanager.h"

#include <QtTest>

#include <atomic>
#include <random>
#include <thread>

using namespace TextView;
using namespace std::string_literals;

Q_DECLARE_METATYPE(std::u16string)
Q_DECLARE_METATYPE(TextView::DeleteAction)

namespace {

std::u16string u16(const QString &s)
{
    return s.toStdU16String();
}

QString q(const std::u16string &s)
{
    return QString::fromStdU16String(s);
}

class Recorder : public TextStorageObserver {
public:
    QStringList events;
    void textReplaced(const EditReport &r) override
    {
        events << QStringLiteral("edit %1 -%2 +%3 line %4 lf -%5 +%6")
                      .arg(r.position).arg(r.removed).arg(r.inserted).arg(r.firstLine)
                      .arg(r.removedLineBreaks).arg(r.insertedLineBreaks);
    }
    void attributesChanged(std::size_t start, std::size_t length) override
    {
        events << QStringLiteral("attributes %1 %2").arg(start).arg(length);
    }
    void contentReset() override { events << QStringLiteral("reset"); }
};

} // namespace

class TestTextViewCore : public QObject {
    Q_OBJECT
private slots:
    void adoptsBufferWithoutCopy();
    void growingByAppendsKeepsEveryUnit();
    void replaceReportsEdit_data();
    void replaceReportsEdit();
    void randomEditsMatchModel_data();
    void randomEditsMatchModel();
    void linesAfterLoad_data();
    void linesAfterLoad();
    void classesFollowEdits();
    void snapshotIsRevokedByEveryChange_data();
    void snapshotIsRevokedByEveryChange();
    void snapshotReadersNeverSeeATornText();
    void attributeBatchReportsUnion();
    void decorationsFollowEdits_data();
    void decorationsFollowEdits();
    void rowEstimates_data();
    void rowEstimates();
    void measuredRowsMapBothWays();
    void wrapRowsFollowEdits();
    void killRing_data();
    void killRing();
    void killRingSizeAtLeastOne();
};

void TestTextViewCore::growingByAppendsKeepsEveryUnit()
{
    // From malloc'd memory through many growths of a mapping (moved, not copied, where the
    // system can), as a followed log grows; each unit keeps its value.
    const auto unit = [](std::size_t i) { return char16_t(u'a' + i % 26 + (i / 4099) % 7); };
    std::vector<char16_t> piece(700'001);
    Base::U16Buffer buffer;
    TextView::TextStorage storage;
    std::size_t length = 0;
    for (int round = 0; round < 24; ++round) {
        for (std::size_t k = 0; k < piece.size(); ++k)
            piece[k] = unit(length + k);
        buffer.append(piece.data(), piece.size());
        storage.replace(storage.length(), 0, std::u16string_view(piece.data(), piece.size()));
        length += piece.size();
    }
    QCOMPARE(buffer.size(), length);
    QCOMPARE(storage.length(), length);
    for (std::size_t i = 0; i < length; i += 997) {
        QCOMPARE(buffer[i], unit(i));
    }
    std::vector<char16_t> copied(length);
    QCOMPARE(storage.copy(0, length, copied.data()), length);
    for (std::size_t i = 0; i < length; i += 991)
        QCOMPARE(copied[i], unit(i));
    QCOMPARE(copied.back(), unit(length - 1));
}

void TestTextViewCore::adoptsBufferWithoutCopy()
{
    Base::U16Buffer buffer(1 << 21);
    const std::u16string text = u"{\n  \"a\": 1\n}\n";
    buffer.append(text.data(), text.size());
    const char16_t *data = buffer.data();
    TextStorage storage;
    storage.setText(std::move(buffer));
    QCOMPARE(storage.view(0, storage.length()).data(), data);
    QCOMPARE(q(storage.text()), q(text));
    QCOMPARE(storage.lineCount(), std::size_t(4));
    // The spare capacity is the gap: inserting at the end keeps the same memory.
    storage.replace(storage.length(), 0, u"x");
    QCOMPARE(storage.view(0, storage.length()).data(), data);
}

void TestTextViewCore::replaceReportsEdit_data()
{
    QTest::addColumn<QString>("initial");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("removed");
    QTest::addColumn<QString>("inserted");
    QTest::addColumn<QString>("expectedText");
    QTest::addColumn<QString>("expectedEvent");
    QTest::newRow("insert-in-empty") << "" << 0 << 0 << "ab" << "ab" << "edit 0 -0 +2 line 0 lf -0 +0";
    QTest::newRow("insert-line-break-second-line") << "ab\ncd" << 4 << 0 << "\n" << "ab\nc\nd"
                                                   << "edit 4 -0 +1 line 1 lf -0 +1";
    QTest::newRow("remove-across-lines") << "a\nb\nc" << 1 << 3 << "" << "ac" << "edit 1 -3 +0 line 0 lf -2 +0";
    QTest::newRow("range-clamped-to-end") << "abc" << 2 << 50 << "Z" << "abZ" << "edit 2 -1 +1 line 0 lf -0 +0";
    QTest::newRow("position-past-end-appends") << "abc" << 99 << 0 << "!" << "abc!" << "edit 3 -0 +1 line 0 lf -0 +0";
}

void TestTextViewCore::replaceReportsEdit()
{
    QFETCH(QString, initial);
    QFETCH(int, position);
    QFETCH(int, removed);
    QFETCH(QString, inserted);
    QFETCH(QString, expectedText);
    QFETCH(QString, expectedEvent);
    TextStorage storage;
    storage.setText(u16(initial));
    Recorder recorder;
    storage.setObserver(&recorder);
    const std::uint64_t before = storage.revision();
    const EditReport report = storage.replace(std::size_t(position), std::size_t(removed), u16(inserted));
    QCOMPARE(q(storage.text()), expectedText);
    QCOMPARE(recorder.events, QStringList{expectedEvent});
    QCOMPARE(report.revision, before + 1);
    QCOMPARE(storage.revision(), before + 1);
}

void TestTextViewCore::randomEditsMatchModel_data()
{
    QTest::addColumn<unsigned>("seed");
    QTest::addColumn<int>("edits");
    QTest::addColumn<int>("maxInsert");
    QTest::newRow("short-edits-many-lines") << 1u << 4000 << 6;
    QTest::newRow("long-pastes-split-blocks") << 7u << 600 << 900;
    QTest::newRow("mixed") << 42u << 3000 << 40;
}

void TestTextViewCore::randomEditsMatchModel()
{
    QFETCH(unsigned, seed);
    QFETCH(int, edits);
    QFETCH(int, maxInsert);
    std::mt19937 random(seed);
    TextStorage storage;
    std::u16string model = u"seed line\nsecond\n\nlast without break";
    storage.setText(model);
    // Every line start and length agrees with a fresh scan of the model.
    auto linesConsistent = [&] {
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
    const char16_t alphabet[] = u"ab\n\n\xe9\xD83D\xDE00 ";
    for (int i = 0; i < edits; ++i) {
        const std::size_t size = model.size();
        const std::size_t position = size ? random() % (size + 1) : 0;
        const std::size_t removed = (random() % 4 == 0 && size) ? random() % std::min<std::size_t>(size + 1, 300) : 0;
        std::u16string inserted;
        const int count = int(random() % std::uint32_t(maxInsert + 1));
        for (int k = 0; k < count; ++k)
            inserted += alphabet[random() % 8];
        storage.replace(position, removed, inserted);
        model.replace(position, std::min(removed, size - position), inserted);
        if (i % 97 == 0 || i == edits - 1) {
            QVERIFY2(linesConsistent(), qPrintable(QStringLiteral("after edit %1").arg(i)));
            std::size_t longest = 0, run = 0;
            for (char16_t c : model) {
                run = c == u'\n' ? 0 : run + 1;
                longest = std::max(longest, run);
            }
            QCOMPARE(storage.lines().longestLineLength(), longest);
            QCOMPARE(q(storage.text()), q(model));
            const std::size_t probe = random() % (model.size() + 1);
            const std::size_t expectedLine = std::size_t(std::count(model.begin(), model.begin() + std::ptrdiff_t(probe), u'\n'));
            QCOMPARE(storage.lineAt(probe), expectedLine);
            std::vector<std::uint32_t> lengths(storage.lineCount());
            storage.lines().lineLengths(0, lengths.size(), lengths.data());
            for (std::size_t line = 0; line < lengths.size(); line += 1 + lengths.size() / 50)
                QCOMPARE(std::size_t(lengths[line]), storage.lineLength(line));
        }
    }
}

void TestTextViewCore::linesAfterLoad_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<int>>("starts");
    QTest::newRow("empty-one-line") << "" << QList<int>{0};
    QTest::newRow("final-line-feed-gives-empty-last-line") << "a\n" << QList<int>{0, 2};
    QTest::newRow("blank-lines") << "\n\n" << QList<int>{0, 1, 2};
    QTest::newRow("plain") << "ab\ncde\nf" << QList<int>{0, 3, 7};
    QTest::newRow("single-line-without-break") << "one two" << QList<int>{0};
}

void TestTextViewCore::linesAfterLoad()
{
    QFETCH(QString, text);
    QFETCH(QList<int>, starts);
    TextStorage storage;
    storage.setText(u16(text));
    QList<int> actual;
    for (std::size_t i = 0; i < storage.lineCount(); ++i)
        actual << int(storage.lineStart(i));
    QCOMPARE(actual, starts);
    // Every length reaches the next line start (or the end for the last line).
    for (std::size_t i = 0; i < storage.lineCount(); ++i) {
        const std::size_t end = i + 1 < storage.lineCount() ? storage.lineStart(i + 1) - 1 : storage.length();
        QCOMPARE(storage.lineStart(i) + storage.lineLength(i), end);
    }
}

void TestTextViewCore::snapshotIsRevokedByEveryChange_data()
{
    QTest::addColumn<int>("change");
    QTest::newRow("typing at the gap") << 0;
    QTest::newRow("a deletion") << 1;
    QTest::newRow("a contiguous view across the gap") << 2;
    QTest::newRow("new content") << 3;
}

void TestTextViewCore::snapshotIsRevokedByEveryChange()
{
    QFETCH(int, change);
    TextStorage storage;
    storage.setText(u"hello world");
    storage.replace(5, 0, u","); // The gap now sits inside the text.
    const auto snapshot = storage.snapshot();
    QCOMPARE(storage.snapshot(), snapshot); // Shared until the text changes.
    std::u16string seen(snapshot->length(), u'\0');
    QVERIFY(snapshot->copy(0, seen.size(), seen.data()));
    QCOMPARE(seen, u"hello, world"s);
    QVERIFY(!snapshot->copy(3, seen.size(), seen.data())); // Past the end.
    // Read in place: the part before the gap and the part after it.
    std::vector<std::u16string> parts;
    QVERIFY(snapshot->read(2, 8, [&](std::u16string_view part) { parts.emplace_back(part); }));
    QCOMPARE(parts, (std::vector<std::u16string>{u"llo,", u" wor"}));
    parts.clear();
    QVERIFY(snapshot->read(7, 3, [&](std::u16string_view part) { parts.emplace_back(part); }));
    QCOMPARE(parts, std::vector<std::u16string>{u"wor"});
    QVERIFY(!snapshot->read(10, 5, [](std::u16string_view) {}));

    switch (change) {
    case 0: storage.replace(6, 0, u"x"); break;
    case 1: storage.replace(0, 1, u""); break;
    case 2: storage.view(0, storage.length()); break;
    case 3: storage.setText(u"other"); break;
    }
    QVERIFY(snapshot->isRevoked());
    QVERIFY(!snapshot->copy(0, 1, seen.data()));
    bool visited = false;
    QVERIFY(!snapshot->read(0, 1, [&](std::u16string_view) { visited = true; }));
    QVERIFY(!visited);
    const auto next = storage.snapshot();
    QVERIFY(next != snapshot);
    std::u16string now(next->length(), u'\0');
    QVERIFY(next->copy(0, now.size(), now.data()));
    QCOMPARE(now, storage.text());
}

// A reader copies pieces on another thread while this one edits: every copy that succeeds
// holds exactly the snapshot's text, whatever the edits do to the memory afterwards.
void TestTextViewCore::snapshotReadersNeverSeeATornText()
{
    TextStorage storage;
    std::u16string text;
    for (int i = 0; i < 20000; ++i)
        text += u"line " + u16(QString::number(i)) + u"\n";
    storage.setText(text);
    std::mt19937 random(7);
    int rounds = 0, completed = 0;
    while (rounds < 200) {
        const auto snapshot = storage.snapshot();
        const std::u16string expected = storage.text();
        std::atomic<bool> torn{false};
        std::atomic<bool> finished{false};
        // Odd rounds read in place instead of copying.
        const bool inPlace = rounds % 2 == 1;
        std::thread reader([&] {
            std::u16string piece(512, u'\0');
            for (std::size_t at = 0; at < snapshot->length(); at += piece.size()) {
                const std::size_t count = std::min(piece.size(), snapshot->length() - at);
                if (inPlace) {
                    std::size_t seen = at;
                    const bool read = snapshot->read(at, count, [&](std::u16string_view part) {
                        if (part != std::u16string_view(expected).substr(seen, part.size()))
                            torn = true;
                        seen += part.size();
                    });
                    if (!read)
                        return;
                    continue;
                }
                if (!snapshot->copy(at, count, piece.data()))
                    return;
                if (std::u16string_view(piece.data(), count) != std::u16string_view(expected).substr(at, count))
                    torn = true;
            }
            finished = true;
        });
        // Edits far apart move the gap through the whole buffer.
        const std::size_t where = random() % storage.length();
        storage.replace(where, 1, u"edit");
        reader.join();
        QVERIFY(!torn);
        completed += finished ? 1 : 0;
        ++rounds;
    }
    QVERIFY(completed < rounds); // The edits did interrupt readers.
}

void TestTextViewCore::classesFollowEdits()
{
    TextStorage storage;
    storage.setText(u"abcdef");
    QVERIFY(!storage.hasClasses());
    storage.setClass(1, 3, 5);       // a[bcd]ef
    storage.replace(2, 1, u"XY", 7); // ab XY d ef
    std::uint8_t classes[7];
    QCOMPARE(storage.copyClasses(0, 7, classes), std::size_t(7));
    QCOMPARE(QByteArray(reinterpret_cast<char *>(classes), 7), QByteArray("\0\5\7\7\5\0\0", 7));
    // A move of the gap keeps classes aligned with their units.
    storage.replace(0, 0, u"_");
    QCOMPARE(storage.classAt(3), std::uint8_t(7));
    QCOMPARE(storage.classAt(5), std::uint8_t(5));
}

void TestTextViewCore::attributeBatchReportsUnion()
{
    TextStorage storage;
    storage.setText(u"0123456789");
    Recorder recorder;
    storage.setObserver(&recorder);
    storage.beginEditing();
    storage.setClass(2, 2, 1);
    storage.beginEditing();
    storage.addDecoration({6, 3, 0xffff0000, UnderlineStyle::Thick, 0xffff0000});
    storage.endEditing();
    QCOMPARE(recorder.events, QStringList());
    storage.endEditing();
    QCOMPARE(recorder.events, QStringList{"attributes 2 7"});
    storage.endEditing(); // unbalanced: ignored
    QCOMPARE(recorder.events.size(), 1);
}

void TestTextViewCore::decorationsFollowEdits_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("removed");
    QTest::addColumn<int>("inserted");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("length");
    // Decoration over [4, 8) of a 12-unit text.
    QTest::newRow("edit-before-shifts") << 1 << 1 << 3 << 6 << 4;
    QTest::newRow("edit-after-unchanged") << 9 << 2 << 0 << 4 << 4;
    QTest::newRow("insert-inside-grows") << 5 << 0 << 2 << 4 << 6;
    QTest::newRow("delete-overlapping-start-trims") << 2 << 4 << 0 << 2 << 2;
    QTest::newRow("delete-covering-removes") << 3 << 6 << 0 << -1 << -1;
}

void TestTextViewCore::decorationsFollowEdits()
{
    QFETCH(int, position);
    QFETCH(int, removed);
    QFETCH(int, inserted);
    QFETCH(int, start);
    QFETCH(int, length);
    TextStorage storage;
    storage.setText(u"0123456789ab");
    storage.addDecoration({4, 4, 1, UnderlineStyle::Thick, 2});
    storage.replace(std::size_t(position), std::size_t(removed), std::u16string(std::size_t(inserted), u'x'));
    if (start < 0) {
        QCOMPARE(storage.decorations().size(), std::size_t(0));
        return;
    }
    QCOMPARE(storage.decorations().size(), std::size_t(1));
    QCOMPARE(int(storage.decorations()[0].start), start);
    QCOMPARE(int(storage.decorations()[0].length), length);
}

void TestTextViewCore::rowEstimates_data()
{
    QTest::addColumn<int>("columns");
    QTest::addColumn<int>("piece");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("rows");
    QTest::newRow("no-wrap-short-line-one-row") << 0 << 4096 << 300 << 1;
    QTest::newRow("no-wrap-huge-line-one-row-per-piece") << 0 << 4096 << 50000000 << 12208;
    QTest::newRow("wrap-empty-line-one-row") << 80 << 4096 << 0 << 1;
    QTest::newRow("wrap-exact-fit") << 80 << 4096 << 160 << 2;
    QTest::newRow("wrap-one-over") << 80 << 4096 << 161 << 3;
    QTest::newRow("wrap-long-line-below-limit-is-one-piece") << 100 << 1024 << 8192 << 82;
    QTest::newRow("wrap-giant-line-pieces-start-new-rows") << 100 << 1024 << 8193 << 89;
    QTest::newRow("no-wrap-line-at-limit-one-row") << 0 << 1024 << 8192 << 1;
}

void TestTextViewCore::rowEstimates()
{
    QFETCH(int, columns);
    QFETCH(int, piece);
    QFETCH(int, length);
    QFETCH(int, rows);
    WrapRows wrapRows;
    wrapRows.setWrapColumns(std::uint32_t(columns), LineIndex(), std::uint32_t(piece));
    QCOMPARE(int(wrapRows.estimateRows(std::size_t(length))), rows);
}

void TestTextViewCore::measuredRowsMapBothWays()
{
    std::vector<std::uint32_t> lengths(5000);
    for (std::size_t i = 0; i < lengths.size(); ++i)
        lengths[i] = std::uint32_t(i % 250);
    LineIndex lines;
    lines.assign(lengths);
    WrapRows index;
    index.setWrapColumns(100, lines);
    std::size_t expectedTotal = 0;
    for (std::size_t i = 0; i < lengths.size(); ++i)
        expectedTotal += index.estimateRows(lengths[i]);
    QCOMPARE(index.totalRows(), expectedTotal);
    index.setMeasuredRows(1234, 9);
    QVERIFY(index.isMeasured(1234));
    QCOMPARE(index.rows(1234), 9u);
    QCOMPARE(index.totalRows(), expectedTotal - index.estimateRows(lengths[1234]) + 9);
    for (std::size_t line : {std::size_t(0), std::size_t(1233), std::size_t(1234), std::size_t(1235), std::size_t(4999)}) {
        const std::size_t row = index.rowOfLine(line);
        QCOMPARE(index.lineAtRow(row).line, line);
        QCOMPARE(index.lineAtRow(row).rowInLine, 0u);
        if (index.rows(line) > 1)
            QCOMPARE(index.lineAtRow(row + 1).rowInLine, 1u);
    }
    QCOMPARE(index.lineAtRow(index.totalRows() + 10).line, std::size_t(4999));
}

// Rows follow the text's lines edit by edit: the edited lines are estimated afresh, measured
// values elsewhere stay, and the result equals estimating the edited text from scratch.
void TestTextViewCore::wrapRowsFollowEdits()
{
    TextStorage storage;
    std::u16string text;
    for (int i = 0; i < 3000; ++i)
        text += std::u16string(std::size_t(i % 230), u'x') + u"\n";
    storage.setText(text);
    WrapRows rows;
    rows.setWrapColumns(50, storage.lines());
    rows.setMeasuredRows(10, 7);
    std::mt19937 random(3);
    for (int i = 0; i < 400; ++i) {
        const std::size_t position = random() % (storage.length() + 1);
        const std::size_t removed = random() % 3 == 0 ? random() % 2000 : 0;
        const std::u16string inserted = random() % 2 ? u"ab\ncd\n\nxyz" : std::u16string(random() % 300, u'y');
        const EditReport report = storage.replace(position, removed, inserted);
        rows.replaceLines(report.firstLine, report.removedLineBreaks + 1, report.insertedLineBreaks + 1, storage.lines());
        QCOMPARE(rows.lineCount(), storage.lineCount());
    }
    WrapRows fresh;
    fresh.setWrapColumns(50, storage.lines());
    std::size_t measured = 0;
    for (std::size_t line = 0; line < storage.lineCount(); ++line) {
        if (rows.isMeasured(line)) {
            ++measured;
            continue;
        }
        QCOMPARE(rows.rows(line), fresh.rows(line));
    }
    QVERIFY(measured <= 1);
    if (measured == 0)
        QCOMPARE(rows.totalRows(), fresh.totalRows());
}

void TestTextViewCore::killRing_data()
{
    QTest::addColumn<QList<int>>("actions");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<int>("ringSize");
    QTest::addColumn<QString>("yanked");
    using A = DeleteAction;
    QTest::newRow("forward-kills-append") << QList<int>{int(A::DeleteToEndOfLine), int(A::DeleteToEndOfLine)}
                                          << QStringList{"ab", "cd"} << 1 << "abcd";
    QTest::newRow("backward-kills-prepend") << QList<int>{int(A::DeleteWordBackward), int(A::DeleteWordBackward)}
                                            << QStringList{"world", "hello "} << 1 << "hello world";
    QTest::newRow("other-kind-starts-new-entry") << QList<int>{int(A::DeleteWordForward), int(A::DeleteToEndOfLine)}
                                                 << QStringList{"one", "two"} << 3 << "two";
    QTest::newRow("plain-delete-replaces") << QList<int>{int(A::Delete), int(A::Delete)}
                                           << QStringList{"x", "y"} << 2 << "y";
}

void TestTextViewCore::killRing()
{
    QFETCH(QList<int>, actions);
    QFETCH(QStringList, texts);
    QFETCH(int, ringSize);
    QFETCH(QString, yanked);
    YankingManager ring(ringSize);
    for (int i = 0; i < actions.size(); ++i)
        ring.kill(DeleteAction(actions[i]), u16(texts[i]));
    QCOMPARE(q(ring.yank()), yanked);
    QVERIFY(ring.isYanking());
}

void TestTextViewCore::killRingSizeAtLeastOne()
{
    YankingManager ring(-3);
    QCOMPARE(ring.buffer().size(), std::size_t(1));
    ring.kill(DeleteAction::DeleteToEndOfLine, u"a");
    ring.kill(DeleteAction::DeleteWordForward, u"b");
    QCOMPARE(ring.index(), std::size_t(0));
    QCOMPARE(q(ring.yank()), QStringLiteral("b"));
}

QTEST_GUILESS_MAIN(TestTextViewCore)
#include "tst_textview_core.moc"
