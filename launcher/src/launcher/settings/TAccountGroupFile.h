#pragma once

#include <QJsonObject>
#include <QString>

namespace orvan::launcher {

/// Reads the per-user account group file ("Key" member) and reports problems as warnings only.
class TAccountGroupFile
{
public:
    /// The working object: the file's JSON object, or a stand-in object when it is missing,
    /// unreadable or broken (each case logged as the launcher always has).
    static QJsonObject readObject(const QString& path, bool fileExists);
    /// The account group key from the object; an empty string and one warning when it has none.
    static QString keyFromObject(const QJsonObject& object);
    static QString readKey(const QString& path, bool fileExists) { return keyFromObject(readObject(path, fileExists)); }
};

} // namespace orvan::launcher
