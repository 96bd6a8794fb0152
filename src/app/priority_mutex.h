// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <pthread.h>

namespace tonalyx::app {

// A mutex that lends its holder the priority of whoever waits for it. A JACK process thread runs
// at real-time priority; were it to wait for the GUI thread, a busy desktop could keep the GUI
// thread off the processor for as long as it liked. With priority inheritance the GUI thread
// finishes its few microseconds at the waiter's priority instead. A thread may take it again while
// it holds it (a control's signal emitted inside an action), rather than wait for itself.
class PriorityMutex {
public:
    PriorityMutex()
    {
        pthread_mutexattr_t attributes;
        pthread_mutexattr_init(&attributes);
        pthread_mutexattr_setprotocol(&attributes, PTHREAD_PRIO_INHERIT);
        pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
        pthread_mutex_init(&mutex_, &attributes);
        pthread_mutexattr_destroy(&attributes);
    }
    ~PriorityMutex() { pthread_mutex_destroy(&mutex_); }
    PriorityMutex(const PriorityMutex&) = delete;
    PriorityMutex& operator=(const PriorityMutex&) = delete;

    void lock() { pthread_mutex_lock(&mutex_); }
    void unlock() { pthread_mutex_unlock(&mutex_); }

private:
    pthread_mutex_t mutex_;
};

} // namespace tonalyx::app
