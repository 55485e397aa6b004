// The document window loads in the background and reports what it found, or why it could not.
#include "app/documentwindow.h"

#include <QtTest>

class TestDocumentWindow : public QObject {
    Q_OBJECT

private slots:
    void showsKindEncodingAndLineEnding();
    void showsTheMessageWhenTheFileCannotBeOpened_data();
    void showsTheMessageWhenTheFileCannotBeOpened();

private:
    QTemporaryDir m_folder;
};

void TestDocumentWindow::showsKindEncodingAndLineEnding()
{
    const QString path = m_folder.filePath("data.csv");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("\xFF\xFE" "a\x00,\x00" "b\x00\r\x00\n\x00", 12);
    file.close();
    App::DocumentWindow window;
    QSignalSpy loaded(&window, &App::DocumentWindow::documentLoaded);
    window.loadFile(path);
    QVERIFY(loaded.wait(10'000));
    QCOMPARE(window.statusTexts(), (QStringList{"CSV", "UTF-16 LE", "CRLF"}));
    QCOMPARE(window.windowFilePath(), path);
}

void TestDocumentWindow::showsTheMessageWhenTheFileCannotBeOpened_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing") << "missing.json" << "Cannot read file attributes: No such file or directory";
    QTest::newRow("folder") << "folder.json" << "Cannot decode file: Is a directory";
}

void TestDocumentWindow::showsTheMessageWhenTheFileCannotBeOpened()
{
    QFETCH(QString, name);
    QFETCH(QString, message);
    QDir(m_folder.path()).mkdir("folder.json");
    App::DocumentWindow window;
    QSignalSpy failed(&window, &App::DocumentWindow::loadFailed);
    window.loadFile(m_folder.filePath(name));
    QVERIFY(failed.count() == 1 || failed.wait(10'000));
    QCOMPARE(window.errorMessage(), message);
    QCOMPARE(window.statusTexts(), (QStringList{"", "", ""}));
}

QTEST_MAIN(TestDocumentWindow)
#include "tst_documentwindow.moc"
