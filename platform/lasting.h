// Storage for an object that is made once and never destroyed. The
// program's global objects (the music, the display) release themselves in
// their destructors, which run at exit in an order no one controls; the
// backend objects they call into must outlive all of them.
#pragma once

#include <new>

namespace platform {

template <class T>
class Lasting {
public:
    T& Get()
    {
        if (object == nullptr) object = new (storage) T();
        return *object;
    }

private:
    alignas(T) unsigned char storage[sizeof(T)];
    T* object = nullptr;
};

}  // namespace platform
