#include "TJsonObjectOutline.h"

#include <algorithm>

namespace orvan::launcher {

namespace {

/// Below the toolkit parser's nesting limit even after the outline's arrays are cut off.
constexpr int MaximumDepth = 512;

bool isWhitespace(char character)
{
    return character == ' ' || character == '\t' || character == '\n' || character == '\r';
}

bool endsScalar(char character)
{
    return isWhitespace(character) || character == ',' || character == ']' || character == '}';
}

} // namespace

bool TJsonObjectOutline::read(const QByteArray& text, const std::vector<QLatin1String>& arrayKeys)
{
    m_text = text;
    m_arrays.clear();
    int position = skipWhitespace(0);
    if (position >= m_text.size() || m_text.at(position) != '{')
        return false;
    position = skipWhitespace(position + 1);
    if (position < m_text.size() && m_text.at(position) == '}')
        return skipWhitespace(position + 1) == m_text.size();
    while (position < m_text.size()) {
        bool escaped = false;
        const int keyEnd = m_text.at(position) == '"' ? skipString(position, escaped) : -1;
        if (keyEnd < 0 || escaped)
            return false;
        const QByteArray key = m_text.mid(position + 1, keyEnd - position - 2);
        position = skipWhitespace(keyEnd);
        if (position >= m_text.size() || m_text.at(position) != ':')
            return false;
        position = skipWhitespace(position + 1);
        const auto chosen = std::find(arrayKeys.begin(), arrayKeys.end(), QLatin1String(key));
        if (chosen == arrayKeys.end())
            position = skipValue(position);
        else if (position < m_text.size() && m_text.at(position) == '[')
            position = readArray(position, *chosen);
        else
            return false; // a chosen key whose value is no array, perhaps beside one that is
        if (position < 0)
            return false;
        position = skipWhitespace(position);
        if (position >= m_text.size())
            return false;
        if (m_text.at(position) == '}')
            return skipWhitespace(position + 1) == m_text.size();
        if (m_text.at(position) != ',')
            return false;
        position = skipWhitespace(position + 1);
    }
    return false;
}

int TJsonObjectOutline::readArray(int position, QLatin1String key)
{
    // The meaning of a repeated key is the parser's business: such a text is parsed whole.
    for (const TArray& array : m_arrays) {
        if (array.key == key)
            return -1;
    }
    TArray array{key, {position, -1}, {}};
    position = skipWhitespace(position + 1);
    if (position < m_text.size() && m_text.at(position) == ']') {
        array.value.end = position + 1;
        m_arrays.push_back(std::move(array));
        return position + 1;
    }
    while (position < m_text.size()) {
        const int end = skipValue(position);
        if (end < 0)
            return -1;
        array.elements.push_back({position, end});
        position = skipWhitespace(end);
        if (position >= m_text.size())
            return -1;
        if (m_text.at(position) == ']') {
            array.value.end = position + 1;
            m_arrays.push_back(std::move(array));
            return position + 1;
        }
        if (m_text.at(position) != ',')
            return -1;
        position = skipWhitespace(position + 1);
    }
    return -1;
}

int TJsonObjectOutline::skipWhitespace(int position) const
{
    while (position < m_text.size() && isWhitespace(m_text.at(position)))
        ++position;
    return position;
}

int TJsonObjectOutline::skipString(int position, bool& escaped) const
{
    for (int index = position + 1; index < m_text.size(); ++index) {
        const char character = m_text.at(index);
        if (character == '\\') {
            escaped = true;
            ++index;
        } else if (character == '"') {
            return index + 1;
        }
    }
    return -1;
}

int TJsonObjectOutline::skipValue(int position) const
{
    if (position >= m_text.size())
        return -1;
    const char first = m_text.at(position);
    bool escaped = false;
    if (first == '"')
        return skipString(position, escaped);
    if (first != '{' && first != '[') {
        int end = position;
        while (end < m_text.size() && !endsScalar(m_text.at(end)))
            ++end;
        return end > position ? end : -1;
    }
    // Brackets are only counted here; whether they pair up is checked by the parser.
    int depth = 0;
    for (int index = position; index < m_text.size(); ++index) {
        const char character = m_text.at(index);
        if (character == '"') {
            index = skipString(index, escaped);
            if (index < 0)
                return -1;
            --index;
        } else if (character == '{' || character == '[') {
            if (++depth > MaximumDepth)
                return -1;
        } else if (character == '}' || character == ']') {
            if (--depth == 0)
                return index + 1;
        }
    }
    return -1;
}

QByteArray TJsonObjectOutline::skeleton() const
{
    QByteArray skeleton;
    int copied = 0;
    for (const TArray& array : m_arrays) {
        skeleton += m_text.mid(copied, array.value.begin - copied);
        skeleton += "[]";
        copied = array.value.end;
    }
    skeleton += m_text.mid(copied);
    return skeleton;
}

QByteArray TJsonObjectOutline::batch(const TArray& array, std::size_t first, std::size_t count) const
{
    const int begin = array.elements[first].begin;
    const int end = array.elements[first + count - 1].end;
    QByteArray text;
    text.reserve(end - begin + 2);
    text += '[';
    text += QByteArray::fromRawData(m_text.constData() + begin, end - begin);
    text += ']';
    return text;
}

} // namespace orvan::launcher
