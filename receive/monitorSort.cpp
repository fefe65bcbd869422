#include "receive/monitorSort.h"

#include "receive/monitorModel.h"

#include <algorithm>
#include <numeric>

namespace korvel {

namespace {

constexpr int kSortableColumns[] = {MonitorModel::colId, MonitorModel::colDlc, MonitorModel::colData,
                                    MonitorModel::colPeriod, MonitorModel::colCount};

char folded(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// -1, 0 or 1, letters in either case equal.
int compareFolded(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const char x = folded(a[i]);
        const char y = folded(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

template <typename T> int compareValues(const T& a, const T& b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

int compareColumn(const MonitorRow& a, const MonitorRow& b, int column) {
    switch (column) {
    case MonitorModel::colId:
        // Standard identifiers have 3 digits, extended ones 8: by length, then by value.
        if (const int c = compareValues(a.id.size(), b.id.size()))
            return c;
        if (const int c = compareFolded(a.id, b.id))
            return c;
        if (const int c = a.id.compare(b.id))
            return c;
        return compareValues(a.dlc, b.dlc);
    case MonitorModel::colDlc:
        return compareValues(a.dlc, b.dlc);
    case MonitorModel::colData:
        return compareFolded(a.data, b.data);
    case MonitorModel::colPeriod:
        return compareValues(a.period, b.period);
    case MonitorModel::colCount:
        return compareValues(a.count, b.count);
    default:
        return 0;
    }
}

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

bool startsWithFolded(std::string_view text, std::string_view start) {
    return text.size() >= start.size() && compareFolded(text.substr(0, start.size()), start) == 0;
}

} // namespace

MonitorSort nextMonitorSort(MonitorSort current, int column) {
    if (std::find(std::begin(kSortableColumns), std::end(kSortableColumns), column) ==
        std::end(kSortableColumns))
        return current;
    if (current.column != column)
        return {column, false};
    if (!current.descending)
        return {column, true};
    return {};
}

bool sortFollowsUpdates(const MonitorSort& sort) {
    return sort.column == MonitorModel::colData || sort.column == MonitorModel::colPeriod ||
           sort.column == MonitorModel::colCount;
}

bool shownBefore(const std::vector<MonitorRow>& rows, const MonitorSort& sort, uint32_t a, uint32_t b) {
    const int c = compareColumn(rows[a], rows[b], sort.column);
    if (c != 0)
        return sort.descending ? c > 0 : c < 0;
    return a < b;
}

void sortShownOrder(const std::vector<MonitorRow>& rows, const MonitorSort& sort,
                    std::vector<uint32_t>& order) {
    order.resize(rows.size());
    std::iota(order.begin(), order.end(), 0U);
    if (sort.active())
        std::sort(order.begin(), order.end(),
                  [&](uint32_t a, uint32_t b) { return shownBefore(rows, sort, a, b); });
}

void resortShownOrder(const std::vector<MonitorRow>& rows, const MonitorSort& sort,
                      const std::vector<uint8_t>& moved, std::vector<uint32_t>& order,
                      std::vector<uint32_t>& scratch) {
    const auto before = [&](uint32_t a, uint32_t b) {
        return shownBefore(rows, sort, a, b);
    };
    scratch.clear();
    std::size_t kept = 0;
    for (const uint32_t row : order) {
        if (moved[row])
            scratch.push_back(row);
        else
            order[kept++] = row;
    }
    if (scratch.empty())
        return;
    std::sort(scratch.begin(), scratch.end(), before);
    // Merged from the back, so the kept rows move up in place.
    std::size_t k = kept;
    std::size_t m = scratch.size();
    order.resize(kept + m);
    for (std::size_t out = order.size(); m > 0; --out) {
        if (k > 0 && before(scratch[m - 1], order[k - 1]))
            order[out - 1] = order[--k];
        else
            order[out - 1] = scratch[--m];
    }
}

int idMatchKind(std::string_view idText, std::string_view typed) {
    if (typed.empty() || typed.size() > 8 || !std::all_of(typed.begin(), typed.end(), isHexDigit))
        return -1;
    if (compareFolded(idText, typed) == 0)
        return 0;
    if (startsWithFolded(idText, typed))
        return 1;
    const std::size_t digits = idText.find_first_not_of('0');
    if (digits != std::string_view::npos && digits > 0 && startsWithFolded(idText.substr(digits), typed))
        return 2;
    return -1;
}

} // namespace korvel
