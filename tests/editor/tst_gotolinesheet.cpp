// The go-to-line sheet as a user drives it: typing, Return, Escape.
#include "editor/gotolinesheet.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

class TestGoToLineSheet : public QObject {
    Q_OBJECT

private slots:
    void returnWithValidLineSubmits_data();
    void returnWithValidLineSubmits();
    void invalidInputKeepsTheSheetOpenWithTheRange_data();
    void invalidInputKeepsTheSheetOpenWithTheRange();
    void typingClearsTheMessage();
    void escapeCancels();
    void subtitleCountsLines();
};

void TestGoToLineSheet::returnWithValidLineSubmits_data()
{
    QTest::addColumn<qint64>("maxLine");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<qint64>("line");
    QTest::newRow("+12 of 40") << qint64(40) << "+12" << qint64(12);
    QTest::newRow("1 in an empty document") << qint64(0) << "1" << qint64(1);
}

void TestGoToLineSheet::returnWithValidLineSubmits()
{
    QFETCH(qint64, maxLine);
    QFETCH(QString, typed);
    QFETCH(qint64, line);
    Editor::GoToLineSheet sheet(maxLine);
    sheet.show();
    QSignalSpy submitted(&sheet, &Editor::GoToLineSheet::submitted);
    auto *field = sheet.findChild<QLineEdit *>();
    QTest::keyClicks(field, typed);
    QTest::keyClick(field, Qt::Key_Return);
    QCOMPARE(submitted.count(), 1);
    QCOMPARE(submitted.first().first().toLongLong(), line);
    QCOMPARE(sheet.result(), int(QDialog::Accepted));
}

void TestGoToLineSheet::invalidInputKeepsTheSheetOpenWithTheRange_data()
{
    QTest::addColumn<qint64>("maxLine");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message");
    QTest::newRow("zero in an empty document names 1") << qint64(0) << "0" << QString("Line out of range (1\u20131)");
    QTest::newRow("2 in an empty document") << qint64(0) << "2" << QString("Line out of range (1\u20131)");
    QTest::newRow("abc of 40") << qint64(40) << "abc" << QString("Line out of range (1\u201340)");
    QTest::newRow("empty of 40") << qint64(40) << "" << QString("Line out of range (1\u201340)");
    QTest::newRow("trailing space of 40") << qint64(40) << "12 " << QString("Line out of range (1\u201340)");
}

void TestGoToLineSheet::invalidInputKeepsTheSheetOpenWithTheRange()
{
    QFETCH(qint64, maxLine);
    QFETCH(QString, typed);
    QFETCH(QString, message);
    Editor::GoToLineSheet sheet(maxLine);
    sheet.show();
    QSignalSpy submitted(&sheet, &Editor::GoToLineSheet::submitted);
    auto *field = sheet.findChild<QLineEdit *>();
    QTest::keyClicks(field, typed);
    QTest::keyClick(field, Qt::Key_Return);
    QCOMPARE(submitted.count(), 0);
    QVERIFY(sheet.isVisible());
    QCOMPARE(sheet.errorText(), message);
}

void TestGoToLineSheet::typingClearsTheMessage()
{
    Editor::GoToLineSheet sheet(40);
    sheet.show();
    auto *field = sheet.findChild<QLineEdit *>();
    sheet.submit();
    QVERIFY(!sheet.errorText().isEmpty());
    QTest::keyClick(field, Qt::Key_4);
    QCOMPARE(sheet.errorText(), QString());
    QCOMPARE(sheet.text(), QString("4"));
}

void TestGoToLineSheet::escapeCancels()
{
    Editor::GoToLineSheet sheet(40);
    sheet.setText("7");
    sheet.show();
    QSignalSpy cancelled(&sheet, &Editor::GoToLineSheet::cancelled);
    QSignalSpy submitted(&sheet, &Editor::GoToLineSheet::submitted);
    QTest::keyClick(sheet.findChild<QLineEdit *>(), Qt::Key_Escape);
    QCOMPARE(cancelled.count(), 1);
    QCOMPARE(submitted.count(), 0);
    QVERIFY(!sheet.isVisible());
}

void TestGoToLineSheet::subtitleCountsLines()
{
    Editor::GoToLineSheet sheet(1234);
    QStringList texts;
    for (auto *label : sheet.findChildren<QLabel *>())
        texts << label->text();
    QVERIFY2(texts.contains("1234 lines"), qPrintable(texts.join('|')));
    QVERIFY(texts.contains(QString("Go to Line\u2026")));
}

QTEST_MAIN(TestGoToLineSheet)
#include "tst_gotolinesheet.moc"
