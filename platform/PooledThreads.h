// PooledThreads: waiting at the program's end for the threads of Qt's global
// thread pool to be gone from the process.
//
// Qt paints large areas with the help of its global thread pool. The
// application object's destructor ends those threads and waits for them,
// but a thread releases its Qt thread data only in its very last steps, after
// that wait has returned. When main returns first, Qt's exit handlers remove
// the thread-data key and the thread's data is never released. Waiting here
// lets every pooled thread finish its own clean-up.
#pragma once

#include <chrono>

namespace teebasket {

// Returns once no thread of a Qt thread pool (the global one among them) runs
// in this process any more, or after `limit`; false on the limit. Call it after the application
// object is gone. Where threads cannot be listed it returns true at once.
bool WaitForPooledThreadsToEnd(std::chrono::milliseconds limit);

}  // namespace teebasket
