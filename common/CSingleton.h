// Gives a type one lazily created instance for the whole process: T derives from CSingleton<T>.
// Used by the log engine (CLog), the install thread and the resources-folder holder.
#pragma once

#include <atomic>
#include <mutex>

// What GetInstance hands out once the process's exit-time clean-up has deleted the instance:
// nothing by default. A type whose calls may still come from threads that outlive the clean-up
// specialises it (the log engine gives an engine that writes nothing).
template <class T>
struct SingletonAfterExit
{
    static T* Instance() { return nullptr; }
};

template <class T>
class CSingleton
{
public:
    // Returns the instance, creating it with T's default constructor on the first call from any
    // thread. Concurrent first calls create exactly one. A throwing constructor leaves no
    // instance behind, and its exception reaches the caller; the next call tries again. After
    // the exit-time deletion, never the deleted instance: SingletonAfterExit<T>::Instance().
    static T* GetInstance();

    // Deletes the instance, if there is one; a later GetInstance creates a new one. The caller
    // makes sure that no other thread still uses it. T's destructor runs under the mutex, so it
    // must not call GetInstance or Destroy of the same T.
    static void Destroy();

    // Sets up the holder now rather than at the first GetInstance: holders set up earlier are
    // destroyed later at exit. For static initialisation.
    static void SetUpHolder() { instance(); }

    virtual ~CSingleton() = default;

protected:
    CSingleton() = default;

    // Deletes an instance that is still there at process exit, without the mutex. Holders are
    // function-local statics, destroyed at exit in the reverse order of their set-up; the
    // library sets up the holders of its three singletons in a fixed order during static
    // initialisation, so their order of first use does not matter.
    struct Holder
    {
        ~Holder()
        {
            // Late callers, on threads that outlive the clean-up, must not get the old pointer.
            exited.store(true, std::memory_order_release);
            delete pointer.exchange(nullptr, std::memory_order_acq_rel);
        }
    };

    // Sets the holder up, once; later calls do nothing.
    static Holder& instance()
    {
        static Holder holder;
        return holder;
    }

private:
    // Constant-initialised with trivial destructors, so they stay readable while and after the
    // holders are destroyed at exit.
    static inline std::atomic<T*> pointer{nullptr};
    static inline std::atomic<bool> exited{false};
    // Held while the instance is created or destroyed, and at no other time.
    static std::mutex mutex;
};

template <class T>
std::mutex CSingleton<T>::mutex;

template <class T>
T* CSingleton<T>::GetInstance()
{
    T* existing = pointer.load(std::memory_order_acquire);
    if (existing != nullptr)
        return existing;
    if (exited.load(std::memory_order_acquire))
        return SingletonAfterExit<T>::Instance();
    instance();
    std::lock_guard<std::mutex> lock(mutex);
    existing = pointer.load(std::memory_order_acquire);
    if (existing == nullptr) {
        existing = new T();
        pointer.store(existing, std::memory_order_release);
    }
    return existing;
}

template <class T>
void CSingleton<T>::Destroy()
{
    if (pointer.load(std::memory_order_acquire) == nullptr)
        return;
    std::lock_guard<std::mutex> lock(mutex);
    delete pointer.exchange(nullptr, std::memory_order_acq_rel);
}
