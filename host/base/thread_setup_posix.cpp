#include "host/base/thread_setup.h"

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace kelvo {

namespace {

// Nice steps below the caller's: each step gives about 10% less processor
// time under contention; 10 steps leave about a tenth of the frame loop's.
constexpr int kNiceSteps = 10;
constexpr int kLowestNice = 19;

}  // namespace

void name_current_thread(const char* name) {
#ifdef __linux__
  char cut[16] = {};
  for (int i = 0; i < 15 && name[i]; ++i) cut[i] = name[i];
  ::pthread_setname_np(::pthread_self(), cut);
#else
  (void)name;
#endif
}

void lower_current_thread_priority() {
#ifdef __linux__
  // Linux keeps a nice value per thread: PRIO_PROCESS with the thread's own
  // id changes this thread only. Raising one's own nice value needs no
  // privilege.
  const pid_t tid = ::gettid();
  errno = 0;
  const int nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
  if (nice == -1 && errno != 0) return;
  ::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), std::min(nice + kNiceSteps, kLowestNice));
#endif
}

}  // namespace kelvo
