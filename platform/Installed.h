#pragma once
// The one object of a kind that its owner made for the code below it. The
// owner installs the object for as long as it lives (Installed<T>::Scope),
// and the kind's accessor (frameState(), Rocket::instance(), ...) answers
// it. A scope made while another of the kind is in force stands in for it
// until it ends: a test can make a fresh set of objects and drop it again.
//
// No locks: every installed object is used on the GUI thread, which under
// Qt Quick's basic render loop also renders.
#include <cstdio>
#include <cstdlib>

template <class T>
class Installed {
public:
    // The installed object. Code that runs before its owner made it, or
    // after, is a fault of the program: it ends with a message naming the
    // kind.
    static T& get()
    {
        if (!current_)
            missing();
        return *current_;
    }
    // The installed object, or null.
    static T* find() { return current_; }

    class Scope {
    public:
        explicit Scope(T& object)
            : previous_(current_)
        {
            current_ = &object;
        }
        ~Scope() { current_ = previous_; }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        T* previous_;
    };

private:
    [[noreturn]] static void missing()
    {
        std::fprintf(stderr, "used before its owner made it: %s\n", __PRETTY_FUNCTION__);
        std::abort();
    }

    inline static T* current_ = nullptr;
};

// An object of the kind, made and installed for as long as its holder keeps
// it: installed right after it is made, and no longer right before it is
// destroyed, so that holders of several destroy them in reverse order with
// the ones made earlier still in force.
template <class T>
class Owned {
public:
    Owned() = default;
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;

    T& operator*() { return object_; }
    T* operator->() { return &object_; }

private:
    T object_;
    typename Installed<T>::Scope scope_{object_};
};
