// Whether the calling thread can be cancelled now; on Windows always.
#ifndef CANCELLATION_H
#define CANCELLATION_H

#if !defined(_WIN32)
#  include <pthread.h>
#endif

inline bool isCancellable()
{
#if defined(_WIN32)
    return true;
#else
    int state = PTHREAD_CANCEL_ENABLE;
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &state);
    pthread_setcancelstate(state, nullptr);
    return state == PTHREAD_CANCEL_ENABLE;
#endif
}

#endif // CANCELLATION_H
