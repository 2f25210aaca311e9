#pragma once
// ComPtr<T>: a counted reference to an interface. Copying adds a reference, the
// destructor releases it.

#include <utility>

#include "platform/com/hresult.h"
#include "platform/com/unknown.h"

namespace tolver {

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Adds a reference of its own to p.
    ComPtr(T* p) : p_(p) {
        if (p_) p_->AddRef();
    }
    ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ~ComPtr() { reset(); }
    ComPtr& operator=(const ComPtr& o) {
        ComPtr(o).swap(*this);
        return *this;
    }
    ComPtr& operator=(ComPtr&& o) noexcept {
        ComPtr(std::move(o)).swap(*this);
        return *this;
    }

    // Takes over a reference that the caller owns (an out parameter's result).
    static ComPtr Adopt(T* p) {
        ComPtr r;
        r.p_ = p;
        return r;
    }

    // o queried for T's identifier; empty when o is empty or lacks it.
    template <class U>
    static ComPtr Query(U* o) {
        void* p = nullptr;
        if (!o || FAILED(o->QueryInterface(T::IID, &p))) return {};
        return Adopt(static_cast<T*>(p));
    }
    template <class U>
    ComPtr<U> query() const {
        return ComPtr<U>::Query(p_);
    }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }

    void reset() {
        if (T* p = std::exchange(p_, nullptr)) p->Release();
    }
    // Releases what is held and gives the address for an out parameter.
    T** put() {
        reset();
        return &p_;
    }
    // Gives up the reference without releasing it.
    T* detach() { return std::exchange(p_, nullptr); }
    void swap(ComPtr& o) noexcept { std::swap(p_, o.p_); }

    friend bool operator==(const ComPtr& a, const ComPtr& b) { return a.p_ == b.p_; }
    friend bool operator==(const ComPtr& a, std::nullptr_t) { return a.p_ == nullptr; }

private:
    T* p_ = nullptr;
};

}  // namespace tolver
