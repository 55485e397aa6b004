// Loading, saving and scratch files against real files in a temporary folder.
#include "documents/document.h"
#include "documents/fileio.h"
#include "documents/scratchfile.h"
#include "documents/textcodec.h"

#include <QtTest>

#include <csignal>
#include <ctime>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Documents;
using namespace std::string_literals;

Q_DECLARE_METATYPE(Documents::Encoding)

namespace {

std::string readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<unreadable>";
    const QByteArray bytes = file.readAll();
    return std::string(bytes.constData(), std::size_t(bytes.size()));
}

void writeAll(const QString &path, const std::string &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes.data(), qint64(bytes.size())), qint64(bytes.size()));
}

std::string errorText(const std::variant<LoadResult, Base::Message> &result)
{
    const auto *message = std::get_if<Base::Message>(&result);
    return message ? message->englishText() : "<loaded>";
}

QStringList folderEntries(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// Makes writes past `bytes` fail with EFBIG for as long as it lives.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_saved);
        rlimit limited = m_saved;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &m_saved); }

private:
    rlimit m_saved {};
};

} // namespace

class TestDocumentFiles : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_folder = std::make_unique<QTemporaryDir>();
        QVERIFY(m_folder->isValid());
    }

    void sizeLimit_data();
    void sizeLimit();
    void readIsBoundedByTheLimit_data();
    void readIsBoundedByTheLimit();
    void loadFailures();
    void loadRecordsWhatItFound();
    void scratchMarker_data();
    void scratchMarker();

    void saveKeepsEncodingMarkAndLineEnding();
    void reopenAsUtf16KeepsTheByteOrder_data();
    void reopenAsUtf16KeepsTheByteOrder();
    void saveRefusesUnrepresentableText();
    void atomicWriteKeepsPermissions();
    void atomicWriteFollowsSymlinks();
    void atomicWriteKeepsHardLinks();
    void failedWriteLeavesOldFileIntact();
    void failedInPlaceWriteRestoresOldContents();
    void writeIntoMissingFolderReportsTheSystemError();

    void scratchNames();
    void scratchDateStamp();

private:
    QString path(const QString &name) const { return m_folder->filePath(name); }
    QString folder() const { return m_folder->path(); }
    std::unique_ptr<QTemporaryDir> m_folder;
};

void TestDocumentFiles::sizeLimit_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("error");
    QTest::newRow("exactly 50 MiB loads") << qint64(52'428'800) << "";
    QTest::newRow("one byte more is refused as 50 MB") << qint64(52'428'801) << "File too large (50 MB). Limit is 50 MB.";
    QTest::newRow("rounded down: 99 MB") << qint64(104'857'599) << "File too large (99 MB). Limit is 50 MB.";
}

void TestDocumentFiles::sizeLimit()
{
    QFETCH(qint64, size);
    QFETCH(QString, error);
    const QString file = path("big.json");
    QFile sparse(file);
    QVERIFY(sparse.open(QIODevice::WriteOnly));
    QVERIFY(sparse.resize(size)); // Zero bytes: valid UTF-8, cheap to create.
    sparse.close();
    const auto checked = checkBeforeLoad(file.toStdString());
    if (error.isEmpty()) {
        QVERIFY(std::holds_alternative<FileAttributes>(checked));
        QCOMPARE(std::get<FileAttributes>(checked).size, std::int64_t(size));
    } else {
        QCOMPARE(QString::fromStdString(std::get<Base::Message>(checked).englishText()), error);
    }
}

void TestDocumentFiles::readIsBoundedByTheLimit_data()
{
    QTest::addColumn<QString>("reader");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("error"); // Empty when the file loads.
    const qint64 limit = 52'428'800;
    const QString fiftyMB = "File too large (50 MB). Limit is 50 MB.";
    QTest::newRow("exactly the limit loads") << "detected" << limit << "";
    QTest::newRow("exactly the limit loads in a chosen encoding") << "chosen" << limit << "";
    QTest::newRow("one byte more, never checked before: refused as the check refuses it")
        << "detected" << limit + 1 << fiftyMB;
    QTest::newRow("one byte more in a chosen encoding: the same message") << "chosen" << limit + 1 << fiftyMB;
    QTest::newRow("swapped for 300 MB after the check: refused, its own size named")
        << "detected" << qint64(300) * 1'048'576 << "File too large (300 MB). Limit is 50 MB.";
    QTest::newRow("the headless reader with detection") << "readTextWithFallback" << limit + 1 << fiftyMB;
    QTest::newRow("the headless reader in a chosen encoding") << "readTextAs" << limit + 1 << fiftyMB;
}

// The size check runs before the background read, so the read itself must not take more than
// the limit from whatever the name holds by then. Sparse files cost neither disk nor time.
void TestDocumentFiles::readIsBoundedByTheLimit()
{
    QFETCH(QString, reader);
    QFETCH(qint64, size);
    QFETCH(QString, error);
    const QString file = path("swapped.log");
    QFile sparse(file);
    QVERIFY(sparse.open(QIODevice::WriteOnly));
    QVERIFY(sparse.resize(size)); // NUL bytes: valid UTF-8 and Latin-1.
    sparse.close();
    const std::string name = file.toStdString();

    std::optional<Base::Message> failure;
    std::size_t units = 0;
    if (reader == "detected" || reader == "chosen") {
        auto loaded = reader == "chosen" ? decodeForLoad(name, Encoding::Latin1) : decodeForLoad(name);
        if (auto *message = std::get_if<Base::Message>(&loaded))
            failure = *message;
        else
            units = std::get<LoadedText>(loaded).text.size();
    } else {
        auto decoded = reader == "readTextAs" ? readTextAs(name, Encoding::Latin1) : readTextWithFallback(name);
        if (auto *message = std::get_if<Base::Message>(&decoded))
            failure = *message;
        else
            units = std::get<DecodedText>(decoded).text.size();
    }
    if (error.isEmpty()) {
        QVERIFY2(!failure, failure ? failure->englishText().c_str() : "");
        QCOMPARE(qint64(units), size);
    } else {
        QVERIFY(failure);
        QCOMPARE(QString::fromStdString(failure->englishText()), error);
        QVERIFY(*failure == std::get<Base::Message>(checkBeforeLoad(name)));
    }
}

void TestDocumentFiles::loadFailures()
{
    QCOMPARE(errorText(loadDocument(path("missing.json").toStdString())),
             "Cannot read file attributes: No such file or directory"s);
    QVERIFY(QDir(folder()).mkdir("folder.json"));
    QCOMPARE(errorText(loadDocument(path("folder.json").toStdString())), "Cannot decode file: Is a directory"s);
    QVERIFY(mkfifo(path("pipe.log").toLocal8Bit().constData(), 0600) == 0);
    QCOMPARE(errorText(loadDocument(path("pipe.log").toStdString())), "Cannot decode file: Not a regular file"s);
    // A file that vanishes between the attribute check and the background read.
    const auto decoded = decodeForLoad(path("vanished.txt").toStdString());
    QCOMPARE(std::get<Base::Message>(decoded).englishText(), "Cannot decode file: No such file or directory"s);
}

void TestDocumentFiles::loadRecordsWhatItFound()
{
    const QString file = path("Data.JSONL");
    writeAll(file, "\xEF\xBB\xBF{\"a\":1}\r\n{\"b\":2}\r\n");
    struct timespec times[2] = {{0, UTIME_OMIT}, {1'700'000'000, 123'456'789}};
    QVERIFY(utimensat(AT_FDCWD, file.toLocal8Bit().constData(), times, 0) == 0);
    auto result = loadDocument(file.toStdString());
    QVERIFY(std::holds_alternative<LoadResult>(result));
    const auto &loaded = std::get<LoadResult>(result);
    QCOMPARE(loaded.doc.kind, DocKind(DocKind::Ndjson));
    QCOMPARE(loaded.doc.encoding, Encoding::Utf8);
    QVERIFY(loaded.doc.hadBOM);
    QCOMPARE(loaded.doc.lineEnding, LineEnding::Crlf);
    QVERIFY(!loaded.doc.isScratch);
    QCOMPARE(loaded.doc.mtime, std::optional<FileTime>(FileTime{1'700'000'000, 123'456'789}));
    QCOMPARE(std::u16string(loaded.text.view()), std::u16string(u"{\"a\":1}\n{\"b\":2}\n"));
}

void TestDocumentFiles::scratchMarker_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("scratch");
    QTest::newRow("in the scratch folder") << "/home/u/.local/share/Corvane/scratch/new-01.01.26.txt" << true;
    QTest::newRow("any folder with the marker") << "/tmp/x/Corvane/scratch/a.json" << true;
    QTest::newRow("case matters") << "/tmp/corvane/scratch/a.txt" << false;
    QTest::newRow("the folder itself without slash") << "/tmp/Corvane/scratch" << false;
}

void TestDocumentFiles::scratchMarker()
{
    QFETCH(QString, path);
    QFETCH(bool, scratch);
    QCOMPARE(isScratchPath(path.toStdString()), scratch);
}

void TestDocumentFiles::saveKeepsEncodingMarkAndLineEnding()
{
    const QString file = path("utf16.txt");
    const std::string original = "\xFF\xFE" "a\x00\r\x00\n\x00" "b\x00"s;
    writeAll(file, original);
    auto result = loadDocument(file.toStdString());
    auto &loaded = std::get<LoadResult>(result);
    QCOMPARE(loaded.doc.encoding, Encoding::Utf16LE);
    QVERIFY(!saveText(file.toStdString(), loaded.text.view(), loaded.doc.encoding, loaded.doc.lineEnding,
                      loaded.doc.hadBOM));
    QCOMPARE(readAll(file), original);
    QVERIFY(!saveText(file.toStdString(), u"x\ny", loaded.doc.encoding, loaded.doc.lineEnding, loaded.doc.hadBOM));
    QCOMPARE(readAll(file), "\xFF\xFE" "x\x00\r\x00\n\x00" "y\x00"s);
}

void TestDocumentFiles::reopenAsUtf16KeepsTheByteOrder_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Encoding>("reported");
    QTest::newRow("big-endian with its mark stays big-endian")
        << QByteArray("\xFE\xFF\x00h\x00\xE9\x00\r\x00\n", 10) << Encoding::Utf16BE;
    QTest::newRow("little-endian with its mark stays little-endian")
        << QByteArray("\xFF\xFEh\x00\xE9\x00\n\x00", 8) << Encoding::Utf16LE;
    QTest::newRow("no mark: read and written little-endian") << QByteArray("h\x00\xE9\x00", 4) << Encoding::Utf16LE;
}

// "Reopen with Encoding: UTF-16" leaves the byte order to the file's mark; the next save must
// write the bytes it read, not every character byte-swapped.
void TestDocumentFiles::reopenAsUtf16KeepsTheByteOrder()
{
    QFETCH(QByteArray, bytes);
    QFETCH(Encoding, reported);
    const QString file = path("reopened.txt");
    writeAll(file, bytes.toStdString());
    auto result = decodeForLoad(file.toStdString(), Encoding::Utf16);
    QVERIFY(std::holds_alternative<LoadedText>(result));
    const auto &loaded = std::get<LoadedText>(result);
    QCOMPARE(loaded.encoding, reported);
    QCOMPARE(loaded.text.view().substr(0, 2), std::u16string_view(u"hé"));
    QVERIFY(!saveText(file.toStdString(), loaded.text.view(), loaded.encoding, loaded.lineEnding, loaded.hadBOM));
    QCOMPARE(readAll(file), bytes.toStdString());
}

void TestDocumentFiles::saveRefusesUnrepresentableText()
{
    const QString file = path("latin.txt");
    writeAll(file, "caf\xE9");
    const auto error = saveText(file.toStdString(), u"5 €", Encoding::Latin1, LineEnding::Lf, false);
    QVERIFY(error);
    QCOMPARE(error->englishText(), "Auto-save failed: Text cannot be encoded as Latin-1"s);
    QCOMPARE(readAll(file), "caf\xE9"s);
}

void TestDocumentFiles::atomicWriteKeepsPermissions()
{
    const QString file = path("script.sh");
    writeAll(file, "old");
    QVERIFY(chmod(file.toLocal8Bit().constData(), 0741) == 0);
    QVERIFY(!writeFileAtomically(file.toStdString(), "new"));
    struct stat info {};
    QVERIFY(stat(file.toLocal8Bit().constData(), &info) == 0);
    QCOMPARE(int(info.st_mode & 07777), 0741);
    QCOMPARE(readAll(file), "new"s);
    QCOMPARE(folderEntries(folder()), QStringList{"script.sh"});
}

void TestDocumentFiles::atomicWriteFollowsSymlinks()
{
    QVERIFY(QDir(folder()).mkdir("real"));
    const QString target = path("real/data.json");
    writeAll(target, "{}");
    const QString link = path("link.json");
    QVERIFY(symlink("real/data.json", link.toLocal8Bit().constData()) == 0);
    QVERIFY(!writeFileAtomically(link.toStdString(), "[1]"));
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(readAll(target), "[1]"s);
}

void TestDocumentFiles::atomicWriteKeepsHardLinks()
{
    const QString file = path("a.txt");
    const QString twin = path("b.txt");
    writeAll(file, "old contents");
    QVERIFY(link(file.toLocal8Bit().constData(), twin.toLocal8Bit().constData()) == 0);
    QVERIFY(!writeFileAtomically(file.toStdString(), "new"));
    QCOMPARE(readAll(twin), "new"s);
    struct stat info {};
    QVERIFY(stat(file.toLocal8Bit().constData(), &info) == 0);
    QCOMPARE(int(info.st_nlink), 2);
    QCOMPARE(folderEntries(folder()), (QStringList{"a.txt", "b.txt"}));
}

void TestDocumentFiles::failedWriteLeavesOldFileIntact()
{
    const QString file = path("keep.json");
    writeAll(file, "{\"precious\":true}");
    std::optional<std::string> error;
    {
        FileSizeLimit limit(64);
        error = writeFileAtomically(file.toStdString(), std::string(4096, 'x'));
    }
    QVERIFY(error);
    QCOMPARE(*error, std::string(std::strerror(EFBIG)));
    QCOMPARE(readAll(file), "{\"precious\":true}"s);
    QCOMPARE(folderEntries(folder()), QStringList{"keep.json"});
}

void TestDocumentFiles::failedInPlaceWriteRestoresOldContents()
{
    const QString file = path("linked.txt");
    writeAll(file, "old");
    QVERIFY(link(file.toLocal8Bit().constData(), path("other.txt").toLocal8Bit().constData()) == 0);
    std::optional<std::string> error;
    {
        FileSizeLimit limit(64);
        error = writeFileAtomically(file.toStdString(), std::string(4096, 'x'));
    }
    QVERIFY(error);
    QCOMPARE(readAll(file), "old"s);
    QCOMPARE(folderEntries(folder()), (QStringList{"linked.txt", "other.txt"}));
}

void TestDocumentFiles::writeIntoMissingFolderReportsTheSystemError()
{
    const auto error = saveText(path("nowhere/x.txt").toStdString(), u"x", Encoding::Utf8, LineEnding::Lf, false);
    QVERIFY(error);
    QCOMPARE(error->englishText(), "Auto-save failed: No such file or directory"s);
}

void TestDocumentFiles::scratchNames()
{
    const std::string folder = path("support/Corvane/scratch").toStdString();
    const std::time_t when = std::time(nullptr);
    const std::string stamp = ScratchFile::dateStamp(when);
    std::vector<std::string> names;
    for (int i = 0; i < 3; ++i) {
        const auto created = ScratchFile::create(folder, when);
        QVERIFY(created);
        names.push_back(created->substr(folder.size() + 1));
        QCOMPARE(QFileInfo(QString::fromStdString(*created)).size(), qint64(0));
    }
    QCOMPARE(names, (std::vector<std::string>{"new-" + stamp + ".txt", "new-" + stamp + "-2.txt",
                                              "new-" + stamp + "-3.txt"}));
    QVERIFY(QFile::remove(QString::fromStdString(folder + "/new-" + stamp + "-2.txt")));
    QCOMPARE(ScratchFile::create(folder, when), std::optional<std::string>(folder + "/new-" + stamp + "-2.txt"));
    QVERIFY(isScratchPath(folder + "/x.txt"));
    // A file where the folder should be: nothing can be created.
    writeAll(path("blocked"), "");
    QCOMPARE(ScratchFile::create(path("blocked/scratch").toStdString(), when), std::optional<std::string>());
}

void TestDocumentFiles::scratchDateStamp()
{
    const QByteArray savedZone = qgetenv("TZ");
    qputenv("TZ", "UTC");
    tzset();
    QCOMPARE(ScratchFile::dateStamp(1'764'892'800), "05.12.25"s); // 2025-12-05 00:00 UTC
    QCOMPARE(ScratchFile::dateStamp(946'684'799), "31.12.99"s);
    qputenv("TZ", "JST-9");
    tzset();
    QCOMPARE(ScratchFile::dateStamp(946'684'799), "01.01.00"s); // Already the new year in Tokyo.
    if (savedZone.isEmpty())
        qunsetenv("TZ");
    else
        qputenv("TZ", savedZone);
    tzset();
}

QTEST_GUILESS_MAIN(TestDocumentFiles)
#include "tst_documents_files.moc"
