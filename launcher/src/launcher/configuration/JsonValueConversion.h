#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QUrl>

namespace orvan::launcher {

/// Conversions of untrusted JSON values into the record fields of the configuration readers.
/// None of them throws; a value of the wrong type or out of range gives the documented default.
namespace jsonvalue {

/// A byte count from a JSON number or a decimal string; negative, fractional parts dropped,
/// non-finite, too large or anything else gives 0.
quint64 toUnsigned64(const QJsonValue& value);

/// A whole JSON number that fits a signed 32-bit integer; anything else gives Fallback.
qint32 toInt32(const QJsonValue& value, qint32 fallback);

/// Raw bytes of a hexadecimal string of either letter case. Text with an odd number of digits
/// or any non-hexadecimal character is not a hash and gives empty bytes.
QByteArray hexToBytes(const QJsonValue& value);

/// A JSON number as the decimal text of its integer value; other values through string conversion.
QString toIntegerText(const QJsonValue& value);

/// A JSON bool, or Fallback when the value is missing or of another type.
bool toBool(const QJsonValue& value, bool fallback);

/// A "url" text resolved against baseUrl (see resolveConfigurationUrl); an empty or missing text
/// gives an empty URL, an object that can't be downloaded by itself.
QUrl toResolvedUrl(const QJsonValue& value, const QUrl& baseUrl);

/// Appends Record::fromJson(element, baseUrl) for every element of a JSON array, in order; an
/// element that is not an object is read as an empty one, so positions are kept. A value that
/// is not an array appends nothing.
template <typename Record, typename Container>
void appendRecords(const QJsonValue& value, const QUrl& baseUrl, Container& records)
{
    if (!value.isArray()) {
        return;
    }
    const QJsonArray array = value.toArray();
    records.reserve(records.size() + static_cast<std::size_t>(array.size()));
    for (const QJsonValue& element : array) {
        records.push_back(Record::fromJson(element.toObject(), baseUrl));
    }
}

} // namespace jsonvalue

/// Resolves a URL text of a configuration document against the document's base URL. An absolute
/// URL stands as written; a relative one has its path appended to the base path (one "/" between
/// them unless either side already has it), loses its own query and fragment, and the result's
/// query is cleared. An empty relative path gives the base itself without its query.
QUrl resolveConfigurationUrl(const QUrl& baseUrl, const QString& text);

} // namespace orvan::launcher
