#include "documentwindow.h"

#include "editor/gotolinesheet.h"
#include "formatting/jsonformatter.h"
#include "formatting/xmlvalidator.h"

#include "base/localization.h"
#include "base/notificationcenter.h"

#include <QAction>
#include <QCloseEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QStackedWidget>
#include <QStatusBar>
#include <QtConcurrent>

namespace App {

namespace {

constexpr int AutoSaveDelayMs = 5000;
constexpr int ValidationDelayMs = 250;

QString fromView(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// How the document's bytes are read and written, for the XML check's encoding rules.
Formatting::XMLSource xmlSource(const Documents::LoadedDoc &doc)
{
    using Form = Formatting::XMLSource::Form;
    Formatting::XMLSource source;
    source.hadBOM = doc.hadBOM;
    switch (doc.encoding) {
    case Documents::Encoding::Utf8:
    case Documents::Encoding::Ascii: source.form = Form::Utf8; break;
    case Documents::Encoding::Utf16:
    case Documents::Encoding::Utf16LE: source.form = Form::Utf16LE; break;
    case Documents::Encoding::Utf16BE: source.form = Form::Utf16BE; break;
    case Documents::Encoding::Utf32LE: source.form = Form::Utf32LE; break;
    case Documents::Encoding::Utf32BE: source.form = Form::Utf32BE; break;
    case Documents::Encoding::Windows1251:
    case Documents::Encoding::Windows1252:
    case Documents::Encoding::Latin1:
    case Documents::Encoding::MacRoman:
        source.form = Form::SingleByte;
        source.encode = [encoding = doc.encoding](std::u16string_view text, std::string &out) {
            return Documents::encode(encoding, text, out);
        };
        break;
    }
    return source;
}

} // namespace

DocumentWindow::DocumentWindow(QWidget *parent) : QMainWindow(parent)
{
    m_pages = new QStackedWidget(this);
    m_placeholder = new QLabel(loc("Open a file: corvane FILE"), m_pages);
    m_placeholder->setAlignment(Qt::AlignCenter);
    m_placeholder->setWordWrap(true);
    m_pages->addWidget(m_placeholder);
    m_inputs.isActiveEditor = true;
    m_textView = m_editor.makeView(m_inputs, m_pages);
    m_pages->addWidget(m_textView);
    setCentralWidget(m_pages);

    m_kind = new QLabel(this);
    m_encoding = new QLabel(this);
    m_lineEnding = new QLabel(this);
    m_validation = new QLabel(this);
    m_caret = new QLabel(this);
    for (QLabel *label : {m_validation, m_caret, m_kind, m_encoding, m_lineEnding}) {
        label->setContentsMargins(8, 0, 8, 0);
        statusBar()->addPermanentWidget(label);
    }
    setWindowTitle("Corvane");
    resize(1000, 700);

    m_autoSave.setSingleShot(true);
    m_autoSave.setInterval(AutoSaveDelayMs);
    connect(&m_autoSave, &QTimer::timeout, this, [this] { saveIfDirty(); });
    m_validationDelay.setSingleShot(true);
    m_validationDelay.setInterval(ValidationDelayMs);
    connect(&m_validationDelay, &QTimer::timeout, this, &DocumentWindow::startValidation);
    connect(&m_validationWatcher, &QFutureWatcher<ValidationResult>::finished, this, &DocumentWindow::applyValidation);
    connect(&m_loadWatcher, &QFutureWatcher<std::shared_ptr<Outcome>>::finished, this,
            &DocumentWindow::applyLoadOutcome);
    connect(&m_editor, &Editor::Coordinator::textEdited, this, &DocumentWindow::textEdited);
    connect(&m_editor, &Editor::Coordinator::caretLineChanged, this, [this](long long line) {
        m_caretLine = line;
        updateCaretLabel();
    });
    connect(&m_editor, &Editor::Coordinator::caretColumnChanged, this, [this](long long column) {
        m_caretColumn = column;
        updateCaretLabel();
    });
    connect(&m_editor, &Editor::Coordinator::goToLineConsumed, this, [this] { m_inputs.goToLine.reset(); });
    setUpActions();
}

DocumentWindow::~DocumentWindow()
{
    m_loadWatcher.waitForFinished();
    m_validationWatcher.waitForFinished();
}

void DocumentWindow::setUpActions()
{
    const auto add = [this](const QString &title, const QList<QKeySequence> &keys, auto handler) {
        auto *action = new QAction(loc(title.toUtf8().constData()), this);
        action->setShortcuts(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, handler);
        addAction(action);
    };
    auto &center = NotificationCenter::defaultCenter();
    const auto find = [&center](int code) { return [&center, code] { center.post(Notifications::findAction, code); }; };
    add("Find…", {QKeySequence::Find}, find(1));
    add("Find Next", {QKeySequence("Ctrl+G"), QKeySequence::FindNext}, find(2));
    add("Find Previous", {QKeySequence("Ctrl+Shift+G"), QKeySequence::FindPrevious}, find(3));
    add("Find & Replace", {QKeySequence("Ctrl+Alt+F"), QKeySequence("Ctrl+H")}, find(12));
    add("Go to Line…", {QKeySequence("Ctrl+L")}, [this] { showGoToLine(); });
    add("Duplicate Line", {QKeySequence("Ctrl+D")}, [&center] { center.post(Notifications::duplicateLine); });
    add("Move Line Up", {QKeySequence("Alt+Up")}, [&center] { center.post(Notifications::moveLineUp); });
    add("Move Line Down", {QKeySequence("Alt+Down")}, [&center] { center.post(Notifications::moveLineDown); });
}

// ---- Loading ------------------------------------------------------------------------------

void DocumentWindow::loadFile(const QString &path)
{
    const std::string localPath = QFileInfo(path).absoluteFilePath().toStdString();
    const auto checked = Documents::checkBeforeLoad(localPath);
    if (const auto *error = std::get_if<Base::Message>(&checked)) {
        showMessage(loc(*error));
        return;
    }
    saveIfDirty();
    m_loadWatcher.setFuture(QtConcurrent::run([localPath] {
        return std::make_shared<Outcome>(Documents::loadDocument(localPath));
    }));
}

void DocumentWindow::applyLoadOutcome()
{
    const auto outcome = m_loadWatcher.result();
    if (const auto *error = std::get_if<Base::Message>(outcome.get())) {
        showMessage(loc(*error));
        return;
    }
    auto &loaded = std::get<Documents::LoadResult>(*outcome);
    m_doc = loaded.doc;
    m_dirty = false;
    m_lastSaveFailed = false;
    m_kind->setText(fromView(m_doc->kind.label()));
    m_encoding->setText(fromView(Documents::displayName(m_doc->encoding)));
    m_lineEnding->setText(fromView(Documents::label(m_doc->lineEnding)));
    m_validation->clear();
    const QString path = QString::fromStdString(m_doc->path);
    setWindowFilePath(path);
    setWindowTitle(QFileInfo(path).fileName() + "[*] — Corvane");
    setWindowModified(false);

    m_inputs.text = std::make_shared<Base::U16Buffer>(std::move(loaded.text));
    ++m_inputs.textGeneration;
    m_inputs.docKind = m_doc->kind;
    m_inputs.documentId = path + "#" + QString::number(m_inputs.textGeneration);
    m_inputs.errorLine.reset();
    updateEditor();
    m_inputs.text.reset();
    m_caretLine = m_editor.caret().line;
    m_caretColumn = m_editor.caret().column;
    updateCaretLabel();
    m_pages->setCurrentWidget(m_textView);
    m_textView->setFocus();
    startValidation();
    emit documentLoaded();
}

void DocumentWindow::showMessage(const QString &message)
{
    m_errorMessage = message;
    if (!m_doc) {
        m_placeholder->setText(message);
        m_pages->setCurrentWidget(m_placeholder);
    }
    emit loadFailed(message);
    if (isVisible())
        QMessageBox::warning(this, loc("Error"), message);
}

void DocumentWindow::updateEditor()
{
    m_editor.update(m_inputs);
}

// ---- Editing, checking, saving --------------------------------------------------------------

void DocumentWindow::textEdited()
{
    m_dirty = true;
    setWindowModified(true);
    m_autoSave.start();
    m_validationDelay.start();
}

void DocumentWindow::startValidation()
{
    if (!m_doc)
        return;
    const Documents::DocKind kind = m_doc->kind;
    if (kind != Documents::DocKind::Json && kind != Documents::DocKind::Ndjson && kind != Documents::DocKind::Xml)
        return;
    // The text is captured when the delay ends, not at every keystroke.
    const quint64 generation = ++m_validationGeneration;
    m_validationWatcher.setFuture(QtConcurrent::run([text = m_editor.text(), kind, generation, source = xmlSource(*m_doc)] {
        const Formatting::Validation result = kind == Documents::DocKind::Xml
                                                  ? Formatting::XMLValidator::validate(text, source)
                                              : kind == Documents::DocKind::Ndjson
                                                  ? Formatting::JSONFormatter::validateNDJSON(text)
                                                  : Formatting::JSONFormatter::validate(text);
        ValidationResult published;
        published.label = QString::fromStdString(result.label());
        if (const auto line = result.errorLine())
            published.errorLine = *line;
        if (const auto *error = result.error())
            published.label += " — " + QString::fromStdString(error->message);
        published.generation = generation;
        return published;
    }));
}

void DocumentWindow::applyValidation()
{
    const ValidationResult result = m_validationWatcher.result();
    if (result.generation != m_validationGeneration)
        return; // A newer check is on its way.
    m_validation->setText(result.label);
    m_inputs.errorLine = result.errorLine;
    updateEditor();
    emit validated();
}

bool DocumentWindow::saveIfDirty()
{
    m_autoSave.stop();
    if (!m_doc || (!m_dirty && !m_lastSaveFailed))
        return true;
    // Someone else changed the file since it was read: ask instead of overwriting.
    const auto disk = Documents::modificationTime(m_doc->path);
    if (disk && m_doc->mtime && disk->toSeconds() > m_doc->mtime->toSeconds() + 0.5) {
        const auto answer = QMessageBox::question(
            this, loc("File changed on disk"), loc("The file was modified outside the app."),
            QMessageBox::Save | QMessageBox::Cancel, QMessageBox::Cancel);
        if (answer != QMessageBox::Save)
            return false;
    }
    const std::u16string text = m_editor.text();
    if (const auto error = Documents::saveText(m_doc->path, text, m_doc->encoding, m_doc->lineEnding, m_doc->hadBOM)) {
        m_lastSaveFailed = true;
        showMessage(loc(*error));
        return false;
    }
    m_dirty = false;
    m_lastSaveFailed = false;
    m_doc->mtime = Documents::modificationTime(m_doc->path);
    setWindowModified(false);
    return true;
}

void DocumentWindow::closeEvent(QCloseEvent *event)
{
    if (!saveIfDirty()) {
        const auto answer = QMessageBox::warning(this, loc("Error"), loc("The text could not be saved. Close anyway?"),
                                                 QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Cancel);
        if (answer != QMessageBox::Discard) {
            event->ignore();
            return;
        }
    }
    event->accept();
}

// ---- Status and sheets --------------------------------------------------------------------

void DocumentWindow::updateCaretLabel()
{
    m_caret->setText(loc(Base::Message{"Ln %lld, Col %lld", {std::int64_t(m_caretLine), std::int64_t(m_caretColumn)}}));
}

void DocumentWindow::showGoToLine()
{
    if (!m_doc)
        return;
    const auto &storage = m_textView->textContentManager();
    const qint64 lines = storage.length() == 0 ? 0 : qint64(storage.lineCount());
    auto *sheet = new Editor::GoToLineSheet(lines, this);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    connect(sheet, &Editor::GoToLineSheet::submitted, this, [this](qint64 line) {
        m_inputs.goToLine = line;
        updateEditor();
    });
    sheet->open();
}

QStringList DocumentWindow::statusTexts() const
{
    return {m_kind->text(), m_encoding->text(), m_lineEnding->text(), m_validation->text(), m_caret->text()};
}

} // namespace App
