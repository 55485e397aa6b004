// Pictures of the document window in the states a person should look at after a change, in a
// dark and a light theme: every kind, the structured views, the dialogs and menus, the status
// bar's items. Then the structured views alone on the viewers' fixtures, the CSV delimiter
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
#include "app/window/contentview.h"
#include "app/window/documentwindow.h"
#include "app/window/windowsession.h"
#include "viewershots.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

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
