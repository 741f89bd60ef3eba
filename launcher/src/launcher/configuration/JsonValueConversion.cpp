#include "JsonValueConversion.h"

#include <QJsonValue>

#include <cmath>
#include <limits>

namespace orvan::launcher {

namespace jsonvalue {

namespace {

constexpr double TwoToThe64 = 18446744073709551616.0;
constexpr double TwoToThe63 = 9223372036854775808.0;

bool isHexDigit(char Character)
{
    return (Character >= '0' && Character <= '9') || (Character >= 'a' && Character <= 'f') ||
           (Character >= 'A' && Character <= 'F');
}

} // namespace

quint64 toUnsigned64(const QJsonValue& Value)
{
    if (Value.isDouble()) {
        // Casting a double outside the target range is undefined, so the range is checked first.
        const double number = std::trunc(Value.toDouble());
        if (!std::isfinite(number) || number < 0.0 || number >= TwoToThe64) {
            return 0;
        }
        return static_cast<quint64>(number);
    }
    if (Value.isString()) {
        bool ok = false;
        const quint64 number = Value.toString().trimmed().toULongLong(&ok, 10);
        return ok ? number : 0;
    }
    return 0;
}

qint32 toInt32(const QJsonValue& Value, qint32 Fallback)
{
    if (!Value.isDouble()) {
        return Fallback;
    }
    const double number = Value.toDouble();
    if (!std::isfinite(number) || number != std::trunc(number) ||
        number < static_cast<double>(std::numeric_limits<qint32>::min()) ||
        number > static_cast<double>(std::numeric_limits<qint32>::max())) {
        return Fallback;
    }
    return static_cast<qint32>(number);
}

QByteArray hexToBytes(const QJsonValue& Value)
{
    if (!Value.isString()) {
        return {};
    }
    const QByteArray text = Value.toString().toLatin1();
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

QString toIntegerText(const QJsonValue& Value)
{
    if (Value.isDouble()) {
        const double number = std::trunc(Value.toDouble());
        if (std::isfinite(number) && number >= -TwoToThe63 && number < TwoToThe63) {
            return QString::number(static_cast<qint64>(number));
        }
        return QString::number(number, 'f', 0);
    }
    return Value.toVariant().toString();
}

bool toBool(const QJsonValue& Value, bool Fallback)
{
    return Value.isBool() ? Value.toBool() : Fallback;
}

QUrl toResolvedUrl(const QJsonValue& Value, const QUrl& BaseUrl)
{
    const QString text = Value.toString();
    return text.isEmpty() ? QUrl() : resolveConfigurationUrl(BaseUrl, text);
}

} // namespace jsonvalue

QUrl resolveConfigurationUrl(const QUrl& BaseUrl, const QString& Text)
{
    const QUrl relative(Text, QUrl::TolerantMode);
    if (!relative.isRelative()) {
        return relative;
    }
    const QString basePath = BaseUrl.path(QUrl::FullyDecoded);
    const QString relativePath = relative.path(QUrl::FullyDecoded);
    QString path = basePath;
    if (!relativePath.isEmpty()) {
        // A leading "/" of the relative path is kept after the base path, never taken as the root.
        const bool needsSeparator = !basePath.endsWith(QLatin1Char('/')) && !relativePath.startsWith(QLatin1Char('/'));
        if (needsSeparator) {
            path += QLatin1Char('/');
        }
        path += relativePath;
    }
    QUrl resolved = BaseUrl;
    resolved.setPath(path, QUrl::DecodedMode);
    resolved.setQuery(QString());
    return resolved;
}

} // namespace orvan::launcher
