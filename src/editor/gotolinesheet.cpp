#include "gotolinesheet.h"

#include "editor/gotoline.h"

#include "base/localization.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace Editor {

namespace {

QFont fontOfSize(const QFont &base, int points, QFont::Weight weight = QFont::Normal)
{
    QFont font = base;
    font.setPointSize(points);
    font.setWeight(weight);
    return font;
}

} // namespace

GoToLineSheet::GoToLineSheet(qint64 maxLine, QWidget *parent) : QDialog(parent), m_maxLine(maxLine)
{
    setWindowTitle(loc("Go to Line…"));
    setWindowModality(Qt::WindowModal);

    auto *title = new QLabel(loc("Go to Line…"), this);
    title->setFont(fontOfSize(font(), 13, QFont::DemiBold));
    auto *subtitle = new QLabel(loc(Base::Message{"%d lines", {std::int64_t(maxLine)}}), this);
    subtitle->setFont(fontOfSize(font(), 11));

    m_field = new QLineEdit(this);
    m_field->setPlaceholderText(loc("Line number"));
    m_field->setFixedWidth(220);
    m_field->setClearButtonEnabled(false);

    m_error = new QLabel(this);
    m_error->setFont(fontOfSize(font(), 11));
    m_error->setStyleSheet("color: #d70015;");
    m_error->hide();

    auto *buttons = new QDialogButtonBox(this);
    QPushButton *cancel = buttons->addButton(loc("Cancel"), QDialogButtonBox::RejectRole);
    QPushButton *go = buttons->addButton(loc("Go"), QDialogButtonBox::AcceptRole);
    go->setDefault(true);
    cancel->setAutoDefault(false);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->addWidget(title);
    layout->addWidget(subtitle);
    layout->addWidget(m_field);
    layout->addWidget(m_error);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_field, &QLineEdit::textChanged, this, [this] { m_error->hide(), m_error->clear(); });
    connect(m_field, &QLineEdit::returnPressed, this, &GoToLineSheet::submit);
    connect(go, &QPushButton::clicked, this, &GoToLineSheet::submit);
    // Escape arrives as reject().
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(this, &QDialog::rejected, this, &GoToLineSheet::cancelled);
    m_field->setFocus();
}

QString GoToLineSheet::text() const
{
    return m_field->text();
}

void GoToLineSheet::setText(const QString &text)
{
    m_field->setText(text);
}

QString GoToLineSheet::errorText() const
{
    return m_error->text();
}

void GoToLineSheet::submit()
{
    const LineRequest request = parseLineRequest(m_field->text().toStdU16String(), m_maxLine);
    if (const auto *line = std::get_if<std::int64_t>(&request)) {
        emit submitted(*line);
        accept();
        return;
    }
    m_error->setText(loc(Base::Message{"Line out of range (1–%d)", {std::get<OutOfRange>(request).upper}}));
    m_error->show();
}

} // namespace Editor
