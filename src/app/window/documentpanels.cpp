#include "documentpanels.h"

#include "documentsession.h"

#include "base/localization.h"
#include "base/nativepath.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>

namespace App {

namespace {

QString fromView(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

QString openFilter()
{
    QStringList patterns;
    for (std::string_view extension : Documents::openableExtensions)
        patterns << QStringLiteral("*.") + fromView(extension);
    return loc("Text documents") + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QStringLiteral(");;")
           + loc("All files") + QStringLiteral(" (*)");
}

QString saveFilterFor(const std::optional<Documents::LoadedDoc> &doc)
{
    const QString all = loc("All files") + QStringLiteral(" (*)");
    if (!doc)
        return loc("Plain text") + QStringLiteral(" (*.txt);;") + all;
    const QString extension = QFileInfo(Base::pathFromNative(doc->path)).suffix();
    if (extension.isEmpty())
        return all;
    return fromView(doc->kind.label()) + QStringLiteral(" (*.") + extension + QStringLiteral(");;") + all;
}

} // namespace

DocumentPanels::DocumentPanels(QWidget *host) : QObject(host), m_host(host) {}

QString DocumentPanels::defaultSaveDirectory()
{
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (!desktop.isEmpty() && QFileInfo(desktop).isDir())
        return desktop;
    return QString();
}

QFileDialog *DocumentPanels::make(const QString &title, bool saving, const QString &filter)
{
    auto *panel = new QFileDialog(m_host, title);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setAcceptMode(saving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    panel->setFileMode(QFileDialog::AnyFile);
    panel->setNameFilter(filter);
    if (const QString folder = saving ? defaultSaveDirectory() : QString(); !folder.isEmpty())
        panel->setDirectory(folder);
    m_panel = panel;
    return panel;
}

QFileDialog *DocumentPanels::showOpen(const std::optional<Documents::LoadedDoc> &doc, const QString &lastOpenPath)
{
    if (m_panel)
        return nullptr;
    QFileDialog *panel = make(loc("Open"), false, openFilter());
    panel->setFileMode(QFileDialog::ExistingFiles);
    // Where the document (or the last one opened) lives.
    QString folder = doc ? QFileInfo(Base::pathFromNative(doc->path)).absolutePath() : QString();
    if (folder.isEmpty() && !lastOpenPath.isEmpty())
        folder = QFileInfo(lastOpenPath).absolutePath();
    if (!folder.isEmpty())
        panel->setDirectory(folder);
    connect(panel, &QFileDialog::filesSelected, this, &DocumentPanels::openChosen);
    panel->open();
    return panel;
}

QFileDialog *DocumentPanels::showSaveAs(const std::optional<Documents::LoadedDoc> &doc, Documents::TextDoc document)
{
    if (m_panel)
        return nullptr;
    if (doc) {
        document.encoding = doc->encoding;
        document.lineEnding = doc->lineEnding;
        document.includeBOM = doc->hadBOM;
    }
    QFileDialog *panel = make(loc("Save"), true, saveFilterFor(doc));
    panel->selectFile(doc ? QFileInfo(Base::pathFromNative(doc->path)).fileName() : QStringLiteral("Untitled.txt"));
    connect(panel, &QFileDialog::fileSelected, this,
            [this, document = std::move(document)](const QString &path) { write(path, document, Purpose::SaveAs); });
    panel->open();
    return panel;
}

QFileDialog *DocumentPanels::showNewFile()
{
    if (m_panel)
        return nullptr;
    QFileDialog *panel = make(loc("New File"), true, saveFilterFor(std::nullopt));
    panel->selectFile(QStringLiteral("Untitled.txt"));
    connect(panel, &QFileDialog::fileSelected, this,
            [this](const QString &path) { write(path, Documents::TextDoc{}, Purpose::NewFile); });
    panel->open();
    return panel;
}

void DocumentPanels::write(const QString &path, const Documents::TextDoc &document, Purpose purpose)
{
    const std::string native = Base::nativeFromPath(QFileInfo(path).absoluteFilePath());
    if (const auto error = DocumentSession::writeCopy(native, document)) {
        emit writeFailed(loc(Base::Message{"Save failed: %@",
                                           {std::make_shared<const Base::Message>(Base::Message{*error, {}})}}));
        return;
    }
    emit written(path, purpose);
}

} // namespace App
