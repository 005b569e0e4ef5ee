#include "probe/ExceptionGuard.h"

#include <windows.h>

// GCC has no __try/__except, so the guard frame is written out by hand: a
// small assembly routine owns the frame, and a handler in C++ decides and
// unwinds. Being frame-based, it sees only exceptions that the callee left
// unhandled, after every handler of the callee's own frames has declined.
//
// The routine saves every callee-saved register itself and restores them on
// both ways out, so that even a plug-in whose code corrupted them (or whose
// unwind data does not restore them) returns to us with our registers intact.

extern "C" int GuardedCallFrame(void (*function)(void*), void* context);

#if defined(__x86_64__)

// x64: the frame is described by unwind data with a language-specific handler
// (.seh_handler ..., @except). The dispatcher calls that handler for every
// exception passing through the frame; the handler unwinds the callee's frames
// with RtlUnwindEx and resumes at GuardedCallResume with our frame's stack.
extern "C" void GuardedCallResume();

asm(R"(
    .text
    .p2align 4
    .globl GuardedCallFrame
    .def GuardedCallFrame; .scl 2; .type 32; .endef
    .seh_proc GuardedCallFrame
GuardedCallFrame:
    pushq %rbp
    .seh_pushreg %rbp
    pushq %rbx
    .seh_pushreg %rbx
    pushq %rsi
    .seh_pushreg %rsi
    pushq %rdi
    .seh_pushreg %rdi
    pushq %r12
    .seh_pushreg %r12
    pushq %r13
    .seh_pushreg %r13
    pushq %r14
    .seh_pushreg %r14
    pushq %r15
    .seh_pushreg %r15
    subq $200, %rsp
    .seh_stackalloc 200
    movdqa %xmm6, 32(%rsp)
    .seh_savexmm %xmm6, 32
    movdqa %xmm7, 48(%rsp)
    .seh_savexmm %xmm7, 48
    movdqa %xmm8, 64(%rsp)
    .seh_savexmm %xmm8, 64
    movdqa %xmm9, 80(%rsp)
    .seh_savexmm %xmm9, 80
    movdqa %xmm10, 96(%rsp)
    .seh_savexmm %xmm10, 96
    movdqa %xmm11, 112(%rsp)
    .seh_savexmm %xmm11, 112
    movdqa %xmm12, 128(%rsp)
    .seh_savexmm %xmm12, 128
    movdqa %xmm13, 144(%rsp)
    .seh_savexmm %xmm13, 144
    movdqa %xmm14, 160(%rsp)
    .seh_savexmm %xmm14, 160
    movdqa %xmm15, 176(%rsp)
    .seh_savexmm %xmm15, 176
    .seh_endprologue
    .seh_handler GuardFrameHandler, @except
    movq %rcx, %rax
    movq %rdx, %rcx
    call *%rax
    nop
    movl $1, %eax
    jmp .Lguarded_call_leave
    .globl GuardedCallResume
GuardedCallResume:
    xorl %eax, %eax
.Lguarded_call_leave:
    movdqa 32(%rsp), %xmm6
    movdqa 48(%rsp), %xmm7
    movdqa 64(%rsp), %xmm8
    movdqa 80(%rsp), %xmm9
    movdqa 96(%rsp), %xmm10
    movdqa 112(%rsp), %xmm11
    movdqa 128(%rsp), %xmm12
    movdqa 144(%rsp), %xmm13
    movdqa 160(%rsp), %xmm14
    movdqa 176(%rsp), %xmm15
    addq $200, %rsp
    popq %r15
    popq %r14
    popq %r13
    popq %r12
    popq %rdi
    popq %rsi
    popq %rbx
    popq %rbp
    ret
    .seh_endproc
)");

extern "C" EXCEPTION_DISPOSITION GuardFrameHandler(EXCEPTION_RECORD* record, void* frame, CONTEXT*,
                                                   DISPATCHER_CONTEXT* dispatch)
{
    // Called again while frames unwind (ours last, as the target): nothing to do.
    if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND))
        return ExceptionContinueSearch;
    RtlUnwindEx(frame, reinterpret_cast<void*>(&GuardedCallResume), record, nullptr, dispatch->ContextRecord,
                dispatch->HistoryTable);
    return ExceptionContinueSearch; // not reached: RtlUnwindEx resumes in our frame
}

#elif defined(__i386__)

// x86: an EXCEPTION_REGISTRATION record {next, handler} on our stack, linked
// in at fs:[0] for the duration of the call. The handler lets RtlUnwind call
// and unlink every registration above ours (the callee's and the dispatcher's
// own), then abandons the dispatcher's stack: GuardedCallResume puts the stack
// pointer back on our record, unlinks it and returns 0.
extern "C" __attribute__((noreturn)) void GuardedCallResume(void* registration);

asm(R"(
    .text
    .p2align 4
    .globl _GuardedCallFrame
    .def _GuardedCallFrame; .scl 2; .type 32; .endef
_GuardedCallFrame:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    pushl $_GuardFrameHandler
    pushl %fs:0
    movl %esp, %fs:0
    pushl 12(%ebp)
    call *8(%ebp)
    movl $1, %eax
    leal -20(%ebp), %esp
    jmp .Lguarded_call_leave
    .globl _GuardedCallResume
    .def _GuardedCallResume; .scl 2; .type 32; .endef
_GuardedCallResume:
    movl 4(%esp), %esp
    xorl %eax, %eax
.Lguarded_call_leave:
    popl %fs:0
    addl $4, %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret
)");

extern "C" EXCEPTION_DISPOSITION __cdecl GuardFrameHandler(EXCEPTION_RECORD* record, void* registration, CONTEXT*,
                                                           void*)
{
    if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND))
        return ExceptionContinueSearch;
    RtlUnwind(registration, nullptr, record, nullptr);
    GuardedCallResume(registration);
}

#else
#error "The exception guard is written for x86 and x64 only"
#endif

bool CallGuarded(void (*function)(void* context), void* context)
{
    return GuardedCallFrame(function, context) != 0;
}
