// A counted COM reference: AddRef on copy, Release on reset and destruction.
#pragma once

#include <objbase.h>

#include <utility>

namespace framework {

template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(T* pointer) : pointer_(pointer) {  // NOLINT: adopts a counted reference by AddRef
        if (pointer_) pointer_->AddRef();
    }
    ComPtr(const ComPtr& other) : ComPtr(other.pointer_) {}
    ComPtr(ComPtr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
    ~ComPtr() { Reset(); }

    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(pointer_, other.pointer_);
        return *this;
    }

    // Takes over a reference that the caller already owns (no AddRef).
    static ComPtr Attach(T* pointer) {
        ComPtr result;
        result.pointer_ = pointer;
        return result;
    }

    T* Get() const { return pointer_; }
    T* operator->() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }

    // For out-parameters: releases what was held and hands out the slot.
    T** Receive() {
        Reset();
        return &pointer_;
    }
    void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }

    T* Detach() { return std::exchange(pointer_, nullptr); }

    void Reset() {
        if (pointer_) std::exchange(pointer_, nullptr)->Release();
    }

    template <typename Other>
    HRESULT QueryInterface(ComPtr<Other>& out) const {
        if (!pointer_) return E_POINTER;
        return pointer_->QueryInterface(__uuidof(Other), out.ReceiveVoid());
    }

private:
    T* pointer_ = nullptr;
};

}  // namespace framework
