// File names as bytes in a QString: every byte string survives the trip, and UTF-8 names read
// as themselves.
#include "base/nativepath.h"

#include <QtTest>

class TestNativePath : public QObject {
    Q_OBJECT
private slots:
    void roundTrip_data();
    void roundTrip();
    void realSurrogatePairsStayText();
};

void TestNativePath::roundTrip_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown"); // what the QString holds, U+FFFD marking escaped bytes
    QTest::newRow("ASCII") << QByteArray("/tmp/a.json") << QString("/tmp/a.json");
    QTest::newRow("UTF-8") << QByteArray("/tmp/caf\xC3\xA9.txt") << QString::fromUtf8("/tmp/caf\u00e9.txt");
    QTest::newRow("four-byte UTF-8") << QByteArray("\xF0\x9F\x98\x80.md") << QString::fromUtf8("\U0001F600.md");
    QTest::newRow("Latin-1 byte") << QByteArray("/tmp/caf\xE9.txt") << QString::fromUtf8("/tmp/caf\uFFFD.txt");
    QTest::newRow("lone continuation") << QByteArray("a\x80z") << QString::fromUtf8("a\uFFFDz");
    QTest::newRow("truncated sequence") << QByteArray("a\xE2\x82") << QString::fromUtf8("a\uFFFD\uFFFD");
    QTest::newRow("overlong slash") << QByteArray("\xC0\xAF") << QString::fromUtf8("\uFFFD\uFFFD");
    QTest::newRow("encoded surrogate") << QByteArray("\xED\xA0\x80") << QString::fromUtf8("\uFFFD\uFFFD\uFFFD");
    QTest::newRow("past U+10FFFF") << QByteArray("\xF4\x90\x80\x80") << QString::fromUtf8("\uFFFD\uFFFD\uFFFD\uFFFD");
    QTest::newRow("valid after invalid") << QByteArray("\xFF\xC3\xA9") << QString::fromUtf8("\uFFFD\u00e9");
}

void TestNativePath::roundTrip()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);
    const QString path = Base::pathFromNative(bytes.toStdString());
    QCOMPARE(QByteArray::fromStdString(Base::nativeFromPath(path)), bytes);
    QString marked = path;
    for (QChar &c : marked)
        if (c.unicode() >= 0xDC80 && c.unicode() <= 0xDCFF)
            c = QChar(0xFFFD);
    QCOMPARE(marked, shown);
}

void TestNativePath::realSurrogatePairsStayText()
{
    // A pair whose low half lies in the escape range is a character, not an escaped byte.
    const QString pair = QString::fromUtf8("\U00010C80");
    QCOMPARE(pair.size(), 2);
    QCOMPARE(QByteArray::fromStdString(Base::nativeFromPath(pair)), pair.toUtf8());
}

QTEST_MAIN(TestNativePath)
#include "tst_nativepath.moc"
