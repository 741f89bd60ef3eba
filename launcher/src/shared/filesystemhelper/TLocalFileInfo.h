#pragma once

#include <QString>
#include <QtGlobal>

#include <utility>

namespace shared {

/// One entry of a directory listing: the absolute path of a file and its size in bytes.
class TLocalFileInfo
{
public:
    TLocalFileInfo() = default;
    TLocalFileInfo(QString filePath, qint64 size) : filePath(std::move(filePath)), size(size) {}
    TLocalFileInfo(const TLocalFileInfo&) = default;
    TLocalFileInfo(TLocalFileInfo&&) noexcept = default;
    TLocalFileInfo& operator=(const TLocalFileInfo&) = default;
    TLocalFileInfo& operator=(TLocalFileInfo&&) noexcept = default;
    virtual ~TLocalFileInfo() = default;

    QString filePath;
    qint64 size = 0;
};

} // namespace shared
