// The document window: background load, status texts, validation with the error line marked,
// and saving edits back in the file's own encoding.
#include "app/documentwindow.h"

#include <QtTest>

namespace {

QString writeFile(const QTemporaryDir &folder, const QString &name, const QByteArray &bytes)
{
    const QString path = folder.filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
    return path;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

} // namespace

class TestDocumentWindow : public QObject {
    Q_OBJECT

private slots:
    void init() { m_folder = std::make_unique<QTemporaryDir>(); }
    void showsKindEncodingAndLineEnding();
    void showsTheMessageWhenTheFileCannotBeOpened_data();
    void showsTheMessageWhenTheFileCannotBeOpened();
    void invalidJsonMarksTheFaultyLine();
    void editsAreSavedInTheFilesOwnEncoding();
    void unsavableTextStaysDirtyWithAMessage();

private:
    std::unique_ptr<QTemporaryDir> m_folder;
};

void TestDocumentWindow::showsKindEncodingAndLineEnding()
{
    const QString path = writeFile(*m_folder, "data.csv", QByteArray("\xFF\xFE" "a\x00,\x00" "b\x00\r\x00\n\x00", 12));
    App::DocumentWindow window;
    QSignalSpy loaded(&window, &App::DocumentWindow::documentLoaded);
    window.loadFile(path);
    QVERIFY(loaded.wait(10'000));
    QCOMPARE(window.statusTexts().mid(0, 3), (QStringList{"CSV", "UTF-16 LE", "CRLF"}));
    QCOMPARE(window.windowFilePath(), path);
    QCOMPARE(window.editor().text(), std::u16string(u"a,b\n"));
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
    QDir(m_folder->path()).mkdir("folder.json");
    App::DocumentWindow window;
    QSignalSpy failed(&window, &App::DocumentWindow::loadFailed);
    window.loadFile(m_folder->filePath(name));
    QVERIFY(failed.count() == 1 || failed.wait(10'000));
    QCOMPARE(window.errorMessage(), message);
    QCOMPARE(window.statusTexts().mid(0, 3), (QStringList{"", "", ""}));
}

void TestDocumentWindow::invalidJsonMarksTheFaultyLine()
{
    const QString path = writeFile(*m_folder, "broken.json", "{\n  \"a\": 1,\n  \"b\": tru\n}\n");
    App::DocumentWindow window;
    QSignalSpy validated(&window, &App::DocumentWindow::validated);
    window.loadFile(path);
    QVERIFY(validated.wait(10'000));
    QVERIFY2(window.statusTexts().at(3).startsWith("Invalid · Line 3"), qPrintable(window.statusTexts().at(3)));
    const auto &storage = window.editor().textView()->textContentManager();
    QCOMPARE(int(storage.decorations().size()), 1);
    QCOMPARE(storage.lineAt(storage.decorations().front().start), std::size_t(2));
}

void TestDocumentWindow::editsAreSavedInTheFilesOwnEncoding()
{
    const QString path = writeFile(*m_folder, "notes.txt", "caf\xE9\r\nb\x98\r\n");
    App::DocumentWindow window;
    QSignalSpy loaded(&window, &App::DocumentWindow::documentLoaded);
    window.loadFile(path);
    QVERIFY(loaded.wait(10'000));
    QCOMPARE(window.statusTexts().mid(1, 2), (QStringList{"CP1252", "CRLF"}));
    STTextView *view = window.editor().textView();
    view->setTextSelection({0, 0});
    view->setFocus();
    QTest::keyClicks(view, "X");
    QVERIFY(window.isDirty());
    QVERIFY(window.saveIfDirty());
    QVERIFY(!window.isDirty());
    QCOMPARE(readFile(path), QByteArray("Xcaf\xE9\r\nb\x98\r\n"));
}

void TestDocumentWindow::unsavableTextStaysDirtyWithAMessage()
{
    const QString path = writeFile(*m_folder, "latin.txt", "\x98\x81");
    App::DocumentWindow window;
    QSignalSpy loaded(&window, &App::DocumentWindow::documentLoaded);
    window.loadFile(path);
    QVERIFY(loaded.wait(10'000));
    QCOMPARE(window.statusTexts().at(1), QString("Latin-1"));
    STTextView *view = window.editor().textView();
    view->setFocus();
    view->replaceCharacters({0, 0}, u"\u20AC");
    QVERIFY(!window.saveIfDirty());
    QVERIFY(window.isDirty());
    QCOMPARE(window.errorMessage(), QString("Auto-save failed: Text cannot be encoded as Latin-1"));
    QCOMPARE(readFile(path), QByteArray("\x98\x81"));
}

QTEST_MAIN(TestDocumentWindow)
#include "tst_documentwindow.moc"
