// Pictures of the document window in the states a person should look at after a change, in a
// dark and a light theme: every kind, the structured views, the dialogs and menus, the status
// bar's items, the find bar over each read-only view, a scratch note's close alert and save
// panel. Then the structured views alone on the viewers' fixtures, the CSV delimiter
// picker and the theme chooser (viewershots.cpp), under names without a theme. Not a test: it
// asserts nothing, it only draws.
//
//   corvane-screenshots OUTPUT_FOLDER [THEME_ID…]   (default themes: a dark and a light one)
//
// Offscreen by default, which draws the window alone; under a real display (DISPLAY set and
// QT_QPA_PLATFORM=xcb) the whole screen is taken, so that menus and popups are in the picture.
#include "app/services/fileassociations.h"
#include "app/services/preferences.h"
#include "app/services/updatechecker.h"
#include "app/window/chrome.h"
#include "app/window/contentarea.h"
#include "app/window/contentfindbar.h"
#include "app/window/contentview.h"
#include "app/window/documentwindow.h"
#include "app/window/scratchcloseguard.h"
#include "app/window/windowsession.h"
#include "documents/scratchfile.h"
#include "viewers/markdownview.h"
#include "viewershots.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>

using namespace App;

namespace {

class Shots {
public:
    Shots(QString output, QString theme) : m_output(std::move(output)), m_theme(std::move(theme)) {}

    void take()
    {
        // As the application dresses its windows: the theme's palette and scroll bars.
        static const QPalette desktop = QApplication::palette();
        const Highlighting::Theme &theme = Highlighting::Theme::resolve(m_theme.toStdString());
        QApplication::setPalette(Chrome::themedPalette(desktop, theme));
        qApp->setStyleSheet(Chrome::scrollBarStyleSheet(theme));
        Preferences::shared().setThemeId(m_theme);
        for (const auto &[name, bytes] : samples())
            kind(name, bytes);
        structuredViews();
        dialogs();
        statusBarItems();
        findBars();
        scratchQuestions();
        welcome();
    }

private:
    static QList<QPair<QString, QByteArray>> samples()
    {
        return {
            {"sample.json", "{\n  \"name\": \"Corvane\",\n  \"tags\": [\"fast\", \"plain\"],\n  \"size\": 52428800,\n"
                            "  \"nested\": {\"ok\": true, \"none\": null}\n}\n"},
            {"sample.ndjson", "{\"id\": 1, \"event\": \"open\"}\n{\"id\": 2, \"event\": \"save\"}\n"},
            {"sample.csv", "city,population,area\nBergen,285900,465\nOslo,709000,454\nTromsø,77500,2521\n"},
            {"sample.md", "# Notes\n\nSome *emphasis*, `code` and a [link](https://example.org).\n\n- one\n- two\n"},
            {"sample.yaml", "server:\n  port: 8080\n  hosts:\n    - alpha\n    - beta\n"},
            {"sample.toml", "[package]\nname = \"corvane\"\nversion = \"0.1.0\"\n"},
            {"sample.xml", "<?xml version=\"1.0\"?>\n<root a=\"1\">\n  <child>text</child>\n</root>\n"},
            {"sample.log", "2026-12-07 10:00:01 INFO started\n2026-12-07 10:00:02 WARN slow disk\n"
                           "2026-12-07 10:00:03 ERROR failed to open\n"},
            {"sample.txt", "Plain text, nothing more.\n"},
        };
    }

    std::unique_ptr<DocumentWindow> open(const QString &name, const QByteArray &bytes)
    {
        QFile file(m_files.filePath(name));
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes);
        file.close();
        auto window = std::make_unique<DocumentWindow>(ContentView::Options{true, {}, {}});
        window->resize(1000, 640);
        window->show();
        ContentView *view = window->contentView();
        view->loadPath(file.fileName());
        QTest::qWaitFor([view] { return view->doc() && !view->isLoading(); }, 10'000);
        settle(*view);
        return window;
    }

    static void settle(ContentView &view)
    {
        QTest::qWaitFor([&view] { return !view.jobs().isAnyPending(); }, 10'000);
        QTest::qWait(100); // Animations (the toast, the busy indicator) come to rest.
    }

    void save(QWidget &widget, const QString &name)
    {
        const QString path = QDir(m_output).filePath(name + "-" + m_theme + ".png");
        if (QGuiApplication::platformName() == QLatin1String("xcb")) {
            QTest::qWait(150);
            QGuiApplication::primaryScreen()->grabWindow(0).save(path);
        } else {
            widget.window()->grab().save(path);
        }
        std::printf("%s\n", qPrintable(path));
    }

    void kind(const QString &name, const QByteArray &bytes)
    {
        auto window = open(name, bytes);
        save(*window, "kind-" + QFileInfo(name).suffix());
    }

    void structuredViews()
    {
        QByteArray lines;
        for (int i = 1; i <= 300; ++i)
            lines += "line " + QByteArray::number(i) + ": " + QByteArray(i % 90, 'x') + "\n";
        auto longText = open("long-file-name-that-needs-shortening-in-a-narrow-toolbar.yaml", lines);
        longText->resize(980, 520);
        QTest::qWait(50);
        save(*longText, "scroll-bars-and-long-title");

        auto json = open("tree.json", samples().first().second);
        json->contentView()->setMode(ViewMode::Tree);
        settle(*json->contentView());
        save(*json, "json-tree");

        auto markdown = open("split.md", samples()[3].second);
        markdown->contentView()->setMode(ViewMode::Split);
        settle(*markdown->contentView());
        save(*markdown, "markdown-split");

        auto invalid = open("invalid.json", "{\n  \"a\": 1,\n  \"b\": ,\n  \"c\": 3\n}\n");
        save(*invalid, "json-invalid");

        auto errors = open("errors.ndjson", "{\"a\": 1}\n{\"b\": }\n{\"c\": 3}\n[1,\n");
        save(*errors, "ndjson-errors");
        if (QWidget *list = errors->contentView()->showErrorList()) {
            save(*errors, "error-list");
            list->close();
        }

        auto ragged = open("ragged.csv", "a;b;c\n1;2;3\n4;5\n6;7;8;9\n");
        save(*ragged, "csv-ragged");

        auto compact = open("compact.json", "{\"a\":[1,2],\"b\":{}}");
        compact->contentView()->formatDocument();
        QTest::qWait(200);
        save(*compact, "toast");
    }

    void dialogs()
    {
        auto window = open("changed.txt", "one\n");
        ContentView *view = window->contentView();
        view->textView()->setFocus();
        QTest::keyClicks(view->textView(), "mine ");
        QFile::remove(m_files.filePath("changed.txt"));
        QFile file(m_files.filePath("changed.txt"));
        if (file.open(QIODevice::WriteOnly))
            file.write("theirs\n");
        file.close();
        view->applicationDidResignActive();
        if (QMessageBox *dialog = view->externalChangeDialog()) {
            save(*window, "external-change");
            dialog->findChild<QAbstractButton *>("keep")->click();
        }
        window->close();
        if (QMessageBox *question = view->unsavedEditsQuestion()) {
            save(*window, "unsaved-changes-question");
            question->findChild<QAbstractButton *>("discard")->click();
        }
        QTest::qWait(50);

        auto failing = open("locked.txt", "locked\n");
        QFile::setPermissions(m_files.filePath("locked.txt"), QFile::ReadOwner);
        failing->contentView()->textView()->setFocus();
        QTest::keyClicks(failing->contentView()->textView(), "x");
        failing->contentView()->applicationDidResignActive();
        if (failing->contentView()->errorAlert()) {
            save(*failing, "save-failed");
            failing->contentView()->errorAlert()->close();
        }
        failing->contentView()->saveIfDirty(SaveReason::Quit); // nothing to keep
        QFile::setPermissions(m_files.filePath("locked.txt"), QFile::ReadOwner | QFile::WriteOwner);
    }

    void statusBarItems()
    {
        auto window = open("menus.json", samples().first().second);
        ContentView *view = window->contentView();
        view->textView()->setTextSelection({15, 0});
        QTest::qWaitFor([view] { return !view->jsonPath().isEmpty(); }, 5000);
        save(*window, "json-path");
        if (QMenu *menu = view->showEncodingMenu()) {
            save(*window, "encoding-menu");
            menu->close();
        }
        if (QMenu *menu = view->showLineEndingMenu()) {
            save(*window, "line-ending-menu");
            menu->close();
        }
        if (QMenu *menu = view->showIndentationMenu()) {
            save(*window, "indentation-menu");
            menu->close();
        }
    }

    // The window takes the keys, as after a click on it: in split mode find goes where the
    // focus is.
    static bool activate(QWidget &window)
    {
        window.activateWindow();
        QApplication::setActiveWindow(&window);
        if (QTest::qWaitForWindowActive(&window))
            return true;
        std::fprintf(stderr, "%s never became the active window\n", qPrintable(window.windowTitle()));
        return false;
    }

    // Opens the find bar over the view in sight, types `needle` and goes `next` matches on.
    void find(DocumentWindow &window, const QString &needle, int next, const QString &name)
    {
        // Wide enough for the whole bar over the split view's preview pane.
        window.resize(1100, 700);
        QTest::qWait(50);
        ContentArea *area = window.contentView()->contentArea();
        area->performFindAction(TextView::FindAction::ShowFindInterface);
        QLineEdit *field = area->findBar()->findField();
        QTest::keyClicks(field, needle);
        for (int i = 0; i < next; ++i)
            QTest::keyClick(field, Qt::Key_Return);
        QTest::qWait(50);
        save(window, name);
        area->findBar()->close();
    }

    void findBars()
    {
        // The second of two matches, far down the table and in another column.
        QByteArray csv = "name,city,note\n";
        for (int i = 0; i < 300; ++i)
            csv += i == 40 ? "Bob,Oslo,x\n" : i == 250 ? "Ann,Bobbio,y\n" : "Eve,Rome,z\n";
        auto table = open("people.csv", csv);
        table->contentView()->setMode(ViewMode::Table);
        settle(*table->contentView());
        find(*table, "bob", 1, "find-table");

        // The first match sits three levels down in collapsed objects.
        auto tree = open("config.json",
                         R"({"config":{"server":{"tls":{"cipher":"chacha"}}},"name":"Chacha Tea","zeta":[1,2]})");
        tree->contentView()->setMode(ViewMode::Tree);
        settle(*tree->contentView());
        find(*tree, "CHACHA", 0, "find-tree");

        QByteArray sections;
        for (int i = 0; i < 120; ++i)
            sections += QString("## Section %1\n\nSome *prose* about %2.\n\n")
                            .arg(i)
                            .arg(i == 100 ? "the needle" : "hay")
                            .toUtf8();
        auto preview = open("notes.md", sections);
        preview->contentView()->setMode(ViewMode::Preview);
        settle(*preview->contentView());
        find(*preview, "the needle", 0, "find-preview");

        QByteArray paragraphs;
        for (int i = 0; i < 60; ++i)
            paragraphs += QString("Paragraph %1 with a %2.\n\n").arg(i).arg(i % 20 == 7 ? "needle" : "straw").toUtf8();
        auto split = open("split.md", paragraphs);
        split->contentView()->setMode(ViewMode::Split);
        settle(*split->contentView());
        if (activate(*split)) {
            split->contentView()->contentArea()->markdownView()->setFocus(Qt::MouseFocusReason);
            find(*split, "needle", 1, "find-split-preview");
        }
    }

    // A scratch note closed with text in it: the alert, then Save… and the panel, which is
    // cancelled so that the note stays where it is.
    void scratchQuestions()
    {
        const auto created = Documents::ScratchFile::create(QDir(m_folder.path()).filePath("scratch").toStdString());
        if (!created)
            return;
        const QString scratch = QString::fromStdString(*created);
        auto window = std::make_unique<DocumentWindow>(ContentView::Options{true, scratch, {}});
        window->resize(1000, 640);
        window->show();
        ContentView *view = window->contentView();
        if (!QTest::qWaitFor([view] { return view->doc() && !view->isLoading(); }, 10'000))
            return;
        attachScratchDelegate(window.get(), scratch);
        view->textView()->setFocus();
        QTest::keyClicks(view->textView(), "A thought worth keeping.");

        // Both questions are modal: they are drawn from within their own event loops. A grab
        // under a real display waits, so the timer must not come back in meanwhile.
        bool busy = false;
        QTimer driver;
        driver.setInterval(50);
        QObject::connect(&driver, &QTimer::timeout, [&] {
            if (busy)
                return;
            busy = true;
            QWidget *modal = QApplication::activeModalWidget();
            if (auto *alert = qobject_cast<QMessageBox *>(modal); alert && alert->objectName() == "scratchCloseAlert") {
                save(*alert, "scratch-close-alert");
                alert->defaultButton()->click();
            } else if (auto *panel = qobject_cast<QFileDialog *>(modal);
                       panel && panel->objectName() == "scratchSavePanel") {
                QTest::qWait(200); // The folder's listing fills in.
                save(*panel, "scratch-save-panel");
                panel->reject();
            }
            busy = false;
        });
        driver.start();
        window->close();
        driver.stop();
    }

    void welcome()
    {
        DocumentWindow window(ContentView::Options{true, {}, {}});
        window.resize(1000, 640);
        window.show();
        QTest::qWait(200);
        save(window, "welcome");
    }

    QString m_output;
    QString m_theme;
    QTemporaryDir m_folder;
    QDir m_files{m_folder.path()};
};

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    Q_INIT_RESOURCE(icons); // The window library is static: its resources need registering.
    QStringList arguments = QApplication::arguments().mid(1);
    if (arguments.isEmpty()) {
        std::fprintf(stderr, "usage: corvane-screenshots OUTPUT_FOLDER [THEME_ID...]\n");
        return 2;
    }
    const QString output = arguments.takeFirst();
    QDir().mkpath(output);
    if (arguments.isEmpty())
        arguments = {"vs-claude", "vscode-light"};

    // Settings of its own, never the user's; no first-run sheet, no update check.
    QTemporaryDir settings;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    QCoreApplication::setOrganizationName("CorvaneScreenshots");
    QCoreApplication::setApplicationName("Screenshots");
    Preferences::shared().settings().setValue(FileAssociations::hasPromptedKey, true);
    Preferences::shared().settings().setValue(UpdateChecker::lastCheckKey, 4e9);
    WindowSession::shared().hasFinishedLaunching = true;
    // The views alone first, over the desktop's palette as their tests draw them: the window
    // shots dress the whole application in each theme.
    takeViewerShots(output);
    for (const QString &theme : arguments)
        Shots(output, theme).take();
    return 0;
}
