#pragma once

#include <QByteArray>
#include <QString>

/// The bytes of a file below tests/data/ of the source tree; aborts the test run when missing.
QByteArray readTestData(const QString& RelativePath);
