#pragma once
// The one form of the format layer's checks on what it reads, before it uses a
// position or allocates for a length it read: Enforce<Error>(condition, ...)
// throws Error(...) when the condition does not hold.

#include <utility>

template <class Error, class... Args>
void Enforce(bool condition, Args&&... args) {
    if (!condition) throw Error(std::forward<Args>(args)...);
}
