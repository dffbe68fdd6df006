#pragma once
#include <utility>

// Owns one reference to a COM interface and releases it when it goes, so no early return can leak
// an endpoint, a client or a property store.
template <typename T> class ComPointer
{
public:
    ComPointer() = default;
    // Takes over a reference the caller already holds.
    explicit ComPointer(T* pTaken) : pInterface(pTaken) {}
    ~ComPointer() { Reset(); }
    ComPointer(const ComPointer&) = delete;
    ComPointer& operator=(const ComPointer&) = delete;
    ComPointer(ComPointer&& Other) noexcept : pInterface(std::exchange(Other.pInterface, nullptr)) {}
    ComPointer& operator=(ComPointer&& Other) noexcept
    {
        if (this != &Other)
        {
            Reset();
            pInterface = std::exchange(Other.pInterface, nullptr);
        }
        return *this;
    }

    T* Get() const { return pInterface; }
    T* operator->() const { return pInterface; }
    explicit operator bool() const { return pInterface != nullptr; }

    void Reset()
    {
        if (pInterface != nullptr)
        {
            pInterface->Release();
            pInterface = nullptr;
        }
    }
    // The slot for an out-parameter: what was held is released first, the new reference is owned.
    T** Receive()
    {
        Reset();
        return &pInterface;
    }
    void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }

private:
    T* pInterface = nullptr;
};
