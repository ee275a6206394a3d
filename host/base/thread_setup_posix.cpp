#include "host/base/thread_setup.h"

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

namespace kelvo {

// The lowest nice value: under contention such a thread gets about 1.5% of
// the processor time that a thread of nice value 0 gets.
static constexpr int kLowestNice = 19;

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
  ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kLowestNice);
#endif
}

}  // namespace kelvo
