#include "documentwindow.h"

#include "base/localization.h"

#include <QAbstractListModel>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLabel>
#include <QListView>
#include <QMessageBox>
#include <QStackedWidget>
#include <QStatusBar>
#include <QtConcurrent>

#include <vector>

namespace App {

// One row per line over the loaded UTF-16 text; the list view asks only for visible rows.
class LineListModel : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    void setText(Base::U16Buffer text)
    {
        beginResetModel();
        m_text = std::move(text);
        m_lineStarts.assign(1, 0);
        const char16_t *data = m_text.data();
        for (std::size_t i = 0; i < m_text.size(); ++i)
            if (data[i] == u'\n')
                m_lineStarts.push_back(i + 1);
        endResetModel();
    }

    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : int(m_lineStarts.size());
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role != Qt::DisplayRole || !index.isValid())
            return {};
        const std::size_t row = std::size_t(index.row());
        const std::size_t start = m_lineStarts[row];
        std::size_t end = row + 1 < m_lineStarts.size() ? m_lineStarts[row + 1] - 1 : m_text.size();
        // Very long lines (minified files) are cut for display: this window only previews.
        end = std::min(end, start + 10'000);
        return QString::fromUtf16(m_text.data() + start, qsizetype(end - start));
    }

private:
    Base::U16Buffer m_text;
    std::vector<std::size_t> m_lineStarts{0};
};

DocumentWindow::DocumentWindow(QWidget *parent) : QMainWindow(parent)
{
    m_pages = new QStackedWidget(this);
    m_placeholder = new QLabel(loc("Open a file: corvane FILE"), m_pages);
    m_placeholder->setAlignment(Qt::AlignCenter);
    m_placeholder->setWordWrap(true);
    m_model = new LineListModel(this);
    m_lines = new QListView(m_pages);
    m_lines->setModel(m_model);
    m_lines->setUniformItemSizes(true);
    m_lines->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_lines->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_pages->addWidget(m_placeholder);
    m_pages->addWidget(m_lines);
    setCentralWidget(m_pages);

    m_kind = new QLabel(this);
    m_encoding = new QLabel(this);
    m_lineEnding = new QLabel(this);
    for (QLabel *label : {m_kind, m_encoding, m_lineEnding}) {
        label->setContentsMargins(8, 0, 8, 0);
        statusBar()->addPermanentWidget(label);
    }
    setWindowTitle("Corvane");
    resize(900, 640);

    connect(&m_watcher, &QFutureWatcher<std::shared_ptr<Outcome>>::finished, this, &DocumentWindow::applyOutcome);
}

DocumentWindow::~DocumentWindow()
{
    m_watcher.waitForFinished();
}

void DocumentWindow::loadFile(const QString &path)
{
    const std::string localPath = QFileInfo(path).absoluteFilePath().toStdString();
    const auto checked = Documents::checkBeforeLoad(localPath);
    if (const auto *error = std::get_if<Base::Message>(&checked)) {
        showMessage(loc(*error));
        return;
    }
    m_watcher.setFuture(QtConcurrent::run([localPath] {
        return std::make_shared<Outcome>(Documents::loadDocument(localPath));
    }));
}

void DocumentWindow::applyOutcome()
{
    const auto outcome = m_watcher.result();
    if (const auto *error = std::get_if<Base::Message>(outcome.get())) {
        showMessage(loc(*error));
        return;
    }
    auto &loaded = std::get<Documents::LoadResult>(*outcome);
    m_kind->setText(QString::fromUtf8(loaded.doc.kind.label().data(), qsizetype(loaded.doc.kind.label().size())));
    m_encoding->setText(QString::fromUtf8(Documents::displayName(loaded.doc.encoding).data()));
    m_lineEnding->setText(QString::fromUtf8(Documents::label(loaded.doc.lineEnding).data()));
    const QString path = QString::fromStdString(loaded.doc.path);
    setWindowTitle(QFileInfo(path).fileName() + " — Corvane");
    setWindowFilePath(path);
    m_model->setText(std::move(loaded.text));
    m_pages->setCurrentWidget(m_lines);
    emit documentLoaded();
}

void DocumentWindow::showMessage(const QString &message)
{
    m_errorMessage = message;
    m_placeholder->setText(message);
    m_pages->setCurrentWidget(m_placeholder);
    emit loadFailed(message);
    if (isVisible())
        QMessageBox::warning(this, loc("Error"), message);
}

QStringList DocumentWindow::statusTexts() const
{
    return {m_kind->text(), m_encoding->text(), m_lineEnding->text()};
}

} // namespace App
