// Synchronous events: an EventSource<E> delivers each event to its listeners on the raising
// thread, in the order of the listeners' addresses. The update manager derives from four sources;
// the update window listens for product changes. No lock: one thread uses a source.
#pragma once

#include <set>

namespace Kelvora {

template <class E>
class IEventListener
{
public:
    virtual ~IEventListener() = default;
    virtual void OnEvent(const E& event) = 0;
};

template <class E>
class EventSource
{
public:
    virtual ~EventSource() = default;

    // A null pointer is ignored; a pointer that is already registered stays registered once.
    void AddListener(IEventListener<E>* listener)
    {
        if (listener != nullptr)
            listeners.insert(listener);
    }

    void RemoveListener(IEventListener<E>* listener) { listeners.erase(listener); }

    // Calls every listener in turn, by ascending address. An exception from a listener ends the
    // delivery and reaches the caller. Listeners run nested in the raising operation and may
    // add or remove listeners: the delivery walks the set as it was when it began, and skips a
    // listener that was removed meanwhile; one added meanwhile gets the next event.
    void Notify(const E& event)
    {
        if (listeners.empty())
            return;
        const std::set<IEventListener<E>*> snapshot = listeners;
        for (IEventListener<E>* listener : snapshot) {
            if (listeners.count(listener) != 0)
                listener->OnEvent(event);
        }
    }

private:
    // Not owned.
    std::set<IEventListener<E>*> listeners;
};

} // namespace Kelvora
