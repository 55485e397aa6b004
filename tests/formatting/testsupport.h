#pragma once

#include "formatting/validation.h"

#include "base/largebuffer.h"

#include <QFile>
#include <QString>

#include <string>
#include <string_view>

// Helpers shared by the formatting tests.
namespace TestSupport {

inline std::u16string u16(const QString &text)
{
    return text.toStdU16String();
}

inline QString qs(std::u16string_view text)
{
    // Not fromUtf16: it would drop a leading byte-order mark.
    return QString(reinterpret_cast<const QChar *>(text.data()), qsizetype(text.size()));
}

inline QString qs(const Base::U16Buffer &buffer)
{
    return qs(buffer.view());
}

// A one-line dump that QCOMPARE can show: "empty", "valid" or
// "invalid: <message> @ <label>".
inline QString dump(const Formatting::Validation &validation)
{
    switch (validation.state()) {
    case Formatting::Validation::State::Empty:
        return QStringLiteral("empty");
    case Formatting::Validation::State::Valid:
        return QStringLiteral("valid");
    case Formatting::Validation::State::Invalid:
        break;
    }
    const auto *error = validation.error();
    return QStringLiteral("invalid: %1 @ %2")
        .arg(QString::fromStdString(error->message), QString::fromStdString(error->label()));
}

inline QString fixturePath(const QString &relative)
{
    return QStringLiteral(CORVANE_FIXTURES "/") + relative;
}

inline QString readFixture(const QString &relative)
{
    QFile file(fixturePath(relative));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("<missing fixture %1>").arg(relative);
    return QString::fromUtf8(file.readAll());
}

} // namespace TestSupport
