#include "signals/databaseSet.h"

namespace korvel {

void DatabaseSet::add(Database database) {
    databases_.push_back(std::move(database));
    rebuild();
}

void DatabaseSet::remove(int index) {
    databases_.erase(databases_.begin() + index);
    rebuild();
}

int DatabaseSet::size() const {
    return static_cast<int>(databases_.size());
}
const Database& DatabaseSet::at(int index) const {
    return databases_[static_cast<std::size_t>(index)];
}
bool DatabaseSet::empty() const {
    return databases_.empty();
}
const MessageDef* DatabaseSet::find(uint32_t, bool) const {
    return nullptr;
}
const std::vector<std::string>& DatabaseSet::lastDuplicates() const {
    return lastDuplicates_;
}
void DatabaseSet::rebuild() {
}

bool frameIdValue(std::string_view, uint32_t&) {
    return false;
}
int frameDataBytes(std::string_view, uint8_t[8]) {
    return 0;
}

} // namespace korvel
