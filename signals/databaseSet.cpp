#include "signals/databaseSet.h"

#include <cstdio>

namespace korvel {

namespace {

constexpr uint32_t kExtendedKey = 0x80000000u;

uint32_t exactKey(uint32_t id, bool extended) {
    return extended ? (id & 0x1FFFFFFFu) | kExtendedKey : id;
}

std::string fileName(const std::string& path) {
    auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

void DatabaseSet::add(Database database) {
    databases_.push_back(std::make_unique<Database>(std::move(database)));
    // What the earlier databases already define, before the new one joins the lookup.
    lastDuplicates_.clear();
    const Database& added = *databases_.back();
    for (const MessageDef& m : added.messages) {
        const MessageDef* earlier = nullptr;
        if (auto found = exact_.find(exactKey(m.id, m.extended)); found != exact_.end())
            earlier = found->second;
        else if (auto j = j1939_.find(j1939Key(m.id)); m.j1939 && j != j1939_.end())
            earlier = j->second;
        if (earlier == nullptr)
            continue;
        for (const auto& db : databases_) {
            if (!db->messages.empty() && earlier >= db->messages.data() &&
                earlier < db->messages.data() + db->messages.size()) {
                char id[16];
                std::snprintf(id, sizeof id, "0x%X", static_cast<unsigned>(m.id));
                lastDuplicates_.push_back(std::string(id) + " " + earlier->name + " in " +
                                          fileName(db->path));
                break;
            }
        }
    }
    rebuild();
}

void DatabaseSet::remove(int index) {
    if (index < 0 || index >= size())
        return;
    databases_.erase(databases_.begin() + index);
    lastDuplicates_.clear();
    rebuild();
}

int DatabaseSet::size() const {
    return static_cast<int>(databases_.size());
}

const Database& DatabaseSet::at(int index) const {
    return *databases_[static_cast<std::size_t>(index)];
}

bool DatabaseSet::empty() const {
    return databases_.empty();
}

const MessageDef* DatabaseSet::find(uint32_t id, bool extended) const {
    if (auto found = exact_.find(exactKey(id, extended)); found != exact_.end())
        return found->second;
    if (extended && !j1939_.empty()) {
        if (auto found = j1939_.find(j1939Key(id)); found != j1939_.end())
            return found->second;
    }
    return nullptr;
}

const std::vector<std::string>& DatabaseSet::lastDuplicates() const {
    return lastDuplicates_;
}

void DatabaseSet::rebuild() {
    exact_.clear();
    j1939_.clear();
    for (const auto& db : databases_) {
        for (const MessageDef& m : db->messages) {
            exact_.try_emplace(exactKey(m.id, m.extended), &m);
            if (m.j1939 && m.extended)
                j1939_.try_emplace(j1939Key(m.id), &m);
        }
    }
}

bool frameIdValue(std::string_view idText, uint32_t& id) {
    while (!idText.empty() && idText.front() == ' ')
        idText.remove_prefix(1);
    while (!idText.empty() && idText.back() == ' ')
        idText.remove_suffix(1);
    if (idText.empty() || idText.size() > 8)
        return false;
    uint32_t value = 0;
    for (char c : idText) {
        int digit = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                           : -1;
        if (digit < 0)
            return false;
        value = value << 4 | static_cast<uint32_t>(digit);
    }
    id = value;
    return true;
}

int frameDataBytes(std::string_view dataText, uint8_t out[8]) {
    int count = 0;
    std::size_t pos = 0;
    while (count < 8) {
        while (pos < dataText.size() && dataText[pos] == ' ')
            ++pos;
        if (pos + 2 > dataText.size())
            break;
        uint32_t value = 0;
        if (!frameIdValue(dataText.substr(pos, 2), value) ||
            (pos + 2 < dataText.size() && dataText[pos + 2] != ' '))
            break;
        out[count++] = static_cast<uint8_t>(value);
        pos += 2;
    }
    return count;
}

} // namespace korvel
