// The window's background jobs on their own: a result reaches the window only for the text as
// it is, and a read cut short by the text moving under it is run again.
#include "app/window/backgroundjobs.h"

#include <QtTest>

#include "highlighting/syntaxhighlighter.h"

#include <algorithm>
#include <atomic>

using namespace App;
using Documents::DocKind;

namespace {

// A snapshot of fixed text whose first `revokedReads` snapshots read as revoked, as a storage's
// do when its gap moves (a search, a save, a format) while a job is reading.
class Source {
public:
    explicit Source(std::u16string text, int revokedReads) : m_text(std::move(text)), m_revokedReads(revokedReads) {}

    std::shared_ptr<const Base::TextSnapshot> take()
    {
        ++m_taken;
        if (m_taken <= m_revokedReads)
            return std::make_shared<RevokedSnapshot>(m_text.size());
        return std::make_shared<Base::FixedTextSnapshot>(m_text);
    }
    int taken() const { return m_taken; }

private:
    class RevokedSnapshot final : public Base::TextSnapshot {
    public:
        explicit RevokedSnapshot(std::size_t length) : m_length(length) {}
        std::size_t length() const override { return m_length; }
        bool copy(std::size_t, std::size_t, char16_t *) const override { return false; }
        bool isRevoked() const override { return true; }

    private:
        std::size_t m_length;
    };

    std::u16string m_text;
    int m_revokedReads;
    int m_taken = 0;
};

} // namespace

class TestBackgroundJobs : public QObject {
    Q_OBJECT
private slots:
    void revokedReadRunsAgain_data();
    void revokedReadRunsAgain();
    void newerScheduleDropsTheOlderResult();
    void recolouringReadsOnlyTextItColours_data();
    void recolouringReadsOnlyTextItColours();
};

void TestBackgroundJobs::revokedReadRunsAgain_data()
{
    QTest::addColumn<int>("job");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("revokedReads");
    QTest::newRow("JSON validation, one read revoked") << int(Job::Validation) << int(DocKind::Json) << 1;
    QTest::newRow("JSON validation, three reads revoked") << int(Job::Validation) << int(DocKind::Json) << 3;
    QTest::newRow("NDJSON validation") << int(Job::Validation) << int(DocKind::Ndjson) << 1;
    QTest::newRow("JSON tree") << int(Job::JSONTree) << int(DocKind::Json) << 1;
    QTest::newRow("counts") << int(Job::Counts) << int(DocKind::Txt) << 2;
}

void TestBackgroundJobs::revokedReadRunsAgain()
{
    QFETCH(int, job);
    QFETCH(int, kind);
    QFETCH(int, revokedReads);
    Source source(u"{\"a\": [1, 2]}\n", revokedReads);
    BackgroundJobs jobs([&source] { return source.take(); });
    jobs.setDelayScale(0);
    JobContext context;
    context.kind = DocKind(DocKind::Value(kind));
    context.mode = job == int(Job::JSONTree) ? ViewMode::Tree : ViewMode::Text;
    jobs.setContext(context);
    std::vector<JobResult> finished;
    connect(&jobs, &BackgroundJobs::finished, this, [&](const JobResult &result) { finished.push_back(result); });
    jobs.schedule(Job(job));
    QVERIFY(QTest::qWaitFor([&] { return !jobs.isAnyPending(); }, 5000));
    QCOMPARE(finished.size(), std::size_t(1));
    QCOMPARE(source.taken(), revokedReads + 1);
    QVERIFY(finished.front().completed);
    if (job == int(Job::Validation))
        QVERIFY(std::get<ValidationOutput>(finished.front().output).validation.isValid());
}

void TestBackgroundJobs::newerScheduleDropsTheOlderResult()
{
    Source source(u"[1]", 0);
    BackgroundJobs jobs([&source] { return source.take(); });
    jobs.setDelayScale(0);
    JobContext context;
    context.kind = DocKind::Json;
    jobs.setContext(context);
    int finished = 0;
    connect(&jobs, &BackgroundJobs::finished, this, [&] { ++finished; });
    jobs.schedule(Job::Validation);
    jobs.schedule(Job::Validation);
    QVERIFY(QTest::qWaitFor([&] { return !jobs.isAnyPending(); }, 5000));
    QCOMPARE(finished, 1);
}

namespace {

// Text of any length that counts the units copied out of it.
class CountingSnapshot final : public Base::TextSnapshot {
public:
    explicit CountingSnapshot(std::size_t length) : m_length(length) {}
    std::size_t length() const override { return m_length; }
    bool copy(std::size_t, std::size_t count, char16_t *out) const override
    {
        std::fill_n(out, count, u'1');
        m_copied += count;
        return true;
    }
    bool isRevoked() const override { return false; }
    std::size_t copied() const { return m_copied; }

private:
    std::size_t m_length;
    mutable std::atomic<std::size_t> m_copied{0};
};

} // namespace

void TestBackgroundJobs::recolouringReadsOnlyTextItColours_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<qulonglong>("length");
    QTest::addColumn<bool>("coloured");
    const auto limit = qulonglong(Highlighting::SyntaxHighlighter::maximumLength);
    QTest::newRow("JSON at the limit") << int(DocKind::Json) << limit << true;
    QTest::newRow("JSON past the limit") << int(DocKind::Json) << limit + 1 << false;
    QTest::newRow("plain text") << int(DocKind::Txt) << qulonglong(1000) << false;
}

void TestBackgroundJobs::recolouringReadsOnlyTextItColours()
{
    QFETCH(int, kind);
    QFETCH(qulonglong, length);
    QFETCH(bool, coloured);
    CountingSnapshot snapshot(length);
    JobContext context;
    context.kind = DocKind(DocKind::Value(kind));
    const std::atomic<bool> cancelled{false};
    const auto result = runJob(Job::Recolour, context, snapshot, cancelled);
    QVERIFY(result->completed);
    const auto &classes = *std::get<ColoursOutput>(result->output).classes;
    QCOMPARE(classes.size(), coloured ? std::size_t(length) : std::size_t(0));
    QCOMPARE(snapshot.copied(), coloured ? std::size_t(length) : std::size_t(0));
}

QTEST_MAIN(TestBackgroundJobs)
#include "tst_backgroundjobs.moc"
