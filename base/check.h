// Invariants written down as checks. They run in Debug builds and in the
// sanitizer build (VELMORA_CHECKS); a release build compiles them out and
// pays nothing. A failed check names itself and ends the process at once.
#pragma once

#if defined(VELMORA_CHECKS)
inline constexpr bool checks_on = true;
#define VELMORA_CHECK(condition, what) ((condition) ? static_cast<void>(0) : check_failed(what, __FILE__, __LINE__))
#else
inline constexpr bool checks_on = false;
// Unevaluated: the condition costs nothing, and what it names counts as used.
#define VELMORA_CHECK(condition, what) static_cast<void>(sizeof((condition) ? 1 : 0) + sizeof(what))
#endif

[[noreturn]] void check_failed(const char* what, const char* file, int line);   // on standard error, then abort
