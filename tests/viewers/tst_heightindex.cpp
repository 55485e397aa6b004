// The height index behind the scrolling views: prefix sums and row lookup under updates.
#include "viewers/heightindex.h"

#include <QtTest>

using Viewers::Internal::HeightIndex;

class TestHeightIndex : public QObject {
    Q_OBJECT

private slots:
    void rowAtAndOffsets_data();
    void rowAtAndOffsets();
    void matchesNaiveSumsAfterUpdates();
};

void TestHeightIndex::rowAtAndOffsets_data()
{
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("row");
    // Heights 10, 25, 10, 10 after measuring row 1.
    QTest::newRow("top_row0") << 0 << 0;
    QTest::newRow("lastPixelOfRow0") << 9 << 0;
    QTest::newRow("firstPixelOfRow1") << 10 << 1;
    QTest::newRow("insideTallRow1") << 34 << 1;
    QTest::newRow("row2") << 35 << 2;
    QTest::newRow("pastEnd_clampedToLast") << 500 << 3;
    QTest::newRow("negative_row0") << -5 << 0;
}

void TestHeightIndex::rowAtAndOffsets()
{
    QFETCH(int, y);
    QFETCH(int, row);
    HeightIndex index;
    index.reset(4, 10);
    index.setHeight(1, 25);
    QCOMPARE(index.rowAt(y), std::size_t(row));
    QCOMPARE(index.total(), std::int64_t(55));
    QCOMPARE(index.offsetOf(2), std::int64_t(35));
    QVERIFY(index.isMeasured(1));
    QVERIFY(!index.isMeasured(0));
    index.forgetMeasurements();
    QVERIFY(!index.isMeasured(1));
    QCOMPARE(index.height(1), 25);
}

void TestHeightIndex::matchesNaiveSumsAfterUpdates()
{
    HeightIndex index;
    std::vector<int> heights(1000);
    for (std::size_t i = 0; i < heights.size(); ++i)
        heights[i] = int(1 + (i * 7919) % 37);
    index.reset(heights);
    for (std::size_t i = 0; i < heights.size(); i += 13) {
        heights[i] = int(5 + i % 11);
        index.setHeight(i, heights[i]);
    }
    std::int64_t sum = 0;
    for (std::size_t i = 0; i < heights.size(); ++i) {
        QCOMPARE(index.offsetOf(i), sum);
        QCOMPARE(index.rowAt(sum), i);
        QCOMPARE(index.rowAt(sum + heights[i] - 1), i);
        sum += heights[i];
    }
    QCOMPARE(index.total(), sum);
}

QTEST_GUILESS_MAIN(TestHeightIndex)
#include "tst_heightindex.moc"
