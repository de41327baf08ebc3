// The thread library's few calls that the runtime makes, for the program
// only.
//
// The compilers build exception handling on POSIX threads: the unwinder
// registers its tables under pthread_once and a mutex, and the exception
// state lives in thread-local slots that the runtime keeps with
// pthread_key_*. Linking the whole thread library for that costs some
// 30 KiB. The program runs on one thread (its windows, its message loop
// and its run share it), so a once is a flag, a lock is nothing, and a key
// is a slot of this table.
#include <pthread.h>

#include <cerrno>

namespace {
constexpr unsigned kKeys = 16;
void* g_values[kKeys];
void (*g_destructors[kKeys])(void*);
unsigned g_keys = 0;
}  // namespace

extern "C" {

int pthread_once(pthread_once_t* once, void (*init)(void)) {
  if (*once == 0) {
    *once = 1;
    init();
  }
  return 0;
}

int pthread_mutex_init(pthread_mutex_t*, const pthread_mutexattr_t*) { return 0; }
int pthread_mutex_destroy(pthread_mutex_t*) { return 0; }
int pthread_mutex_lock(pthread_mutex_t*) { return 0; }
int pthread_mutex_trylock(pthread_mutex_t*) { return 0; }
int pthread_mutex_unlock(pthread_mutex_t*) { return 0; }

int pthread_key_create(pthread_key_t* key, void (*destructor)(void*)) {
  if (g_keys == kKeys) return EAGAIN;
  g_destructors[g_keys] = destructor;
  *key = g_keys++;
  return 0;
}
int pthread_key_delete(pthread_key_t) { return 0; }
void* pthread_getspecific(pthread_key_t key) { return key < kKeys ? g_values[key] : nullptr; }
int pthread_setspecific(pthread_key_t key, const void* value) {
  if (key >= kKeys) return EINVAL;
  g_values[key] = const_cast<void*>(value);
  return 0;
}

}  // extern "C"
