#include "JsonValueConversion.h"

#include <QJsonValue>

#include <cmath>
#include <limits>

namespace orvan::launcher {

namespace jsonvalue {

namespace {

constexpr double TwoToThe64 = 18446744073709551616.0;
constexpr double TwoToThe63 = 9223372036854775808.0;

bool isHexDigit(char character)
{
    return (character >= '0' && character <= '9') || (character >= 'a' && character <= 'f') ||
           (character >= 'A' && character <= 'F');
}

} // namespace

quint64 toUnsigned64(const QJsonValue& value)
{
    if (value.isDouble()) {
        // Casting a double outside the target range is undefined, so the range is checked first.
        const double number = std::trunc(value.toDouble());
        if (!std::isfinite(number) || number < 0.0 || number >= TwoToThe64) {
            return 0;
        }
        return static_cast<quint64>(number);
    }
    if (value.isString()) {
        bool ok = false;
        const quint64 number = value.toString().trimmed().toULongLong(&ok, 10);
        return ok ? number : 0;
    }
    return 0;
}

qint32 toInt32(const QJsonValue& value, qint32 fallback)
{
    if (!value.isDouble()) {
        return fallback;
    }
    const double number = value.toDouble();
    if (!std::isfinite(number) || number != std::trunc(number) ||
        number < static_cast<double>(std::numeric_limits<qint32>::min()) ||
        number > static_cast<double>(std::numeric_limits<qint32>::max())) {
        return fallback;
    }
    return static_cast<qint32>(number);
}

QByteArray hexToBytes(const QJsonValue& value)
{
    if (!value.isString()) {
        return {};
    }
    const QByteArray text = value.toString().toLatin1();
    if (text.size() % 2 != 0) {
        return {};
    }
    for (const char character : text) {
        if (!isHexDigit(character)) {
            return {};
        }
    }
    return QByteArray::fromHex(text);
}

QString toIntegerText(const QJsonValue& value)
{
    if (value.isDouble()) {
        const double number = std::trunc(value.toDouble());
        if (std::isfinite(number) && number >= -TwoToThe63 && number < TwoToThe63) {
            return QString::number(static_cast<qint64>(number));
        }
        return QString::number(number, 'f', 0);
    }
    return value.toVariant().toString();
}

bool toBool(const QJsonValue& value, bool fallback)
{
    return value.isBool() ? value.toBool() : fallback;
}

QUrl toResolvedUrl(const QJsonValue& value, const QUrl& baseUrl)
{
    const QString text = value.toString();
    return text.isEmpty() ? QUrl() : resolveConfigurationUrl(baseUrl, text);
}

} // namespace jsonvalue

QUrl resolveConfigurationUrl(const QUrl& baseUrl, const QString& text)
{
    const QUrl relative(text, QUrl::TolerantMode);
    if (!relative.isRelative()) {
        return relative;
    }
    const QString basePath = baseUrl.path(QUrl::FullyDecoded);
    const QString relativePath = relative.path(QUrl::FullyDecoded);
    QString path = basePath;
    if (!relativePath.isEmpty()) {
        // A leading "/" of the relative path is kept after the base path, never taken as the root.
        const bool needsSeparator = !basePath.endsWith(QLatin1Char('/')) && !relativePath.startsWith(QLatin1Char('/'));
        // Sized exactly: every chunk keeps this text for as long as its configuration lives.
        path = QString();
        path.reserve(basePath.size() + (needsSeparator ? 1 : 0) + relativePath.size());
        path += basePath;
        if (needsSeparator) {
            path += QLatin1Char('/');
        }
        path += relativePath;
    }
    QUrl resolved = baseUrl;
    resolved.setPath(path, QUrl::DecodedMode);
    resolved.setQuery(QString());
    return resolved;
}

} // namespace orvan::launcher
