// Threads: the adopted main thread and named, waitable threads with a
// one-shot ready signal, as much as initialisation and the splash screen use.
#pragma once

#include <quab/types.h>

struct RTTHREADINT;
using RTTHREAD = RTTHREADINT *;
#define NIL_RTTHREAD (static_cast<RTTHREAD>(nullptr))

// The thread function; its result is what RTThreadWait hands back.
using PFNRTTHREAD = int32_t (*)(RTTHREAD hSelf, void *pvUser);

inline constexpr uint32_t RTTHREADFLAGS_WAITABLE = 1;
inline constexpr uint32_t RTTHREADFLAGS_MASK = 1;
inline constexpr size_t RTTHREAD_NAME_LEN = 16;   // including the terminator; longer names are cut

// Adopts the calling thread as "main". RTI_ALREADY_INITIALIZED when done before.
int32_t RTThreadInit();

// cbStack 0 = the system default. The handle stays valid until RTThreadWait
// has seen the end (waitable) or the thread has ended (not waitable).
int32_t RTThreadCreate(RTTHREAD *phThread, PFNRTTHREAD pfnThread, void *pvUser, size_t cbStack,
                       uint32_t fFlags, const char *pszName);

// The ready signal: set once by the thread, waited for by its creator.
int32_t RTThreadUserSignal(RTTHREAD hThread);
// RTE_TIMEOUT when the signal did not come within cMillies.
int32_t RTThreadUserWait(RTTHREAD hThread, uint32_t cMillies);

// Waits for the end of a waitable thread; on success *prcThread (optional)
// receives the thread function's result and the handle is released.
// RTE_TIMEOUT leaves the handle valid for another wait.
int32_t RTThreadWait(RTTHREAD hThread, uint32_t cMillies, int32_t *prcThread);

inline constexpr uint32_t RT_INDEFINITE_WAIT = 0xFFFFFFFFu;

// The calling thread's record; NIL_RTTHREAD for threads the runtime did not
// create or adopt.
RTTHREAD RTThreadSelf();
const char *RTThreadGetName(RTTHREAD hThread);
