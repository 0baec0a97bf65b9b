#pragma once

/** @file
 * Hand-overs between threads that Qt synchronises, made visible to ThreadSanitizer. Qt itself
 * is not built with it, so the locks inside QThreadPool and the event queue are hidden from
 * it; without these notes every task handed to a worker thread would look like a race.
 * Outside a ThreadSanitizer build they cost nothing.
 */

#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define OXA_THREAD_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_THREAD__) && !defined(OXA_THREAD_SANITIZER)
#define OXA_THREAD_SANITIZER 1
#endif

#ifdef OXA_THREAD_SANITIZER
#include <sanitizer/tsan_interface.h>
#endif

namespace OxaThreads {

/// Everything this thread did before this call happens before what another thread does after
/// takeOver() of the same @p object.
inline void handOver(const void *object)
{
#ifdef OXA_THREAD_SANITIZER
    __tsan_release(const_cast<void *>(object));
#else
    (void)object;
#endif
}

/// Pairs with handOver() of the same @p object in the thread that gave it up.
inline void takeOver(const void *object)
{
#ifdef OXA_THREAD_SANITIZER
    __tsan_acquire(const_cast<void *>(object));
#else
    (void)object;
#endif
}

} // namespace OxaThreads
