// Reference counting of the 3D layer's objects.
//
// Every object of the layer (frames, lights, mesh builders, textures, devices,
// viewports, the retained-mode object) derives from IUnknown: it is created
// with one reference, which the creating call hands to the caller, and it is
// destroyed when Release drops the last one. Ref<T> is the owning handle the
// caller keeps; it adds a reference when copied and releases when it lets go.
// Parents hold their children by Ref; children see their parent through a
// plain pointer that the parent clears when it goes, so there are no cycles.
#pragma once

#include <cstdint>
#include <utility>

namespace d3drm {

class IUnknown {
public:
    IUnknown() = default;
    IUnknown(const IUnknown&) = delete;
    IUnknown& operator=(const IUnknown&) = delete;

    uint32_t AddRef() { return ++references_; }

    // Drops one reference; returns how many remain (0: the object is gone).
    uint32_t Release()
    {
        uint32_t left = --references_;
        if (left == 0)
            delete this;
        return left;
    }

protected:
    virtual ~IUnknown() = default;

private:
    uint32_t references_ = 1;
};

template <class T>
class Ref {
public:
    Ref() = default;
    Ref(std::nullptr_t) {}
    // Takes over a reference the caller already owns (a freshly made object).
    static Ref Adopt(T* object)
    {
        Ref r;
        r.object_ = object;
        return r;
    }
    // Shares an object: adds a reference of its own.
    explicit Ref(T* object) : object_(object)
    {
        if (object_)
            object_->AddRef();
    }
    Ref(const Ref& other) : Ref(other.object_) {}
    Ref(Ref&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    template <class U>
    Ref(const Ref<U>& other) : Ref(static_cast<T*>(other.Get()))
    {
    }
    ~Ref() { Reset(); }

    Ref& operator=(Ref other) noexcept
    {
        std::swap(object_, other.object_);
        return *this;
    }

    void Reset()
    {
        if (object_)
            std::exchange(object_, nullptr)->Release();
    }

    T* Get() const { return object_; }
    T* operator->() const { return object_; }
    T& operator*() const { return *object_; }
    explicit operator bool() const { return object_ != nullptr; }
    friend bool operator==(const Ref& a, const Ref& b) { return a.object_ == b.object_; }
    friend bool operator==(const Ref& a, const T* b) { return a.object_ == b; }

private:
    T* object_ = nullptr;
};

}  // namespace d3drm
