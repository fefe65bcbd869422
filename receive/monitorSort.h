#pragma once

// The Monitor's shown order: arrival order until a column header is clicked, then sorted by that column.
// Rows keep their storage (and time table) index in arrival order; only the shown order moves.

#include <cstdint>
#include <string_view>
#include <vector>

namespace korvel {

struct MonitorRow;

struct MonitorSort {
    int column = -1; // -1: the order in which the rows appeared
    bool descending = false;
    [[nodiscard]] bool active() const { return column >= 0; }
    friend bool operator==(const MonitorSort&, const MonitorSort&) = default;
};

// A header click: a new column sorts ascending, the same column again descending, a third time back to
// arrival order. Columns that do not sort (the comment) leave the order as it is.
[[nodiscard]] MonitorSort nextMonitorSort(MonitorSort current, int column);
// Whether an update of a row's data, period or count can move it.
[[nodiscard]] bool sortFollowsUpdates(const MonitorSort& sort);

// Whether storage row a is shown before storage row b: by the sort column, ties in arrival order, so the
// order is total and the same rows always give the same list. Identifiers sort standard before extended,
// then by value.
[[nodiscard]] bool shownBefore(const std::vector<MonitorRow>& rows, const MonitorSort& sort, uint32_t a,
                               uint32_t b);

// Every storage row in shown order.
void sortShownOrder(const std::vector<MonitorRow>& rows, const MonitorSort& sort,
                    std::vector<uint32_t>& order);

// After a poll: `order` was sorted and only the rows flagged in `moved` (indexed by storage row) may be out
// of place. The others keep their relative order, so sorting the few and merging is linear in the rows.
// The result replaces `order`; `scratch` is reused storage.
void resortShownOrder(const std::vector<MonitorRow>& rows, const MonitorSort& sort,
                      const std::vector<uint8_t>& moved, std::vector<uint32_t>& order,
                      std::vector<uint32_t>& scratch);

// The find box: whether an identifier text answers what was typed, from the strongest kind of match (0,
// the whole identifier) to the weakest (2, the start of the identifier without its leading zeros); -1 for
// none. Letters match in either case; a typed text that is not a hexadecimal identifier matches nothing.
[[nodiscard]] int idMatchKind(std::string_view idText, std::string_view typed);

} // namespace korvel
