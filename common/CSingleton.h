// Gives a type one lazily created instance for the whole process: T derives from CSingleton<T>.
// Used by the log engine (CLog), the install thread and the resources-folder holder.
#pragma once

#include <atomic>
#include <mutex>

template <class T>
class CSingleton
{
public:
    // Returns the instance, creating it with T's default constructor on the first call from any
    // thread. Concurrent first calls create exactly one. A throwing constructor leaves no
    // instance behind, and its exception reaches the caller; the next call tries again.
    static T* GetInstance();

    // Deletes the instance, if there is one; a later GetInstance creates a new one. The caller
    // makes sure that no other thread still uses it. T's destructor runs under the mutex, so it
    // must not call GetInstance or Destroy of the same T.
    static void Destroy();

    virtual ~CSingleton() = default;

protected:
    CSingleton() = default;

    // Owns the instance and deletes one that is still there at process exit, without the mutex.
    struct Holder
    {
        std::atomic<T*> pointer{nullptr};
        ~Holder() { delete pointer.load(std::memory_order_acquire); }
    };

    // Built on first use, so holders are destroyed at exit in the reverse order of their first
    // use; the log engine sets its own up during static initialisation to be destroyed last.
    static Holder& instance()
    {
        static Holder holder;
        return holder;
    }

private:
    // Held while the instance is created or destroyed, and at no other time.
    static std::mutex mutex;
};

template <class T>
std::mutex CSingleton<T>::mutex;

template <class T>
T* CSingleton<T>::GetInstance()
{
    Holder& holder = instance();
    T* existing = holder.pointer.load(std::memory_order_acquire);
    if (existing != nullptr)
        return existing;
    std::lock_guard<std::mutex> lock(mutex);
    existing = holder.pointer.load(std::memory_order_acquire);
    if (existing == nullptr) {
        existing = new T();
        holder.pointer.store(existing, std::memory_order_release);
    }
    return existing;
}

template <class T>
void CSingleton<T>::Destroy()
{
    Holder& holder = instance();
    if (holder.pointer.load(std::memory_order_acquire) == nullptr)
        return;
    std::lock_guard<std::mutex> lock(mutex);
    delete holder.pointer.exchange(nullptr, std::memory_order_acq_rel);
}
