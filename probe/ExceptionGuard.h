#pragma once

// Calls function(context) inside a frame-based structured exception handler
// that accepts every exception, like __try { ... } __except (1) { }.
// An exception that the callee handles itself never reaches the guard; one
// that it leaves unhandled is caught here, whatever its kind, and the stack
// is unwound back to this frame. True when the function returned normally,
// false when an exception was caught.
bool CallGuarded(void (*function)(void* context), void* context);
