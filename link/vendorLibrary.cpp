#include "link/vendorLibrary.h"

namespace korvel {

VendorLibrary::VendorLibrary(std::vector<std::string> candidateNames)
    : candidates_(std::move(candidateNames)) {
}

void VendorLibrary::setCandidateNames(std::vector<std::string> candidateNames) {
    candidates_ = std::move(candidateNames);
    library_.reset(); // not unloaded: functions bound from it may still be called elsewhere
}

bool VendorLibrary::ensureLoaded() {
    if (library_ && library_->isLoaded())
        return true;
    // Tried again at every call while missing, so a library installed while Korvel runs is found.
    for (const std::string& name : candidates_) {
        auto library = std::make_unique<QLibrary>(QString::fromStdString(name));
        if (library->load()) {
            library_ = std::move(library);
            return true;
        }
    }
    return false;
}

bool VendorLibrary::isLoaded() const {
    return library_ && library_->isLoaded();
}

std::string VendorLibrary::loadedFileName() const {
    return isLoaded() ? library_->fileName().toStdString() : std::string{};
}

QFunctionPointer VendorLibrary::resolve(const char* name, const char* decoratedName) {
    if (!ensureLoaded())
        return nullptr;
    if (QFunctionPointer fn = library_->resolve(name))
        return fn;
    return decoratedName ? library_->resolve(decoratedName) : nullptr;
}

} // namespace korvel
