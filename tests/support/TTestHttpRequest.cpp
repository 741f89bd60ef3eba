#include "support/TTestHttpRequest.h"

namespace testsupport {

QByteArray TTestHttpRequest::path() const
{
    const int queryStart = target.indexOf('?');
    return queryStart < 0 ? target : target.left(queryStart);
}

QByteArray TTestHttpRequest::query() const
{
    const int queryStart = target.indexOf('?');
    return queryStart < 0 ? QByteArray() : target.mid(queryStart + 1);
}

QByteArray TTestHttpRequest::header(const QByteArray& name) const
{
    for (const auto& field : headers) {
        if (field.first.compare(name, Qt::CaseInsensitive) == 0) {
            return field.second;
        }
    }
    return {};
}

bool TTestHttpRequest::hasHeader(const QByteArray& name) const
{
    for (const auto& field : headers) {
        if (field.first.compare(name, Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

} // namespace testsupport
