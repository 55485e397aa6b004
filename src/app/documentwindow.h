#pragma once

#include "documents/document.h"

#include <QFutureWatcher>
#include <QMainWindow>

#include <variant>

class QLabel;
class QListView;
class QStackedWidget;

namespace App {

class LineListModel;

// A read-only window showing one file with its kind, encoding and line ending. The file is
// decoded on a background thread; failures are shown as a message, never as a crash.
class DocumentWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit DocumentWindow(QWidget *parent = nullptr);
    ~DocumentWindow() override;

    void loadFile(const QString &path);

    // Status-bar texts, for tests: kind, encoding, line ending.
    QStringList statusTexts() const;
    QString errorMessage() const { return m_errorMessage; }
    bool isLoading() const { return m_watcher.isRunning(); }

signals:
    void documentLoaded();
    void loadFailed(const QString &message);

private:
    using Outcome = std::variant<Documents::LoadResult, Base::Message>;
    void applyOutcome();
    void showMessage(const QString &message);

    QFutureWatcher<std::shared_ptr<Outcome>> m_watcher;
    QStackedWidget *m_pages = nullptr;
    QLabel *m_placeholder = nullptr;
    QListView *m_lines = nullptr;
    LineListModel *m_model = nullptr;
    QLabel *m_kind = nullptr;
    QLabel *m_encoding = nullptr;
    QLabel *m_lineEnding = nullptr;
    QString m_errorMessage;
};

} // namespace App
