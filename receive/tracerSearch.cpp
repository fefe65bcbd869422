#include "receive/tracerSearch.h"

#include <algorithm>
#include <utility>

namespace korvel {

namespace {

constexpr std::size_t kIdDigitsStandard = 3;
constexpr std::size_t kIdDigitsExtended = 8;
constexpr std::size_t kDataBytes = 8;
// The identifier column's width and where the data column starts after the length digit.
constexpr std::size_t kIdColumnWidth = 9;

unsigned char folded(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte - 'A' + 'a') : byte;
}

char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

std::string withoutBlanks(std::string_view pattern) {
    std::string compact;
    for (const char c : pattern) {
        if (c != ' ' && c != '\t')
            compact.push_back(upper(c));
    }
    return compact;
}

// Boyer-Moore-Horspool over folded bytes: the first match at or after `from`, or npos.
std::size_t findText(const TracerQuery& query, std::string_view text, std::size_t from) {
    const std::string& needle = query.needle;
    const std::size_t m = needle.size();
    if (text.size() < m)
        return std::string_view::npos;
    std::size_t at = from;
    const std::size_t last = text.size() - m;
    while (at <= last) {
        std::size_t k = m;
        while (k > 0 && folded(text[at + k - 1]) == static_cast<unsigned char>(needle[k - 1]))
            --k;
        if (k == 0)
            return at;
        at += query.skip[folded(text[at + m - 1])];
    }
    return std::string_view::npos;
}

// The identifier column: from after the time field to the next blank.
std::optional<TracerSpan> idColumn(std::string_view line) {
    const std::size_t start = line.find(' ');
    if (start == std::string_view::npos)
        return std::nullopt;
    const std::size_t end = std::min(line.find(' ', start + 1), line.size());
    return TracerSpan{start + 1, end - start - 1};
}

// The data column of a line in the Tracer's layout, blanks at its end left out.
std::optional<TracerSpan> dataColumn(std::string_view line) {
    const std::size_t timeEnd = line.find(' ');
    if (timeEnd == std::string_view::npos)
        return std::nullopt;
    const std::size_t dlc = timeEnd + 1 + kIdColumnWidth;
    if (line.size() <= dlc + 1 || line[dlc - 1] != ' ' || line[dlc] < '0' || line[dlc] > '8' ||
        line[dlc + 1] != ' ')
        return std::nullopt;
    const std::size_t start = dlc + 2;
    std::string_view data = line.substr(start, 3 * kDataBytes);
    while (!data.empty() && data.back() == ' ')
        data.remove_suffix(1);
    return TracerSpan{start, data.size()};
}

bool dataMatches(std::string_view data, std::string_view pattern) {
    if (data.size() != pattern.size())
        return false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '*' && pattern[i] != data[i])
            return false;
    }
    return true;
}

} // namespace

TracerQuery compileTracerQuery(TracerFindKind kind, std::string_view pattern) {
    TracerQuery query;
    query.kind = kind;
    switch (kind) {
    case TracerFindKind::text: {
        for (const char c : pattern)
            query.needle.push_back(static_cast<char>(folded(c)));
        const std::size_t m = query.needle.size();
        query.skip.fill(std::max<std::size_t>(m, 1));
        for (std::size_t i = 0; i + 1 < m; ++i)
            query.skip[static_cast<unsigned char>(query.needle[i])] = m - 1 - i;
        break;
    }
    case TracerFindKind::id: {
        const std::string digits = withoutBlanks(pattern);
        if (digits.empty())
            break;
        if (digits.size() > kIdDigitsExtended || !std::all_of(digits.begin(), digits.end(), isHex)) {
            query.error = "An identifier is 1 to 8 hexadecimal digits.";
            break;
        }
        const std::size_t width = digits.size() <= kIdDigitsStandard ? kIdDigitsStandard : kIdDigitsExtended;
        query.needle = std::string(width - digits.size(), '0') + digits;
        break;
    }
    case TracerFindKind::data: {
        const std::string digits = withoutBlanks(pattern);
        if (digits.empty())
            break;
        if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c == '*' || isHex(c); })) {
            query.error = "Data is hexadecimal digits; * stands for any one digit.";
            break;
        }
        if (digits.size() % 2 != 0 || digits.size() > 2 * kDataBytes) {
            query.error = "Data is 0 to 8 bytes of two digits each.";
            break;
        }
        for (std::size_t i = 0; i < digits.size(); i += 2) {
            if (i > 0)
                query.needle.push_back(' ');
            query.needle.append(digits, i, 2);
        }
        break;
    }
    }
    return query;
}

std::optional<TracerSpan> matchTracerLine(const TracerQuery& query, std::string_view line) {
    if (!query.valid())
        return std::nullopt;
    switch (query.kind) {
    case TracerFindKind::text: {
        const std::size_t at = findText(query, line, 0);
        if (at == std::string_view::npos)
            return std::nullopt;
        return TracerSpan{at, query.needle.size()};
    }
    case TracerFindKind::id: {
        const std::optional<TracerSpan> id = idColumn(line);
        if (!id || line.substr(id->start, id->length) != query.needle)
            return std::nullopt;
        return id;
    }
    case TracerFindKind::data: {
        const std::optional<TracerSpan> data = dataColumn(line);
        if (!data || !dataMatches(line.substr(data->start, data->length), query.needle))
            return std::nullopt;
        return data;
    }
    }
    return std::nullopt;
}

TracerSearch::TracerSearch(TracerQuery query, int fromLine, bool forward, int lineCount)
    : query_(std::move(query)), forward_(forward), total_(std::max(0, lineCount)) {
    const int from = std::clamp(fromLine, -1, total_);
    if (forward_)
        stretches_ = {std::pair{from + 1, total_}, std::pair{0, std::min(from + 1, total_)}};
    else
        stretches_ = {std::pair{0, std::max(from, 0)}, std::pair{std::max(from, 0), total_}};
    next_ = forward_ ? stretches_[0].first : stretches_[0].second - 1;
    finished_ = !query_.valid() || total_ == 0;
}

double TracerSearch::progress() const {
    return total_ == 0 ? 1.0 : static_cast<double>(searched_) / total_;
}

bool TracerSearch::step(const TracerStore& store, std::size_t budgetBytes) {
    std::size_t budget = std::max<std::size_t>(budgetBytes, 1);
    while (!finished_ && budget > 0) {
        if (!searchStretch(store, budget))
            continue;
        if (found_ || ++stretch_ == 2) {
            finished_ = true;
            break;
        }
        next_ = forward_ ? stretches_[1].first : stretches_[1].second - 1;
    }
    return finished_;
}

bool TracerSearch::searchStretch(const TracerStore& store, std::size_t& budget) {
    // Plain names, not a structured binding: lambdas below capture them.
    const int begin = stretches_[static_cast<std::size_t>(stretch_)].first;
    const int rawEnd = stretches_[static_cast<std::size_t>(stretch_)].second;
    const int end = std::min(rawEnd, store.lineCount());
    if (!forward_)
        next_ = std::min(next_, end - 1);
    if (forward_ ? next_ >= end : next_ < begin)
        return true;
    bool done = false;
    store.forEachBlockFrom(next_, forward_, [&](const TracerBlockView& block) {
        const int count = static_cast<int>(block.ends.size());
        const auto startOf = [&block](int k) {
            return k == 0 ? std::size_t{0}
                          : static_cast<std::size_t>(block.ends[static_cast<std::size_t>(k - 1)]);
        };
        const auto endOf = [&block](int k) {
            return static_cast<std::size_t>(block.ends[static_cast<std::size_t>(k)]);
        };
        // The run of this block's lines [a, b) to search now, cut to what the budget allows.
        int a = 0;
        int b = 0;
        if (forward_) {
            a = next_ - block.firstLine;
            const int limit = std::min(count, end - block.firstLine);
            b = a;
            while (b < limit && (b == a || endOf(b - 1) - startOf(a) < budget))
                ++b;
        } else {
            b = next_ - block.firstLine + 1;
            const int limit = std::max(0, begin - block.firstLine);
            a = b;
            while (a > limit && (a == b || endOf(b - 1) - startOf(a) < budget))
                --a;
        }
        const std::size_t bytes = endOf(b - 1) - startOf(a);
        budget -= std::min(budget, std::max<std::size_t>(bytes, 1));
        searched_ += b - a;

        std::optional<int> hit;
        if (query_.kind == TracerFindKind::text) {
            // The run's bytes at once; a hit that runs over a line's end is no hit.
            const std::string_view run = block.bytes.substr(0, endOf(b - 1));
            std::size_t at = startOf(a);
            while ((at = findText(query_, run, at)) != std::string_view::npos) {
                const auto k =
                    static_cast<int>(std::upper_bound(block.ends.begin() + a, block.ends.begin() + b, at) -
                                     block.ends.begin());
                if (at + query_.needle.size() <= endOf(k)) {
                    hit = k;
                    if (forward_)
                        break;
                    at = endOf(k);
                } else {
                    at = endOf(k);
                }
            }
        } else {
            for (int n = 0; n < b - a; ++n) {
                const int k = forward_ ? a + n : b - 1 - n;
                if (matchTracerLine(query_, block.bytes.substr(startOf(k), endOf(k) - startOf(k)))) {
                    hit = k;
                    break;
                }
            }
        }
        if (hit) {
            found_ = block.firstLine + *hit;
            done = true;
            return false;
        }
        next_ = forward_ ? block.firstLine + b : block.firstLine + a - 1;
        done = forward_ ? next_ >= end : next_ < begin;
        return !done && budget > 0;
    });
    return done;
}

} // namespace korvel
