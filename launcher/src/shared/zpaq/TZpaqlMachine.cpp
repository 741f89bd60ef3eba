#include "TZpaqlMachine.h"

#include "TZpaqFormatError.h"
#include "TZpaqLimits.h"
#include "TZpaqMemoryBudget.h"
#include "TZpaqOutputBuffer.h"

#include <cstdint>

// The interpreter is direct-threaded: every decoded instruction holds the address of its handler
// and every handler jumps straight to the next one. That needs the labels-as-values extension
// of GCC and Clang, which the pedantic warnings would otherwise flag.
#pragma GCC diagnostic ignored "-Wpedantic"
#ifdef __clang__
#pragma clang diagnostic ignored "-Wgnu-label-as-value"
#endif

// The handlers are generated from the opcode table below; what they call must be folded into
// them, or every instruction would pay for a call.
#define ZPAQL_ALWAYS_INLINE inline __attribute__((always_inline))

namespace shared {

namespace {

constexpr unsigned kOpJumpIfTrue = 39;
constexpr unsigned kOpJumpIfFalse = 47;
constexpr unsigned kOpHalt = 56;
constexpr unsigned kOpOut = 57;
constexpr unsigned kOpHash = 59;
constexpr unsigned kOpHashD = 60;
constexpr unsigned kOpJump = 63;
constexpr unsigned kOpLongJump = 255;
constexpr unsigned kOpcodeCount = 256;
constexpr std::int64_t kMaxCredit = INT64_MAX / 4;

// ---- The opcode table -----------------------------------------------------------------------
// Opcodes come in 32 rows of eight. In the assignment rows (8-14, "X=Y") and the arithmetic rows
// (16-29, "A op= Y") the column is the right-hand operand; in rows 0-6 the column is what is done
// to the row's own register or cell. The rest (ERROR, the jumps, HALT, OUT, HASH, HASHD and the
// undefined opcodes) is irregular and written out by hand in execute().

// Registers and cells in column order; N is the instruction's operand byte.
enum class EOperand : unsigned
{
    A,
    B,
    C,
    D,
    AtB, // M[B]
    AtC, // M[C]
    AtD, // H[D]
    N,
};

enum class EOperation
{
    Irregular,
    SwapWithA,
    Increment,
    Decrement,
    Complement,
    Clear,
    LoadR,  // X=R N
    StoreR, // R=A N
    Assign,
    Add,
    Subtract,
    Multiply,
    Divide,
    Modulo,
    And,
    AndNot,
    Or,
    Xor,
    ShiftLeft,
    ShiftRight,
    Equal,
    Less,
    Greater,
};

// What a regular opcode does: the operation, the register or cell it changes, the operand it reads.
struct TOpcode
{
    EOperation operation;
    EOperand target;
    EOperand source;
};

// The columns of rows 0-6 (A B C D *B *C *D): "X<>A", "X++", "X--", "X!", "X=0", -, -, "X=R N".
constexpr EOperation kOwnRowColumns[8] = {
    EOperation::SwapWithA, EOperation::Increment, EOperation::Decrement, EOperation::Complement,
    EOperation::Clear,     EOperation::Irregular, EOperation::Irregular, EOperation::LoadR,
};

// The arithmetic rows 16-29.
constexpr EOperation kArithmeticRows[14] = {
    EOperation::Add,        EOperation::Subtract, EOperation::Multiply, EOperation::Divide,  EOperation::Modulo,
    EOperation::And,        EOperation::AndNot,   EOperation::Or,       EOperation::Xor,     EOperation::ShiftLeft,
    EOperation::ShiftRight, EOperation::Equal,    EOperation::Less,     EOperation::Greater,
};

constexpr TOpcode describe(unsigned opcode)
{
    const unsigned row = opcode / 8;
    const auto column = static_cast<EOperand>(opcode % 8);
    if (row >= 8 && row < 15)
        return {EOperation::Assign, static_cast<EOperand>(row - 8), column};
    if (row >= 16 && row < 30)
        return {kArithmeticRows[row - 16], EOperand::A, column};
    // Left are rows 0-7, 15, 30 and 31. Irregular among them: row 7 (HALT, OUT, HASH, HASHD, JMP),
    // rows 15, 30 and 31 (undefined but for LJ), ERROR (where "A<>A" would be), JT and JF.
    if (row >= 7 || opcode == 0 || opcode == kOpJumpIfTrue || opcode == kOpJumpIfFalse)
        return {EOperation::Irregular, EOperand::A, EOperand::A};
    if (column == EOperand::N && row == 6)
        return {EOperation::StoreR, EOperand::A, EOperand::A};
    return {kOwnRowColumns[opcode % 8], static_cast<EOperand>(row), EOperand::A};
}

// Bytes an instruction occupies: opcodes ending in binary 111 carry a one-byte operand, the long
// jump a two-byte address.
constexpr std::size_t instructionLength(unsigned opcode)
{
    if (opcode == kOpLongJump)
        return 3;
    return (opcode & 7) == 7 ? 2 : 1;
}

// ---- Fused pairs ----------------------------------------------------------------------------
// Two instructions that often follow each other run in one handler. The pairs are the most
// frequent ones in the context and post-processing programs zpaq writes (hashing contexts, LZ77
// and BWT decoding), plus every compare followed by a conditional jump.
#define ZPAQL_FREQUENT_PAIRS(X)                                                                                        \
    X(25, 59)   /* D++ then HASH */                                                                                    \
    X(59, 9)    /* HASH then B++ */                                                                                    \
    X(112, 25)  /* *D=A then D++ */                                                                                    \
    X(9, 112)   /* B++ then *D=A */                                                                                    \
    X(95, 52)   /* D=N then *D=0 */                                                                                    \
    X(135, 88)  /* A+=N then D=A */                                                                                    \
    X(104, 135) /* *C=A then A+=N */                                                                                   \
    X(88, 114)  /* D=A then *D=C */                                                                                    \
    X(18, 104)  /* C-- then *C=A */                                                                                    \
    X(114, 95)  /* *D=C then D=N */                                                                                    \
    X(70, 25)   /* A=*D then D++ */                                                                                    \
    X(112, 56)  /* *D=A then HALT */                                                                                   \
    X(95, 74)   /* D=N then B=C */                                                                                     \
    X(74, 70)   /* B=C then A=*D */                                                                                    \
    X(59, 112)  /* HASH then *D=A */                                                                                   \
    X(52, 95)   /* *D=0 then D=N */                                                                                    \
    X(27, 49)   /* D! then *D++ */                                                                                     \
    X(9, 63)    /* B++ then JMP N */                                                                                   \
    X(66, 233)  /* A=C then A>B */                                                                                     \
    X(95, 70)   /* D=N then A=*D */                                                                                    \
    X(68, 57)   /* A=*B then OUT */                                                                                    \
    X(112, 95)  /* *D=A then D=N */                                                                                    \
    X(67, 223)  /* A=D then A==N */                                                                                    \
    X(96, 9)    /* *B=A then B++ */                                                                                    \
    X(151, 133) /* A*=N then A+=*C */                                                                                  \
    X(133, 1)   /* A+=*C then A++ */                                                                                   \
    X(70, 151)  /* A=*D then A*=N */                                                                                   \
    X(1, 112)   /* A++ then *D=A */                                                                                    \
    X(1, 175)   /* A++ then A&=N */                                                                                    \
    X(68, 1)    /* A=*B then A++ */                                                                                    \
    X(10, 68)   /* B-- then A=*B */                                                                                    \
    X(9, 255)   /* B++ then LJ NN */                                                                                   \
    X(65, 239)  /* A=B then A>N */                                                                                     \
    X(175, 88)  /* A&=N then D=A */                                                                                    \
    X(88, 27)   /* D=A then D! */                                                                                      \
    X(49, 63)   /* *D++ then JMP N */                                                                                  \
    X(9, 59)    /* B++ then HASH */                                                                                    \
    X(113, 9)   /* *D=B then B++ */                                                                                    \
    X(94, 26)   /* D=*D then D-- */                                                                                    \
    X(92, 27)   /* D=*B then D! */                                                                                     \
    X(49, 94)   /* *D++ then D=*D */                                                                                   \
    X(26, 113)  /* D-- then *D=B */                                                                                    \
    X(57, 63)   /* OUT then JMP N */                                                                                   \
    X(7, 223)   /* A=R N then A==N */                                                                                  \
    X(175, 223) /* A&=N then A==N */                                                                                   \
    X(68, 60)   /* A=*B then HASHD */                                                                                  \
    X(94, 75)   /* D=*D then B=D */                                                                                    \
    X(75, 68)   /* B=D then A=*B */                                                                                    \
    X(67, 239)  /* A=D then A>N */                                                                                     \
    X(9, 57)    /* B++ then OUT */                                                                                     \
    X(60, 56)   /* HASHD then HALT */                                                                                  \
    X(52, 74)   /* *D=0 then B=C */                                                                                    \
    X(96, 17)   /* *B=A then C++ */                                                                                    \
    X(69, 96)   /* A=*C then *B=A */                                                                                   \
    X(17, 9)    /* C++ then B++ */                                                                                     \
    X(57, 9)    /* OUT then B++ */                                                                                     \
    X(65, 215)  /* A=B then A>>=N */                                                                                   \
    X(207, 132) /* A<<=N then A+=*B */                                                                                 \
    X(74, 68)   /* B=C then A=*B */                                                                                    \
    X(207, 88)  /* A<<=N then D=A */                                                                                   \
    X(88, 65)   /* D=A then A=B */                                                                                     \
    X(66, 239)  /* A=C then A>N */                                                                                     \
    X(175, 231) /* A&=N then A<N */                                                                                    \
    X(175, 143) /* A&=N then A-=N */                                                                                   \
    X(143, 175) /* A-=N then A&=N */                                                                                   \
    X(132, 112) /* A+=*B then *D=A */                                                                                  \
    X(112, 9)   /* *D=A then B++ */                                                                                    \
    X(89, 70)   /* D=B then A=*D */                                                                                    \
    X(70, 207)  /* A=*D then A<<=N */                                                                                  \
    X(69, 175)  /* A=*C then A&=N */                                                                                   \
    X(65, 219)  /* A=B then A==D */                                                                                    \
    X(52, 69)   /* *D=0 then A=*C */

// clang-format off
#define ZPAQL_COMPARES_THEN(X, jump) \
    X(216, jump) X(217, jump) X(218, jump) X(219, jump) X(220, jump) X(221, jump) X(222, jump) X(223, jump) \
    X(224, jump) X(225, jump) X(226, jump) X(227, jump) X(228, jump) X(229, jump) X(230, jump) X(231, jump) \
    X(232, jump) X(233, jump) X(234, jump) X(235, jump) X(236, jump) X(237, jump) X(238, jump) X(239, jump)
// clang-format on

#define ZPAQL_FUSED_PAIRS(X)                                                                                           \
    ZPAQL_FREQUENT_PAIRS(X) ZPAQL_COMPARES_THEN(X, kOpJumpIfTrue) ZPAQL_COMPARES_THEN(X, kOpJumpIfFalse)

// Every opcode in order; each one gets a handler, the undefined ones a handler that fails.
// clang-format off
#define ZPAQL_OPCODES(X) \
    X(0) X(1) X(2) X(3) X(4) X(5) X(6) X(7) X(8) X(9) X(10) X(11) X(12) X(13) X(14) X(15) \
    X(16) X(17) X(18) X(19) X(20) X(21) X(22) X(23) X(24) X(25) X(26) X(27) X(28) X(29) X(30) X(31) \
    X(32) X(33) X(34) X(35) X(36) X(37) X(38) X(39) X(40) X(41) X(42) X(43) X(44) X(45) X(46) X(47) \
    X(48) X(49) X(50) X(51) X(52) X(53) X(54) X(55) X(56) X(57) X(58) X(59) X(60) X(61) X(62) X(63) \
    X(64) X(65) X(66) X(67) X(68) X(69) X(70) X(71) X(72) X(73) X(74) X(75) X(76) X(77) X(78) X(79) \
    X(80) X(81) X(82) X(83) X(84) X(85) X(86) X(87) X(88) X(89) X(90) X(91) X(92) X(93) X(94) X(95) \
    X(96) X(97) X(98) X(99) X(100) X(101) X(102) X(103) X(104) X(105) X(106) X(107) X(108) X(109) X(110) X(111) \
    X(112) X(113) X(114) X(115) X(116) X(117) X(118) X(119) X(120) X(121) X(122) X(123) X(124) X(125) X(126) X(127) \
    X(128) X(129) X(130) X(131) X(132) X(133) X(134) X(135) X(136) X(137) X(138) X(139) X(140) X(141) X(142) X(143) \
    X(144) X(145) X(146) X(147) X(148) X(149) X(150) X(151) X(152) X(153) X(154) X(155) X(156) X(157) X(158) X(159) \
    X(160) X(161) X(162) X(163) X(164) X(165) X(166) X(167) X(168) X(169) X(170) X(171) X(172) X(173) X(174) X(175) \
    X(176) X(177) X(178) X(179) X(180) X(181) X(182) X(183) X(184) X(185) X(186) X(187) X(188) X(189) X(190) X(191) \
    X(192) X(193) X(194) X(195) X(196) X(197) X(198) X(199) X(200) X(201) X(202) X(203) X(204) X(205) X(206) X(207) \
    X(208) X(209) X(210) X(211) X(212) X(213) X(214) X(215) X(216) X(217) X(218) X(219) X(220) X(221) X(222) X(223) \
    X(224) X(225) X(226) X(227) X(228) X(229) X(230) X(231) X(232) X(233) X(234) X(235) X(236) X(237) X(238) X(239) \
    X(240) X(241) X(242) X(243) X(244) X(245) X(246) X(247) X(248) X(249) X(250) X(251) X(252) X(253) X(254) X(255)
// clang-format on

struct TFusedPair
{
    unsigned first;
    unsigned second;
};

#define ZPAQL_PAIR_ENTRY(first, second) {first, second},
constexpr TFusedPair kFusedPairs[] = {ZPAQL_FUSED_PAIRS(ZPAQL_PAIR_ENTRY)};
#undef ZPAQL_PAIR_ENTRY

// A pair's handler runs its first instruction to the end, so that one may not jump, halt or fail.
constexpr bool continuesInSequence(unsigned opcode)
{
    return describe(opcode).operation != EOperation::Irregular || opcode == kOpOut || opcode == kOpHash ||
           opcode == kOpHashD;
}

constexpr bool fusedPairsAreSound()
{
    for (const TFusedPair& pair : kFusedPairs) {
        if (pair.first >= kOpcodeCount || pair.second >= kOpcodeCount || !continuesInSequence(pair.first))
            return false;
    }
    return true;
}
static_assert(fusedPairsAreSound(), "a fused pair must start with an instruction that continues in sequence");

// Handler id of the fused pair (first, second), 0 when the pair is not fused. The handlers of the
// pairs follow the 256 of the single opcodes, in the order of kFusedPairs.
unsigned fusedHandler(unsigned first, unsigned second)
{
    struct Table
    {
        std::uint16_t ids[kOpcodeCount][kOpcodeCount] = {};
        Table()
        {
            for (std::size_t i = 0; i < sizeof(kFusedPairs) / sizeof(kFusedPairs[0]); ++i)
                ids[kFusedPairs[i].first][kFusedPairs[i].second] = static_cast<std::uint16_t>(kOpcodeCount + i);
        }
    };
    static const Table table;
    return table.ids[first][second];
}

// ---- The regular handlers ---------------------------------------------------------------------

// Registers and memory of a running program, kept in locals of execute() while it runs.
struct TZpaqlState
{
    std::uint32_t a;
    std::uint32_t b;
    std::uint32_t c;
    std::uint32_t d;
    bool f;
    std::uint32_t* r;
    std::uint32_t* hashArray;
    std::uint8_t* memoryArray;
    std::uint32_t hashArrayMask;
    std::uint32_t memoryArrayMask;
};

template <EOperand Operand> ZPAQL_ALWAYS_INLINE std::uint32_t read(const TZpaqlState& s, std::uint32_t n)
{
    if constexpr (Operand == EOperand::A)
        return s.a;
    else if constexpr (Operand == EOperand::B)
        return s.b;
    else if constexpr (Operand == EOperand::C)
        return s.c;
    else if constexpr (Operand == EOperand::D)
        return s.d;
    else if constexpr (Operand == EOperand::AtB)
        return s.memoryArray[s.b & s.memoryArrayMask];
    else if constexpr (Operand == EOperand::AtC)
        return s.memoryArray[s.c & s.memoryArrayMask];
    else if constexpr (Operand == EOperand::AtD)
        return s.hashArray[s.d & s.hashArrayMask];
    else
        return n;
}

// M holds bytes: a value stored there keeps its low eight bits.
template <EOperand Operand> ZPAQL_ALWAYS_INLINE void write(TZpaqlState& s, std::uint32_t value)
{
    if constexpr (Operand == EOperand::A)
        s.a = value;
    else if constexpr (Operand == EOperand::B)
        s.b = value;
    else if constexpr (Operand == EOperand::C)
        s.c = value;
    else if constexpr (Operand == EOperand::D)
        s.d = value;
    else if constexpr (Operand == EOperand::AtB)
        s.memoryArray[s.b & s.memoryArrayMask] = static_cast<std::uint8_t>(value);
    else if constexpr (Operand == EOperand::AtC)
        s.memoryArray[s.c & s.memoryArrayMask] = static_cast<std::uint8_t>(value);
    else if constexpr (Operand == EOperand::AtD)
        s.hashArray[s.d & s.hashArrayMask] = value;
}

template <EOperand Target> ZPAQL_ALWAYS_INLINE void swapWithA(TZpaqlState& s)
{
    const std::uint32_t old = read<Target>(s, 0);
    write<Target>(s, s.a);
    // A byte of M trades places with the low byte of A only.
    constexpr bool isByte = Target == EOperand::AtB || Target == EOperand::AtC;
    s.a = isByte ? (s.a & ~0xFFu) | old : old;
}

// A op= v for the arithmetic rows; the comparisons set F instead.
template <EOperation Operation> ZPAQL_ALWAYS_INLINE void combine(TZpaqlState& s, std::uint32_t v)
{
    if constexpr (Operation == EOperation::Add)
        s.a += v;
    else if constexpr (Operation == EOperation::Subtract)
        s.a -= v;
    else if constexpr (Operation == EOperation::Multiply)
        s.a *= v;
    else if constexpr (Operation == EOperation::Divide)
        s.a = v != 0 ? s.a / v : 0;
    else if constexpr (Operation == EOperation::Modulo)
        s.a = v != 0 ? s.a % v : 0;
    else if constexpr (Operation == EOperation::And)
        s.a &= v;
    else if constexpr (Operation == EOperation::AndNot)
        s.a &= ~v;
    else if constexpr (Operation == EOperation::Or)
        s.a |= v;
    else if constexpr (Operation == EOperation::Xor)
        s.a ^= v;
    else if constexpr (Operation == EOperation::ShiftLeft)
        s.a <<= v & 31;
    else if constexpr (Operation == EOperation::ShiftRight)
        s.a >>= v & 31;
    else if constexpr (Operation == EOperation::Equal)
        s.f = s.a == v;
    else if constexpr (Operation == EOperation::Less)
        s.f = s.a < v;
    else if constexpr (Operation == EOperation::Greater)
        s.f = s.a > v;
}

// Executes a regular opcode with operand n.
template <unsigned Opcode> ZPAQL_ALWAYS_INLINE void apply(TZpaqlState& s, std::uint32_t n)
{
    constexpr TOpcode op = describe(Opcode);
    if constexpr (op.operation == EOperation::SwapWithA)
        swapWithA<op.target>(s);
    else if constexpr (op.operation == EOperation::Increment)
        write<op.target>(s, read<op.target>(s, n) + 1);
    else if constexpr (op.operation == EOperation::Decrement)
        write<op.target>(s, read<op.target>(s, n) - 1);
    else if constexpr (op.operation == EOperation::Complement)
        write<op.target>(s, ~read<op.target>(s, n));
    else if constexpr (op.operation == EOperation::Clear)
        write<op.target>(s, 0);
    else if constexpr (op.operation == EOperation::LoadR)
        write<op.target>(s, s.r[n]);
    else if constexpr (op.operation == EOperation::StoreR)
        s.r[n] = s.a;
    else if constexpr (op.operation == EOperation::Assign)
        write<op.target>(s, read<op.source>(s, n));
    else if constexpr (op.operation != EOperation::Irregular)
        combine<op.operation>(s, read<op.source>(s, n));
}

std::int64_t creditFrom(std::uint64_t value)
{
    return value > std::uint64_t(kMaxCredit) ? kMaxCredit : static_cast<std::int64_t>(value);
}

std::int64_t addCredit(std::int64_t credit, std::int64_t more)
{
    return credit > kMaxCredit - more ? kMaxCredit : credit + more;
}

} // namespace

TZpaqlMachine::TZpaqlMachine(const unsigned char* code, std::size_t codeSize, unsigned hashArrayBits,
                             unsigned memoryArrayBits, TZpaqOutputBuffer* output, const TZpaqLimits& limits,
                             TZpaqMemoryBudget& budget)
    : m_output(output), m_credit(creditFrom(limits.baseInstructions)),
      m_creditPerRun(creditFrom(limits.instructionsPerByte)),
      m_creditPerOutput(creditFrom(limits.instructionsPerOutput))
{
    if (codeSize > kMaxProgramSize)
        throw TZpaqFormatError("program too long");
    const std::size_t hashArrayBytes = TZpaqMemoryBudget::arrayBytes(hashArrayBits, sizeof(std::uint32_t));
    const std::size_t memoryArrayBytes = TZpaqMemoryBudget::arrayBytes(memoryArrayBits, 1);
    budget.reserve(hashArrayBytes);
    budget.reserve(memoryArrayBytes);
    budget.reserve((codeSize + 1) * sizeof(Instruction));
    m_hashArrayStorage = TZpaqZeroedMemory(hashArrayBytes);
    m_memoryArrayStorage = TZpaqZeroedMemory(memoryArrayBytes);
    m_hashArray = m_hashArrayStorage.as<std::uint32_t>();
    m_memoryArray = m_memoryArrayStorage.as<std::uint8_t>();
    m_hashArrayMask = static_cast<std::uint32_t>((std::uint64_t(1) << hashArrayBits) - 1);
    m_memoryArrayMask = static_cast<std::uint32_t>((std::uint64_t(1) << memoryArrayBits) - 1);
    const std::uint64_t cells = (std::uint64_t(1) << hashArrayBits) + (std::uint64_t(1) << memoryArrayBits);
    const std::uint64_t perCell = limits.instructionsPerCellAtEnd;
    m_creditAtEnd = creditFrom(perCell != 0 && cells > UINT64_MAX / perCell ? UINT64_MAX : cells * perCell);
    decodeProgram(code, codeSize);
}

void TZpaqlMachine::decodeProgram(const unsigned char* code, std::size_t codeSize)
{
    const void* const* handlers = nullptr;
    execute(0, nullptr, 0, &handlers);
    const auto end = static_cast<std::int64_t>(codeSize);
    // One error instruction past the end catches running off the program and every bad jump.
    m_program.assign(codeSize + 1, Instruction{handlers[0], 0, 0, 0, 0});
    for (std::size_t pc = 0; pc < codeSize; ++pc) {
        Instruction& ins = m_program[pc];
        const unsigned opcode = code[pc];
        const std::size_t length = instructionLength(opcode);
        if (pc + length > codeSize)
            continue; // operand cut off by the end of the program
        ins.handler = handlers[opcode];
        ins.operand = length > 1 ? code[pc + 1] : 0;
        std::size_t jumpAt = pc;
        unsigned jump = opcode;
        const std::size_t next = pc + length;
        if (next < codeSize) {
            const unsigned second = code[next];
            const std::size_t secondLength = instructionLength(second);
            const unsigned handler = fusedHandler(opcode, second);
            if (handler != 0 && next + secondLength <= codeSize) {
                ins.handler = handlers[handler];
                ins.operand2 = secondLength > 1 ? code[next + 1] : 0;
                jumpAt = next;
                jump = second;
            }
        }
        std::int64_t target = -1;
        if (jump == kOpJumpIfTrue || jump == kOpJumpIfFalse || jump == kOpJump)
            target = std::int64_t(jumpAt) + 2 + static_cast<std::int8_t>(code[jumpAt + 1]);
        else if (jump == kOpLongJump)
            target = code[jumpAt + 1] | code[jumpAt + 2] << 8;
        else
            continue;
        if (target < 0 || target >= end) {
            ins.jump = static_cast<std::int32_t>(end - std::int64_t(pc));
        } else {
            ins.jump = static_cast<std::int32_t>(target - std::int64_t(pc));
            // Only a backward jump can repeat code: charge it the stretch of program it re-enters.
            if (std::size_t(target) <= jumpAt)
                ins.span = static_cast<std::uint16_t>(jumpAt + instructionLength(jump) - std::size_t(target));
        }
    }
}

void TZpaqlMachine::grantEndOfSegmentCredit()
{
    m_credit = addCredit(m_credit, m_creditAtEnd);
}

void TZpaqlMachine::run(std::uint32_t input)
{
    execute(input, nullptr, 0, nullptr);
}

void TZpaqlMachine::run(const unsigned char* bytes, std::size_t count)
{
    if (count > 0)
        execute(bytes[0], bytes + 1, count - 1, nullptr);
}

void TZpaqlMachine::execute(std::uint32_t input, const unsigned char* more, std::size_t moreCount,
                            const void* const** handlerTable)
{
#define ZPAQL_HANDLER_ADDRESS(opcode) &&handler##opcode,
#define ZPAQL_PAIR_ADDRESS(first, second) &&pair##first##_##second,
    static const void* const kHandlers[] = {ZPAQL_OPCODES(ZPAQL_HANDLER_ADDRESS) ZPAQL_FUSED_PAIRS(ZPAQL_PAIR_ADDRESS)};
#undef ZPAQL_HANDLER_ADDRESS
#undef ZPAQL_PAIR_ADDRESS
    if (handlerTable != nullptr) {
        *handlerTable = kHandlers;
        return;
    }

    std::int64_t credit = addCredit(m_credit, m_creditPerRun);
    TZpaqlState s{input, m_b, m_c, m_d, m_f, m_r, m_hashArray, m_memoryArray, m_hashArrayMask, m_memoryArrayMask};
    unsigned char* out = m_output != nullptr ? m_output->writePosition() : nullptr;
    m_outEnd = m_output != nullptr ? out + m_output->available() : nullptr;
    const Instruction* ip = m_program.data();

#define ZPAQL_NEXT(length)                                                                                             \
    ip += (length);                                                                                                    \
    goto * ip->handler
#define ZPAQL_TAKE_JUMP()                                                                                              \
    credit -= ip->span;                                                                                                \
    if (credit < 0)                                                                                                    \
        throw TZpaqFormatError("program runs too long");                                                               \
    ip += ip->jump;                                                                                                    \
    goto * ip->handler
// Only a post-processor writes; in a context program OUT does nothing.
#define ZPAQL_OUT()                                                                                                    \
    if (out != nullptr) {                                                                                              \
        if (out == m_outEnd)                                                                                           \
            throw TZpaqFormatError("output exceeds the capacity");                                                     \
        *out++ = static_cast<unsigned char>(s.a);                                                                      \
        credit = addCredit(credit, m_creditPerOutput);                                                                 \
    }
// At HALT the program starts over on the next queued byte, if any, without leaving the loop.
#define ZPAQL_HALT()                                                                                                   \
    if (moreCount != 0) {                                                                                              \
        s.a = *more++;                                                                                                 \
        --moreCount;                                                                                                   \
        credit = addCredit(credit, m_creditPerRun);                                                                    \
        ip = m_program.data();                                                                                         \
        goto * ip->handler;                                                                                            \
    }                                                                                                                  \
    m_b = s.b;                                                                                                         \
    m_c = s.c;                                                                                                         \
    m_d = s.d;                                                                                                         \
    m_f = s.f;                                                                                                         \
    m_credit = credit;                                                                                                 \
    if (m_output != nullptr)                                                                                           \
        m_output->commit(out);                                                                                         \
    return
// One instruction, alone or as half of a fused pair: the regular ones from the opcode table,
// the irregular ones written out here.
#define ZPAQL_STEP(opcode, n)                                                                                          \
    if constexpr (describe(opcode).operation != EOperation::Irregular) {                                               \
        apply<opcode>(s, n);                                                                                           \
    } else if constexpr ((opcode) == kOpHash) {                                                                        \
        s.a = (s.a + s.memoryArray[s.b & s.memoryArrayMask] + 512) * 773;                                              \
    } else if constexpr ((opcode) == kOpHashD) {                                                                       \
        std::uint32_t& cell = s.hashArray[s.d & s.hashArrayMask];                                                      \
        cell = (cell + s.a + 512) * 773;                                                                               \
    } else if constexpr ((opcode) == kOpOut) {                                                                         \
        ZPAQL_OUT();                                                                                                   \
    } else if constexpr ((opcode) == kOpJumpIfTrue || (opcode) == kOpJumpIfFalse) {                                    \
        if (s.f == ((opcode) == kOpJumpIfTrue)) {                                                                      \
            ZPAQL_TAKE_JUMP();                                                                                         \
        }                                                                                                              \
    } else if constexpr ((opcode) == kOpJump || (opcode) == kOpLongJump) {                                             \
        ZPAQL_TAKE_JUMP();                                                                                             \
    } else if constexpr ((opcode) == kOpHalt) {                                                                        \
        ZPAQL_HALT();                                                                                                  \
    } else {                                                                                                           \
        goto opError; /* ERROR and the undefined opcodes */                                                            \
    }
#define ZPAQL_HANDLER(opcode) handler##opcode : ZPAQL_STEP(opcode, ip->operand) ZPAQL_NEXT(instructionLength(opcode));
#define ZPAQL_PAIR_HANDLER(first, second)                                                                              \
    pair##first##_##second : ZPAQL_STEP(first, ip->operand) ZPAQL_STEP(second, ip->operand2)                           \
                                 ZPAQL_NEXT(instructionLength(first) + instructionLength(second));

    goto * ip->handler;

    ZPAQL_OPCODES(ZPAQL_HANDLER)
    ZPAQL_FUSED_PAIRS(ZPAQL_PAIR_HANDLER)
opError:
    throw TZpaqFormatError("illegal instruction or jump outside the program");

#undef ZPAQL_NEXT
#undef ZPAQL_TAKE_JUMP
#undef ZPAQL_OUT
#undef ZPAQL_HALT
#undef ZPAQL_STEP
#undef ZPAQL_HANDLER
#undef ZPAQL_PAIR_HANDLER
}

} // namespace shared
