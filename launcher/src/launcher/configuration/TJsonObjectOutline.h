#pragma once

#include <QByteArray>
#include <QLatin1String>

#include <vector>

namespace orvan::launcher {

/// The outline of a JSON text whose top level is an object: where the values of chosen keys,
/// when they are arrays, and each of their elements lie in the text. It lets a large document be
/// parsed in small parts: the text without those arrays (skeleton()) and batches of their
/// elements (batch()). The outline checks the structure between the parts (the object's braces,
/// keys and separators, the brackets and commas of the arrays); the toolkit's parser checks
/// every part, so the parts are all valid exactly when the whole text is. A text that the
/// outline does not take (not an object, a byte-order mark, escapes in keys, a chosen key twice,
/// deep nesting, anything malformed between the parts) must be parsed whole.
class TJsonObjectOutline
{
public:
    struct TRange
    {
        int begin = 0;
        int end = 0;
    };

    /// One chosen key whose value is an array.
    struct TArray
    {
        QLatin1String key;
        /// The array's brackets included.
        TRange value;
        std::vector<TRange> elements;
    };

    /// Outlines Text, taking the arrays of ArrayKeys apart; false when the text must be parsed whole.
    bool read(const QByteArray& text, const std::vector<QLatin1String>& arrayKeys);

    /// The arrays found, in text order.
    const std::vector<TArray>& arrays() const { return m_arrays; }
    /// The text with every array found replaced by an empty one.
    QByteArray skeleton() const;
    /// The elements First to First + Count - 1 of Array as a JSON array text.
    QByteArray batch(const TArray& array, std::size_t first, std::size_t count) const;

private:
    int skipWhitespace(int position) const;
    /// The position after the string that starts at Position, or -1; Escaped tells whether it
    /// holds a backslash.
    int skipString(int position, bool& escaped) const;
    /// The position after the value that starts at Position, or -1.
    int skipValue(int position) const;
    /// Reads the array value of Key at Position; the position after it, or -1.
    int readArray(int position, QLatin1String key);

    QByteArray m_text;
    std::vector<TArray> m_arrays;
};

} // namespace orvan::launcher
