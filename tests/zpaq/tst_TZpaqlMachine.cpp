#include "zpaq/TZpaqLimits.h"
#include "zpaq/TZpaqMemoryBudget.h"
#include "zpaq/TZpaqOutputBuffer.h"
#include "zpaq/TZpaqlMachine.h"

#include <QtTest>

#include <cstdint>
#include <stdexcept>
#include <vector>

namespace {

// H and M of eight cells each: the epilogue writes all of M, and all of H is compared.
constexpr unsigned kHashBits = 3;
constexpr unsigned kMemoryBits = 3;
constexpr std::uint32_t kCells = 8;
// Operand bytes of the pair under test (jumps aside): a large one, shifting by 21, and a small one.
constexpr std::uint8_t kFirstOperand = 0xB5;
constexpr std::uint8_t kSecondOperand = 0x03;

struct TRunResult
{
    bool ok = false;
    QByteArray output;
    std::vector<std::uint32_t> h;
};

// A plain interpreter of the published instruction table, one instruction at a time with no
// decoding ahead and no fused pairs: the oracle the machine is compared with.
class TReferenceMachine
{
public:
    explicit TReferenceMachine(const QByteArray& code) : m_code(code) {}

    TRunResult run(std::uint32_t input)
    {
        TRunResult result;
        m_a = input;
        result.ok = execute(result.output);
        result.h = m_h;
        return result;
    }

private:
    // Register or memory cell of column 0..6 (A B C D *B *C *D); *B and *C hold bytes.
    std::uint32_t get(unsigned column) const
    {
        const std::uint32_t values[] = {m_a, m_b, m_c, m_d, m_m[m_b % kCells], m_m[m_c % kCells], m_h[m_d % kCells]};
        return values[column];
    }
    void set(unsigned column, std::uint32_t value)
    {
        std::uint32_t* registers[] = {&m_a, &m_b, &m_c, &m_d};
        if (column < 4)
            *registers[column] = value;
        else if (column < 6)
            m_m[(column == 4 ? m_b : m_c) % kCells] = std::uint8_t(value);
        else
            m_h[m_d % kCells] = value;
    }

    // Rows 0-13 of opcodes 128-239: A op= v, or a comparison into F.
    void arithmetic(unsigned row, std::uint32_t v)
    {
        const std::uint32_t a = m_a;
        const std::uint32_t results[] = {a + v,  a - v, a * v, v == 0 ? 0 : a / v, v == 0 ? 0 : a % v, a & v,
                                         a & ~v, a | v, a ^ v, a << (v % 32),      a >> (v % 32)};
        if (row < 11)
            m_a = results[row];
        else
            m_f = row == 11 ? a == v : row == 12 ? a < v : a > v;
    }

    // Rows 0-6 of opcodes 0-55 act on one register or cell; column 7 and row 7 are special.
    bool unary(unsigned row, unsigned column, std::uint8_t n, int& pc)
    {
        const std::uint32_t value = get(row);
        switch (column) {
        case 0: // swap with A; a byte swapped with A leaves A's high bits as they were
            if (row == 0)
                return false;
            set(row, m_a);
            m_a = row == 4 || row == 5 ? (m_a & ~0xFFu) | value : value;
            return true;
        case 1:
        case 2:
        case 3:
        case 4: { // ++ -- ! =0
            const std::uint32_t updated[] = {value + 1, value - 1, ~value, 0};
            set(row, updated[column - 1]);
            return true;
        }
        case 7:
            if (row < 4)
                set(row, m_r[n]);
            else if (row == 6)
                m_r[n] = m_a;
            else if (row == 4 ? m_f : !m_f)
                pc += std::int8_t(n);
            return true;
        default:
            return false;
        }
    }

    bool special(unsigned opcode, QByteArray& output)
    {
        switch (opcode) {
        case 57:
            output += char(m_a);
            return true;
        case 59:
            m_a = (m_a + m_m[m_b % kCells] + 512) * 773;
            return true;
        case 60:
            m_h[m_d % kCells] = (m_h[m_d % kCells] + m_a + 512) * 773;
            return true;
        default:
            return false;
        }
    }

    bool execute(QByteArray& output)
    {
        int pc = 0;
        for (int steps = 0; steps < 100000; ++steps) {
            if (pc < 0 || pc >= m_code.size())
                return false;
            const unsigned opcode = std::uint8_t(m_code[pc++]);
            const int length = opcode == 255 ? 2 : (opcode & 7) == 7 ? 1 : 0;
            if (pc + length > m_code.size())
                return false;
            const std::uint8_t n = length > 0 ? std::uint8_t(m_code[pc]) : 0;
            pc += length;
            if (opcode == 56)
                return true;
            if (opcode == 63)
                pc += std::int8_t(n);
            else if (opcode == 255)
                pc = n | std::uint8_t(m_code[pc - 1]) << 8;
            else if (opcode >= 64 && opcode < 120)
                set(opcode / 8 - 8, opcode % 8 == 7 ? n : get(opcode % 8));
            else if (opcode >= 128 && opcode < 240)
                arithmetic(opcode / 8 - 16, opcode % 8 == 7 ? n : get(opcode % 8));
            else if (opcode < 56 ? !unary(opcode / 8, opcode % 8, n, pc) : !special(opcode, output))
                return false;
        }
        throw std::logic_error("reference program does not halt");
    }

    QByteArray m_code;
    std::uint32_t m_a = 0, m_b = 0, m_c = 0, m_d = 0;
    bool m_f = false;
    std::uint32_t m_r[256] = {};
    std::vector<std::uint32_t> m_h = std::vector<std::uint32_t>(kCells);
    std::vector<std::uint8_t> m_m = std::vector<std::uint8_t>(kCells);
};

TRunResult runMachine(const QByteArray& code, std::uint32_t input)
{
    TRunResult result;
    const shared::TZpaqLimits limits;
    shared::TZpaqMemoryBudget budget(limits.maxBlockMemory);
    std::vector<unsigned char> out(4096);
    shared::TZpaqOutputBuffer buffer(out.data(), out.size());
    try {
        shared::TZpaqlMachine machine(reinterpret_cast<const unsigned char*>(code.constData()),
                                      std::size_t(code.size()), kHashBits, kMemoryBits, &buffer, limits, budget);
        machine.run(input);
        for (std::size_t i = 0; i < kCells; ++i)
            result.h.push_back(machine.h(i));
        result.ok = true;
    } catch (const std::runtime_error&) {
    }
    result.output = QByteArray(reinterpret_cast<const char*>(out.data()), int(buffer.size()));
    return result;
}

int instructionLength(unsigned opcode)
{
    return opcode == 255 ? 3 : (opcode & 7) == 7 ? 2 : 1;
}

// Sets every register, some of M and H and the two R registers the operands name from the input:
// B=A HASH C=A *C=A HASH D=A *D=A HASH R=A 3 *B=A HASH HASHD R=A 181 A>B
QByteArray prologue()
{
    return QByteArray::fromHex("483b50683b58703b3703603b3c37b5e9");
}

// Writes F, A, B, C, D, all of M and the R registers the pair may touch, then halts.
QByteArray epilogue()
{
    // OUT A>>=8 OUT A>>=8 OUT A>>=8 OUT: the four bytes of A, low byte first.
    static const QByteArray kWord = QByteArray::fromHex("39d70839d70839d70839");
    // R=A 0 A=0 JF 1 A++ OUT (F) A=R 0, then A.
    QByteArray code = QByteArray::fromHex("3700042f0101390700") + kWord;
    for (const char* copy : {"41", "42", "43"}) // A=B, A=C, A=D
        code += QByteArray::fromHex(copy) + kWord;
    for (char i = 0; i < char(kCells); ++i) // B=N i A=*B OUT
        code += QByteArray(1, char(79)) + i + char(68) + char(57);
    for (char n : {char(kFirstOperand), char(kSecondOperand)}) // A=R n
        code += QByteArray(1, char(7)) + n + kWord;
    return code + char(56); // HALT
}

// prologue, first, second, A++, epilogue: a taken jump skips to the epilogue.
QByteArray pairProgram(unsigned first, unsigned second)
{
    const QByteArray start = prologue();
    const int epilogueAt = start.size() + instructionLength(first) + instructionLength(second) + 1;
    QByteArray code = start;
    const std::uint8_t operands[] = {kFirstOperand, kSecondOperand};
    const unsigned opcodes[] = {first, second};
    for (int i = 0; i < 2; ++i) {
        code += char(opcodes[i]);
        const int next = code.size() + instructionLength(opcodes[i]) - 1;
        if (opcodes[i] == 255)
            code += QByteArray(1, char(epilogueAt & 0xFF)) + char(epilogueAt >> 8);
        else if (opcodes[i] == 39 || opcodes[i] == 47 || opcodes[i] == 63)
            code += char(epilogueAt - next);
        else if (instructionLength(opcodes[i]) == 2)
            code += char(operands[i]);
    }
    return code + char(1) + epilogue();
}

} // namespace

class TestZpaqlMachine : public QObject
{
    Q_OBJECT

private slots:
    void matchesReferenceOnEveryInstructionPair();
};

void TestZpaqlMachine::matchesReferenceOnEveryInstructionPair()
{
    // Every opcode, alone and in every pairing (and so in each pair the machine fuses), against
    // the oracle, for inputs that reach zero divisors, wrap-around and large shifts.
    int mismatches = 0;
    for (unsigned first = 0; first < 256; ++first) {
        for (unsigned second = 0; second < 256; ++second) {
            const QByteArray code = pairProgram(first, second);
            for (std::uint32_t input : {0u, 0xFFFFFFFFu, 0x2F6A1C35u}) {
                const TRunResult expected = TReferenceMachine(code).run(input);
                const TRunResult actual = runMachine(code, input);
                const bool same = actual.ok == expected.ok &&
                                  (!expected.ok || (actual.output == expected.output && actual.h == expected.h));
                if (!same && ++mismatches <= 10)
                    qWarning("opcodes %u, %u with A = %08x: %s", first, second, input,
                             expected.ok ? "results differ" : "fault expected");
            }
        }
    }
    QCOMPARE(mismatches, 0);
}

QTEST_GUILESS_MAIN(TestZpaqlMachine)
#include "tst_TZpaqlMachine.moc"
