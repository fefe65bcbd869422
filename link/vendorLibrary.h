#pragma once

// Loads an adapter maker's library by name at its first use and binds functions by name. A library or a
// function that cannot be found is reported to the caller, never a crash.

#include <QLibrary>

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#if defined(_WIN32) && !defined(_WIN64)
#define KORVEL_VENDOR_CALL __stdcall
#else
#define KORVEL_VENDOR_CALL
#endif

namespace korvel {

class VendorLibrary {
public:
    explicit VendorLibrary(std::vector<std::string> candidateNames);

    // The function of that name (or, on 32-bit Windows, its decorated name); null when unavailable.
    template <typename Fn> Fn function(const char* name, const char* decoratedName = nullptr) {
        return reinterpret_cast<Fn>(resolve(name, decoratedName));
    }

    // Forgets the library loaded so far; the next call loads by the new names.
    void setCandidateNames(std::vector<std::string> candidateNames);

    [[nodiscard]] bool isLoaded() const;
    [[nodiscard]] std::string loadedFileName() const;

private:
    QFunctionPointer resolve(const char* name, const char* decoratedName);
    bool ensureLoaded();

    std::vector<std::string> candidates_;
    std::unique_ptr<QLibrary> library_;
};

} // namespace korvel
