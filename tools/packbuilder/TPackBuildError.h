#pragma once

#include <QString>

#include <stdexcept>

namespace packbuilder {

/// A build that can't go on: bad options, an unreadable source file, a failed write.
class TPackBuildError : public std::runtime_error
{
public:
    explicit TPackBuildError(const QString& message);
};

} // namespace packbuilder
