#include "probe/ExceptionGuard.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

int Calls = 0;
volatile int* volatile Nowhere = nullptr;
volatile int Zero = 0;
volatile int Seven = 7; // (1 / x is compiled without a division)

void Returns(void* context)
{
    ++Calls;
    *static_cast<int*>(context) = 42;
}

void AccessViolation(void*)
{
    ++Calls;
    *Nowhere = 1;
}

void DivideByZero(void*)
{
    ++Calls;
    volatile int quotient = Seven / Zero;
    (void)quotient;
}

void RaiseNoncontinuable(void*)
{
    ++Calls;
    RaiseException(0xE0424242, EXCEPTION_NONCONTINUABLE, 0, nullptr);
}

void RaiseContinuable(void*)
{
    ++Calls;
    RaiseException(0xE0000001, 0, 0, nullptr);
}

void RaiseMsvcCppException(void*)
{
    ++Calls;
    ULONG_PTR arguments[3] = {0x19930520, 0, 0};
    RaiseException(0xE06D7363, EXCEPTION_NONCONTINUABLE, 3, arguments);
}

void IllegalInstruction(void*)
{
    ++Calls;
    asm volatile("ud2");
}

// Handles its own fault in a frame of its own and then goes on: the outer
// guard must not notice anything.
void HandlesItsOwnFault(void* context)
{
    ++Calls;
    bool inner = CallGuarded(AccessViolation, nullptr);
    *static_cast<int*>(context) = inner ? 1 : 2;
}

// Loads garbage into every callee-saved register, then faults. It has no
// unwind data and saves nothing, so only the guard's own copies can put the
// caller's registers back.
extern "C" void ClobberRegistersAndFault(void*);
#if defined(__x86_64__)
asm(R"(
    .text
    .globl ClobberRegistersAndFault
ClobberRegistersAndFault:
    movq $0x1111, %rbx
    movq $0x2222, %rsi
    movq $0x3333, %rdi
    movq $0x4444, %rbp
    movq $0x5555, %r12
    movq $0x6666, %r13
    movq $0x7777, %r14
    movq $0x8888, %r15
    pxor %xmm6, %xmm6
    pxor %xmm15, %xmm15
    movl $0, (%rbx)
    ret
)");
#else
asm(R"(
    .text
    .globl _ClobberRegistersAndFault
_ClobberRegistersAndFault:
    movl $0x1111, %ebx
    movl $0x2222, %esi
    movl $0x3333, %edi
    movl $0x4444, %ebp
    movl $0, (%ebx)
    ret
)");
#endif

struct SFaultCase
{
    const char* name;
    void (*function)(void*);
};

const SFaultCase kFaults[] = {
    {"access violation", AccessViolation},
    {"integer divide by zero", DivideByZero},
    {"noncontinuable raised exception", RaiseNoncontinuable},
    {"continuable raised exception", RaiseContinuable},
    {"C++ exception of another compiler", RaiseMsvcCppException},
    {"illegal instruction", IllegalInstruction},
};

TEST(ExceptionGuardTest, NormalReturnIsTrue)
{
    Calls = 0;
    int result = 0;
    EXPECT_TRUE(CallGuarded(Returns, &result));
    EXPECT_EQ(result, 42);
    EXPECT_EQ(Calls, 1);
}

TEST(ExceptionGuardTest, EveryKindOfUnhandledExceptionIsCaught)
{
    for (const SFaultCase& row : kFaults) {
        Calls = 0;
        EXPECT_FALSE(CallGuarded(row.function, nullptr)) << row.name;
        EXPECT_EQ(Calls, 1) << row.name;
        // The guard is whole again afterwards: the next call works normally.
        int result = 0;
        EXPECT_TRUE(CallGuarded(Returns, &result)) << row.name;
        EXPECT_EQ(result, 42) << row.name;
    }
}

TEST(ExceptionGuardTest, ExceptionHandledInsideNeverReachesTheGuard)
{
    Calls = 0;
    int result = 0;
    EXPECT_TRUE(CallGuarded(HandlesItsOwnFault, &result));
    EXPECT_EQ(result, 2);
    EXPECT_EQ(Calls, 2);
}

TEST(ExceptionGuardTest, CallerRegistersSurviveACalleeThatCorruptedThem)
{
    // Values the compiler keeps in callee-saved registers across the calls.
    volatile int seed = 3;
    int a = seed * 1, b = seed * 2, c = seed * 3, d = seed * 4, e = seed * 5, f = seed * 6, g = seed * 7;
    double x = seed * 0.5, y = seed * 0.25;
    for (int round = 0; round < 3; ++round) {
        EXPECT_FALSE(CallGuarded(ClobberRegistersAndFault, nullptr));
        a += 1, b += 2, c += 3, d += 4, e += 5, f += 6, g += 7, x += 1.0, y += 2.0;
    }
    EXPECT_EQ(a + b + c + d + e + f + g, 3 * 28 + 3 * 28);
    EXPECT_EQ(x, 1.5 + 3.0);
    EXPECT_EQ(y, 0.75 + 6.0);
}

// The top-level filter must not run for an exception the guard caught.
LONG WINAPI FailingFilter(EXCEPTION_POINTERS*)
{
    ADD_FAILURE() << "the unhandled-exception filter ran";
    return EXCEPTION_EXECUTE_HANDLER;
}

TEST(ExceptionGuardTest, CaughtExceptionIsNotUnhandled)
{
    LPTOP_LEVEL_EXCEPTION_FILTER previous = SetUnhandledExceptionFilter(FailingFilter);
    EXPECT_FALSE(CallGuarded(AccessViolation, nullptr));
    SetUnhandledExceptionFilter(previous);
}

} // namespace
