// One object per thread, made at the thread's first use and destroyed when
// the thread ends. Elsewhere a thread_local; on Windows a thread_local
// pointer, with the object's deletion left to fiber-local storage, whose
// callback runs at thread exit: mingw-w64 destroys thread_local objects with
// destructors while winpthreads frees their storage, which corrupts the heap
// now and then.
#pragma once

namespace veltrane {

#ifdef _WIN32
// Destroys, when a thread ends, the value that thread handed to Keep. With
// no fiber-local slot to be had, values outlive their threads instead.
class AtThreadEnd {
 public:
  using Destroy = void (*)(void*);
  explicit AtThreadEnd(Destroy destroy);
  AtThreadEnd(const AtThreadEnd&) = delete;
  AtThreadEnd& operator=(const AtThreadEnd&) = delete;

  void Keep(void* value) const;

 private:
  unsigned long index_;
};
#endif

template <typename T>
T& PerThread() {
#ifdef _WIN32
  static const AtThreadEnd deleter([](void* value) { delete static_cast<T*>(value); });
  thread_local T* mine = nullptr;  // a plain pointer: nothing for mingw-w64 to destroy
  if (mine == nullptr) {
    mine = new T();
    deleter.Keep(mine);
  }
  return *mine;
#else
  thread_local T value;
  return value;
#endif
}

}  // namespace veltrane
