#include "TZpaqPredictor.h"

#include "TZpaqArithmeticDecoder.h"
#include "TZpaqFormatError.h"
#include "TZpaqLimits.h"
#include "TZpaqLogistic.h"
#include "TZpaqMemoryBudget.h"
#include "TZpaqStateTable.h"

#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace shared {

namespace {

constexpr std::size_t kDescriptionSizes[10] = {0, 2, 3, 2, 3, 4, 6, 6, 3, 5};

// Adaptation step of a counter that has seen n updates: about 1 / (n + 1.5), scaled by 2^17.
const std::uint32_t* reciprocalTable()
{
    struct Table
    {
        std::uint32_t values[1024];
        Table()
        {
            for (std::uint32_t i = 0; i < 1024; ++i)
                values[i] = (std::uint32_t(1) << 17) / (i * 2 + 3) * 2;
        }
    };
    static const Table table;
    return table.values;
}

int clampStretched(int x)
{
    return x < -2048 ? -2048 : (x > 2047 ? 2047 : x);
}

int clampWeight(int x)
{
    return x < -(1 << 19) ? -(1 << 19) : (x > (1 << 19) - 1 ? (1 << 19) - 1 : x);
}

// Dot product of a mixer's weights (scaled down by 8 bits) with its inputs. Both factors fit in
// 16 bits (weights are kept within +-2^19, predictions within +-2^11), so the sum is exact in any
// order; with SSE2 eight products are formed per step.
int mixDotProduct(const std::int32_t* weights, const int* inputs, int count)
{
    int sum = 0;
    int k = 0;
#ifdef __SSE2__
    __m128i acc = _mm_setzero_si128();
    for (; k + 8 <= count; k += 8) {
        const __m128i w0 = _mm_srai_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(weights + k)), 8);
        const __m128i w1 = _mm_srai_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(weights + k + 4)), 8);
        const __m128i x0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(inputs + k));
        const __m128i x1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(inputs + k + 4));
        acc = _mm_add_epi32(acc, _mm_madd_epi16(_mm_packs_epi32(w0, w1), _mm_packs_epi32(x0, x1)));
    }
    acc = _mm_add_epi32(acc, _mm_shuffle_epi32(acc, _MM_SHUFFLE(1, 0, 3, 2)));
    acc = _mm_add_epi32(acc, _mm_shuffle_epi32(acc, _MM_SHUFFLE(2, 3, 0, 1)));
    sum = _mm_cvtsi128_si32(acc);
#endif
    for (; k < count; ++k)
        sum += (weights[k] >> 8) * inputs[k];
    return sum;
}

// weights[k] += (error * inputs[k] + 2^12) >> 13, clamped to +-2^19.
void trainMixer(std::int32_t* weights, const int* inputs, int count, int error)
{
    int k = 0;
#ifdef __SSE2__
    const __m128i errors = _mm_set1_epi32(error);
    const __m128i rounding = _mm_set1_epi32(1 << 12);
    const __m128i high = _mm_set1_epi32((1 << 19) - 1);
    const __m128i low = _mm_set1_epi32(-(1 << 19));
    for (; k + 4 <= count; k += 4) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(inputs + k));
        // Low 32 bits of the four products (the same for signed and unsigned operands).
        const __m128i even = _mm_mul_epu32(x, errors);
        const __m128i odd = _mm_mul_epu32(_mm_srli_epi64(x, 32), _mm_srli_epi64(errors, 32));
        const __m128i product = _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(0, 0, 2, 0)),
                                                   _mm_shuffle_epi32(odd, _MM_SHUFFLE(0, 0, 2, 0)));
        const __m128i step = _mm_srai_epi32(_mm_add_epi32(product, rounding), 13);
        __m128i w = _mm_add_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(weights + k)), step);
        const __m128i above = _mm_cmpgt_epi32(w, high);
        w = _mm_or_si128(_mm_andnot_si128(above, w), _mm_and_si128(above, high));
        const __m128i below = _mm_cmpgt_epi32(low, w);
        w = _mm_or_si128(_mm_andnot_si128(below, w), _mm_and_si128(below, low));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(weights + k), w);
    }
#endif
    for (; k < count; ++k)
        weights[k] = clampWeight(weights[k] + ((error * inputs[k] + (1 << 12)) >> 13));
}

int squashClamped(const std::int16_t* table, int x)
{
    x = x < -2047 ? -2047 : (x > 2047 ? 2047 : x);
    return table[x + 2048];
}

// Moves a 22-bit probability (high bits) towards the bit by 1/count; the low 10 bits count updates.
void trainCounter(std::uint32_t& entry, int bit, std::uint32_t limit, const std::uint32_t* reciprocals)
{
    const std::uint32_t count = entry & 1023;
    const int error = bit * 32767 - static_cast<int>(entry >> 17);
    // Unsigned product: wraps exactly like the two's complement arithmetic the format assumes.
    entry += ((static_cast<std::uint32_t>(error) * reciprocals[count]) & 0xFFFFFC00u) + (count < limit ? 1 : 0);
}

} // namespace

std::size_t TZpaqPredictor::descriptionSize(unsigned type)
{
    return type < 10 ? kDescriptionSizes[type] : 0;
}

TZpaqPredictor::TZpaqPredictor(const unsigned char* components, std::size_t componentCount, const unsigned char* hcomp,
                               std::size_t hcompSize, unsigned hashArrayBits, unsigned memoryArrayBits,
                               const TZpaqLimits& limits, TZpaqMemoryBudget& budget)
    : m_components(componentCount), m_hcomp(hcomp, hcompSize, hashArrayBits, memoryArrayBits, nullptr, limits, budget),
      m_contexts(componentCount, 0), m_previousContexts(componentCount, 0), m_runContextProgram(hcompSize > 0),
      m_stretch(TZpaqLogistic::instance().stretchTable()), m_squash(TZpaqLogistic::instance().squashTable()),
      m_nextState(TZpaqStateTable::instance().nextTable()), m_reciprocals(reciprocalTable())
{
    if (componentCount == 0 || componentCount > 255)
        throw TZpaqFormatError("bad component count");
    const unsigned char* description = components;
    for (std::size_t i = 0; i < componentCount; ++i) {
        addComponent(description, i, budget);
        description += descriptionSize(description[0]);
    }
    predictFirstBit();
}

void TZpaqPredictor::addComponent(const unsigned char* cp, std::size_t index, TZpaqMemoryBudget& budget)
{
    Component& comp = m_components[index];
    const unsigned type = cp[0];
    if (descriptionSize(type) == 0)
        throw TZpaqFormatError("unknown component type");
    comp.type = static_cast<EComponentType>(type);
    // Components may only read the outputs of components before them.
    auto requireEarlier = [index](unsigned input) {
        if (input >= index)
            throw TZpaqFormatError("component input refers forward");
        return static_cast<std::uint8_t>(input);
    };
    auto allocate = [&budget](unsigned bits, std::size_t elementSize, std::size_t multiplier = 1) {
        const std::size_t bytes = TZpaqMemoryBudget::arrayBytes(bits, elementSize);
        if (multiplier != 0 && bytes > SIZE_MAX / multiplier)
            throw TZpaqFormatError("table too large");
        budget.reserve(bytes * multiplier);
        return TZpaqZeroedMemory(bytes * multiplier);
    };
    auto maskFor = [](unsigned bits) { return static_cast<std::uint32_t>((std::uint64_t(1) << bits) - 1); };
    const TZpaqStateTable& states = TZpaqStateTable::instance();

    switch (comp.type) {
    case Const:
        comp.weight = (static_cast<int>(cp[1]) - 128) * 16;
        break;
    case ContextModel: {
        comp.table = allocate(cp[1], sizeof(std::uint32_t));
        comp.tableMask = maskFor(cp[1]);
        comp.limit = cp[2] * 4u;
        auto* t = comp.table.as<std::uint32_t>();
        const std::size_t entries = std::size_t(comp.tableMask) + 1;
        for (std::size_t i = 0; i < entries; ++i)
            t[i] = 0x80000000u; // p = 1/2, no updates yet
        break;
    }
    case IndirectContextModel:
    case IndirectSse: {
        if (cp[1] > 26)
            throw TZpaqFormatError("bit history table too large");
        comp.history = allocate(cp[1] + 6u, 1);
        comp.slotBits = cp[1] + 2u;
        if (comp.type == IndirectContextModel) {
            // Per state: the adaptive probability, then its stretched value kept alongside so the
            // prediction needs one lookup instead of two.
            comp.table = allocate(8, sizeof(std::uint32_t) + sizeof(std::int16_t));
            auto* t = comp.table.as<std::uint32_t>();
            auto* stretched = reinterpret_cast<std::int16_t*>(t + 256);
            for (int s = 0; s < 256; ++s) {
                t[s] = states.initialProbability(s);
                stretched[s] = m_stretch[t[s] >> 8];
            }
        } else {
            comp.input0 = requireEarlier(cp[2]);
            // A weight pair per state: the input passes at 1/2, the bias starts at the state's odds.
            comp.table = allocate(9, sizeof(std::int32_t));
            auto* w = comp.table.as<std::int32_t>();
            for (int s = 0; s < 256; ++s) {
                w[s * 2] = 1 << 15;
                w[s * 2 + 1] = clampWeight(m_stretch[states.initialProbability(s) >> 8] * 1024);
            }
        }
        break;
    }
    case Match:
        comp.table = allocate(cp[1], sizeof(std::uint32_t));
        comp.tableMask = maskFor(cp[1]);
        comp.history = allocate(cp[2], 1);
        comp.bufferMask = maskFor(cp[2]);
        break;
    case Average:
        comp.input0 = requireEarlier(cp[1]);
        comp.input1 = requireEarlier(cp[2]);
        comp.weight = cp[3];
        break;
    case Mix2: {
        comp.input0 = requireEarlier(cp[2]);
        comp.input1 = requireEarlier(cp[3]);
        comp.rate = cp[4];
        comp.bitMask = cp[5];
        comp.table = allocate(cp[1], sizeof(std::uint16_t));
        comp.tableMask = maskFor(cp[1]);
        auto* w = comp.table.as<std::uint16_t>();
        const std::size_t entries = std::size_t(comp.tableMask) + 1;
        for (std::size_t i = 0; i < entries; ++i)
            w[i] = 32768;
        break;
    }
    case Mix: {
        const unsigned inputs = cp[3];
        if (inputs == 0 || cp[2] + inputs > index)
            throw TZpaqFormatError("bad mixer inputs");
        comp.input0 = static_cast<std::uint8_t>(cp[2]);
        comp.inputCount = static_cast<std::uint8_t>(inputs);
        comp.rate = cp[4];
        comp.bitMask = cp[5];
        comp.table = allocate(cp[1], sizeof(std::int32_t), inputs);
        comp.tableMask = maskFor(cp[1]);
        auto* w = comp.table.as<std::int32_t>();
        const std::size_t entries = (std::size_t(comp.tableMask) + 1) * inputs;
        for (std::size_t i = 0; i < entries; ++i)
            w[i] = 65536 / static_cast<int>(inputs);
        break;
    }
    case Sse: {
        comp.input0 = requireEarlier(cp[2]);
        comp.limit = cp[4] * 4u;
        if (cp[1] > 27)
            throw TZpaqFormatError("SSE table too large");
        comp.table = allocate(cp[1] + 5u, sizeof(std::uint32_t));
        comp.tableMask = maskFor(cp[1] + 5u);
        auto* t = comp.table.as<std::uint32_t>();
        const std::size_t entries = std::size_t(comp.tableMask) + 1;
        // 32 interpolation points per context spanning the stretched range, all starting at count "start".
        for (std::size_t i = 0; i < entries; ++i)
            t[i] = std::uint32_t(squashClamped(m_squash, static_cast<int>(i & 31) * 64 - 992)) << 17 | cp[3];
        break;
    }
    }
}

std::uint32_t TZpaqPredictor::findSlot(Component& comp, std::uint32_t context)
{
    std::uint8_t* const slots = comp.history.as<std::uint8_t>();
    const std::uint32_t check = (context >> comp.slotBits) & 255;
    const std::uint32_t first = (context & ((std::uint32_t(1) << comp.slotBits) - 1)) * 16;
    const std::uint32_t candidates[3] = {first, first ^ 16u, first ^ 32u};
    for (std::uint32_t candidate : candidates) {
        if (slots[candidate] == check)
            return candidate;
    }
    // Not found: replace the candidate whose first bit history has seen the least.
    const std::uint8_t p0 = slots[candidates[0] + 1];
    const std::uint8_t p1 = slots[candidates[1] + 1];
    const std::uint8_t p2 = slots[candidates[2] + 1];
    std::uint32_t victim = candidates[2];
    if (p0 <= p1 && p0 <= p2)
        victim = candidates[0];
    else if (p1 < p2)
        victim = candidates[1];
    std::memset(slots + victim, 0, 16);
    slots[victim] = static_cast<std::uint8_t>(check);
    return victim;
}

int TZpaqPredictor::decodeByte(TZpaqArithmeticDecoder& coder)
{
    int byte = 1;
    do {
        const int bit = coder.decodeBit(static_cast<std::uint32_t>(m_probability));
        byte = byte * 2 + bit;
        advance<true>(bit);
    } while (byte < 256);
    return byte - 256;
}

void TZpaqPredictor::predictFirstBit()
{
    advance<false>(0);
}

template <bool Train> void TZpaqPredictor::advance(int bit)
{
    // Training uses the outputs that predicted this bit; the new predictions go to the other row.
    const int* const old = m_predictions[m_current];
    int* const p = m_predictions[m_current ^ 1];
    const std::uint32_t oldNibbleHash = m_nibbleHash;
    if (Train) {
        m_partialByte = m_partialByte * 2 + static_cast<std::uint32_t>(bit);
        if (m_partialByte >= 256) {
            m_contexts.swap(m_previousContexts);
            if (m_runContextProgram)
                m_hcomp.run(m_partialByte - 256);
            for (std::size_t i = 0; i < m_contexts.size(); ++i)
                m_contexts[i] = m_runContextProgram ? m_hcomp.h(i) : 0;
            m_partialByte = 1;
            m_nibbleHash = 1;
        } else if (m_partialByte >= 16 && m_partialByte < 32) {
            m_nibbleHash = (m_nibbleHash & 15) << 5 | static_cast<std::uint32_t>(bit) << 4 | 1;
        } else {
            m_nibbleHash = (m_nibbleHash & 0x1F0) | (((m_nibbleHash & 15) * 2 + static_cast<std::uint32_t>(bit)) & 15);
        }
    }
    const std::uint32_t partial = m_partialByte;
    const std::uint32_t nibbleHash = m_nibbleHash;
    const bool newNibble = partial == 1 || (partial & 0xF0) == 16;
    if (newNibble)
        prefetchTables(partial);
    const int target = bit * 32767;

    const std::size_t count = m_components.size();
    for (std::size_t i = 0; i < count; ++i) {
        Component& comp = m_components[i];
        switch (comp.type) {
        case Const:
            p[i] = comp.weight;
            break;
        case ContextModel: {
            std::uint32_t* t = comp.table.as<std::uint32_t>();
            if (Train)
                trainCounter(t[comp.context], bit, comp.limit, m_reciprocals);
            comp.context = (m_contexts[i] ^ nibbleHash) & comp.tableMask;
            p[i] = m_stretch[t[comp.context] >> 17];
            break;
        }
        case IndirectContextModel: {
            std::uint8_t* slots = comp.history.as<std::uint8_t>();
            std::uint32_t* probabilities = comp.table.as<std::uint32_t>();
            std::int16_t* stretched = reinterpret_cast<std::int16_t*>(probabilities + 256);
            if (Train) {
                slots[comp.slot + (oldNibbleHash & 15)] = m_nextState[comp.context * 2 + bit];
                std::uint32_t& probability = probabilities[comp.context];
                probability += static_cast<std::uint32_t>((target - static_cast<int>(probability >> 8)) >> 2);
                stretched[comp.context] = m_stretch[probability >> 8];
            }
            if (newNibble)
                comp.slot = findSlot(comp, m_contexts[i] + 16 * partial);
            comp.context = slots[comp.slot + (nibbleHash & 15)];
            p[i] = stretched[comp.context];
            break;
        }
        case Match: {
            std::uint8_t* buffer = comp.history.as<std::uint8_t>();
            if (Train) {
                if (comp.predictedBit != bit)
                    comp.matchLength = 0;
                buffer[comp.position] = static_cast<std::uint8_t>(buffer[comp.position] << 1 | bit);
                if (++comp.bitPosition == 8) {
                    comp.bitPosition = 0;
                    comp.position = (comp.position + 1) & comp.bufferMask;
                    // The byte just completed is looked up by the context of the bytes before it.
                    std::uint32_t& last = comp.table.as<std::uint32_t>()[m_previousContexts[i] & comp.tableMask];
                    if (comp.matchLength == 0) {
                        comp.matchOffset = comp.position - last;
                        if ((comp.matchOffset & comp.bufferMask) != 0) {
                            const std::uint32_t mask = comp.bufferMask;
                            while (comp.matchLength < 255 &&
                                   buffer[(comp.position - comp.matchLength - 1) & mask] ==
                                       buffer[(comp.position - comp.matchLength - comp.matchOffset - 1) & mask])
                                ++comp.matchLength;
                        }
                    } else if (comp.matchLength < 255) {
                        ++comp.matchLength;
                    }
                    last = comp.position;
                }
            }
            if (comp.matchLength == 0) {
                p[i] = 0;
            } else {
                const std::uint8_t expected = buffer[(comp.position - comp.matchOffset) & comp.bufferMask];
                comp.predictedBit = (expected >> (7 - comp.bitPosition)) & 1;
                // Longer matches are trusted more: the miss probability is 1 / (16 * length).
                const int miss = 2048 / static_cast<int>(comp.matchLength);
                p[i] = m_stretch[comp.predictedBit != 0 ? 32768 - miss : miss];
            }
            break;
        }
        case Average:
            p[i] = (p[comp.input0] * comp.weight + p[comp.input1] * (256 - comp.weight)) >> 8;
            break;
        case Mix2: {
            std::uint16_t* weights = comp.table.as<std::uint16_t>();
            if (Train) {
                const int error = ((target - squashClamped(m_squash, old[i])) * comp.rate) >> 5;
                std::uint16_t& weight = weights[comp.context];
                const int w = weight + ((error * (old[comp.input0] - old[comp.input1]) + (1 << 12)) >> 13);
                weight = static_cast<std::uint16_t>(w < 0 ? 0 : (w > 65535 ? 65535 : w));
            }
            comp.context = (m_contexts[i] + (partial & comp.bitMask)) & comp.tableMask;
            const int w = weights[comp.context];
            p[i] = (w * p[comp.input0] + (65536 - w) * p[comp.input1]) >> 16;
            break;
        }
        case Mix: {
            const int inputs = comp.inputCount;
            std::int32_t* const table = comp.table.as<std::int32_t>();
            if (Train) {
                const int error = ((target - squashClamped(m_squash, old[i])) * comp.rate) >> 4;
                trainMixer(table + comp.context, old + comp.input0, inputs, error);
            }
            comp.context = ((m_contexts[i] + (partial & comp.bitMask)) & comp.tableMask) * inputs;
            p[i] = clampStretched(mixDotProduct(table + comp.context, p + comp.input0, inputs) >> 8);
            break;
        }
        case IndirectSse: {
            std::uint8_t* slots = comp.history.as<std::uint8_t>();
            std::int32_t* const table = comp.table.as<std::int32_t>();
            if (Train) {
                const int error = target - squashClamped(m_squash, old[i]);
                std::int32_t* w = table + comp.context * 2;
                w[0] = clampWeight(w[0] + ((error * old[comp.input0] + (1 << 12)) >> 13));
                w[1] = clampWeight(w[1] + ((error + 16) >> 5));
                slots[comp.slot + (oldNibbleHash & 15)] = m_nextState[comp.context * 2 + bit];
            }
            if (newNibble)
                comp.slot = findSlot(comp, m_contexts[i] + 16 * partial);
            comp.context = slots[comp.slot + (nibbleHash & 15)];
            const std::int32_t* w = table + comp.context * 2;
            p[i] = clampStretched((w[0] * p[comp.input0] + w[1] * 64) >> 16);
            break;
        }
        case Sse: {
            std::uint32_t* t = comp.table.as<std::uint32_t>();
            if (Train)
                trainCounter(t[comp.context], bit, comp.limit, m_reciprocals);
            std::uint32_t context = (m_contexts[i] + partial) * 32;
            int quantized = p[comp.input0] + 992;
            quantized = quantized < 0 ? 0 : (quantized > 1983 ? 1983 : quantized);
            const int weight = quantized & 63;
            context += static_cast<std::uint32_t>(quantized >> 6);
            const std::uint32_t low = t[context & comp.tableMask] >> 10;
            const std::uint32_t high = t[(context + 1) & comp.tableMask] >> 10;
            p[i] = m_stretch[(low * std::uint32_t(64 - weight) + high * std::uint32_t(weight)) >> 13];
            // Train the nearer of the two interpolated points.
            comp.context = (context + static_cast<std::uint32_t>(weight >> 5)) & comp.tableMask;
            // Each bit moves to another row of the table: fetch both rows the next bit may use.
            if (partial < 128) {
                const std::uint32_t next = (m_contexts[i] + partial * 2) * 32;
                __builtin_prefetch(t + (next & comp.tableMask));
                __builtin_prefetch(t + ((next + 16) & comp.tableMask));
                __builtin_prefetch(t + ((next + 32) & comp.tableMask));
                __builtin_prefetch(t + ((next + 48) & comp.tableMask));
            }
            break;
        }
        }
    }
    m_current ^= 1;
    m_probability = squashClamped(m_squash, p[count - 1]) * 2 + 1;
}

void TZpaqPredictor::prefetchTables(std::uint32_t nibbleStart)
{
    // The large tables are probed at random; starting every component's load at once lets the
    // cache misses overlap instead of stalling the prediction one component at a time.
    const std::size_t count = m_components.size();
    const bool byteStart = nibbleStart == 1;
    const std::uint32_t nibbleHash = byteStart ? 1 : nibbleStart << 4 | 1;
    for (std::size_t i = 0; i < count; ++i) {
        const Component& comp = m_components[i];
        switch (comp.type) {
        case IndirectContextModel:
        case IndirectSse: {
            const std::uint32_t context = m_contexts[i] + 16 * nibbleStart;
            const std::uint32_t slot = (context & ((std::uint32_t(1) << comp.slotBits) - 1)) * 16;
            __builtin_prefetch(comp.history.as<std::uint8_t>() + slot);
            break;
        }
        case ContextModel:
            __builtin_prefetch(comp.table.as<std::uint32_t>() + ((m_contexts[i] ^ nibbleHash) & comp.tableMask));
            break;
        case Match:
            if (byteStart)
                __builtin_prefetch(comp.table.as<std::uint32_t>() + (m_contexts[i] & comp.tableMask));
            break;
        default:
            break;
        }
    }
}

} // namespace shared
