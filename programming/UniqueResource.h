// Descriptors, handles and C streams closed by their owner, on either platform.
#pragma once

#include <cstdio>
#include <memory>
#include <utility>

// Owns one system object and closes it when the owner is destroyed, also when a constructor
// throws halfway. `Traits` names the platform's kind: posix/UniqueFd.h for descriptors,
// win32/UniqueHandle.h for handles. It gives `Native`, `Invalid()` (the value that holds
// nothing) and `Close(Native)`, true when the system closed it cleanly.
template <typename Traits> class UniqueResource {
public:
    using Native = typename Traits::Native;

    UniqueResource() = default;
    explicit UniqueResource(Native native) : native_(native) {}
    ~UniqueResource() { Reset(); }
    UniqueResource(UniqueResource&& other) noexcept : native_(other.Release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        Reset(other.Release());
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;

    Native Get() const { return native_; }
    bool Valid() const { return native_ != Traits::Invalid(); }
    // For an owner that takes over (fdopen, say): nothing is closed here.
    Native Release() { return std::exchange(native_, Traits::Invalid()); }
    void Reset(Native native = Traits::Invalid()) {
        if (Valid())
            (void)Traits::Close(native_);
        native_ = native;
    }
    // Closes it now. False when nothing was held or the system failed to close it, which for a
    // file just written can mean that its content did not all reach the disk.
    bool Close() { return Valid() && Traits::Close(Release()); }

private:
    Native native_ = Traits::Invalid();
};

// A C stream, closed by its owner. For a stream only read, the result of fclose says nothing.
struct FileCloser {
    void operator()(std::FILE* file) const { (void)std::fclose(file); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;
