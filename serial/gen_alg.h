#pragma once

#include <stdexcept>
#include <utility>
#include <vector>

namespace dedarida {

class EGenericAlg : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Last-in-first-out stack of references (pointers: the stack owns nothing).
// Not thread-safe.
template <typename T> class TStack {
public:
    void Push(T* item) { items_.push_back(item); }
    T* Pop() {
        if (items_.empty())
            throw EGenericAlg("Stack is empty");
        T* top = items_.back();
        items_.pop_back();
        return top;
    }
    T* Peek() const {
        if (items_.empty())
            throw EGenericAlg("Stack is empty");
        return items_.back();
    }
    bool IsEmpty() const { return items_.empty(); }
    // Oldest first, so started operations can be advanced in the order they began.
    const std::vector<T*>& Items() const { return items_; }

private:
    std::vector<T*> items_;
};

} // namespace dedarida
