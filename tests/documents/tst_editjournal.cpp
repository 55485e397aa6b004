// The recovery journal's format and writer: round trips, replay, a write cut at every byte, damaged
// headers, compaction, and the writer thread on real files with real locks.
#include "documents/editjournal.h"
#include "documents/journalwriter.h"

#include <QtTest>

#include <random>

#include <sys/stat.h>

using namespace Documents;
using namespace Documents::EditJournal;

Q_DECLARE_METATYPE(std::u16string)
Q_DECLARE_METATYPE(std::vector<Documents::EditJournal::Record>)

namespace {

Record edit(std::uint64_t position, std::uint64_t removed, std::u16string inserted, std::int64_t time = 1000)
{
    return Record{time, position, removed, std::move(inserted)};
}

Header sampleHeader(bool withBase)
{
    Header header;
    header.path = "/home/u/notes/é.json";
    header.encoding = "utf-16le";
    header.bom = true;
    header.lineEnding = "crlf";
    header.writtenAtMs = 1'700'000'000'000;
    if (withBase) {
        DiskVersion base;
        base.identity = {2049, 131'073};
        base.size = 4096;
        base.mtime = {1'700'000'000, 123'456'789};
        base.ctime = {1'700'000'001, 5};
        base.target = "/home/u/notes/é.json";
        header.base = base;
    }
    return header;
}

QString text(const std::u16string &units)
{
    return QString::fromStdU16String(units);
}

std::string readFile(const std::string &path)
{
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

} // namespace

class TestEditJournal : public QObject {
    Q_OBJECT

private slots:
    void replaysEdits_data();
    void replaysEdits();
    void roundTrips_data();
    void roundTrips();
    void tornTailAtEveryByteKeepsWholeRecords();
    void damagedJournalsAreReported_data();
    void damagedJournalsAreReported();
    void editOutsideTheTextIsAnError();
    void compactionKeepsTheText();
    void changedUnitsCountsTheDifference_data();
    void changedUnitsCountsTheDifference();
    void crcIsTheStandardOne();

    void writerStartsFromTheFileAndAppends();
    void writerJournalIsLockedUntilReleased();
    void writerRemoveDeletesTheJournal();
    void writerNeedsBaseWhenTheFileChanged();
    void writerNeedsBaseWhenTheSnapshotIsTakenBack();
    void orphanScanDeletesLeftoverTemporaries();
    void folderIsMadePrivate();
};

void TestEditJournal::replaysEdits_data()
{
    QTest::addColumn<std::u16string>("base");
    QTest::addColumn<std::vector<Record>>("records");
    QTest::addColumn<std::u16string>("expected");

    QTest::newRow("nothing") << std::u16string(u"abc") << std::vector<Record>{} << std::u16string(u"abc");
    QTest::newRow("typing at the end") << std::u16string(u"ab")
                                       << std::vector<Record>{edit(2, 0, u"c"), edit(3, 0, u"d")}
                                       << std::u16string(u"abcd");
    QTest::newRow("typing at the start") << std::u16string(u"xy")
                                         << std::vector<Record>{edit(0, 0, u"1"), edit(1, 0, u"2")}
                                         << std::u16string(u"12xy");
    QTest::newRow("backspace and replace") << std::u16string(u"hello world")
                                           << std::vector<Record>{edit(10, 1, u""), edit(0, 5, u"HELLO")}
                                           << std::u16string(u"HELLO worl");
    QTest::newRow("edits far apart") << std::u16string(u"0123456789")
                                     << std::vector<Record>{edit(9, 0, u"a"), edit(0, 1, u""), edit(5, 2, u"bc")}
                                     << std::u16string(u"12345bc8a9");
    QTest::newRow("non-BMP inserted and removed")
        << std::u16string(u"a\U0001F600b")
        << std::vector<Record>{edit(1, 2, u""), edit(1, 0, u"\U0001D11E\U0001F680")}
        << std::u16string(u"a\U0001D11E\U0001F680b");
    QTest::newRow("into an empty text") << std::u16string() << std::vector<Record>{edit(0, 0, u"line\nnext")}
                                        << std::u16string(u"line\nnext");
    QTest::newRow("everything removed") << std::u16string(u"gone\n") << std::vector<Record>{edit(0, 5, u"")}
                                        << std::u16string();
    QTest::newRow("large insert grows the gap")
        << std::u16string(u"ab") << std::vector<Record>{edit(1, 0, std::u16string(10'000, u'x'))}
        << (u"a" + std::u16string(10'000, u'x') + u"b");
}

void TestEditJournal::replaysEdits()
{
    QFETCH(std::u16string, base);
    QFETCH(std::vector<Record>, records);
    QFETCH(std::u16string, expected);
    std::u16string result = base;
    QVERIFY(!replay(result, records));
    QCOMPARE(text(result), text(expected));

    // Through the file format as well.
    const std::string bytes = encode(sampleHeader(true), base, records);
    auto decoded = decode(bytes);
    QVERIFY(std::holds_alternative<Decoded>(decoded));
    auto final = finalText(std::get<Decoded>(decoded));
    QVERIFY(std::holds_alternative<std::u16string>(final));
    QCOMPARE(text(std::get<std::u16string>(final)), text(expected));
}

void TestEditJournal::roundTrips_data()
{
    QTest::addColumn<bool>("withBase");
    QTest::addColumn<bool>("scratch");
    QTest::addColumn<std::u16string>("base");
    QTest::addColumn<std::vector<Record>>("records");

    QTest::newRow("file, no records") << true << false << std::u16string(u"{}\n") << std::vector<Record>{};
    QTest::newRow("no file yet") << false << false << std::u16string() << std::vector<Record>{edit(0, 0, u"x", 5)};
    QTest::newRow("scratch note") << true << true << std::u16string(u"note")
                                  << std::vector<Record>{edit(4, 0, u"!", 7), edit(0, 1, u"N", 9)};
    QTest::newRow("non-BMP and controls") << true << false << std::u16string(u"\U0001F600\r\0\xFFFF", 5)
                                          << std::vector<Record>{edit(2, 0, std::u16string(u"\0\U00010000", 3))};
}

void TestEditJournal::roundTrips()
{
    QFETCH(bool, withBase);
    QFETCH(bool, scratch);
    QFETCH(std::u16string, base);
    QFETCH(std::vector<Record>, records);
    Header header = sampleHeader(withBase);
    header.scratch = scratch;
    auto decoded = decode(encode(header, base, records));
    QVERIFY(std::holds_alternative<Decoded>(decoded));
    const Decoded &journal = std::get<Decoded>(decoded);
    QVERIFY(journal.header == header);
    QCOMPARE(text(journal.text), text(base));
    QVERIFY(journal.records == records);
    QCOMPARE(journal.ignoredTailBytes, std::size_t(0));
    QCOMPARE(lastEditMs(journal), records.empty() ? header.writtenAtMs : records.back().timeMs);
}

void TestEditJournal::tornTailAtEveryByteKeepsWholeRecords()
{
    const std::u16string base = u"{\"a\": 1}\n\U0001F600";
    const std::vector<Record> records = {edit(1, 0, u"x", 1), edit(2, 3, u"\U0001F680", 2), edit(0, 0, u"", 3)};
    const std::string head = encode(sampleHeader(true), base, {});
    std::vector<std::size_t> recordEnds;
    std::string whole = head;
    for (const Record &record : records) {
        appendRecord(whole, record);
        recordEnds.push_back(whole.size());
    }
    for (std::size_t cut = 0; cut <= whole.size(); ++cut) {
        const auto decoded = decode(std::string_view(whole).substr(0, cut));
        if (cut < head.size()) {
            // Header and text are written whole under another name: cut short, they are damage.
            QVERIFY2(std::holds_alternative<std::string>(decoded), qPrintable(QString::number(cut)));
            continue;
        }
        QVERIFY2(std::holds_alternative<Decoded>(decoded), qPrintable(QString::number(cut)));
        const Decoded &journal = std::get<Decoded>(decoded);
        const auto kept = std::size_t(std::count_if(recordEnds.begin(), recordEnds.end(),
                                                     [cut](std::size_t end) { return end <= cut; }));
        QCOMPARE(journal.records.size(), kept);
        QVERIFY(std::equal(journal.records.begin(), journal.records.end(), records.begin()));
        const std::size_t lastEnd = kept == 0 ? head.size() : recordEnds[kept - 1];
        QCOMPARE(journal.ignoredTailBytes, cut - lastEnd);
        QVERIFY(std::holds_alternative<std::u16string>(finalText(journal)));
    }
}

void TestEditJournal::damagedJournalsAreReported_data()
{
    QTest::addColumn<int>("offset"); // Byte flipped; negative counts from the end of header+text.
    QTest::addColumn<QString>("error");

    QTest::newRow("magic") << 0 << "not a journal";
    QTest::newRow("format version") << 8 << "unknown format version";
    QTest::newRow("header length") << 12 << "damaged header";
    QTest::newRow("a header field") << 20 << "damaged header";
    QTest::newRow("text unit") << -6 << "damaged text";
    QTest::newRow("text check") << -1 << "damaged text";
}

void TestEditJournal::damagedJournalsAreReported()
{
    QFETCH(int, offset);
    QFETCH(QString, error);
    std::string bytes = encode(sampleHeader(true), u"text", {});
    const std::size_t at = offset >= 0 ? std::size_t(offset) : bytes.size() - std::size_t(-offset);
    bytes[at] = char(bytes[at] ^ 0x41);
    appendRecord(bytes, edit(0, 0, u"a"));
    const auto decoded = decode(bytes);
    QVERIFY(std::holds_alternative<std::string>(decoded));
    QCOMPARE(QString::fromStdString(std::get<std::string>(decoded)), error);
    // Nothing at all, and random bytes, are damage too, never a crash.
    QVERIFY(std::holds_alternative<std::string>(decode({})));
    std::mt19937 random(7);
    std::string noise(300, '\0');
    for (char &byte : noise)
        byte = char(random());
    QVERIFY(std::holds_alternative<std::string>(decode(noise)));
    QVERIFY(std::holds_alternative<std::string>(decode(std::string(magic) + noise)));
}

void TestEditJournal::editOutsideTheTextIsAnError()
{
    std::string bytes = encode(sampleHeader(true), u"abc", {edit(2, 0, u"x"), edit(9, 0, u"y")});
    const auto decoded = decode(bytes);
    QVERIFY(std::holds_alternative<Decoded>(decoded));
    const auto final = finalText(std::get<Decoded>(decoded));
    QVERIFY(std::holds_alternative<std::string>(final));
    QVERIFY(QString::fromStdString(std::get<std::string>(final)).contains("edit 2"));
    std::u16string removedPastEnd = u"abc";
    QVERIFY(replay(removedPastEnd, {edit(2, 2, u"")}));
}

void TestEditJournal::compactionKeepsTheText()
{
    // Random typing, deleting and pasting; a compaction after any edit (the text so far, then the
    // edits after it) must give the same text as the whole history.
    std::mt19937 random(42);
    std::u16string base = u"line one\r\nline two\n\U0001F600 end";
    std::vector<Record> records;
    std::size_t length = base.size();
    for (int i = 0; i < 300; ++i) {
        const std::size_t position = random() % (length + 1);
        const std::size_t removed = (random() % 4 == 0) ? random() % (length - position + 1) % 5 : 0;
        std::u16string inserted = (random() % 3 == 0) ? u"" : (random() % 2 ? u"\U0001F680" : u"ab\n");
        length = length - removed + inserted.size();
        records.push_back(edit(position, removed, inserted, i));
    }
    const auto full = finalText(std::get<Decoded>(decode(encode(sampleHeader(true), base, records))));
    QVERIFY(std::holds_alternative<std::u16string>(full));
    for (std::size_t split = 0; split <= records.size(); split += 37) {
        std::u16string compacted = base;
        QVERIFY(!replay(compacted, std::vector<Record>(records.begin(), records.begin() + std::ptrdiff_t(split))));
        const std::vector<Record> after(records.begin() + std::ptrdiff_t(split), records.end());
        const auto again = finalText(std::get<Decoded>(decode(encode(sampleHeader(true), compacted, after))));
        QCOMPARE(text(std::get<std::u16string>(again)), text(std::get<std::u16string>(full)));
    }
}

void TestEditJournal::changedUnitsCountsTheDifference_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::addColumn<int>("changed");

    QTest::newRow("same") << "abc" << "abc" << 0;
    QTest::newRow("typed at end") << "abc" << "abcde" << 2;
    QTest::newRow("typed in middle") << "abc" << "aXYbc" << 2;
    QTest::newRow("deleted") << "abcdef" << "af" << 4;
    QTest::newRow("replaced") << "abc" << "aZc" << 1;
    QTest::newRow("repeated letters") << "aaaa" << "aaaaa" << 1;
    QTest::newRow("from nothing") << "" << "new" << 3;
}

void TestEditJournal::changedUnitsCountsTheDifference()
{
    QFETCH(QString, before);
    QFETCH(QString, after);
    QFETCH(int, changed);
    QCOMPARE(changedUnits(before.toStdU16String(), after.toStdU16String()), std::size_t(changed));
}

void TestEditJournal::crcIsTheStandardOne()
{
    // The check value of CRC-32/ISO-HDLC, and the same result whether fed at once or in pieces
    // of every length (the eight-byte steps and the byte-wise tail agree).
    QCOMPARE(crc32(0, "123456789"), 0xCBF43926u);
    QCOMPARE(crc32(0, ""), 0u);
    std::string bytes;
    for (int i = 0; i < 1000; ++i)
        bytes.push_back(char(i * 37 + 11));
    const std::uint32_t whole = crc32(0, bytes);
    for (std::size_t piece = 1; piece < 20; ++piece) {
        std::uint32_t running = 0;
        for (std::size_t at = 0; at < bytes.size(); at += piece)
            running = crc32(running, std::string_view(bytes).substr(at, piece));
        QCOMPARE(running, whole);
    }
}

void TestEditJournal::writerStartsFromTheFileAndAppends()
{
    QTemporaryDir dir;
    const std::string file = dir.filePath("crlf.txt").toStdString();
    {
        QFile out(QString::fromStdString(file));
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write("one\r\ntwo\r\n");
    }
    const auto version = diskVersion(file);
    QVERIFY(version);
    const std::string folder = dir.filePath("journal").toStdString();
    Header header;
    header.path = file;
    header.base = version;
    header.lineEnding = "crlf";
    {
        Writer writer(folder);
        // The text is LF inside: "one\ntwo\n" is 8 units; typing at its end.
        writer.rewrite(header, Writer::FromFile{file, Encoding::Utf8, *version, 8}, {edit(8, 0, u"three")});
        writer.append({edit(13, 0, u"\U0001F600")});
        writer.waitUntilIdle();
        QCOMPARE(QString::fromStdString(writer.lastError()), QString());
        const std::string path = writer.currentPath();
        QVERIFY(!path.empty());
        struct stat info {};
        QVERIFY(::stat(path.c_str(), &info) == 0);
        QCOMPARE(int(info.st_mode & 0777), 0600);
        const auto decoded = decode(readFile(path));
        QVERIFY(std::holds_alternative<Decoded>(decoded));
        QVERIFY(std::get<Decoded>(decoded).header == header);
        QCOMPARE(text(std::get<Decoded>(decoded).text), QStringLiteral("one\ntwo\n"));
        QCOMPARE(text(std::get<std::u16string>(finalText(std::get<Decoded>(decoded)))),
                 text(u"one\ntwo\nthree\U0001F600"));

        // A compaction replaces the file under the same name; the records go into its text.
        const auto compacted = std::make_shared<std::u16string>(u"one\ntwo\nthree\U0001F600");
        writer.rewrite(header, Writer::FromText{compacted}, {});
        writer.append({edit(0, 4, u"")});
        writer.waitUntilIdle();
        QCOMPARE(writer.currentPath(), path);
        const auto again = std::get<Decoded>(decode(readFile(path)));
        QCOMPARE(again.records.size(), std::size_t(1));
        QCOMPARE(text(std::get<std::u16string>(finalText(again))), text(u"two\nthree\U0001F600"));
        writer.release();
    }
    QCOMPARE(QDir(QString::fromStdString(folder)).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

void TestEditJournal::writerJournalIsLockedUntilReleased()
{
    QTemporaryDir dir;
    const std::string folder = dir.filePath("journal").toStdString();
    auto text = std::make_shared<std::u16string>(u"held");
    Header header;
    header.path = "/nowhere/held.txt";
    std::string path;
    {
        Writer writer(folder);
        writer.rewrite(header, Writer::FromText{text}, {edit(4, 0, u"!")});
        writer.waitUntilIdle();
        path = writer.currentPath();
        // Another open of the file cannot take it while the writer holds it.
        QVERIFY(takeOrphans(folder).empty());
        writer.release();
        writer.waitUntilIdle();
    }
    auto orphans = takeOrphans(folder);
    QCOMPARE(orphans.size(), std::size_t(1));
    QCOMPARE(orphans[0].file.path(), path);
    QVERIFY(std::holds_alternative<Decoded>(orphans[0].content));
    QCOMPARE(QString::fromStdString(std::get<Decoded>(orphans[0].content).header.path),
             QStringLiteral("/nowhere/held.txt"));
    // Held now by this scan: a second scan (another instance) does not get it.
    QVERIFY(takeOrphans(folder).empty());

    // Adopted by a new writer, it is that writer's journal: appends go on after its records.
    Writer adopter(folder);
    adopter.adopt(std::move(orphans[0].file));
    adopter.append({edit(5, 0, u"?")});
    adopter.waitUntilIdle();
    QCOMPARE(adopter.currentPath(), path);
    const auto decoded = std::get<Decoded>(decode(readFile(path)));
    QCOMPARE(QString::fromStdU16String(std::get<std::u16string>(finalText(decoded))), QStringLiteral("held!?"));
}

void TestEditJournal::writerRemoveDeletesTheJournal()
{
    QTemporaryDir dir;
    const std::string folder = dir.filePath("journal").toStdString();
    Writer writer(folder);
    writer.rewrite(Header{}, Writer::FromText{std::make_shared<std::u16string>(u"x")}, {});
    writer.waitUntilIdle();
    const std::string path = writer.currentPath();
    QVERIFY(QFile::exists(QString::fromStdString(path)));
    writer.remove();
    writer.waitUntilIdle();
    QVERIFY(!QFile::exists(QString::fromStdString(path)));
    QVERIFY(writer.currentPath().empty());
    // Records without a journal have nothing to go on: the caller must send a base.
    writer.append({edit(0, 0, u"y")});
    writer.waitUntilIdle();
    QVERIFY(writer.takeNeedsBase());
    QVERIFY(!writer.takeNeedsBase());
}

void TestEditJournal::writerNeedsBaseWhenTheFileChanged()
{
    QTemporaryDir dir;
    const std::string file = dir.filePath("a.txt").toStdString();
    QFile out(QString::fromStdString(file));
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write("first");
    out.close();
    const auto version = diskVersion(file);
    QVERIFY(version);
    QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
    out.write("another program's text");
    out.close();
    Writer writer(dir.filePath("journal").toStdString());
    writer.rewrite(Header{}, Writer::FromFile{file, Encoding::Utf8, *version, 5}, {edit(5, 0, u"!")});
    writer.waitUntilIdle();
    QVERIFY(writer.takeNeedsBase());
    QVERIFY(writer.currentPath().empty());
}

namespace {

// A snapshot its owner takes back after `allowed` copies.
class RevokedSnapshot final : public Base::TextSnapshot {
public:
    RevokedSnapshot(std::size_t length, int allowed) : m_length(length), m_allowed(allowed) {}
    std::size_t length() const override { return m_length; }
    bool copy(std::size_t, std::size_t count, char16_t *out) const override
    {
        if (m_allowed-- <= 0)
            return false;
        std::fill(out, out + count, u'z');
        return true;
    }
    bool isRevoked() const override { return m_allowed <= 0; }

private:
    std::size_t m_length;
    mutable int m_allowed;
};

} // namespace

void TestEditJournal::writerNeedsBaseWhenTheSnapshotIsTakenBack()
{
    QTemporaryDir dir;
    const std::string folder = dir.filePath("journal").toStdString();
    Writer writer(folder);
    writer.rewrite(Header{}, Writer::FromSnapshot{std::make_shared<RevokedSnapshot>(200'000, 1)}, {});
    writer.waitUntilIdle();
    QVERIFY(writer.takeNeedsBase());
    QVERIFY(writer.currentPath().empty());
    QCOMPARE(QDir(QString::fromStdString(folder)).entryList(QDir::Files | QDir::Hidden).size(), 0);

    // With a journal in place, a compaction that loses its snapshot leaves that journal as it was.
    writer.rewrite(Header{}, Writer::FromSnapshot{std::make_shared<RevokedSnapshot>(10, 5)}, {edit(10, 0, u"!")});
    writer.waitUntilIdle();
    const std::string path = writer.currentPath();
    QVERIFY(!path.empty());
    writer.rewrite(Header{}, Writer::FromSnapshot{std::make_shared<RevokedSnapshot>(200'000, 1)}, {});
    writer.waitUntilIdle();
    QVERIFY(!writer.takeNeedsBase());
    QCOMPARE(writer.currentPath(), path);
    const auto decoded = std::get<Decoded>(decode(readFile(path)));
    QCOMPARE(text(std::get<std::u16string>(finalText(decoded))), text(std::u16string(10, u'z') + u"!"));
}

void TestEditJournal::orphanScanDeletesLeftoverTemporaries()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath("journal");
    QVERIFY(preparePrivateFolder(folder.toStdString()));
    QFile leftover(folder + "/.tmp-abcdef");
    QVERIFY(leftover.open(QIODevice::WriteOnly));
    leftover.write("half a rewrite");
    leftover.close();
    QFile damaged(folder + "/9-9-9-9.cvj");
    QVERIFY(damaged.open(QIODevice::WriteOnly));
    damaged.write("CORVJRNL garbage");
    damaged.close();
    QFile unrelated(folder + "/notes.txt");
    QVERIFY(unrelated.open(QIODevice::WriteOnly));
    unrelated.close();
    auto orphans = takeOrphans(folder.toStdString());
    QCOMPARE(orphans.size(), std::size_t(1));
    QVERIFY(std::holds_alternative<std::string>(orphans[0].content));
    QVERIFY(!QFile::exists(folder + "/.tmp-abcdef"));
    QVERIFY(QFile::exists(folder + "/notes.txt"));
}

void TestEditJournal::folderIsMadePrivate()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath("a/b/journal");
    QVERIFY(preparePrivateFolder(folder.toStdString()));
    struct stat info {};
    QVERIFY(::stat(folder.toLocal8Bit().constData(), &info) == 0);
    QCOMPARE(int(info.st_mode & 0777), 0700);
    QVERIFY(::chmod(folder.toLocal8Bit().constData(), 0755) == 0);
    QVERIFY(preparePrivateFolder(folder.toStdString()));
    QVERIFY(::stat(folder.toLocal8Bit().constData(), &info) == 0);
    QCOMPARE(int(info.st_mode & 0777), 0700);
    // A file in its place is no folder.
    QFile(dir.filePath("plain")).open(QIODevice::WriteOnly);
    QVERIFY(!preparePrivateFolder(dir.filePath("plain").toStdString()));
}

QTEST_GUILESS_MAIN(TestEditJournal)
#include "tst_editjournal.moc"
