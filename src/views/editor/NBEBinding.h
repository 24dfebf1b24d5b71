#pragma once

#include <functional>
#include <utility>

// A two-way link to a value someone else owns: the editor reads the current
// value when it needs it and writes back through the setter.
template <typename T> struct NBEBinding
{
    std::function<T()> get;
    std::function<void(const T &)> set;

    T value() const { return get ? get() : T{}; }
    void write(const T &newValue) const
    {
        if (set)
            set(newValue);
    }

    // A binding over a variable the caller keeps alive (tests and previews).
    static NBEBinding over(T &storage)
    {
        return {[&storage] { return storage; }, [&storage](const T &v) { storage = v; }};
    }
    static NBEBinding constant(T fixed)
    {
        return {[fixed = std::move(fixed)] { return fixed; }, nullptr};
    }
};
