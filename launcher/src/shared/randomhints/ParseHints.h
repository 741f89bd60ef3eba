#pragma once

#include "THint.h"

#include <QByteArray>

#include <vector>

namespace shared {

/// The hints of a hints document in document order. Hints without rich text are dropped, the
/// rich text of the others gets the link style in front. Never throws: a document that is not
/// valid JSON gives an empty list (and a warning), values of the wrong type their defaults.
std::vector<THint> parseHints(const QByteArray& data);

} // namespace shared
