// Following a growing file: real files in a temporary folder, loaded, appended to, rewritten,
// replaced and deleted between reads.
#include "documents/document.h"
#include "documents/followtail.h"

#include <QtTest>

#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Documents;
using namespace std::string_literals;

Q_DECLARE_METATYPE(std::string)
Q_DECLARE_METATYPE(std::vector<std::string>)
Q_DECLARE_METATYPE(std::u16string)
Q_DECLARE_METATYPE(Documents::Encoding)
Q_DECLARE_METATYPE(Documents::FollowReloadReason)

namespace {

bool writeBytes(const QString &path, const std::string &bytes, int flags)
{
    const int fd = ::open(path.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_CLOEXEC | flags, 0644);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size());
    return ::close(fd) == 0 && ok;
}

// Same inode, new contents.
bool rewrite(const QString &path, const std::string &bytes) { return writeBytes(path, bytes, O_TRUNC); }
bool append(const QString &path, const std::string &bytes) { return writeBytes(path, bytes, O_APPEND); }

// Moves the modification time away from whatever a write within the same clock tick gave.
bool touchInThePast(const QString &path, time_t seconds)
{
    const timespec times[2] = {{seconds, 0}, {seconds, 0}};
    return ::utimensat(AT_FDCWD, path.toLocal8Bit().constData(), times, 0) == 0;
}

std::u16string load(const QString &path, FollowState &state, Encoding *encoding = nullptr)
{
    auto decoded = decodeForLoad(path.toStdString());
    auto *loaded = std::get_if<LoadedText>(&decoded);
    if (!loaded)
        return u"<load failed>";
    state = loaded->follow;
    if (encoding)
        *encoding = loaded->encoding;
    return std::u16string(loaded->text.view());
}

std::string describe(const FollowResult &result)
{
    if (std::holds_alternative<FollowUnchanged>(result))
        return "unchanged";
    if (const auto *reload = std::get_if<FollowReload>(&result))
        return "reload: "s + std::string(reasonName(reload->reason));
    return "appended";
}

// Reads until nothing more is there, gluing the appended pieces together.
std::u16string drain(const QString &path, FollowState &state, std::string &outcome, std::size_t maxBytes = followChunkSize)
{
    std::u16string text;
    for (int guard = 0; guard < 100000; ++guard) {
        FollowResult result = readAppended(path.toStdString(), state, maxBytes);
        auto *appended = std::get_if<FollowAppended>(&result);
        if (!appended) {
            if (!std::holds_alternative<FollowUnchanged>(result) || outcome.empty())
                outcome = describe(result);
            return text;
        }
        text += appended->text;
        outcome = "appended";
        if (!appended->more)
            return text;
    }
    outcome = "never ends";
    return text;
}

// A CP1251 text past the encoding detection's 4096-byte sample, made of Cyrillic letters that
// do not form UTF-8 ("Привет мир\n" repeated).
std::string cyrillicLog()
{
    std::string bytes;
    while (bytes.size() < 5000)
        bytes += "\xCF\xF0\xE8\xE2\xE5\xF2 \xEC\xE8\xF0\n";
    return bytes;
}

} // namespace

class TestFollowTail : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_folder = std::make_unique<QTemporaryDir>();
        QVERIFY(m_folder->isValid());
    }

    void appendsMatchAReload_data();
    void appendsMatchAReload();
    void reloadCases_data();
    void reloadCases();
    void noChangeCostsNothingAndKeepsTheState();
    void heldBackBytesAreNotShownYet();
    void readsAreBoundedAndResume();
    void lineEndingAfterLoadEndingInCR();
    void replacedDuringLoadAsksForReload();
    void deletedThenRecreated();
    void encodingChosenByTheUser();

private:
    QString path(const QString &name) const { return m_folder->filePath(name); }
    std::unique_ptr<QTemporaryDir> m_folder;
};

void TestFollowTail::appendsMatchAReload_data()
{
    QTest::addColumn<std::string>("initial");
    QTest::addColumn<std::vector<std::string>>("appends");
    QTest::addColumn<std::u16string>("expected"); // the text appended after the load, all reads together
    QTest::addColumn<Documents::Encoding>("encoding");

    QTest::newRow("plain growth") << "line 1\n"s << std::vector{"line 2\n"s} << std::u16string(u"line 2\n")
                                  << Encoding::Utf8;
    QTest::newRow("several appends") << "a\n"s << std::vector{"b\n"s, "c\n"s, "d"s, "e\n"s}
                                     << std::u16string(u"b\nc\nde\n") << Encoding::Utf8;
    QTest::newRow("UTF-8 two-byte character split") << "x\n"s << std::vector{"caf\xC3"s, "\xA9\n"s}
                                                    << std::u16string(u"caf\u00E9\n") << Encoding::Utf8;
    QTest::newRow("UTF-8 four-byte character split three ways")
        << "x\n"s << std::vector{"\xF0"s, "\x9F\x98"s, "\x80!\n"s} << std::u16string(u"\U0001F600!\n") << Encoding::Utf8;
    QTest::newRow("UTF-8 with mark") << "\xEF\xBB\xBFhead\n"s << std::vector{"\xE2\x82"s, "\xAC 5\n"s}
                                     << std::u16string(u"\u20AC 5\n") << Encoding::Utf8;
    QTest::newRow("UTF-16 LE with mark, split at odd bytes")
        << "\xFF\xFEh\0\n\0"s << std::vector{"a"s, "\0b\0\n"s, "\0"s} << std::u16string(u"ab\n") << Encoding::Utf16LE;
    QTest::newRow("UTF-16 LE surrogate pair split between its halves")
        << "\xFF\xFEh\0\n\0"s << std::vector{"\x3D\xD8"s, "\x00\xDE\n\0"s} << std::u16string(u"\U0001F600\n")
        << Encoding::Utf16LE;
    QTest::newRow("UTF-16 BE with mark, CR LF split") << "\xFE\xFF\0h\0\r\0\n"s
                                                     << std::vector{"\0a\0\r"s, "\0\n\0b"s}
                                                     << std::u16string(u"a\nb") << Encoding::Utf16BE;
    QTest::newRow("UTF-32 LE with mark, unit split")
        << "\xFF\xFE\0\0h\0\0\0"s << std::vector{"a\0"s, "\0\0\n\0\0\0"s} << std::u16string(u"a\n") << Encoding::Utf32LE;
    QTest::newRow("CR LF split across appends gives one LF")
        << "a\r\n"s << std::vector{"b\r"s, "\nc\r\n"s} << std::u16string(u"b\nc\n") << Encoding::Utf8;
    QTest::newRow("lone CR lines") << "a\rb\r"s << std::vector{"c\r"s, "d\r"s, "e"s} << std::u16string(u"c\nd\ne")
                                   << Encoding::Utf8;
    QTest::newRow("CR CR LF is two breaks") << "a\n"s << std::vector{"b\r\r"s, "\nc"s} << std::u16string(u"b\n\nc")
                                            << Encoding::Utf8;
    QTest::newRow("a byte-order mark later in the file is text")
        << "a\n"s << std::vector{"\xEF\xBB\xBF"s "b\n"s} << std::u16string(u"\uFEFFb\n") << Encoding::Utf8;
    QTest::newRow("CP1251 past the detection sample") << cyrillicLog() << std::vector{"\xE4\xE0\n"s}
                                                      << std::u16string(u"\u0434\u0430\n") << Encoding::Windows1251;
}

void TestFollowTail::appendsMatchAReload()
{
    QFETCH(std::string, initial);
    QFETCH(std::vector<std::string>, appends);
    QFETCH(std::u16string, expected);
    QFETCH(Documents::Encoding, encoding);
    const QString file = path("app.log");
    QVERIFY(rewrite(file, initial));
    FollowState state;
    Encoding loadedAs = Encoding::Ascii;
    std::u16string text = load(file, state, &loadedAs);
    QCOMPARE(loadedAs, encoding);
    QVERIFY(state.encodingSettled);

    std::u16string followed;
    for (const std::string &bytes : appends) {
        QVERIFY(append(file, bytes));
        std::string outcome;
        followed += drain(file, state, outcome);
        QVERIFY2(outcome == "appended" || outcome == "unchanged", outcome.c_str());
    }
    QCOMPARE(followed, expected);
    QCOMPARE(state.offset, std::int64_t(initial.size() + [&] {
                 std::size_t n = 0;
                 for (const auto &bytes : appends)
                     n += bytes.size();
                 return n;
             }()));
    QVERIFY(state.pending.empty());
    // Following must give what loading the whole file again gives.
    FollowState fresh;
    QCOMPARE(text + followed, load(file, fresh));
}

void TestFollowTail::reloadCases_data()
{
    QTest::addColumn<std::string>("initial");
    QTest::addColumn<QString>("change");
    QTest::addColumn<std::string>("bytes");
    QTest::addColumn<std::string>("expected");

    const std::string log = "2024-05-01 10:00:00 start\n2024-05-01 10:00:01 ready\n";
    QTest::newRow("truncated") << log << "rewrite" << "2024\n"s << "reload: truncated"s;
    QTest::newRow("emptied") << log << "rewrite" << ""s << "reload: truncated"s;
    QTest::newRow("replaced by rename") << log << "rename" << log + "more\n" << "reload: replaced"s;
    QTest::newRow("rewritten in place, larger, earlier bytes differ")
        << log << "rewrite" << "2025-01-01 00:00:00 other start\n2025-01-01 00:00:01 other ready\n"s
        << "reload: rewritten"s;
    QTest::newRow("deleted") << log << "delete" << ""s << "reload: missing"s;
    QTest::newRow("no longer UTF-8") << log << "append" << "caf\xE9\n"s << "reload: undecodable"s;
    QTest::newRow("UTF-8 cut then broken") << log << "append" << "\xC3(\n"s << "reload: undecodable"s;
    QTest::newRow("CP1251 byte it leaves undefined") << cyrillicLog() << "append" << "\x98\n"s
                                                     << "reload: undecodable"s;
    QTest::newRow("empty file grows: the encoding is not known yet")
        << ""s << "append" << "\xFF\xFEh\0"s << "reload: encoding-unsettled"s;
    QTest::newRow("short legacy file grows: the detection sample changes")
        << "\xCF\xF0\xE8\n"s << "append" << "more\n"s << "reload: encoding-unsettled"s;
    QTest::newRow("UTF-16 LE mark alone may become UTF-32 LE")
        << "\xFF\xFE"s << "append" << "\0\0h\0\0\0"s << "reload: encoding-unsettled"s;
    QTest::newRow("UTF-16 without mark, odd end") << "\xFF\xFEh"s << "append" << "\0"s
                                                  << "reload: encoding-unsettled"s;
    QTest::newRow("same size, same last bytes, new time") << log << "touch" << ""s << "unchanged"s;
    QTest::newRow("no change") << log << "none" << ""s << "unchanged"s;
}

void TestFollowTail::reloadCases()
{
    QFETCH(std::string, initial);
    QFETCH(QString, change);
    QFETCH(std::string, bytes);
    QFETCH(std::string, expected);
    const QString file = path("app.log");
    QVERIFY(rewrite(file, initial));
    FollowState state;
    load(file, state);
    const FollowState before = state;

    if (change == "rewrite") {
        QVERIFY(rewrite(file, bytes));
    } else if (change == "append") {
        QVERIFY(append(file, bytes));
    } else if (change == "rename") {
        QVERIFY(rewrite(path("next.log"), bytes));
        QVERIFY(std::rename(path("next.log").toLocal8Bit().constData(), file.toLocal8Bit().constData()) == 0);
    } else if (change == "delete") {
        QVERIFY(QFile::remove(file));
    } else if (change == "touch") {
        QVERIFY(touchInThePast(file, 1'000'000));
    }
    const FollowResult result = readAppended(file.toStdString(), state);
    QCOMPARE(describe(result), expected);
    if (std::holds_alternative<FollowReload>(result)) {
        // Nothing was consumed: the caller reloads from scratch.
        QCOMPARE(state.offset, before.offset);
        QCOMPARE(state.fingerprint, before.fingerprint);
    }
}

void TestFollowTail::noChangeCostsNothingAndKeepsTheState()
{
    const QString file = path("quiet.log");
    QVERIFY(rewrite(file, "one\ntwo\n"));
    FollowState state;
    load(file, state);
    QVERIFY(state.identity && state.mtime);
    QCOMPARE(state.offset, 8);
    QCOMPARE(state.fingerprint, "one\ntwo\n"s);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(describe(readAppended(file.toStdString(), state)), "unchanged"s);
    QCOMPARE(state.offset, 8);

    // Same size, other bytes, and the writer set the time back: caught by the fingerprint.
    QVERIFY(rewrite(file, "ONE\nTWO\n"));
    QVERIFY(touchInThePast(file, 2'000'000));
    QCOMPARE(describe(readAppended(file.toStdString(), state)), "reload: rewritten"s);
}

void TestFollowTail::heldBackBytesAreNotShownYet()
{
    const QString file = path("split.log");
    QVERIFY(rewrite(file, "start\n"));
    FollowState state;
    load(file, state);
    QVERIFY(append(file, "\xE2\x82"));
    QCOMPARE(describe(readAppended(file.toStdString(), state)), "unchanged"s);
    QCOMPARE(state.offset, 8);
    QCOMPARE(state.pending, "\xE2\x82"s);
    QVERIFY(append(file, "\xAC"));
    FollowResult result = readAppended(file.toStdString(), state);
    QCOMPARE(std::get<FollowAppended>(result).text, std::u16string(u"\u20AC"));
    QVERIFY(state.pending.empty());

    // A CR is shown at once; the LF that completes it later adds nothing.
    QVERIFY(append(file, "x\r"));
    result = readAppended(file.toStdString(), state);
    QCOMPARE(std::get<FollowAppended>(result).text, std::u16string(u"x\n"));
    QVERIFY(state.afterCR);
    QVERIFY(append(file, "\n"));
    QCOMPARE(describe(readAppended(file.toStdString(), state)), "unchanged"s);
    QVERIFY(!state.afterCR);
    QCOMPARE(state.offset, 12);
}

void TestFollowTail::readsAreBoundedAndResume()
{
    const QString file = path("burst.log");
    QVERIFY(rewrite(file, "head\n"));
    FollowState state;
    load(file, state);
    std::string burst;
    for (int i = 0; i < 200; ++i)
        burst += "r\xC3\xA9sum\xC3\xA9 " + std::to_string(i) + "\r\n";
    QVERIFY(append(file, burst));
    // 7 bytes a call cuts every two-byte character and every CR LF pair somewhere.
    int calls = 0;
    std::u16string text;
    while (true) {
        FollowResult result = readAppended(file.toStdString(), state, 7);
        ++calls;
        if (auto *appended = std::get_if<FollowAppended>(&result)) {
            text += appended->text;
            if (!appended->more)
                break;
        } else {
            QCOMPARE(describe(result), "unchanged"s); // only a held-back piece, never a reload
            if (state.offset == std::int64_t(5 + burst.size()))
                break;
        }
        QVERIFY(calls < 10000);
    }
    QVERIFY(calls >= int(burst.size() / 7));
    FollowState fresh;
    QCOMPARE(u"head\n" + text, load(file, fresh));
}

void TestFollowTail::lineEndingAfterLoadEndingInCR()
{
    // The load turned the final CR into LF already: the LF that follows belongs to it.
    const QString file = path("cr.log");
    QVERIFY(rewrite(file, "a\r\nb\r"));
    FollowState state;
    QCOMPARE(load(file, state), std::u16string(u"a\nb\n"));
    QVERIFY(state.afterCR);
    QVERIFY(append(file, "\nc\r\n"));
    const FollowResult result = readAppended(file.toStdString(), state);
    QCOMPARE(std::get<FollowAppended>(result).text, std::u16string(u"c\n"));

    // The same in UTF-16 LE, where CR is two bytes.
    const QString wide = path("wide.log");
    QVERIFY(rewrite(wide, "\xFF\xFEh\0\r\0"s));
    QCOMPARE(load(wide, state), std::u16string(u"h\n"));
    QVERIFY(state.afterCR);
    QVERIFY(append(wide, "\n\0i\0"s));
    QCOMPARE(std::get<FollowAppended>(readAppended(wide.toStdString(), state)).text, std::u16string(u"i"));
}

void TestFollowTail::replacedDuringLoadAsksForReload()
{
    const std::string bytes = "line\n";
    const FileStamp before{{1, 10}, 5, {}};
    const FileStamp after{{1, 11}, 5, {}};
    FollowState state = followStateAfterLoad(bytes, Encoding::Utf8, false, before, after);
    QVERIFY(!state.identity);
    QCOMPARE(describe(readAppended(path("any.log").toStdString(), state)), "reload: replaced"s);

    state = followStateAfterLoad(bytes, Encoding::Utf8, false, before, before);
    QVERIFY(state.identity);
    QCOMPARE(state.offset, 5);
    QVERIFY(state.encodingSettled);
}

void TestFollowTail::deletedThenRecreated()
{
    const QString file = path("rotated.log");
    QVERIFY(rewrite(file, "old\n"));
    FollowState state;
    load(file, state);
    QVERIFY(QFile::rename(file, path("rotated.log.1")));
    QCOMPARE(describe(readAppended(file.toStdString(), state)), "reload: missing"s);
    // The renamed file keeps growing, but it is no longer the one at the path.
    QVERIFY(append(path("rotated.log.1"), "late\n"));
    QVERIFY(rewrite(file, "new\n"));
    QCOMPARE(describe(readAppended(file.toStdString(), state)), "reload: replaced"s);
}

void TestFollowTail::encodingChosenByTheUser()
{
    // Short and not UTF-8: detection would still be open, but the user's choice holds.
    const QString file = path("latin.log");
    QVERIFY(rewrite(file, "caf\xE9\n"));
    auto decoded = decodeForLoad(file.toStdString(), Encoding::Latin1);
    auto &loaded = std::get<LoadedText>(decoded);
    QCOMPARE(loaded.encoding, Encoding::Latin1);
    FollowState state = loaded.follow;
    QVERIFY(state.encodingSettled);
    QVERIFY(append(file, "na\xEFve\n"));
    QCOMPARE(std::get<FollowAppended>(readAppended(file.toStdString(), state)).text, std::u16string(u"na\u00EFve\n"));

    // Bytes the chosen encoding refuses ask for a reload; its failure message is the encoding's own.
    QVERIFY(rewrite(file, "ok\n"));
    decoded = decodeForLoad(file.toStdString(), Encoding::Utf16LE);
    QCOMPARE(std::get<Base::Message>(decoded).englishText(), "The file is not valid UTF-16 LE"s);
}

QTEST_GUILESS_MAIN(TestFollowTail)
#include "tst_followtail.moc"
